#pragma once

// The dialog seam on the desktop: Qt's message boxes with the German captions
// and buttons, a one-line input box, Qt's own (not the desktop's) folder,
// save, colour and font dialogs, so they behave alike everywhere, the
// desktop's opener for documents and addresses, and the general error box.

#include <QPointer>
#include <QWidget>

#include "base/Dialogs.h"

class QtDialogs final : public Dialogs
{
public:
    // Boxes open over parent (the active window when there is none).
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}

    void SetParent(QWidget* parent) { m_parent = parent; }

    void ShowInformation(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    std::optional<std::string> BrowseFolder(const std::string& title,
                                            const std::string& startFolder) override;
    std::optional<std::string> SaveFile(const SaveFileRequest& request) override;
    std::optional<std::int32_t> PickColor(std::int32_t colour) override;
    std::optional<std::string> PickFont(const std::string& faceName) override;
    void OpenTarget(const std::string& target) override;
    void ShowError(const std::string& text) override;

    // The general error box's caption.
    static constexpr const char* kErrorCaption = "Sonorix";

private:
    QWidget* Parent() const;

    QPointer<QWidget> m_parent;
    std::int32_t m_lastColour = 0;
};

#pragma once

// Every dialog Sonorix opens, in one interface without a window toolkit: the
// list job, the profile operations and the start-up load ask through it, each
// window receives it, and tests answer it without a screen. Texts are UTF-8;
// a box shows them as plain text, never as markup.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

// What the save dialog opens with. The filter list has one entry that carries
// only FilterCaption; DefaultExtension (without ".") is added to a name typed
// without one; an existing file is only chosen after the dialog's own
// overwrite question.
struct SaveFileRequest
{
    std::string InitialFolder{};
    std::string FileName{};
    std::string DefaultExtension{};
    std::string FilterCaption{};
    friend bool operator==(const SaveFileRequest&, const SaveFileRequest&) = default;
};

class Dialogs
{
public:
    // The message boxes' captions and buttons (the runtime's German ones).
    static constexpr const char* kInformationCaption = "Information";
    static constexpr const char* kConfirmationCaption = "Bestätigung";
    static constexpr const char* kOkButton = "OK";
    static constexpr const char* kYesButton = "&Ja";
    static constexpr const char* kNoButton = "&Nein";

    virtual ~Dialogs() = default;

    // An information box: kInformationCaption, one kOkButton.
    virtual void ShowInformation(const std::string& text) = 0;

    // A confirmation box: kConfirmationCaption, kYesButton and kNoButton;
    // Esc and the close box answer No. True for Yes.
    [[nodiscard]] virtual bool Confirm(const std::string& text) = 0;

    // The one-line input box, its entry preset to initial. OK gives the
    // entry (possibly empty; only the text before a line break); Cancel
    // gives nothing.
    [[nodiscard]] virtual std::optional<std::string>
    InputBox(const std::string& caption, const std::string& prompt, const std::string& initial) = 0;

    // The folder browser, with its title, opening at startFolder when that
    // folder exists. The chosen folder as the system gives it, or nothing.
    [[nodiscard]] virtual std::optional<std::string>
    BrowseFolder(const std::string& title, const std::string& startFolder) = 0;

    // The save dialog. The chosen full path, or nothing.
    [[nodiscard]] virtual std::optional<std::string> SaveFile(const SaveFileRequest& request) = 0;

    // The colour picker, starting at colour (0x00BBGGRR). The chosen colour
    // (24 bits), or nothing.
    [[nodiscard]] virtual std::optional<std::int32_t> PickColor(std::int32_t colour) = 0;

    // The font picker, starting at faceName. The chosen face name, or nothing.
    [[nodiscard]] virtual std::optional<std::string> PickFont(const std::string& faceName) = 0;

    // Opens a document, folder or address with the desktop's program for it.
    virtual void OpenTarget(const std::string& target) = 0;

    // The general error box for an error that ended an action; text is the
    // error's own text (it names the file and the reason).
    virtual void ShowError(const std::string& text) = 0;
};

// Dialogs where nobody is there to answer (a script, a terminal tool): every
// question is answered as Cancel or No would answer it, and the boxes that
// only tell something go to Show.
class UnattendedDialogs : public Dialogs
{
public:
    void ShowInformation(const std::string& text) override { Show(text); }

    bool Confirm(const std::string&) override { return false; }

    std::optional<std::string> InputBox(const std::string&, const std::string&,
                                        const std::string&) override
    {
        return std::nullopt;
    }

    std::optional<std::string> BrowseFolder(const std::string&, const std::string&) override
    {
        return std::nullopt;
    }

    std::optional<std::string> SaveFile(const SaveFileRequest&) override { return std::nullopt; }

    std::optional<std::int32_t> PickColor(std::int32_t) override { return std::nullopt; }

    std::optional<std::string> PickFont(const std::string&) override { return std::nullopt; }

    void OpenTarget(const std::string&) override {}

    void ShowError(const std::string& text) override { Show(text); }

protected:
    virtual void Show(const std::string& text) = 0;
};

// Runs action; an exception that leaves it ends only that action and is
// shown in the general error box. Window handlers run through this, since
// no exception may cross the window toolkit's event loop. True when the
// action ran to its end.
template <typename Action> bool Guarded(Dialogs& dialogs, Action&& action)
{
    try {
        action();
        return true;
    } catch (const std::exception& error) {
        dialogs.ShowError(error.what());
    }
    return false;
}

#pragma once

// The desktop program put together: the live state (the current profile and
// the global options), the profile host over the windows' style boxes, and
// the five windows, created once in their order and kept until the end.
// Everything that asks the user goes through the Dialogs given, and the
// program's own dialogs open through the ModalRunner, so tests can answer
// both.

#include <memory>
#include <string>

#include <QStringList>

#include "base/Dialogs.h"
#include "profiles/GlobalOptions.h"
#include "profiles/Profile.h"
#include "widgets/ModalRunner.h"

class TFlatComboBox;
class TForm1;
class TForm3;
class TForm4;
class TForm5;
class TForm6;

// A style box of the profile operations over a combo box of a window.
class ComboStyleBox final : public Profiles::StyleBox
{
public:
    void Attach(TFlatComboBox* box) { m_box = box; }

    std::string Text() const override;
    void SetText(const std::string& text) override;
    std::vector<std::string> Items() const override;
    void SetItems(const std::vector<std::string>& items) override;

private:
    TFlatComboBox* m_box = nullptr;
};

// The main window's style box, the options dialog's default style box, and
// the profile dialog for the format notification.
class WindowProfileHost final : public Profiles::ProfileHost
{
public:
    void Attach(TFlatComboBox* mainStyles, TFlatComboBox* defaultStyles, TForm3* profileOptions);

    Profiles::StyleBox& MainStyleBox() override { return m_mainStyles; }

    Profiles::StyleBox& DefaultStyleBox() override { return m_defaultStyles; }

    void FormatChanged(Profiles::ListFormat listFormat) override;

private:
    ComboStyleBox m_mainStyles{};
    ComboStyleBox m_defaultStyles{};
    TForm3* m_profileOptions = nullptr;
};

class Application
{
public:
    // arguments: the command line after Qt's own options; programPath: the
    // program file, for the folder verb.
    Application(Dialogs& dialogs, ModalRunner showModal, const QStringList& arguments,
                std::string programPath);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    TForm1& MainWindow() { return *m_form1; }

    TForm3& ProfileOptions() { return *m_form3; }

    TForm4& Report() { return *m_form4; }

    TForm5& GlobalOptionsDialog() { return *m_form5; }

    TForm6& Info() { return *m_form6; }

    Profiles::Profile& CurrentProfile() { return m_profile; }

    GlobalSettings::GlobalOptions& Options() { return m_options; }

private:
    Profiles::Profile m_profile{};
    GlobalSettings::GlobalOptions m_options{};
    WindowProfileHost m_host{};
    // Destroyed in the reverse order: the dialogs before the main window
    // that is their parent.
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm3> m_form3;
    std::unique_ptr<TForm4> m_form4;
    std::unique_ptr<TForm5> m_form5;
    std::unique_ptr<TForm6> m_form6;
};

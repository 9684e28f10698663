#pragma once

// "Options" (TForm5): the global options. Its controls are a view of the live
// GlobalOptions record (every change goes into the record at once and marks
// the value known); cmbStyles is the default style box of the profile
// operations.

#include <functional>
#include <string>

#include <QDialog>

#include "base/Dialogs.h"
#include "profiles/GlobalOptions.h"
#include "profiles/Profile.h"

class TFlatComboBox;

// What OK reaches in the main window.
struct GlobalOptionsLinks
{
    // The main window copies the record's favourites into its two boxes.
    std::function<void()> FavouritesChanged;
    // The main window shows this style and loads it as a user's change would.
    std::function<void(const std::string&)> DefaultStyleChosen;
};

// global options dialog
class TForm5 : public QDialog
{
    Q_OBJECT

public:
    TForm5(Dialogs& dialogs, GlobalSettings::GlobalOptions& options, Profiles::Profile& profile,
           Profiles::ProfileHost& host, std::string programPath, QWidget* parent = nullptr);

    void SetLinks(GlobalOptionsLinks links) { m_links = std::move(links); }

    // Renders every control from the record (after the start-up load).
    void ShowOptions();

    TFlatComboBox* cmbStyles;

private:
    Dialogs& m_dialogs;
    GlobalSettings::GlobalOptions& m_options;
    Profiles::Profile& m_profile;
    Profiles::ProfileHost& m_host;
    std::string m_programPath;
    GlobalOptionsLinks m_links{};
};

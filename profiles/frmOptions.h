#pragma once

// "Profile Options" (TForm3): the current profile's options. Its controls are
// a view of the live Profile record: every edit goes into the record at
// once, and ShowProfile renders the record again after a load or a job.

#include <functional>

#include <QDialog>

#include "base/Dialogs.h"
#include "profiles/Profile.h"

// What the dialog reaches in the main window.
struct ProfileDialogLinks
{
    std::function<void()> ClearOutputBox;   // after every format change
    std::function<void()> MainStyleChanged; // "Save as" ends with the style-change handling
};

// profile options dialog
class TForm3 : public QDialog
{
    Q_OBJECT

public:
    TForm3(Dialogs& dialogs, Profiles::Profile& profile, Profiles::ProfileHost& host,
           QWidget* parent = nullptr);

    void SetLinks(ProfileDialogLinks links) { m_links = std::move(links); }

    // Renders every control from the record.
    void ShowProfile();

    // The profile host's format notification: selects the format, shows or
    // hides the separator and append controls, clears the output box.
    void FormatChanged(Profiles::ListFormat listFormat);

private:
    Dialogs& m_dialogs;
    Profiles::Profile& m_profile;
    Profiles::ProfileHost& m_host;
    ProfileDialogLinks m_links{};
};

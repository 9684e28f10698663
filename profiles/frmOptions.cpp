#include "profiles/frmOptions.h"

// A placeholder with the right class and caption, so start-up creates the
// windows in their order; the controls come with the dialog itself.
TForm3::TForm3(Dialogs& dialogs, Profiles::Profile& profile, Profiles::ProfileHost& host,
               QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_profile(profile), m_host(host)
{
    setObjectName("TForm3");
    setWindowTitle("Profile Options");
}

void TForm3::ShowProfile() {}

void TForm3::FormatChanged(Profiles::ListFormat)
{
    if (m_links.ClearOutputBox) {
        m_links.ClearOutputBox();
    }
}

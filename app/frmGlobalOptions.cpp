#include "app/frmGlobalOptions.h"

#include "widgets/FlatWidgets.h"

// A placeholder with the right class and caption and the default style box,
// so start-up creates the windows in their order and the profile operations
// have their box; the other controls come with the dialog itself.
TForm5::TForm5(Dialogs& dialogs, GlobalSettings::GlobalOptions& options, Profiles::Profile& profile,
               Profiles::ProfileHost& host, std::string programPath, QWidget* parent)
    : QDialog(parent), cmbStyles(new TFlatComboBox(true, this)), m_dialogs(dialogs),
      m_options(options), m_profile(profile), m_host(host), m_programPath(std::move(programPath))
{
    setObjectName("TForm5");
    setWindowTitle("Options");
    cmbStyles->setObjectName("cmbStyles");
    cmbStyles->SetSorted(true);
}

void TForm5::ShowOptions() {}

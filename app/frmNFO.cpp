#include "app/frmNFO.h"

// A placeholder with the right class and caption, so start-up creates the
// windows in their order; the contents come with the dialog itself.
TForm6::TForm6(Dialogs& dialogs, QWidget* parent) : QDialog(parent), m_dialogs(dialogs)
{
    setObjectName("TForm6");
    setWindowTitle("Info");
}

#pragma once

// "Info" (TForm6): credits, the two pictures and the links.

#include <QDialog>

#include "base/Dialogs.h"

// info dialog
class TForm6 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm6(Dialogs& dialogs, QWidget* parent = nullptr);

private:
    Dialogs& m_dialogs;
};

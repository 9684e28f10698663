#pragma once

// "Info" (TForm6): the product name, version and credits, two pictures and
// three links. Only "&OK" closes it: Esc does nothing, and a close request of
// the window manager acts as "&OK".

#include <QDialog>
#include <QString>

#include "base/Dialogs.h"

class QCloseEvent;
class QKeyEvent;
class QLabel;
class TFlatButton;
class TFlatPanel;
class TURLLabel;

// The read-me file the "readme.htm" link opens: the one in the working
// folder, else the installed copy (share/doc/sonorix beside the program
// folder's parent), else, for a program run from its build folder, the
// source tree's copy, else a copy of the guide the program carries, written
// to $XDG_CACHE_HOME/sonorix/guide/ (an install may leave out
// /usr/share/doc); empty only when that copy cannot be written.
QString FindReadme(const QString& programFolder);

// info dialog
class TForm6 : public QDialog
{
    Q_OBJECT

public:
    explicit TForm6(Dialogs& dialogs, QWidget* parent = nullptr);

    QLabel* Image1;
    TFlatPanel* FlatPanel1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label6;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    TURLLabel* URLLabel1;
    TURLLabel* URLLabel2;
    TURLLabel* URLLabel3;
    QLabel* Image2;
    TFlatButton* FlatButton1;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void BuildLayout();
    void FlatButton1Click();

    Dialogs& m_dialogs;
};

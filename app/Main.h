#pragma once

// "Sonorix" (TForm1): the source folder, the subfolder switch, the style and
// the output file, and the buttons that reach the list job and the three
// dialogs. Closing it ends the program.

#include <string>

#include <QAbstractButton>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "base/Dialogs.h"
#include "profiles/GlobalOptions.h"
#include "profiles/Profile.h"
#include "widgets/FlatWidgets.h"
#include "widgets/ModalRunner.h"

class TForm3;
class TForm4;
class TForm5;
class TForm6;

// The windows the main window opens, created after it.
struct MainWindowLinks
{
    TForm3* ProfileOptions = nullptr;
    TForm4* Report = nullptr;
    TForm5* GlobalOptions = nullptr;
    TForm6* Info = nullptr;
    // Shows one of them modally.
    ModalRunner ShowModal = ::RunModal;
};

// main window
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    // arguments: the command line after Qt's own options. The profile, the
    // global options and the host are the program's live state.
    TForm1(Dialogs& dialogs, Profiles::Profile& profile, GlobalSettings::GlobalOptions& options,
           Profiles::ProfileHost& host, std::string programPath, const QStringList& arguments,
           QWidget* parent = nullptr);
    ~TForm1() override;

    void SetLinks(MainWindowLinks links) { m_links = std::move(links); }

    // What the dialogs reach here.
    // Empties the output box (every change of the list format).
    void ClearOutputBox();
    // Copies the favourites of the global options into the two boxes'
    // drop-down lists; their texts stay.
    void ShowFavourites();
    // Shows name in the style box and loads it as a user's choice would.
    void ChooseStyle(const std::string& name);
    // The style box's change handling, as if the user had changed it.
    void StyleChanged();

    TFlatGroupBox* FlatGroupBox1;
    TFlatComboBox* cmbSource;
    TFlatButton* btnSource;
    TFlatCheckBox* chkSubdir;
    TFlatGroupBox* FlatGroupBox2;
    QLabel* Label1;
    TFlatComboBox* FlatComboBox1;
    TFlatButton* FlatButton1;
    QLabel* Label2;
    TFlatComboBox* cmbSave;
    TFlatButton* btnSave;
    TFlatButton* btnOptions;
    TFlatButton* btnList;
    TFlatButton* btnInfo;
    TFlatButton* btnExit;

    static constexpr const char* kInvalidPathMessage = "Please enter a valid path!";
    static constexpr const char* kBrowseTitle = "Please choose a directory";

    // The save dialog's settings kept between openings: its initial folder,
    // the file name chosen last, the default extension and filter caption.
    SaveFileRequest SaveDialog1{};
    TBrowseFolder BrowseFolder1;

signals:
    // "&Exit" or the window's close: the program ends.
    void ExitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetDesignSizes();
    void BuildLayout();
    void ConnectHandlers();
    void FormCreate(const QStringList& arguments);
    void FormShow();
    void btnSourceClick();
    void cmbSourceDblClick();
    // The leave checks: false when the text was rejected (and emptied).
    bool cmbSourceExit();
    void FlatComboBox1Change();
    void FlatButton1Click();
    void btnSaveClick();
    bool cmbSaveExit();
    void btnOptionsClick();
    void btnListClick();
    void btnInfoClick();
    void btnExitClick();
    void FocusChanged(QWidget* old, QWidget* now);
    void RunListJob();

    Dialogs& m_dialogs;
    Profiles::Profile& m_profile;
    GlobalSettings::GlobalOptions& m_options;
    Profiles::ProfileHost& m_host;
    std::string m_programPath;
    MainWindowLinks m_links{};
    QMetaObject::Connection m_focusChanged{};
    bool m_shown = false;
    bool m_jobRunning = false;
    bool m_checking = false;
    // The button whose pending press becomes a click after a rejection.
    QPointer<QAbstractButton> m_clickAfterCheck{};
};

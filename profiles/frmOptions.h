#pragma once

// "Profile Options" (TForm3): the current profile's options. Its controls are
// a view of the live Profile record: every edit goes into the record at
// once (so "&Cancel" keeps the edits for the run, until the next load), and
// ShowProfile renders the record again after a load or a job. "&Save" and
// "Save &as..." only decide whether and under which name it is stored.

#include <cstdint>
#include <functional>
#include <string>

#include <QDialog>

#include "base/Dialogs.h"
#include "profiles/ProfileStore.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QTabBar;
class QStackedWidget;
class TCheckListBox;
class TFlatButton;
class TFlatCheckBox;
class TFlatComboBox;
class TFlatEdit;
class TFlatGroupBox;

// A page control: a row of page tabs above the pages. The tabs take the
// keyboard focus (arrow keys move along them), and Ctrl+Tab, Ctrl+Shift+Tab,
// Ctrl+PgDn and Ctrl+PgUp anywhere in the window change the page.
class TFlatPageControl final : public QWidget
{
public:
    explicit TFlatPageControl(QWidget* parent = nullptr);
    void AddPage(QWidget* page, const QString& caption);
    int Count() const;
    int CurrentIndex() const;
    void SetCurrentIndex(int index);
    QWidget* Page(int index) const;

    QTabBar* Tabs() const { return m_tabs; }

    // Gives every page the room below the tabs and places its controls, so
    // each has its real size before the control is first shown.
    void PlacePages();

private:
    void Step(int step);

    QTabBar* m_tabs;
    QStackedWidget* m_pages;
};

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

    TFlatPageControl* PageControl1;
    // "Misc"
    TFlatEdit* FlatEdit2;
    TFlatButton* FlatButton4;
    TFlatButton* FlatButton5;
    QListWidget* ListBox1;
    TFlatComboBox* cmbTyp;
    TFlatEdit* FlatEdit1;
    TFlatCheckBox* FlatCheckBox1;
    // "Full analysis (ID3v2/APE tags, exact length, FLAC/Ogg/Opus/M4A/WAV)"
    TFlatCheckBox* FlatCheckBox2;
    // "List Items"
    TCheckListBox* CheckListBox1;
    TFlatButton* SpeedButton1;
    TFlatButton* SpeedButton2;
    QCheckBox* CheckBox1;
    QLabel* Label1;
    TFlatEdit* Edit1;
    // "HTML-Options"
    TFlatButton* FlatButton9;
    TFlatEdit* Edit6;
    TFlatButton* FlatButton8;
    TFlatEdit* Edit8;
    TFlatButton* FlatButton7;
    TFlatEdit* Edit7;
    TFlatButton* FlatButton6;
    TFlatEdit* Edit11;
    TFlatButton* FlatButton10;
    TFlatEdit* Edit10;
    QCheckBox* CheckBox3;
    TFlatEdit* Edit9;
    // Below the tabs
    TFlatButton* FlatButton3;
    TFlatButton* FlatButton2;
    TFlatButton* FlatButton1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A colour of the profile and its text, which one picker sets together.
    struct ColorField
    {
        std::int32_t Profiles::Profile::*Colour;
        std::string Profiles::Profile::*Text;
    };

    QWidget* BuildMiscPage();
    TFlatGroupBox* BuildExtensionsGroup(QWidget* page);
    TFlatGroupBox* BuildFormatGroup(QWidget* page);
    QWidget* BuildListItemsPage();
    QWidget* BuildHtmlPage();
    void ShowDesignStyle();
    void ConnectHandlers();
    void FormShow();
    // "Add" (FlatButton4): the extension typed in FlatEdit2
    void SpeedButton5Click();
    // "Del" (FlatButton5): the selected extension
    void SpeedButton6Click();
    void cmbTypChange();
    void ShowFormat(Profiles::ListFormat listFormat);
    void MoveItem(int step);
    void StoreItems();
    // "Font style" (FlatButton9)
    void SpeedButton14Click();
    void PickColor(ColorField field);
    // "Don't use Background 2 (saves 30% filesize)" (CheckBox3)
    void wClick(bool checked);
    void ShowColors();
    void FlatButton1Click();
    void FlatButton2Click();
    void ClearOutputBox();

    Dialogs& m_dialogs;
    Profiles::Profile& m_profile;
    Profiles::ProfileHost& m_host;
    ProfileDialogLinks m_links{};
    // The shared colour picker starts from the colour chosen in it last.
    std::int32_t m_lastPickedColor = 0;
};

#pragma once

// "Options" (TForm5): the global options. Its controls are a view of the live
// GlobalOptions record (every change goes into the record at once and marks
// the value known); cmbStyles is the default style box of the profile
// operations. The shell extension switch and "Remove from Registry" act at
// once; "&OK" stores the rest, "&Cancel" stores nothing and undoes nothing.

#include <functional>
#include <initializer_list>
#include <string>

#include <QDialog>

#include "base/Dialogs.h"
#include "profiles/GlobalOptions.h"
#include "profiles/Profile.h"
#include "widgets/FlatWidgets.h"

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

    // "Source directory favourites"
    TFlatEdit* FlatEdit1;
    TFlatButton* FlatButton3; // "...": browse for a folder
    TFlatButton* FlatButton4; // "Add": the folder typed or chosen
    TFlatButton* FlatButton5; // "Del": the selected favourite
    TFlatPanel* FlatPanel1;
    QListWidget* ListBox2;
    // "Output directory favourites"
    TFlatEdit* FlatEdit2;
    TFlatButton* FlatButton6; // "...": browse
    TFlatButton* FlatButton7; // "Add"
    TFlatButton* FlatButton8; // "Del"
    TFlatPanel* FlatPanel2;
    QListWidget* ListBox3;
    // "Misc"
    TFlatCheckBox* FlatCheckBox2;
    TFlatCheckBox* FlatCheckBox3; // "Remember file facts between lists"
    // "Registry"
    TFlatCheckBox* FlatCheckBox1;
    TFlatButton* FlatButton9;
    TFlatButton* FlatButton11;
    // "Default output filename"
    TFlatEdit* FlatEdit3;
    // "Default style": cmbStyles and
    TFlatButton* FlatButton10;
    TFlatButton* FlatButton2;
    TFlatButton* FlatButton1;
    // One browser for both "..." buttons: it opens where either chose last.
    TBrowseFolder BrowseFolder1;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Favourites
    {
        TFlatEdit* Edit;
        QListWidget* List;
        GlobalSettings::GlobalValue Value;
    };

    void BuildLayout();
    void LayOutFavourites(TFlatGroupBox* box, const Favourites& group,
                          std::initializer_list<TFlatButton*> buttons, TFlatPanel* panel);
    TFlatGroupBox* BuildMiscGroup();
    TFlatGroupBox* BuildRegistryGroup();
    QLayout* BuildFileNameAndStyle();
    QLayout* BuildButtons();
    void ConnectHandlers();
    std::vector<std::string>& ListOf(const Favourites& group);
    void Browse(const Favourites& group);
    void AddFavourite(const Favourites& group);
    void DeleteFavourite(const Favourites& group);
    // "Enable Rapidex shell extension" (FlatCheckBox1)
    void CheckBox2Click(bool checked);
    // "Default output filename" (FlatEdit3) loses the focus
    void Edit5Exit();
    // "Remove from Registry" (FlatButton9)
    void SpeedButton7Click();
    void FlatButton10Click();
    void FlatButton1Click();
    void ShowRapidex();

    Dialogs& m_dialogs;
    GlobalSettings::GlobalOptions& m_options;
    Profiles::Profile& m_profile;
    Profiles::ProfileHost& m_host;
    std::string m_programPath;
    GlobalOptionsLinks m_links{};
    Favourites m_source{};
    Favourites m_output{};
};

#include "app/frmGlobalOptions.h"

#include <algorithm>

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "scan/DirTools.h"
#include "widgets/GuardedConnect.h"
#include "widgets/Named.h"
#include "widgets/QtConvert.h"
#include "widgets/WindowPlacement.h"

using GlobalSettings::GlobalValue;

namespace {

// The design size of the window's client area; the texts may need more.
constexpr int kDesignWidth = 512;
constexpr int kDesignHeight = 378;

constexpr const char* kBrowseTitle = "Please choose a directory";

void ShowList(QListWidget* list, const std::vector<std::string>& items)
{
    list->clear();
    list->addItems(ToQStringList(items));
}

} // namespace

TForm5::TForm5(Dialogs& dialogs, GlobalSettings::GlobalOptions& options, Profiles::Profile& profile,
               Profiles::ProfileHost& host, std::string programPath, QWidget* parent)
    : QDialog(parent), BrowseFolder1(dialogs, kBrowseTitle, "/"), m_dialogs(dialogs),
      m_options(options), m_profile(profile), m_host(host), m_programPath(std::move(programPath))
{
    setObjectName("TForm5");
    setWindowTitle("Options");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    BuildLayout();
    SetTabOrder({FlatEdit1,     FlatButton3,   FlatButton4,   FlatButton5, ListBox2,
                 FlatEdit2,     FlatButton6,   FlatButton7,   FlatButton8, ListBox3,
                 FlatCheckBox2, FlatCheckBox3, FlatCheckBox1, FlatButton9, FlatButton11,
                 FlatEdit3,     cmbStyles,     FlatButton10,  FlatButton2, FlatButton1});
    ConnectHandlers();
    FixWindowSize(*this, kDesignWidth, kDesignHeight);
}

void TForm5::BuildLayout()
{
    auto* source = new TFlatGroupBox("Source directory favourites", this);
    FlatEdit1 = Named<TFlatEdit>(source, "FlatEdit1");
    FlatButton3 = Named<TFlatButton>(source, "FlatButton3", "...");
    FlatButton4 = Named<TFlatButton>(source, "FlatButton4", "Add");
    FlatButton5 = Named<TFlatButton>(source, "FlatButton5", "Del");
    FlatPanel1 = Named<TFlatPanel>(source, "FlatPanel1");
    ListBox2 = Named<QListWidget>(FlatPanel1, "ListBox2");
    // Without a label of their own, the entry and the list are heard by
    // their group's title.
    FlatEdit1->setAccessibleName(source->title());
    ListBox2->setAccessibleName(source->title());
    m_source = {FlatEdit1, ListBox2, GlobalValue::Source};
    LayOutFavourites(source, m_source, {FlatButton3, FlatButton4, FlatButton5}, FlatPanel1);

    auto* output = new TFlatGroupBox("Output directory favourites", this);
    FlatEdit2 = Named<TFlatEdit>(output, "FlatEdit2");
    FlatButton6 = Named<TFlatButton>(output, "FlatButton6", "...");
    FlatButton7 = Named<TFlatButton>(output, "FlatButton7", "Add");
    FlatButton8 = Named<TFlatButton>(output, "FlatButton8", "Del");
    FlatPanel2 = Named<TFlatPanel>(output, "FlatPanel2");
    ListBox3 = Named<QListWidget>(FlatPanel2, "ListBox3");
    FlatEdit2->setAccessibleName(output->title());
    ListBox3->setAccessibleName(output->title());
    m_output = {FlatEdit2, ListBox3, GlobalValue::Output};
    LayOutFavourites(output, m_output, {FlatButton6, FlatButton7, FlatButton8}, FlatPanel2);

    TFlatGroupBox* misc = BuildMiscGroup();
    TFlatGroupBox* registry = BuildRegistryGroup();
    QLayout* fileNameAndStyle = BuildFileNameAndStyle();
    QLayout* buttons = BuildButtons();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(12);
    grid->addWidget(source, 0, 0);
    grid->addWidget(registry, 0, 1);
    grid->addWidget(output, 1, 0);
    // The two groups stacked in one cell stand as far apart as the others
    // (with its two spacings differing the grid hands down none).
    fileNameAndStyle->setSpacing(grid->verticalSpacing());
    grid->addLayout(fileNameAndStyle, 1, 1);
    grid->addWidget(misc, 2, 0);
    grid->addLayout(buttons, 2, 1, Qt::AlignBottom);
    grid->setColumnStretch(0, 4);
    grid->setColumnStretch(1, 3);
}

void TForm5::LayOutFavourites(TFlatGroupBox* box, const Favourites& group,
                              std::initializer_list<TFlatButton*> buttons, TFlatPanel* panel)
{
    group.Edit->SetFocusColored(true);
    group.Edit->setMinimumWidth(149);
    group.List->setFrameShape(QFrame::NoFrame);
    group.List->setSelectionMode(QAbstractItemView::SingleSelection);
    group.List->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    panel->setMinimumSize(250, 75);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    panelLayout->addWidget(group.List);

    auto* row = new QHBoxLayout;
    row->addWidget(group.Edit, 1);
    for (TFlatButton* button : buttons) {
        button->setMinimumWidth(30);
        row->addWidget(button);
    }
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(row);
    layout->addWidget(panel, 1);
}

TFlatGroupBox* TForm5::BuildMiscGroup()
{
    auto* misc = new TFlatGroupBox("Misc", this);
    FlatCheckBox2 = Named<TFlatCheckBox>(misc, "FlatCheckBox2", "Ask for Custom Info");
    FlatCheckBox3 =
        Named<TFlatCheckBox>(misc, "FlatCheckBox3", "Remember file facts between lists");
    auto* layout = new QVBoxLayout(misc);
    layout->addWidget(FlatCheckBox2);
    layout->addWidget(FlatCheckBox3);
    return misc;
}

TFlatGroupBox* TForm5::BuildRegistryGroup()
{
    auto* registry = new TFlatGroupBox("Registry", this);
    FlatCheckBox1 =
        Named<TFlatCheckBox>(registry, "FlatCheckBox1", "Enable Rapidex shell extension");
    FlatButton9 = Named<TFlatButton>(registry, "FlatButton9", "Remove from Registry");
    FlatButton11 = Named<TFlatButton>(registry, "FlatButton11", "Backup Registry entries");
    FlatButton11->setEnabled(false); // there is no backup
    auto* layout = new QVBoxLayout(registry);
    layout->addWidget(FlatCheckBox1);
    layout->addWidget(FlatButton9);
    layout->addWidget(FlatButton11);
    layout->addStretch(1);
    return registry;
}

QLayout* TForm5::BuildFileNameAndStyle()
{
    auto* fileName = new TFlatGroupBox("Default output filename", this);
    FlatEdit3 = Named<TFlatEdit>(fileName, "FlatEdit3");
    FlatEdit3->SetFocusColored(true);
    auto* fileNameLayout = new QVBoxLayout(fileName);
    fileNameLayout->addWidget(FlatEdit3);

    auto* style = new TFlatGroupBox("Default style", this);
    cmbStyles = Named<TFlatComboBox>(style, "cmbStyles", true);
    cmbStyles->SetSorted(true);
    FlatButton10 = Named<TFlatButton>(style, "FlatButton10", "Del");
    auto* styleLayout = new QHBoxLayout(style);
    styleLayout->addWidget(cmbStyles, 1);
    styleLayout->addWidget(FlatButton10);

    auto* column = new QVBoxLayout;
    column->addWidget(fileName);
    column->addWidget(style);
    column->addStretch(1);
    return column;
}

QLayout* TForm5::BuildButtons()
{
    FlatButton2 = Named<TFlatButton>(this, "FlatButton2", "&Cancel");
    FlatButton1 = Named<TFlatButton>(this, "FlatButton1", "&OK");
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(9);
    for (TFlatButton* button : {FlatButton2, FlatButton1}) {
        button->setMinimumSize(100, 25);
        buttons->addWidget(button, 1);
    }
    return buttons;
}

void TForm5::ConnectHandlers()
{
    GuardedConnect(m_dialogs, FlatButton3, &QPushButton::clicked, this,
                   [this] { Browse(m_source); });
    GuardedConnect(m_dialogs, FlatButton4, &QPushButton::clicked, this,
                   [this] { AddFavourite(m_source); });
    GuardedConnect(m_dialogs, FlatButton5, &QPushButton::clicked, this,
                   [this] { DeleteFavourite(m_source); });
    GuardedConnect(m_dialogs, FlatButton6, &QPushButton::clicked, this,
                   [this] { Browse(m_output); });
    GuardedConnect(m_dialogs, FlatButton7, &QPushButton::clicked, this,
                   [this] { AddFavourite(m_output); });
    GuardedConnect(m_dialogs, FlatButton8, &QPushButton::clicked, this,
                   [this] { DeleteFavourite(m_output); });
    GuardedConnect(m_dialogs, FlatCheckBox1, &QCheckBox::toggled, this, &TForm5::CheckBox2Click);
    GuardedConnect(m_dialogs, FlatCheckBox2, &QCheckBox::toggled, this, [this](bool checked) {
        m_options.AskForCustom = checked;
        m_options.MarkKnown(GlobalValue::AskForCustom);
    });
    GuardedConnect(m_dialogs, FlatCheckBox3, &QCheckBox::toggled, this, [this](bool checked) {
        m_options.RememberFileFacts = checked;
        m_options.MarkKnown(GlobalValue::RememberFileFacts);
    });
    GuardedConnect(m_dialogs, FlatButton9, &QPushButton::clicked, this, &TForm5::SpeedButton7Click);
    GuardedConnect(m_dialogs, FlatEdit3, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_options.DefaultFileName = text.toStdString();
        m_options.MarkKnown(GlobalValue::DefaultFileName);
    });
    // Leaving the box has no signal of its own: eventFilter runs Edit5Exit.
    FlatEdit3->installEventFilter(this);
    GuardedConnect(m_dialogs, cmbStyles, &TFlatComboBox::UserChanged, this,
                   [this] { m_options.MarkKnown(GlobalValue::DefaultStyle); });
    GuardedConnect(m_dialogs, FlatButton10, &QPushButton::clicked, this,
                   &TForm5::FlatButton10Click);
    GuardedConnect(m_dialogs, FlatButton2, &QPushButton::clicked, this, &TForm5::reject);
    GuardedConnect(m_dialogs, FlatButton1, &QPushButton::clicked, this, &TForm5::FlatButton1Click);
}

void TForm5::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CenterOnScreen(*this);
    }
}

bool TForm5::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FlatEdit3 && event->type() == QEvent::FocusOut) {
        Guarded(m_dialogs, [&] { Edit5Exit(); });
    }
    return QDialog::eventFilter(watched, event);
}

void TForm5::ShowOptions()
{
    const QSignalBlocker blockAsk(FlatCheckBox2);
    FlatCheckBox2->setChecked(m_options.AskForCustom);
    const QSignalBlocker blockRemember(FlatCheckBox3);
    FlatCheckBox3->setChecked(m_options.RememberFileFacts);
    ShowRapidex();
    FlatEdit3->setText(Q(m_options.DefaultFileName));
    ShowList(ListBox2, m_options.Source);
    ShowList(ListBox3, m_options.Output);
}

void TForm5::ShowRapidex()
{
    // The box shows what is registered; setting it does not register again.
    const QSignalBlocker block(FlatCheckBox1);
    FlatCheckBox1->setChecked(m_options.Rapidex);
}

std::vector<std::string>& TForm5::ListOf(const Favourites& group)
{
    return group.Value == GlobalValue::Source ? m_options.Source : m_options.Output;
}

void TForm5::Browse(const Favourites& group)
{
    const QString folder = BrowseFolder1.Execute();
    if (!folder.isEmpty()) {
        group.Edit->setText(folder);
    }
}

void TForm5::AddFavourite(const Favourites& group)
{
    std::string folder = group.Edit->text().toStdString();
    // A line break would make two entries of the stored list.
    if (folder.empty() || folder.find_first_of("\r\n") != std::string::npos ||
        !DirTools::FolderExists(folder)) {
        return;
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    std::vector<std::string>& list = ListOf(group);
    if (std::find(list.begin(), list.end(), folder) != list.end()) {
        return; // letter case counts
    }
    group.Edit->clear();
    list.push_back(folder);
    group.List->addItem(Q(folder));
    m_options.MarkKnown(group.Value);
}

void TForm5::DeleteFavourite(const Favourites& group)
{
    const int row = RemoveSelectedLine(*group.List);
    if (row < 0) {
        return;
    }
    std::vector<std::string>& list = ListOf(group);
    list.erase(list.begin() + row);
    m_options.MarkKnown(group.Value);
}

void TForm5::CheckBox2Click(bool checked)
{
    const bool switched = Guarded(m_dialogs, [&] {
        if (checked) {
            GlobalSettings::EnableShellExtension(m_programPath);
        } else {
            GlobalSettings::DisableShellExtension();
        }
        m_options.Rapidex = checked;
        m_options.MarkKnown(GlobalValue::Rapidex);
    });
    if (!switched) {
        ShowRapidex(); // a switch that failed shows the state it left
    }
}

void TForm5::Edit5Exit()
{
    const QString text = FlatEdit3->text();
    const qsizetype dot = text.indexOf('.');
    if (dot < 0) {
        return;
    }
    FlatEdit3->setText(text.left(dot));
    m_options.DefaultFileName = FlatEdit3->text().toStdString();
    m_options.MarkKnown(GlobalValue::DefaultFileName);
}

void TForm5::SpeedButton7Click()
{
    // The box follows the record even when the removal stops on an error.
    struct ShowAfterwards
    {
        TForm5* Form;

        ~ShowAfterwards() { Form->ShowRapidex(); }
    } show{this};

    GlobalSettings::RemoveFromRegistry(m_options, m_dialogs);
}

void TForm5::FlatButton10Click()
{
    Profiles::DeleteProfile(cmbStyles->Text().toStdString(), m_profile, m_host, m_dialogs);
}

void TForm5::FlatButton1Click()
{
    const std::string style = cmbStyles->Text().toStdString();
    GlobalSettings::SaveGlobalOptions(m_options, style);
    if (m_links.FavouritesChanged) {
        m_links.FavouritesChanged();
    }
    // A default style the start-up load never reached is not made current:
    // its box is empty, and loading that name would store a nameless profile.
    if (m_options.IsKnown(GlobalValue::DefaultStyle) && m_links.DefaultStyleChosen) {
        m_links.DefaultStyleChosen(style);
    }
    accept();
}

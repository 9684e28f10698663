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
#include "widgets/QtConvert.h"
#include "widgets/WindowPlacement.h"

using GlobalSettings::GlobalValue;

namespace {

// The design size of the window's client area; the texts may need more.
constexpr int kDesignWidth = 512;
constexpr int kDesignHeight = 378;

constexpr const char* kBrowseTitle = "Please choose a directory";

QString Q(const std::string& text) { return QString::fromStdString(text); }

void ShowList(QListWidget* list, const std::vector<std::string>& items)
{
    list->clear();
    list->addItems(ToQStringList(items));
}

TFlatButton* Button(const char* name, const QString& caption, QWidget* parent)
{
    auto* button = new TFlatButton(caption, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

TForm5::TForm5(Dialogs& dialogs, GlobalSettings::GlobalOptions& options, Profiles::Profile& profile,
               Profiles::ProfileHost& host, std::string programPath, QWidget* parent)
    : QDialog(parent), cmbStyles(new TFlatComboBox(true, this)),
      BrowseFolder1(dialogs, kBrowseTitle, "/"), m_dialogs(dialogs), m_options(options),
      m_profile(profile), m_host(host), m_programPath(std::move(programPath))
{
    setObjectName("TForm5");
    setWindowTitle("Options");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    cmbStyles->setObjectName("cmbStyles");
    cmbStyles->SetSorted(true);

    m_source.Value = GlobalValue::Source;
    m_output.Value = GlobalValue::Output;
    TFlatGroupBox* source = BuildFavourites("Source directory favourites", m_source, FlatButton3,
                                            FlatButton4, FlatButton5, FlatPanel1);
    FlatEdit1 = m_source.Edit;
    FlatEdit1->setObjectName("FlatEdit1");
    ListBox2 = m_source.List;
    ListBox2->setObjectName("ListBox2");
    FlatPanel1->setObjectName("FlatPanel1");
    TFlatGroupBox* output = BuildFavourites("Output directory favourites", m_output, FlatButton6,
                                            FlatButton7, FlatButton8, FlatPanel2);
    FlatEdit2 = m_output.Edit;
    FlatEdit2->setObjectName("FlatEdit2");
    ListBox3 = m_output.List;
    ListBox3->setObjectName("ListBox3");
    FlatPanel2->setObjectName("FlatPanel2");
    FlatButton3->setObjectName("FlatButton3");
    FlatButton4->setObjectName("FlatButton4");
    FlatButton5->setObjectName("FlatButton5");
    FlatButton6->setObjectName("FlatButton6");
    FlatButton7->setObjectName("FlatButton7");
    FlatButton8->setObjectName("FlatButton8");

    auto* misc = new TFlatGroupBox("Misc", this);
    FlatCheckBox2 = new TFlatCheckBox("Ask for Custom Info", misc);
    FlatCheckBox2->setObjectName("FlatCheckBox2");
    auto* miscLayout = new QVBoxLayout(misc);
    miscLayout->addWidget(FlatCheckBox2);

    auto* registry = new TFlatGroupBox("Registry", this);
    FlatCheckBox1 = new TFlatCheckBox("Enable Rapidex shell extension", registry);
    FlatCheckBox1->setObjectName("FlatCheckBox1");
    FlatButton9 = Button("FlatButton9", "Remove from Registry", registry);
    FlatButton11 = Button("FlatButton11", "Backup Registry entries", registry);
    FlatButton11->setEnabled(false); // there is no backup
    auto* registryLayout = new QVBoxLayout(registry);
    registryLayout->addWidget(FlatCheckBox1);
    registryLayout->addWidget(FlatButton9);
    registryLayout->addWidget(FlatButton11);
    registryLayout->addStretch(1);

    auto* fileName = new TFlatGroupBox("Default output filename", this);
    FlatEdit3 = new TFlatEdit(fileName);
    FlatEdit3->setObjectName("FlatEdit3");
    FlatEdit3->SetFocusColored(true);
    FlatEdit3->installEventFilter(this);
    auto* fileNameLayout = new QVBoxLayout(fileName);
    fileNameLayout->addWidget(FlatEdit3);

    auto* style = new TFlatGroupBox("Default style", this);
    cmbStyles->setParent(style);
    FlatButton10 = Button("FlatButton10", "Del", style);
    auto* styleLayout = new QHBoxLayout(style);
    styleLayout->addWidget(cmbStyles, 1);
    styleLayout->addWidget(FlatButton10);

    FlatButton2 = Button("FlatButton2", "&Cancel", this);
    FlatButton1 = Button("FlatButton1", "&OK", this);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(9);
    for (TFlatButton* button : {FlatButton2, FlatButton1}) {
        button->setMinimumSize(100, 25);
        buttons->addWidget(button, 1);
    }

    auto* right = new QVBoxLayout;
    right->addWidget(fileName);
    right->addWidget(style);
    right->addStretch(1);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(12);
    grid->addWidget(source, 0, 0);
    grid->addWidget(registry, 0, 1);
    grid->addWidget(output, 1, 0);
    grid->addLayout(right, 1, 1);
    grid->addWidget(misc, 2, 0);
    grid->addLayout(buttons, 2, 1, Qt::AlignBottom);
    grid->setColumnStretch(0, 4);
    grid->setColumnStretch(1, 3);

    QWidget* const tabOrder[] = {FlatEdit1,     FlatButton3,   FlatButton4, FlatButton5,  ListBox2,
                                 FlatEdit2,     FlatButton6,   FlatButton7, FlatButton8,  ListBox3,
                                 FlatCheckBox2, FlatCheckBox1, FlatButton9, FlatButton11, FlatEdit3,
                                 cmbStyles,     FlatButton10,  FlatButton2, FlatButton1};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    connect(FlatCheckBox1, &QCheckBox::toggled, this,
            [this](bool checked) { CheckBox2Click(checked); });
    GuardedConnect(m_dialogs, FlatCheckBox2, &QCheckBox::toggled, this, [this](bool checked) {
        m_options.AskForCustom = checked;
        m_options.MarkKnown(GlobalValue::AskForCustom);
    });
    GuardedConnect(m_dialogs, FlatButton9, &QPushButton::clicked, this,
                   [this] { SpeedButton7Click(); });
    GuardedConnect(m_dialogs, FlatEdit3, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_options.DefaultFileName = text.toStdString();
        m_options.MarkKnown(GlobalValue::DefaultFileName);
    });
    GuardedConnect(m_dialogs, cmbStyles, &TFlatComboBox::UserChanged, this,
                   [this] { m_options.MarkKnown(GlobalValue::DefaultStyle); });
    GuardedConnect(m_dialogs, FlatButton10, &QPushButton::clicked, this,
                   [this] { FlatButton10Click(); });
    GuardedConnect(m_dialogs, FlatButton2, &QPushButton::clicked, this, [this] { reject(); });
    GuardedConnect(m_dialogs, FlatButton1, &QPushButton::clicked, this,
                   [this] { FlatButton1Click(); });

    FixWindowSize(*this, kDesignWidth, kDesignHeight);
}

TFlatGroupBox* TForm5::BuildFavourites(const QString& caption, Favourites& group,
                                       TFlatButton*& browse, TFlatButton*& add, TFlatButton*& del,
                                       TFlatPanel*& panel)
{
    auto* box = new TFlatGroupBox(caption, this);
    group.Edit = new TFlatEdit(box);
    group.Edit->SetFocusColored(true);
    group.Edit->setMinimumWidth(149);
    browse = new TFlatButton("...", box);
    add = new TFlatButton("Add", box);
    del = new TFlatButton("Del", box);
    panel = new TFlatPanel(box);
    group.List = new QListWidget(panel);
    group.List->setFrameShape(QFrame::NoFrame);
    group.List->setSelectionMode(QAbstractItemView::SingleSelection);
    group.List->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    panel->setMinimumSize(250, 75);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    panelLayout->addWidget(group.List);

    auto* row = new QHBoxLayout;
    row->addWidget(group.Edit, 1);
    for (TFlatButton* button : {browse, add, del}) {
        button->setMinimumWidth(30);
        row->addWidget(button);
    }
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(row);
    layout->addWidget(panel, 1);

    // The group is copied by value into the handlers: its controls are set.
    const Favourites controls = group;
    GuardedConnect(m_dialogs, browse, &QPushButton::clicked, this,
                   [this, controls] { Browse(controls); });
    GuardedConnect(m_dialogs, add, &QPushButton::clicked, this,
                   [this, controls] { AddFavourite(controls); });
    GuardedConnect(m_dialogs, del, &QPushButton::clicked, this,
                   [this, controls] { DeleteFavourite(controls); });
    return box;
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
    const QList<QListWidgetItem*> selected = group.List->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const int row = group.List->row(selected.front());
    delete group.List->takeItem(row);
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

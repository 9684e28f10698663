#include "profiles/frmOptions.h"

#include <algorithm>
#include <cassert>
#include <optional>
#include <string>
#include <string_view>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QResizeEvent>
#include <QShortcut>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "base/Ascii.h"
#include "widgets/FlatWidgets.h"
#include "widgets/GuardedConnect.h"
#include "widgets/Named.h"
#include "widgets/QtConvert.h"
#include "widgets/WindowPlacement.h"

using namespace Profiles;

namespace {

// The design size of the window's client area; the texts may need more.
constexpr int kDesignWidth = 300;
constexpr int kDesignHeight = 297;

constexpr const char* kSaveAsCaption = "Save as...";
constexpr const char* kSaveAsPrompt = "Enter Profile Name";

// The text of a new extension, or nothing when it is refused: leading stars
// and full stops are dropped, and a character that a file pattern or a
// stored list cannot hold refuses the whole entry.
std::optional<std::string> ExtensionToAdd(std::string_view text)
{
    const std::size_t start = text.find_first_not_of("*.");
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(start);
    constexpr std::string_view kRefused = "\"*./:<>?[\\]{}\r\n\t";
    if (text.find_first_of(kRefused) != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(text);
}

void StableSortIgnoringCase(std::vector<std::string>& items)
{
    std::stable_sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
        return Ascii::LessIgnoringCase(a, b);
    });
}

// A borderless list that flows its entries in three columns, scrolling
// sideways when they fill them.
class ThreeColumnList final : public QListWidget
{
public:
    explicit ThreeColumnList(QWidget* parent) : QListWidget(parent)
    {
        setFrameShape(QFrame::NoFrame);
        setFlow(QListView::TopToBottom);
        setWrapping(true);
        setResizeMode(QListView::Adjust);
        setUniformItemSizes(true);
        setSelectionMode(QAbstractItemView::SingleSelection);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QListWidget::resizeEvent(event);
        setGridSize(QSize(std::max(1, viewport()->width() / 3), fontMetrics().height() + 2));
    }
};

// A swatch shows its colour, and its text in black or white, whichever reads
// better on it.
void ShowSwatch(TFlatEdit* swatch, std::int32_t colour, const std::string& text)
{
    const QColor background = ColorFromBgr(colour);
    swatch->SetColors(background, background.lightness() < 128 ? Qt::white : Qt::black);
    swatch->setText(Q(text));
}

// The font preview shows its face name in that face, but takes its height
// from its ruler, a box in the window's own font: a face with taller or
// shorter lines would otherwise resize its row and move every control of the
// group and below it. A tall face is clipped instead.
class FontPreview final : public TFlatEdit
{
public:
    explicit FontPreview(QWidget* parent) : TFlatEdit(parent) {}

    void SetRuler(const QWidget* ruler)
    {
        m_ruler = ruler;
        updateGeometry();
    }

    QSize sizeHint() const override { return RulerHigh(TFlatEdit::sizeHint()); }

    QSize minimumSizeHint() const override { return RulerHigh(TFlatEdit::minimumSizeHint()); }

private:
    QSize RulerHigh(QSize size) const
    {
        if (m_ruler) {
            size.setHeight(m_ruler->sizeHint().height());
        }
        return size;
    }

    const QWidget* m_ruler = nullptr;
};

// A colour swatch of the "Style" group; the two of the stored colours that
// accept typing take their text as it stands. A screen reader names it after
// its button (Qt would take the group's caption, the same for all five).
template <typename Box = TFlatEdit>
Box* Swatch(QWidget* parent, const char* name, const TFlatButton* button, bool typeable)
{
    auto* swatch = Named<Box>(parent, name);
    swatch->setAccessibleName(button->text());
    swatch->setReadOnly(!typeable);
    // Wide enough for "#DDDDDD", growing with the group.
    swatch->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    swatch->setMinimumWidth(swatch->fontMetrics().horizontalAdvance("#DDDDDD") + 14);
    return swatch;
}

// The list boxes grow with the window, which their texts size.
void SizeFreely(QWidget* list, int minimumWidth, int minimumHeight)
{
    list->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    list->setMinimumSize(minimumWidth, minimumHeight);
}

void Tighten(QLayout* layout)
{
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
}

} // namespace

TFlatPageControl::TFlatPageControl(QWidget* parent)
    : QWidget(parent), m_tabs(new QTabBar(this)), m_pages(new QStackedWidget(this))
{
    m_tabs->setObjectName("Tabs");
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_tabs->setUsesScrollButtons(false); // the three tabs always fit
    m_tabs->setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tabs);
    layout->addWidget(m_pages, 1);
    connect(m_tabs, &QTabBar::currentChanged, m_pages, &QStackedWidget::setCurrentIndex);
    const std::pair<QKeyCombination, int> steps[] = {
        {Qt::CTRL | Qt::Key_Tab, 1},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, -1},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, -1},
        {Qt::CTRL | Qt::Key_PageDown, 1},
        {Qt::CTRL | Qt::Key_PageUp, -1},
    };
    for (const auto& [keys, step] : steps) {
        auto* shortcut = new QShortcut(QKeySequence(keys), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] { Step(step); });
    }
}

void TFlatPageControl::AddPage(QWidget* page, const QString& caption)
{
    m_pages->addWidget(page);
    m_tabs->addTab(caption);
}

int TFlatPageControl::Count() const { return m_pages->count(); }

int TFlatPageControl::CurrentIndex() const { return m_pages->currentIndex(); }

void TFlatPageControl::SetCurrentIndex(int index) { m_tabs->setCurrentIndex(index); }

void TFlatPageControl::Step(int step)
{
    // Round the row, as the standard tab pages do.
    SetCurrentIndex((CurrentIndex() + step + Count()) % Count());
}

QWidget* TFlatPageControl::Page(int index) const { return m_pages->widget(index); }

void TFlatPageControl::PlacePages()
{
    PlaceControls(*this);
    for (int index = 0; index < Count(); ++index) {
        Page(index)->setGeometry(m_pages->contentsRect());
        PlaceControls(*Page(index));
    }
}

TForm3::TForm3(Dialogs& dialogs, Profile& profile, ProfileHost& host, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_profile(profile), m_host(host)
{
    setObjectName("TForm3");
    setWindowTitle("Profile Options");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    PageControl1 = Named<TFlatPageControl>(this, "PageControl1");
    PageControl1->AddPage(BuildMiscPage(), "Misc");
    PageControl1->AddPage(BuildListItemsPage(), "List Items");
    PageControl1->AddPage(BuildHtmlPage(), "HTML-Options");

    FlatButton3 = Named<TFlatButton>(this, "FlatButton3", "&Cancel");
    FlatButton2 = Named<TFlatButton>(this, "FlatButton2", "Save &as...");
    FlatButton1 = Named<TFlatButton>(this, "FlatButton1", "&Save");
    auto* buttons = new QHBoxLayout;
    for (TFlatButton* button : {FlatButton3, FlatButton2, FlatButton1}) {
        button->setMinimumHeight(25);
        buttons->addWidget(button, 1);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    ConnectHandlers();
    FixWindowSize(*this, kDesignWidth, kDesignHeight);
    PageControl1->PlacePages();
}

QWidget* TForm3::BuildMiscPage()
{
    // Without a parent: AddPage gives it to the page control.
    auto* page = Named<QWidget>(nullptr, "TabMisc");
    TFlatGroupBox* extensions = BuildExtensionsGroup(page);
    TFlatGroupBox* format = BuildFormatGroup(page);
    FlatCheckBox2 =
        Named<TFlatCheckBox>(page, "FlatCheckBox2",
                             "Full analysis (ID3v2/APE tags, exact length, FLAC/Ogg/Opus/M4A/WAV)");
    auto* layout = new QVBoxLayout(page);
    Tighten(layout);
    layout->addWidget(extensions, 1);
    layout->addWidget(format);
    layout->addWidget(FlatCheckBox2);
    return page;
}

TFlatGroupBox* TForm3::BuildExtensionsGroup(QWidget* page)
{
    auto* extensions = new TFlatGroupBox("File-Extensions to scan for", page);
    FlatEdit2 = Named<TFlatEdit>(extensions, "FlatEdit2");
    FlatEdit2->setFixedWidth(72);
    FlatButton4 = Named<TFlatButton>(extensions, "FlatButton4", "Add");
    FlatButton5 = Named<TFlatButton>(extensions, "FlatButton5", "Del");
    ListBox1 = Named<ThreeColumnList>(extensions, "ListBox1");
    SizeFreely(ListBox1, 150, 90);
    // Qt gives a list no name: a screen reader would hear just "list".
    ListBox1->setAccessibleName(extensions->title());

    auto* entry = new QHBoxLayout;
    entry->addWidget(FlatEdit2);
    entry->addWidget(FlatButton4);
    entry->addWidget(FlatButton5);
    entry->addStretch(1);
    auto* warning = new QVBoxLayout;
    for (const char* line : {"Extensions that are", "not mpeg files", "may cause errors!"}) {
        warning->addWidget(new QLabel(line, extensions));
    }
    warning->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addLayout(entry);
    left->addWidget(ListBox1, 1);
    auto* extensionsLayout = new QHBoxLayout(extensions);
    extensionsLayout->addLayout(left, 1);
    extensionsLayout->addLayout(warning);
    Tighten(extensionsLayout);
    return extensions;
}

TFlatGroupBox* TForm3::BuildFormatGroup(QWidget* page)
{
    auto* format = new TFlatGroupBox("List format", page);
    cmbTyp = Named<TFlatComboBox>(format, "cmbTyp", false);
    cmbTyp->SetSorted(true);
    // In format order, which is also their sorted order: the position of
    // the selected item is the list format's number.
    QStringList captions;
    for (const FormatFacts& facts : kListFormats) {
        captions.append(
            QString::fromUtf8(facts.Caption.data(), static_cast<qsizetype>(facts.Caption.size())));
    }
    cmbTyp->SetItems(captions);
    assert(cmbTyp->Items() == captions);
    FlatEdit1 = Named<TFlatEdit>(format, "FlatEdit1");
    FlatEdit1->setFixedWidth(49);
    FlatEdit1->setAccessibleName("Separator");
    FlatCheckBox1 = Named<TFlatCheckBox>(format, "FlatCheckBox1", "Append to existing List");
    // Showing and hiding them must not move the other controls.
    for (QWidget* control : std::initializer_list<QWidget*>{FlatEdit1, FlatCheckBox1}) {
        QSizePolicy policy = control->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        control->setSizePolicy(policy);
        control->hide();
    }
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(cmbTyp, 1);
    formatRow->addWidget(FlatEdit1);
    formatRow->addStretch(1);
    auto* formatLayout = new QVBoxLayout(format);
    formatLayout->addLayout(formatRow);
    formatLayout->addWidget(FlatCheckBox1);
    Tighten(formatLayout);
    return format;
}

QWidget* TForm3::BuildListItemsPage()
{
    auto* page = Named<QWidget>(nullptr, "TabListItems");

    CheckListBox1 = Named<TCheckListBox>(page, "CheckListBox1");
    CheckListBox1->SetLines(QStringList(kColumnCaptions.begin(), kColumnCaptions.end()), {});
    SizeFreely(CheckListBox1, 140, 150);
    CheckListBox1->setAccessibleName("List Items");
    SpeedButton1 = Named<TFlatButton>(page, "SpeedButton1", "Up");
    SpeedButton2 = Named<TFlatButton>(page, "SpeedButton2", "Down");
    CheckBox1 = Named<QCheckBox>(page, "CheckBox1", "Sort by first entry");
    Label1 = Named<QLabel>(page, "Label1", "Custom Info:");
    Edit1 = Named<TFlatEdit>(page, "Edit1");
    Edit1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Label1->setBuddy(Edit1);

    auto* side = new QVBoxLayout;
    side->addWidget(SpeedButton1);
    side->addWidget(SpeedButton2);
    side->addSpacing(8);
    for (const char* line : {"Select the information", "you want to have in", "your list."}) {
        side->addWidget(new QLabel(line, page));
    }
    side->addStretch(1);
    auto* items = new QHBoxLayout;
    items->addWidget(CheckListBox1, 1);
    items->addLayout(side);
    auto* custom = new QHBoxLayout;
    custom->addWidget(Label1);
    custom->addWidget(Edit1, 1);

    auto* layout = new QVBoxLayout(page);
    Tighten(layout);
    layout->addLayout(items, 1);
    layout->addWidget(CheckBox1);
    layout->addLayout(custom);
    return page;
}

QWidget* TForm3::BuildHtmlPage()
{
    auto* page = Named<QWidget>(nullptr, "TabHtmlOptions");

    auto* style = new TFlatGroupBox("Style", page);
    FlatButton9 = Named<TFlatButton>(style, "FlatButton9", "Font style");
    auto* preview = Swatch<FontPreview>(style, "Edit6", FlatButton9, false);
    Edit6 = preview;
    FlatButton8 = Named<TFlatButton>(style, "FlatButton8", "Font color");
    Edit8 = Swatch(style, "Edit8", FlatButton8, false);
    preview->SetRuler(Edit8);
    FlatButton7 = Named<TFlatButton>(style, "FlatButton7", "Background");
    Edit7 = Swatch(style, "Edit7", FlatButton7, false);
    FlatButton6 = Named<TFlatButton>(style, "FlatButton6", "Header row");
    Edit11 = Swatch(style, "Edit11", FlatButton6, true);
    FlatButton10 = Named<TFlatButton>(style, "FlatButton10", "Background 2");
    Edit10 = Swatch(style, "Edit10", FlatButton10, true);

    auto* grid = new QGridLayout(style);
    grid->addWidget(FlatButton9, 0, 0);
    grid->addWidget(Edit6, 0, 1, 1, 3);
    grid->addWidget(FlatButton8, 1, 0);
    grid->addWidget(Edit8, 1, 1);
    grid->addWidget(FlatButton6, 1, 2);
    grid->addWidget(Edit11, 1, 3);
    grid->addWidget(FlatButton7, 2, 0);
    grid->addWidget(Edit7, 2, 1);
    grid->addWidget(FlatButton10, 2, 2);
    grid->addWidget(Edit10, 2, 3);
    Tighten(grid);

    CheckBox3 = Named<QCheckBox>(page, "CheckBox3", "Don't use Background 2 (saves 30% filesize)");

    auto* headline = new TFlatGroupBox("Headline", page);
    Edit9 = Named<TFlatEdit>(headline, "Edit9");
    Edit9->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* headlineLayout = new QVBoxLayout(headline);
    headlineLayout->addWidget(Edit9);
    Tighten(headlineLayout);

    auto* layout = new QVBoxLayout(page);
    Tighten(layout);
    layout->addWidget(style);
    layout->addWidget(CheckBox3);
    layout->addWidget(headline);
    layout->addStretch(1);
    ShowDesignStyle();
    return page;
}

void TForm3::ShowDesignStyle()
{
    // What a form shows before any profile is loaded.
    QFont face = Edit6->font();
    face.setFamily("Arial");
    Edit6->setFont(face);
    Edit6->setText("Arial");
    Edit6->SetColors(ColorFromBgr(0x804000), ColorFromBgr(0x0080FF));
    ShowSwatch(Edit8, 0x0080FF, ColorToHtml(0x0080FF));
    ShowSwatch(Edit7, 0x804000, ColorToHtml(0x804000));
    ShowSwatch(Edit10, 0xB85700, ColorToHtml(0xB85700));
    ShowSwatch(Edit11, 0x000000, ColorToHtml(0x000000));
    Edit9->setText("List created by Sonorix");
}

void TForm3::ConnectHandlers()
{
    // "Misc"
    GuardedConnect(m_dialogs, FlatButton4, &QPushButton::clicked, this, &TForm3::SpeedButton5Click);
    GuardedConnect(m_dialogs, FlatButton5, &QPushButton::clicked, this, &TForm3::SpeedButton6Click);
    GuardedConnect(m_dialogs, cmbTyp, &TFlatComboBox::UserChanged, this, &TForm3::cmbTypChange);
    GuardedConnect(m_dialogs, FlatEdit1, &QLineEdit::textEdited, this,
                   [this](const QString& text) { m_profile.Separator = text.toStdString(); });
    GuardedConnect(m_dialogs, FlatCheckBox1, &QCheckBox::toggled, this,
                   [this](bool checked) { m_profile.AppendToList = checked; });
    GuardedConnect(m_dialogs, FlatCheckBox2, &QCheckBox::toggled, this, [this](bool checked) {
        m_profile.Analysis = checked ? Analysis::Full : Analysis::Classic;
    });
    // "List Items"
    GuardedConnect(m_dialogs, CheckListBox1, &QListWidget::itemChanged, this,
                   [this] { StoreItems(); });
    GuardedConnect(m_dialogs, SpeedButton1, &QPushButton::clicked, this, [this] { MoveItem(-1); });
    GuardedConnect(m_dialogs, SpeedButton2, &QPushButton::clicked, this, [this] { MoveItem(1); });
    GuardedConnect(m_dialogs, CheckBox1, &QCheckBox::toggled, this,
                   [this](bool checked) { m_profile.Sort = checked; });
    GuardedConnect(m_dialogs, Edit1, &QLineEdit::textEdited, this,
                   [this](const QString& text) { m_profile.Custom = text.toStdString(); });
    // "HTML-Options"
    GuardedConnect(m_dialogs, FlatButton9, &QPushButton::clicked, this,
                   &TForm3::SpeedButton14Click);
    const std::pair<TFlatButton*, ColorField> pickers[] = {
        {FlatButton8, {&Profile::FontColor, &Profile::FontColorText}},
        {FlatButton7, {&Profile::BackColor, &Profile::BackColorText}},
        {FlatButton10, {&Profile::Back2Color, &Profile::Back2ColorText}},
        {FlatButton6, {&Profile::HeaderColor, &Profile::HeaderColorText}}};
    for (const auto& [button, field] : pickers) {
        GuardedConnect(m_dialogs, button, &QPushButton::clicked, this,
                       [this, field = field] { PickColor(field); });
    }
    // Typed text goes to the lists as it stands; the colour stays as picked
    // or loaded, and is what a save stores.
    GuardedConnect(m_dialogs, Edit11, &QLineEdit::textEdited, this,
                   [this](const QString& text) { m_profile.HeaderColorText = text.toStdString(); });
    GuardedConnect(m_dialogs, Edit10, &QLineEdit::textEdited, this,
                   [this](const QString& text) { m_profile.Back2ColorText = text.toStdString(); });
    GuardedConnect(m_dialogs, CheckBox3, &QCheckBox::toggled, this, &TForm3::wClick);
    GuardedConnect(m_dialogs, Edit9, &QLineEdit::textEdited, this,
                   [this](const QString& text) { m_profile.Headline = text.toStdString(); });
    // Below the tabs
    GuardedConnect(m_dialogs, FlatButton3, &QPushButton::clicked, this, &TForm3::reject);
    GuardedConnect(m_dialogs, FlatButton2, &QPushButton::clicked, this, &TForm3::FlatButton2Click);
    GuardedConnect(m_dialogs, FlatButton1, &QPushButton::clicked, this, &TForm3::FlatButton1Click);
}

void TForm3::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TForm3::FormShow()
{
    PageControl1->SetCurrentIndex(0);
    CenterOnScreen(*this);
    // The tab row comes first for Tab, but the dialog opens in the
    // extension box, ready for typing.
    FlatEdit2->setFocus();
}

void TForm3::ShowProfile()
{
    // The stored order of the extensions is the editor's, which is sorted.
    StableSortIgnoringCase(m_profile.Extensions);
    ListBox1->clear();
    ListBox1->addItems(ToQStringList(m_profile.Extensions));
    {
        const QSignalBlocker block(cmbTyp);
        cmbTyp->setCurrentIndex(NumberOf(m_profile.ListFormat));
    }
    ShowFormat(m_profile.ListFormat);
    FlatEdit1->setText(Q(m_profile.Separator));
    FlatCheckBox1->setChecked(m_profile.AppendToList);
    FlatCheckBox2->setChecked(m_profile.Analysis == Analysis::Full);

    CheckListBox1->SetLines(ToQStringList(m_profile.Information), m_profile.Checked);
    CheckBox1->setChecked(m_profile.Sort);
    Edit1->setText(Q(m_profile.Custom));

    Edit6->setText(Q(m_profile.FontStyle));
    ShowColors();
    CheckBox3->setChecked(m_profile.Save30);
    FlatButton10->setEnabled(!m_profile.Save30);
    Edit10->setEnabled(!m_profile.Save30);
    Edit9->setText(Q(m_profile.Headline));
}

void TForm3::ShowColors()
{
    QFont face = Edit6->font();
    face.setFamily(Q(m_profile.FontStyle));
    Edit6->setFont(face);
    Edit6->SetColors(ColorFromBgr(m_profile.BackColor), ColorFromBgr(m_profile.FontColor));
    ShowSwatch(Edit8, m_profile.FontColor, m_profile.FontColorText);
    ShowSwatch(Edit7, m_profile.BackColor, m_profile.BackColorText);
    ShowSwatch(Edit10, m_profile.Back2Color, m_profile.Back2ColorText);
    ShowSwatch(Edit11, m_profile.HeaderColor, m_profile.HeaderColorText);
}

void TForm3::FormatChanged(ListFormat listFormat)
{
    {
        const QSignalBlocker block(cmbTyp);
        cmbTyp->setCurrentIndex(NumberOf(listFormat));
    }
    ShowFormat(listFormat);
    ClearOutputBox();
}

void TForm3::cmbTypChange()
{
    m_profile.ListFormat = ListFormatFromNumber(cmbTyp->currentIndex());
    ShowFormat(m_profile.ListFormat);
    ClearOutputBox();
}

void TForm3::ShowFormat(ListFormat listFormat)
{
    if (listFormat == ListFormat::None) {
        return; // both stay as they are
    }
    // Hidden controls keep their contents in the profile.
    FlatEdit1->setVisible(listFormat == ListFormat::Custom);
    FlatCheckBox1->setVisible(listFormat != ListFormat::Html);
}

void TForm3::ClearOutputBox()
{
    if (m_links.ClearOutputBox) {
        m_links.ClearOutputBox();
    }
}

void TForm3::SpeedButton5Click()
{
    const std::optional<std::string> extension = ExtensionToAdd(FlatEdit2->text().toStdString());
    if (!extension) {
        return;
    }
    auto& extensions = m_profile.Extensions;
    if (std::find(extensions.begin(), extensions.end(), *extension) != extensions.end()) {
        return; // letter case counts: "MP3" may stand beside "mp3"
    }
    FlatEdit2->clear();
    const auto at = std::upper_bound(
        extensions.begin(), extensions.end(), *extension,
        [](const std::string& a, const std::string& b) { return Ascii::LessIgnoringCase(a, b); });
    const auto row = static_cast<int>(at - extensions.begin());
    extensions.insert(at, *extension);
    ListBox1->insertItem(row, Q(*extension));
}

void TForm3::SpeedButton6Click()
{
    const int row = RemoveSelectedLine(*ListBox1);
    if (row < 0) {
        return;
    }
    m_profile.Extensions.erase(m_profile.Extensions.begin() + row);
}

void TForm3::MoveItem(int step)
{
    if (CheckListBox1->MoveLine(CheckListBox1->Selected(), step)) {
        StoreItems();
    }
}

void TForm3::StoreItems()
{
    m_profile.Information = ToStdStrings(CheckListBox1->Lines());
    m_profile.Checked = CheckListBox1->Ticks();
}

void TForm3::SpeedButton14Click()
{
    // Only the face counts; size, style and colour of the picker are not used.
    const std::optional<std::string> face = m_dialogs.PickFont(m_profile.FontStyle);
    if (!face) {
        return;
    }
    m_profile.FontStyle = *face;
    Edit6->setText(Q(*face));
    ShowColors();
}

void TForm3::PickColor(ColorField field)
{
    const std::optional<std::int32_t> colour = m_dialogs.PickColor(m_lastPickedColor);
    if (!colour) {
        return;
    }
    m_lastPickedColor = *colour;
    m_profile.*field.Colour = *colour;
    m_profile.*field.Text = ColorToHtml(*colour);
    ShowColors();
}

void TForm3::wClick(bool checked)
{
    m_profile.Save30 = checked;
    FlatButton10->setEnabled(!checked);
    Edit10->setEnabled(!checked);
}

void TForm3::FlatButton1Click()
{
    const std::string name = m_host.MainStyleBox().Text();
    if (!IsValidProfileName(name)) {
        m_dialogs.ShowInformation(kInvalidProfileNameMessage);
        return;
    }
    SaveProfile(m_profile, name);
    accept();
}

void TForm3::FlatButton2Click()
{
    const std::optional<std::string> name = m_dialogs.InputBox(kSaveAsCaption, kSaveAsPrompt, "");
    if (!name) {
        return;
    }
    if (!IsValidProfileName(*name)) {
        m_dialogs.ShowInformation(kInvalidProfileNameMessage);
        return;
    }
    {
        // The reload inside may stop on an error; the controls follow the
        // record either way.
        struct ShowAfterwards
        {
            TForm3* Form;

            ~ShowAfterwards() { Form->ShowProfile(); }
        } show{this};

        SaveProfileAs(m_profile, *name, m_host);
        m_host.MainStyleBox().SetText(*name);
        if (m_links.MainStyleChanged) {
            m_links.MainStyleChanged();
        } else {
            LoadProfile(m_profile, m_host);
        }
    }
    accept();
}

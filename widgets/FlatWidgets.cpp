#include "widgets/FlatWidgets.h"

#include <algorithm>
#include <vector>

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include "base/Ascii.h"
#include "base/Dialogs.h"

namespace {

// One look for every flat control: a thin border, darker under the mouse and
// with the focus, and no bevel.
constexpr const char* kFlatStyle = R"(
TFlatButton { border: 1px solid #9a9a9a; border-radius: 0; padding: 2px 8px;
              background: palette(button); }
TFlatButton:hover, TFlatButton:focus { border-color: #3c3c3c; }
TFlatButton:pressed { background: palette(mid); }
TFlatButton:disabled { color: palette(mid); border-color: #c8c8c8; }
TFlatEdit, TFlatComboBox { border: 1px solid #9a9a9a; border-radius: 0; padding: 1px 3px; }
TFlatEdit:hover, TFlatEdit:focus, TFlatComboBox:hover, TFlatComboBox:focus {
              border-color: #3c3c3c; }
TFlatPanel { border: 1px solid #9a9a9a; }
)";

void ApplyFlatStyle(QWidget* widget) { widget->setStyleSheet(kFlatStyle); }

} // namespace

QString FirstLine(const QString& text)
{
    const auto breakAt =
        std::find_if(text.begin(), text.end(), [](QChar c) { return c == u'\r' || c == u'\n'; });
    return text.left(static_cast<qsizetype>(breakAt - text.begin()));
}

void KeepOneLine(QLineEdit* edit)
{
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) {
        const QString line = FirstLine(text);
        if (line.size() != text.size()) {
            const QSignalBlocker block(edit);
            edit->setText(line);
        }
    });
}

int RemoveSelectedLine(QListWidget& list)
{
    const QList<QListWidgetItem*> selected = list.selectedItems();
    if (selected.isEmpty()) {
        return -1;
    }
    const int row = list.row(selected.front());
    delete list.takeItem(row);
    list.clearSelection();
    list.setCurrentItem(nullptr);
    return row;
}

TFlatButton::TFlatButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent)
{
    setAutoDefault(false);
    setDefault(false);
    setFocusPolicy(Qt::StrongFocus);
    ApplyFlatStyle(this);
}

void TFlatButton::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!event->isAutoRepeat()) {
            click();
        }
        return;
    }
    QPushButton::keyPressEvent(event);
}

TFlatEdit::TFlatEdit(QWidget* parent) : QLineEdit(parent)
{
    KeepOneLine(this);
    ApplyFlatStyle(this);
}

void TFlatEdit::SetFocusColored(bool on)
{
    m_focusColored = on;
    ApplyFocusColor(hasFocus());
}

void TFlatEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    ApplyFocusColor(true);
}

void TFlatEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    ApplyFocusColor(false);
}

void TFlatEdit::ApplyFocusColor(bool focused)
{
    if (!m_focusColored) {
        return;
    }
    const QColor background = focused ? QColor(0xFF, 0xFF, 0xE1) : QColor(Qt::white);
    QPalette colors = palette();
    colors.setColor(QPalette::Base, background);
    setPalette(colors);
    // The flat style sheet draws the background, not the palette.
    setStyleSheet(QString(kFlatStyle) +
                  QString("TFlatEdit { background: %1; }").arg(background.name()));
}

void TFlatEdit::SetColors(const QColor& background, const QColor& text)
{
    // The flat style sheet draws the background, not the palette.
    setStyleSheet(QString(kFlatStyle) + QString("TFlatEdit { background: %1; color: %2; }"
                                                "TFlatEdit:disabled { color: #808080; }")
                                            .arg(background.name(), text.name()));
}

TFlatComboBox::TFlatComboBox(bool editable, QWidget* parent) : QComboBox(parent)
{
    setEditable(editable);
    setInsertPolicy(QComboBox::NoInsert);
    if (editable) {
        setCompleter(nullptr);
        KeepOneLine(lineEdit());
        connect(lineEdit(), &QLineEdit::textEdited, this, &TFlatComboBox::UserChanged);
    }
    connect(this, &QComboBox::activated, this, &TFlatComboBox::Activated);
    ApplyFlatStyle(this);
}

void TFlatComboBox::Activated()
{
    if (!m_finishing) {
        emit UserChanged();
    }
}

void TFlatComboBox::focusOutEvent(QFocusEvent* event)
{
    const QScopedValueRollback finishing(m_finishing, true);
    QComboBox::focusOutEvent(event);
}

void TFlatComboBox::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QScopedValueRollback finishing(m_finishing, enter && !view()->isVisible());
    QComboBox::keyPressEvent(event);
}

void TFlatComboBox::SetItems(const QStringList& items)
{
    QStringList sorted = items;
    if (m_sorted) {
        std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return Ascii::LessIgnoringCase(a.toStdString(), b.toStdString());
        });
    }
    const QString text = currentText();
    const QSignalBlocker block(this);
    clear();
    addItems(sorted);
    setCurrentIndex(-1);
    if (isEditable()) {
        setEditText(text);
    }
}

QStringList TFlatComboBox::Items() const
{
    QStringList items;
    for (int i = 0; i < count(); ++i) {
        items.append(itemText(i));
    }
    return items;
}

void TFlatComboBox::SetText(const QString& text)
{
    const QSignalBlocker block(this);
    if (isEditable()) {
        setEditText(FirstLine(text));
    } else {
        setCurrentIndex(findText(text));
    }
}

TFlatCheckBox::TFlatCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent)
{
}

TFlatGroupBox::TFlatGroupBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent)
{
    setFlat(false);
}

TFlatPanel::TFlatPanel(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    ApplyFlatStyle(this);
}

TCheckListBox::TCheckListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void TCheckListBox::SetLines(const QStringList& lines, const std::vector<bool>& ticks)
{
    const QSignalBlocker block(this);
    clear();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        auto* item = new QListWidgetItem(lines[i], this);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const auto index = static_cast<std::size_t>(i);
        item->setCheckState(index < ticks.size() && ticks[index] ? Qt::Checked : Qt::Unchecked);
    }
}

QStringList TCheckListBox::Lines() const
{
    QStringList lines;
    for (int i = 0; i < count(); ++i) {
        lines.append(item(i)->text());
    }
    return lines;
}

std::vector<bool> TCheckListBox::Ticks() const
{
    std::vector<bool> ticks;
    for (int i = 0; i < count(); ++i) {
        ticks.push_back(item(i)->checkState() == Qt::Checked);
    }
    return ticks;
}

int TCheckListBox::Selected() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.front());
}

bool TCheckListBox::MoveLine(int index, int step)
{
    const int target = index + step;
    if (index < 0 || index >= count() || target < 0 || target >= count()) {
        return false;
    }
    QListWidgetItem* moved = takeItem(index);
    insertItem(target, moved);
    clearSelection();
    moved->setSelected(true);
    setCurrentItem(moved);
    return true;
}

TBrowseFolder::TBrowseFolder(Dialogs& dialogs, QString title, QString startFolder)
    : m_dialogs(dialogs), m_title(std::move(title)), m_start(std::move(startFolder))
{
}

QString TBrowseFolder::Execute()
{
    const QString start = !m_last.isEmpty() && QFileInfo(m_last).isDir() ? m_last : m_start;
    const std::optional<std::string> chosen =
        m_dialogs.BrowseFolder(m_title.toStdString(), start.toStdString());
    if (!chosen) {
        return {};
    }
    m_last = QString::fromStdString(*chosen);
    return m_last;
}

// What a screen reader sees of a TURLLabel: a link named by its caption
// whose press action opens it.
class URLLabelAccessible final : public QAccessibleWidget
{
public:
    explicit URLLabelAccessible(TURLLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name) {
            return static_cast<TURLLabel*>(widget())->text();
        }
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction()) {
            static_cast<TURLLabel*>(widget())->Open();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }
};

namespace {

QAccessibleInterface* URLLabelAccessibility(const QString& className, QObject* object)
{
    if (className == QLatin1String("TURLLabel") && object->isWidgetType()) {
        return new URLLabelAccessible(static_cast<TURLLabel*>(object));
    }
    return nullptr;
}

} // namespace

TURLLabel::TURLLabel(Dialogs& dialogs, const QString& caption, QWidget* parent)
    : QLabel(caption, parent), m_dialogs(dialogs), m_normalFont(font()), m_overFont(font())
{
    static const bool accessible = [] {
        QAccessible::installFactory(URLLabelAccessibility);
        return true;
    }();
    (void)accessible;
    setFocusPolicy(Qt::StrongFocus);
    setTextFormat(Qt::PlainText);
    m_normalFont.setUnderline(false);
    m_overFont.setUnderline(true);
    setFont(m_normalFont);
    setCursor(Qt::PointingHandCursor);
}

void TURLLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    ShowHovered(true);
}

void TURLLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    ShowHovered(false);
}

void TURLLabel::ShowHovered(bool hovered)
{
    setFont(hovered ? m_overFont : m_normalFont);
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, hovered ? Qt::blue : Qt::black);
    setPalette(colors);
}

void TURLLabel::mousePressEvent(QMouseEvent* event)
{
    QLabel::mousePressEvent(event);
    Open();
}

void TURLLabel::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!event->isAutoRepeat()) {
            Open();
        }
        return;
    }
    QLabel::keyPressEvent(event);
}

void TURLLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QStylePainter painter(this);
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
    }
}

void TURLLabel::Open()
{
    const QString target = m_resolve ? m_resolve(m_url) : m_url;
    if (!target.isEmpty()) {
        Guarded(m_dialogs, [&] { m_dialogs.OpenTarget(target.toStdString()); });
    }
}

#pragma once

// The flat-look controls: thin subclasses of Qt's standard controls, drawn
// without bevels (a thin border that darkens under the mouse and with the
// focus) and otherwise behaving like them, keyboard and accessibility
// included. Every one-line box keeps only the text before its first line
// break, however the text arrives.

#include <functional>

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QString>
#include <QStringList>

class Dialogs;

// "ab\ncd" -> "ab": the text before the first CR or LF.
QString FirstLine(const QString& text);

// Keeps edit to one line from now on (typed, pasted or set by the program).
void KeepOneLine(QLineEdit* edit);

// Removes the selected line of list and leaves nothing selected (Qt would
// select the next line, which a second Del would then remove unpicked).
// Returns the removed row, or -1 when nothing was selected.
int RemoveSelectedLine(QListWidget& list);

// A push button that is never a default button, so Enter in a dialog's box
// never clicks it. With the focus, Enter and Return press it, as Space does.
class TFlatButton : public QPushButton
{
    Q_OBJECT

public:
    explicit TFlatButton(const QString& caption, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A one-line edit; optionally its background shows the focus (information
// colour while focused, white otherwise).
class TFlatEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TFlatEdit(QWidget* parent = nullptr);
    void SetFocusColored(bool on);
    // Shows the box in these colours, its text grey while it is disabled.
    void SetColors(const QColor& background, const QColor& text);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ApplyFocusColor(bool focused);

    bool m_focusColored = false;
};

// A combo box, editable or a drop-down list. UserChanged is emitted for every
// change the user makes (each keystroke, each choice from the list), never
// for one made by the program. Enter inserts nothing and nothing is
// completed inline.
class TFlatComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TFlatComboBox(bool editable, QWidget* parent = nullptr);

    // Replaces the drop-down list, leaves the text as it was and selects no
    // item; emits nothing. A sorted box sorts the items, ignoring ASCII letter
    // case, equal names keeping their order.
    void SetItems(const QStringList& items);
    QStringList Items() const;

    void SetSorted(bool sorted) { m_sorted = sorted; }

    // The text of an editable box, or the selected item's.
    QString Text() const { return currentText(); }

    // Sets the text without a UserChanged.
    void SetText(const QString& text);

signals:
    void UserChanged();

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Activated();

    bool m_sorted = false;
    // Set while the edit finishes (focus out, Enter): Qt then selects the
    // item matching the unchanged text and reports it as activated.
    bool m_finishing = false;
};

// A check box whose Toggled handler runs on every change of its state, also
// one made by the program (and not when the state stays as it was).
class TFlatCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    explicit TFlatCheckBox(const QString& caption, QWidget* parent = nullptr);
};

class TFlatGroupBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit TFlatGroupBox(const QString& caption, QWidget* parent = nullptr);
};

class TFlatPanel : public QFrame
{
    Q_OBJECT

public:
    explicit TFlatPanel(QWidget* parent = nullptr);
};

// A list with a check box on every line. Selected() is the selected line
// (not Qt's current row, which focusing the list sets to 0), or -1.
class TCheckListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit TCheckListBox(QWidget* parent = nullptr);
    void SetLines(const QStringList& lines, const std::vector<bool>& ticks);
    QStringList Lines() const;
    std::vector<bool> Ticks() const;
    int Selected() const;
    // Swaps line index with line index + step (-1 up, +1 down); each line
    // keeps its tick and the moved line stays selected. False when there is
    // no such neighbour.
    bool MoveLine(int index, int step);
};

// The folder browser: asks through Dialogs with its title, starting at the
// folder chosen last when that folder still exists, else at StartFolder.
class TBrowseFolder
{
public:
    TBrowseFolder(Dialogs& dialogs, QString title, QString startFolder);
    // The chosen folder, or an empty text on Cancel.
    QString Execute();

    QString LastFolder() const { return m_last; }

private:
    Dialogs& m_dialogs;
    QString m_title;
    QString m_start;
    QString m_last{};
};

// A link: a label that opens its URL through Dialogs when pressed with any
// mouse button, in MouseOverFont (blue, underlined) while the mouse is over
// it. It takes the focus by Tab (drawn with a focus frame), Enter, Return and
// Space open it as a click does, and a screen reader hears a link.
class TURLLabel : public QLabel
{
    Q_OBJECT

public:
    TURLLabel(Dialogs& dialogs, const QString& caption, QWidget* parent = nullptr);

    QString URL() const { return m_url; }

    void SetURL(const QString& url) { m_url = url; }

    QFont MouseOverFont() const { return m_overFont; }

    // Decides, when pressed, what is opened; the URL when not set. An empty
    // result opens nothing.
    void SetTargetResolver(std::function<QString(const QString&)> resolve)
    {
        m_resolve = std::move(resolve);
    }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class URLLabelAccessible;

    void ShowHovered(bool hovered);
    void Open();

    Dialogs& m_dialogs;
    QString m_url{};
    QFont m_normalFont;
    QFont m_overFont;
    std::function<QString(const QString&)> m_resolve{};
};

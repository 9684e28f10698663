#include "listing/frmReport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "widgets/FlatWidgets.h"
#include "widgets/GuardedConnect.h"
#include "widgets/Named.h"
#include "widgets/WindowPlacement.h"

using Listing::ReportLabel;

namespace {

constexpr int kDesignWidth = 233;
constexpr int kDesignHeight = 237;
// The value column starts this far right of the captions.
constexpr int kCaptionColumnWidth = 126;
constexpr int kRowHeight = 24;
constexpr int kPathLabelWidth = 185;
// The value column holds at least this (totals of terabytes) uncut.
constexpr const char* kWidestValue = "999.999.999.999";

// The kinds of event a person causes: while the window system delivers the
// input that queued up during a job, these are dropped.
bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::Close:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

class InputSwallower final : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override { return IsUserInput(event->type()); }
};

// Delivers whatever the window system queued, dropping the input among it.
// Two passes: the first may turn raw window-system input into queued events.
void DiscardQueuedInput()
{
    InputSwallower swallow;
    QCoreApplication* application = QCoreApplication::instance();
    application->installEventFilter(&swallow);
    for (int pass = 0; pass < 2; ++pass) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    application->removeEventFilter(&swallow);
}

// A caption of the report: bold, and never markup.
QLabel* Caption(QWidget* parent, const char* name, const char* text)
{
    auto* label = Named<QLabel>(parent, name, text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A value the job sets: paths and tags are never markup, and a long value
// never widens the fixed window; it is cut at the edge.
QLabel* Value(QWidget* parent, const char* name, const char* text)
{
    auto* label = Named<QLabel>(parent, name, text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

} // namespace

// A dialog window (not modal) of the main window: window managers keep it
// above that window, also when a message box of the job raises the main
// window; a plain window fell behind it.
TForm4::TForm4(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Label1(Caption(this, "Label1", "Scanned files:")), lblFiles(Value(this, "lblFiles", "-")),
      Label2(Caption(this, "Label2", "Total Bytes:")), lblBytes(Value(this, "lblBytes", "-")),
      Label3(Caption(this, "Label3", "Total Length:")), lblMinutes(Value(this, "lblMinutes", "-")),
      Label4(Caption(this, "Label4", "Untagged files:")),
      lblUntagged(Value(this, "lblUntagged", "-")),
      Label5(Caption(this, "Label5", "Invalid files:")), lblInvalid(Value(this, "lblInvalid", "-")),
      lblStatus(Value(this, "lblStatus", "-")), progress(Value(this, "progress", "")),
      SpeedButton1(Named<TFlatButton>(this, "SpeedButton1", "&OK")),
      ProgressBar1(Named<QProgressBar>(this, "ProgressBar1")), m_dialogs(dialogs)
{
    setObjectName("TForm4");
    setWindowTitle("Sonorix - Report");
    for (std::size_t i = 0; i < kLabelCount; ++i) {
        m_texts[i] = LabelFor(static_cast<ReportLabel>(i))->text();
    }
    progress->setFixedWidth(kPathLabelWidth);
    SpeedButton1->setMinimumSize(193, 25);
    SpeedButton1->setEnabled(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedHeight(17);
    BuildLayout();
    GuardedConnect(m_dialogs, SpeedButton1, &QPushButton::clicked, this,
                   &TForm4::SpeedButton1Click);
}

void TForm4::BuildLayout()
{
    auto* grid = new QGridLayout;
    grid->setContentsMargins(24, 16, 8, 0);
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(0);
    grid->setColumnMinimumWidth(0, kCaptionColumnWidth);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(1, lblBytes->fontMetrics().horizontalAdvance(kWidestValue) + 4);
    const std::array<std::pair<QLabel*, QLabel*>, 5> rows = {{{Label1, lblFiles},
                                                              {Label2, lblBytes},
                                                              {Label3, lblMinutes},
                                                              {Label4, lblUntagged},
                                                              {Label5, lblInvalid}}};
    int row = 0;
    for (const auto& [caption, value] : rows) {
        grid->addWidget(caption, row, 0, Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(value, row, 1, Qt::AlignTop);
        grid->setRowMinimumHeight(row, kRowHeight);
        ++row;
    }
    grid->addWidget(lblStatus, row, 0, 1, 2, Qt::AlignTop);
    grid->setRowMinimumHeight(row++, 20);
    grid->addWidget(progress, row, 0, 1, 2, Qt::AlignLeft | Qt::AlignTop);
    grid->setRowMinimumHeight(row++, 28);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(20, 0, 20, 0);
    buttonRow->addWidget(SpeedButton1);

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addLayout(grid);
    window->addLayout(buttonRow);
    window->addStretch(1);
    window->addSpacing(12);
    window->addWidget(ProgressBar1);
    FixWindowSize(*this, kDesignWidth, kDesignHeight);
}

QLabel* TForm4::LabelFor(ReportLabel label) const
{
    switch (label) {
    case ReportLabel::Status:
        return lblStatus;
    case ReportLabel::Files:
        return lblFiles;
    case ReportLabel::Bytes:
        return lblBytes;
    case ReportLabel::Minutes:
        return lblMinutes;
    case ReportLabel::Untagged:
        return lblUntagged;
    case ReportLabel::Invalid:
        return lblInvalid;
    case ReportLabel::Progress:
        return progress;
    }
    return progress;
}

void TForm4::SetLabelText(ReportLabel label, const std::string& text)
{
    m_texts[static_cast<std::size_t>(label)] = QString::fromStdString(text);
}

void TForm4::Apply(ReportLabel label)
{
    LabelFor(label)->setText(m_texts[static_cast<std::size_t>(label)]);
}

void TForm4::ApplyAll()
{
    for (std::size_t i = 0; i < kLabelCount; ++i) {
        Apply(static_cast<ReportLabel>(i));
    }
}

void TForm4::RepaintReportLabel(ReportLabel label)
{
    Apply(label);
    Pump();
}

void TForm4::RepaintWindow()
{
    ApplyAll();
    Pump();
}

void TForm4::SetProgressBar(int position) { ProgressBar1->setValue(position); }

void TForm4::SetOkEnabled(bool enabled)
{
    SpeedButton1->setEnabled(enabled);
    if (enabled) {
        JobEnded();
        // Enter or Space answers the ended job without reaching for the mouse.
        if (isVisible()) {
            activateWindow();
            SpeedButton1->setFocus();
        }
    }
}

void TForm4::ShowReport()
{
    CenterOnScreen(*this);
    show();
    raise();
    activateWindow();
    m_jobRunning = true;
    m_sincePump.invalidate();
    Pump();
}

void TForm4::HideReport()
{
    hide();
    JobEnded();
}

void TForm4::Pump()
{
    const bool newPhase = lblStatus->text() != m_pumpedStatus;
    if (!newPhase && m_sincePump.isValid() && m_sincePump.elapsed() < kPumpIntervalMs) {
        return;
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_pumpedStatus = lblStatus->text();
    m_sincePump.start();
}

void TForm4::JobEnded()
{
    ApplyAll();
    if (!m_jobRunning) {
        return;
    }
    m_jobRunning = false;
    DiscardQueuedInput();
}

void TForm4::SpeedButton1Click()
{
    m_closedByClick.start();
    hide();
}

bool TForm4::ClosedByClickJustNow() const
{
    return m_closedByClick.isValid() &&
           m_closedByClick.elapsed() < QApplication::doubleClickInterval();
}

void TForm4::closeEvent(QCloseEvent* event)
{
    if (SpeedButton1->isEnabled()) {
        event->accept();
    } else {
        event->ignore();
    }
}

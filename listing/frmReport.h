#pragma once

// "Sonorix - Report" (TForm4): what a list job is doing, its totals, the path
// being worked on and a progress bar. The job writes every text through
// Listing::ListReport; the window only stores them and puts them on screen
// when the job asks for a repaint.
//
// The job runs inside the main window's button handler, so while it runs the
// window lets the windowing system's non-input events through at a bounded
// rate (it stays painted and the desktop never sees a hung program) and keeps
// input queued. Input given during the job is thrown away when the job ends:
// a second click on "Create &List" or a close request must not act on what
// the user saw while the job was busy.

#include <array>

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include "base/Dialogs.h"
#include "listing/ListJob.h"

class QLabel;
class QProgressBar;
class TFlatButton;

// scan report window
class TForm4 : public QWidget, public Listing::ListReport
{
    Q_OBJECT

public:
    explicit TForm4(Dialogs& dialogs, QWidget* parent = nullptr);

    void SetLabelText(Listing::ReportLabel label, const std::string& text) override;
    void RepaintReportLabel(Listing::ReportLabel label) override;
    void RepaintWindow() override;
    void SetProgressBar(int position) override;
    void SetOkEnabled(bool enabled) override;
    void ShowReport() override;
    void HideReport() override;

    // True for a double-click's time after OK closed the window: a second
    // click meant for OK must not act on the window that lay behind it.
    bool ClosedByClickJustNow() const;

    QLabel* Label1;
    QLabel* lblFiles;
    QLabel* Label2;
    QLabel* lblBytes;
    QLabel* Label3;
    QLabel* lblMinutes;
    QLabel* Label4;
    QLabel* lblUntagged;
    QLabel* Label5;
    QLabel* lblInvalid;
    QLabel* lblStatus;
    QLabel* progress;
    TFlatButton* SpeedButton1;
    QProgressBar* ProgressBar1;

protected:
    // There is no close box; a window manager's close acts as OK, and only
    // once OK is enabled.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    void SpeedButton1Click();
    QLabel* LabelFor(Listing::ReportLabel label) const;
    void Apply(Listing::ReportLabel label);
    void ApplyAll();
    // Lets paint, expose and window-manager events through, at most every
    // kPumpIntervalMs, except that a new phase text is always painted;
    // input stays queued.
    void Pump();
    void JobEnded();

    static constexpr int kPumpIntervalMs = 30;
    static constexpr std::size_t kLabelCount = 7;

    Dialogs& m_dialogs;
    std::array<QString, kLabelCount> m_texts{};
    QElapsedTimer m_sincePump{};
    QString m_pumpedStatus{};
    QElapsedTimer m_closedByClick{};
    bool m_jobRunning = false;
};

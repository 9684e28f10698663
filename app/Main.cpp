#include "app/Main.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "app/frmGlobalOptions.h"
#include "app/frmNFO.h"
#include "listing/ListJob.h"
#include "listing/frmReport.h"
#include "profiles/ListFormat.h"
#include "profiles/frmOptions.h"
#include "scan/DirTools.h"
#include "widgets/GuardedConnect.h"
#include "widgets/Named.h"
#include "widgets/QtConvert.h"
#include "widgets/WindowPlacement.h"

namespace {

constexpr int kDesignWidth = 272;
constexpr int kDesignHeight = 223;

std::string S(const QString& text) { return text.toStdString(); }

// The job changes the output name (completion, numbered name, emptied); the
// box shows the name before every box the job opens and when the report
// appears, so what the user reads next to a message is what the job uses.
class OutputShowingDialogs final : public Dialogs
{
public:
    OutputShowingDialogs(Dialogs& dialogs, std::function<void()> showOutput)
        : m_dialogs(dialogs), m_showOutput(std::move(showOutput))
    {
    }

    void ShowInformation(const std::string& text) override
    {
        m_showOutput();
        m_dialogs.ShowInformation(text);
    }

    bool Confirm(const std::string& text) override
    {
        m_showOutput();
        return m_dialogs.Confirm(text);
    }

    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override
    {
        m_showOutput();
        return m_dialogs.InputBox(caption, prompt, initial);
    }

    std::optional<std::string> BrowseFolder(const std::string& title,
                                            const std::string& startFolder) override
    {
        m_showOutput();
        return m_dialogs.BrowseFolder(title, startFolder);
    }

    std::optional<std::string> SaveFile(const SaveFileRequest& request) override
    {
        m_showOutput();
        return m_dialogs.SaveFile(request);
    }

    std::optional<std::int32_t> PickColor(std::int32_t colour) override
    {
        m_showOutput();
        return m_dialogs.PickColor(colour);
    }

    std::optional<std::string> PickFont(const std::string& faceName) override
    {
        m_showOutput();
        return m_dialogs.PickFont(faceName);
    }

    void OpenTarget(const std::string& target) override { m_dialogs.OpenTarget(target); }

    void ShowError(const std::string& text) override
    {
        m_showOutput();
        m_dialogs.ShowError(text);
    }

private:
    Dialogs& m_dialogs;
    std::function<void()> m_showOutput;
};

class OutputShowingReport final : public Listing::ListReport
{
public:
    OutputShowingReport(Listing::ListReport& report, std::function<void()> showOutput)
        : m_report(report), m_showOutput(std::move(showOutput))
    {
    }

    void SetLabelText(Listing::ReportLabel label, const std::string& text) override
    {
        m_report.SetLabelText(label, text);
    }

    void RepaintReportLabel(Listing::ReportLabel label) override
    {
        m_report.RepaintReportLabel(label);
    }

    void RepaintWindow() override { m_report.RepaintWindow(); }

    void SetProgressBar(int position) override { m_report.SetProgressBar(position); }

    void SetOkEnabled(bool enabled) override { m_report.SetOkEnabled(enabled); }

    void ShowReport() override
    {
        m_showOutput();
        m_report.ShowReport();
    }

    void HideReport() override { m_report.HideReport(); }

    void ScanStarted(std::int64_t fileCount) override { m_report.ScanStarted(fileCount); }

    void FolderSkipped(const std::string& path, int error) override
    {
        m_report.FolderSkipped(path, error);
    }

private:
    Listing::ListReport& m_report;
    std::function<void()> m_showOutput;
};

QGridLayout* GroupGrid(QWidget* group)
{
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(7);
    grid->setVerticalSpacing(6);
    return grid;
}

} // namespace

TForm1::TForm1(Dialogs& dialogs, Profiles::Profile& profile, GlobalSettings::GlobalOptions& options,
               Profiles::ProfileHost& host, std::string programPath, const QStringList& arguments,
               QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      FlatGroupBox1(Named<TFlatGroupBox>(this, "FlatGroupBox1", "Source")),
      cmbSource(Named<TFlatComboBox>(FlatGroupBox1, "cmbSource", true)),
      btnSource(Named<TFlatButton>(FlatGroupBox1, "btnSource", "...")),
      chkSubdir(Named<TFlatCheckBox>(FlatGroupBox1, "chkSubdir", "Include subdirectories")),
      FlatGroupBox2(Named<TFlatGroupBox>(this, "FlatGroupBox2", "Output")),
      Label1(Named<QLabel>(FlatGroupBox2, "Label1", "Style:")),
      FlatComboBox1(Named<TFlatComboBox>(FlatGroupBox2, "FlatComboBox1", true)),
      FlatButton1(Named<TFlatButton>(FlatGroupBox2, "FlatButton1", "Edit")),
      Label2(Named<QLabel>(FlatGroupBox2, "Label2", "Output file:")),
      cmbSave(Named<TFlatComboBox>(FlatGroupBox2, "cmbSave", true)),
      btnSave(Named<TFlatButton>(FlatGroupBox2, "btnSave", "...")),
      btnOptions(Named<TFlatButton>(this, "btnOptions", "&Options")),
      btnList(Named<TFlatButton>(this, "btnList", "Create &List")),
      btnInfo(Named<TFlatButton>(this, "btnInfo", "&Info")),
      btnExit(Named<TFlatButton>(this, "btnExit", "&Exit")),
      BrowseFolder1(dialogs, kBrowseTitle, QString()), m_dialogs(dialogs), m_profile(profile),
      m_options(options), m_host(host), m_programPath(std::move(programPath))
{
    setObjectName("TForm1");
    setWindowTitle("Sonorix");
    chkSubdir->setChecked(true);
    SetDesignSizes();
    BuildLayout();
    SetTabOrder({cmbSource, btnSource, chkSubdir, FlatComboBox1, FlatButton1, cmbSave, btnSave,
                 btnOptions, btnList, btnInfo, btnExit});
    chkSubdir->setFocus();
    ConnectHandlers();
    FormCreate(arguments);
}

TForm1::~TForm1()
{
    // The application outlives the window; while the window's controls go,
    // focus moves and its signal must no longer reach the half-destroyed form.
    disconnect(m_focusChanged);
}

void TForm1::SetDesignSizes()
{
    // The design's sizes are the least each control gets.
    cmbSource->setMinimumSize(200, 21);
    btnSource->setMinimumSize(35, 21);
    chkSubdir->setMinimumSize(153, 17);
    FlatComboBox1->setMinimumSize(141, 21);
    FlatButton1->setMinimumSize(35, 21);
    cmbSave->setMinimumSize(141, 21);
    btnSave->setMinimumSize(35, 21);
    for (TFlatButton* button : {btnOptions, btnList, btnInfo, btnExit}) {
        button->setMinimumSize(130, 25);
    }
    // The three small buttons stand in one column of one width, so the
    // boxes beside them end at one line.
    const int column = std::max({35, btnSource->sizeHint().width(), FlatButton1->sizeHint().width(),
                                 btnSave->sizeHint().width()});
    for (TFlatButton* button : {btnSource, FlatButton1, btnSave}) {
        button->setFixedWidth(column);
    }
    FlatGroupBox1->setMinimumSize(260, 71);
    FlatGroupBox2->setMinimumSize(260, 81);
}

void TForm1::BuildLayout()
{
    QGridLayout* source = GroupGrid(FlatGroupBox1);
    source->addWidget(cmbSource, 0, 0);
    source->addWidget(btnSource, 0, 1);
    source->addWidget(chkSubdir, 1, 0, 1, 2);
    source->setColumnStretch(0, 1);

    QGridLayout* output = GroupGrid(FlatGroupBox2);
    output->setColumnMinimumWidth(0, 53);
    output->addWidget(Label1, 0, 0);
    output->addWidget(FlatComboBox1, 0, 1);
    output->addWidget(FlatButton1, 0, 2);
    output->addWidget(Label2, 1, 0);
    output->addWidget(cmbSave, 1, 1);
    output->addWidget(btnSave, 1, 2);
    output->setColumnStretch(1, 1);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(0);
    buttons->addWidget(btnOptions, 0, 0);
    buttons->addWidget(btnList, 0, 1);
    buttons->addWidget(btnInfo, 1, 0);
    buttons->addWidget(btnExit, 1, 1);

    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(6, 2, 6, 6);
    window->setSpacing(7);
    window->addWidget(FlatGroupBox1);
    window->addWidget(FlatGroupBox2);
    window->addLayout(buttons);
    FixWindowSize(*this, kDesignWidth, kDesignHeight);
}

void TForm1::ConnectHandlers()
{
    GuardedConnect(m_dialogs, btnSource, &QPushButton::clicked, this, &TForm1::btnSourceClick);
    GuardedConnect(m_dialogs, FlatComboBox1, &TFlatComboBox::UserChanged, this,
                   &TForm1::FlatComboBox1Change);
    GuardedConnect(m_dialogs, FlatButton1, &QPushButton::clicked, this, &TForm1::FlatButton1Click);
    GuardedConnect(m_dialogs, btnSave, &QPushButton::clicked, this, &TForm1::btnSaveClick);
    GuardedConnect(m_dialogs, btnOptions, &QPushButton::clicked, this, &TForm1::btnOptionsClick);
    GuardedConnect(m_dialogs, btnList, &QPushButton::clicked, this, &TForm1::btnListClick);
    GuardedConnect(m_dialogs, btnInfo, &QPushButton::clicked, this, &TForm1::btnInfoClick);
    GuardedConnect(m_dialogs, btnExit, &QPushButton::clicked, this, &TForm1::btnExitClick);
    // A double click into the source box and the focus leaving a box have no
    // signal of their own: eventFilter and FocusChanged run their handlers.
    cmbSource->lineEdit()->installEventFilter(this);
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        button->installEventFilter(this);
    }
    m_focusChanged =
        GuardedConnect(m_dialogs, qApp, &QApplication::focusChanged, this, &TForm1::FocusChanged);
}

void TForm1::FormCreate(const QStringList& arguments)
{
    // The shell has split the command line already: one argument is one
    // folder, taken as it stands. A relative one counts from the working
    // folder, and a folder the box could not hold whole is no folder.
    if (arguments.size() == 1 && !arguments.front().isEmpty()) {
        QString folder = arguments.front();
        if (!folder.startsWith(u'/')) {
            folder = QDir::currentPath() + u'/' + folder;
        }
        if (FirstLine(folder) == folder) {
            cmbSource->SetText(folder);
        }
    }
    if (!DirTools::FolderExists(S(cmbSource->Text()))) {
        cmbSource->SetText(QString());
    }
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Qt sends show events again after the window was minimised; the
    // start-up load runs on the first one only.
    if (m_shown || event->spontaneous()) {
        return;
    }
    m_shown = true;
    CenterOnScreen(*this);
    FormShow();
}

void TForm1::FormShow()
{
    const bool loaded = Guarded(m_dialogs, [&] {
        GlobalSettings::LoadGlobalOptions(m_options, m_profile, m_host, m_dialogs, m_programPath);
    });
    // The dialogs show what was loaded, also when the load stopped early.
    if (m_links.GlobalOptions) {
        Guarded(m_dialogs, [&] { m_links.GlobalOptions->ShowOptions(); });
    }
    if (m_links.ProfileOptions) {
        Guarded(m_dialogs, [&] { m_links.ProfileOptions->ShowProfile(); });
    }
    if (loaded) {
        ShowFavourites();
    }
    chkSubdir->setFocus();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit ExitRequested();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cmbSource->lineEdit() && event->type() == QEvent::MouseButtonDblClick) {
        Guarded(m_dialogs, [&] { cmbSourceDblClick(); });
        return true;
    }
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (press && qobject_cast<QAbstractButton*>(watched) && m_links.Report &&
        m_links.Report->ClosedByClickJustNow()) {
        return true; // the rest of a click on the report's OK, not one for us
    }
    if (watched == m_clickAfterCheck && event->type() == QEvent::MouseButtonPress) {
        QPointer<QAbstractButton> button = m_clickAfterCheck;
        m_clickAfterCheck = nullptr;
        QTimer::singleShot(0, this, [button] {
            if (button) {
                button->click();
            }
        });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::FocusChanged(QWidget* old, QWidget* now)
{
    // Only a move to another control of this window leaves a box: not the
    // box's own drop-down, not another window, not the window losing the
    // focus, and nothing while a check's own message is up or a job runs.
    if (!old || !now || now->window() != this || m_checking || m_jobRunning) {
        return;
    }
    const auto within = [](QWidget* box, QWidget* widget) {
        return widget == box || box->isAncestorOf(widget);
    };
    m_checking = true;
    bool rejected = false;
    Guarded(m_dialogs, [&] {
        if (within(cmbSource, old) && !within(cmbSource, now)) {
            rejected = !cmbSourceExit();
        } else if (within(cmbSave, old) && !within(cmbSave, now)) {
            rejected = !cmbSaveExit();
        }
    });
    m_checking = false;
    // A mouse press moves the focus before it reaches its button; the
    // rejection's message then took the release, and the press would leave
    // the button drawn down with its click lost. That press is turned into
    // the click itself, after the message. A focus that came by keyboard has
    // no press following: the mark is gone once this event is handled.
    auto* button = qobject_cast<QAbstractButton*>(now);
    if (rejected && button) {
        m_clickAfterCheck = button;
        QTimer::singleShot(0, this, [this] { m_clickAfterCheck = nullptr; });
    }
}

void TForm1::btnSourceClick()
{
    const QString folder = BrowseFolder1.Execute();
    if (!folder.isEmpty()) {
        cmbSource->SetText(folder);
    }
}

void TForm1::cmbSourceDblClick() { btnSourceClick(); }

bool TForm1::cmbSourceExit()
{
    const std::string source = S(cmbSource->Text());
    if (!source.empty() && !DirTools::FolderExists(source)) {
        m_dialogs.ShowInformation(kInvalidPathMessage);
        cmbSource->SetText(QString());
        return false;
    }
    return true;
}

bool TForm1::cmbSaveExit()
{
    std::string output = S(cmbSave->Text());
    if (!Listing::CheckOutputName(output, m_dialogs)) {
        cmbSave->SetText(QString());
        return false;
    }
    return true;
}

void TForm1::FlatComboBox1Change()
{
    // Each step runs also when the one before it failed: the dialog shows
    // what the load reached, and the save dialog forgets the old name.
    Guarded(m_dialogs, [&] { Profiles::LoadProfile(m_profile, m_host); });
    if (m_links.ProfileOptions) {
        Guarded(m_dialogs, [&] { m_links.ProfileOptions->ShowProfile(); });
    }
    SaveDialog1.FileName.clear();
}

void TForm1::FlatButton1Click()
{
    const bool loaded = Guarded(m_dialogs, [&] { Profiles::LoadProfile(m_profile, m_host); });
    if (!m_links.ProfileOptions) {
        return;
    }
    Guarded(m_dialogs, [&] { m_links.ProfileOptions->ShowProfile(); });
    if (loaded) {
        m_links.ShowModal(*m_links.ProfileOptions);
    }
}

void TForm1::btnSaveClick()
{
    if (cmbSave->count() > 0 && DirTools::FolderExists(S(cmbSave->itemText(0)))) {
        SaveDialog1.InitialFolder = S(cmbSave->itemText(0));
    }
    // Without a format the dialog keeps what it had.
    if (m_profile.ListFormat != Profiles::ListFormat::None) {
        const Profiles::FormatFacts& facts = Profiles::FactsOf(m_profile.ListFormat);
        SaveDialog1.DefaultExtension = facts.SaveExtension;
        SaveDialog1.FilterCaption = facts.SaveFilter;
    }
    if (const std::optional<std::string> chosen = m_dialogs.SaveFile(SaveDialog1)) {
        SaveDialog1.FileName = *chosen;
        cmbSave->SetText(Q(*chosen));
    }
}

void TForm1::btnOptionsClick()
{
    if (m_links.GlobalOptions) {
        m_links.ShowModal(*m_links.GlobalOptions);
    }
}

void TForm1::btnInfoClick()
{
    if (m_links.Info) {
        m_links.ShowModal(*m_links.Info);
    }
}

void TForm1::btnExitClick() { emit ExitRequested(); }

void TForm1::btnListClick()
{
    // The report lets paint events through while the job runs; nothing that
    // arrives then may start a second job.
    if (m_jobRunning || !m_links.Report) {
        return;
    }
    m_jobRunning = true;
    RunListJob();
    m_jobRunning = false;
}

void TForm1::RunListJob()
{
    // Without a whole profile the job would miss its list information (or
    // mix two profiles): say why the profile did not load instead.
    if (!m_profile.LoadError.empty()) {
        m_dialogs.ShowError(m_profile.LoadError);
        return;
    }
    Listing::ListJobInput input{.Source = S(cmbSource->Text()),
                                .IncludeSubdirectories = chkSubdir->isChecked(),
                                .Output = S(cmbSave->Text()),
                                .Profile = m_profile,
                                .AskForCustom = m_options.AskForCustom,
                                .DefaultFileName = m_options.DefaultFileName,
                                .UseCache = m_options.RememberFileFacts};
    const auto showOutput = [&] { cmbSave->SetText(Q(input.Output)); };
    OutputShowingDialogs dialogs(m_dialogs, showOutput);
    OutputShowingReport report(*m_links.Report, showOutput);

    // "Append to existing List" is hidden for HTML: a page appended to a page
    // is no page. The tick keeps its state for the text formats.
    const bool append = m_profile.AppendToList;
    if (m_profile.ListFormat == Profiles::ListFormat::Html) {
        m_profile.AppendToList = false;
    }
    Guarded(dialogs, [&] { (void)Listing::StartListJob(input, report, dialogs); });
    m_profile.AppendToList = append;

    showOutput();
    // The job may have put "," into an empty separator and a custom info
    // text into the profile.
    if (m_links.ProfileOptions) {
        Guarded(m_dialogs, [&] { m_links.ProfileOptions->ShowProfile(); });
    }
}

void TForm1::ClearOutputBox() { cmbSave->SetText(QString()); }

void TForm1::ShowFavourites()
{
    cmbSource->SetItems(ToQStringList(m_options.Source));
    cmbSave->SetItems(ToQStringList(m_options.Output));
    // The drop-down list is wide enough for its longest folder.
    for (TFlatComboBox* box : {cmbSource, cmbSave}) {
        box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) +
                                     2 * box->view()->frameWidth() +
                                     box->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    }
}

void TForm1::ChooseStyle(const std::string& name)
{
    FlatComboBox1->SetText(Q(name));
    FlatComboBox1Change();
}

void TForm1::StyleChanged() { FlatComboBox1Change(); }

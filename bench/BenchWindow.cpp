// sonorix-bench-window SOURCE OUTPUT
//
// The list job as the desktop program runs it: starts the program's windows
// with SOURCE in the source box, lays the list of the benchmark over the
// loaded profile (CSV, all twenty columns in their order, as sonorix-bench
// asks the command line for), and presses "Create &List" with OUTPUT in the
// output box. The report window shows the job as it does for a user. Prints
// the microseconds from the press to the end of the job ("job 123456"). Meant for
// Qt's offscreen platform with HOME and the XDG folders of the benchmark.
// Exit 0 when the list was written, 1 when the job failed, 2 on usage.

#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QLabel>

#include "app/Application.h"
#include "app/Main.h"
#include "base/Dialogs.h"
#include "listing/frmReport.h"
#include "profiles/ListFormat.h"
#include "widgets/FlatWidgets.h"

namespace {

// Nobody is there to answer: every question gets No, and whatever is shown
// is printed and fails the run.
class BenchDialogs final : public UnattendedDialogs
{
public:
    bool Failed() const { return m_failed; }

private:
    void Show(const std::string& text) override
    {
        std::fprintf(stderr, "sonorix-bench-window: %s\n", text.c_str());
        m_failed = true;
    }

    bool m_failed = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Sonorix");
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: sonorix-bench-window SOURCE OUTPUT\n");
        return 2;
    }

    BenchDialogs dialogs;
    Application sonorix(
        dialogs, [](QDialog&) { return 0; }, {arguments[1]},
        QCoreApplication::applicationFilePath().toStdString());
    TForm1& main = sonorix.MainWindow();
    main.show(); // loads the options and the profile
    QApplication::processEvents();
    // Every file read, as the command line is asked to (--no-cache).
    sonorix.Options().RememberFileFacts = false;
    Profiles::Profile& profile = sonorix.CurrentProfile();
    profile.ListFormat = Profiles::ListFormat::Csv;
    profile.Information.assign(Profiles::kColumnCaptions.begin(), Profiles::kColumnCaptions.end());
    profile.Checked.assign(profile.Information.size(), true);
    main.cmbSave->SetText(arguments[2]);

    const auto start = std::chrono::steady_clock::now();
    main.btnList->click();
    const auto job = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    if (dialogs.Failed() || sonorix.Report().lblStatus->text() != "Done!") {
        return 1;
    }
    // Whole microseconds: the locale Qt has set may write decimals otherwise.
    std::printf("job %lld\n", static_cast<long long>(job.count()));
    return 0;
}

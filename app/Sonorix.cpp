// The desktop program: the five windows on Qt Widgets. The loop ends when the
// main window is closed or "&Exit" is pressed; nothing is written then.

#include "app/Main.h"

#include <cstring>
#include <iostream>

#include <QApplication>
#include <QIcon>

#include "app/Application.h"
#include "base/SignalCleanup.h"
#include "base/Version.h"
#include "listing/ListJob.h"
#include "widgets/QtDialogs.h"

namespace {

constexpr const char* kHelp = R"(Usage: sonorix [FOLDER]

Starts the Sonorix window: choose a source folder, a style (profile) and an
output file, and press "Create List" to write the catalogue list of the MPEG
audio files in the folder tree.

FOLDER, when it names an existing folder (relative to the current folder or
absolute), fills the source box; the list is still started with "Create
List". File managers pass the folder this way for "Open With Sonorix".

Options:
  -h, --help     show this help and exit
      --version  show the version and exit
Qt's own options (such as -platform NAME) are accepted as well.

Settings store: $XDG_CONFIG_HOME/sonorix/registry.db (default ~/.config/).
)";

} // namespace

int main(int argc, char** argv)
{
    // Answered before the window system is reached, so they work without a
    // display (and for the manual page, which is made from them).
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kHelp;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << VersionText() << '\n';
        return 0;
    }
    QApplication application(argc, argv);
    // No display name: Qt would add it to every window's caption.
    QApplication::setApplicationName("Sonorix");
    // Whether a visible report or dialog keeps the program alive must not
    // depend on Qt's rules for the last window: the main window decides.
    QApplication::setQuitOnLastWindowClosed(false);
    // The menu entry's icon on every window, and the entry itself for
    // desktops that match windows to entries by name.
    QApplication::setWindowIcon(QIcon(":/icon/sonorix.png"));
    QGuiApplication::setDesktopFileName("org.example.Sonorix");

    // Ended by a signal during a job (a logout, say), on whatever thread it
    // lands, the program leaves no temporary or empty numbered list behind.
    SignalCleanup::InstallHandlers();
    QtDialogs dialogs;
    // Qt has taken its own options out of the arguments by now.
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    Application sonorix(dialogs, RunModal, arguments,
                        QCoreApplication::applicationFilePath().toStdString());
    QObject::connect(&sonorix.MainWindow(), &TForm1::ExitRequested, &application,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    sonorix.MainWindow().show();
    return QApplication::exec();
}

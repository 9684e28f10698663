// The desktop program: the five windows on Qt Widgets. The loop ends when the
// main window is closed or "&Exit" is pressed; nothing is written then.

#include "app/Main.h"

#include <QApplication>

#include "app/Application.h"
#include "widgets/QtDialogs.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // No display name: Qt would add it to every window's caption.
    QApplication::setApplicationName("Sonorix");
    // Whether a visible report or dialog keeps the program alive must not
    // depend on Qt's rules for the last window: the main window decides.
    QApplication::setQuitOnLastWindowClosed(false);

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

// sonorix-screenshots SOURCE OUTPUT PICTURES: starts the desktop program with
// SOURCE on its command line, answers the first-start question with No,
// makes a list of SOURCE into OUTPUT with "Create &List", and saves the main
// window and the report window as PNG pictures into the folder PICTURES
// (main.png, report.png), then the dialogs (profile-options-misc.png,
// profile-options-list-items.png, profile-options-html.png, options.png,
// info.png). For the README and the user guide, not a test: run it on Qt's
// offscreen platform with HOME and the XDG folders in a sandbox
// (scripts/screenshots.sh does).

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "app/Application.h"
#include "app/Main.h"
#include "app/frmGlobalOptions.h"
#include "app/frmNFO.h"
#include "listing/frmReport.h"
#include "profiles/frmOptions.h"
#include "widgets/FlatWidgets.h"

namespace {

// Answers every question as a first-time user who wants no shell extension
// would; a message or an error is printed, since nobody is there to read it.
class AnsweringDialogs final : public UnattendedDialogs
{
public:
    void ShowError(const std::string& text) override
    {
        UnattendedDialogs::ShowError(text);
        m_failed = true;
    }

    bool Failed() const { return m_failed; }

private:
    void Show(const std::string& text) override
    {
        std::fprintf(stderr, "sonorix-screenshots: %s\n", text.c_str());
    }

    bool m_failed = false;
};

bool Save(QWidget& window, const QString& file)
{
    if (!window.grab().save(file, "PNG")) {
        std::fprintf(stderr, "sonorix-screenshots: cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Sonorix");
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: sonorix-screenshots SOURCE OUTPUT PICTURES\n");
        return 2;
    }
    const QDir pictures(arguments[3]);
    if (!QDir().mkpath(pictures.path())) {
        std::fprintf(stderr, "sonorix-screenshots: cannot make %s\n", qPrintable(arguments[3]));
        return 3;
    }

    AnsweringDialogs dialogs;
    Application sonorix(
        dialogs, [](QDialog&) { return 0; }, {arguments[1]},
        QCoreApplication::applicationFilePath().toStdString());
    TForm1& main = sonorix.MainWindow();
    main.show();
    main.cmbSave->SetText(arguments[2]);
    main.btnList->click();
    QApplication::processEvents();
    if (dialogs.Failed() || !sonorix.Report().isVisible()) {
        return 1;
    }
    bool saved = Save(main, pictures.filePath("main.png")) &&
                 Save(sonorix.Report(), pictures.filePath("report.png"));

    // The dialogs as "Edit", "&Options" and "&Info" open them.
    main.FlatButton1->click();
    TForm3& profileOptions = sonorix.ProfileOptions();
    profileOptions.show();
    const char* tabs[] = {"misc", "list-items", "html"};
    for (int tab = 0; tab < profileOptions.PageControl1->Count(); ++tab) {
        profileOptions.PageControl1->SetCurrentIndex(tab);
        QApplication::processEvents();
        saved = saved && Save(profileOptions,
                              pictures.filePath(QString("profile-options-%1.png").arg(tabs[tab])));
    }
    profileOptions.hide();
    TForm5& options = sonorix.GlobalOptionsDialog();
    options.show();
    QApplication::processEvents();
    saved = saved && Save(options, pictures.filePath("options.png"));
    options.hide();
    TForm6& info = sonorix.Info();
    info.show();
    QApplication::processEvents();
    saved = saved && Save(info, pictures.filePath("info.png"));
    info.hide();
    return saved ? 0 : 3;
}

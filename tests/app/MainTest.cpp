#include "app/Main.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <qpa/qwindowsysteminterface.h>

#include "app/Application.h"
#include "app/frmGlobalOptions.h"
#include "app/frmNFO.h"
#include "listing/frmReport.h"
#include "profiles/frmOptions.h"
#include "samples/Mp3Builder.h"
#include "settings/RegTools.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/Songs.h"
#include "tests/support/StoreSandbox.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowChecks.h"

using RegTools::kProduct;
using RegTools::kVendor;
using TestSupport::Id3v1Fields;
using TestSupport::Mp3Builder;

namespace {

constexpr const char* kProgram = "/opt/sonorix/bin/sonorix";
constexpr const char* kInvalidFileName = "Please enter a valid filename!";
constexpr const char* kInvalidPath = "Please enter a valid path!";
constexpr const char* kNoFiles = "No files found - aborting...";

using TestSupport::kBytesPerSecond;
using TestSupport::WriteSong;

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path)
{
    return TestSupport::ReadFileIfExists(path).value_or("<missing>");
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Real input, as the window system hands it over: queued, and delivered only
// when the program next lets input through.
void QueueClicks(QWidget* widget, int clicks)
{
    QWindow* window = widget->window()->windowHandle();
    const QPoint centre = widget->rect().center();
    const QPointF local = widget->mapTo(widget->window(), centre);
    const QPointF global = widget->mapToGlobal(centre);
    using Async = QWindowSystemInterface::AsynchronousDelivery;
    for (int click = 0; click < clicks; ++click) {
        QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::LeftButton,
                                                        Qt::LeftButton, QEvent::MouseButtonPress);
        QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::NoButton,
                                                        Qt::LeftButton, QEvent::MouseButtonRelease);
    }
}

} // namespace

class TestMain : public QObject
{
    Q_OBJECT

private slots:

    void init()
    {
        m_sandbox = std::make_unique<TestSupport::StoreSandbox>();
        m_dir = std::make_unique<TestSupport::TempDir>("sonorix-main");
        std::filesystem::create_directory(Music(""));
        std::filesystem::create_directory(Out(""));
        m_dialogs = std::make_unique<TestSupport::ScriptedDialogs>(TestSupport::QtFailure());
    }

    void cleanup()
    {
        m_app.reset();
        QVERIFY2(m_dialogs->ConfirmAnswers.empty(), "an answer was not asked for");
        QVERIFY2(m_dialogs->SaveAnswers.empty(), "an answer was not asked for");
        QVERIFY2(m_dialogs->FolderAnswers.empty(), "an answer was not asked for");
        m_dialogs.reset();
        m_opened.clear();
        m_dir.reset();
        m_sandbox.reset();
    }

    void commandLineFillsTheSourceBoxWithOneExistingFolder()
    {
        WriteText(Music("a.mp3"), "");
        const QString music = Q(Music(""));

        struct Row
        {
            const char* Case;
            QStringList Arguments;
            QString Source;
        };

        const Row rows[] = {
            {"no argument", {}, ""},
            {"one folder", {music}, music},
            {"relative folder", {"music"}, Q(m_dir->Path()) + "/music"},
            {"a file", {Q(Music("a.mp3"))}, ""},
            {"a missing folder", {Q(Music("gone"))}, ""},
            {"two arguments", {music, music}, ""},
        };
        const QString before = QDir::currentPath();
        QDir::setCurrent(Q(m_dir->Path()));
        for (const Row& row : rows) {
            Start(row.Arguments);
            QVERIFY2(MainWindow().cmbSource->Text() == row.Source, row.Case);
        }
        QDir::setCurrent(before);
    }

    void firstStartAsksOnceAndTheAnswerHolds()
    {
        for (const bool yes : {true, false}) {
            TestSupport::StoreSandbox sandbox;
            m_dialogs->Questions.clear();
            m_dialogs->ConfirmAnswers = {yes};
            Show(Start());
            QCOMPARE(m_dialogs->Questions,
                     std::vector<std::string>{GlobalSettings::kFirstStartQuestion});
            QCOMPARE(RegTools::ReadRegBool(kVendor, kProduct, "Rapidex"), yes);
            QCOMPARE(RegTools::ClassRootKeyExists("Folder\\shell\\Sonorix"), yes);
            QCOMPARE(std::filesystem::exists(RegTools::DesktopEntryPath()), yes);
            QCOMPARE(m_app->Options().Rapidex, yes);
            QCOMPARE(m_app->GlobalOptionsDialog().FlatCheckBox1->isChecked(), yes);

            // The next start asks nothing (an unqueued question fails), and a
            // folder on its command line survives the favourites.
            RegTools::WriteRegString(kVendor, kProduct, "Source", "/srv/music/\r\n");
            Show(Start({Q(Music(""))}));
            QCOMPARE(m_dialogs->Questions.size(), std::size_t{1});
            QCOMPARE(MainWindow().cmbSource->Text(), Q(Music("")));
            QCOMPARE(MainWindow().cmbSource->Items(), QStringList{"/srv/music/"});
            QCOMPARE(MainWindow().FlatComboBox1->Text(), QString("Default"));
            QVERIFY(QTest::qWaitForWindowActive(&MainWindow()));
            QCOMPARE(QApplication::focusWidget(), MainWindow().chkSubdir);

            // Shown again (after being hidden or minimised): no second load.
            MainWindow().FlatComboBox1->SetText("typed");
            MainWindow().hide();
            MainWindow().show();
            QCOMPARE(MainWindow().FlatComboBox1->Text(), QString("typed"));
        }
    }

    // The command-line tools make the settings key; only a stored Rapidex
    // answers the question.
    void rapidexMissingWithTheKeyPresentAsksFirst()
    {
        RegTools::CreateRegKey(kVendor, kProduct);
        m_dialogs->ConfirmAnswers = {false};
        Show(Start());
        QCOMPARE(m_dialogs->Questions,
                 std::vector<std::string>{GlobalSettings::kFirstStartQuestion});
        QVERIFY(!RegTools::ReadRegBool(kVendor, kProduct, "Rapidex"));
        QVERIFY(!RegTools::ClassRootKeyExists("Folder\\shell\\Sonorix"));
        QVERIFY(!std::filesystem::exists(RegTools::DesktopEntryPath()));
        QVERIFY(!m_app->Options().Rapidex);
    }

    void tabOrderAndUncutCaptions()
    {
        TForm1& main = ShowForJob();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        const QWidget* order[] = {main.cmbSource,     main.btnSource,   main.chkSubdir,
                                  main.FlatComboBox1, main.FlatButton1, main.cmbSave,
                                  main.btnSave,       main.btnOptions,  main.btnList,
                                  main.btnInfo,       main.btnExit,     main.cmbSource};
        main.cmbSource->setFocus();
        for (const QWidget* next : order) {
            QCOMPARE(QApplication::focusWidget(), next);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (QWidget* window :
             {static_cast<QWidget*>(&main), static_cast<QWidget*>(&m_app->Report())}) {
            window->show();
            for (const QWidget* widget : window->findChildren<QWidget*>()) {
                const bool captioned = qobject_cast<const QAbstractButton*>(widget) ||
                                       qobject_cast<const QLabel*>(widget);
                QVERIFY2(!captioned || widget->sizeHint().width() <= widget->width() ||
                             widget->objectName() == "progress",
                         qPrintable(widget->objectName()));
            }
        }
    }

    void screenReadersHearEachControlsOwnNameAndRole()
    {
        ShowForJob();
        TForm3& profile = m_app->ProfileOptions();
        TForm6& info = m_app->Info();

        struct Row
        {
            QWidget* Control;
            QString Name;
            QAccessible::Role Role;
        };

        const Row rows[] = {
            {profile.Edit6, "Font style", QAccessible::EditableText},
            {profile.Edit8, "Font color", QAccessible::EditableText},
            {profile.Edit7, "Background", QAccessible::EditableText},
            {profile.Edit11, "Header row", QAccessible::EditableText},
            {profile.Edit10, "Background 2", QAccessible::EditableText},
            {profile.FlatEdit1, "Separator", QAccessible::EditableText},
            {profile.ListBox1, "File-Extensions to scan for", QAccessible::List},
            {profile.CheckListBox1, "List Items", QAccessible::List},
            {info.URLLabel1, info.URLLabel1->text(), QAccessible::Link},
            {info.URLLabel2, "sonorix@example.org", QAccessible::Link},
            {info.URLLabel3, "www.example.org", QAccessible::Link},
            {info.FlatButton1, "OK", QAccessible::Button},
            {m_app->GlobalOptionsDialog().FlatCheckBox3, "Remember file facts between lists",
             QAccessible::CheckBox},
            {m_app->GlobalOptionsDialog().ListBox2, "Source directory favourites",
             QAccessible::List},
            {m_app->GlobalOptionsDialog().FlatEdit2, "Output directory favourites",
             QAccessible::EditableText},
        };
        for (const Row& row : rows) {
            QAccessibleInterface* control = QAccessible::queryAccessibleInterface(row.Control);
            QVERIFY2(control != nullptr, qPrintable(row.Control->objectName()));
            QCOMPARE(control->text(QAccessible::Name), row.Name);
            QCOMPARE(control->role(), row.Role);
        }

        // A link's press action opens it, as a click does.
        QAccessibleInterface* link = QAccessible::queryAccessibleInterface(info.URLLabel2);
        link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(m_dialogs->Opened, std::vector<std::string>{"mailto:sonorix@example.org"});
    }

    void theSmallButtonsStandInOneColumn()
    {
        AnsweredAtAnEarlierStart();
        const std::string longFolder = Out("") + std::string(120, 'x') + "/";
        RegTools::WriteRegString(kVendor, kProduct, "Output", longFolder + "\r\n");
        TForm1& main = Show(Start());
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const auto rightEdge = [&main](QWidget* widget) {
            return widget->mapTo(&main, QPoint(widget->width(), 0)).x();
        };
        for (TFlatButton* button : {main.FlatButton1, main.btnSave}) {
            QCOMPARE(button->width(), main.btnSource->width());
            QCOMPARE(rightEdge(button), rightEdge(main.btnSource));
        }
        for (TFlatComboBox* box : {main.FlatComboBox1, main.cmbSave}) {
            QCOMPARE(rightEdge(box), rightEdge(main.cmbSource));
        }
        const int longest = main.cmbSave->view()->fontMetrics().horizontalAdvance(Q(longFolder));
        QVERIFY(main.cmbSave->view()->minimumWidth() > longest);
    }

    void buttonsOpenTheirDialogsModally()
    {
        TForm1& main = ShowForJob();
        Profiles::Profile& profile = m_app->CurrentProfile();
        // "Edit" loads the style's stored profile first, dropping what was
        // changed in the record since (and the format change empties the
        // output box).
        profile.ListFormat = Profiles::ListFormat::Csv;
        main.cmbSave->SetText("list");
        QTest::mouseClick(main.FlatButton1, Qt::LeftButton);
        QCOMPARE(profile.ListFormat, Profiles::ListFormat::Html);
        QCOMPARE(main.cmbSave->Text(), QString());
        QTest::mouseClick(main.btnOptions, Qt::LeftButton);
        QTest::mouseClick(main.btnInfo, Qt::LeftButton);
        QCOMPARE(m_opened, (QStringList{"Profile Options", "Options", "Info"}));

        QSignalSpy exit(&main, &TForm1::ExitRequested);
        QTest::mouseClick(main.btnExit, Qt::LeftButton);
        QCOMPARE(exit.count(), 1);
    }

    void theFolderBrowserFillsTheSourceBoxAndKeepsItsFolder()
    {
        TForm1& main = ShowForJob();
        const std::string music = Music("");
        m_dialogs->FolderAnswers = {music, std::nullopt};
        QTest::mouseDClick(main.cmbSource->lineEdit(), Qt::LeftButton);
        QCOMPARE(main.cmbSource->Text(), Q(music));
        QTest::mouseClick(main.btnSource, Qt::LeftButton); // Cancel
        QCOMPARE(main.cmbSource->Text(), Q(music));
        QCOMPARE(m_dialogs->Log,
                 (std::vector<std::string>{"Folder: Please choose a directory/",
                                           "Folder: Please choose a directory/" + music}));
    }

    void aDamagedStoreIsShownAndTheWindowStays()
    {
        std::filesystem::create_directories(m_sandbox->ConfigHome() + "/sonorix");
        WriteText(m_sandbox->StoreFile(), std::string(4096, 'x'));
        TForm1& main = Show(Start());
        const std::vector<std::string>& errors = m_dialogs->Errors;
        QCOMPARE(errors.size(), std::size_t{1});
        QVERIFY2(errors[0].find(m_sandbox->StoreFile()) != std::string::npos, errors[0].c_str());
        QVERIFY(main.isVisible());
        QCOMPARE(ReadText(m_sandbox->StoreFile()), std::string(4096, 'x'));

        // The profile never loaded: "Create &List" shows why, not a missing
        // list information.
        WriteSong(Music("a.mp3"), 1, std::nullopt);
        main.cmbSource->SetText(Q(Music("")));
        main.cmbSave->SetText(Q(Out("list.csv")));
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        QCOMPARE(m_dialogs->Log.size(), std::size_t{2});
        QCOMPARE(errors.size(), std::size_t{2});
        QCOMPARE(errors[1], errors[0]);
        QVERIFY(!std::filesystem::exists(Out("list.csv")));
    }

    void leavingABoxChecksItsText()
    {
        AnsweredAtAnEarlierStart();
        TForm1& main = Show(Start());
        QVERIFY(QTest::qWaitForWindowActive(&main));

        struct Row
        {
            TFlatComboBox* Box;
            QString Text;
            const char* Message; // nullptr: none
            QString After;
        };

        const QString music = Q(Music(""));
        const Row rows[] = {
            {main.cmbSource, music, nullptr, music},
            {main.cmbSource, music + "gone", kInvalidPath, ""},
            {main.cmbSource, "", nullptr, ""},
            {main.cmbSave, "list.csv", kInvalidFileName, ""},
            {main.cmbSave, music, nullptr, music}, // a favourite folder
            {main.cmbSave, music + "list.csv", nullptr, music + "list.csv"},
            {main.cmbSave, music + "gone/list.csv", kInvalidFileName, ""},
        };
        for (const Row& row : rows) {
            m_dialogs->Messages.clear();
            row.Box->setFocus();
            row.Box->SetText(row.Text);
            main.chkSubdir->setFocus(); // another control of the window
            const auto expected =
                row.Message ? std::vector<std::string>{row.Message} : std::vector<std::string>{};
            QCOMPARE(m_dialogs->Messages, expected);
            QCOMPARE(row.Box->Text(), row.After);
        }

        // Losing the focus to nothing (the window deactivated) is no leave.
        main.cmbSave->setFocus();
        main.cmbSave->SetText("list.csv");
        m_dialogs->Messages.clear();
        main.cmbSave->clearFocus();
        QVERIFY(m_dialogs->Messages.empty());
    }

    void leavingTheStyleBoxUnchangedLoadsNothing()
    {
        TForm1& main = ShowForJob();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        Profiles::Profile& profile = m_app->CurrentProfile();
        // A format kept for this run (Cancel in "Edit") and a typed name:
        // only a change by the user reloads the stored profile.
        profile.ListFormat = Profiles::ListFormat::Csv;
        main.cmbSave->SetText(Q(Out("list.csv")));
        main.FlatComboBox1->setFocus();
        main.btnList->setFocus();
        QCOMPARE(main.cmbSave->Text(), Q(Out("list.csv")));
        QCOMPARE(profile.ListFormat, Profiles::ListFormat::Csv);
    }

    void aClickFromARejectedBoxRunsAfterTheMessage()
    {
        TForm1& main = ShowForJob();
        QVERIFY(QTest::qWaitForWindowActive(&main));

        struct Row
        {
            TFlatButton* Button;
            std::string Dialog; // the clicked button's own dialog, as logged
        };

        const Row rows[] = {
            {main.btnSource, "Folder: Please choose a directory/"},
            {main.btnSave, "Save: //html/HTML"},
        };
        for (const Row& row : rows) {
            m_dialogs->Log.clear();
            m_dialogs->FolderAnswers = {std::nullopt};
            m_dialogs->SaveAnswers = {std::nullopt};
            main.cmbSource->setFocus();
            main.cmbSource->SetText("/no/such/folder");
            // The press moves the focus; the release goes to the message box
            // the check shows (only the press reaches the button).
            QTest::mousePress(row.Button, Qt::LeftButton);
            QTRY_COMPARE(m_dialogs->Log.size(), std::size_t{2});
            QCOMPARE(m_dialogs->Log[0], "Information: " + std::string(kInvalidPath));
            QCOMPARE(m_dialogs->Log[1], row.Dialog);
            QVERIFY(!row.Button->isDown());
            QTest::mouseRelease(&main, Qt::LeftButton); // the box's own release
            m_dialogs->FolderAnswers.clear();           // the other row's answer
            m_dialogs->SaveAnswers.clear();
        }
    }

    void saveDialogFollowsTheFormatAndForgetsTheNameOnAStyleChange()
    {
        AnsweredAtAnEarlierStart();
        RegTools::WriteRegString(kVendor, kProduct, "Output", Out("") + "\r\n");
        TForm1& main = Show(Start());
        Profiles::Profile& profile = m_app->CurrentProfile();

        struct Row
        {
            Profiles::ListFormat Format;
            std::string Chosen;
            std::string Request; // folder/name/extension/filter
        };

        // The first output favourite is the initial folder; the dialog opens
        // with the name chosen last; without a format it keeps its settings.
        const Row rows[] = {
            {Profiles::ListFormat::Csv, Out("a.csv"), Out("") + "//csv/CSV/Excel"},
            {Profiles::ListFormat::Custom, Out("b.idx"),
             Out("") + "/" + Out("a.csv") + "/idx/Custom"},
            {Profiles::ListFormat::Html, Out("c.html"),
             Out("") + "/" + Out("b.idx") + "/html/HTML"},
            {Profiles::ListFormat::Text, Out("d.txt"),
             Out("") + "/" + Out("c.html") + "/txt/Textfile"},
            {Profiles::ListFormat::None, Out("e.txt"),
             Out("") + "/" + Out("d.txt") + "/txt/Textfile"},
        };
        for (const Row& row : rows) {
            profile.ListFormat = row.Format;
            m_dialogs->SaveAnswers = {row.Chosen};
            QTest::mouseClick(main.btnSave, Qt::LeftButton);
            QCOMPARE(m_dialogs->Log.back(), "Save: " + row.Request);
            QCOMPARE(main.cmbSave->Text(), Q(row.Chosen));
        }

        // A change of the style (a keystroke) loads that profile, which
        // empties the output box, and forgets the chosen name.
        QTest::keyClick(main.FlatComboBox1->lineEdit(), Qt::Key_Backspace);
        QCOMPARE(main.cmbSave->Text(), QString());
        m_dialogs->SaveAnswers = {std::nullopt}; // Cancel changes nothing
        QTest::mouseClick(main.btnSave, Qt::LeftButton);
        QCOMPARE(m_dialogs->Log.back(), "Save: " + Out("") + "//html/HTML");
        QCOMPARE(main.cmbSave->Text(), QString());
    }

    void createListWritesTheListAndShowsTheTotals()
    {
        std::filesystem::create_directory(Music("sub"));
        WriteSong(Music("a.mp3"), 2, Id3v1Fields{.Title = "Alpha"});
        WriteSong(Music("sub/b.mp3"), 1, std::nullopt);
        WriteText(Music("broken.mp3"), std::string(3000, ' '));
        TForm1& main = ShowForJob();
        Profiles::Profile& profile = m_app->CurrentProfile();
        profile.ListFormat = Profiles::ListFormat::Csv;
        profile.Information = {"Songname", "Filesize"};
        profile.Checked = {true, true};
        profile.Sort = true;
        TForm4& report = m_app->Report();

        // Before a job OK is disabled, and a close request does nothing.
        report.show();
        report.close();
        QVERIFY(report.isVisible());
        report.hide();

        main.cmbSource->SetText(Q(Music("")));
        main.cmbSave->SetText(Q(Out("list")));
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        QVERIFY(m_dialogs->Log.empty());
        QCOMPARE(ReadText(Out("list.csv")), "Songname,Filesize\r\n" + Music("broken.mp3") +
                                                ",ERROR\r\nAlpha,32.000\r\nb,16.000\r\n");
        QCOMPARE(main.cmbSave->Text(), Q(Out("list.csv")));
        const std::pair<QLabel*, QString> labels[] = {
            {report.lblStatus, "Done!"},  {report.lblFiles, "3"},    {report.lblBytes, "48.000"},
            {report.lblMinutes, "00:03"}, {report.lblUntagged, "1"}, {report.lblInvalid, "1"},
            {report.progress, ""},
        };
        for (const auto& [label, text] : labels) {
            QCOMPARE(label->text(), text);
        }
        QCOMPARE(report.ProgressBar1->value(), 100);
        QVERIFY(report.isVisible());
        QVERIFY(report.SpeedButton1->isEnabled());
        QCOMPARE(report.focusWidget(), report.SpeedButton1);
        // A double click on OK: its second click lands on the main window
        // behind, here on "&Exit", and must not act there.
        QSignalSpy exit(&main, &TForm1::ExitRequested);
        QTest::mouseClick(report.SpeedButton1, Qt::LeftButton);
        QVERIFY(!report.isVisible());
        QTest::mouseClick(main.btnExit, Qt::LeftButton);
        QCOMPARE(exit.count(), 0);
        QTest::qWait(QApplication::doubleClickInterval()); // later clicks count

        // An HTML page is replaced, never appended to, whatever the hidden
        // "Append to existing List" says; the tick stays for the text formats.
        profile.ListFormat = Profiles::ListFormat::Html;
        profile.AppendToList = true;
        WriteText(Out("page.html"), "old page\r\n");
        main.cmbSave->SetText(Q(Out("page.html")));
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        QVERIFY(ReadText(Out("page.html")).rfind("<html>", 0) == 0);
        QVERIFY(profile.AppendToList);
    }

    void aListKeepsFileFactsOnlyWhileTheOptionIsOn()
    {
        WriteSong(Music("a.mp3"), 2, Id3v1Fields{.Title = "Alpha"});
        // A file changed this recently would not be remembered yet.
        QTest::qWait(2100);
        RegTools::CreateRegKey(kVendor, kProduct);
        RegTools::WriteRegBool(kVendor, kProduct, "RememberFileFacts", false);
        TForm1& main = ShowForJob();
        m_app->CurrentProfile().ListFormat = Profiles::ListFormat::Csv;
        main.cmbSource->SetText(Q(Music("")));
        main.cmbSave->SetText(Q(Out("list.csv")));
        const std::string cache = m_sandbox->CacheHome() + "/sonorix";
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        QVERIFY(std::filesystem::exists(Out("list.csv")));
        QVERIFY(!std::filesystem::exists(cache));

        TForm5& options = m_app->GlobalOptionsDialog();
        options.show();
        options.FlatCheckBox3->click();
        QTest::mouseClick(options.FlatButton1, Qt::LeftButton);
        QVERIFY(RegTools::ReadRegBool(kVendor, kProduct, "RememberFileFacts"));
        std::filesystem::remove(Out("list.csv"));
        QTest::mouseClick(m_app->Report().SpeedButton1, Qt::LeftButton);
        QTest::qWait(QApplication::doubleClickInterval()); // later clicks count
        main.cmbSource->SetText(Q(Music("")));
        main.cmbSave->SetText(Q(Out("list.csv")));
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        QCOMPARE(m_dialogs->Log, std::vector<std::string>{});
        QVERIFY(std::filesystem::exists(Out("list.csv")));
        QVERIFY(std::filesystem::exists(cache + "/scan-classic.cache"));
    }

    void aNewPhaseIsPaintedAtOnceWhateverTheThrottle()
    {
        ShowForJob();
        TForm4& report = m_app->Report();
        report.ShowReport(); // lets events through: the throttle's clock starts
        for (const char* phase : {"Scanning files...", "Creating list..."}) {
            bool paintedNow = false;
            QTimer::singleShot(0, &report, [&paintedNow] { paintedNow = true; });
            report.SetLabelText(Listing::ReportLabel::Status, phase);
            report.RepaintReportLabel(Listing::ReportLabel::Status);
            QVERIFY2(paintedNow, phase);
        }
        report.HideReport();
    }

    void anOutputFolderGetsTheNumberedDefaultName()
    {
        WriteSong(Music("a.mp3"), 1, std::nullopt);
        WriteText(Out("TrackRoll1.csv"), "taken");
        TForm1& main = ShowForJob();
        m_app->CurrentProfile().ListFormat = Profiles::ListFormat::Csv;
        main.cmbSource->SetText(Q(Music("")));
        main.cmbSave->SetText(Q(Out("")));
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        QCOMPARE(main.cmbSave->Text(), Q(Out("TrackRoll2.csv")));
        QCOMPARE(ReadText(Out("TrackRoll1.csv")), std::string("taken"));
        QVERIFY(std::filesystem::exists(Out("TrackRoll2.csv")));
    }

    void noFilesFoundClosesTheReportAndLeavesTheOutput()
    {
        WriteText(Out("list.csv"), "old list");
        TForm1& main = ShowForJob();
        main.cmbSource->SetText(Q(Music("")));
        main.cmbSave->SetText(Q(Out("list.csv")));
        // What the report shows behind the box. The window system keeps it
        // above the main window only as a dialog window of it: a plain window
        // fell behind the main window when the box raised that.
        QStringList shown;
        m_dialogs->OnInformation = [&](const std::string&) {
            TForm4& report = m_app->Report();
            const QWindow* window = report.windowHandle();
            shown = QStringList{report.lblStatus->text(), report.lblFiles->text(),
                                QString::number(report.ProgressBar1->value()),
                                window && report.isVisible() && window->type() == Qt::Dialog &&
                                        window->transientParent() == main.windowHandle()
                                    ? "a dialog of the main window"
                                    : "not kept above the main window"};
        };
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        m_dialogs->OnInformation = nullptr;
        QCOMPARE(shown,
                 (QStringList{"No files found!", "-", "100", "a dialog of the main window"}));
        QCOMPARE(m_dialogs->Messages, std::vector<std::string>{kNoFiles});
        QVERIFY(!m_app->Report().isVisible());
        QCOMPARE(m_app->Report().lblStatus->text(), QString("No files found!"));
        QCOMPARE(ReadText(Out("list.csv")), std::string("old list"));
    }

    void aWriteErrorIsShownAndTheReportCanBeDismissed()
    {
        WriteSong(Music("a.mp3"), 1, std::nullopt);
        std::filesystem::create_symlink("/dev/full", Out("list.csv"));
        TForm1& main = ShowForJob();
        m_app->CurrentProfile().ListFormat = Profiles::ListFormat::Csv;
        main.cmbSource->SetText(Q(Music("")));
        main.cmbSave->SetText(Q(Out("list")));
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        const std::vector<std::string>& errors = m_dialogs->Errors;
        QCOMPARE(errors.size(), std::size_t{1});
        QVERIFY2(errors[0].rfind("Cannot write '", 0) == 0, errors[0].c_str());
        QVERIFY2(errors[0].ends_with("': No space left on device"), errors[0].c_str());
        QCOMPARE(main.cmbSave->Text(), Q(Out("list.csv")));
        TForm4& report = m_app->Report();
        QVERIFY(report.lblStatus->text() != "Done!");
        QVERIFY(report.SpeedButton1->isEnabled());
        report.close(); // the window manager's close acts as OK now
        QVERIFY(!report.isVisible());
    }

    void inputGivenDuringTheJobIsDiscarded()
    {
        TForm1& main = ShowForJob();
        main.cmbSource->SetText(Q(Music("")));
        main.cmbSave->SetText(Q(Out("list.csv")));
        // A double click on "Create &List" and a click on "&Info" while the
        // job is busy.
        m_dialogs->OnInformation = [&](const std::string&) {
            QueueClicks(main.btnList, 2);
            QueueClicks(main.btnInfo, 1);
        };
        QTest::mouseClick(main.btnList, Qt::LeftButton);
        m_dialogs->OnInformation = nullptr;
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(m_dialogs->Messages, std::vector<std::string>{kNoFiles});
        QCOMPARE(m_opened, QStringList{});
    }

private:
    std::string Music(const std::string& name) const { return m_dir->File("music/" + name); }

    std::string Out(const std::string& name) const { return m_dir->File("out/" + name); }

    Application& Start(const QStringList& arguments = {})
    {
        m_app.reset();
        m_app = std::make_unique<Application>(
            *m_dialogs,
            [this](QDialog& dialog) {
                m_opened.append(dialog.windowTitle());
                return 0;
            },
            arguments, kProgram);
        return *m_app;
    }

    TForm1& MainWindow() { return m_app->MainWindow(); }

    TForm1& Show(Application& app)
    {
        app.MainWindow().show();
        return app.MainWindow();
    }

    // Shown after an earlier start, with the default profile loaded.
    TForm1& ShowForJob()
    {
        AnsweredAtAnEarlierStart();
        return Show(Start());
    }

    // The first-start question answered Yes.
    static void AnsweredAtAnEarlierStart()
    {
        RegTools::WriteRegBool(kVendor, kProduct, "Rapidex", true);
    }

    std::unique_ptr<TestSupport::StoreSandbox> m_sandbox;
    std::unique_ptr<TestSupport::TempDir> m_dir;
    std::unique_ptr<TestSupport::ScriptedDialogs> m_dialogs;
    std::unique_ptr<Application> m_app;
    QStringList m_opened{}; // the program's own dialogs, as they were opened
};

QTEST_MAIN(TestMain)
#include "MainTest.moc"

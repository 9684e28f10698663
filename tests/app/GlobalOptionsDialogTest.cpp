#include <memory>

#include <QDir>
#include <QFocusEvent>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Application.h"
#include "app/frmGlobalOptions.h"
#include "profiles/MemoryProfileHost.h"
#include "settings/RegTools.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/StoreSandbox.h"
#include "tests/support/WindowChecks.h"

using namespace Profiles;
using namespace GlobalSettings;
using RegTools::kProduct;
using RegTools::kVendor;

namespace {

constexpr const char* kProgram = "/opt/sonorix/bin/sonorix";
constexpr const char* kVerbKey = "Folder\\shell\\Sonorix";

class DialogHost final : public ProfileHost
{
public:
    StyleBox& MainStyleBox() override { return Styles; }

    StyleBox& DefaultStyleBox() override { return DefaultStyles; }

    void FormatChanged(ListFormat) override {}

    MemoryStyleBox Styles{false};
    ComboStyleBox DefaultStyles; // over the dialog's default style box
};

} // namespace

class TestGlobalOptions : public QObject
{
    Q_OBJECT

private:
    // Start-up as the main window does it; the first start answers No.
    void Start()
    {
        if (!TestSupport::IsStored("Rapidex")) {
            m_dialogs->ConfirmAnswers = {false};
        }
        LoadGlobalOptions(*m_options, m_profile, *m_host, *m_dialogs, kProgram);
        m_form->ShowOptions();
    }

    void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

    std::unique_ptr<TestSupport::StoreSandbox> m_sandbox;
    std::unique_ptr<TestSupport::ScriptedDialogs> m_dialogs;
    std::unique_ptr<GlobalOptions> m_options;
    Profile m_profile;
    std::unique_ptr<DialogHost> m_host;
    std::unique_ptr<TForm5> m_form;
    int m_favouritesChanged = 0;
    std::vector<std::string> m_chosen;

private slots:

    void init()
    {
        m_sandbox = std::make_unique<TestSupport::StoreSandbox>();
        m_dialogs = std::make_unique<TestSupport::ScriptedDialogs>(TestSupport::QtFailure());
        m_options = std::make_unique<GlobalOptions>();
        m_profile = Profile{};
        m_host = std::make_unique<DialogHost>();
        m_form = std::make_unique<TForm5>(*m_dialogs, *m_options, m_profile, *m_host, kProgram);
        m_host->DefaultStyles.Attach(m_form->cmbStyles);
        m_favouritesChanged = 0;
        m_chosen.clear();
        m_form->SetLinks({.FavouritesChanged = [this] { ++m_favouritesChanged; },
                          .DefaultStyleChosen =
                              [this](const std::string& style) {
                                  m_chosen.push_back(style);
                                  m_host->Styles.SetText(style);
                                  LoadProfile(m_profile, *m_host);
                              }});
    }

    void cleanup()
    {
        m_form.reset();
        QVERIFY(m_dialogs->ConfirmAnswers.empty());
        QVERIFY(m_dialogs->FolderAnswers.empty());
        m_dialogs.reset();
        m_sandbox.reset();
    }

    void noCaptionIsClipped()
    {
        QVERIFY(m_form->width() >= 512 && m_form->height() >= 378);
        QCOMPARE(m_form->windowTitle(), QString("Options"));
        m_form->show();
        QCOMPARE(TestSupport::ClippedCaptions(*m_form), QStringList());
        QVERIFY(!m_form->FlatButton11->isEnabled());
    }

    void groupsStandEquallyFarApart()
    {
        m_form->show();
        const auto gap = [](QWidget* upper, QWidget* lower) {
            return lower->geometry().top() - upper->geometry().bottom();
        };
        QCOMPARE(gap(m_form->FlatEdit3->parentWidget(), m_form->cmbStyles->parentWidget()),
                 gap(m_form->FlatEdit1->parentWidget(), m_form->FlatEdit2->parentWidget()));
    }

    void favouritesAddFollowsTheFolderRules()
    {
        QTemporaryDir folders;
        QVERIFY(QDir(folders.path()).mkpath("Music") && QDir(folders.path()).mkpath("music"));
        const QString music = folders.filePath("Music");
        const QString lower = folders.filePath("music") + "/";

        struct Row
        {
            QString Entry;
            QStringList List;
            QString Left;
        };

        const Row rows[] = {
            {music, {music + "/"}, ""},
            {music + "/", {music + "/"}, music + "/"},
            {lower, {music + "/", lower}, ""}, // letter case counts
            {folders.filePath("missing"), {music + "/", lower}, folders.filePath("missing")},
            {"", {music + "/", lower}, ""},
        };
        for (const Row& row : rows) {
            m_form->FlatEdit1->setText(row.Entry);
            Click(m_form->FlatButton4);
            QCOMPARE(TestSupport::Items(m_form->ListBox2), row.List);
            QCOMPARE(TestSupport::ToQt(m_options->Source), row.List);
            QCOMPARE(m_form->FlatEdit1->text(), row.Left);
        }
        QVERIFY(m_options->IsKnown(GlobalValue::Source));
        QVERIFY(m_options->Output.empty());

        // One browser for both groups: it opens at "/", then where either
        // chose last; the choice goes into the group's edit only.
        m_dialogs->FolderAnswers = {music.toStdString(), std::nullopt};
        Click(m_form->FlatButton6);
        QCOMPARE(m_form->FlatEdit2->text(), music);
        QCOMPARE(m_form->ListBox3->count(), 0);
        Click(m_form->FlatButton3);
        QCOMPARE(m_dialogs->Log, (std::vector<std::string>{"Folder: Please choose a directory//",
                                                           "Folder: Please choose a directory/" +
                                                               music.toStdString()}));
        Click(m_form->FlatButton7);
        QCOMPARE(TestSupport::ToQt(m_options->Output), QStringList{music + "/"});
    }

    void favouritesDelRemovesOnlyTheSelectedEntry()
    {
        m_options->Output = {"/a/", "/b/"};
        m_form->ShowOptions();
        m_form->ListBox3->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        Click(m_form->FlatButton8);
        QCOMPARE(TestSupport::Items(m_form->ListBox3), (QStringList{"/a/", "/b/"}));
        QVERIFY(!m_options->IsKnown(GlobalValue::Output));
        m_form->ListBox3->item(1)->setSelected(true);
        Click(m_form->FlatButton8);
        QCOMPARE(TestSupport::Items(m_form->ListBox3), QStringList{"/a/"});
        QCOMPARE(TestSupport::ToQt(m_options->Output), QStringList{"/a/"});
        QVERIFY(m_options->IsKnown(GlobalValue::Output));
    }

    void favouritesDelLeavesNothingSelected()
    {
        struct Row
        {
            const char* Case;
            QListWidget* List;
            QPushButton* Del;
            std::vector<std::string>* Stored;
        };

        const Row rows[] = {
            {"source", m_form->ListBox2, m_form->FlatButton5, &m_options->Source},
            {"output", m_form->ListBox3, m_form->FlatButton8, &m_options->Output},
        };
        for (const Row& row : rows) {
            *row.Stored = {"/a/", "/b/", "/c/"};
            m_form->ShowOptions();
            row.List->setCurrentRow(0); // as a click picks it
            Click(row.Del);
            QVERIFY2(row.List->selectedItems().isEmpty(), row.Case);
            Click(row.Del); // nothing picked: nothing goes
            QVERIFY2(TestSupport::ToQt(*row.Stored) == (QStringList{"/b/", "/c/"}), row.Case);
        }
    }

    void defaultFileNameIsCutAtItsFirstDotOnLeaving_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("extension") << "TrackRoll.csv"
                                   << "TrackRoll";
        QTest::newRow("two dots") << "list.old.txt"
                                  << "list";
        QTest::newRow("leading dot") << ".txt"
                                     << "";
        QTest::newRow("no dot") << "a/b"
                                << "a/b";
    }

    void defaultFileNameIsCutAtItsFirstDotOnLeaving()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        m_form->FlatEdit3->clear();
        QTest::keyClicks(m_form->FlatEdit3, typed);
        QCOMPARE(m_options->DefaultFileName, typed.toStdString());
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(m_form->FlatEdit3, &leave);
        QCOMPARE(m_form->FlatEdit3->text(), kept);
        QCOMPARE(m_options->DefaultFileName, kept.toStdString());
        QVERIFY(m_options->IsKnown(GlobalValue::DefaultFileName));
    }

    void rapidexSwitchActsAtOnceAndAFailedSwitchShowsOff()
    {
        Start();
        m_form->show();
        QVERIFY(!m_form->FlatCheckBox1->isChecked());
        m_form->FlatCheckBox1->click();
        QVERIFY(RegTools::ClassRootKeyExists(kVerbKey));
        QVERIFY(RegTools::ReadRegBool(kVendor, kProduct, "Rapidex"));
        Click(m_form->FlatButton2); // Cancel undoes nothing
        QVERIFY(RegTools::ClassRootKeyExists(kVerbKey));
        QVERIFY(m_options->Rapidex);

        m_form->FlatCheckBox1->click();
        QVERIFY(!RegTools::ClassRootKeyExists(kVerbKey));
        QVERIFY(!RegTools::ReadRegBool(kVendor, kProduct, "Rapidex"));
        // The desktop entry cannot be written where a file blocks its folder.
        const QString applications =
            QString::fromStdString(m_sandbox->DataHome()) + "/applications";
        QDir(applications).removeRecursively();
        QFile blocker(applications);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        m_form->FlatCheckBox1->click();
        QCOMPARE(m_dialogs->Errors.size(), std::size_t(1));
        QVERIFY(!m_form->FlatCheckBox1->isChecked());
        QVERIFY(!m_options->Rapidex);
        QVERIFY(!RegTools::ReadRegBool(kVendor, kProduct, "Rapidex"));
    }

    void removeFromRegistryThenCancelLeavesNoKeyAndOkWritesTheGlobalsBack()
    {
        Start();
        m_form->show();
        m_form->FlatCheckBox1->click();
        m_dialogs->ConfirmAnswers = {false, true};
        Click(m_form->FlatButton9);
        QVERIFY(RegTools::RegKeyExists(kVendor, kProduct));
        Click(m_form->FlatButton9);
        QCOMPARE(m_dialogs->Questions.back(), std::string(kRemoveQuestion));
        QVERIFY(!RegTools::RegKeyExists(kVendor, kProduct)); // the next start is a first start
        QVERIFY(!RegTools::ClassRootKeyExists(kVerbKey));
        QVERIFY(!m_form->FlatCheckBox1->isChecked());
        QCOMPARE(m_form->FlatEdit3->text(), QString("TrackRoll"));
        QCOMPARE(m_form->cmbStyles->Text(), QString("Default"));
        Click(m_form->FlatButton2);
        QVERIFY(!RegTools::RegKeyExists(kVendor, kProduct));

        m_form->show();
        Click(m_form->FlatButton1);
        for (const GlobalValueInfo& info : kGlobalValues) {
            QVERIFY2(TestSupport::IsStored(info.Name), info.Name);
        }
        QVERIFY(!RegTools::ReadRegBool(kVendor, kProduct, "Rapidex"));
        QCOMPARE(TestSupport::StoredText("DefaultFileName"), std::string("TrackRoll"));
        QCOMPARE(TestSupport::StoredText("DefaultStyle"), std::string("Default"));
    }

    void delRefusesDefaultAndDeletesOtherStyles()
    {
        TestSupport::StoreText("Styles", "Default\r\nRock\r\nJazz\r\n");
        TestSupport::StoreText("DefaultStyle", "Jazz");
        Start();
        const std::string styles = TestSupport::StoredText("Styles");
        TestSupport::StoreText("DefaultHeadline", "Built in");
        for (const char* name : {"Default", "DEFAULT", "default"}) {
            m_form->cmbStyles->SetText(name);
            Click(m_form->FlatButton10);
            QCOMPARE(m_dialogs->Messages.back(), std::string("Default profile cannot be deleted!"));
            QCOMPARE(TestSupport::StoredText("Styles"), styles);
            QVERIFY(TestSupport::IsStored("DefaultHeadline"));
        }

        TestSupport::StoreText("RockSort", "1");
        m_form->cmbStyles->SetText("Rock");
        Click(m_form->FlatButton10);
        QVERIFY(!TestSupport::IsStored("RockSort"));
        QCOMPARE(TestSupport::StoredText("Styles"), std::string("Default\r\nJazz\r\n"));
        QCOMPARE(m_form->cmbStyles->Items(), (QStringList{"Default", "Jazz"}));
        QCOMPARE(m_form->cmbStyles->Text(), QString("Jazz"));
        QCOMPARE(m_host->Styles.Text(), std::string("Jazz"));

        // Deleting the default style makes "Default" the default style.
        m_form->cmbStyles->SetText("Jazz");
        Click(m_form->FlatButton10);
        QCOMPARE(TestSupport::StoredText("DefaultStyle"), std::string("Default"));
        QCOMPARE(TestSupport::StoredText("Styles"), std::string("Default\r\n"));
        QCOMPARE(m_form->cmbStyles->Text(), QString("Default"));
        QCOMPARE(m_host->Styles.Text(), std::string("Default"));
        QVERIFY(!TestSupport::IsStored("JazzSort"));
        QCOMPARE(m_dialogs->Messages.size(), std::size_t(3));
    }

    void okStoresTheOptionsAndMakesTheDefaultStyleCurrent()
    {
        TestSupport::StoreText("Styles", "Default\r\nRock\r\n");
        Start();
        m_form->show();
        m_form->FlatCheckBox2->click();
        m_form->FlatEdit2->setText("/");
        Click(m_form->FlatButton7);
        m_form->cmbStyles->SetText("");
        QTest::keyClicks(m_form->cmbStyles, "Rock");
        Click(m_form->FlatButton1);
        QVERIFY(!m_form->isVisible());
        QVERIFY(RegTools::ReadRegBool(kVendor, kProduct, "AskForCustom"));
        QCOMPARE(TestSupport::StoredText("Output"), std::string("/\r\n"));
        QCOMPARE(TestSupport::StoredText("Source"), std::string(""));
        QCOMPARE(TestSupport::StoredText("DefaultStyle"), std::string("Rock"));
        QCOMPARE(m_favouritesChanged, 1);
        QCOMPARE(m_chosen, std::vector<std::string>{"Rock"});
        QCOMPARE(m_profile.Name, std::string("Rock"));
    }

    void rememberFileFactsIsOnUntilSwitchedOffAndStoredOnOk()
    {
        Start();
        m_form->show();
        QCOMPARE(m_form->FlatCheckBox3->text(), QString("Remember file facts between lists"));
        QCOMPARE(m_form->FlatCheckBox3->parentWidget(), m_form->FlatCheckBox2->parentWidget());
        QVERIFY(m_form->FlatCheckBox3->isChecked());
        m_form->FlatCheckBox3->click();
        QVERIFY(!m_options->RememberFileFacts);
        Click(m_form->FlatButton1);
        QVERIFY(!RegTools::ReadRegBool(kVendor, kProduct, "RememberFileFacts"));

        // The next start shows what was stored.
        *m_options = GlobalOptions{};
        m_form->FlatCheckBox3->setChecked(true);
        Start();
        QVERIFY(!m_options->RememberFileFacts);
        QVERIFY(!m_form->FlatCheckBox3->isChecked());
    }

    void cancelWritesNothingAndKeepsTheControls()
    {
        Start();
        m_form->show();
        m_form->FlatCheckBox2->click();
        Click(m_form->FlatButton2);
        QVERIFY(!m_form->isVisible());
        QVERIFY(!TestSupport::IsStored("AskForCustom"));
        QVERIFY(m_options->AskForCustom); // the next list asks
        QVERIFY(m_form->FlatCheckBox2->isChecked());
        QCOMPARE(m_favouritesChanged, 0);
    }

    void okAfterAFailedStartUpLoadLeavesUnreadValuesAsStored()
    {
        RegTools::CreateRegKey(kVendor, kProduct);
        RegTools::WriteRegBool(kVendor, kProduct, "Rapidex", false);
        TestSupport::StoreText("Source", "/kept/\r\n");
        TestSupport::StoreText("DefaultFileName", "Mine");
        TestSupport::StoreText("DefaultStyle", "Default");
        TestSupport::StoreText("DefaultFontColor", "not a colour");
        bool failed = false;
        try {
            Start();
        } catch (const ProfileError&) {
            failed = true;
        }
        QVERIFY(failed);
        m_form->ShowOptions();
        m_form->show();
        m_form->FlatCheckBox2->click();
        Click(m_form->FlatButton1);
        QVERIFY(RegTools::ReadRegBool(kVendor, kProduct, "AskForCustom"));
        QCOMPARE(TestSupport::StoredText("Source"), std::string("/kept/\r\n"));
        QCOMPARE(TestSupport::StoredText("DefaultFileName"), std::string("Mine"));
        QVERIFY(!TestSupport::IsStored("Output"));
        QCOMPARE(TestSupport::StoredText("DefaultStyle"), std::string("Default"));
        QVERIFY(m_chosen.empty()); // a style the load never reached is not loaded
    }
};

QTEST_MAIN(TestGlobalOptions)
#include "GlobalOptionsDialogTest.moc"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include <QAccessible>
#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QTabBar>
#include <QtTest>

#include "profiles/MemoryProfileHost.h"
#include "profiles/frmOptions.h"
#include "settings/RegTools.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/StoreSandbox.h"
#include "tests/support/WindowChecks.h"
#include "widgets/FlatWidgets.h"

using namespace Profiles;
using RegTools::kProduct;
using RegTools::kVendor;

namespace {

// The main window's side as the profile operations see it: two style boxes
// in memory, and the format notification handed to the dialog.
class DialogHost final : public ProfileHost
{
public:
    StyleBox& MainStyleBox() override { return Styles; }

    StyleBox& DefaultStyleBox() override { return DefaultStyles; }

    void FormatChanged(ListFormat listFormat) override
    {
        if (Form) {
            Form->FormatChanged(listFormat);
        }
    }

    MemoryStyleBox Styles{false};
    MemoryStyleBox DefaultStyles{true};
    TForm3* Form = nullptr;
};

} // namespace

class TestProfileOptions : public QObject
{
    Q_OBJECT

private:
    // Start-up as the main window does it: the list loaded, the dialog
    // rendered.
    void Start()
    {
        LoadProfileList(m_profile, m_host);
        m_form->ShowProfile();
    }

    // A load as "Edit" or a style change does it.
    void Load(const std::string& name)
    {
        m_host.Styles.SetText(name);
        LoadProfile(m_profile, m_host);
        m_form->ShowProfile();
    }

    std::int64_t StoredValues() const
    {
        return m_sandbox->Count("SELECT count(*) FROM reg_settings WHERE hive = 'machine'");
    }

    void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

    void ChooseFormat(ListFormat format)
    {
        m_form->cmbTyp->setCurrentIndex(NumberOf(format));
        emit m_form->cmbTyp->activated(NumberOf(format));
    }

    std::unique_ptr<TestSupport::StoreSandbox> m_sandbox;
    std::unique_ptr<TestSupport::ScriptedDialogs> m_dialogs;
    Profile m_profile;
    DialogHost m_host;
    std::unique_ptr<TForm3> m_form;
    int m_outputCleared = 0;
    int m_styleChanges = 0;

private slots:

    void init()
    {
        m_sandbox = std::make_unique<TestSupport::StoreSandbox>();
        m_dialogs = std::make_unique<TestSupport::ScriptedDialogs>(TestSupport::QtFailure());
        m_profile = Profile{};
        m_host.Styles.SetItems({});
        m_host.Styles.SetText("");
        m_host.DefaultStyles.SetItems({});
        m_host.DefaultStyles.SetText("");
        m_form = std::make_unique<TForm3>(*m_dialogs, m_profile, m_host);
        m_host.Form = m_form.get();
        m_outputCleared = 0;
        m_styleChanges = 0;
        m_form->SetLinks({.ClearOutputBox = [this] { ++m_outputCleared; },
                          .MainStyleChanged =
                              [this] {
                                  ++m_styleChanges;
                                  LoadProfile(m_profile, m_host);
                              }});
    }

    void cleanup()
    {
        m_host.Form = nullptr;
        m_form.reset();
        QVERIFY(m_dialogs->ColorAnswers.empty());
        QVERIFY(m_dialogs->FontAnswers.empty());
        QVERIFY(m_dialogs->InputAnswers.empty());
        m_dialogs.reset();
        m_sandbox.reset();
    }

    void noCaptionIsClippedAndMiscOpensFirst()
    {
        QVERIFY(m_form->width() >= 300 && m_form->height() >= 297);
        QCOMPARE(m_form->windowTitle(), QString("Profile Options"));
        QTabBar* tabs = m_form->PageControl1->Tabs();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        QCOMPARE(m_form->PageControl1->CurrentIndex(), 2);
        m_form->show();
        QCOMPARE(m_form->PageControl1->CurrentIndex(), 0);
        for (int tab = 0; tab < m_form->PageControl1->Count(); ++tab) {
            m_form->PageControl1->SetCurrentIndex(tab);
            QCOMPARE(TestSupport::ClippedCaptions(*m_form), QStringList());
        }
    }

    void theTabsAreARowOfPageTabsForTheKeyboard()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QTabBar* tabs = m_form->PageControl1->Tabs();

        struct Row
        {
            QWidget* Focus;
            Qt::Key Key;
            Qt::KeyboardModifiers Modifiers;
            int From;
            int To;
        };

        const Row rows[] = {
            {m_form->FlatEdit2, Qt::Key_Tab, Qt::ControlModifier, 0, 1},
            {m_form->FlatButton1, Qt::Key_Tab, Qt::ControlModifier, 2, 0},
            {m_form->FlatButton1, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 0, 2},
            {m_form->FlatButton1, Qt::Key_PageDown, Qt::ControlModifier, 1, 2},
            {m_form->FlatButton1, Qt::Key_PageUp, Qt::ControlModifier, 1, 0},
            {tabs, Qt::Key_Right, Qt::NoModifier, 0, 1},
            {tabs, Qt::Key_Left, Qt::NoModifier, 2, 1},
        };
        for (const Row& row : rows) {
            m_form->PageControl1->SetCurrentIndex(row.From);
            row.Focus->setFocus();
            QTest::keyClick(QApplication::focusWidget(), row.Key, row.Modifiers);
            QCOMPARE(m_form->PageControl1->CurrentIndex(), row.To);
            QCOMPARE(m_form->PageControl1->Page(row.To)->isVisible(), true);
        }

        // A screen reader hears three page tabs.
        QAccessibleInterface* tabRow = QAccessible::queryAccessibleInterface(tabs);
        QStringList pageTabs;
        for (int child = 0; child < tabRow->childCount(); ++child) {
            if (tabRow->child(child)->role() == QAccessible::PageTab) {
                pageTabs.append(tabRow->child(child)->text(QAccessible::Name));
            }
        }
        QCOMPARE(pageTabs, (QStringList{"Misc", "List Items", "HTML-Options"}));
    }

    void extensionAddStripsRefusesAndSorts_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("list"); // after Add, beside "mp3"
        QTest::addColumn<QString>("left");     // in the entry field afterwards
        QTest::newRow("star dot, other case") << "*.MP3" << QStringList{"mp3", "MP3"} << "";
        QTest::newRow("exact duplicate") << "mp3" << QStringList{"mp3"} << "mp3";
        QTest::newRow("dots and star") << "..*ogg" << QStringList{"mp3", "ogg"} << "";
        QTest::newRow("sorted") << "AAC" << QStringList{"AAC", "mp3"} << "";
        QTest::newRow("blank and bar") << "a b|c" << QStringList{"a b|c", "mp3"} << "";
        QTest::newRow("empty") << "" << QStringList{"mp3"} << "";
        QTest::newRow("nothing left") << "*." << QStringList{"mp3"} << "*.";
        for (const char* refused : {"o.gg", "o/gg", "o[gg", "o\"", "o<", "o>", "o?", "o:", "o{",
                                    "o}", "o]", "o\\", "o*", "o\tgg"}) {
            QTest::newRow(refused) << refused << QStringList{"mp3"} << refused;
        }
    }

    void extensionAddStripsRefusesAndSorts()
    {
        QFETCH(QString, entry);
        QFETCH(QStringList, list);
        QFETCH(QString, left);
        Start();
        m_form->FlatEdit2->setText(entry);
        Click(m_form->FlatButton4);
        QCOMPARE(TestSupport::Items(m_form->ListBox1), list);
        QCOMPARE(TestSupport::ToQt(m_profile.Extensions), list);
        QCOMPARE(m_form->FlatEdit2->text(), left);
    }

    void extensionDelRemovesOnlyTheSelectedEntry()
    {
        Start();
        m_profile.Extensions = {"ogg", "aac", "mp3"};
        m_form->ShowProfile();
        QCOMPARE(TestSupport::ToQt(m_profile.Extensions), (QStringList{"aac", "mp3", "ogg"}));
        // Focusing a list makes a row current without selecting it.
        m_form->ListBox1->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        Click(m_form->FlatButton5);
        QCOMPARE(TestSupport::Items(m_form->ListBox1), (QStringList{"aac", "mp3", "ogg"}));
        m_form->ListBox1->item(1)->setSelected(true);
        Click(m_form->FlatButton5);
        QCOMPARE(TestSupport::Items(m_form->ListBox1), (QStringList{"aac", "ogg"}));
        QCOMPARE(TestSupport::ToQt(m_profile.Extensions), (QStringList{"aac", "ogg"}));
        // After a removal nothing is picked: a second Del removes nothing.
        m_form->ListBox1->setCurrentRow(0);
        Click(m_form->FlatButton5);
        QCOMPARE(m_form->ListBox1->selectedItems().size(), 0);
        Click(m_form->FlatButton5);
        QCOMPARE(TestSupport::ToQt(m_profile.Extensions), QStringList{"ogg"});
    }

    void formatChangesShowTheirControlsAndClearTheOutputBox()
    {
        Start();
        m_form->show();
        QCOMPARE(m_outputCleared, 1); // the start-up load
        ChooseFormat(ListFormat::Custom);
        QTest::keyClicks(m_form->FlatEdit1, ";|");

        struct Row
        {
            ListFormat Format;
            bool Separator;
            bool Append;
        };

        const Row rows[] = {{ListFormat::Custom, true, true},
                            {ListFormat::Html, false, false},
                            {ListFormat::Csv, false, true},
                            {ListFormat::Text, false, true}};
        int cleared = m_outputCleared;
        QCOMPARE(cleared, 2);
        for (const Row& row : rows) {
            ChooseFormat(row.Format);
            QCOMPARE(m_profile.ListFormat, row.Format);
            QCOMPARE(!m_form->FlatEdit1->isHidden(), row.Separator);
            QCOMPARE(!m_form->FlatCheckBox1->isHidden(), row.Append);
            QCOMPARE(m_outputCleared, ++cleared);
            QCOMPARE(m_profile.Separator, std::string(";|")); // kept while hidden
        }
        // A load selects the stored format, including none, which leaves
        // both as they are.
        TestSupport::StoreText("DefaultListFormat", "1");
        Load("Default");
        QCOMPARE(m_form->cmbTyp->currentText(), QString("Custom Separator"));
        QVERIFY(!m_form->FlatEdit1->isHidden());
        QCOMPARE(m_outputCleared, ++cleared);
        TestSupport::StoreText("DefaultListFormat", "7");
        Load("Default");
        QCOMPARE(m_form->cmbTyp->currentIndex(), -1);
        QVERIFY(!m_form->FlatEdit1->isHidden());
        QVERIFY(!m_form->FlatCheckBox1->isHidden());
        QCOMPARE(m_outputCleared, ++cleared);
        QCOMPARE(m_profile.Separator, std::string(";|"));
    }

    void cancelKeepsAChangedFormatUntilTheNextLoad()
    {
        Start();
        m_form->show();
        ChooseFormat(ListFormat::Csv);
        Click(m_form->FlatButton3);
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_profile.ListFormat, ListFormat::Csv); // what the next list uses
        QCOMPARE(TestSupport::StoredText("DefaultListFormat"), std::string("2"));
        Load("Default");
        QCOMPARE(m_profile.ListFormat, ListFormat::Html);
        QCOMPARE(m_form->cmbTyp->currentText(), QString("HTML"));
    }

    void upAndDownMoveTheSelectedLineWithItsTick()
    {
        Start();
        TCheckListBox* list = m_form->CheckListBox1;
        const QStringList names(kColumnCaptions.begin(), kColumnCaptions.end());

        struct Row
        {
            int Select; // -1: none
            QWidget* Button;
            int Moved;     // where the selected line is afterwards
            QString Order; // the first five lines afterwards
            QString Ticks; // their ticks
        };

        const Row rows[] = {
            {-1, m_form->SpeedButton1, -1, "Songname Artist Time Filesize Custom Info", "11110"},
            {0, m_form->SpeedButton1, 0, "Songname Artist Time Filesize Custom Info", "11110"},
            {3, m_form->SpeedButton2, 4, "Songname Artist Time Custom Info Filesize", "11101"},
            {3, m_form->SpeedButton1, 2, "Songname Artist Custom Info Time Filesize", "11011"},
            {19, m_form->SpeedButton2, 19, "Songname Artist Custom Info Time Filesize", "11011"},
        };
        for (const Row& row : rows) {
            list->clearSelection();
            if (row.Select >= 0) {
                list->item(row.Select)->setSelected(true);
            }
            Click(row.Button);
            QCOMPARE(list->Selected(), row.Moved);
            QCOMPARE(list->Lines().mid(0, 5).join(' '), row.Order);
            QString ticks;
            for (int i = 0; i < 5; ++i) {
                ticks += m_profile.Checked[static_cast<std::size_t>(i)] ? '1' : '0';
            }
            QCOMPARE(ticks, row.Ticks);
            QCOMPARE(TestSupport::ToQt(m_profile.Information), list->Lines());
        }
        QCOMPARE(list->Lines().size(), names.size());
    }

    void coloursShareOnePickerAndSaveStoresTheColourNotTypedText()
    {
        TestSupport::StoreText("DefaultFontColor", "0");
        Start();
        m_form->show();
        m_dialogs->ColorAnswers = {0x0080FF, std::nullopt};
        Click(m_form->FlatButton8); // "Font color": red 255, green 128, blue 0
        QCOMPARE(m_form->Edit8->text(), QString("#FF8000"));
        QCOMPARE(m_profile.FontColorText, std::string("#FF8000"));
        Click(m_form->FlatButton6); // cancelled "Header row" starts from that pick
        QCOMPARE(m_dialogs->Log, (std::vector<std::string>{"Color: 0", "Color: 33023"}));
        QCOMPARE(m_form->Edit11->text(), QString("#000000"));

        // Typed into a swatch: used by the lists, never stored.
        m_form->Edit11->clear();
        QTest::keyClicks(m_form->Edit11, "red");
        QCOMPARE(m_profile.HeaderColorText, std::string("red"));
        m_dialogs->FontAnswers = {"DejaVu Serif"};
        Click(m_form->FlatButton9);
        QCOMPARE(m_form->Edit6->text(), QString("DejaVu Serif"));

        m_host.Styles.SetText("Default");
        Click(m_form->FlatButton1);
        QVERIFY(!m_form->isVisible());
        QCOMPARE(TestSupport::StoredText("DefaultFontColor"), std::string("33023"));
        QCOMPARE(TestSupport::StoredText("DefaultHeaderColor"), std::string("0"));
        QCOMPARE(TestSupport::StoredText("DefaultFontStyle"), std::string("DejaVu Serif"));
        Load("Default");
        QCOMPARE(m_form->Edit11->text(), QString("#000000"));
    }

    void theStyleGroupKeepsItsPlacesWhateverTheFontsHeight_data()
    {
        QTest::addColumn<int>("pointSize"); // of the desktop's font
        for (int pointSize : {8, 9, 14, 20}) {
            QTest::addRow("%d pt", pointSize) << pointSize;
        }
    }

    void theStyleGroupKeepsItsPlacesWhateverTheFontsHeight()
    {
        QFETCH(int, pointSize);
        const QFont desktopFont = QApplication::font();
        QFont font = desktopFont;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
        const auto restore = qScopeGuard([&] { QApplication::setFont(desktopFont); });
        m_form = std::make_unique<TForm3>(*m_dialogs, m_profile, m_host);
        m_host.Form = m_form.get();

        // Faces taller and shorter than DejaVu Sans (whose faces share one
        // height) at these sizes; "Arial", the profile's face, is one of
        // them where fontconfig gives Nimbus Sans for it.
        QStringList faces;
        QList<int> heights;
        for (const char* face : {"DejaVu Sans", "Nimbus Sans", "D050000L", "C059"}) {
            if (QFontDatabase::hasFamily(face)) {
                font.setFamily(face);
                faces.append(face);
                heights.append(QFontMetrics(font).height());
            }
        }
        if (std::ranges::count(heights, heights.value(0)) == heights.size()) {
            QSKIP("needs font faces of different heights (package fonts-urw-base35)");
        }

        Start();
        m_form->show();
        m_form->PageControl1->SetCurrentIndex(2);
        QWidget* style = m_form->Edit6->parentWidget();
        // The group, its controls and those below it, each as "name x,y w×h".
        const auto places = [&] {
            QStringList placed;
            QList<QWidget*> controls = style->findChildren<QWidget*>();
            controls << style << m_form->CheckBox3 << m_form->Edit9->parentWidget();
            for (const QWidget* control : controls) {
                const QRect r = control->geometry();
                placed.append(QString("%1 %2,%3 %4×%5")
                                  .arg(control->objectName())
                                  .arg(r.x())
                                  .arg(r.y())
                                  .arg(r.width())
                                  .arg(r.height()));
            }
            return placed;
        };
        const QStringList before = places();
        for (const QString& face : faces) {
            m_dialogs->FontAnswers = {face.toStdString()};
            Click(m_form->FlatButton9);
            QCOMPARE(m_form->Edit6->font().family(), face);
            QCoreApplication::processEvents(); // the layouts settle
            const QStringList after = places();
            QVERIFY2(after == before,
                     qPrintable(face + ": " + after.join(", ") + "\nwas: " + before.join(", ")));
        }
    }

    void background2FollowsItsCheckBoxAlsoAfterALoad()
    {
        Start();
        QVERIFY(m_form->FlatButton10->isEnabled() && m_form->Edit10->isEnabled());
        m_form->CheckBox3->click();
        QVERIFY(m_profile.Save30);
        QVERIFY(!m_form->FlatButton10->isEnabled() && !m_form->Edit10->isEnabled());
        Load("Default"); // stored Save30 is false
        QVERIFY(!m_form->CheckBox3->isChecked());
        QVERIFY(m_form->FlatButton10->isEnabled() && m_form->Edit10->isEnabled());
        RegTools::WriteRegBool(kVendor, kProduct, "DefaultSave30", true);
        Load("Default");
        QVERIFY(!m_form->FlatButton10->isEnabled() && !m_form->Edit10->isEnabled());
    }

    void fullAnalysisBoxLoadsAndSavesLikeTheOtherFields()
    {
        Start();
        m_form->show();
        QVERIFY(!m_form->FlatCheckBox2->isChecked());
        QVERIFY(m_form->FlatCheckBox2->isVisible());
        QAccessibleInterface* box = QAccessible::queryAccessibleInterface(m_form->FlatCheckBox2);
        QCOMPARE(box->role(), QAccessible::CheckBox);
        QCOMPARE(box->text(QAccessible::Name),
                 QString("Full analysis (ID3v2/APE tags, exact length, FLAC/Ogg/Opus/M4A/WAV)"));

        Click(m_form->FlatCheckBox2);
        QCOMPARE(m_profile.Analysis, Analysis::Full);
        m_host.Styles.SetText("Default");
        Click(m_form->FlatButton1); // "Save"
        QCOMPARE(TestSupport::StoredText("DefaultAnalysis"), std::string("1"));
        Load("Default");
        QVERIFY(m_form->FlatCheckBox2->isChecked());

        m_form->show();
        Click(m_form->FlatCheckBox2);
        QCOMPARE(m_profile.Analysis, Analysis::Classic);
        Click(m_form->FlatButton1);
        QVERIFY(!TestSupport::IsStored("DefaultAnalysis"));
        Load("Default");
        QVERIFY(!m_form->FlatCheckBox2->isChecked());
    }

    void saveRefusesNamesThatWouldOverwriteGlobalValues()
    {
        Start();
        m_form->show();
        const std::int64_t before = StoredValues();
        for (const char* name : {"", "AskFor", "askFOR"}) {
            m_host.Styles.SetText(name);
            Click(m_form->FlatButton1);
            QCOMPARE(m_dialogs->Messages.back(), std::string("Please enter a valid profile name!"));
            QVERIFY(m_form->isVisible());
        }
        QCOMPARE(StoredValues(), before);
        QVERIFY(!RegTools::RegValueExists(kVendor, kProduct, "AskForCustom"));

        // A store that fails ends the save with its error; the dialog stays.
        const std::string store = m_sandbox->StoreFile();
        std::rename(store.c_str(), (store + ".kept").c_str());
        std::ofstream(store) << "Source=/music\n";
        m_host.Styles.SetText("Unlisted");
        Click(m_form->FlatButton1);
        QCOMPARE(m_dialogs->Errors.size(), std::size_t(1));
        QVERIFY(m_form->isVisible());
        std::rename((store + ".kept").c_str(), store.c_str());

        Click(m_form->FlatButton1);
        QVERIFY(!m_form->isVisible());
        QVERIFY(RegTools::RegValueExists(kVendor, kProduct, "UnlistedCustom"));
        QCOMPARE(TestSupport::StoredText("Styles"), std::string("Default\r\n"));
    }

    void saveAsListsSelectsAndLoadsTheNewProfile()
    {
        TestSupport::StoreText("Styles", "Default\r\nRock\r\n");
        Start();
        m_form->show();
        m_form->Edit9->clear();
        QTest::keyClicks(m_form->Edit9, "Mine");

        // Cancelled or refused: nothing stored, the dialog stays open.
        m_dialogs->InputAnswers = {std::nullopt, "", "AskFor"};
        const std::int64_t before = StoredValues();
        for (int i = 0; i < 3; ++i) {
            Click(m_form->FlatButton2);
            QVERIFY(m_form->isVisible());
        }
        QCOMPARE(m_dialogs->Messages.size(), std::size_t(2));
        QCOMPARE(StoredValues(), before);
        QCOMPARE(m_dialogs->Log.front(), std::string("Input: Save as.../Enter Profile Name/"));

        m_dialogs->InputAnswers = {"Jazz"};
        Click(m_form->FlatButton2);
        QVERIFY(!m_form->isVisible());
        QCOMPARE(TestSupport::StoredText("Styles"), std::string("Default\r\nRock\r\nJazz\r\n"));
        QCOMPARE(m_host.Styles.Items(), (std::vector<std::string>{"Default", "Rock", "Jazz"}));
        QCOMPARE(m_host.DefaultStyles.Items(),
                 (std::vector<std::string>{"Default", "Jazz", "Rock"}));
        QCOMPARE(m_host.Styles.Text(), std::string("Jazz"));
        QCOMPARE(m_styleChanges, 1);
        QCOMPARE(m_profile.Name, std::string("Jazz"));
        QCOMPARE(m_profile.Headline, std::string("Mine"));
        QCOMPARE(m_form->Edit9->text(), QString("Mine"));
        QCOMPARE(TestSupport::StoredText("DefaultHeadline"),
                 std::string("List created by Sonorix"));
    }
};

QTEST_MAIN(TestProfileOptions)
#include "ProfileOptionsTest.moc"

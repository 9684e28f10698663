#include "widgets/FlatWidgets.h"

#include <memory>
#include <stdexcept>

#include <QAccessible>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include "tests/support/ScriptedDialogs.h"
#include "tests/support/StoreSandbox.h"
#include "tests/support/WindowChecks.h"
#include "widgets/GuardedConnect.h"
#include "widgets/QtDialogs.h"

namespace {

// A window's side of a guarded connection: handlers that record what reached
// them and then fail.
class FailingHandlers : public QObject
{
public:
    void Toggled(bool checked)
    {
        Seen.append(checked ? "toggled on" : "toggled off");
        throw std::runtime_error("Cannot write 'registry.db'");
    }

    void Clicked()
    {
        Seen.append("clicked");
        throw std::runtime_error("No folder");
    }

    QStringList Seen;
};

} // namespace

class TestFlatWidgets : public QObject
{
    Q_OBJECT

private slots:

    void init() { m_sandbox = std::make_unique<TestSupport::StoreSandbox>(); }

    void cleanup() { m_sandbox.reset(); }

    void checkBoxHandlerRunsOnEveryRealChangeAlsoFromCode()
    {
        TFlatCheckBox box("Enable");
        QSignalSpy toggled(&box, &QCheckBox::toggled);
        box.setChecked(true);
        box.setChecked(true);
        box.setChecked(false);
        QCOMPARE(toggled.count(), 2);
    }

    void comboBoxReportsOnlyTheUsersChangesAndKeepsItsText()
    {
        TFlatComboBox box(true);
        box.SetSorted(true);
        QSignalSpy changed(&box, &TFlatComboBox::UserChanged);
        box.SetText("typed");
        box.SetItems({"rock", "Blues", "default", "Default"});
        QCOMPARE(box.Text(), QString("typed"));
        QCOMPARE(box.Items(), (QStringList{"Blues", "default", "Default", "rock"}));
        QCOMPARE(changed.count(), 0);

        box.SetText("");
        QTest::keyClicks(&box, "D");
        QCOMPARE(box.Text(), QString("D")); // no inline completion to "default"
        QTest::keyClick(&box, Qt::Key_Return);
        QCOMPARE(box.count(), 4); // Enter inserts nothing
        QTest::keyClick(&box, 'e');
        QCOMPARE(changed.count(), 2); // one per keystroke
    }

    void oneLineBoxesKeepTheTextBeforeTheFirstBreak()
    {
        TFlatEdit edit;
        edit.setText("ab\ncd");
        QCOMPARE(edit.text(), QString("ab"));
        TFlatComboBox box(true);
        box.setEditText("x\r\ny");
        QCOMPARE(box.Text(), QString("x"));
    }

    void movingACheckListLineKeepsEveryTick()
    {
        TCheckListBox list;
        list.SetLines({"Songname", "Artist", "Time"}, {true, false, true});
        QCOMPARE(list.Selected(), -1);
        QVERIFY(!list.MoveLine(0, -1));
        QVERIFY(list.MoveLine(0, 1));
        QCOMPARE(list.Lines(), (QStringList{"Artist", "Songname", "Time"}));
        QCOMPARE(list.Ticks(), (std::vector<bool>{false, true, true}));
        QCOMPARE(list.Selected(), 1);
    }

    void folderBrowserStartsWhereTheLastChoiceWasWhileItExists()
    {
        TestSupport::ScriptedDialogs dialogs(TestSupport::QtFailure());
        TBrowseFolder browser(dialogs, "Please choose a directory", "/");
        const QString chosen = QString::fromStdString(m_sandbox->Home());
        dialogs.FolderAnswers = {chosen.toStdString(), std::nullopt};
        QCOMPARE(browser.Execute(), chosen);
        QCOMPARE(browser.Execute(), QString()); // Cancel
        QCOMPARE(dialogs.Log, (std::vector<std::string>{"Folder: Please choose a directory//",
                                                        "Folder: Please choose a directory/" +
                                                            chosen.toStdString()}));
    }

    void confirmationAnswersNoToEscapeAndShowsItsButtons()
    {
        QtDialogs dialogs;
        QString caption;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            caption = box->windowTitle();
            for (QAbstractButton* button : box->buttons()) {
                buttons.append(button->text());
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QVERIFY(!dialogs.Confirm("Remove <b>all</b>?"));
        QCOMPARE(caption, QString("Bestätigung"));
        QCOMPARE(buttons, (QStringList{"&Ja", "&Nein"}));
    }

    void enterPressesTheFocusedButtonAndElseTheDefault()
    {
        QDialog dialog;
        auto* edit = new QLineEdit(&dialog);
        auto* flat = new TFlatButton("&OK", &dialog);
        auto* fallback = new QPushButton("Default", &dialog);
        fallback->setDefault(true);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(edit);
        layout->addWidget(flat);
        layout->addWidget(fallback);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QSignalSpy flatClicked(flat, &QPushButton::clicked);
        QSignalSpy defaultClicked(fallback, &QPushButton::clicked);

        struct Row
        {
            QWidget* Focus;
            Qt::Key Key;
            int Flat;
            int Default;
        };

        const Row rows[] = {
            {flat, Qt::Key_Return, 1, 0},
            {flat, Qt::Key_Enter, 1, 0},
            {flat, Qt::Key_Space, 1, 0},
            {edit, Qt::Key_Return, 0, 1},
        };
        for (const Row& row : rows) {
            flatClicked.clear();
            defaultClicked.clear();
            row.Focus->setFocus();
            QTest::keyClick(row.Focus, row.Key);
            QCOMPARE(flatClicked.count(), row.Flat);
            QCOMPARE(defaultClicked.count(), row.Default);
        }
    }

    void inputBoxNamesItsEntryByThePrompt()
    {
        QtDialogs dialogs;
        QString name;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            auto* entry = box->findChild<TFlatEdit*>();
            QVERIFY(entry != nullptr);
            name = QAccessible::queryAccessibleInterface(entry)->text(QAccessible::Name);
            QTest::keyClick(entry, Qt::Key_Escape);
        });
        QCOMPARE(dialogs.InputBox("Custom Info", "Enter Custom Info", ""), std::nullopt);
        QCOMPARE(name, QString("Enter Custom Info"));
    }

    // Every handler of the windows is connected one way; what it throws ends
    // that handling only, shows in the error box, and the next signal still
    // reaches it.
    void guardedHandlersShowWhatTheyThrowAndTakeTheSignalsArguments()
    {
        TestSupport::ScriptedDialogs dialogs(TestSupport::QtFailure());
        FailingHandlers handlers;
        TFlatCheckBox box("Enable");
        QPushButton button("Go");
        QStringList lambdaSaw;
        GuardedConnect(dialogs, &box, &QCheckBox::toggled, &handlers, &FailingHandlers::Toggled);
        GuardedConnect(dialogs, &button, &QPushButton::clicked, &handlers,
                       &FailingHandlers::Clicked);
        GuardedConnect(dialogs, &box, &QCheckBox::toggled, &handlers, [&](bool checked) {
            lambdaSaw.append(checked ? "on" : "off");
            throw std::runtime_error("Lambda");
        });

        box.setChecked(true);
        button.click();
        box.setChecked(false);
        QCOMPARE(handlers.Seen, (QStringList{"toggled on", "clicked", "toggled off"}));
        QCOMPARE(lambdaSaw, (QStringList{"on", "off"}));
        QCOMPARE(dialogs.Errors,
                 (std::vector<std::string>{"Cannot write 'registry.db'", "Lambda", "No folder",
                                           "Cannot write 'registry.db'", "Lambda"}));
    }

private:
    std::unique_ptr<TestSupport::StoreSandbox> m_sandbox{};
};

QTEST_MAIN(TestFlatWidgets)
#include "FlatWidgetsTest.moc"

#include <memory>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "app/JpegPicture.h"
#include "app/frmNFO.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/StoreSandbox.h"
#include "tests/support/WindowChecks.h"
#include "widgets/FlatWidgets.h"

namespace {

bool Touch(const QString& path)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly);
}

} // namespace

class TestInfo : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSupport::StoreSandbox> m_sandbox;
    std::unique_ptr<TestSupport::ScriptedDialogs> m_dialogs;
    std::unique_ptr<TForm6> m_form;

private slots:

    void init()
    {
        m_sandbox = std::make_unique<TestSupport::StoreSandbox>();
        m_dialogs = std::make_unique<TestSupport::ScriptedDialogs>(TestSupport::QtFailure());
        m_form = std::make_unique<TForm6>(*m_dialogs);
    }

    void cleanup()
    {
        m_form.reset();
        m_dialogs.reset();
        m_sandbox.reset();
    }

    void picturesAndTextsShowWhole()
    {
        QCOMPARE(m_form->windowTitle(), QString("Info"));
        QVERIFY(m_form->width() >= 267 && m_form->height() >= 343);
        QCOMPARE(m_form->Image1->pixmap().size(), QSize(250, 50));
        QCOMPARE(m_form->Image1->size(), QSize(250, 50));
        QCOMPARE(m_form->Image2->pixmap().size(), QSize(180, 75));
        QCOMPARE(m_form->Label1->text(), QString("Sonorix v4.1 - 11.06.2000"));
        QVERIFY(DecodeJpeg(QByteArray("\xFF\xD8 not a picture")).isNull());
        m_form->show();
        QCOMPARE(TestSupport::ClippedCaptions(*m_form), QStringList());
    }

    void onlyOkClosesTheDialog()
    {
        m_form->show();
        QTest::keyClick(m_form.get(), Qt::Key_Escape);
        QVERIFY(m_form->isVisible());
        m_form->close(); // a window manager that closes it anyway
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->result(), int(QDialog::Accepted));
        m_form->show();
        QTest::mouseClick(m_form->FlatButton1, Qt::LeftButton);
        QVERIFY(!m_form->isVisible());
    }

    void linksOpenOnPressWithAnyButton()
    {
        const QString readme = FindReadme(QCoreApplication::applicationDirPath());
        QVERIFY(readme.endsWith("/docs/readme.htm")); // the source tree's, from a build
        std::vector<std::string> expected;
        for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
            for (TURLLabel* link : {m_form->URLLabel1, m_form->URLLabel2, m_form->URLLabel3}) {
                QTest::mousePress(link, button);
                QTest::mouseRelease(link, button);
            }
            expected.insert(expected.end(), {readme.toStdString(), "mailto:sonorix@example.org",
                                             "https://www.example.org/"});
        }
        QCOMPARE(m_dialogs->Opened, expected);
    }

    void linksAndOkAnswerTheKeyboard()
    {
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QCOMPARE(QApplication::focusWidget(), m_form->FlatButton1);

        struct Row
        {
            Qt::Key Key;
            std::string Opened;
        };

        const Row rows[] = {
            {Qt::Key_Return, FindReadme(QCoreApplication::applicationDirPath()).toStdString()},
            {Qt::Key_Space, "mailto:sonorix@example.org"},
            {Qt::Key_Enter, "https://www.example.org/"},
        };
        for (const Row& row : rows) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(qobject_cast<TURLLabel*>(QApplication::focusWidget()) != nullptr);
            QTest::keyClick(QApplication::focusWidget(), row.Key);
            QCOMPARE(m_dialogs->Opened.back(), row.Opened);
        }
        QCOMPARE(m_dialogs->Opened.size(), std::size(rows));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), m_form->FlatButton1);
        QTest::keyClick(m_form->FlatButton1, Qt::Key_Return);
        QVERIFY(!m_form->isVisible());
    }

    void readmeIsFoundInTheWorkingThenTheInstalledFolderElseInTheCache()
    {
        QTemporaryDir root;
        const QString prefix = root.filePath("prefix");
        const QString working = root.filePath("work");
        QVERIFY(QDir().mkpath(prefix + "/bin") && QDir().mkpath(working));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(working));

        // No installed guide (/usr/share/doc left out): the carried one is
        // copied, with its pictures, into the cache, and a stale copy renewed.
        const QString guide =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
            "/sonorix/guide";
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(FindReadme(prefix + "/bin"), guide + "/readme.htm");
            QFile copy(guide + "/readme.htm");
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QVERIFY(copy.readAll().contains("<img src=\"screenshots/main.png\""));
            QVERIFY(!QImage(guide + "/screenshots/main.png").isNull());
            QVERIFY(Touch(guide + "/readme.htm")); // emptied: stale for the next round
        }

        QVERIFY(Touch(prefix + "/share/doc/sonorix/readme.htm"));
        QCOMPARE(FindReadme(prefix + "/bin"), prefix + "/share/doc/sonorix/readme.htm");
        QVERIFY(Touch(working + "/readme.htm"));
        QCOMPARE(FindReadme(prefix + "/bin"), working + "/readme.htm");

        QVERIFY(QDir::setCurrent(previous));
    }
};

QTEST_MAIN(TestInfo)
#include "InfoDialogTest.moc"

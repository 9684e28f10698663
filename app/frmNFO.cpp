#include "app/frmNFO.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QSaveFile>
#include <QShowEvent>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/JpegPicture.h"
#include "widgets/FlatWidgets.h"
#include "widgets/GuardedConnect.h"
#include "widgets/Named.h"
#include "widgets/WindowPlacement.h"

// Outside any namespace, as Qt's resource macro requires; a static library
// would otherwise leave the pictures out of the program.
static void InitInfoPictures() { Q_INIT_RESOURCE(InfoPictures); }

namespace {

// The design size of the window's client area; the texts may need more.
constexpr int kDesignWidth = 267;
constexpr int kDesignHeight = 343;

constexpr const char* kReadme = "readme.htm";

QLabel* Text(QWidget* parent, const char* name, const char* text)
{
    auto* label = Named<QLabel>(parent, name, text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* Picture(QWidget* parent, const char* name, const QString& resource)
{
    auto* label = Named<QLabel>(parent, name);
    QFile file(resource);
    const QImage image = file.open(QIODevice::ReadOnly) ? DecodeJpeg(file.readAll()) : QImage();
    label->setPixmap(QPixmap::fromImage(image));
    label->setFixedSize(image.size()); // the control takes the picture's size
    return label;
}

bool IsFile(const QString& path) { return QFileInfo(path).isFile(); }

// The folder holds the other, as a path: a folder is inside itself.
bool Inside(const QString& folder, const QString& path)
{
    const QString outer = QDir(folder).canonicalPath();
    const QString inner = QDir(path).canonicalPath();
    return !outer.isEmpty() && (inner == outer || inner.startsWith(outer + '/'));
}

// Writes the guide the program carries into the user's cache folder and
// returns its read-me; a file already as carried is left alone, so a reader
// that has it open never sees it change. Empty when a file cannot be written.
QString CachedGuide()
{
    InitInfoPictures();
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        return {};
    }
    const QString folder = cache + "/sonorix/guide";
    QDirIterator carried(":/guide", QDir::Files, QDirIterator::Subdirectories);
    while (carried.hasNext()) {
        const QString resource = carried.next();
        const QString target = folder + resource.mid(QStringLiteral(":/guide").size());
        QFile source(resource);
        if (!source.open(QIODevice::ReadOnly)) {
            return {};
        }
        const QByteArray bytes = source.readAll();
        QFile existing(target);
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes) {
            continue;
        }
        QSaveFile copy(target);
        if (!QDir().mkpath(QFileInfo(target).path()) || !copy.open(QIODevice::WriteOnly) ||
            copy.write(bytes) != bytes.size() || !copy.commit()) {
            return {};
        }
    }
    const QString readme = folder + '/' + kReadme;
    return IsFile(readme) ? readme : QString();
}

} // namespace

QString FindReadme(const QString& programFolder)
{
    const QString working = QDir::current().absoluteFilePath(kReadme);
    if (IsFile(working)) {
        return working;
    }
    const QString installed =
        QDir::cleanPath(programFolder + "/../share/doc/sonorix/" + QString(kReadme));
    if (IsFile(installed)) {
        return installed;
    }
    if (Inside(SONORIX_BUILD_DIR, programFolder) && IsFile(SONORIX_SOURCE_README)) {
        return QDir::cleanPath(SONORIX_SOURCE_README);
    }
    return CachedGuide();
}

TForm6::TForm6(Dialogs& dialogs, QWidget* parent) : QDialog(parent), m_dialogs(dialogs)
{
    InitInfoPictures();
    setObjectName("TForm6");
    setWindowTitle("Info");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    CreateControls();
    BuildLayout();
    GuardedConnect(m_dialogs, FlatButton1, &QPushButton::clicked, this, &TForm6::FlatButton1Click);
    FixWindowSize(*this, kDesignWidth, kDesignHeight);
}

void TForm6::CreateControls()
{
    Image1 = Picture(this, "Image1", ":/info/banner.jpg");
    FlatPanel1 = Named<TFlatPanel>(this, "FlatPanel1");
    Label1 = Text(FlatPanel1, "Label1", "Sonorix v4.1 - 11.06.2000");
    Label2 = Text(FlatPanel1, "Label2", "Written by Dana Field - (c) 2000 Brightfold");
    Label6 = Text(FlatPanel1, "Label6", "Based on Sonorix 2.0 - (c) 1998 Brightfold");
    Label3 = Text(FlatPanel1, "Label3", "Thanks to Robin Sample and");
    Label4 = Text(FlatPanel1, "Label4", "Kai Example");
    Label5 = Text(FlatPanel1, "Label5", "For further information refer to");
    URLLabel1 = Named<TURLLabel>(FlatPanel1, "URLLabel1", m_dialogs, kReadme);
    URLLabel1->SetURL(kReadme);
    URLLabel1->SetTargetResolver(
        [](const QString&) { return FindReadme(QCoreApplication::applicationDirPath()); });
    URLLabel2 = Named<TURLLabel>(FlatPanel1, "URLLabel2", m_dialogs, "sonorix@example.org");
    URLLabel2->SetURL("mailto:sonorix@example.org");
    URLLabel3 = Named<TURLLabel>(FlatPanel1, "URLLabel3", m_dialogs, "www.example.org");
    URLLabel3->SetURL("https://www.example.org/");
    Image2 = Picture(this, "Image2", ":/info/levels.jpg");
    FlatButton1 = Named<TFlatButton>(this, "FlatButton1", "&OK");
    FlatButton1->setMinimumWidth(64);
    FlatButton1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

void TForm6::BuildLayout()
{
    // The lines are centred in the panel, in groups as the design spaces them.
    auto* texts = new QVBoxLayout(FlatPanel1);
    texts->setContentsMargins(8, 12, 8, 12);
    texts->setSpacing(0);
    auto centred = [texts](QWidget* line) { texts->addWidget(line, 0, Qt::AlignHCenter); };
    centred(Label1);
    centred(Label2);
    texts->addSpacing(8);
    centred(Label6);
    centred(Label3);
    centred(Label4);
    texts->addSpacing(6);
    auto* readme = new QHBoxLayout;
    readme->setSpacing(4);
    readme->addStretch(1);
    readme->addWidget(Label5);
    readme->addWidget(URLLabel1);
    readme->addStretch(1);
    texts->addLayout(readme);
    texts->addStretch(1);
    centred(URLLabel2);
    centred(URLLabel3);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    bottom->addWidget(Image2);
    bottom->addWidget(FlatButton1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(Image1, 0, Qt::AlignHCenter);
    layout->addWidget(FlatPanel1, 1);
    layout->addLayout(bottom);
    FlatPanel1->setMinimumSize(250, 190);
}

void TForm6::FlatButton1Click() { accept(); }

void TForm6::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CenterOnScreen(*this);
        // The links take the focus by Tab; the dialog opens on its OK, so
        // that Enter closes it.
        FlatButton1->setFocus();
    }
}

void TForm6::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept(); // only "&OK" closes the dialog
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm6::closeEvent(QCloseEvent* event)
{
    // A window manager that closes the window anyway gets what "&OK" does.
    event->accept();
    accept();
}

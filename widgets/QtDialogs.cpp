#include "widgets/QtDialogs.h"

#include <stdexcept>

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "widgets/FlatWidgets.h"
#include "widgets/QtConvert.h"

namespace {

// A message box that shows its text as plain text: a tag or file name must
// never be rendered as markup.
int ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
            bool question)
{
    // A line break is shown once, however it is written ("\n\r" in the
    // first-start question would otherwise show an empty line).
    QString shown = text;
    shown.replace("\n\r", "\n").replace("\r\n", "\n").replace('\r', '\n');
    QMessageBox box(icon, caption, shown, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    if (!question) {
        box.setDefaultButton(box.addButton(Dialogs::kOkButton, QMessageBox::AcceptRole));
        box.exec();
        return 1;
    }
    QPushButton* yes = box.addButton(Dialogs::kYesButton, QMessageBox::YesRole);
    QPushButton* no = box.addButton(Dialogs::kNoButton, QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no); // Esc and the close box answer No
    box.exec();
    return box.clickedButton() == yes ? 1 : 0;
}

} // namespace

QWidget* QtDialogs::Parent() const
{
    if (m_parent) {
        return m_parent;
    }
    return QApplication::activeWindow();
}

void QtDialogs::ShowInformation(const std::string& text)
{
    ShowBox(Parent(), QMessageBox::Information, kInformationCaption, Q(text), false);
}

bool QtDialogs::Confirm(const std::string& text)
{
    return ShowBox(Parent(), QMessageBox::Question, QString::fromUtf8(kConfirmationCaption),
                   Q(text), true) == 1;
}

std::optional<std::string> QtDialogs::InputBox(const std::string& caption,
                                               const std::string& prompt,
                                               const std::string& initial)
{
    QDialog box(Parent());
    box.setWindowTitle(Q(caption));
    auto* layout = new QVBoxLayout(&box);
    auto* label = new QLabel(Q(prompt), &box);
    label->setTextFormat(Qt::PlainText);
    auto* entry = new TFlatEdit(&box);
    entry->setText(Q(initial));
    entry->setAccessibleName(Q(prompt));
    entry->setMinimumWidth(240);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(entry);
    layout->addWidget(buttons);
    if (box.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return entry->text().toStdString();
}

std::optional<std::string> QtDialogs::BrowseFolder(const std::string& title,
                                                   const std::string& startFolder)
{
    QFileDialog dialog(Parent(), Q(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (!startFolder.empty() && QFileInfo(Q(startFolder)).isDir()) {
        dialog.setDirectory(Q(startFolder));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtDialogs::SaveFile(const SaveFileRequest& request)
{
    QFileDialog dialog(Parent());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!request.DefaultExtension.empty()) {
        dialog.setDefaultSuffix(Q(request.DefaultExtension));
        dialog.setNameFilter(Q(request.FilterCaption) + " (*." + Q(request.DefaultExtension) + ")");
    }
    if (!request.InitialFolder.empty()) {
        dialog.setDirectory(Q(request.InitialFolder));
    }
    if (!request.FileName.empty()) {
        dialog.selectFile(Q(request.FileName));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::int32_t> QtDialogs::PickColor(std::int32_t colour)
{
    const QColor chosen = QColorDialog::getColor(ColorFromBgr(colour), Parent(), QString(),
                                                 QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return BgrFromColor(chosen);
}

std::optional<std::string> QtDialogs::PickFont(const std::string& faceName)
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, QFont(Q(faceName)), Parent(), QString(),
                                              QFontDialog::DontUseNativeDialog);
    if (!ok) {
        return std::nullopt;
    }
    // Only the face counts; fontconfig may add " [foundry]".
    QString family = chosen.family();
    const qsizetype bracket = family.indexOf(" [");
    if (bracket > 0) {
        family.truncate(bracket);
    }
    return family.toStdString();
}

void QtDialogs::OpenTarget(const std::string& target)
{
    const QString text = Q(target);
    const QUrl url = QFileInfo::exists(text) ? QUrl::fromLocalFile(text) : QUrl(text);
    // Without a program for it the desktop opens nothing: say so rather
    // than leave the click unanswered.
    if (!QDesktopServices::openUrl(url)) {
        throw std::runtime_error("Cannot open '" + target + "': no program for it is installed");
    }
}

void QtDialogs::ShowError(const std::string& text)
{
    ShowBox(Parent(), QMessageBox::Critical, kErrorCaption, Q(text), false);
}

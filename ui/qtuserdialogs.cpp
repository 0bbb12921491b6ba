// SPDX-License-Identifier: MIT
#include "qtuserdialogs.h"

#include "texts.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace trackfold {

QString QtUserDialogs::chooseFile(QWidget *owner, const FileRequest &request)
{
    QFileDialog dialog(owner, request.title);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(request.filter);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);

    // Start in the given folder, else in the folder of the preselected file.
    if (!request.initialFolder.isEmpty())
        dialog.setDirectory(request.initialFolder);
    else if (!request.initialFile.isEmpty())
        dialog.setDirectory(QFileInfo(request.initialFile).absolutePath());
    if (!request.initialFile.isEmpty())
        dialog.selectFile(QFileInfo(request.initialFile).fileName());

    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void QtUserDialogs::showMessage(
    QWidget *owner, MessageIcon icon, const QString &title, const QString &text)
{
    QMessageBox::Icon boxIcon = QMessageBox::Warning;
    switch (icon) {
    case MessageIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case MessageIcon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Critical:
        boxIcon = QMessageBox::Critical;
        break;
    }
    // The texts keep the file format's CRLF line ends; a label wants plain LF.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QString caption = title.isEmpty() ? QString::fromUtf8(texts::AppName) : title;

    QMessageBox box(boxIcon, caption, shown, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    // The busy pointer of a running conversion must not hide the OK button's meaning.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
}

} // namespace trackfold

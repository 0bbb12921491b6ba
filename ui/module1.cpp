// SPDX-License-Identifier: MIT
#include "module1.h"

#include "report.h"
#include "userdialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace trackfold {

QString DirDocumenti;

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

void DocumentsFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    folder = QDir::cleanPath(folder);
    // cleanPath keeps the root's single '/', which would double up in "/Trackfold/...".
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    DirDocumenti = folder;
}

QString FileNameOf(const QString &path)
{
    return QString::fromStdString(FileNameOf(std::string_view(path.toStdString())));
}

QString FileDialog(UserDialogs &dialogs, QWidget *owner, int mode, const QString &title,
    const QString &initialFile, const QString &filter, const QString &initialFolder,
    const QString &defaultExt)
{
    // NUL-separated pairs become Qt's "Description (pattern);;..." form; a
    // description whose pattern is missing is dropped.
    const QStringList parts = filter.split(QChar(0), Qt::SkipEmptyParts);
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << parts.at(i) + QLatin1String(" (") + parts.at(i + 1) + QLatin1Char(')');

    FileRequest request;
    request.save = mode != 1;
    request.title = title;
    request.initialFile = initialFile;
    request.filter = entries.join(QLatin1String(";;"));
    request.initialFolder = initialFolder;
    request.defaultSuffix = defaultExt;
    return dialogs.chooseFile(owner, request);
}

} // namespace trackfold

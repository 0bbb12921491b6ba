// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_MODULE1_H
#define TRACKFOLD_MODULE1_H

#include <QString>

#include <cstdint>

class QWidget;

// The front end's file and dialog utilities.
namespace trackfold {

class UserDialogs;

// The user's documents folder, without a trailing separator; filled by DocumentsFolder().
// Empty when the platform knows no such folder, so the default paths point nowhere.
extern QString DirDocumenti;

// True when path names something that exists and is not a directory. Any failure
// to examine it (empty path, missing folder, no rights) counts as false.
bool FileExists(const QString &path);

// Fills DirDocumenti with the platform's documents folder.
void DocumentsFolder();

// The text after the last '/' or '\'; the whole path when it has neither; "" for
// a path ending in a separator.
QString FileNameOf(const QString &path);

// Shows the open dialog (mode 1) or the save dialog (any other mode) through
// dialogs. filter is a list of description/pattern pairs separated by NUL
// characters ("Midifile\0*.mid\0Tutti i file\0*.*"). Returns the chosen path or
// "" when the user cancels.
QString FileDialog(UserDialogs &dialogs, QWidget *owner, int mode, const QString &title,
    const QString &initialFile, const QString &filter, const QString &initialFolder,
    const QString &defaultExt);

} // namespace trackfold

#endif

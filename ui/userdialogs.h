// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_USERDIALOGS_H
#define TRACKFOLD_USERDIALOGS_H

#include "conversion.h"

#include <QString>

class QWidget;

namespace trackfold {

// What the open (or save) dialog is asked for.
struct FileRequest
{
    bool save = false; // false: an existing file to open
    QString title;
    QString initialFile; // preselected path, may be empty
    QString filter; // Qt filter text: "Midifile (*.mid);;Tutti i file (*.*)"
    QString initialFolder; // empty: the dialog's own choice
    QString defaultSuffix; // appended when the typed name has none
};

// The window's only way to ask the user something or tell them something.
// The real one opens Qt dialogs; tests script the answers and record the messages.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // The chosen path, or "" when the user cancels.
    virtual QString chooseFile(QWidget *owner, const FileRequest &request) = 0;
    // A modal message with one OK button; returns when the user closed it.
    // Lines in text are separated by CRLF. An empty title means the
    // application's name.
    virtual void showMessage(
        QWidget *owner, MessageIcon icon, const QString &title, const QString &text)
        = 0;
};

} // namespace trackfold

#endif

// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_QTUSERDIALOGS_H
#define TRACKFOLD_QTUSERDIALOGS_H

#include "userdialogs.h"

namespace trackfold {

// The real dialogs: QFileDialog and QMessageBox. The only code that opens them.
class QtUserDialogs final : public UserDialogs
{
public:
    QString chooseFile(QWidget *owner, const FileRequest &request) override;
    void showMessage(
        QWidget *owner, MessageIcon icon, const QString &title, const QString &text) override;
};

} // namespace trackfold

#endif

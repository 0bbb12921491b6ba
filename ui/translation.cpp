// SPDX-License-Identifier: MIT
#include "translation.h"

#include "i18n.h"

#include <QCoreApplication>
#include <QTranslator>

namespace trackfold {

bool installTranslation(QCoreApplication &app)
{
    // TRACKFOLD_LANGUAGE, or else gettext by LANGUAGE, LC_ALL, LC_MESSAGES and
    // LANG (ignoring LANGUAGE under C), has chosen the engine's catalogue;
    // QLocale would read the same variables by other rules.
    const QString language = QString::fromStdString(messagesLanguage());
    if (language.isEmpty())
        return false;
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/i18n/trackfold_") + language)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace trackfold

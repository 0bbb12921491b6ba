// SPDX-License-Identifier: MIT
#include "clock.h"
#include "paramstr.h"
#include "qtuserdialogs.h"
#include "texts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(trackfold::texts::AppName));
    QApplication::setApplicationVersion(QString::fromUtf8(trackfold::texts::Version));
    QApplication::setDesktopFileName(QStringLiteral("trackfold"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/trackfold.svg")));

    // A file handed over by the desktop (Open with...) is taken as if browsed to.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converte un midifile multitraccia (formato 1) in un midifile a "
                       "traccia singola (formato 0)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("midifile"), QStringLiteral("Il midifile da convertire (facoltativo)."));
    parser.process(app);

    trackfold::QtUserDialogs dialogs;
    trackfold::MonotonicClock clock;
    trackfold::ParamStr window(dialogs, clock);
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty())
        window.chooseInput(files.first());
    window.show();
    return QApplication::exec();
}

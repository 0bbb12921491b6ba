// SPDX-License-Identifier: MIT
#include "clock.h"
#include "module1.h"
#include "paramstr.h"
#include "qtuserdialogs.h"
#include "texts.h"
#include "translation.h"
#include "uitexts.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

// Exit status for a command line the program does not understand, as trackfold-cli.
constexpr int WrongUsage = 2;

// The desktop entry's name without ".desktop"; the window manager matches the
// window to the entry (and its icon) by it.
constexpr const char *DesktopId = "io.github.trackfold.Trackfold";

// What the command line asked for, read before any window exists.
struct Request
{
    bool exitNow = false;
    int status = 0;
    QString file;
};

// The texts of the command line, in the window's translation.
QString say(const char *text)
{
    return QCoreApplication::translate("main", text);
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Options that QGuiApplication and QApplication take for themselves (see their
// documentation); they are accepted here so that "trackfold -style fusion"
// still reaches them, and listed by --help-all only.
constexpr const char *ToolkitOptionsWithValue[] = { "platform", "platformpluginpath",
    "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle", "display",
    "geometry", "session", "style", "stylesheet", "qmljsdebugger" };
constexpr const char *ToolkitFlags[] = { "reverse", "widgetcount", "nograb", "dograb", "sync" };

void addToolkitOptions(QCommandLineParser &parser)
{
    for (const char *name : ToolkitOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setValueName(say(QT_TRANSLATE_NOOP("main", "valore")));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : ToolkitFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

QString toolkitOptionsHelp()
{
    QString help = QLatin1Char('\n')
        + QCoreApplication::translate(
            "main", "Opzioni di Qt (vedere la documentazione di QApplication):")
        + QLatin1Char('\n');
    const QString value = say(QT_TRANSLATE_NOOP("main", "valore"));
    for (const char *name : ToolkitOptionsWithValue)
        help += QStringLiteral("  -") + QString::fromLatin1(name) + QStringLiteral(" <") + value
            + QStringLiteral(">\n");
    for (const char *name : ToolkitFlags)
        help += QStringLiteral("  -") + QString::fromLatin1(name) + QLatin1Char('\n');
    return help;
}

// The input the window proposes at start: the documents folder followed by the
// default name, built by the same calls as the window's Form_Load.
QString defaultInput()
{
    trackfold::DocumentsFolder();
    return trackfold::DirDocumenti + QString::fromUtf8(trackfold::uitexts::DefaultInput);
}

// Reads the command line on a QCoreApplication, so that --help, --version,
// --default-input and wrong usage are answered without a display.
Request readCommandLine(int argc, char *argv[])
{
    QCoreApplication core(argc, argv);
    trackfold::installTranslation(core);
    QCoreApplication::setApplicationName(QString::fromUtf8(trackfold::texts::AppName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(trackfold::texts::Version));

    QCommandLineParser parser;
    // Qt's toolkit options are single-dash words ("-style fusion").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QCoreApplication::translate("main",
        "Converte un midifile multitraccia (formato 1) in un midifile a "
        "traccia singola (formato 0).\n"
        "Per convertire senza finestra, anche molti file insieme: trackfold-cli."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption defaultInputOption(QStringLiteral("default-input"),
        QCoreApplication::translate(
            "main", "Stampa il percorso del midifile che la finestra propone all'avvio ed esce."));
    parser.addOption(defaultInputOption);
    parser.addPositionalArgument(QCoreApplication::translate("main", "midifile"),
        QCoreApplication::translate("main", "Il midifile da convertire (facoltativo)."),
        QCoreApplication::translate("main", "[midifile]"));
    addToolkitOptions(parser);

    const QString program = QStringLiteral("trackfold");
    const QString tryHelp = QCoreApplication::translate("main", "Per l'aiuto: trackfold --help\n");
    if (!parser.parse(QCoreApplication::arguments())) {
        print(stderr,
            program + QStringLiteral(": ") + parser.errorText() + QLatin1Char('\n') + tryHelp);
        return { true, WrongUsage, {} };
    }
    if (parser.isSet(QStringLiteral("help-all"))) {
        print(stdout, parser.helpText() + toolkitOptionsHelp());
        return { true, EXIT_SUCCESS, {} };
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return { true, EXIT_SUCCESS, {} };
    }
    if (parser.isSet(version)) {
        print(stdout,
            QCoreApplication::applicationName() + QLatin1Char(' ')
                + QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return { true, EXIT_SUCCESS, {} };
    }
    if (parser.isSet(defaultInputOption)) {
        print(stdout, defaultInput() + QLatin1Char('\n'));
        return { true, EXIT_SUCCESS, {} };
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        const QString tooMany
            = QCoreApplication::translate("main", "un solo midifile alla volta (ricevuti %1)");
        print(stderr,
            program + QStringLiteral(": ") + tooMany.arg(files.size()) + QLatin1Char('\n')
                + tryHelp);
        return { true, WrongUsage, {} };
    }
#ifdef Q_OS_LINUX
    // Without a display QApplication aborts with a long message about platform
    // plugins; say plainly what is missing instead.
    if (!parser.isSet(QStringLiteral("platform")) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        print(stderr,
            program + QStringLiteral(": ")
                + QCoreApplication::translate("main",
                    "nessuno schermo disponibile (DISPLAY e WAYLAND_DISPLAY non sono "
                    "impostate); per convertire senza finestra: trackfold-cli")
                + QLatin1Char('\n'));
        return { true, EXIT_FAILURE, {} };
    }
#endif
    return { false, EXIT_SUCCESS, files.isEmpty() ? QString() : files.first() };
}

} // namespace

int main(int argc, char *argv[])
{
    const Request request = readCommandLine(argc, argv);
    if (request.exitNow)
        return request.status;

    QApplication app(argc, argv);
    trackfold::installTranslation(app);
    QApplication::setApplicationName(QString::fromUtf8(trackfold::texts::AppName));
    QApplication::setApplicationVersion(QString::fromUtf8(trackfold::texts::Version));
    QApplication::setDesktopFileName(QString::fromLatin1(DesktopId));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/trackfold.svg")));

    trackfold::QtUserDialogs dialogs;
    trackfold::MonotonicClock clock;
    trackfold::ParamStr window(dialogs, clock);
    // A file handed over by the desktop (Open with...) is taken as if browsed to.
    if (!request.file.isEmpty())
        window.chooseInput(request.file);
    window.show();
    return QApplication::exec();
}

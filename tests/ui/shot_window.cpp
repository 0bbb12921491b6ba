// SPDX-License-Identifier: MIT
// Converts a file in the window on a real display (Xvfb) and saves a screenshot
// of the whole screen: shot_window INPUT.mid OUTPUT.png [ROW [FORMAT]]. ROW, a
// table row to select, shows the selection in the roll; FORMAT 1 splits. Fails
// when the roll stays empty. ROW "during" takes the screenshot while the
// conversion runs, once its progress bar shows a quarter done, and then lets
// it finish. ROW "report" takes it once the table and the report are up,
// before the roll is (a long file's roll comes last).
#include "eventtablemodel.h"
#include "fakes.h"
#include "paramstr.h"
#include "pianorollview.h"
#include "translation.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

#include <cstdio>

using namespace trackfold;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // In the language the program would speak under this environment.
    installTranslation(app);
    if (argc < 3) {
        std::fprintf(stderr, "usage: shot_window INPUT.mid OUTPUT.png [ROW]\n");
        return 2;
    }
    test::TemporaryHome home;
    test::FakeDialogs dialogs;
    MonotonicClock clock;
    ParamStr window(dialogs, clock);
    window.move(0, 0);
    window.resize(1300, 900);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 2;
    // The output goes beside the input, under the name the window proposes.
    const QString input = QString::fromLocal8Bit(argv[1]);
    window.txIN->setText(input);
    window.txOUT->setText(input.left(input.size() - 4) + QStringLiteral("_.mid"));
    if (argc > 4)
        window.cboFORMATO->setCurrentIndex(QString::fromLocal8Bit(argv[4]).toInt());
    if (argc > 3 && QString::fromLocal8Bit(argv[3]) == QLatin1String("during")) {
        QTest::mouseClick(window.cmdCONVERTI, Qt::LeftButton);
        const bool shown = QTest::qWaitFor(
            [&window] {
                return window.progress->value() >= window.progress->maximum() / 4
                    || !window.converting();
            },
            60000);
        const bool saved = shown && window.converting()
            && window.screen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]));
        std::printf("progress %d of %d\n", window.progress->value(), window.progress->maximum());
        QSignalSpy finished(&window, &ParamStr::conversionFinished);
        return saved && (!window.converting() || finished.wait(120000)) ? 0 : 1;
    }
    if (argc > 3 && QString::fromLocal8Bit(argv[3]) == QLatin1String("report")) {
        bool saved = false;
        QObject::connect(&window, &ParamStr::reportShown, [&] {
            QApplication::processEvents();
            saved = window.screen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]));
            std::printf("roll %s\n", window.converting() ? "still building" : "shown");
        });
        return test::clickConvert(window) && saved ? 0 : 1;
    }
    if (!test::clickConvert(window))
        return 3;
    if (argc > 3) {
        // As a click in the roll selects it: anywhere in a long table, whose
        // model holds a window of its rows (the first ones, before any scroll).
        emit window.pianoRoll->rowClicked(
            window.model()->gridRow(QString::fromLocal8Bit(argv[3]).toInt()));
    }
    QTest::qWait(500);
    const bool saved = window.screen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]));
    std::printf("notes %zu, tracks %zu\n", window.pianoRoll->roll().notes().size(),
        window.pianoRoll->roll().tracks().size());
    return saved && dialogs.messages.isEmpty() && !window.pianoRoll->roll().notes().empty() ? 0 : 1;
}

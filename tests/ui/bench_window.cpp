// SPDX-License-Identifier: MIT
// Times the window as a user meets it: opening it, and converting a file
// (a generated one of a million events, or the one given) taking turns with
// trackfold-cli on the same file: from the click to the output file in place
// to the report shown and to the roll shown, the longest the window's thread waited meanwhile,
// and the memory at the peak and once the table is emptied; then the table
// painted and scrolled, and the piano roll: building it alone, and repainting
// it showing the whole piece and zoomed in. Run by hand:
// bench_window [EVENTS | FILE.mid [RUNS]] (default 1000000 events, 3 runs).
#include "clock.h"
#include "eventtablemodel.h"
#include "fakes.h"
#include "paramstr.h"
#include "pianorollview.h"
#include "smfbuilder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

using namespace trackfold;
namespace smf = trackfold::smf;

namespace {

// Sixteen tracks of notes under running status with a controller now and then,
// all on a shared sixteenth-note grid so the merge has many equal times.
std::string millionEventSong(long events)
{
    constexpr int Tracks = 16;
    const long perTrack = events / Tracks;
    std::vector<smf::Track> tracks(Tracks);
    for (int t = 0; t < Tracks; ++t) {
        smf::Track &track = tracks[static_cast<std::size_t>(t)];
        const int channel = t;
        track.event(0, { 0xC0 | channel, t * 5 });
        for (long e = 1; e + 1 < perTrack; e += 2) {
            const int note = 36 + static_cast<int>((e * 7 + t * 3) % 48);
            if (e % 64 == 1)
                track.event(0, { 0xB0 | channel, 7, static_cast<int>(e % 128) });
            track.event(120, { 0x90 | channel, note, 90 });
            track.event(120, { 0x80 | channel, note, 0 });
        }
        track.endOfTrack();
    }
    return smf::file(1, tracks);
}

double ms(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// A line of /proc/self/status in MB ("VmRSS", "VmHWM"), or -1.
double statusMb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(static_cast<int>(std::strlen(key)) + 1)
                       .trimmed()
                       .split(' ')[0]
                       .toDouble()
                / 1024;
    }
    return -1;
}

// The median of repeated repaints of the roll as it is now.
double rollRepaintMs(PianoRollView &roll)
{
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer timer;
        timer.start();
        roll.viewport()->repaint();
        times.push_back(ms(timer));
    }
    std::nth_element(times.begin(), times.begin() + 10, times.end());
    return times[10];
}

void zoomIn(PianoRollView &roll, int steps)
{
    for (int i = 0; i < steps; ++i)
        QTest::keyClick(&roll, Qt::Key_Plus);
}

// One conversion in the window, from the click: when the output file is in
// place, when the report shows, when the roll does, and the longest the window's thread went
// without serving its event loop meanwhile.
struct WindowRun
{
    double fileMs = -1;
    double reportMs = -1;
    double rollMs = -1;
    double longestGapMs = 0;
};

WindowRun convertInWindow(ParamStr &window, const QString &output)
{
    QFile::remove(output);
    WindowRun run;
    QElapsedTimer converting;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        run.longestGapMs = std::max(run.longestGapMs, ms(sinceTick));
        sinceTick.start();
        if (run.fileMs < 0 && QFileInfo::exists(output))
            run.fileMs = ms(converting);
    });
    QSignalSpy finished(&window, &ParamStr::conversionFinished);
    const QMetaObject::Connection reported
        = QObject::connect(&window, &ParamStr::reportShown, [&] { run.reportMs = ms(converting); });
    converting.start();
    sinceTick.start();
    ticker.start();
    QTest::mouseClick(window.cmdCONVERTI, Qt::LeftButton);
    if (window.converting())
        finished.wait(600000);
    run.rollMs = ms(converting);
    QObject::disconnect(reported);
    // The report and the roll are put up on the window's thread, the roll
    // after its last tick: that stretch counts as a wait too.
    run.longestGapMs = std::max(run.longestGapMs, ms(sinceTick));
    if (run.reportMs < 0)
        run.reportMs = run.rollMs;
    if (run.fileMs < 0)
        run.fileMs = run.reportMs;
    // The bytes the table reads are copied aside after the report, on a
    // thread of their own: the command line that follows gets the machine
    // to itself.
    window.waitForOwnCopy();
    return run;
}

// trackfold-cli -q -o OUTPUT INPUT, as a user would run it beside the window.
double convertWithCli(const QString &input, const QString &output)
{
    QFile::remove(output);
    QElapsedTimer timer;
    timer.start();
    QProcess cli;
    cli.start(QStringLiteral(TRACKFOLD_CLI),
        { QStringLiteral("-q"), QStringLiteral("-o"), output, input });
    cli.waitForFinished(-1);
    return ms(timer);
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(),
        values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer startup;
    startup.start();
    QApplication app(argc, argv);
    const double appMs = ms(startup);

    // bench_window [EVENTS | FILE.mid [RUNS]]
    test::TemporaryHome home;
    QString input = home.trackfold() + QStringLiteral("/big.mid");
    const QString argument = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    long events = 1'000'000;
    if (argument.endsWith(QLatin1String(".mid"), Qt::CaseInsensitive)) {
        input = QFileInfo(argument).absoluteFilePath();
        events = -1;
    } else {
        if (!argument.isEmpty())
            events = std::atol(argv[1]);
        test::writeBytes(input, millionEventSong(events));
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString output = home.trackfold() + QStringLiteral("/big_.mid");
    const QString cliOutput = home.trackfold() + QStringLiteral("/big_cli_.mid");

    test::FakeDialogs dialogs;
    MonotonicClock clock;

    QElapsedTimer opening;
    opening.start();
    ParamStr window(dialogs, clock);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 2;
    window.repaint();
    const double openMs = ms(opening);

    window.txIN->setText(input);
    window.txOUT->setText(output);
    QApplication::processEvents();

    // The command line and the window take turns on the same file.
    std::vector<double> cliMs, fileMs, reportMs, rollMs, gapMs;
    for (int i = 0; i < runs; ++i) {
        cliMs.push_back(convertWithCli(input, cliOutput));
        const WindowRun run = convertInWindow(window, output);
        fileMs.push_back(run.fileMs);
        reportMs.push_back(run.reportMs);
        rollMs.push_back(run.rollMs);
        gapMs.push_back(run.longestGapMs);
    }
    const double peakMb = statusMb("VmHWM");
    const double afterMb = statusMb("VmRSS");
    QFile::remove(cliOutput);

    QElapsedTimer converting;
    converting.start();
    window.repaint();
    const double paintedMs = ms(converting);
    // A table of millions of rows scrolls by the bar beside it.
    QScrollBar *bar
        = window.model()->windowed() ? window.barRIGHE : window.GRID->verticalScrollBar();
    bar->setValue(bar->maximum());
    window.GRID->viewport()->repaint();
    const double scrolledMs = ms(converting);

    QElapsedTimer scrolling;
    scrolling.start();
    for (int i = 0; i < 100; ++i) {
        bar->setValue(bar->maximum() / 100 * i);
        window.GRID->viewport()->repaint();
    }
    const double scrollStepMs = ms(scrolling) / 100;

    PianoRollView &roll = *window.pianoRoll;
    const double wholeMs = rollRepaintMs(roll);
    zoomIn(roll, 6);
    const double zoom10Ms = rollRepaintMs(roll);
    zoomIn(roll, 11);
    const double zoom1000Ms = rollRepaintMs(roll);
    QElapsedTimer building;
    building.start();
    roll.rebuild();
    const double buildMs = ms(building);
    const std::size_t levelBytes = roll.roll().bins() * PianoRoll::Pitches;
    const std::size_t notes = roll.roll().notes().size();
    const std::size_t rows = window.model()->rows();
    const int modelRows = window.model()->rowCount();
    const QString report = window.lblStato->text();

    // Choosing the file again empties the table and the roll.
    window.chooseInput(input);
    const double clearedMb = statusMb("VmRSS");

    const double inputMb = static_cast<double>(QFileInfo(input).size()) / (1024 * 1024);
    if (events >= 0)
        std::printf("events in file          %ld\n", events);
    else
        std::printf("file                    %s\n", qPrintable(input));
    std::printf("input size              %.0f MB\n", inputMb);
    std::printf("rows in the table       %zu (%d at a time in the model)\n", rows, modelRows);
    std::printf("report                  %s\n", qPrintable(report));
    std::printf("application start       %.1f ms\n", appMs);
    std::printf("window open             %.1f ms\n", openMs);
    std::printf("medians of %d runs, taking turns:\n", runs);
    std::printf("  trackfold-cli -q -o   %.1f ms\n", median(cliMs));
    std::printf("  click to output file  %.1f ms (%.2fx the command line)\n", median(fileMs),
        median(fileMs) / median(cliMs));
    std::printf("  click to report       %.1f ms (%.2fx)\n", median(reportMs),
        median(reportMs) / median(cliMs));
    std::printf("  click to roll shown   %.1f ms (%.2fx)\n", median(rollMs),
        median(rollMs) / median(cliMs));
    std::printf("  longest wait of the   %.1f ms (worst run %.1f ms)\n", median(gapMs),
        *std::max_element(gapMs.begin(), gapMs.end()));
    std::printf("  window's thread\n");
    std::printf("memory peak             %.0f MB (%.2fx the input)\n", peakMb, peakMb / inputMb);
    std::printf("  after the last run    %.0f MB\n", afterMb);
    std::printf("  table and roll gone   %.0f MB\n", clearedMb);
    std::printf("table painted           %.1f ms\n", paintedMs);
    std::printf("  + scrolled to the end %.1f ms\n", scrolledMs);
    std::printf("one scroll step         %.2f ms\n", scrollStepMs);
    std::printf("roll notes              %zu (%.1f MB, bins %.1f MB)\n", notes,
        static_cast<double>(notes * sizeof(RollNote)) / 1e6, static_cast<double>(levelBytes) / 1e6);
    std::printf("roll area               %d x %d px\n", roll.viewport()->width(),
        roll.viewport()->height());
    std::printf("roll built (alone)      %.1f ms\n", buildMs);
    std::printf("roll repaint, whole     %.2f ms\n", wholeMs);
    std::printf("roll repaint, 11x zoom  %.2f ms\n", zoom10Ms);
    std::printf("roll repaint, 985x zoom %.2f ms\n", zoom1000Ms);
    return dialogs.messages.isEmpty() ? 0 : 1;
}

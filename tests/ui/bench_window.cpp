// SPDX-License-Identifier: MIT
// Times the window as a user meets it: opening it, and converting a file of a
// million events from the click to the report shown and the table painted and
// scrolled to its end; then the piano roll: building it alone, and repainting
// it showing the whole piece and zoomed in. Run by hand: bench_window [events]
// (default 1000000).
#include "clock.h"
#include "eventtablemodel.h"
#include "fakes.h"
#include "paramstr.h"
#include "pianorollview.h"
#include "smfbuilder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>

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

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer startup;
    startup.start();
    QApplication app(argc, argv);
    const double appMs = ms(startup);
    const long events = argc > 1 ? std::atol(argv[1]) : 1'000'000;

    test::TemporaryHome home;
    const QString input = home.trackfold() + QStringLiteral("/big.mid");
    test::writeBytes(input, millionEventSong(events));

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
    window.txOUT->setText(home.trackfold() + QStringLiteral("/big_.mid"));
    QApplication::processEvents();

    QElapsedTimer converting;
    converting.start();
    // Processor time as well: on a shared machine it varies less than the clock.
    const std::clock_t cpuStart = std::clock();
    QTest::mouseClick(window.cmdCONVERTI, Qt::LeftButton);
    const double clickMs = ms(converting);
    const double clickCpuMs = 1e3 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double clickRssMb = statusMb("VmRSS");
    const double clickPeakMb = statusMb("VmHWM");
    window.repaint();
    const double paintedMs = ms(converting);
    window.GRID->scrollToBottom();
    window.GRID->viewport()->repaint();
    const double scrolledMs = ms(converting);

    QElapsedTimer scrolling;
    scrolling.start();
    QScrollBar *bar = window.GRID->verticalScrollBar();
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

    std::printf("events in file          %ld\n", events);
    std::printf("rows in model           %d\n", window.model()->rowCount());
    std::printf("report                  %s\n", qPrintable(window.lblStato->text()));
    std::printf("application start       %.1f ms\n", appMs);
    std::printf("window open             %.1f ms\n", openMs);
    std::printf("click to report         %.1f ms\n", clickMs);
    std::printf("  processor time        %.1f ms\n", clickCpuMs);
    std::printf("  memory then, peak     %.0f MB, %.0f MB\n", clickRssMb, clickPeakMb);
    std::printf("  + table painted       %.1f ms\n", paintedMs);
    std::printf("  + scrolled to the end %.1f ms\n", scrolledMs);
    std::printf("one scroll step         %.2f ms\n", scrollStepMs);
    std::printf("roll notes              %zu (%.1f MB, bins %.1f MB)\n", roll.roll().notes().size(),
        static_cast<double>(roll.roll().notes().size() * sizeof(RollNote)) / 1e6,
        static_cast<double>(levelBytes) / 1e6);
    std::printf("roll area               %d x %d px\n", roll.viewport()->width(),
        roll.viewport()->height());
    std::printf("roll built (alone)      %.1f ms\n", buildMs);
    std::printf("roll repaint, whole     %.2f ms\n", wholeMs);
    std::printf("roll repaint, 11x zoom  %.2f ms\n", zoom10Ms);
    std::printf("roll repaint, 985x zoom %.2f ms\n", zoom1000Ms);
    return dialogs.messages.isEmpty() ? 0 : 1;
}

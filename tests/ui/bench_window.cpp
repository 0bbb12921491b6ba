// SPDX-License-Identifier: MIT
// Times the window as a user meets it: opening it, and converting a file of a
// million events from the click to the report shown and the table painted and
// scrolled to its end. Run by hand: bench_window [events] (default 1000000).
#include "clock.h"
#include "eventtablemodel.h"
#include "fakes.h"
#include "paramstr.h"
#include "smfbuilder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>

#include <cstdio>
#include <cstdlib>

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
    QTest::mouseClick(window.cmdCONVERTI, Qt::LeftButton);
    const double clickMs = ms(converting);
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

    std::printf("events in file          %ld\n", events);
    std::printf("rows in model           %d\n", window.model()->rowCount());
    std::printf("report                  %s\n", qPrintable(window.lblStato->text()));
    std::printf("application start       %.1f ms\n", appMs);
    std::printf("window open             %.1f ms\n", openMs);
    std::printf("click to report         %.1f ms\n", clickMs);
    std::printf("  + table painted       %.1f ms\n", paintedMs);
    std::printf("  + scrolled to the end %.1f ms\n", scrolledMs);
    std::printf("one scroll step         %.2f ms\n", scrollStepMs);
    return dialogs.messages.isEmpty() ? 0 : 1;
}

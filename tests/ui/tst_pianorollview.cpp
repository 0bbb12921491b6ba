// SPDX-License-Identifier: MIT
#include "pianorollview.h"

#include "eventtablemodel.h"
#include "fakes.h"
#include "paramstr.h"
#include "smfbuilder.h"

#include <QHelpEvent>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QToolTip>

using namespace trackfold;
using namespace trackfold::test;
namespace smf = trackfold::smf;

namespace {

// A conductor track without notes; a named piano track of three notes from
// tick 0; an unnamed track of two notes on channel 2, the last near the end.
std::string threeTrackSong()
{
    smf::Track conductor;
    conductor.meta(0, 0x03, "Tempo").meta(0, 0x51, smf::bytes({ 0x07, 0xA1, 0x20 })).endOfTrack();
    smf::Track piano;
    piano.meta(0, 0x03, "Piano");
    for (int n = 0; n < 3; ++n)
        piano.event(0, { 0x90, 60 + n, 80 }).event(480, { 0x80, 60 + n, 0 });
    piano.endOfTrack();
    smf::Track bass;
    bass.event(0, { 0x91, 36, 80 })
        .event(960, { 36, 0 })
        .event(18000, { 43, 80 })
        .event(960, { 43, 0 })
        .endOfTrack();
    return smf::file(1, { conductor, piano, bass });
}

} // namespace

class TestPianoRollView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void conversionFillsTheRollPerTrackAndBrowseEmptiesIt();
    void clickingANoteSelectsItsRow();
    void selectingARowMovesTheRoll();
    void pitchLabelsStayBelowTheRuler();
    void aLongTableScrollsThroughAWindowOfItsRows();

private:
    void convert(const std::string &bytes);

    std::unique_ptr<TemporaryHome> m_home;
    FakeDialogs m_dialogs;
    FakeClock m_clock;
    std::unique_ptr<ParamStr> m_window;
};

void TestPianoRollView::init()
{
    m_home = std::make_unique<TemporaryHome>();
    m_dialogs = FakeDialogs();
    m_window = std::make_unique<ParamStr>(m_dialogs, m_clock);
    m_window->resize(900, 700);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestPianoRollView::cleanup()
{
    m_window.reset();
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestPianoRollView::convert(const std::string &bytes)
{
    const QString input = m_home->trackfold() + QStringLiteral("/song.mid");
    QVERIFY(writeBytes(input, bytes));
    m_window->txIN->setText(input);
    m_window->txOUT->setText(m_home->trackfold() + QStringLiteral("/song_.mid"));
    QVERIFY(test::clickConvert(*m_window));
}

void TestPianoRollView::conversionFillsTheRollPerTrackAndBrowseEmptiesIt()
{
    convert(threeTrackSong());
    const std::vector<RollTrack> &tracks = m_window->pianoRoll->roll().tracks();
    QCOMPARE(tracks.size(), 2u);
    QCOMPARE(tracks[0].number, 2u);
    QCOMPARE(tracks[0].notes, 3u);
    QCOMPARE(tracks[1].number, 3u);
    QCOMPARE(tracks[1].notes, 2u);
    QCOMPARE(m_window->rollLegend->count(), 2);
    QCOMPARE(m_window->rollLegend->item(0)->text(), QStringLiteral("Traccia 2: Piano"));
    QCOMPARE(m_window->rollLegend->item(1)->text(), QStringLiteral("Traccia 3"));

    m_dialogs.answers << m_window->txIN->text();
    QTest::mouseClick(m_window->cmdSFOGLIA, Qt::LeftButton);
    QVERIFY(m_window->pianoRoll->roll().notes().empty());
    QCOMPARE(m_window->rollLegend->count(), 0);

    // A file that fails to convert leaves the roll empty.
    convert(threeTrackSong());
    convert(smf::file(1, { smf::Track().event(0, { 0x90, 60, 64 }).event(0, { 0xF7, 1 }) }));
    QCOMPARE(m_dialogs.takeMessages().size(), 2);
    QVERIFY(m_window->pianoRoll->roll().notes().empty());
}

void TestPianoRollView::clickingANoteSelectsItsRow()
{
    convert(threeTrackSong());
    PianoRollView *roll = m_window->pianoRoll;
    // The bass's first note, held for 960 ticks: wide enough to hit.
    const RollNote &note = roll->roll().notes()[1];
    QCOMPARE(roll->roll().pitch(note), 36);
    const QPoint centre = roll->noteRect(note).center().toPoint();
    QTest::mouseClick(roll->viewport(), Qt::LeftButton, {}, centre);

    const QModelIndex current = m_window->GRID->currentIndex();
    QCOMPARE(m_window->model()->gridRow(current.row()), note.onEvent() + std::size_t { 2 });
    QCOMPARE(current.siblingAtColumn(2).data().toString(), QStringLiteral("912450"));
    QCOMPARE(roll->selectedNote(), 1u);

    // Hovering shows the row's own description.
    QHelpEvent help(QEvent::ToolTip, centre, roll->viewport()->mapToGlobal(centre));
    QApplication::sendEvent(roll->viewport(), &help);
    QCOMPARE(QToolTip::text(), current.siblingAtColumn(2).data(Qt::ToolTipRole).toString());
}

void TestPianoRollView::selectingARowMovesTheRoll()
{
    convert(threeTrackSong());
    PianoRollView *roll = m_window->pianoRoll;
    roll->setFocus();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(roll, Qt::Key_Plus);

    // A row without a note (the tempo, at tick 0) marks its time.
    m_window->GRID->setFocus();
    m_window->GRID->selectRow(1);
    QVERIFY(m_window->GRID->currentIndex().siblingAtColumn(2).data().toString().startsWith("FF51"));
    QCOMPARE(roll->selectedNote(), PianoRoll::NoNote);
    QCOMPARE(roll->firstTick(), 0.0);

    // The Note On of the bass's last note, at tick 19,440, is scrolled into view.
    const std::size_t last = roll->roll().notes().size() - 1;
    const RollNote &note = roll->roll().notes()[last];
    m_window->GRID->selectRow(m_window->model()->modelRow(note.onEvent() + std::size_t { 2 }));
    QCOMPARE(roll->selectedNote(), last);
    QVERIFY(roll->viewport()->rect().contains(roll->noteRect(note).topLeft().toPoint()));

    // The row below, its Note Off, highlights the same note.
    QTest::keyClick(m_window->GRID, Qt::Key_Down);
    QCOMPARE(m_window->model()->gridRow(m_window->GRID->currentIndex().row()),
        roll->roll().offEvent(note) + std::size_t { 2 });
    QCOMPARE(roll->selectedNote(), last);

    // A double click shows the whole piece again.
    QTest::mouseDClick(roll->viewport(), Qt::LeftButton);
    QCOMPARE(roll->firstTick(), 0.0);
    QVERIFY(roll->noteRect(note).right() <= roll->viewport()->width() + 1);
}

void TestPianoRollView::pitchLabelsStayBelowTheRuler()
{
    // Before the first conversion, and after one: the ruler's corner above
    // the keyboard holds no pitch label.
    PianoRollView *roll = m_window->pianoRoll;
    const int ruler = roll->fontMetrics().height() + 4;
    const QRgb window = roll->palette().color(QPalette::Window).rgb();
    for (int converted = 0; converted < 2; ++converted) {
        const QImage image = roll->viewport()->grab().toImage();
        for (int y = 0; y < ruler; ++y) {
            for (int x = 0; x < 40; ++x) // inside the keyboard's width
                QVERIFY2(image.pixel(x, y) == window,
                    qPrintable(QStringLiteral("%1,%2 after %3").arg(x).arg(y).arg(converted)));
        }
        convert(threeTrackSong());
    }
}

void TestPianoRollView::aLongTableScrollsThroughAWindowOfItsRows()
{
    // 1,200 event rows, 64 at a time in the model.
    smf::Track notes;
    for (int n = 0; n < 600; ++n)
        notes.event(0, { 0x90, n % 100, 80 }).event(10, { 0x80, n % 100, 0 });
    EventTableModel &model = *m_window->model();
    model.setWindowRows(64);
    convert(smf::file(1, { notes.endOfTrack() }));
    const EventGrid &grid = m_window->grid();
    QTableView &table = *m_window->GRID;
    QScrollBar &bar = *m_window->barRIGHE;
    QCOMPARE(model.rowCount(), 64);
    QCOMPARE(model.rows(), grid.rows() - 1);
    QVERIFY(bar.isVisibleTo(m_window.get()));
    QCOMPARE(bar.maximum(), static_cast<int>(model.rows()) - bar.pageStep());
    // Whatever the window, a model row shows its own grid row.
    const auto currentGridRow = [&] { return model.gridRow(table.currentIndex().row()); };
    const auto shownRight = [&] {
        const QModelIndex current = table.currentIndex();
        return current.isValid()
            && current.siblingAtColumn(2).data().toString().toStdString()
            == grid.textMatrix(model.gridRow(current.row()), 2)
            && m_window->pianoRoll->selectedNote() != PianoRoll::NoNote;
    };

    // Ctrl+End: the last row of all.
    table.setFocus();
    QTest::keyClick(&table, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(currentGridRow(), grid.rows() - 1); // the last Note Off
    QCOMPARE(bar.value(), bar.maximum());
    QCOMPARE(model.rowCount(), 64);

    // A note clicked in the roll far from the window; then down the rows by
    // keys past several windows, the roll following.
    emit m_window->pianoRoll->rowClicked(EventGrid::rowOfEvent(300));
    QCOMPARE(currentGridRow(), EventGrid::rowOfEvent(300));
    QVERIFY(shownRight());
    for (int i = 0; i < 150; ++i) {
        QTest::keyClick(&table, Qt::Key_Down);
        QCoreApplication::processEvents(); // the window moves between two keys
    }
    QCOMPARE(currentGridRow(), EventGrid::rowOfEvent(450));
    QVERIFY(shownRight());
    QVERIFY(model.windowStart() > 0);

    // Scrolled away by the bar and back: the same row is selected again.
    bar.setValue(0);
    QCOMPARE(model.windowStart(), 0u);
    QCOMPARE(model.gridRow(table.rowAt(0)), std::size_t { 1 });
    QVERIFY(!table.currentIndex().isValid());
    bar.setValue(440);
    QCOMPARE(currentGridRow(), EventGrid::rowOfEvent(450));
}

QTEST_MAIN(TestPianoRollView)
#include "tst_pianorollview.moc"

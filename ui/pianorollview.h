// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_PIANOROLLVIEW_H
#define TRACKFOLD_PIANOROLLVIEW_H

#include "pianoroll.h"

#include <QAbstractScrollArea>
#include <QColor>

#include <cstddef>
#include <cstdint>

namespace trackfold {

class EventGrid;
class EventTableModel;

// The converted file as a piano roll: time left to right, pitch bottom to top
// beside a keyboard strip, each note a bar coloured by its input track. It
// only draws; the notes come from the engine's PianoRoll over the window's grid.
//
// Ctrl+wheel and '+'/'-' zoom time, the wheel scrolls, a double click shows
// the whole piece again. Clicking a note reports its table row; the window
// tells the view which row is selected and the view shows it.
class PianoRollView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    PianoRollView(const EventGrid &grid, const EventTableModel &model, QWidget *parent = nullptr);

    // Builds the roll from the grid the conversion has just filled and fits
    // the whole piece. Throws std::bad_alloc when memory runs out (the roll
    // is then empty).
    void rebuild();
    // Shows a roll built from the grid elsewhere (on a conversion's thread)
    // and fits the whole piece.
    void showRoll(PianoRoll roll);
    // Empties the roll; done before the grid changes.
    void clear();
    // Empties the roll, handing over its notes (to be freed on another thread).
    PianoRoll takeRoll();
    const PianoRoll &roll() const { return m_roll; }

    // Highlights what a grid row holds, its note or else a marker at its time,
    // and scrolls there; a row that holds no event removes the highlight.
    void showGridRow(std::size_t gridRow);
    std::size_t selectedNote() const { return m_selected; }
    void fitAll();

    // Where a note is drawn, in viewport coordinates.
    QRectF noteRect(const RollNote &note) const;
    // The tick at the viewport's left edge of the notes, and the zoom.
    double firstTick() const { return m_first; }
    double ticksPerPixel() const { return m_ticksPerPixel; }

    // The colour of an input track's notes (tracks counted from 1).
    static QColor trackColor(std::size_t track);

signals:
    // A click on a note: the grid row of its Note On.
    void rowClicked(qulonglong gridRow);
    void rollChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    QRect notesArea() const;
    double xOf(double tick) const;
    double yOf(int pitch) const;
    double rowHeight() const;
    std::size_t noteAt(const QPoint &pos) const;
    void zoom(double factor, double anchorX);
    void setFirst(double tick);
    void updateScrollBar();
    void ensureVisible(std::uint64_t tick);
    void drawBackground(QPainter &painter, const QRect &area) const;
    void drawNotes(QPainter &painter, const QRect &area) const;
    void drawKeyboard(QPainter &painter) const;
    void drawRuler(QPainter &painter, const QRect &area) const;

    const EventGrid &m_grid;
    const EventTableModel &m_model;
    PianoRoll m_roll;
    std::vector<QRgb> m_colors; // by PianoRoll::cellOf(track)
    // Whole octaves, C to B, as after clear().
    int m_lowPitch = 36;
    int m_highPitch = 95;
    double m_first = 0;
    double m_ticksPerPixel = 1;
    bool m_fitted = true;
    std::size_t m_selected = PianoRoll::NoNote;
    bool m_markerShown = false;
    std::uint64_t m_marker = 0;
};

} // namespace trackfold

#endif

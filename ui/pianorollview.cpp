// SPDX-License-Identifier: MIT
#include "pianorollview.h"

#include "eventdescription.h"
#include "eventgrid.h"
#include "eventtablemodel.h"
#include "uitexts.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <vector>

namespace trackfold {

namespace {

constexpr int KeyboardWidth = 46;
// Up to this many visible notes are drawn one by one, with outlines; more go
// through a bitmap of one pixel per column and pitch, each pixel written once.
constexpr std::size_t MostNotesDrawnAlone = 4000;
// Dense views are drawn from the roll's bins while a bin is at most this wide.
constexpr double BinnedPixels = 3;
// Ctrl+wheel zooms by this much per notch, '+' and '-' by more.
constexpr double WheelZoom = 1.25;
constexpr double KeyZoom = 1.5;
// The closest zoom shows one tick as this many pixels.
constexpr double MostPixelsPerTick = 64;
// Ruler marks are at least this far apart.
constexpr double RulerSpacing = 90;
// Pointer tolerance when looking for a note, in pixels either side.
constexpr int PickMargin = 2;
constexpr int DrumChannel = 9;

bool isBlackKey(int pitch)
{
    const int step = pitch % 12;
    return step == 1 || step == 3 || step == 6 || step == 8 || step == 10;
}

// The smallest of 1, 2, 5 times a power of ten that is at least ticks.
std::uint64_t rulerStep(double ticks)
{
    std::uint64_t power = 1;
    while (static_cast<double>(power) * 10 <= ticks)
        power *= 10;
    for (const std::uint64_t factor : { 1, 2, 5 }) {
        if (static_cast<double>(factor * power) >= ticks)
            return factor * power;
    }
    return 10 * power;
}

} // namespace

PianoRollView::PianoRollView(const EventGrid &grid, const EventTableModel &model, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_grid(grid)
    , m_model(model)
{
    setAccessibleName(QCoreApplication::translate(uitexts::RollContext, uitexts::RollName));
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setMinimumHeight(fontMetrics().height() * 6);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        m_first = value * m_ticksPerPixel;
        viewport()->update();
    });
}

QColor PianoRollView::trackColor(std::size_t track)
{
    // Hues a golden angle apart, so neighbouring tracks never look alike, and
    // three brightnesses in turn, so tracks whose hues come close still differ.
    // Colours repeat every 255 tracks, as the roll's levels of detail do.
    static constexpr int Values[3] = { 220, 150, 185 };
    const int index = PianoRoll::cellOf(track) - 1;
    const double hue = std::fmod(index * 137.508, 360.0);
    return QColor::fromHsv(static_cast<int>(hue), 200, Values[index % 3]);
}

void PianoRollView::clear()
{
    m_roll.clear();
    m_colors.clear();
    m_selected = PianoRoll::NoNote;
    m_markerShown = false;
    m_lowPitch = 36;
    m_highPitch = 95;
    fitAll();
    emit rollChanged();
}

PianoRoll PianoRollView::takeRoll()
{
    PianoRoll roll = std::move(m_roll);
    clear();
    return roll;
}

void PianoRollView::rebuild()
{
    clear();
    PianoRoll roll;
    roll.build(m_grid);
    showRoll(std::move(roll));
}

void PianoRollView::showRoll(PianoRoll roll)
{
    clear();
    m_roll = std::move(roll);
    m_colors.assign(256, 0);
    for (std::size_t cell = 1; cell < m_colors.size(); ++cell)
        m_colors[cell] = trackColor(cell).rgb();
    if (m_roll.lowestPitch() >= 0) {
        // Whole octaves, C to B, and at least two of them.
        m_lowPitch = m_roll.lowestPitch() / 12 * 12;
        m_highPitch = std::max(m_roll.highestPitch() / 12 * 12 + 11, m_lowPitch + 23);
        m_highPitch = std::min(m_highPitch, PianoRoll::Pitches - 1);
    }
    fitAll();
    emit rollChanged();
}

QRect PianoRollView::notesArea() const
{
    const int ruler = fontMetrics().height() + 4;
    return viewport()->rect().adjusted(KeyboardWidth, ruler, 0, 0);
}

double PianoRollView::rowHeight() const
{
    return static_cast<double>(notesArea().height()) / (m_highPitch - m_lowPitch + 1);
}

double PianoRollView::xOf(double tick) const
{
    return notesArea().left() + (tick - m_first) / m_ticksPerPixel;
}

double PianoRollView::yOf(int pitch) const
{
    return notesArea().top() + (m_highPitch - pitch) * rowHeight();
}

QRectF PianoRollView::noteRect(const RollNote &note) const
{
    const double left = xOf(static_cast<double>(m_roll.start(note)));
    double width = std::max(1.0, xOf(static_cast<double>(m_roll.end(note))) - left);
    // Drums are struck, not held: their length means little.
    if (m_roll.channel(note) == DrumChannel)
        width = std::min(width, std::max(3.0, rowHeight()));
    return QRectF(left, yOf(m_roll.pitch(note)), width, rowHeight());
}

void PianoRollView::fitAll()
{
    m_fitted = true;
    const int width = std::max(1, notesArea().width());
    m_ticksPerPixel = std::max(1.0, static_cast<double>(m_roll.endTime())) / width;
    m_first = 0;
    updateScrollBar();
    viewport()->update();
}

void PianoRollView::updateScrollBar()
{
    const QSignalBlocker blocker(horizontalScrollBar());
    const double content = static_cast<double>(m_roll.endTime()) / m_ticksPerPixel;
    const int width = notesArea().width();
    horizontalScrollBar()->setRange(0, std::max(0, static_cast<int>(std::ceil(content)) - width));
    horizontalScrollBar()->setPageStep(std::max(1, width));
    horizontalScrollBar()->setSingleStep(std::max(1, width / 10));
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(m_first / m_ticksPerPixel)));
}

void PianoRollView::setFirst(double tick)
{
    const double visible = notesArea().width() * m_ticksPerPixel;
    const double last = std::max(0.0, static_cast<double>(m_roll.endTime()) - visible);
    m_first = std::clamp(tick, 0.0, last);
    updateScrollBar();
    viewport()->update();
}

void PianoRollView::zoom(double factor, double anchorX)
{
    const QRect area = notesArea();
    const double offset = std::clamp(anchorX - area.left(), 0.0, static_cast<double>(area.width()));
    const double anchor = m_first + offset * m_ticksPerPixel;
    const double length = std::max(1.0, static_cast<double>(m_roll.endTime()));
    const double whole = length / std::max(1, area.width());
    // The scroll bar counts pixels in an int: the closest zoom keeps the whole
    // piece well inside that.
    const double closest = std::min(whole, std::max(1.0 / MostPixelsPerTick, length / 1e9));
    m_ticksPerPixel = std::clamp(m_ticksPerPixel / factor, closest, whole);
    m_fitted = m_ticksPerPixel >= whole;
    setFirst(anchor - offset * m_ticksPerPixel);
}

void PianoRollView::ensureVisible(std::uint64_t tick)
{
    const double visible = notesArea().width() * m_ticksPerPixel;
    const auto at = static_cast<double>(tick);
    if (at < m_first || at > m_first + visible)
        setFirst(at - visible / 2);
}

void PianoRollView::showGridRow(std::size_t gridRow)
{
    m_selected = PianoRoll::NoNote;
    m_markerShown = false;
    // An empty roll (no conversion yet, or a failed one) marks nothing.
    const bool built = !m_roll.notes().empty() || m_roll.endTime() > 0;
    const std::optional<EventGrid::Row> event
        = built ? m_grid.eventAt(gridRow) : std::optional<EventGrid::Row>();
    if (event) {
        m_selected = m_roll.noteOfEvent(EventGrid::eventOfRow(gridRow));
        if (m_selected != PianoRoll::NoNote) {
            const RollNote &note = m_roll.notes()[m_selected];
            // A long note already in view stays where it is.
            const double visible = notesArea().width() * m_ticksPerPixel;
            if (static_cast<double>(m_roll.end(note)) < m_first
                || static_cast<double>(m_roll.start(note)) > m_first + visible)
                ensureVisible(m_roll.start(note));
        } else {
            m_markerShown = true;
            m_marker = event->time();
            ensureVisible(m_marker);
        }
    }
    viewport()->update();
}

std::size_t PianoRollView::noteAt(const QPoint &pos) const
{
    const QRect area = notesArea();
    if (!area.contains(pos) || m_roll.notes().empty())
        return PianoRoll::NoNote;
    const int pitch = m_highPitch - static_cast<int>((pos.y() - area.top()) / rowHeight());
    const double from = m_first + (pos.x() - PickMargin - area.left()) * m_ticksPerPixel;
    const double to = m_first + (pos.x() + PickMargin - area.left()) * m_ticksPerPixel;
    std::size_t found = PianoRoll::NoNote;
    // The last note drawn is the one on top.
    m_roll.forEachNoteIn(static_cast<std::uint64_t>(std::max(0.0, from)),
        static_cast<std::uint64_t>(std::max(0.0, to)), [&](std::size_t index) {
            if (m_roll.pitch(m_roll.notes()[index]) == pitch)
                found = index;
        });
    return found;
}

void PianoRollView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_fitted)
        fitAll();
    else
        setFirst(m_first);
}

void PianoRollView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const QPoint delta = event->angleDelta();
        const int notches = delta.y() != 0 ? delta.y() : delta.x();
        zoom(std::pow(WheelZoom, notches / 120.0), event->position().x());
        event->accept();
        return;
    }
    // Time is the only way to scroll: the wheel moves along it.
    QCoreApplication::sendEvent(horizontalScrollBar(), event);
}

void PianoRollView::keyPressEvent(QKeyEvent *event)
{
    const double centre = notesArea().center().x();
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(KeyZoom, centre);
        break;
    case Qt::Key_Minus:
        zoom(1 / KeyZoom, centre);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void PianoRollView::mousePressEvent(QMouseEvent *event)
{
    const std::size_t index = event->button() == Qt::LeftButton
        ? noteAt(event->position().toPoint())
        : PianoRoll::NoNote;
    if (index == PianoRoll::NoNote) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_selected = index;
    m_markerShown = false;
    viewport()->update();
    emit rowClicked(EventGrid::rowOfEvent(m_roll.eventOf(m_roll.notes()[index])));
}

void PianoRollView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        fitAll();
}

bool PianoRollView::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QAbstractScrollArea::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const std::size_t index = noteAt(help->pos());
    if (index == PianoRoll::NoNote) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(),
        m_model.toolTip(EventGrid::rowOfEvent(m_roll.eventOf(m_roll.notes()[index]))), viewport());
    return true;
}

void PianoRollView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const QRect area = notesArea();
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    drawBackground(painter, area);
    drawRuler(painter, area);
    painter.setClipRect(area);
    drawNotes(painter, area);

    const QColor mark = palette().color(QPalette::Text);
    if (m_selected != PianoRoll::NoNote) {
        const RollNote &note = m_roll.notes()[m_selected];
        painter.setPen(QPen(mark, 2));
        painter.setBrush(QColor::fromRgb(m_colors[PianoRoll::cellOf(m_roll.track(note))]));
        painter.drawRect(noteRect(note).adjusted(-1, -1, 1, 1));
    }
    painter.setClipping(false);
    // The selected time is marked in the ruler too: a note of one pixel in
    // a dense view is easy to miss.
    const bool marked = m_selected != PianoRoll::NoNote || m_markerShown;
    const double at = m_selected != PianoRoll::NoNote
        ? static_cast<double>(m_roll.start(m_roll.notes()[m_selected]))
        : static_cast<double>(m_marker);
    const double x = xOf(at);
    if (marked && x >= area.left() && x <= area.right()) {
        painter.setPen(QPen(mark, 2));
        painter.drawLine(QPointF(x, 0), QPointF(x, m_markerShown ? area.bottom() : area.top()));
    }
    drawKeyboard(painter);
}

void PianoRollView::drawBackground(QPainter &painter, const QRect &area) const
{
    const double row = rowHeight();
    const QColor blackRow = palette().color(QPalette::AlternateBase);
    const QColor octave = palette().color(QPalette::Mid);
    for (int pitch = m_lowPitch; pitch <= m_highPitch; ++pitch) {
        const double top = yOf(pitch);
        if (isBlackKey(pitch))
            painter.fillRect(QRectF(area.left(), top, area.width(), row), blackRow);
        if (pitch % 12 == 0) {
            painter.setPen(octave);
            painter.drawLine(QPointF(area.left(), top + row), QPointF(area.right(), top + row));
        }
    }
}

void PianoRollView::drawNotes(QPainter &painter, const QRect &area) const
{
    if (m_roll.notes().empty())
        return;
    const double from = m_first;
    const double to = m_first + area.width() * m_ticksPerPixel;
    // A few notes are drawn one by one. More are drawn from the bins once a
    // bin is at most BinnedPixels wide (a note's ends move by less than
    // that), else as a bitmap of the notes.
    const auto first = static_cast<std::uint64_t>(from);
    const auto last = static_cast<std::uint64_t>(to);
    const std::size_t starting
        = m_roll.notesStartingUpTo(last) - (first > 0 ? m_roll.notesStartingUpTo(first - 1) : 0);
    std::vector<std::size_t> visible;
    if (starting <= MostNotesDrawnAlone) {
        m_roll.forEachNoteIn(first, last, [&](std::size_t index) {
            if (visible.size() <= MostNotesDrawnAlone)
                visible.push_back(index);
        });
    }
    const bool alone = starting <= MostNotesDrawnAlone && visible.size() <= MostNotesDrawnAlone;
    const bool binned
        = !alone && m_ticksPerPixel * BinnedPixels >= static_cast<double>(m_roll.binWidth());
    if (alone) {
        for (std::size_t index : visible) {
            const RollNote &note = m_roll.notes()[index];
            const QColor color = QColor::fromRgb(m_colors[PianoRoll::cellOf(m_roll.track(note))]);
            const QRectF r = noteRect(note);
            if (r.width() > 3 && r.height() > 3) {
                painter.setPen(color.darker(160));
                painter.setBrush(color);
                painter.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
            } else {
                painter.fillRect(r, color);
            }
        }
        return;
    }

    // One pixel per column and pitch, scaled to the rows when drawn.
    QImage image(area.width(), m_highPitch - m_lowPitch + 1, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const int width = image.width();
    auto put = [&](int pitch, double left, double right, QRgb color) {
        const int a = std::max(0, static_cast<int>(std::floor(left)));
        const int b = std::min(width - 1, std::max(a, static_cast<int>(std::ceil(right)) - 1));
        if (a >= width || b < 0 || pitch < m_lowPitch || pitch > m_highPitch)
            return;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(m_highPitch - pitch));
        std::fill(line + a, line + b + 1, color);
    };
    if (binned) {
        const auto bin = static_cast<double>(m_roll.binWidth());
        const std::size_t bins = m_roll.bins();
        const auto firstBin = static_cast<std::size_t>(from / bin);
        const std::size_t lastBin = std::min(bins - 1, static_cast<std::size_t>(to / bin));
        // A bin colours the pixels it starts in and covers.
        for (std::size_t b = firstBin; b <= lastBin; ++b) {
            const double left = (static_cast<double>(b) * bin - from) / m_ticksPerPixel;
            const int x = static_cast<int>(std::floor(left));
            const int last = std::min(width - 1,
                std::max(x, static_cast<int>(std::ceil(left + bin / m_ticksPerPixel)) - 1));
            if (last < 0 || x >= width)
                continue;
            for (int pitch = m_lowPitch; pitch <= m_highPitch; ++pitch) {
                if (const std::uint8_t cell = m_roll.cell(pitch, b)) {
                    auto *line = reinterpret_cast<QRgb *>(image.scanLine(m_highPitch - pitch));
                    std::fill(line + std::max(x, 0), line + last + 1, m_colors[cell]);
                }
            }
        }
    } else {
        m_roll.forEachNoteIn(static_cast<std::uint64_t>(from), static_cast<std::uint64_t>(to),
            [&](std::size_t index) {
                const RollNote &note = m_roll.notes()[index];
                const double left
                    = (static_cast<double>(m_roll.start(note)) - from) / m_ticksPerPixel;
                const double right
                    = (static_cast<double>(m_roll.end(note)) - from) / m_ticksPerPixel;
                put(m_roll.pitch(note), left, right,
                    m_colors[PianoRoll::cellOf(m_roll.track(note))]);
            });
    }
    painter.drawImage(QRectF(area), image);
}

void PianoRollView::drawRuler(QPainter &painter, const QRect &area) const
{
    painter.fillRect(
        QRect(0, 0, viewport()->width(), area.top()), palette().color(QPalette::Window));
    const std::uint64_t step = rulerStep(RulerSpacing * m_ticksPerPixel);
    const QColor line = palette().color(QPalette::Midlight);
    const QColor text = palette().color(QPalette::WindowText);
    const double last = m_first + area.width() * m_ticksPerPixel;
    const auto firstMark
        = static_cast<std::uint64_t>(std::ceil(m_first / static_cast<double>(step)));
    for (std::uint64_t tick = firstMark * step; static_cast<double>(tick) <= last; tick += step) {
        const double x = xOf(static_cast<double>(tick));
        painter.setPen(line);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter.setPen(text);
        painter.drawLine(QPointF(x, area.top() - 4), QPointF(x, area.top()));
        const QString label = QString::number(tick);
        if (x + 2 + fontMetrics().horizontalAdvance(label) <= area.right())
            painter.drawText(QPointF(x + 2, fontMetrics().ascent() + 1), label);
    }
}

void PianoRollView::drawKeyboard(QPainter &painter) const
{
    const QRect area = notesArea();
    const QRect keys(0, area.top(), KeyboardWidth, area.height());
    painter.fillRect(QRect(0, 0, KeyboardWidth, area.top()), palette().color(QPalette::Window));
    painter.fillRect(keys, Qt::white);
    const double row = rowHeight();
    const bool labels = 12 * row >= fontMetrics().height();
    for (int pitch = m_lowPitch; pitch <= m_highPitch; ++pitch) {
        const double top = yOf(pitch);
        if (isBlackKey(pitch))
            painter.fillRect(QRectF(0, top, KeyboardWidth * 0.5, row), Qt::black);
        if (pitch % 12 != 0)
            continue;
        painter.setPen(Qt::gray);
        painter.drawLine(QPointF(0, top + row), QPointF(KeyboardWidth, top + row));
        // A label taller than its row reaches up over the keys above it, but
        // never into the ruler.
        const QRectF label(
            0, top + row - fontMetrics().height(), KeyboardWidth - 3, fontMetrics().height());
        if (labels && label.top() >= area.top()) {
            painter.setPen(Qt::black);
            painter.drawText(
                label, Qt::AlignRight | Qt::AlignBottom, QString::fromStdString(noteName(pitch)));
        }
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(KeyboardWidth - 1, area.top(), KeyboardWidth - 1, area.bottom());
}

} // namespace trackfold

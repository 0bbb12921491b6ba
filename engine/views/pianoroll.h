// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_PIANOROLL_H
#define TRACKFOLD_PIANOROLL_H

#include "outputrows.h"
#include "trackreader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trackfold {

class EventGrid;

// One note of the merged event list, 6 bytes: where its Note On is among the
// grid's event rows (EventGrid::events(), grid row 2 being event 0) and how
// many rows later its Note Off comes (PianoRoll::offEvent() reads it). Times,
// pitch, channel and track stay in the grid; PianoRoll reads them from there.
struct RollNote
{
    std::uint16_t onLow = 0;
    std::uint16_t onHigh = 0;
    // PianoRoll::FarOff: the distance did not fit, or the note is never released.
    std::uint16_t offDistance = 0;

    std::uint32_t onEvent() const { return std::uint32_t { onHigh } << 16 | onLow; }
};

// An input track that plays notes.
struct RollTrack
{
    std::size_t number = 0; // the track chunk, counted from 1
    std::string name; // its track name (meta 0x03 at tick 0) as the file holds it, or ""
    std::size_t notes = 0;
};

// The notes of a converted file, for a piano roll. Built from a grid the
// conversion filled; it refers to the grid's rows and must be cleared (or
// built again) before the grid changes.
//
// Besides the notes it keeps a level of detail for views where many notes fall
// on one pixel: for each pitch, which track sounds in each bin of time, in at
// most MaxBins bins of binWidth() ticks (a power of two). A view of any zoom
// coarser than one bin a pixel reads at most that many bins per pitch.
class PianoRoll
{
public:
    static constexpr std::uint32_t Unreleased = 0xFFFFFFFF;
    static constexpr std::uint16_t FarOff = 0xFFFF;
    static constexpr std::size_t NoNote = static_cast<std::size_t>(-1);
    static constexpr int Pitches = 128;
    static constexpr std::size_t MaxBins = 8192;

    // Pairs the grid's Note On and Note Off events in one pass over its rows.
    // A note ends at the first Note Off (or Note On of velocity 0) of its
    // channel and pitch that no earlier note took; one never released ends at
    // End of Track. Throws std::bad_alloc when memory runs out.
    void build(const EventGrid &grid);
    // Empties the roll and gives back its memory.
    void clear();
    // The memory the roll holds, in bytes (its arrays' capacity).
    std::size_t memoryBytes() const;

    // The notes in the order of their Note On.
    std::span<const RollNote> notes() const { return m_notes; }
    std::uint64_t start(const RollNote &note) const { return eventAt(note.onEvent()).time(); }
    std::uint64_t end(const RollNote &note) const
    {
        const std::uint32_t off = offEvent(note);
        return off == Unreleased ? m_endTime : eventAt(off).time();
    }
    // The event row of the note's Note Off; Unreleased when it sounds to End of Track.
    std::uint32_t offEvent(const RollNote &note) const
    {
        return note.offDistance != FarOff ? note.onEvent() + note.offDistance : farOffEvent(note);
    }
    int pitch(const RollNote &note) const
    {
        return static_cast<std::uint8_t>(m_image[dataPos(eventAt(note.onEvent()))]) & 0x7F;
    }
    // 0-15.
    int channel(const RollNote &note) const { return eventAt(note.onEvent()).status & 0x0F; }
    // The input track chunk of the Note On, counted from 1.
    std::size_t track(const RollNote &note) const;
    // A track as the levels of detail hold it, one byte: 1-255, tracks 255
    // apart sharing a value.
    static std::uint8_t cellOf(std::size_t track)
    {
        return static_cast<std::uint8_t>((track - 1) % 255 + 1);
    }
    // The time of End of Track: the length of the piece in ticks.
    std::uint64_t endTime() const { return m_endTime; }
    // The tracks with notes, in file order.
    const std::vector<RollTrack> &tracks() const { return m_tracks; }
    // The range of pitches played; both -1 without notes.
    int lowestPitch() const { return m_lowest; }
    int highestPitch() const { return m_highest; }

    // The note that the grid's event (row minus the rows before the events)
    // starts or ends; NoNote for any other event.
    std::size_t noteOfEvent(std::size_t event) const;
    // The grid's event that starts a note.
    std::size_t eventOf(const RollNote &note) const
    {
        return m_gridEvents.empty() ? note.onEvent() : m_gridEvents[note.onEvent()];
    }
    // How many notes start at or before a time.
    std::size_t notesStartingUpTo(std::uint64_t time) const;
    // Calls visit(index) for each note sounding at some tick of [from, to]
    // (a note of no length counts at its start), in note order.
    template <typename Visit>
    void forEachNoteIn(std::uint64_t from, std::uint64_t to, Visit visit) const
    {
        const std::size_t count = notesStartingUpTo(to);
        for (std::size_t block = 0; block * BlockSize < count; ++block) {
            if (m_blockEnds[block] < from)
                continue;
            const std::size_t last = std::min(count, (block + 1) * BlockSize);
            for (std::size_t i = block * BlockSize; i < last; ++i) {
                if (end(m_notes[i]) >= from)
                    visit(i);
            }
        }
    }

    std::uint64_t binWidth() const { return std::uint64_t { 1 } << m_binShift; }
    std::size_t bins() const { return m_bins.size() / Pitches; }
    // Which track's note sounds in a bin at a pitch: cellOf(its track), or 0
    // when none does.
    std::uint8_t cell(int pitch, std::size_t bin) const
    {
        return m_bins[bin * Pitches + static_cast<std::size_t>(pitch)];
    }

private:
    static constexpr std::size_t BlockSize = 1024;
    // Notes across more bins than this are added to the bins all at once at
    // the end, so that however long the notes, building takes one step per note.
    static constexpr std::uint32_t LongNoteBins = 32;

    struct LongNote
    {
        std::uint32_t first;
        std::uint32_t last;
        std::uint8_t pitch;
        std::uint8_t cell;
    };

    std::uint32_t farOffEvent(const RollNote &note) const;
    // The roll's event (the grid's, or a split's in time order).
    EventRef eventAt(std::size_t event) const
    {
        return m_folded ? m_folded->at(event) : m_events[event];
    }
    std::size_t eventCount() const { return m_folded ? m_folded->size() : m_events.size(); }
    void addLongNotes(const std::vector<LongNote> &notes);

    std::span<const EventRef> m_events;
    // A fold's rows read from its output, in place of m_events.
    const OutputRows *m_folded = nullptr;
    const EventGrid *m_grid = nullptr;
    // A split file's rows come track after track: the roll keeps them in time
    // order, with each one's grid event, output track and the way back.
    std::vector<EventRef> m_ordered;
    std::vector<std::uint32_t> m_gridEvents;
    std::vector<std::uint16_t> m_orderedTracks;
    std::vector<std::uint32_t> m_orderOfGridEvent;
    std::string_view m_image;
    std::span<const std::size_t> m_trackStarts;
    std::uint64_t m_endTime = 0;
    std::vector<RollNote> m_notes;
    // The Note Off rows of the notes whose offDistance is FarOff, by note index.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_farOffs;
    // The latest end among each block of BlockSize notes.
    std::vector<std::uint64_t> m_blockEnds;
    std::vector<RollTrack> m_tracks;
    int m_lowest = -1;
    int m_highest = -1;
    int m_binShift = 0;
    std::vector<std::uint8_t> m_bins; // bin-major: the pitches of bin 0, then of bin 1...
};

// The track name (meta 0x03) among the events at tick 0 of the track chunk
// whose events start at begin, reading no further than end; "" when none.
std::string trackNameAt(std::string_view image, std::size_t begin, std::size_t end);

} // namespace trackfold

#endif

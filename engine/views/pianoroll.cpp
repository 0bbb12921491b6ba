// SPDX-License-Identifier: MIT
#include "pianoroll.h"

#include "eventgrid.h"
#include "fileio.h"
#include "midievent.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace trackfold {

namespace {

// Tens of millions of notes: every byte of a note counts.
static_assert(sizeof(RollNote) == 6);

// A track name is the first thing a track says; a track that goes on at tick
// 0 for longer than this has none worth looking for.
constexpr int MaxEventsAtStart = 1000;

} // namespace

void PianoRoll::clear()
{
    // Moved out, not assigned: assigning an empty vector keeps the old one's
    // memory, some hundreds of megabytes for a long file's notes.
    (void)std::exchange(*this, PianoRoll());
}

std::size_t PianoRoll::memoryBytes() const
{
    auto bytes = [](const auto &array) { return array.capacity() * sizeof(array[0]); };
    return bytes(m_ordered) + bytes(m_gridEvents) + bytes(m_orderedTracks)
        + bytes(m_orderOfGridEvent) + bytes(m_notes) + bytes(m_farOffs) + bytes(m_blockEnds)
        + bytes(m_tracks) + bytes(m_bins);
}

void PianoRoll::build(const EventGrid &grid)
{
    clear();
    m_grid = &grid;
    m_events = grid.events();
    if (grid.readsOutput())
        m_folded = &grid.outputRows();
    m_image = grid.image();
    const std::vector<std::size_t> &trackStarts = grid.trackStarts();
    m_trackStarts = trackStarts;
    const std::vector<std::string> &outputTracks = grid.outputTrackNames();
    const bool split = !outputTracks.empty();
    if (split) {
        // Time order, ties in output track order: how a player plays the file.
        const std::span<const EventRef> rows = m_events;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!EventGrid::isChunkRow(rows[i]))
                m_gridEvents.push_back(static_cast<std::uint32_t>(i));
        }
        std::stable_sort(m_gridEvents.begin(), m_gridEvents.end(),
            [&rows](std::uint32_t a, std::uint32_t b) { return rows[a].time() < rows[b].time(); });
        m_orderOfGridEvent.assign(rows.size(), UINT32_MAX);
        m_ordered.reserve(m_gridEvents.size());
        m_orderedTracks.reserve(m_gridEvents.size());
        for (const std::uint32_t event : m_gridEvents) {
            m_orderOfGridEvent[event] = static_cast<std::uint32_t>(m_ordered.size());
            m_ordered.push_back(rows[event]);
            m_orderedTracks.push_back(
                static_cast<std::uint16_t>(grid.trackOf(EventGrid::rowOfEvent(event))));
        }
        m_events = m_ordered;
    }
    // Events never lie past End of Track; the check keeps a grid without one usable.
    const std::size_t events = eventCount();
    m_endTime = std::max(grid.endTime(), events == 0 ? 0 : eventAt(events - 1).time());

    // No more notes than events: reserving that much keeps the one big array
    // from being copied as it grows, and costs no memory until notes fill it
    // (the pages of a large allocation are only backed once written).
    m_notes.reserve(events);
    adviseHugePages(m_notes.data(), m_notes.capacity() * sizeof(RollNote));
    m_blockEnds.assign(events / BlockSize + 1, 0);

    // Bins a power of two wide: a shift finds a tick's bin.
    while ((m_endTime >> m_binShift) >= MaxBins)
        ++m_binShift;
    const std::size_t bins = static_cast<std::size_t>(m_endTime >> m_binShift) + 1;
    m_bins.assign(bins * Pitches, 0);
    std::vector<std::size_t> perTrack((split ? outputTracks.size() : trackStarts.size()) + 1, 0);
    std::vector<LongNote> longNotes;

    // Merged events often come in runs from one track: the last track found
    // is tried before a search.
    std::size_t lastTrack = 0;
    std::size_t trackBegin = 1;
    std::size_t trackEnd = 0;
    auto trackOf = [&](std::size_t ref) {
        if (ref < trackBegin || ref >= trackEnd) {
            lastTrack = trackAt(trackStarts, ref);
            trackBegin = lastTrack > 0 ? trackStarts[lastTrack - 1] : 0;
            trackEnd = lastTrack < trackStarts.size() ? trackStarts[lastTrack] : SIZE_MAX;
        }
        return lastTrack;
    };
    auto trackOfEvent = [&](std::size_t event) {
        if (split)
            return std::size_t { m_orderedTracks[event] };
        return m_folded ? grid.trackOfEvent(event) : trackOf(m_events[event].ref);
    };

    // A note waiting for its Note Off, with the time of its Note On: rows read
    // from the output are not looked up again.
    struct Waiting
    {
        std::uint32_t note;
        std::uint32_t timeLow;
        std::uint32_t timeHigh;
        std::uint64_t time() const { return std::uint64_t { timeHigh } << 32 | timeLow; }
    };
    auto finish = [&](const Waiting &waiting, std::uint32_t offEvent, std::uint64_t offTime,
                      std::uint8_t pitch) {
        const std::uint32_t index = waiting.note;
        RollNote &note = m_notes[index];
        const std::uint8_t cell = cellOf(trackOfEvent(note.onEvent()));
        const std::uint32_t distance = offEvent - note.onEvent();
        if (offEvent != Unreleased && distance < FarOff) {
            note.offDistance = static_cast<std::uint16_t>(distance);
        } else {
            note.offDistance = FarOff;
            m_farOffs.emplace_back(index, offEvent);
        }
        const std::uint64_t from = waiting.time();
        const std::uint64_t to = offEvent == Unreleased ? m_endTime : offTime;
        // A note covers the ticks up to its Note Off, not the tick of it.
        const auto first = static_cast<std::uint32_t>(from >> m_binShift);
        const auto last = static_cast<std::uint32_t>((to > from ? to - 1 : from) >> m_binShift);
        if (last - first < LongNoteBins) {
            for (std::size_t bin = first; bin <= last; ++bin)
                m_bins[bin * Pitches + pitch] = cell;
        } else {
            longNotes.push_back({ first, last, pitch, cell });
        }
        std::uint64_t &blockEnd = m_blockEnds[index / BlockSize];
        blockEnd = std::max(blockEnd, to);
    };

    // The notes waiting for their Note Off, one queue per channel and pitch,
    // oldest first from its head.
    std::vector<std::vector<Waiting>> waiting(16 * Pitches);
    std::vector<std::size_t> head(16 * Pitches, 0);

    const auto *bytes = reinterpret_cast<const std::uint8_t *>(m_image.data());
    auto visit = [&](std::size_t i, const EventRef &event) {
        const std::uint8_t kind = event.status & 0xF0;
        if (kind != 0x80 && kind != 0x90)
            return;
        // The reader has checked that both data bytes are there.
        const std::uint8_t *data = bytes + dataPos(event);
        const std::uint8_t pitch = data[0] & 0x7F;
        const std::size_t queue = static_cast<std::size_t>(event.status & 0x0F) * Pitches + pitch;
        std::vector<Waiting> &notes = waiting[queue];
        if (kind == 0x90 && data[1] != 0) {
            ++perTrack[trackOfEvent(i)];
            notes.push_back(
                { static_cast<std::uint32_t>(m_notes.size()), event.timeLow, event.timeHigh });
            const auto on = static_cast<std::uint32_t>(i);
            m_notes.push_back(
                { static_cast<std::uint16_t>(on), static_cast<std::uint16_t>(on >> 16), FarOff });
            m_lowest = m_lowest < 0 ? pitch : std::min<int>(m_lowest, pitch);
            m_highest = std::max<int>(m_highest, pitch);
        } else if (head[queue] < notes.size()) {
            // A Note Off with no note waiting changes nothing.
            finish(notes[head[queue]++], static_cast<std::uint32_t>(i), event.time(), pitch);
            // A queue that never empties (a note held while others come and
            // go) drops the notes it has ended now and then.
            if (head[queue] == notes.size()
                || (head[queue] > 1024 && head[queue] * 2 > notes.size())) {
                notes.erase(
                    notes.begin(), notes.begin() + static_cast<std::ptrdiff_t>(head[queue]));
                head[queue] = 0;
            }
        }
    };
    if (m_folded) {
        m_folded->forEach(0, visit);
    } else {
        for (std::size_t i = 0; i < m_events.size(); ++i)
            visit(i, m_events[i]);
    }
    for (std::size_t queue = 0; queue < waiting.size(); ++queue) {
        for (std::size_t k = head[queue]; k < waiting[queue].size(); ++k)
            finish(waiting[queue][k], Unreleased, 0, static_cast<std::uint8_t>(queue % Pitches));
    }
    std::sort(m_farOffs.begin(), m_farOffs.end());

    addLongNotes(longNotes);

    for (std::size_t track = 1; track < perTrack.size(); ++track) {
        if (perTrack[track] == 0)
            continue;
        if (split) {
            m_tracks.push_back({ track, outputTracks[track - 1], perTrack[track] });
            continue;
        }
        m_tracks.push_back({ track, grid.inputTrackName(track), perTrack[track] });
    }
}

void PianoRoll::addLongNotes(const std::vector<LongNote> &notes)
{
    if (notes.empty())
        return;
    const std::size_t bins = this->bins();
    // Per bin and pitch, how many long notes start there less how many ended
    // in the bin before: summed along the bins, the long notes sounding in
    // each. A bin shows the track of the last one started, unless a short
    // note has already put its own track there.
    std::vector<std::int32_t> sounding((bins + 1) * Pitches, 0);
    std::vector<std::uint8_t> started(bins * Pitches, 0);
    for (const LongNote &note : notes) {
        ++sounding[note.first * Pitches + note.pitch];
        --sounding[(note.last + std::size_t { 1 }) * Pitches + note.pitch];
        started[note.first * Pitches + note.pitch] = note.cell;
    }
    std::array<std::int32_t, Pitches> count {};
    std::array<std::uint8_t, Pitches> track {};
    for (std::size_t bin = 0; bin < bins; ++bin) {
        for (std::size_t pitch = 0; pitch < Pitches; ++pitch) {
            const std::size_t cell = bin * Pitches + pitch;
            count[pitch] += sounding[cell];
            if (started[cell] != 0)
                track[pitch] = started[cell];
            if (count[pitch] > 0 && m_bins[cell] == 0)
                m_bins[cell] = track[pitch];
        }
    }
}

std::uint32_t PianoRoll::farOffEvent(const RollNote &note) const
{
    const auto index = static_cast<std::uint32_t>(&note - m_notes.data());
    const auto found = std::lower_bound(
        m_farOffs.begin(), m_farOffs.end(), std::pair<std::uint32_t, std::uint32_t> { index, 0 });
    return found != m_farOffs.end() && found->first == index ? found->second : Unreleased;
}

std::size_t PianoRoll::track(const RollNote &note) const
{
    if (!m_orderedTracks.empty())
        return m_orderedTracks[note.onEvent()];
    if (m_folded)
        return m_grid->trackOfEvent(note.onEvent());
    return trackAt(m_trackStarts, m_events[note.onEvent()].ref);
}

std::size_t PianoRoll::notesStartingUpTo(std::uint64_t time) const
{
    const auto after = std::partition_point(m_notes.begin(), m_notes.end(),
        [this, time](const RollNote &note) { return start(note) <= time; });
    return static_cast<std::size_t>(after - m_notes.begin());
}

std::size_t PianoRoll::noteOfEvent(std::size_t event) const
{
    if (!m_gridEvents.empty()) {
        if (event >= m_orderOfGridEvent.size() || m_orderOfGridEvent[event] == UINT32_MAX)
            return NoNote;
        event = m_orderOfGridEvent[event];
    }
    if (event >= eventCount())
        return NoNote;
    const EventRef found = eventAt(event);
    const std::uint8_t kind = found.status & 0xF0;
    if (kind != 0x80 && kind != 0x90)
        return NoNote;
    const auto onOrAfter = std::partition_point(m_notes.begin(), m_notes.end(),
        [event](const RollNote &note) { return note.onEvent() < event; });
    if (onOrAfter != m_notes.end() && onOrAfter->onEvent() == event)
        return static_cast<std::size_t>(onOrAfter - m_notes.begin());

    // The note this event ends started before it and has not ended before it;
    // blocks of notes that all ended earlier are passed over whole.
    const std::uint64_t time = found.time();
    auto index = static_cast<std::size_t>(onOrAfter - m_notes.begin());
    while (index > 0) {
        --index;
        const std::size_t block = index / BlockSize;
        if (m_blockEnds[block] < time) {
            index = block * BlockSize;
            continue;
        }
        if (offEvent(m_notes[index]) == event)
            return index;
    }
    return NoNote;
}

std::string trackNameAt(std::string_view image, std::size_t begin, std::size_t end)
{
    const std::string_view track = image.substr(0, std::min(end, image.size()));
    TrackEventReader reader(track, begin, 0);
    TrackEvent event;
    for (int read = 0; read < MaxEventsAtStart && reader.pos() < track.size(); ++read) {
        if (reader.read(event) != ReadOutcome::Ok || reader.time() > 0 || event.endsTrack())
            break;
        if (event.isMeta(0x03)) {
            Vlq length;
            if (!readVlq(track, event.ref + 2, length))
                break;
            const std::size_t text = event.ref + 2 + static_cast<std::size_t>(length.size);
            return std::string(track.substr(text, event.end - text));
        }
    }
    return {};
}

} // namespace trackfold

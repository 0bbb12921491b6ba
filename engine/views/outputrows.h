// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_OUTPUTROWS_H
#define TRACKFOLD_OUTPUTROWS_H

#include "eventref.h"
#include "imagebytes.h"
#include "midievent.h"
#include "trackreader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trackfold {

// The event rows of a folded file read back from the file's own bytes: the
// output's one track holds every merged event, after its track name and
// before its End of Track. Where each Stride-th event starts (its position,
// running status and the time before it) is all that is kept besides the
// bytes, a quarter of a byte an event; an event is read again from the mark before it.
// References point into the output image, whose bytes it holds.
class OutputRows
{
public:
    static constexpr std::size_t Stride = 64;

    // Takes a Format 0 file as the fold wrote it (output is left empty) and
    // marks its first `events` events after the track name. False, output
    // left as it was and the rows empty, when the file does not hold that
    // many events in its first track.
    bool index(ImageBytes &output, std::size_t events);
    // Takes a folded file (output is left empty) whose `events` events the
    // marks, one every Stride events, already find.
    void adopt(ImageBytes &output, std::vector<Checkpoint> marks, std::size_t events)
    {
        m_image = std::exchange(output, {});
        m_marks = std::move(marks);
        m_size = events;
    }
    // Moved out and freed: assigning an empty string keeps the old one's memory.
    void clear() { (void)std::exchange(*this, OutputRows()); }

    std::size_t size() const { return m_size; }
    std::string_view image() const { return m_image.view(); }
    // Once the views alone read the bytes: see ImageBytes::keepOwnCopy.
    void keepOwnCopy() { m_image.keepOwnCopy(); }
    void waitForOwnCopy() { m_image.waitForCopy(); }
    // The event counted from 0; as the grid's rows hold theirs, but pointing
    // into the output.
    EventRef at(std::size_t event) const;
    // Calls visit(event, ref) for the events in [from, size()) in order.
    template <typename Visit> void forEach(std::size_t from, Visit visit) const
    {
        if (from >= m_size)
            return;
        TrackEventReader reader = readerAt(from / Stride);
        TrackEvent event;
        for (std::size_t i = from / Stride * Stride; i < m_size; ++i) {
            reader.read(event);
            if (i >= from)
                visit(i, refOf(event, reader.time()));
        }
    }

    // The bytes and marks taken out, to be freed elsewhere.
    std::pair<ImageBytes, std::vector<Checkpoint>> take()
    {
        m_size = 0;
        return { std::exchange(m_image, {}), std::exchange(m_marks, {}) };
    }

private:
    TrackEventReader readerAt(std::size_t mark) const
    {
        const Checkpoint &from = m_marks[mark];
        return TrackEventReader(m_image.view(), from.pos, from.status, from.time);
    }
    static EventRef refOf(const TrackEvent &event, std::uint64_t time)
    {
        EventRef ref;
        ref.ref = static_cast<std::uint32_t>(event.ref);
        ref.setTime(time);
        ref.status = event.status;
        ref.impliedStatus = event.impliedStatus;
        return ref;
    }

    ImageBytes m_image;
    std::vector<Checkpoint> m_marks;
    std::size_t m_size = 0;
};

} // namespace trackfold

#endif

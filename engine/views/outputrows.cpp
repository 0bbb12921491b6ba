// SPDX-License-Identifier: MIT
#include "outputrows.h"

namespace trackfold {

namespace {

// The header chunk, then the track chunk's type and length.
constexpr std::size_t FirstEventPos = 14 + 8;

} // namespace

bool OutputRows::index(ImageBytes &output, std::size_t events)
{
    clear();
    const std::string_view image = output.view();
    if (image.size() < FirstEventPos || image.compare(14, 4, "MTrk") != 0)
        return false;
    TrackEventReader reader(image, FirstEventPos, 0);
    TrackEvent event;
    // The track name comes first and is no row.
    if (reader.read(event) != ReadOutcome::Ok || !event.isMeta(0x03))
        return false;
    std::vector<Checkpoint> marks;
    marks.reserve(events / Stride + 1);
    for (std::size_t i = 0; i < events; ++i) {
        if (i % Stride == 0)
            marks.push_back(
                { reader.time(), static_cast<std::uint32_t>(reader.pos()), reader.status() });
        if (reader.read(event) != ReadOutcome::Ok || event.endsTrack())
            return false;
    }
    m_image = std::exchange(output, {});
    m_marks = std::move(marks);
    m_size = events;
    return true;
}

EventRef OutputRows::at(std::size_t event) const
{
    if (event >= m_size)
        return {};
    TrackEventReader reader = readerAt(event / Stride);
    TrackEvent read;
    for (std::size_t i = event / Stride * Stride; i <= event; ++i)
        reader.read(read);
    return refOf(read, reader.time());
}

} // namespace trackfold

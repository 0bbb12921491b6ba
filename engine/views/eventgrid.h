// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_EVENTGRID_H
#define TRACKFOLD_EVENTGRID_H

#include "eventref.h"
#include "outputrows.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trackfold {

// The input track chunk, counted from 1, whose events hold the image index
// ref, given the start of each track chunk in file order; 0 before the first.
inline std::size_t trackAt(std::span<const std::size_t> trackStarts, std::size_t ref)
{
    return static_cast<std::size_t>(
        std::upper_bound(trackStarts.begin(), trackStarts.end(), ref) - trackStarts.begin());
}

// The event grid: the merged event list as a table of text cells. Row 0 holds
// the headings, row 1 the output's header, rows 2 and on one event each, in
// output order; columns are absolute time (eight or more decimal digits), delta
// time to the row above (VLQ hex) and the event bytes (hex text, without the
// status byte where running status leaves it out).
//
// A fold's rows are read from the output itself once it is written (see
// OutputRows), with a byte or two a row for the input track each came from;
// until then, and for a split, each row is kept as a reference into the input
// image the grid owns (12 bytes). Cell texts are produced on demand from the
// row and the row above it.
class EventGrid
{
public:
    using Row = EventRef;

    // The limits of what an event row holds (see eventref.h).
    static constexpr std::uint64_t MaxTime = trackfold::MaxTime;
    static constexpr std::size_t MaxImageSize = trackfold::MaxImageSize;
    static constexpr int Cols = 3;
    // The row of the output's header, after the headings; the events follow.
    static constexpr std::size_t HeaderRow = 1;
    static constexpr std::size_t FirstEventRow = 2;

    // The grid row of an event, counted from 0 among the event rows, and back.
    static constexpr std::size_t rowOfEvent(std::size_t event) { return event + FirstEventRow; }
    static constexpr std::size_t eventOfRow(std::size_t row) { return row - FirstEventRow; }

    // --- The grid's operations -------------------------------------------------

    // Empties every cell, heading row included; the row count stays.
    void clear();
    // Sets the number of rows; new rows are empty, rows past the count are dropped.
    void setRows(std::size_t rows);
    std::size_t rows() const { return m_rowCount; }
    int cols() const { return Cols; }
    // Leading rows that are headings rather than data.
    void setFixedRows(int rows) { m_fixedRows = rows < 0 ? 0 : rows; }
    int fixedRows() const { return m_fixedRows; }
    // Text of one cell; rows and columns counted from 0. Out of range gives "".
    std::string textMatrix(std::size_t row, int col) const;

    // --- Filled by the conversion ----------------------------------------------

    // The two big buffers, the event rows and the image, taken out of the grid
    // (left without them, as clear() would) so that they can be freed
    // elsewhere: after a long file, freeing them takes a good part of a second.
    struct Storage
    {
        std::vector<Row> events;
        std::string image;
        std::pair<ImageBytes, std::vector<Checkpoint>> output;
        std::vector<std::uint8_t> rowTracks;
    };
    Storage takeStorage()
    {
        Storage storage { std::exchange(m_events, {}), std::exchange(m_image, {}), m_folded.take(),
            std::exchange(m_rowTracks, {}) };
        return storage;
    }

    // Starts a conversion: takes the input image that event rows refer to and
    // empties the grid down to its heading row (Clear, then Rows = 1).
    void adoptImage(std::string image);
    // The image the rows refer to: the output, once a fold's rows are read
    // from it, else the input.
    std::string_view image() const { return readsOutput() ? m_folded.image() : m_image; }
    // The start of each track chunk of the image, to tell where a row came from.
    void setTrackStarts(std::vector<std::size_t> starts) { m_trackStarts = std::move(starts); }
    const std::vector<std::size_t> &trackStarts() const { return m_trackStarts; }
    // The time of the output's End of Track, once the conversion has written it.
    void setEndTime(std::uint64_t time) { m_endTime = time; }
    std::uint64_t endTime() const { return m_endTime; }
    // Appends row 1, the output's header as the conversion prepared it.
    void addHeaderRow(std::string_view header);
    // The bytes of row 1; empty while the grid has none.
    std::string_view header() const { return m_header; }
    // Appends an event row.
    void addEvent(const Row &row)
    {
        if (m_tracksOnly)
            addTrackOf(row.ref);
        else
            m_events.push_back(row);
        ++m_rowCount;
    }
    // Room for that many more event rows, taken at once.
    void reserveEvents(std::size_t events);
    // Appends event rows.
    void addEvents(std::span<const Row> rows)
    {
        if (m_tracksOnly) {
            for (const Row &row : rows)
                addTrackOf(row.ref);
        } else {
            m_events.insert(m_events.end(), rows.begin(), rows.end());
        }
        m_rowCount += rows.size();
    }

    // Appends event rows that keep only their input track (counted from 1),
    // while the grid collects tracks only.
    void addTracks(std::span<const std::uint16_t> tracks)
    {
        const std::size_t at = m_rowTracks.size();
        m_rowTracks.resize(at + tracks.size() * static_cast<std::size_t>(m_trackWidth));
        std::uint8_t *out = m_rowTracks.data() + at;
        if (m_trackWidth == 1) {
            for (std::size_t i = 0; i < tracks.size(); ++i)
                out[i] = static_cast<std::uint8_t>(tracks[i]);
        } else {
            for (std::size_t i = 0; i < tracks.size(); ++i) {
                out[2 * i] = static_cast<std::uint8_t>(tracks[i]);
                out[2 * i + 1] = static_cast<std::uint8_t>(tracks[i] >> 8);
            }
        }
        m_rowCount += tracks.size();
    }

    // A fold's rows read back from its output: 12 bytes a row fewer. Set by
    // default; a grid that keeps the rows lets the rows be compared with a
    // fold that reads them back.
    void setKeepRows(bool keep) { m_keepRows = keep; }
    bool keepsRows() const { return m_keepRows; }
    // From now on the rows added keep only their input track (in the scanned
    // image of that size), until readRowsFrom reads them from the output.
    void collectTracksOnly(const TrackScan &scan, std::size_t imageSize)
    {
        m_tracksOnly = true;
        m_stretches.clear();
        m_trackWidth = scan.tracks.size() > 0xFF ? 2 : 1;
        m_finder.emplace(scan, imageSize);
    }
    bool collectsTracksOnly() const { return m_tracksOnly; }
    // Reads the collected rows from the output the fold wrote, which the
    // grid takes (output is left empty), and keeps the names of the tracks
    // of input, the image converted. False, the grid then left without rows
    // and output as it was, when the output does not hold them. An input
    // image the grid holds stays until releaseInput.
    bool readRowsFrom(ImageBytes &output, std::string_view input);
    // The same, with the marks of every OutputRows::Stride-th event found
    // already (readFoldBack).
    bool adoptRows(ImageBytes &output, std::string_view input, std::vector<Checkpoint> marks);
    // Once the conversion is over: the output's bytes that the rows read
    // become the program's own (ImageBytes::keepOwnCopy).
    void keepOwnCopy() { m_folded.keepOwnCopy(); }
    void waitForOwnCopy() { m_folded.waitForOwnCopy(); }
    // Where the writer stood before each stretch of rows it joined, and after
    // the last, for rows read from the output.
    void markStretch(const WriterMark &mark) { m_stretches.push_back(mark); }
    std::span<const WriterMark> stretches() const { return m_stretches; }
    // The rows collected, and their input tracks as FoldInput holds them.
    std::size_t collectedRows() const
    {
        return m_rowTracks.size() / static_cast<std::size_t>(m_trackWidth);
    }
    std::span<const std::uint8_t> rowTrackBytes() const { return m_rowTracks; }
    unsigned trackWidth() const { return static_cast<unsigned>(m_trackWidth); }
    // Frees the input image once nothing reads it; the names of the input's
    // tracks stay.
    void releaseInput();
    // Takes a copy of the input image converted, for rows that refer to it,
    // where the grid does not hold it already; the rest stays.
    void keepImage(std::string_view image)
    {
        if (m_image.empty())
            m_image.assign(image);
    }
    // True once the rows are read from the output.
    bool readsOutput() const { return m_folded.size() > 0; }
    // The name of the input track chunk counted from 1 (its meta 0x03 at
    // tick 0), or "".
    std::string inputTrackName(std::size_t track) const;
    // Appends a row for the chunk header of a further output track (a split
    // file's): its bytes in the data column, 00 in the time columns. The row
    // after it starts the track, at time 0 after the track's name.
    void addChunkRow(std::string_view chunkHeader);
    // A split file's output tracks, track 0 first; empty for a folded one.
    void setOutputTrackNames(std::vector<std::string> names)
    {
        m_outputTrackNames = std::move(names);
    }
    const std::vector<std::string> &outputTrackNames() const { return m_outputTrackNames; }
    // True for an event row that stands for a chunk header.
    static bool isChunkRow(const Row &row) { return row.status == 0; }
    // Fills row 0 with the headings.
    void showHeadings() { m_headings = true; }

    // The event rows kept as such, the first at grid row FirstEventRow;
    // empty once they are read from the output.
    std::span<const Row> events() const { return m_events; }
    // How many event rows there are, however they are kept.
    std::size_t eventCount() const { return readsOutput() ? m_folded.size() : m_events.size(); }
    // The rows read from the output; empty while they are kept as such.
    const OutputRows &outputRows() const { return m_folded; }
    // An event row, counted from 0 among the event rows (below eventCount()).
    Row event(std::size_t event) const
    {
        return readsOutput() ? m_folded.at(event) : m_events[event];
    }
    // The event of a grid row, if it holds one.
    std::optional<Row> eventAt(std::size_t row) const
    {
        if (row < FirstEventRow || eventOfRow(row) >= eventCount())
            return std::nullopt;
        return event(eventOfRow(row));
    }
    // The input track of an event row read from the output, counted from 1.
    std::size_t trackOfEvent(std::size_t event) const
    {
        return rowTrackAt(m_rowTracks, trackWidth(), event);
    }
    // The input track chunk an event row came from, counted from 1 (for a
    // split file: the output track, counted from 1 for track 0); 0 when the
    // row holds no event.
    std::size_t trackOf(std::size_t row) const;

private:
    std::string eventCell(std::size_t row, int col) const;
    std::string trackNameIn(std::string_view input, std::size_t track) const;
    void stopCollecting(std::string_view input);
    bool keepRowsRead(bool read);
    void addTrackOf(std::size_t ref)
    {
        const std::size_t track = m_finder->trackAt(ref);
        m_rowTracks.push_back(static_cast<std::uint8_t>(track));
        if (m_trackWidth == 2)
            m_rowTracks.push_back(static_cast<std::uint8_t>(track >> 8));
    }

    std::string m_image;
    OutputRows m_folded;
    // The input track of each row, in m_trackWidth bytes (low byte first),
    // while the rows keep only that.
    std::vector<std::uint8_t> m_rowTracks;
    int m_trackWidth = 1;
    std::optional<TrackFinder> m_finder; // while the rows keep only their tracks
    std::vector<WriterMark> m_stretches;
    std::vector<std::string> m_inputTrackNames;
    bool m_keepRows = false;
    bool m_tracksOnly = false;
    std::vector<std::size_t> m_trackStarts;
    std::string m_header; // the bytes of row 1
    std::vector<Row> m_events;
    std::vector<std::string> m_chunks; // hex text of the chunk rows
    std::vector<std::size_t> m_chunkRows; // their grid rows, in order
    std::vector<std::string> m_outputTrackNames;
    std::uint64_t m_endTime = 0;
    std::size_t m_rowCount = 2;
    int m_fixedRows = 1;
    bool m_headings = false;
};

} // namespace trackfold

#endif

// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_EVENTGRID_H
#define TRACKFOLD_EVENTGRID_H

#include "midievent.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trackfold {

// The event grid: a table of text cells that is both the conversion's working
// store and what the user sees of it. Row 0 holds the headings, row 1 the file
// header, rows 2 and on one event each; columns are absolute time (eight or more
// decimal digits), delta time (VLQ hex) and the event bytes (hex text).
//
// Event rows are kept compact (12 bytes each): the time as a number and a
// reference into the file image the grid owns; their cell texts are produced on
// demand, in constant time. Any cell may also be set to free text, which turns
// that row into a row of plain strings.
class EventGrid
{
public:
    // Largest absolute time an event row holds (48 bits).
    static constexpr std::uint64_t MaxTime = (std::uint64_t { 1 } << 48) - 1;
    // Largest file image whose bytes event rows can refer to.
    // Largest file image whose bytes event rows can refer to (2 GiB - 1, so that
    // an output with every running status restored still fits its length field).
    static constexpr std::size_t MaxImageSize = 0x7FFFFFFFu;

    struct Row
    {
        enum Flag : std::uint8_t {
            Empty = 0,
            Text = 1,
            Event = 2,
            KindMask = 3,
            ImpliedStatus = 4, // the status byte is not in the image (running status)
            StatusDropped = 8, // the status byte is left out of the cell and the output
            DeltaShown = 16, // column 1 shows the delta time to the row above
        };

        std::uint32_t ref = 0; // event: image index of the first stored byte; text: string slot
        std::uint32_t timeLow = 0;
        std::uint16_t timeHigh = 0;
        std::uint8_t status = 0; // event rows: the status byte, implied or not
        std::uint8_t flags = Empty;

        std::uint8_t kind() const { return flags & KindMask; }
        bool isEvent() const { return kind() == Event; }
        bool has(Flag f) const { return (flags & f) != 0; }
        std::uint64_t time() const { return (std::uint64_t { timeHigh } << 32) | timeLow; }
        void setTime(std::uint64_t t)
        {
            timeLow = static_cast<std::uint32_t>(t);
            timeHigh = static_cast<std::uint16_t>(t >> 32);
        }
    };

    EventGrid();

    // --- The grid's operations -------------------------------------------------

    // Empties every cell, heading row included; the row and column counts stay.
    void clear();
    // Sets the number of rows; new rows are empty, rows past the count are dropped.
    void setRows(std::size_t rows);
    std::size_t rows() const { return m_rows.size(); }
    void setCols(int cols);
    int cols() const { return m_cols; }
    // Leading rows that are headings: they stay in place when sorting.
    void setFixedRows(int rows);
    int fixedRows() const { return m_fixedRows; }
    // Display properties (twips and the grid control's alignment codes).
    void setColWidth(int col, int twips);
    int colWidth(int col) const;
    void setColAlignment(int col, int alignment);
    int colAlignment(int col) const;
    // Appends a row whose cells are the tab-separated parts of text.
    void addItem(std::string_view text);
    // Text of one cell; rows and columns counted from 0. Out of range gives "".
    std::string textMatrix(std::size_t row, int col) const;
    // Sets the text of one cell; out of range does nothing.
    void setTextMatrix(std::size_t row, int col, std::string_view text);
    // Sorts every non-fixed row, as whole rows, ascending: by the time in column 0
    // (numerically), then column 1, then column 2, as text without regard to
    // case. Event bytes thus compare lexicographically, a shorter event before a
    // longer one it begins. Deltas are relative to the row above, so a sort
    // empties column 1 of the event rows. O(n log n), in place.
    void sort();

    // --- Typed access for the conversion ----------------------------------------

    // Takes the file image that event rows refer to; drops all rows.
    void adoptImage(std::string image);
    const std::string &image() const { return m_image; }

    void reserveRows(std::size_t rows) { m_rows.reserve(rows); }
    // Appends count empty rows and returns the first, for the caller to fill.
    Row *appendRows(std::size_t count)
    {
        const std::size_t first = m_rows.size();
        m_rows.resize(first + count);
        return m_rows.data() + first;
    }
    // Appends an event row: its time and where its bytes start in the image.
    // With impliedStatus the image holds only the data bytes at pos.
    void appendEvent(std::uint64_t time, std::size_t pos, std::uint8_t status, bool impliedStatus)
    {
        Row row;
        row.ref = static_cast<std::uint32_t>(pos);
        row.setTime(time);
        row.status = status;
        row.flags
            = static_cast<std::uint8_t>(Row::Event | (impliedStatus ? Row::ImpliedStatus : 0));
        m_rows.push_back(row);
    }

    std::span<Row> rowData() { return m_rows; }
    std::span<const Row> rowData() const { return m_rows; }

    // The number in column 0 of a row: the time of an event row, the decimal
    // value of a text cell (0 when it is not a number).
    std::uint64_t timeOf(std::size_t row) const
    {
        return (row < m_rows.size() && m_rows[row].isEvent()) ? m_rows[row].time()
                                                              : textTimeOf(row);
    }

    // Bytes of an event row as stored: the status byte (when not implied) and
    // data, without regard to StatusDropped.
    std::string_view storedBytes(const Row &row) const;
    // Full length of an event (status byte included).
    std::size_t eventLength(const Row &row) const
    {
        if (const int channel = channelMessageLength(row.status))
            return static_cast<std::size_t>(channel);
        return storedBytes(row).size() + (row.has(Row::ImpliedStatus) ? 1 : 0);
    }
    // Orders two event rows by their bytes, status first; <0, 0, >0.
    int compareEvents(const Row &a, const Row &b) const
    {
        if (a.status != b.status)
            return a.status < b.status ? -1 : 1;
        if (const int channel = channelMessageLength(a.status)) {
            // Channel messages of one status have the same length.
            const auto *da = dataBytes(a);
            const auto *db = dataBytes(b);
            for (int i = 0; i < channel - 1; ++i) {
                if (da[i] != db[i])
                    return da[i] < db[i] ? -1 : 1;
            }
            return 0;
        }
        return compareLongEvents(a, b);
    }

private:
    // The bytes after the status byte of an event row.
    const std::uint8_t *dataBytes(const Row &row) const
    {
        return reinterpret_cast<const std::uint8_t *>(m_image.data()) + row.ref
            + (row.has(Row::ImpliedStatus) ? 0 : 1);
    }
    int compareLongEvents(const Row &a, const Row &b) const;
    std::uint64_t textTimeOf(std::size_t row) const;
    std::string cellText(const Row &row, std::size_t index, int col) const;
    std::vector<std::string> &makeTextRow(std::size_t index);
    bool rowLess(const Row &a, const Row &b) const;

    std::string m_image;
    std::vector<Row> m_rows;
    std::vector<std::vector<std::string>> m_texts; // cells of the text rows
    int m_cols = 3;
    int m_fixedRows = 1;
    std::vector<int> m_colWidths;
    std::vector<int> m_colAlignments;
};

} // namespace trackfold

#endif

// SPDX-License-Identifier: MIT
#include "eventgrid.h"

#include "codecs.h"
#include "midievent.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace trackfold {

namespace {

constexpr int DefaultColWidth = 1100;

bool allDigits(std::string_view s)
{
    return !s.empty()
        && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Value of a decimal text, saturating instead of overflowing.
std::uint64_t decimalValue(std::string_view s)
{
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return 0;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (v > (UINT64_MAX - digit) / 10)
            return UINT64_MAX;
        v = v * 10 + digit;
    }
    return v;
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int compareNoCase(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(upper(a[i]));
        const auto cb = static_cast<unsigned char>(upper(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Times compare as numbers; an equal number written shorter ("00" in the header
// row) comes first, so the header row stays ahead of an event at tick 0.
int compareTimeText(std::string_view a, std::string_view b)
{
    if (allDigits(a) && allDigits(b)) {
        const std::uint64_t va = decimalValue(a);
        const std::uint64_t vb = decimalValue(b);
        if (va != vb)
            return va < vb ? -1 : 1;
        if (a.size() != b.size())
            return a.size() < b.size() ? -1 : 1;
        return 0;
    }
    return compareNoCase(a, b);
}

std::string timeText(std::uint64_t time)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, time);
    const auto length = static_cast<std::size_t>(result.ptr - digits);
    std::string out(length < 8 ? 8 - length : 0, '0');
    out.append(digits, length);
    return out;
}

} // namespace

EventGrid::EventGrid()
    : m_rows(2)
    , m_colWidths(static_cast<std::size_t>(m_cols), DefaultColWidth)
    , m_colAlignments(static_cast<std::size_t>(m_cols), 0)
{ }

void EventGrid::clear()
{
    for (Row &row : m_rows)
        row = Row {};
    m_texts.clear();
    m_image.clear();
    m_image.shrink_to_fit();
}

void EventGrid::setRows(std::size_t rows)
{
    m_rows.resize(rows);
    if (rows == 0)
        m_texts.clear();
}

void EventGrid::setCols(int cols)
{
    m_cols = std::max(cols, 0);
    m_colWidths.resize(static_cast<std::size_t>(m_cols), DefaultColWidth);
    m_colAlignments.resize(static_cast<std::size_t>(m_cols), 0);
}

void EventGrid::setFixedRows(int rows)
{
    m_fixedRows = std::max(rows, 0);
}

void EventGrid::setColWidth(int col, int twips)
{
    if (col >= 0 && col < m_cols)
        m_colWidths[static_cast<std::size_t>(col)] = twips;
}

int EventGrid::colWidth(int col) const
{
    return (col >= 0 && col < m_cols) ? m_colWidths[static_cast<std::size_t>(col)] : 0;
}

void EventGrid::setColAlignment(int col, int alignment)
{
    if (col >= 0 && col < m_cols)
        m_colAlignments[static_cast<std::size_t>(col)] = alignment;
}

int EventGrid::colAlignment(int col) const
{
    return (col >= 0 && col < m_cols) ? m_colAlignments[static_cast<std::size_t>(col)] : 0;
}

void EventGrid::addItem(std::string_view text)
{
    std::vector<std::string> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = text.find('\t', start);
        cells.emplace_back(text.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (cells.size() < static_cast<std::size_t>(m_cols))
        cells.resize(static_cast<std::size_t>(m_cols));
    Row row;
    row.flags = Row::Text;
    row.ref = static_cast<std::uint32_t>(m_texts.size());
    m_texts.push_back(std::move(cells));
    m_rows.push_back(row);
}

std::string EventGrid::textMatrix(std::size_t row, int col) const
{
    if (row >= m_rows.size() || col < 0 || col >= m_cols)
        return {};
    return cellText(m_rows[row], row, col);
}

std::string EventGrid::cellText(const Row &row, std::size_t index, int col) const
{
    switch (row.kind()) {
    case Row::Text: {
        const auto &cells = m_texts[row.ref];
        return static_cast<std::size_t>(col) < cells.size() ? cells[static_cast<std::size_t>(col)]
                                                            : std::string {};
    }
    case Row::Event:
        break;
    default:
        return {};
    }

    if (col == 0)
        return timeText(row.time());
    if (col == 1) {
        if (!row.has(Row::DeltaShown) || index == 0)
            return {};
        const std::uint64_t previous = timeOf(index - 1);
        const std::uint64_t time = row.time();
        if (time < previous || time - previous > MaxVlq)
            return {};
        return LongToVlqHex(static_cast<std::int32_t>(time - previous));
    }
    if (col == 2) {
        std::string text;
        const std::string_view stored = storedBytes(row);
        const bool implied = row.has(Row::ImpliedStatus);
        const bool dropped = row.has(Row::StatusDropped);
        text.reserve(2 * (stored.size() + 1));
        if (implied && !dropped) {
            const char status = static_cast<char>(row.status);
            appendHex(text, &status, 1);
        }
        const std::size_t skip = (!implied && dropped && !stored.empty()) ? 1 : 0;
        appendHex(text, stored.data() + skip, stored.size() - skip);
        return text;
    }
    return {};
}

std::vector<std::string> &EventGrid::makeTextRow(std::size_t index)
{
    Row &row = m_rows[index];
    if (row.kind() == Row::Text)
        return m_texts[row.ref];
    std::vector<std::string> cells(static_cast<std::size_t>(std::max(m_cols, 3)));
    if (row.kind() == Row::Event) {
        for (int c = 0; c < 3; ++c)
            cells[static_cast<std::size_t>(c)] = cellText(row, index, c);
    }
    Row text;
    text.flags = Row::Text;
    text.ref = static_cast<std::uint32_t>(m_texts.size());
    m_texts.push_back(std::move(cells));
    m_rows[index] = text;
    return m_texts.back();
}

void EventGrid::setTextMatrix(std::size_t row, int col, std::string_view text)
{
    if (row >= m_rows.size() || col < 0 || col >= m_cols)
        return;
    auto &cells = makeTextRow(row);
    if (static_cast<std::size_t>(col) >= cells.size())
        cells.resize(static_cast<std::size_t>(col) + 1);
    cells[static_cast<std::size_t>(col)] = std::string(text);
}

bool EventGrid::rowLess(const Row &a, const Row &b) const
{
    if (a.isEvent() && b.isEvent()) {
        if (a.time() != b.time())
            return a.time() < b.time();
        return compareEvents(a, b) < 0;
    }
    // Mixed rows compare as the texts they show; an event row's delta is
    // emptied by the sort, so it takes part as "".
    auto text = [this](const Row &r, int col) {
        if (r.isEvent() && col == 1)
            return std::string {};
        return cellText(r, 0, col);
    };
    if (const int c = compareTimeText(text(a, 0), text(b, 0)))
        return c < 0;
    if (const int c = compareNoCase(text(a, 1), text(b, 1)))
        return c < 0;
    return compareNoCase(text(a, 2), text(b, 2)) < 0;
}

void EventGrid::sort()
{
    const auto first = std::min(static_cast<std::size_t>(m_fixedRows), m_rows.size());
    std::sort(m_rows.begin() + static_cast<std::ptrdiff_t>(first), m_rows.end(),
        [this](const Row &a, const Row &b) { return rowLess(a, b); });
    for (Row &row : m_rows)
        row.flags &= static_cast<std::uint8_t>(~Row::DeltaShown);
}

void EventGrid::adoptImage(std::string image)
{
    for (Row &row : m_rows) {
        if (row.isEvent())
            row = Row {};
    }
    m_image = std::move(image);
}

std::uint64_t EventGrid::textTimeOf(std::size_t index) const
{
    if (index >= m_rows.size())
        return 0;
    const Row &row = m_rows[index];
    if (row.kind() == Row::Text) {
        const auto &cells = m_texts[row.ref];
        return cells.empty() ? 0 : decimalValue(cells[0]);
    }
    return 0;
}

std::string_view EventGrid::storedBytes(const Row &row) const
{
    const std::string_view image = m_image;
    const std::size_t length
        = storedEventLength(image, row.ref, row.status, row.has(Row::ImpliedStatus));
    if (row.ref > image.size())
        return {};
    return image.substr(row.ref, length);
}

int EventGrid::compareLongEvents(const Row &a, const Row &b) const
{
    // Past the status byte, the data bytes compare lexicographically.
    std::string_view da = storedBytes(a);
    std::string_view db = storedBytes(b);
    if (!a.has(Row::ImpliedStatus))
        da.remove_prefix(1);
    if (!b.has(Row::ImpliedStatus))
        db.remove_prefix(1);
    const std::size_t n = std::min(da.size(), db.size());
    if (const int c = n ? std::memcmp(da.data(), db.data(), n) : 0)
        return c < 0 ? -1 : 1;
    return da.size() == db.size() ? 0 : (da.size() < db.size() ? -1 : 1);
}

} // namespace trackfold

// SPDX-License-Identifier: MIT
#include "eventtablemodel.h"

#include "codecs.h"
#include "eventdescription.h"
#include "eventgrid.h"

#include <algorithm>
#include <climits>
#include <string>

namespace trackfold {

namespace {

// How far a tooltip looks upward for the status of a running-status row kept as
// plain text. Event rows carry their status, so this is only a fallback.
constexpr std::size_t StatusSearchLimit = 4096;

// The first byte of a hex text, or -1.
int hexByte(const std::string &text)
{
    std::string byte;
    if (text.size() < 2 || !hexToBytes(std::string_view(text).substr(0, 2), byte))
        return -1;
    return static_cast<std::uint8_t>(byte[0]);
}

// The grid's alignment codes: 0-2 left, 3-5 centre, 6-8 right; top, centre,
// bottom within each group; 9 is "general" (left for text).
Qt::Alignment alignmentOf(int code)
{
    if (code < 0 || code > 8)
        return Qt::AlignLeft | Qt::AlignVCenter;
    static constexpr Qt::AlignmentFlag horizontal[]
        = { Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight };
    static constexpr Qt::AlignmentFlag vertical[]
        = { Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom };
    return horizontal[code / 3] | vertical[code % 3];
}

} // namespace

EventTableModel::EventTableModel(const EventGrid &grid, QObject *parent)
    : QAbstractTableModel(parent)
    , m_grid(grid)
{ }

bool EventTableModel::headingShown() const
{
    return m_grid.fixedRows() > 0 && m_grid.rows() > 0;
}

std::size_t EventTableModel::gridRow(int modelRow) const
{
    return static_cast<std::size_t>(modelRow) + (headingShown() ? 1 : 0);
}

int EventTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || updating())
        return 0;
    const std::size_t rows = m_grid.rows() - (headingShown() ? 1 : 0);
    return static_cast<int>(std::min<std::size_t>(rows, INT_MAX));
}

int EventTableModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || updating())
        return 0;
    return std::max(m_grid.cols(), 0);
}

QVariant EventTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    const std::size_t row = gridRow(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(m_grid.textMatrix(row, index.column()));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignmentOf(m_grid.colAlignment(index.column())));
    case Qt::ToolTipRole: {
        const std::string text = m_grid.textMatrix(row, 2);
        const std::string description = describeEvent(text, statusFor(row));
        if (description.empty())
            return QVariant();
        return QString::fromStdString(description);
    }
    default:
        return QVariant();
    }
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole || !headingShown())
        return QVariant();
    return QString::fromStdString(m_grid.textMatrix(0, section));
}

Qt::ItemFlags EventTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void EventTableModel::beginUpdate()
{
    if (m_updateDepth++ == 0)
        beginResetModel();
}

void EventTableModel::endUpdate()
{
    if (m_updateDepth > 0 && --m_updateDepth == 0)
        endResetModel();
}

std::uint8_t EventTableModel::statusFor(std::size_t row) const
{
    const auto rows = m_grid.rowData();
    if (row < rows.size() && rows[row].isEvent())
        return rows[row].status;
    // A text row without its status byte continues the nearest status shown above.
    const std::size_t stop = row > StatusSearchLimit ? row - StatusSearchLimit : 0;
    for (std::size_t r = row; r > stop; --r) {
        const int status = hexByte(m_grid.textMatrix(r - 1, 2));
        if (status >= 0x80)
            return static_cast<std::uint8_t>(status);
    }
    return 0;
}

} // namespace trackfold

// SPDX-License-Identifier: MIT
#include "eventtablemodel.h"

#include "eventdescription.h"
#include "eventgrid.h"
#include "i18n.h"

#include <algorithm>
#include <climits>
#include <string>

namespace trackfold {

namespace {

// The source track, counted from 1, behind the description of an event.
constexpr const char *TrackSuffix = QT_TRANSLATE_NOOP("trackfold::EventTableModel", ", traccia ");

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
    return static_cast<std::size_t>(modelRow) + heading() + m_windowStart;
}

int EventTableModel::modelRow(std::size_t gridRow) const
{
    const std::size_t first = heading() + m_windowStart;
    if (gridRow < first || gridRow - first >= static_cast<std::size_t>(rowCount()))
        return -1;
    return static_cast<int>(gridRow - first);
}

std::size_t EventTableModel::rows() const
{
    return updating() ? 0 : m_grid.rows() - heading();
}

int EventTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    const std::size_t rows = std::min(this->rows() - std::min(m_windowStart, this->rows()),
        std::min<std::size_t>(m_windowRows, INT_MAX));
    return static_cast<int>(rows);
}

void EventTableModel::moveWindow(std::size_t start)
{
    const std::size_t all = rows();
    start = std::min(start, all - std::min(all, m_windowRows));
    if (start == m_windowStart)
        return;
    m_windowStart = start;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
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
        if (row == 0) // the headings, when they scroll with the rows
            return QString::fromUtf8(trackfold::tr(m_grid.textMatrix(row, index.column()).c_str()));
        return QString::fromStdString(m_grid.textMatrix(row, index.column()));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::ToolTipRole: {
        const QString tip = toolTip(row);
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    default:
        return QVariant();
    }
}

QString EventTableModel::toolTip(std::size_t row) const
{
    std::string description;
    if (const std::optional<EventGrid::Row> event = m_grid.eventAt(row)) {
        // A split file's later tracks each begin with a row for their chunk header.
        description = EventGrid::isChunkRow(*event) ? describeTrackStart()
                                                    : describeEvent(m_grid.image(), *event);
    } else if (row == EventGrid::HeaderRow)
        description = describeHeader(m_grid.header());
    if (description.empty())
        return {};
    if (const std::size_t track = m_grid.trackOf(row))
        description.append(tr(TrackSuffix).toStdString()).append(std::to_string(track));
    return QString::fromStdString(description);
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole || !headingShown())
        return QVariant();
    // The grid keeps its headings in Italian, as --table prints them; the view
    // shows them in the user's language.
    return QString::fromUtf8(trackfold::tr(m_grid.textMatrix(0, section).c_str()));
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
    if (m_updateDepth == 0)
        return;
    --m_updateDepth;
    if (m_updateDepth == 0) {
        m_windowStart = 0;
        endResetModel();
    }
}

} // namespace trackfold

// SPDX-License-Identifier: MIT
#include "rowwindow.h"

#include "eventtablemodel.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace trackfold {

RowWindow::RowWindow(QTableView &table, EventTableModel &model, QScrollBar &bar, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_model(model)
    , m_bar(bar)
{
    m_bar.hide();
    connect(&m_model, &QAbstractItemModel::modelReset, this, &RowWindow::modelReset);
    connect(
        m_table.verticalScrollBar(), &QScrollBar::valueChanged, this, &RowWindow::tableScrolled);
    connect(m_table.verticalScrollBar(), &QScrollBar::rangeChanged, this, &RowWindow::updateBar);
    connect(&m_bar, &QScrollBar::valueChanged, this, &RowWindow::barMoved);
    connect(m_table.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex &current) {
            if (m_moving || !current.isValid())
                return;
            m_selected = m_model.gridRow(current.row());
            m_hasSelected = true;
        });
    m_move.setSingleShot(true);
    m_move.setInterval(0);
    connect(&m_move, &QTimer::timeout, this, [this] {
        showFrom(
            m_model.windowStart() + static_cast<std::size_t>(m_table.verticalScrollBar()->value()));
    });
    m_table.installEventFilter(this);
    modelReset();
}

void RowWindow::modelReset()
{
    m_hasSelected = false;
    const bool windowed = m_model.windowed();
    m_table.setVerticalScrollBarPolicy(windowed ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    m_bar.setVisible(windowed);
    updateBar();
}

void RowWindow::updateBar()
{
    if (!m_model.windowed())
        return;
    const QScrollBar *inner = m_table.verticalScrollBar();
    const int page = std::max(inner->pageStep(), 1);
    const std::size_t rows = m_model.rows();
    const std::size_t last = rows > static_cast<std::size_t>(page) ? rows - page : 0;
    const QSignalBlocker quiet(m_bar);
    m_bar.setRange(0, static_cast<int>(std::min<std::size_t>(last, INT_MAX)));
    m_bar.setPageStep(page);
    m_bar.setSingleStep(1);
    m_bar.setValue(static_cast<int>(m_model.windowStart()) + inner->value());
}

void RowWindow::tableScrolled(int value)
{
    if (m_moving || !m_model.windowed())
        return;
    const std::size_t row = m_model.windowStart() + static_cast<std::size_t>(value);
    // The rows in view keep to the window's middle half, unless it is at an end.
    const int quarter = static_cast<int>(m_model.windowRows() / 4);
    const int last = m_table.verticalScrollBar()->maximum();
    const bool more = m_model.windowStart() + m_model.rowCount() < m_model.rows();
    if ((value < quarter && m_model.windowStart() > 0) || (value > last - quarter && more)) {
        // Not while the table is still handling the key or wheel that
        // scrolled it: it holds model rows that the move would change.
        m_move.start();
    }
    const QSignalBlocker quiet(m_bar);
    m_bar.setValue(static_cast<int>(row));
}

void RowWindow::barMoved(int value)
{
    if (m_moving)
        return;
    const auto row = static_cast<std::size_t>(value);
    const std::size_t start = m_model.windowStart();
    const int last = m_table.verticalScrollBar()->maximum();
    if (row >= start && row - start <= static_cast<std::size_t>(last)) {
        m_table.verticalScrollBar()->setValue(static_cast<int>(row - start));
        return;
    }
    showFrom(row);
}

void RowWindow::showFrom(std::size_t row)
{
    m_moving = true;
    const std::size_t half = m_model.windowRows() / 2;
    m_model.moveWindow(row > half ? row - half : 0);
    // The selection names model rows: it follows the grid row it stood for.
    QItemSelectionModel *selection = m_table.selectionModel();
    const int selected = m_hasSelected ? m_model.modelRow(m_selected) : -1;
    if (selected >= 0) {
        selection->setCurrentIndex(m_model.index(selected, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selection->clear();
    }
    m_table.verticalScrollBar()->setValue(static_cast<int>(row - m_model.windowStart()));
    {
        const QSignalBlocker quiet(m_bar);
        m_bar.setValue(static_cast<int>(row));
    }
    m_moving = false;
}

int RowWindow::reach(std::size_t gridRow)
{
    const int now = m_model.modelRow(gridRow);
    if (now >= 0 || !m_model.windowed())
        return now;
    const std::size_t first = m_model.gridRow(0) - m_model.windowStart();
    if (gridRow < first)
        return -1;
    showFrom(gridRow - first);
    return m_model.modelRow(gridRow);
}

void RowWindow::selectGridRow(std::size_t gridRow, QAbstractItemView::ScrollHint hint)
{
    const int row = reach(gridRow);
    if (row < 0)
        return;
    const QModelIndex index = m_model.index(row, 0);
    m_table.selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_table.scrollTo(index, hint);
}

bool RowWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_table && event->type() == QEvent::KeyPress && m_model.windowed()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & Qt::ControlModifier
            && (key->key() == Qt::Key_Home || key->key() == Qt::Key_End)) {
            const std::size_t first = m_model.gridRow(0) - m_model.windowStart();
            selectGridRow(key->key() == Qt::Key_Home ? first : first + m_model.rows() - 1);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace trackfold

// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_ROWWINDOW_H
#define TRACKFOLD_ROWWINDOW_H

#include <QAbstractItemView>
#include <QObject>
#include <QTimer>

#include <cstddef>

class QScrollBar;
class QTableView;

namespace trackfold {

class EventTableModel;

// Scrolls a table through every row of a model that holds only a window of
// them (EventTableModel::windowed()). The table's own vertical scroll bar then
// gives way to an outer one that stands for all the rows; as the table
// scrolls (wheel, keys, bar), the window moves so that the rows in view stay
// in its middle half, and the selected row stays selected wherever the window
// goes. Ctrl+Home and Ctrl+End reach the first and the last row of all. With
// a model that holds all its rows, the table is left as it is.
class RowWindow : public QObject
{
    Q_OBJECT

public:
    RowWindow(
        QTableView &table, EventTableModel &model, QScrollBar &bar, QObject *parent = nullptr);

    // Brings a grid row into the window and returns its model row (-1 for the
    // heading row).
    int reach(std::size_t gridRow);
    // Selects a grid row, brought into the window and scrolled to as hint says.
    void selectGridRow(
        std::size_t gridRow, QAbstractItemView::ScrollHint hint = QAbstractItemView::EnsureVisible);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void modelReset();
    void updateBar();
    void tableScrolled(int value);
    void barMoved(int value);
    // Moves the window so that row (counted over all rows) is the table's top
    // row, in the window's middle.
    void showFrom(std::size_t row);

    QTableView &m_table;
    EventTableModel &m_model;
    QScrollBar &m_bar;
    // The grid row selected, kept while the window is elsewhere.
    std::size_t m_selected = 0;
    bool m_hasSelected = false;
    bool m_moving = false;
    // Moves the window once the event that scrolled the table is handled.
    QTimer m_move;
};

} // namespace trackfold

#endif

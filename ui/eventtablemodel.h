// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_EVENTTABLEMODEL_H
#define TRACKFOLD_EVENTTABLEMODEL_H

#include <QAbstractTableModel>

#include <algorithm>
#include <cstddef>

namespace trackfold {

class EventGrid;

// A read-only view of the engine's event grid for QTableView. It holds the grid
// by reference and produces every cell on demand, so a million rows cost nothing
// beyond the grid itself.
//
// While the grid has a fixed row, grid row 0 (the headings) is the horizontal
// header and model row r is grid row r + 1; without one, grid row 0 is an
// ordinary row and the header gives nothing. Tooltips describe the event of a
// row from its bytes.
//
// Whoever changes the grid does it between beginUpdate() and endUpdate(), which
// reset the model; in between the model reports no rows, so a view painting
// meanwhile (a modal message during a conversion) never reads a half-built table.
//
// A grid of more rows than windowRows() is shown a window of that many rows at
// a time, from windowStart(): a view gives each model row a few bytes and a
// moment when the model resets, which for a hundred million rows would be
// most of a gigabyte and seconds of a frozen window. RowWindow moves it as the
// table scrolls. Model rows count within the window; rows() counts them all.
class EventTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Half a million rows: a view's bookkeeping for them is 4 MB, and a few
    // milliseconds when they arrive; the window moves every hundred thousand
    // rows scrolled, which takes no longer than a repaint.
    static constexpr std::size_t DefaultWindowRows = std::size_t { 1 } << 19;

    explicit EventTableModel(const EventGrid &grid, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Nesting is allowed; the reset ends with the outermost endUpdate().
    void beginUpdate();
    void endUpdate();
    bool updating() const { return m_updateDepth > 0; }

    // True while grid row 0 is shown as the horizontal header.
    bool headingShown() const;
    // The grid row behind a model row.
    std::size_t gridRow(int modelRow) const;
    // The model row showing a grid row; -1 for the heading row and for a row
    // outside the window.
    int modelRow(std::size_t gridRow) const;

    // All the rows the table shows, past the window too.
    std::size_t rows() const;
    // The first of them in the model (model row 0), and how many it holds at most.
    std::size_t windowStart() const { return m_windowStart; }
    std::size_t windowRows() const { return m_windowRows; }
    bool windowed() const { return rows() > m_windowRows; }
    // Moves the window to start at row start (kept so that it stays full);
    // the model's rows then show other grid rows, with no reset.
    void moveWindow(std::size_t start);
    // For the tests: a smaller window; set it while the model is empty.
    void setWindowRows(std::size_t rows) { m_windowRows = std::max<std::size_t>(rows, 1); }
    // The tooltip of any grid row, in the window or not.
    QString toolTip(std::size_t gridRow) const;

private:
    std::size_t heading() const { return headingShown() ? 1 : 0; }

    const EventGrid &m_grid;
    int m_updateDepth = 0;
    std::size_t m_windowRows = DefaultWindowRows;
    std::size_t m_windowStart = 0;
};

// Keeps a model update open for the life of a scope; end() closes it early.
class ModelUpdate
{
public:
    explicit ModelUpdate(EventTableModel &model)
        : m_model(&model)
    {
        m_model->beginUpdate();
    }
    ~ModelUpdate() { end(); }
    ModelUpdate(const ModelUpdate &) = delete;
    ModelUpdate &operator=(const ModelUpdate &) = delete;

    void end()
    {
        if (m_model)
            m_model->endUpdate();
        m_model = nullptr;
    }

private:
    EventTableModel *m_model;
};

} // namespace trackfold

#endif

// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_EVENTTABLEMODEL_H
#define TRACKFOLD_EVENTTABLEMODEL_H

#include <QAbstractTableModel>

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
class EventTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
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
    // The model row showing a grid row; -1 for the heading row.
    int modelRow(std::size_t gridRow) const;

private:
    const EventGrid &m_grid;
    int m_updateDepth = 0;
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

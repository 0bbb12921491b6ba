// SPDX-License-Identifier: MIT
#include "conversion.h"
#include "eventgrid.h"
#include "eventtablemodel.h"
#include "smfbuilder.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace trackfold;
namespace smf = trackfold::smf;

namespace {

// Runs conversions into a grid that belongs to the test.
class GridHost : public ConversionObserver, public Clock
{
public:
    explicit GridHost(EventGrid &grid)
        : m_grid(grid)
    { }
    EventGrid &grid() { return m_grid; }
    void showStatus(const std::string &) override { }
    void showMessage(const Message &) override { ++messages; }
    void setBusy(bool) override { }
    double seconds() override { return 0; }
    int messages = 0;

private:
    EventGrid &m_grid;
};

std::string SalvaMidi0(const std::string &file, GridHost &host)
{
    ConversionResult result;
    return trackfold::SalvaMidi0(file, host.grid(), host, host, result);
}

// One track of notes on channel 1, so all but the first lose their status byte.
std::string runningStatusSong()
{
    smf::Track track;
    track.event(0, { 0x90, 0x3C, 0x40 })
        .event(10, { 0x90, 0x3E, 0x41 })
        .event(10, { 0x90, 0x40, 0x42 })
        .meta(10, 0x51, smf::bytes({ 0x07, 0xA1, 0x20 }))
        .endOfTrack();
    smf::Track second;
    second.event(5, { 0xC1, 0x05 }).endOfTrack();
    return smf::file(1, { track, second });
}

QString text(const QAbstractItemModel &model, int row, int column, int role = Qt::DisplayRole)
{
    return model.index(row, column).data(role).toString();
}

} // namespace

class TestEventTableModel : public QObject
{
    Q_OBJECT

private slots:
    void fixedRowIsTheHeader();
    void withoutFixedRowHeadingsScroll();
    void tooltipsDecodeRunningStatus();
    void tooltipsNameTheSourceTrack();
    void updatesResetOnceAndHideTheTable();
};

void TestEventTableModel::fixedRowIsTheHeader()
{
    EventGrid grid;
    EventTableModel model(grid);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    GridHost host(grid);
    {
        ModelUpdate update(model);
        QVERIFY(!SalvaMidi0(runningStatusSong(), host).empty());
    }
    QCOMPARE(host.messages, 0);

    QVERIFY(model.headingShown());
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("DT assoluto"));
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Dati Midi"));
    QCOMPARE(model.headerData(0, Qt::Vertical), QVariant());
    QCOMPARE(model.columnCount(), 3);
    // Heading row + header row + 5 events in the grid: 6 rows below the header.
    QCOMPARE(static_cast<int>(grid.rows()), 7);
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(text(model, 0, 0), QStringLiteral("00"));
    QCOMPARE(text(model, 1, 2), QString::fromStdString(grid.textMatrix(2, 2)));
    QCOMPARE(text(model, 5, 2), QString::fromStdString(grid.textMatrix(6, 2)));
    QCOMPARE(model.index(6, 0).isValid(), false);
    QVERIFY(!(model.flags(model.index(1, 2)) & Qt::ItemIsEditable));
}

void TestEventTableModel::withoutFixedRowHeadingsScroll()
{
    EventGrid grid;
    EventTableModel model(grid);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    GridHost host(grid);
    {
        ModelUpdate update(model);
        grid.setFixedRows(0);
        QVERIFY(!SalvaMidi0(runningStatusSong(), host).empty());
    }

    QVERIFY(!model.headingShown());
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole), QVariant());
    QCOMPARE(model.rowCount(), 7);
    QCOMPARE(text(model, 0, 1), QStringLiteral("DT relativo"));
    QCOMPARE(model.gridRow(0), std::size_t { 0 });
}

void TestEventTableModel::tooltipsDecodeRunningStatus()
{
    EventGrid grid;
    EventTableModel model(grid);
    GridHost host(grid);
    {
        ModelUpdate update(model);
        QVERIFY(!SalvaMidi0(runningStatusSong(), host).empty());
    }
    // The third note follows the second on the same channel: "4042", no status.
    int dropped = -1;
    for (int r = 0; r < model.rowCount(); ++r) {
        if (text(model, r, 2) == QStringLiteral("4042"))
            dropped = r;
    }
    QVERIFY2(dropped >= 0, "the third note keeps its status byte");
    QCOMPARE(text(model, dropped, 0, Qt::ToolTipRole),
        QStringLiteral("Note On, canale 1, nota 64 (E4), velocità 66, traccia 1"));
    // The tooltip belongs to the row, not to one cell.
    QCOMPARE(text(model, dropped, 1, Qt::ToolTipRole), text(model, dropped, 0, Qt::ToolTipRole));
    QCOMPARE(text(model, 0, 0, Qt::ToolTipRole),
        QStringLiteral("Intestazione: formato 0, 1 traccia, 480 tick per quarto"));
}

void TestEventTableModel::tooltipsNameTheSourceTrack()
{
    EventGrid grid;
    EventTableModel model(grid);
    GridHost host(grid);
    {
        ModelUpdate update(model);
        QVERIFY(!SalvaMidi0(runningStatusSong(), host).empty());
    }
    // The program change at tick 5 is the only event of the second track chunk.
    QCOMPARE(text(model, 2, 2), QStringLiteral("C105"));
    QCOMPARE(text(model, 2, 0, Qt::ToolTipRole),
        QStringLiteral("Program Change, canale 2, programma 5, traccia 2"));
    QCOMPARE(text(model, 1, 0, Qt::ToolTipRole).endsWith(QStringLiteral(", traccia 1")), true);
}

void TestEventTableModel::updatesResetOnceAndHideTheTable()
{
    EventGrid grid;
    EventTableModel model(grid);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy aboutToReset(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.beginUpdate();
    model.beginUpdate();
    grid.setRows(1000);
    QCOMPARE(model.rowCount(), 0); // a view painting now sees nothing half-built
    model.endUpdate();
    QCOMPARE(reset.count(), 0);
    model.endUpdate();
    model.endUpdate(); // unbalanced ends are harmless

    QCOMPARE(aboutToReset.count(), 1);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 999);
}

QTEST_MAIN(TestEventTableModel)
#include "tst_eventtablemodel.moc"

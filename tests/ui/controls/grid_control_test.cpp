#include "ui/controls/grid_control.h"

#include <QAbstractItemModelTester>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

/// The grid control on its own: its model, and the order of its notifications for every kind of
/// move, which the window's in-place editor relies on.
class GridControlTest : public QObject
{
    Q_OBJECT

    /// The grid's notifications in order, each with the current cell at that moment.
    struct Recorder
    {
        explicit Recorder(GridControl &grid)
        {
            const auto note = [&grid, this](const char *what) {
                return [&grid, this, what] {
                    events << u"%1 %2,%3"_s.arg(QLatin1String(what))
                                  .arg(grid.currentRow())
                                  .arg(grid.currentColumn());
                };
            };
            QObject::connect(&grid, &GridControl::cellLeaving, note("leave"));
            QObject::connect(&grid, &GridControl::cellEntered, note("enter"));
            QObject::connect(&grid, &GridControl::cellClicked, note("click"));
            QObject::connect(&grid, &GridControl::scrolled, note("scroll"));
        }
        QStringList events;
    };

private Q_SLOTS:
    void modelIsConsistent();
    void movesLeaveBeforeEnter_data();
    void movesLeaveBeforeEnter();
};

void GridControlTest::modelIsConsistent()
{
    GridControl grid(50, 3);
    QAbstractItemModelTester tester(grid.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.setFormatString(u"<One |^Two|>Three"_s);
    for (int row = 1; row < 50; ++row)
        grid.setText(row, row % 3, u"cell %1"_s.arg(row));
    grid.setCurrentCell(7, 2);
    grid.setCurrentCellTextColour(kFaultColour);

    QCOMPARE(grid.model()->rowCount(), 49); // the heading row is the header, not a model row
    QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), u"Two"_s);
    QCOMPARE(grid.model()->data(grid.model()->index(6, 2), Qt::ForegroundRole).value<QColor>(),
             QColor(Qt::red));
    QCOMPARE(grid.text(0, 2), u"Three"_s);
    QCOMPARE(grid.text(50, 0), QString()); // outside the grid: nothing, and no crash
    grid.setText(-1, 9, u"ignored"_s);
}

void GridControlTest::movesLeaveBeforeEnter_data()
{
    using Move = void (*)(GridControl &);
    QTest::addColumn<Move>("move");
    QTest::addColumn<QStringList>("events");
    const QStringList twoToThree{u"leave 2,1"_s, u"enter 3,1"_s};
    // clang-format off
    QTest::newRow("row set by code") << Move([](GridControl &g) { g.setCurrentRow(3); }) << twoToThree;
    QTest::newRow("column set by code") << Move([](GridControl &g) { g.setCurrentColumn(0); }) << QStringList{u"leave 2,1"_s, u"enter 2,0"_s};
    QTest::newRow("same cell: no notification") << Move([](GridControl &g) { g.setCurrentRow(2); }) << QStringList();
    QTest::newRow("outside the grid: no move") << Move([](GridControl &g) { g.setCurrentRow(5000); }) << QStringList();
    QTest::newRow("Down key") << Move([](GridControl &g) { QTest::keyClick(&g, Qt::Key_Down); }) << twoToThree;
    QTest::newRow("mouse click") << Move([](GridControl &g) {
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.visualRect(g.model()->index(2, 1)).center());
    }) << (twoToThree + QStringList{u"click 3,1"_s});
    QTest::newRow("far move scrolls without a scroll notification") << Move([](GridControl &g) { g.setCurrentRow(4000); g.syncView(); }) << QStringList{u"leave 2,1"_s, u"enter 4000,1"_s};
    QTest::newRow("user scroll") << Move([](GridControl &g) { g.verticalScrollBar()->setValue(100); }) << QStringList{u"scroll 2,1"_s};
    // clang-format on
}

void GridControlTest::movesLeaveBeforeEnter()
{
    using Move = void (*)(GridControl &);
    QFETCH(Move, move);
    GridControl grid(5000, 2);
    grid.resize(300, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.setCurrentCell(2, 1);
    grid.syncView();
    grid.setFocus();
    Recorder recorder(grid);

    move(grid);

    QTEST(recorder.events, "events");
    if (grid.currentRow() == 4000) // the view follows a far move
        QVERIFY(grid.topRow() > 3900 && grid.topRow() <= 4000);
}

QTEST_MAIN(GridControlTest)
#include "grid_control_test.moc"

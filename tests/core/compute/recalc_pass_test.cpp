// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the recalculation between two known heights and of choosing its rows.
#include "compute/height_passes.h"
#include "traverse_fixture.h"

#include <QRandomGenerator>
#include <QTest>

using namespace zelt::compute;
using zelt::test::Leg;
using zelt::test::TraverseFixture;
using Column = std::vector<std::optional<double>>;

namespace {

/// The worked traverse: pace counts 0, 50, 100, 150 and filled heights 400..430.
void workedTraverse(TraverseFixture& fx)
{
    fx.addLegs({{0, 420.0}, {50}, {50}, {50}});
    fx.setColumn("FillHeight", {400.0, 410.0, 420.0, 430.0});
}

void choose(TraverseFixture& fx, int recNo, CalcEnd which, double height)
{
    fx.doc->table.setRecNo(recNo);
    chooseCalcRow(*fx.doc, which, height);
}

/// Every stored column, to prove that a refused pass changed nothing.
std::vector<Column> snapshot(const TraverseFixture& fx)
{
    std::vector<Column> all;
    for (const char* f : {"Pairs", "Altimeter", "Recalc", "sumPairs", "FillHeight", "id"})
        all.push_back(fx.column(f));
    return all;
}

}  // namespace

class RecalcPassTest : public QObject {
    Q_OBJECT
private slots:
    void workedExample();
    void emptySourceRowsKeepTarget();
    void rowsOutsideUntouched();
    void choosingPrompts();
    void refusals_data();
    void refusals();
    void deletedRow();
    void staleSpanRefusedByPass();
    void randomTraverses();
};

// a = -2, b = 6, span 150: Recalc 402, 413.33, 424.67, 436; the current row comes back.
void RecalcPassTest::workedExample()
{
    TraverseFixture fx;
    workedTraverse(fx);
    choose(fx, 1, CalcEnd::Start, 402);
    choose(fx, 4, CalcEnd::End, 436);
    fx.doc->table.setRecNo(2);
    QCOMPARE(recalculateHeights(*fx.doc).rowsPosted, 4);   // each row counted once
    QCOMPARE(fx.doc->table.recNo(), 2);
    QVERIFY(!fx.doc->table.controlsDisabled());
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("Recalc"), (Column{402.0, 413.0 + 1.0 / 3.0, 424.0 + 2.0 / 3.0, 436.0}), 1e-9);
    ZELT_COMPARE_COLUMN(fx.column("FillHeight"), (Column{400.0, 410.0, 420.0, 430.0}), 0.0);
    ZELT_COMPARE_COLUMN(fx.column("sumPairs"), (Column{0.0, 50.0, 100.0, 150.0}), 0.0);
}

// A row between without a source height keeps its Recalc and the pass goes on to the end row;
// rows whose source equals the end row's are recomputed like any other.
void RecalcPassTest::emptySourceRowsKeepTarget()
{
    TraverseFixture fx;
    fx.addLegs({{0}, {50}, {50}, {50}, {50}});
    fx.setColumn("FillHeight", {400.0, std::nullopt, 440.0, 440.0, 440.0});
    fx.setColumn("Recalc", {std::nullopt, 999.0, std::nullopt, std::nullopt, std::nullopt});
    choose(fx, 1, CalcEnd::Start, 400);
    choose(fx, 5, CalcEnd::End, 460);
    recalculateHeights(*fx.doc);
    // a = 0, b = 20, span 200: corrections 0, 5, 10, 15, 20.
    ZELT_COMPARE_COLUMN(fx.column("Recalc"), (Column{400.0, 999.0, 450.0, 455.0, 460.0}), 1e-9);
}

void RecalcPassTest::rowsOutsideUntouched()
{
    TraverseFixture fx;
    fx.addLegs({{0}, {10}, {10}, {10}, {10}, {10}});
    fx.setColumn("FillHeight", {500.0, 510.0, 520.0, 530.0, 540.0, 550.0});
    fx.setColumn("Recalc", {1.0, 2.0, 3.0, 4.0, 5.0, 6.0});
    choose(fx, 2, CalcEnd::Start, 500);
    choose(fx, 4, CalcEnd::End, 540);
    recalculateHeights(*fx.doc);
    // a = 10, b = 10, span 20: row 3 = 510 + 20/20*10 = 520.
    ZELT_COMPARE_COLUMN(fx.column("Recalc"), (Column{1.0, 500.0, 520.0, 540.0, 5.0, 6.0}), 1e-9);
}

// The status texts after choosing, and the typed height written into Recalc at once.
void RecalcPassTest::choosingPrompts()
{
    TraverseFixture fx;
    workedTraverse(fx);
    fx.doc->table.setRecNo(3);
    QCOMPARE(chooseCalcRow(*fx.doc, CalcEnd::End, 425),
             std::string("Select Start Height and after press F10 to calculation"));
    QVERIFY(fx.doc->calcEndSelected && !fx.doc->calcStartSelected);
    fx.doc->table.setRecNo(1);
    QCOMPARE(chooseCalcRow(*fx.doc, CalcEnd::Start, 401), std::string("Select End Height and after press F9 key"));
    fx.doc->table.setRecNo(4);
    QCOMPARE(chooseCalcRow(*fx.doc, CalcEnd::End, 433),
             std::string("Press F10 key to calculation your Start and End Height"));
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("Recalc"), (Column{401.0, std::nullopt, 425.0, 433.0}), 0.0);
}

void RecalcPassTest::refusals_data()
{
    QTest::addColumn<int>("startRow");  // 0 = not chosen
    QTest::addColumn<int>("endRow");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing chosen") << 0 << 0 << int(PassRefused::Reason::NotSelected)
                                    << "The Start or Finish Height is not selected";
    QTest::newRow("only end") << 0 << 3 << int(PassRefused::Reason::NotSelected)
                              << "The Start or Finish Height is not selected";
    QTest::newRow("end before start") << 4 << 2 << int(PassRefused::Reason::EndBeforeStart) << "before the Start";
    QTest::newRow("same row") << 3 << 3 << int(PassRefused::Reason::SameRow) << "same row";
    QTest::newRow("zero span") << 2 << 4 << int(PassRefused::Reason::ZeroSpan) << "no pairs";
}

// Refused recalculations change nothing (not even the pace count) and leave the grid as it was.
void RecalcPassTest::refusals()
{
    QFETCH(int, startRow);
    QFETCH(int, endRow);
    QFETCH(int, reason);
    QFETCH(QString, message);
    TraverseFixture fx;
    fx.addLegs({{0}, {50}, {0}, {0}, {50}});
    fx.setColumn("FillHeight", {400.0, 410.0, 420.0, 430.0, 440.0});
    fx.setColumn("sumPairs", {7.0, 7.0, 7.0, 7.0, 7.0});  // stale on purpose
    if (startRow)
        choose(fx, startRow, CalcEnd::Start, 111);
    if (endRow)
        choose(fx, endRow, CalcEnd::End, 222);
    fx.doc->table.setRecNo(5);
    const auto before = snapshot(fx);
    try {
        recalculateHeights(*fx.doc);
        QFAIL("the recalculation must be refused");
    } catch (const PassRefused& e) {
        QCOMPARE(int(e.reason()), reason);
        QVERIFY2(QString::fromStdString(e.what()).contains(message), e.what());
    }
    QCOMPARE(fx.doc->table.recNo(), 5);
    QVERIFY(!fx.doc->table.controlsDisabled());
    fx.reopen();
    QVERIFY(snapshot(fx) == before);
}

// A chosen row deleted since: the pass ends without change and display updates resume.
void RecalcPassTest::deletedRow()
{
    TraverseFixture fx;
    workedTraverse(fx);
    choose(fx, 1, CalcEnd::Start, 402);
    choose(fx, 4, CalcEnd::End, 436);
    fx.doc->table.setRecNo(4);
    fx.doc->table.deleteRow();
    fx.doc->table.setRecNo(2);
    const auto before = snapshot(fx);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            if (attempt == 0)
                recalculateHeights(*fx.doc);
            else
                RecalcBetween(*fx.doc, "FillHeight", "Recalc");
            QFAIL("a deleted row must end the pass");
        } catch (const PassRefused& e) {
            QCOMPARE(e.reason(), PassRefused::Reason::RowDeleted);
        }
        QVERIFY(!fx.doc->table.controlsDisabled());
        QCOMPARE(fx.doc->table.recNo(), 2);
        QVERIFY(snapshot(fx) == before);
    }
}

// Called on its own with a pace count that gives no span, the pass refuses instead of dividing by 0.
void RecalcPassTest::staleSpanRefusedByPass()
{
    TraverseFixture fx;
    workedTraverse(fx);
    choose(fx, 1, CalcEnd::Start, 402);
    choose(fx, 4, CalcEnd::End, 436);
    fx.setColumn("sumPairs", {5.0, 5.0, 5.0, 5.0});
    QVERIFY_THROWS_EXCEPTION(PassRefused, RecalcBetween(*fx.doc, "FillHeight", "Recalc"));
    ZELT_COMPARE_COLUMN(fx.column("Recalc"), (Column{402.0, std::nullopt, std::nullopt, 436.0}), 0.0);
}

// Random traverses against the correction written out as a straight line between the ends.
void RecalcPassTest::randomTraverses()
{
    QRandomGenerator rng(77);
    for (int round = 0; round < 40; ++round) {
        const int n = 2 + static_cast<int>(rng.bounded(20));
        std::vector<Leg> legs;
        Column fill;
        for (int i = 0; i < n; ++i) {
            legs.push_back({i == 0 ? 0.0 : 1.0 + rng.bounded(150.0)});
            fill.push_back(rng.bounded(5) == 0 ? std::nullopt : std::optional<double>(rng.bounded(1500.0)));
        }
        TraverseFixture fx;
        fx.addLegs(legs);
        fx.setColumn("FillHeight", fill);
        const int s = static_cast<int>(rng.bounded(n - 1));
        const int e = s + 1 + static_cast<int>(rng.bounded(n - 1 - s));
        const double t1 = rng.bounded(1500.0), t2 = rng.bounded(1500.0);
        choose(fx, s + 1, CalcEnd::Start, t1);
        choose(fx, e + 1, CalcEnd::End, t2);
        const Column before = fx.column("Recalc");
        recalculateHeights(*fx.doc);

        const Column sums = fx.column("sumPairs");
        const double s1 = fill[s].value_or(0), s2 = fill[e].value_or(0);
        Column expected = before;
        for (int k = s + 1; k <= e; ++k) {
            if (!fill[k])
                continue;
            const double share = (*sums[k] - *sums[s]) / (*sums[e] - *sums[s]);
            expected[k] = *fill[k] + (t1 - s1) + share * ((t2 - s2) - (t1 - s1));
        }
        ZELT_COMPARE_COLUMN(fx.column("Recalc"), expected, 1e-7);
    }
}

QTEST_APPLESS_MAIN(RecalcPassTest)
#include "recalc_pass_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the pace count, Fill Height, percent heights, the begin-way shift and the survey values.
#include "compute/field_rules.h"
#include "compute/height_passes.h"
#include "paradox/paradox_table.h"
#include "traverse_fixture.h"
#include "watched_table.h"

#include <QRandomGenerator>
#include <QTest>

using namespace zelt::compute;
using zelt::test::Leg;
using zelt::test::TraverseFixture;
using Column = std::vector<std::optional<double>>;

Q_DECLARE_METATYPE(Column)
Q_DECLARE_METATYPE(std::vector<Leg>)

namespace {

constexpr double kHeightEps = 1e-9;  // heights are plain sums and ratios of exact inputs

/// Fill Height written the plain way: for each row look back and ahead for readings.
Column referenceFill(const Column& alt, const Column& sums, double startHeight)
{
    Column out(alt.size());
    for (std::size_t i = 0; i < alt.size(); ++i) {
        if (alt[i]) {
            out[i] = alt[i];
            continue;
        }
        double h0 = startHeight, c0 = 0;
        for (std::size_t k = i; k-- > 0;)
            if (alt[k]) {
                h0 = *alt[k];
                c0 = *sums[k];
                break;
            }
        std::optional<std::size_t> next;
        for (std::size_t k = i + 1; k < alt.size() && !next; ++k)
            if (alt[k])
                next = k;
        if (!next || *sums[*next] == c0)
            out[i] = h0;
        else
            out[i] = h0 + (*sums[i] - c0) * (*alt[*next] - h0) / (*sums[*next] - c0);
    }
    return out;
}

}  // namespace

class HeightPassesTest : public QObject {
    Q_OBJECT
private slots:
    void updateSumPairs();
    void fillHeights_data();
    void fillHeights();
    void fillHeightsRandom();
    void fillHeightNotesNameTheirRows();
    void percentHeights();
    void percentHeightsSmallTables();
    void percentHeightsRefusesUnusableRatio();
    void beginWayShift();
    void beginWayRefusedRowStopsShift();
    void beginWayRefusedAtStartRow();
    void beginWayEmptyTableAndLimits();
    void surveyValues();
    void emptyPairsRowsDoNotStopThePasses();
    void failedFlushEndsThePassWithAnError();
    void surveyValueChangesReachObservers();
    void passesOnClosedTable();
};

// Pace counts accumulate from the top; the current row stays where it was.
void HeightPassesTest::updateSumPairs()
{
    TraverseFixture fx;
    fx.addLegs({{0, 420.0}, {10}, {20}, {30}});
    auto& t = fx.doc->table;
    t.setRecNo(3);
    const auto r = UpdateSumPairs(*fx.doc);
    QCOMPARE(r.rowsPosted, 4);
    QCOMPARE(t.recNo(), 3);
    QVERIFY(!t.controlsDisabled());
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("sumPairs"), (Column{0.0, 10.0, 30.0, 60.0}), 0.0);
}

void HeightPassesTest::fillHeights_data()
{
    QTest::addColumn<std::vector<Leg>>("legs");
    QTest::addColumn<double>("startHeight");
    QTest::addColumn<Column>("expected");
    // The two worked tables: equal legs, then legs of unequal length.
    QTest::newRow("equal legs") << std::vector<Leg>{{0, 400.0}, {30}, {30}, {30, 430.0}} << 420.0
                                << Column{400.0, 410.0, 420.0, 430.0};
    QTest::newRow("by pace count") << std::vector<Leg>{{0, 400.0}, {10}, {60}, {30, 430.0}} << 420.0
                                   << Column{400.0, 403.0, 421.0, 430.0};
    QTest::newRow("all readings") << std::vector<Leg>{{0, 400.0}, {5, 401.5}, {7, 399.0}} << 420.0
                                  << Column{400.0, 401.5, 399.0};
    QTest::newRow("reading 0 closes a run") << std::vector<Leg>{{0, 100.0}, {10}, {10, 0.0}, {10}, {10, 50.0}}
                                            << 420.0 << Column{100.0, 50.0, 0.0, 25.0, 50.0};
    // Rows after the last reading take the last reading.
    QTest::newRow("open end") << std::vector<Leg>{{0, 400.0}, {10, 410.0}, {10}, {20}} << 420.0
                              << Column{400.0, 410.0, 410.0, 410.0};
    // Rows before the first reading start from StartHeight at pace count 0.
    QTest::newRow("open top") << std::vector<Leg>{{10}, {30}, {40, 500.0}, {10}} << 420.0
                              << Column{430.0, 460.0, 500.0, 500.0};
    QTest::newRow("no readings") << std::vector<Leg>{{0}, {10}, {20}} << 420.0 << Column{420.0, 420.0, 420.0};
    // A run of 0-pair legs closed by a 0-pair leg has no span: the anchor's height.
    QTest::newRow("zero span") << std::vector<Leg>{{0, 400.0}, {0}, {0}, {0, 430.0}, {10}, {10, 450.0}} << 420.0
                               << Column{400.0, 400.0, 400.0, 430.0, 440.0, 450.0};
    QTest::newRow("zero span at top") << std::vector<Leg>{{0}, {0, 380.0}} << 420.0 << Column{420.0, 380.0};
    QTest::newRow("single row") << std::vector<Leg>{{0}} << 333.0 << Column{333.0};
}

void HeightPassesTest::fillHeights()
{
    QFETCH(std::vector<Leg>, legs);
    QFETCH(double, startHeight);
    QFETCH(Column, expected);
    TraverseFixture fx;
    fx.addLegs(legs);
    fx.doc->startHeight = startHeight;
    auto& t = fx.doc->table;
    // The pass ends on the last row; the row current before it (the middle one) comes back.
    const int current = (t.rowCount() + 1) / 2;
    t.setRecNo(current);
    const auto before = fx.column("Altimeter");
    FillHeights(*fx.doc);
    QCOMPARE(t.recNo(), current);
    QVERIFY(!t.controlsDisabled());
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("FillHeight"), expected, kHeightEps);
    ZELT_COMPARE_COLUMN(fx.column("Altimeter"), before, 0.0);
}

// Rows Fill Height fills by its own choice (before the first reading, after the last, no reading
// at all) are noted, each note naming the first row of its run; a closed traverse gets none.
void HeightPassesTest::fillHeightNotesNameTheirRows()
{
    using zelt::document::Severity;
    const auto notesOf = [](const std::vector<Leg>& legs) {
        TraverseFixture fx;
        fx.addLegs(legs);
        std::vector<std::string> lines;
        for (const Diagnostic& d : FillHeights(*fx.doc).diagnostics) {
            if (d.severity != Severity::Note || d.field != "FillHeight")
                lines.push_back("not a FillHeight note: " + d.text);
            lines.push_back(zelt::document::diagnosticLine(d));
        }
        return lines;
    };
    using Lines = std::vector<std::string>;
    QCOMPARE(notesOf({{0, 400.0}, {10}, {10, 420.0}}), Lines{});
    QCOMPARE(notesOf({{10}, {30}, {40, 500.0}, {10}, {5}}),
             (Lines{"Row 1, FillHeight: rows 1 to 2 before the first reading are filled from the start height",
                    "Row 4, FillHeight: rows 4 to 5 after the last reading take the last reading"}));
    QCOMPARE(notesOf({{0, 400.0}, {10}}), Lines{"Row 2, FillHeight: row 2 after the last reading take the last reading"});
    QCOMPARE(notesOf({{0}, {10}, {20}}),
             Lines{"Row 1, FillHeight: no Altimeter reading: rows 1 to 3 take the start height"});
}

// Random traverses against the plain look-back/look-ahead computation.
void HeightPassesTest::fillHeightsRandom()
{
    QRandomGenerator rng(20240607);
    for (int round = 0; round < 40; ++round) {
        const int n = 1 + static_cast<int>(rng.bounded(25));
        std::vector<Leg> legs;
        for (int i = 0; i < n; ++i) {
            Leg leg;
            leg.pairs = rng.bounded(4) == 0 ? 0.0 : rng.bounded(200.0);
            if (rng.bounded(3) == 0)
                leg.altimeter = rng.bounded(3000.0);
            legs.push_back(leg);
        }
        TraverseFixture fx;
        fx.addLegs(legs);
        fx.doc->startHeight = rng.bounded(2000.0);
        FillHeights(*fx.doc);
        const auto expected = referenceFill(fx.column("Altimeter"), fx.column("sumPairs"), fx.doc->startHeight);
        ZELT_COMPARE_COLUMN(fx.column("FillHeight"), expected, 1e-7);
    }
}

// Start 420, ratio 64, legs (0,0), (64,10), (32,-20): heights 420, 429.950372, 420.144565.
void HeightPassesTest::percentHeights()
{
    TraverseFixture fx;
    fx.addLegs({{0, 420.0, 0}, {64, std::nullopt, 10}, {32, std::nullopt, -20}});
    attachFieldRules(*fx.doc);
    auto& t = fx.doc->table;
    t.setRecNo(2);
    const auto r = PercentHeights(*fx.doc);
    QCOMPARE(r.rowsPosted, 3);
    QCOMPARE(t.recNo(), 2);
    QVERIFY(!t.controlsDisabled());
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("FillHeight"), (Column{420.0, 429.950372, 420.144565}), 1e-6);
    ZELT_COMPARE_COLUMN(fx.column("id"), (Column{1.0, 2.0, 3.0}), 0.0);
    // The running sum is the sum of the displayed G.
    ZELT_COMPARE_COLUMN(fx.column("G"), (Column{0.0, 9.950372, -9.805807}), 1e-6);
}

// Fewer than 2 rows: nothing changes, not even id; all slopes 0 keep StartHeight.
void HeightPassesTest::percentHeightsSmallTables()
{
    TraverseFixture empty;
    QCOMPARE(PercentHeights(*empty.doc).rowsPosted, 0);
    TraverseFixture one;
    one.addLegs({{0, 420.0}});
    QCOMPARE(PercentHeights(*one.doc).rowsPosted, 0);
    QVERIFY(!one.number(0, "id"));
    QVERIFY(!one.number(0, "FillHeight"));

    TraverseFixture flat;
    flat.addLegs({{0, 420.0}, {50}, {70}, {10}});
    flat.doc->startHeight = 300;
    PercentHeights(*flat.doc);
    ZELT_COMPARE_COLUMN(flat.column("FillHeight"), (Column{300.0, 300.0, 300.0, 300.0}), 0.0);
    ZELT_COMPARE_COLUMN(flat.column("id"), (Column{1.0, 2.0, 3.0, 4.0}), 0.0);
}

// With a ratio of 0 (an empty .inf) or a start height outside the Altimeter range found in an .inf,
// the slopes cannot be turned into heights: refused, no change.
void HeightPassesTest::percentHeightsRefusesUnusableRatio()
{
    TraverseFixture fx;
    fx.addLegs({{0, 420.0}, {64, std::nullopt, 10}});
    fx.doc->pairsPer100m = 0;
    try {
        PercentHeights(*fx.doc);
        QFAIL("a ratio of 0 must be refused");
    } catch (const PassRefused& e) {
        QCOMPARE(e.reason(), PassRefused::Reason::UnusableRatio);
    }
    QVERIFY(!fx.doc->table.controlsDisabled());
    ZELT_COMPARE_COLUMN(fx.column("FillHeight"), (Column{std::nullopt, std::nullopt}), 0.0);
    fx.doc->pairsPer100m = 64;
    fx.doc->startHeight = 1.7976931348623157e308;
    QVERIFY_THROWS_EXCEPTION(PassRefused, PercentHeights(*fx.doc));
    ZELT_COMPARE_COLUMN(fx.column("FillHeight"), (Column{std::nullopt, std::nullopt}), 0.0);
}

// Offset 100 on readings 420, empty, 455 gives 520, empty, 555 and StartHeight 520; 0 changes nothing.
void HeightPassesTest::beginWayShift()
{
    TraverseFixture fx;
    fx.addLegs({{0, 420.0}, {10}, {10, 455.0}});
    fx.doc->table.setRecNo(2);
    const auto r = shiftBeginWay(*fx.doc, 100);
    QCOMPARE(r.rowsPosted, 2);
    QCOMPARE(fx.doc->startHeight, 520.0);
    QCOMPARE(fx.doc->table.recNo(), 2);
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("Altimeter"), (Column{520.0, std::nullopt, 555.0}), 0.0);
    QCOMPARE(shiftBeginWay(*fx.doc, 0).rowsPosted, 2);
    QCOMPARE(fx.doc->startHeight, 520.0);
    ZELT_COMPARE_COLUMN(fx.column("Altimeter"), (Column{520.0, std::nullopt, 555.0}), 0.0);
}

// A shift that takes a reading out of 0..3000 is refused with that row's range message before
// any row changes, so running it again after a fix never shifts a row twice.
void HeightPassesTest::beginWayRefusedRowStopsShift()
{
    TraverseFixture fx;
    fx.addLegs({{0, 900.0}, {10, 420.0}, {10, 1000.0}});
    fx.doc->startHeight = 900;
    fx.doc->table.setRecNo(3);
    try {
        shiftBeginWay(*fx.doc, -500);
        QFAIL("the shift must stop at the refused row");
    } catch (const zelt::document::EngineError& e) {
        QCOMPARE(std::string(e.what()),
                 std::string("-80 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000"));
    }
    QCOMPARE(fx.doc->startHeight, 900.0);
    QCOMPARE(fx.doc->table.recNo(), 3);
    QVERIFY(!fx.doc->table.controlsDisabled());
    QCOMPARE(fx.doc->table.state(), zelt::document::TraverseTable::State::Browse);
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("Altimeter"), (Column{900.0, 420.0, 1000.0}), 0.0);
}

// A shift refused at the start row, which carries the start height, names the field and its
// range as any row's refusal does; nothing moves.
void HeightPassesTest::beginWayRefusedAtStartRow()
{
    TraverseFixture fx;
    fx.addLegs({{0, 420.0}, {10}, {10, 455.0}});
    fx.doc->startHeight = 420;
    try {
        shiftBeginWay(*fx.doc, -500);
        QFAIL("the shift must be refused");
    } catch (const std::exception& e) {
        QCOMPARE(std::string(e.what()),
                 std::string("-80 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000"));
    }
    QCOMPARE(fx.doc->startHeight, 420.0);
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("Altimeter"), (Column{420.0, std::nullopt, 455.0}), 0.0);
}

// Without rows only the start height moves, and only within the range the survey values file
// holds (0 to 3000 m).
void HeightPassesTest::beginWayEmptyTableAndLimits()
{
    TraverseFixture fx;
    shiftBeginWay(*fx.doc, 30);
    QCOMPARE(fx.doc->startHeight, 450.0);
    for (double bad : {10000000.0, -10000000.0, std::numeric_limits<double>::quiet_NaN(), 2551.0, -451.0}) {
        QVERIFY_THROWS_EXCEPTION(PassRefused, shiftBeginWay(*fx.doc, bad));
        QCOMPARE(fx.doc->startHeight, 450.0);
    }
    shiftBeginWay(*fx.doc, 2550);
    QCOMPARE(fx.doc->startHeight, 3000.0);
}

// OK of the survey values: start height first, then the ratio, then the percent pass from the
// new start height; a ratio of 0 or less is refused and nothing changes.
void HeightPassesTest::surveyValues()
{
    TraverseFixture fx;
    fx.addLegs({{0, 420.0, 0}, {60, std::nullopt, 0}});
    attachFieldRules(*fx.doc);
    applySurveyValues(*fx.doc, 300, 60);
    QCOMPARE(fx.doc->startHeight, 300.0);
    QCOMPARE(fx.doc->pairsPer100m, 60.0);
    ZELT_COMPARE_COLUMN(fx.column("FillHeight"), (Column{300.0, 300.0}), 0.0);
    ZELT_COMPARE_COLUMN(fx.column("F"), (Column{0.0, 100.0}), 1e-12);
    QCOMPARE(fx.number(1, "metru"), std::optional<double>(0.0));  // stored metres are not recomputed
    for (double bad : {0.0, -64.0, 1e-320, 1000.5}) {
        try {
            applySurveyValues(*fx.doc, 500, bad);
            QFAIL("a ratio outside 1 to 1000 must be refused");
        } catch (const PassRefused& e) {
            QCOMPARE(e.reason(), PassRefused::Reason::UnusableRatio);
            QVERIFY(std::string(e.what()).find("Pairs per 100 m must be between 1 and 1000") != std::string::npos);
        }
        QCOMPARE(fx.doc->startHeight, 300.0);
        QCOMPARE(fx.doc->pairsPer100m, 60.0);
    }
    for (double bad : {1.7976931348623157e308, -1.0, 3000.5}) {
        try {
            applySurveyValues(*fx.doc, bad, 64);
            QFAIL("a start height outside the Altimeter range must be refused");
        } catch (const PassRefused& e) {
            QCOMPARE(e.reason(), PassRefused::Reason::OutOfLimits);
            QVERIFY(std::string(e.what()).find("start height must be between 0 and 3000") != std::string::npos);
        }
        QCOMPARE(fx.doc->startHeight, 300.0);
        QCOMPARE(fx.doc->pairsPer100m, 60.0);
    }
}

// Rows with an empty Pairs, as tables of other programs hold them, count as 0 in every pass:
// the passes run to the last row and the Pairs stay empty in the file.
void HeightPassesTest::emptyPairsRowsDoNotStopThePasses()
{
    TraverseFixture fx;
    fx.addLegs({{0, 420.0}, {10, std::nullopt, 10}, {20}, {30, 440.0}, {40}});
    auto& t = fx.doc->table;
    const int pairsAt = t.field("Pairs").fileIndex;
    t.close();
    {
        auto file = zelt::document::ParadoxTable::open(fx.path);
        const auto rows = file->readAll();
        for (std::size_t r : {std::size_t(1), std::size_t(2), std::size_t(4)}) {
            auto row = rows[r];
            row[static_cast<std::size_t>(pairsAt)] = zelt::document::Value{};
            file->updateRow(r, row);
        }
    }
    t.open();
    attachFieldRules(*fx.doc);
    QCOMPARE(UpdateSumPairs(*fx.doc).rowsPosted, 5);
    ZELT_COMPARE_COLUMN(fx.column("sumPairs"), (Column{0.0, 0.0, 0.0, 30.0, 30.0}), 0.0);
    QCOMPARE(FillHeights(*fx.doc).rowsPosted, 5);
    ZELT_COMPARE_COLUMN(fx.column("FillHeight"), (Column{420.0, 420.0, 420.0, 440.0, 440.0}), 0.0);
    QCOMPARE(PercentHeights(*fx.doc).rowsPosted, 5);
    ZELT_COMPARE_COLUMN(fx.column("FillHeight"), (Column{420.0, 420.0, 420.0, 420.0, 420.0}), 0.0);
    ZELT_COMPARE_COLUMN(fx.column("id"), (Column{1.0, 2.0, 3.0, 4.0, 5.0}), 0.0);
    t.first();
    chooseCalcRow(*fx.doc, CalcEnd::Start, 400);
    t.setRecNo(4);
    chooseCalcRow(*fx.doc, CalcEnd::End, 460);
    recalculateHeights(*fx.doc);
    ZELT_COMPARE_COLUMN(fx.column("Recalc"), (Column{400.0, 400.0, 400.0, 460.0, std::nullopt}), 1e-9);
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("Pairs"), (Column{0.0, std::nullopt, std::nullopt, 30.0, std::nullopt}), 0.0);
    ZELT_COMPARE_COLUMN(fx.column("F"), (Column{0.0, std::nullopt, std::nullopt, 46.875, std::nullopt}), 1e-9);
}

// A flush that fails when a pass ends (a pulled stick) is reported as the pass's error instead
// of ending the program; the rows were posted, the cursor is back and the display resumed.
void HeightPassesTest::failedFlushEndsThePassWithAnError()
{
    TraverseFixture fx;
    fx.addLegs({{0, 420.0}, {10}, {20, 430.0}});
    auto& file = zelt::test::reopenWatched(fx.doc->table);
    fx.doc->table.setRecNo(2);
    file.failFlush = true;
    for (auto pass : {&UpdateSumPairs, &FillHeights, &PercentHeights}) {
        try {
            pass(*fx.doc);
            QFAIL("the failed flush must be reported");
        } catch (const zelt::document::EngineError& e) {
            QVERIFY2(std::string(e.what()).find("Cannot flush the table") != std::string::npos, e.what());
        }
        QCOMPARE(fx.doc->table.recNo(), 2);
        QVERIFY(!fx.doc->table.controlsDisabled());
    }
    file.failFlush = false;
    fx.reopen();
    ZELT_COMPARE_COLUMN(fx.column("id"), (Column{1.0, 2.0, 3.0}), 0.0);
}

// Observers hear of each survey value change after it is made: begin-way after its rows were
// shifted and the display resumed, the survey values once; refused calls send nothing.
void HeightPassesTest::surveyValueChangesReachObservers()
{
    struct Listener : zelt::document::TableObserver {
        const zelt::document::Document* doc = nullptr;
        std::vector<std::pair<double, double>> seen;   // (start height, ratio) when told
        int resets = 0;
        void tableReset() override { ++resets; }
        void rowsInserted(int, int) override {}
        void rowsRemoved(int, int) override {}
        void rowChanged(int) override {}
        void currentChanged(int) override {}
        void stateChanged() override {}
        void surveyValuesChanged() override { seen.emplace_back(doc->startHeight, doc->pairsPer100m); }
    };
    TraverseFixture fx;
    fx.addLegs({{0, 420.0}, {10}});
    Listener l;
    l.doc = fx.doc.get();
    const auto registration = fx.doc->table.addObserver(&l);
    shiftBeginWay(*fx.doc, 10);
    QCOMPARE(l.seen, (std::vector<std::pair<double, double>>{{430.0, 64.0}}));
    QCOMPARE(l.resets, 1);
    QVERIFY_THROWS_EXCEPTION(PassRefused, shiftBeginWay(*fx.doc, 1e9));
    applySurveyValues(*fx.doc, 300, 50);
    applySurveyValues(*fx.doc, 300, 50);   // nothing changed
    QVERIFY_THROWS_EXCEPTION(PassRefused, applySurveyValues(*fx.doc, 300, 0));
    QCOMPARE(l.seen, (std::vector<std::pair<double, double>>{{430.0, 64.0}, {300.0, 50.0}}));
}

void HeightPassesTest::passesOnClosedTable()
{
    zelt::document::Document doc;
    QCOMPARE(UpdateSumPairs(doc).rowsPosted, 0);
    QCOMPARE(FillHeights(doc).rowsPosted, 0);
    QCOMPARE(PercentHeights(doc).rowsPosted, 0);
}

QTEST_APPLESS_MAIN(HeightPassesTest)
#include "height_passes_test.moc"

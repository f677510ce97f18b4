// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the row rules: lengths in pairs and metres, turn words, the calculated F and G.
#include "compute/field_rules.h"
#include "traverse_fixture.h"

#include "document/column_set.h"
#include "document/value_format.h"

#include <QTest>
#include <cmath>
#include <limits>

using zelt::compute::attachFieldRules;
using zelt::compute::legProjection;
using zelt::compute::turnText;
using zelt::test::Leg;
using zelt::test::TraverseFixture;

Q_DECLARE_METATYPE(std::optional<double>)

class FieldRulesTest : public QObject {
    Q_OBJECT
private slots:
    void legProjection_data();
    void legProjection();
    void noUsableRatio();
    void parseInteger_data();
    void parseInteger();
    void turnText_data();
    void turnText();
    void turnTextFollowsLiveColumns();
    void pairsRuleDerivesMetres();
    void metresRuleKeepsTypedValue();
    void metresRuleRefusedPairsKeepsRulesAttached();
    void ratioChangeKeepsMetresMovesFG();
    void zeroRatioConvertsNothing();
    void turnRuleThroughTextEntry();
};

// F and G of the worked examples (ratio 64) to the displayed hundredths.
void FieldRulesTest::legProjection_data()
{
    QTest::addColumn<double>("pairs");
    QTest::addColumn<double>("procent");
    QTest::addColumn<double>("f");
    QTest::addColumn<double>("g");
    QTest::newRow("flat") << 64.0 << 0.0 << 100.0 << 0.0;
    QTest::newRow("up 10%") << 64.0 << 10.0 << 99.503719 << 9.950372;
    QTest::newRow("down 20%") << 32.0 << -20.0 << 49.029034 << -9.805807;
    QTest::newRow("45 degrees") << 128.0 << 100.0 << 141.421356 << 141.421356;
    QTest::newRow("zero pairs") << 0.0 << 30.0 << 0.0 << 0.0;
    QTest::newRow("steepest") << 64.0 << -150.0 << 55.470020 << -83.205029;
}

void FieldRulesTest::legProjection()
{
    QFETCH(double, pairs);
    QFETCH(double, procent);
    QFETCH(double, f);
    QFETCH(double, g);
    const auto leg = zelt::compute::legProjection(pairs, procent, 64.0);
    QVERIFY(leg);
    QVERIFY(!std::isnan(leg->f) && !std::isnan(leg->g));
    QVERIFY2(std::fabs(leg->f - f) < 1e-6, qPrintable(QString::number(leg->f, 'f', 8)));
    QVERIFY2(std::fabs(leg->g - g) < 1e-6, qPrintable(QString::number(leg->g, 'f', 8)));
}

// A ratio outside 1 to 1000, or an empty Pairs, gives no F/G and no conversion rather than inf/NaN.
void FieldRulesTest::noUsableRatio()
{
    for (double ratio : {0.0, -0.0, -64.0, 1e-320, 0.5, 1000.5, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()}) {
        QVERIFY(!zelt::compute::legProjection(64.0, 10.0, ratio));
        QVERIFY(!zelt::compute::metresFromPairs(64.0, ratio));
        QVERIFY(!zelt::compute::pairsFromMetres(100.0, ratio));
        QVERIFY(!zelt::compute::isUsablePairsRatio(ratio));
    }
    QVERIFY(!zelt::compute::legProjection(std::nullopt, 10.0, 64.0));
    QCOMPARE(*zelt::compute::metresFromPairs(32.0, 64.0), 50.0);
    QCOMPARE(*zelt::compute::pairsFromMetres(50.0, 64.0), 32.0);
}

// The turn column reads typed numbers with leading spaces skipped, but not tabs.
void FieldRulesTest::parseInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "3" << true << 3;
    QTest::newRow("leading blanks") << "  2" << true << 2;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("minus") << "-2" << true << -2;
    QTest::newRow("dollar hex") << "$1F" << true << 31;
    QTest::newRow("x hex") << "x10" << true << 16;
    QTest::newRow("X hex") << "X0a" << true << 10;
    QTest::newRow("0x hex") << "0x7" << true << 7;
    QTest::newRow("0X hex") << "0XfF" << true << 255;
    QTest::newRow("negative hex") << "-$10" << true << -16;
    QTest::newRow("int max") << "2147483647" << true << 2147483647;
    QTest::newRow("int min") << "-2147483648" << true << std::numeric_limits<int>::min();
    QTest::newRow("hex max") << "$7FFFFFFF" << true << 2147483647;
    QTest::newRow("above int max") << "2147483648" << false << 0;
    QTest::newRow("hex above max") << "$80000000" << false << 0;
    QTest::newRow("huge") << "99999999999999999999999" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blanks only") << "   " << false << 0;
    QTest::newRow("trailing blank") << "3 " << false << 0;
    QTest::newRow("trailing text") << "3a" << false << 0;
    QTest::newRow("bare dollar") << "$" << false << 0;
    QTest::newRow("bare 0x") << "0x" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("word") << "Left" << false << 0;
    QTest::newRow("float") << "1.5" << false << 0;
    QTest::newRow("leading tab") << "\t3" << false << 0;
}

void FieldRulesTest::parseInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    const auto n = zelt::document::parseInteger(text.toStdString(), zelt::document::LeadingBlanks::SpacesOnly);
    QCOMPARE(n.has_value(), ok);
    if (ok)
        QCOMPARE(*n, value);
}

void FieldRulesTest::turnText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("1") << "1" << "Left";
    QTest::newRow("3") << "3" << "Center";
    QTest::newRow("7") << "7" << "Centr_Object";
    QTest::newRow("hex 4") << "$4" << "Left_Object";
    QTest::newRow("blank 2") << " 2" << "Right";
    QTest::newRow("8 beyond the list") << "8" << "8";
    QTest::newRow("0") << "0" << "0";
    QTest::newRow("-1") << "-1" << "-1";
    QTest::newRow("word") << "Right" << "Right";
    QTest::newRow("empty") << "" << "";
}

// The default turn list maps typed numbers to words; anything else is kept as typed.
void FieldRulesTest::turnText()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    const auto columns = zelt::document::ColumnSet::builtIn();
    QCOMPARE(zelt::compute::turnText(typed.toStdString(), columns), stored.toStdString());
}

// The mapping reads the pick list of the first column showing Povorot, whatever the layout.
void FieldRulesTest::turnTextFollowsLiveColumns()
{
    zelt::document::ColumnSet columns;
    QCOMPARE(zelt::compute::turnText("1", columns), std::string("1"));  // no turn column
    zelt::document::Column plain;
    plain.fieldName = "Povorot";
    columns.columns.push_back(plain);
    QCOMPARE(zelt::compute::turnText("1", columns), std::string("1"));  // no pick list
    zelt::document::Column listed;
    listed.fieldName = "povorot";
    listed.pickList = std::vector<std::string>{"A", "B"};
    columns.columns.insert(columns.columns.begin(), listed);
    QCOMPARE(zelt::compute::turnText("2", columns), std::string("B"));
    QCOMPARE(zelt::compute::turnText("3", columns), std::string("3"));
}

// Setting Pairs posts the row at once and derives metru; metru's own rule does not run.
void FieldRulesTest::pairsRuleDerivesMetres()
{
    TraverseFixture fx;
    fx.addLegs({{0.0, 420.0}});
    attachFieldRules(*fx.doc);
    auto& t = fx.doc->table;
    t.append();
    t.setFloat("Pairs", 32);
    QCOMPARE(t.state(), zelt::document::TraverseTable::State::Browse);
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(t.asFloat("metru"), 50.0);
    QVERIFY(t.isChangeHookAttached("Pairs") && t.isChangeHookAttached("metru"));
    fx.reopen();
    QCOMPARE(*fx.number(1, "Pairs"), 32.0);
    QCOMPARE(*fx.number(1, "metru"), 50.0);
    // 0 pairs give 0 metres and F, G of 0.00.
    t.last();
    t.setFloat("Pairs", 0);
    QCOMPARE(*fx.number(1, "metru"), 0.0);
}

// A typed metres value is stored as typed; pairs follow, and metres are not recomputed.
void FieldRulesTest::metresRuleKeepsTypedValue()
{
    TraverseFixture fx;
    fx.addLegs({{0.0, 420.0}, {10.0}});
    attachFieldRules(*fx.doc);
    auto& t = fx.doc->table;
    t.last();
    t.setFloat("metru", 33.3);
    QCOMPARE(t.asFloat("metru"), 33.3);
    QCOMPARE(t.asFloat("Pairs"), 33.3 / 100.0 * 64.0);
    fx.reopen();
    QCOMPARE(*fx.number(1, "metru"), 33.3);
}

// Negative metres are posted, then the derived negative Pairs is refused with the range
// message; Pairs keeps its old value and both rules are attached again.
void FieldRulesTest::metresRuleRefusedPairsKeepsRulesAttached()
{
    TraverseFixture fx;
    fx.addLegs({{0.0, 420.0}, {10.0}});
    attachFieldRules(*fx.doc);
    auto& t = fx.doc->table;
    t.last();
    try {
        t.setFloat("metru", -5);
        QFAIL("a negative length must be refused");
    } catch (const zelt::document::EngineError& e) {
        QVERIFY2(std::string(e.what()).find("is not a valid value for field 'Pairs'") != std::string::npos, e.what());
    }
    QVERIFY(t.isChangeHookAttached("Pairs"));
    QVERIFY(t.isChangeHookAttached("metru"));
    t.cancel();
    fx.reopen();
    QCOMPARE(*fx.number(1, "metru"), -5.0);
    QCOMPARE(*fx.number(1, "Pairs"), 10.0);
}

// After the ratio changes, stored metres stay; F and G follow the new ratio at once.
void FieldRulesTest::ratioChangeKeepsMetresMovesFG()
{
    TraverseFixture fx;
    fx.addLegs({{0.0, 420.0}});
    attachFieldRules(*fx.doc);
    auto& t = fx.doc->table;
    t.append();
    t.setFloat("Pairs", 64);
    QCOMPARE(t.displayText("F"), std::string("100.00"));
    QCOMPARE(t.displayText("G"), std::string("0.00"));
    fx.doc->pairsPer100m = 32.0;
    t.recalculate();
    QCOMPARE(t.asFloat("metru"), 100.0);
    QCOMPARE(t.displayText("F"), std::string("200.00"));
    QCOMPARE(*fx.number(1, "F"), 200.0);
}

// With an unusable ratio (0, a denormal or a huge value from an .inf) no length is converted:
// the other length, F and G are left empty, never inf, NaN or the stale value of the old length.
void FieldRulesTest::zeroRatioConvertsNothing()
{
    for (double ratio : {0.0, 1e-320, 5000.0}) {
        TraverseFixture fx;
        fx.addLegs({{0.0, 420.0}, {64.0}});
        fx.doc->pairsPer100m = 64.0;
        attachFieldRules(*fx.doc);
        auto& t = fx.doc->table;
        t.last();
        t.setFloat("Pairs", 50);
        QCOMPARE(t.asFloat("metru"), 78.125);
        fx.doc->pairsPer100m = ratio;
        t.recalculate();
        t.setFloat("Pairs", 100);
        QCOMPARE(t.asFloat("Pairs"), 100.0);
        QVERIFY(t.isNull("metru"));
        QVERIFY(t.isNull("F"));
        QVERIFY(t.isNull("G"));
        QCOMPARE(t.displayText("F"), std::string());
        t.setFloat("metru", 40);
        QCOMPARE(t.asFloat("metru"), 40.0);
        QVERIFY(t.isNull("Pairs"));
        QVERIFY(!fx.number(1, "F"));
        QVERIFY(t.isChangeHookAttached("Pairs") && t.isChangeHookAttached("metru"));
        fx.reopen();
        QVERIFY(!fx.number(1, "Pairs"));
        QCOMPARE(fx.number(1, "metru"), std::optional<double>(40.0));
    }
}

// Typed turn text goes through the rule; a value set by code is stored unchanged.
void FieldRulesTest::turnRuleThroughTextEntry()
{
    TraverseFixture fx;
    fx.addLegs({{0.0, 420.0}});
    attachFieldRules(*fx.doc);
    auto& t = fx.doc->table;
    t.enterText("Povorot", "3");
    QCOMPARE(t.asText("Povorot"), std::string("Center"));
    t.setText("Povorot", "3");
    QCOMPARE(t.asText("Povorot"), std::string("3"));
    fx.doc->columns.columns.clear();
    t.enterText("Povorot", "3");
    QCOMPARE(t.asText("Povorot"), std::string("3"));
    t.post();
}

QTEST_APPLESS_MAIN(FieldRulesTest)
#include "field_rules_test.moc"

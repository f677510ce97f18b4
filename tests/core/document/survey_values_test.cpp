// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the survey value ranges shared by the command line, the dialog, the passes and the exports.
#include "document/survey_values.h"

#include "test_support.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace zelt::document;

class SurveyValuesTest : public QObject {
    Q_OBJECT
private slots:
    void ranges_data();
    void ranges();
    void messages();
};

void SurveyValuesTest::ranges_data()
{
    QTest::addColumn<double>("pairs");
    QTest::addColumn<double>("start");
    QTest::addColumn<bool>("pairsUsable");
    QTest::addColumn<bool>("startUsable");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("defaults") << 64.0 << 420.0 << true << true;
    QTest::newRow("lower ends") << 1.0 << 0.0 << true << true;
    QTest::newRow("upper ends") << 1000.0 << 3000.0 << true << true;
    QTest::newRow("just outside") << 0.999 << 3000.01 << false << false;
    QTest::newRow("zero and negative") << 0.0 << -0.5 << false << false;
    QTest::newRow("denormal ratio, huge height") << 1e-320 << 1.7976931348623157e308 << false << false;
    QTest::newRow("huge ratio") << 1000.5 << 100.0 << false << true;
    QTest::newRow("infinities") << inf << -inf << false << false;
    QTest::newRow("not a number") << nan << nan << false << false;
}

// Values inside the ranges are usable, ends included; anything else, NaN and infinities
// included, is not.
void SurveyValuesTest::ranges()
{
    QFETCH(double, pairs);
    QFETCH(double, start);
    QFETCH(bool, pairsUsable);
    QFETCH(bool, startUsable);
    QCOMPARE(isUsablePairsRatio(pairs), pairsUsable);
    QCOMPARE(isUsableStartHeight(start), startUsable);
    const auto problem = surveyValuesProblem(pairs, start);
    QCOMPARE(problem.has_value(), !(pairsUsable && startUsable));
    if (!pairsUsable)
        QCOMPARE(*problem, pairsRatioMessage(pairs));  // the ratio is named first
    else if (!startUsable)
        QCOMPARE(*problem, startHeightMessage(start));
}

// The messages state the range and the value that was refused.
void SurveyValuesTest::messages()
{
    QCOMPARE(pairsRatioMessage(0), std::string("Pairs per 100 m must be between 1 and 1000 (it is 0)"));
    QCOMPARE(startHeightMessage(5000), std::string("The start height must be between 0 and 3000 m (it is 5000)"));
}

QTEST_APPLESS_MAIN(SurveyValuesTest)
#include "survey_values_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of zelt-cli settings, begin-way, fill-heights, percent-heights and recalc on table files.
#include "cli_fixture.h"

#include <QTemporaryDir>

#include <cmath>
#include <fstream>
#include <QTest>

using namespace zelt::test;
using Column = std::vector<std::optional<double>>;

namespace {

/// Start row at 400, two legs without reading, a closing reading of 430 (pace counts 0, 10, 70, 100).
void fourLegs(const std::filesystem::path& p, double ratio = 64.0)
{
    const double pairs[] = {0, 10, 60, 30};
    makeTable(p, 4, [&](zelt::document::TraverseTable& t, int i) {
        t.setFloat("Pairs", pairs[i]);
        if (i == 0)
            t.setFloat("Altimeter", 400);
        if (i == 3)
            t.setFloat("Altimeter", 430);
        t.setInteger("Procent", i == 1 ? 10 : 0);
    }, ratio);
}

std::pair<double, double> infValues(const std::filesystem::path& p)
{
    double pairs = -1, start = -1;
    zelt::document::readInf(zelt::document::companionPath(p, ".inf"), pairs, start);
    return {pairs, start};
}

}  // namespace

class ComputeCliTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); m_table = std::filesystem::path(m_dir.path().toStdString()) / "w.db"; }
    void cleanup() { std::filesystem::remove_all(m_dir.path().toStdString()); std::filesystem::create_directories(m_dir.path().toStdString()); }
    void fillHeights();
    void fillHeightsNotesGoToStandardError();
    void settingsRunsPercentPass();
    void settingsRefusesBadRatio();
    void percentHeightsWithEmptyInf();
    void beginWay();
    void beginWayRefusedRow();
    void recalc();
    void recalcRefusedChangesNothing();
    void usageErrors();

private:
    QTemporaryDir m_dir;
    std::filesystem::path m_table;
};

// The second worked Fill Height table: pace counts 0, 10, 70, 100 give 400, 403, 421, 430.
void ComputeCliTest::fillHeights()
{
    fourLegs(m_table);
    const auto r = runCli({QStringLiteral("fill-heights"), QString::fromStdString(m_table.string())});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(nearly(readColumn(m_table, "FillHeight"), Column{400.0, 403.0, 421.0, 430.0}, 1e-9));
    QVERIFY(nearly(readColumn(m_table, "sumPairs"), Column{0.0, 10.0, 70.0, 100.0}, 0));
}

// Rows after the last reading are noted on standard error, one line naming the row and field;
// standard output keeps only the count, as for a closed traverse.
void ComputeCliTest::fillHeightsNotesGoToStandardError()
{
    const double pairs[] = {0, 10, 60, 30};
    makeTable(m_table, 4, [&](zelt::document::TraverseTable& t, int i) {
        t.setFloat("Pairs", pairs[i]);
        if (i < 2)
            t.setFloat("Altimeter", 400 + i);
    });
    const auto r = runCli({QStringLiteral("fill-heights"), QString::fromStdString(m_table.string())});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("fill-heights: 4 rows posted\n"));
    QCOMPARE(r.err, QStringLiteral("note: Row 3, FillHeight: rows 3 to 4 after the last reading take the last reading\n"));
    QVERIFY(nearly(readColumn(m_table, "FillHeight"), Column{400.0, 401.0, 401.0, 401.0}, 0));
}

// OK of the survey values dialog: both values reach the .inf, the percent pass starts at 300.
void ComputeCliTest::settingsRunsPercentPass()
{
    fourLegs(m_table);
    const auto r = runCli({QStringLiteral("settings"), QString::fromStdString(m_table.string()),
                           QStringLiteral("--pairs-per-100m"), QStringLiteral("50"),
                           QStringLiteral("--start-height"), QStringLiteral("300")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(infValues(m_table), std::make_pair(50.0, 300.0));
    // Leg 2: 10 pairs at 50/100 m is 20 m on a 10% slope: G = 0.1 * 20 * cos(atan(0.1)).
    const double g = 0.1 * 20.0 * std::cos(std::atan(0.1));
    QVERIFY(nearly(readColumn(m_table, "FillHeight"), Column{300.0, 300.0 + g, 300.0 + g, 300.0 + g}, 1e-9));
    QVERIFY(nearly(readColumn(m_table, "id"), Column{1.0, 2.0, 3.0, 4.0}, 0));
}

// Values that would break later work are refused with exit status 1 and change nothing: a ratio
// outside 1 to 1000 pairs per 100 m, a start height outside the Altimeter range.
void ComputeCliTest::settingsRefusesBadRatio()
{
    fourLegs(m_table);
    const QString ratioMessage = QStringLiteral("Pairs per 100 m must be between 1 and 1000");
    const QString startMessage = QStringLiteral("The start height must be between 0 and 3000 m");
    const std::pair<const char*, QString> bad[] = {
        {"--pairs-per-100m=0", ratioMessage},         {"--pairs-per-100m=-3", ratioMessage},
        {"--pairs-per-100m=1e-320", ratioMessage},    {"--pairs-per-100m=1000.5", ratioMessage},
        {"--start-height=1.7976931348623157e308", startMessage}, {"--start-height=-1", startMessage},
    };
    for (const auto& [option, message] : bad) {
        const QString text = QString::fromLatin1(option);
        const auto r = runCli({QStringLiteral("settings"), QString::fromStdString(m_table.string()),
                               text.section(QLatin1Char('='), 0, 0), text.section(QLatin1Char('='), 1)});
        QCOMPARE(r.exitCode, 2);  // a value the survey values cannot take
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(infValues(m_table), std::make_pair(64.0, 420.0));
        QVERIFY(nearly(readColumn(m_table, "FillHeight"), Column(4), 0));
    }
    const auto r = runCli({QStringLiteral("settings"), QString::fromStdString(m_table.string()),
                           QStringLiteral("--pairs-per-100m"), QStringLiteral("six")});
    QCOMPARE(r.exitCode, 2);
    const auto ends = runCli({QStringLiteral("settings"), QString::fromStdString(m_table.string()),
                              QStringLiteral("--pairs-per-100m"), QStringLiteral("1000"),
                              QStringLiteral("--start-height"), QStringLiteral("3000")});
    QVERIFY2(ends.exitCode == 0, qPrintable(ends.err));
    QCOMPARE(infValues(m_table), std::make_pair(1000.0, 3000.0));
}

// An empty .inf, or one holding values out of range, is damaged: the pass is refused naming the
// file, and the file stays as it was (nothing writes 0/0 over the table's values).
void ComputeCliTest::percentHeightsWithEmptyInf()
{
    fourLegs(m_table);
    const std::filesystem::path inf = zelt::document::companionPath(m_table, ".inf");
    std::ofstream(inf, std::ios::trunc).close();
    auto r = runCli({QStringLiteral("percent-heights"), QString::fromStdString(m_table.string())});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral(".inf' is damaged: it is empty")), qPrintable(r.err));
    QVERIFY(nearly(readColumn(m_table, "FillHeight"), Column(4), 0));
    QCOMPARE(std::filesystem::file_size(inf), std::uintmax_t(0));
    zelt::document::writeInf(inf, 64, 5000);
    r = runCli({QStringLiteral("percent-heights"), QString::fromStdString(m_table.string())});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("the start height must be between 0 and 3000 m")), qPrintable(r.err));
    QVERIFY(nearly(readColumn(m_table, "FillHeight"), Column(4), 0));
}

// Offset 100: readings 400, -, -, 430 become 500, -, -, 530 and StartHeight 520.
void ComputeCliTest::beginWay()
{
    fourLegs(m_table);
    const auto r = runCli({QStringLiteral("begin-way"), QString::fromStdString(m_table.string()), QStringLiteral("100")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(nearly(readColumn(m_table, "Altimeter"), Column{500.0, std::nullopt, std::nullopt, 530.0}, 0));
    QCOMPARE(infValues(m_table).second, 520.0);
}

// A shift below 0 is refused at that row with the range message; StartHeight stays.
void ComputeCliTest::beginWayRefusedRow()
{
    fourLegs(m_table);
    const auto r = runCli({QStringLiteral("begin-way"), QString::fromStdString(m_table.string()), QStringLiteral("-410")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("-10 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000")),
             qPrintable(r.err));
    QVERIFY(nearly(readColumn(m_table, "Altimeter"), Column{400.0, std::nullopt, std::nullopt, 430.0}, 0));
    QCOMPARE(infValues(m_table).second, 420.0);
    // Start height and first reading both leave the range: the reading's message, naming the field.
    const auto start = runCli({QStringLiteral("begin-way"), QString::fromStdString(m_table.string()), QStringLiteral("-425")});
    QCOMPARE(start.exitCode, 1);
    QVERIFY2(start.err.contains(QStringLiteral("-25 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000")),
             qPrintable(start.err));
    QCOMPARE(infValues(m_table).second, 420.0);
    const auto limits = runCli({QStringLiteral("begin-way"), QString::fromStdString(m_table.string()),
                                QStringLiteral("10000000")});
    QCOMPARE(limits.exitCode, 1);
}

// Fill Height then recalc from row 1 at 402 to row 4 at 436.
void ComputeCliTest::recalc()
{
    fourLegs(m_table);
    QCOMPARE(runCli({QStringLiteral("fill-heights"), QString::fromStdString(m_table.string())}).exitCode, 0);
    const auto r = runCli({QStringLiteral("recalc"), QString::fromStdString(m_table.string()), QStringLiteral("--start"),
                           QStringLiteral("1:402"), QStringLiteral("--end"), QStringLiteral("4:436")});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    // a = -2, b = 6: the correction grows from 2 to 6 over 100 pairs.
    QVERIFY(nearly(readColumn(m_table, "Recalc"), Column{402.0, 403.0 + 2.4, 421.0 + 4.8, 436.0}, 1e-9));
}

void ComputeCliTest::recalcRefusedChangesNothing()
{
    fourLegs(m_table);
    const struct {
        const char* start;
        const char* end;
        const char* message;
    } cases[] = {{"3:400", "2:410", "before the Start"}, {"2:400", "2:410", "same row"}};
    for (const auto& c : cases) {
        const auto r = runCli({QStringLiteral("recalc"), QString::fromStdString(m_table.string()),
                               QStringLiteral("--start"), QString::fromLatin1(c.start), QStringLiteral("--end"),
                               QString::fromLatin1(c.end)});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QString::fromLatin1(c.message)), qPrintable(r.err));
        QVERIFY(nearly(readColumn(m_table, "Recalc"), Column(4), 0));
        QVERIFY(nearly(readColumn(m_table, "sumPairs"), Column(4), 0));
    }
}

void ComputeCliTest::usageErrors()
{
    fourLegs(m_table);
    const QString t = QString::fromStdString(m_table.string());
    QCOMPARE(runCli({QStringLiteral("recalc"), t, QStringLiteral("--start"), QStringLiteral("1:400")}).exitCode, 2);
    QCOMPARE(runCli({QStringLiteral("recalc"), t, QStringLiteral("--start"), QStringLiteral("0:400"),
                     QStringLiteral("--end"), QStringLiteral("4:400")}).exitCode, 2);
    QCOMPARE(runCli({QStringLiteral("recalc"), t, QStringLiteral("--start"), QStringLiteral("1:400"),
                     QStringLiteral("--end"), QStringLiteral("9:400")}).exitCode, 2);
    QCOMPARE(runCli({QStringLiteral("begin-way"), t}).exitCode, 2);
    QCOMPARE(runCli({QStringLiteral("begin-way"), t, QStringLiteral("1e")}).exitCode, 2);
    QCOMPARE(runCli({QStringLiteral("fill-heights")}).exitCode, 2);
    QCOMPARE(runCli({QStringLiteral("fill-heights"), QString::fromStdString((m_table.parent_path() / "none.db").string())})
                 .exitCode, 1);
}

QTEST_APPLESS_MAIN(ComputeCliTest)
#include "compute_cli_test.moc"

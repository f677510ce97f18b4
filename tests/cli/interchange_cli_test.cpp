// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli paste, export-txt and export-xlsx run as the user runs them, on tables in a
// temporary folder.
#include "cli_fixture.h"
#include "test_support.h"

#include "document/column_set.h"
#include "interchange/layout_stream.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fstream>

using namespace zelt::test;
namespace fs = std::filesystem;
using Column = std::vector<std::optional<double>>;

namespace {

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

class InterchangeCliTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void pasteFillsAndAppendsWithTheRules();
    void pasteReadsStandardInputAndTheLocale();
    void pasteStopsAtARefusedLine();
    void pasteRefusesBadUsage();
    void exportTxtWritesAllOrVisibleFields();
    void exportXlsxWritesAWorkbook();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    fs::path m_table;
};

void InterchangeCliTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_table = fs::path(m_dir->path().toStdString()) / "way.db";
    makeTable(m_table, 2, [](zelt::document::TraverseTable& t, int i) { t.setInteger("Azimuth", 10 * (i + 1)); });
}

// Pair counts pasted from row 2 fill it, append two rows and set their metres (64 pairs per 100 m).
void InterchangeCliTest::pasteFillsAndAppendsWithTheRules()
{
    const fs::path text = fs::path(m_dir->path().toStdString()) / "clip.txt";
    std::ofstream(text, std::ios::binary) << "32\r\n64\r\n16\r\n";
    const CliRun r = runCli({"paste", q(m_table), "--field", "pairs", "--row", "2", q(text)});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("paste: 3 lines into Pairs from row 2\n"));
    QVERIFY(nearly(readColumn(m_table, "Pairs"), Column{0.0, 32.0, 64.0, 16.0}, 0));
    QVERIFY(nearly(readColumn(m_table, "metru"), Column{0.0, 50.0, 100.0, 25.0}, 1e-9));
    QVERIFY(nearly(readColumn(m_table, "Azimuth"), Column{10.0, 20.0, 0.0, 0.0}, 0));
    QVERIFY(fs::exists(zelt::document::companionPath(m_table, ".ing")));
}

void InterchangeCliTest::pasteReadsStandardInputAndTheLocale()
{
    const CliRun r = runCli({"paste", q(m_table), "--field", "Altimeter", "--locale", "de_DE", "-"},
                                  "250,5\n251\n");
    QCOMPARE(r.exitCode, 0);
    QVERIFY(nearly(readColumn(m_table, "Altimeter"), Column{250.5, 251.0}, 1e-9));
}

void InterchangeCliTest::pasteStopsAtARefusedLine()
{
    const CliRun r = runCli({"paste", q(m_table), "--field", "Azimuth"}, "5\r\nnorth\r\n7\r\n");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Invalid variant type conversion")), qPrintable(r.err));
    QVERIFY(nearly(readColumn(m_table, "Azimuth"), Column{10.0, 20.0}, 0));   // a failed paste changes nothing

    const CliRun unknown = runCli({"paste", q(m_table), "--field", "Hoehe"}, "1\n");
    QCOMPARE(unknown.exitCode, 2);
    QVERIFY2(unknown.err.contains(QStringLiteral("Hoehe")), qPrintable(unknown.err));
}

void InterchangeCliTest::pasteRefusesBadUsage()
{
    QCOMPARE(runCli({"paste", q(m_table)}, "1\n").exitCode, 2);
    QCOMPARE(runCli({"paste", q(m_table), "--field", "Pairs", "--row", "0"}, "1\n").exitCode, 2);
    const CliRun past = runCli({"paste", q(m_table), "--field", "Pairs", "--row", "3"}, "1\n");
    QCOMPARE(past.exitCode, 2);
    QVERIFY(nearly(readColumn(m_table, "Pairs"), Column{0.0, 0.0}, 0));
}

void InterchangeCliTest::exportTxtWritesAllOrVisibleFields()
{
    const fs::path dir = m_dir->path().toStdString();
    QCOMPARE(runCli({"export-txt", q(m_table), q(dir / "all.txt")}).exitCode, 0);
    QCOMPARE(readFile(dir / "all.txt"), QByteArray("10;0;0;;;;0.00;0.00;0.00;;;;;;\r\n20;0;0;;;;0.00;0.00;0.00;;;;;;\r\n"));
    QCOMPARE(runCli({"export-txt", q(m_table), q(dir / "vis.txt"), "--visible"}).exitCode, 0);
    QCOMPARE(readFile(dir / "vis.txt"), QByteArray("10;0;;;;;;;;\r\n20;0;;;;;;;;\r\n"));

    // A layout given on the command line decides the visible columns.
    zelt::document::ColumnSet layout;
    layout.columns.resize(2);
    layout.columns[0].fieldName = "Pairs";
    layout.columns[1].fieldName = "AZIMUTH";
    zelt::interchange::saveGridLayout(layout, dir / "two.ing");
    QCOMPARE(runCli({"export-txt", q(m_table), q(dir / "two.txt"), "--visible", "--layout", q(dir / "two.ing")}).exitCode, 0);
    QCOMPARE(readFile(dir / "two.txt"), QByteArray("0;10;\r\n0;20;\r\n"));

    const CliRun bad = runCli({"export-txt", q(m_table), q(dir / "no" / "x.txt")});
    QCOMPARE(bad.exitCode, 1);
    QVERIFY2(bad.err.contains(q(dir / "no" / "x.txt") + QStringLiteral("': No such file or directory")), qPrintable(bad.err));
}

void InterchangeCliTest::exportXlsxWritesAWorkbook()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    const fs::path out = fs::path(m_dir->path().toStdString()) / "t.xlsx";
    const CliRun r = runCli({"export-xlsx", q(m_table), q(out)});
    QCOMPARE(r.exitCode, 0);
    // The sheet is written row by row, with its texts in their cells.
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), q(out), QStringLiteral("xl/worksheets/sheet1.xml")});
    unzip.waitForFinished();
    const QString sheet = QString::fromUtf8(unzip.readAllStandardOutput());
    for (const char* text : {"Azimuth", "Pairs", "Altimeter", "Povorot", "Mark", "sumPairs", "FillHeight", "Recalc",
                             "<t>id</t>"})
        QVERIFY2(sheet.contains(QLatin1String(text)), text);
    // The pairs are numbers in the sheet, not texts.
    for (const char* number : {"<v>10</v>", "<v>20</v>"})
        QVERIFY2(sheet.contains(QLatin1String(number)), qPrintable(sheet));
}

QTEST_APPLESS_MAIN(InterchangeCliTest)
#include "interchange_cli_test.moc"

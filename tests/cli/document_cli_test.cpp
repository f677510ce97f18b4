// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli new, info, dump and import run as the user runs them, on tables in a temporary folder.
#include "cli_fixture.h"
#include "test_support.h"

#include "paradox/paradox_table.h"
#include "document/traverse_schema.h"
#include "interchange/layout_stream.h"

#include <QTemporaryDir>

#include <fstream>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

using Run = CliBytesRun;

/// Runs zelt-cli with `input` on its standard input and keeps the output bytes as they are.
Run cli(const QStringList& args, const QByteArray& input = {}) { return runCliBytes(args, input); }

void writeFile(const fs::path& p, const QByteArray& bytes)
{
    std::ofstream(p, std::ios::binary).write(bytes.constData(), bytes.size());
}

const QByteArray kStartRow = "0;0;0;;;;0.00;0.00;0.00;420.0;;;;;\r\n";

}  // namespace

class DocumentCliTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void newCreatesTableWithStartRow();
    void newRefusesAnExistingFile();
    void importAndDump();
    void importTabsFromStandardInputWithLocale();
    void importStopsAtTheBadLine();
    void importRefusesUnknownField();
    void info();
    void openingAppliesStartRowAndInf();
    void layoutOption();
    void missingAndForeignTables();
    void usage();
    void sampleTraverse();

private:
    QString table(const char* name = "w.db") const { return m_dir->filePath(name); }
    fs::path file(const char* name) const { return fs::path(m_dir->path().toStdString()) / name; }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void DocumentCliTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void DocumentCliTest::newCreatesTableWithStartRow()
{
    const Run r = cli({"new", table()});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readFile(file("w.inf")), QByteArray(" 6.40000000000000E+0001\r\n 4.20000000000000E+0002\r\n"));
    QVERIFY(fs::file_size(file("w.ing")) > 0);
    const Run dump = cli({"dump", table()});
    QCOMPARE(dump.exitCode, 0);
    QCOMPARE(dump.out, kStartRow);
}

void DocumentCliTest::newRefusesAnExistingFile()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    const QByteArray before = readFile(file("w.db"));
    const Run r = cli({"new", table()});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("already exists"), qPrintable(r.err));
    QCOMPARE(readFile(file("w.db")), before);
}

void DocumentCliTest::importAndDump()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    writeFile(file("in.txt"), "Azimuth;Pairs;Procent;Povorot;Mark;Altimeter\n"
                              "90;64;10;3;mark A;\n"
                              "\n"
                              "180;32;-20;Left;;350;\n");
    const Run r = cli({"import", table(), m_dir->filePath("in.txt")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains("import: 2 rows"), r.out.constData());
    // Typed through the field rules: "3" became a turn word, metres and F/G follow from the pairs.
    const QByteArray all = kStartRow
        + "90;64;10;Center;mark A;;100.00;99.50;9.95;;;;;;\r\n"
        + "180;32;-20;Left;;;50.00;49.03;-9.81;350.0;;;;;\r\n";
    QCOMPARE(cli({"dump", table()}).out, all);
    const QByteArray visible = "0;0;420.0;;;;;;;\r\n"
                               "90;64;;Center;mark A;;;;;\r\n"
                               "180;32;350.0;Left;;;;;;\r\n";
    QCOMPARE(cli({"dump", table(), "--visible"}).out, visible);
}

void DocumentCliTest::importTabsFromStandardInputWithLocale()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    const Run r = cli({"import", table(), "-", "--locale", "de_DE"},
                      "azimuth\tPAIRS\tmetru\tF\r\n45\t12,5\t\t1\r\n");
    QCOMPARE(r.exitCode, 0);  // names in any case; the calculated F column is not read
    const Run dump = cli({"dump", table(), "--locale", "de_DE"});
    QCOMPARE(dump.out, QByteArray(kStartRow).replace('.', ',') + "45;12,5;0;;;;19,53;19,53;0,00;;;;;;\r\n");
}

void DocumentCliTest::importStopsAtTheBadLine()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    const Run r = cli({"import", table()},
                      "Azimuth;Pairs;Procent\n10;5;0\n20;6;1\n30;7;999\n40;8;0\n");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("line 4: 999 is not a valid value for field 'Percent'. The allowed range is -150 to 150"),
             qPrintable(r.err));
    // Nothing is imported, so that the corrected text can be imported again without doubling rows.
    QVERIFY2(r.err.contains("nothing was imported"), qPrintable(r.err));
    QCOMPARE(readColumn(file("w.db"), "Azimuth"), (std::vector<std::optional<double>>{0}));

    const Run word = cli({"import", table()}, "Pairs\nten\n");
    QCOMPARE(word.exitCode, 1);
    QVERIFY2(word.err.contains("line 2: 'ten' is not a valid floating point value for field 'Pairs'"),
             qPrintable(word.err));
    QCOMPARE(readColumn(file("w.db"), "Azimuth").size(), std::size_t{1});

    // Text longer than its field is refused with the row, the field and the limit, not cut.
    const Run longText = cli({"import", table()}, "Azimuth;Povorot\n50;Centr_Object\n60;Centr_ObjectXYZW\n");
    QCOMPARE(longText.exitCode, 1);
    QVERIFY2(longText.err.contains("line 3: 'Centr_ObjectXYZW' is too long for field 'Povorot' in row 3: it holds at "
                                   "most 15 characters"),
             qPrintable(longText.err));
    QCOMPARE(readColumn(file("w.db"), "Azimuth"), (std::vector<std::optional<double>>{0}));
}

void DocumentCliTest::importRefusesUnknownField()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    const Run r = cli({"import", table()}, "Azimuth;Bearing\n1;2\n");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("line 1: unknown field 'Bearing'"), qPrintable(r.err));
    QCOMPARE(readColumn(file("w.db"), "Azimuth").size(), std::size_t{1});
}

void DocumentCliTest::info()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    const Run r = cli({"info", table()});
    QCOMPARE(r.exitCode, 0);
    for (const char* line : {"rows: 1\n", "code page: 1252", "PairsPer100m: 64\n", "StartHeight: 420\n",
                             "1 Azimuth Short\n", "4 Povorot Alpha 15\n", "12 FillHeight Number\n"})
        QVERIFY2(r.out.contains(line), line);
}

void DocumentCliTest::openingAppliesStartRowAndInf()
{
    makeTable(file("w.db"), 1, [](zelt::document::TraverseTable& t, int) {
        t.setInteger("Azimuth", 90);
        t.setFloat("Pairs", 12);
    }, 50.0, 500.0);
    // A command that only reads shows the table as stored and writes nothing.
    Run r = cli({"dump", table()});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("90;12;0;;;;0.00;24.00;0.00;;;;;;\r\n"));  // metru as stored
    QVERIFY(!fs::exists(file("w.ing")));
    // A command that writes opens it as a window does: start row, both companions at close.
    QCOMPARE(cli({"import", table()}, "Azimuth\n").exitCode, 0);
    r = cli({"dump", table()});
    QCOMPARE(r.out, QByteArray("0;0;0;;;;0.00;0.00;0.00;500.0;;;;;\r\n"
                               "90;12;0;;;;0.00;24.00;0.00;;;;;;\r\n"));
    QVERIFY(fs::exists(file("w.ing")));
    QCOMPARE(readFile(file("w.inf")), QByteArray(" 5.00000000000000E+0001\r\n 5.00000000000000E+0002\r\n"));

    // A damaged or empty survey values file: a command that only reads warns, naming the file,
    // and goes on with the defaults; one that writes refuses, as closing would replace the file.
    const QByteArray tableBytes = readFile(file("w.db"));
    for (const QByteArray& damaged : {QByteArray("64\r\nhigh\r\n"), QByteArray()}) {
        writeFile(file("w.inf"), damaged);
        const Run read = cli({"dump", table()});
        QVERIFY2(read.exitCode == 0, qPrintable(read.err));
        QCOMPARE(read.out, QByteArray("0;0;0;;;;0.00;0.00;0.00;500.0;;;;;\r\n"
                                      "90;12;0;;;;0.00;18.75;0.00;;;;;;\r\n"));  // F at 64 pairs per 100 m
        QVERIFY2(read.err.contains("warning: The survey values file '" + QString::fromStdString(fs::absolute(file("w.inf")).string())
                                   + "' is damaged: "),
                 qPrintable(read.err));
        QVERIFY2(read.err.contains("Reading goes on with the defaults (64 pairs per 100 m, start height 420 m)."),
                 qPrintable(read.err));
        const Run info = cli({"info", table()});
        QVERIFY2(info.exitCode == 0, qPrintable(info.err));
        const Run write = cli({"import", table()}, "Azimuth\n");
        QCOMPARE(write.exitCode, 1);
        QVERIFY2(write.err.contains("w.inf' is damaged: "), qPrintable(write.err));
        QCOMPARE(readFile(file("w.inf")), damaged);  // neither command replaced it
        QCOMPARE(readFile(file("w.db")), tableBytes);
    }
}

void DocumentCliTest::layoutOption()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    QCOMPARE(cli({"import", table()}, "Azimuth;Mark\n90;hut\n").exitCode, 0);
    zelt::document::ColumnSet set;
    set.columns.resize(3);
    set.columns[0].fieldName = "Mark";
    set.columns[1].fieldName = "Pairs";
    set.columns[1].visible = false;
    set.columns[2].fieldName = "Azimuth";
    zelt::interchange::saveGridLayout(set, file("two.ing"));
    const Run r = cli({"dump", table(), "--visible", "--layout", m_dir->filePath("two.ing")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray(";0;\r\nhut;90;\r\n"));
    // A command that only reads does not keep it; one that writes saves it as the table's own.
    QVERIFY(cli({"dump", table(), "--visible"}).out != r.out);
    QCOMPARE(cli({"import", table(), "--layout", m_dir->filePath("two.ing")}, "Mark\n").exitCode, 0);
    QCOMPARE(cli({"dump", table(), "--visible"}).out, r.out);
}

void DocumentCliTest::missingAndForeignTables()
{
    Run r = cli({"dump", table("none.db")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("does not exist"), qPrintable(r.err));
    QVERIFY(!fs::exists(file("none.db")));

    std::vector<zelt::document::FieldDef> defs = zelt::document::TraverseSchema::fileFields();
    defs.erase(defs.begin() + 2);  // no Procent
    zelt::document::ParadoxTable::create(file("foreign.db"), defs);
    r = cli({"info", table("foreign.db")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("'foreign.db' is not a traverse table: field 'Procent' missing"), qPrintable(r.err));
    QVERIFY(!fs::exists(file("foreign.inf")));
    QVERIFY(!fs::exists(file("foreign.ing")));
}

void DocumentCliTest::usage()
{
    QCOMPARE(cli({"dump"}).exitCode, 2);
    QCOMPARE(cli({"new", table(), table("b.db")}).exitCode, 2);
    QCOMPARE(cli({"dump", table(), "--locale", "xx_nowhere"}).exitCode, 2);
    QCOMPARE(cli({"import"}).exitCode, 2);
    QVERIFY(!fs::exists(file("w.db")));
}

void DocumentCliTest::sampleTraverse()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    const Run r = cli({"import", table(), QStringLiteral(ZELT_SOURCE_DIR "/data/sample-traverse.txt")});
    QCOMPARE(r.exitCode, 0);
    const Run dump = cli({"dump", table()});
    QCOMPARE(dump.out.count("\r\n"), 41);
    QVERIFY(dump.out.contains(";Centr_Object;"));
    QVERIFY(!dump.out.contains("nan") && !dump.out.contains("inf"));
}

QTEST_GUILESS_MAIN(DocumentCliTest)
#include "document_cli_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli new, info, dump and import run as the user runs them, on tables in a temporary folder.
#include "cli_fixture.h"
#include "test_support.h"

#include "paradox/paradox_table.h"
#include "document/traverse_schema.h"
#include "interchange/layout_stream.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    void csvRoundTripsHostileMarks_data();
    void csvRoundTripsHostileMarks();
    void importReadsQuotedCsv();
    void jsonOfDumpAndInfo();
    void codePageOfNewTables();
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

void DocumentCliTest::csvRoundTripsHostileMarks_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QByteArray>("written");  // how the separator appears between two header names
    QTest::newRow("comma by default") << QString() << QByteArray("Azimuth,Pairs");
    QTest::newRow("semicolon") << ";" << QByteArray("Azimuth;Pairs");
    QTest::newRow("tab") << "tab" << QByteArray("Azimuth\tPairs");
}

// Marks with separators, quotes, tabs, line breaks, blanks at their edges and non-ASCII letters go
// through dump --csv and import unchanged, and so do numbers that the display rounds.
void DocumentCliTest::csvRoundTripsHostileMarks()
{
    QFETCH(QString, separator);
    QFETCH(QByteArray, written);
    const QStringList marks{"a;b", "a,b", "say \"hi\"", "\"", "tab\there", " edge ", "Höhe ½ °", "two\nlines",
                            "a\"\";\t,x"};
    // The table is filled through the field rules, as a user's is: every value is consistent.
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    QByteArray rows = "Mark;Azimuth;Pairs\n";
    for (int i = 0; i < marks.size(); ++i)
        rows += '"' + marks[i].toUtf8().replace("\"", "\"\"") + "\";" + QByteArray::number(10 * i + 5) + ';'
                + QByteArray::number(1.0 / 3 + i, 'g', 17) + '\n';
    const Run filled = cli({"import", table()}, rows);
    QVERIFY2(filled.exitCode == 0, qPrintable(filled.err));
    QStringList sep;
    if (!separator.isEmpty())
        sep << "--separator" << separator;
    const Run first = cli(QStringList{"dump", table(), "--csv"} + sep);
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.out.startsWith(written), first.out.constData());
    QVERIFY(first.out.endsWith("\r\n"));

    QCOMPARE(cli({"new", table("copy.db")}).exitCode, 0);
    const Run import = cli(QStringList{"import", table("copy.db")} + sep, first.out);
    QVERIFY2(import.exitCode == 0, qPrintable(import.err));
    QVERIFY2(import.out.contains(QByteArray::number(marks.size() + 1) + " rows"), import.out.constData());

    zelt::document::TraverseTable copy;
    copy.setPath(file("copy.db"));
    copy.open(zelt::document::TraverseTable::Access::ReadOnly);
    // Its own start row, the start row of the first table, then the rows with the marks.
    QCOMPARE(copy.rowCount(), static_cast<int>(marks.size()) + 2);
    for (int i = 0; i < marks.size(); ++i) {
        QCOMPARE(QString::fromStdString(std::get<std::string>(copy.valueAt(i + 2, copy.fieldIndex("Mark")))), marks[i]);
        QCOMPARE(std::get<double>(copy.valueAt(i + 2, copy.fieldIndex("Pairs"))), 1.0 / 3 + i);
    }
    copy.close();
    // The copy dumps as the original did, after its start row.
    const Run second = cli(QStringList{"dump", table("copy.db"), "--csv"} + sep);
    const qsizetype headerEnd = first.out.indexOf("\r\n") + 2;
    const qsizetype startEnd = second.out.indexOf("\r\n", headerEnd) + 2;
    QCOMPARE(second.out.left(headerEnd) + second.out.mid(startEnd), first.out);
}

void DocumentCliTest::importReadsQuotedCsv()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    // Commas between the values, quotes around those that hold one, CR LF line ends, no line end at the close.
    Run r = cli({"import", table()}, "Azimuth,Mark,Pairs\r\n45,\"hut, north side\",\"12.5\"\r\n90,\"the \"\"old\"\" oak\",3");
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    zelt::document::TraverseTable t;
    t.setPath(file("w.db"));
    t.open(zelt::document::TraverseTable::Access::ReadOnly);
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(std::get<std::string>(t.valueAt(1, t.fieldIndex("Mark"))), std::string("hut, north side"));
    QCOMPARE(std::get<std::string>(t.valueAt(2, t.fieldIndex("Mark"))), std::string("the \"old\" oak"));
    QCOMPARE(std::get<double>(t.valueAt(1, t.fieldIndex("Pairs"))), 12.5);
    t.close();

    // A quote left open is named by the line it opened on, and nothing is imported.
    r = cli({"import", table()}, "Azimuth;Mark\n1;fine\n2;\"open\n3;x\n");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("line 3: a quoted value is not closed"), qPrintable(r.err));
    QCOMPARE(readColumn(file("w.db"), "Azimuth").size(), std::size_t{3});
    // A separator that is none is a usage error.
    QCOMPARE(cli({"import", table(), "--separator", "|"}, "Azimuth\n1\n").exitCode, 2);
}

void DocumentCliTest::jsonOfDumpAndInfo()
{
    QCOMPARE(cli({"new", table()}).exitCode, 0);
    QCOMPARE(cli({"import", table()}, "Azimuth;Pairs;Mark\n90;64;\"a \"\"b\"\"\\c\"\n").exitCode, 0);
    const Run dump = cli({"dump", table(), "--json"});
    QCOMPARE(dump.exitCode, 0);
    QJsonParseError error;
    const QJsonObject d = QJsonDocument::fromJson(dump.out, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, dump.out.constData());
    QCOMPARE(d["table"].toString(), table());
    QCOMPARE(d["fields"].toArray().size(), 14);
    const QJsonArray rows = d["rows"].toArray();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].toObject()["Mark"].toString(), QStringLiteral("a \"b\"\\c"));
    QCOMPARE(rows[1].toObject()["Pairs"].toDouble(), 64.0);
    QCOMPARE(rows[1].toObject()["Azimuth"].toInt(), 90);
    QVERIFY(rows[0].toObject()["Mark"].isNull());  // none is null, not ""
    QVERIFY(rows[1].toObject()["Altimeter"].isNull());

    const Run info = cli({"info", table(), "--json"});
    QCOMPARE(info.exitCode, 0);
    const QJsonObject i = QJsonDocument::fromJson(info.out, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, info.out.constData());
    QCOMPARE(i["rows"].toInt(), 2);
    QCOMPARE(i["codePage"].toInt(), 1252);
    QCOMPARE(i["pairsPer100m"].toDouble(), 64.0);
    QCOMPARE(i["startHeight"].toDouble(), 420.0);
    QVERIFY(i["readOnly"].isNull());
    QCOMPARE(i["fields"].toArray()[3].toObject()["name"].toString(), QStringLiteral("Povorot"));
    QCOMPARE(i["fields"].toArray()[3].toObject()["size"].toInt(), 15);
    QCOMPARE(cli({"dump", table(), "--json", "--csv"}).exitCode, 2);
}

// A table made with --code-page 1251 takes Cyrillic marks from UTF-8 text and gives them back
// as UTF-8; a 1252 table refuses them, naming the character and the code page, and stores nothing.
void DocumentCliTest::codePageOfNewTables()
{
    const Run made = cli({"new", table("ru.db"), "--code-page", "1251"});
    QVERIFY2(made.exitCode == 0, qPrintable(made.err));
    QVERIFY(cli({"info", table("ru.db")}).out.contains("code page: 1251"));
    const QByteArray text = "Azimuth;Mark\n90;Родник у дороги\n";
    Run r = cli({"import", table("ru.db")}, text);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(cli({"dump", table("ru.db"), "--csv"}).out.contains(",Родник у дороги,"));
    // Stored as code page 1251 bytes: "Р" is 0xD0 there.
    QVERIFY(readFile(file("ru.db")).contains(QByteArray::fromHex("d0eee4ede8ea")));

    QCOMPARE(cli({"new", table()}).exitCode, 0);
    r = cli({"import", table()}, text);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("line 2: Field 'Mark': the character 'Р' (U+0420) cannot be stored in code page 1252;"),
             qPrintable(r.err));
    QCOMPARE(readColumn(file("w.db"), "Azimuth").size(), std::size_t{1});
    // Text in another encoding than UTF-8 is named as such.
    r = cli({"import", table("ru.db")}, "Azimuth;Mark\n90;" + QByteArray::fromHex("d0eee4ede8ea") + "\n");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("not valid UTF-8"), qPrintable(r.err));
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

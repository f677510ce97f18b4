// SPDX-License-Identifier: GPL-3.0-or-later
// Spreadsheet export: the exact call sequence on the sink, restoring the row after a failure,
// and the .xlsx workbook read back from its XML parts.
#include "interchange/spreadsheet_export.h"
#include "interchange/xlsx_writer.h"

#include "interchange_fixture.h"
#include "test_support.h"

#include <QTemporaryDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <map>

using namespace zelt::document;
using namespace zelt::interchange;
using zelt::test::column;
using zelt::test::InterchangeFixture;

namespace {

/// Records every call as text; can be told to fail on the n-th call.
class RecordingSink : public SpreadsheetSink {
public:
    std::vector<std::string> calls;
    std::size_t failAt = 0;  ///< 1-based call number that throws; 0 = never

    void show() override { record("show"); }
    void addWorkbook() override { record("addWorkbook"); }
    void activeCell() override { record("activeCell"); }
    void setValue(const std::string& text) override { record("value " + text); }
    void next() override { record("next"); }
    void range(const std::string& a, const std::string& b) override { record("range " + a + ":" + b); }
    void autoFormat(int format) override { record("autoFormat " + std::to_string(format)); }

private:
    void record(std::string call)
    {
        calls.push_back(std::move(call));
        if (calls.size() == failAt)
            throw SpreadsheetError("The server refused the call");
    }
};

/// Cells of the first sheet of an .xlsx (reference -> text or number) and their style numbers,
/// read with `unzip -p`; the number format code of each style from the styles part. Texts are
/// read from the shared list or from the cell itself (as a workbook written row by row has them).
struct Sheet {
    std::map<QString, QString> text;
    std::map<QString, QString> number;  ///< the <v> of numeric cells, as stored
    std::map<QString, int> style;
    QStringList formatOfStyle;          ///< per cellXfs entry: "General", "0", "0.0", "0.00", ...
    QString dimension;

    QString numberAt(const QString& ref) const
    {
        auto it = number.find(ref);
        return it == number.end() ? QStringLiteral("(no number)") : it->second;
    }
    QString formatAt(const QString& ref) const { return formatOfStyle.value(styleAt(ref), QStringLiteral("?")); }

    QString at(const QString& ref) const
    {
        auto it = text.find(ref);
        return it == text.end() ? QStringLiteral("(no text)") : it->second;
    }
    int styleAt(const QString& ref) const
    {
        auto it = style.find(ref);
        return it == style.end() ? 0 : it->second;  // no attribute: the default style
    }
};

QByteArray unzipPart(const std::filesystem::path& xlsx, const char* part)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), QString::fromStdString(xlsx.string()), QString::fromLatin1(part)});
    p.waitForFinished();
    return p.readAllStandardOutput();
}

QString unescape(QString s)
{
    return s.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

Sheet readSheet(const std::filesystem::path& xlsx)
{
    QStringList shared;
    const QString strings = QString::fromUtf8(unzipPart(xlsx, "xl/sharedStrings.xml"));
    static const QRegularExpression si(QStringLiteral("<si>\\s*<t[^>]*>([^<]*)</t>\\s*</si>|<si>\\s*<t/>\\s*</si>"));
    for (auto it = si.globalMatch(strings); it.hasNext();)
        shared << it.next().captured(1);
    Sheet sheet;
    const QString xml = QString::fromUtf8(unzipPart(xlsx, "xl/worksheets/sheet1.xml"));
    static const QRegularExpression cell(QStringLiteral(
        "<c r=\"([A-Z]+[0-9]+)\"( s=\"([0-9]+)\")?( t=\"(s|inlineStr)\")?"
        "(/>|><v>([^<]+)</v></c>|><is><t[^>]*>([^<]*)</t></is></c>|><is><t/></is></c>)"));
    for (auto it = cell.globalMatch(xml); it.hasNext();) {
        const auto m = it.next();
        if (!m.captured(3).isEmpty())
            sheet.style[m.captured(1)] = m.captured(3).toInt();
        if (m.captured(5) == QLatin1String("inlineStr"))
            sheet.text[m.captured(1)] = unescape(m.captured(8));
        else if (!m.captured(5).isEmpty())
            sheet.text[m.captured(1)] = unescape(shared.value(m.captured(7).toInt()));
        else if (!m.captured(7).isEmpty())
            sheet.number[m.captured(1)] = m.captured(7);
    }
    // Built-in number formats 0, 1 and 2 and the workbook's own ones.
    const QString styles = QString::fromUtf8(unzipPart(xlsx, "xl/styles.xml"));
    std::map<int, QString> codes{{0, QStringLiteral("General")}, {1, QStringLiteral("0")}, {2, QStringLiteral("0.00")}};
    static const QRegularExpression numFmt(QStringLiteral("<numFmt numFmtId=\"([0-9]+)\" formatCode=\"([^\"]*)\""));
    for (auto it = numFmt.globalMatch(styles); it.hasNext();) {
        const auto m = it.next();
        codes[m.captured(1).toInt()] = unescape(m.captured(2));
    }
    const QString xfs = styles.section(QStringLiteral("<cellXfs"), 1).section(QStringLiteral("</cellXfs>"), 0, 0);
    static const QRegularExpression xf(QStringLiteral("<xf numFmtId=\"([0-9]+)\""));
    for (auto it = xf.globalMatch(xfs); it.hasNext();)
        sheet.formatOfStyle << codes[it.next().captured(1).toInt()];
    static const QRegularExpression dim(QStringLiteral("<dimension ref=\"([^\"]+)\""));
    sheet.dimension = dim.match(xml).captured(1);
    return sheet;
}

}  // namespace

class SpreadsheetExportTest : public QObject {
    Q_OBJECT
private slots:
    void callSequenceOfAnExport();
    void emptyTableFormatsTheHeaderRowOnly();
    void headerUsesFieldLabelsOfVisibleColumns();
    void failedTransferReturnsToTheRowWithoutFormat();
    void workbookHoldsHeaderTextsAndFormat();
    void eachExportIsANewWorkbook();
    void unwritableFolderIsAClearError();
    void numbersAreNumericCellsInTheDocumentsFormat_data();
    void numbersAreNumericCellsInTheDocumentsFormat();
    void cellsComeOutAsPutLast_data();
    void cellsComeOutAsPutLast();
};

void SpreadsheetExportTest::callSequenceOfAnExport()
{
    InterchangeFixture f;
    f.addRows({{{"Azimuth", "45"}, {"Mark", "m"}}, {{"Azimuth", "90"}, {"Altimeter", "12.25"}}});
    f.doc->columns.columns = {column("Azimuth"), column("Pairs", false), column("Mark"), column("Altimeter")};
    f.doc->table.setRecNo(2);
    RecordingSink sink;
    exportToSpreadsheet(f.doc->table, f.doc->columns, sink);
    const std::vector<std::string> expected{
        "show", "addWorkbook", "activeCell",
        "value Azimuth", "next", "value Mark", "next", "value Altimeter", "next",
        "range A2:A2", "value 45", "next", "value m", "next", "value ", "next",
        "range A3:A3", "value 90", "next", "value ", "next", "value 12.3", "next",
        "range A1:N3", "autoFormat 1"};
    QCOMPARE(sink.calls, expected);
    QCOMPARE(f.doc->table.recNo(), 2);
    QVERIFY(!f.doc->table.controlsDisabled());
}

void SpreadsheetExportTest::emptyTableFormatsTheHeaderRowOnly()
{
    InterchangeFixture f;
    f.doc->columns.columns = {column("Pairs")};
    RecordingSink sink;
    exportToSpreadsheet(f.doc->table, f.doc->columns, sink);
    const std::vector<std::string> expected{"show", "addWorkbook", "activeCell", "value Pairs", "next",
                                            "range A1:N1", "autoFormat 1"};
    QCOMPARE(sink.calls, expected);
}

// The header names the fields (Procent by its label "Percent"), not the grid's titles; hidden
// columns leave no gap; a column of a field the table lacks gives empty cells.
void SpreadsheetExportTest::headerUsesFieldLabelsOfVisibleColumns()
{
    InterchangeFixture f;
    RecordingSink sink;
    exportToSpreadsheet(f.doc->table, f.doc->columns, sink);
    std::string header;
    for (const auto& call : sink.calls)
        if (call.rfind("value ", 0) == 0)
            header += call.substr(6) + ",";
    QCOMPARE(header, std::string("Azimuth,Pairs,Altimeter,Povorot,Mark,sumPairs,FillHeight,Recalc,id,"));

    f.doc->columns.columns = {column("procent"), column("Nord")};
    sink.calls.clear();
    exportToSpreadsheet(f.doc->table, f.doc->columns, sink);
    QCOMPARE(sink.calls.at(3), std::string("value Percent"));
    QCOMPARE(sink.calls.at(5), std::string("value "));
}

void SpreadsheetExportTest::failedTransferReturnsToTheRowWithoutFormat()
{
    InterchangeFixture f;
    f.addRows({{{"Azimuth", "1"}}, {{"Azimuth", "2"}}, {{"Azimuth", "3"}}});
    f.doc->columns.columns = {column("Azimuth")};
    f.doc->table.setRecNo(3);
    RecordingSink sink;
    sink.failAt = 10;  // the value of the second table row
    QVERIFY_THROWS_EXCEPTION(SpreadsheetError, exportToSpreadsheet(f.doc->table, f.doc->columns, sink));
    QCOMPARE(sink.calls.back(), std::string("value 2"));
    QCOMPARE(f.doc->table.recNo(), 3);
    QVERIFY(!f.doc->table.controlsDisabled());
    QCOMPARE(f.text(1, "Azimuth"), std::string("2"));
}

void SpreadsheetExportTest::workbookHoldsHeaderTextsAndFormat()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    InterchangeFixture f;
    f.addRows({{{"Azimuth", "45"}, {"Pairs", "10"}, {"Altimeter", "250"}, {"Povorot", "Left"}},
               {{"Azimuth", "-5"}, {"Mark", "<&>"}}});
    const auto path = std::filesystem::path(f.dir.path().toStdString()) / "out.xlsx";
    XlsxWriter writer = XlsxWriter::toFile(path);
    exportToSpreadsheet(f.doc->table, f.doc->columns, writer);
    QCOMPARE(writer.save(), path);

    const Sheet sheet = readSheet(path);
    const QStringList header{"Azimuth", "Pairs", "Altimeter", "Povorot", "Mark", "sumPairs", "FillHeight", "Recalc", "id"};
    for (int c = 0; c < header.size(); ++c)
        QCOMPARE(sheet.at(QString(QChar('A' + c)) + QLatin1Char('1')), header[c]);
    QCOMPARE(sheet.numberAt(QStringLiteral("A2")), QStringLiteral("45"));
    QCOMPARE(sheet.numberAt(QStringLiteral("C2")), QStringLiteral("250"));
    QCOMPARE(sheet.at(QStringLiteral("D2")), QStringLiteral("Left"));
    QCOMPARE(sheet.at(QStringLiteral("E3")), QStringLiteral("<&>"));
    QCOMPARE(sheet.text.count(QStringLiteral("E2")), std::size_t(0));       // empty display text
    QCOMPARE(sheet.dimension, QStringLiteral("A1:N3"));
    // Header, shaded and plain body rows differ; the whole range A1:N3 is styled.
    // Header and the shaded last row carry styles; the plain row between them keeps the default.
    QVERIFY(sheet.styleAt(QStringLiteral("A1")) > 0);
    QVERIFY(sheet.styleAt(QStringLiteral("A3")) > 0);
    QCOMPARE(sheet.styleAt(QStringLiteral("D2")), 0);
    QVERIFY(sheet.styleAt(QStringLiteral("A1")) != sheet.styleAt(QStringLiteral("A3")));
    QCOMPARE(sheet.styleAt(QStringLiteral("N1")), sheet.styleAt(QStringLiteral("A1")));
    QCOMPARE(sheet.styleAt(QStringLiteral("N3")), sheet.styleAt(QStringLiteral("E3")));

    // Without the format request (a transfer that failed) the cells stay unstyled.
    XlsxWriter bare = XlsxWriter::toFile(path);
    bare.addWorkbook();
    bare.activeCell();
    bare.setValue("x");
    bare.save();
    const Sheet unformatted = readSheet(path);
    QCOMPARE(unformatted.dimension, QStringLiteral("A1"));
    QCOMPARE(unformatted.styleAt(QStringLiteral("A1")), 0);
}

void SpreadsheetExportTest::eachExportIsANewWorkbook()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    InterchangeFixture f;
    const auto folder = std::filesystem::path(f.dir.path().toStdString()) / "workbooks";
    XlsxWriter writer = XlsxWriter::inFolder(folder);
    exportToSpreadsheet(f.doc->table, f.doc->columns, writer);
    QCOMPARE(writer.save(), folder / "Book1.xlsx");
    const auto first = zelt::test::readBytes(folder / "Book1.xlsx");
    QCOMPARE(readSheet(folder / "Book1.xlsx").dimension, QStringLiteral("A1:N1"));

    f.addRows({{{"Azimuth", "7"}}});
    exportToSpreadsheet(f.doc->table, f.doc->columns, writer);
    QCOMPARE(writer.save(), folder / "Book2.xlsx");
    QCOMPARE(zelt::test::readBytes(folder / "Book1.xlsx"), first);
    QCOMPARE(readSheet(folder / "Book2.xlsx").numberAt(QStringLiteral("A2")), QStringLiteral("7"));
}

void SpreadsheetExportTest::unwritableFolderIsAClearError()
{
    InterchangeFixture f;
    const auto blocker = std::filesystem::path(f.dir.path().toStdString()) / "file";
    zelt::test::writeBytes(blocker, {'x'});
    XlsxWriter writer = XlsxWriter::inFolder(blocker / "sub");
    exportToSpreadsheet(f.doc->table, f.doc->columns, writer);
    try {
        writer.save();
        QFAIL("wrote below a file");
    } catch (const SpreadsheetError& e) {
        QVERIFY2(std::string(e.what()).find((blocker / "sub" / "Book1.xlsx").string()) != std::string::npos, e.what());
    }
}

// A text that is a number in the document's format is a numeric cell shown with the decimals
// the text had; texts, numbers in the other separator and blank-padded numbers stay text.
void SpreadsheetExportTest::numbersAreNumericCellsInTheDocumentsFormat_data()
{
    QTest::addColumn<char>("separator");
    QTest::newRow("point") << '.';
    QTest::newRow("comma") << ',';
}

void SpreadsheetExportTest::numbersAreNumericCellsInTheDocumentsFormat()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    QFETCH(char, separator);
    const std::string sep(1, separator), other(1, separator == '.' ? ',' : '.');
    QTemporaryDir dir;
    const auto path = std::filesystem::path(dir.path().toStdString()) / "numbers.xlsx";
    XlsxWriter writer = XlsxWriter::toFile(path);
    writer.setNumberFormat({separator});
    writer.addWorkbook();
    writer.activeCell();
    const std::vector<std::string> values{"-45", "250" + sep + "0", "15" + sep + "63", "3" + sep + "14159",
                                          "1" + sep + "5E-7", "Left", "1" + other + "5", " 7", "+7", "12a", ""};
    for (const std::string& v : values) {
        writer.setValue(v);
        writer.next();
    }
    writer.range("A1", "K2");
    writer.autoFormat(1);  // numeric cells keep the table look beside their number format
    writer.save();
    const Sheet sheet = readSheet(path);

    const QStringList numbers{"-45", "250", "15.63", "3.14159", "1.5E-07"};
    const QStringList formats{"0", "0.0", "0.00", "General", "General"};
    for (int c = 0; c < numbers.size(); ++c) {
        const QString ref = QString(QChar('A' + c)) + QLatin1Char('1');
        QCOMPARE(sheet.numberAt(ref), numbers[c]);
        QCOMPARE(sheet.formatAt(ref), formats[c]);
    }
    QVERIFY(sheet.styleAt(QStringLiteral("A1")) != sheet.styleAt(QStringLiteral("B1")));
    QCOMPARE(sheet.at(QStringLiteral("F1")), QStringLiteral("Left"));
    QCOMPARE(sheet.at(QStringLiteral("G1")), QString::fromStdString("1" + other + "5"));
    QCOMPARE(sheet.at(QStringLiteral("H1")), QStringLiteral(" 7"));
    QCOMPARE(sheet.at(QStringLiteral("I1")), QStringLiteral("+7"));
    QCOMPARE(sheet.at(QStringLiteral("J1")), QStringLiteral("12a"));
    QCOMPARE(sheet.number.size(), std::size_t(5));
}

// The workbook is written row by row: cells put in row order with gaps, or in any order and
// twice, come out with the text put last, and the empty cells of the formatted range around
// and between them are styled.
void SpreadsheetExportTest::cellsComeOutAsPutLast_data()
{
    QTest::addColumn<QStringList>("puts");  // "FIRST:LAST=text", in the order put
    QTest::newRow("row order with gaps") << QStringList{"A1:A1=first", "B2:C2=x", "C3:C3=last"};
    QTest::newRow("any order, twice") << QStringList{"C3:C3=late", "A1:A1=first", "B2:C2=y", "C3:C3=last",
                                                     "B2:C2=x"};
}

void SpreadsheetExportTest::cellsComeOutAsPutLast()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    QFETCH(QStringList, puts);
    QTemporaryDir dir;
    const auto path = std::filesystem::path(dir.path().toStdString()) / "order.xlsx";
    XlsxWriter writer = XlsxWriter::toFile(path);
    writer.addWorkbook();
    for (const QString& put : puts) {
        const QString range = put.section(QLatin1Char('='), 0, 0);
        writer.range(range.section(QLatin1Char(':'), 0, 0).toStdString(), range.section(QLatin1Char(':'), 1).toStdString());
        writer.setValue(put.section(QLatin1Char('='), 1).toStdString());
    }
    writer.range("A1", "C4");
    writer.autoFormat(1);
    writer.save();
    const Sheet sheet = readSheet(path);
    QCOMPARE(sheet.at(QStringLiteral("A1")), QStringLiteral("first"));
    QCOMPARE(sheet.at(QStringLiteral("B2")), QStringLiteral("x"));
    QCOMPARE(sheet.at(QStringLiteral("C2")), QStringLiteral("x"));
    QCOMPARE(sheet.at(QStringLiteral("C3")), QStringLiteral("last"));
    QCOMPARE(sheet.text.size(), std::size_t(4));
    QCOMPARE(sheet.dimension, QStringLiteral("A1:C4"));
    for (const char* empty : {"B1", "C1", "A3", "B3", "A4", "C4"})
        QVERIFY2(sheet.style.count(QString::fromLatin1(empty)), empty);
    QCOMPARE(sheet.styleAt(QStringLiteral("B1")), sheet.styleAt(QStringLiteral("A1")));   // header
    QCOMPARE(sheet.styleAt(QStringLiteral("A3")), sheet.styleAt(QStringLiteral("C3")));   // shaded band
}

QTEST_APPLESS_MAIN(SpreadsheetExportTest)
#include "spreadsheet_export_test.moc"

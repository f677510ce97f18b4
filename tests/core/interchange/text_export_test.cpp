// SPDX-License-Identifier: GPL-3.0-or-later
// Text export: the exact bytes of both commands, field choice by visible columns, I/O errors.
#include "interchange/text_export.h"

#include "interchange_fixture.h"
#include "test_support.h"

#include <QTest>

#include <sstream>

using namespace zelt::document;
using namespace zelt::interchange;
using zelt::test::column;
using zelt::test::InterchangeFixture;

namespace {

std::string exportText(InterchangeFixture& f, TextColumns which)
{
    std::ostringstream out;
    writeTableText(f.doc->table, textExportFields(f.doc->table, f.doc->columns, which), out);
    return out.str();
}

}  // namespace

class TextExportTest : public QObject {
    Q_OBJECT
private slots:
    void emptyTableGivesNoBytes();
    void visibleColumnsOfTheBuiltInSet();
    void allFieldsInTheDocumentOrder();
    void hiddenEverythingWritesOnlyLineEnds();
    void columnsMatchFieldsWithoutCaseAndUnknownFieldsStayEmpty();
    void textIsWrittenUnchangedAndCursorEndsOnLastRow();
    void fileIsReplacedAndErrorsNameTheCause();
};

void TextExportTest::emptyTableGivesNoBytes()
{
    InterchangeFixture f;
    QCOMPARE(exportText(f, TextColumns::AllFields), std::string());
    QCOMPARE(exportText(f, TextColumns::VisibleColumns), std::string());
}

// The built-in columns show Azimuth, Pairs, Altimeter, Povorot, Mark, sumPairs, FillHeight,
// Recalc and id; display formats and the locale's decimal separator apply.
void TextExportTest::visibleColumnsOfTheBuiltInSet()
{
    InterchangeFixture f;
    f.addRows({{{"Azimuth", "45"}, {"Pairs", "10"}, {"Altimeter", "250"}, {"Povorot", "Left"}},
               {{"Pairs", "12.5"}, {"Mark", "x"}, {"Recalc", "3.14159"}, {"id", "7"}}});
    QCOMPARE(exportText(f, TextColumns::VisibleColumns),
             std::string("45;10;250.0;Left;;;;;;\r\n0;12.5;;;x;;;3.1;7;\r\n"));
    f.doc->table.setNumberFormat({','});
    QCOMPARE(exportText(f, TextColumns::VisibleColumns),
             std::string("45;10;250,0;Left;;;;;;\r\n0;12,5;;;x;;;3,1;7;\r\n"));
}

void TextExportTest::allFieldsInTheDocumentOrder()
{
    InterchangeFixture f;
    f.addRows({{{"Azimuth", "-90"}, {"Pairs", "10"}, {"Altimeter", "250"}, {"metru", "15.625"},
                {"sumPairs", "10"}, {"FillHeight", "250.04"}, {"Reserv", "r"}}});
    // Azimuth Pairs Procent Povorot Mark Reserv metru F G Altimeter Recalc id sumPairs FillHeight
    QCOMPARE(exportText(f, TextColumns::AllFields), std::string("-90;10;0;;;r;15.63;;;250.0;;;10;250.0;\r\n"));
}

void TextExportTest::hiddenEverythingWritesOnlyLineEnds()
{
    InterchangeFixture f;
    f.addRows({{{"Azimuth", "1"}}, {{"Azimuth", "2"}}, {}});
    for (Column& c : f.doc->columns.columns)
        c.visible = false;
    QCOMPARE(exportText(f, TextColumns::VisibleColumns), std::string("\r\n\r\n\r\n"));
    f.doc->columns.columns = {column("Mark")};
    QCOMPARE(exportText(f, TextColumns::VisibleColumns), std::string(";\r\n;\r\n;\r\n"));
}

// A layout of another table may name fields this table lacks: each gives an empty value.
void TextExportTest::columnsMatchFieldsWithoutCaseAndUnknownFieldsStayEmpty()
{
    InterchangeFixture f;
    f.addRows({{{"Azimuth", "45"}, {"Mark", "m"}}});
    f.doc->columns.columns = {column("AZIMUTH"), column("Hoehe"), column("pairs", false), column("mark"), column("")};
    QCOMPARE(exportText(f, TextColumns::VisibleColumns), std::string("45;;m;;\r\n"));
}

void TextExportTest::textIsWrittenUnchangedAndCursorEndsOnLastRow()
{
    InterchangeFixture f;
    f.addRows({{{"Mark", "a;b \"c\""}}, {{"Mark", "\xC3\xA4\xC3\xB6"}}, {{"Mark", "last"}}});
    f.doc->columns.columns = {column("Mark")};
    QCOMPARE(exportText(f, TextColumns::VisibleColumns), std::string("a;b \"c\";\r\n\xC3\xA4\xC3\xB6;\r\nlast;\r\n"));
    QCOMPARE(f.doc->table.recNo(), 3);
}

void TextExportTest::fileIsReplacedAndErrorsNameTheCause()
{
    InterchangeFixture f;
    f.addRows({{{"Azimuth", "45"}}});
    const auto out = std::filesystem::path(f.dir.path().toStdString()) / "out.txt";
    zelt::test::writeBytes(out, std::vector<unsigned char>(100, 'x'));
    exportTextFile(f.doc->table, f.doc->columns, TextColumns::VisibleColumns, out);
    const auto bytes = zelt::test::readBytes(out);
    QCOMPARE(std::string(bytes.begin(), bytes.end()), std::string("45;0;;;;;;;;\r\n"));

    const auto missing = std::filesystem::path(f.dir.path().toStdString()) / "no" / "out.txt";
    try {
        exportTextFile(f.doc->table, f.doc->columns, TextColumns::AllFields, missing);
        QFAIL("wrote into a missing folder");
    } catch (const TextExportError& e) {
        QCOMPARE(std::string(e.what()), "Cannot write the text export: '" + missing.parent_path().string() + "': No such file or directory");
    }
}

QTEST_APPLESS_MAIN(TextExportTest)
#include "text_export_test.moc"

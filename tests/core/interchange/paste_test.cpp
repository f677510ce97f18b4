// SPDX-License-Identifier: GPL-3.0-or-later
// Paste a column: line splitting, rows filled and appended, conversion by field type and
// locale, the stop at the first refused line and the state the table is left in.
#include "interchange/paste.h"

#include "compute/field_rules.h"
#include "interchange_fixture.h"
#include "test_support.h"
#include "watched_table.h"

#include <QTest>

using namespace zelt::document;
using namespace zelt::interchange;
using zelt::test::InterchangeFixture;
using Lines = std::vector<std::string>;

Q_DECLARE_METATYPE(Lines)

namespace {

std::string pasteError(TraverseTable& t, const char* field, const char* text, char sep = '.')
{
    try {
        pasteColumn(t, field, text, sep);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

/// A two-row table whose Azimuth column reads 1, 2.
void twoRows(InterchangeFixture& f)
{
    f.addRows({{{"Azimuth", "1"}}, {{"Azimuth", "2"}}});
}

}  // namespace

class PasteTest : public QObject {
    Q_OBJECT
private slots:
    void splitsLines_data();
    void splitsLines();
    void fillsFromTheCurrentRowAndAppends_data();
    void fillsFromTheCurrentRowAndAppends();
    void convertsByFieldTypeAndLocale();
    void pairsRuleFillsMetres();
    void eachRowIsStoredWhole();
    void stopsAtTheFirstRefusedLine_data();
    void stopsAtTheFirstRefusedLine();
    void unknownFieldChangesNothing();
};

void PasteTest::splitsLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Lines>("lines");
    QTest::newRow("CR LF") << "10\r\n20\r\n30" << Lines{"10", "20", "30"};
    QTest::newRow("LF, final break") << "10\n20\n" << Lines{"10", "20"};
    QTest::newRow("CR LF, final break") << "10\r\n" << Lines{"10"};
    QTest::newRow("inner empty lines count") << "1\r\n\r\n\n3" << Lines{"1", "", "", "3"};
    QTest::newRow("lone CR") << "a\rb" << Lines{"a", "b"};
    QTest::newRow("tabs stay") << "a\tb\r\n\tc\t" << Lines{"a\tb", "\tc\t"};
    QTest::newRow("only a break") << "\r\n" << Lines{""};
    QTest::newRow("empty") << "" << Lines{};
}

void PasteTest::splitsLines()
{
    QFETCH(QString, text);
    QFETCH(Lines, lines);
    QCOMPARE(pasteLines(text.toStdString()), lines);
}

void PasteTest::fillsFromTheCurrentRowAndAppends_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Lines>("azimuths");
    QTest::newRow("from row 1 of 2") << 2 << 1 << "10\r\n20\r\n30" << Lines{"10", "20", "30"};
    QTest::newRow("from row 2 of 2") << 2 << 2 << "10\r\n20\r\n30" << Lines{"1", "10", "20", "30"};
    QTest::newRow("into an empty table") << 0 << 0 << "10\n20\n30\n" << Lines{"10", "20", "30"};
    QTest::newRow("final break adds no row") << 2 << 1 << "7\r\n" << Lines{"7", "2"};
    QTest::newRow("no lines, no change") << 2 << 2 << "" << Lines{"1", "2"};
}

// The cursor returns to the row that was current; appended rows take the new-row defaults.
void PasteTest::fillsFromTheCurrentRowAndAppends()
{
    QFETCH(int, rows);
    QFETCH(int, startRow);
    QFETCH(QString, text);
    QFETCH(Lines, azimuths);
    InterchangeFixture f;
    if (rows)
        twoRows(f);
    if (startRow)
        f.doc->table.setRecNo(startRow);
    pasteColumn(f.doc->table, "Azimuth", text.toStdString(), '.');
    QCOMPARE(f.column("Azimuth"), azimuths);
    if (startRow)
        QCOMPARE(f.doc->table.recNo(), startRow);
    QCOMPARE(f.column("Pairs").back(), std::string("0"));
    QVERIFY(!f.doc->table.controlsDisabled());
    QVERIFY(f.doc->table.state() == TraverseTable::State::Browse);
}

void PasteTest::convertsByFieldTypeAndLocale()
{
    InterchangeFixture f;
    pasteColumn(f.doc->table, "Pairs", "12,5\r\n1e2\r\n 3 ", ',');
    QCOMPARE(f.column("Pairs"), (Lines{"12.5", "100", "3"}));
    f.doc->table.first();
    pasteColumn(f.doc->table, "Mark", "a\tb\r\n" + std::string(50, 'm'), ',');
    QCOMPARE(f.column("Mark"), (Lines{"a\tb", std::string(50, 'm'), ""}));
    f.doc->table.first();
    pasteColumn(f.doc->table, "Povorot", "1\r\nRight", '.');  // a number is not turned into a turn word
    QCOMPARE(f.column("Povorot"), (Lines{"1", "Right", ""}));
}

// Pasting pair counts runs the pairs rule, so the metres follow; the rules are attached after
// the paste whatever state they were in.
void PasteTest::pairsRuleFillsMetres()
{
    InterchangeFixture f;
    zelt::compute::attachFieldRules(*f.doc);
    f.addRows({{}});
    f.doc->table.detachChangeHook("metru");
    pasteColumn(f.doc->table, "Pairs", "10\r\n20\r\n32", '.');
    QCOMPARE(f.column("metru"), (Lines{"15.63", "31.25", "50.00"}));
    QVERIFY(f.doc->table.isChangeHookAttached("Pairs"));
    QVERIFY(f.doc->table.isChangeHookAttached("metru"));
}

// Each pasted row reaches the file with one write, lengths and all, so a kill never leaves a
// row with the new pairs beside the old metres; a line whose derived length is refused leaves
// its row as it was, in the file too.
void PasteTest::eachRowIsStoredWhole()
{
    InterchangeFixture f;
    zelt::compute::attachFieldRules(*f.doc);
    f.addRows({{{"Azimuth", "1"}, {"Pairs", "64"}}, {{"Azimuth", "2"}, {"Pairs", "64"}}});
    auto& file = zelt::test::reopenWatched(f.doc->table);
    pasteColumn(f.doc->table, "Pairs", "32\r\n16\r\n8", '.');
    QCOMPARE(file.rowWrites, 3);
    QCOMPARE(f.column("metru"), (Lines{"50.00", "25.00", "12.50"}));
    f.doc->table.first();
    QCOMPARE(QString::fromStdString(pasteError(f.doc->table, "metru", "10\r\n-5")),
             QString("-3.2 is not a valid value for field 'Pairs'. The allowed range is 0 to 4294967295"));
    QCOMPARE(file.rowWrites, 4);
    f.doc->table.close();
    f.doc->table.open();
    QCOMPARE(f.column("metru"), (Lines{"10.00", "25.00", "12.50"}));
    QCOMPARE(f.column("Pairs"), (Lines{"6.4", "16", "8"}));
}

void PasteTest::stopsAtTheFirstRefusedLine_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<Lines>("azimuths");
    QTest::newRow("word in a number field") << "Azimuth" << "5\r\nabc\r\n7" << "Invalid variant type conversion"
                                            << Lines{"5", "2"};
    QTest::newRow("empty line") << "Azimuth" << "\r\n7" << "Invalid variant type conversion" << Lines{"1", "2"};
    QTest::newRow("several cells") << "Azimuth" << "5\t6" << "Invalid variant type conversion" << Lines{"1", "2"};
    QTest::newRow("out of range") << "Azimuth" << "5\r\n400"
                                  << "400 is not a valid value for field 'Azimuth'. The allowed range is -360 to 360"
                                  << Lines{"5", "2"};
    QTest::newRow("appended row dropped") << "Azimuth" << "5\r\n6\r\n-361"
                                          << "-361 is not a valid value for field 'Azimuth'. The allowed range is -360 to 360"
                                          << Lines{"5", "6"};
    QTest::newRow("calculated field") << "F" << "5" << "Field 'F' cannot be modified" << Lines{"1", "2"};
    QTest::newRow("text longer than its field") << "Povorot" << "Left\r\nCentr_ObjectXYZW"
                                                << "'Centr_ObjectXYZW' is too long for field 'Povorot' in row 2: it holds"
                                                   " at most 15 characters"
                                                << Lines{"1", "2"};
}

// Rows before the refused line keep their new values, the refused row is unchanged, and the
// cursor, display updates and rules are restored.
void PasteTest::stopsAtTheFirstRefusedLine()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(Lines, azimuths);
    InterchangeFixture f;
    twoRows(f);
    f.doc->table.setRecNo(2);
    f.doc->table.setRecNo(1);
    QCOMPARE(QString::fromStdString(pasteError(f.doc->table, field.toUtf8().constData(), text.toUtf8().constData())),
             message);
    QCOMPARE(f.column("Azimuth"), azimuths);
    QCOMPARE(f.doc->table.recNo(), 1);
    QVERIFY(!f.doc->table.controlsDisabled());
    QVERIFY(f.doc->table.state() == TraverseTable::State::Browse);
}

void PasteTest::unknownFieldChangesNothing()
{
    InterchangeFixture f;
    twoRows(f);
    QVERIFY_THROWS_EXCEPTION(PasteError, pasteColumn(f.doc->table, "Hoehe", "5", '.'));
    QCOMPARE(f.column("Azimuth"), (Lines{"1", "2"}));
    QCOMPARE(pasteColumn(f.doc->table, "Hoehe", "", '.'), std::size_t(0));  // no lines: nothing to do
}

QTEST_APPLESS_MAIN(PasteTest)
#include "paste_test.moc"

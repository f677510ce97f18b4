// SPDX-License-Identifier: GPL-3.0-or-later
// The traverse dataset: row order, edit/post/cancel, bookmarks, field rules, hooks and observers.
#include "document/document.h"
#include "paradox/paradox_table.h"
#include "document/row_restore.h"
#include "document/traverse_schema.h"
#include "document/traverse_table.h"

#include "test_support.h"
#include "watched_table.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

using namespace zelt::document;
namespace fs = std::filesystem;

namespace {

struct Recorder : TableObserver {
    QStringList events;
    void tableReset() override { events << "reset"; }
    void rowsInserted(int first, int count) override { events << QString("ins %1 %2").arg(first).arg(count); }
    void rowsRemoved(int first, int count) override { events << QString("rem %1 %2").arg(first).arg(count); }
    void rowChanged(int index) override { events << QString("row %1").arg(index); }
    void currentChanged(int index) override { events << QString("cur %1").arg(index); }
    void stateChanged() override { events << "state"; }
    void surveyValuesChanged() override { events << "survey"; }
};

void appendLeg(TraverseTable& t, int azimuth, double pairs = 10)
{
    t.append();
    t.setInteger("Azimuth", azimuth);
    t.setFloat("Pairs", pairs);
    t.post();
}

/// Azimuths of the rows as the dataset holds them, in table order.
QList<int> azimuths(const TraverseTable& t)
{
    QList<int> out;
    const int field = t.fieldIndex("Azimuth");
    for (int i = 0; i < t.rowCount(); ++i)
        out << std::get<std::int32_t>(t.valueAt(i, field));
    return out;
}

/// Rows as the file holds them, read by the codec alone (read-only, beside any open dataset).
std::vector<Row> rowsOnDisk(const fs::path& p)
{
    ParadoxOpenOptions options;
    options.readOnly = true;
    return ParadoxTable::open(p, options)->readAll();
}

QList<int> azimuthsOnDisk(const fs::path& p)
{
    QList<int> out;
    for (const Row& r : rowsOnDisk(p))
        out << std::get<std::int32_t>(r[0]);
    return out;
}

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EngineError& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<no error>");
}

}  // namespace

class TraverseTableTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void schemaAndNewRowDefaults();
    void emptyValuesSurviveReload();
    void insertGoesBeforeCurrentRowInFileOrder();
    void cursorWalk();
    void movingOffPostsAndUntouchedNewRowIsDropped();
    void cancelAndCloseDropPendingValues();
    void deleteRow();
    void bookmarksSurviveOtherEdits();
    void refusals_data();
    void refusals();
    void requiredFieldStopsPost();
    void storedEmptyRequiredFieldIsKept();
    void deferredPostsStoreTheRowOnce();
    void failedFlushIsReportedNotFatal();
    void conversionsOfValues();
    void displayTexts();
    void changeHooksCanBeDetached();
    void hookThatPostsInsideASetter();
    void textEntryHookAndTypedText();
    void calculatedFields();
    void suspendedDisplayUpdates();
    void registrationsCannotDangle();
    void surveyValuesNotify();
    void foreignTableIsRefused();
    void oldFieldOrderAndExtraFieldsAreKept();
    void samplesAreRefusedClearly();
    void codePageRefusal();
    void lockedTableOpensReadOnly();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    fs::path m_path;
    std::unique_ptr<TraverseTable> m_table;
};

void TraverseTableTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = fs::path(m_dir->path().toStdString()) / "way.db";
    m_table = std::make_unique<TraverseTable>();
    m_table->setPath(m_path);
    m_table->create();
    m_table->open();
}

void TraverseTableTest::cleanup()
{
    m_table.reset();
    m_dir.reset();
}

void TraverseTableTest::schemaAndNewRowDefaults()
{
    // A new table holds the twelve fields in file order; the dataset lists fourteen in document order.
    QStringList fileOrder;
    for (const FieldDef& d : m_table->file()->fields())
        fileOrder << QString::fromStdString(d.name);
    QCOMPARE(fileOrder.join(','), "Azimuth,Pairs,Procent,Povorot,Mark,Reserv,Altimeter,Recalc,metru,id,sumPairs,FillHeight");
    QStringList docOrder;
    for (const FieldInfo& f : m_table->fields())
        docOrder << QString::fromStdString(f.name);
    QCOMPARE(docOrder.join(','), "Azimuth,Pairs,Procent,Povorot,Mark,Reserv,metru,F,G,Altimeter,Recalc,id,sumPairs,FillHeight");

    TraverseTable& t = *m_table;
    QCOMPARE(t.rowCount(), 0);
    QVERIFY(t.eof() && t.bof());
    t.append();
    QCOMPARE(t.state(), TraverseTable::State::Insert);
    QCOMPARE(t.rowCount(), 0);  // not stored yet
    QCOMPARE(t.displayRowCount(), 1);
    for (const char* zero : {"Azimuth", "Pairs", "Procent", "metru"}) {
        QVERIFY2(!t.isNull(zero), zero);
        QCOMPARE(t.asFloat(zero), 0.0);
    }
    for (const char* empty : {"Povorot", "Mark", "Reserv", "Altimeter", "Recalc", "id", "sumPairs", "FillHeight"})
        QVERIFY2(t.isNull(empty), empty);
    t.post();
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(rowsOnDisk(m_path).size(), std::size_t{1});
}

void TraverseTableTest::emptyValuesSurviveReload()
{
    TraverseTable& t = *m_table;
    t.append();
    t.setFloat("Altimeter", 250);
    t.setText("Mark", "spring");
    t.setInteger("id", 0);  // zero is a value, not empty
    t.post();
    t.append();
    t.clear("Procent");
    t.clear("metru");
    t.post();
    t.close();
    t.open();
    QCOMPARE(t.rowCount(), 2);
    QVERIFY(!t.isNull("id"));
    QCOMPARE(t.asInteger("id"), 0);
    QCOMPARE(t.asText("Mark"), std::string("spring"));
    QVERIFY(t.isNull("Recalc"));
    QCOMPARE(t.asFloat("Recalc"), 0.0);  // empty reads as 0 in arithmetic
    t.next();
    QVERIFY(t.isNull("Procent"));
    QVERIFY(t.isNull("metru"));
    QVERIFY(t.isNull("Altimeter"));
    QCOMPARE(t.asInteger("Procent"), 0);
    QCOMPARE(t.displayText("Altimeter"), std::string());
}

void TraverseTableTest::insertGoesBeforeCurrentRowInFileOrder()
{
    TraverseTable& t = *m_table;
    for (int a = 1; a <= 5; ++a)
        appendLeg(t, a);
    t.setRecNo(3);
    t.insert();
    QCOMPARE(t.recNo(), 3);
    t.setInteger("Azimuth", 99);
    t.post();
    QCOMPARE(t.recNo(), 3);
    t.first();
    t.insert();
    t.setInteger("Azimuth", 50);
    t.post();
    const QList<int> expected{50, 1, 2, 99, 3, 4, 5};
    QCOMPARE(azimuths(t), expected);
    QCOMPARE(azimuthsOnDisk(m_path), expected);
    t.close();
    t.open();
    QCOMPARE(azimuths(t), expected);
}

void TraverseTableTest::cursorWalk()
{
    TraverseTable& t = *m_table;
    for (int a = 1; a <= 4; ++a)
        appendLeg(t, a);
    QList<int> seen;
    for (t.first(); !t.eof(); t.next())
        seen << t.asInteger("Azimuth");
    QCOMPARE(seen, (QList<int>{1, 2, 3, 4}));
    QCOMPARE(t.recNo(), 4);  // next at the last row sets eof and stays
    t.first();
    QVERIFY(t.bof());
    QCOMPARE(t.moveBy(2), 2);
    QCOMPARE(t.asInteger("Azimuth"), 3);
    QCOMPARE(t.moveBy(10), 1);
    QVERIFY(t.eof());
    QCOMPARE(t.moveBy(-10), -3);
    QVERIFY(t.bof());
    t.last();
    QCOMPARE(t.recNo(), 4);
    t.prior();
    QCOMPARE(t.recNo(), 3);
    t.setRecNo(99);
    QCOMPARE(t.recNo(), 4);
}

void TraverseTableTest::movingOffPostsAndUntouchedNewRowIsDropped()
{
    TraverseTable& t = *m_table;
    appendLeg(t, 1);
    appendLeg(t, 2);
    t.first();
    t.setFloat("Pairs", 33);  // puts the row into edit mode
    QCOMPARE(t.state(), TraverseTable::State::Edit);
    t.next();
    QCOMPARE(t.state(), TraverseTable::State::Browse);
    QCOMPARE(std::get<double>(rowsOnDisk(m_path)[0][1]), 33.0);

    t.append();
    t.first();  // nothing typed into the new row: it goes away
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(rowsOnDisk(m_path).size(), std::size_t{2});

    t.append();
    t.setInteger("Azimuth", 7);
    t.first();  // a typed-into new row is stored
    QCOMPARE(azimuthsOnDisk(m_path), (QList<int>{1, 2, 7}));
}

void TraverseTableTest::cancelAndCloseDropPendingValues()
{
    TraverseTable& t = *m_table;
    appendLeg(t, 1, 10);
    t.edit();
    t.setFloat("Pairs", 20);
    QCOMPARE(t.asFloat("Pairs"), 20.0);
    t.cancel();
    QCOMPARE(t.asFloat("Pairs"), 10.0);

    t.insert();
    t.setInteger("Azimuth", 9);
    t.cancel();
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(t.asInteger("Azimuth"), 1);

    t.edit();
    t.setFloat("Pairs", 44);
    t.append();  // appending moves off the edited row: it is posted first
    t.setInteger("Azimuth", 5);
    t.close();   // the new row was never posted
    t.open();
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(t.asFloat("Pairs"), 44.0);
}

void TraverseTableTest::deleteRow()
{
    TraverseTable& t = *m_table;
    for (int a = 1; a <= 3; ++a)
        appendLeg(t, a);
    t.setRecNo(3);
    t.deleteRow();
    QCOMPARE(t.recNo(), 2);  // the last row went: the cursor is on the new last row
    t.first();
    t.deleteRow();
    QCOMPARE(t.asInteger("Azimuth"), 2);
    QCOMPARE(azimuthsOnDisk(m_path), (QList<int>{2}));
    t.deleteRow();
    QCOMPARE(t.rowCount(), 0);
    QVERIFY(t.eof() && t.bof());
    QVERIFY(errorOf([&] { t.deleteRow(); }).contains("empty"));
}

void TraverseTableTest::bookmarksSurviveOtherEdits()
{
    TraverseTable& t = *m_table;
    for (int a = 1; a <= 5; ++a)
        appendLeg(t, a);
    t.setRecNo(3);
    const auto mark = t.bookmark();
    t.first();
    t.insert();
    t.setInteger("Azimuth", 77);
    t.post();
    t.setRecNo(2);
    t.edit();
    t.setFloat("Pairs", 5);
    t.post();
    t.last();
    t.deleteRow();
    QVERIFY(t.bookmarkValid(mark));
    t.gotoBookmark(mark);
    QCOMPARE(t.asInteger("Azimuth"), 3);
    QCOMPARE(t.recNo(), 4);

    t.deleteRow();
    QVERIFY(!t.bookmarkValid(mark));
    QVERIFY(!errorOf([&] { t.gotoBookmark(mark); }).isEmpty());
    QVERIFY_THROWS_EXCEPTION(EngineError, t.gotoBookmark(mark));
    QVERIFY_THROWS_EXCEPTION(EngineError, t.gotoBookmark(0));

    t.append();  // the slot of an unposted new row is no row yet
    QVERIFY(!t.bookmarkValid(t.bookmark()));
    t.cancel();
}

void TraverseTableTest::refusals_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");  // given as a value-as-text
    QTest::addColumn<QString>("message");
    QTest::newRow("altimeter above") << "Altimeter" << "12000"
                                     << "12000 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000";
    QTest::newRow("altimeter fraction") << "Altimeter" << "3000.5"
                                        << "3000.5 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000";
    QTest::newRow("negative altimeter") << "Altimeter" << "-1"
                                        << "-1 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000";
    QTest::newRow("negative pairs") << "Pairs" << "-0.5"
                                    << "-0.5 is not a valid value for field 'Pairs'. The allowed range is 0 to 4294967295";
    QTest::newRow("percent label") << "Procent" << "151"
                                   << "151 is not a valid value for field 'Percent'. The allowed range is -150 to 150";
    QTest::newRow("azimuth rounded first") << "Azimuth" << "400.4"
                                           << "400 is not a valid value for field 'Azimuth'. The allowed range is -360 to 360";
    QTest::newRow("long id") << "id" << "3000000000"
                             << "3000000000 is not a valid value for field 'id'. The allowed range is -2147483648 to 2147483647";
    QTest::newRow("calculated") << "F" << "1" << "Field 'F' cannot be modified";
    QTest::newRow("word into number") << "Pairs" << "ten" << "Invalid variant type conversion";
    QTest::newRow("empty into number") << "Altimeter" << "" << "Invalid variant type conversion";
    QTest::newRow("two cells into number") << "Azimuth" << "1\t2" << "Invalid variant type conversion";
}

void TraverseTableTest::refusals()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    TraverseTable& t = *m_table;
    appendLeg(t, 45, 12);
    t.edit();
    t.setFloat("Altimeter", 100);
    const std::string name = field.toStdString();
    const Value before = t.value(name);
    QCOMPARE(errorOf([&] { t.setAsText(name, text.toStdString()); }), message);
    QVERIFY(t.value(name) == before);  // the refused value never entered the row
    t.post();
}

void TraverseTableTest::requiredFieldStopsPost()
{
    TraverseTable& t = *m_table;
    t.append();
    t.clear("Pairs");
    QCOMPARE(errorOf([&] { t.post(); }), QString("Field 'Pairs' must have a value"));
    QCOMPARE(t.state(), TraverseTable::State::Insert);  // stays in editing until corrected
    t.setFloat("Pairs", 1);
    t.clear("Azimuth");
    QCOMPARE(errorOf([&] { t.first(); }), QString("Field 'Azimuth' must have a value"));
    t.setInteger("Azimuth", 0);
    t.post();
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(errorOf([&] { t.setFloat("Pairs", std::nan("")); }),
             QString("Invalid floating point value for field 'Pairs'"));
}

// A row that another program stored with an empty Pairs takes edits of its other fields and keeps
// Pairs empty; making a filled required field empty is still refused, unless a rule empties it
// as a value it cannot derive.
void TraverseTableTest::storedEmptyRequiredFieldIsKept()
{
    appendLeg(*m_table, 5);
    appendLeg(*m_table, 6);
    m_table->close();
    {
        auto file = ParadoxTable::open(m_path);
        Row row = file->readAll()[0];
        row[1] = Value{};  // Pairs
        file->updateRow(0, row);
    }
    m_table->open();
    TraverseTable& t = *m_table;
    t.first();
    QVERIFY(t.isNull("Pairs"));
    t.edit();
    t.setFloat("sumPairs", 0);
    t.post();
    t.next();
    t.edit();
    t.clear("Pairs");
    QCOMPARE(errorOf([&] { t.post(); }), QString("Field 'Pairs' must have a value"));
    t.cancel();
    t.edit();
    t.clearDerived("Pairs");
    t.post();
    t.append();
    t.clear("Pairs");
    QCOMPARE(errorOf([&] { t.post(); }), QString("Field 'Pairs' must have a value"));
    t.cancel();
    const std::vector<Row> disk = rowsOnDisk(m_path);
    QCOMPARE(disk.size(), std::size_t(2));
    QVERIFY(isEmpty(disk[0][1]) && isEmpty(disk[1][1]));
    QVERIFY(disk[0][10] == Value(0.0));  // sumPairs reached the file
}

// While posts are deferred, a hook that posts on the way leaves the row pending; the commit
// stores it with one write, and a composition left without commit stores nothing.
void TraverseTableTest::deferredPostsStoreTheRowOnce()
{
    appendLeg(*m_table, 1);
    zelt::test::WatchedTable& file = zelt::test::reopenWatched(*m_table);
    TraverseTable& t = *m_table;
    t.setChangeHook("Pairs", [](TraverseTable& table) {
        table.detachChangeHook("Pairs");
        table.post();
        table.edit();
        table.setFloat("metru", table.asFloat("Pairs") * 2);
        table.post();
        table.attachChangeHook("Pairs");
    });
    t.append();
    {
        RowComposition row(t);
        t.setFloat("Pairs", 7);
        t.setInteger("Azimuth", 90);
        QCOMPARE(file.rowWrites, 0);
        QCOMPARE(t.state(), TraverseTable::State::Insert);
        row.commit();
    }
    QCOMPARE(file.rowWrites, 1);
    QVERIFY(!t.postsDeferred());
    t.append();
    {
        RowComposition row(t);
        t.setFloat("Pairs", 9);
    }
    t.cancel();
    QCOMPARE(file.rowWrites, 1);
    QCOMPARE(t.rowCount(), 2);
    const std::vector<Row> disk = rowsOnDisk(m_path);
    QCOMPARE(disk.size(), std::size_t(2));
    QVERIFY(disk[1][0] == Value(std::int32_t(90)) && disk[1][8] == Value(14.0));
}

// A flush that fails at the end of a walk is reported by finish() as an error of its own; the
// guard still returns to the row and resumes display updates, and leaving by an exception with
// a failing flush does not end the program.
void TraverseTableTest::failedFlushIsReportedNotFatal()
{
    for (int a = 1; a <= 3; ++a)
        appendLeg(*m_table, a);
    zelt::test::WatchedTable& file = zelt::test::reopenWatched(*m_table);
    TraverseTable& t = *m_table;
    t.setRecNo(2);
    file.failFlush = true;
    QString error;
    try {
        RowRestore restore(t);
        t.first();
        t.edit();
        t.setFloat("sumPairs", 5);
        t.post();
        restore.finish();
    } catch (const EngineError& e) {
        error = QString::fromStdString(e.what());
    }
    QVERIFY2(error.contains("Cannot flush the table"), qPrintable(error));
    QCOMPARE(t.recNo(), 2);
    QVERIFY(!t.controlsDisabled());
    try {
        RowRestore restore(t);
        t.last();
        throw std::runtime_error("the walk failed");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString(e.what()), QString("the walk failed"));
    }
    QCOMPARE(t.recNo(), 2);
    QVERIFY(!t.controlsDisabled());
    file.failFlush = false;
    t.close();
    QVERIFY(rowsOnDisk(m_path)[0][10] == Value(5.0));
}

void TraverseTableTest::conversionsOfValues()
{
    TraverseTable& t = *m_table;
    t.append();
    t.setFloat("Pairs", 2.5);
    QCOMPARE(t.asInteger("Pairs"), 2);  // halves to even
    t.setFloat("Pairs", 3.5);
    QCOMPARE(t.asInteger("Pairs"), 4);
    t.setFloat("Pairs", 4294967295.0);
    QCOMPARE(t.asInteger("Pairs"), std::numeric_limits<std::int32_t>::max());  // clamped, not wrapped
    t.setFloat("Azimuth", 10.5);
    QCOMPARE(t.asInteger("Azimuth"), 10);
    t.setAsText("Procent", "-12");
    QCOMPARE(t.asInteger("Procent"), -12);
    t.setAsText("Pairs", "12,5", ',');
    QCOMPARE(t.asFloat("Pairs"), 12.5);
    t.setText("Povorot", "Left_Object_and_more");  // cut to the field's 15 characters
    QCOMPARE(t.asText("Povorot"), std::string("Left_Object_and"));
    t.setText("Mark", "");
    QVERIFY(t.isNull("Mark"));
    t.setValue("Recalc", Value{std::string("7.25")});
    QCOMPARE(t.asFloat("Recalc"), 7.25);
    t.setValue("Recalc", Value{});
    QVERIFY(t.isNull("Recalc"));
    t.setInteger("Mark", 42);
    QCOMPARE(t.asText("Mark"), std::string("42"));
    t.setFloat("metru", -0.0);
    QVERIFY(!std::signbit(std::get<double>(t.value("metru"))));
    t.post();
    QCOMPARE(t.asText("Pairs"), std::string("12.5"));
    QVERIFY_THROWS_EXCEPTION(EngineError, t.value("Nope"));
    QCOMPARE(t.fieldIndex("PAIRS"), 1);  // names match without regard to case
}

void TraverseTableTest::displayTexts()
{
    TraverseTable& t = *m_table;
    t.append();
    t.setInteger("Azimuth", -45);
    t.setFloat("Pairs", 12.5);
    t.setFloat("Altimeter", 250);
    t.setFloat("metru", 15.625);
    t.setFloat("sumPairs", 10);
    t.setFloat("FillHeight", 0.05);
    t.post();
    QCOMPARE(t.displayText("Azimuth"), std::string("-45"));
    QCOMPARE(t.displayText("Pairs"), std::string("12.5"));
    QCOMPARE(t.displayText("Altimeter"), std::string("250.0"));
    QCOMPARE(t.displayText("metru"), std::string("15.63"));
    QCOMPARE(t.displayText("sumPairs"), std::string("10"));
    QCOMPARE(t.displayText("FillHeight"), std::string("0.1"));
    QCOMPARE(t.displayText("Recalc"), std::string());
    QCOMPARE(t.displayText("F"), std::string());  // no calculation routine: empty
    // The number format belongs to the table of one document: another table keeps its own.
    TraverseTable other;
    t.setNumberFormat({','});
    QCOMPARE(t.displayText("Pairs"), std::string("12,5"));
    QCOMPARE(t.displayTextAt(0, t.fieldIndex("Altimeter")), std::string("250,0"));
    QCOMPARE(other.decimalSeparator(), '.');
    QCOMPARE(t.displayLabel("Procent"), std::string("Percent"));
    QCOMPARE(t.displayLabel("pairs"), std::string("Pairs"));
}

void TraverseTableTest::changeHooksCanBeDetached()
{
    TraverseTable& t = *m_table;
    QList<double> seen;
    t.setChangeHook("Pairs", [&](TraverseTable& tt) { seen << tt.asFloat("Pairs"); });
    QVERIFY(t.isChangeHookAttached("Pairs"));
    t.append();
    t.setFloat("Pairs", 5);
    t.setFloat("Pairs", 5);  // every store runs the hook, also of an equal value
    t.detachChangeHook("Pairs");
    QVERIFY(!t.isChangeHookAttached("Pairs"));
    t.setFloat("Pairs", 6);
    t.attachChangeHook("Pairs");
    t.setAsText("Pairs", "7");
    QVERIFY_THROWS_EXCEPTION(EngineError, t.setFloat("Pairs", -1));  // refused values run nothing
    t.post();
    QCOMPARE(seen, (QList<double>{5, 5, 7}));
}

void TraverseTableTest::hookThatPostsInsideASetter()
{
    // The length rule stores, posts, derives the other length and posts again from inside the setter.
    TraverseTable& t = *m_table;
    t.setChangeHook("Pairs", [](TraverseTable& tt) {
        tt.detachChangeHook("Pairs");
        tt.edit();
        tt.post();
        tt.edit();
        tt.setFloat("metru", tt.asFloat("Pairs") / 64 * 100);
        tt.post();
        tt.attachChangeHook("Pairs");
    });
    appendLeg(t, 0, 0);
    t.append();
    t.setFloat("Pairs", 32);
    QCOMPARE(t.state(), TraverseTable::State::Browse);
    QCOMPARE(t.rowCount(), 2);
    const std::vector<Row> disk = rowsOnDisk(m_path);
    QCOMPARE(std::get<double>(disk[1][8]), 50.0);
    t.setText("Mark", "after");  // later fields edit the stored row again
    t.post();
    QCOMPARE(std::get<std::string>(rowsOnDisk(m_path)[1][4]), std::string("after"));
}

void TraverseTableTest::textEntryHookAndTypedText()
{
    TraverseTable& t = *m_table;
    t.setTextEntryHook("Povorot", [](TraverseTable& tt, const std::string& typed) {
        tt.setText("Povorot", typed == "3" ? "Center" : typed);
    });
    t.append();
    t.enterText("Povorot", "3");
    QCOMPARE(t.asText("Povorot"), std::string("Center"));
    t.setText("Povorot", "3");  // a value set by code is stored as it is
    QCOMPARE(t.asText("Povorot"), std::string("3"));
    t.enterText("Altimeter", " 250.5 ");
    QCOMPARE(t.asFloat("Altimeter"), 250.5);
    t.enterText("Altimeter", "");
    QVERIFY(t.isNull("Altimeter"));
    QCOMPARE(errorOf([&] { t.enterText("Altimeter", "high"); }),
             QString("'high' is not a valid floating point value for field 'Altimeter'"));
    QCOMPARE(errorOf([&] { t.enterText("Procent", "1.5"); }),
             QString("'1.5' is not a valid integer value for field 'Percent'"));
    QCOMPARE(errorOf([&] { t.enterText("G", "1"); }), QString("Field 'G' cannot be modified"));
    t.post();
}

void TraverseTableTest::calculatedFields()
{
    TraverseTable& t = *m_table;
    double ratio = 64;
    t.setCalcFieldsHook([&](const TraverseTable& tt, const Row& row, Value& f, Value& g) {
        const Value& pairs = tt.rowValue(row, "Pairs");
        if (isEmpty(pairs))
            return;
        f = std::get<double>(pairs) / ratio * 100;
        g = 0.0;
    });
    appendLeg(t, 0, 32);
    QCOMPARE(t.displayText("F"), std::string("50.00"));
    QCOMPARE(t.displayTextAt(0, t.fieldIndex("G")), std::string("0.00"));
    t.edit();
    t.setFloat("Pairs", 64);  // pending values count for the row being edited
    QCOMPARE(t.asFloat("F"), 100.0);
    t.clear("Pairs");
    QVERIFY(t.isNull("F"));
    t.cancel();
    ratio = 32;
    t.recalculate();
    QCOMPARE(t.asFloat("F"), 100.0);
}

void TraverseTableTest::suspendedDisplayUpdates()
{
    TraverseTable& t = *m_table;
    Recorder rec;
    const zelt::document::ObserverRegistration registration = t.addObserver(&rec);
    appendLeg(t, 1);
    QVERIFY(rec.events.contains("ins 0 1"));
    QVERIFY(rec.events.contains("row 0"));
    rec.events.clear();
    t.disableControls();
    t.disableControls();
    for (int a = 2; a <= 5; ++a)
        appendLeg(t, a);
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.setFloat("sumPairs", 1);
        t.post();
    }
    t.enableControls();
    QVERIFY(t.controlsDisabled());
    QVERIFY(rec.events.isEmpty());
    t.enableControls();
    QCOMPARE(rec.events, QStringList{"reset"});
    t.enableControls();  // unbalanced resume: nothing more
    QCOMPARE(rec.events, QStringList{"reset"});
    rec.events.clear();
    t.insert();
    t.cancel();
    QCOMPARE(rec.events.first(), QString("ins 4 1"));
    QVERIFY(rec.events.contains("rem 4 1"));
}

// A registration removes its observer when destroyed, reset or overwritten, also after the
// table is gone; an observer removed while others are notified is not called any more.
void TraverseTableTest::registrationsCannotDangle()
{
    TraverseTable& t = *m_table;
    Recorder kept;
    zelt::document::ObserverRegistration keptReg = t.addObserver(&kept);
    {
        Recorder gone;
        const zelt::document::ObserverRegistration r = t.addObserver(&gone);
        QVERIFY(r.isActive());
    }
    appendLeg(t, 1);   // would touch the destroyed recorder if it were still registered
    QVERIFY(kept.events.contains("ins 0 1"));

    // The first observer notified destroys the second one's registration and the observer.
    struct Remover : Recorder {
        zelt::document::ObserverRegistration* victim = nullptr;
        void rowChanged(int index) override
        {
            Recorder::rowChanged(index);
            if (victim)
                victim->reset();
        }
    };
    Remover first;
    auto second = std::make_unique<Recorder>();
    zelt::document::ObserverRegistration firstReg = t.addObserver(&first);
    auto secondReg = std::make_unique<zelt::document::ObserverRegistration>(t.addObserver(second.get()));
    first.victim = secondReg.get();
    t.edit();
    t.setInteger("Azimuth", 7);
    t.post();
    QVERIFY(first.events.contains("row 0"));
    QVERIFY(!secondReg->isActive());
    second.reset();   // would be called by the copy of the list if skipping did not work
    t.edit();
    t.setInteger("Azimuth", 8);
    t.post();

    // Moving keeps one registration; the moved-from one does nothing.
    zelt::document::ObserverRegistration moved = std::move(keptReg);
    QVERIFY(moved.isActive() && !keptReg.isActive());
    kept.events.clear();
    keptReg.reset();
    appendLeg(t, 2);
    QVERIFY(kept.events.contains("ins 1 1"));

    // The table goes first: the registrations then outlive it safely.
    m_table.reset();
    QVERIFY(!moved.isActive());
    moved.reset();
    firstReg = zelt::document::ObserverRegistration();
}

// Survey values notify once per real change; equal values send nothing.
void TraverseTableTest::surveyValuesNotify()
{
    zelt::document::Document doc;
    doc.table.setPath(m_path.parent_path() / "survey.db");
    doc.table.create();
    doc.table.open();
    Recorder rec;
    const zelt::document::ObserverRegistration r = doc.table.addObserver(&rec);
    doc.setPairsPer100m(60.0);
    doc.setStartHeight(400.0);
    doc.setStartHeight(400.0);
    doc.setPairsPer100m(60.0);
    QCOMPARE(rec.events, (QStringList{"survey", "survey"}));
}

void TraverseTableTest::foreignTableIsRefused()
{
    m_table->close();
    const fs::path other = fs::path(m_dir->path().toStdString()) / "other.db";
    std::vector<FieldDef> defs = TraverseSchema::fileFields();
    defs.erase(defs.begin());  // no Azimuth
    ParadoxTable::create(other, defs);
    TraverseTable t;
    t.setPath(other);
    QCOMPARE(errorOf([&] { t.open(); }), QString("'other.db' is not a traverse table: field 'Azimuth' missing"));
    QVERIFY(!t.isOpen());

    defs = TraverseSchema::fileFields();
    defs[1] = FieldDef{"Pairs", FieldType::Alpha, 10};
    ParadoxTable::create(other, defs);
    QVERIFY(errorOf([&] { t.open(); }).contains("field 'Pairs' is Alpha, expected a number"));
}

void TraverseTableTest::oldFieldOrderAndExtraFieldsAreKept()
{
    // Fields found by name in any order and letter case; a field of its own stays untouched.
    m_table->close();
    const fs::path old = fs::path(m_dir->path().toStdString()) / "old.db";
    std::vector<FieldDef> defs(TraverseSchema::fileFields().rbegin(), TraverseSchema::fileFields().rend());
    defs[0].name = "FILLHEIGHT";
    defs.push_back(FieldDef{"Note", FieldType::Alpha, 20});
    {
        auto raw = ParadoxTable::create(old, defs);
        Row row(defs.size());
        row[11] = std::int32_t{90};   // Azimuth, last of the twelve here
        row[10] = 12.0;               // Pairs
        row[12] = std::string("kept");
        raw->appendRow(row);
    }
    TraverseTable t;
    t.setPath(old);
    t.open();
    QCOMPARE(t.asInteger("Azimuth"), 90);
    QCOMPARE(t.field("FillHeight").fileIndex, 0);
    t.edit();
    t.setFloat("FillHeight", 321.5);
    t.post();
    t.append();
    t.setInteger("Azimuth", 5);
    t.post();
    t.close();
    const std::vector<Row> disk = rowsOnDisk(old);
    QCOMPARE(disk.size(), std::size_t{2});
    QCOMPARE(std::get<double>(disk[0][0]), 321.5);
    QCOMPARE(std::get<std::string>(disk[0][12]), std::string("kept"));
    QVERIFY(isEmpty(disk[1][12]));
    QCOMPARE(std::get<double>(disk[1][10]), 0.0);  // the new row's Pairs default
}

void TraverseTableTest::samplesAreRefusedClearly()
{
    const fs::path samples = zelt::test::sharedDir("paradox-samples");
    if (samples.empty())
        ZELT_SKIP_OUTSIDE("paradox-samples folder absent");
    for (const char* name : {"CONTACTS.DB", "FILMS.DB", "PCL.DB", "country.db", "TypSammlung.DB"}) {
        const fs::path copy = fs::path(m_dir->path().toStdString()) / name;
        fs::copy_file(samples / name, copy, fs::copy_options::overwrite_existing);
        TraverseTable t;
        t.setPath(copy);
        const QString message = errorOf([&] { t.open(); });
        QVERIFY2(message.contains(name), qPrintable(message));
        QVERIFY2(message.contains("not a traverse table") || message.contains("Cannot"), qPrintable(message));
    }
}

void TraverseTableTest::codePageRefusal()
{
    TraverseTable& t = *m_table;
    t.append();
    t.setText("Mark", "café");  // in the code page
    const QString message = errorOf([&] { t.setText("Mark", "Жёлоб"); });
    QVERIFY2(message != "<no error>" && !message.isEmpty(), qPrintable(message));
    QCOMPARE(t.asText("Mark"), std::string("café"));
    t.post();
    t.close();
    t.open();
    QCOMPARE(t.asText("Mark"), std::string("café"));
}

void TraverseTableTest::lockedTableOpensReadOnly()
{
    appendLeg(*m_table, 1);
    TraverseTable second;
    second.setPath(m_path);
    second.open();
    QVERIFY(second.isReadOnly());
    QCOMPARE(second.rowCount(), 1);
    QVERIFY(errorOf([&] { second.edit(); }).startsWith("Cannot modify a read-only table"));
    QVERIFY_THROWS_EXCEPTION(EngineError, second.append());
}

QTEST_APPLESS_MAIN(TraverseTableTest)
#include "traverse_table_test.moc"

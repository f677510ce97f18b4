// SPDX-License-Identifier: GPL-3.0-or-later
// Writing Paradox tables: new headers, values, the engine's block operations, foreign headers, locks.
#include "test_paradox_support.h"

#include "paradox/paradox_types.h"
#include "paradox/paradox_writer.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <random>

using namespace zelt::document;
using namespace zelt::test::px;
namespace fs = std::filesystem;

namespace {

std::uint16_t u16(const std::vector<unsigned char>& b, std::size_t at) { return std::uint16_t(b[at] | (b[at + 1] << 8)); }

/// next, prev and row count of a block of a table with a 0x800 header and 2 KB blocks.
struct Links {
    int next, prev, rows;
};
Links links(const std::vector<unsigned char>& b, int block, int recordSize)
{
    const std::size_t at = 0x800 + std::size_t(block - 1) * 2048;
    return {u16(b, at), u16(b, at + 2), std::int16_t(u16(b, at + 4)) / recordSize + 1};
}

}  // namespace

class TestParadoxWrite : public QObject {
    Q_OBJECT

private:
    fs::path m_samples;
    QTemporaryDir m_tmp;
    fs::path tmp() const { return fs::path(m_tmp.path().toStdString()); }

    void checkIndependentReaders(const fs::path& p, const std::vector<Row>& want, int codePage)
    {
        if (hasPxcheck())
            QCOMPARE(pxcheckProblems(p), std::string());
        if (hasOracle())
            QCOMPARE(oracleRows(p), oracleLines(want, *CodePage::find(codePage)));
    }

private slots:
    void outsideCheckersPresent() { ZELT_REQUIRE_PARADOX_CHECKERS(true); }
    void initTestCase()
    {
        m_samples = zelt::test::sharedDir("paradox-samples");
        QVERIFY(m_tmp.isValid());
    }

    // The header of a new empty table, byte for byte as worked out from the format notes.
    void newTableGoldenBytes()
    {
        paradox::NewTableSpec request{{{"A", FieldType::Short, 0}, {"Bc", FieldType::Alpha, 3}}, 1252, "t.db", 0x01020304};
        const std::vector<std::uint8_t> got = paradox::buildNewTable(request);
        std::vector<std::uint8_t> want(0x800, 0);
        auto put = [&](std::size_t at, std::initializer_list<int> bytes) {
            for (int b : bytes)
                want[at++] = std::uint8_t(b);
        };
        put(0x00, {0x05, 0x00, 0x00, 0x08, 0x02, 0x02});  // record 5, header 0x800, unkeyed, 2 KB
        put(0x21, {0x02, 0x00});                          // two fields, no key
        put(0x25, {0x00, 0xFF, 0x00, 0xFF, 0x62});        // no encryption, sort order 98
        put(0x39, {0x0C});                                // level 7
        put(0x3E, {0x1F, 0x0F});
        put(0x51, {0x9F, 0x01});                          // header used up to 0x19F
        put(0x56, {0x20});
        put(0x58, {0x0C, 0x01, 0x0C, 0x01, 0, 0, 0, 0, 0x04, 0x03, 0x02, 0x01});  // version, update time
        put(0x64, {0x03, 0x00, 0x3A, 0x01, 0x00, 0x00, 0xE4, 0x04, 0x01, 0x01, 0x3E, 0x01, 0x01, 0x00});
        put(0x78, {0x03, 0x02, 0x01, 0x03});              // Short, Alpha(3); pointers stay 0
        put(0x88, {'t', '.', 'd', 'b'});                  // 261-byte table name from 0x88
        put(0x18D, {'A', 0, 'B', 'c', 0, 0x01, 0x00, 0x02, 0x00, 'A', 'N', 'S', 'I', 'I', 'N', 'T', 'L', 0});
        QCOMPARE(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            QVERIFY2(got[i] == want[i], qPrintable(QStringLiteral("offset 0x%1").arg(i, 0, 16)));

        // The same header round-trips through the reader as an empty writable table.
        const fs::path p = tmp() / "golden.db";
        zelt::test::writeBytes(p, got);
        auto t = ParadoxTable::open(p);
        QVERIFY(!t->isReadOnly());
        QCOMPARE(t->rowCount(), std::size_t(0));
        QCOMPARE(t->info().sortOrderId, std::string("ANSIINTL"));
        QCOMPARE(t->fields()[1], (FieldDef{"Bc", FieldType::Alpha, 3}));
    }

    // A new table with CONTACTS.DB's fields equals the engine-written header in every byte we
    // understand: only counters, run-time pointers and change counters may differ.
    void newTableMatchesEngineHeader()
    {
        if (m_samples.empty())
            ZELT_SKIP_OUTSIDE("paradox-samples folder absent");
        const auto engine = zelt::test::readBytes(m_samples / "CONTACTS.DB");
        paradox::NewTableSpec request{{{"Last Name", FieldType::Alpha, 10}, {"First Name", FieldType::Alpha, 20},
                                    {"Company", FieldType::Alpha, 30}, {"Phone", FieldType::Alpha, 15}},
                                   437, "resttemp.DB", paradox::getU32(&engine[0x60])};
        const auto ours = paradox::buildNewTable(request);
        auto skipped = [](std::size_t i) {
            return (i >= 0x06 && i < 0x14) || (i >= 0x16 && i < 0x1E) || i == 0x2D || i == 0x2E
                || (i >= 0x30 && i < 0x38) || i == 0x3A || i == 0x3B || (i >= 0x80 && i < 0x94);
        };
        QCOMPARE(ours.size(), std::size_t(0x800));
        for (std::size_t i = 0; i < ours.size(); ++i)
            if (!skipped(i))
                QVERIFY2(ours[i] == engine[i], qPrintable(QStringLiteral("offset 0x%1").arg(i, 0, 16)));
    }

    // Sort-order ID, sort-order byte and code page always form a consistent triple.
    void languageDriverTriples_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("sortId");
        QTest::addColumn<int>("sortByte");
        QTest::newRow("1252") << 1252 << "ANSIINTL" << 98;
        QTest::newRow("1251") << 1251 << "ancyrr" << 143;
        QTest::newRow("866") << 866 << "cyrr" << 192;
    }
    void languageDriverTriples()
    {
        QFETCH(int, codePage);
        QFETCH(QString, sortId);
        QFETCH(int, sortByte);
        const fs::path p = tmp() / "triple.db";
        auto t = ParadoxTable::create(p, traverseFields(), codePage);
        QCOMPARE(t->info().codePage, codePage);
        QCOMPARE(t->info().sortOrderId, sortId.toStdString());
        QCOMPARE(t->info().versionByte, 12);
        QCOMPARE(t->info().blockSizeKb, 2);
        QCOMPARE(int(zelt::test::readBytes(p)[0x29]), sortByte);
        QVERIFY_THROWS_EXCEPTION(ParadoxError, ParadoxTable::create(tmp() / "x.db", traverseFields(), 1250));
    }

    // Values survive write and reload exactly; empty stays empty; -0.0 is stored as +0.0.
    void valuesRoundTrip()
    {
        const std::vector<FieldDef> fields{{"s", FieldType::Short, 2}, {"l", FieldType::Long, 4},
                                           {"n", FieldType::Number, 8}, {"a", FieldType::Alpha, 10}};
        const fs::path p = tmp() / "values.db";
        const std::vector<Row> rows{
            {std::int32_t(32767), std::int32_t(2147483647), 1e308, std::string("Съёмка ход")},
            {std::int32_t(-32767), std::int32_t(-2147483647), -4.9e-324, std::string("№ 5")},
            {std::int32_t(0), std::int32_t(0), 0.0, std::string("0123456789")},
            {Value{}, Value{}, Value{}, Value{}},
            {std::int32_t(-1), std::int32_t(-1), -1.0, std::string("x")},
        };
        {
            auto t = ParadoxTable::create(p, fields, 1251);
            for (const Row& r : rows)
                t->appendRow(r);
            t->appendRow({std::int32_t(1), std::int32_t(2), -0.0, std::string()});
        }
        auto t = ParadoxTable::open(p);
        std::vector<Row> got = t->readAll();
        QCOMPARE(got.size(), std::size_t(6));
        QVERIFY(isEmpty(got[5][3]));  // "" and empty are one value in the file
        QVERIFY(!std::signbit(std::get<double>(got[5][2])));
        std::vector<Row> want = rows;
        want.push_back({std::int32_t(1), std::int32_t(2), 0.0, Value{}});
        QCOMPARE(firstDifference(got, want), std::string());
        checkIndependentReaders(p, want, 1251);
    }

    // Values a field cannot hold are refused with a message naming the field, and nothing is written.
    void refusedValuesWriteNothing_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("part");
        QTest::addRow("short -32768") << 0 << "-32767 to 32767";
        QTest::addRow("long -2^31") << 1 << "range";
        QTest::addRow("NaN") << 2 << "finite";
        QTest::addRow("infinity") << 3 << "finite";
        QTest::addRow("too long") << 4 << "too long (11 characters, at most 10";
        QTest::addRow("unmappable") << 5 << "'ж' (U+0436) cannot be stored in code page 1252";
        QTest::addRow("bad UTF-8") << 6 << "not valid UTF-8";
        QTest::addRow("NUL") << 7 << "NUL";
        QTest::addRow("text into short") << 8 << "integer";
        QTest::addRow("float into long") << 9 << "integer";
    }
    void refusedValuesWriteNothing()
    {
        QFETCH(int, field);
        QFETCH(QString, part);
        const std::vector<FieldDef> fields{{"s", FieldType::Short, 2}, {"l", FieldType::Long, 4},
                                           {"n", FieldType::Number, 8}, {"a", FieldType::Alpha, 10}};
        const fs::path p = tmp() / "refuse.db";
        auto t = ParadoxTable::create(p, fields);
        const Row good{std::int32_t(1), std::int32_t(1), 1.0, std::string("ok")};
        t->appendRow(good);
        Row bad = good;
        switch (field) {
        case 0: bad[0] = std::int32_t(-32768); break;
        case 1: bad[1] = std::numeric_limits<std::int32_t>::min(); break;
        case 2: bad[2] = std::nan(""); break;
        case 3: bad[2] = -std::numeric_limits<double>::infinity(); break;
        case 4: bad[3] = std::string("Ä123456789x"); break;
        case 5: bad[3] = std::string("ж"); break;
        case 6: bad[3] = std::string("\xFF"); break;
        case 7: bad[3] = std::string("a\0b", 3); break;
        case 8: bad[0] = std::string("1"); break;
        case 9: bad[1] = 2.5; break;
        }
        const auto before = zelt::test::readBytes(p);
        try {
            t->validate(bad);
            QFAIL("validate accepted the row");
        } catch (const ParadoxError& e) {
            QVERIFY2(std::string(e.what()).find(part.toStdString()) != std::string::npos, e.what());
            const int fieldOfCase[] = {0, 1, 2, 2, 3, 3, 3, 3, 0, 1};
            QVERIFY2(std::string(e.what()).find("'" + fields[fieldOfCase[field]].name + "'") != std::string::npos, e.what());
        }
        QVERIFY_THROWS_EXCEPTION(ParadoxError, t->appendRow(bad));
        QVERIFY_THROWS_EXCEPTION(ParadoxError, t->insertRow(0, bad));
        QVERIFY_THROWS_EXCEPTION(ParadoxError, t->updateRow(0, bad));
        QVERIFY_THROWS_EXCEPTION(ParadoxError, t->appendRow(Row(3)));
        QVERIFY(!t->isReadOnly());  // a refused value is no reason to stop writing
        QVERIFY(zelt::test::readBytes(p) == before);
    }

    // The engine's block rules: a full tail grows a block, a full inner block splits half/half into
    // a block linked after it, an emptied block goes to the free list and is reused first, and the
    // first block takes over its successor instead of leaving the chain.
    void engineBlockRules()
    {
        const fs::path p = tmp() / "rules.db";
        auto t = ParadoxTable::create(p, traverseFields());
        std::vector<Row> model;
        auto append = [&](int id) {
            t->appendRow(traverseRow(id));
            model.push_back(traverseRow(id));
        };
        for (int i = 0; i < 12; ++i)
            append(i);
        auto b = zelt::test::readBytes(p);
        QCOMPARE(u16(b, 0x0C), std::uint16_t(2));
        QCOMPARE(links(b, 2, 171).rows, 1);

        t->insertRow(3, traverseRow(100));  // block 1 is full and not the tail: split
        model.insert(model.begin() + 3, traverseRow(100));
        b = zelt::test::readBytes(p);
        QCOMPARE(links(b, 1, 171).next, 3);
        QCOMPARE(links(b, 1, 171).rows, 6);
        QCOMPARE((std::pair(links(b, 3, 171).prev, links(b, 3, 171).next)), std::pair(1, 2));
        QCOMPARE(links(b, 3, 171).rows, 6);
        QCOMPARE(links(b, 2, 171).prev, 3);
        QCOMPARE(u16(b, 0x10), std::uint16_t(2));  // tail unchanged

        t->deleteRow(12);  // the only row of block 2: it leaves the chain for the free list
        model.erase(model.begin() + 12);
        b = zelt::test::readBytes(p);
        QCOMPARE(u16(b, 0x4D), std::uint16_t(2));
        QCOMPARE(u16(b, 0x10), std::uint16_t(3));
        QCOMPARE(u16(b, 0x0A), std::uint16_t(2));
        QCOMPARE(links(b, 3, 171).next, 0);

        for (int i = 0; i < 6; ++i)
            append(200 + i);  // fills block 3, then takes block 2 from the free list
        b = zelt::test::readBytes(p);
        QCOMPARE(u16(b, 0x4D), std::uint16_t(0));
        QCOMPARE(u16(b, 0x0C), std::uint16_t(3));
        QCOMPARE(u16(b, 0x10), std::uint16_t(2));
        checkIndependentReaders(p, model, 1252);

        for (int i = 0; i < 6; ++i) {  // empty block 1: it takes over block 3's rows
            t->deleteRow(0);
            model.erase(model.begin());
        }
        b = zelt::test::readBytes(p);
        QCOMPARE(u16(b, 0x0E), std::uint16_t(1));
        QCOMPARE(u16(b, 0x4D), std::uint16_t(3));
        QCOMPARE(links(b, 1, 171).rows, 11);
        QCOMPARE(links(b, 1, 171).next, 2);
        QCOMPARE(firstDifference(t->readAll(), model), std::string());
        checkIndependentReaders(p, model, 1252);

        while (t->rowCount() > 0)
            t->deleteRow(t->rowCount() - 1);
        t.reset();
        t = ParadoxTable::open(p);
        QCOMPARE(t->rowCount(), std::size_t(0));
        QVERIFY(t->openNotes().empty());
        b = zelt::test::readBytes(p);
        QCOMPARE(u16(b, 0x0E), std::uint16_t(0));  // no chain; block 1 stays reserved, not free
        QVERIFY(u16(b, 0x4D) != 1);
        checkIndependentReaders(p, {}, 1252);
        t->insertRow(0, traverseRow(7));
        QCOMPARE(firstDifference(t->readAll(), {traverseRow(7)}), std::string());
        QCOMPARE(u16(zelt::test::readBytes(p), 0x0E), std::uint16_t(1));
        checkIndependentReaders(p, {traverseRow(7)}, 1252);
    }

    // Random inserts, appends, updates and deletes keep exactly the order of an in-memory model,
    // also after reopening and for both independent readers.
    void randomOperationsKeepOrder()
    {
        const fs::path p = tmp() / "random.db";
        auto t = ParadoxTable::create(p, traverseFields(), 1251);
        std::vector<Row> model;
        std::mt19937 rng(12345);
        int next = 0;
        for (int op = 0; op < 3000; ++op) {
            const int kind = int(rng() % 10);
            const std::size_t n = model.size();
            if (kind < 4 || n == 0) {
                const std::size_t at = rng() % (n + 1);
                Row r = traverseRow(next++);
                r[5] = std::string("ход ") + std::to_string(op);
                t->insertRow(at, r);
                model.insert(model.begin() + std::ptrdiff_t(at), r);
            } else if (kind < 6) {
                t->appendRow(traverseRow(next));
                model.push_back(traverseRow(next++));
            } else if (kind < 8) {
                const std::size_t at = rng() % n;
                t->deleteRow(at);
                model.erase(model.begin() + std::ptrdiff_t(at));
            } else {
                const std::size_t at = rng() % n;
                Row r = model[at];
                r[7].emplace<double>(op * 0.25);
                r[5].emplace<std::monostate>();
                t->updateRow(at, r);
                model[at] = r;
            }
            if (op % 500 == 0)
                QCOMPARE(firstDifference(t->readAll(), model), std::string());
        }
        t->sync();
        t.reset();
        t = ParadoxTable::open(p);
        QVERIFY(t->openNotes().empty());
        QCOMPARE(firstDifference(t->readAll(), model), std::string());
        checkIndependentReaders(p, model, 1251);
    }

    // Writing to a copy of an engine-written unkeyed table changes no header byte outside the
    // counters and links we own, and the rows read back as written.
    void foreignHeadersKeepUnownedBytes_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* f : {"CONTACTS.DB", "DECIMAL.DB", "PCL.DB", "joina.db"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void foreignHeadersKeepUnownedBytes()
    {
        if (m_samples.empty())
            ZELT_SKIP_OUTSIDE("paradox-samples folder absent");
        QFETCH(QString, file);
        const fs::path p = writableCopy(m_samples / file.toStdString(), tmp());
        const auto before = zelt::test::readBytes(p);
        const std::size_t headerSize = u16(before, 2);
        std::vector<Row> model;
        {
            auto t = ParadoxTable::open(p);
            QVERIFY2(!t->isReadOnly(), t->readOnlyReason().c_str());
            model = t->readAll();
            for (int i = 0; i < 40; ++i) {  // enough to grow blocks and split in every sample
                const std::size_t at = (i * 7) % (model.size() + 1);
                const Row r = model[std::size_t(i) % model.size()];
                t->insertRow(at, r);
                model.insert(model.begin() + std::ptrdiff_t(at), r);
            }
            t->updateRow(0, model[1]);
            model[0] = model[1];
            for (int i = 0; i < 5; ++i) {
                t->deleteRow(2);
                model.erase(model.begin() + 2);
            }
            t->appendRow(model[0]);
            model.push_back(model[0]);
        }
        const auto after = zelt::test::readBytes(p);
        auto owned = [](std::size_t i) {
            return (i >= 0x06 && i < 0x12) || i == 0x3A || i == 0x3B || i == 0x4D || i == 0x4E;
        };
        for (std::size_t i = 0; i < headerSize; ++i)
            if (!owned(i))
                QVERIFY2(after[i] == before[i], qPrintable(QStringLiteral("header byte 0x%1 changed").arg(i, 0, 16)));
        auto t = ParadoxTable::open(p, {.readOnly = true});
        QVERIFY(t->openNotes().empty());
        QCOMPARE(firstDifference(t->readAll(), model), std::string());
        if (hasPxcheck())
            QCOMPARE(pxcheckProblems(p), std::string());
        if (hasOracle())
            QCOMPARE(oracleRows(p), oracleLines(model, *CodePage::find(t->info().codePage)));
    }

    // The engine's own free-block list (FILMS.DB, made unkeyed here) is used before the file grows.
    void engineFreeListIsReused()
    {
        if (m_samples.empty())
            ZELT_SKIP_OUTSIDE("paradox-samples folder absent");
        const fs::path p = writableCopy(m_samples / "FILMS.DB", tmp());
        auto b = zelt::test::readBytes(p);
        b[0x04] = 2;
        zelt::test::writeBytes(p, b);
        auto t = ParadoxTable::open(p);
        QVERIFY2(!t->isReadOnly(), t->readOnlyReason().c_str());
        std::vector<Row> model = t->readAll();
        for (int i = 0; i < 4; ++i) {  // three fill block 4, the fourth needs a block
            t->appendRow(model[std::size_t(i)]);
            model.push_back(model[std::size_t(i)]);
        }
        b = zelt::test::readBytes(p);
        QCOMPARE(u16(b, 0x4D), std::uint16_t(0));
        QCOMPARE(u16(b, 0x0C), std::uint16_t(5));
        QCOMPARE(u16(b, 0x10), std::uint16_t(5));
        QCOMPARE(b.size(), std::size_t(305 + 5 * 1024));
        QCOMPARE(firstDifference(t->readAll(), model), std::string());
        if (hasPxcheck())
            QCOMPARE(pxcheckProblems(p), std::string());
    }

    // Two openers of one table: the second reads only, and says why; the lock ends with the first.
    void secondOpenerIsReadOnly()
    {
        const fs::path p = tmp() / "locked.db";
        auto first = ParadoxTable::create(p, traverseFields());
        first->appendRow(traverseRow(1));
        auto second = ParadoxTable::open(p);
        QVERIFY(second->isReadOnly());
        QVERIFY(second->readOnlyReason().find("another program") != std::string::npos);
        QCOMPARE(second->rowCount(), std::size_t(1));
        QVERIFY_THROWS_EXCEPTION(ParadoxError, ParadoxTable::create(p, traverseFields()));
        QVERIFY_THROWS_EXCEPTION(ParadoxError, renameTable(p, tmp() / "moved.db"));
        first.reset();
        QVERIFY(!ParadoxTable::open(p)->isReadOnly());
    }

    // Rename moves the table, never overwrites another file, and reports what went wrong.
    void renameMovesTable()
    {
        const fs::path from = tmp() / "before.db";
        const fs::path to = tmp() / "after.db";
        ParadoxTable::create(from, traverseFields())->appendRow(traverseRow(5));
        renameTable(from, to);
        QVERIFY(!fs::exists(from));
        QCOMPARE(firstDifference(ParadoxTable::open(to)->readAll(), {traverseRow(5)}), std::string());
        ParadoxTable::create(from, traverseFields());
        try {
            renameTable(from, to);
            QFAIL("rename overwrote a file");
        } catch (const ParadoxError& e) {
            QVERIFY2(std::string(e.what()).find("already exists") != std::string::npos, e.what());
        }
        QCOMPARE(ParadoxTable::open(to)->rowCount(), std::size_t(1));
        QVERIFY_THROWS_EXCEPTION(ParadoxError, renameTable(tmp() / "none.db", tmp() / "n2.db"));
    }
};

QTEST_APPLESS_MAIN(TestParadoxWrite)
#include "test_paradox_write.moc"

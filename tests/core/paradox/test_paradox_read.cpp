// SPDX-License-Identifier: GPL-3.0-or-later
// Reading Paradox tables: engine-written samples, value encodings, code pages, the open-time check.
#include "test_paradox_support.h"

#include "paradox/paradox_reader.h"
#include "paradox/paradox_types.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace zelt::document;
using namespace zelt::test::px;
namespace fs = std::filesystem;

class TestParadoxRead : public QObject {
    Q_OBJECT

private:
    fs::path m_samples;
    QTemporaryDir m_tmp;

    fs::path tmp() const { return fs::path(m_tmp.path().toStdString()); }

    /// A table of ours with 30 rows in three 2 KB blocks (11 + 11 + 8).
    fs::path makeThreeBlockTable(const char* name)
    {
        const fs::path p = tmp() / name;
        auto t = ParadoxTable::create(p, traverseFields());
        for (int i = 0; i < 30; ++i)
            t->appendRow(traverseRow(i));
        return p;
    }
    static void patchU16(std::vector<unsigned char>& b, std::size_t at, std::uint16_t v)
    {
        b[at] = static_cast<unsigned char>(v);
        b[at + 1] = static_cast<unsigned char>(v >> 8);
    }
    static std::size_t blockAt(int block) { return 0x800 + std::size_t(block - 1) * 2048; }

private slots:
    void outsideCheckersPresent() { ZELT_REQUIRE_PARADOX_CHECKERS(false); }
    void initTestCase()
    {
        m_samples = zelt::test::sharedDir("paradox-samples");
        QVERIFY(m_tmp.isValid());
    }

    // Every engine-written sample reads value for value and in chain order as the expected JSON.
    void samplesMatchExpected_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* f : {"PCL.DB", "CONTACTS.DB", "FILMS.DB", "DECIMAL.DB", "tblsttes.DB", "joina.db"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void samplesMatchExpected()
    {
        if (m_samples.empty())
            ZELT_SKIP_OUTSIDE("paradox-samples folder absent");
        QFETCH(QString, file);
        QFile json(QString::fromStdString((m_samples / "expected" / (file.toStdString() + ".json")).string()));
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonObject exp = QJsonDocument::fromJson(json.readAll()).object();
        auto t = ParadoxTable::open(m_samples / file.toStdString(), {.readOnly = true});

        QCOMPARE(t->info().versionByte, exp["fileVersionID"].toInt());
        QCOMPARE(t->info().fileType, exp["fileType"].toInt());
        QCOMPARE(t->info().headerSize, exp["headerSize"].toInt());
        QCOMPARE(t->info().blockSizeKb, exp["maxTableSize"].toInt());
        if (exp.contains("codepage"))
            QCOMPARE(t->info().codePage, exp["codepage"].toInt());
        const QJsonArray fields = exp["fields"].toArray();
        QCOMPARE(t->fields().size(), std::size_t(fields.size()));
        for (int i = 0; i < fields.size(); ++i) {
            const QJsonArray f = fields[i].toArray();
            QCOMPARE(t->fields()[i].name, f[0].toString().toStdString());
            QCOMPARE(int(t->fields()[i].type), f[1].toString().toInt(nullptr, 16));
            QCOMPARE(int(t->fields()[i].size), f[2].toInt());
        }

        const std::vector<Row> rows = t->readAll();
        const QJsonArray records = exp["records"].toArray();
        QCOMPARE(rows.size(), std::size_t(records.size()));
        QCOMPARE(t->rowCount(), rows.size());
        for (int r = 0; r < records.size(); ++r) {
            const QJsonArray rec = records[r].toArray();
            for (int c = 0; c < rec.size(); ++c) {
                const Value& v = rows[r][c];
                const QJsonValue e = rec[c];
                const QByteArray where = QStringLiteral("row %1 field %2").arg(r).arg(c).toUtf8();
                if (e.isNull())
                    QVERIFY2(isEmpty(v), where);
                else if (e.isString())
                    QVERIFY2(v == Value(e.toString().toStdString()), where);
                else if (std::holds_alternative<std::int32_t>(v))
                    QVERIFY2(std::get<std::int32_t>(v) == e.toInteger(), where);
                else
                    QVERIFY2(v == Value(e.toDouble()), where);
            }
        }
    }

    // Tables without expected values still open; keyed ones read-only with a reason.
    void otherSamplesOpen()
    {
        if (m_samples.empty())
            ZELT_SKIP_OUTSIDE("paradox-samples folder absent");
        auto typ = ParadoxTable::open(m_samples / "TypSammlung.DB", {.readOnly = true});
        QCOMPARE(typ->rowCount(), std::size_t(5));
        QCOMPARE(typ->fields().size(), std::size_t(14));
        QCOMPARE(typ->info().sortOrderId, std::string("ANSIINTL"));
        QCOMPARE(std::get<std::string>(typ->readAll()[0][0]), std::string("AAA Irgendein Text"));
        auto country = ParadoxTable::open(m_samples / "country.db", {.readOnly = true});
        QCOMPARE(country->rowCount(), std::size_t(18));
        QCOMPARE(country->info().codePage, 850);

        const fs::path films = writableCopy(m_samples / "FILMS.DB", tmp());
        auto keyed = ParadoxTable::open(films);
        QVERIFY(keyed->isReadOnly());
        QVERIFY(keyed->readOnlyReason().find("primary key") != std::string::npos);
        QVERIFY_THROWS_EXCEPTION(ParadoxError, keyed->appendRow(Row(9)));
        const fs::path contacts = writableCopy(m_samples / "CONTACTS.DB", tmp());
        QVERIFY(!ParadoxTable::open(contacts)->isReadOnly());
    }

    // The engine's encodings: inverted top bit for integers, sign trick for doubles, zeros = empty.
    void valueEncodings()
    {
        const CodePage& cp = *CodePage::find(1252);
        auto dec = [&](FieldType t, std::vector<std::uint8_t> b) { return paradox::decodeValue(t, b.data(), b.size(), cp); };
        QVERIFY(dec(FieldType::Short, {0x80, 0x01}) == Value(std::int32_t(1)));
        QVERIFY(dec(FieldType::Short, {0x80, 0x00}) == Value(std::int32_t(0)));
        QVERIFY(dec(FieldType::Short, {0x7F, 0xFF}) == Value(std::int32_t(-1)));
        QVERIFY(isEmpty(dec(FieldType::Short, {0, 0})));
        QVERIFY(dec(FieldType::Long, {0x7F, 0xFF, 0xFF, 0xFE}) == Value(std::int32_t(-2)));
        QVERIFY(isEmpty(dec(FieldType::Long, {0, 0, 0, 0})));
        QVERIFY(dec(FieldType::Number, {0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) == Value(-1.0));
        QVERIFY(dec(FieldType::Number, {0x80, 0, 0, 0, 0, 0, 0, 0}) == Value(0.0));
        QVERIFY(dec(FieldType::Number, {0xC0, 0x59, 0, 0, 0, 0, 0, 0}) == Value(100.0));
        QVERIFY(isEmpty(dec(FieldType::Number, std::vector<std::uint8_t>(8, 0))));
        QVERIFY(dec(FieldType::Logical, {0x81}) == Value(std::int32_t(1)));
        QVERIFY(dec(FieldType::Alpha, {'a', 'b', 0, 0}) == Value(std::string("ab")));
        QVERIFY(dec(FieldType::Alpha, {'a', 'b', 'c'}) == Value(std::string("abc")));  // full width, no NUL
        QVERIFY(isEmpty(dec(FieldType::Alpha, {0, 0, 0})));
        QVERIFY(isEmpty(dec(FieldType::Bcd, std::vector<std::uint8_t>(17, 0x55))));  // opaque types read empty
    }

    // Every byte of every built-in code page reads and writes back unchanged; foreign text is refused.
    void codePages()
    {
        for (int number : CodePage::supported()) {
            const CodePage* page = CodePage::find(number);
            QVERIFY(page);
            for (int b = 1; b < 256; ++b) {
                const std::uint8_t byte = static_cast<std::uint8_t>(b);
                std::string utf8;
                page->appendUtf8(&byte, 1, utf8);
                std::string back;
                CodePage::Failure failure;
                QVERIFY2(page->fromUtf8(utf8, back, failure) && back == std::string(1, char(byte)),
                         qPrintable(QStringLiteral("cp%1 byte %2").arg(number).arg(b)));
            }
        }
        const CodePage& cp1251 = *CodePage::find(1251);
        std::string bytes;
        CodePage::Failure failure;
        QVERIFY(cp1251.fromUtf8("Азимут", bytes, failure));
        QCOMPARE(bytes, std::string("\xC0\xE7\xE8\xEC\xF3\xF2"));
        QVERIFY(!CodePage::find(1252)->fromUtf8("x\xD0\xB6", bytes, failure));  // 'ж'
        QCOMPARE(failure.codePoint, char32_t(0x436));
        QCOMPARE(failure.offset, std::size_t(1));
        QCOMPARE(describeCodePoint(0x436), std::string("'ж' (U+0436)"));
        for (const char* bad : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF8\x88\x80\x80\x80", "a\x80"}) {
            QVERIFY(!cp1251.fromUtf8(bad, bytes, failure));
            QVERIFY(failure.invalidUtf8);
        }
        QVERIFY(!CodePage::find(1250));
    }

    // Level-3 headers record no code page: the fallback setting decides how text reads.
    void level3TextUsesFallbackCodePage()
    {
        if (m_samples.empty())
            ZELT_SKIP_OUTSIDE("paradox-samples folder absent");
        const fs::path p = writableCopy(m_samples / "PCL.DB", tmp());
        auto bytes = zelt::test::readBytes(p);
        bytes[409 + 6] = 0xE0;  // first byte of the first row's first Alpha field
        zelt::test::writeBytes(p, bytes);
        auto ansi = ParadoxTable::open(p, {.readOnly = true});
        QCOMPARE(ansi->info().codePage, 1252);
        QCOMPARE(std::get<std::string>(ansi->readAll()[0][0]).substr(0, 2), std::string("à"));
        auto dos = ParadoxTable::open(p, {.readOnly = true, .fallbackCodePage = 866});
        QCOMPARE(dos->info().codePage, 866);
        QCOMPARE(std::get<std::string>(dos->readAll()[0][0]).substr(0, 2), std::string("р"));
        QVERIFY_THROWS_EXCEPTION(ParadoxError, ParadoxTable::open(p, {.readOnly = true, .fallbackCodePage = 1250}));
    }

    // An invalid chain opens read-only with a reason, shows the rows before the damage and is
    // never written, not even when opened for writing. Read for its header only, the table
    // tells the same reason and row count, and its rows are not there to read.
    void damagedChainsOpenReadOnly_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("rowsShown");
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("cycle") << 0 << 30 << "circle";
        QTest::newRow("link beyond file") << 1 << 22 << "beyond the end";
        QTest::newRow("count not a multiple") << 2 << 11 << "impossible row count";
        QTest::newRow("count above block") << 3 << 11 << "impossible row count";
        QTest::newRow("first block beyond file") << 4 << 0 << "beyond the end";
        QTest::newRow("short file") << 5 << 22 << "past the end";
    }
    void damagedChainsOpenReadOnly()
    {
        QFETCH(int, kind);
        QFETCH(int, rowsShown);
        QFETCH(QString, reasonPart);
        const fs::path p = makeThreeBlockTable("damaged.db");
        auto b = zelt::test::readBytes(p);
        switch (kind) {
        case 0: patchU16(b, blockAt(3), 1); break;
        case 1: patchU16(b, blockAt(2), 99); break;
        case 2: patchU16(b, blockAt(2) + 4, 5); break;
        case 3: patchU16(b, blockAt(2) + 4, 11 * 171); break;
        case 4: patchU16(b, 0x0E, 7); break;
        case 5: b.resize(blockAt(3) + 6 + 171 * 3); break;
        }
        zelt::test::writeBytes(p, b);
        auto t = ParadoxTable::open(p);
        QVERIFY(t->isReadOnly());
        QVERIFY2(t->readOnlyReason().find(reasonPart.toStdString()) != std::string::npos, t->readOnlyReason().c_str());
        QCOMPARE(t->readAll().size(), std::size_t(rowsShown));
        QVERIFY_THROWS_EXCEPTION(ParadoxError, t->appendRow(traverseRow(1)));
        auto head = ParadoxTable::open(p, {.headerOnly = true});
        QCOMPARE(head->readOnlyReason(), t->readOnlyReason());
        QCOMPARE(head->rowCount(), std::size_t(rowsShown));
        QVERIFY(head->isDamaged());
        if (rowsShown > 0)
            QVERIFY_THROWS_EXCEPTION(ParadoxError, head->readRow(0));
        t.reset();
        QVERIFY(zelt::test::readBytes(p) == b);
    }

    // Stale counters and back links next to a valid chain (what an interrupted write leaves) are
    // trusted to the chain, noted, and corrected in the file with the first change written: an
    // open for writing alone leaves the file as it is.
    void staleCountersTrustTheChain()
    {
        const fs::path p = makeThreeBlockTable("stale.db");
        auto b = zelt::test::readBytes(p);
        b[0x06] = 29;                  // one row behind
        patchU16(b, 0x10, 2);          // old tail
        patchU16(b, 0x0C, 2);          // block 3 not yet counted in the file
        patchU16(b, blockAt(3) + 2, 1);  // back link of a half-done split
        zelt::test::writeBytes(p, b);
        {
            auto ro = ParadoxTable::open(p, {.readOnly = true});
            QCOMPARE(ro->rowCount(), std::size_t(30));
            QVERIFY(!ro->openNotes().empty());
            auto head = ParadoxTable::open(p, {.headerOnly = true});
            QCOMPARE(head->rowCount(), std::size_t(30));
            QCOMPARE(head->openNotes().size(), ro->openNotes().size());
            QVERIFY(head->isReadOnly());
        }
        QVERIFY(zelt::test::readBytes(p) == b);  // read-only: untouched
        {
            auto t = ParadoxTable::open(p);
            QVERIFY(!t->isReadOnly());
            QCOMPARE(t->rowCount(), std::size_t(30));
            QVERIFY(t->openNotes().size() >= 4);
            // The table is whole after the repair: what the open did is told as notes.
            for (const Diagnostic& note : t->openNotes())
                QCOMPARE(note.severity, Severity::Note);
            QVERIFY(t->openNotes().back().text.find("are corrected") != std::string::npos);
            QVERIFY(firstDifference(t->readAll(), [] {
                        std::vector<Row> rows;
                        for (int i = 0; i < 30; ++i)
                            rows.push_back(traverseRow(i));
                        return rows;
                    }()).empty());
            QVERIFY(zelt::test::readBytes(p) == b);  // nothing written yet
            t->updateRow(0, traverseRow(0));
        }
        if (hasPxcheck())
            QCOMPARE(pxcheckProblems(p), std::string());
        QVERIFY(ParadoxTable::open(p)->openNotes().empty());
    }

    // A block header zeroed in the middle of the chain ends the chain early: the rows after it are
    // cut off, and the header still counts them. The table is damaged, not to be shortened to the
    // chain: it opens read-only for writing too, shows what the chain holds, and stays untouched.
    void chainCutShortOfTheHeaderIsDamage()
    {
        const fs::path p = makeThreeBlockTable("cut.db");
        auto b = zelt::test::readBytes(p);
        std::fill(b.begin() + std::ptrdiff_t(blockAt(2)), b.begin() + std::ptrdiff_t(blockAt(2) + 6), 0);
        zelt::test::writeBytes(p, b);
        for (const ParadoxOpenOptions& how : {ParadoxOpenOptions{}, ParadoxOpenOptions{.headerOnly = true}}) {
            auto t = ParadoxTable::open(p, how);
            QVERIFY(t->isDamaged());
            QVERIFY(t->isReadOnly());
            QVERIFY2(t->readOnlyReason().find("header gives 30 rows") != std::string::npos, t->readOnlyReason().c_str());
            QVERIFY_THROWS_EXCEPTION(ParadoxError, t->appendRow(traverseRow(1)));
        }
        QVERIFY(zelt::test::readBytes(p) == b);
    }

    // A table made as new never truncates a file that is there, whoever made it a moment ago.
    void newTableLeavesAFileThatIsThere()
    {
        const fs::path p = makeThreeBlockTable("taken.db");
        const auto b = zelt::test::readBytes(p);
        QVERIFY_THROWS_EXCEPTION(ParadoxError, ParadoxTable::create(p, traverseFields(), 1252, true));
        QVERIFY(zelt::test::readBytes(p) == b);
        QVERIFY(ParadoxTable::create(tmp() / "fresh.db", traverseFields(), 1252, true)->rowCount() == 0);
    }

    // One row more in the header than in the chain is what a removal cut off between the block's
    // count and the header's leaves: the chain is trusted and the table stays writable.
    void headerOneRowAheadIsAnInterruptedRemoval()
    {
        const fs::path p = makeThreeBlockTable("ahead.db");
        auto b = zelt::test::readBytes(p);
        b[0x06] = 31;
        zelt::test::writeBytes(p, b);
        auto t = ParadoxTable::open(p);
        QVERIFY(!t->isReadOnly());
        QCOMPARE(t->rowCount(), std::size_t(30));
    }

    // A file ending inside its last block, after that block's rows, is a valid table and takes posts.
    void shortLastBlockIsAccepted()
    {
        const fs::path p = makeThreeBlockTable("short.db");
        auto b = zelt::test::readBytes(p);
        b.resize(blockAt(3) + 6 + 8 * 171);
        zelt::test::writeBytes(p, b);
        auto t = ParadoxTable::open(p);
        QVERIFY(!t->isReadOnly());
        QVERIFY(t->openNotes().empty());
        QCOMPARE(t->rowCount(), std::size_t(30));
        for (int i = 0; i < 5; ++i)
            t->appendRow(traverseRow(30 + i));
        t.reset();
        std::vector<Row> want;
        for (int i = 0; i < 35; ++i)
            want.push_back(traverseRow(i));
        QCOMPARE(firstDifference(ParadoxTable::open(p)->readAll(), want), std::string());
        if (hasPxcheck())
            QCOMPARE(pxcheckProblems(p), std::string());
    }

    // A damaged free list holds no rows: it is dropped and the table stays writable.
    void damagedFreeListIsDropped()
    {
        const fs::path p = makeThreeBlockTable("freelist.db");
        auto b = zelt::test::readBytes(p);
        patchU16(b, 0x4D, 2);  // a block of the chain
        zelt::test::writeBytes(p, b);
        auto t = ParadoxTable::open(p);
        QVERIFY(!t->isReadOnly());
        QVERIFY(!t->openNotes().empty());
        for (int i = 0; i < 12; ++i)
            t->appendRow(traverseRow(100 + i));  // must not take block 2 from the "free" list
        QCOMPARE(t->rowCount(), std::size_t(42));
        t.reset();
        QCOMPARE(ParadoxTable::open(p)->rowCount(), std::size_t(42));
        QCOMPARE(zelt::test::readBytes(p)[0x4D], std::uint8_t(0));
    }

    // Files that are no table at all, encrypted or truncated are refused with a message naming them.
    void unreadableFilesAreRefused()
    {
        const fs::path p = makeThreeBlockTable("refused.db");
        const auto good = zelt::test::readBytes(p);
        auto expectError = [&](std::vector<unsigned char> bytes, const char* part) {
            zelt::test::writeBytes(p, bytes);
            try {
                ParadoxTable::open(p);
                QFAIL(part);
            } catch (const ParadoxError& e) {
                QVERIFY2(std::string(e.what()).find("refused.db") != std::string::npos, e.what());
                QVERIFY2(std::string(e.what()).find(part) != std::string::npos, e.what());
            }
        };
        auto enc = good;
        enc[0x5C] = 0x17;
        expectError(enc, "encrypted");
        expectError(std::vector<unsigned char>(good.begin(), good.begin() + 0x300), "truncated");
        expectError(std::vector<unsigned char>(good.begin(), good.begin() + 0x20), "too short");
        auto px = good;
        px[0x04] = 1;
        expectError(px, "not a Paradox data table");
        auto type = good;
        type[0x78] = 0x33;
        expectError(type, "unknown type");
        auto size = good;
        size[0x79] = 4;  // Short field claiming 4 bytes
        expectError(size, "impossible size");
        QVERIFY_THROWS_EXCEPTION(ParadoxError, ParadoxTable::open(tmp() / "missing.db"));
    }
};

QTEST_APPLESS_MAIN(TestParadoxRead)
#include "test_paradox_read.moc"

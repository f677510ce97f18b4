// SPDX-License-Identifier: GPL-3.0-or-later
// Appending objects: index rules, object bytes, refusals before writing, preserved bytes, fuzz.
#include "export/ocad_template.h"
#include "export/ocad_writer.h"

#include "export_test_util.h"

#include <random>

using namespace zelt::test;
using namespace zelt::mapexport;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kIdx = 23804;   // the template's index block
std::size_t entryAt(std::size_t block, int k) { return block + 4 + 24 * std::size_t(k); }

Bytes templateBytes() { return Bytes(templateMap().begin(), templateMap().end()); }

// Hand-computed label of `text` anchored at (0, 80): five raw coordinates and the text slots.
Bytes expectedLabel(const std::string& text)
{
    const std::int64_t X = 0, Y = 80 * 256;
    const int nText = int(text.size()) / 8 + 1;
    Bytes b = le({{8021, 2}, {4, 1}, {0, 1}, {5, 2}, {nText, 2}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4},
                  {X, 4}, {Y, 4}, {X - 100, 4}, {Y - 100, 4}, {X + 100000, 4}, {Y - 100, 4},
                  {X + 100000, 4}, {Y + 100000, 4}, {X - 100, 4}, {Y + 100000, 4}});
    Bytes t(std::size_t(nText) * 8, 0);
    std::memcpy(t.data(), text.data(), text.size());
    b.insert(b.end(), t.begin(), t.end());
    return b;
}

struct Fixture {
    QTemporaryDir dir;
    fs::path path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }
    fs::path withTemplate(const char* name) const
    {
        const fs::path p = path(name);
        PrepareTarget(p);
        return p;
    }
};

RouteLine lineOfPoints(int n)
{
    RouteLine l;
    for (int i = 1; i < n; ++i)
        l.AddPoint(i * 10, -i * 5);
    return l;
}

}  // namespace

class OcadWriterTest : public QObject {
    Q_OBJECT
private slots:
    // Into a new map the first object takes entry 1 (entry 0 is the start mark) and lands at 29992;
    // an 8-character label is 88 bytes with two text slots, its box widened by 1536 on raw values.
    void firstLabelInNewMap()
    {
        Fixture f;
        const fs::path map = f.withTemplate("a.ocd");
        WriteTextObject(map, "Tower 12", 0, 80);
        const Bytes b = readBytes(map);
        QCOMPARE(b.size(), std::size_t(29992 + 88));
        QCOMPARE(slice(b, 0, entryAt(kIdx, 1)), slice(templateBytes(), 0, entryAt(kIdx, 1)));
        QCOMPARE(slice(b, entryAt(kIdx, 1), 24),
                 le({{-1636, 4}, {80 * 256 - 100 - 1536, 4}, {100000 + 1536, 4}, {80 * 256 + 100000 + 1536, 4},
                     {29992, 4}, {88, 2}, {8021, 2}}));
        QCOMPARE(slice(b, 29992, 88), expectedLabel("Tower 12"));
        ZELT_VERIFY_INSPECT_CLEAN(map);
    }

    // An empty label is 80 bytes: one slot of zeros; a 7-character one still fits one slot.
    void labelTextSlots()
    {
        QCOMPARE(makeTextObject("", 0, 80).bytes(), expectedLabel(""));
        QCOMPARE(makeTextObject("", 0, 80).byteSize(), 80);
        QCOMPARE(makeTextObject("1234567", 0, 80).nText(), 1);
        QCOMPARE(makeTextObject("12345678", 0, 80).nText(), 2);
        QVERIFY_THROWS_EXCEPTION(MapRangeError, makeTextObject(std::string(8192, 'x'), 0, 0));
        QCOMPARE(makeTextObject(std::string(8191, 'x'), 0, 0).nText(), 1024);
    }

    // The route line starts at (0, 0); alone it gets the box +-777; AddPoint stores x 256 and
    // MarkCorner sets bit 0 of the last Y; the 2001st point is refused.
    void routeLine()
    {
        RouteLine l;
        OcadCord ll, ur;
        l.boundingBox(ll, ur);
        QCOMPARE(le({{ll.x, 4}, {ll.y, 4}, {ur.x, 4}, {ur.y, 4}}), le({{-777, 4}, {-777, 4}, {777, 4}, {777, 4}}));
        QCOMPARE(l.bytes(), le({{5171, 2}, {2, 1}, {0, 1}, {1, 2}, {0, 2}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4},
                                {0, 4}, {0, 4}, {0, 4}}));
        l.AddPoint(667, 0);
        l.MarkCorner();
        l.MarkCorner();
        QCOMPARE(l.point(1).x, 667 * 256);
        QCOMPARE(l.point(1).y, 1);
        l.boundingBox(ll, ur);
        QCOMPARE(le({{ll.x, 4}, {ll.y, 4}, {ur.x, 4}, {ur.y, 4}}), le({{-1536, 4}, {-1536, 4}, {667 * 256 + 1536, 4}, {1 + 1536, 4}}));

        RouteLine full = lineOfPoints(2000);
        QCOMPARE(full.nItem(), 2000);
        QVERIFY_THROWS_EXCEPTION(MapRangeError, full.AddPoint(1, 1));
        QCOMPARE(full.nItem(), 2000);
        QVERIFY_THROWS_EXCEPTION(MapRangeError, l.AddPoint(8388608, 0));
        l.AddPoint(-8388608, 8388607);  // the extremes of the 24-bit range still fit
        QVERIFY_THROWS_EXCEPTION(MapRangeError, l.boundingBox(ll, ur));
    }

    // Free entries: symbol 0 with length <= 32 is reused; symbol 0 with length 40 (deleted) is not.
    void freeEntryRule()
    {
        Fixture f;
        const fs::path map = f.withTemplate("free.ocd");
        Bytes b = readBytes(map);
        put32(b, entryAt(kIdx, 1) + 16, 29952), put16(b, entryAt(kIdx, 1) + 20, 40);   // deleted, kept 40
        put32(b, entryAt(kIdx, 2) + 16, 29952), put16(b, entryAt(kIdx, 2) + 20, -5);   // signed: counts as <= 32
        writeBytes(map, b);
        AppendObject(map, RouteLine());
        AppendObject(map, RouteLine());
        const Bytes a = readBytes(map);
        QCOMPARE(slice(a, entryAt(kIdx, 1), 24), slice(b, entryAt(kIdx, 1), 24));
        QCOMPARE(slice(a, entryAt(kIdx, 2), 24), le({{-777, 4}, {-777, 4}, {777, 4}, {777, 4}, {29992, 4}, {40, 2}, {5171, 2}}));
        QCOMPARE(i32(a, entryAt(kIdx, 3) + 16), 29992 + 40);
    }

    // A map without an index block gets one at its old end, linked from the header; the object
    // takes entry 0 and follows the block directly.
    void mapWithoutIndex()
    {
        Fixture f;
        const fs::path map = f.withTemplate("noidx.ocd");
        Bytes b = readBytes(map);
        put32(b, 12, 0);
        writeBytes(map, b);
        AppendObject(map, RouteLine());
        const Bytes a = readBytes(map);
        QCOMPARE(i32(a, 12), 29992);
        QCOMPARE(a.size(), std::size_t(29992 + 6148 + 40));
        QCOMPARE(i32(a, 29992), 0);
        QCOMPARE(slice(a, entryAt(29992, 0) + 16, 8), le({{29992 + 6148, 4}, {40, 2}, {5171, 2}}));
        QVERIFY(std::all_of(a.begin() + long(entryAt(29992, 1)), a.begin() + 29992 + 6148, [](unsigned char c) { return c == 0; }));
    }

    // With every entry taken, the object goes to entry 0 of a new block that the old last block
    // now points to. The cached appender writes byte for byte what single appends write.
    void chainedBlocksAndCacheAgree()
    {
        Fixture f;
        const fs::path one = f.withTemplate("one.ocd"), run = f.withTemplate("run.ocd");
        MapAppender appender(run);
        for (int i = 0; i < 600; ++i) {
            const OcadObject obj = i % 3 ? makeTextObject(std::to_string(i), i, -i) : OcadObject(lineOfPoints(1 + i % 7));
            AppendObject(one, obj);
            appender.append(obj);
        }
        const Bytes a = readBytes(one);
        QVERIFY(a == readBytes(run));
        // Entry 0 of the template plus 255 objects fill the first block; object 256 chains a block.
        const std::int32_t second = i32(a, kIdx);
        QVERIFY(second > 29992);
        QCOMPARE(i32(a, entryAt(std::size_t(second), 0) + 16), second + 6148);
        const std::int32_t third = i32(a, std::size_t(second));
        QVERIFY(third > second);
        QCOMPARE(i32(a, std::size_t(third)), 0);
        ZELT_VERIFY_INSPECT_CLEAN(one);
    }

    // When the map grows behind the appender's back, it reads the index again instead of
    // overwriting the entry someone else took.
    void appenderNoticesOutsideWrites()
    {
        Fixture f;
        const fs::path map = f.withTemplate("outside.ocd");
        MapAppender appender(map);
        appender.append(RouteLine());
        AppendObject(map, makeTextObject("x", 1, 1));
        appender.append(lineOfPoints(3));
        const Bytes a = readBytes(map);
        QCOMPARE(i16(a, entryAt(kIdx, 1) + 22), std::int16_t(5171));
        QCOMPARE(i16(a, entryAt(kIdx, 2) + 22), std::int16_t(8021));
        QCOMPARE(i16(a, entryAt(kIdx, 3) + 22), std::int16_t(5171));
        ZELT_VERIFY_INSPECT_CLEAN(map);
    }

    // Faulty targets are refused before anything is written, with a message naming the fault.
    void refusedTargets_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("short") << 0 << "shorter than the map header";
        QTest::newRow("mark") << 1 << "OCAD mark";
        QTest::newRow("version 8") << 2 << "OCAD version 8";
        QTest::newRow("version 9") << 3 << "OCAD version 9";
        QTest::newRow("setup outside") << 4 << "setup record";
        QTest::newRow("zero scale") << 5 << "map scale";
        QTest::newRow("index outside") << 6 << "outside the file";
        QTest::newRow("index loop") << 7 << "loops";
        QTest::newRow("truncated block") << 8 << "outside the file";
        // A map cut off inside its last object: new objects would be written over its tail.
        QTest::newRow("cut inside last object") << 9 << "object at offset 29992 runs past the end";
        QTest::newRow("cut, entry length too short") << 10 << "object at offset 29992 is cut off";
        QTest::newRow("entry before the header") << 11 << "object at offset 40 lies inside the map header";
    }
    void refusedTargets()
    {
        QFETCH(int, kind);
        QFETCH(QString, message);
        Fixture f;
        const fs::path map = f.withTemplate("bad.ocd");
        if (kind >= 9)
            WriteTextObject(map, "Tower 12", 0, 80);  // 88 bytes at 29992, entry 1
        Bytes b = readBytes(map);
        switch (kind) {
        case 0: b.resize(40); break;
        case 1: put16(b, 0, 0x0CAE); break;
        case 2: put16(b, 4, 8), put16(b, 2, 2); break;
        case 3: put16(b, 4, 9); break;
        case 4: put32(b, 16, 29990); break;
        case 5: std::memset(b.data() + 19272 + 24, 0, 8); break;
        case 6: put32(b, 12, 29000); break;
        case 7: put32(b, kIdx, std::int32_t(kIdx)); break;
        case 8: b.resize(kIdx + 100); break;
        case 9: b.resize(b.size() - 10); break;
        case 10: put16(b, entryAt(kIdx, 1) + 20, 32), b.resize(b.size() - 10); break;
        case 11: put32(b, entryAt(kIdx, 1) + 16, 40); break;
        }
        writeBytes(map, b);
        try {
            AppendObject(map, RouteLine());
            QFAIL("the map was accepted");
        } catch (const MapIoError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(message), e.what());
        }
        QVERIFY(readBytes(map) == b);
    }

    // Appending into the outside sample maps: every byte that is not an index entry or link we
    // needed stays as it was, and the map with the export symbols passes the checker.
    void samplesKeepTheirBytes_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addColumn<bool>("hasSymbols");
        QTest::newRow("route") << "fixture-route-v7.ocd" << false;
        QTest::newRow("with export symbols") << "fixture-route-v7-export-symbols.ocd" << true;
    }
    void samplesKeepTheirBytes()
    {
        QFETCH(QString, sample);
        QFETCH(bool, hasSymbols);
        const fs::path dir = sharedDir("ocad-samples");
        if (dir.empty())
            ZELT_SKIP_OUTSIDE("the outside sample maps are absent");
        Fixture f;
        const fs::path map = f.path("copy.ocd");
        const Bytes original = readBytes(dir / sample.toStdString());
        writeBytes(map, original);
        MapAppender appender(map);
        QCOMPARE(appender.definesSymbol(5171), hasSymbols);
        QCOMPARE(appender.definesSymbol(8021), hasSymbols);
        for (int i = 0; i < 300; ++i)
            appender.append(makeTextObject("Mark " + std::to_string(i), i * 7, i * 3));
        appender.append(lineOfPoints(40));
        const Bytes a = readBytes(map);

        // Which bytes may differ: the index entries that now point past the old end, and the
        // next-block link of an index block (or the header's first-block field).
        std::vector<bool> allowed(original.size(), false);
        for (std::int32_t blk = i32(a, 12), prev = -1; blk != 0; prev = blk, blk = i32(a, std::size_t(blk))) {
            if (std::size_t(blk) >= original.size()) {
                const std::size_t link = prev < 0 ? 12 : std::size_t(prev);
                std::fill(allowed.begin() + long(link), allowed.begin() + long(link + 4), true);
                continue;
            }
            for (int k = 0; k < 256; ++k)
                if (std::size_t(i32(a, entryAt(std::size_t(blk), k) + 16)) >= original.size())
                    std::fill(allowed.begin() + long(entryAt(std::size_t(blk), k)), allowed.begin() + long(entryAt(std::size_t(blk), k) + 24), true);
        }
        int changed = 0;
        for (std::size_t i = 0; i < original.size(); ++i) {
            if (a[i] != original[i]) {
                QVERIFY2(allowed[i], qPrintable(QStringLiteral("byte %1 changed").arg(i)));
                ++changed;
            }
        }
        QVERIFY(changed > 0);
        if (hasSymbols)
            ZELT_VERIFY_INSPECT_CLEAN(map);
    }

    // A version 8 sample is refused and left as it was.
    void version8SampleRefused()
    {
        const fs::path dir = sharedDir("ocad-samples");
        if (dir.empty())
            ZELT_SKIP_OUTSIDE("the outside sample maps are absent");
        Fixture f;
        const fs::path map = f.path("v8.ocd");
        const Bytes original = readBytes(dir / "mapper-text-object-v8.ocd");
        writeBytes(map, original);
        QVERIFY_THROWS_EXCEPTION(MapIoError, AppendObject(map, RouteLine()));
        QVERIFY_THROWS_EXCEPTION(MapIoError, ReadMapScale(map));
        QVERIFY(readBytes(map) == original);
    }

    // Bounded fuzz of the map reader: damaged headers, index links and lengths either are refused
    // with MapIoError (file unchanged) or take the object; nothing crashes or reads out of bounds.
    void fuzzMapReader()
    {
        Fixture f;
        const fs::path map = f.path("fuzz.ocd");
        const Bytes base = [&] {
            const fs::path p = f.withTemplate("base.ocd");
            MapAppender a(p);
            for (int i = 0; i < 300; ++i)
                a.append(makeTextObject("f", i, i));
            return readBytes(p);
        }();
        const std::int32_t second = i32(base, kIdx);
        const std::size_t hot[] = {0, 2, 4, 8, 12, 16, 20, 24, kIdx, std::size_t(second), entryAt(kIdx, 3) + 20, 19272 + 24, 19272 + 30};
        std::mt19937 rng(20240607);
        int refused = 0, taken = 0;
        for (int round = 0; round < 1500; ++round) {
            Bytes b = base;
            const int edits = 1 + int(rng() % 3);
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = rng() % 2 ? hot[rng() % std::size(hot)] : rng() % b.size();
                switch (rng() % 4) {
                case 0: put32(b, std::min(at, b.size() - 4), std::int32_t(rng())); break;
                case 1: put32(b, std::min(at, b.size() - 4), std::int32_t(rng() % (b.size() + 7000))); break;
                case 2: b[std::min(at, b.size() - 1)] ^= std::uint8_t(1u << (rng() % 8)); break;
                case 3: b.resize(rng() % b.size()); break;
                }
                if (b.size() < 8)
                    break;
            }
            writeBytes(map, b);
            try {
                MapAppender a(map);
                a.append(makeTextObject("fuzz", 1, 2));
                a.append(RouteLine());
                ++taken;
            } catch (const MapIoError&) {
                QVERIFY(readBytes(map) == b);
                ++refused;
            }
        }
        QVERIFY(refused > 100);
        QVERIFY(taken > 100);
    }
};

QTEST_APPLESS_MAIN(OcadWriterTest)
#include "ocad_writer_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The template map: its bytes at every fixed offset, the golden copy, and the outside checker.
#include "export/ocad_template.h"
#include "export/ocad_writer.h"

#include "export_test_util.h"

using namespace zelt::test;
using zelt::mapexport::templateMap;

namespace {

Bytes pascal(const std::string& s, std::size_t room)
{
    Bytes b(room, 0);
    b[0] = static_cast<unsigned char>(s.size());
    std::memcpy(b.data() + 1, s.data(), s.size());
    return b;
}

bool allZero(const Bytes& b, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

// Colour table entry (72 bytes at 72 + 72 i) whose colour number is `number`, or -1.
int colorEntry(const Bytes& b, int number)
{
    for (int i = 0; i < 32; ++i)
        if (i16(b, 72 + 72 * std::size_t(i)) == number)
            return i;
    return -1;
}

}  // namespace

class OcadTemplateTest : public QObject {
    Q_OBJECT
private slots:
    // The header, colour counts and setup hold exactly the values the export relies on.
    void headerSetupAndInfo()
    {
        const Bytes b(templateMap().begin(), templateMap().end());
        QCOMPARE(b.size(), std::size_t(29992));
        QCOMPARE(slice(b, 0, 48), le({{0x0CAD, 2}, {7, 2}, {7, 2}, {53, 2}, {20876, 4}, {23804, 4}, {19272, 4},
                                      {1348, 4}, {20620, 4}, {256, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}}));
        QCOMPARE(slice(b, 48, 4), le({{32, 2}, {7, 2}}));
        // Map scale 15000 at setup offset 24 and grid 10.0 at offset 8, as IEEE doubles.
        QCOMPARE(slice(b, 19272 + 24, 8), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x4C, 0xCD, 0x40}));
        QCOMPARE(slice(b, 19272 + 8, 8), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x40}));
        QCOMPARE(i16(b, 19272 + 836), std::int16_t(0));   // no template image enabled
        QCOMPARE(b[19272 + 580], 0);                       // ... and none named
        QCOMPARE(b[19272 + 1082], 0);                      // no file name of ours in the map
        QVERIFY(allZero(b, 20620, 20876));                 // empty file information
    }

    // 32 colours (0 Black, 11 Purple, 22 Gray among them) and 7 separations; unused records zero.
    void colourTable()
    {
        const Bytes b(templateMap().begin(), templateMap().end());
        const struct { int number; const char* name; int k; } facts[] = {{0, "Black", 200}, {11, "Purple", 0}, {22, "Gray", 60}};
        for (const auto& f : facts) {
            const int e = colorEntry(b, f.number);
            QVERIFY(e >= 0);
            const std::size_t at = 72 + 72 * std::size_t(e);
            QCOMPARE(slice(b, at + 8, 32), pascal(f.name, 32));
            QCOMPARE(int(b[at + 7]), f.k);
        }
        QVERIFY(allZero(b, 72 + 72 * 32, 18504));
        QCOMPARE(slice(b, 18504, 16), pascal("Black", 16));
        QCOMPARE(slice(b, 18504 + 6 * 24, 16), pascal("Gray", 16));
        QVERIFY(allZero(b, 18504 + 7 * 24, 19272));
    }

    // One symbol block listing the four symbols back to back; each record's fixed fields.
    void symbols()
    {
        const Bytes b(templateMap().begin(), templateMap().end());
        QCOMPARE(slice(b, 20876, 20), le({{0, 4}, {21904, 4}, {22392, 4}, {22792, 4}, {23216, 4}}));
        QVERIFY(allZero(b, 20896, 21904));

        // 517.1 "Power line": grey (22) line 0.13 mm, a tick of 4 slots at corners and at the end.
        QCOMPARE(slice(b, 21904, 10), le({{488, 2}, {5171, 2}, {2, 2}, {0, 1}, {0, 1}, {43, 2}}));
        QCOMPARE(int(b[21904 + 20 + 2]), 0x40);
        QCOMPARE(slice(b, 21904 + 52, 32), pascal("Power line", 32));
        QCOMPARE(slice(b, 21904 + 348, 4), le({{22, 2}, {13, 2}}));
        QCOMPARE(slice(b, 21904 + 412, 12), le({{0, 2}, {0, 2}, {4, 2}, {0, 2}, {4, 2}, {0, 2}}));
        QCOMPARE(slice(b, 21904 + 424, 32),
                 le({{1, 2}, {0, 2}, {22, 2}, {13, 2}, {0, 2}, {2, 2}, {0, 4}, {0, 4}, {36 * 256, 4}, {0, 4}, {-37 * 256, 4}}));

        // 601.0 "Start": purple (11) point, one closed triangle of 6 slots.
        QCOMPARE(slice(b, 22392, 10), le({{400, 2}, {6010, 2}, {1, 2}, {0, 1}, {0, 1}, {410, 2}}));
        QCOMPARE(int(b[22392 + 20 + 1]), 0x08);
        QCOMPARE(slice(b, 22392 + 52, 32), pascal("Start", 32));
        QCOMPARE(i16(b, 22392 + 348), std::int16_t(6));
        QCOMPARE(slice(b, 22392 + 352, 16), le({{1, 2}, {1, 2}, {11, 2}, {35, 2}, {0, 2}, {4, 2}, {0, 4}}));

        // 601.1 "Connection line": purple line 0.35 mm without elements.
        QCOMPARE(slice(b, 22792, 10), le({{424, 2}, {6011, 2}, {2, 2}, {0, 1}, {0, 1}, {17, 2}}));
        QCOMPARE(slice(b, 22792 + 52, 32), pascal("Connection line", 32));
        QCOMPARE(slice(b, 22792 + 348, 4), le({{11, 2}, {35, 2}}));
        QVERIFY(allZero(b, 22792 + 412, 22792 + 424));

        // 802.1 "Text 8 pt": Arial, black, 8 pt, weight 400, upright, left, words 100 %, lines 120 %.
        QCOMPARE(slice(b, 23216, 10), le({{588, 2}, {8021, 2}, {4, 2}, {1, 1}, {0, 1}, {35, 2}}));
        QCOMPARE(int(b[23216 + 20]), 0x01);
        QCOMPARE(slice(b, 23216 + 52, 32), pascal("Text 8 pt", 32));
        QCOMPARE(slice(b, 23216 + 348, 32), pascal("Arial", 32));
        QCOMPARE(slice(b, 23216 + 380, 16),
                 le({{0, 2}, {80, 2}, {400, 2}, {0, 1}, {0, 1}, {0, 2}, {100, 2}, {0, 2}, {120, 2}}));
    }

    // The index block holds the start mark, a 601.0 point at (0, 0) stored right behind it.
    void startObject()
    {
        const Bytes b(templateMap().begin(), templateMap().end());
        QCOMPARE(i32(b, 23804), 0);
        QCOMPARE(slice(b, 23808, 24), le({{-410 * 256, 4}, {-410 * 256, 4}, {410 * 256, 4}, {410 * 256, 4},
                                          {29952, 4}, {40, 2}, {6010, 2}}));
        QVERIFY(allZero(b, 23808 + 24, 29952));
        QCOMPARE(slice(b, 29952, 8), le({{6010, 2}, {1, 1}, {0, 1}, {1, 2}, {0, 2}}));
        QVERIFY(allZero(b, 29952 + 8, 29992));
    }

    // The whole file equals the reviewed golden copy (UPDATE_GOLDEN=1 rewrites it).
    void goldenCopy()
    {
        const Bytes actual(templateMap().begin(), templateMap().end());
        const auto golden = std::filesystem::path(TEST_DATA_DIR) / "export/golden/template.ocd";
        if (qEnvironmentVariableIsSet("UPDATE_GOLDEN"))
            writeBytes(golden, actual);
        const Bytes expected = readBytes(golden);
        const long long diff = firstDifference(actual, expected);
        if (diff >= 0)
            writeBytes(std::filesystem::path(ZELT_BINARY_DIR) / "template-actual.ocd", actual);
        QVERIFY2(diff < 0, qPrintable(QStringLiteral("first difference at offset %1").arg(diff)));
    }

    // A new target gets the template unchanged, and the outside checker finds nothing to report.
    void preparedTargetIsClean()
    {
        QTemporaryDir dir;
        const std::filesystem::path map = dir.filePath(QStringLiteral("new.ocd")).toStdString();
        zelt::mapexport::PrepareTarget(map);
        QVERIFY(readBytes(map) == Bytes(templateMap().begin(), templateMap().end()));
        QCOMPARE(zelt::mapexport::ReadMapScale(map), 15000.0);

        // An existing file is left as it is.
        const std::filesystem::path other = dir.filePath(QStringLiteral("other.ocd")).toStdString();
        writeBytes(other, Bytes{1, 2, 3});
        zelt::mapexport::PrepareTarget(other);
        QCOMPARE(readBytes(other), (Bytes{1, 2, 3}));
        ZELT_VERIFY_INSPECT_CLEAN(map);
    }
};

QTEST_APPLESS_MAIN(OcadTemplateTest)
#include "ocad_template_test.moc"

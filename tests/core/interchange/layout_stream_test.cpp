// SPDX-License-Identifier: GPL-3.0-or-later
// Layout stream (.ing): hand-worked golden bytes, round trips, other producers' variants,
// refused tags, truncation and a bounded fuzz of the reader.
#include "interchange/layout_stream.h"

#include "document/traverse_schema.h"
#include "interchange/fixed_layouts.h"
#include "test_support.h"

#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace zelt::document;
using namespace zelt::interchange;

namespace {

using Bytes = std::vector<std::uint8_t>;

/// Builds expected bytes by hand: raw bytes, and short strings with their length byte.
struct B {
    Bytes b;
    B& operator()(std::initializer_list<int> raw)
    {
        for (int x : raw)
            b.push_back(static_cast<std::uint8_t>(x));
        return *this;
    }
    B& s(std::string_view text)  // length byte + text
    {
        b.push_back(static_cast<std::uint8_t>(text.size()));
        b.insert(b.end(), text.begin(), text.end());
        return *this;
    }
    B& raw(std::string_view text)
    {
        b.insert(b.end(), text.begin(), text.end());
        return *this;
    }
};

B fileStart()
{
    B x;
    x.raw("TPF0").s("TColumnsWrapper")({0x00}).s("Columns")({0x0E});
    return x;
}

Bytes fileOf(B entries)
{
    B x = fileStart();
    x.b.insert(x.b.end(), entries.b.begin(), entries.b.end());
    x({0x00, 0x00, 0x00});
    return x.b;
}

std::string readError(const Bytes& bytes)
{
    try {
        readLayout(bytes);
    } catch (const LayoutError& e) {
        return e.what();
    }
    return "no error";
}

/// `builtIn()` as it reads back: Azimuth's own font is written whole, from the grid's font.
ColumnSet builtInAsStored()
{
    ColumnSet set = ColumnSet::builtIn();
    set.columns[0].font = overlayFont(StandardGridMetrics::standardFont(), set.columns[0].font);
    set.columns[0].font.pitch.reset();  // the default pitch is not written
    return set;
}

/// Offset and values of the first difference, for failure messages.
QByteArray firstDifference(const Bytes& actual, const Bytes& expected)
{
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    auto at = [i](const Bytes& b) { return i < b.size() ? QByteArray::number(b[i], 16) : QByteArray("end"); };
    return "first difference at offset " + QByteArray::number(qulonglong(i)) + ": actual " + at(actual)
        + ", expected " + at(expected);
}

}  // namespace

Q_DECLARE_METATYPE(zelt::document::ColumnSet)
Q_DECLARE_METATYPE(Bytes)

#define COMPARE_BYTES(actual, expected)                                                            \
    do {                                                                                           \
        const Bytes a_ = (actual), e_ = (expected);                                                \
        QVERIFY2(a_ == e_, firstDifference(a_, e_).constData());                                   \
    } while (false)

class LayoutStreamTest : public QObject {
    Q_OBJECT
private slots:
    void goldenHiddenProcentColumn();
    void goldenColumnWithoutOwnSettings();
    void goldenBuiltInSet();
    void integersAndStringsTakeTheirSmallestForm();
    void roundTrip_data();
    void roundTrip();
    void acceptsOtherProducersVariants();
    void refusesWhatALayoutCannotHold_data();
    void refusesWhatALayoutCannotHold();
    void everyTruncationIsAReadError();
    void hugeLengthsAreReadErrorsWithoutAllocation();
    void fuzzedStreamsFailCleanly();
    void fileOperations();
    void fixedLayoutFilesOfTheBuild();
};

// The entry of a hidden Procent column titled "%" with a right-aligned title.
void LayoutStreamTest::goldenHiddenProcentColumn()
{
    Column c;
    c.fieldName = "Procent";
    c.visible = false;
    c.title.caption = "%";
    c.title.alignment = Alignment::Right;
    B entry;
    entry({0x01}).s("Expanded")({0x08}).s("FieldName")({0x06}).s("Procent");
    entry.s("Title.Alignment")({0x07}).s("taRightJustify").s("Title.Caption")({0x06}).s("%");
    entry.s("Visible")({0x08, 0x00});
    COMPARE_BYTES(writeLayout(ColumnSet{{c}}), fileOf(entry));
}

// A column with no settings of its own carries only Expanded, FieldName and Visible; own
// values equal to their defaults are not written either.
void LayoutStreamTest::goldenColumnWithoutOwnSettings()
{
    Column plain;
    plain.fieldName = "Pairs";
    Column sameAsDefaults = plain;
    sameAsDefaults.alignment = Alignment::Right;        // a number field's alignment
    sameAsDefaults.title.caption = "Pairs";             // the field's name
    sameAsDefaults.readOnly = false;
    sameAsDefaults.color = kColorWindow;
    sameAsDefaults.width = ColumnDefaults::standard().defaultWidth(plain);
    B entry;
    entry({0x01}).s("Expanded")({0x08}).s("FieldName")({0x06}).s("Pairs").s("Visible")({0x09, 0x00});
    COMPARE_BYTES(writeLayout(ColumnSet{{plain}}), fileOf(entry));
    COMPARE_BYTES(writeLayout(ColumnSet{{sameAsDefaults}}), fileOf(entry));
}

// The whole built-in set, worked out property by property.
void LayoutStreamTest::goldenBuiltInSet()
{
    B e;
    auto start = [&](const char* field) { e({0x01}).s("Expanded")({0x08}).s("FieldName")({0x06}).s(field); };
    auto titleRight = [&] { e.s("Title.Alignment")({0x07}).s("taRightJustify"); };
    auto end = [&](int width, bool visible) {
        if (width)
            e.s("Width")({0x02, width});
        e.s("Visible")({visible ? 0x09 : 0x08, 0x00});
    };
    start("Azimuth");
    e.s("Font.Charset")({0x07}).s("DEFAULT_CHARSET").s("Font.Color")({0x07}).s("clBlack");
    e.s("Font.Height")({0x02, 0xF5}).s("Font.Name")({0x06}).s("MS Sans Serif").s("Font.Style")({0x0B, 0x00});
    titleRight(), end(47, true);
    start("Pairs"), titleRight(), end(40, true);
    start("Altimeter"), titleRight(), end(47, true);
    start("Procent"), titleRight(), e.s("Title.Caption")({0x06}).s("%"), end(0, false);
    e({0x01}).s("Alignment")({0x07}).s("taRightJustify").s("DropDownRows")({0x02, 15});
    e.s("Expanded")({0x08}).s("FieldName")({0x06}).s("Povorot").s("PickList.Strings")({0x01});
    for (const char* w : {"Left", "Right", "Center", "Left_Object", "Right_Object", "Both_Object", "Centr_Object"})
        e({0x06}).s(w);
    e({0x00}), titleRight(), e.s("Title.Caption")({0x06}).s("Tumbling"), end(40, true);
    e({0x01}).s("Alignment")({0x07}).s("taRightJustify").s("Color")({0x07}).s("clInfoBk");
    e.s("Expanded")({0x08}).s("FieldName")({0x06}).s("Mark"), titleRight(), end(28, true);
    start("sumPairs"), titleRight(), end(43, true);
    start("metru"), e.s("ReadOnly")({0x09}), titleRight(), e.s("Title.Caption")({0x06}).s("Length (m)"), end(0, false);
    start("F"), titleRight(), end(0, false);
    start("G"), titleRight(), end(0, false);
    e({0x01}).s("Alignment")({0x07}).s("taRightJustify");
    e.s("Expanded")({0x08}).s("FieldName")({0x06}).s("Reserv"), titleRight();
    e.s("Title.Caption")({0x06}).s("Reserved"), end(0, false);
    start("FillHeight"), titleRight(), end(56, true);
    start("Recalc"), titleRight(), end(49, true);
    e({0x01}).s("Color")({0x07}).s("clBtnFace").s("Expanded")({0x08}).s("FieldName")({0x06}).s("id");
    e.s("ReadOnly")({0x09}), titleRight(), e.s("Title.Caption")({0x06}).s("Id"), end(23, true);

    const Bytes written = writeLayout(ColumnSet::builtIn());
    COMPARE_BYTES(written, fileOf(e));
    QVERIFY(readLayout(written) == builtInAsStored());
}

void LayoutStreamTest::integersAndStringsTakeTheirSmallestForm()
{
    const std::vector<std::pair<int, Bytes>> cases{
        {127, {0x02, 0x7F}},          {-128, {0x02, 0x80}},
        {128, {0x03, 0x80, 0x00}},    {-129, {0x03, 0x7F, 0xFF}},
        {32767, {0x03, 0xFF, 0x7F}},  {-32768, {0x03, 0x00, 0x80}},
        {32768, {0x04, 0x00, 0x80, 0x00, 0x00}},
        {-32769, {0x04, 0xFF, 0x7F, 0xFF, 0xFF}},
    };
    for (const auto& [value, form] : cases) {
        Column c;
        c.dropDownRows = value;
        B e;
        e({0x01}).s("DropDownRows");
        e.b.insert(e.b.end(), form.begin(), form.end());
        e.s("Expanded")({0x08}).s("Visible")({0x09, 0x00});
        COMPARE_BYTES(writeLayout(ColumnSet{{c}}), fileOf(e));
    }
    // 255 bytes still fit a short string; 256 need the long form with its 4-byte length.
    for (std::size_t len : {255u, 256u, 70000u}) {
        Column c;
        c.fieldName = std::string(len, 'x');
        const Bytes bytes = writeLayout(ColumnSet{{c}});
        const std::size_t tagAt = fileStart().b.size() + 1 + 9 + 1 + 10;
        QCOMPARE(int(bytes[tagAt]), len < 256 ? 0x06 : 0x0C);
        QCOMPARE(readLayout(bytes).columns.at(0).fieldName, c.fieldName);
    }
}

void LayoutStreamTest::roundTrip_data()
{
    QTest::addColumn<ColumnSet>("set");
    QTest::newRow("empty set") << ColumnSet{};
    QTest::newRow("built-in as stored") << builtInAsStored();

    ColumnSet foreign;  // a layout of another table whose field names do not match
    for (const char* f : {"Ost", "Nord", "Hoehe"}) {
        Column c;
        c.fieldName = f;
        c.visible = std::string(f) != "Nord";
        c.width = 80;
        c.title.caption = std::string("Spalte ") + f;
        foreign.columns.push_back(c);
    }
    QTest::newRow("other table, hidden column") << foreign;

    Column full;
    full.fieldName = "Mark";
    full.alignment = Alignment::Center;
    full.buttonStyle = ButtonStyle::Ellipsis;
    full.color = 0x123456;  // no name: written as a number
    full.dropDownRows = 3;
    full.font = {204, systemColor(13), -13, "DejaVu Sans", FontPitch::Fixed, fsBold | fsStrikeOut};
    full.imeMode = "imHanguel";
    full.imeName = "Input method";
    full.pickList = std::vector<std::string>{"a", "", std::string(300, 'p')};
    full.popupMenu = "KolonkuMenu";
    full.readOnly = true;
    full.title = {Alignment::Center, "Bemerkung", kColorWhite, {99, -5, 20, "Serif", std::nullopt, fsItalic}};
    full.width = 100000;
    full.visible = false;
    QTest::newRow("every property") << ColumnSet{{full, ColumnSet::builtIn().columns[3]}};
}

void LayoutStreamTest::roundTrip()
{
    QFETCH(ColumnSet, set);
    const Bytes bytes = writeLayout(set);
    const ColumnSet back = readLayout(bytes);
    for (Column& c : set.columns) {  // every column is stored with Expanded false and Visible
        c.expanded = false;
        c.visible = c.isVisible();
    }
    QVERIFY(back == set);
    COMPARE_BYTES(writeLayout(back), bytes);
}

// Flags byte with and without its child position, order numbers in front of entries, long
// strings where short ones would do, identifiers and names in other letter case.
void LayoutStreamTest::acceptsOtherProducersVariants()
{
    for (const Bytes& flags : {Bytes{0xF0}, Bytes{0xF2, 0x02, 0x05}, Bytes{0xF6, 0x04, 1, 2, 3, 4}}) {
        B x;
        x.raw("TPF0");
        x.b.insert(x.b.end(), flags.begin(), flags.end());
        x.s("TSomethingElse").s("Grid1").s("Columns")({0x0E});
        x({0x02, 0x00, 0x01}).s("FieldName")({0x0C, 7, 0, 0, 0}).raw("Azimuth")({0x00});
        x({0x03, 0x01, 0x00, 0x01}).s("visible")({0x08}).s("title.caption")({0x0C, 1, 0, 0, 0}).raw("%");
        x.s("Color")({0x07}).s("CLLTGRAY").s("Title.Alignment")({0x07}).s("TACENTER")({0x00});
        x({0x00, 0x00, 0x00});
        const ColumnSet set = readLayout(x.b);
        QCOMPARE(set.columns.size(), std::size_t(2));
        QCOMPARE(set.columns[0].fieldName, std::string("Azimuth"));
        QCOMPARE(set.columns[1].visible, std::optional<bool>(false));
        QCOMPARE(set.columns[1].title.caption, std::optional<std::string>("%"));
        QCOMPARE(set.columns[1].color, std::optional<ColorValue>(0xC0C0C0));
        QVERIFY(set.columns[1].title.alignment == Alignment::Center);
    }
    // Bytes after the end of the child list are not part of the layout.
    Bytes trailing = writeLayout(ColumnSet::builtIn());
    trailing.push_back(0x42);
    QCOMPARE(readLayout(trailing).columns.size(), std::size_t(14));
}

void LayoutStreamTest::refusesWhatALayoutCannotHold_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("message");
    const QString invalid = kInvalidPropertyValue;
    auto entry = [](B props) {
        B e;
        e({0x01});
        e.b.insert(e.b.end(), props.b.begin(), props.b.end());
        e({0x00});
        return fileOf(e);
    };
    // Floating-point, raw bytes, single, currency, date, wide string, 64-bit, UTF-8, double.
    for (int t : {0x05, 0x0A, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x00, 0x0D, 0x42}) {
        B p;
        p.s("Width")({t, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        QTest::addRow("tag %02x", t) << entry(p) << invalid;
    }
    B p;
    QTest::newRow("string for a boolean") << entry(B(p).s("Visible")({0x06}).s("True")) << invalid;
    QTest::newRow("integer for a string") << entry(B(p).s("FieldName")({0x02, 1})) << invalid;
    QTest::newRow("unknown identifier") << entry(B(p).s("Alignment")({0x07}).s("taJustify")) << invalid;
    QTest::newRow("unknown colour") << entry(B(p).s("Color")({0x07}).s("clMauve")) << invalid;
    QTest::newRow("unknown style") << entry(B(p).s("Font.Style")({0x0B}).s("fsShadow")({0})) << invalid;
    QTest::newRow("number in a pick list") << entry(B(p).s("PickList.Strings")({0x01, 0x02, 1, 0})) << invalid;
    QTest::newRow("unknown property") << entry(B(p).s("Tag")({0x02, 1})) << QString(kPropertyDoesNotExist);
    QTest::newRow("font without leaf") << entry(B(p).s("Font")({0x02, 1})) << QString(kPropertyDoesNotExist);
    B root = B{}.raw("TPF0").s("TColumnsWrapper")({0}).s("Align")({0x07}).s("alClient")({0, 0});
    QTest::newRow("unknown root property") << root.b << QString(kPropertyDoesNotExist);
    B notCollection = B{}.raw("TPF0").s("TColumnsWrapper")({0}).s("Columns")({0x01, 0, 0, 0});
    QTest::newRow("columns not a collection") << notCollection.b << invalid;
    QTest::newRow("entry without list tag") << fileOf(B{}({0x02, 1, 0x06})) << invalid;
    Bytes wrongSignature = writeLayout(ColumnSet::builtIn());
    wrongSignature[3] = '1';
    QTest::newRow("signature") << wrongSignature << QString(kInvalidStreamFormat);
    Bytes child = writeLayout(ColumnSet{});
    child.back() = 0x0F;
    QTest::newRow("child object") << child << QString(kInvalidStreamFormat);
}

void LayoutStreamTest::refusesWhatALayoutCannotHold()
{
    QFETCH(Bytes, bytes);
    QFETCH(QString, message);
    QCOMPARE(QString::fromStdString(readError(bytes)), message);
}

// A stream that ends at any byte before its last is a read error, never an over-read.
void LayoutStreamTest::everyTruncationIsAReadError()
{
    ColumnSet set = builtInAsStored();
    set.columns[1].fieldName = std::string(400, 'L');  // long-string length cut too
    const Bytes whole = writeLayout(set);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        // Copy into an exact-size buffer so AddressSanitizer sees any read past its end.
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        QCOMPARE(readError(cut), std::string(kStreamReadError));
    }
}

void LayoutStreamTest::hugeLengthsAreReadErrorsWithoutAllocation()
{
    for (Bytes len : {Bytes{0xFF, 0xFF, 0xFF, 0x7F}, Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Bytes{0x00, 0x00, 0x00, 0x80}}) {
        B e;
        e({0x01}).s("FieldName")({0x0C});
        e.b.insert(e.b.end(), len.begin(), len.end());
        e.raw("short");
        QCOMPARE(readError(fileOf(e)), std::string(kStreamReadError));
    }
}

// Random streams, flipped bytes and spliced pieces of a valid file: each either parses or fails
// with one of the layout messages.
void LayoutStreamTest::fuzzedStreamsFailCleanly()
{
    const Bytes valid = writeLayout(builtInAsStored());
    const std::vector<std::string> messages{kInvalidStreamFormat, kPropertyDoesNotExist,
                                            kInvalidPropertyValue, kStreamReadError};
    std::mt19937 rng(20240611);
    auto check = [&](const Bytes& bytes) {
        try {
            const ColumnSet set = readLayout(bytes);
            QVERIFY(set.columns.size() <= bytes.size());
        } catch (const LayoutError& e) {
            QVERIFY2(std::find(messages.begin(), messages.end(), e.what()) != messages.end(), e.what());
        }
    };
    for (int i = 0; i < 3000; ++i) {
        Bytes mutated = valid;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f)
            mutated[rng() % mutated.size()] = static_cast<std::uint8_t>(rng());
        check(mutated);
        Bytes noise(4 + rng() % 200);
        for (auto& b : noise)
            b = static_cast<std::uint8_t>(rng() % 20);  // mostly tag-like bytes
        std::copy(valid.begin(), valid.begin() + 4, noise.begin());
        check(noise);
        Bytes spliced(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(rng() % valid.size()));
        const auto from = rng() % valid.size();
        spliced.insert(spliced.end(), valid.begin() + static_cast<std::ptrdiff_t>(from), valid.end());
        check(spliced);
    }
}

void LayoutStreamTest::fileOperations()
{
    QTemporaryDir dir;
    const std::filesystem::path path = dir.filePath(QStringLiteral("grid.ing")).toStdString();
    saveGridLayout(ColumnSet::builtIn(), path);
    QCOMPARE(zelt::test::readBytes(path).size(), writeLayout(ColumnSet::builtIn()).size());
    QVERIFY(loadGridLayout(path) == builtInAsStored());

    // Saving replaces the whole file: a shorter set leaves no bytes of the longer one behind.
    saveGridLayout(ColumnSet{}, path);
    QCOMPARE(zelt::test::readBytes(path).size(), writeLayout(ColumnSet{}).size());

    const auto missing = std::filesystem::path(dir.path().toStdString()) / "none" / "x.ing";
    try {
        loadGridLayout(missing);
        QFAIL("loaded a missing file");
    } catch (const LayoutError& e) {
        QCOMPARE(std::string(e.what()), "Cannot open file '" + missing.string() + "': No such file or directory");
    }
    try {
        saveGridLayout(ColumnSet{}, missing);
        QFAIL("created a file in a missing folder");
    } catch (const LayoutError& e) {
        QCOMPARE(std::string(e.what()), "Cannot write the layout file: '" + missing.parent_path().string() + "': No such file or directory");
    }
}

// The files the build writes for the "Grids" menu hold the fixed layouts, moved columns first.
void LayoutStreamTest::fixedLayoutFilesOfTheBuild()
{
    const std::filesystem::path dir = std::filesystem::path(ZELT_BINARY_DIR) / "data";
    for (const FixedLayout& layout : fixedLayouts()) {
        const ColumnSet loaded = loadGridLayout(dir / layout.fileName);
        COMPARE_BYTES(zelt::test::readBytes(dir / layout.fileName), writeLayout(layout.columns));
        QCOMPARE(loaded.columns.size(), std::size_t(14));
    }
    auto fields = [](const ColumnSet& set, std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i)
            s += set.columns[i].fieldName + (set.columns[i].isVisible() ? " " : "(hidden) ");
        return s;
    };
    QCOMPARE(fields(altimeterLayout(), 6), std::string("Altimeter FillHeight Recalc sumPairs Azimuth Pairs "));
    QCOMPARE(fields(percentLayout(), 6), std::string("Procent F G FillHeight Azimuth Pairs "));
    QCOMPARE(fields(percentLayout(), 14).find("metru(hidden)") != std::string::npos, true);
}

QTEST_APPLESS_MAIN(LayoutStreamTest)
#include "layout_stream_test.moc"

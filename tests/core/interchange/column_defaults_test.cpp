// SPDX-License-Identifier: GPL-3.0-or-later
// Column defaults: width from font metrics and the field's display width, title captions,
// alignment, read-only and fonts, with metrics chosen so each rule gives a distinct number.
#include "interchange/column_defaults.h"

#include "document/traverse_schema.h"
#include "test_support.h"

#include <QTest>

using namespace zelt::document;
using namespace zelt::interchange;

namespace {

/// Digit "0" 7 px (9 px in bold), overhang 1 px in italic fonts, text 5 px per byte.
class FakeMetrics : public StandardGridMetrics {
public:
    bool titles = true;
    bool readOnly = false;
    int digitZeroWidth(const FontSpec& f) const override { return (f.style.value_or(0) & fsBold) ? 9 : 7; }
    int overhang(const FontSpec& f) const override { return (f.style.value_or(0) & fsItalic) ? 1 : 0; }
    int textWidth(const FontSpec&, std::string_view text) const override { return 5 * static_cast<int>(text.size()); }
    int defaultColumnWidth() const override { return 77; }
    bool showsTitles() const override { return titles; }
    bool isReadOnly() const override { return readOnly; }
};

Column column(const char* field)
{
    Column c;
    c.fieldName = field;
    return c;
}

}  // namespace

class ColumnDefaultsTest : public QObject {
    Q_OBJECT
private slots:
    void widthFollowsFontAndDisplayWidth();
    void titlesAndAlignmentFollowTheField();
    void ownValuesWinAndFontsOverlayTheGrid();
};

void ColumnDefaultsTest::widthFollowsFontAndDisplayWidth()
{
    FakeMetrics m;
    const ColumnDefaults d(m, TraverseSchema::documentFields());
    QCOMPARE(d.defaultWidth(column("Pairs")), 7 * 10 + 4);            // Number: 10 characters
    QCOMPARE(d.defaultWidth(column("Mark")), 7 * 30 + 4);             // display width 30
    QCOMPARE(d.defaultWidth(column("id")), 7 * 11 + 4);               // Long: 11 characters
    Column italic = column("Azimuth");
    italic.font.style = fsItalic;                                     // (7 - 1) x 6 + 1 + 4
    QCOMPARE(d.defaultWidth(italic), 6 * 6 + 1 + 4);
    Column bold = column("Azimuth");
    bold.font.style = fsBold;
    QCOMPARE(d.defaultWidth(bold), 9 * 6 + 4);
    Column longTitle = column("Azimuth");
    longTitle.title.caption = "A rather long title";                  // 19 x 5 + 4 beats 46
    QCOMPARE(d.defaultWidth(longTitle), 19 * 5 + 4);
    m.titles = false;
    QCOMPARE(d.defaultWidth(longTitle), 7 * 6 + 4);
    QCOMPARE(d.defaultWidth(column("Nord")), 77);                     // no such field
    QCOMPARE(d.defaultWidth(column("")), 77);
}

void ColumnDefaultsTest::titlesAndAlignmentFollowTheField()
{
    FakeMetrics m;
    const ColumnDefaults d(m, TraverseSchema::documentFields());
    QCOMPARE(d.defaultTitleCaption(column("Procent")), std::string("Percent"));
    QCOMPARE(d.defaultTitleCaption(column("procent")), std::string("Percent"));
    QCOMPARE(d.defaultTitleCaption(column("sumPairs")), std::string("sumPairs"));
    QCOMPARE(d.defaultTitleCaption(column("Hoehe")), std::string("Hoehe"));
    QVERIFY(d.defaultAlignment(column("Azimuth")) == Alignment::Right);
    QVERIFY(d.defaultAlignment(column("Altimeter")) == Alignment::Right);
    QVERIFY(d.defaultAlignment(column("Povorot")) == Alignment::Left);
    QVERIFY(d.defaultAlignment(column("Hoehe")) == Alignment::Left);
    QVERIFY(d.defaultReadOnly(column("F")));
    QVERIFY(!d.defaultReadOnly(column("metru")));
    m.readOnly = true;
    QVERIFY(d.defaultReadOnly(column("metru")));
}

void ColumnDefaultsTest::ownValuesWinAndFontsOverlayTheGrid()
{
    FakeMetrics m;
    const ColumnDefaults d(m, TraverseSchema::documentFields());
    const ResolvedColumn azimuth = d.resolve(ColumnSet::builtIn().columns[0]);
    QCOMPARE(azimuth.width, 47);
    QVERIFY(azimuth.titleAlignment == Alignment::Right);
    QCOMPARE(azimuth.titleCaption, std::string("Azimuth"));
    QCOMPARE(*azimuth.font.color, kColorBlack);                      // own colour over the grid font
    QCOMPARE(*azimuth.font.name, *StandardGridMetrics::standardFont().name);
    const ResolvedColumn procent = d.resolve(ColumnSet::builtIn().columns[3]);
    QCOMPARE(procent.width, 7 * 6 + 4);
    QCOMPARE(procent.titleCaption, std::string("%"));
    QVERIFY(!procent.visible);
    const ResolvedColumn povorot = d.resolve(ColumnSet::builtIn().columns[4]);
    QCOMPARE(povorot.dropDownRows, 15);
    QCOMPARE(povorot.pickList.size(), std::size_t(7));
    QVERIFY(povorot.alignment == Alignment::Right);
    const ResolvedColumn id = d.resolve(ColumnSet::builtIn().columns[13]);
    QVERIFY(id.readOnly);
    QCOMPARE(id.color, kColorBtnFace);
    QCOMPARE(id.titleColor, kColorBtnFace);
    QCOMPARE(d.resolve(ColumnSet::builtIn().columns[5]).color, kColorInfoBk);
}

QTEST_APPLESS_MAIN(ColumnDefaultsTest)
#include "column_defaults_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the report pagination with fixed text widths: bands, positions, rows per page, page numbers.
#include "printing/report_pages.h"

#include "document/traverse_table.h"

#include <QTemporaryDir>
#include <QTest>

#include "test_support.h"

using namespace zelt::printing;

namespace {

constexpr double kEps = 1e-9;

ReportData rowsOf(int n)
{
    ReportData data;
    data.printedStamp = "The way printed :07.06.24 14:05:09";
    for (int i = 0; i < n; ++i) {
        std::vector<std::string> row(11);
        row[0] = std::to_string(i + 1);
        row[5] = "12.50";
        data.rows.push_back(row);
    }
    return data;
}

const PageText* findText(const ReportPage& page, const std::string& text)
{
    for (const auto& t : page.texts)
        if (t.text == text)
            return &t;
    return nullptr;
}

int countText(const ReportPage& page, const std::string& text)
{
    int n = 0;
    for (const auto& t : page.texts)
        n += t.text == text;
    return n;
}

}  // namespace

class ReportPagesTest : public QObject {
    Q_OBJECT
private slots:
    void rowsPerPageOfA4();
    void pageCounts_data();
    void pageCounts();
    void emptyTableIsOnePage();
    void bandPositions();
    void detailItems();
    void printedStamp();
    void rowsFromTable();
};

// A4 less 10 mm top and 5 mm bottom, less the three bands, holds 57 rows of 4.5 mm.
void ReportPagesTest::rowsPerPageOfA4()
{
    QCOMPARE(rowsPerPage(ReportLayout::tableReport()), 57);
    ReportLayout tight = ReportLayout::tableReport();
    tight.pageHeightMm = 40;  // rows do not fit at all: one per page, never a hang
    QCOMPARE(rowsPerPage(tight), 1);
}

void ReportPagesTest::pageCounts_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("lastPageRows");
    QTest::newRow("one row") << 1 << 1 << 1;
    QTest::newRow("full page") << 57 << 1 << 57;
    QTest::newRow("one over") << 58 << 2 << 1;
    QTest::newRow("200 rows") << 200 << 4 << 29;
}

// Every page carries the header, the column header and the footer with its own number. A page
// laid out alone from its own rows (as the PDF is made, page by page) is the same page.
void ReportPagesTest::pageCounts()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    QFETCH(int, lastPageRows);
    const ReportLayout layout = ReportLayout::tableReport();
    const ReportData all = rowsOf(rows);
    const auto result = paginate(layout, all, FixedTextMetrics());
    QCOMPARE(int(result.size()), pages);
    QCOMPARE(reportPageCount(layout, rows), pages);
    int seen = 0;
    for (std::size_t p = 0; p < result.size(); ++p) {
        const ReportPage& page = result[p];
        ReportData own = all;
        own.rows.assign(all.rows.begin() + seen, all.rows.begin() + seen + page.rowCount);
        const ReportPage alone = layoutPage(layout, own, int(p), FixedTextMetrics());
        QCOMPARE(alone.number, page.number);
        QCOMPARE(alone.firstRow, page.firstRow);
        QCOMPARE(alone.rowCount, page.rowCount);
        QCOMPARE(alone.lines.size(), page.lines.size());
        QCOMPARE(alone.texts.size(), page.texts.size());
        for (std::size_t i = 0; i < page.texts.size(); ++i) {
            QCOMPARE(alone.texts[i].text, page.texts[i].text);
            QCOMPARE(alone.texts[i].yMm, page.texts[i].yMm);
        }
        QCOMPARE(page.number, int(p) + 1);
        QCOMPARE(page.firstRow, seen);
        seen += page.rowCount;
        QCOMPARE(countText(page, "Zelt 4.2"), 1);
        QCOMPARE(countText(page, "Trumbling"), 1);
        QCOMPARE(countText(page, "Page : " + std::to_string(p + 1)), 1);
        QCOMPARE(page.lines.size(), std::size_t(3));
        QCOMPARE(countText(page, "12.50"), page.rowCount);
    }
    QCOMPARE(seen, rows);
    QCOMPARE(result.back().rowCount, lastPageRows);
}

void ReportPagesTest::emptyTableIsOnePage()
{
    const auto pages = paginate(ReportLayout::tableReport(), rowsOf(0), FixedTextMetrics());
    QCOMPARE(pages.size(), std::size_t(1));
    QCOMPARE(pages[0].rowCount, 0);
    QVERIFY(findText(pages[0], "Zelt 4.2"));
    QVERIFY(findText(pages[0], "The way printed :07.06.24 14:05:09"));
    QVERIFY(findText(pages[0], "Reserv / Mark"));
    QVERIFY(findText(pages[0], "Page : 1"));
    QCOMPARE(pages[0].texts.size(), std::size_t(2 + 9 + 1));
}

// Bands stack from the top margin; the footer sits on the bottom margin; x = 10 mm + left.
void ReportPagesTest::bandPositions()
{
    const auto pages = paginate(ReportLayout::tableReport(), rowsOf(60), FixedTextMetrics());
    const ReportPage& first = pages[0];
    const PageText* title = findText(first, "Zelt 4.2");
    QVERIFY(title);
    QVERIFY(qAbs(title->xMm - 14.23) < kEps && qAbs(title->yMm - 12.12) < kEps);
    QCOMPARE(title->font.pointSize, 16.0);
    QCOMPARE(title->font.color, ColorRole::DesktopBackground);
    const PageText* stamp = findText(first, "The way printed :07.06.24 14:05:09");
    QVERIFY(stamp && qAbs(stamp->xMm - 143.35) < kEps);
    // Auto width: measured with the fixed metrics (0.5 em per character at 10 pt).
    QVERIFY(qAbs(stamp->widthMm - 34 * 0.5 * 10 * kMmPerPoint) < kEps);
    const PageText* lenght = findText(first, "Lenght (m)");
    QVERIFY(lenght && qAbs(lenght->xMm - 73.50) < kEps && qAbs(lenght->yMm - (20.32 + 0.53)) < kEps);
    const PageText* firstId = findText(first, "1");
    QVERIFY(firstId && qAbs(firstId->yMm - 25.61) < kEps && qAbs(firstId->xMm - 10.0) < kEps);
    QCOMPARE(firstId->align, ItemAlign::Right);
    const PageText* lastOnPage = findText(first, "57");
    QVERIFY(lastOnPage && qAbs(lastOnPage->yMm - (25.61 + 56 * 4.5)) < kEps);
    QVERIFY(lastOnPage->yMm + 4.5 <= 285.91 + kEps);
    const PageText* footer = findText(first, "Page : 1");
    QVERIFY(footer && qAbs(footer->yMm - (285.91 + 1.06)) < kEps && qAbs(footer->xMm - 164.52) < kEps);
    // Lines under the page header and column header, over the footer, across the band width.
    QVERIFY(qAbs(first.lines[0].y1Mm - 20.32) < kEps && qAbs(first.lines[0].x2Mm - 199.97) < kEps);
    QVERIFY(qAbs(first.lines[1].y1Mm - 25.61) < kEps);
    QVERIFY(qAbs(first.lines[2].y1Mm - 285.91) < kEps);
    // The second page starts its rows at the same place.
    const PageText* row58 = findText(pages[1], "58");
    QVERIFY(row58 && qAbs(row58->yMm - 25.61) < kEps);
}

// Each data item at its left and width; empty fields print nothing; notes cut, numbers never.
void ReportPagesTest::detailItems()
{
    ReportData data = rowsOf(0);
    data.rows.push_back({"7", "90", "64", "-5", "Center", "100.00", "420.0", "", "421.5", "res", "mark"});
    const auto pages = paginate(ReportLayout::tableReport(), data, FixedTextMetrics());
    const ReportPage& page = pages[0];
    QCOMPARE(page.texts.size(), std::size_t(12 + 10));
    struct Expect {
        const char* text;
        double x;
        double width;
        ItemAlign align;
        bool clip;
        ColorRole color;
    };
    const double auto6 = 6 * 0.5 * 10 * kMmPerPoint;
    const Expect expected[] = {
        {"7", 10.00, 6.61, ItemAlign::Right, false, ColorRole::WindowText},
        {"90", 18.47, 7.41, ItemAlign::Right, false, ColorRole::WindowText},
        {"64", 26.93, 8.73, ItemAlign::Right, false, ColorRole::WindowText},
        {"-5", 37.52, 10.05, ItemAlign::Right, false, ColorRole::WindowText},
        {"Center", 50.22, auto6, ItemAlign::Left, false, ColorRole::WindowText},
        {"100.00", 73.50, auto6, ItemAlign::Right, false, ColorRole::WindowText},
        {"420.0", 109.48, 10.85, ItemAlign::Right, false, ColorRole::WindowText},
        {"421.5", 145.47, 10.85, ItemAlign::Right, false, ColorRole::WindowText},
        {"res", 160.28, 12.96, ItemAlign::Left, true, ColorRole::Gray},
        {"mark", 175.10, 23.55, ItemAlign::Left, true, ColorRole::Gray},
    };
    for (const Expect& e : expected) {
        const PageText* t = findText(page, e.text);
        QVERIFY2(t, e.text);
        QVERIFY2(qAbs(t->xMm - e.x) < kEps, e.text);
        QVERIFY2(qAbs(t->widthMm - e.width) < kEps, e.text);
        QVERIFY2(qAbs(t->heightMm - 4.5) < kEps, e.text);
        QCOMPARE(t->align, e.align);
        QCOMPARE(t->clip, e.clip);
        QCOMPARE(t->font.color, e.color);
        QCOMPARE(t->font.pointSize, 10.0);
    }
}

void ReportPagesTest::printedStamp()
{
    QCOMPARE(printedStampText({2024, 6, 7, 14, 5, 9}, "14:05:09"), std::string("The way printed :07.06.24 14:05:09"));
    QCOMPARE(printedStampText({2031, 12, 31, 0, 0, 0}, "0:00:00"), std::string("The way printed :31.12.31"));
    QCOMPARE(printedStampText({2000, 1, 2, 0, 0, 1}, "0:00:01"), std::string("The way printed :02.01.00 0:00:01"));
}

// Rows come from the table as the grid displays them, in table order, empty fields empty.
void ReportPagesTest::rowsFromTable()
{
    QTemporaryDir dir;
    zelt::document::TraverseTable table;
    table.setPath(std::filesystem::path(dir.path().toStdString()) / "r.db");
    table.create();
    table.open();
    table.append();
    table.setInteger("Azimuth", 45);
    table.setFloat("Pairs", 12.5);
    table.setFloat("Altimeter", 420);
    table.setFloat("metru", 19.53125);
    table.setText("Mark", "bridge");
    table.post();
    table.append();
    table.post();
    table.first();
    const auto rows = reportRows(table, ReportLayout::tableReport());
    QCOMPARE(table.recNo(), 1);
    QCOMPARE(rows.size(), std::size_t(2));
    const std::vector<std::string> first = {"", "45", "12.5", "0", "", "19.53", "420.0", "", "", "", "bridge"};
    QCOMPARE(rows[0], first);
    const std::vector<std::string> second = {"", "0", "0", "0", "", "0.00", "", "", "", "", ""};
    QCOMPARE(rows[1], second);
}

QTEST_APPLESS_MAIN(ReportPagesTest)
#include "report_pages_test.moc"

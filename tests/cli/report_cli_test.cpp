// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of zelt-cli report: a 200-row traverse as PDF, read back as text with pdftotext.
#include "cli_fixture.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace zelt::test;

namespace {

QString pdfText(const QString& pdf, bool layout)
{
    QProcess p;
    QStringList args;
    if (layout)
        args << QStringLiteral("-layout");
    args << pdf << QStringLiteral("-");
    p.start(QStringLiteral("pdftotext"), args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class ReportCliTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void twoHundredRows();
    void unwritableOutput();

private:
    QTemporaryDir m_dir;
};

void ReportCliTest::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
}

// Four A4 pages of 57, 57, 57 and 29 rows, each with the title, the column labels as they are
// spelled on paper and its page number; values appear in their display formats.
void ReportCliTest::twoHundredRows()
{
    const auto table = std::filesystem::path(m_dir.path().toStdString()) / "long.db";
    makeTable(table, 200, [](zelt::document::TraverseTable& t, int i) {
        t.setInteger("Azimuth", i == 0 ? 0 : (i * 7) % 360);
        t.setFloat("Pairs", i == 0 ? 0 : 12.5);
        t.setFloat("metru", i == 0 ? 0 : 19.53125);
        t.setInteger("id", i + 1);
        if (i % 10 == 0)
            t.setFloat("Altimeter", 420 + i / 10);
        t.setFloat("FillHeight", 420.25 + i);
        if (i == 5)
            t.setText("Povorot", "Center");
        if (i == 7)
            t.setText("Mark", "bridge");
    });
    const QString pdf = m_dir.filePath(QStringLiteral("long.pdf"));
    const auto r = runCli({QStringLiteral("report"), QString::fromStdString(table.string()), pdf});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("4 pages")), qPrintable(r.out));

    const QStringList pages = pdfText(pdf, false).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), 4);
    const QRegularExpression stamp(QStringLiteral("The way printed :\\d\\d\\.\\d\\d\\.\\d\\d"));
    for (int p = 0; p < pages.size(); ++p) {
        const QString& page = pages[p];
        for (const char* label : {"Zelt 4.2", "Azimuth", "Pairs", "Trumbling", "Lenght (m)", "Altimeter",
                                  "FillHeight", "Recalc", "Reserv / Mark"})
            QVERIFY2(page.contains(QString::fromLatin1(label)), label);
        QVERIFY(page.contains(stamp));
        QVERIFY2(page.contains(QStringLiteral("Page : %1").arg(p + 1)), qPrintable(page.right(200)));
    }
    // Display formats: heights with one decimal, metres with two, pairs in general form.
    const QString layoutText = pdfText(pdf, true);
    for (const char* value : {"420.0", "421.0", "440.3", "619.3", "19.53", "12.5", "Center", "bridge"})
        QVERIFY2(layoutText.contains(QString::fromLatin1(value)), value);
    // Row 58 opens page 2; row 200 is the last row of page 4.
    const QStringList layoutPages = layoutText.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QVERIFY(layoutPages[1].contains(QRegularExpression(QStringLiteral("\\n\\s*58\\s"))));
    QVERIFY(!layoutPages[0].contains(QRegularExpression(QStringLiteral("\\n\\s*58\\s"))));
    QVERIFY(layoutPages[3].contains(QRegularExpression(QStringLiteral("\\n\\s*200\\s"))));
}

void ReportCliTest::unwritableOutput()
{
    const auto table = std::filesystem::path(m_dir.path().toStdString()) / "short.db";
    makeTable(table, 1, [](zelt::document::TraverseTable& t, int) { t.setFloat("Altimeter", 420); });
    const auto r = runCli({QStringLiteral("report"), QString::fromStdString(table.string()),
                           m_dir.filePath(QStringLiteral("missing/dir/out.pdf"))});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!r.err.isEmpty());
}

QTEST_APPLESS_MAIN(ReportCliTest)
#include "report_cli_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of zelt-cli report: a 200-row traverse as PDF, read back as text with pdftotext.
#include "cli_fixture.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

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
    void surveyValuesSurviveACommaLocale();

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

// The report starts a Qt application object, which takes the C library's locale from the
// environment; the table's .inf must still be readable with its values afterwards.
void ReportCliTest::surveyValuesSurviveACommaLocale()
{
    const char* locale = "de_DE.UTF-8";
    const bool available = std::setlocale(LC_ALL, locale) != nullptr;
    std::setlocale(LC_ALL, "C");
    if (!available) {
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL("de_DE.UTF-8 is not generated (scripts/setup-deps.sh generates it)");
        QSKIP("de_DE.UTF-8 is not generated (scripts/setup-deps.sh generates it)");
    }
    const auto table = std::filesystem::path(m_dir.path().toStdString()) / "comma.db";
    const QString t = QString::fromStdString(table.string());
    QCOMPARE(runCli({QStringLiteral("new"), t}).exitCode, 0);
    const auto set = runCli({QStringLiteral("settings"), t, QStringLiteral("--pairs-per-100m"), QStringLiteral("70.5"),
                             QStringLiteral("--start-height"), QStringLiteral("333.25")});
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
    env.insert(QStringLiteral("LANG"), QString::fromLatin1(locale));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZELT_CLI), {QStringLiteral("report"), t, m_dir.filePath(QStringLiteral("comma.pdf"))});
    QVERIFY(p.waitForFinished(120000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());

    const QByteArray inf = readFile(std::filesystem::path(table).replace_extension(".inf"));
    QCOMPARE(inf, QByteArray(" 7.05000000000000E+0001\r\n 3.33250000000000E+0002\r\n"));
    const auto info = runCli({QStringLiteral("info"), t});
    QVERIFY2(info.exitCode == 0, qPrintable(info.err));
    QVERIFY2(info.out.contains(QStringLiteral("70.5")) && info.out.contains(QStringLiteral("333.25")), qPrintable(info.out));
}

QTEST_APPLESS_MAIN(ReportCliTest)
#include "report_cli_test.moc"

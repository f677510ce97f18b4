// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed file formats written and read after a Qt application object has taken a comma-decimal
// locale from the environment, as the desktop program and `zelt-cli report` do.
#include "document/document_files.h"
#include "document/document_session.h"
#include "interchange/xlsx_writer.h"

#include "test_support.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cstdlib>

using namespace zelt::document;
using namespace zelt::interchange;

namespace {

QByteArray unzipPart(const std::filesystem::path& xlsx, const char* part)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), QString::fromStdString(xlsx.string()), QString::fromLatin1(part)});
    p.waitForFinished();
    return p.readAllStandardOutput();
}

}  // namespace

class CommaLocaleTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void infKeepsThePointAndReadsBack();
    void documentValuesSurviveCloseAndReopen();
    void workbookXmlUsesThePoint();
};

// The test means something only when the application object really switched the C library to a
// comma locale; where the locale is not generated it says so, and fails under CI.
void CommaLocaleTest::initTestCase()
{
    const QByteArray wanted = qgetenv("LC_ALL");
    const char* point = std::localeconv()->decimal_point;
    if (std::string(point) == ",")
        return;
    const QByteArray why = "the C library did not take a comma locale from LC_ALL='" + wanted +
                           "' (generate de_DE.UTF-8 and ru_RU.UTF-8 with scripts/setup-deps.sh)";
    if (qEnvironmentVariableIsSet("CI"))
        QFAIL(why.constData());
    QSKIP(why.constData());
}

void CommaLocaleTest::infKeepsThePointAndReadsBack()
{
    QTemporaryDir dir;
    const auto inf = std::filesystem::path(dir.path().toStdString()) / "way.inf";
    writeInf(inf, 64, 420);
    const std::string expected = " 6.40000000000000E+0001\r\n 4.20000000000000E+0002\r\n";
    QCOMPARE(zelt::test::readBytes(inf), std::vector<unsigned char>(expected.begin(), expected.end()));
    writeInf(inf, 70.5, 1012.125);
    double pairs = 0, height = 0;
    readInf(inf, pairs, height);
    QCOMPARE(pairs, 70.5);
    QCOMPARE(height, 1012.125);
}

// The loss users met: values written on close came back as the defaults on the next open.
void CommaLocaleTest::documentValuesSurviveCloseAndReopen()
{
    QTemporaryDir dir;
    const auto table = std::filesystem::path(dir.path().toStdString()) / "way.db";
    {
        Document doc;
        DocumentSession session(doc);
        session.open(table);
        doc.pairsPer100m = 58.25;
        doc.startHeight = 1234.5;
        session.close();
    }
    Document again;
    DocumentSession session(again);
    session.open(table);
    QCOMPARE(again.pairsPer100m, 58.25);
    QCOMPARE(again.startHeight, 1234.5);
    session.close();
}

// Numbers and column widths in the sheet's XML are written with '.', whatever the locale; the
// document's own comma still decides which cell texts are numbers.
void CommaLocaleTest::workbookXmlUsesThePoint()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    QTemporaryDir dir;
    const auto path = std::filesystem::path(dir.path().toStdString()) / "book.xlsx";
    XlsxWriter writer = XlsxWriter::toFile(path);
    writer.setNumberFormat({','});
    writer.addWorkbook();
    writer.activeCell();
    writer.setValue("Altimeter");
    writer.range("A2", "A2");
    writer.setValue("250,5");
    writer.range("A1", "A2");
    writer.autoFormat(1);  // widens the column to its texts
    writer.save();
    const QString xml = QString::fromUtf8(unzipPart(path, "xl/worksheets/sheet1.xml"));
    QVERIFY2(xml.contains(QStringLiteral("<v>250.5</v>")), qPrintable(xml));
    QVERIFY2(xml.contains(QStringLiteral("width=\"")), qPrintable(xml));
    QVERIFY2(!xml.contains(QRegularExpression(QStringLiteral("[0-9],[0-9]"))), qPrintable(xml));
}

int main(int argc, char** argv)
{
    // Takes LC_ALL from the environment into the C library, as every Qt application object does.
    QCoreApplication app(argc, argv);
    CommaLocaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "comma_locale_test.moc"

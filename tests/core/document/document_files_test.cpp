// SPDX-License-Identifier: GPL-3.0-or-later
// Document files: .inf bytes, reading and refusals, open-or-create with the start row, names, rename, copy, close.
#include "document/document_files.h"
#include "document/document_session.h"
#include "paradox/paradox_table.h"

#include "test_support.h"

#include <QTemporaryDir>

#include <cmath>

using namespace zelt::document;
namespace fs = std::filesystem;

namespace {

std::string fileText(const fs::path& p)
{
    const auto bytes = zelt::test::readBytes(p);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const fs::path& p, const std::string& text)
{
    zelt::test::writeBytes(p, std::vector<unsigned char>(text.begin(), text.end()));
}

/// A table file holding rows of (Azimuth, Pairs), made without the document layer.
void makeTable(const fs::path& p, const std::vector<std::pair<int, double>>& rows)
{
    TraverseTable t;
    t.setPath(p);
    t.create();
    t.open();
    for (const auto& [azimuth, pairs] : rows) {
        t.append();
        t.setInteger("Azimuth", azimuth);
        t.setFloat("Pairs", pairs);
        t.post();
    }
}

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
    return QStringLiteral("<no error>");
}

}  // namespace

class DocumentFilesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }
    void infValueForm_data();
    void infValueForm();
    void infFileBytes();
    void infReading_data();
    void infReading();
    void infWriteErrors();
    void companionPaths();
    void newTableGetsStartRowAndInf();
    void startRowRule_data();
    void startRowRule();
    void infValuesOfExistingTable();
    void invalidInfStopsOpening();
    void missingTableWithInfIsCreated();
    void newDocumentNames();
    void renameKeepsRowsAndCompanions();
    void renameFailureLeavesTableClosed();
    void saveAsContinuesOnTheCopy();
    void saveAsFailureStaysOnTheFirstTable();
    void closeWritesCompanionsAndDropsUnpostedRow();

private:
    fs::path path(const char* name) const { return fs::path(m_dir->path().toStdString()) / name; }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void DocumentFilesTest::infValueForm_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("pairs default") << 64.0 << " 6.40000000000000E+0001";
    QTest::newRow("height default") << 420.0 << " 4.20000000000000E+0002";
    QTest::newRow("zero") << 0.0 << " 0.00000000000000E+0000";
    QTest::newRow("negative") << -12.5 << "-1.25000000000000E+0001";
    QTest::newRow("small") << 0.001 << " 1.00000000000000E-0003";
    QTest::newRow("rounded to 15 digits") << 1.0 / 3 << " 3.33333333333333E-0001";
    QTest::newRow("rounds up") << 123456789.123456789 << " 1.23456789123457E+0008";
    QTest::newRow("carry into the exponent") << 9.9999999999999999e2 << " 1.00000000000000E+0003";
}

void DocumentFilesTest::infValueForm()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    const std::string s = formatInfValue(value);
    QCOMPARE(QString::fromStdString(s), text);
    QCOMPARE(s.size(), std::size_t{23});
}

void DocumentFilesTest::infFileBytes()
{
    const fs::path inf = path("a.inf");
    writeInf(inf, 64, 420);
    QCOMPARE(fileText(inf), std::string(" 6.40000000000000E+0001\r\n 4.20000000000000E+0002\r\n"));
    // More than 15 digits come back rounded to 15.
    writeInf(inf, 200.0 / 3, 1234.56789012345678);
    double pairs = 0, height = 0;
    readInf(inf, pairs, height);
    QCOMPARE(pairs, 66.6666666666667);
    QCOMPARE(height, 1234.56789012346);
}

void DocumentFilesTest::infReading_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<double>("pairs");
    QTest::addColumn<double>("height");
    QTest::addColumn<QString>("refusal");  // part of the message; empty when the file is read
    QTest::newRow("plain numbers, LF only") << QByteArray("64\n420\n") << 64.0 << 420.0 << QString();
    QTest::newRow("rest of line ignored") << QByteArray("65.5 pairs\r\n410 m\r\n") << 65.5 << 410.0 << QString();
    QTest::newRow("blank lines skipped") << QByteArray("\r\n\r\n  64\r\n\r\n420\r\n") << 64.0 << 420.0 << QString();
    QTest::newRow("tab ends a number") << QByteArray("64\t1\r\n1e3\r\n") << 64.0 << 1000.0 << QString();
    // Refused: the outputs keep what they held (1 and 2).
    QTest::newRow("empty file") << QByteArray("") << 1.0 << 2.0 << QString("it is empty");
    QTest::newRow("one line") << QByteArray(" 6.40000000000000E+0001\r\n") << 1.0 << 2.0
                              << QString("it ends before the start height");
    QTest::newRow("second number on line one") << QByteArray("64 420\r\n") << 1.0 << 2.0
                                               << QString("it ends before the start height");
    QTest::newRow("cut inside the second value") << QByteArray(" 6.40000000000000E+0001\r\n 4.2000") << 1.0 << 2.0
                                                 << QString("cut short");
    QTest::newRow("word first") << QByteArray("abc\r\n420\r\n") << 1.0 << 2.0 << QString("line 1 holds 'abc'");
    QTest::newRow("word second") << QByteArray("64\r\nabc\r\n") << 1.0 << 2.0 << QString("line 2 holds 'abc'");
    QTest::newRow("decimal comma") << QByteArray("64,5\r\n") << 1.0 << 2.0 << QString("line 1 holds '64,5'");
    QTest::newRow("infinite") << QByteArray("1e999\r\n420\r\n") << 1.0 << 2.0 << QString("holds '1e999'");
    QTest::newRow("nan word") << QByteArray("nan\r\n420\r\n") << 1.0 << 2.0 << QString("holds 'nan'");
    QTest::newRow("pairs zero") << QByteArray("0\r\n420\r\n") << 1.0 << 2.0 << QString("between 1 and 1000 (it is 0)");
    QTest::newRow("pairs huge") << QByteArray("1e308\r\n420\r\n") << 1.0 << 2.0 << QString("between 1 and 1000");
    QTest::newRow("negative start height") << QByteArray("64\r\n-5\r\n") << 1.0 << 2.0
                                           << QString("start height must be between 0 and 3000 m");
}

// The .inf is read leniently as numbers, but a file that is empty, cut short, holds no number
// or a value out of range is refused naming the file and the way back to the defaults.
void DocumentFilesTest::infReading()
{
    QFETCH(QByteArray, content);
    QFETCH(double, pairs);
    QFETCH(double, height);
    QFETCH(QString, refusal);
    const fs::path inf = path("b.inf");
    writeText(inf, content.toStdString());
    double p = 1, h = 2;
    const QString error = errorOf([&] { readInf(inf, p, h); });
    if (refusal.isEmpty()) {
        QCOMPARE(error, QString("<no error>"));
    } else {
        QVERIFY2(error.contains(refusal) && error.contains(QString::fromStdString(quotedPath(inf))), qPrintable(error));
        QVERIFY2(error.contains("Delete it to use the defaults"), qPrintable(error));
    }
    QCOMPARE(p, pairs);
    QCOMPARE(h, height);
}

void DocumentFilesTest::infWriteErrors()
{
    QVERIFY(errorOf([&] { writeInf(path("missing/dir/x.inf"), 64, 420); })
                .contains(QString::fromStdString(path("missing/dir").string() + "': No such file or directory")));
    fs::create_directory(path("taken.inf"));
    QVERIFY(errorOf([&] { writeInf(path("taken.inf"), 64, 420); }).contains("taken.inf' is a folder, not a regular file"));
    // A device is no survey values file: refused before anything is written to it.
    if (fs::exists("/dev/full"))
        QVERIFY(errorOf([&] { writeInf("/dev/full", 64, 420); }).contains("'/dev/full' is a device, not a regular file"));
    QCOMPARE(ioErrorMessage(ENOSPC), std::string("No space left on device"));
}

void DocumentFilesTest::companionPaths()
{
    QCOMPARE(companionPath("/d/NONAME1.db", ".inf"), fs::path("/d/NONAME1.inf"));
    QCOMPARE(companionPath("way.v2.DB", ".ing"), fs::path("way.v2.ing"));
    QCOMPARE(companionPath("/d/noext", ".inf"), fs::path("/d/noext.inf"));
}

void DocumentFilesTest::newTableGetsStartRowAndInf()
{
    Document doc;
    DocumentSession session(doc);
    const OpenOutcome out = session.open(path("NONAME1.db"));
    QVERIFY(out.created);
    QVERIFY(!out.layoutToLoad);
    QCOMPARE(fileText(path("NONAME1.inf")), std::string(" 6.40000000000000E+0001\r\n 4.20000000000000E+0002\r\n"));
    QCOMPARE(doc.table.rowCount(), 1);  // never shown empty
    QCOMPARE(doc.table.asFloat("Altimeter"), 420.0);
    QCOMPARE(doc.table.asInteger("Azimuth"), 0);
    QCOMPARE(doc.table.asFloat("Pairs"), 0.0);
    QVERIFY(doc.table.isNull("FillHeight"));
}

void DocumentFilesTest::startRowRule_data()
{
    QTest::addColumn<int>("azimuth");
    QTest::addColumn<double>("pairs");
    QTest::addColumn<bool>("inserted");
    QTest::newRow("both non-zero") << 90 << 12.0 << true;
    QTest::newRow("azimuth zero") << 0 << 12.0 << false;
    QTest::newRow("pairs round to zero") << 90 << 0.4 << false;
    QTest::newRow("half rounds to even zero") << 90 << 0.5 << false;
    QTest::newRow("one and a half rounds to two") << 90 << 1.5 << true;
    QTest::newRow("huge pairs stay non-zero") << 90 << 4294967295.0 << true;
}

void DocumentFilesTest::startRowRule()
{
    QFETCH(int, azimuth);
    QFETCH(double, pairs);
    QFETCH(bool, inserted);
    const fs::path table = path("t.db");
    makeTable(table, {{azimuth, pairs}, {45, 3}});
    Document doc;
    doc.startHeight = 512.5;
    DocumentSession(doc).open(table);
    QCOMPARE(doc.table.rowCount(), inserted ? 3 : 2);
    QCOMPARE(doc.table.recNo(), 1);
    if (inserted) {
        QCOMPARE(doc.table.asFloat("Altimeter"), 512.5);
        QCOMPARE(doc.table.asInteger("Azimuth"), 0);
        doc.table.next();
    }
    QCOMPARE(doc.table.asInteger("Azimuth"), azimuth);
    doc.table.close();
    doc.table.open();  // the start row was stored at once
    QCOMPARE(doc.table.rowCount(), inserted ? 3 : 2);
}

void DocumentFilesTest::infValuesOfExistingTable()
{
    const fs::path table = path("t.db");
    makeTable(table, {});
    {
        Document doc;
        DocumentSession(doc).open(table);  // no .inf: defaults
        QCOMPARE(doc.pairsPer100m, 64.0);
        QCOMPARE(doc.startHeight, 420.0);
        QCOMPARE(doc.table.asFloat("Altimeter"), 420.0);  // an empty table gets its start row
    }
    writeText(path("t.inf"), "70\r\n300\r\n");
    writeText(path("t.ing"), "x");
    Document doc;
    const OpenOutcome out = DocumentSession(doc).open(table);
    QCOMPARE(doc.pairsPer100m, 70.0);
    QCOMPARE(doc.startHeight, 300.0);
    QVERIFY(!out.created);
    QCOMPARE(out.layoutToLoad.value_or(fs::path()), path("t.ing"));
}

// A damaged .inf stops the open before the start row, and closing does not write over it.
void DocumentFilesTest::invalidInfStopsOpening()
{
    const fs::path table = path("t.db");
    makeTable(table, {{90, 12}});
    writeText(path("t.inf"), "66\r\nbad\r\n");
    Document doc;
    DocumentSession session(doc);
    QVERIFY_THROWS_EXCEPTION(CompanionError, session.open(table));
    QCOMPARE(doc.pairsPer100m, 64.0);
    QCOMPARE(doc.startHeight, 420.0);
    QVERIFY(doc.table.isOpen());
    QCOMPARE(doc.table.rowCount(), 1);  // no start row inserted
    session.close();
    QCOMPARE(fileText(path("t.inf")), std::string("66\r\nbad\r\n"));
}

void DocumentFilesTest::missingTableWithInfIsCreated()
{
    writeText(path("t.inf"), "70\r\n300\r\n");
    Document doc;
    const OpenOutcome out = DocumentSession(doc).open(path("t.db"));
    QVERIFY(out.created);
    QCOMPARE(fileText(path("t.inf")), std::string(" 6.40000000000000E+0001\r\n 4.20000000000000E+0002\r\n"));
}

void DocumentFilesTest::newDocumentNames()
{
    const fs::path dir = m_dir->path().toStdString();
    QCOMPARE(newDocumentName(0, dir), std::string("NONAME1.db"));
    writeText(path("NONAME3.db"), "");
    QCOMPARE(newDocumentName(2, dir), std::string("NONAME4.db"));
    QCOMPARE(newDocumentName(1, dir), std::string("NONAME2.db"));
    for (int k = 2; k <= 1002; ++k)
        writeText(dir / ("NONAME" + std::to_string(k) + ".db"), "");
    // All of k = 2 .. 1001 exist: the name after them is used whether or not it exists.
    QCOMPARE(newDocumentName(1, dir), std::string("NONAME1002.db"));
}

void DocumentFilesTest::renameKeepsRowsAndCompanions()
{
    Document doc;
    DocumentSession session(doc);
    session.open(path("a.db"));
    writeText(path("a.ing"), "layout");
    session.rename(path("b.db"));
    QVERIFY(doc.table.isOpen());
    QCOMPARE(doc.table.path(), path("b.db"));
    QCOMPARE(doc.table.rowCount(), 1);
    QVERIFY(!fs::exists(path("a.db")));
    QVERIFY(!fs::exists(path("a.inf")));  // the companions move with the table
    QVERIFY(!fs::exists(path("a.ing")));
    QCOMPARE(fileText(path("b.ing")), std::string("layout"));
    QVERIFY(fs::exists(path("b.inf")));
    session.close();
    QVERIFY(fs::exists(path("b.inf")));
}

void DocumentFilesTest::renameFailureLeavesTableClosed()
{
    makeTable(path("other.db"), {{1, 1}});
    Document doc;
    DocumentSession session(doc);
    session.open(path("a.db"));
    QVERIFY_THROWS_EXCEPTION(TargetExistsError, session.rename(path("other.db")));
    QVERIFY(doc.table.isOpen());  // refused before the table was closed
    QCOMPARE(doc.table.path(), path("a.db"));
    QVERIFY(fs::exists(path("a.db")));
    QVERIFY_THROWS_EXCEPTION(EngineError, session.rename(path("no/such/dir/c.db")));
    QVERIFY(!doc.table.isOpen());  // the table could not be moved: it stays closed under its old path
    QCOMPARE(doc.table.path(), path("a.db"));
}

void DocumentFilesTest::saveAsContinuesOnTheCopy()
{
    Document doc;
    DocumentSession session(doc);
    session.open(path("a.db"));
    QVERIFY(session.saveAs(path("copy.db"), ReplaceExisting::No));
    QCOMPARE(doc.table.path(), path("copy.db"));
    QVERIFY(doc.table.isOpen());
    doc.table.append();
    doc.table.setInteger("Azimuth", 90);
    doc.table.post();
    QCOMPARE(doc.table.rowCount(), 2);
    Document first;
    first.table.setPath(path("a.db"));
    first.table.open();
    QCOMPARE(first.table.rowCount(), 1);  // the first table keeps its rows as at the copy
    QVERIFY(fs::exists(path("copy.inf")));  // the companions are copied with the table
}

void DocumentFilesTest::saveAsFailureStaysOnTheFirstTable()
{
    Document doc;
    DocumentSession session(doc);
    session.open(path("a.db"));
    QVERIFY_THROWS_EXCEPTION(EngineError, session.saveAs(path("no/such/dir/c.db"), ReplaceExisting::Yes));
    QCOMPARE(doc.table.path(), path("a.db"));
    QVERIFY(doc.table.isOpen());
    QVERIFY(!session.saveAs(path("a.db"), ReplaceExisting::Yes));  // onto itself: nothing to copy
    QCOMPARE(doc.table.rowCount(), 1);
}

void DocumentFilesTest::closeWritesCompanionsAndDropsUnpostedRow()
{
    Document doc;
    fs::path layoutPath;
    bool failLayout = false;
    DocumentSession::LayoutIo io;
    io.write = [&](const fs::path& ing, const ColumnSet&) {
        if (failLayout)
            throw CompanionError("Disk full");
        layoutPath = ing;
        writeText(ing, "layout");
    };
    DocumentSession session(doc, io);
    session.open(path("NONAME1.db"));
    doc.pairsPer100m = 62.5;
    doc.table.append();
    doc.table.setInteger("Azimuth", 33);
    session.close();
    QCOMPARE(layoutPath, path("NONAME1.ing"));
    QVERIFY(!doc.table.isOpen());
    QCOMPARE(fileText(path("NONAME1.inf")), std::string(" 6.25000000000000E+0001\r\n 4.20000000000000E+0002\r\n"));
    doc.table.open();
    QCOMPARE(doc.table.rowCount(), 1);
    doc.table.close();

    // A failing companion stops the closing at that step and names the file, with the table
    // still open (every companion is written while it is locked); closing again writes what is
    // still to write.
    session.open(path("NONAME1.db"));
    fs::remove(path("NONAME1.inf"));
    fs::create_directory(path("NONAME1.inf"));
    try {
        session.close();
        QFAIL("closed over a folder in the place of the .inf");
    } catch (const CompanionWriteError& e) {
        QVERIFY2(QString(e.what()).contains("NONAME1.inf' is a folder, not a regular file"), e.what());
        QCOMPARE(e.file(), path("NONAME1.inf"));
    }
    QVERIFY(doc.table.isOpen());
    QVERIFY(errorOf([&] { session.close(); }).contains("is a folder"));
    fs::remove(path("NONAME1.inf"));
    session.close();
    QVERIFY(fs::is_regular_file(path("NONAME1.inf")));
    session.close();  // nothing left to do

    // A companion written before the table closes leaves it open when it fails.
    session.open(path("NONAME1.db"));
    failLayout = true;
    try {
        session.close();
        QFAIL("the layout's failure was not reported");
    } catch (const CompanionWriteError& e) {
        QCOMPARE(QString(e.what()), QString("Disk full"));
        QCOMPARE(e.file(), path("NONAME1.ing"));
    }
    QVERIFY(doc.table.isOpen());
    failLayout = false;
    session.close();
    QVERIFY(!doc.table.isOpen());
}

QTEST_APPLESS_MAIN(DocumentFilesTest)
#include "document_files_test.moc"

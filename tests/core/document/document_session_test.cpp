// SPDX-License-Identifier: GPL-3.0-or-later
// Document session: read-only sessions write nothing, companions travel with Rename and Save As,
// and targets that exist or are open elsewhere are refused.
#include "document/document_session.h"
#include "paradox/paradox_table.h"

#include "lock_holder.h"
#include "test_support.h"

#include <QTemporaryDir>

#include <sys/stat.h>

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

/// A table whose first row has Azimuth and Pairs set, so that opening it for editing inserts a start row.
void makeTable(const fs::path& p, int rows = 1)
{
    TraverseTable t;
    t.setPath(p);
    t.create();
    t.open();
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setInteger("Azimuth", 90 + i % 200);
        t.setFloat("Pairs", 12);
        t.post();
    }
}

/// Layout callbacks that record what they were asked to do and write a marker file.
struct LayoutLog {
    std::vector<fs::path> read, written;
    DocumentSession::LayoutIo io()
    {
        return {[this](Document&, const fs::path& p) { read.push_back(p); },
                [this](const fs::path& p, const ColumnSet&) {
                    written.push_back(p);
                    writeText(p, "layout");
                }};
    }
};

}  // namespace

class DocumentSessionTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }
    void editSessionOpensAndClosesEveryCompanion();
    void readOnlySessionsWriteNothing();
    void tableHeldElsewhereWritesNothing();
    void unreadableCompanionIsNotWrittenOver();
    void damagedTableIsReported();
    void openReportsWhatItFound();
    void renameCarriesCompanions();
    void renameRefusesExistingAndBusyTargets();
    void saveAsCarriesCompanions();
    void saveAsRefusesBusyTargets();
    void saveAsReplacesOnlyWhenAsked();
    void companionNamesAreNoTables();

private:
    fs::path path(const char* name) const { return fs::path(m_dir->path().toStdString()) / name; }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void DocumentSessionTest::editSessionOpensAndClosesEveryCompanion()
{
    makeTable(path("t.db"));
    writeText(path("t.inf"), "70\r\n300\r\n");
    writeText(path("t.ing"), "x");
    Document doc;
    LayoutLog log;
    DocumentSession session(doc, log.io());
    const OpenOutcome out = session.open(path("t.db"));
    QVERIFY(!out.created);
    QCOMPARE(out.layoutToLoad.value_or(fs::path()), path("t.ing"));
    QCOMPARE(log.read, std::vector<fs::path>{path("t.ing")});
    QCOMPARE(doc.pairsPer100m, 70.0);
    QCOMPARE(doc.table.rowCount(), 2);  // the start row, carrying the start height read from the .inf
    QCOMPARE(doc.table.asFloat("Altimeter"), 300.0);
    QVERIFY(session.writesCompanions());
    doc.startHeight = 512.5;
    session.close();
    QVERIFY(!session.isOpen());
    QVERIFY(!doc.table.isOpen());
    QCOMPARE(log.written, std::vector<fs::path>{path("t.ing")});
    QCOMPARE(fileText(path("t.inf")), std::string(" 7.00000000000000E+0001\r\n 5.12500000000000E+0002\r\n"));
    session.close();  // closing twice changes nothing
    QCOMPARE(log.written.size(), std::size_t{1});
}

void DocumentSessionTest::readOnlySessionsWriteNothing()
{
    makeTable(path("t.db"));
    const auto tableBytes = zelt::test::readBytes(path("t.db"));
    writeText(path("t.inf"), "70\r\n300\r\n");
    Document doc;
    LayoutLog log;
    DocumentSession session(doc, log.io());
    session.open(path("t.db"), DocumentSession::Mode::ReadOnly);
    QCOMPARE(doc.table.rowCount(), 1);  // no start row
    QCOMPARE(doc.pairsPer100m, 70.0);   // companions are still read
    QVERIFY(doc.table.readOnlyReason().empty());
    QVERIFY(!session.writesCompanions());
    doc.pairsPer100m = 50;
    session.close();
    QVERIFY(log.written.empty());
    QCOMPARE(fileText(path("t.inf")), std::string("70\r\n300\r\n"));
    QVERIFY(!fs::exists(path("t.ing")));
    QVERIFY(zelt::test::readBytes(path("t.db")) == tableBytes);

    // A read-only session never creates a table.
    QVERIFY_THROWS_EXCEPTION(EngineError, session.open(path("none.db"), DocumentSession::Mode::ReadOnly));
    QVERIFY(!fs::exists(path("none.db")));
    QVERIFY(!fs::exists(path("none.inf")));
}

void DocumentSessionTest::tableHeldElsewhereWritesNothing()
{
    makeTable(path("t.db"));
    const auto tableBytes = zelt::test::readBytes(path("t.db"));
    // Held by another document of this process, then by another process.
    for (int holder = 0; holder < 2; ++holder) {
        Document other;
        std::unique_ptr<zelt::test::OtherProcessLock> process;
        if (holder == 0) {
            other.table.setPath(path("t.db"));
            other.table.open();
        } else {
            process = std::make_unique<zelt::test::OtherProcessLock>(path("t.db"));
            QVERIFY(process->locked());
        }
        Document doc;
        LayoutLog log;
        DocumentSession session(doc, log.io());
        session.open(path("t.db"));
        QVERIFY(doc.table.isReadOnly());
        QVERIFY2(doc.table.readOnlyReason().find("another program") != std::string::npos, doc.table.readOnlyReason().c_str());
        QCOMPARE(doc.table.rowCount(), 1);
        session.close();
        QVERIFY(log.written.empty());
        QVERIFY(!fs::exists(path("t.inf")));
        QVERIFY(zelt::test::readBytes(path("t.db")) == tableBytes);

        // A read-only open reports the holder too, without taking any lock itself.
        session.open(path("t.db"), DocumentSession::Mode::ReadOnly);
        QVERIFY(!doc.table.readOnlyReason().empty());
        session.close();
    }
}

void DocumentSessionTest::unreadableCompanionIsNotWrittenOver()
{
    makeTable(path("t.db"));
    writeText(path("t.inf"), "66\r\nbad\r\n");
    writeText(path("t.ing"), "the user's layout");
    Document doc;
    LayoutLog log;
    DocumentSession session(doc, log.io());
    try {
        session.open(path("t.db"));
        QFAIL("a damaged .inf was read");
    } catch (const CompanionError& e) {   // the message names the file
        const std::string what = e.what();
        QVERIFY2(what.rfind("The survey values file '" + path("t.inf").string() + "' is damaged: ", 0) == 0, e.what());
    }
    QVERIFY(session.isOpen());
    QCOMPARE(doc.table.rowCount(), 1);  // no start row after the failed read
    session.close();
    QVERIFY(!doc.table.isOpen());
    QCOMPARE(fileText(path("t.inf")), std::string("66\r\nbad\r\n"));
    QCOMPARE(fileText(path("t.ing")), std::string("the user's layout"));  // never read, so never replaced
}

void DocumentSessionTest::damagedTableIsReported()
{
    makeTable(path("t.db"), 150);
    fs::resize_file(path("t.db"), fs::file_size(path("t.db")) / 2);  // cut off inside a block of rows
    Document doc;
    DocumentSession session(doc, {});
    session.open(path("t.db"));
    QVERIFY(doc.table.isDamaged());
    QVERIFY(doc.table.isReadOnly());
    QVERIFY(doc.table.rowCount() < 150);
    QVERIFY(!session.writesCompanions());
    session.close();
    QVERIFY(!fs::exists(path("t.inf")));

    makeTable(path("whole.db"));
    session.open(path("whole.db"), DocumentSession::Mode::ReadOnly);
    QVERIFY(!doc.table.isDamaged());
}

// A whole table opens without diagnostics; a known points file that cannot be read is handed to
// the caller as a warning with the damage message, and the document opens without points.
void DocumentSessionTest::openReportsWhatItFound()
{
    makeTable(path("t.db"));
    Document doc;
    DocumentSession session(doc, {});
    QVERIFY(session.open(path("t.db")).diagnostics.empty());
    session.close();

    writeText(path("t.kpt"), "not a list of points\n");
    const OpenOutcome outcome = session.open(path("t.db"), DocumentSession::Mode::ReadOnly);
    QVERIFY(!doc.knownPoints.damage().empty());
    QCOMPARE(outcome.diagnostics.size(), std::size_t(1));
    QCOMPARE(outcome.diagnostics[0], Diagnostic::warning(doc.knownPoints.damage()));
    QVERIFY2(outcome.diagnostics[0].text.find("t.kpt") != std::string::npos, outcome.diagnostics[0].text.c_str());
    QVERIFY(doc.knownPoints.points().empty());
    session.close();
    QCOMPARE(fileText(path("t.kpt")), std::string("not a list of points\n"));  // never written over
}

void DocumentSessionTest::renameCarriesCompanions()
{
    makeTable(path("a.db"));
    writeText(path("a.inf"), "70\r\n300\r\n");
    writeText(path("a.kpt"), "known points");
    writeText(path("b.ing"), "left by a table that is gone");
    Document doc;
    DocumentSession session(doc, {});
    session.open(path("a.db"), DocumentSession::Mode::ReadOnly);
    session.rename(path("b.db"));
    QCOMPARE(doc.table.path(), path("b.db"));
    QVERIFY(doc.table.isOpen());
    QCOMPARE(doc.table.rowCount(), 1);
    QVERIFY(!fs::exists(path("a.db")) && !fs::exists(path("a.inf")));
    QCOMPARE(fileText(path("b.inf")), std::string("70\r\n300\r\n"));
    QCOMPARE(fileText(path("b.kpt")), std::string("known points"));
    QVERIFY(!fs::exists(path("a.kpt")));
    QVERIFY(!fs::exists(path("b.ing")));  // not the document's: it would pair another layout with the table
    session.close();
}

void DocumentSessionTest::renameRefusesExistingAndBusyTargets()
{
    makeTable(path("a.db"));
    makeTable(path("b.db"));
    const auto targetBytes = zelt::test::readBytes(path("b.db"));
    Document doc;
    DocumentSession session(doc, {});
    session.open(path("a.db"));
    try {
        session.rename(path("b.db"));
        QFAIL("renamed onto an existing file");
    } catch (const TargetExistsError& e) {
        QVERIFY2(std::string(e.what()).find(path("b.db").string()) != std::string::npos, e.what());
    }
    Document other;
    other.table.setPath(path("b.db"));
    other.table.open();
    QVERIFY_THROWS_EXCEPTION(TargetInUseError, session.rename(path("b.db")));
    // Refused before anything happened: the document is still open on its table.
    QVERIFY(doc.table.isOpen());
    QCOMPARE(doc.table.path(), path("a.db"));
    QVERIFY(zelt::test::readBytes(path("b.db")) == targetBytes);
}

void DocumentSessionTest::saveAsCarriesCompanions()
{
    makeTable(path("a.db"));
    Document doc;
    LayoutLog log;
    DocumentSession session(doc, log.io());
    session.open(path("a.db"));  // inserts the start row and writes a.inf
    doc.pairsPer100m = 50;
    writeText(path("a.ing"), "layout of a");
    writeText(path("copy.inf"), "1\r\n2\r\n");  // left by another table: replaced by ours
    QVERIFY(session.saveAs(path("copy.db"), ReplaceExisting::No));
    QCOMPARE(doc.table.path(), path("copy.db"));
    QVERIFY(doc.table.isOpen());
    QCOMPARE(fileText(path("copy.ing")), std::string("layout of a"));
    QCOMPARE(fileText(path("copy.inf")), fileText(path("a.inf")));
    doc.table.append();
    doc.table.setInteger("Azimuth", 33);
    doc.table.post();
    session.close();
    QCOMPARE(fileText(path("copy.inf")), std::string(" 5.00000000000000E+0001\r\n 4.20000000000000E+0002\r\n"));
    Document first;
    first.table.setPath(path("a.db"));
    first.table.open();
    QCOMPARE(first.table.rowCount(), 2);  // the first table keeps its rows as at the copy
    QCOMPARE(fileText(path("a.ing")), std::string("layout of a"));

    // Onto itself nothing is copied; a missing folder leaves the document on its table.
    session.open(path("copy.db"));
    QVERIFY(!session.saveAs(path("copy.db"), ReplaceExisting::Yes));
    QVERIFY_THROWS_EXCEPTION(EngineError, session.saveAs(path("no/such/dir/c.db"), ReplaceExisting::Yes));
    QCOMPARE(doc.table.path(), path("copy.db"));
    QVERIFY(doc.table.isOpen());
    QCOMPARE(doc.table.rowCount(), 3);
}

void DocumentSessionTest::saveAsRefusesBusyTargets()
{
    makeTable(path("a.db"));
    makeTable(path("b.db"), 3);
    writeText(path("b.inf"), "b's values");
    const auto targetBytes = zelt::test::readBytes(path("b.db"));
    Document doc;
    DocumentSession session(doc, {});
    session.open(path("a.db"));
    for (int holder = 0; holder < 2; ++holder) {
        // Another open document of this process, then another process.
        Document other;
        std::unique_ptr<zelt::test::OtherProcessLock> process;
        if (holder == 0) {
            other.table.setPath(path("b.db"));
            other.table.open();
        } else {
            process = std::make_unique<zelt::test::OtherProcessLock>(path("b.db"));
            QVERIFY(process->locked());
        }
        if (holder == 0)
            QVERIFY(other.table.isOpen() && !other.table.isReadOnly());
        try {
            session.saveAs(path("b.db"), ReplaceExisting::Yes);
            QFAIL("saved over a table open elsewhere");
        } catch (const TargetInUseError& e) {
            QVERIFY2(std::string(e.what()).find(path("b.db").string()) != std::string::npos, e.what());
        }
        QVERIFY_THROWS_EXCEPTION(TargetInUseError, session.rename(path("b.db")));
        QCOMPARE(doc.table.path(), path("a.db"));
        QVERIFY(doc.table.isOpen());
        QCOMPARE(fileText(path("b.inf")), std::string("b's values"));
        QVERIFY(zelt::test::readBytes(path("b.db")) == targetBytes);
        if (holder == 0)
            QCOMPARE(other.table.rowCount(), 3);
    }
}

void DocumentSessionTest::saveAsReplacesOnlyWhenAsked()
{
    makeTable(path("a.db"));
    makeTable(path("b.db"), 3);
    writeText(path("b.ing"), "b's layout");
    const auto targetBytes = zelt::test::readBytes(path("b.db"));
    Document doc;
    DocumentSession session(doc, {});
    session.open(path("a.db"), DocumentSession::Mode::ReadOnly);
    QVERIFY_THROWS_EXCEPTION(TargetExistsError, session.saveAs(path("b.db"), ReplaceExisting::No));
    QVERIFY(zelt::test::readBytes(path("b.db")) == targetBytes);
    QCOMPARE(doc.table.path(), path("a.db"));
    QVERIFY(session.saveAs(path("b.db"), ReplaceExisting::Yes));
    QCOMPARE(doc.table.rowCount(), 1);
    QVERIFY(zelt::test::readBytes(path("b.db")) == zelt::test::readBytes(path("a.db")));
    QVERIFY(!fs::exists(path("b.ing")));  // the replaced table's layout went with it
    session.close();

    // A target that is no regular file is never opened for writing.
    QVERIFY(::mkfifo(path("pipe.db").c_str(), 0600) == 0);
    session.open(path("a.db"), DocumentSession::Mode::ReadOnly);
    QVERIFY_THROWS_EXCEPTION(EngineError, session.saveAs(path("pipe.db"), ReplaceExisting::Yes));
    QCOMPARE(doc.table.path(), path("a.db"));
}

void DocumentSessionTest::companionNamesAreNoTables()
{
    makeTable(path("a.db"));
    Document doc;
    DocumentSession session(doc, {});
    session.open(path("a.db"));
    QVERIFY_THROWS_EXCEPTION(EngineError, session.rename(path("a2.INF")));
    QVERIFY_THROWS_EXCEPTION(EngineError, session.saveAs(path("a2.ing"), ReplaceExisting::Yes));
    QVERIFY_THROWS_EXCEPTION(EngineError, session.open(path("new.inf")));
    QVERIFY(!fs::exists(path("new.inf")));
    QVERIFY(!fs::exists(path("a2.INF")));
}

QTEST_APPLESS_MAIN(DocumentSessionTest)
#include "document_session_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Known points of an open document follow their rows: inserted rows move them, deleted rows drop
// them, the start row added at open shifts them, and only a writable session writes them back.
#include "document/document_session.h"
#include "document/known_points.h"
#include "document/row_restore.h"

#include "test_support.h"

#include <QTemporaryDir>
#include <QTest>

using namespace zelt::document;
namespace fs = std::filesystem;

namespace {

/// A table of `rows` legs; with `startRow` the first row is a start row (Azimuth 0), so opening
/// it for editing adds nothing. Leg i has Azimuth 10 + i, so rows can be told apart.
void makeTable(const fs::path& p, int rows, bool startRow)
{
    TraverseTable t;
    t.setPath(p);
    t.create();
    t.open();
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setInteger("Azimuth", startRow && i == 0 ? 0 : 10 + i);
        t.setFloat("Pairs", 12);
        t.post();
    }
}

KnownPoints pointsOn(std::initializer_list<int> rows)
{
    KnownPoints kp;
    for (int row : rows)
        kp.set(row, row * 10.0, -row * 1.5);
    return kp;
}

/// The rows of the points, and that each point kept the coordinates it was given for `azimuth`
/// of its row (pointsOn gave row r the coordinates r * 10, -r * 1.5 at the start).
std::vector<int> rowsOf(const KnownPoints& kp)
{
    std::vector<int> rows;
    for (const KnownPoint& p : kp.points)
        rows.push_back(p.row);
    return rows;
}

std::vector<int> rowsOnDisk(const fs::path& table)
{
    const auto kp = readKnownPoints(table);
    return kp ? rowsOf(*kp) : std::vector<int>{};
}

/// Inserts a leg before row `recNo` (1-based) and stores it.
void insertAt(TraverseTable& t, int recNo)
{
    t.setRecNo(recNo);
    t.insert();
    t.setInteger("Azimuth", 300);
    t.setFloat("Pairs", 5);
    t.post();
}

void deleteAt(TraverseTable& t, int recNo)
{
    t.setRecNo(recNo);
    t.deleteRow();
}

}  // namespace

class DocumentKnownPointsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    /// A row inserted at or before a point's row moves it down; one after it does not; each
    /// move is on disk at once. A new row given up before it is stored moves nothing.
    void insertedRowsMovePointsAtOrAfterThem()
    {
        makeTable(path("t.db"), 8, true);
        writeKnownPoints(path("t.db"), pointsOn({3, 5}));
        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        int told = 0;
        const auto subscription = doc.knownPoints.subscribe([&] { ++told; });
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3, 5}));

        insertAt(doc.table, 3);   // at the first point's row
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{4, 6}));
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{4, 6}));
        QCOMPARE(told, 1);
        insertAt(doc.table, 5);   // between them
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{4, 7}));
        insertAt(doc.table, 8);   // after both
        doc.table.append();       // at the end
        doc.table.setInteger("Azimuth", 1);
        doc.table.post();
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{4, 7}));
        QCOMPARE(told, 2);

        // A row being typed is no row of the table yet; giving it up leaves the points.
        doc.table.setRecNo(1);
        doc.table.insert();
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{4, 7}));
        doc.table.cancel();
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{4, 7}));
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{4, 7}));

        // The coordinates stay with their rows.
        QCOMPARE(doc.knownPoints.points().points[1].xMm, 50.0);
        doc.table.setRecNo(7);
        QCOMPARE(doc.table.asInteger("Azimuth"), 10 + 4);   // the leg the point was given for
        session.close();
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{4, 7}));
    }

    /// Deleting a point's row drops the point and moves the later ones up; deleting the last
    /// point's row removes the file, as for a table that never had points.
    void deletedRowsDropTheirPoints()
    {
        makeTable(path("t.db"), 6, true);
        writeKnownPoints(path("t.db"), pointsOn({2, 4, 6}));
        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        deleteAt(doc.table, 1);
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{1, 3, 5}));
        deleteAt(doc.table, 3);
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{1, 4}));
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{1, 4}));
        QCOMPARE(doc.knownPoints.points().points[1].xMm, 60.0);
        deleteAt(doc.table, 4);
        deleteAt(doc.table, 1);
        QVERIFY(doc.knownPoints.points().empty());
        QVERIFY(!fs::exists(knownPointsPath(path("t.db"))));
    }

    /// A point beyond the table's end (a file from a longer table) stays as far beyond it.
    void pointBeyondTheEndKeepsItsDistance()
    {
        makeTable(path("t.db"), 3, true);
        writeKnownPoints(path("t.db"), pointsOn({2, 5}));
        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        insertAt(doc.table, 1);
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3, 6}));
        deleteAt(doc.table, 3);
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{5}));
    }

    /// A file of the first layout (end points) is read one row on; an edit session writes it
    /// back in the current layout with the companions, a read-only one leaves it. The point on the last row's end
    /// (the route's end, one past the last row) stays on that spot: a row added after the last
    /// one takes it as its mark, and deleting the row whose end it is drops it.
    void olderFileAndRouteEnd()
    {
        makeTable(path("t.db"), 4, true);
        const std::string older = "ZELT KNOWN POINTS 1\nscale 15000\npoint 2 20 -3\npoint 4 40 -6\n";
        zelt::test::writeBytes(knownPointsPath(path("t.db")), std::vector<unsigned char>(older.begin(), older.end()));
        {
            Document doc;
            DocumentSession session(doc);
            session.open(path("t.db"), DocumentSession::Mode::ReadOnly);
            QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3, 5}));
        }
        const auto onDisk = zelt::test::readBytes(knownPointsPath(path("t.db")));
        QVERIFY(std::string(onDisk.begin(), onDisk.end()) == older);

        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3, 5}));
        session.close();   // written back with the other companions
        const auto written = zelt::test::readBytes(knownPointsPath(path("t.db")));
        QVERIFY(std::string(written.begin(), written.end()).rfind("ZELT KNOWN POINTS 2\n", 0) == 0);
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{3, 5}));
        session.open(path("t.db"));

        doc.table.append();
        doc.table.setInteger("Azimuth", 90);
        doc.table.setFloat("Pairs", 12);
        doc.table.post();
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3, 5}));   // row 5's mark now
        deleteAt(doc.table, 4);
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3, 4}));
        deleteAt(doc.table, 3);
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3}));   // the added row's mark

        // The route's end goes with the last row when that row is deleted.
        KnownPoints end = doc.knownPoints.points();
        end.set(doc.table.rowCount() + 1, 1, 1);
        doc.knownPoints.replace(end);
        deleteAt(doc.table, doc.table.rowCount());   // row 3: its mark and its end both go
        QVERIFY(doc.knownPoints.points().empty());
    }

    /// Opening a table without a start row for editing inserts one at the top: the points move
    /// with their legs, in memory and on disk. A read-only session inserts nothing and writes
    /// nothing.
    void startRowAddedAtOpenMovesThePoints()
    {
        makeTable(path("t.db"), 4, false);
        writeKnownPoints(path("t.db"), pointsOn({1, 3}));
        const auto tableBytes = zelt::test::readBytes(path("t.db"));
        const auto kptBytes = zelt::test::readBytes(knownPointsPath(path("t.db")));
        {
            Document doc;
            DocumentSession session(doc);
            session.open(path("t.db"), DocumentSession::Mode::ReadOnly);
            QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{1, 3}));
            session.close();
        }
        QVERIFY(zelt::test::readBytes(path("t.db")) == tableBytes);
        QVERIFY(zelt::test::readBytes(knownPointsPath(path("t.db"))) == kptBytes);

        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        QCOMPARE(doc.table.rowCount(), 5);
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{2, 4}));
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{2, 4}));
        doc.table.setRecNo(2);
        QCOMPARE(doc.table.asInteger("Azimuth"), 10);   // still the first leg
        session.close();

        // Opened again, the table has its start row: nothing moves any more.
        session.open(path("t.db"));
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{2, 4}));
    }

    /// A walk over the table with display updates suspended (paste, import) tells only its end;
    /// the points still follow every row it inserted and deleted.
    void pointsFollowAWalkOverTheTable()
    {
        makeTable(path("t.db"), 6, true);
        writeKnownPoints(path("t.db"), pointsOn({3, 5}));
        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        {
            RowRestore walk(doc.table);
            deleteAt(doc.table, 2);
            insertAt(doc.table, 1);
            insertAt(doc.table, 1);
            deleteAt(doc.table, 6);   // the second point's row (5, moved to 6)
            QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3, 5}));   // not told yet
            walk.finish();
        }
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{4}));
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{4}));
    }

    /// However far a walk moves the rows (many inserted or deleted before a point, a point's row
    /// deleted among others), each point is found again on the leg it was given for.
    void pointsFollowFarMovesInOneWalk_data()
    {
        QTest::addColumn<int>("at");   // where the rows are inserted
        QTest::addColumn<int>("inserts");
        QTest::addColumn<int>("deleteFrom");
        QTest::addColumn<int>("deletes");
        QTest::addColumn<std::vector<int>>("rows");
        QTest::newRow("30 inserted before all") << 1 << 30 << 0 << 0 << std::vector<int>{40, 50, 60};
        QTest::newRow("8 deleted before all") << 0 << 0 << 1 << 8 << std::vector<int>{2, 12, 22};
        QTest::newRow("a point's row among the deleted") << 0 << 0 << 15 << 11 << std::vector<int>{10, 19};
        QTest::newRow("inserted between, deleted before") << 12 << 25 << 2 << 3 << std::vector<int>{7, 42, 52};
        QTest::newRow("appended at the end") << 41 << 5 << 0 << 0 << std::vector<int>{10, 20, 30};
    }
    void pointsFollowFarMovesInOneWalk()
    {
        QFETCH(int, at);
        QFETCH(int, inserts);
        QFETCH(int, deleteFrom);
        QFETCH(int, deletes);
        QFETCH(std::vector<int>, rows);
        makeTable(path("t.db"), 40, true);
        writeKnownPoints(path("t.db"), pointsOn({10, 20, 30}));
        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        std::vector<int> legs;   // the Azimuth of each point's row, which tells the leg
        for (const KnownPoint& p : doc.knownPoints.points().points) {
            doc.table.setRecNo(p.row);
            legs.push_back(doc.table.asInteger("Azimuth"));
        }
        {
            RowRestore walk(doc.table);
            for (int i = 0; i < inserts; ++i) {
                if (at > doc.table.rowCount()) {
                    doc.table.append();
                    doc.table.setInteger("Azimuth", 300);
                    doc.table.post();
                } else {
                    insertAt(doc.table, at);
                }
            }
            for (int i = 0; i < deletes; ++i)
                deleteAt(doc.table, deleteFrom);
            walk.finish();
        }
        QCOMPARE(rowsOf(doc.knownPoints.points()), rows);
        QCOMPARE(rowsOnDisk(path("t.db")), rows);
        for (const KnownPoint& p : doc.knownPoints.points().points) {
            doc.table.setRecNo(p.row);
            const int leg = static_cast<int>(p.xMm / 10);   // pointsOn gave row r the x r * 10
            QCOMPARE(doc.table.asInteger("Azimuth"), legs[static_cast<std::size_t>(leg / 10 - 1)]);
        }
    }

    /// After Rename and Save As the points go on following their rows, beside the new name.
    void renamedTableKeepsFollowing()
    {
        makeTable(path("a.db"), 4, true);
        writeKnownPoints(path("a.db"), pointsOn({2}));
        Document doc;
        DocumentSession session(doc);
        session.open(path("a.db"));
        session.rename(path("b.db"));
        insertAt(doc.table, 1);
        QCOMPARE(rowsOnDisk(path("b.db")), (std::vector<int>{3}));
        QVERIFY(!fs::exists(knownPointsPath(path("a.db"))));
        QVERIFY(session.saveAs(path("c.db"), ReplaceExisting::No));
        deleteAt(doc.table, 1);
        QCOMPARE(rowsOnDisk(path("c.db")), (std::vector<int>{2}));
        QCOMPARE(rowsOnDisk(path("b.db")), (std::vector<int>{3}));   // the first table's own points
    }

    /// A damaged file gives no points and is never written over by moves; replacing it is the
    /// user's choice.
    void damagedFileIsNotWrittenOver()
    {
        makeTable(path("t.db"), 3, false);
        const fs::path kpt = knownPointsPath(path("t.db"));
        zelt::test::writeBytes(kpt, {'b', 'a', 'd', '\n'});
        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));   // the start row is inserted all the same
        QCOMPARE(doc.table.rowCount(), 4);
        QVERIFY2(doc.knownPoints.damage().find("is damaged") != std::string::npos, doc.knownPoints.damage().c_str());
        QVERIFY(doc.knownPoints.points().empty());
        deleteAt(doc.table, 2);
        session.close();
        QVERIFY(zelt::test::readBytes(kpt) == (std::vector<unsigned char>{'b', 'a', 'd', '\n'}));

        session.open(path("t.db"));
        doc.knownPoints.replace(pointsOn({2}));
        QVERIFY(doc.knownPoints.damage().empty());
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{2}));
    }

    /// A move that cannot be written is written when the document closes; that failure names
    /// the file, and closing again writes it once it can.
    void unwrittenMoveIsWrittenAtClose()
    {
        makeTable(path("t.db"), 4, true);
        writeKnownPoints(path("t.db"), pointsOn({3}));
        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        // A link in the file's place is read through but never replaced: the write fails.
        const fs::path kpt = knownPointsPath(path("t.db"));
        fs::rename(kpt, path("elsewhere.kpt"));
        fs::create_symlink(path("elsewhere.kpt"), kpt);
        insertAt(doc.table, 1);
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{4}));
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{3}));
        QVERIFY(doc.knownPoints.hasPendingWrite());
        try {
            session.close();
            QFAIL("the unwritten points were not reported");
        } catch (const CompanionWriteError& e) {
            QCOMPARE(e.file(), knownPointsPath(path("t.db")));
        }
        fs::remove(kpt);
        session.close();
        QCOMPARE(rowsOnDisk(path("t.db")), (std::vector<int>{4}));
        QVERIFY(!doc.knownPoints.hasPendingWrite());
    }

    /// Points changed on disk by another program are read again on request, tied to the rows
    /// that have their numbers now; a file this document wrote itself is not read again.
    void changesMadeElsewhereAreReadAgain()
    {
        makeTable(path("t.db"), 4, true);
        Document doc;
        DocumentSession session(doc);
        session.open(path("t.db"));
        QVERIFY(!doc.knownPoints.reloadIfChanged());
        writeKnownPoints(path("t.db"), pointsOn({2}));
        QVERIFY(doc.knownPoints.reloadIfChanged());
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{2}));
        insertAt(doc.table, 1);
        QVERIFY(!doc.knownPoints.reloadIfChanged());
        QCOMPARE(rowsOf(doc.knownPoints.points()), (std::vector<int>{3}));
    }

private:
    fs::path path(const char* name) const { return fs::path(m_dir->path().toStdString()) / name; }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_APPLESS_MAIN(DocumentKnownPointsTest)
#include "document_known_points_test.moc"

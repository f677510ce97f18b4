// SPDX-License-Identifier: GPL-3.0-or-later
// A recorded change of a document goes back and forth exactly, in the table and in its file,
// whatever mix of updates, inserts and deletions it holds.
#include "document/document.h"
#include "document/document_change.h"
#include "paradox/paradox_table.h"

#include "test_support.h"

#include <QTemporaryDir>
#include <QTest>

using namespace zelt::document;

namespace {

std::vector<Row> rowsOf(const TraverseTable& t)
{
    std::vector<Row> rows;
    for (int i = 0; i < t.rowCount(); ++i)
        rows.push_back(t.storedRow(i));
    return rows;
}

std::vector<Row> rowsOnDisk(const TraverseTable& t)
{
    ParadoxOpenOptions options;
    options.readOnly = true;
    return ParadoxTable::open(t.path(), options)->readAll();
}

/// Runs a script of writes: "u2" updates row 2 (0-based), "d1" deletes row 1, "i0" inserts a
/// row before row 0, "a" appends one.
void run(TraverseTable& t, const QString& script)
{
    int serial = 0;
    for (const QString& op : script.split(u' ', Qt::SkipEmptyParts)) {
        ++serial;
        const int row = op.mid(1).toInt();
        if (op.startsWith(u'a')) {
            t.append();
        } else if (op.startsWith(u'i')) {
            t.setRecNo(row + 1);
            t.insert();
        } else {
            t.setRecNo(row + 1);
            if (op.startsWith(u'd')) {
                t.deleteRow();
                continue;
            }
            t.edit();
        }
        t.setFloat("Altimeter", 100 + serial);
        t.setText("Mark", "m" + std::to_string(serial));
        t.post();
    }
}

}  // namespace

class DocumentChangeTest : public QObject {
    Q_OBJECT
private slots:
    void revertAndReapplyAnyMix_data();
    void revertAndReapplyAnyMix();
};

void DocumentChangeTest::revertAndReapplyAnyMix_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("one update") << QStringLiteral("u1");
    QTest::newRow("same row twice") << QStringLiteral("u2 u2");
    QTest::newRow("append then update it") << QStringLiteral("a u4");
    QTest::newRow("delete before an update") << QStringLiteral("d0 u2 d2");
    QTest::newRow("insert, delete, update around") << QStringLiteral("i0 d3 u0 i2 a d5");
    QTest::newRow("delete every row") << QStringLiteral("d0 d0 d0 d0");
}

void DocumentChangeTest::revertAndReapplyAnyMix()
{
    QFETCH(QString, script);
    QTemporaryDir dir;
    Document doc;
    doc.table.setPath((dir.path() + QStringLiteral("/t.db")).toStdString());
    doc.table.create();
    doc.table.open();
    run(doc.table, QStringLiteral("a a a a"));
    ChangeRecorder recorder(doc);
    recorder.take();
    const auto before = rowsOf(doc.table);

    run(doc.table, script);
    DocumentChange change = recorder.take();
    const auto after = rowsOf(doc.table);
    QVERIFY(before != after);

    change.revert(doc);
    QVERIFY(rowsOf(doc.table) == before);
    QVERIFY(rowsOnDisk(doc.table) == before);
    change.reapply(doc);
    QVERIFY(rowsOf(doc.table) == after);
    QVERIFY(rowsOnDisk(doc.table) == after);
    QVERIFY(!recorder.hasRows());   // replays are not recorded again
}

QTEST_APPLESS_MAIN(DocumentChangeTest)
#include "document_change_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The dataset reads its rows from the file's bytes when asked: after any change in the middle
// of the table, every row it shows is the row the file holds there.
#include "document/traverse_table.h"
#include "paradox/paradox_table.h"

#include "test_support.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

using namespace zelt::document;
namespace fs = std::filesystem;

class TableRowsTest : public QObject {
    Q_OBJECT
private slots:
    void rowsShownAreTheFilesRows_data();
    void rowsShownAreTheFilesRows();
};

// Steps, each a letter and a row number (1-based): i inserts a row before it, d deletes it,
// e edits it, c starts a new row before it and gives it up, p starts a new row before it and
// leaves it pending (the last step). A wrong row after a change in the middle, a row read stale
// after the current row changed, or the pending row counted as stored shows as a difference.
void TableRowsTest::rowsShownAreTheFilesRows_data()
{
    QTest::addColumn<QString>("steps");
    QTest::newRow("insert in the middle") << "i3";
    QTest::newRow("delete in the middle") << "d4";
    QTest::newRow("edits") << "e2 e5 e2";
    QTest::newRow("new row given up") << "c3";
    QTest::newRow("mixed") << "i1 d6 e3 c2 i7 d1 e8";
    QTest::newRow("pending new row in the middle") << "i2 e4 p4";
}

void TableRowsTest::rowsShownAreTheFilesRows()
{
    QFETCH(QString, steps);
    QTemporaryDir dir;
    const fs::path path = fs::path(dir.path().toStdString()) / "rows.db";
    TraverseTable t;
    t.setPath(path);
    t.create();
    t.open();
    QList<int> want;   // the azimuths the rows should have, in table order
    for (int i = 1; i <= 8; ++i) {
        t.append();
        t.setInteger("Azimuth", 10 * i);
        t.setFloat("Pairs", 12);
        t.post();
        want << 10 * i;
    }
    int next = 100;
    for (const QString& step : steps.split(QLatin1Char(' '))) {
        const int row = step.mid(1).toInt();
        t.setRecNo(row);
        QCOMPARE(t.asInteger("Azimuth"), want[row - 1]);   // the current row as read before the step
        switch (step.at(0).toLatin1()) {
        case 'i':
            t.insert();
            t.setInteger("Azimuth", ++next);
            t.setFloat("Pairs", 12);
            t.post();
            want.insert(row - 1, next);
            break;
        case 'd': t.deleteRow(); want.removeAt(row - 1); break;
        case 'e': t.edit(); t.setInteger("Azimuth", ++next); t.post(); want[row - 1] = next; break;
        case 'c': t.insert(); t.setInteger("Azimuth", 300); t.cancel(); break;
        case 'p': t.insert(); t.setInteger("Azimuth", 333); break;
        }
    }
    const bool pending = t.state() == TraverseTable::State::Insert;
    QCOMPARE(t.rowCount(), int(want.size()));
    QCOMPARE(t.displayRowCount(), int(want.size()) + (pending ? 1 : 0));
    const int field = t.fieldIndex("Azimuth");
    QList<int> shown;
    for (int i = 0; i < t.displayRowCount(); ++i)
        if (!(pending && i == t.currentIndex()))
            shown << std::get<std::int32_t>(t.valueAt(i, field));
    QCOMPARE(shown, want);
    if (pending)
        QCOMPARE(std::get<std::int32_t>(t.valueAt(t.currentIndex(), field)), 333);

    QList<int> onDisk;
    ParadoxOpenOptions readOnly;
    readOnly.readOnly = true;
    for (const Row& r : ParadoxTable::open(path, readOnly)->readAll())
        onDisk << std::get<std::int32_t>(r[0]);
    QCOMPARE(onDisk, want);
}

QTEST_APPLESS_MAIN(TableRowsTest)
#include "table_rows_test.moc"

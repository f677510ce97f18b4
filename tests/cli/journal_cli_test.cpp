// SPDX-License-Identifier: GPL-3.0-or-later
// The journal beside a table is input from a stranger: one that names files outside the
// document, fails a checksum, belongs to another table or to another change is refused and
// left alone; a real one rolls back wherever the folder was copied; a change journals only
// what it overwrites; temporary files of killed commands are cleared by the next writer.
#include "cli_fixture.h"
#include "lock_holder.h"
#include "test_support.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

QByteArray bytesOf(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

void writeFile(const fs::path& p, const QByteArray& bytes)
{
    writeBytes(p, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

/// CRC-32 as zlib computes it, bit by bit.
quint32 crc32(const QByteArray& bytes, quint32 crc = 0)
{
    crc = ~crc;
    for (const char ch : bytes) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

QByteArray hex8(quint32 v) { return QByteArray::number(v, 16).rightJustified(8, '0'); }

/// A journal of the current layout, made by hand: records of a line and an optional blob, each
/// with its checksum, the head closed by "end", then the counted records.
struct HandJournal {
    QByteArray nonce = "0123456789abcdef";
    QByteArray head;
    QByteArray tail;
    int counted = 0;

    QByteArray rec(const QByteArray& line, const QByteArray* blob = nullptr) const
    {
        const QByteArray b = blob ? *blob : QByteArray();
        QByteArray out = line + ' ' + hex8(crc32(b, crc32(line, crc32(nonce)))) + '\n';
        if (blob)
            out += b + '\n';
        return out;
    }
    HandJournal& add(const QByteArray& line) { head += rec(line); return *this; }
    HandJournal& add(const QByteArray& line, const QByteArray& blob) { head += rec(line, &blob); return *this; }
    HandJournal& page(qint64 at, const QByteArray& bytes)
    {
        tail += rec("page " + QByteArray::number(at) + ' ' + QByteArray::number(bytes.size()), &bytes);
        ++counted;
        return *this;
    }
    QByteArray bytes() const
    {
        const QByteArray first = "ZELT JOURNAL 2 " + nonce;
        return first + ' ' + hex8(crc32(first)) + '\n' + rec("pages " + QByteArray::number(counted).rightJustified(10, '0'))
            + head + rec("end") + tail;
    }
};

/// What names a table to its journal: the header past its fixed part, with the header's size.
QByteArray identityOf(const QByteArray& table)
{
    const int headerSize = static_cast<unsigned char>(table[2]) | static_cast<unsigned char>(table[3]) << 8;
    return hex8(crc32("header " + QByteArray::number(headerSize) + ';' + table.mid(0x58, headerSize - 0x58)));
}

void setRow(zelt::document::TraverseTable& t, int i)
{
    t.setInteger("Azimuth", (37 * i) % 360);
    t.setFloat("Pairs", 5 + i % 40);
    t.setFloat("Procent", i % 3);
    if (i % 2 == 0)
        t.setFloat("Altimeter", 400 + (7 * i) % 300);
}

QString arg(const fs::path& p) { return QString::fromStdString(p.string()); }

/// Runs zelt-cli under the fault shim, killed at its `killAt`-th file-changing call (0: never);
/// the count of such calls goes to `calls`.
int runKilled(const QStringList& args, long killAt, long* calls = nullptr, const QByteArray& input = {})
{
    const QString count = QDir::tempPath() + "/journal_cli_test.calls." + QString::number(::getpid());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", ZELT_FAULT_SHIM);
    env.insert("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0");
    env.insert("ZELT_FAULT_AT", QString::number(killAt));
    env.insert("ZELT_FAULT_MODE", "kill");
    env.insert("ZELT_FAULT_COUNT", count);
    p.setProcessEnvironment(env);
    p.start(ZELT_CLI, args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    if (calls)
        *calls = readFile(count.toStdString()).trimmed().toLong();
    QFile::remove(count);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

/// A table of `rows` rows in `dir`, killed part-way through fill-heights: its journal lies
/// beside it and the table already differs from `before`. False when no such point was found.
bool killedFill(const fs::path& dir, int rows, QByteArray& before)
{
    const fs::path table = dir / "w.db";
    makeTable(table, rows, setRow);
    before = readFile(table);
    const QByteArray inf = readFile(dir / "w.inf");
    long calls = 0;
    if (runKilled({"fill-heights", arg(table)}, 0, &calls) != 0 || readFile(table) == before)
        return false;
    for (long k = calls; k >= 1; --k) {
        writeFile(table, before);
        writeFile(dir / "w.inf", inf);
        fs::remove(dir / "w.db-journal");
        runKilled({"fill-heights", arg(table)}, k);
        if (fs::exists(dir / "w.db-journal") && readFile(table) != before)
            return true;
    }
    return false;
}

bool hasStrayFile(const fs::path& dir, const std::string& part)
{
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().find(part) != std::string::npos)
            return true;
    return false;
}

}  // namespace

class JournalCliTest : public QObject {
    Q_OBJECT
private slots:
    void journalNamesNothingOutsideItsFolder();
    void companionNameLeavingTheFolderIsRefused_data();
    void companionNameLeavingTheFolderIsRefused();
    void creationJournalNeverDeletesATableWithRows_data();
    void creationJournalNeverDeletesATableWithRows();
    void flippedBitRefusesTheJournal();
    void staleCreationSparesAnotherDocument();
    void copiedFolderRollsBack();
    void otherTableUnderTheNameIsRefused();
    void saveJournalCompletesInTheFolderItLies();
    void saveJournalNamingOtherFilesIsRefused_data();
    void saveJournalNamingOtherFilesIsRefused();
    void journalHeldByARunningChangeIsLeftAlone();
    void temporariesOfKilledCommandsAreRemoved();
    void appendJournalsWhatItOverwrites();
};

// A save journal of an older layout named any absolute path: it is refused, not obeyed.
void JournalCliTest::journalNamesNothingOutsideItsFolder()
{
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    fs::create_directory(dir / "a");
    fs::create_directory(dir / "b");
    makeTable(dir / "a" / "w.db", 3, setRow);
    const fs::path victim = dir / "b" / "victim.txt";
    writeFile(victim, "keep me");
    const QByteArray table = readFile(dir / "a" / "w.db");
    const std::string v = victim.string();
    const QByteArray journal = "ZELT JOURNAL 1\nkind replace\nwhat 1\nx\nremove " + QByteArray::number(qsizetype(v.size()))
        + "\n" + bytesOf(v) + "\nend\n";
    writeFile(dir / "a" / "w.db-journal", journal);

    const CliRun r = runCli({"info", arg(dir / "a" / "w.db")});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("w.db-journal"), qPrintable(r.err));
    QVERIFY(r.err.contains("half changed"));
    QCOMPARE(readFile(victim), QByteArray("keep me"));
    QCOMPARE(readFile(dir / "a" / "w.db-journal"), journal);
    QCOMPARE(readFile(dir / "a" / "w.db"), table);

    // A writing command is refused and changes nothing either.
    QCOMPARE(runCli({"settings", arg(dir / "a" / "w.db"), "--start-height", "500"}).exitCode, 1);
    QCOMPARE(readFile(victim), QByteArray("keep me"));
    QCOMPARE(readFile(dir / "a" / "w.db"), table);
}

void JournalCliTest::companionNameLeavingTheFolderIsRefused_data()
{
    QTest::addColumn<bool>("oldLayout");
    QTest::addColumn<QByteArray>("extension");
    QTest::newRow("older layout, .x/../../") << true << QByteArray(".x/../../evil");
    QTest::newRow(".x/../../") << false << QByteArray(".x/../../evil");
    QTest::newRow("the table's own extension") << false << QByteArray(".db");
    QTest::newRow("older layout, the table's own extension") << true << QByteArray(".db");
}

// A rollback journal may restore only the table's own companions: any other name is refused
// before anything is written.
void JournalCliTest::companionNameLeavingTheFolderIsRefused()
{
    QFETCH(bool, oldLayout);
    QFETCH(QByteArray, extension);
    QTemporaryDir tmp;
    const fs::path dir = fs::path(tmp.path().toStdString()) / "x" / "y";
    fs::create_directories(dir);
    makeTable(dir / "w.db", 3, setRow);
    const QByteArray table = readFile(dir / "w.db");
    const QByteArray inf = readFile(dir / "w.inf");
    const QByteArray evil = "planted";
    QByteArray journal;
    if (oldLayout) {
        journal = "ZELT JOURNAL 1\nkind rollback\nwhat 1\nx\ntable absent\ncompanion " + extension + " present "
            + QByteArray::number(evil.size()) + "\n" + evil + "\nend\n";
    } else {
        HandJournal j;
        j.add("kind rollback").add("what 1", "x").add("table present " + QByteArray::number(table.size()) + ' ' + identityOf(table));
        j.add("companion " + extension + " present " + QByteArray::number(evil.size()), evil);
        journal = j.bytes();
    }
    writeFile(dir / "w.db-journal", journal);

    const CliRun r = runCli({"dump", arg(dir / "w.db")});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("w.db-journal"), qPrintable(r.err));
    QVERIFY(!fs::exists(fs::path(tmp.path().toStdString()) / "evil"));
    QVERIFY(!fs::exists(dir.parent_path().parent_path() / "wevil"));
    QCOMPARE(readFile(dir / "w.db"), table);
    QCOMPARE(readFile(dir / "w.inf"), inf);
    QCOMPARE(readFile(dir / "w.db-journal"), journal);
}

void JournalCliTest::creationJournalNeverDeletesATableWithRows_data()
{
    QTest::addColumn<bool>("oldLayout");
    QTest::newRow("older layout") << true;
    QTest::newRow("current layout") << false;
}

// "The table did not exist" beside a table holding rows: the journal is foreign, the table stays.
void JournalCliTest::creationJournalNeverDeletesATableWithRows()
{
    QFETCH(bool, oldLayout);
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    makeTable(dir / "w.db", 4, setRow);
    const QByteArray table = readFile(dir / "w.db");
    const QByteArray inf = readFile(dir / "w.inf");
    HandJournal j;
    j.add("kind rollback").add("what 3", "new").add("table absent").add("companion .inf absent");
    const QByteArray journal = oldLayout ? QByteArray("ZELT JOURNAL 1\nkind rollback\nwhat 3\nnew\ntable absent\n"
                                                      "companion .inf absent\nend\n")
                                         : j.bytes();
    writeFile(dir / "w.db-journal", journal);

    const CliRun r = runCli({"info", arg(dir / "w.db")});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("w.db-journal"), qPrintable(r.err));
    QCOMPARE(readFile(dir / "w.db"), table);
    QCOMPARE(readFile(dir / "w.inf"), inf);
    QVERIFY(fs::exists(dir / "w.db-journal"));
    QCOMPARE(runCli({"begin-way", arg(dir / "w.db"), "10"}).exitCode, 1);
    QCOMPARE(readFile(dir / "w.db"), table);
}

// One flipped bit in the journal's copy of a page: the journal is refused and the table left as
// the killed change left it; the whole journal rolls the change back.
void JournalCliTest::flippedBitRefusesTheJournal()
{
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    QByteArray before;
    QVERIFY(killedFill(dir, 300, before));
    const QByteArray torn = readFile(dir / "w.db");
    const QByteArray journal = readFile(dir / "w.db-journal");
    const qsizetype page = journal.indexOf("\npage ");
    QVERIFY2(page > 0, "the journal holds the pages the change overwrote");
    QByteArray flipped = journal;
    const qsizetype blob = flipped.indexOf('\n', page + 1) + 1 + 100;
    flipped[blob] = static_cast<char>(flipped[blob] ^ 0x10);
    writeFile(dir / "w.db-journal", flipped);

    const CliRun r = runCli({"info", arg(dir / "w.db")});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("w.db-journal") && r.err.contains("damaged"), qPrintable(r.err));
    QCOMPARE(readFile(dir / "w.db"), torn);
    QCOMPARE(readFile(dir / "w.db-journal"), flipped);

    writeFile(dir / "w.db-journal", journal);
    const CliRun whole = runCli({"info", arg(dir / "w.db")});
    QCOMPARE(whole.exitCode, 0);
    QVERIFY(whole.err.contains("rolled back"));
    QCOMPARE(readFile(dir / "w.db"), before);
    QVERIFY(!fs::exists(dir / "w.db-journal"));
}

// A `new` killed after its journal: another document renamed to that name later is not deleted.
void JournalCliTest::staleCreationSparesAnotherDocument()
{
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    makeTable(dir / "w.db", 4, setRow);
    const QByteArray other = readFile(dir / "w.db");
    const QByteArray otherInf = readFile(dir / "w.inf");
    long calls = 0;
    QCOMPARE(runKilled({"new", arg(dir / "n.db")}, 0, &calls), 0);
    bool found = false;
    for (long k = 1; k <= calls && !found; ++k) {
        for (const char* name : {"n.db", "n.inf", "n.ing", "n.kpt", "n.db-journal"})
            fs::remove(dir / name);
        runKilled({"new", arg(dir / "n.db")}, k);
        found = fs::exists(dir / "n.db-journal") && fs::exists(dir / "n.db");
    }
    QVERIFY(found);
    fs::remove(dir / "n.db");
    fs::remove(dir / "n.inf");
    fs::rename(dir / "w.db", dir / "n.db");
    fs::rename(dir / "w.inf", dir / "n.inf");

    const CliRun r = runCli({"info", arg(dir / "n.db")});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("n.db-journal"), qPrintable(r.err));
    QCOMPARE(readFile(dir / "n.db"), other);
    QCOMPARE(readFile(dir / "n.inf"), otherInf);
    QCOMPARE(runCli({"fill-heights", arg(dir / "n.db")}).exitCode, 1);
    QCOMPARE(readFile(dir / "n.db"), other);
}

// A folder copied (new inodes, another file system) with a killed change in it: the copy is
// rolled back like the original, not taken for another file.
void JournalCliTest::copiedFolderRollsBack()
{
    QTemporaryDir tmp(QStringLiteral("/dev/shm/journal_cli_test-XXXXXX"));
    QTemporaryDir elsewhere;
    const fs::path dir = fs::path((tmp.isValid() ? tmp : elsewhere).path().toStdString()) / "doc";
    fs::create_directory(dir);
    QByteArray before;
    QVERIFY(killedFill(dir, 200, before));
    const fs::path copy = fs::path(elsewhere.path().toStdString()) / "copy";
    fs::copy(dir, copy);

    const CliRun r = runCli({"info", arg(copy / "w.db")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains("rolled back"), qPrintable(r.err));
    QCOMPARE(readFile(copy / "w.db"), before);
    QVERIFY(!fs::exists(copy / "w.db-journal"));
}

// A different table (another header, other fields) put under the name of one whose change was
// killed: the journal is refused, naming both, and the table is left as it is.
void JournalCliTest::otherTableUnderTheNameIsRefused()
{
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    QByteArray before;
    QVERIFY(killedFill(dir, 100, before));
    const fs::path otherPath = dir / "other.db";
    zelt::document::TraverseTable t;
    t.setPath(otherPath);
    t.create();
    t.close();
    fs::rename(otherPath, dir / "w.db");
    const QByteArray other = readFile(dir / "w.db");

    const CliRun r = runCli({"info", arg(dir / "w.db")});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("w.db-journal") && r.err.contains("another table") && r.err.contains("/w.db'"),
             qPrintable(r.err));
    QCOMPARE(readFile(dir / "w.db"), other);
    QVERIFY(fs::exists(dir / "w.db-journal"));
}

// A save journal names its files by name: copied with them into another folder, it completes
// the save there.
void JournalCliTest::saveJournalCompletesInTheFolderItLies()
{
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    makeTable(dir / "src.db", 5, setRow, 71, 333);
    const QByteArray table = readFile(dir / "src.db");
    const QByteArray inf = readFile(dir / "src.inf");
    const fs::path b = dir / "b";
    fs::create_directory(b);
    makeTable(b / "t.db", 2, setRow);
    writeFile(b / "t.ing", "old layout");
    writeFile(b / "t.db.zelt-1f2e", table);
    writeFile(b / "t.inf.zelt-9a", inf);
    HandJournal j;
    j.add("kind replace").add("what 4", "save").add("stage .inf 9a").add("stage table 1f2e").add("remove .ing");
    writeFile(b / "t.db-journal", j.bytes());

    const CliRun r = runCli({"info", arg(b / "t.db")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains("completed"), qPrintable(r.err));
    QCOMPARE(readFile(b / "t.db"), table);
    QCOMPARE(readFile(b / "t.inf"), inf);
    QVERIFY(!fs::exists(b / "t.ing"));
    QVERIFY(!fs::exists(b / "t.db-journal"));
    QVERIFY(!hasStrayFile(b, ".zelt-"));
}

void JournalCliTest::saveJournalNamingOtherFilesIsRefused_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("a token leaving the folder") << QByteArray("stage .inf ../../x");
    QTest::newRow("the table removed") << QByteArray("remove .db");
    QTest::newRow("a file of no companion's extension") << QByteArray("stage .txt 1f");
    QTest::newRow("an absolute path") << QByteArray("remove /nonexistent-folder/t.inf");
}

// A save journal naming anything but the target's own files and staged files is refused whole:
// not even its valid parts are done.
void JournalCliTest::saveJournalNamingOtherFilesIsRefused()
{
    QFETCH(QByteArray, record);
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    makeTable(dir / "t.db", 2, setRow);
    const QByteArray table = readFile(dir / "t.db");
    writeFile(dir / "t.ing", "layout");
    writeFile(dir / "t.db.zelt-1f", "not a table");
    HandJournal j;
    j.add("kind replace").add("what 4", "save").add("remove .ing").add(record).add("stage table 1f");
    writeFile(dir / "t.db-journal", j.bytes());

    const CliRun r = runCli({"info", arg(dir / "t.db")});
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.err.contains("t.db-journal") && r.err.contains("damaged"), qPrintable(r.err));
    QCOMPARE(readFile(dir / "t.db"), table);
    QCOMPARE(readFile(dir / "t.ing"), QByteArray("layout"));
    QVERIFY(fs::exists(dir / "t.db.zelt-1f"));
    QCOMPARE(readFile(dir / "t.db-journal"), j.bytes());
}

// A journal another program holds locked belongs to a change still running: nobody acts on it.
void JournalCliTest::journalHeldByARunningChangeIsLeftAlone()
{
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    HandJournal j;
    j.add("kind rollback").add("what 3", "new").add("table absent").add("companion .inf absent");
    writeFile(dir / "n.db-journal", j.bytes());
    writeFile(dir / "n.inf", "being written");
    const OtherProcessLock held(dir / "n.db-journal");
    const CliRun r = runCli({"new", arg(dir / "n.db")});
    QVERIFY(r.exitCode != 0);
    QCOMPARE(readFile(dir / "n.db-journal"), j.bytes());
    QCOMPARE(readFile(dir / "n.inf"), QByteArray("being written"));
}

// Temporary files a killed command left beside a table go at the next writing open; those of
// other documents and those a running program holds stay, and a reading command removes none.
void JournalCliTest::temporariesOfKilledCommandsAreRemoved()
{
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    makeTable(dir / "w.db", 3, setRow);
    const std::vector<std::string> stale{"w.inf.zelt-1a2b", "w.db.zelt-77ff", "w.db-journal.zelt-123-abc",
                                         "w.kpt.zelt-5", "w.ing.zelt-6"};
    for (const std::string& name : stale)
        writeFile(dir / name, "left by a kill");
    writeFile(dir / "other.inf.zelt-1", "another document's");
    writeFile(dir / "w.db.zelt-held", "being staged");
    const OtherProcessLock held(dir / "w.db.zelt-held");

    QCOMPARE(runCli({"info", arg(dir / "w.db")}).exitCode, 0);
    for (const std::string& name : stale)
        QVERIFY2(fs::exists(dir / name), name.c_str());
    QCOMPARE(runCli({"settings", arg(dir / "w.db"), "--start-height", "500"}).exitCode, 0);
    for (const std::string& name : stale)
        QVERIFY2(!fs::exists(dir / name), name.c_str());
    QVERIFY(fs::exists(dir / "other.inf.zelt-1"));
    QVERIFY(fs::exists(dir / "w.db.zelt-held"));
}

// An import journals the blocks it rewrites, not the table: its journal stays small however
// large the table is.
void JournalCliTest::appendJournalsWhatItOverwrites()
{
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    const fs::path table = dir / "w.db";
    makeTable(table, 3000, setRow);
    const QByteArray before = readFile(table);
    QVERIFY(before.size() > 400 * 1024);
    const QByteArray rows = "Azimuth;Pairs\n1;2\n3;4\n5;6\n7;8\n9;10\n11;12\n13;14\n15;16\n17;18\n19;20\n";
    long calls = 0;
    QCOMPARE(runKilled({"import", arg(table)}, 0, &calls, rows), 0);
    const QByteArray after = readFile(table);
    qint64 largest = -1;
    // The journal at its largest: the command killed at each of its last calls.
    for (long k = calls; k >= std::max(1L, calls - 40); --k) {
        writeFile(table, before);
        fs::remove(dir / "w.db-journal");
        runKilled({"import", arg(table)}, k, nullptr, rows);
        if (fs::exists(dir / "w.db-journal"))
            largest = std::max<qint64>(largest, static_cast<qint64>(fs::file_size(dir / "w.db-journal")));
    }
    QVERIFY2(largest > 0, "a kill late in the import leaves its journal");
    QVERIFY2(largest < 64 * 1024, qPrintable(QString::number(largest)));
    QCOMPARE(runCli({"info", arg(table)}).exitCode, 0);
    const QByteArray recovered = readFile(table);
    QVERIFY(recovered == before || recovered == after);
}

QTEST_APPLESS_MAIN(JournalCliTest)
#include "journal_cli_test.moc"

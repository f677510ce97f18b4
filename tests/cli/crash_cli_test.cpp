// SPDX-License-Identifier: GPL-3.0-or-later
// Every writing command of zelt-cli leaves the document as before or as after it, whichever
// file-changing call a kill, a full disk or an I/O error hits, and two programs on one table
// never leave it half written.
#include "cli_fixture.h"
#include "test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <map>
#include <set>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

using FolderState = std::map<std::string, QByteArray>;

/// The folder's files with their bytes; temporary files a killed writer left (".zelt-", and the
/// known points' ".tmp") are not part of the document. The creation time in a table's header (0x60) is left out, so that a table
/// made by `new` compares with one made a second later.
FolderState folderState(const fs::path& dir)
{
    FolderState files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.find(".zelt-") != std::string::npos
            || (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0))
            continue;
        QByteArray bytes = readFile(entry.path());
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".db") == 0 && bytes.size() > 0x64)
            bytes.replace(0x60, 4, QByteArray(4, '\0'));
        files[name] = bytes;
    }
    return files;
}

void restore(const fs::path& dir, const FolderState& state)
{
    // A killed GIS export leaves its private folder (".NAME.zelt-...") as others leave a file.
    for (const auto& entry : fs::directory_iterator(dir))
        fs::remove_all(entry.path());
    for (const auto& [name, bytes] : state)
        writeBytes(dir / name, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

struct Run {
    int exitCode = -1;
    QString err;
    QByteArray failedCall;  ///< the call the shim made fail ("fsync"); empty when none
};

/// Exit status of a command whose change was made but not synced to the disk.
constexpr int kNotDurable = 5;

/// Runs zelt-cli in `dir` under the fault shim: `failAt` 0 counts only, else that call fails
/// as `mode` says; `calls` receives the count.
Run runWithFault(const fs::path& dir, const QStringList& args, const QByteArray& input, long failAt,
                 const QString& mode, long* calls = nullptr)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZELT_FAULT_SHIM));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
    env.insert(QStringLiteral("ZELT_FAULT_AT"), QString::number(failAt));
    env.insert(QStringLiteral("ZELT_FAULT_MODE"), mode);
    const QString countFile = QString::fromStdString((dir.parent_path() / "calls").string());
    if (calls)
        env.insert(QStringLiteral("ZELT_FAULT_COUNT"), countFile);
    const fs::path reportFile = dir.parent_path() / "failed";
    fs::remove(reportFile);
    env.insert(QStringLiteral("ZELT_FAULT_REPORT"), QString::fromStdString(reportFile.string()));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(dir.string()));
    p.start(QStringLiteral(ZELT_CLI), args);
    p.write(input);
    p.closeWriteChannel();
    Run r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (calls)
        *calls = readFile(countFile.toStdString()).trimmed().toLong();
    r.failedCall = readFile(reportFile);
    return r;
}

void setRow(zelt::document::TraverseTable& t, int i)
{
    t.setInteger("Azimuth", 10 * (i + 1));
    t.setFloat("Pairs", 5 + i);
    t.setFloat("Procent", i % 3);
    if (i % 2 == 0)
        t.setFloat("Altimeter", 400 + 10 * i);
}

/// One command, the folder it starts from and the tables whose next open acts on a journal.
struct Case {
    QStringList args;
    QByteArray input;
    QStringList reopen;
    std::function<void(const fs::path&)> setUp;
};

/// w.db (starting with a start row), its .inf, .ing and .kpt, made by the program itself.
void documentFolder(const fs::path& dir)
{
    makeTable(dir / "w.db", 5, setRow);
    runCli({"paste", QString::fromStdString((dir / "w.db").string()), "--field", "Mark"}, "start\n");
    runCli({"known-points", QString::fromStdString((dir / "w.db").string()), "--set", "3:10,20"});
}

}  // namespace

Q_DECLARE_METATYPE(Case)

namespace {

/// Scratch folders in memory when the system has them: the faults come from the shim, and the
/// commands' syncs would otherwise take most of the time.
QString scratchFolder()
{
    const QString shm = QStringLiteral("/dev/shm");
    const QString base = QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
    return base + QStringLiteral("/crash_cli_test-XXXXXX");
}

}  // namespace

class CrashCliTest : public QObject {
    Q_OBJECT
private slots:
    void kill_data() { commands(); }
    void kill() { faults(QStringLiteral("kill")); }
    void diskFull_data() { commands(); }
    void diskFull() { faults(QStringLiteral("enospc")); }
    void ioError_data() { commands(); }
    void ioError() { faults(QStringLiteral("eio")); }
    void twoProgramsOnOneTable();
    void rewritesKeepAccess();
    void workbookWriteErrorsAreNeverSuccess();

private:
    void commands();
    void faults(const QString& mode);
};

void CrashCliTest::commands()
{
    QTest::addColumn<Case>("c");
    const QStringList w{"w.db"};
    QTest::newRow("settings") << Case{{"settings", "w.db", "--start-height", "510", "--pairs-per-100m", "70"}, {}, w, documentFolder};
    QTest::newRow("begin-way") << Case{{"begin-way", "w.db", "25"}, {}, w, documentFolder};
    QTest::newRow("fill-heights") << Case{{"fill-heights", "w.db"}, {}, w, documentFolder};
    QTest::newRow("percent-heights") << Case{{"percent-heights", "w.db"}, {}, w, documentFolder};
    QTest::newRow("recalc") << Case{{"recalc", "w.db", "--start", "2:402", "--end", "5:436"}, {}, w, documentFolder};
    QTest::newRow("paste") << Case{{"paste", "w.db", "--field", "Altimeter", "--row", "4"}, "401\n402\n403\n404\n405\n", w,
                                   documentFolder};
    QTest::newRow("import") << Case{{"import", "w.db"}, "Azimuth;Pairs;Mark\n5;7;a\n6;8;b\n7;9;c\n", w, documentFolder};
    QTest::newRow("start row + known points") << Case{{"fill-heights", "s.db"}, {}, {"s.db"}, [](const fs::path& dir) {
        makeTable(dir / "s.db", 4, setRow);   // the first row is a leg: opening inserts a start row
        const std::string kpt = "ZELT KNOWN POINTS 1\npoint 2 5 5\n";
        writeBytes(dir / "s.kpt", std::vector<unsigned char>(kpt.begin(), kpt.end()));
    }};
    QTest::newRow("new") << Case{{"new", "n.db"}, {}, {"n.db"}, [](const fs::path&) {}};
    QTest::newRow("save-as --overwrite") << Case{{"save-as", "w.db", "t.db", "--overwrite"}, {}, {"w.db", "t.db"},
                                                 [](const fs::path& dir) {
        documentFolder(dir);
        makeTable(dir / "t.db", 2, setRow, 70, 300);
        writeBytes(dir / "t.ing", {'x'});
    }};
    QTest::newRow("rename") << Case{{"rename", "w.db", "r.db"}, {}, {"w.db", "r.db"}, documentFolder};
    QTest::newRow("known-points") << Case{{"known-points", "w.db", "--set", "4:1,2"}, {}, w, documentFolder};
    QTest::newRow("georef") << Case{{"georef", "w.db", "--crs", "EPSG:32635", "--origin", "350000,5040000"}, {}, w,
                                    documentFolder};
    QTest::newRow("export-gis") << Case{{"export-gis", "w.db", "w.geojson", "--crs", "EPSG:32635", "--start", "350000,5040000"},
                                        {}, w, documentFolder};
    QTest::newRow("export-ocd into a map") << Case{{"export-ocd", "w.db", "m.ocd"}, {}, w, [](const fs::path& dir) {
        documentFolder(dir);
        runCli({"export-ocd", QString::fromStdString((dir / "w.db").string()), QString::fromStdString((dir / "m.ocd").string())});
    }};
}

// A fault at a sample of the command's file-changing calls (all of them when few): the folder
// is then as before or as after the command once the tables are opened again, a run that says
// it succeeded left it as after, and no journal is left behind.
void CrashCliTest::faults(const QString& mode)
{
    QFETCH(Case, c);
    QTemporaryDir tmp(scratchFolder());
    const fs::path dir = fs::path(tmp.path().toStdString()) / "doc";
    fs::create_directory(dir);
    c.setUp(dir);
    const FolderState before = folderState(dir);
    long calls = 0;
    const Run clean = runWithFault(dir, c.args, c.input, 0, mode, &calls);
    QVERIFY2(clean.exitCode == 0, qPrintable(clean.err));
    const FolderState after = folderState(dir);
    QVERIFY(after != before);
    QVERIFY(calls > 0);

    // ZELT_CRASH_SAMPLES=N tries N points per command (every call when N is at least their count).
    const long kSamples = std::max(2, qEnvironmentVariableIntValue("ZELT_CRASH_SAMPLES") > 0
                                          ? qEnvironmentVariableIntValue("ZELT_CRASH_SAMPLES") : 6);
    // The points spread over the run, and every one of its last calls, where a change is put in
    // place and synced.
    std::set<long> points;
    for (long i = 0; i < std::min(calls, kSamples); ++i)
        points.insert(calls <= kSamples ? i + 1 : 1 + i * (calls - 1) / (kSamples - 1));
    for (long k = std::max(1L, calls - 4); k <= calls; ++k)
        points.insert(k);
    const long tried = long(points.size());
    for (const long k : points) {
        restore(dir, before);
        const Run hit = runWithFault(dir, c.args, c.input, k, mode);
        for (const QString& table : c.reopen)
            runCli({"info", QString::fromStdString((dir / table.toStdString()).string())});
        const FolderState state = folderState(dir);
        QByteArray where = c.args.join(' ').toUtf8() + " with a fault at call " + QByteArray::number(k) + " of "
            + QByteArray::number(calls) + ": " + hit.err.toUtf8() + "; files:";
        for (const auto& [name, bytes] : state)
            where += ' ' + QByteArray::fromStdString(name) + (before.count(name) && before.at(name) == bytes ? "=old" : "")
                + (after.count(name) && after.at(name) == bytes ? "=new" : "");
        QVERIFY2(state == before || state == after, where.constData());
        // The exit status says what happened: done, done but not synced, or nothing changed
        // (so that running the command again never does its work twice).
        if (hit.exitCode == 0 || hit.exitCode == kNotDurable)
            QVERIFY2(state == after, where.constData());
        if (hit.exitCode == 1)
            QVERIFY2(state == before, where.constData());
        QVERIFY2(!hit.err.contains(QStringLiteral("Nothing was changed")) || state == before, where.constData());
        QVERIFY2(!hit.err.contains(QStringLiteral("''")), where.constData());  // every path named
        // A sync the system failed may have lost what it was to write: never a plain success.
        if (hit.failedCall == "fsync" || hit.failedCall == "fdatasync")
            QVERIFY2(hit.exitCode != 0, where.constData());
    }
    qInfo("%s: %ld of %ld calls faulted, all held", qPrintable(c.args.join(' ')), tried, calls);
}

// Two programs changing one table in turn, each many times: one is refused while the other
// holds the table, and the survey values and rows are never left half written.
void CrashCliTest::twoProgramsOnOneTable()
{
    QTemporaryDir tmp(scratchFolder());
    const fs::path dir = tmp.path().toStdString();
    documentFolder(dir);
    const QString table = QString::fromStdString((dir / "w.db").string());
    QProcess fill, percent;
    const QString loop = QStringLiteral("for i in $(seq 40); do \"$0\" %1 \"$1\" >/dev/null 2>>\"$1.err\"; done");
    fill.start(QStringLiteral("sh"), {"-c", loop.arg(QStringLiteral("fill-heights")), QStringLiteral(ZELT_CLI), table});
    percent.start(QStringLiteral("sh"), {"-c", loop.arg(QStringLiteral("percent-heights")), QStringLiteral(ZELT_CLI), table});
    QVERIFY(fill.waitForFinished(60000) && percent.waitForFinished(60000));
    const QString refusals = QString::fromUtf8(readFile(dir / "w.db.err"));
    for (const QString& line : refusals.split('\n', Qt::SkipEmptyParts))
        QVERIFY2(line.contains(QStringLiteral("another program")) || line.contains(QStringLiteral("in use"))
                     || line.contains(QStringLiteral("locked")),
                 qPrintable(line));
    QCOMPARE(readFile(dir / "w.inf"), QByteArray(" 6.40000000000000E+0001\r\n 4.20000000000000E+0002\r\n"));
    QVERIFY(!fs::exists(dir / "w.db-journal"));
    QCOMPARE(readColumn(dir / "w.db", "Azimuth").size(), std::size_t{6});
}

namespace {

struct stat statOf(const fs::path& p)
{
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st;
}

/// A group other than the process's own that files may be given: any for the superuser, else
/// one the user is a member of; -1 when there is none.
gid_t otherGroup()
{
    if (::geteuid() == 0)
        return ::getegid() == 100 ? 101 : 100;
    gid_t groups[64];
    const int n = ::getgroups(64, groups);
    for (int i = 0; i < n; ++i)
        if (groups[i] != ::getegid())
            return groups[i];
    return gid_t(-1);
}

/// Sets the process's umask for its lifetime.
struct Umask {
    explicit Umask(mode_t mask) : old(::umask(mask)) {}
    ~Umask() { ::umask(old); }
    mode_t old;
};

}  // namespace

// A file rewritten keeps its mode and group; the map keeps its mode whatever the umask; a copy
// of a table (save-as, the journal) is no more readable than the table.
void CrashCliTest::rewritesKeepAccess()
{
    const Umask mask(022);
    QTemporaryDir tmp(scratchFolder());
    const fs::path dir = tmp.path().toStdString();
    documentFolder(dir);
    const QString table = QString::fromStdString((dir / "w.db").string());
    const gid_t group = otherGroup();
    for (const char* name : {"w.inf", "w.ing", "w.kpt"}) {
        if (group != gid_t(-1))
            QCOMPARE(::chown((dir / name).c_str(), uid_t(-1), group), 0);
        QCOMPARE(::chmod((dir / name).c_str(), 0640), 0);
    }
    QCOMPARE(runCli({"settings", table, "--start-height", "510"}).exitCode, 0);
    QCOMPARE(runCli({"known-points", table, "--set", "2:5,5"}).exitCode, 0);
    for (const char* name : {"w.inf", "w.ing", "w.kpt"}) {
        const struct stat st = statOf(dir / name);
        QVERIFY2((st.st_mode & 07777) == 0640, name);
        if (group != gid_t(-1))
            QVERIFY2(st.st_gid == group, name);
    }

    const QString map = QString::fromStdString((dir / "m.ocd").string());
    QCOMPARE(runCli({"export-ocd", table, map}).exitCode, 0);
    QCOMPARE(::chmod((dir / "m.ocd").c_str(), 0664), 0);
    QCOMPARE(runCli({"export-ocd", table, map}).exitCode, 0);
    QCOMPARE(statOf(dir / "m.ocd").st_mode & 07777, mode_t(0664));

    QCOMPARE(::chmod((dir / "w.db").c_str(), 0600), 0);
    QCOMPARE(runCli({"save-as", table, QString::fromStdString((dir / "c.db").string())}).exitCode, 0);
    QCOMPARE(statOf(dir / "c.db").st_mode & 077, mode_t(0));

    // A change killed at each of its calls in turn, until one leaves its journal behind.
    long calls = 0;
    QCOMPARE(runWithFault(dir, {"fill-heights", "w.db"}, {}, 0, QStringLiteral("kill"), &calls).exitCode, 0);
    bool seen = false;
    for (long k = 1; k <= calls && !seen; ++k) {
        runWithFault(dir, {"fill-heights", "w.db"}, {}, k, QStringLiteral("kill"));
        if (fs::exists(dir / "w.db-journal")) {
            seen = true;
            QCOMPARE(statOf(dir / "w.db-journal").st_mode & 077, mode_t(0));
        }
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().find(".zelt-") != std::string::npos)
                QVERIFY2((statOf(entry.path()).st_mode & 077) == 0, entry.path().c_str());
        runCli({"info", table});  // rolls the change back
    }
    QVERIFY(seen);
}

namespace {

/// The cells of a workbook's sheet, counted by Python's own zip reader: -1 when the file is not
/// a whole workbook, -2 when Python is not there to count.
int workbookCells(const fs::path& file)
{
    QProcess p;
    p.start(QStringLiteral("python3"),
            {"-c", "import sys, zipfile\n"
                   "try:\n"
                   "    z = zipfile.ZipFile(sys.argv[1])\n"
                   "    if z.testzip() is not None: raise ValueError\n"
                   "    print(z.read('xl/worksheets/sheet1.xml').count(b'<c '))\n"
                   "except Exception:\n"
                   "    print(-1)\n",
             QString::fromStdString(file.string())});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -2;
    return p.readAllStandardOutput().trimmed().toInt();
}

}  // namespace

// An I/O error or a full disk at any call of a workbook export either fails the export, leaving
// no workbook, or gives the whole workbook.
void CrashCliTest::workbookWriteErrorsAreNeverSuccess()
{
    QTemporaryDir tmp(scratchFolder());
    const fs::path dir = fs::path(tmp.path().toStdString()) / "doc";
    fs::create_directory(dir);
    documentFolder(dir);
    long calls = 0;
    const QStringList args{"export-xlsx", "w.db", "w.xlsx"};
    QCOMPARE(runWithFault(dir, args, {}, 0, QStringLiteral("eio"), &calls).exitCode, 0);
    const int cells = workbookCells(dir / "w.xlsx");
    if (cells == -2) {
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL("python3 is needed to read the workbooks back");
        QSKIP("python3 is not installed: the workbooks cannot be read back");
    }
    QVERIFY(cells > 20);
    for (const QString& mode : {QStringLiteral("eio"), QStringLiteral("enospc")}) {
        for (long k = 1; k <= calls; ++k) {
            fs::remove(dir / "w.xlsx");
            const Run hit = runWithFault(dir, args, {}, k, mode);
            const QByteArray where = mode.toUtf8() + " at call " + QByteArray::number(k) + " of "
                + QByteArray::number(calls) + ": " + hit.err.toUtf8();
            if (hit.exitCode == 0 || hit.exitCode == kNotDurable)
                QVERIFY2(workbookCells(dir / "w.xlsx") == cells, where.constData());
            else
                QVERIFY2(!fs::exists(dir / "w.xlsx"), where.constData());
        }
    }
}

QTEST_APPLESS_MAIN(CrashCliTest)
#include "crash_cli_test.moc"

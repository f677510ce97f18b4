// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli document handling: commands that only read write nothing, a table that cannot be
// written is refused whole, a damaged table is a partial result, save-as and rename.
#include "cli_fixture.h"
#include "lock_holder.h"
#include "test_support.h"

#include <QTemporaryDir>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

void setRow(zelt::document::TraverseTable& t, int i)
{
    t.setInteger("Azimuth", 90 + i % 200);
    t.setFloat("Pairs", 12);
    t.setFloat("Altimeter", 400 + i);
}

/// Every file of the folder with its bytes, to show that a command changed nothing.
std::map<std::string, QByteArray> folderState(const fs::path& dir)
{
    std::map<std::string, QByteArray> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = readFile(entry.path());
    return files;
}

}  // namespace

class SessionCliTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void readingCommandsWriteNothing();
    void heldTableIsRefusedWhole();
    void damagedTableIsAPartialResult();
    void damagedTableIsNotWritten();
    void chainCutShortIsReportedNotShortened();
    void refusedCommandLeavesStaleCountersAsFound();
    void linkedTableKeepsOneDocument();
    void knownPointsWaitForTheTable();
    void saveAsCarriesCompanions();
    void saveAsAndRenameRefuseTargets();
    void renameCarriesCompanions();
    void usageNamesCommandsAndStatuses();

private:
    QString arg(const char* name) const { return m_dir->filePath(name); }
    fs::path file(const char* name) const { return fs::path(m_dir->path().toStdString()) / name; }
    fs::path dir() const { return m_dir->path().toStdString(); }
    /// A table of `rows` rows cut off in the middle, so that it opens damaged.
    void makeDamagedTable(const char* name, int rows)
    {
        makeTable(file(name), rows, setRow);
        fs::resize_file(file(name), fs::file_size(file(name)) / 2);
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void SessionCliTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void SessionCliTest::readingCommandsWriteNothing()
{
    makeTable(file("w.db"), 2, setRow);  // a first row that would get a start row before it
    fs::remove(file("w.inf"));
    fs::create_directory(file("out"));
    const auto before = folderState(dir());
    const QList<QStringList> commands = {
        {"info", arg("w.db")},
        {"dump", arg("w.db")},
        {"export-txt", arg("w.db"), arg("out/w.txt")},
        {"export-xlsx", arg("w.db"), arg("out/w.xlsx")},
    };
    for (const QStringList& c : commands) {
        const CliRun r = runCli(c);
        QVERIFY2(r.exitCode == 0, qPrintable(c.front() + ": " + r.err));
        QVERIFY2(folderState(dir()) == before, qPrintable(c.front()));
    }
    QVERIFY(fs::exists(file("out/w.txt")) && fs::exists(file("out/w.xlsx")));
}

void SessionCliTest::heldTableIsRefusedWhole()
{
    makeTable(file("w.db"), 2, setRow, 64.0, 420.0);
    fs::remove(file("w.inf"));
    const OtherProcessLock holder(file("w.db"));
    QVERIFY(holder.locked());
    const auto before = folderState(dir());
    const QList<QStringList> commands = {
        {"settings", arg("w.db"), "--pairs-per-100m", "50"},
        {"begin-way", arg("w.db"), "10"},
        {"fill-heights", arg("w.db")},
        {"import", arg("w.db"), "-"},
    };
    for (const QStringList& c : commands) {
        const CliRun r = runCli(c, "Azimuth\n45\n");
        QVERIFY2(r.exitCode == 1, qPrintable(c.front()));
        QVERIFY2(r.err.contains("in use by another program") && r.err.contains("Nothing was changed"),
                 qPrintable(r.err));
        QVERIFY2(!r.out.contains("rows posted"), qPrintable(r.out));
        QVERIFY2(folderState(dir()) == before, qPrintable(c.front()));
    }
    // Reading it is fine, and says why it is read-only.
    const CliRun info = runCli({"info", arg("w.db")});
    QCOMPARE(info.exitCode, 0);
    QVERIFY2(info.out.contains(QByteArray("read-only: The table '") + file("w.db").c_str() + "' is in use by another program"),
             qPrintable(info.out));
}

void SessionCliTest::damagedTableIsAPartialResult()
{
    makeDamagedTable("w.db", 300);
    const CliRun dump = runCli({"dump", arg("w.db")});
    QCOMPARE(dump.exitCode, 3);
    const int rows = static_cast<int>(dump.out.count("\r\n"));
    QVERIFY(rows > 0 && rows < 300);
    QVERIFY2(dump.out.startsWith("90;12;"), qPrintable(dump.out.left(40)));  // no start row put before it
    QVERIFY2(dump.err.contains("is damaged"), qPrintable(dump.err));
    QVERIFY2(dump.err.contains(QString("partial result: %1 rows read").arg(rows)), qPrintable(dump.err));

    const CliRun txt = runCli({"export-txt", arg("w.db"), arg("w.txt")});
    QCOMPARE(txt.exitCode, 3);
    QVERIFY(txt.err.contains(QString("%1 rows read").arg(rows)));
    QCOMPARE(readFile(file("w.txt")).count("\r\n"), rows);  // what was read

    const CliRun info = runCli({"info", arg("w.db")});
    QCOMPARE(info.exitCode, 3);
    QVERIFY(info.out.contains(QString("rows: %1\n").arg(rows)));
}

void SessionCliTest::damagedTableIsNotWritten()
{
    makeDamagedTable("w.db", 300);
    const auto before = folderState(dir());
    for (const QStringList& c : QList<QStringList>{{"fill-heights", arg("w.db")},
                                                   {"percent-heights", arg("w.db")},
                                                   {"begin-way", arg("w.db"), "10"},
                                                   {"settings", arg("w.db"), "--start-height", "500"},
                                                   {"save-as", arg("w.db"), arg("copy.db")}}) {
        const CliRun r = runCli(c);
        QVERIFY2(r.exitCode == 1, qPrintable(c.front() + ": " + QString::number(r.exitCode)));
        QVERIFY2(r.err.contains("is damaged"), qPrintable(r.err));
        QVERIFY2(!r.out.contains("rows posted"), qPrintable(r.out));
        QVERIFY2(folderState(dir()) == before, qPrintable(c.front()));
    }
}

// A block header zeroed in the middle of the chain cuts the rows after it off. Reading says
// the table is damaged; writing is refused; nobody shortens the header to the chain.
void SessionCliTest::chainCutShortIsReportedNotShortened()
{
    makeTable(file("w.db"), 41, setRow);
    std::vector<unsigned char> bytes = readBytes(file("w.db"));
    const std::size_t headerSize = bytes[2] | (bytes[3] << 8);
    const std::size_t blockSize = std::size_t(bytes[5]) * 1024;
    QVERIFY(bytes.size() >= headerSize + 3 * blockSize);  // at least three blocks
    std::fill_n(bytes.begin() + std::ptrdiff_t(headerSize + blockSize), 6, 0);  // the second block's header
    writeBytes(file("w.db"), bytes);
    const auto before = folderState(dir());

    const CliRun info = runCli({"info", arg("w.db")});
    QCOMPARE(info.exitCode, 3);
    QVERIFY2(info.out.contains("header gives 41 rows"), qPrintable(info.out));
    for (const QStringList& c : QList<QStringList>{{"begin-way", arg("w.db"), "10"}, {"fill-heights", arg("w.db")}}) {
        const CliRun r = runCli(c);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("is damaged") && r.err.contains("Nothing was changed"), qPrintable(r.err));
        QVERIFY2(folderState(dir()) == before, qPrintable(c.front()));
    }
}

// Counters one row behind the chain are corrected only by a change that is made: a command that
// opens the table and then refuses (here over a damaged survey values file) leaves it as found.
void SessionCliTest::refusedCommandLeavesStaleCountersAsFound()
{
    makeTable(file("w.db"), 12, setRow);
    std::vector<unsigned char> bytes = readBytes(file("w.db"));
    bytes[6] = 11;  // the row count, one behind
    writeBytes(file("w.db"), bytes);
    const std::string inf = " 6.40000000000000E+0001\r\nhigh\r\n";
    writeBytes(file("w.inf"), std::vector<unsigned char>(inf.begin(), inf.end()));
    const auto before = folderState(dir());
    const CliRun r = runCli({"settings", arg("w.db"), "--start-height", "500"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(folderState(dir()) == before, qPrintable(r.err));
}

// A table reached through a symbolic link in another folder is the real table's document:
// its companions are read and written beside the real table, and nothing appears beside the link.
void SessionCliTest::linkedTableKeepsOneDocument()
{
    fs::create_directory(file("real"));
    fs::create_directory(file("elsewhere"));
    makeTable(file("real") / "w.db", 3, setRow, 64.0, 420.0);
    const QString real = QString::fromStdString((file("real") / "w.db").string());
    QCOMPARE(runCli({"settings", real}).exitCode, 0);  // the start row, and the .ing
    QCOMPARE(runCli({"known-points", real, "--set", "2:5,5"}).exitCode, 0);
    fs::create_symlink("../real/w.db", file("elsewhere") / "w.db");
    const QString link = QString::fromStdString((file("elsewhere") / "w.db").string());

    CliRun r = runCli({"settings", link, "--start-height", "510"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(readFile(file("real") / "w.inf"), QByteArray(" 6.40000000000000E+0001\r\n 5.10000000000000E+0002\r\n"));
    r = runCli({"known-points", link});
    QVERIFY2(r.exitCode == 0 && r.out.startsWith("2\t5\t5"), qPrintable(r.out + r.err));  // the real points
    r = runCli({"known-points", link, "--set", "3:7,8"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    r = runCli({"known-points", real});
    QVERIFY2(r.out.contains("3\t7\t8"), qPrintable(r.out));
    std::vector<std::string> beside;
    for (const auto& entry : fs::directory_iterator(file("elsewhere")))
        beside.push_back(entry.path().filename().string());
    QCOMPARE(beside, std::vector<std::string>{"w.db"});
    QVERIFY(fs::is_symlink(file("elsewhere") / "w.db"));
}

// Changing the known points while another program has the table is refused, as every change of
// the document is; reading them is not.
void SessionCliTest::knownPointsWaitForTheTable()
{
    makeTable(file("w.db"), 3, setRow);
    QCOMPARE(runCli({"known-points", arg("w.db"), "--set", "2:5,5"}).exitCode, 0);
    const OtherProcessLock holder(file("w.db"));
    QVERIFY(holder.locked());
    const auto before = folderState(dir());
    for (const QStringList& c : QList<QStringList>{{"known-points", arg("w.db"), "--set", "3:1,2"},
                                                   {"known-points", arg("w.db"), "--clear"}}) {
        const CliRun r = runCli(c);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("in use by another program") && r.err.contains("Nothing was changed"), qPrintable(r.err));
        QVERIFY(folderState(dir()) == before);
    }
    QCOMPARE(runCli({"known-points", arg("w.db")}).exitCode, 0);
}

void SessionCliTest::saveAsCarriesCompanions()
{
    makeTable(file("a.db"), 3, setRow, 55.0, 300.0);
    QCOMPARE(runCli({"settings", arg("a.db")}).exitCode, 0);  // gives it its start row and .ing
    const auto before = folderState(dir());
    const CliRun r = runCli({"save-as", arg("a.db"), arg("b.db")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readFile(file("b.db")), before.at("a.db"));
    QCOMPARE(readFile(file("b.inf")), before.at("a.inf"));
    QCOMPARE(readFile(file("b.ing")), before.at("a.ing"));
    for (const auto& [name, bytes] : before)
        QCOMPARE(readFile(dir() / name), bytes);  // the first table and its companions as they were
    QCOMPARE(runCli({"dump", arg("b.db")}).out, runCli({"dump", arg("a.db")}).out);
}

void SessionCliTest::saveAsAndRenameRefuseTargets()
{
    makeTable(file("a.db"), 1, setRow);
    makeTable(file("b.db"), 4, setRow, 70.0, 100.0);
    auto before = folderState(dir());

    CliRun r = runCli({"save-as", arg("a.db"), arg("b.db")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(arg("b.db") + "' already exists"), qPrintable(r.err));
    r = runCli({"rename", arg("a.db"), arg("b.db")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(arg("b.db") + "' already exists"), qPrintable(r.err));
    QVERIFY(folderState(dir()) == before);

    {
        // Open in another program: refused even when replacing is allowed.
        const OtherProcessLock holder(file("b.db"));
        QVERIFY(holder.locked());
        r = runCli({"save-as", arg("a.db"), arg("b.db"), "--overwrite"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(arg("b.db") + "' is open in another window or program"), qPrintable(r.err));
        QVERIFY(folderState(dir()) == before);
    }

    r = runCli({"save-as", arg("a.db"), arg("b.db"), "--overwrite"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readFile(file("b.db")), before.at("a.db"));
    QCOMPARE(readFile(file("b.inf")), before.at("a.inf"));
}

void SessionCliTest::renameCarriesCompanions()
{
    makeTable(file("a.db"), 2, setRow, 55.0, 300.0);
    QCOMPARE(runCli({"settings", arg("a.db")}).exitCode, 0);
    const auto before = folderState(dir());
    const CliRun r = runCli({"rename", arg("a.db"), arg("b.db")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(!fs::exists(file("a.db")) && !fs::exists(file("a.inf")) && !fs::exists(file("a.ing")));
    QCOMPARE(readFile(file("b.db")), before.at("a.db"));
    QCOMPARE(readFile(file("b.inf")), before.at("a.inf"));
    QCOMPARE(readFile(file("b.ing")), before.at("a.ing"));
}

void SessionCliTest::usageNamesCommandsAndStatuses()
{
    const CliRun r = runCli({});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("zelt-cli save-as TABLE.db NEW.db [--overwrite]"), qPrintable(r.err));
    QVERIFY2(r.err.contains("zelt-cli rename TABLE.db NEW.db"), qPrintable(r.err));
    const CliRun help = runCli({"help", "save-as"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.contains("3 partial result"), qPrintable(help.out));
    QCOMPARE(runCli({"save-as", arg("a.db")}).exitCode, 2);
    QCOMPARE(runCli({"rename", arg("a.db"), arg("b.db"), "--overwrite"}).exitCode, 2);
}

QTEST_GUILESS_MAIN(SessionCliTest)
#include "session_cli_test.moc"

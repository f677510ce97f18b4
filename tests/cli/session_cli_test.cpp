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

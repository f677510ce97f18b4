// SPDX-License-Identifier: GPL-3.0-or-later
// Help, version, usage errors and exit statuses of zelt-cli and zelt, run as a user runs them.
#include "cli_fixture.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace zelt::test;
namespace fs = std::filesystem;

class ConventionsCliTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void helpGoesToStandardOutput_data();
    void helpGoesToStandardOutput();
    void commandHelpTouchesNoTable_data();
    void commandHelpTouchesNoTable();
    void version();
    void usageErrorsExitTwoOnStandardError_data();
    void usageErrorsExitTwoOnStandardError();
    void optionsAndPositionals();
    void unwritableOutputFails();
    void desktopProgramAnswersWithoutDisplay();

private:
    QString table(const char* name = "t.db") const { return m_dir->filePath(QString::fromLatin1(name)); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

/// The command names listed in the help's "Commands:" section.
QStringList helpCommands(const QString& help)
{
    QStringList names;
    const qsizetype from = help.indexOf(QStringLiteral("\nCommands:\n"));
    const qsizetype to = help.indexOf(QStringLiteral("\n\n"), from + 1);
    static const QRegularExpression entry(QStringLiteral("^  ([a-z][a-z0-9-]*)( |$)"),
                                          QRegularExpression::MultilineOption);
    auto it = entry.globalMatch(help.mid(from, to - from));
    while (it.hasNext())
        names.append(it.next().captured(1));
    return names;
}

/// Runs `program` with its standard output going to /dev/full, where every write fails.
CliRun runIntoFullDevice(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setStandardOutputFile(QStringLiteral("/dev/full"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    CliRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

/// Runs the desktop program with no display and no platform chosen: a window it tried to
/// open would make it fail.
CliRun runApp(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZELT_APP), args);
    CliRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace

void ConventionsCliTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void ConventionsCliTest::helpGoesToStandardOutput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("--help") << QStringList{"--help"};
    QTest::newRow("-h") << QStringList{"-h"};
    QTest::newRow("help") << QStringList{"help"};
}

// The whole help is on standard output with status 0 and names every command of the short usage,
// every exit status and the data files.
void ConventionsCliTest::helpGoesToStandardOutput()
{
    QFETCH(QStringList, args);
    const CliRun r = runCli(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.isEmpty());
    QVERIFY2(r.out.startsWith(QStringLiteral("Usage: zelt-cli ")), qPrintable(r.out.left(200)));

    const CliRun usage = runCli({});
    QCOMPARE(usage.exitCode, 2);
    QVERIFY(usage.out.isEmpty());
    static const QRegularExpression line(QStringLiteral("^  zelt-cli ([a-z][a-z0-9-]*)"),
                                         QRegularExpression::MultilineOption);
    QStringList listed;
    for (auto it = line.globalMatch(usage.err); it.hasNext();)
        listed.append(it.next().captured(1));
    QVERIFY(listed.size() >= 14);
    QCOMPARE(helpCommands(r.out), listed);

    for (const char* status : {"\n  0\n", "\n  1\n", "\n  2\n", "\n  3\n"})
        QVERIFY2(r.out.contains(QString::fromLatin1(status)), status);
    QVERIFY(r.out.contains(QStringLiteral("\nExit status:\n")));
    QVERIFY(r.out.contains(QStringLiteral("\n  dani.dat\n")));
}

void ConventionsCliTest::commandHelpTouchesNoTable_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("help new") << QStringList{"help", "new"};
    QTest::newRow("new --help") << QStringList{"new", "TABLE", "--help"};
    QTest::newRow("new -h") << QStringList{"new", "-h", "TABLE"};
    QTest::newRow("--help before a bad option") << QStringList{"new", "TABLE", "--help", "--bogus"};
}

// Asking a command for help prints its usage and does not run it: no table is created.
void ConventionsCliTest::commandHelpTouchesNoTable()
{
    QFETCH(QStringList, args);
    args.replaceInStrings(QStringLiteral("TABLE"), table());
    const CliRun r = runCli(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("Usage: zelt-cli new TABLE.db\n")));
    QVERIFY(r.out.contains(QStringLiteral("Exit status:")));
    QVERIFY(r.err.isEmpty());
    QVERIFY(!fs::exists(table().toStdString()));
}

void ConventionsCliTest::version()
{
    const CliRun r = runCli({"--version"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("zelt-cli " ZELT_VERSION "\n"));
}

void ConventionsCliTest::usageErrorsExitTwoOnStandardError_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList{} << "Usage: zelt-cli";
    QTest::newRow("unknown command") << QStringList{"frobnicate", "TABLE"} << "unknown command 'frobnicate'";
    QTest::newRow("unknown global option") << QStringList{"--frob"} << "unknown option '--frob'";
    QTest::newRow("unknown option") << QStringList{"new", "TABLE", "--frob"} << "unknown option --frob";
    QTest::newRow("another command's option") << QStringList{"new", "TABLE", "--visible"} << "unknown option --visible";
    QTest::newRow("flag with a value") << QStringList{"dump", "TABLE", "--visible=yes"} << "takes no value";
    QTest::newRow("missing value") << QStringList{"paste", "TABLE", "--field"} << "needs a value";
    QTest::newRow("help of no command") << QStringList{"help", "frobnicate"} << "unknown command 'frobnicate'";
    QTest::newRow("extra argument") << QStringList{"new", "TABLE", "TABLE"} << "usage: zelt-cli new";
}

// Bad usage exits 2 with the message and the usage on standard error, nothing on standard
// output, and runs nothing: the table is not created.
void ConventionsCliTest::usageErrorsExitTwoOnStandardError()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    args.replaceInStrings(QStringLiteral("TABLE"), table());
    const CliRun r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("sage: zelt-cli")), qPrintable(r.err));
    QVERIFY(!fs::exists(table().toStdString()));
}

// Options may be written --name=VALUE; a negative number stays a positional argument; failures
// that are not usage errors exit 1.
void ConventionsCliTest::optionsAndPositionals()
{
    QCOMPARE(runCli({"new", table()}).exitCode, 0);
    CliRun r = runCli({"settings", table(), "--start-height=500", "--pairs-per-100m", "60"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("PairsPer100m 60, StartHeight 500")), qPrintable(r.out));
    r = runCli({"begin-way", table(), "-5"});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(QStringLiteral("StartHeight 495")), qPrintable(r.out));
    r = runCli({"info", table("missing.db")});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("does not exist")));
}

// Output that cannot be written (a full disk) is a failure with a message, not a success.
void ConventionsCliTest::unwritableOutputFails()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("this system has no /dev/full");
    QCOMPARE(runCli({"new", table()}).exitCode, 0);
    const QList<QPair<QString, QStringList>> runs{{QStringLiteral(ZELT_CLI), {"--help"}},
                                                  {QStringLiteral(ZELT_CLI), {"--version"}},
                                                  {QStringLiteral(ZELT_CLI), {"dump", table()}},
                                                  {QStringLiteral(ZELT_APP), {"--version"}}};
    for (const auto& [program, args] : runs) {
        const CliRun r = runIntoFullDevice(program, args);
        QVERIFY2(r.exitCode == 1, qPrintable(args.join(u' ')));
        QVERIFY2(r.err.contains(QStringLiteral("cannot write to standard output")), qPrintable(r.err));
    }
}

// The desktop program answers --help and --version on standard output without a display, and
// refuses an unknown option with status 2.
void ConventionsCliTest::desktopProgramAnswersWithoutDisplay()
{
    for (const char* option : {"--help", "-h"}) {
        const CliRun r = runApp({QString::fromLatin1(option)});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("Usage: zelt ")), qPrintable(r.out + r.err));
        QVERIFY(r.out.contains(QStringLiteral("\nExit status:\n")));
    }
    for (const char* option : {"--version", "-v"}) {
        const CliRun r = runApp({QString::fromLatin1(option)});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("zelt " ZELT_VERSION "\n"));
    }
    const CliRun bad = runApp({QStringLiteral("--frob"), table()});
    QCOMPARE(bad.exitCode, 2);
    QVERIFY(bad.out.isEmpty());
    QVERIFY2(bad.err.contains(QStringLiteral("frob")), qPrintable(bad.err));
    QVERIFY(bad.err.contains(QStringLiteral("Usage: zelt ")));
}

QTEST_GUILESS_MAIN(ConventionsCliTest)
#include "conventions_cli_test.moc"

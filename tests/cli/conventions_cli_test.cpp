// SPDX-License-Identifier: GPL-3.0-or-later
// Help, version, usage errors and exit statuses of zelt-cli and zelt, run as a user runs them.
#include "cli_fixture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

#include <unistd.h>

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
    void dashIsStandardOutputForEveryWriter_data();
    void dashIsStandardOutputForEveryWriter();
    void outputFoldersAreNeverCreated_data();
    void outputFoldersAreNeverCreated();
    void unknownNamesTakeOneLine_data();
    void unknownNamesTakeOneLine();
    void statusLinesAndQuiet_data();
    void statusLinesAndQuiet();
    void plotKeepsQtQuietAndItsNumbersPlain();
    void valueErrorsExitTwoAndChangeNothing_data();
    void valueErrorsExitTwoAndChangeNothing();
    void noSuccessLineBeforeAFailedWrite();
    void closedStandardOutputIsNamed();
    void messagesNameFullPaths();
    void helpDocumentsEveryJsonKey_data();
    void helpDocumentsEveryJsonKey();

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

/// The first line longer than a terminal of 80 columns, or "".
QString wideLine(const QString& text)
{
    for (const QString& line : text.split(u'\n'))
        if (line.size() > 80)
            return line;
    return {};
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

/// Runs the desktop program with no display and no platform chosen (unless `display` names
/// one): a window it tried to open would make it fail.
CliRun runApp(const QStringList& args, const QString& display = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
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

CliBytesRun runCliIn(const QString& dir, const QStringList& args, const QStringList& env = {})
{
    return runCliBytes(args, {}, dir, env);
}

/// A table of three legs with altimeter readings, and two known points on it.
void makeWay(const QString& dir)
{
    const std::filesystem::path path = QDir(dir).filePath(QStringLiteral("way.db")).toStdString();
    makeTable(path, 3, [](zelt::document::TraverseTable& t, int i) {
        t.setInteger("Azimuth", 90 * i);
        t.setFloat("Pairs", 64);
        t.setFloat("Altimeter", 420 + 5 * i);
    });
    for (const char* point : {"1:10,10", "3:60,70"})
        QCOMPARE(runCliIn(dir, {"known-points", "way.db", "--set", QString::fromLatin1(point)}).exitCode, 0);
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
    QCOMPARE(wideLine(r.out + usage.err), QString());

    for (const char* status : {"\n  0\n", "\n  1\n", "\n  2\n", "\n  3\n"})
        QVERIFY2(r.out.contains(QString::fromLatin1(status)), status);
    QVERIFY(r.out.contains(QStringLiteral("\nExit status:\n")));
    QVERIFY(r.out.contains(QStringLiteral("\n  dani.dat\n")));
}

void ConventionsCliTest::commandHelpTouchesNoTable_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("usage");
    const QString usageNew = QStringLiteral("Usage: zelt-cli new TABLE.db [--code-page 1252|1251|866|437|850]\n");
    QTest::newRow("help new") << QStringList{"help", "new"} << usageNew;
    QTest::newRow("new --help") << QStringList{"new", "TABLE", "--help"} << usageNew;
    QTest::newRow("new -h") << QStringList{"new", "-h", "TABLE"} << usageNew;
    QTest::newRow("--help before a bad option") << QStringList{"new", "TABLE", "--help", "--bogus"} << usageNew;
    QTest::newRow("help help") << QStringList{"help", "help"} << "Usage: zelt-cli help [COMMAND]\n";
    QTest::newRow("a long usage") << QStringList{"export-ocd", "--help"} << "Usage: zelt-cli export-ocd TABLE.db";
}

// Asking a command for help prints its usage, within 80 columns, and does not run it: no table
// is created.
void ConventionsCliTest::commandHelpTouchesNoTable()
{
    QFETCH(QStringList, args);
    QFETCH(QString, usage);
    args.replaceInStrings(QStringLiteral("TABLE"), table());
    const CliRun r = runCli(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith(usage), qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("Exit status")) || args.contains(QStringLiteral("help")));
    QCOMPARE(wideLine(r.out), QString());
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
    QTest::newRow("flag with a value") << QStringList{"dump", "TABLE", "--visible=yes"} << "takes no value";
    QTest::newRow("missing value") << QStringList{"paste", "TABLE", "--field"} << "needs a value";
    QTest::newRow("extra argument") << QStringList{"new", "TABLE", "TABLE"} << "usage: zelt-cli new";
    QTest::newRow("a table on standard output") << QStringList{"new", "-"} << "a table is a file";
    QTest::newRow("new --") << QStringList{"new", "--"} << "missing argument";
    QTest::newRow("save-as -") << QStringList{"save-as", "TABLE", "-"} << "a table is a file";
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
    QVERIFY(!QFileInfo::exists(QStringLiteral("-")) && !QFileInfo::exists(QStringLiteral("--")));
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
    // After "--" every argument is a name, even one that looks like an option.
    QCOMPARE(runCliIn(m_dir->path(), {"new", "--", "--odd.db"}).exitCode, 0);
    QVERIFY(QFileInfo::exists(table("--odd.db")));
    QCOMPARE(runCliIn(m_dir->path(), {"info", "--", "--odd.db"}).exitCode, 0);
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
        QCOMPARE(wideLine(r.out), QString());
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
    // Asked to open a window, it says that no display was found (none named, or one that does not
    // answer) and names zelt-cli, with status 1 instead of the toolkit's abort.
    for (const QString& display : {QString(), QStringLiteral(":87")}) {
        const CliRun r = runApp({table()}, display);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("no display found")) && r.err.contains(QStringLiteral("zelt-cli")),
                 qPrintable(r.err));
    }
}

void ConventionsCliTest::dashIsStandardOutputForEveryWriter_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("magic");
    QTest::addColumn<QString>("file");  ///< the same output written to a file, to compare; "" when it differs by run
    QTest::newRow("text") << QStringList{"export-txt", "way.db", "-"} << QByteArray() << "way.txt";
    QTest::newRow("workbook") << QStringList{"export-xlsx", "way.db", "-"} << QByteArray("PK\x03\x04") << "";
    QTest::newRow("report") << QStringList{"report", "way.db", "-"} << QByteArray("%PDF") << "";
    QTest::newRow("picture") << QStringList{"plot", "way.db", "-"} << QByteArray("\x89PNG") << "way.png";
    QTest::newRow("svg picture") << QStringList{"plot", "way.db", "-", "--format", "svg"} << QByteArray("<?xml") << "";
    QTest::newRow("map") << QStringList{"export-ocd", "way.db", "-"} << QByteArray("\xAD\x0C") << "way.ocd";
}

// "-" as the output writes the whole file to standard output (the status line goes to standard
// error) and never makes a file named "-".
void ConventionsCliTest::dashIsStandardOutputForEveryWriter()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, magic);
    QFETCH(QString, file);
    makeWay(m_dir->path());
    const CliBytesRun r = runCliIn(m_dir->path(), args);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY2(r.out.startsWith(magic), r.out.left(16).toHex().constData());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("-"))));
    QVERIFY2(r.err.startsWith(args.front() + QStringLiteral(": ")) && r.err.contains(QStringLiteral("standard output")),
             qPrintable(r.err));
    if (!file.isEmpty()) {
        args.replace(2, file);
        QCOMPARE(runCliIn(m_dir->path(), args).exitCode, 0);
        QCOMPARE(r.out, readFile(m_dir->filePath(file).toStdString()));
    }
}

void ConventionsCliTest::outputFoldersAreNeverCreated_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("output");  ///< relative to the test folder unless absolute
    QTest::addColumn<QString>("reason");
    const QString missing = QStringLiteral("No such file or directory");
    QTest::newRow("text") << "export-txt" << "nodir/deep/out.txt" << missing;
    QTest::newRow("workbook") << "export-xlsx" << "nodir/deep/out.xlsx" << missing;
    QTest::newRow("report") << "report" << "nodir/deep/out.pdf" << missing;
    QTest::newRow("picture") << "plot" << "nodir/deep/out.png" << missing;
    QTest::newRow("map") << "export-ocd" << "nodir/deep/out.ocd" << missing;
    QTest::newRow("a copy of the table") << "save-as" << "nodir/deep/out.db" << missing;
    QTest::newRow("a missing root folder") << "export-xlsx" << "/nonexistent/out.xlsx" << missing;
    QTest::newRow("a file as folder") << "export-txt" << "way.db/out.txt" << "Not a directory";
    QTest::newRow("a closed folder") << "export-xlsx" << "closed/out.xlsx" << "Permission denied";
}

// An output in a missing or closed folder is refused with its full path and the system's reason,
// and no folder is made.
void ConventionsCliTest::outputFoldersAreNeverCreated()
{
    QFETCH(QString, command);
    QFETCH(QString, output);
    QFETCH(QString, reason);
    if (reason == QLatin1String("Permission denied") && ::geteuid() == 0)
        QSKIP("root may write into any folder");
    makeWay(m_dir->path());
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("closed")));
    QVERIFY(QFile::setPermissions(m_dir->filePath(QStringLiteral("closed")), QFile::ReadOwner | QFile::ExeOwner));
    const CliBytesRun r = runCliIn(m_dir->path(), {command, "way.db", output});
    QFile::setPermissions(m_dir->filePath(QStringLiteral("closed")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(r.exitCode, 1);
    const QString full = QDir::isAbsolutePath(output) ? output : m_dir->filePath(output);
    QVERIFY2(r.err.contains(full) && r.err.contains(reason), qPrintable(r.err));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("nodir"))));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/nonexistent")));
}

void ConventionsCliTest::unknownNamesTakeOneLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("a slip") << QStringList{"export-oc", "TABLE"} << "unknown command 'export-oc' (did you mean 'export-ocd'?)";
    QTest::newRow("swapped letters") << QStringList{"fill-hieghts"} << "(did you mean 'fill-heights'?)";
    QTest::newRow("a beginning") << QStringList{"exp"} << "(did you mean 'export-gis', 'export-ocd', 'export-txt' or 'export-xlsx'?)";
    QTest::newRow("nothing close") << QStringList{"frobnicate", "TABLE"} << "unknown command 'frobnicate'; see";
    QTest::newRow("help of no command") << QStringList{"help", "export-oc"} << "(did you mean 'export-ocd'?)";
    QTest::newRow("global option") << QStringList{"--verison"} << "unknown option '--verison' (did you mean '--version'?)";
    QTest::newRow("option slip") << QStringList{"dump", "TABLE", "--visibel"} << "unknown option --visibel (did you mean '--visible'?)";
    QTest::newRow("another command's option") << QStringList{"new", "TABLE", "--visible"} << "unknown option --visible; see";
    QTest::newRow("a short option") << QStringList{"dump", "TABLE", "-x"} << "unknown option -x; see";
}

// An unknown command or option is one line on standard error, with the close names when there
// are any, pointing at the help; status 2 and nothing done.
void ConventionsCliTest::unknownNamesTakeOneLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    args.replaceInStrings(QStringLiteral("TABLE"), table());
    const CliRun r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.count(u'\n') == 1 && r.err.contains(message), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("'zelt-cli help")), qPrintable(r.err));
    QVERIFY(!fs::exists(table().toStdString()));
}

void ConventionsCliTest::statusLinesAndQuiet_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("lines");
    QTest::newRow("import") << QStringList{"import", "way.db", "-"} << 1;
    QTest::newRow("settings") << QStringList{"settings", "way.db", "--start-height", "400"} << 2;
    QTest::newRow("report") << QStringList{"report", "way.db", "way.pdf"} << 1;
}

// What a command did is told in lines "COMMAND: ..." on standard output; --quiet (also -q before
// the command) keeps them back, and errors still reach standard error.
void ConventionsCliTest::statusLinesAndQuiet()
{
    QFETCH(QStringList, args);
    QFETCH(int, lines);
    makeWay(m_dir->path());
    const QByteArray rows("Azimuth;Pairs\n45;10\n");
    const CliBytesRun told = runCliBytes(args, rows, m_dir->path());
    QVERIFY2(told.exitCode == 0 && told.err.isEmpty(), qPrintable(told.err));
    const QList<QByteArray> said = told.out.trimmed().split('\n');
    QCOMPARE(said.size(), lines);
    for (const QByteArray& line : said)
        QVERIFY2(line.startsWith(args.front().toUtf8() + ": "), line.constData());
    for (const QStringList& quiet : {args + QStringList{"--quiet"}, QStringList{"-q"} + args}) {
        const CliBytesRun r = runCliBytes(quiet, rows, m_dir->path());
        QVERIFY2(r.exitCode == 0 && r.out.isEmpty() && r.err.isEmpty(), qPrintable(r.err));
    }
    const CliBytesRun error = runCliIn(m_dir->path(), {"-q", args.front(), "missing.db"});
    QVERIFY(error.exitCode != 0 && !error.err.isEmpty());
}

// plot prints none of Qt's notes about its surroundings (no XDG_RUNTIME_DIR), and without
// --locale the numbers it draws have a point even in a comma locale.
void ConventionsCliTest::plotKeepsQtQuietAndItsNumbersPlain()
{
    makeWay(m_dir->path());
    const QStringList env{"-XDG_RUNTIME_DIR", "-QT_LOGGING_RULES", "LC_ALL=de_DE.UTF-8", "LANG=de_DE.UTF-8"};
    const CliBytesRun plain = runCliIn(m_dir->path(), {"-q", "plot", "way.db", "-", "--format", "svg"}, env);
    QVERIFY2(plain.exitCode == 0 && plain.err.isEmpty(), qPrintable(plain.err));
    static const QRegularExpression rms(QStringLiteral("RMS (\\d+[.,]\\d) m"));
    const QRegularExpressionMatch m = rms.match(QString::fromUtf8(plain.out));
    QVERIFY2(m.hasMatch(), "the known points' note is not in the picture");
    QVERIFY2(m.captured(1).contains(u'.'), qPrintable(m.captured(0)));

    const CliBytesRun comma = runCliIn(m_dir->path(), {"-q", "plot", "way.db", "-", "--format", "svg", "--locale", "de_DE"}, env);
    QCOMPARE(comma.exitCode, 0);
    QVERIFY(QString::fromUtf8(comma.out).contains(QStringLiteral("RMS ") + m.captured(1).replace(u'.', u',')));
}

void ConventionsCliTest::valueErrorsExitTwoAndChangeNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("settings ratio") << QStringList{"settings", "way.db", "--pairs-per-100m", "-3"} << "between 1 and 1000";
    QTest::newRow("settings height") << QStringList{"settings", "way.db", "--start-height", "9000"} << "between 0 and 3000";
    QTest::newRow("recalc row") << QStringList{"recalc", "way.db", "--start", "1:420", "--end", "999:410"} << "999";
    QTest::newRow("paste row") << QStringList{"paste", "way.db", "--field", "Mark", "--row", "999", "/dev/null"}
                               << "--row 999 is past its end";
    QTest::newRow("paste field") << QStringList{"paste", "way.db", "--field", "Azimut", "/dev/null"}
                                 << "no field 'Azimut' (did you mean 'Azimuth'?)";
    QTest::newRow("check tolerance") << QStringList{"check", "way.db", "--height-tolerance", "-1"} << "";
    QTest::newRow("known point row") << QStringList{"known-points", "way.db", "--set", "9:1,1"} << "beyond the table";
    QTest::newRow("no known point") << QStringList{"known-points", "way.db", "--remove", "2"} << "has no known point";
    QTest::newRow("code page") << QStringList{"new", "other.db", "--code-page", "1250"} << "--code-page takes one of";
    QTest::newRow("rename onto itself") << QStringList{"rename", "way.db", "./way.db"} << "is the table itself";
    QTest::newRow("save as itself") << QStringList{"save-as", "way.db", "way.db", "--overwrite"} << "is the table itself";
    QTest::newRow("workbook as .xls") << QStringList{"export-xlsx", "way.db", "out.xls"} << "name the file .xlsx";
    QTest::newRow("locale") << QStringList{"dump", "way.db", "--locale", "xx_XX"} << "such as de_DE";
}

// A value the command cannot use exits 2 whatever the command, names the value, and leaves the
// table, its companions and the folder as they were.
void ConventionsCliTest::valueErrorsExitTwoAndChangeNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    makeWay(m_dir->path());
    QDir dir(m_dir->path());
    auto state = [&] {
        QStringList files;
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            files << name + u' ' + (f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll().toHex()) : QStringLiteral("?"));
        }
        return files;
    };
    const QStringList before = state();
    const CliBytesRun r = runCliIn(m_dir->path(), args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY2(r.out.isEmpty(), r.out.constData());  // no status line: nothing was done
    QCOMPARE(state(), before);
}

// A writer whose output cannot be written fails with the system's reason, and no line says the
// output was written.
void ConventionsCliTest::noSuccessLineBeforeAFailedWrite()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("this system has no /dev/full");
    makeWay(m_dir->path());
    const QString way = m_dir->filePath(QStringLiteral("way.db"));
    for (const QStringList& args : {QStringList{"export-xlsx", way, "-"}, QStringList{"export-txt", way, "-"},
                                    QStringList{"dump", way, "--csv"}}) {
        const CliRun r = runIntoFullDevice(QStringLiteral(ZELT_CLI), args);
        QVERIFY2(r.exitCode == 1, qPrintable(args.join(u' ')));
        QVERIFY2(r.err.contains(QStringLiteral("cannot write to standard output: No space left on device")), qPrintable(r.err));
        QVERIFY2(!r.err.contains(QStringLiteral("rows to standard output")), qPrintable(r.err));
    }
}

// With standard output closed a command says so, and what it opens never takes its place: the
// status line of import does not land in the table or a companion.
void ConventionsCliTest::closedStandardOutputIsNamed()
{
    makeWay(m_dir->path());
    const QString way = m_dir->filePath(QStringLiteral("way.db"));
    const QString rows = m_dir->filePath(QStringLiteral("rows.txt"));
    QFile f(rows);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("Azimuth;Pairs\n45;10\n");
    f.close();
    QProcess p;
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" import \"$1\" \"$2\" >&-"),
                                   QStringLiteral(ZELT_CLI), way, rows});
    QVERIFY(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(err.contains(QStringLiteral("cannot write to standard output: it is closed")), qPrintable(err));
    for (const char* name : {"way.db", "way.inf", "way.ing", "way.kpt"}) {
        QFile written(m_dir->filePath(QString::fromLatin1(name)));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY2(!written.readAll().contains("import: "), name);
    }
    const CliRun dump = runCli({"dump", way});
    QCOMPARE(dump.exitCode, 0);
    QCOMPARE(dump.out.count(u'\n'), 4);  // the three rows (the first one is a start row) and the imported one
}

// Status lines and errors name tables by their full path, also when given a relative one.
void ConventionsCliTest::messagesNameFullPaths()
{
    const QString full = m_dir->filePath(QStringLiteral("t.db"));
    const CliBytesRun made = runCliIn(m_dir->path(), {"new", "t.db"});
    QCOMPARE(made.exitCode, 0);
    QVERIFY2(made.out.contains(full.toUtf8()), made.out.constData());
    const CliBytesRun missing = runCliIn(m_dir->path(), {"info", "missing.db"});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.contains(m_dir->filePath(QStringLiteral("missing.db"))), qPrintable(missing.err));
    const CliBytesRun renamed = runCliIn(m_dir->path(), {"rename", "t.db", "u.db"});
    QVERIFY2(renamed.out.contains((full + QStringLiteral(" to ") + m_dir->filePath(QStringLiteral("u.db"))).toUtf8()),
             renamed.out.constData());
    // The help says what the calculated fields are.
    const CliRun help = runCli({"--help"});
    QVERIFY(help.out.contains(QStringLiteral("\nFields of a traverse table:\n")));
    for (const QString& field : {QStringLiteral("  F\n"), QStringLiteral("  G\n"), QStringLiteral("  FillHeight\n")})
        QVERIFY2(help.out.contains(field), qPrintable(field));
    QVERIFY(help.out.contains(QStringLiteral("sum of G")));
    QVERIFY(runCli({"help", "export-ocd"}).out.simplified().contains(QStringLiteral("FillHeight when --field is not given")));
}

void ConventionsCliTest::helpDocumentsEveryJsonKey_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("dump") << QStringList{"dump", "way.db", "--json"};
    QTest::newRow("info") << QStringList{"info", "way.db", "--json"};
    QTest::newRow("known-points") << QStringList{"known-points", "way.db", "--json"};
    QTest::newRow("fit") << QStringList{"fit", "way.db", "--json"};
    QTest::newRow("route") << QStringList{"route", "way.db", "--json"};
}

// Every key a --json prints is named, in quotes, in the command's help (and so in the manual
// page made from it); the keys of dump's rows are the table's field names, listed in "fields".
void ConventionsCliTest::helpDocumentsEveryJsonKey()
{
    QFETCH(QStringList, args);
    makeWay(m_dir->path());
    const CliBytesRun r = runCliIn(m_dir->path(), args);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(!r.out.contains("nan") && !r.out.contains("inf"));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, r.out.constData());
    const QString help = runCli({"help", args.front()}).out.simplified();
    QStringList keys;
    std::function<void(const QJsonValue&, bool)> collect = [&](const QJsonValue& v, bool fieldNames) {
        if (v.isArray())
            for (const QJsonValue& e : v.toArray())
                collect(e, fieldNames);
        if (!v.isObject())
            return;
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!fieldNames)
                keys << it.key();
            collect(it.value(), it.key() == QStringLiteral("rows") && args.front() == QStringLiteral("dump"));
        }
    };
    collect(doc.object(), false);
    QVERIFY(keys.size() >= 3);
    for (const QString& key : keys)
        QVERIFY2(help.contains(u'"' + key + u'"'), qPrintable(key));
}

QTEST_GUILESS_MAIN(ConventionsCliTest)
#include "conventions_cli_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// An installed tree holds what a desktop expects and its programs find their data files relative
// to themselves, also after the tree is moved.
#include "paradox/paradox_table.h"
#include "test_support.h"

#include <QDir>
#include <QMimeDatabase>
#include <QtEndian>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

class InstallTreeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void treeHoldsTheDesktopFiles();
    void manualPageNamesEveryCommand();
    void desktopFilesPassTheirCheckers();
    void cliFindsDataFilesRelativeToItself();
    void fileTypeClaimsOnlyTables_data();
    void fileTypeClaimsOnlyTables();
    void packageRecommendsTheReportFonts();
    void completionAfterQuietAndField_data();
    void completionAfterQuietAndField();

private:
    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };
    static Run run(const QString& program, const QStringList& args, const QString& dir = {});
    static bool inCi() { return qEnvironmentVariableIsSet("CI"); }
    QString prefix() const { return m_dir.filePath(QStringLiteral("usr")); }

    QTemporaryDir m_dir;
};

InstallTreeTest::Run InstallTreeTest::run(const QString& program, const QStringList& args, const QString& dir)
{
    QProcess p;
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(30000))
        return r;
    if (!p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void InstallTreeTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const Run r = run(QStringLiteral(ZELT_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(ZELT_BINARY_DIR), QStringLiteral("--prefix"), prefix()});
    QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
}

// The programs, their data files, the desktop entry, file type, icons, metainfo, manual pages,
// completion and copyright are where a desktop and a package look for them, and the data
// folder holds only data files.
void InstallTreeTest::treeHoldsTheDesktopFiles()
{
    const QString id = QStringLiteral(ZELT_APPSTREAM_ID);
    QStringList expected{"bin/zelt", "bin/zelt-cli", "share/zelt/dani.dat", "share/zelt/std.ing",
                         "share/zelt/abs.ing", "share/zelt/procent.ing", "share/applications/zelt.desktop",
                         "share/mime/packages/zelt.xml", "share/metainfo/" + id + ".metainfo.xml",
                         "share/icons/hicolor/scalable/apps/zelt.svg", "share/man/man1/zelt.1.gz",
                         "share/man/man1/zelt-cli.1.gz", "share/bash-completion/completions/zelt-cli",
                         "share/doc/zelt/copyright", "share/doc/zelt/changelog.gz"};
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected << QStringLiteral("share/icons/hicolor/%1x%1/apps/zelt.png").arg(size);
    for (const QString& file : expected)
        QVERIFY2(QFileInfo(prefix() + u'/' + file).isFile(), qPrintable(file));
    for (const char* program : {"bin/zelt", "bin/zelt-cli"})
        QVERIFY(QFileInfo(prefix() + u'/' + QLatin1String(program)).isExecutable());

    QStringList data = QDir(prefix() + QStringLiteral("/share/zelt")).entryList(QDir::Files);
    data.sort();
    QCOMPARE(data, (QStringList{"abs.ing", "dani.dat", "procent.ing", "std.ing"}));

    QFile icon(prefix() + QStringLiteral("/share/icons/hicolor/16x16/apps/zelt.png"));
    QVERIFY(icon.open(QIODevice::ReadOnly));
    const QByteArray head = icon.read(24);
    QVERIFY(head.startsWith("\x89PNG"));
    QCOMPARE(qFromBigEndian<quint32>(head.constData() + 16), 16u);  // width in the IHDR chunk
}

// The installed manual page of zelt-cli has an entry for every command its help lists.
void InstallTreeTest::manualPageNamesEveryCommand()
{
    const Run page = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), prefix() + QStringLiteral("/share/man/man1/zelt-cli.1.gz")});
    if (page.exitCode == -1 && !inCi())
        QSKIP("gzip is not installed");
    QCOMPARE(page.exitCode, 0);
    QVERIFY(page.out.startsWith(QStringLiteral(".\\\"")) || page.out.startsWith(QStringLiteral(".TH")));
    for (const char* section : {".SH EXIT STATUS", ".SH ENVIRONMENT", ".SH EXAMPLES"})
        QVERIFY2(page.out.contains(QLatin1String(section)), section);

    const Run help = run(prefix() + QStringLiteral("/bin/zelt-cli"), {QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    const QStringList commands = help.out.section(QStringLiteral("\nCommands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0).split(u'\n');
    int entries = 0;
    for (const QString& line : commands) {
        if (!line.startsWith(QStringLiteral("  ")) || line.startsWith(QStringLiteral("   ")))  // terms go on at 4
            continue;
        const QString name = line.trimmed().section(u' ', 0, 0);
        QVERIFY2(page.out.contains(QStringLiteral(".TP\n\\fB") + QString(name).replace(u'-', QStringLiteral("\\-"))),
                 qPrintable(name));
        ++entries;
    }
    QVERIFY(entries >= 14);

    const QString completion = prefix() + QStringLiteral("/share/bash-completion/completions/zelt-cli");
    const Run syntax = run(QStringLiteral("bash"), {QStringLiteral("-n"), completion});
    QCOMPARE(syntax.exitCode, 0);
}

// The desktop entry and the AppStream metainfo pass the freedesktop and AppStream checkers.
void InstallTreeTest::desktopFilesPassTheirCheckers()
{
    const Run desktop = run(QStringLiteral("desktop-file-validate"),
                            {prefix() + QStringLiteral("/share/applications/zelt.desktop")});
    const Run metainfo = run(QStringLiteral("appstreamcli"),
                             {QStringLiteral("validate"), QStringLiteral("--no-net"),
                              prefix() + QStringLiteral("/share/metainfo/" ZELT_APPSTREAM_ID ".metainfo.xml")});
    if ((desktop.exitCode == -1 || metainfo.exitCode == -1) && !inCi())
        QSKIP("desktop-file-validate or appstreamcli is not installed (desktop-file-utils, appstream)");
    QVERIFY2(desktop.exitCode == 0 && !desktop.out.contains(QStringLiteral("error")), qPrintable(desktop.out + desktop.err));
    QVERIFY2(metainfo.exitCode == 0, qPrintable(metainfo.out + metainfo.err));
}

// zelt-cli run from the installed tree draws turn figures from share/zelt/dani.dat, still does
// after the whole tree is moved, and fails cleanly once that file is gone.
void InstallTreeTest::cliFindsDataFilesRelativeToItself()
{
    const QString moved = m_dir.filePath(QStringLiteral("elsewhere/opt"));
    QVERIFY(QDir().mkpath(moved));
    QVERIFY(QDir().rmdir(moved));
    const Run copy = run(QStringLiteral("cp"), {QStringLiteral("-a"), prefix(), moved});
    QCOMPARE(copy.exitCode, 0);

    const QString work = m_dir.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    for (const QString& root : {prefix(), moved}) {
        const QString cli = root + QStringLiteral("/bin/zelt-cli");
        const QString table = work + QStringLiteral("/t.db");
        for (const char* suffix : {"t.db", "t.inf", "t.ing", "m.ocd"})
            QFile::remove(work + u'/' + QLatin1String(suffix));
        QCOMPARE(run(cli, {QStringLiteral("new"), table}).exitCode, 0);
        const Run import = run(cli, {QStringLiteral("import"), table, QStringLiteral(ZELT_SOURCE_DIR "/data/sample-traverse.txt")});
        QVERIFY2(import.exitCode == 0, qPrintable(import.err));
        const Run exported = run(cli, {QStringLiteral("export-ocd"), table, work + QStringLiteral("/m.ocd")}, work);
        QVERIFY2(exported.exitCode == 0, qPrintable(root + u' ' + exported.err));
        QVERIFY(QFileInfo(work + QStringLiteral("/m.ocd")).size() > 0);
    }

    if (fs::exists(fs::path(ZELT_DATA_DIR) / "dani.dat"))
        QSKIP("the configured data folder holds a figure file, so its absence cannot be shown");
    QVERIFY(QFile::remove(moved + QStringLiteral("/share/zelt/dani.dat")));
    QFile::remove(work + QStringLiteral("/m.ocd"));
    const Run missing = run(moved + QStringLiteral("/bin/zelt-cli"),
                            {QStringLiteral("export-ocd"), work + QStringLiteral("/t.db"), work + QStringLiteral("/m.ocd")});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.contains(QStringLiteral("dani.dat")) && missing.err.contains(moved + QStringLiteral("/share/zelt")),
             qPrintable(missing.err));
}

void InstallTreeTest::fileTypeClaimsOnlyTables_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ours");
    QTest::newRow("a traverse table") << QByteArray() << "way.db" << true;
    QTest::newRow("the same under another name") << QByteArray() << "way.tab" << true;
    QTest::newRow("an SQLite database") << QByteArray("SQLite format 3\0", 16) << "cache.db" << false;
    QTest::newRow("Thumbs.db") << QByteArray::fromHex("d0cf11e0a1b11ae1") << "Thumbs.db" << false;
    QTest::newRow("text") << QByteArray("Azimuth;Pairs\n") << "notes.db" << false;
    QTest::newRow("another program's Paradox table") << QByteArray("contacts") << "contacts.db" << false;
}

// The installed file type recognises a traverse table by its header, whatever its name, and
// leaves other *.db files (SQLite, Thumbs.db, text) to their own types: checked in a private
// MIME database made from the installed zelt.xml and the system's freedesktop.org.xml.
void InstallTreeTest::fileTypeClaimsOnlyTables()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, name);
    QFETCH(bool, ours);
    const QString xdg = m_dir.filePath(QStringLiteral("xdg"));
    const QString packages = xdg + QStringLiteral("/mime/packages/");
    if (!QFileInfo::exists(xdg + QStringLiteral("/mime/mime.cache"))) {
        QVERIFY(QDir().mkpath(packages));
        QVERIFY(QFile::copy(prefix() + QStringLiteral("/share/mime/packages/zelt.xml"), packages + QStringLiteral("zelt.xml")));
        QFile::copy(QStringLiteral("/usr/share/mime/packages/freedesktop.org.xml"), packages + QStringLiteral("f.xml"));
        const Run update = run(QStringLiteral("update-mime-database"), {xdg + QStringLiteral("/mime")});
        if ((update.exitCode == -1 || !QFileInfo::exists(packages + QStringLiteral("f.xml"))) && !inCi())
            QSKIP("shared-mime-info is not installed");
        QCOMPARE(update.exitCode, 0);
        // Read at the first use of QMimeDatabase in this process, which is this one.
        qputenv("XDG_DATA_DIRS", QFile::encodeName(xdg));
        qputenv("XDG_DATA_HOME", QFile::encodeName(xdg));
    }
    const QString file = m_dir.filePath(QStringLiteral("mime-") + name);
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    if (head.isEmpty()) {
        const QString table = m_dir.filePath(QStringLiteral("mime.db"));
        QFile::remove(table);
        QCOMPARE(run(prefix() + QStringLiteral("/bin/zelt-cli"), {QStringLiteral("new"), table}).exitCode, 0);
        QFile made(table);
        QVERIFY(made.open(QIODevice::ReadOnly));
        head = made.readAll();
    } else if (head == "contacts") {
        // A Paradox table with the same header kind as ours and fields of its own.
        const fs::path table = fs::path(m_dir.filePath(QStringLiteral("contacts.db")).toStdString());
        zelt::document::ParadoxTable::create(table, {{"Name", zelt::document::FieldType::Alpha, 40},
                                                     {"Phone", zelt::document::FieldType::Alpha, 20},
                                                     {"Visits", zelt::document::FieldType::Long, 4}});
        QFile made(QString::fromStdString(table.string()));
        QVERIFY(made.open(QIODevice::ReadOnly));
        head = made.readAll();
    }
    f.write(head + QByteArray(600, '\0'));
    f.close();
    const QString type = QMimeDatabase().mimeTypeForFile(file).name();
    QVERIFY2((type == QLatin1String("application/x-zelt-traverse")) == ours, qPrintable(type));
    // The desktops built on GLib decide by the same database.
    const Run gio = run(QStringLiteral("gio"), {QStringLiteral("info"), QStringLiteral("-a"), QStringLiteral("standard::content-type"), file});
    if (gio.exitCode == 0)
        QVERIFY2(gio.out.contains(QLatin1String("application/x-zelt-traverse")) == ours, qPrintable(gio.out));
}

// The package recommends the fonts the report is laid out for and names its home page.
void InstallTreeTest::packageRecommendsTheReportFonts()
{
    QFile config(QStringLiteral(ZELT_BINARY_DIR "/CPackConfig.cmake"));
    QVERIFY(config.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(config.readAll());
    QVERIFY(text.contains(QStringLiteral("set(CPACK_DEBIAN_PACKAGE_RECOMMENDS \"fonts-liberation2 | fonts-liberation\")")));
    QVERIFY(text.contains(QStringLiteral("set(CPACK_DEBIAN_PACKAGE_HOMEPAGE \"https://")));
}

void InstallTreeTest::completionAfterQuietAndField_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("a command") << "ex" << QStringList{"export-gis", "export-ocd", "export-txt", "export-xlsx"};
    QTest::newRow("a command after -q") << "-q ex" << QStringList{"export-gis", "export-ocd", "export-txt", "export-xlsx"};
    QTest::newRow("an option after --quiet") << "--quiet dump t.db --vi" << QStringList{"--visible"};
    QTest::newRow("a field name") << "paste t.db --field Fi" << QStringList{"FillHeight"};
    QTest::newRow("a field name after -q") << "-q paste t.db --field A" << QStringList{"Altimeter", "Azimuth"};
}

// The installed bash completion completes a command after -q and the field names after --field
// (run with stand-ins for the two helpers it takes from the bash-completion package).
void InstallTreeTest::completionAfterQuietAndField()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    const QString completion = prefix() + QStringLiteral("/share/bash-completion/completions/zelt-cli");
    const QString script = QStringLiteral(
        "_init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}; "
        "words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD; }\n"
        "_filedir() { :; }\n"
        "source \"$0\"\n"
        "read -ra COMP_WORDS <<< \"zelt-cli $1\"\n"
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
        "_zelt_cli\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\" | sort\n");
    const Run r = run(QStringLiteral("bash"), {QStringLiteral("-c"), script, completion, line});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts), expected);
}

QTEST_GUILESS_MAIN(InstallTreeTest)
#include "install_tree_test.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Outputs written over an existing file: a write that fails part-way is an error naming the file
// and the system's reason, and the old file stays as it was.
#include "cli_fixture.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace zelt::test;
namespace fs = std::filesystem;

class OutputsCliTest : public QObject {
    Q_OBJECT
private slots:
    void failedOutputLeavesTheOldFile_data();
    void failedOutputLeavesTheOldFile();
};

void OutputsCliTest::failedOutputLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("output");
    QTest::newRow("report") << "report" << "out.pdf";
    QTest::newRow("plot png") << "plot" << "out.png";
    QTest::newRow("plot pdf") << "plot" << "out.pdf";
    QTest::newRow("plot svg") << "plot" << "out.svg";
    QTest::newRow("export-txt") << "export-txt" << "out.txt";
    QTest::newRow("export-xlsx") << "export-xlsx" << "out.xlsx";
}

// The file size limit stops every write past 4 KiB with "File too large", as a full disk stops
// them with "No space left on device": the command fails (never "out.pdf: 15 pages" and exit
// 0), names the file, and the 3-byte old output is still there.
void OutputsCliTest::failedOutputLeavesTheOldFile()
{
    QFETCH(QString, command);
    QFETCH(QString, output);
    QTemporaryDir dir;
    const fs::path table = fs::path(dir.path().toStdString()) / "way.db";
    makeTable(table, 300, [](zelt::document::TraverseTable& t, int i) {
        t.setInteger("Azimuth", i == 0 ? 0 : (i * 37) % 360);
        t.setFloat("Pairs", i == 0 ? 0 : 12.5 + i % 7);
        t.setFloat("Altimeter", 420 + i % 50);
        t.setText("Mark", "a mark on every row, so that the output is large");
    });
    const fs::path out = fs::path(dir.path().toStdString()) / output.toStdString();
    writeBytes(out, {'o', 'l', 'd'});

    QProcess p;
    p.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    p.start(QStringLiteral(ZELT_CLI), {command, QString::fromStdString(table.string()), QString::fromStdString(out.string())});
    QVERIFY(p.waitForFinished(120000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == 1, qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("'%1'").arg(QString::fromStdString(out.string())))
                 && err.contains(QStringLiteral("File too large")),
             qPrintable(err));
    QCOMPARE(readFile(out), QByteArray("old"));
    for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
        QVERIFY2(entry.path().filename().string().find(".zelt-") == std::string::npos, entry.path().c_str());
}

QTEST_APPLESS_MAIN(OutputsCliTest)
#include "outputs_cli_test.moc"

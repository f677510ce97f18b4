// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli on tables edited elsewhere: a huge, infinite or undefined number in a field, or a
// block of random bytes in the file. Every command ends (within a time limit, so a command that
// would loop forever fails the test instead of hanging it) and none crashes.
#include "cli_fixture.h"

#include <QImage>
#include <QTemporaryDir>

#include <bit>
#include <cstring>
#include <limits>
#include <random>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

constexpr int kLimitMs = 60000;

/// A zelt-cli run stopped after kLimitMs: exit code -1 when it did not end, -2 when it crashed.
CliRun runLimited(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(ZELT_CLI), args);
    p.closeWriteChannel();
    CliRun r;
    if (!p.waitForFinished(kLimitMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not finish within %1 s").arg(kLimitMs / 1000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

/// The 8 bytes a table stores a number as: big-endian, the sign bit set for a value of 0 or
/// more, every bit inverted for a negative one. NaN and infinities are stored the same way by a
/// program that does not refuse them.
QByteArray storedNumber(double v)
{
    std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    bits = std::signbit(v) ? ~bits : bits | (std::uint64_t(1) << 63);
    QByteArray out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[i] = char((bits >> (56 - 8 * i)) & 0xFF);
    return out;
}

}  // namespace

class RobustCliTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_table = fs::path(m_dir.filePath(QStringLiteral("way.db")).toStdString());
        makeTable(m_table, 40, [](zelt::document::TraverseTable& t, int i) {
            t.setInteger("Azimuth", (i * 37) % 360);
            t.setFloat("Pairs", 20 + i % 7);
            t.setInteger("Procent", (i % 5) - 2);
            if (i == 0)
                t.setFloat("Altimeter", 421.5);   // the value the tests replace
            else if (i % 10 == 0)
                t.setFloat("Altimeter", 420 + i);
            if (i % 3 == 0)
                t.setText("Mark", "m" + std::to_string(i));
        });
    }

    // The first row's Altimeter replaced by a huge, infinite or undefined number (as an edit of
    // the file's bytes makes it): reading, drawing, checking, the passes and the map export all
    // end; the contour export, which would cross a level every 5 m up to it, is refused and
    // leaves no map.
    void oddNumberInATable_data()
    {
        QTest::addColumn<double>("value");
        QTest::newRow("1e300") << 1e300;
        QTest::newRow("-1e300") << -1e300;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("denormal") << std::numeric_limits<double>::denorm_min();
    }
    void oddNumberInATable()
    {
        QFETCH(double, value);
        QTemporaryDir dir;
        const QString table = dir.filePath(QStringLiteral("odd.db"));
        QByteArray bytes = readFile(m_table);
        const qsizetype at = bytes.indexOf(storedNumber(421.5));
        QVERIFY(at > 0);
        QCOMPARE(bytes.indexOf(storedNumber(421.5), at + 1), qsizetype(-1));
        bytes.replace(at, 8, storedNumber(value));
        writeBytes(table.toStdString(), std::vector<unsigned char>(bytes.begin(), bytes.end()));
        QVERIFY(QFile::copy(QString::fromStdString(zelt::document::companionPath(m_table, ".inf").string()),
                            dir.filePath(QStringLiteral("odd.inf"))));

        const CliRun dump = runLimited({QStringLiteral("dump"), table});
        QVERIFY2(dump.exitCode == 0, qPrintable(dump.err));
        const QString png = dir.filePath(QStringLiteral("odd.png"));
        const CliRun plot = runLimited({QStringLiteral("plot"), table, png, QStringLiteral("--size"), QStringLiteral("400x300")});
        QVERIFY2(plot.exitCode == 0, qPrintable(plot.err));
        QCOMPARE(QImage(png).size(), QSize(400, 300));
        for (const QStringList& args :
             {QStringList{QStringLiteral("route"), table, QStringLiteral("--json")}, QStringList{QStringLiteral("check"), table},
              QStringList{QStringLiteral("info"), table}, QStringList{QStringLiteral("fill-heights"), table},
              QStringList{QStringLiteral("percent-heights"), table},
              QStringList{QStringLiteral("export-ocd"), table, dir.filePath(QStringLiteral("plain.ocd")),
                          QStringLiteral("--absolute"), QStringLiteral("Altimeter")}}) {
            const CliRun r = runLimited(args);
            QVERIFY2(r.exitCode >= 0 && r.exitCode != 2, qPrintable(args.join(u' ') + QStringLiteral(": ") + r.err));
        }
        // The contour export from the readings.
        const QString contours = dir.filePath(QStringLiteral("contours.ocd"));
        const CliRun c = runLimited({QStringLiteral("export-ocd"), table, contours, QStringLiteral("--points"),
                                     QStringLiteral("altimeter"), QStringLiteral("--field"), QStringLiteral("Altimeter"),
                                     QStringLiteral("--contours")});
        QVERIFY2(c.exitCode >= 0 && c.exitCode != 2, qPrintable(c.err));
        if (c.exitCode != 0)
            QVERIFY2(!QFile::exists(contours), "a refused export left a map");
    }

    // A block of 600 random bytes somewhere in the table's file (after its header): every
    // command ends without a crash, whatever it makes of the rows.
    void randomBlockInATable()
    {
        const QByteArray original = readFile(m_table);
        QVERIFY(original.size() > 4096);
        for (unsigned seed = 1; seed <= 6; ++seed) {
            QTemporaryDir dir;
            const QString table = dir.filePath(QStringLiteral("r.db"));
            std::mt19937 rng(seed);
            QByteArray bytes = original;
            const auto at = std::uniform_int_distribution<qsizetype>(0x800, bytes.size() - 600)(rng);
            for (qsizetype i = 0; i < 600; ++i)
                bytes[at + i] = char(std::uniform_int_distribution<int>(0, 255)(rng));
            writeBytes(table.toStdString(), std::vector<unsigned char>(bytes.begin(), bytes.end()));
            QVERIFY(QFile::copy(QString::fromStdString(zelt::document::companionPath(m_table, ".inf").string()),
                                dir.filePath(QStringLiteral("r.inf"))));
            for (const QStringList& args :
                 {QStringList{QStringLiteral("dump"), table}, QStringList{QStringLiteral("route"), table},
                  QStringList{QStringLiteral("plot"), table, dir.filePath(QStringLiteral("r.png")), QStringLiteral("--size"),
                              QStringLiteral("400x300")},
                  QStringList{QStringLiteral("check"), table},
                  QStringList{QStringLiteral("export-ocd"), table, dir.filePath(QStringLiteral("r.ocd")),
                              QStringLiteral("--points"), QStringLiteral("every5"), QStringLiteral("--field"),
                              QStringLiteral("Altimeter"), QStringLiteral("--contours")},
                  QStringList{QStringLiteral("fill-heights"), table}}) {
                const CliRun r = runLimited(args);
                QVERIFY2(r.exitCode >= 0 && r.exitCode != 2,
                         qPrintable(QStringLiteral("seed %1, ").arg(seed) + args.join(u' ') + QStringLiteral(": ") + r.err));
            }
        }
    }

private:
    QTemporaryDir m_dir;
    fs::path m_table;
};

QTEST_APPLESS_MAIN(RobustCliTest)
#include "robust_cli_test.moc"

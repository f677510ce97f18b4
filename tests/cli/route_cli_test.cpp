// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli route and plot: the JSON route, the readable table, pictures, refusals, and that
// neither command writes anything beside the table.
#include "cli_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace zelt::test;
namespace fs = std::filesystem;

namespace {

// Names, sizes and times of every file in the folder.
QStringList folderState(const QString& dir)
{
    QStringList out;
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        out << f.fileName() + QLatin1Char(' ') + QString::number(f.size()) + QLatin1Char(' ') +
                   QString::number(f.lastModified().toMSecsSinceEpoch());
    return out;
}

}  // namespace

class RouteCliTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_table = fs::path(m_dir.path().toStdString()) / "way.db";
        // North 100 m with a "Left" figure, east 50 m with a mark, then a leg with no pairs.
        makeTable(m_table, 3, [](zelt::document::TraverseTable& t, int i) {
            const int az[] = {0, 90, 180};
            const double pairs[] = {64, 32, 0};
            t.setInteger("Azimuth", az[i]);
            if (i < 2)
                t.setFloat("Pairs", pairs[i]);
            if (i == 0) {
                t.setText("Povorot", "Left");
                t.setFloat("Altimeter", 421.5);
            }
            if (i == 1) {
                t.setText("Mark", "spring \"A\"");
                t.setFloat("FillHeight", 425.25);
            }
        });
        m_figures = m_dir.filePath(QStringLiteral("figures.dat"));
        QFile f(m_figures);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1\n90 1 0 1\n");
    }

    // The JSON: survey values, every line point (the figure's two included), each row's own
    // end point index, distances walked as the sum of the legs, heights as stored or null.
    void jsonRoute()
    {
        const QStringList before = folderState(m_dir.path());
        const CliRun r = runCli({QStringLiteral("route"), QString::fromStdString(m_table.string()),
                                 QStringLiteral("--figures"), m_figures, QStringLiteral("--json")});
        QCOMPARE(r.exitCode, 0);
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(o.value(QStringLiteral("pairsPer100m")).toDouble(), 64.0);
        QCOMPARE(o.value(QStringLiteral("startHeight")).toDouble(), 420.0);
        const QJsonArray line = o.value(QStringLiteral("line")).toArray();
        QCOMPARE(line.size(), 6);   // start, row 1, two figure points, row 2, row 3
        auto near = [&](int i, double x, double y) {
            const QJsonArray p = line.at(i).toArray();
            return std::fabs(p.at(0).toDouble() - x) < 1e-9 && std::fabs(p.at(1).toDouble() - y) < 1e-9;
        };
        QVERIFY(near(0, 0, 0) && near(1, 0, 100) && near(2, 5, 100) && near(3, 5, 105) && near(4, 50, 100));
        const QJsonArray rows = o.value(QStringLiteral("rows")).toArray();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).toObject().value(QStringLiteral("point")).toInt(), 1);
        QCOMPARE(rows.at(1).toObject().value(QStringLiteral("point")).toInt(), 4);
        QCOMPARE(rows.at(2).toObject().value(QStringLiteral("point")).toInt(), 5);
        QCOMPARE(rows.at(1).toObject().value(QStringLiteral("distance")).toDouble(), 150.0);
        QCOMPARE(rows.at(2).toObject().value(QStringLiteral("distance")).toDouble(), 150.0);
        QCOMPARE(rows.at(0).toObject().value(QStringLiteral("Altimeter")).toDouble(), 421.5);
        QVERIFY(rows.at(0).toObject().value(QStringLiteral("FillHeight")).isNull());
        QCOMPARE(rows.at(1).toObject().value(QStringLiteral("FillHeight")).toDouble(), 425.25);
        QCOMPARE(rows.at(1).toObject().value(QStringLiteral("Mark")).toString(), QStringLiteral("spring \"A\""));
        QCOMPARE(rows.at(0).toObject().value(QStringLiteral("Povorot")).toString(), QStringLiteral("Left"));
        QVERIFY(rows.at(2).toObject().value(QStringLiteral("Povorot")).isNull());  // none, not ""
        QCOMPARE(folderState(m_dir.path()), before);   // nothing written, not even a companion
    }

    // Without --json: a table with the same rows and the figure points under their row.
    void readableTable()
    {
        const CliRun r = runCli({QStringLiteral("route"), QString::fromStdString(m_table.string()),
                                 QStringLiteral("--figures"), m_figures});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("rows: 3")));
        QCOMPARE(r.out.count(QStringLiteral("figure")), 2);
        QVERIFY(r.out.contains(QStringLiteral("spring")));
    }

    // PNG, SVG and PDF by extension, at the size asked; refusals write nothing and exit 2 for
    // usage, 1 for a table that is not a regular file; the folder is otherwise unchanged.
    void plotPictures()
    {
        const QString table = QString::fromStdString(m_table.string());
        const QString png = m_out.filePath(QStringLiteral("r.png"));
        QCOMPARE(runCli({QStringLiteral("plot"), table, png, QStringLiteral("--size"), QStringLiteral("640x480"),
                         QStringLiteral("--figures"), m_figures})
                     .exitCode,
                 0);
        QCOMPARE(QImage(png).size(), QSize(640, 480));
        const QString svg = m_out.filePath(QStringLiteral("r.svg"));
        QCOMPARE(runCli({QStringLiteral("plot"), table, svg, QStringLiteral("--no-profile")}).exitCode, 0);
        QVERIFY(readFile(svg.toStdString()).contains("<svg"));
        const QString pdf = m_out.filePath(QStringLiteral("r.pdf"));
        QCOMPARE(runCli({QStringLiteral("plot"), table, pdf}).exitCode, 0);
        QVERIFY(readFile(pdf.toStdString()).startsWith("%PDF-"));

        const QStringList before = folderState(m_out.path());
        QCOMPARE(runCli({QStringLiteral("plot"), table, m_out.filePath(QStringLiteral("r.bmp"))}).exitCode, 2);
        QCOMPARE(runCli({QStringLiteral("plot"), table, png + QStringLiteral(".png"), QStringLiteral("--size"),
                         QStringLiteral("10x99999")})
                     .exitCode,
                 2);
        QCOMPARE(runCli({QStringLiteral("plot"), m_out.path(), m_out.filePath(QStringLiteral("d.png"))}).exitCode, 1);
        QCOMPARE(runCli({QStringLiteral("route"), m_out.path()}).exitCode, 1);
        QCOMPARE(folderState(m_out.path()), before);
    }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_out;
    fs::path m_table;
    QString m_figures;
};

QTEST_APPLESS_MAIN(RouteCliTest)
#include "route_cli_test.moc"

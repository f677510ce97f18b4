// SPDX-License-Identifier: GPL-3.0-or-later
// The route pictures meet any number a table edited elsewhere can hold (huge, infinite, not a
// number, denormal) and end. Each run paints in a child process with a time limit, so a painter
// that would loop forever fails the test instead of hanging it.
#include "bounded_child.h"
#include "compute/route_geometry.h"
#include "shell/paint/route_painter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <random>

using namespace zelt::shell;
using zelt::compute::ProfilePoint;
using zelt::compute::RouteRow;
using zelt::test::boundedStep;
using zelt::test::runBounded;

namespace {

constexpr int kSeconds = 120;

class Numbers {
public:
    explicit Numbers(unsigned seed) : m_rng(seed) {}

    double odd()
    {
        static const double kOdd[] = {1e300,
                                      -1e300,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::lowest(),
                                      1e9,
                                      -1e9,
                                      4.5e15};
        return kOdd[std::uniform_int_distribution<std::size_t>(0, std::size(kOdd) - 1)(m_rng)];
    }
    // Mostly ordinary values, one in `oddOneIn` odd.
    double any(int oddOneIn = 8)
    {
        if (std::uniform_int_distribution<int>(1, oddOneIn)(m_rng) == 1)
            return odd();
        return std::uniform_real_distribution<double>(0, 800)(m_rng);
    }
    bool oneIn(int n) { return std::uniform_int_distribution<int>(1, n)(m_rng) == 1; }
    int upTo(int n) { return std::uniform_int_distribution<int>(0, n)(m_rng); }

private:
    std::mt19937 m_rng;
};

RouteScene randomScene(Numbers& num)
{
    const int rows = num.oneIn(6) ? 2600 + num.upTo(400) : num.upTo(60);   // some dense enough for pixel lines
    std::vector<RouteRow> legs;
    for (int i = 0; i < rows; ++i) {
        RouteRow r;
        r.azimuth = num.upTo(359);
        r.lengthM = num.any(20);
        if (!num.oneIn(3))
            r.altimeter = num.any();
        if (!num.oneIn(3))
            r.fillHeight = num.any();
        if (num.oneIn(2))
            r.recalc = num.any();
        legs.push_back(r);
    }
    RouteScene s;
    s.route = zelt::compute::computeRoute(legs);
    // Values put straight into the route, as no computation from a table would make them.
    for (int k = num.upTo(3); k > 0 && s.route.points.size() > 1; --k) {
        auto& p = s.route.points[std::size_t(num.upTo(int(s.route.points.size()) - 1))];
        (num.oneIn(2) ? p.xM : p.yM) = num.odd();
        if (num.oneIn(3))
            p.distanceM = num.odd();
    }
    for (auto* series : {&s.route.profile.altimeter, &s.route.profile.fillHeight, &s.route.profile.recalc})
        if (!series->empty() && num.oneIn(2))
            (*series)[std::size_t(num.upTo(int(series->size()) - 1))].heightM = num.odd();
    s.marks.resize(std::size_t(rows));
    for (auto& m : s.marks)
        if (num.oneIn(2))
            m = QStringLiteral("m%1").arg(num.upTo(999));
    s.startHeight = num.any(4);
    s.currentRow = num.upTo(rows + 1) - 1;
    return s;
}

// In the child: a warning of the painter (a point it cannot draw) ends the run as a failure.
void failOnWarnings()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtDebugMsg || type == QtInfoMsg)
            return;
        boundedStep("warning at " + zelt::test::boundedStepName() + ": " + message.toStdString());
        ::_exit(5);
    });
}

void paintAll(const RouteScene& scene, const std::string& at)
{
    QImage image(320, 400, QImage::Format_RGB32);
    QPainter p(&image);
    const RouteColours colours = RouteColours::forPaper();
    boundedStep(at + "picture");
    paintRoutePicture(p, QRectF(image.rect()), scene, colours, true, QStringLiteral("caption"));
    boundedStep(at + "profile");
    paintProfile(p, QRectF(0, 0, 320, 140), scene, colours);
    boundedStep(at + "plan");
    const QRectF area(0, 0, 320, 260);
    paintPlan(p, area, scene, fitPlanView(scene, area, p.font()), colours);
}

}  // namespace

class TestPaintFuzz : public QObject {
    Q_OBJECT

private slots:
    // A table whose first row's Altimeter holds 1E300: the route view and the picture file.
    void hugeAltimeterReading()
    {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("r.png"));
        const auto o = runBounded(
            [png] {
                failOnWarnings();
                std::vector<RouteRow> legs(3);
                legs[0].altimeter = 1e300;
                legs[1].azimuth = 90, legs[1].lengthM = 50, legs[1].altimeter = 430;
                legs[2].lengthM = 40, legs[2].fillHeight = 425;
                RouteScene scene;
                scene.route = zelt::compute::computeRoute(legs);
                scene.marks = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
                scene.currentRow = 0;
                paintAll(scene, "1e300: ");
                boundedStep("1e300: file");
                QString error;
                if (!writeRoutePicture(png, QSize(640, 480), scene, true, QStringLiteral("t"), &error))
                    throw std::runtime_error(error.toStdString());
            },
            kSeconds);
        QVERIFY2(o.finished && o.exitCode == 0, zelt::test::describe(o, kSeconds).c_str());
        QCOMPARE(QImage(png).size(), QSize(640, 480));
    }

    // Random scenes with huge, infinite and undefined values anywhere in the route and the
    // profile; each is painted whole, then plan and profile alone.
    void paintersMeetAnyValue()
    {
        const auto o = runBounded(
            [] {
                failOnWarnings();
                for (unsigned seed = 1; seed <= 150; ++seed) {
                    Numbers num(seed);
                    paintAll(randomScene(num), "seed " + std::to_string(seed) + ": ");
                }
            },
            kSeconds);
        QVERIFY2(o.finished && o.exitCode == 0, zelt::test::describe(o, kSeconds).c_str());
    }
};

QTEST_MAIN(TestPaintFuzz)
#include "test_paint_fuzz.moc"

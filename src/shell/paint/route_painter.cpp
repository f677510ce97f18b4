// SPDX-License-Identifier: GPL-3.0-or-later
// Route colours, pieces the plan and the profile share, the whole picture and its files.
#include "shell/paint/route_painter.h"

#include "shell/paint/atomic_file_device.h"
#include "shell/paint/png_writer.h"
#include "shell/paint/route_painter_private.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zelt::shell {

namespace detail {

bool clipSegment(QPointF& a, QPointF& b, const QRectF& r)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int k = 0; k < 4; ++k) {
        if (!std::isfinite(p[k]) || !std::isfinite(q[k]))
            return false;
        if (p[k] == 0) {
            if (q[k] < 0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const QPointF start = a;
    a = start + QPointF(dx, dy) * t0;
    b = start + QPointF(dx, dy) * t1;
    return true;
}

void drawPolylineInPieces(QPainter& p, const QPointF* points, qsizetype count)
{
    constexpr qsizetype kPiece = 64;
    const QRectF bounds = (p.hasClipping() ? p.clipBoundingRect() : QRectF(p.window())).adjusted(-16, -16, 16, 16);
    // Runs of points inside the bounds go to the painter as they are; a segment that leaves
    // them is cut at their edge and ends its run.
    QPolygonF run;
    auto flush = [&] {
        for (qsizetype start = 0; start + 1 < run.size(); start += kPiece)
            p.drawPolyline(run.constData() + start, int(std::min(kPiece + 1, run.size() - start)));
        run.clear();
    };
    for (qsizetype i = 1; i < count; ++i) {
        QPointF a = points[i - 1], b = points[i];
        const bool whole = isFinitePoint(a) && isFinitePoint(b) && bounds.contains(a) && bounds.contains(b);
        if (!whole && !clipSegment(a, b, bounds)) {
            flush();
            continue;
        }
        if (run.isEmpty() || run.back() != a) {
            flush();
            run << a;
        }
        run << b;
        if (!whole && b != points[i])
            flush();
    }
    flush();
}

QPen routePen(const QColor& colour, qsizetype points, Qt::PenStyle style)
{
    const bool dense = points > kDenseLine;
    QPen pen(colour, dense ? 1.0 : 2.0, dense ? Qt::SolidLine : style);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

QString metresText(double m)
{
    if (m >= 1000)
        return QString::number(m / 1000.0, 'g', 4) + QStringLiteral(" km");
    return QString::number(m, 'g', 4) + QStringLiteral(" m");
}

QFont pictureFont(const QFont& font)
{
    if (font.pixelSize() > 0)
        return font;
    QFont f = font;
    f.setPixelSize(std::max(1, int(std::lround(font.pointSizeF() * 96.0 / 72.0))));
    return f;
}

QFont scaledFont(const QFont& font, double factor, double minimum)
{
    QFont f = font;
    if (font.pixelSize() > 0)
        f.setPixelSize(int(std::lround(std::max(minimum * 96.0 / 72.0, font.pixelSize() * factor))));
    else
        f.setPointSizeF(std::max(minimum, font.pointSizeF() * factor));
    return f;
}

}  // namespace detail

using namespace detail;

namespace {

bool isDark(const QColor& background) { return background.lightnessF() < 0.45; }

}  // namespace

double niceStep(double limit)
{
    if (!(limit > 0) || !std::isfinite(limit))
        return 1;
    const double p = std::pow(10.0, std::floor(std::log10(limit)));
    for (const double f : {5.0, 2.0, 1.0})
        if (f * p <= limit)
            return f * p;
    return p;
}

RouteColours RouteColours::fromPalette(const QPalette& palette)
{
    RouteColours c;
    c.text = palette.color(QPalette::WindowText);
    c.background = palette.color(QPalette::Base);
    const bool dark = isDark(c.background);
    c.route = dark ? kSkyBlue : kBlue;
    c.currentLeg = kVermillion;
    c.altimeter = kOrange;
    c.fillHeight = kGreen;
    c.recalc = kPurple;
    c.known = kPurple;
    c.contour = c.text;
    c.contour.setAlphaF(0.18f);
    return c;
}

RouteColours RouteColours::forPaper()
{
    QPalette paper;
    paper.setColor(QPalette::WindowText, Qt::black);
    paper.setColor(QPalette::Base, Qt::white);
    return fromPalette(paper);
}

namespace {

// Where the parts of a picture go: the caption's line at the top, the plan below it and, with a
// profile, the profile under the plan (split on a whole pixel). A picture too low for all of
// them drops the caption first, then the profile: every part it keeps is at least a pixel high.
struct PictureLayout {
    QRectF caption, plan, profile;
};

PictureLayout pictureLayout(const QRectF& area, const QFont& font, bool withProfile, bool withCaption)
{
    PictureLayout l;
    QRectF rest = area;
    const QFontMetricsF fm(font);
    if (withCaption && area.height() >= 2 * (fm.height() + 8)) {
        l.caption = QRectF(area.left() + 8, area.top() + 4, area.width() - 16, fm.height() + 2);
        rest.setTop(std::round(area.top() + fm.height() + 8));
    }
    l.plan = rest;
    const double planHeight = std::round(rest.height() * 0.62);
    if (withProfile && planHeight >= 1 && rest.bottom() - (rest.top() + planHeight) >= 1) {
        l.plan.setHeight(planHeight);
        l.profile = QRectF(rest.left(), l.plan.bottom(), rest.width(), rest.bottom() - l.plan.bottom());
    }
    return l;
}

void paintCaptionAndPlan(QPainter& p, const PictureLayout& l, const RouteScene& scene, const RouteColours& c,
                         const QString& caption)
{
    if (!l.caption.isEmpty()) {
        p.setPen(c.text);
        p.drawText(l.caption, Qt::AlignLeft | Qt::AlignVCenter, caption);
    }
    paintPlan(p, l.plan, scene, fitPlanView(scene, l.plan, p.font()), c);
}

}  // namespace

void paintRoutePicture(QPainter& p, const QRectF& area, const RouteScene& scene, const RouteColours& c,
                       bool withProfile, const QString& caption)
{
    p.save();
    p.setFont(pictureFont(p.font()));
    p.fillRect(area, c.background);
    const PictureLayout l = pictureLayout(area, p.font(), withProfile, !caption.isEmpty());
    if (!l.profile.isEmpty())
        paintProfile(p, l.profile, scene, c);
    paintCaptionAndPlan(p, l, scene, c, caption);
    p.restore();
}

bool writeRoutePicture(const QString& path, const QSize& size, const RouteScene& scene, bool withProfile,
                       const QString& caption, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext != QLatin1String("png") && ext != QLatin1String("svg") && ext != QLatin1String("pdf"))
        return fail(QStringLiteral("'%1': the picture is written as .png, .svg or .pdf.").arg(path));
    if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000)
        return fail(QStringLiteral("A picture of %1x%2 pixels cannot be written; use 16 to 20000 pixels a side.")
                        .arg(size.width())
                        .arg(size.height()));
    // Written beside the target and renamed over it at the end: a failed write leaves nothing.
    AtomicFileDevice file;
    if (!file.begin(path))
        return fail(QStringLiteral("Cannot write the picture: %1").arg(file.errorText()));
    const RouteColours colours = RouteColours::forPaper();
    const QRectF area(QPointF(0, 0), QSizeF(size));
    bool painted = false;
    if (ext == QLatin1String("png")) {
        const QFont font = pictureFont(QFont());
        const PictureLayout l = pictureLayout(area, font, withProfile, !caption.isEmpty());
        // Caption and plan in one image, the profile in another, at the origin of its own image
        // as the dock paints it (painted lower down in one image, the antialiased curves of its
        // legend come out a shade different); the file joins the two.
        const bool profile = !l.profile.isEmpty();
        const int split = profile ? int(l.profile.top()) : size.height();
        QImage top(size.width(), split, QImage::Format_RGB32);
        top.fill(colours.background);
        {
            QPainter p(&top);
            p.setFont(font);
            paintCaptionAndPlan(p, l, scene, colours, caption);
        }
        std::vector<PngBand> bands{PngBand::compress(top, 0, split, !profile)};
        if (profile) {
            QImage part(size.width(), size.height() - split, QImage::Format_RGB32);
            part.fill(colours.background);
            {
                QPainter p(&part);
                p.setFont(font);
                paintProfile(p, QRectF(part.rect()), scene, colours);
            }
            bands.push_back(PngBand::compress(part, 0, part.height(), true));
        }
        painted = writeFastPng(bands, file);
    } else if (ext == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setTitle(caption);
        QPainter p;
        painted = p.begin(&svg);
        if (painted) {
            paintRoutePicture(p, area, scene, colours, withProfile, caption);
            painted = p.end();
        }
    } else {
        QPdfWriter pdf(&file);
        pdf.setTitle(caption);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size) * 25.4 / 96.0, QPageSize::Millimeter));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p;
        painted = p.begin(&pdf);
        if (painted) {
            const QRectF page(QPointF(0, 0), QSizeF(pdf.width(), pdf.height()));
            paintRoutePicture(p, page, scene, colours, withProfile, caption);
            painted = p.end();
        }
    }
    if (!painted || !file.commit()) {
        file.cancel();
        return fail(file.errorText().isEmpty() ? QStringLiteral("Cannot write '%1': the picture could not be drawn.").arg(path)
                                               : QStringLiteral("Cannot write the picture: %1").arg(file.errorText()));
    }
    return true;
}

}  // namespace zelt::shell

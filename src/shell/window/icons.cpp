// SPDX-License-Identifier: GPL-3.0-or-later
// Toolbar and menu icons: the desktop theme's where one fits, small drawn ones otherwise.
#include "shell/window/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zelt::shell {
namespace {

const QColor kInk(40, 40, 40);
const QColor kPaper(252, 252, 248);
const QColor kAccent(30, 110, 190);
const QColor kGreen(30, 130, 70);

void sheet(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(r);
}

void drawWindows(QPainter& p, IconKind kind)
{
    p.setPen(QPen(kInk, 1));
    auto window = [&](const QRectF& r) {
        p.setBrush(kPaper);
        p.drawRect(r);
        p.fillRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 0.5, 2.5), kAccent);
    };
    if (kind == IconKind::Cascade) {
        window({1.5, 1.5, 9, 8});
        window({3.5, 3.5, 9, 8});
        window({5.5, 5.5, 9, 8});
    } else if (kind == IconKind::TileHorizontally) {
        window({1.5, 1.5, 13, 6});
        window({1.5, 8.5, 13, 6});
    } else {
        window({1.5, 1.5, 6, 13});
        window({8.5, 1.5, 6, 13});
    }
}

void drawDocumentKinds(QPainter& p, IconKind kind)
{
    switch (kind) {
    case IconKind::New:
        sheet(p, {3.5, 1.5, 9, 13});
        p.setPen(QPen(kAccent, 1.5));
        p.drawLine(QPointF(11, 4), QPointF(15, 4));
        p.drawLine(QPointF(13, 2), QPointF(13, 6));
        break;
    case IconKind::Open:
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(230, 190, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 3.5, 5, 2));
        break;
    case IconKind::Save:
        p.setPen(QPen(kInk, 1));
        p.setBrush(kAccent);
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(kPaper);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
        break;
    case IconKind::Print:
    case IconKind::Preview:
        sheet(p, {4.5, 1.5, 7, 5});
        p.setBrush(QColor(160, 160, 160));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        sheet(p, {4.5, 10.5, 7, 4});
        if (kind == IconKind::Preview) {
            p.setPen(QPen(kAccent, 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(10, 9), 3.2, 3.2);
            p.drawLine(QPointF(12.3, 11.3), QPointF(15, 14));
        }
        break;
    default:
        break;
    }
}

void drawEditKinds(QPainter& p, IconKind kind)
{
    switch (kind) {
    case IconKind::Cut:
        p.setPen(QPen(kInk, 1.2));
        p.drawLine(QPointF(5, 1), QPointF(10, 10));
        p.drawLine(QPointF(11, 1), QPointF(6, 10));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(5, 12.5), 2.3, 2.3);
        p.drawEllipse(QPointF(11, 12.5), 2.3, 2.3);
        break;
    case IconKind::Copy:
        sheet(p, {1.5, 1.5, 8, 10});
        sheet(p, {6.5, 4.5, 8, 10});
        break;
    case IconKind::Paste:
    case IconKind::PasteInTable:
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(190, 140, 80));
        p.drawRect(QRectF(2.5, 2.5, 10, 12));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(5.5, 1.5, 4, 2));
        sheet(p, {7.5, 6.5, 7, 8});
        if (kind == IconKind::PasteInTable) {
            p.setPen(QPen(kGreen, 1));
            p.drawLine(QPointF(8, 9.5), QPointF(14, 9.5));
            p.drawLine(QPointF(8, 12), QPointF(14, 12));
            p.drawLine(QPointF(11, 7), QPointF(11, 14));
        }
        break;
    default:
        break;
    }
}

void drawOther(QPainter& p, IconKind kind)
{
    switch (kind) {
    case IconKind::Export:
    case IconKind::Program: {
        // A walked route with its legs, over a map sheet.
        sheet(p, {1.5, 1.5, 13, 13});
        QPainterPath route;
        route.moveTo(3, 13);
        route.lineTo(6, 8);
        route.lineTo(9, 10);
        route.lineTo(13, 3);
        p.setPen(QPen(QColor(200, 40, 40), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawPath(route);
        p.setBrush(kAccent);
        p.setPen(Qt::NoPen);
        for (const QPointF pt : {QPointF(3, 13), QPointF(6, 8), QPointF(9, 10), QPointF(13, 3)})
            p.drawEllipse(pt, 1.2, 1.2);
        break;
    }
    case IconKind::Excel:
        sheet(p, {1.5, 1.5, 13, 13});
        p.setPen(QPen(kGreen, 1));
        for (double y : {5.5, 9.5})
            p.drawLine(QPointF(2, y), QPointF(14, y));
        p.drawLine(QPointF(6.5, 2), QPointF(6.5, 14));
        p.setPen(QPen(kGreen, 2));
        p.drawLine(QPointF(8.5, 7), QPointF(13, 13));
        p.drawLine(QPointF(13, 7), QPointF(8.5, 13));
        break;
    case IconKind::CloseToolbar:
        p.setPen(QPen(kInk, 1.6));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    default:
        drawWindows(p, kind);
        break;
    }
}

}  // namespace

QPixmap drawIcon(IconKind kind, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    switch (kind) {
    case IconKind::New: case IconKind::Open: case IconKind::Save: case IconKind::Print: case IconKind::Preview:
        drawDocumentKinds(p, kind);
        break;
    case IconKind::Cut: case IconKind::Copy: case IconKind::Paste: case IconKind::PasteInTable:
        drawEditKinds(p, kind);
        break;
    default:
        drawOther(p, kind);
        break;
    }
    p.end();
    return pm;
}

namespace {

QIcon drawn(IconKind kind)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(drawIcon(kind, size));
    return icon;
}

const char* themeName(IconKind kind)
{
    switch (kind) {
    case IconKind::New: return "document-new";
    case IconKind::Open: return "document-open";
    case IconKind::Save: return "document-save";
    case IconKind::Print: return "document-print";
    case IconKind::Preview: return "document-print-preview";
    case IconKind::Cut: return "edit-cut";
    case IconKind::Copy: return "edit-copy";
    case IconKind::Paste: return "edit-paste";
    case IconKind::CloseToolbar: return "window-close";
    case IconKind::Program: return "zelt";  // the icon the package installs into the hicolor theme
    default: return nullptr;
    }
}

}  // namespace

QIcon commandIcon(IconKind kind)
{
    const char* name = themeName(kind);
    if (name)
        return QIcon::fromTheme(QString::fromLatin1(name), drawn(kind));
    return drawn(kind);
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window's toolbars stand: dock, row, position in the row, floating place.
#include "shell/settings/toolbar_arrangement.h"

#include <QDataStream>
#include <QIODevice>
#include <QMainWindow>
#include <QToolBar>

#include <algorithm>

namespace zelt::shell {
namespace {

// Markers of QMainWindow's state stream.
constexpr int kVersionMarker = 0xff;
constexpr uchar kDockWidgetStateMarker = 0xfd;
constexpr uchar kToolBarStateMarkerEx = 0xfc;
constexpr uchar kFloatingDockTabsMarker = 0xf9;
// Markers inside a dock area: a sequence or tab group of items, a dock widget.
constexpr uchar kDockSequenceMarker = 0xfc;
constexpr uchar kDockTabMarker = 0xfa;
constexpr uchar kDockWidgetMarker = 0xfb;
constexpr int kMaxDockDepth = 16;

bool readToolbarSection(QDataStream& in, QList<ToolbarArrangement::Line>& lines);

// Reads past one dock area's layout: its marker (a tab group also gives its current tab), its
// orientation and its items; an item is a dock widget (object name, flags, four numbers) or a
// nested group (four numbers, then the group). False for anything else.
bool skipDockAreaInfo(QDataStream& in, int depth)
{
    if (depth > kMaxDockDepth)
        return false;
    uchar marker = 0, orientation = 0;
    in >> marker;
    if (marker == kDockTabMarker) {
        int currentTab = 0;
        in >> currentTab;
    } else if (marker != kDockSequenceMarker) {
        return false;
    }
    int items = 0;
    in >> orientation >> items;
    if (items < 0 || in.status() != QDataStream::Ok)
        return false;
    for (int i = 0; i < items && in.status() == QDataStream::Ok; ++i) {
        uchar kind = 0;
        in >> kind;
        int numbers[4];
        if (kind == kDockWidgetMarker) {
            QString name;
            uchar flags = 0;
            in >> name >> flags;
            for (int& v : numbers)
                in >> v;
        } else if (kind == kDockSequenceMarker) {
            for (int& v : numbers)
                in >> v;
            if (!skipDockAreaInfo(in, depth + 1))
                return false;
        } else {
            return false;
        }
    }
    return in.status() == QDataStream::Ok;
}

// Reads past the dock section after its marker: the areas holding dock widgets, the central
// widget's size and the four corners.
bool skipDockSection(QDataStream& in)
{
    int areas = 0;
    in >> areas;
    if (areas < 0 || areas > 4)
        return false;
    for (int i = 0; i < areas && in.status() == QDataStream::Ok; ++i) {
        int area = 0, width = 0, height = 0;
        in >> area >> width >> height;
        if (area < 0 || area > 3 || !skipDockAreaInfo(in, 0))
            return false;
    }
    int rest[6];   // central widget size, corners
    for (int& v : rest)
        in >> v;
    return in.status() == QDataStream::Ok;
}

// Reads past a floating group of tabbed dock widgets after its marker: geometry, then the group.
bool skipFloatingTabs(QDataStream& in)
{
    int geometry[4];
    for (int& v : geometry)
        in >> v;
    return skipDockAreaInfo(in, 0);
}

// The dock sections of a saved state, byte for byte, so that a state written for the toolbars
// keeps every dock widget where it is. Empty when the state has a form not known here.
std::optional<QByteArray> dockSections(const QByteArray& state)
{
    QDataStream in(state);
    int marker = 0, version = 0;
    in >> marker >> version;
    if (marker != kVersionMarker)
        return std::nullopt;
    QByteArray docks;
    while (!in.atEnd() && in.status() == QDataStream::Ok) {
        const qint64 start = in.device()->pos();
        uchar section = 0;
        in >> section;
        if (section == kDockWidgetStateMarker || section == kFloatingDockTabsMarker) {
            if (!(section == kDockWidgetStateMarker ? skipDockSection(in) : skipFloatingTabs(in)))
                return std::nullopt;
            docks += state.mid(start, in.device()->pos() - start);
        } else if (section == kToolBarStateMarkerEx) {
            QList<ToolbarArrangement::Line> ignored;
            if (!readToolbarSection(in, ignored))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return docks;
}

// The floating rectangle is packed into two 32-bit values: bit 0 of the first flags floating,
// then x + 0x7FFF (16 bits) and the width above it; the second holds y + 0x7FFF and the height.
void packRect(const QRect& r, bool floating, uint& geom0, uint& geom1)
{
    geom0 = 0;
    geom1 = 0;
    if (!floating)
        return;
    geom0 = (uint(std::max(0, r.width())) & 0xffffu) << 16 | (uint(std::max(0, r.x() + 0x7fff)) & 0xffffu);
    geom1 = (uint(std::max(0, r.height())) & 0xffffu) << 16 | (uint(std::max(0, r.y() + 0x7fff)) & 0xffffu);
    geom0 = geom0 << 1 | 1u;
}

QRect unpackRect(uint geom0, uint geom1, bool& floating)
{
    floating = geom0 & 1u;
    if (!floating)
        return {};
    geom0 >>= 1;
    const int x = int(geom0 & 0xffffu) - 0x7fff;
    const int y = int(geom1 & 0xffffu) - 0x7fff;
    return QRect(x, y, int((geom0 >> 16) & 0xffffu), int((geom1 >> 16) & 0xffffu));
}

bool readToolbarSection(QDataStream& in, QList<ToolbarArrangement::Line>& lines)
{
    int count = 0;
    in >> count;
    for (int j = 0; j < count && in.status() == QDataStream::Ok; ++j) {
        ToolbarArrangement::Line line;
        int items = 0;
        in >> line.dock >> items;
        if (line.dock < 0 || line.dock > 3 || items < 0)
            return false;
        for (int k = 0; k < items && in.status() == QDataStream::Ok; ++k) {
            ToolbarArrangement::Item it;
            uchar shown = 0;
            uint geom0 = 0, geom1 = 0;
            in >> it.name >> shown >> it.pos >> it.preferredSize >> geom0 >> geom1;
            it.shown = shown & 1;
            it.vertical = shown & 2;
            it.floatRect = unpackRect(geom0, geom1, it.floating);
            line.items.append(it);
        }
        lines.append(line);
    }
    return in.status() == QDataStream::Ok;
}

// Size of a toolbar along its row when laid out at its own size.
int naturalLength(const QMainWindow& window, const QString& name, bool vertical)
{
    const auto* tb = window.findChild<QToolBar*>(name, Qt::FindDirectChildrenOnly);
    if (!tb)
        return 0;
    const QSize hint = tb->sizeHint().expandedTo(tb->minimumSizeHint());
    return vertical ? hint.height() : hint.width();
}

bool laidOut(const ToolbarArrangement::Item& it)
{
    return it.shown && !it.floating;
}

}  // namespace

std::optional<ToolbarArrangement> ToolbarArrangement::capture(const QMainWindow& window)
{
    const QByteArray state = window.saveState(0);
    QDataStream in(state);
    int marker = 0, version = 0;
    in >> marker >> version;
    if (marker != kVersionMarker)
        return std::nullopt;
    ToolbarArrangement result;
    while (!in.atEnd() && in.status() == QDataStream::Ok) {
        uchar section = 0;
        in >> section;
        if (section == kDockWidgetStateMarker) {
            if (!skipDockSection(in))   // dock widgets keep their own place
                return std::nullopt;
        } else if (section == kFloatingDockTabsMarker) {
            if (!skipFloatingTabs(in))
                return std::nullopt;
        } else if (section == kToolBarStateMarkerEx) {
            if (!readToolbarSection(in, result.m_lines))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return result;
}

bool ToolbarArrangement::apply(QMainWindow& window) const
{
    // Qt lays the dock widgets out anew from a restored state: keep their sections as they are.
    const std::optional<QByteArray> docks = dockSections(window.saveState(0));
    if (!docks)
        return false;
    QByteArray state;
    QDataStream out(&state, QIODevice::WriteOnly);
    out << kVersionMarker << 0;
    out.writeRawData(docks->constData(), int(docks->size()));
    out << kToolBarStateMarkerEx << int(m_lines.size());
    for (const Line& line : m_lines) {
        out << line.dock << int(line.items.size());
        const bool vertical = line.dock == Left || line.dock == Right;
        // The layout places each toolbar where the previous one's size ends, so a toolbar's
        // position is reached by widening the toolbar laid out before it.
        QList<Item> items = line.items;
        for (int k = 0; k < items.size(); ++k) {
            items[k].preferredSize = -1;
            if (!laidOut(items[k]))
                continue;
            for (int n = k + 1; n < items.size(); ++n) {
                if (!laidOut(items[n]))
                    continue;
                const int gap = items[n].pos - items[k].pos;
                if (gap > naturalLength(window, items[k].name, vertical))
                    items[k].preferredSize = gap;
                break;
            }
        }
        for (const Item& it : items) {
            uint geom0 = 0, geom1 = 0;
            packRect(it.floatRect, it.floating, geom0, geom1);
            const uchar shown = uchar((it.shown ? 1 : 0) | (it.vertical ? 2 : 0));
            out << it.name << shown << it.pos << it.preferredSize << geom0 << geom1;
        }
    }
    return window.restoreState(state, 0);
}

std::optional<ToolbarArrangement::Where> ToolbarArrangement::find(const QString& name) const
{
    QList<int> rowsSeen(4, 0);
    for (const Line& line : m_lines) {
        for (const Item& it : line.items)
            if (it.name == name)
                return Where{line.dock, rowsSeen[line.dock], it};
        ++rowsSeen[line.dock];
    }
    return std::nullopt;
}

ToolbarArrangement::Item* ToolbarArrangement::item(const QString& name)
{
    for (Line& line : m_lines)
        for (Item& it : line.items)
            if (it.name == name)
                return &it;
    return nullptr;
}

ToolbarArrangement::Item ToolbarArrangement::takeItem(const QString& name)
{
    for (Line& line : m_lines)
        for (qsizetype k = 0; k < line.items.size(); ++k)
            if (line.items[k].name == name)
                return line.items.takeAt(k);
    Item fresh;
    fresh.name = name;
    return fresh;
}

QList<int> ToolbarArrangement::linesOf(int dock) const
{
    QList<int> result;
    for (int i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].dock == dock)
            result.append(i);
    return result;
}

void ToolbarArrangement::insertInto(int dock, int row, Item it)
{
    const QList<int> rows = linesOf(dock);
    if (row < 0)
        row = 0;
    if (row >= rows.size()) {
        // A new row after the dock's last row (or after all lines when the dock is empty).
        const int at = rows.isEmpty() ? int(m_lines.size()) : rows.last() + 1;
        m_lines.insert(at, Line{dock, {it}});
        return;
    }
    QList<Item>& items = m_lines[rows[row]].items;
    qsizetype k = 0;
    while (k < items.size() && items[k].pos <= it.pos)
        ++k;
    items.insert(k, it);
}

void ToolbarArrangement::removeEmptyLines()
{
    m_lines.removeIf([](const Line& l) { return l.items.isEmpty(); });
}

void ToolbarArrangement::dock(const QString& name, int dock, int row, int pos)
{
    Item it = takeItem(name);
    removeEmptyLines();
    it.floating = false;
    it.vertical = dock == Left || dock == Right;
    it.pos = pos;
    insertInto(dock, row, it);
}

void ToolbarArrangement::setRowAndPos(const QString& name, int row, int pos)
{
    const std::optional<Where> where = find(name);
    if (!where || where->item.floating)
        return;
    this->dock(name, where->dock, row, pos);
}

void ToolbarArrangement::setFloating(const QString& name, const QRect& rect)
{
    if (Item* it = item(name)) {
        it->floating = true;
        it->floatRect = rect;
        return;
    }
    Item fresh;
    fresh.name = name;
    fresh.floating = true;
    fresh.floatRect = rect;
    insertInto(Top, 0, fresh);
}

void ToolbarArrangement::setShown(const QString& name, bool shown)
{
    if (Item* it = item(name))
        it->shown = shown;
}

}  // namespace zelt::shell

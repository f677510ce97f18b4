// SPDX-License-Identifier: GPL-3.0-or-later
// Toolbar and menu icons: the desktop theme's where one fits, small drawn ones otherwise.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace zelt::shell {

enum class IconKind {
    New, Open, Save, Print, Preview, Export, Excel, Cut, Copy, Paste, PasteInTable,
    Cascade, TileHorizontally, TileVertically, CloseToolbar, Program,
};

/// The icon of a command: the theme icon of the same meaning when the desktop has one,
/// otherwise one drawn here (so every button shows a picture on any desktop).
QIcon commandIcon(IconKind kind);
/// The drawn picture of `kind` at `size` x `size` pixels (also used for the program's icon file).
QPixmap drawIcon(IconKind kind, int size);

}  // namespace zelt::shell

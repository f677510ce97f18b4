// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the desktop program can open its window, told before the toolkit aborts on it.
#pragma once

#include <QStringList>

/// The reason no window can be opened, or an empty string. Only the display platforms (xcb,
/// wayland, and the default when none is named by -platform or QT_QPA_PLATFORM) are judged: they
/// need DISPLAY, WAYLAND_DISPLAY or a Wayland socket in XDG_RUNTIME_DIR. offscreen, vnc and the
/// others need none.
QString missingDisplay(const QStringList& arguments);

/// Prints that no display was found (with `reason`) and where to turn instead, on standard error.
void reportNoDisplay(const QString& reason);

/// While it lives, a platform that cannot be opened after all (DISPLAY names a server that does
/// not answer) ends the program with reportNoDisplay and status 1 instead of the toolkit's abort.
class DisplayGuard {
public:
    DisplayGuard();
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// The log-off entry: the program asks to be started once more at the user's next logon.
#pragma once

#include <QString>

namespace zelt::shell {

/// Key of the run-once list in the settings store (under the current user's root).
inline constexpr const char* kRunOnceKey = "Software/Microsoft/Windows/CurrentVersion/RunOnce";

/// Called when the session manager asks the program to save its state (log-off or shut-down,
/// whether or not it then goes ahead): writes the string value named `title` with the quoted
/// `programPath` under kRunOnceKey of the settings store, and, where the desktop has no run-once
/// list, an autostart entry that starts the program at the next logon. A store that cannot be
/// written is skipped silently.
void writeLogOffEntry(const QString& title, const QString& programPath);

/// Removes the autostart entry left by writeLogOffEntry; called at every start so that it
/// starts the program only once.
void removeLogOffAutostart();

/// Path of that autostart entry ("<config>/autostart/zelt-once.desktop").
QString logOffAutostartFile();

}  // namespace zelt::shell

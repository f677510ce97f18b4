// SPDX-License-Identifier: GPL-3.0-or-later
// Argument helpers shared by the zelt-cli command groups.
#pragma once

#include "cli/cli_commands.h"
#include "base/diagnostic.h"
#include "interchange/text_export.h"

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class QGuiApplication;

namespace zelt::cli {

/// Throws UsageError "expects NAMES" unless there are `min` to `max` positional arguments.
void expectPositional(const Args& args, std::size_t min, std::size_t max, const std::string& names);

/// The whole text of a file, or of standard input for "-". Throws "cannot read 'FILE'".
std::string readInput(const std::string& source);

/// The fields a text export writes: those of the visible columns with --visible, else all.
interchange::TextColumns textColumns(const Args& args);

/// The GUI application that fonts and painting need, on the offscreen platform unless
/// QT_QPA_PLATFORM names another; no window is ever shown.
std::unique_ptr<QGuiApplication> windowlessGuiApplication();

/// Writes each diagnostic as one line (document::diagnosticMessage: "warning: Row 3, FillHeight: text").
void printDiagnostics(std::ostream& out, const std::vector<document::Diagnostic>& diagnostics);

}  // namespace zelt::cli

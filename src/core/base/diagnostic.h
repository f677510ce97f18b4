// SPDX-License-Identifier: GPL-3.0-or-later
// A note or warning that a pass, a codec or an open leaves for the user, and its one-line text.
#pragma once

#include <string>
#include <vector>

namespace zelt::document {

/// How much a diagnostic matters. Neither stops the work that produced it; errors are thrown.
enum class Severity {
    Note,     ///< the work treated something in a particular way the user may want to know
    Warning,  ///< the result may not be what the user expects (a missing symbol, a repaired file)
};

/// Something the user should know about a finished piece of work. `row` and `field` say where
/// it applies when it applies to one place; the text is complete on its own.
struct Diagnostic {
    int row = 0;            ///< 1-based row number; 0 when the diagnostic concerns no single row
    std::string field;      ///< field written or read, e.g. "FillHeight"; empty when none
    std::string text;
    Severity severity = Severity::Note;

    static Diagnostic note(std::string text, int row = 0, std::string field = {});
    static Diagnostic warning(std::string text, int row = 0, std::string field = {});

    bool operator==(const Diagnostic&) const = default;
};

using Diagnostics = std::vector<Diagnostic>;

/// The diagnostic as one line: "Row 12, FillHeight: text", "Row 12: text", "FillHeight: text",
/// or the text alone. Every place that turns a diagnostic into text uses it.
std::string diagnosticLine(const Diagnostic& d);

/// "note" or "warning".
const char* severityName(Severity s);

/// The line with its severity in front, as the command line prints it and the window copies
/// it: "warning: Row 12, FillHeight: text".
std::string diagnosticMessage(const Diagnostic& d);

}  // namespace zelt::document

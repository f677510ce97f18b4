// SPDX-License-Identifier: GPL-3.0-or-later
// A note or warning that a pass, a codec or an open leaves for the user, and its one-line text.
#include "base/diagnostic.h"

#include <utility>

namespace zelt::document {

Diagnostic Diagnostic::note(std::string text, int row, std::string field)
{
    return {row, std::move(field), std::move(text), Severity::Note};
}

Diagnostic Diagnostic::warning(std::string text, int row, std::string field)
{
    return {row, std::move(field), std::move(text), Severity::Warning};
}

std::string diagnosticLine(const Diagnostic& d)
{
    std::string place;
    if (d.row > 0)
        place = "Row " + std::to_string(d.row);
    if (!d.field.empty())
        place += (place.empty() ? "" : ", ") + d.field;
    return place.empty() ? d.text : place + ": " + d.text;
}

const char* severityName(Severity s)
{
    return s == Severity::Warning ? "warning" : "note";
}

std::string diagnosticMessage(const Diagnostic& d)
{
    return std::string(severityName(d.severity)) + ": " + diagnosticLine(d);
}

}  // namespace zelt::document

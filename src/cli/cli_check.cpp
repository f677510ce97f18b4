// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli check: slopes against the altimeter, and the readings that would close the route.
#include "cli/cli_commands.h"
#include "cli/cli_register.h"
#include "cli/cli_session.h"
#include "cli/cli_util.h"

#include "compute/blunder_check.h"
#include "document/document.h"
#include "document/value_format.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <system_error>

namespace zelt::cli {

namespace {

using zelt::compute::CheckReport;
using zelt::compute::HeightStretch;
using zelt::compute::Suspect;

double toleranceOption(const Args& args, const char* name, double fallback, char separator)
{
    if (!args.has(name))
        return fallback;
    const std::string text = args.option(name);
    const auto v = zelt::document::parseDecimal(text, separator);
    if (!v || !std::isfinite(*v) || *v < 0)
        throw UsageError{std::string(name) + " takes metres (0 or more), not '" + text + "'"};
    return *v;
}

void printJson(const CheckReport& r, std::ostream& out)
{
    out << "{\"stretches\": [";
    for (std::size_t i = 0; i < r.stretches.size(); ++i) {
        const HeightStretch& s = r.stretches[i];
        out << (i ? ",\n " : "\n ") << "{\"from\": " << s.fromRow << ", \"to\": " << s.toRow
            << ", \"slopeRise\": " << jsonNumber(s.slopeRiseM) << ", \"altimeterRise\": " << jsonNumber(s.altimeterRiseM)
            << ", \"difference\": " << jsonNumber(s.differenceM) << ", \"flagged\": " << (s.flagged ? "true" : "false")
            << '}';
    }
    out << "], \"suspects\": [";
    for (std::size_t i = 0; i < r.suspects.size(); ++i) {
        const Suspect& s = r.suspects[i];
        out << (i ? ",\n " : "\n ") << "{\"row\": " << s.row << ", \"field\": \"" << fieldName(s.field)
            << "\", \"value\": " << jsonNumber(s.value) << ", \"suggested\": " << jsonNumber(s.suggested)
            << ", \"kind\": \"" << kindName(s.kind) << "\", \"rmsBefore\": " << jsonNumber(s.rmsBeforeM)
            << ", \"rmsAfter\": " << jsonNumber(s.rmsAfterM) << '}';
    }
    out << "]}\n";
}

void printStretches(const CheckReport& r, char sep, std::ostream& out)
{
    if (r.stretches.empty()) {
        out << "slopes: no two altimeter readings to check them against\n";
        return;
    }
    out << "slopes against the altimeter, metres:\n  rows\tslopes\taltimeter\tdifference\ttolerance\n";
    for (const HeightStretch& s : r.stretches)
        out << "  " << s.fromRow << '-' << s.toRow << '\t' << fixedNumber(s.slopeRiseM, 1, sep, true) << '\t'
            << fixedNumber(s.altimeterRiseM, 1, sep, true) << '\t' << fixedNumber(s.differenceM, 1, sep, true) << '\t'
            << fixedNumber(s.toleranceM, 1, sep) << (s.flagged ? "\tFLAGGED" : "") << '\n';
}

void printSuspects(const CheckReport& r, char sep, std::ostream& out)
{
    if (r.planRmsM)
        out << "plan: rms " << fixedNumber(*r.planRmsM, 1, sep) << " m on the ground (tolerance "
            << fixedNumber(r.planToleranceM, 1, sep) << " m)" << (r.planFlagged ? " FLAGGED" : "") << '\n';
    if (r.suspects.empty()) {
        if (r.planFlagged)
            out << "no single reading explains the misclosure\n";
        return;
    }
    out << "suspects, best first (a shared rank is a tie):\n"
           "  rank\trow\tfield\tvalue\tsuggested\tkind\trms before\trms after\n";
    for (const Suspect& s : r.suspects)
        out << "  " << s.rank << '\t' << s.row << '\t' << fieldName(s.field) << '\t' << plainNumber(s.value, sep) << '\t'
            << plainNumber(s.suggested, sep) << '\t' << (s.kind == zelt::compute::BlunderKind::None ? "-" : kindName(s.kind))
            << '\t' << fixedNumber(s.rmsBeforeM, 1, sep) << '\t' << fixedNumber(s.rmsAfterM, 1, sep) << '\n';
}

int checkCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 1, 1, "TABLE.db");
    const char sep = decimalSeparatorOf(args);
    zelt::compute::CheckOptions options;
    options.heightToleranceM = toleranceOption(args, "--height-tolerance", options.heightToleranceM, sep);
    options.planToleranceM = toleranceOption(args, "--plan-tolerance", options.planToleranceM, sep);
    // Only read: no start row is added and nothing is written beside the table.
    const auto session = std::make_unique<CliSession>(tableArgument(args), args, CliSession::Mode::ReadOnly,
                                                      CliSession::Layout::Ignore);
    const zelt::document::Document& doc = session->document();
    if (!doc.knownPoints.damage().empty())
        throw zelt::document::KnownPointsError(doc.knownPoints.damage());
    const CheckReport report = zelt::compute::checkTraverse(zelt::compute::checkRowsOf(doc.table), doc.pairsPer100m,
                                                            doc.knownPoints.points(), options);
    printDiagnostics(err, report.notes);
    if (args.has("--json")) {
        printJson(report, out);
    } else {
        printStretches(report, sep, out);
        printSuspects(report, sep, out);
    }
    session->checkComplete();
    // Status 4 is a finding, not a failure: output that could not be written must still fail.
    out.flush();
    if (!out)
        throw std::runtime_error("cannot write to standard output");
    return report.flagged() ? 4 : 0;
}

}  // namespace

void registerCheckCommands()
{
    registerCommand(
        "check", "check TABLE.db [--json] [--height-tolerance M] [--plan-tolerance M]", checkCommand,
        "Look for blunders. Each stretch between two rows with an Altimeter reading compares the rise its slopes give "
        "(the sum of G over the rows after the first reading up to the second) with the readings' difference; it is "
        "flagged when they differ by more than M metres (--height-tolerance, default 3) plus 1 % of the stretch's "
        "walked length. With at least three known points the route is placed on them; when the rms on the ground "
        "exceeds M metres (--plan-tolerance, default 3) plus 1 % of the mean walk between known points, every Azimuth "
        "and Pairs between the first and last known point is tried: the value that, changed alone, best closes the "
        "route. Readings that bring the rms within the tolerance (or halve it) are listed as suspects, best first; "
        "suspects that explain it equally well share a rank. In a flagged stretch, each leg's Procent that would close "
        "it is a suspect too. A suggestion is named when it is a typical misreading: reversed (azimuth +-180, a slope's "
        "sign), swapped digits (125 for 152), tally (+-10 pairs). --json prints {\"stretches\": [{\"from\", \"to\", "
        "\"slopeRise\", \"altimeterRise\", \"difference\", \"flagged\"}], \"suspects\": [{\"row\", \"field\", "
        "\"value\", \"suggested\", \"kind\", \"rmsBefore\", \"rmsAfter\"}]}, rms in metres on the ground. Exit status "
        "4 when anything is flagged, 0 when nothing is.");
}

}  // namespace zelt::cli

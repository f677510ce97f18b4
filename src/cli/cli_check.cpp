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

/// A positive number option (0 allowed when `zeroAllowed`), given in the user's separator.
double numberOption(const Args& args, const char* name, double fallback, char separator, bool zeroAllowed,
                    double upTo = HUGE_VAL)
{
    if (!args.has(name))
        return fallback;
    const std::string text = args.option(name);
    const auto v = zelt::document::parseDecimal(text, separator);
    if (!v || !std::isfinite(*v) || *v < 0 || (!zeroAllowed && *v == 0) || *v >= upTo)
        throw UsageError{std::string(name) + " takes a number " + (zeroAllowed ? "of 0 or more" : "above 0")
                         + (upTo < HUGE_VAL ? " and below " + jsonNumber(upTo) : std::string()) + ", not '" + text + "'"};
    return *v;
}

const char* verdictOf(const CheckReport& r)
{
    if (!r.flagged())
        return "nothing flagged";
    if (!r.suspects.empty() && r.suspects.front().explains)
        return "flagged";
    return "flagged, no single reading explains it";
}

std::string jsonRow(const std::optional<int>& row) { return row ? std::to_string(*row) : std::string("null"); }

void printJson(const CheckReport& r, std::ostream& out)
{
    out << "{\"verdict\": \"" << verdictOf(r) << "\", \"flagged\": " << (r.flagged() ? "true" : "false")
        << ",\n \"plan\": ";
    if (r.planRmsM) {
        out << "{\"rms\": " << jsonNumber(*r.planRmsM) << ", \"tolerance\": " << jsonNumber(r.planToleranceM)
            << ", \"chi2\": " << jsonNumber(r.planChi2) << ", \"chi2Limit\": " << jsonNumber(r.planChi2Limit)
            << ", \"dof\": " << r.planDof << ", \"flagged\": " << (r.planFlagged ? "true" : "false")
            << ", \"suggestedKnownRow\": " << jsonRow(r.suggestedKnownRow) << ", \"stretches\": [";
        for (std::size_t i = 0; i < r.planStretches.size(); ++i) {
            const auto& s = r.planStretches[i];
            out << (i ? ", " : "") << "{\"from\": " << s.fromRow << ", \"to\": " << s.toRow
                << ", \"length\": " << jsonNumber(s.lengthM) << ", \"mdb\": " << jsonNumber(s.mdbM) << '}';
        }
        out << "]}";
    } else {
        out << "null";
    }
    out << ",\n \"stretches\": [";
    for (std::size_t i = 0; i < r.stretches.size(); ++i) {
        const HeightStretch& s = r.stretches[i];
        out << (i ? ",\n " : "\n ") << "{\"from\": " << s.fromRow << ", \"to\": " << s.toRow
            << ", \"slopeRise\": " << jsonNumber(s.slopeRiseM) << ", \"altimeterRise\": " << jsonNumber(s.altimeterRiseM)
            << ", \"difference\": " << jsonNumber(s.differenceM) << ", \"sigma\": " << jsonNumber(s.sigmaM)
            << ", \"tolerance\": " << jsonNumber(s.toleranceM) << ", \"mdb\": " << jsonNumber(s.mdbM)
            << ", \"flagged\": " << (s.flagged ? "true" : "false") << '}';
    }
    out << "],\n \"suspects\": [";
    for (std::size_t i = 0; i < r.suspects.size(); ++i) {
        const Suspect& s = r.suspects[i];
        out << (i ? ",\n " : "\n ") << "{\"rank\": " << s.rank << ", \"probability\": " << jsonNumber(s.probability)
            << ", \"row\": " << s.row << ", \"field\": \"" << fieldName(s.field)
            << "\", \"value\": " << jsonNumber(s.value) << ", \"suggested\": " << jsonNumber(s.suggested)
            << ", \"kind\": \"" << kindName(s.kind) << "\", \"rmsBefore\": " << jsonNumber(s.rmsBeforeM)
            << ", \"rmsAfter\": " << jsonNumber(s.rmsAfterM) << ", \"explains\": " << (s.explains ? "true" : "false")
            << '}';
    }
    out << "]}\n";
}

void printStretches(const CheckReport& r, char sep, std::ostream& out)
{
    if (r.stretches.empty()) {
        out << "slopes: no two altimeter readings to check them against\n";
        return;
    }
    out << "slopes against the altimeter, metres:\n  rows\tslopes\taltimeter\tdifference\ttolerance\tmdb\n";
    for (const HeightStretch& s : r.stretches)
        out << "  " << s.fromRow << '-' << s.toRow << '\t' << fixedNumber(s.slopeRiseM, 1, sep, true) << '\t'
            << fixedNumber(s.altimeterRiseM, 1, sep, true) << '\t' << fixedNumber(s.differenceM, 1, sep, true) << '\t'
            << fixedNumber(s.toleranceM, 1, sep) << '\t' << fixedNumber(s.mdbM, 1, sep) << (s.flagged ? "\tFLAGGED" : "")
            << '\n';
}

void printPlan(const CheckReport& r, char sep, std::ostream& out)
{
    if (!r.planRmsM)
        return;
    out << "plan: rms " << fixedNumber(*r.planRmsM, 1, sep) << " m on the ground (tolerance "
        << fixedNumber(r.planToleranceM, 1, sep) << " m; weighted " << fixedNumber(r.planChi2, 1, sep) << " of at most "
        << fixedNumber(r.planChi2Limit, 1, sep) << ')' << (r.planFlagged ? " FLAGGED" : "") << '\n';
    out << "stretches between known points, smallest shift the plan reveals:\n  rows\twalked\tmdb\n";
    for (const auto& s : r.planStretches)
        out << "  " << s.fromRow << '-' << s.toRow << '\t' << fixedNumber(s.lengthM, 0, sep) << '\t'
            << fixedNumber(s.mdbM, 1, sep) << '\n';
    if (r.suggestedKnownRow)
        out << "one more known point would help most at row " << *r.suggestedKnownRow << '\n';
}

void printSuspects(const CheckReport& r, char sep, std::ostream& out)
{
    out << "verdict: " << verdictOf(r) << '\n';
    if (r.suspects.empty())
        return;
    out << "suspects, likeliest first (a shared rank is an equal probability):\n"
           "  rank\tprob.\trow\tfield\tvalue\tsuggested\tkind\trms before\trms after\n";
    for (const Suspect& s : r.suspects)
        out << "  " << s.rank << '\t' << fixedNumber(100 * s.probability, 1, sep) << "%\t" << s.row << '\t'
            << fieldName(s.field) << '\t' << plainNumber(s.value, sep) << '\t' << plainNumber(s.suggested, sep) << '\t'
            << (s.kind == zelt::compute::BlunderKind::None ? "-" : kindName(s.kind)) << '\t'
            << fixedNumber(s.rmsBeforeM, 1, sep) << '\t' << fixedNumber(s.rmsAfterM, 1, sep) << '\n';
}

int checkCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 1, 1, "TABLE.db");
    const char sep = decimalSeparatorOf(args);
    zelt::compute::CheckOptions o;
    o.compassSigmaDeg = numberOption(args, "--compass-sigma", o.compassSigmaDeg, sep, true, 90);
    o.paceSigma = numberOption(args, "--pace-sigma", o.paceSigma * 100, sep, true, 100) / 100;
    o.knownSigmaM = numberOption(args, "--known-sigma", o.knownSigmaM, sep, false);
    o.altimeterSigmaM = numberOption(args, "--altimeter-sigma", o.altimeterSigmaM, sep, false);
    o.slopeSigma = numberOption(args, "--slope-sigma", o.slopeSigma * 100, sep, true, 100) / 100;
    o.significance = numberOption(args, "--significance", o.significance * 100, sep, false, 50) / 100;
    // Only read: no start row is added and nothing is written beside the table.
    const auto session = std::make_unique<CliSession>(tableArgument(args), args, CliSession::Mode::ReadOnly,
                                                      CliSession::Layout::Ignore);
    const zelt::document::Document& doc = session->document();
    if (!doc.knownPoints.damage().empty())
        throw zelt::document::KnownPointsError(doc.knownPoints.damage());
    const CheckReport report = zelt::compute::checkTraverse(zelt::compute::checkRowsOf(doc.table), doc.pairsPer100m,
                                                            doc.knownPoints.points(), o);
    printDiagnostics(err, report.notes);
    if (args.has("--json")) {
        printJson(report, out);
    } else {
        printStretches(report, sep, out);
        printPlan(report, sep, out);
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
        "check",
        "check TABLE.db [--json] [--compass-sigma DEG] [--pace-sigma PCT] [--known-sigma M] [--altimeter-sigma M] "
        "[--slope-sigma PCT] [--significance PCT]",
        checkCommand,
        "Look for blunders, weighing every misclosure by the walk's own error model: one azimuth reading is off by "
        "DEG degrees (--compass-sigma, default 2), each leg's pacing by PCT % of its length (--pace-sigma, default 3), "
        "a known point by M metres on the ground in each coordinate (--known-sigma, default 2), an altimeter reading "
        "by M metres (--altimeter-sigma, default 2) and a slope reading by PCT % (--slope-sigma, default 2); these "
        "are standard deviations. Each stretch between two rows with an Altimeter reading compares the rise its "
        "slopes give (the sum of G over the rows after the first reading up to the second) with the readings' "
        "difference; it is flagged when they differ by more than z * sqrt(2 sa^2 + sum((ss * Di)^2) + sum((sp * "
        "Gi)^2)), with z = 3.29 at the default significance of 0.1 % (--significance). With known points at three or "
        "more spots (row R's point stands where its leg begins; one past the last row is the route's end) the route "
        "is placed on them as `fit` places it and `fit`'s rms is shown; compass and pace errors grow along the route, "
        "so the misclosures are correlated, and the plan is flagged when their weighted sum of squares exceeds the "
        "chi-squared limit at that significance (the tolerance shown is the rms at which this happens). When "
        "anything is flagged, every typical misreading of every reading is weighed: Azimuth reversed (+-180), "
        "swapped digits, +-10 or +-100 degrees; Pairs tally (+-10 or +-20) or swapped digits; Procent with its sign "
        "lost or its digits swapped; Altimeter off by 10 to 100 m (equal and opposite differences in the two "
        "stretches at the reading). Each is ranked by its weighted sum of squares with the change made and by how "
        "often it happens (relative priors: reversed azimuth and lost sign 3, tally +-10 2, swapped digits and +-10 "
        "degrees 1, the others 0.5), and is given its probability of being the misread reading, given that one "
        "reading was misread; only equal probabilities share a rank. Each stretch between known points shows the "
        "smallest shift of the later route the plan reveals (mdb, at a power of 80 %), each height stretch the "
        "smallest slope error it reveals, and the row where one more known point would help most. --json prints "
        "{\"verdict\", \"flagged\", \"plan\": null or {\"rms\", \"tolerance\", \"chi2\", \"chi2Limit\", \"dof\", "
        "\"flagged\", \"suggestedKnownRow\", \"stretches\": [{\"from\", \"to\", \"length\", \"mdb\"}]}, \"stretches\": "
        "[{\"from\", \"to\", \"slopeRise\", \"altimeterRise\", \"difference\", \"sigma\", \"tolerance\", \"mdb\", "
        "\"flagged\"}], \"suspects\": [{\"rank\", \"probability\", \"row\", \"field\", \"value\", \"suggested\", "
        "\"kind\", \"rmsBefore\", \"rmsAfter\", \"explains\"}]}, metres on the ground. Exit status 4 when anything is "
        "flagged (the suspects are then listed), 0 when nothing is.");
}

}  // namespace zelt::cli

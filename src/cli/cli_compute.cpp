// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli height commands: survey values, begin-way shift, Fill Height, percent heights, recalculation.
#include "cli/cli_commands.h"
#include "cli/cli_register.h"
#include "cli/cli_session.h"
#include "cli/cli_util.h"

#include "compute/height_passes.h"
#include "document/survey_values.h"
#include "document/traverse_table.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <ostream>
#include <string>

namespace zelt::cli {

namespace {

using zelt::compute::PassResult;
using zelt::document::formatGeneral;

/// A number from the command line: the whole text, with the session's decimal separator.
double parseNumber(std::string text, char decimalSeparator, const std::string& what)
{
    if (decimalSeparator != '.') {
        for (char& c : text) {
            if (c == decimalSeparator)
                c = '.';
            else if (c == '.')
                c = '\x01';  // a point is not a separator in this locale
        }
    }
    double v = 0;
    const char* begin = text.data();
    if (!text.empty() && text.front() == '+')
        ++begin;
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        throw UsageError{what + " is not a number: '" + text + "'"};
    return v;
}

/// What the pass did as a status line (`by` names a pass the command ran besides its own work),
/// its notes on standard error.
void report(const Args& args, std::ostream& out, std::ostream& err, const std::string& by, const PassResult& result)
{
    printStatus(args, out, std::to_string(result.rowsPosted) + " rows posted" + (by.empty() ? "" : " by " + by));
    printDiagnostics(err, result.diagnostics);
}

int settingsCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 1, 1, "TABLE.db");
    // The values given are checked before the table is opened: one the survey values cannot take
    // is the caller's to correct, and nothing is touched.
    const char sep = decimalSeparatorOf(args);
    std::optional<double> givenStart;
    std::optional<double> givenPairs;
    if (args.has("--start-height"))
        givenStart = parseNumber(args.option("--start-height"), sep, "--start-height");
    if (args.has("--pairs-per-100m"))
        givenPairs = parseNumber(args.option("--pairs-per-100m"), sep, "--pairs-per-100m");
    if (givenPairs && !document::isUsablePairsRatio(*givenPairs))
        throw ValueError{document::pairsRatioMessage(*givenPairs)};
    if (givenStart && !document::isUsableStartHeight(*givenStart))
        throw ValueError{document::startHeightMessage(*givenStart)};
    CliSession session(tableArgument(args), args);
    auto& doc = session.document();
    const auto result = zelt::compute::applySurveyValues(doc, givenStart.value_or(doc.startHeight),
                                                         givenPairs.value_or(doc.pairsPer100m));
    session.close();
    printStatus(args, out, "PairsPer100m " + formatGeneral(doc.pairsPer100m) + ", StartHeight "
                               + formatGeneral(doc.startHeight));
    report(args, out, err, "the percent heights", result);
    return 0;
}

int beginWayCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 2, 2, "TABLE.db OFFSET");
    CliSession session(tableArgument(args), args);
    const double offset = parseNumber(args.positional[1], session.decimalSeparator(), "OFFSET");
    const auto result = zelt::compute::shiftBeginWay(session.document(), offset);
    session.close();
    report(args, out, err, {}, result);
    printStatus(args, out, "StartHeight " + formatGeneral(session.document().startHeight));
    return 0;
}

/// A pass over the whole table that needs no choices: Fill Height or the percent heights.
int passCommand(const Args& args, std::ostream& out, std::ostream& err, PassResult (*pass)(document::Document&))
{
    expectPositional(args, 1, 1, "TABLE.db");
    CliSession session(tableArgument(args), args);
    const auto result = pass(session.document());
    session.close();
    report(args, out, err, {}, result);
    return 0;
}

struct RowHeight {
    int row = 0;
    double height = 0;
};

RowHeight parseRowHeight(const std::string& option, const Args& args, char sep, int rowCount)
{
    const std::string text = args.option(option);
    const auto colon = text.find(':');
    if (text.empty() || colon == std::string::npos)
        throw UsageError{option + " expects ROW:HEIGHT"};
    const double row = parseNumber(text.substr(0, colon), '.', option + " row");
    if (row != std::floor(row) || row < 1 || row > rowCount)
        throw UsageError{option + " row " + text.substr(0, colon) + " does not exist (the table has "
                         + std::to_string(rowCount) + " rows)"};
    return {static_cast<int>(row), parseNumber(text.substr(colon + 1), sep, option + " height")};
}

int recalcCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 1, 1, "TABLE.db");
    if (!args.has("--start") || !args.has("--end"))
        throw UsageError{"expects --start ROW:HEIGHT and --end ROW:HEIGHT"};
    CliSession session(tableArgument(args), args);
    auto& doc = session.document();
    auto& table = session.table();
    const RowHeight start = parseRowHeight("--start", args, session.decimalSeparator(), table.rowCount());
    const RowHeight end = parseRowHeight("--end", args, session.decimalSeparator(), table.rowCount());

    // Mark both rows and check them before writing the chosen heights, so that a refused
    // calculation leaves the table as it was.
    table.setRecNo(start.row);
    doc.calcStartMark = table.bookmark();
    doc.calcStartSelected = true;
    table.setRecNo(end.row);
    doc.calcEndMark = table.bookmark();
    doc.calcEndSelected = true;
    if (auto problem = zelt::compute::recalcSelectionProblem(doc))
        throw *problem;
    table.setRecNo(start.row);
    zelt::compute::chooseCalcRow(doc, zelt::compute::CalcEnd::Start, start.height);
    table.setRecNo(end.row);
    zelt::compute::chooseCalcRow(doc, zelt::compute::CalcEnd::End, end.height);
    const auto result = zelt::compute::recalculateHeights(doc);
    session.close();
    report(args, out, err, {}, result);
    return 0;
}

}  // namespace

void registerComputeCommands()
{
    registerCommand("settings", "settings TABLE.db [--pairs-per-100m X] [--start-height Y]", settingsCommand,
                    "Set the survey values as OK in the survey values dialog does (pace pairs per 100 m, start "
                    "height); then the percent-slope heights are computed again.");
    registerCommand("begin-way", "begin-way TABLE.db OFFSET", beginWayCommand,
                    "Shift the altimeter readings and StartHeight by OFFSET metres, as the begin-way command does.");
    registerCommand(
        "fill-heights", "fill-heights TABLE.db",
        [](const Args& args, std::ostream& out, std::ostream& err) {
            return passCommand(args, out, err, zelt::compute::FillHeights);
        },
        "Fill FillHeight between the altimeter readings in proportion to the pace count.");
    registerCommand(
        "percent-heights", "percent-heights TABLE.db",
        [](const Args& args, std::ostream& out, std::ostream& err) {
            return passCommand(args, out, err, zelt::compute::PercentHeights);
        },
        "Compute FillHeight from the slopes (Procent) and the leg lengths, starting at StartHeight.");
    registerCommand("recalc", "recalc TABLE.db --start ROW:HEIGHT --end ROW:HEIGHT", recalcCommand,
                    "Correct the heights between two known points: Recalc is computed from FillHeight so that "
                    "the --start row gets its HEIGHT and the --end row gets its HEIGHT.");
}

}  // namespace zelt::cli

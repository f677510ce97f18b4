// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli help texts: the full help, one command's help and the short usage of errors.
#include "cli/cli_help.h"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <vector>

namespace zelt::cli {
namespace {

// Every line of the help fits a terminal of 80 columns.
constexpr std::size_t kWidth = 80;

/// Writes `text` word-wrapped to kWidth columns: the first line indented by `indent` spaces,
/// the lines after it by `continuation`.
void wrapped(std::ostream& out, const std::string& text, std::size_t indent, std::size_t continuation)
{
    std::istringstream words(text);
    std::string word;
    std::size_t column = 0;
    bool first = true;
    while (words >> word) {
        if (column > 0 && column + 1 + word.size() > kWidth) {
            out << '\n';
            column = 0;
        }
        if (column == 0) {
            const std::size_t margin = first ? indent : continuation;
            out << std::string(margin, ' ') << word;
            column = margin + word.size();
            first = false;
        } else {
            out << ' ' << word;
            column += 1 + word.size();
        }
    }
    if (column > 0)
        out << '\n';
}

void wrapped(std::ostream& out, const std::string& text, std::size_t indent) { wrapped(out, text, indent, indent); }

/// A term at two columns (a long one goes on at four) and its text at six: the shape the manual
/// page and the shell completion are made from.
void entry(std::ostream& out, const std::string& term, const std::string& text)
{
    wrapped(out, term, 2, 4);
    wrapped(out, text, 6);
}

void synopsis(std::ostream& out)
{
    out << "Usage: zelt-cli COMMAND ARGUMENTS [OPTIONS]\n"
           "       zelt-cli help [COMMAND]\n"
           "       zelt-cli --help | -h | --version\n";
}

void commonOptions(std::ostream& out)
{
    out << "Options of every command:\n";
    entry(out, "--locale NAME",
          "Read and write numbers with the decimal separator of the locale NAME (de_DE: a comma). "
          "Without it numbers use a point.");
    entry(out, "--figures FILE", "Read the figures of turn notes from FILE instead of dani.dat.");
    entry(out, "--layout FILE.ing", "Use the column layout FILE.ing instead of the table's .ing companion.");
    entry(out, "-h, --help", "Print the help (after a command: that command's help) on standard output and exit.");
    entry(out, "--version", "In place of a command: print the version and exit.");
    entry(out, "-q, --quiet",
          "Print no status lines (what a command did, such as 'import: 12 rows into way.db'); "
          "warnings and errors still go to standard error.");
    entry(out, "--", "End the options: every argument after it is a file name, even one beginning with '-'.");
    entry(out, "-",
          "As TEXT: read standard input. As the file a command writes (OUT.txt, OUT.xlsx, OUT.pdf, "
          "MAP.ocd, the picture of plot): write it to standard output, and the status line to "
          "standard error. A table is always a file.");
    out << "An option that takes a value may also be written --name=VALUE.\n";
}

void environment(std::ostream& out)
{
    out << "Environment:\n";
    entry(out, "TMPDIR",
          "Where a file written to standard output is made before it is copied there (workbooks "
          "and PDF files need a file they can seek in); /tmp when unset.");
    entry(out, "QT_QPA_PLATFORM",
          "The Qt platform report and plot draw with; they need fonts, never a window or a "
          "display. offscreen when unset.");
    entry(out, "QT_LOGGING_RULES",
          "When set, Qt's own warnings are printed too; without it only its errors are.");
    entry(out, "LC_ALL, LC_TIME, LANG",
          "The time in the report's footer follows them. Numbers do not: they are read and written "
          "with a point unless --locale names another locale.");
}

void examples(std::ostream& out)
{
    out << "Examples:\n";
    entry(out, "zelt-cli new way.db && zelt-cli import way.db walk.txt",
          "Create a table and append the rows of a text file whose first line names the fields.");
    entry(out, "zelt-cli fill-heights way.db && zelt-cli export-ocd way.db map.ocd",
          "Fill the heights between the altimeter readings, then draw the route into map.ocd.");
    entry(out, "zelt-cli -q export-xlsx way.db - | ssh office 'cat > way.xlsx'",
          "Send the workbook through a pipe, with no status line.");
    entry(out, "zelt-cli plot way.db - --format svg > way.svg",
          "Draw the route as SVG on standard output.");
    entry(out, "zelt-cli dump -- -old-way.db", "Print a table whose name begins with '-'.");
}

void exitStatuses(std::ostream& out)
{
    out << "Exit status:\n";
    entry(out, "0", "Success.");
    entry(out, "1",
          "Failure: the message is on standard error. Work done before the error stays done (rows "
          "already posted, map objects already appended). Output that could not be written is a failure too, "
          "and no status line says the output was written before it was.");
    entry(out, "2", "Usage or value error: an unknown command or option, a missing or extra argument, or a value "
                    "the command cannot use (out of its range, a row or field the table does not have). Nothing "
                    "was changed.");
    entry(out, "3",
          "Partial result: the table is damaged; a command that only reads it worked on the rows before "
          "the damage, and says so on standard error. A command that changes a table refuses a damaged "
          "one with status 1 and changes nothing.");
    entry(out, "4", "check found something to flag: a stretch whose slopes disagree with the altimeter, or a "
                    "route that misses its known points.");
    entry(out, "5",
          "Done, but not synced: the change was made in full (do not run the command again), but the "
          "last sync to the disk failed, so a power loss before the system writes it out may still undo it.");
}

void fields(std::ostream& out)
{
    out << "Fields of a traverse table:\n";
    entry(out, "Azimuth", "Compass bearing of the leg in degrees, -360 to 360.");
    entry(out, "Pairs", "Pace pairs counted along the leg.");
    entry(out, "Procent", "Slope of the leg in percent, -150 to 150 (the grid's Percent column).");
    entry(out, "Povorot", "Turn note: a word or number whose figure the map export draws from the figure file.");
    entry(out, "Mark", "Text of the mark where the leg ends.");
    entry(out, "Reserv", "Free text.");
    entry(out, "metru", "Length of the leg as walked, in metres: Pairs converted with PairsPer100m.");
    entry(out, "F", "Calculated, never stored: the horizontal length of the leg in metres, metru reduced by "
                    "the slope (metru / sqrt(1 + (Procent/100)^2)).");
    entry(out, "G", "Calculated, never stored: the height difference of the leg in metres from its slope, "
                    "F x Procent/100 (positive uphill). The sum of G over a stretch is the height the slopes "
                    "alone give for it, which check compares with the altimeter.");
    entry(out, "Altimeter", "Altimeter reading at the end of the leg, in metres (0 to 3000).");
    entry(out, "Recalc", "Height in metres corrected between two known heights (recalc).");
    entry(out, "id", "A number the program keeps with the row.");
    entry(out, "sumPairs", "Running total of Pairs, written by the height passes.");
    entry(out, "FillHeight", "Height in metres filled in by fill-heights or percent-heights; the height an "
                             "export labels when no other field is named.");
}

void files(std::ostream& out)
{
    out << "Files:\n";
    entry(out, "TABLE.inf, TABLE.ing, TABLE.kpt",
          "The companions beside each table: its survey values (PairsPer100m, StartHeight), its grid "
          "column layout and its known points (map positions of chosen rows). They are read when a "
          "command opens the table and written when it ends.");
    entry(out, "dani.dat",
          "The figure file: the shapes drawn for turn notes in a map export. It is looked for beside "
          "the zelt-cli program, then in ../share/zelt from the program's folder, then in " ZELT_DATA_DIR ".");
    entry(out, "std.ing, abs.ing, procent.ing",
          "The fixed grid layouts of the desktop program, in the same folders as the figure file.");
}

}  // namespace

void printUsageLine(std::ostream& out, const std::string& usage) { wrapped(out, "usage: zelt-cli " + usage, 0, 7); }

void printVersion(std::ostream& out) { out << "zelt-cli " << ZELT_VERSION << '\n'; }

void printShortUsage(std::ostream& out, const std::vector<CommandHelp>& commands)
{
    synopsis(out);
    out << "Commands:\n";
    for (const CommandHelp& c : commands)
        wrapped(out, "zelt-cli " + c.usage, 2, 4);
    out << "Run 'zelt-cli help' for the whole help, 'zelt-cli help COMMAND' for one command.\n";
}

void printFullHelp(std::ostream& out, const std::vector<CommandHelp>& commands)
{
    synopsis(out);
    out << '\n';
    wrapped(out,
            "zelt-cli does the work of the Zelt desktop program without a window: it creates and fills "
            "traverse tables (Paradox *.db files), computes heights along the route, and exports a "
            "table as an OCAD 7 map, as text, as a spreadsheet or as a PDF report. A command that changes "
            "a table opens and closes it as a document window does: the start row is added where it is "
            "missing, and the survey values, column layout and known points are kept beside it. A "
            "command that only reads a table (info, dump, the exports, report, route, plot, fit, "
            "known-points and georef without options) writes nothing beside it but its own output. Rows are numbered "
            "from 1.",
            0);
    out << "\nCommands:\n";
    for (const CommandHelp& c : commands)
        entry(out, c.usage, c.summary.empty() ? std::string("See 'zelt-cli help ") + c.name + "'." : c.summary);
    out << '\n';
    commonOptions(out);
    out << '\n';
    exitStatuses(out);
    out << '\n';
    fields(out);
    out << '\n';
    environment(out);
    out << '\n';
    files(out);
    out << '\n';
    examples(out);
}

void printCommandHelp(std::ostream& out, const CommandHelp& command)
{
    wrapped(out, "Usage: zelt-cli " + command.usage, 0, 7);
    out << '\n';
    if (!command.summary.empty()) {
        wrapped(out, command.summary, 0);
        out << '\n';
    }
    wrapped(out,
            "Options of every command: --locale NAME, --figures FILE, --layout FILE.ing, --quiet, --help; "
            "-- ends the options. Exit status: 0 success, 1 failure, 2 usage or value error, 3 partial result "
            "from a damaged table, 4 check flagged something, 5 done but not synced to the disk.",
            0);
}

void printHelpHelp(std::ostream& out)
{
    out << "Usage: zelt-cli help [COMMAND]\n\n";
    wrapped(out,
            "Print the whole help on standard output, or with COMMAND the help of that command: its "
            "usage, what it does and its options. 'zelt-cli COMMAND --help' does the same.",
            0);
}

namespace {

/// The number of single-character edits (insert, delete, replace, swap two neighbours) that
/// turn `a` into `b`.
std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::string didYouMean(const std::string& typed, const std::vector<std::string>& names)
{
    std::vector<std::string> close;
    // A beginning that is long enough to mean something ("exp", not "e").
    if (typed.find_first_not_of('-') != std::string::npos && typed.size() >= 3)
        for (const std::string& n : names)
            if (n.size() > typed.size() && n.compare(0, typed.size(), typed) == 0)
                close.push_back(n);
    if (close.empty()) {
        // A slip per three letters, at most two: "export-oc", "fill-hieghts", "--visibel".
        const std::size_t letters = typed.size() - std::min(typed.size(), typed.find_first_not_of('-'));
        const std::size_t allowed = std::clamp<std::size_t>(letters / 3, 1, 2);
        std::size_t best = allowed + 1;
        for (const std::string& n : names) {
            const std::size_t d = editDistance(typed, n);
            if (d < best)
                best = d, close.clear();
            if (d == best)
                close.push_back(n);
        }
    }
    if (close.empty() || close.size() > 4)
        return {};
    std::string text = " (did you mean ";
    for (std::size_t i = 0; i < close.size(); ++i)
        text += (i == 0 ? "" : i + 1 == close.size() ? " or " : ", ") + ("'" + close[i] + "'");
    return text + "?)";
}

std::vector<UsageOption> optionsOfUsage(const std::string& usage)
{
    std::vector<std::string> tokens;
    std::istringstream in(usage);
    for (std::string t; in >> t;)
        tokens.push_back(t);
    std::vector<UsageOption> options;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        std::string t = tokens[i];
        const std::size_t start = t.find_first_not_of('[');
        if (start == std::string::npos || t.compare(start, 2, "--") != 0)
            continue;
        // A bracket closing right after the name ends an option without value ("[--visible]").
        const std::size_t close = t.find(']', start);
        const std::string name = t.substr(start, close == std::string::npos ? std::string::npos : close - start);
        bool takesValue = false;
        if (close == std::string::npos && i + 1 < tokens.size()) {
            const std::string& next = tokens[i + 1];
            takesValue = next != "|" && next.front() != '[' && next.rfind("--", 0) != 0;
        }
        options.push_back({name, takesValue});
    }
    return options;
}

}  // namespace zelt::cli

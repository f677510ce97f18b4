// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli help texts: the full help, one command's help and the short usage of errors.
#include "cli/cli_help.h"

#include <ostream>
#include <sstream>

namespace zelt::cli {
namespace {

constexpr std::size_t kWidth = 100;

/// Writes `text` word-wrapped to kWidth columns, each line indented by `indent` spaces.
void wrapped(std::ostream& out, const std::string& text, std::size_t indent)
{
    std::istringstream words(text);
    std::string word;
    std::size_t column = 0;
    while (words >> word) {
        if (column > 0 && column + 1 + word.size() > kWidth) {
            out << '\n';
            column = 0;
        }
        if (column == 0) {
            out << std::string(indent, ' ') << word;
            column = indent + word.size();
        } else {
            out << ' ' << word;
            column += 1 + word.size();
        }
    }
    if (column > 0)
        out << '\n';
}

void entry(std::ostream& out, const std::string& term, const std::string& text)
{
    out << "  " << term << '\n';
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
    out << "An option that takes a value may also be written --name=VALUE.\n";
}

void exitStatuses(std::ostream& out)
{
    out << "Exit status:\n";
    entry(out, "0", "Success.");
    entry(out, "1",
          "Failure: the message is on standard error. Work done before the error stays done (rows "
          "already posted, map objects already appended). Output that could not be written is a failure too.");
    entry(out, "2", "Usage error: an unknown command or option, a missing or extra argument, or a value that "
                    "is not allowed.");
    entry(out, "3",
          "Partial result: the table is damaged; a command that only reads it worked on the rows before "
          "the damage, and says so on standard error. A command that changes a table refuses a damaged "
          "one with status 1 and changes nothing.");
    entry(out, "4", "check found something to flag: a stretch whose slopes disagree with the altimeter, or a "
                    "route that misses its known points.");
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

void printVersion(std::ostream& out) { out << "zelt-cli " << ZELT_VERSION << '\n'; }

void printShortUsage(std::ostream& out, const std::vector<CommandHelp>& commands)
{
    synopsis(out);
    out << "Commands:\n";
    for (const CommandHelp& c : commands)
        out << "  zelt-cli " << c.usage << '\n';
    out << "Run 'zelt-cli --help' for the whole help, 'zelt-cli help COMMAND' for one command.\n";
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
            "known-points without options) writes nothing beside it but its own output. Rows are numbered "
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
    files(out);
}

void printCommandHelp(std::ostream& out, const CommandHelp& command)
{
    out << "Usage: zelt-cli " << command.usage << "\n\n";
    if (!command.summary.empty()) {
        wrapped(out, command.summary, 0);
        out << '\n';
    }
    out << "Options of every command: --locale NAME, --figures FILE, --layout FILE.ing, --help.\n"
           "Exit status: 0 success, 1 failure, 2 usage error, 3 partial result from a damaged table.\n";
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

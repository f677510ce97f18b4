// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli help texts: the full help, one command's help and the short usage of errors.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zelt::cli {

/// What the help says about one command of the command table.
struct CommandHelp {
    std::string name;
    std::string usage;    ///< "dump TABLE.db [--visible]"
    std::string summary;  ///< one paragraph; may be empty
};

/// The whole help (`--help`, `help`): synopsis, description, every command, the options of every
/// command, exit statuses and files. Its shape (headings ending in ':', entries indented by two
/// columns, their text by six) is what the manual page and the shell completion are made from.
void printFullHelp(std::ostream& out, const std::vector<CommandHelp>& commands);
/// One command's help (`help COMMAND`, `COMMAND --help`).
void printCommandHelp(std::ostream& out, const CommandHelp& command);
/// The short usage printed with a usage error: synopsis and the command lines.
void printShortUsage(std::ostream& out, const std::vector<CommandHelp>& commands);
/// "usage: zelt-cli USAGE" of a usage error, wrapped to 80 columns.
void printUsageLine(std::ostream& out, const std::string& usage);
/// "zelt-cli VERSION".
void printVersion(std::ostream& out);
/// The help of `help` itself (`help help`).
void printHelpHelp(std::ostream& out);

/// " (did you mean 'x'?)" for a mistyped name: the names `typed` begins, else those within a
/// typing slip or two of it; "" when none is close.
std::string didYouMean(const std::string& typed, const std::vector<std::string>& names);

/// The options named in a usage text ("[--row N]" takes a value, "[--visible]" does not).
struct UsageOption {
    std::string name;
    bool takesValue = false;
};
std::vector<UsageOption> optionsOfUsage(const std::string& usage);

}  // namespace zelt::cli

// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli command table: each command works on table files and reports errors on stderr.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace zelt::cli {

/// Arguments after the command name, with the global options already removed.
struct Args {
    std::string command;  ///< the command's name, which begins its status lines
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  ///< "--name" -> value ("" for flags)
    bool has(const std::string& name) const;
    std::string option(const std::string& name, const std::string& fallback = {}) const;
};

/// Thrown for bad usage (exit status 2).
struct UsageError {
    std::string message;
};

/// Thrown for a value the command cannot use: out of its range, a row or field the table does not
/// have (exit status 2, the message alone, no usage line).
struct ValueError {
    std::string message;
};

/// Thrown by a command that read a damaged table, after printing what it could read: the
/// message goes to standard error and the exit status is 3.
struct PartialResult {
    std::string message;
};

using Command = std::function<int(const Args&, std::ostream& out, std::ostream& err)>;

/// Registers a command; each command module calls this from a static initialiser-free
/// registration function listed in cli_commands.cpp. `usage` is the command line after
/// "zelt-cli" and declares the command's options: "[--visible]" is a flag, "[--row N]" and
/// "--field NAME" take a value; any other option is refused as a usage error. `summary` is the
/// paragraph of the help and the manual page.
void registerCommand(const std::string& name, const std::string& usage, Command command,
                     const std::string& summary = {});

/// Exit status of a command whose change was made but whose last sync to the disk failed
/// (document::NotDurableError): not a failure to run again, nor a plain success.
inline constexpr int kNotDurable = 5;

/// Runs the command line; returns the exit status (0 ok, 1 failure, 2 bad usage or a value that
/// cannot be used, 3 partial result from a damaged table, 4 check flagged something, 5 done but
/// not synced to the disk). `--help`, `-h`, `help [COMMAND]` and `--version` print on
/// standard output and return 0. `--` ends the options: every argument after it is positional.
int run(int argc, char** argv);

}  // namespace zelt::cli

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
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  ///< "--name" -> value ("" for flags)
    bool has(const std::string& name) const;
    std::string option(const std::string& name, const std::string& fallback = {}) const;
};

/// Thrown for bad usage (exit status 2).
struct UsageError {
    std::string message;
};

using Command = std::function<int(const Args&, std::ostream& out, std::ostream& err)>;

/// Registers a command; each command module calls this from a static initialiser-free
/// registration function listed in cli_commands.cpp.
void registerCommand(const std::string& name, const std::string& usage, Command command);

/// Runs the command line; returns the exit status (0 ok, 1 error, 2 bad usage).
int run(int argc, char** argv);

}  // namespace zelt::cli

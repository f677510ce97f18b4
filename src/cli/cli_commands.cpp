// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli: argument parsing and the command table.
#include "cli/cli_commands.h"
#include "cli/cli_register.h"

#include <exception>
#include <iostream>
#include <map>

namespace zelt::cli {
namespace {

struct Entry {
    std::string usage;
    Command command;
};

std::map<std::string, Entry>& table()
{
    static std::map<std::string, Entry> commands;
    return commands;
}

void registerAll()
{
    registerDocumentCommands();
    registerComputeCommands();
    registerExportCommands();
    registerInterchangeCommands();
    registerReportCommands();
}

int usage(std::ostream& err)
{
    err << "usage: zelt-cli COMMAND [ARGS] [--locale NAME] [--figures FILE] [--layout FILE.ing]\n";
    for (const auto& [name, entry] : table())
        err << "  zelt-cli " << entry.usage << '\n';
    return 2;
}

// Options that take no value; every other "--name" takes the next argument.
bool isFlag(const std::string& name)
{
    return name == "--visible" || name == "--contours" || name == "--help";
}

}  // namespace

bool Args::has(const std::string& name) const
{
    for (const auto& o : options)
        if (o.first == name)
            return true;
    return false;
}

std::string Args::option(const std::string& name, const std::string& fallback) const
{
    for (const auto& o : options)
        if (o.first == name)
            return o.second;
    return fallback;
}

void registerCommand(const std::string& name, const std::string& usageText, Command command)
{
    table()[name] = Entry{usageText, std::move(command)};
}

int run(int argc, char** argv)
{
    registerAll();
    if (argc < 2)
        return usage(std::cerr);
    const std::string name = argv[1];
    auto it = table().find(name);
    if (it == table().end()) {
        std::cerr << "zelt-cli: unknown command '" << name << "'\n";
        return usage(std::cerr);
    }
    Args args;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a.size() > 2 && a.rfind("--", 0) == 0) {
            if (isFlag(a)) {
                args.options.emplace_back(a, std::string());
            } else if (i + 1 < argc) {
                args.options.emplace_back(a, argv[++i]);
            } else {
                std::cerr << "zelt-cli: option " << a << " needs a value\n";
                return 2;
            }
        } else {
            args.positional.push_back(a);
        }
    }
    try {
        return it->second.command(args, std::cout, std::cerr);
    } catch (const UsageError& e) {
        std::cerr << "zelt-cli " << name << ": " << e.message << "\nusage: zelt-cli " << it->second.usage << '\n';
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "zelt-cli " << name << ": " << e.what() << '\n';
        return 1;
    }
}

}  // namespace zelt::cli

// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli: argument parsing, the command table and the one error boundary.
#include "cli/cli_commands.h"
#include "cli/cli_help.h"
#include "cli/cli_register.h"
#include "cli/cli_util.h"

#include "base/atomic_file.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <map>

namespace zelt::cli {
namespace {

struct Entry {
    std::string usage;
    std::string summary;
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
    registerKnownPointCommands();
    registerRouteCommands();
    registerCheckCommands();
    registerGeoCommands();
}

std::vector<CommandHelp> helpEntries()
{
    std::vector<CommandHelp> entries;
    for (const auto& [name, entry] : table())
        entries.push_back({name, entry.usage, entry.summary});
    return entries;
}

CommandHelp helpOf(const std::string& name)
{
    const Entry& e = table().at(name);
    return {name, e.usage, e.summary};
}

/// Usage error before any command ran: the message, then the short usage, on standard error.
int usageError(const std::string& message)
{
    if (!message.empty())
        std::cerr << "zelt-cli: " << message << '\n';
    printShortUsage(std::cerr, helpEntries());
    return 2;
}

/// The names of the command table, for "did you mean".
std::vector<std::string> commandNames()
{
    std::vector<std::string> names;
    for (const auto& entry : table())
        names.push_back(entry.first);
    return names;
}

/// A word that is no command: one line, with the close names and where the list is.
int unknownCommand(const std::string& name)
{
    const bool option = name.rfind('-', 0) == 0;
    std::vector<std::string> names = commandNames();
    if (option)
        names = {"--help", "--version"};
    std::cerr << "zelt-cli: unknown " << (option ? "option '" : "command '") << name << "'"
              << didYouMean(name, names) << "; see 'zelt-cli help'\n";
    return 2;
}

/// Usage error of one command: the message and that command's usage line.
int commandUsageError(const std::string& name, const std::string& message)
{
    std::cerr << "zelt-cli " << name << ": " << message << '\n';
    printUsageLine(std::cerr, table().at(name).usage);
    std::cerr << "Run 'zelt-cli help " << name << "' for more.\n";
    return 2;
}

bool isHelp(const std::string& a) { return a == "--help" || a == "-h"; }

/// A run whose output could not be written (a full disk, a closed pipe) has failed, whatever
/// the command said: `status`, or 1 with a message when standard output is in error.
int checkedOutput(int status)
{
    std::cout.flush();
    if (std::cout || status != 0)
        return status;
    std::cerr << "zelt-cli: " << standardOutputFailure() << '\n';
    return 1;
}

/// The options a command accepts: those its usage names, and the options of every command.
std::vector<UsageOption> acceptedOptions(const std::string& usage)
{
    std::vector<UsageOption> options = optionsOfUsage(usage);
    for (const char* name : {"--locale", "--figures", "--layout"})
        options.push_back({name, true});
    options.push_back({"--quiet", false});
    return options;
}

/// `help [COMMAND]`: the whole help or one command's, on standard output.
int helpCommand(int argc, char** argv)
{
    if (argc < 3) {
        printFullHelp(std::cout, helpEntries());
        return 0;
    }
    if (argc > 3)
        return usageError("help takes at most one command");
    const std::string name = argv[2];
    if (name == "help" || isHelp(name)) {
        printHelpHelp(std::cout);
        return 0;
    }
    if (table().find(name) == table().end())
        return unknownCommand(name);
    printCommandHelp(std::cout, helpOf(name));
    return 0;
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

void registerCommand(const std::string& name, const std::string& usageText, Command command,
                     const std::string& summary)
{
    table()[name] = Entry{usageText, summary, std::move(command)};
}

int run(int argc, char** argv)
{
    setUpStandardStreams();
    registerAll();
    // --quiet may also come before the command ("zelt-cli -q import ...").
    std::vector<char*> words(argv, argv + argc);
    bool quiet = false;
    while (words.size() > 1 && (std::string(words[1]) == "-q" || std::string(words[1]) == "--quiet")) {
        quiet = true;
        words.erase(words.begin() + 1);
    }
    argc = static_cast<int>(words.size());
    argv = words.data();
    if (argc < 2)
        return usageError("");
    const std::string name = argv[1];
    if (isHelp(name) || name == "help")
        return checkedOutput(helpCommand(argc, argv));
    if (name == "--version") {
        printVersion(std::cout);
        return checkedOutput(0);
    }
    auto it = table().find(name);
    if (it == table().end())
        return unknownCommand(name);

    const std::vector<UsageOption> accepted = acceptedOptions(it->second.usage);
    Args args;
    args.command = name;
    if (quiet)
        args.options.emplace_back("--quiet", std::string());
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (optionsEnded) {
            args.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "-q")
            a = "--quiet";
        if (isHelp(a)) {
            printCommandHelp(std::cout, helpOf(name));
            return checkedOutput(0);
        }
        const auto unknownOption = [&](const std::string& option) {
            std::vector<std::string> names{"--help"};
            for (const UsageOption& o : accepted)
                names.push_back(o.name);
            std::cerr << "zelt-cli " << name << ": unknown option " << option << didYouMean(option, names)
                      << "; see 'zelt-cli help " << name << "'\n";
            return 2;
        };
        // "-" is standard input and "-5" or "-.5" a negative number; any other word beginning with
        // one '-' is an option this program does not have (a file of that name follows "--").
        if (a.size() >= 2 && a[0] == '-' && a[1] != '-' && !(a[1] >= '0' && a[1] <= '9') && a[1] != '.')
            return unknownOption(a);
        if (a.size() <= 2 || a.rfind("--", 0) != 0) {
            args.positional.push_back(a);
            continue;
        }
        const std::size_t eq = a.find('=');
        const std::string option = a.substr(0, eq);
        const auto known = std::find_if(accepted.begin(), accepted.end(),
                                       [&](const UsageOption& o) { return o.name == option; });
        if (known == accepted.end())
            return unknownOption(option);
        if (!known->takesValue) {
            if (eq != std::string::npos)
                return commandUsageError(name, "option " + option + " takes no value");
            args.options.emplace_back(option, std::string());
        } else if (eq != std::string::npos) {
            args.options.emplace_back(option, a.substr(eq + 1));
        } else if (i + 1 < argc) {
            args.options.emplace_back(option, argv[++i]);
        } else {
            return commandUsageError(name, "option " + option + " needs a value");
        }
    }
    try {
        return checkedOutput(it->second.command(args, std::cout, std::cerr));
    } catch (const UsageError& e) {
        return commandUsageError(name, e.message);
    } catch (const ValueError& e) {
        std::cerr << "zelt-cli " << name << ": " << e.message << '\n';
        return 2;
    } catch (const PartialResult& e) {
        std::cout.flush();
        const std::string& text = e.message;
        for (std::size_t start = 0; start <= text.size();) {
            const auto end = text.find('\n', start);
            std::cerr << "zelt-cli " << name << ": " << text.substr(start, end - start) << '\n';
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return 3;
    } catch (const document::NotDurableError& e) {
        std::cerr << "zelt-cli " << name << ": " << e.what() << '\n';
        return kNotDurable;
    } catch (const std::exception& e) {
        std::cerr << "zelt-cli " << name << ": " << e.what() << '\n';
        return 1;
    }
}

}  // namespace zelt::cli

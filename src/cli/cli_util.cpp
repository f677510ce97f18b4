// SPDX-License-Identifier: GPL-3.0-or-later
// Argument helpers shared by the zelt-cli command groups.
#include "cli/cli_util.h"

#include <QGuiApplication>

#include <fstream>
#include <iostream>
#include <iterator>
#include <ostream>
#include <stdexcept>

namespace zelt::cli {

void expectPositional(const Args& args, std::size_t min, std::size_t max, const std::string& names)
{
    if (args.positional.size() < min || args.positional.size() > max)
        throw UsageError{"expects " + names};
}

std::string readInput(const std::string& source)
{
    if (source == "-")
        return {std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    std::ifstream in(source, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read '" + source + "'");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

interchange::TextColumns textColumns(const Args& args)
{
    return args.has("--visible") ? interchange::TextColumns::VisibleColumns : interchange::TextColumns::AllFields;
}

std::unique_ptr<QGuiApplication> windowlessGuiApplication()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zelt-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

void printDiagnostics(std::ostream& out, const std::vector<document::Diagnostic>& diagnostics)
{
    for (const document::Diagnostic& d : diagnostics)
        out << document::diagnosticMessage(d) << '\n';
}

}  // namespace zelt::cli

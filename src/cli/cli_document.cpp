// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli document commands: new, info, dump and import.
#include "cli/cli_commands.h"
#include "cli/cli_register.h"
#include "cli/cli_session.h"
#include "cli/cli_util.h"

#include "paradox/paradox_table.h"
#include "document/row_restore.h"
#include "interchange/row_import.h"
#include "interchange/text_export.h"

#include <ostream>
#include <stdexcept>

namespace zelt::cli {
namespace {

using document::TraverseTable;

/// As expectPositional() of cli_util, but the message names what is missing or the extra argument.
void expectPositional(const Args& args, std::size_t min, std::size_t max)
{
    if (args.positional.size() < min)
        throw UsageError{"missing argument"};
    if (args.positional.size() > max)
        throw UsageError{"unexpected argument '" + args.positional[max] + "'"};
}

int newCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 1, 1);
    const auto path = tableArgument(args);
    CliSession session(path, args, CliSession::Mode::Create);
    const int rows = session.table().rowCount();
    session.close();
    printStatus(args, out, "created " + path.string() + " with " + std::to_string(rows) + (rows == 1 ? " row" : " rows"));
    return 0;
}

std::string levelName(int versionByte)
{
    if (versionByte <= 3)
        return "3.0";
    if (versionByte == 4)
        return "3.5";
    if (versionByte <= 9)
        return "4";
    if (versionByte <= 11)
        return "5";
    return "7";
}

std::string typeText(const document::FieldDef& d)
{
    switch (d.type) {
    case document::FieldType::Alpha: return "Alpha " + std::to_string(d.size);
    case document::FieldType::Short: return "Short";
    case document::FieldType::Long: return "Long Integer";
    case document::FieldType::Number: return "Number";
    default: return "type " + std::to_string(static_cast<int>(d.type));
    }
}

int infoCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 1, 1);
    CliSession session(tableArgument(args), args, CliSession::Mode::HeaderOnly);
    TraverseTable& table = session.table();
    const document::ParadoxTable& file = *table.file();
    const document::ParadoxInfo& info = file.info();
    const char sep = session.decimalSeparator();
    out << "table: " << table.path().string() << '\n'
        << "level: " << levelName(info.versionByte) << " (version byte " << info.versionByte << "), "
        << (info.fileType == 0 ? "keyed" : "unkeyed") << ", blocks of " << info.blockSizeKb << " KB\n"
        << "code page: " << info.codePage;
    if (!info.sortOrderId.empty())
        out << " (sort order " << info.sortOrderId << ')';
    out << '\n'
        << "rows: " << table.rowCount() << '\n'
        << "PairsPer100m: " << document::formatGeneral(session.document().pairsPer100m, sep) << '\n'
        << "StartHeight: " << document::formatGeneral(session.document().startHeight, sep) << '\n';
    if (!table.readOnlyReason().empty())
        out << "read-only: " << table.readOnlyReason() << '\n';
    // Part of the table's description, so on standard output with the rest of it.
    printDiagnostics(out, file.openNotes());
    out << "fields:\n";
    int n = 0;
    for (const document::FieldDef& d : file.fields())
        out << "  " << ++n << ' ' << d.name << ' ' << typeText(d) << '\n';
    session.close();
    session.checkComplete();
    return 0;
}

int dumpCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 1, 1);
    CliSession session(tableArgument(args), args, CliSession::Mode::ReadOnly, layoutFor(args));
    TraverseTable& table = session.table();
    interchange::writeTableText(table, interchange::textExportFields(table, session.document().columns, textColumns(args)),
                                out);
    out.flush();
    session.close();
    session.checkComplete();
    return 0;
}

// --- import

std::vector<std::string> splitCells(const std::string& line, char separator)
{
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (;;) {
        const auto end = line.find(separator, start);
        cells.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return cells;
        start = end + 1;
    }
}

bool isBlank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> readLines(const Args& args)
{
    std::string text = readInput(args.positional.size() > 1 ? args.positional[1] : "-");
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    std::vector<std::string> lines = splitCells(text, '\n');
    for (std::string& l : lines)
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();  // the line break after the last line
    return lines;
}

/// Field names of the header line; an empty name (a trailing separator) and the calculated
/// fields are kept as "" so that their cells are skipped.
std::vector<std::string> headerFields(const std::string& header, char separator, const TraverseTable& table)
{
    std::vector<std::string> names = splitCells(header, separator);
    while (!names.empty() && isBlank(names.back()))
        names.pop_back();
    if (names.empty())
        throw std::runtime_error("line 1: no field names");
    for (std::string& name : names) {
        name = trimmed(name);
        const int index = table.fieldIndex(name);
        if (index < 0)
            throw std::runtime_error("line 1: unknown field '" + name + "'");
        if (table.fields()[static_cast<std::size_t>(index)].calculated)
            name.clear();  // F and G follow from the row; their values in the text are not read
    }
    return names;
}

int importCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 1, 2);
    const auto path = tableArgument(args);
    const std::vector<std::string> lines = readLines(args);
    CliSession session(path, args);
    TraverseTable& table = session.table();
    if (lines.empty())
        throw std::runtime_error("no header line naming the fields");
    const char separator = lines.front().find('\t') != std::string::npos ? '\t' : ';';
    const std::vector<std::string> names = headerFields(lines.front(), separator, table);
    int imported = 0;
    // One walk over the table: observers (the known points) follow the rows once at its end,
    // not after every row, and the rows are made durable once.
    document::RowRestore walk(table);
    for (std::size_t n = 1; n < lines.size(); ++n) {
        if (isBlank(lines[n]))
            continue;
        try {
            interchange::appendTypedRow(table, names, splitCells(lines[n], separator), session.decimalSeparator());
        } catch (const std::exception& e) {
            throw std::runtime_error("line " + std::to_string(n + 1) + ": " + e.what() + "; nothing was imported");
        }
        ++imported;
    }
    walk.finish();
    session.close();
    printStatus(args, out, std::to_string(imported) + (imported == 1 ? " row" : " rows") + " into " + path.string());
    return 0;
}

// --- the File menu's Save As and Rename: the table and its companions under a new name

int saveAsCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 2, 2);
    const auto from = tableArgument(args);
    const std::filesystem::path to = tablePath(args.positional[1]);
    checkOutputPath(to);
    // Read-only: the first table and its companions stay exactly as they are.
    CliSession session(from, args, CliSession::Mode::HeaderOnly);
    if (session.table().isDamaged())
        throw std::runtime_error(session.table().readOnlyReason() + " Nothing was copied.");
    session.session().saveAs(to, args.has("--overwrite") ? document::ReplaceExisting::Yes
                                                         : document::ReplaceExisting::No);
    session.close();
    printStatus(args, out, "saved " + from.string() + " as " + to.string());
    return 0;
}

int renameCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 2, 2);
    const auto from = tableArgument(args);
    const std::filesystem::path to = tablePath(args.positional[1]);
    checkOutputPath(to);
    CliSession session(from, args, CliSession::Mode::HeaderOnly);
    session.session().rename(to);
    session.close();
    printStatus(args, out, "renamed " + from.string() + " to " + to.string());
    return 0;
}

}  // namespace

void registerDocumentCommands()
{
    registerCommand("new", "new TABLE.db", newCommand,
                    "Create TABLE.db as the New command does: one start row, a .inf companion with 64"
                    " pace pairs per 100 m and a start height of 420 m, and a .ing layout. An "
                    "existing file is refused.");
    registerCommand("info", "info TABLE.db", infoCommand,
                    "Print the fields, the row count, the code page, PairsPer100m and StartHeight of the table.");
    registerCommand("dump", "dump TABLE.db [--visible]", dumpCommand,
                    "Write the text export of every field (with --visible: of the visible columns) to"
                    " standard output.");
    registerCommand("import", "import TABLE.db [TEXT|-]", importCommand,
                    "Append rows from semicolon- or tab-separated TEXT (a file; - or nothing reads "
                    "standard input) whose first line names the fields. A line that cannot be stored"
                    " stops the import, and nothing is imported.");
    registerCommand("save-as", "save-as TABLE.db NEW.db [--overwrite]", saveAsCommand,
                    "Copy TABLE.db and its companions (.inf, .ing) to NEW.db as the Save As command does;"
                    " TABLE.db and its companions stay as they are. An existing NEW.db is replaced only with"
                    " --overwrite, and never while another window or program has it open.");
    registerCommand("rename", "rename TABLE.db NEW.db", renameCommand,
                    "Rename TABLE.db and its companions to NEW.db as the Rename command does. An existing"
                    " NEW.db is refused.");
}

}  // namespace zelt::cli

// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli document commands: new, info, dump and import.
#include "cli/cli_commands.h"
#include "cli/cli_register.h"
#include "cli/cli_session.h"
#include "cli/cli_json.h"
#include "cli/cli_util.h"

#include "paradox/paradox_table.h"
#include "document/row_restore.h"
#include "document/traverse_schema.h"
#include "interchange/csv_text.h"
#include "interchange/row_import.h"
#include "interchange/text_export.h"

#include <algorithm>
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
    const int codePage = codePageOf(args);  // refused before anything is made
    CliSession session(path, args, CliSession::Mode::Create);
    const int rows = session.table().rowCount();
    session.close();
    printStatus(args, out, "created " + path.string() + " with " + std::to_string(rows) + (rows == 1 ? " row" : " rows")
                               + ", code page " + std::to_string(codePage));
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

/// The type of a field as its name alone ("Alpha", "Number"); the size is given apart.
std::string typeName(document::FieldType type)
{
    switch (type) {
    case document::FieldType::Alpha: return "Alpha";
    case document::FieldType::Short: return "Short";
    case document::FieldType::Long: return "Long Integer";
    case document::FieldType::Number: return "Number";
    default: return "type " + std::to_string(static_cast<int>(type));
    }
}

std::string typeText(const document::FieldDef& d)
{
    const std::string name = typeName(d.type);
    return d.type == document::FieldType::Alpha ? name + " " + std::to_string(d.size) : name;
}

int infoCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 1, 1);
    CliSession session(tableArgument(args), args, CliSession::Mode::HeaderOnly);
    TraverseTable& table = session.table();
    const document::ParadoxTable& file = *table.file();
    const document::ParadoxInfo& info = file.info();
    if (args.has("--json")) {
        QJsonArray fields;
        for (const document::FieldDef& d : file.fields())
            fields.append(QJsonObject{{QStringLiteral("name"), QString::fromStdString(d.name)},
                                      {QStringLiteral("type"), QString::fromStdString(typeName(d.type))},
                                      {QStringLiteral("size"), d.size}});
        QJsonArray notes;
        for (const document::Diagnostic& d : file.openNotes())
            notes.append(QString::fromStdString(document::diagnosticMessage(d)));
        writeJson(QJsonObject{{QStringLiteral("table"), QString::fromStdString(table.path().string())},
                              {QStringLiteral("level"), QString::fromStdString(levelName(info.versionByte))},
                              {QStringLiteral("versionByte"), info.versionByte},
                              {QStringLiteral("keyed"), info.fileType == 0},
                              {QStringLiteral("blockSizeKb"), info.blockSizeKb},
                              {QStringLiteral("codePage"), info.codePage},
                              {QStringLiteral("sortOrder"), jsonText(info.sortOrderId)},
                              {QStringLiteral("rows"), table.rowCount()},
                              {QStringLiteral("pairsPer100m"), jsonValue(session.document().pairsPer100m)},
                              {QStringLiteral("startHeight"), jsonValue(session.document().startHeight)},
                              {QStringLiteral("readOnly"), jsonText(table.readOnlyReason())},
                              {QStringLiteral("notes"), notes},
                              {QStringLiteral("fields"), fields}},
                  out);
    } else {
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
    }
    session.close();
    session.checkComplete();
    return 0;
}

/// The separator --separator names: ",", ";" or "tab" (also a tab itself); `fallback` without it.
char separatorOption(const Args& args, char fallback)
{
    if (!args.has("--separator"))
        return fallback;
    const std::string text = args.option("--separator");
    if (text == "tab" || text == "\t")
        return '\t';
    if (text.size() == 1 && interchange::isCsvSeparator(text[0]))
        return text[0];
    throw UsageError{"--separator takes ',', ';' or 'tab', not '" + text + "'"};
}

/// A value as CSV writes it: numbers in full (they read back to the same number) with the
/// session's decimal separator, texts as they are, nothing for an empty field.
std::string csvValue(const document::Value& v, char decimalSeparator)
{
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v))
        return plainNumber(*d, decimalSeparator);
    if (const auto* t = std::get_if<std::string>(&v))
        return *t;
    return {};
}

int dumpCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 1, 1);
    const bool csv = args.has("--csv") || args.has("--separator");
    if (csv && args.has("--json"))
        throw UsageError{"--csv and --json exclude each other"};
    const char separator = separatorOption(args, ',');
    CliSession session(tableArgument(args), args, CliSession::Mode::ReadOnly, layoutFor(args));
    TraverseTable& table = session.table();
    const std::vector<int> fields = interchange::textExportFields(table, session.document().columns, textColumns(args));
    if (!csv && !args.has("--json")) {
        interchange::writeTableText(table, fields, out);
    } else {
        // The names of the fields written; a visible column without a field has none.
        std::vector<std::string> names;
        for (const int f : fields)
            names.push_back(f >= 0 ? table.fields()[static_cast<std::size_t>(f)].name : std::string());
        const char decimal = session.decimalSeparator();
        QJsonArray rows;
        if (csv)
            out << interchange::csvRecord(names, separator) << "\r\n";
        for (int row = 0; row < table.rowCount(); ++row) {
            std::vector<std::string> cells;
            QJsonObject object;
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const document::Value v = fields[i] >= 0 ? table.valueAt(row, fields[i]) : document::Value{};
                if (csv)
                    cells.push_back(csvValue(v, decimal));
                else if (fields[i] >= 0)
                    object.insert(QString::fromStdString(names[i]), jsonValue(v));
            }
            if (csv)
                out << interchange::csvRecord(cells, separator) << "\r\n";
            else
                rows.append(object);
        }
        if (!csv) {
            QJsonArray fieldNames;
            for (const std::string& n : names)
                if (!n.empty())
                    fieldNames.append(QString::fromStdString(n));
            writeJson(QJsonObject{{QStringLiteral("table"), QString::fromStdString(table.path().string())},
                                  {QStringLiteral("fields"), fieldNames},
                                  {QStringLiteral("rows"), rows}},
                      out);
        }
    }
    out.flush();
    session.close();
    session.checkComplete();
    return 0;
}

// --- import

bool isBlank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

/// Field names of the header line; an empty name (a column without a field, a trailing
/// separator) and the calculated fields are kept as "" so that their cells are skipped.
std::vector<std::string> headerFields(std::vector<std::string> names, const TraverseTable& table)
{
    while (!names.empty() && isBlank(names.back()))
        names.pop_back();
    if (names.empty())
        throw std::runtime_error("line 1: no field names");
    for (std::string& name : names) {
        name = trimmed(name);
        if (name.empty())
            continue;
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
    std::string text = readInput(args.positional.size() > 1 ? args.positional[1] : "-");
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    const char separator = separatorOption(args, interchange::detectCsvSeparator(text));
    const std::vector<interchange::CsvRecord> records = interchange::parseCsv(text, separator);
    CliSession session(path, args);
    TraverseTable& table = session.table();
    if (records.empty())
        throw std::runtime_error("no header line naming the fields");
    std::vector<std::string> names = headerFields(records.front().fields, table);
    // Typing metru sets Pairs from it and typing Pairs sets metru: a column of metru is typed
    // first, so that Pairs, when given, is kept exactly as written (and metru follows from it as
    // it did in the table the text came from).
    std::vector<std::size_t> order(names.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_partition(order.begin(), order.end(),
                          [&](std::size_t i) { return document::TraverseSchema::sameName(names[i], "metru"); });
    std::vector<std::string> orderedNames;
    for (const std::size_t i : order)
        orderedNames.push_back(names[i]);
    int imported = 0;
    // One walk over the table: observers (the known points) follow the rows once at its end,
    // not after every row, and the rows are made durable once.
    document::RowRestore walk(table);
    for (std::size_t n = 1; n < records.size(); ++n) {
        const interchange::CsvRecord& record = records[n];
        if (record.fields.size() == 1 && isBlank(record.fields.front()))
            continue;
        std::vector<std::string> cells;
        for (const std::size_t i : order)
            cells.push_back(i < record.fields.size() ? record.fields[i] : std::string());
        for (std::size_t i = order.size(); i < record.fields.size(); ++i)
            cells.push_back(record.fields[i]);
        try {
            interchange::appendTypedRow(table, orderedNames, cells, session.decimalSeparator());
        } catch (const std::exception& e) {
            std::string why = e.what();
            if (!why.empty() && why.back() == '.')
                why.pop_back();
            throw std::runtime_error("line " + std::to_string(record.line) + ": " + why + "; nothing was imported");
        }
        ++imported;
    }
    walk.finish();
    session.close();
    printStatus(args, out, std::to_string(imported) + (imported == 1 ? " row" : " rows") + " into " + path.string());
    return 0;
}

// --- the File menu's Save As and Rename: the table and its companions under a new name

/// Refuses a new name that is the table itself (the same path, or another name of the same file).
void refuseSameTable(const std::filesystem::path& from, const std::filesystem::path& to, const char* nothing)
{
    std::error_code ec;
    const bool same = std::filesystem::weakly_canonical(from, ec) == std::filesystem::weakly_canonical(to, ec)
                      || std::filesystem::equivalent(from, to, ec);
    if (same)
        throw ValueError{"'" + to.string() + "' is the table itself; " + nothing};
}

int saveAsCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 2, 2);
    const auto from = tableArgument(args);
    const std::filesystem::path to = tablePath(args.positional[1]);
    refuseSameTable(from, to, "nothing was copied");
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
    refuseSameTable(from, to, "nothing was renamed");
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
    registerCommand("new", "new TABLE.db [--code-page 1252|1251|866|437|850]", newCommand,
                    "Create TABLE.db as the New command does: one start row, a .inf companion with 64"
                    " pace pairs per 100 m and a start height of 420 m, and a .ing layout. An "
                    "existing file is refused. The table keeps its text in the code page N (1252, Western"
                    " European, by default; 1251 for Cyrillic; 866, 437 and 850 for DOS); text imported or"
                    " pasted is UTF-8 and is converted into it, and a character it cannot hold is refused.");
    registerCommand("info", "info TABLE.db [--json]", infoCommand,
                    "Print the fields, the row count, the code page, PairsPer100m and StartHeight of the table."
                    " --json prints one object: \"table\" (full path), \"level\", \"versionByte\", \"keyed\","
                    " \"blockSizeKb\", \"codePage\", \"sortOrder\" (null for none), \"rows\", \"pairsPer100m\""
                    " (pace pairs per 100 m), \"startHeight\" (metres), \"readOnly\" (why the table can only be read;"
                    " null when it can be written), \"notes\" (what the open found, as lines) and \"fields\""
                    " ([{\"name\", \"type\", \"size\" (bytes)}]).");
    registerCommand("dump", "dump TABLE.db [--visible] [--csv] [--separator SEP] [--json]", dumpCommand,
                    "Write the text export of every field (with --visible: of the visible columns) to"
                    " standard output. --csv writes CSV instead (RFC 4180: lines end in CR LF, a value holding"
                    " the separator, a quote or a line break is quoted): a header line of the field names,"
                    " then one line per row with numbers in full, so that import reads every value back."
                    " --separator SEP (',', ';' or 'tab'; ',' by default) implies --csv. --json prints one"
                    " object: \"table\" (full path), \"fields\" (the names written) and \"rows\" (one object"
                    " per row keyed by the table's field names; numbers as numbers, null for an empty field).");
    registerCommand("import", "import TABLE.db [--separator SEP] [TEXT|-]", importCommand,
                    "Append rows from TEXT (a file; - or nothing reads standard input) whose first line names"
                    " the fields, such as dump --csv writes. Values are separated by tabs, semicolons or commas"
                    " (the header line tells which; --separator SEP, one of ',', ';' or 'tab', says it), and a"
                    " value in double quotes may hold the separator, doubled quotes and line breaks. Columns of"
                    " F and G are skipped. A line that cannot be stored stops the import, and nothing is"
                    " imported.");
    registerCommand("save-as", "save-as TABLE.db NEW.db [--overwrite]", saveAsCommand,
                    "Copy TABLE.db and its companions (.inf, .ing) to NEW.db as the Save As command does;"
                    " TABLE.db and its companions stay as they are. An existing NEW.db is replaced only with"
                    " --overwrite, and never while another window or program has it open.");
    registerCommand("rename", "rename TABLE.db NEW.db", renameCommand,
                    "Rename TABLE.db and its companions to NEW.db as the Rename command does. An existing"
                    " NEW.db is refused.");
}

}  // namespace zelt::cli

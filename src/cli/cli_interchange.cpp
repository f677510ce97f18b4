// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli table interchange commands: paste a column, text export, spreadsheet export.
#include "cli/cli_commands.h"
#include "cli/cli_help.h"
#include "cli/cli_register.h"
#include "cli/cli_session.h"
#include "cli/cli_util.h"

#include "document/traverse_schema.h"
#include "interchange/paste.h"
#include "interchange/spreadsheet_export.h"
#include "interchange/text_export.h"
#include "interchange/xlsx_writer.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>

namespace zelt::cli {

namespace {

int rowOption(const Args& args)
{
    const std::string text = args.option("--row", "1");
    int row = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), row);
    if (ec != std::errc() || end != text.data() + text.size() || row < 1)
        throw UsageError{"--row is not a row number: '" + text + "'"};
    return row;
}

int pasteCommand(const Args& args, std::ostream& out, std::ostream&)
{
    expectPositional(args, 1, 2, "TABLE.db [TEXT|-]");
    const std::string field = args.option("--field");
    if (field.empty())
        throw UsageError{"--field NAME is required"};
    // Every traverse table has the same fields: a misspelt one is named before any input is read.
    std::vector<std::string> names;
    for (const document::FieldInfo& f : document::TraverseSchema::documentFields())
        names.push_back(f.name);
    if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return document::TraverseSchema::sameName(n, field); }))
        throw ValueError{"the table has no field '" + field + "'" + didYouMean(field, names)};
    const int row = rowOption(args);

    // The row is checked against the table before the text is read: a value the caller must
    // correct is named first.
    CliSession session(tableArgument(args), args);
    auto& table = session.table();
    if (table.rowCount() > 0 && row > table.rowCount())
        throw ValueError{"the table has " + std::to_string(table.rowCount()) + " rows; --row " + std::to_string(row)
                         + " is past its end"};
    const std::string text = readInput(args.positional.size() > 1 ? args.positional[1] : "-");
    if (table.rowCount() > 0)
        table.setRecNo(row);
    const std::size_t pasted = interchange::pasteColumn(table, field, text, session.decimalSeparator());
    const std::string name = table.field(field).name;
    session.close();
    printStatus(args, out, std::to_string(pasted) + " lines into " + name + " from row " + std::to_string(row));
    return 0;
}

int exportTxtCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 2, 2, "TABLE.db OUT.txt");
    OutputTarget target(args.positional[1], "export.txt");
    CliSession session(tableArgument(args), args, CliSession::Mode::ReadOnly, layoutFor(args));
    interchange::exportTextFile(session.table(), session.document().columns, textColumns(args), target.path());
    const int rows = session.table().rowCount();
    session.close();
    target.finish(out);
    printStatus(args, target.statusStream(out, err), std::to_string(rows) + " rows to " + target.name());
    session.checkComplete();
    return 0;
}

int exportXlsxCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 2, 2, "TABLE.db OUT.xlsx");
    // The workbook is Office Open XML: under another spreadsheet extension (.xls, .ods) a program
    // would take it for what it is not and refuse it as damaged.
    std::string extension = std::filesystem::path(args.positional[1]).extension().string();
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (args.positional[1] != "-" && !extension.empty() && extension != ".xlsx")
        throw ValueError{"'" + args.positional[1] + "' would hold an .xlsx workbook under a " + extension
                         + " name; name the file .xlsx"};
    OutputTarget target(args.positional[1], "export.xlsx");
    CliSession session(tableArgument(args), args, CliSession::Mode::ReadOnly, CliSession::Layout::Read);
    auto writer = interchange::XlsxWriter::toFile(target.path());
    writer.setNumberFormat(session.table().numberFormat());
    try {
        interchange::exportToSpreadsheet(session.table(), session.document().columns, writer);
    } catch (...) {
        // What reached the workbook before the error is kept, as in the spreadsheet program.
        try {
            writer.save();
        } catch (...) {
        }
        throw;
    }
    writer.save();
    const int rows = session.table().rowCount();
    session.close();
    target.finish(out);
    printStatus(args, target.statusStream(out, err), std::to_string(rows) + " rows to " + target.name());
    session.checkComplete();
    return 0;
}

}  // namespace

void registerInterchangeCommands()
{
    registerCommand("paste", "paste TABLE.db --field NAME [--row N] [TEXT|-]", pasteCommand,
                    "Paste a column of values, as copied from a spreadsheet (TEXT, a file; - or "
                    "nothing reads standard input), into the field NAME from row N on (row 1 by "
                    "default).");
    registerCommand("export-txt", "export-txt TABLE.db OUT.txt [--visible]", exportTxtCommand,
                    "Write the text export of every field (with --visible: of the visible columns) to OUT.txt"
                    " (- : standard output).");
    registerCommand("export-xlsx", "export-xlsx TABLE.db OUT.xlsx", exportXlsxCommand,
                    "Write the table into the spreadsheet workbook OUT.xlsx (- : standard output).");
}

}  // namespace zelt::cli

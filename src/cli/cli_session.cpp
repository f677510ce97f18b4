// SPDX-License-Identifier: GPL-3.0-or-later
// One table opened for one zelt-cli command, as a document window opens and closes it.
#include "cli/cli_session.h"

#include "compute/field_rules.h"
#include "document/document_files.h"
#include "interchange/layout_stream.h"

#include <QLocale>
#include <QString>

#include <stdexcept>

namespace zelt::cli {
namespace fs = std::filesystem;

namespace {

/// The decimal separator of the named locale ("de_DE" gives ','); '.' without --locale.
char separatorForLocale(const std::string& name)
{
    if (name.empty())
        return '.';
    const QLocale locale(QString::fromStdString(name));
    if (locale.language() == QLocale::C && name != "C" && name != "POSIX")
        throw UsageError{"unknown locale '" + name + "'"};
    const QString point = locale.decimalPoint();
    if (point.size() != 1 || point.at(0).unicode() > 0x7F)
        return '.';
    return static_cast<char>(point.at(0).unicode());
}

}  // namespace

fs::path tableArgument(const Args& args)
{
    if (args.positional.empty() || args.positional.front().empty())
        throw UsageError{"missing TABLE.db"};
    return fs::path(args.positional.front());
}

CliSession::CliSession(const fs::path& table, const Args& args, Mode mode)
    : m_doc(std::make_unique<document::Document>())
{
    m_decimalSeparator = separatorForLocale(args.option("--locale"));
    m_doc->table.setNumberFormat({m_decimalSeparator});

    std::error_code ec;
    const bool exists = fs::exists(table, ec);
    if (mode == Mode::OpenExisting && !exists)
        throw std::runtime_error("'" + table.string() + "' does not exist");
    if (mode == Mode::Create && exists)
        throw std::runtime_error("'" + table.string() + "' already exists");

    // The field rules belong to the window from its creation, before the table is opened.
    compute::attachFieldRules(*m_doc);
    const document::OpenOutcome outcome = document::openOrCreate(*m_doc, table);
    const std::string layout = args.option("--layout");
    if (!layout.empty())
        m_doc->columns = interchange::loadGridLayout(layout);
    else if (outcome.layoutToLoad)
        m_doc->columns = interchange::loadGridLayout(*outcome.layoutToLoad);
    m_opened = true;
}

CliSession::~CliSession()
{
    try {
        close();
    } catch (...) {  // the command's own error is the one reported
    }
}

void CliSession::close()
{
    if (!m_opened)
        return;
    m_opened = false;
    document::closeDocument(*m_doc, [](const fs::path& ing, const document::ColumnSet& columns) {
        interchange::saveGridLayout(columns, ing);
    });
}

}  // namespace zelt::cli

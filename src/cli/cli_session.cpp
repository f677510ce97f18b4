// SPDX-License-Identifier: GPL-3.0-or-later
// One table opened for one zelt-cli command, as a document window opens and closes it.
#include "cli/cli_session.h"

#include "base/atomic_file.h"
#include "compute/field_rules.h"
#include "document/document_journal.h"
#include "document/value_format.h"
#include "interchange/layout_stream.h"
#include "paradox/code_page.h"
#include "paradox/table_lock.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <iostream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace zelt::cli {
namespace fs = std::filesystem;

char decimalSeparatorOf(const Args& args)
{
    const std::string name = args.option("--locale");
    if (name.empty())
        return '.';
    const QLocale locale(QString::fromStdString(name));
    if (locale.language() == QLocale::C && name != "C" && name != "POSIX")
        throw UsageError{"unknown locale '" + name + "'; give a language and country such as de_DE, en_US, ru_RU, "
                         "or C"};
    const QString point = locale.decimalPoint();
    if (point.size() != 1 || point.at(0).unicode() > 0x7F)
        return '.';
    return static_cast<char>(point.at(0).unicode());
}

int codePageOf(const Args& args)
{
    const std::string text = args.option("--code-page", "1252");
    const std::vector<int> supported = document::CodePage::supported();
    const auto number = document::parseInteger(text);
    if (number && std::find(supported.begin(), supported.end(), *number) != supported.end())
        return *number;
    std::string list;
    for (const int n : supported)
        list += (list.empty() ? "" : ", ") + std::to_string(n);
    throw ValueError{"--code-page takes one of " + list + ", not '" + text + "'"};
}

CliSession::Layout layoutFor(const Args& args)
{
    return args.has("--visible") ? CliSession::Layout::Read : CliSession::Layout::Ignore;
}

fs::path tableArgument(const Args& args)
{
    if (args.positional.empty() || args.positional.front().empty())
        throw UsageError{"missing TABLE.db"};
    return tablePath(args.positional.front());
}

fs::path tablePath(const std::string& argument)
{
    if (argument.empty())
        throw UsageError{"an empty table name"};
    if (argument == "-")
        throw UsageError{"a table is a file: '-' (standard input or output) cannot be one"};
    // Messages and status lines name the table by its full path.
    std::error_code ec;
    const fs::path full = fs::absolute(argument, ec);
    return ec ? fs::path(argument) : full.lexically_normal();
}

HeldTableLock::HeldTableLock(const fs::path& table)
{
    m_fd = ::open(table.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0)
        throw std::runtime_error("Cannot lock the table " + document::fileErrorText(table, errno) + ". Nothing was changed.");
    std::string detail;
    for (int wait = 0; document::TableLock::tryLock(m_fd, detail) == document::TableLock::Result::Busy; ++wait) {
        if (wait == 50) {
            ::close(m_fd);
            m_fd = -1;
            throw std::runtime_error("The table '" + table.string() + "' is in use by another program. Nothing was changed.");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

HeldTableLock::~HeldTableLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

CliSession::CliSession(const fs::path& named, const Args& args, Mode mode, Layout layoutUse)
    : m_doc(std::make_unique<document::Document>())
{
    // Reached through a link, the document is the real table's, with its files beside it.
    const fs::path table = document::followTableLinks(named);
    m_decimalSeparator = decimalSeparatorOf(args);
    m_doc->table.setNumberFormat({m_decimalSeparator});
    const bool readOnly = mode == Mode::ReadOnly || mode == Mode::HeaderOnly;

    // A writing command gives another program's command on the table a moment to finish (most
    // take well under a second) before it is refused as in use below.
    if (!readOnly) {
        std::error_code ec;
        for (int wait = 0; wait < 50 && fs::exists(table, ec) && document::isTableHeldElsewhere(table); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    // A change another run left unfinished is rolled back (or a save completed) before anything
    // is decided from what is on disk; the note goes where the commands' notes go.
    try {
        const document::JournalOutcome recovered = document::recoverJournal(table);
        if (!recovered.note.empty())
            std::cerr << "warning: " << recovered.note << '\n';
    } catch (const document::JournalError& e) {
        if (!readOnly)
            throw;  // a read-only open reports it as a warning below
        m_unfinished = e.what();
    }
    std::error_code ec;
    const bool exists = fs::exists(table, ec);
    // A table another program is changing is refused before its companions are read: they may
    // be in the middle of being replaced.
    if (!readOnly && exists && document::isTableHeldElsewhere(table))
        throw std::runtime_error("The table '" + table.string()
                                 + "' is in use by another program. Nothing was changed.");
    if (mode != Mode::Create && !exists)
        throw std::runtime_error("'" + table.string() + "' does not exist");
    if (mode == Mode::Create && exists)
        throw std::runtime_error("'" + table.string() + "' already exists");

    // A layout named on the command line takes the place of the table's own .ing (and is saved
    // as the table's own by a command that writes).
    const std::string layout = args.option("--layout");
    document::DocumentSession::LayoutIo io;
    io.read = [this, useOwn = layout.empty(), layoutUse](document::Document& doc, const fs::path& ing) {
        if (!useOwn)
            return;
        try {
            doc.columns = interchange::loadLayoutCompanion(ing);
        } catch (const interchange::LayoutError& e) {
            if (layoutUse == Layout::Read)
                throw;
            // Left as it is: written over, the layout the user may still repair would be lost.
            m_keepLayoutFile = true;
            std::cerr << "zelt-cli: warning: " << e.what() << " This command does not use it and went on without it.\n";
        }
    };
    io.write = [this](const fs::path& ing, const document::ColumnSet& columns) {
        if (m_keepLayoutFile)
            return;
        // Replaced whole, so that a program reading the layout meanwhile finds the old or the new.
        try {
            interchange::saveGridLayout(columns, ing);
        } catch (const interchange::LayoutError& e) {
            throw document::CompanionError(e.what());
        }
    };
    m_session = std::make_unique<document::DocumentSession>(*m_doc, std::move(io));
    if (mode == Mode::Create)
        m_session->setNewTableCodePage(codePageOf(args));

    // The field rules belong to the window from its creation, before the table is opened.
    compute::attachFieldRules(*m_doc);
    // A command that writes is one change: a kill, a full disk or an error anywhere in it leaves
    // the table and its companions as they were (see close()).
    m_doc->table.setHeaderOnly(mode == Mode::HeaderOnly);
    const auto outcome = m_session->open(table, readOnly ? document::DocumentSession::Mode::ReadOnly
                                                         : document::DocumentSession::Mode::Edit,
                                         readOnly ? std::string() : args.command);
    for (const document::Diagnostic& d : outcome.journalNotes)
        std::cerr << document::diagnosticMessage(d) << '\n';
    for (const document::Diagnostic& d : outcome.companionNotes)
        std::cerr << document::diagnosticMessage(d) << '\n';
    m_unreadSurveyValues = outcome.unreadSurveyValues;
    if (!layout.empty()) {
        try {
            m_doc->columns = interchange::loadGridLayout(layout);
        } catch (...) {
            if (m_session->inChange())
                m_session->rollbackChange();  // the start row, if one was added, goes again
            throw;
        }
    }
    if (m_doc->table.isDamaged()) {
        m_damage = m_doc->table.readOnlyReason();
        m_rowsRead = m_doc->table.rowCount();
    }
    // A command that changes the table refuses one it cannot write, before it writes anything
    // (the session of a read-only table writes no companion either).
    if (!readOnly && m_doc->table.isReadOnly())
        throw std::runtime_error(m_doc->table.readOnlyReason() + " Nothing was changed.");
    m_opened = true;
}

CliSession::~CliSession()
{
    // Left without close(): the command failed, and its change is undone.
    try {
        if (m_opened && m_session->inChange())
            m_session->rollbackChange();
        else
            close();
    } catch (...) {  // the command's own error is the one reported; a journal left is acted on next time
    }
}

void CliSession::close()
{
    if (!m_opened)
        return;
    m_opened = false;
    try {
        m_session->close();
    } catch (const document::NotDurableError&) {
        throw;  // the change was made: nothing to undo
    } catch (const std::exception& e) {
        std::string message = e.what();
        try {
            m_session->rollbackChange();
            message = document::asSentence(message) + " Nothing was changed.";
        } catch (const std::exception& again) {
            message = document::asSentence(message) + " The change could not be undone (" + std::string(again.what())
                + "); it is undone when the table is opened next.";
        }
        throw std::runtime_error(message);
    }
}

void CliSession::checkComplete() const
{
    if (!m_unfinished.empty())
        throw PartialResult{"the rows read may be half changed by an unfinished change that could not be rolled back"};
    if (!m_damage.empty())
        throw PartialResult{m_damage + "\npartial result: " + std::to_string(m_rowsRead)
                            + (m_rowsRead == 1 ? " row" : " rows") + " read from a damaged table"};
}

}  // namespace zelt::cli

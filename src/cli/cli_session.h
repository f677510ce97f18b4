// SPDX-License-Identifier: GPL-3.0-or-later
// One table opened for one zelt-cli command, as a document window opens and closes it.
#pragma once

#include "cli/cli_commands.h"
#include "document/document.h"

#include <filesystem>
#include <memory>

namespace zelt::cli {

/// Opens a table the way opening a document window does: the table is opened (or created), the
/// .inf companion read, the start-row rule applied, the field rules attached and the .ing layout
/// loaded (or the layout named by --layout). close() ends the command as closing the window does:
/// the .ing is written, the table closed (an unposted row dropped), the .inf written.
/// The destructor closes a session that was not closed (errors then ignored), so a command that
/// fails half-way leaves its companions as a window closed after the error would.
/// A session whose opening failed writes no companions.
class CliSession {
public:
    enum class Mode {
        OpenExisting,  ///< the table must exist ("... does not exist" otherwise)
        Create,        ///< the table must not exist; created as the New command creates it
    };

    /// Honours the global options --layout FILE.ing and --locale NAME (decimal separator of
    /// numbers read and written). Throws the engine's or the companion's error.
    CliSession(const std::filesystem::path& table, const Args& args, Mode mode = Mode::OpenExisting);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    document::Document& document() { return *m_doc; }
    document::TraverseTable& table() { return m_doc->table; }
    /// Decimal separator for numbers given on the command line or in imported text.
    char decimalSeparator() const { return m_decimalSeparator; }
    /// Writes .ing, closes the table, writes .inf. Throws the companion's I/O error.
    void close();

private:
    std::unique_ptr<document::Document> m_doc;
    char m_decimalSeparator = '.';
    bool m_opened = false;
};

/// The table argument of a command: the first positional argument, or a UsageError.
std::filesystem::path tableArgument(const Args& args);

}  // namespace zelt::cli

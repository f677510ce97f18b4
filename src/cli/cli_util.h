// SPDX-License-Identifier: GPL-3.0-or-later
// Argument helpers shared by the zelt-cli command groups.
#pragma once

#include "cli/cli_commands.h"
#include "base/diagnostic.h"
#include "interchange/text_export.h"

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class QGuiApplication;

namespace zelt::cli {

/// Throws UsageError "expects NAMES" unless there are `min` to `max` positional arguments.
void expectPositional(const Args& args, std::size_t min, std::size_t max, const std::string& names);

/// The whole text of a file, or of standard input for "-". Throws "cannot read 'FILE'".
std::string readInput(const std::string& source);

/// Shortest form that reads back to the same double, with '.', whatever the process locale
/// (negative zero as 0); "null" when it cannot be written.
std::string jsonNumber(double v);
/// `decimals` places with `separator` as the decimal separator, never "-0.00"; `sign` writes a
/// '+' before a positive value.
std::string fixedNumber(double v, int decimals, char separator, bool sign = false);
/// jsonNumber() with `separator` as the decimal separator.
std::string plainNumber(double v, char separator);

/// The fields a text export writes: those of the visible columns with --visible, else all.
interchange::TextColumns textColumns(const Args& args);

/// The GUI application that fonts and painting need, on the offscreen platform unless
/// QT_QPA_PLATFORM names another; no window is ever shown.
std::unique_ptr<QGuiApplication> windowlessGuiApplication();

/// Writes the status line "COMMAND: text" (what the command did) on `out`, unless --quiet was
/// given. Errors and warnings are never status lines.
void printStatus(const Args& args, std::ostream& out, const std::string& text);

/// Refuses (std::runtime_error "cannot write '<full path>': <reason>") a file to be written whose
/// folder is missing, is no folder or cannot be written into, and a path that names a folder.
/// Creates nothing: a mistyped folder is the user's to fix.
void checkOutputPath(const std::filesystem::path& path);

/// The file a command makes, named by an output argument: a path, or "-" for standard output.
///
/// A path is checked before any work: its folder must exist and be writable, and the path must
/// not name a folder. A refusal names the full path and the system's reason ("No such file or
/// directory", "Permission denied"); no folder is ever created. For "-" the writer writes a file
/// in a private temporary folder (under $TMPDIR), named `tempName` so that its extension tells
/// the writer the format; finish() copies it to standard output. Writers of a zip workbook or a
/// PDF need a file they can seek in, which a pipe is not.
class OutputTarget {
public:
    OutputTarget(const std::string& argument, const std::string& tempName);
    ~OutputTarget();
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    bool isStandardOutput() const { return !m_tempFolder.empty(); }
    /// Where the writer writes: the path given, or the temporary file.
    const std::filesystem::path& path() const { return m_path; }
    /// The output as status lines name it: the path given, or "standard output".
    std::string name() const;
    /// Where the command's status lines go: `err` when the output itself is on standard output.
    std::ostream& statusStream(std::ostream& out, std::ostream& err) const;
    /// For "-": copies the written file to `out` (standard output). Throws when it cannot be read.
    void finish(std::ostream& out);

private:
    std::string m_argument;
    std::filesystem::path m_path;
    std::filesystem::path m_tempFolder;  ///< empty: a file path was given
};

/// Readies the standard streams before any file is opened: a closed descriptor 0, 1 or 2 is taken
/// by /dev/null (standard output's opened for reading only, so that writing it fails), so that no
/// table or companion the command opens becomes a standard stream and receives its messages; and
/// std::cout writes descriptor 1 through a buffer that keeps the system's reason for the first
/// write that failed.
void setUpStandardStreams();
/// What went wrong with standard output, for a message: "cannot write to standard output: No
/// space left on device", "...: it is closed".
std::string standardOutputFailure();
/// Flushes `out` (standard output); throws std::runtime_error(standardOutputFailure()) when any
/// of it could not be written. A success line comes after it, never before.
void flushOutput(std::ostream& out);

/// Writes each diagnostic as one line (document::diagnosticMessage: "warning: Row 3, FillHeight: text").
void printDiagnostics(std::ostream& out, const std::vector<document::Diagnostic>& diagnostics);

}  // namespace zelt::cli

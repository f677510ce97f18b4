// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's command line: table paths to open, --help and --version.
#pragma once

#include <QStringList>

#include <optional>

/// The outcome of reading the command line before any window or display is touched.
struct AppCommandLine {
    QStringList files;            ///< traverse tables to open, as given
    std::optional<int> exitCode;  ///< set when the program has answered (help, version, usage error)
};

/// Reads `arguments` (the program name first). `--help`/`-h` print the help and `--version`/`-v`
/// the version on standard output (exit 0; 1 when that cannot be written); an unknown option
/// prints the message and the help on standard error (exit 2). The toolkit's own options
/// (-platform NAME, -style NAME, ...) pass.
AppCommandLine readAppCommandLine(const QStringList& arguments);

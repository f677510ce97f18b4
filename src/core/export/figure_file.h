// SPDX-License-Identifier: GPL-3.0-or-later
// The figure file "dani.dat": sections of a key line and a line of (angle, length) number pairs.
#pragma once

#include "compute/route_geometry.h"
#include "document/traverse_table.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::mapexport {

using zelt::compute::FigureStep;
using zelt::compute::figureKey;

/// The figure file's contents. Number lines are checked when their key is asked for, so a bad
/// line in a section that no row uses does not stop an export.
class FigureFile {
public:
    static constexpr const char* kFileName = "dani.dat";
    static constexpr std::size_t kMaxBytes = 1 << 20;

    /// Reads `file` (see parse() for its text); MapIoError when it is missing, unreadable or
    /// larger than kMaxBytes.
    static FigureFile load(const std::filesystem::path& file, int codePage = 1252);
    /// Splits text into lines (LF or CR LF); `name` is used in error messages. Text that is
    /// valid UTF-8 is taken as UTF-8 (a byte order mark dropped); any other text is read in
    /// `codePage` (the table's, whose turn notes are matched against the keys; 1252 when it is
    /// not one of the built-in code pages), so a key with letters beyond ASCII matches either way.
    static FigureFile parse(std::string_view text, std::string name, int codePage = 1252);
    /// The code page a table's figure file is read in: the one its header records (the
    /// code-page setting for old tables), 1252 when the table is not open.
    static int codePageOf(zelt::document::TraverseTable& table);

    /// The points of every section whose key line equals `key` exactly, in file order (none when
    /// the key is missing). MapIoError for an odd count of numbers or text where a number belongs.
    std::vector<FigureStep> figure(std::string_view key) const;

    /// A lookup over this file's figures that reads each key's line once (the file is copied into
    /// the lookup, which therefore stands alone).
    zelt::compute::FigureLookup cachedLookup() const;

    /// The first folder of `dirs` holding "dani.dat", as a file path; MapIoError naming the
    /// folders when none does.
    static std::filesystem::path locate(const std::vector<std::filesystem::path>& dirs);
    /// The folder of the running program, then its ../share/zelt, then the configured data folder.
    static std::vector<std::filesystem::path> defaultSearchDirs();

private:
    std::string m_name;
    std::vector<std::string> m_lines;
};

}  // namespace zelt::mapexport

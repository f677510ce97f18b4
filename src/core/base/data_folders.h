// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's own data files (figure file, fixed layouts) are looked for.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace zelt::document {

/// The folder of the running program (empty when the system cannot tell).
std::filesystem::path programFolder();

/// The folders searched for the program's data files, in order: `programFolder` itself (a build
/// tree keeps its data files beside the programs), `../share/zelt` from it (an installed tree,
/// wherever it was unpacked or moved), and last the data folder named when the program was
/// configured. Empty entries and repeats are left out.
std::vector<std::filesystem::path> dataFolders(const std::filesystem::path& programFolder);
/// dataFolders() of the running program.
std::vector<std::filesystem::path> dataFolders();

/// The first `folder / fileName` of `folders` that is a regular file; empty when none is.
std::filesystem::path findDataFile(std::string_view fileName, const std::vector<std::filesystem::path>& folders);

}  // namespace zelt::document

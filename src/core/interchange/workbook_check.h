// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a written workbook back before it takes its name: every part whole, every cell there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace zelt::interchange {

/// Reads the .xlsx package `file` back and checks it as written by the spreadsheet library,
/// whose own temporary files swallow write errors: every part inflates to the length and
/// checksum the package gives, every XML part runs from its declaration to the end tag of its
/// root element, and the worksheet holds `cells` cells. Returns an empty string when it does,
/// else what is wrong ("the worksheet holds 3 of its 120 cells").
std::string checkWorkbook(const std::filesystem::path& file, std::uint64_t cells);

}  // namespace zelt::interchange

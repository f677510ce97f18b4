// SPDX-License-Identifier: GPL-3.0-or-later
// The grid layout stream (.ing files): reading and writing a column set as tagged bytes.
#pragma once

#include "document/column_set.h"
#include "interchange/column_defaults.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <vector>

namespace zelt::interchange {

/// A failure of reading or writing a layout; what() is the message shown to the user:
/// "Cannot open file %s", "Cannot create file %s", "Invalid stream format",
/// "Property does not exist", "Invalid property value", "Stream read error",
/// "Stream write error".
class LayoutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kInvalidStreamFormat = "Invalid stream format";
inline constexpr const char* kPropertyDoesNotExist = "Property does not exist";
inline constexpr const char* kInvalidPropertyValue = "Invalid property value";
inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kStreamWriteError = "Stream write error";

/// The bytes of a layout file holding `set`. Properties that follow their default are left out;
/// `defaults` decides which values are defaults, and fills in the rest of a column's own font.
std::vector<std::uint8_t> writeLayout(const document::ColumnSet& set, const ColumnDefaults& defaults);
/// As above with the traverse table's fields in a grid of standard metrics.
std::vector<std::uint8_t> writeLayout(const document::ColumnSet& set);

/// Parses a whole layout stream into a new column set; every property read becomes the
/// column's own value. Throws LayoutError; never reads past `bytes` and never allocates more
/// than the stream's length for a string.
document::ColumnSet readLayout(std::span<const std::uint8_t> bytes);

/// `SaveGridLayout`: writes `set` into a temporary file beside `path` and renames it over
/// `path`, so a failure leaves an existing file as it was. Throws LayoutError
/// "Cannot write the layout file: '<full path>': <system's reason>"; an existing file that is not a
/// regular file of at most 1 MiB is refused and left as it is.
void saveGridLayout(const document::ColumnSet& set, const std::filesystem::path& path,
                    const ColumnDefaults& defaults);
void saveGridLayout(const document::ColumnSet& set, const std::filesystem::path& path);

/// `LoadGridLayout`: reads and parses the whole file at `path`; the caller replaces its set
/// only with the returned one, so a failure leaves the grid's set as it was.
/// Throws LayoutError naming the full path: "Cannot open file '<path>': <system's reason>",
/// "The layout file '<path>' is empty.", "... is damaged (<stream message>).", or
/// "... is a named pipe, not a regular file.".
document::ColumnSet loadGridLayout(const std::filesystem::path& path);

/// As loadGridLayout for a table's own .ing companion: a refusal also tells the user that
/// deleting the file brings back the built-in layout.
document::ColumnSet loadLayoutCompanion(const std::filesystem::path& path);

}  // namespace zelt::interchange

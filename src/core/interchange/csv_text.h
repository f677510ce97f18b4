// SPDX-License-Identifier: GPL-3.0-or-later
// Comma-separated values (RFC 4180): fields quoted where they must be, records read back whole.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::interchange {

/// Text that is no well-formed CSV; what() names the line ("line 4: a quoted value is not closed").
class CsvError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The separators a CSV text may use: comma, semicolon, tab.
bool isCsvSeparator(char c);

/// `value` as one CSV field: as it is, or in double quotes (each quote doubled) when it holds the
/// separator, a quote, a line break, or begins or ends with a blank that a reader might trim.
std::string csvField(std::string_view value, char separator);

/// The fields joined by `separator`, each through csvField(), without a line end.
std::string csvRecord(const std::vector<std::string>& fields, char separator);

/// One record read back: its fields and the line (from 1) it begins on.
struct CsvRecord {
    std::size_t line = 0;
    std::vector<std::string> fields;
};

/// Splits `text` into records. A field that begins with '"' is quoted: it ends at the next single
/// quote, and may hold separators, doubled quotes and line breaks; any other field is taken as it
/// stands up to the next separator or line end (a quote inside it is an ordinary character, so
/// text written without quoting reads as before). Lines end in LF or CR LF; the line end after
/// the last record is optional, and a line with nothing on it is no record. Throws CsvError for
/// a quoted field that is not closed or is followed by anything but a separator or a line end.
std::vector<CsvRecord> parseCsv(std::string_view text, char separator);

/// The separator of a text whose first line is a header of names: a tab if that line holds one
/// outside quotes, else a semicolon, else a comma; a semicolon when it holds none of them (a
/// single column).
char detectCsvSeparator(std::string_view text);

}  // namespace zelt::interchange

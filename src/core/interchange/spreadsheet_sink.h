// SPDX-License-Identifier: GPL-3.0-or-later
// The receiving end of the spreadsheet export: the calls a spreadsheet program's automation gets.
#pragma once

#include <stdexcept>
#include <string>

namespace zelt::interchange {

/// A failing call of the spreadsheet side; what() is the message shown to the user.
class SpreadsheetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Receives the export as a spreadsheet program's automation interface would: the application
/// is shown, a workbook added, then cell values are put through a moving cell reference.
/// Cell references are in A1 notation ("A2", "N15"). Every call may throw SpreadsheetError.
class SpreadsheetSink {
public:
    virtual ~SpreadsheetSink() = default;

    /// Application `Visible` := true.
    virtual void show() = 0;
    /// Application `Workbooks.Add` with a null template: a new, empty workbook becomes active.
    virtual void addWorkbook() = 0;
    /// cell := Application `ActiveCell` (A1 of the new workbook).
    virtual void activeCell() = 0;
    /// cell `Value` := `text`, passed as a string.
    virtual void setValue(const std::string& text) = 0;
    /// cell := cell `Next` (the cell to the right).
    virtual void next() = 0;
    /// cell := Application `Range(first, last)`; the reference then stands on that range.
    virtual void range(const std::string& first, const std::string& last) = 0;
    /// The current range's `AutoFormat` with table format number `format`; the other six
    /// arguments (number, font, alignment, border, pattern, width) are null.
    virtual void autoFormat(int format) = 0;
};

}  // namespace zelt::interchange

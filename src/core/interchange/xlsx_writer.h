// SPDX-License-Identifier: GPL-3.0-or-later
// A spreadsheet sink that collects the export and writes it as an .xlsx workbook.
#pragma once

#include "document/value_format.h"
#include "interchange/spreadsheet_sink.h"

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zelt::interchange {

/// Collects the cells the export puts and writes them, with the table format asked for, into
/// a real .xlsx workbook (one sheet). As the spreadsheet program does with a value put as text,
/// a text that is a number in the number format given (the document's) becomes a numeric cell,
/// shown with as many decimals as the text has ("0", "0.0", "0.00"; more decimals or an exponent:
/// the general format); any other text stays a text cell. Each `addWorkbook` starts a new
/// workbook; `save` writes the one started last. The workbook's XML never depends on the process
/// locale.
///
/// Table format 1 gives the range a bold header row on a grey band with a rule below it,
/// alternately shaded body rows, a rule under the last row and columns widened to their texts.
///
/// Memory stays flat however long the table: the cells put go to a temporary file as they
/// come, and the workbook is written row by row (libxlsxwriter's constant-memory mode, which
/// stores texts in their cells rather than in a shared list).
class XlsxWriter : public SpreadsheetSink {
public:
    XlsxWriter(XlsxWriter&&) noexcept;
    XlsxWriter& operator=(XlsxWriter&&) noexcept;
    ~XlsxWriter() override;

    /// Workbooks go into `folder` as "Book1.xlsx", "Book2.xlsx", ...: each new workbook takes
    /// the first number whose file does not exist yet, so no earlier export is overwritten.
    static XlsxWriter inFolder(std::filesystem::path folder);
    /// The workbook goes to `path`; an existing file is replaced.
    static XlsxWriter toFile(std::filesystem::path path);

    void show() override {}
    void addWorkbook() override;
    void activeCell() override;
    void setValue(const std::string& text) override;
    void next() override;
    void range(const std::string& first, const std::string& last) override;
    void autoFormat(int format) override;

    /// Writes the current workbook (the folder of inFolder is created if needed; the folder of
    /// toFile must exist). Throws SpreadsheetError
    /// naming the file when it cannot be written. Returns its path.
    std::filesystem::path save();
    /// The number format that decides which texts are numbers (default: '.' as separator).
    void setNumberFormat(document::NumberFormat format) { m_numbers = format; }
    /// The file of the current workbook (chosen by `addWorkbook`).
    const std::filesystem::path& workbookPath() const { return m_path; }

    /// A rectangle of cells.
    struct Area {
        int firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;  ///< 0-based, inclusive
    };

private:

    /// The cells put so far, in the order they were put (defined in the .cpp).
    class CellSpool;

    XlsxWriter(std::filesystem::path folder, std::filesystem::path file);
    void requireWorkbook() const;

    std::filesystem::path m_folder;  ///< empty: fixed file
    std::filesystem::path m_path;
    bool m_hasWorkbook = false;
    std::unique_ptr<CellSpool> m_cells;
    Area m_current;                                       ///< the range the reference stands on
    std::vector<Area> m_formatted;                        ///< ranges given table format 1
    document::NumberFormat m_numbers;
};

/// Parses "A1".."XFD1048576" into 0-based (row, column); throws SpreadsheetError otherwise.
std::pair<int, int> parseCellReference(const std::string& ref);

}  // namespace zelt::interchange

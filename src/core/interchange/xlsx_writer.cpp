// SPDX-License-Identifier: GPL-3.0-or-later
// A spreadsheet sink that collects the export and writes it as an .xlsx workbook.
#include "interchange/xlsx_writer.h"

#include "base/atomic_file.h"
#include "interchange/workbook_check.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <map>
#include <optional>

namespace zelt::interchange {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

/// The look of a cell: its place in a range of table format 1 and its number format.
enum class Look { None, Header, Band, Plain, LastBand, LastPlain };
/// Number formats of numeric cells, by the decimals their text showed; General for the rest.
enum class Digits { General, Zero, One, Two };

/// Formats of the workbook, created on first use (a workbook format is needed for every
/// combination of table look and number format that occurs).
class Formats {
public:
    explicit Formats(lxw_workbook* wb) : m_wb(wb) {}

    lxw_format* get(Look look, Digits digits)
    {
        if (look == Look::None && digits == Digits::General)
            return nullptr;
        lxw_format*& f = m_made[{look, digits}];
        if (f)
            return f;
        f = workbook_add_format(m_wb);
        if (look == Look::Header) {
            format_set_bold(f);
            format_set_bg_color(f, 0xD9D9D9);
            format_set_top(f, LXW_BORDER_THIN);
            format_set_bottom(f, LXW_BORDER_MEDIUM);
        }
        if (look == Look::Band || look == Look::LastBand)
            format_set_bg_color(f, 0xF2F2F2);
        if (look == Look::LastBand || look == Look::LastPlain)
            format_set_bottom(f, LXW_BORDER_THIN);
        // Number format codes are stored with '.', whatever the reader's locale.
        if (digits == Digits::Zero)
            format_set_num_format(f, "0");
        else if (digits == Digits::One)
            format_set_num_format(f, "0.0");
        else if (digits == Digits::Two)
            format_set_num_format(f, "0.00");
        return f;
    }

private:
    lxw_workbook* m_wb;
    std::map<std::pair<Look, Digits>, lxw_format*> m_made;
};

/// The number a cell text stands for in the document's format, with the decimals it shows:
/// an optional minus, digits, optionally the separator and digits, optionally an exponent.
/// Blanks, a plus sign or the other separator keep a text a text.
std::optional<std::pair<double, Digits>> numberOf(const std::string& text, char separator)
{
    if (text.empty() || text.front() == '+' || text.front() == ' ' || text.back() == ' ' || text.front() == '\t'
        || text.back() == '\t')
        return std::nullopt;
    const std::optional<double> v = document::parseDecimal(text, separator);
    if (!v)
        return std::nullopt;
    if (text.find_first_of("eE") != std::string::npos)
        return std::pair{*v, Digits::General};
    const auto sep = text.find(separator);
    const std::size_t decimals = sep == std::string::npos ? 0 : text.size() - sep - 1;
    const Digits d = decimals == 0 ? Digits::Zero : decimals == 1 ? Digits::One : decimals == 2 ? Digits::Two
                                                                                               : Digits::General;
    return std::pair{*v, d};
}

/// libxlsxwriter prints numbers and widths into the XML with the C library's printf, which
/// follows the process locale (a desktop program under a comma locale would write "10,5").
/// While the workbook is built and written, this thread uses the classic "C" locale.
class ClassicLocale {
public:
    ClassicLocale() : m_c(::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr)))
    {
        if (m_c)
            m_old = ::uselocale(m_c);
    }
    ~ClassicLocale()
    {
        if (m_c) {
            ::uselocale(m_old);
            ::freelocale(m_c);
        }
    }
    ClassicLocale(const ClassicLocale&) = delete;
    ClassicLocale& operator=(const ClassicLocale&) = delete;

private:
    locale_t m_c;
    locale_t m_old = LC_GLOBAL_LOCALE;
};

std::string columnName(int col)
{
    std::string s;
    for (int c = col + 1; c > 0; c = (c - 1) / 26)
        s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
    return s;
}

/// Display width of a text in characters (UTF-8 continuation bytes do not count).
double textWidth(const std::string& s)
{
    return static_cast<double>(std::count_if(s.begin(), s.end(), [](unsigned char c) { return (c & 0xC0) != 0x80; }));
}

/// The message of a failed workbook: the library's file and zip errors come from the system
/// calls below them, whose errno says what happened ("No space left on device"); its other
/// errors keep the library's own text.
std::string workbookFailure(const fs::path& target, lxw_error error, int systemError)
{
    switch (error) {
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        if (systemError != 0)
            return document::fileErrorText(target, systemError);
        break;
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return document::fileErrorText(target, ENOMEM);
    default:
        break;
    }
    return "'" + target.string() + "': " + lxw_strerror(error);
}

}  // namespace

/// The cells put, kept in an anonymous temporary file in the order they came (row, column,
/// length, UTF-8 bytes; binary, so no locale is involved). The export puts them row by row,
/// which is the order the workbook is written in; a sink used otherwise (a cell put twice, an
/// earlier cell after a later one) is sorted in memory when saved.
class XlsxWriter::CellSpool {
public:
    CellSpool() = default;
    CellSpool(const CellSpool&) = delete;
    CellSpool& operator=(const CellSpool&) = delete;
    ~CellSpool()
    {
        if (m_file)
            std::fclose(m_file);
    }

    void put(int row, int col, const std::string& text)
    {
        if (!m_file && !(m_file = std::tmpfile()))
            throw SpreadsheetError(std::string("Cannot make a temporary file for the workbook: ") + std::strerror(errno));
        if (row < m_lastRow || (row == m_lastRow && col <= m_lastCol))
            m_inOrder = false;
        m_lastRow = row;
        m_lastCol = col;
        const std::uint32_t head[3] = {static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(col),
                                       static_cast<std::uint32_t>(text.size())};
        if (std::fwrite(head, sizeof head, 1, m_file) != 1
            || (!text.empty() && std::fwrite(text.data(), text.size(), 1, m_file) != 1))
            m_failed = m_failed ? m_failed : errno;
    }

    /// Calls `f(row, col, text)` for every cell in row order, each cell once with its last text.
    template<class F>
    void forEach(const fs::path& target, F&& f)
    {
        // Buffered cells are written out here: a failure of that write counts as much as one before.
        if (m_file && std::fflush(m_file) != 0 && !m_failed)
            m_failed = errno ? errno : EIO;
        if (m_failed)
            throw SpreadsheetError("Cannot write the workbook '" + target.string()
                                   + "': its cells could not be kept in a temporary file: " + document::systemReason(m_failed));
        if (!m_file)
            return;
        std::rewind(m_file);
        if (!m_inOrder) {
            std::map<std::pair<int, int>, std::string> sorted;
            read([&](int r, int c, std::string& text) { sorted[{r, c}] = std::move(text); });
            for (auto& [cell, text] : sorted)
                f(cell.first, cell.second, text);
            return;
        }
        read([&](int r, int c, std::string& text) { f(r, c, text); });
    }

private:
    template<class F>
    void read(F&& f)
    {
        std::uint32_t head[3];
        std::string text;
        while (std::fread(head, sizeof head, 1, m_file) == 1) {
            text.resize(head[2]);
            if (head[2] && std::fread(text.data(), head[2], 1, m_file) != 1)
                break;
            f(static_cast<int>(head[0]), static_cast<int>(head[1]), text);
        }
        if (std::ferror(m_file))
            throw SpreadsheetError(std::string("Cannot read the cells back from their temporary file: ") + std::strerror(errno));
    }

    std::FILE* m_file = nullptr;
    bool m_inOrder = true;
    int m_lastRow = -1, m_lastCol = -1;
    int m_failed = 0;
};

std::pair<int, int> parseCellReference(const std::string& ref)
{
    std::size_t i = 0;
    long col = 0;
    while (i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])) && col <= kMaxColumns)
        col = col * 26 + (std::toupper(static_cast<unsigned char>(ref[i++])) - 'A' + 1);
    long row = 0;
    const std::size_t digitsFrom = i;
    while (i < ref.size() && std::isdigit(static_cast<unsigned char>(ref[i])) && row <= kMaxRows)
        row = row * 10 + (ref[i++] - '0');
    if (col == 0 || i == digitsFrom || i != ref.size() || col > kMaxColumns || row < 1 || row > kMaxRows)
        throw SpreadsheetError("Invalid cell reference \"" + ref + "\"");
    return {static_cast<int>(row - 1), static_cast<int>(col - 1)};
}

XlsxWriter::XlsxWriter(fs::path folder, fs::path file) : m_folder(std::move(folder)), m_path(std::move(file)) {}
XlsxWriter::XlsxWriter(XlsxWriter&&) noexcept = default;
XlsxWriter& XlsxWriter::operator=(XlsxWriter&&) noexcept = default;
XlsxWriter::~XlsxWriter() = default;

XlsxWriter XlsxWriter::inFolder(fs::path folder)
{
    return XlsxWriter(std::move(folder), {});
}

XlsxWriter XlsxWriter::toFile(fs::path path)
{
    return XlsxWriter({}, std::move(path));
}

void XlsxWriter::addWorkbook()
{
    if (!m_folder.empty()) {
        std::error_code ec;
        for (int n = 1;; ++n) {
            fs::path candidate = m_folder / ("Book" + std::to_string(n) + ".xlsx");
            if (!fs::exists(candidate, ec)) {
                m_path = std::move(candidate);
                break;
            }
        }
    }
    m_hasWorkbook = true;
    m_cells = std::make_unique<CellSpool>();
    m_formatted.clear();
    m_current = {};
}

void XlsxWriter::requireWorkbook() const
{
    if (!m_hasWorkbook)
        throw SpreadsheetError("No workbook is open");
}

void XlsxWriter::activeCell()
{
    requireWorkbook();
    m_current = {};
}

void XlsxWriter::setValue(const std::string& text)
{
    requireWorkbook();
    // A value put into a range fills all of it, as the spreadsheet does.
    for (int r = m_current.firstRow; r <= m_current.lastRow; ++r)
        for (int c = m_current.firstCol; c <= m_current.lastCol; ++c)
            m_cells->put(r, c, text);
}

void XlsxWriter::next()
{
    requireWorkbook();
    if (m_current.firstCol + 1 >= kMaxColumns)
        throw SpreadsheetError("The sheet has no column after " + columnName(m_current.firstCol));
    m_current = {m_current.firstRow, m_current.firstCol + 1, m_current.firstRow, m_current.firstCol + 1};
}

void XlsxWriter::range(const std::string& first, const std::string& last)
{
    requireWorkbook();
    const auto [r1, c1] = parseCellReference(first);
    const auto [r2, c2] = parseCellReference(last);
    m_current = {std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
}

void XlsxWriter::autoFormat(int format)
{
    requireWorkbook();
    if (format != 1)
        throw SpreadsheetError("Table format " + std::to_string(format) + " is not available");
    m_formatted.push_back(m_current);
}

namespace {

using Area = XlsxWriter::Area;

/// Writes one worksheet row by row, as constant-memory mode needs: the cells with a text as
/// they come (in row order), and between them the empty cells that a formatted range styles.
class SheetStream {
public:
    SheetStream(lxw_workbook* wb, lxw_worksheet* ws, const std::vector<Area>& formatted, char separator)
        : m_ws(ws), m_formats(wb), m_formatted(formatted), m_separator(separator)
    {
        for (const Area& a : formatted) {
            m_lastFormattedRow = std::max(m_lastFormattedRow, a.lastRow);
            m_lastFormattedCol = std::max(m_lastFormattedCol, a.lastCol);
        }
    }

    void cell(int r, int c, const std::string& text)
    {
        blanksUpTo(r, c);
        const auto row = static_cast<lxw_row_t>(r);
        const auto col = static_cast<lxw_col_t>(c);
        const Look look = lookOf(r, c);
        if (const auto number = numberOf(text, m_separator)) {
            written(worksheet_write_number(m_ws, row, col, number->first, m_formats.get(look, number->second)), true);
        } else {
            // An empty text is an empty cell, which the sheet holds only when it has a look.
            lxw_format* format = m_formats.get(look, Digits::General);
            written(worksheet_write_string(m_ws, row, col, text.c_str(), format), !text.empty() || format);
        }
        if (look != Look::None)
            m_widths[c] = std::max(m_widths[c], textWidth(text) + 2);
        m_atRow = r;
        m_atCol = c + 1;
    }

    /// The styled empty cells after the last text, the column widths; the first error met.
    lxw_error finish()
    {
        if (m_lastFormattedRow >= 0)
            blanksUpTo(m_lastFormattedRow + 1, 0);
        for (const auto& [col, width] : m_widths)
            worksheet_set_column(m_ws, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col),
                                 std::clamp(width, 8.43, 60.0), nullptr);
        return m_error;
    }

private:
    /// A cell inside a formatted range takes its look (the first range that holds it).
    Look lookOf(int r, int c) const
    {
        for (const Area& a : m_formatted) {
            if (r < a.firstRow || r > a.lastRow || c < a.firstCol || c > a.lastCol)
                continue;
            if (r == a.firstRow)
                return Look::Header;
            const bool shaded = (r - a.firstRow) % 2 == 0;
            if (r == a.lastRow)
                return shaded ? Look::LastBand : Look::LastPlain;
            return shaded ? Look::Band : Look::Plain;
        }
        return Look::None;
    }

    /// Styles the empty cells of formatted ranges from the first cell not written yet up to,
    /// not including, (row, col).
    void blanksUpTo(int row, int col)
    {
        while ((m_atRow < row || (m_atRow == row && m_atCol < col)) && m_atRow <= m_lastFormattedRow) {
            const int end = m_atRow < row ? m_lastFormattedCol + 1 : std::min(col, m_lastFormattedCol + 1);
            for (; m_atCol < end; ++m_atCol) {
                const Look look = lookOf(m_atRow, m_atCol);
                if (look != Look::None) {
                    lxw_format* format = m_formats.get(look, Digits::General);
                    written(worksheet_write_blank(m_ws, static_cast<lxw_row_t>(m_atRow),
                                                  static_cast<lxw_col_t>(m_atCol), format),
                            format != nullptr);
                }
            }
            if (m_atRow == row)
                break;
            ++m_atRow;
            m_atCol = 0;
        }
    }

    void keep(lxw_error e)
    {
        if (m_error == LXW_NO_ERROR)
            m_error = e;
    }
    /// Keeps the error of writing one cell, and counts the cell when the sheet holds it.
    void written(lxw_error e, bool holdsCell)
    {
        keep(e);
        if (e == LXW_NO_ERROR && holdsCell)
            ++m_cells;
    }

public:
    /// The cells the worksheet holds, as its XML will list them.
    std::uint64_t cells() const { return m_cells; }

private:

    lxw_worksheet* m_ws;
    Formats m_formats;
    const std::vector<Area>& m_formatted;
    char m_separator;
    int m_lastFormattedRow = -1, m_lastFormattedCol = -1;
    int m_atRow = 0, m_atCol = 0;  ///< the first cell not written yet
    std::map<int, double> m_widths;
    lxw_error m_error = LXW_NO_ERROR;
    std::uint64_t m_cells = 0;
};

}  // namespace

fs::path XlsxWriter::save()
{
    requireWorkbook();
    // Only the folder of numbered workbooks is made; a workbook named by the caller goes where it
    // says or nowhere (a mistyped folder is not created).
    std::error_code ec;
    if (!m_folder.empty())
        fs::create_directories(m_folder, ec);

    // The library writes the workbook by name: it gets a temporary file beside the target,
    // which replaces the target only when the whole workbook is in it.
    std::string message;
    document::AtomicFile file = document::AtomicFile::begin(m_path, message);
    if (!file.isOpen())
        throw SpreadsheetError("Cannot write the workbook: " + message);
    const ClassicLocale classic;
    errno = 0;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(file.tempPath().c_str(), &options);
    if (!wb)
        throw SpreadsheetError("Cannot write the workbook: " + document::fileErrorText(file.target(), errno ? errno : EIO));
    SheetStream sheet(wb, workbook_add_worksheet(wb, nullptr), m_formatted, m_numbers.decimalSeparator);
    lxw_error error = LXW_NO_ERROR;
    try {
        m_cells->forEach(m_path, [&](int r, int c, const std::string& text) { sheet.cell(r, c, text); });
        error = sheet.finish();
    } catch (...) {
        workbook_close(wb);  // frees the workbook; the caller reports the error
        throw;
    }
    errno = 0;
    const lxw_error closed = workbook_close(wb);  // writes the file and frees the workbook
    const int closeErrno = errno;
    if (error == LXW_NO_ERROR)
        error = closed;
    if (error != LXW_NO_ERROR)
        throw SpreadsheetError("Cannot write the workbook: " + workbookFailure(file.target(), error, closeErrno));
    // The library keeps its parts in temporary files whose write errors it does not report: the
    // workbook is read back, and one that lost anything never takes the target's place.
    if (const std::string problem = checkWorkbook(file.tempPath(), sheet.cells()); !problem.empty())
        throw SpreadsheetError("Cannot write the workbook '" + file.target().string() + "': " + problem
                               + " (a temporary file could not be written); it was left as it was.");
    if (!file.commit(message)) {
        if (file.isInPlace())
            throw document::NotDurableError("The workbook was written, but: " + document::asSentence(message)
                                            + " A power loss may still undo it.");
        throw SpreadsheetError("Cannot write the workbook: " + message);
    }
    return m_path;
}

}  // namespace zelt::interchange

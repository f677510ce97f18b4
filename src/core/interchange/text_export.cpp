// SPDX-License-Identifier: GPL-3.0-or-later
// Text export: one line per row, every display text followed by ";", lines ended by CR LF.
#include "interchange/text_export.h"

#include "document/document_files.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace zelt::interchange {

using document::TraverseTable;

std::vector<int> textExportFields(const TraverseTable& table, const document::ColumnSet& columns, TextColumns which)
{
    std::vector<int> fields;
    if (which == TextColumns::AllFields) {
        for (int i = 0; i < static_cast<int>(table.fields().size()); ++i)
            fields.push_back(i);
        return fields;
    }
    for (const document::Column& c : columns.columns)
        if (c.isVisible())
            fields.push_back(c.fieldName.empty() ? -1 : table.fieldIndex(c.fieldName));
    return fields;
}

std::string textLine(const TraverseTable& table, const std::vector<int>& fields)
{
    std::string line;
    const int row = table.currentIndex();
    for (int f : fields) {
        if (f >= 0 && row >= 0)
            line += table.displayTextAt(row, f);
        line += ';';
    }
    return line;
}

void writeTableText(TraverseTable& table, const std::vector<int>& fields, std::ostream& out)
{
    // Each line is built before the move to the next row and written after it, so a row left in
    // editing is posted by the move before its line reaches the file.
    table.first();
    while (!table.eof()) {
        const std::string line = textLine(table, fields);
        table.next();
        out << line << "\r\n";
        if (!out)
            throw TextExportError(document::ioErrorMessage(errno ? errno : EIO));
    }
}

namespace {

/// A stream buffer over a C file so that write errors keep their errno.
class FileBuf : public std::streambuf {
public:
    explicit FileBuf(std::FILE* f) : m_file(f) {}

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        return static_cast<std::streamsize>(std::fwrite(s, 1, static_cast<std::size_t>(n), m_file));
    }
    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        return std::fputc(ch, m_file) == EOF ? traits_type::eof() : ch;
    }

private:
    std::FILE* m_file;
};

}  // namespace

void exportTextFile(TraverseTable& table, const document::ColumnSet& columns, TextColumns which,
                    const std::filesystem::path& path)
{
    const std::vector<int> fields = textExportFields(table, columns, which);
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        throw TextExportError(document::ioErrorMessage(errno));
    FileBuf buf(file.get());
    std::ostream out(&buf);
    writeTableText(table, fields, out);
    errno = 0;
    if (std::fclose(file.release()) != 0)
        throw TextExportError(document::ioErrorMessage(errno ? errno : EIO));
}

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// Text export: one line per row, every display text followed by ";", lines ended by CR LF.
#include "interchange/text_export.h"

#include "base/atomic_file.h"
#include "document/document_files.h"

#include <cerrno>

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

/// A buffered stream over the temporary file of an AtomicFile that keeps the first failure's
/// message (naming the file and the system's reason).
class AtomicFileBuf : public std::streambuf {
public:
    explicit AtomicFileBuf(document::AtomicFile& file) : m_file(file) { setp(m_buffer, m_buffer + sizeof m_buffer); }
    const std::string& failure() const { return m_failure; }

protected:
    int_type overflow(int_type ch) override
    {
        if (!flushBuffer())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return flushBuffer() ? 0 : -1; }

private:
    bool flushBuffer()
    {
        const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
        setp(m_buffer, m_buffer + sizeof m_buffer);
        if (!m_failure.empty())
            return false;
        return n == 0 || m_file.write(m_buffer, n, m_failure);
    }

    document::AtomicFile& m_file;
    std::string m_failure;
    char m_buffer[64 * 1024];
};

}  // namespace

void exportTextFile(TraverseTable& table, const document::ColumnSet& columns, TextColumns which,
                    const std::filesystem::path& path)
{
    const std::vector<int> fields = textExportFields(table, columns, which);
    // Written beside the target and renamed over it when complete: a failure or a kill leaves
    // the file that was there.
    std::string message;
    document::AtomicFile file = document::AtomicFile::begin(path, message);
    if (!file.isOpen())
        throw TextExportError("Cannot write the text export: " + message);
    AtomicFileBuf buf(file);
    std::ostream out(&buf);
    try {
        writeTableText(table, fields, out);
        out.flush();
    } catch (const TextExportError&) {
    }
    if (!buf.failure().empty())
        throw TextExportError("Cannot write the text export: " + buf.failure());
    if (!out)
        throw TextExportError("Cannot write the text export: " + document::fileErrorText(file.target(), EIO));
    if (!file.commit(message)) {
        if (file.isInPlace())
            throw document::NotDurableError("The text export was written, but: " + document::asSentence(message)
                                            + " A power loss may still undo it.");
        throw TextExportError("Cannot write the text export: " + message);
    }
}

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// Comma-separated values (RFC 4180): fields quoted where they must be, records read back whole.
#include "interchange/csv_text.h"

namespace zelt::interchange {

bool isCsvSeparator(char c) { return c == ',' || c == ';' || c == '\t'; }

std::string csvField(std::string_view value, char separator)
{
    const bool blankEdge = !value.empty() && (value.front() == ' ' || value.front() == '\t'
                                              || value.back() == ' ' || value.back() == '\t');
    if (!blankEdge && value.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos)
        return std::string(value);
    std::string out = "\"";
    for (const char c : value) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string csvRecord(const std::vector<std::string>& fields, char separator)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += separator;
        line += csvField(fields[i], separator);
    }
    return line;
}

std::vector<CsvRecord> parseCsv(std::string_view text, char separator)
{
    std::vector<CsvRecord> records;
    std::size_t pos = 0;
    std::size_t line = 1;
    const std::size_t n = text.size();
    auto atLineEnd = [&](std::size_t p) { return p >= n || text[p] == '\n' || (text[p] == '\r' && (p + 1 >= n || text[p + 1] == '\n')); };
    auto skipLineEnd = [&](std::size_t& p) {
        if (p < n && text[p] == '\r')
            ++p;
        if (p < n && text[p] == '\n')
            ++p;
        ++line;
    };
    while (pos < n) {
        if (atLineEnd(pos)) {  // an empty line is no record
            skipLineEnd(pos);
            continue;
        }
        CsvRecord record{line, {}};
        for (;;) {
            std::string field;
            if (pos < n && text[pos] == '"') {
                const std::size_t opened = line;
                ++pos;
                for (;;) {
                    if (pos >= n)
                        throw CsvError("line " + std::to_string(opened) + ": a quoted value is not closed");
                    const char c = text[pos++];
                    if (c == '"') {
                        if (pos < n && text[pos] == '"') {
                            field += '"';
                            ++pos;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n')
                        ++line;
                    field += c;
                }
                if (!atLineEnd(pos) && text[pos] != separator)
                    throw CsvError("line " + std::to_string(line) + ": text after the closing quote of a value");
            } else {
                while (!atLineEnd(pos) && text[pos] != separator)
                    field += text[pos++];
            }
            record.fields.push_back(std::move(field));
            if (pos < n && text[pos] == separator) {
                ++pos;
                continue;
            }
            break;
        }
        records.push_back(std::move(record));
        if (pos < n)
            skipLineEnd(pos);
    }
    return records;
}

char detectCsvSeparator(std::string_view text)
{
    bool quoted = false;
    bool semicolon = false;
    bool comma = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == '\n' || c == '\r')
            break;
        if (c == '\t')
            return '\t';
        semicolon = semicolon || c == ';';
        comma = comma || c == ',';
    }
    return semicolon || !comma ? ';' : ',';
}

}  // namespace zelt::interchange

// SPDX-License-Identifier: GPL-3.0-or-later
// The journal's layout: its records, their checksums and the reading that checks every part.
#include "document/document_journal_layout.h"

#include "base/regular_file.h"
#include "document/document_session.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace zelt::document::journal_layout {

std::string number(std::uint64_t v)
{
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    return std::string(buf, end);
}

std::string hex(std::uint64_t v, int digits)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4)
        s[static_cast<std::size_t>(i)] = kDigits[v & 0xF];
    return s;
}

bool toNumber(std::string_view s, std::uint64_t& v, int base)
{
    if (s.empty())
        return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    return ec == std::errc() && end == s.data() + s.size();
}

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (const char ch : bytes)
        crc = table[(crc ^ static_cast<std::uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

namespace {

std::uint32_t recordSum(std::string_view nonce, std::string_view line, std::string_view blob)
{
    return crc32(blob, crc32(line, crc32(nonce)));
}

}  // namespace

std::string record(std::string_view nonce, const std::string& line, std::string_view blob, bool withBlob)
{
    std::string out = line + " " + hex(recordSum(nonce, line, blob), 8) + "\n";
    if (withBlob) {
        out.append(blob);
        out += '\n';
    }
    return out;
}

std::string countLine(std::string_view nonce, std::uint64_t count)
{
    std::string digits = number(count);
    digits.insert(0, kCountDigits - digits.size(), '0');
    return record(nonce, "pages " + digits);
}

bool isToken(const std::string& token)
{
    return !token.empty() && token.size() <= 64
        && std::all_of(token.begin(), token.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
           });
}

bool isPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.find('\0') == std::string::npos;
}

namespace {

bool isCompanionExtension(const std::string& ext)
{
    for (const Companion& c : companions())
        if (ext == c.extension)
            return true;
    return false;
}

/// Reads and checks a journal: nullopt when any part of it fails its check.
class JournalReader {
public:
    explicit JournalReader(std::string bytes) : m_bytes(std::move(bytes)) {}

    /// The journal's version when its first line is one, else empty.
    std::string version() const
    {
        if (m_bytes.compare(0, kMagic.size(), kMagic) != 0)
            return {};
        const auto end = m_bytes.find_first_of(" \n", kMagic.size());
        return end == std::string::npos ? std::string() : m_bytes.substr(kMagic.size(), end - kMagic.size());
    }

    std::optional<Journal> parse()
    {
        if (m_bytes.size() < kFirstLineSize + kCountLineSize || m_bytes[kFirstLineSize - 1] != '\n'
            || m_bytes[kFirstLineSize - 10] != ' ')
            return std::nullopt;
        const std::string first = m_bytes.substr(0, kFirstLineSize - 10);
        if (first != std::string(kMagic) + std::string(kVersion) + " " + m_bytes.substr(kMagic.size() + kVersion.size() + 1, kNonceDigits)
            || m_bytes.substr(kFirstLineSize - 9, 8) != hex(crc32(first), 8))
            return std::nullopt;
        m_nonce = m_bytes.substr(kMagic.size() + kVersion.size() + 1, kNonceDigits);
        m_pos = kFirstLineSize;
        std::vector<std::string> w;
        std::uint64_t count = 0;
        if (!line(w) || w.size() != 2 || w[0] != "pages" || w[1].size() != kCountDigits || !toNumber(w[1], count)
            || m_pos != kFirstLineSize + kCountLineSize)
            return std::nullopt;
        Journal j;
        for (;;) {
            std::string blob;
            if (!line(w) || w.empty())
                return std::nullopt;
            if (w[0] == "end" && w.size() == 1)
                break;
            if (!head(w, j))
                return std::nullopt;
        }
        if (j.kind.empty())
            return std::nullopt;
        // The records after "end": exactly as many as counted; what follows them was never
        // synced and counted, so nothing was written after it.
        for (std::uint64_t i = 0; i < count; ++i)
            if (!line(w) || !tail(w, j))
                return std::nullopt;
        return j;
    }

private:
    bool head(const std::vector<std::string>& w, Journal& j)
    {
        std::uint64_t a = 0;
        const std::string& tag = w[0];
        if (tag == "kind" && w.size() == 2 && j.kind.empty()
            && (w[1] == "rollback" || w[1] == "rename" || w[1] == "replace")) {
            j.kind = w[1];
            return true;
        }
        if (tag == "what" && w.size() == 2 && toNumber(w[1], a))
            return blob(a, j.what);
        if (j.kind == "rollback") {
            if (tag == "table" && w.size() == 2 && w[1] == "absent")
                return true;
            std::uint64_t id = 0;
            if (tag == "table" && w.size() == 4 && w[1] == "present" && toNumber(w[2], j.oldSize)
                && j.oldSize <= kMaxTableBytes && w[3].size() == 8 && toNumber(w[3], id, 16)) {
                j.tablePresent = true;
                j.identity = static_cast<std::uint32_t>(id);
                return true;
            }
            if (tag == "companion" && w.size() >= 3 && isCompanionExtension(w[1])
                && std::none_of(j.companions.begin(), j.companions.end(),
                                [&](const Journal::CompanionImage& c) { return c.extension == w[1]; })) {
                if (w.size() == 3 && w[2] == "absent") {
                    j.companions.push_back({w[1], false, {}});
                    return true;
                }
                if (w.size() == 4 && w[2] == "present" && toNumber(w[3], a) && a <= kMaxSmallFileBytes * 8) {
                    j.companions.push_back({w[1], true, {}});
                    return blob(a, j.companions.back().bytes);
                }
            }
            return false;
        }
        if (j.kind == "rename") {
            if (tag == "to" && w.size() == 3 && (w[1] == "here" || w[1] == "elsewhere") && toNumber(w[2], a)
                && blob(a, j.newName) && isPlainName(j.newName)) {
                j.elsewhere = w[1] == "elsewhere";
                return true;
            }
            if (tag == "move" && w.size() == 2 && isCompanionExtension(w[1])) {
                j.moved.push_back(w[1]);
                return true;
            }
            return false;
        }
        if (j.kind == "replace") {
            if (tag == "stage" && w.size() == 3 && (w[1] == "table" || isCompanionExtension(w[1])) && isToken(w[2])) {
                j.staged.emplace_back(w[1], w[2]);
                return true;
            }
            if (tag == "remove" && w.size() == 2 && isCompanionExtension(w[1])) {
                j.removals.push_back(w[1]);
                return true;
            }
        }
        return false;
    }

    bool tail(const std::vector<std::string>& w, Journal& j)
    {
        std::uint64_t at = 0, size = 0, id = 0;
        if (j.kind != "rollback" || w.empty())
            return false;
        if (w[0] == "page" && w.size() == 3 && j.tablePresent && toNumber(w[1], at) && toNumber(w[2], size)
            && at % kPage == 0 && at < j.oldSize && size == std::min<std::uint64_t>(kPage, j.oldSize - at)) {
            std::string bytes;
            if (!blob(size, bytes))
                return false;
            j.pages.emplace_back(at, std::move(bytes));
            return true;
        }
        if (w[0] == "created" && w.size() == 2 && !j.tablePresent && w[1].size() == 8 && toNumber(w[1], id, 16)) {
            j.created = static_cast<std::uint32_t>(id);
            return true;
        }
        return false;
    }

    /// The words of the next record's line, its checksum checked (with the blob that follows,
    /// when the line names one: blob() checks it then). False when it is cut off or damaged.
    bool line(std::vector<std::string>& words)
    {
        words.clear();
        const auto end = m_bytes.find('\n', m_pos);
        if (end == std::string::npos || end - m_pos < 10 || m_bytes[end - 9] != ' ')
            return false;
        m_line = m_bytes.substr(m_pos, end - 9 - m_pos);
        std::uint64_t sum = 0;
        if (!toNumber(std::string_view(m_bytes).substr(end - 8, 8), sum, 16))
            return false;
        m_sum = static_cast<std::uint32_t>(sum);
        m_pos = end + 1;
        std::size_t p = 0;
        while (p <= m_line.size()) {
            const auto space = std::min(m_line.find(' ', p), m_line.size());
            words.push_back(m_line.substr(p, space - p));
            p = space + 1;
        }
        if (std::any_of(words.begin(), words.end(), [](const std::string& s) { return s.empty(); }))
            return false;
        m_blobPending = true;
        // A line with a blob is checked with it; the tags that take one check it in blob().
        static const std::vector<std::string> withBlob = {"what", "page", "to"};
        const bool takesBlob = std::find(withBlob.begin(), withBlob.end(), words[0]) != withBlob.end()
            || (words[0] == "companion" && words.size() == 4);
        if (takesBlob)
            return true;
        m_blobPending = false;
        return recordSum(m_nonce, m_line, {}) == m_sum;
    }

    bool blob(std::uint64_t size, std::string& out)
    {
        if (!m_blobPending || size > m_bytes.size() - m_pos || m_bytes.size() - m_pos - size < 1
            || m_bytes[m_pos + size] != '\n')
            return false;
        m_blobPending = false;
        out = m_bytes.substr(m_pos, static_cast<std::size_t>(size));
        if (recordSum(m_nonce, m_line, out) != m_sum)
            return false;
        m_pos += static_cast<std::size_t>(size) + 1;
        return true;
    }

    std::string m_bytes;
    std::size_t m_pos = 0;
    std::string m_nonce;
    std::string m_line;
    std::uint32_t m_sum = 0;
    bool m_blobPending = false;
};
}  // namespace

std::string journalVersion(const std::string& bytes) { return JournalReader(bytes).version(); }

std::optional<Journal> parseJournal(std::string bytes) { return JournalReader(std::move(bytes)).parse(); }

}  // namespace zelt::document::journal_layout

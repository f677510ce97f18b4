// SPDX-License-Identifier: GPL-3.0-or-later
// The journal's layout: its records, their checksums and the reading that checks every part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelt::document::journal_layout {

// The layout (docs/journal.md). Every record is one line of words ending in the record's
// checksum (8 hex digits) and LF; some lines are followed by a blob of the length they give and
// an LF. The checksum is the CRC-32 of the journal's nonce, the line before the checksum and the
// blob, so that no record of another journal (or of an earlier one under the same name) passes
// for one of this journal. The first line names the version and the nonce; the second, of a
// fixed width, counts the records after "end" that are synced and so count; it is rewritten in
// place after each batch of them. Numbers are decimal, written and read without the locale.
constexpr std::string_view kMagic = "ZELT JOURNAL ";
constexpr std::string_view kVersion = "2";
constexpr std::size_t kNonceDigits = 16;
constexpr std::size_t kCountDigits = 10;
constexpr std::size_t kFirstLineSize = kMagic.size() + kVersion.size() + 1 + kNonceDigits + 1 + 8 + 1;
constexpr std::size_t kCountLineSize = 6 + kCountDigits + 1 + 8 + 1;  // "pages NNNNNNNNNN CRC\n"
/// The table is journaled in pages of this size, whatever its block size.
constexpr std::uint64_t kPage = 4096;
/// At most this many pages are journaled (and synced) at once; a batch doubles from one page.
constexpr std::size_t kMaxBatchPages = 256;
/// No table is larger than 65535 blocks of 32 KB and a header.
constexpr std::uint64_t kMaxTableBytes = std::uint64_t{0xFFFF} * 32768 + 65536;
constexpr std::uint64_t kMaxJournalBytes = kMaxTableBytes * 2 + (std::uint64_t{64} << 20);
/// The end of the fixed part of a table's header: the change rewrites it (counters, links);
/// the rest of the header (field list, names, creation time) stays and names the table.
constexpr std::size_t kHeaderFixedEnd = 0x58;

std::string number(std::uint64_t v);
std::string hex(std::uint64_t v, int digits);
bool toNumber(std::string_view s, std::uint64_t& v, int base = 10);
/// CRC-32 (IEEE 802.3, as zlib's), continued from `crc`.
std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0);
/// One record: "line CRC\n" and, when `withBlob`, the blob and an LF.
std::string record(std::string_view nonce, const std::string& line, std::string_view blob = {}, bool withBlob = false);
/// The fixed-width second line counting the records after "end".
std::string countLine(std::string_view nonce, std::uint64_t count);
/// A staged file's token: letters, digits and '-', as the stagers make them.
bool isToken(const std::string& token);
/// A file name in the table's folder: no folder part, nothing that leaves the folder.
bool isPlainName(const std::string& name);

/// A journal read back, every part of it checked.
struct Journal {
    std::string kind;
    std::string what;
    // rollback
    bool tablePresent = false;
    std::uint64_t oldSize = 0;
    std::uint32_t identity = 0;
    std::optional<std::uint32_t> created;  ///< the identity of the table the change created
    struct CompanionImage {
        std::string extension;
        bool present = false;
        std::string bytes;
    };
    std::vector<CompanionImage> companions;
    std::vector<std::pair<std::uint64_t, std::string>> pages;
    // rename
    std::string newName;
    bool elsewhere = false;
    std::vector<std::string> moved;  ///< companion extensions
    // replace
    std::vector<std::pair<std::string, std::string>> staged;  ///< (extension or "table", token)
    std::vector<std::string> removals;                       ///< companion extensions
};

/// The version the journal's first line names; empty when it is no journal's first line.
std::string journalVersion(const std::string& bytes);
/// Reads and checks a journal of the current version: nullopt when any part fails its check.
std::optional<Journal> parseJournal(std::string bytes);

}  // namespace zelt::document::journal_layout

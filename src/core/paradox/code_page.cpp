// SPDX-License-Identifier: GPL-3.0-or-later
// Built-in single-byte code page tables and UTF-8 conversion.
#include "paradox/code_page.h"

#include <algorithm>
#include <cstdio>

namespace zelt::document {
namespace {

// Upper halves (bytes 0x80-0xFF) of the supported code pages as Unicode code points, laid out
// from their pieces in byte order: listed code points, and runs where a page follows Unicode's
// own order (Latin-1 in 1252, the Cyrillic alphabet in 1251 and 866).
using UpperHalf = std::array<char16_t, 128>;
template <std::size_t N>
using Codes = std::array<char16_t, N>;

/// `N` consecutive code points from `first`.
template <std::size_t N>
constexpr Codes<N> run(char16_t first)
{
    Codes<N> codes{};
    for (std::size_t i = 0; i < N; ++i)
        codes[i] = static_cast<char16_t>(first + i);
    return codes;
}

/// The pieces one after the other; together they fill the 128 bytes of the upper half.
template <std::size_t... N>
constexpr UpperHalf joined(const Codes<N>&... pieces)
{
    static_assert((N + ...) == 128, "the pieces must cover bytes 0x80-0xFF");
    UpperHalf half{};
    auto at = half.begin();
    ((at = std::copy(pieces.begin(), pieces.end(), at)), ...);
    return half;
}

// Bytes 0xB0-0xDF of both DOS pages 437 and 866: shades and box drawing.
constexpr Codes<48> kDosBoxDrawing = {{
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
}};

constexpr UpperHalf kCp1252 = joined(Codes<32>{{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
}}, run<96>(0x00A0));
constexpr UpperHalf kCp1251 = joined(Codes<64>{{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
}}, run<64>(0x0410));
constexpr UpperHalf kCp866 = joined(run<48>(0x0410), kDosBoxDrawing, run<16>(0x0440), Codes<16>{{
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
}});
constexpr UpperHalf kCp437 = joined(Codes<48>{{
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
}}, kDosBoxDrawing, Codes<32>{{
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
}});
constexpr UpperHalf kCp850 = {{
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
}};

const CodePage kPages[] = {
    {1252, kCp1252}, {1251, kCp1251}, {866, kCp866}, {437, kCp437}, {850, kCp850},
};

}  // namespace

CodePage::CodePage(int number, const std::array<char16_t, 128>& upper)
    : m_number(number), m_upper(upper)
{
    for (std::size_t i = 0; i < upper.size(); ++i)
        m_reverse[i] = {upper[i], static_cast<std::uint8_t>(0x80 + i)};
    std::sort(m_reverse.begin(), m_reverse.end());
}

const CodePage* CodePage::find(int number)
{
    for (const CodePage& page : kPages)
        if (page.m_number == number)
            return &page;
    return nullptr;
}

int codePageForLocale(std::string_view localeName)
{
    if (localeName.find("@latin") != std::string_view::npos)
        return 1252;  // Serbian and others written in the Latin alphabet
    const std::string_view language = localeName.substr(0, localeName.find_first_of("_-.@"));
    for (const std::string_view cyrillic : {"ru", "uk", "be", "bg", "sr", "mk", "kk", "ky", "tg", "mn"})
        if (language == cyrillic)
            return 1251;
    return 1252;
}

std::vector<int> CodePage::supported()
{
    std::vector<int> numbers;
    for (const CodePage& page : kPages)
        numbers.push_back(page.m_number);
    return numbers;
}

void CodePage::appendUtf8(const std::uint8_t* bytes, std::size_t size, std::string& out) const
{
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80)
            out.push_back(static_cast<char>(b));
        else
            zelt::document::appendUtf8(m_upper[b - 0x80], out);
    }
}

bool CodePage::fromUtf8(std::string_view utf8, std::string& out, Failure& failure) const
{
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t start = pos;
        char32_t cp = 0;
        if (!decodeUtf8(utf8, pos, cp)) {
            failure = {true, 0, start};
            return false;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        const auto it = std::lower_bound(m_reverse.begin(), m_reverse.end(),
                                         std::pair<char16_t, std::uint8_t>{static_cast<char16_t>(cp), 0});
        if (cp > 0xFFFF || it == m_reverse.end() || it->first != cp) {
            failure = {false, cp, start};
            return false;
        }
        out.push_back(static_cast<char>(it->second));
    }
    return true;
}

bool decodeUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(pos);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        codePoint = lead;
        ++pos;
        return true;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return false;
    }
    if (pos + static_cast<std::size_t>(extra) >= text.size())
        return false;
    for (int k = 1; k <= extra; ++k) {
        const std::uint8_t c = byte(pos + k);
        if ((c & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (c & 0x3F);
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))
        || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    pos += static_cast<std::size_t>(extra) + 1;
    codePoint = cp;
    return true;
}

void appendUtf8(char32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string describeCodePoint(char32_t codePoint)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(codePoint));
    std::string text = "'";
    // Control characters are shown by number only.
    if (codePoint >= 0x20 && codePoint != 0x7F && !(codePoint >= 0x80 && codePoint < 0xA0))
        appendUtf8(codePoint, text);
    else
        text.pop_back();
    return text.empty() ? std::string(hex) : text + "' (" + hex + ")";
}

}  // namespace zelt::document

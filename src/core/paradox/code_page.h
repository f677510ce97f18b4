// SPDX-License-Identifier: GPL-3.0-or-later
// Built-in single-byte code pages (1252, 1251, 866, 437, 850) and their conversion to and from UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::document {

/// A DOS/Windows single-byte code page. Bytes 0x00-0x7F are ASCII; the upper half comes from a
/// built-in table, so conversion never depends on what the system's converters happen to offer.
/// Bytes a code page leaves undefined (0x81 in 1252, ...) map to the C1 control of the same number,
/// so every byte sequence reads and writes back unchanged.
class CodePage {
public:
    /// Why a text could not be converted to code-page bytes.
    struct Failure {
        bool invalidUtf8 = false;   ///< the input is not well-formed UTF-8
        char32_t codePoint = 0;     ///< the character the code page cannot hold (when !invalidUtf8)
        std::size_t offset = 0;     ///< byte offset of the problem in the UTF-8 input
    };

    /// The built-in code page with this number, or nullptr when there is none.
    static const CodePage* find(int number);
    /// Numbers of all built-in code pages.
    static std::vector<int> supported();

    int number() const { return m_number; }

    /// Appends the UTF-8 form of `size` code-page bytes to `out`.
    void appendUtf8(const std::uint8_t* bytes, std::size_t size, std::string& out) const;
    /// Converts UTF-8 text into code-page bytes (appended to `out`). Returns false, with `failure`
    /// filled in, when the text is not valid UTF-8 or holds a character this code page lacks.
    bool fromUtf8(std::string_view utf8, std::string& out, Failure& failure) const;

    CodePage(int number, const std::array<char16_t, 128>& upper);

private:
    int m_number;
    const std::array<char16_t, 128>& m_upper;
    std::array<std::pair<char16_t, std::uint8_t>, 128> m_reverse{};  ///< sorted by code point
};

/// The code page new tables of a user with this locale ("ru_RU", "uk_UA.UTF-8", "de_DE") store
/// their text in: 1251 for the languages written in Cyrillic (Russian, Ukrainian, Belarusian,
/// Bulgarian, Serbian, Macedonian, Kazakh, Kyrgyz, Tajik, Mongolian), else 1252.
int codePageForLocale(std::string_view localeName);

/// "'ж' (U+0436)": a character as a user message shows it.
std::string describeCodePoint(char32_t codePoint);

/// Decodes one UTF-8 character starting at `pos`; returns false for malformed input.
bool decodeUtf8(std::string_view text, std::size_t& pos, char32_t& codePoint);
/// Appends the UTF-8 encoding of a code point.
void appendUtf8(char32_t codePoint, std::string& out);

}  // namespace zelt::document

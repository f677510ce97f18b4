// SPDX-License-Identifier: GPL-3.0-or-later
// Splitting a text file's contents into its lines.
#pragma once

#include <string_view>
#include <vector>

namespace zelt::document {

/// The lines of `text`, split at "\n" with a "\r" before it dropped (files written on Windows
/// read the same). A line break at the very end does not start another, empty line. The views
/// point into `text`.
inline std::vector<std::string_view> textLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos)
            nl = text.size();
        std::string_view line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = nl + 1;
    }
    return lines;
}

}  // namespace zelt::document

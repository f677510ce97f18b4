// SPDX-License-Identifier: GPL-3.0-or-later
// Widget-test helper: writes a traverse table file with chosen rows for OpenDocument.
#pragma once

#include "document/document_files.h"
#include "document/traverse_table.h"

#include <QString>

#include <optional>
#include <vector>

namespace zelt::test {

struct ShellRow {
    ShellRow(double p = 0, std::optional<double> alt = std::nullopt, std::optional<double> fill = std::nullopt)
        : pairs(p), altimeter(alt), fillHeight(fill)
    {
    }
    double pairs;
    std::optional<double> altimeter;
    std::optional<double> fillHeight;
};

/// Creates the table at `path` (and its .inf with 64 and 420) holding `rows` in order.
inline void writeTraverse(const QString& path, const std::vector<ShellRow>& rows)
{
    zelt::document::TraverseTable t;
    t.setPath(path.toStdString());
    t.create();
    t.open();
    for (const ShellRow& r : rows) {
        t.append();
        t.setFloat("Pairs", r.pairs);
        if (r.altimeter)
            t.setFloat("Altimeter", *r.altimeter);
        if (r.fillHeight)
            t.setFloat("FillHeight", *r.fillHeight);
        t.post();
    }
    t.close();
    zelt::document::writeInf(zelt::document::companionPath(path.toStdString(), ".inf"), 64.0, 420.0);
}

}  // namespace zelt::test

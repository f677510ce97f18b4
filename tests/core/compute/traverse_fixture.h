// SPDX-License-Identifier: GPL-3.0-or-later
// Test fixture: a traverse table in a temporary folder, filled leg by leg, read back by row.
#pragma once

#include "document_fixture.h"

#include "document/traverse_table.h"

#include <QTest>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace zelt::test {

struct Leg {
    Leg(double p = 0.0, std::optional<double> alt = std::nullopt, int slope = 0)
        : pairs(p), altimeter(alt), procent(slope)
    {
    }
    double pairs;
    std::optional<double> altimeter;
    int procent;
};

/// A Document over a fresh table file holding the given legs in order (no field rules).
class TraverseFixture : public DocumentFixture {
public:
    void addLegs(const std::vector<Leg>& legs)
    {
        auto& t = doc->table;
        for (const Leg& leg : legs) {
            t.append();
            t.setFloat("Pairs", leg.pairs);
            if (leg.altimeter)
                t.setFloat("Altimeter", *leg.altimeter);
            t.setInteger("Procent", leg.procent);
            t.post();
        }
        t.first();
    }

    /// Stores `values` into `field`, row by row (nullopt clears), and posts each row.
    void setColumn(const char* field, const std::vector<std::optional<double>>& values)
    {
        auto& t = doc->table;
        t.first();
        for (const auto& v : values) {
            t.edit();
            if (v)
                t.setFloat(field, *v);
            else
                t.clear(field);
            t.post();
            t.next();
        }
        t.first();
    }

    /// Value of `field` in row `row` (0-based) as a number; nullopt when empty.
    std::optional<double> number(int row, const char* field) const
    {
        return zelt::document::numberOf(doc->table.valueAt(row, doc->table.fieldIndex(field)));
    }

    std::vector<std::optional<double>> column(const char* field) const
    {
        std::vector<std::optional<double>> out;
        for (int r = 0; r < doc->table.rowCount(); ++r)
            out.push_back(number(r, field));
        return out;
    }

    /// Closes and reopens the table, so that what is checked afterwards is what the file holds.
    void reopen()
    {
        doc->table.close();
        doc->table.open();
    }
};

/// Compares a column with expected values (nullopt = empty) within `eps`; fails on NaN.
inline bool sameColumn(const std::vector<std::optional<double>>& actual,
                       const std::vector<std::optional<double>>& expected, double eps, std::string* why)
{
    if (actual.size() != expected.size()) {
        *why = "row count " + std::to_string(actual.size()) + " != " + std::to_string(expected.size());
        return false;
    }
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const auto& a = actual[i];
        const auto& e = expected[i];
        if (a && std::isnan(*a)) {
            *why = "NaN in row " + std::to_string(i + 1);
            return false;
        }
        if (a.has_value() != e.has_value() || (a && std::fabs(*a - *e) > eps)) {
            *why = "row " + std::to_string(i + 1) + ": " + (a ? std::to_string(*a) : "empty") + " != "
                   + (e ? std::to_string(*e) : "empty");
            return false;
        }
    }
    return true;
}

}  // namespace zelt::test

#define ZELT_COMPARE_COLUMN(actual, expected, eps)                                  \
    do {                                                                            \
        std::string why_;                                                           \
        if (!zelt::test::sameColumn((actual), (expected), (eps), &why_))            \
            QFAIL(why_.c_str());                                                    \
    } while (false)

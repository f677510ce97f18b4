// SPDX-License-Identifier: GPL-3.0-or-later
// Field rules of a traverse row: pairs/metres conversion, turn words, calculated F and G.
#include "compute/field_rules.h"

#include "document/document.h"
#include "document/survey_values.h"
#include "document/traverse_schema.h"
#include "document/traverse_table.h"
#include "document/value_format.h"

#include <cmath>
#include <variant>

namespace zelt::compute {

using zelt::document::Document;
using zelt::document::numberOf;
using zelt::document::TraverseTable;
using zelt::document::Value;

namespace {

using namespace zelt::document::fields;

/// Detaches the change rules of both lengths for its lifetime, so that the posts and the
/// derived value set inside a rule never run either rule again; attaches them on every exit.
class LengthRulesDetached {
public:
    explicit LengthRulesDetached(TraverseTable& table) : m_table(table)
    {
        m_table.detachChangeHook(kPairs);
        m_table.detachChangeHook(kMetru);
    }
    ~LengthRulesDetached()
    {
        m_table.attachChangeHook(kPairs);
        m_table.attachChangeHook(kMetru);
    }
    LengthRulesDetached(const LengthRulesDetached&) = delete;
    LengthRulesDetached& operator=(const LengthRulesDetached&) = delete;

private:
    TraverseTable& m_table;
};

/// The change rule of one length field: the typed value is stored exactly as typed and the
/// row posted at once; then the other length is derived from it and the row posted again.
void lengthRule(const Document& doc, TraverseTable& table, const char* typedField,
                const char* derivedField, bool typedIsPairs)
{
    LengthRulesDetached detached(table);
    const Value typed = table.value(typedField);
    table.edit();
    table.setValue(typedField, typed);
    table.post();

    const double v = table.asFloat(typedField);
    const auto derived = typedIsPairs ? metresFromPairs(v, doc.pairsPer100m)
                                      : pairsFromMetres(v, doc.pairsPer100m);
    table.edit();
    // Without a usable ratio no length is converted; the other length is emptied rather than
    // left beside a length it no longer matches.
    if (derived)
        table.setFloat(derivedField, *derived);
    else
        table.clearDerived(derivedField);
    table.post();
}

}  // namespace

bool isUsablePairsRatio(double pairsPer100m) { return zelt::document::isUsablePairsRatio(pairsPer100m); }

std::string pairsRatioMessage(double pairsPer100m) { return zelt::document::pairsRatioMessage(pairsPer100m); }

std::optional<double> metresFromPairs(double pairs, double pairsPer100m)
{
    if (!isUsablePairsRatio(pairsPer100m))
        return std::nullopt;
    return pairs / pairsPer100m * 100.0;
}

std::optional<double> pairsFromMetres(double metres, double pairsPer100m)
{
    if (!isUsablePairsRatio(pairsPer100m))
        return std::nullopt;
    return metres / 100.0 * pairsPer100m;
}

std::optional<LegProjection> legProjection(std::optional<double> pairs, double procent,
                                           double pairsPer100m)
{
    if (!pairs)
        return std::nullopt;
    const auto metres = metresFromPairs(*pairs, pairsPer100m);
    if (!metres)
        return std::nullopt;
    const double slopeFactor = std::cos(std::atan(procent / 100.0));
    LegProjection leg;
    leg.f = slopeFactor * *metres;
    leg.g = procent * leg.f / 100.0;
    return leg;
}

std::string turnText(std::string_view typed, const zelt::document::ColumnSet& columns)
{
    const auto n = zelt::document::parseInteger(typed, zelt::document::LeadingBlanks::SpacesOnly);
    if (!n || *n <= 0)
        return std::string(typed);
    const auto* column = columns.findByField(kPovorot);
    if (!column || !column->pickList)
        return std::string(typed);
    const auto& list = *column->pickList;
    if (static_cast<std::size_t>(*n) > list.size())
        return std::string(typed);
    return list[static_cast<std::size_t>(*n) - 1];
}

void attachFieldRules(Document& doc)
{
    TraverseTable& table = doc.table;
    table.setChangeHook(kPairs, [&doc](TraverseTable& t) { lengthRule(doc, t, kPairs, kMetru, true); });
    table.setChangeHook(kMetru, [&doc](TraverseTable& t) { lengthRule(doc, t, kMetru, kPairs, false); });
    table.setTextEntryHook(kPovorot, [&doc](TraverseTable& t, const std::string& typed) {
        t.setText(kPovorot, turnText(typed, doc.columns));
    });
    const int pairsIdx = table.field(kPairs).fileIndex;
    const int procentIdx = table.field(kProcent).fileIndex;
    table.setCalcFieldsHook([&doc, pairsIdx, procentIdx](const TraverseTable&, const zelt::document::Row& row,
                                                           Value& f, Value& g) {
        const auto at = [&row](int idx) -> const Value* {
            return idx >= 0 && static_cast<std::size_t>(idx) < row.size() ? &row[static_cast<std::size_t>(idx)] : nullptr;
        };
        const Value* pairs = at(pairsIdx);
        const Value* procent = at(procentIdx);
        const auto leg = legProjection(pairs ? numberOf(*pairs) : std::nullopt,
                                       procent ? numberOf(*procent).value_or(0.0) : 0.0, doc.pairsPer100m);
        if (leg) {
            f = leg->f;
            g = leg->g;
        } else {
            f = Value{};
            g = Value{};
        }
    });
    if (table.isOpen())
        table.recalculate();
}

}  // namespace zelt::compute

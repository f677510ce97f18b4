// SPDX-License-Identifier: GPL-3.0-or-later
// Height passes over a traverse: running pace count, Fill Height, percent heights, begin-way shift.
#include "compute/height_passes.h"

#include "compute/field_rules.h"
#include "compute/pass_scope.h"
#include "document/document.h"
#include "document/survey_values.h"
#include "document/traverse_schema.h"
#include "document/traverse_table.h"

#include <cmath>

namespace zelt::compute {

using zelt::document::Document;
using zelt::document::numberOf;
using zelt::document::TraverseTable;

namespace {

using namespace zelt::document::fields;

std::string rowRange(int first, int last)
{
    return first == last ? "row " + std::to_string(first)
                         : "rows " + std::to_string(first) + " to " + std::to_string(last);
}

/// Notes on the rows Fill Height treats by its own choices: rows before the first reading and
/// rows after the last one.
void noteUnclosedRuns(const std::vector<std::optional<double>>& readings, PassResult& result)
{
    const int n = static_cast<int>(readings.size());
    int firstReading = 0;
    while (firstReading < n && !readings[static_cast<std::size_t>(firstReading)])
        ++firstReading;
    if (firstReading == n) {
        if (n > 0)
            result.diagnostics.push_back({1, kFillHeight, "no Altimeter reading: " + rowRange(1, n)
                                                             + " take the start height"});
        return;
    }
    if (firstReading > 0)
        result.diagnostics.push_back({1, kFillHeight, rowRange(1, firstReading)
                                                         + " before the first reading are filled from the start height"});
    int lastReading = n - 1;
    while (!readings[static_cast<std::size_t>(lastReading)])
        --lastReading;
    if (lastReading < n - 1)
        result.diagnostics.push_back({lastReading + 2, kFillHeight, rowRange(lastReading + 2, n)
                                                                       + " after the last reading take the last reading"});
}

/// Values that would make G or the heights meaningless (typed, or found in an .inf) stop a
/// pass before it changes anything.
void refuseUnusableSurveyValues(double pairsPer100m, double startHeight)
{
    if (!zelt::document::isUsablePairsRatio(pairsPer100m))
        throw PassRefused(PassRefused::Reason::UnusableRatio, zelt::document::pairsRatioMessage(pairsPer100m));
    if (!zelt::document::isUsableStartHeight(startHeight))
        throw PassRefused(PassRefused::Reason::OutOfLimits, zelt::document::startHeightMessage(startHeight));
}

/// A shift is all or nothing: a reading the field would refuse stops it before the first row
/// changes, so running it again never shifts a row twice.
void refuseShiftOutOfRange(const TraverseTable& t, double offset)
{
    const zelt::document::FieldInfo& field = t.field(kAltimeter);
    if (!field.minValue && !field.maxValue)
        return;
    const double low = field.minValue.value_or(0);
    const double high = field.maxValue.value_or(0);
    const int altIdx = t.fieldIndex(kAltimeter);
    for (int r = 0; r < t.rowCount(); ++r) {
        const auto reading = numberOf(t.valueAt(r, altIdx));
        if (reading && (*reading + offset < low || *reading + offset > high))
            throw zelt::document::EngineError(zelt::document::rangeErrorMessage(
                *reading + offset, t.displayLabel(kAltimeter), low, high, t.decimalSeparator()));
    }
}

}  // namespace

PassRefused::PassRefused(Reason reason, const std::string& message)
    : std::runtime_error(message), m_reason(reason)
{
}

std::vector<double> fillHeightValues(const std::vector<std::optional<double>>& readings,
                                     const std::vector<double>& sumPairs, double startHeight)
{
    const std::size_t n = readings.size();
    std::vector<double> out(n, startHeight);
    // The anchor of a run is the last reading before it; before the first reading it is the
    // start point of the route: StartHeight at pace count 0.
    double anchorHeight = startHeight;
    double anchorPace = 0.0;
    std::size_t i = 0;
    while (i < n) {
        std::size_t closing = i;
        while (closing < n && !readings[closing])
            ++closing;
        if (closing == n) {
            // No closing reading: the run keeps the height of its anchor.
            for (std::size_t k = i; k < n; ++k)
                out[k] = anchorHeight;
            break;
        }
        const double closingHeight = *readings[closing];
        const double closingPace = sumPairs[closing];
        const double span = closingPace - anchorPace;
        for (std::size_t k = i; k < closing; ++k) {
            out[k] = span == 0.0 ? anchorHeight
                                 : anchorHeight + (sumPairs[k] - anchorPace) / span * (closingHeight - anchorHeight);
        }
        out[closing] = closingHeight;
        anchorHeight = closingHeight;
        anchorPace = closingPace;
        i = closing + 1;
    }
    return out;
}

PassResult UpdateSumPairs(Document& doc)
{
    TraverseTable& t = doc.table;
    PassResult result;
    if (!t.isOpen())
        return result;
    PassScope scope(t);
    double acc = 0.0;
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.setFloat(kSumPairs, t.asFloat(kPairs) + acc);
        t.post();
        acc = t.asFloat(kSumPairs);
        ++result.rowsPosted;
    }
    scope.finish();
    return result;
}

PassResult FillHeights(Document& doc)
{
    TraverseTable& t = doc.table;
    if (!t.isOpen())
        return {};
    PassScope scope(t);
    UpdateSumPairs(doc);

    // The heights depend on the whole run, so read the readings and pace counts first and
    // then write every row once, in table order.
    const int n = t.rowCount();
    const int altIdx = t.fieldIndex(kAltimeter);
    const int sumIdx = t.fieldIndex(kSumPairs);
    std::vector<std::optional<double>> readings(static_cast<std::size_t>(n));
    std::vector<double> paces(static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r) {
        readings[static_cast<std::size_t>(r)] = numberOf(t.valueAt(r, altIdx));
        paces[static_cast<std::size_t>(r)] = numberOf(t.valueAt(r, sumIdx)).value_or(0.0);
    }
    const std::vector<double> heights = fillHeightValues(readings, paces, doc.startHeight);

    PassResult result;
    noteUnclosedRuns(readings, result);
    std::size_t k = 0;
    for (t.first(); !t.eof() && k < heights.size(); t.next(), ++k) {
        t.edit();
        t.setFloat(kFillHeight, heights[k]);
        t.post();
        ++result.rowsPosted;
    }
    scope.finish();
    return result;
}

PassResult PercentHeights(Document& doc)
{
    TraverseTable& t = doc.table;
    PassResult result;
    if (!t.isOpen() || t.rowCount() < 2)
        return result;
    refuseUnusableSurveyValues(doc.pairsPer100m, doc.startHeight);
    PassScope scope(t);
    double height = doc.startHeight;
    std::int32_t id = 0;
    for (t.first(); !t.eof(); t.next()) {
        // G of the leg, as the calculated field shows it; an empty Pairs contributes 0.
        const auto pairs = t.isNull(kPairs) ? std::nullopt : std::optional<double>(t.asFloat(kPairs));
        const auto leg = legProjection(pairs, t.asFloat(kProcent), doc.pairsPer100m);
        height = (leg ? leg->g : 0.0) + height;
        t.edit();
        t.setFloat(kFillHeight, height);
        t.setInteger(kId, ++id);
        t.post();
        ++result.rowsPosted;
    }
    scope.finish();
    return result;
}

PassResult shiftBeginWay(Document& doc, double offset)
{
    if (!std::isfinite(offset) || offset < kBeginWayMin || offset > kBeginWayMax)
        throw PassRefused(PassRefused::Reason::OutOfLimits,
                          "The begin way height must lie between -9999999 and 9999999");
    // Refused before any reading moves, a reading first (the start row usually carries the
    // start height, and its refusal names the field and its range), then the start height:
    // one the survey values file cannot hold would make the next open refuse that file.
    TraverseTable& t = doc.table;
    if (t.isOpen())
        refuseShiftOutOfRange(t, offset);
    if (!zelt::document::isUsableStartHeight(doc.startHeight + offset))
        throw PassRefused(PassRefused::Reason::OutOfLimits, zelt::document::startHeightMessage(doc.startHeight + offset));
    PassResult result;
    if (t.isOpen()) {
        PassScope scope(t);
        for (t.first(); !t.eof(); t.next()) {
            if (t.isNull(kAltimeter))
                continue;
            t.edit();
            t.setFloat(kAltimeter, t.asFloat(kAltimeter) + offset);
            t.post();
            ++result.rowsPosted;
        }
        scope.finish();
    }
    doc.setStartHeight(doc.startHeight + offset);
    return result;
}

PassResult applySurveyValues(Document& doc, double startHeight, double pairsPer100m)
{
    refuseUnusableSurveyValues(pairsPer100m, startHeight);
    // The percent heights that follow would be refused on a read-only table: refused here,
    // before the values change, so that the document does not show values it never used.
    const TraverseTable& table = doc.table;
    if (table.isOpen() && table.isReadOnly() && table.rowCount() >= 2) {
        const std::string reason = table.readOnlyReason();
        throw zelt::document::EngineError("Cannot modify a read-only table" + (reason.empty() ? std::string() : ": " + reason));
    }
    const bool changed = !(doc.startHeight == startHeight && doc.pairsPer100m == pairsPer100m);
    doc.startHeight = startHeight;
    doc.pairsPer100m = pairsPer100m;
    if (doc.table.isOpen())
        doc.table.recalculate();
    // Once, after the recalculation, so observers see both values and the new F and G.
    if (changed)
        doc.table.notifySurveyValuesChanged();
    return PercentHeights(doc);
}

}  // namespace zelt::compute

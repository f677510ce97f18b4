// SPDX-License-Identifier: GPL-3.0-or-later
// Recalculation between two known heights and the choice of its start and end rows.
#include "compute/height_passes.h"

#include "compute/pass_scope.h"
#include "document/document.h"
#include "document/traverse_schema.h"
#include "document/traverse_table.h"

#include <algorithm>
#include <variant>

namespace zelt::compute {

using zelt::document::Document;
using zelt::document::TraverseTable;

namespace {

using namespace zelt::document::fields;

PassRefused refusal(PassRefused::Reason reason)
{
    switch (reason) {
    case PassRefused::Reason::NotSelected:
        return {reason, kNotSelectedMessage};
    case PassRefused::Reason::RowDeleted:
        return {reason, "The Start or Finish row of the calculation has been deleted; select it again"};
    case PassRefused::Reason::EndBeforeStart:
        return {reason, "The Finish row lies before the Start row; select them again in the order of the way"};
    case PassRefused::Reason::SameRow:
        return {reason, "The Start and Finish Height are selected in the same row"};
    case PassRefused::Reason::ZeroSpan:
        return {reason, "There are no pairs between the Start and Finish row, so the heights cannot be spread"};
    default:
        return {reason, "The heights cannot be recalculated"};
    }
}

/// The flags and both marks; the row positions need a move, done by the callers.
std::optional<PassRefused> markProblem(const Document& doc)
{
    if (!doc.calcStartSelected || !doc.calcEndSelected)
        return refusal(PassRefused::Reason::NotSelected);
    const TraverseTable& t = doc.table;
    if (!t.isOpen() || !t.bookmarkValid(doc.calcStartMark) || !t.bookmarkValid(doc.calcEndMark))
        return refusal(PassRefused::Reason::RowDeleted);
    return std::nullopt;
}

std::optional<PassRefused> orderProblem(int startIndex, int endIndex)
{
    if (endIndex < startIndex)
        return refusal(PassRefused::Reason::EndBeforeStart);
    if (endIndex == startIndex)
        return refusal(PassRefused::Reason::SameRow);
    return std::nullopt;
}

}  // namespace

double recalcValue(double v, double c, double s1, double t1, double c1, double s2, double t2, double c2)
{
    const double a = s1 - t1;
    const double b = t2 - s2;
    const double span = c2 - c1;
    return (v - a) + (a + b) / span * (c - c1);
}

std::optional<PassRefused> recalcSelectionProblem(Document& doc)
{
    if (auto problem = markProblem(doc))
        return problem;
    TraverseTable& t = doc.table;
    int startIndex = 0;
    int endIndex = 0;
    {
        PassScope scope(t);
        t.gotoBookmark(doc.calcStartMark);
        startIndex = t.currentIndex();
        t.gotoBookmark(doc.calcEndMark);
        endIndex = t.currentIndex();
    }
    if (auto problem = orderProblem(startIndex, endIndex))
        return problem;
    // After the pace count is rewritten, the span is the sum of the pairs after the start row
    // up to the end row.
    const int pairsIdx = t.fieldIndex(kPairs);
    double span = 0.0;
    for (int r = startIndex + 1; r <= endIndex; ++r) {
        const auto v = t.valueAt(r, pairsIdx);
        if (const auto* d = std::get_if<double>(&v))
            span += *d;
    }
    if (span == 0.0)
        return refusal(PassRefused::Reason::ZeroSpan);
    return std::nullopt;
}

PassResult RecalcBetween(Document& doc, std::string_view source, std::string_view target)
{
    if (auto problem = markProblem(doc))
        throw *problem;
    TraverseTable& t = doc.table;
    PassScope scope(t);

    t.gotoBookmark(doc.calcStartMark);
    const int startIndex = t.currentIndex();
    const double s1 = t.asFloat(source);
    const double c1 = t.asFloat(kSumPairs);
    const double t1 = t.asFloat(target);
    t.gotoBookmark(doc.calcEndMark);
    const int endIndex = t.currentIndex();
    const double s2 = t.asFloat(source);
    const double t2 = t.asFloat(target);
    const double c2 = t.asFloat(kSumPairs);
    if (auto problem = orderProblem(startIndex, endIndex))
        throw *problem;
    if (c2 == c1)
        throw refusal(PassRefused::Reason::ZeroSpan);

    // The start row keeps its typed height; every row after it up to the end row with a
    // source height gets the source height plus the interpolated correction.
    PassResult result;
    t.gotoBookmark(doc.calcStartMark);
    for (t.next(); !t.eof(); t.next()) {
        if (!t.isNull(source)) {
            const double v = recalcValue(t.asFloat(source), t.asFloat(kSumPairs), s1, t1, c1, s2, t2, c2);
            t.edit();
            t.setFloat(target, v);
            t.post();
            ++result.rowsPosted;
        }
        if (t.currentIndex() == endIndex)
            break;
    }
    scope.finish();
    return result;
}

PassResult recalculateHeights(Document& doc)
{
    if (auto problem = recalcSelectionProblem(doc))
        throw *problem;
    PassResult sums = UpdateSumPairs(doc);
    PassResult result = RecalcBetween(doc, kFillHeight, kRecalc);
    // The sums walk posts every row; the recalculated rows are among them, counted once.
    result.rowsPosted = std::max(result.rowsPosted, sums.rowsPosted);
    return result;
}

std::string chooseCalcRow(Document& doc, CalcEnd which, double height)
{
    TraverseTable& t = doc.table;
    t.edit();
    t.setFloat(kRecalc, height);
    t.post();
    auto& mark = which == CalcEnd::Start ? doc.calcStartMark : doc.calcEndMark;
    const auto previous = mark;
    mark = t.bookmark();
    if (previous != 0 && previous != mark)
        t.freeBookmark(previous);
    if (which == CalcEnd::Start) {
        doc.calcStartSelected = true;
        return "Select End Height and after press F9 key";
    }
    doc.calcEndSelected = true;
    if (!doc.calcStartSelected || !t.bookmarkValid(doc.calcStartMark))
        return "Select Start Height and after press F10 to calculation";
    return "Press F10 key to calculation your Start and End Height";
}

}  // namespace zelt::compute

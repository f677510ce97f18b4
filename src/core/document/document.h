// SPDX-License-Identifier: GPL-3.0-or-later
// One open traverse: its table, survey values, column set and height-calculation marks.
#pragma once

#include "document/column_set.h"
#include "document/document_known_points.h"
#include "document/survey_values.h"
#include "document/traverse_table.h"

namespace zelt::document {

/// The non-visual state of a document window (`TMDIChild`). The shell's window owns one.
/// The document's number format (decimal separator of display texts, typed and pasted values,
/// exports and the report) is kept by its table: `table.numberFormat()`; each document has its
/// own, set from the user's locale when the window (or the zelt-cli session) creates it.
struct Document {
    TraverseTable table;                 ///< `Table1`
    double pairsPer100m = kDefaultPairsPer100m;  ///< `PairsPer100m`
    double startHeight = kDefaultStartHeight;    ///< `StartHeight`, metres
    ColumnSet columns = ColumnSet::builtIn();  ///< the live grid column set
    TraverseTable::Bookmark calcStartMark = 0; ///< `CalcStartMark`
    TraverseTable::Bookmark calcEndMark = 0;   ///< `CalcEndMark`
    bool calcStartSelected = false;      ///< `CalcStartSelected`
    bool calcEndSelected = false;        ///< `CalcEndSelected`
    /// The known points (.kpt), following their rows; read and written by the document's session.
    DocumentKnownPoints knownPoints{table};

    /// Sets `PairsPer100m` and tells the table's observers when it changed.
    void setPairsPer100m(double value)
    {
        if (!(value == pairsPer100m)) {
            pairsPer100m = value;
            table.notifySurveyValuesChanged();
        }
    }
    /// Sets `StartHeight` and tells the table's observers when it changed.
    void setStartHeight(double value)
    {
        if (!(value == startHeight)) {
            startHeight = value;
            table.notifySurveyValuesChanged();
        }
    }
};

}  // namespace zelt::document

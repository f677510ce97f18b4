// SPDX-License-Identifier: GPL-3.0-or-later
// The "Check" command: slopes against the altimeter and the suspect readings, in the diagnostics list.
#include "shell/commands/check_commands.h"

#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"

#include <QAction>

#include <algorithm>
#include <string>

namespace zelt::shell {

namespace {

using zelt::compute::CheckReport;
using zelt::document::Diagnostic;

std::string metres(double v, bool sign = false)
{
    const QString s = QString::number(v, 'f', 1);
    return ((sign && v >= 0.05) ? std::string("+") : std::string()) + s.toStdString();
}

std::string reading(double v) { return QString::number(v, 'g', 12).toStdString(); }

void check(TMainForm& main)
{
    TMDIChild* child = main.activeDocument();
    if (!child)
        return;
    try {
        const zelt::document::Document& doc = child->document();
        zelt::document::Diagnostics entries;
        // A damaged known-points file leaves the plan unchecked; the slopes are still checked.
        if (!doc.knownPoints.damage().empty())
            entries.push_back(Diagnostic::warning("the plan is not checked: " + doc.knownPoints.damage()));
        const CheckReport report = zelt::compute::checkTraverse(zelt::compute::checkRowsOf(doc.table),
                                                                doc.pairsPer100m, doc.knownPoints.points());
        const zelt::document::Diagnostics found = checkDiagnostics(report);
        entries.insert(entries.end(), found.begin(), found.end());
        if (!report.flagged()) {
            QString status = QStringLiteral("Check: nothing flagged");
            for (const Diagnostic& d : entries)
                status += QStringLiteral("; ") + QString::fromStdString(d.text);
            main.showStatus(status);
            return;
        }
        if (report.planFlagged && report.suspects.empty())
            entries.push_back(Diagnostic::note("no single reading explains the misclosure"));
        // The status line must not keep an earlier check's "nothing flagged".
        main.showStatus(QStringLiteral("Check: flagged; the findings are in the list"));
        main.showDiagnostics(entries, QStringLiteral("Check"), child);
    } catch (const std::exception& e) {
        TMDIChild::showError(&main, QString::fromUtf8(e.what()));
    }
}

}  // namespace

zelt::document::Diagnostics checkDiagnostics(const CheckReport& report)
{
    zelt::document::Diagnostics out = report.notes;
    if (report.planRmsM) {
        const std::string text = "placed on the known points: rms " + metres(*report.planRmsM)
                                 + " m on the ground (tolerance " + metres(report.planToleranceM) + " m)";
        out.push_back(report.planFlagged ? Diagnostic::warning(text + ": flagged") : Diagnostic::note(text));
    }
    for (const auto& s : report.stretches) {
        if (!s.flagged)
            continue;
        const std::string text = "rows " + std::to_string(s.fromRow) + " to " + std::to_string(s.toRow)
                                 + ": the slopes rise " + metres(s.slopeRiseM, true) + " m, the altimeter "
                                 + metres(s.altimeterRiseM, true) + " m; they differ by " + metres(s.differenceM, true)
                                 + " m (tolerance " + metres(s.toleranceM) + " m)";
        out.push_back(Diagnostic::warning(text, s.toRow, "Altimeter"));
    }
    for (const auto& s : report.suspects) {
        const auto sameRank = std::count_if(report.suspects.begin(), report.suspects.end(),
                                            [&](const auto& o) { return o.rank == s.rank; });
        const std::string kind = zelt::compute::kindName(s.kind);
        out.push_back(Diagnostic::warning(
            "suspect, rank " + std::to_string(s.rank) + (sameRank > 1 ? " (tie)" : "") + ": " + reading(s.value) + ", try "
                + reading(s.suggested) + (kind.empty() ? "" : " (" + kind + ")") + "; rms " + metres(s.rmsBeforeM)
                + " -> " + metres(s.rmsAfterM) + " m",
            s.row, zelt::compute::fieldName(s.field)));
    }
    return out;
}

void installCheckCommand(TMainForm& main)
{
    QObject::connect(main.actions().Check1, &QAction::triggered, &main, [&main] { check(main); });
}

}  // namespace zelt::shell

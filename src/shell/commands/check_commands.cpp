// SPDX-License-Identifier: GPL-3.0-or-later
// The "Check" command: slopes against the altimeter and the suspect readings, in the diagnostics list.
#include "shell/commands/check_commands.h"

#include "document/value_format.h"
#include "shell/commands/check_findings.h"
#include "shell/commands/diagnostics_dialog.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/undo_commands.h"

#include <QAction>

#include <optional>
#include <string>

namespace zelt::shell {

namespace {

using zelt::compute::CheckReport;
using zelt::document::Diagnostic;
using zelt::document::TraverseTable;

std::string metres(double v, bool sign = false)
{
    const QString s = QString::number(v, 'f', 1);
    return ((sign && v >= 0.05) ? std::string("+") : std::string()) + s.toStdString();
}

std::string reading(double v) { return QString::number(v, 'g', 12).toStdString(); }

void check(TMainForm& main, TMDIChild* child, const QString& done = {});

/// Puts the suspect's suggested value into its cell as one undo step, as a posted edit would
/// store it, then checks again: the list and the marks show what is left.
void applySuggestion(TMainForm& main, TMDIChild* child, const zelt::compute::Suspect& suspect)
{
    TraverseTable& t = child->Table1();
    if (t.isReadOnly()) {
        TMDIChild::showError(&main, child->readOnlyMessage());
        return;
    }
    if (!child->settlePendingRow())
        return;
    const std::string field = zelt::compute::fieldName(suspect.field);
    const int index = t.fieldIndex(field);
    // The list may have outlived the readings it was made from (edited, or another check).
    const std::optional<double> now = index < 0 || suspect.row > t.rowCount()
                                          ? std::nullopt
                                          : zelt::document::numberOf(t.valueAt(suspect.row - 1, index));
    if (!now || *now != suspect.value) {
        TMDIChild::showError(&main, QStringLiteral("Row %1's %2 is no longer %3: run Check again.")
                                        .arg(suspect.row)
                                        .arg(QString::fromStdString(field), QString::fromStdString(reading(suspect.value))));
        return;
    }
    const std::string text = zelt::document::formatGeneral(suspect.suggested, t.decimalSeparator());
    try {
        UndoStep step(child, QStringLiteral("Apply Suggested ") + QString::fromStdString(field));
        t.setRecNo(suspect.row);
        t.enterText(field, text, t.decimalSeparator());
        t.post();
    } catch (const std::exception& e) {
        if (t.isOpen() && t.state() != TraverseTable::State::Browse)
            t.cancel();
        TMDIChild::showError(&main, QString::fromUtf8(e.what()));
        return;
    }
    // The cell editor showed the old value: the grid is read again and opens it anew.
    child->refreshRows();
    child->goToRow(suspect.row, QString::fromStdString(field));
    check(main, child,
          QStringLiteral("Applied %1 to row %2's %3").arg(QString::fromStdString(text)).arg(suspect.row).arg(QString::fromStdString(field)));
}

/// Checks `child`; `done` (when not empty) names what was just applied, and the list is then
/// filled whatever is found, so that it never shows findings that no longer hold.
void check(TMainForm& main, TMDIChild* child, const QString& done)
{
    if (!child)
        return;
    try {
        const zelt::document::Document& doc = child->document();
        zelt::document::Diagnostics entries;
        // A damaged known-points file leaves the plan unchecked; the slopes are still checked.
        if (!doc.knownPoints.damage().empty())
            entries.push_back(Diagnostic::warning("the plan is not checked: " + doc.knownPoints.damage()));
        CheckReport report = zelt::compute::checkTraverse(zelt::compute::checkRowsOf(doc.table), doc.pairsPer100m,
                                                          doc.knownPoints.points());
        const zelt::document::Diagnostics found = checkDiagnostics(report);
        entries.insert(entries.end(), found.begin(), found.end());
        // The suspects are the last entries checkDiagnostics gives.
        const std::size_t firstSuspect = entries.size() - report.suspects.size();
        const std::vector<zelt::compute::Suspect> suspects = report.suspects;
        const bool flagged = report.flagged();
        const bool planFlagged = report.planFlagged;
        child->checkFindings()->set(std::move(report));
        const QString lead = done.isEmpty() ? QStringLiteral("Check: ") : done + QStringLiteral("; check: ");
        DiagnosticsDialog* list = main.diagnosticsDialog();
        if (!flagged) {
            QString status = lead + QStringLiteral("nothing flagged");
            for (const Diagnostic& d : entries)
                status += QStringLiteral("; ") + QString::fromStdString(d.text);
            main.showStatusFor(child, status);
            if (!done.isEmpty() && list) {
                entries.insert(entries.begin(), Diagnostic::note("nothing flagged"));
                list->setDiagnostics(entries, QStringLiteral("Check"), child);
            }
            return;
        }
        if (planFlagged && suspects.empty())
            entries.push_back(Diagnostic::note("no single reading explains the misclosure"));
        // The status line must not keep an earlier check's "nothing flagged".
        main.showStatusFor(child, lead + QStringLiteral("flagged; the findings are in the list"));
        if (entries.size() == 1 && list && !done.isEmpty())
            list->setDiagnostics(entries, QStringLiteral("Check"), child);
        else
            main.showDiagnostics(entries, QStringLiteral("Check"), child);
        list = main.diagnosticsDialog();
        if (!list || suspects.empty())
            return;
        std::vector<bool> applicable(entries.size(), false);
        for (std::size_t k = 0; k < suspects.size(); ++k)
            applicable[firstSuspect + k] = true;
        list->offerApply(std::move(applicable), [&main, suspects, firstSuspect](TMDIChild* document, std::size_t index) {
            if (index >= firstSuspect && index - firstSuspect < suspects.size())
                applySuggestion(main, document, suspects[index - firstSuspect]);
        });
        // Once the document changes, the list no longer offers what it found: the readings and
        // row numbers may have moved.
        CheckFindings* findings = child->checkFindings();
        QObject::disconnect(findings, &CheckFindings::changed, list, nullptr);
        QObject::connect(findings, &CheckFindings::changed, list, [list, findings, child] {
            if (!findings->report() && list->document() == child && list->windowTitle() == QLatin1String("Check")) {
                list->offerApply({}, nullptr);
                list->setWindowTitle(QStringLiteral("Check (the table changed since: run Check again)"));
            }
        });
    } catch (const std::exception& e) {
        TMDIChild::showError(&main, QString::fromUtf8(e.what()));
    }
}

}  // namespace

zelt::document::Diagnostics checkDiagnostics(const CheckReport& report)
{
    zelt::document::Diagnostics out = report.notes;
    if (report.planRmsM) {
        // The same rms the Known Points dialog and the route view show for the same placement.
        std::string text = "placed on the known points: rms " + metres(*report.planRmsM)
                           + " m on the ground (tolerance " + metres(report.planToleranceM) + " m)";
        if (report.suggestedKnownRow)
            text += "; one more known point would help most at row " + std::to_string(*report.suggestedKnownRow);
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
            "suspect, rank " + std::to_string(s.rank) + (sameRank > 1 ? " (tie)" : "") + ", "
                + QString::number(100 * s.probability, 'f', 1).toStdString() + " %: " + reading(s.value) + ", try "
                + reading(s.suggested) + (kind.empty() ? "" : " (" + kind + ")") + "; rms " + metres(s.rmsBeforeM)
                + " -> " + metres(s.rmsAfterM) + " m",
            s.row, zelt::compute::fieldName(s.field)));
    }
    return out;
}

void installCheckCommand(TMainForm& main)
{
    QObject::connect(main.actions().Check1, &QAction::triggered, &main, [&main] { check(main, main.activeDocument()); });
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The route of one document, kept up to date with its table for the route dock.
#pragma once

#include "compute/blunder_check.h"
#include "document/document.h"
#include "shell/paint/route_painter.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace zelt::shell {

class CheckFindings;

/// The route of one document (owned by its `TMDIChild` beside the grid model). Listens to the
/// table: a post recomputes the route from the changed row on (heights alone only touch the
/// profile), inserts, deletes, resets and survey values recompute it; changes are gathered and
/// applied once control returns to the event loop, so typing is never held up by a long table.
/// Figures come from the figure file beside the program; without one (or with a damaged one)
/// the route is drawn without them and figureProblem() says why.
class RouteModel : public QObject {
    Q_OBJECT
public:
    explicit RouteModel(zelt::document::Document& document, QObject* parent = nullptr);
    ~RouteModel() override;

    const RouteScene& scene() const { return m_scene; }
    zelt::document::Document& document() { return m_doc; }

    bool showFigures() const { return m_showFigures; }
    void setShowFigures(bool show);
    /// Which leg lengths the route is laid out with (walked unless set); the known points are
    /// fitted with the same.
    zelt::compute::LegLengths legLengths() const { return m_lengths; }
    void setLegLengths(zelt::compute::LegLengths lengths);
    void setShowMarks(bool show);
    /// Reads figures from `lookup` instead of the figure file (tests, the command line).
    void setFigureLookup(zelt::compute::FigureLookup lookup);
    /// Why the route is drawn without figures (empty when it is not).
    QString figureProblem() const { return m_figureProblem; }
    /// Why the legs have no length (an unusable pairs ratio), empty otherwise.
    QString lengthProblem() const;

    /// Makes `row` (0-based) the table's current row, as clicking it in the grid would; a
    /// refused post of the row being edited is reported through errorRaised.
    void selectRow(int row);
    /// The findings of the last check drawn over the route (`findings` may be null and outlives
    /// the model); checkMarksChanged() tells when they change.
    void setCheckFindings(const CheckFindings* findings);
    /// The findings to draw, null when there are none.
    const zelt::compute::CheckReport* checkReport() const;
    /// What was found about row `row` (1-based), empty when nothing.
    QString checkText(int row) const;
    /// Applies pending table changes now (the event loop does it otherwise).
    void flush();

signals:
    /// The route's line moved (and with it, possibly, the profile).
    void routeChanged();
    /// Only heights changed: the profile needs drawing again, the plan does not.
    void heightsChanged();
    /// The document's known points or their residuals changed (the plan draws them).
    void knownPointsChanged();
    void currentRowChanged(int row);
    void errorRaised(const QString& message);
    void checkMarksChanged();

private:
    class Observer;
    void reloadAll();
    void rowChanged(int row);
    void rowsInserted(int first, int count);
    void rowsRemoved(int first, int count);
    void currentChanged(int row);
    void markDirty(std::size_t fromRow);
    /// Places the known points on the route as it is now.
    void updateKnownPoints();
    void queueFlush();
    void recompute();
    QString markAt(int row) const;
    int rowCount() const;

    zelt::document::Document& m_doc;
    RouteScene m_scene;
    std::vector<zelt::compute::RouteRow> m_rows;
    zelt::compute::FigureLookup m_figures;
    bool m_showFigures = true;
    zelt::compute::LegLengths m_lengths = zelt::compute::LegLengths::Walked;
    QString m_figureProblem;
    std::size_t m_dirtyFrom = 0;
    bool m_dirty = false;                  ///< rows from m_dirtyFrom on are computed again
    std::vector<std::size_t> m_changedLegs;   ///< single rows whose leg changed, replaced in place
    bool m_heightsDirty = false;
    bool m_flushQueued = false;
    std::shared_ptr<void> m_knownSubscription;   ///< to the document's known points
    const CheckFindings* m_findings = nullptr;
    std::unique_ptr<Observer> m_observer;
    zelt::document::ObserverRegistration m_registration;   ///< after m_observer: unregisters first
};

}  // namespace zelt::shell

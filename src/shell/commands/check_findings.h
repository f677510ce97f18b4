// SPDX-License-Identifier: GPL-3.0-or-later
// What the last Check found in one document, kept for the grid and the route view until it changes.
#pragma once

#include "compute/blunder_check.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zelt::document {
struct Document;
}

namespace zelt::shell {

/// The findings of the last Check of one document (owned by its window). Any change to the
/// document (a row written, inserted or removed, the survey values, the known points) drops
/// them: row numbers and readings may no longer be what was checked, and checking again is
/// cheap. changed() follows from the event loop, so listeners never hear of it in the middle
/// of the table's own notifications.
class CheckFindings : public QObject {
    Q_OBJECT
public:
    /// How a cell is marked: a suspect reading (the best ones apart) or the second reading of
    /// a stretch whose slopes disagree with the altimeter.
    enum class Mark { None, Suspect, BestSuspect, Stretch };

    explicit CheckFindings(zelt::document::Document& document, QObject* parent = nullptr);
    ~CheckFindings() override;

    /// Keeps `report` (of the document as it is now) and announces it.
    void set(zelt::compute::CheckReport report);
    void clear();
    /// The findings, or null when there are none to show (never checked, or changed since).
    const zelt::compute::CheckReport* report() const { return m_report ? &*m_report : nullptr; }
    /// The mark of the cell in row `row` (1-based) of `field` (as the table names it, in any
    /// case), with what was found there in `text` when it is marked.
    Mark markAt(int row, std::string_view field, QString* text = nullptr) const;
    /// What was found in row `row` (1-based), one finding a line; empty when nothing.
    QString rowText(int row) const;

signals:
    void changed();

private:
    class Observer;
    void announce();

    zelt::document::Document& m_document;
    std::optional<zelt::compute::CheckReport> m_report;
    std::map<std::pair<int, std::string>, std::pair<Mark, QString>> m_cells;   ///< by row, lower-case field
    bool m_announceQueued = false;
    std::unique_ptr<Observer> m_observer;
    std::shared_ptr<void> m_knownSubscription;
};

}  // namespace zelt::shell

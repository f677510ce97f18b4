// SPDX-License-Identifier: GPL-3.0-or-later
// What the last Check found in one document, kept for the grid and the route view until it changes.
#include "shell/commands/check_findings.h"

#include "document/document.h"
#include "shell/commands/check_commands.h"

#include <QStringList>

#include <algorithm>
#include <cctype>

namespace zelt::shell {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

/// Drops the findings on every change of the rows or the survey values.
class CheckFindings::Observer : public zelt::document::TableObserver {
public:
    explicit Observer(CheckFindings& findings, zelt::document::TraverseTable& table)
        : m_findings(findings), m_registration(table.addObserver(this))
    {
    }
    void tableReset() override { m_findings.clear(); }
    void rowsInserted(int, int) override { m_findings.clear(); }
    void rowsRemoved(int, int) override { m_findings.clear(); }
    void rowChanged(int) override { m_findings.clear(); }
    void currentChanged(int) override {}
    void stateChanged() override {}
    void surveyValuesChanged() override { m_findings.clear(); }

private:
    CheckFindings& m_findings;
    zelt::document::ObserverRegistration m_registration;
};

CheckFindings::CheckFindings(zelt::document::Document& document, QObject* parent)
    : QObject(parent), m_document(document), m_observer(std::make_unique<Observer>(*this, document.table))
{
    m_knownSubscription = std::make_shared<zelt::document::DocumentKnownPoints::Subscription>(
        m_document.knownPoints.subscribe([this] { clear(); }));
}

CheckFindings::~CheckFindings() = default;

void CheckFindings::set(zelt::compute::CheckReport report)
{
    m_cells.clear();
    // The cells are those the findings' list names: each suspect at its reading, each flagged
    // stretch at its second altimeter reading; several findings in one cell share it.
    for (const zelt::document::Diagnostic& d : checkDiagnostics(report)) {
        if (d.row <= 0 || d.field.empty())
            continue;
        Mark mark = Mark::Stretch;
        if (d.field != "Altimeter") {
            mark = Mark::Suspect;
            for (const zelt::compute::Suspect& s : report.suspects)
                if (s.row == d.row && zelt::compute::fieldName(s.field) == d.field && s.rank == 1)
                    mark = Mark::BestSuspect;
        }
        auto& cell = m_cells[{d.row, lower(d.field)}];
        cell.first = std::max(cell.first, mark);
        cell.second += (cell.second.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(d.text);
    }
    m_report = std::move(report);
    announce();
}

void CheckFindings::clear()
{
    if (!m_report)
        return;
    m_report.reset();
    m_cells.clear();
    announce();
}

void CheckFindings::announce()
{
    if (m_announceQueued)
        return;
    m_announceQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_announceQueued = false;
            emit changed();
        },
        Qt::QueuedConnection);
}

CheckFindings::Mark CheckFindings::markAt(int row, std::string_view field, QString* text) const
{
    if (m_cells.empty())
        return Mark::None;
    const auto it = m_cells.find({row, lower(field)});
    if (it == m_cells.end())
        return Mark::None;
    if (text)
        *text = it->second.second;
    return it->second.first;
}

QString CheckFindings::rowText(int row) const
{
    QStringList lines;
    for (auto it = m_cells.lower_bound({row, std::string()}); it != m_cells.end() && it->first.first == row; ++it)
        lines << it->second.second;
    return lines.join(QLatin1Char('\n'));
}

}  // namespace zelt::shell

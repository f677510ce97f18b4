// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping a document's route in step with its table.
#include "shell/route/route_model.h"

#include "compute/field_rules.h"
#include "export/figure_file.h"
#include "export/ocad_writer.h"
#include "shell/commands/check_findings.h"
#include "shell/paint/route_known_marks.h"

#include <QTimer>

#include <algorithm>

namespace zelt::shell {

using zelt::compute::RouteBuilder;
using zelt::compute::RouteRow;

class RouteModel::Observer : public zelt::document::TableObserver {
public:
    explicit Observer(RouteModel& m) : m_model(m) {}
    void tableReset() override { m_model.reloadAll(); }
    void rowsInserted(int first, int count) override { m_model.rowsInserted(first, count); }
    void rowsRemoved(int first, int count) override { m_model.rowsRemoved(first, count); }
    void rowChanged(int index) override { m_model.rowChanged(index); }
    void currentChanged(int index) override { m_model.currentChanged(index); }
    void stateChanged() override {}
    void surveyValuesChanged() override { m_model.reloadAll(); }

private:
    RouteModel& m_model;
};

RouteModel::RouteModel(zelt::document::Document& document, QObject* parent)
    : QObject(parent), m_doc(document), m_observer(std::make_unique<Observer>(*this))
{
    try {
        const auto file = zelt::mapexport::FigureFile::locate(zelt::mapexport::FigureFile::defaultSearchDirs());
        m_figures = zelt::mapexport::FigureFile::load(file, zelt::mapexport::FigureFile::codePageOf(m_doc.table))
                        .cachedLookup();
    } catch (const std::exception& e) {
        m_figureProblem = QString::fromUtf8(e.what());
    }
    m_registration = m_doc.table.addObserver(m_observer.get());
    m_knownSubscription = std::make_shared<zelt::document::DocumentKnownPoints::Subscription>(
        m_doc.knownPoints.subscribe([this] {
            updateKnownPoints();
            emit knownPointsChanged();
        }));
    reloadAll();
    flush();
}

RouteModel::~RouteModel() = default;

int RouteModel::rowCount() const { return m_doc.table.isOpen() ? m_doc.table.displayRowCount() : 0; }

QString RouteModel::markAt(int row) const
{
    const int field = m_doc.table.fieldIndex("Mark");
    if (field < 0)
        return {};
    const zelt::document::Value v = m_doc.table.valueAt(row, field);
    const auto* text = std::get_if<std::string>(&v);
    return text ? QString::fromStdString(*text) : QString();
}

QString RouteModel::lengthProblem() const
{
    if (m_rows.empty() || zelt::compute::isUsablePairsRatio(m_doc.pairsPer100m))
        return {};
    return QString::fromStdString(zelt::compute::pairsRatioMessage(m_doc.pairsPer100m));
}

void RouteModel::setShowFigures(bool show)
{
    if (show == m_showFigures)
        return;
    m_showFigures = show;
    markDirty(0);
    flush();
}

void RouteModel::setLegLengths(zelt::compute::LegLengths lengths)
{
    if (lengths == m_lengths)
        return;
    m_lengths = lengths;
    reloadAll();
    flush();
}

void RouteModel::setShowMarks(bool show)
{
    m_scene.showMarks = show;
    emit routeChanged();
}

void RouteModel::setFigureLookup(zelt::compute::FigureLookup lookup)
{
    m_figures = std::move(lookup);
    m_figureProblem.clear();
    markDirty(0);
    flush();
}

void RouteModel::reloadAll()
{
    const int n = rowCount();
    std::vector<std::string> marks;
    m_rows = zelt::compute::routeRowsOf(m_doc.table, m_doc.pairsPer100m, n, &marks, m_lengths);
    m_scene.marks.clear();
    m_scene.marks.reserve(marks.size());
    for (const std::string& mark : marks)
        m_scene.marks.push_back(QString::fromStdString(mark));
    m_scene.startHeight = m_doc.startHeight;
    m_scene.currentRow = m_doc.table.isOpen() ? m_doc.table.currentIndex() : -1;
    m_scene.route = {};
    markDirty(0);
}

void RouteModel::rowChanged(int row)
{
    if (row < 0 || std::size_t(row) >= m_rows.size()) {
        reloadAll();
        return;
    }
    const auto i = std::size_t(row);
    RouteRow fresh = zelt::compute::routeRowAt(m_doc.table, row, m_doc.pairsPer100m, m_lengths);
    m_scene.marks[i] = markAt(row);
    const RouteRow& old = m_rows[i];
    const bool sameLeg = fresh.azimuth == old.azimuth && fresh.lengthM == old.lengthM && fresh.turnNote == old.turnNote;
    m_rows[i] = std::move(fresh);
    if (m_dirty && m_dirtyFrom <= i)
        return;   // computed again from an earlier row anyway
    if (sameLeg && std::find(m_changedLegs.begin(), m_changedLegs.end(), i) == m_changedLegs.end()) {
        zelt::compute::setRowHeights(m_scene.route, i, m_rows[i]);   // the plan stays as it is
        m_heightsDirty = true;
        queueFlush();
        return;
    }
    // A few edited rows are replaced in place (the rest of the route moves with them); more
    // than that, and computing the route again from the first of them costs less.
    constexpr std::size_t kMaxInPlace = 8;
    if (std::find(m_changedLegs.begin(), m_changedLegs.end(), i) == m_changedLegs.end())
        m_changedLegs.push_back(i);
    if (m_changedLegs.size() > kMaxInPlace)
        markDirty(*std::min_element(m_changedLegs.begin(), m_changedLegs.end()));
    queueFlush();
}

void RouteModel::rowsInserted(int first, int count)
{
    if (first < 0 || count <= 0 || std::size_t(first) > m_rows.size()) {
        reloadAll();
        return;
    }
    for (int k = 0; k < count; ++k) {
        m_rows.insert(m_rows.begin() + first + k, zelt::compute::routeRowAt(m_doc.table, first + k, m_doc.pairsPer100m, m_lengths));
        m_scene.marks.insert(m_scene.marks.begin() + first + k, markAt(first + k));
    }
    markDirty(std::size_t(first));
}

void RouteModel::rowsRemoved(int first, int count)
{
    if (first < 0 || count <= 0 || std::size_t(first) + std::size_t(count) > m_rows.size()) {
        reloadAll();
        return;
    }
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + first + count);
    m_scene.marks.erase(m_scene.marks.begin() + first, m_scene.marks.begin() + first + count);
    markDirty(std::size_t(first));
}

void RouteModel::currentChanged(int row)
{
    if (row == m_scene.currentRow)
        return;
    m_scene.currentRow = row;
    emit currentRowChanged(row);
}

void RouteModel::markDirty(std::size_t fromRow)
{
    // Rows waiting to be replaced in place are computed with the rest instead.
    for (const std::size_t row : m_changedLegs)
        fromRow = std::min(fromRow, row);
    m_changedLegs.clear();
    m_dirtyFrom = m_dirty ? std::min(m_dirtyFrom, fromRow) : fromRow;
    m_dirty = true;
    queueFlush();
}

void RouteModel::queueFlush()
{
    if (!m_flushQueued) {
        m_flushQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_flushQueued = false;
            flush();
        });
    }
}

void RouteModel::flush()
{
    if (m_dirty) {
        recompute();
        return;
    }
    if (!m_changedLegs.empty()) {
        const zelt::compute::FigureLookup none;
        try {
            for (const std::size_t row : m_changedLegs)
                if (row < m_scene.route.rowCount() && row < m_rows.size())
                    zelt::compute::replaceRow(m_scene.route, row, m_rows[row], m_showFigures ? m_figures : none);
        } catch (const std::exception&) {
            // A damaged figure: the whole route is made again, which reports it.
            markDirty(0);
            recompute();
            return;
        }
        m_changedLegs.clear();
        m_heightsDirty = false;
        ++m_scene.version;
        updateKnownPoints();
        emit routeChanged();
        return;
    }
    if (m_heightsDirty) {
        m_heightsDirty = false;
        emit heightsChanged();
    }
}

void RouteModel::recompute()
{
    m_dirty = false;
    m_changedLegs.clear();
    m_heightsDirty = false;
    const std::size_t from = std::min(m_dirtyFrom, m_rows.size());
    const zelt::compute::FigureLookup none;
    const zelt::compute::FigureLookup& figures = m_showFigures ? m_figures : none;
    RouteBuilder builder(std::move(m_scene.route));
    builder.truncate(from);
    try {
        for (std::size_t i = builder.route().rowCount(); i < m_rows.size(); ++i)
            builder.addRow(m_rows[i], figures);
    } catch (const std::exception& e) {
        // A damaged figure: the route is drawn without figures and the reason shown.
        m_figureProblem = QString::fromUtf8(e.what());
        m_figures = {};
        builder = RouteBuilder();
        for (const RouteRow& r : m_rows)
            builder.addRow(r, none);
    }
    m_scene.route = builder.take();
    m_scene.startHeight = m_doc.startHeight;
    ++m_scene.version;
    updateKnownPoints();
    emit routeChanged();
}

void RouteModel::updateKnownPoints()
{
    const zelt::document::KnownPoints& known = m_doc.knownPoints.points();
    if (known.empty()) {
        m_scene.knownPoints.reset();
        return;
    }
    m_scene.knownPoints = std::make_shared<const KnownPointMarks>(knownPointMarks(m_scene.route, known, m_doc.pairsPer100m));
}

void RouteModel::setCheckFindings(const CheckFindings* findings)
{
    if (m_findings)
        disconnect(m_findings, nullptr, this, nullptr);
    m_findings = findings;
    if (m_findings)
        connect(m_findings, &CheckFindings::changed, this, &RouteModel::checkMarksChanged);
    emit checkMarksChanged();
}

const zelt::compute::CheckReport* RouteModel::checkReport() const
{
    return m_findings ? m_findings->report() : nullptr;
}

QString RouteModel::checkText(int row) const
{
    return m_findings ? m_findings->rowText(row) : QString();
}

void RouteModel::selectRow(int row)
{
    zelt::document::TraverseTable& t = m_doc.table;
    if (!t.isOpen() || row < 0 || row >= rowCount() || row == t.currentIndex())
        return;
    try {
        t.setRecNo(row + 1);
    } catch (const std::exception& e) {
        emit errorRaised(QString::fromUtf8(e.what()));
    }
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Settings > "Known Points...": the active table's known points, their residuals and the fit's report.
#include "shell/commands/known_points_dialog.h"

#include "compute/fit_wording.h"
#include "compute/height_passes.h"
#include "compute/route_placement.h"
#include "shell/commands/document_change.h"
#include "shell/route/route_dock.h"
#include "document/value_format.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/undo_commands.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <tuple>

namespace zelt::shell {

using zelt::document::KnownPoints;

namespace {

constexpr double kMaxCoordinateMm = 1e7;

QString number(double v, int decimals)
{
    if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals))
        v = 0;   // no "-0.00"
    return QLocale().toString(v, 'f', decimals);
}

/// The fit's report in the user's number format.
QString reportText(const zelt::compute::FitReport& r, double pairsNow, double mapScale, zelt::compute::LegLengths lengths)
{
    const zelt::compute::FitWording wording{pairsNow, mapScale, lengths, [](double v, int decimals) {
                                                return number(v, decimals).toStdString();
                                            }};
    return QString::fromStdString(zelt::compute::fitReportText(r, wording));
}

// A coordinate's editor, holding the value as the grid shows numbers: every digit kept.
QLineEdit* coordinateBox(QWidget* parent, double value, char decimalSeparator)
{
    auto* box = new QLineEdit(QString::fromStdString(zelt::document::formatGeneral(value, decimalSeparator)), parent);
    box->setMinimumWidth(140);
    return box;
}

}  // namespace

std::optional<double> readCoordinateMm(const QString& text, char decimalSeparator, const QString& axis, QString* error)
{
    const std::optional<double> v = zelt::document::parseDecimal(text.toStdString(), decimalSeparator);
    if (v && std::fabs(*v) <= kMaxCoordinateMm)
        return v;
    // Worded as the grid words a refused value.
    const std::string label = axis.toStdString();
    const std::string message = v ? zelt::document::rangeErrorMessage(*v, label, -kMaxCoordinateMm, kMaxCoordinateMm,
                                                                        decimalSeparator) + " mm"
                                  : "'" + text.toStdString() + "' is not a valid value for field '" + label
                                        + "'. The allowed range is "
                                        + zelt::document::formatGeneral(-kMaxCoordinateMm, decimalSeparator) + " to "
                                        + zelt::document::formatGeneral(kMaxCoordinateMm, decimalSeparator)
                                        + " mm, written with '" + decimalSeparator + "' as the decimal separator";
    if (error)
        *error = QString::fromStdString(message);
    return std::nullopt;
}

KnownPointsDialog::KnownPointsDialog(TMainForm& main) : QDialog(&main), m_main(main)
{
    setObjectName(QStringLiteral("KnownPointsDlg"));
    setWindowTitle(QStringLiteral("Known Points"));

    m_list = new QTableWidget(0, 5, this);
    m_list->setHorizontalHeaderLabels({QStringLiteral("Row"), QStringLiteral("Mark"), QStringLiteral("X mm"),
                                       QStringLiteral("Y mm"), QStringLiteral("Residual mm")});
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &KnownPointsDialog::editSelected);

    m_scale = new QDoubleSpinBox(this);
    m_scale->setRange(1, 1e7);
    m_scale->setDecimals(0);
    m_scale->setPrefix(QStringLiteral("1:"));
    m_scale->setValue(KnownPoints::kDefaultMapScale);
    connect(m_scale, &QDoubleSpinBox::editingFinished, this, &KnownPointsDialog::scaleEdited);

    m_add = new QPushButton(QStringLiteral("&Add Current Row..."), this);
    m_addEnd = new QPushButton(QStringLiteral("Add E&nd of Route..."), this);
    m_edit = new QPushButton(QStringLiteral("&Edit..."), this);
    m_remove = new QPushButton(QStringLiteral("&Remove"), this);
    m_usePace = new QPushButton(QStringLiteral("&Use this pace count"), this);
    connect(m_add, &QPushButton::clicked, this, &KnownPointsDialog::addCurrentRow);
    connect(m_addEnd, &QPushButton::clicked, this, &KnownPointsDialog::addRouteEnd);
    connect(m_edit, &QPushButton::clicked, this, &KnownPointsDialog::editSelected);
    connect(m_remove, &QPushButton::clicked, this, &KnownPointsDialog::removeSelected);
    connect(m_usePace, &QPushButton::clicked, this, &KnownPointsDialog::usePaceCount);

    m_reportView = new QPlainTextEdit(this);
    m_reportView->setReadOnly(true);
    m_reportView->setMinimumHeight(120);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_addEnd);
    buttons->addWidget(m_edit);
    buttons->addWidget(m_remove);
    buttons->addStretch();
    auto* scaleRow = new QFormLayout;
    scaleRow->addRow(QStringLiteral("Map &scale:"), m_scale);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_usePace);
    bottom->addStretch();
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(scaleRow);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    layout->addWidget(m_reportView);
    layout->addLayout(bottom);
    resize(560, 460);
}

void KnownPointsDialog::showForActive()
{
    m_child = m_main.activeDocument();
    if (!m_child)
        return;
    // The route dock's choice of leg lengths is the fit's too.
    if (const auto* dock = m_main.findChild<RouteDock*>())
        connect(dock->horizontalAction(), &QAction::toggled, this, &KnownPointsDialog::reload, Qt::UniqueConnection);
    m_child->document().knownPoints.reloadIfChanged();   // changed by another program meanwhile
    reload();
    show();
    raise();
    activateWindow();
}

bool KnownPointsDialog::event(QEvent* e)
{
    // Rows or the pace count may have changed while the user worked in the table.
    if (e->type() == QEvent::WindowActivate && m_child) {
        if (TMDIChild* active = m_main.activeDocument())
            active->document().knownPoints.reloadIfChanged();
        reload();
    }
    return QDialog::event(e);
}

void KnownPointsDialog::reload()
{
    m_points = KnownPoints{};
    m_damage.reset();
    if (TMDIChild* child = m_main.activeDocument(); child && child != m_child)
        m_child = child;
    if (m_child) {
        const zelt::document::DocumentKnownPoints& known = m_child->document().knownPoints;
        m_points = known.points();
        if (!known.damage().empty())
            m_damage = known.damage();
        if (m_followed != m_child) {
            // Rows inserted or deleted in the table move the points; the list follows at once.
            m_followed = m_child;
            m_subscription = m_child->document().knownPoints.subscribe([this] {
                if (isVisible())
                    reload();
            });
        }
        setWindowTitle(QStringLiteral("Known Points - ")
                       + QString::fromStdString(m_child->Table1().path().filename().string()));
    }
    refit();
    fill();
}

void KnownPointsDialog::refit()
{
    m_report.reset();
    m_fitProblem.clear();
    if (m_damage) {
        m_fitProblem = QString::fromStdString(*m_damage);
        return;
    }
    if (!m_child || m_points.empty()) {
        m_fitProblem = QStringLiteral("No known points yet. Choose a row whose mark you can find on the map (where "
                                      "its leg begins, as the map export writes its labels) and add it with its "
                                      "map coordinates.");
        return;
    }
    try {
        m_report = zelt::compute::placeOnKnownPoints(m_child->document(), m_points, m_points.mapScale,
                                                     chosenLegLengths(m_main));
    } catch (const std::exception& e) {
        m_fitProblem = QString::fromUtf8(e.what());
    }
}

void KnownPointsDialog::fill()
{
    m_scale->setValue(m_points.mapScale);
    m_list->setRowCount(int(m_points.points.size()));
    auto* table = m_child ? &m_child->Table1() : nullptr;
    const int markField = table ? table->fieldIndex("Mark") : -1;
    for (int i = 0; i < int(m_points.points.size()); ++i) {
        const auto& p = m_points.points[std::size_t(i)];
        QString residual;
        if (m_report)
            for (const auto& r : m_report->residuals)
                if (r.row == p.row)
                    residual = number(std::hypot(r.dxMm, r.dyMm), 2) + QStringLiteral(" (") + number(r.dxMm, 2)
                        + QStringLiteral(", ") + number(r.dyMm, 2) + QLatin1Char(')');
        const int rows = table ? table->rowCount() : 0;
        const QString mark = p.row <= rows ? QString::fromStdString(table->displayTextAt(p.row - 1, markField))
            : p.row == rows + 1           ? QStringLiteral("(end of route)")
                                          : QString();
        const QString cells[] = {QString::number(p.row), mark, number(p.xMm, 2), number(p.yMm, 2), residual};
        for (int c = 0; c < 5; ++c)
            m_list->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
    m_reportView->setPlainText(m_report ? reportText(*m_report, m_child->document().pairsPer100m, m_points.mapScale,
                                                     chosenLegLengths(m_main))
                                        : m_fitProblem);
    m_usePace->setEnabled(m_report && m_report->distinctPoints >= 2);
    m_edit->setEnabled(!m_points.empty());
    m_remove->setEnabled(!m_points.empty());
    m_add->setEnabled(m_child != nullptr);
    m_addEnd->setEnabled(m_child != nullptr);
}

bool KnownPointsDialog::save(const KnownPoints& next)
{
    if (!m_child)
        return false;
    try {
        if (m_damage) {
            const auto answer = QMessageBox::question(
                this, QStringLiteral("Known Points"),
                QString::fromStdString(*m_damage) + QStringLiteral("\n\nReplace it with the points shown here?"));
            if (answer != QMessageBox::Yes)
                return false;
        }
        UndoStep step(m_child, QStringLiteral("Known Points"), UndoStep::KeepPending);
        m_child->document().knownPoints.replace(next);
    } catch (const std::exception& e) {
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
        return false;
    }
    m_points = next;
    m_damage.reset();
    refit();
    fill();
    return true;
}

bool KnownPointsDialog::setPoint(int row, double xMm, double yMm)
{
    KnownPoints next = m_damage ? KnownPoints{} : m_points;
    try {
        // One past the last row is the route's end.
        if (m_child && row > m_child->Table1().rowCount() + 1)
            throw zelt::document::KnownPointsError("The table has no row " + std::to_string(row) + ".");
        next.set(row, xMm, yMm);
    } catch (const std::exception& e) {
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
        return false;
    }
    return save(next);
}

bool KnownPointsDialog::removePoint(int row)
{
    KnownPoints next = m_points;
    return next.remove(row) && save(next);
}

QString KnownPointsDialog::paceCountQuestion(double from, double to)
{
    // The ratio converts pairs to metres where lengths are worked out (the route, F and G, the
    // heights); a length already stored in metres stays as it was typed or converted.
    return QStringLiteral("Set the pace count from %1 to %2 pairs per 100 m?\n\n"
                          "The route, the horizontal lengths (F), the height gains (G) and the heights "
                          "are worked out from the pairs again with the new count. The metres already "
                          "stored in the rows (metru) stay as they are; a length typed from now on is "
                          "converted with the new count.")
        .arg(number(from, 2), number(to, 2));
}

bool KnownPointsDialog::usePaceCount()
{
    if (!m_child || !m_report || m_report->distinctPoints < 2)
        return false;
    auto& doc = m_child->document();
    const double implied = m_report->pairsPer100m;
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Known Points"),
        paceCountQuestion(doc.pairsPer100m, implied));
    if (answer != QMessageBox::Yes)
        return false;
    try {
        const UndoStep step(m_child, QStringLiteral("Pace Count"));
        const auto result = runAsChange(m_child->session(), "pace count",
                                        [&] { return zelt::compute::applySurveyValues(doc, doc.startHeight, implied); });
        m_main.showDiagnostics(result.diagnostics, QStringLiteral("Pace count"), m_child);
    } catch (const std::exception& e) {
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
    }
    m_child->refreshRows();
    m_main.updateEnabling();
    refit();
    fill();
    return true;
}

void KnownPointsDialog::addCurrentRow()
{
    if (!m_child)
        return;
    const int row = m_child->Table1().currentIndex() + 1;
    if (row < 1) {
        TMDIChild::showError(this, QStringLiteral("The table has no rows."));
        return;
    }
    const auto* existing = m_points.find(row);
    double x = existing ? existing->xMm : 0, y = existing ? existing->yMm : 0;
    if (askCoordinates(row, x, y))
        setPoint(row, x, y);
}

void KnownPointsDialog::addRouteEnd()
{
    if (!m_child)
        return;
    // The route's end is where a row added after the last one would have its mark.
    const int row = m_child->Table1().rowCount() + 1;
    const auto* existing = m_points.find(row);
    double x = existing ? existing->xMm : 0, y = existing ? existing->yMm : 0;
    if (askCoordinates(row, x, y))
        setPoint(row, x, y);
}

void KnownPointsDialog::editSelected()
{
    const int row = selectedRow();
    const auto* p = m_points.find(row);
    if (!p)
        return;
    double x = p->xMm, y = p->yMm;
    if (askCoordinates(row, x, y))
        setPoint(row, x, y);
}

void KnownPointsDialog::removeSelected()
{
    if (const int row = selectedRow(); row > 0)
        removePoint(row);
}

void KnownPointsDialog::scaleEdited()
{
    if (m_points.empty() || m_scale->value() == m_points.mapScale)
        return;
    KnownPoints next = m_points;
    next.mapScale = m_scale->value();
    save(next);
}

bool KnownPointsDialog::askCoordinates(int row, double& xMm, double& yMm)
{
    QDialog ask(this);
    ask.setWindowTitle(QStringLiteral("Known Point of Row %1").arg(row));
    const char separator = m_child ? m_child->Table1().decimalSeparator() : '.';
    auto* x = coordinateBox(&ask, xMm, separator);
    auto* y = coordinateBox(&ask, yMm, separator);
    auto* form = new QFormLayout(&ask);
    const bool end = m_child && row > m_child->Table1().rowCount();
    form->addRow(new QLabel(end ? QStringLiteral("Map position of the end of the route, as the map editor shows it:")
                                : QStringLiteral("Map position where row %1's mark stands (where its leg begins), "
                                                 "as the map editor shows it:")
                                      .arg(row)));
    form->addRow(QStringLiteral("&X (east), mm:"), x);
    form->addRow(QStringLiteral("&Y (north), mm:"), y);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    // A refused number keeps the dialog open with the text selected, as the grid keeps its cell.
    double readX = xMm, readY = yMm;
    connect(buttons, &QDialogButtonBox::accepted, &ask, [&] {
        for (auto [box, axis, value] : {std::tuple(x, QStringLiteral("X (east)"), &readX),
                                        std::tuple(y, QStringLiteral("Y (north)"), &readY)}) {
            QString error;
            const std::optional<double> v = readCoordinateMm(box->text(), separator, axis, &error);
            if (!v) {
                TMDIChild::showError(&ask, error);
                box->setFocus();
                box->selectAll();
                return;
            }
            *value = *v;
        }
        ask.accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    form->addRow(buttons);
    if (ask.exec() != QDialog::Accepted)
        return false;
    xMm = readX;
    yMm = readY;
    return true;
}

int KnownPointsDialog::selectedRow() const
{
    const int index = m_list->currentRow();
    if (index < 0 || index >= int(m_points.points.size()))
        return 0;
    return m_points.points[std::size_t(index)].row;
}

KnownPointsDialog* installKnownPointsCommand(TMainForm& main)
{
    auto* dialog = new KnownPointsDialog(main);
    auto* action = new QAction(QStringLiteral("&Known Points..."), &main);
    action->setObjectName(QStringLiteral("KnownPoints1"));
    action->setStatusTip(QStringLiteral("Place the route on map points you know and learn the pace and compass errors"));
    // Beside the survey values, in the menu that holds them.
    for (QObject* o : main.actions().Parymetry1->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(o)) {
            menu->addAction(action);
            break;
        }
    QObject::connect(action, &QAction::triggered, dialog, &KnownPointsDialog::showForActive);
    // Available exactly when the survey values are: while a document is open.
    QAction* values = main.actions().Parymetry1;
    action->setEnabled(values->isEnabled());
    QObject::connect(values, &QAction::enabledChanged, action, &QAction::setEnabled);
    // An open dialog shows the active document's points: it follows a switch of windows at once,
    // not only when it is next activated itself. A window being opened is activated before its
    // table is read, so the dialog reads it when the current event is done.
    QObject::connect(main.mdiArea(), &QMdiArea::subWindowActivated, dialog, [&main, dialog] {
        QTimer::singleShot(0, dialog, [&main, dialog] {
            if (!dialog->isVisible())
                return;
            if (TMDIChild* active = main.activeDocument())
                active->document().knownPoints.reloadIfChanged();
            dialog->reload();
        });
    });
    return dialog;
}

}  // namespace zelt::shell

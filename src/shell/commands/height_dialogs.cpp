// SPDX-License-Identifier: GPL-3.0-or-later
// The height dialogs: height selection (TOKF9Dlg), survey values (TDialog1), begin-way height (Tdialog3).
#include "shell/commands/height_dialogs.h"

#include "compute/height_passes.h"
#include "document/traverse_table.h"
#include "shell/commands/document_change.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/undo_commands.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace zelt::shell {

namespace {

/// OK (default, Enter) and Cancel in a row at the bottom of a dialog.
QHBoxLayout* buttonRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel, bool cancelOnEscape)
{
    ok = new QPushButton(QStringLiteral("OK"), dialog);
    cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    ok->setDefault(true);
    cancel->setAutoDefault(false);
    if (cancelOnEscape)
        cancel->setShortcut(QKeySequence(Qt::Key_Escape));
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

void centreOnScreen(QWidget* w)
{
    if (QScreen* screen = w->screen()) {
        w->adjustSize();
        const QRect area = screen->availableGeometry();
        w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
    }
}

/// Keeps `layout`'s dialog at least as wide as its longest title needs in a title bar (with
/// room for the window buttons), so that a window manager does not cut the title short.
void fitTitles(QBoxLayout* layout, const QWidget* dialog, const QStringList& titles)
{
    QFont bold = dialog->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    int widest = 0;
    for (const QString& title : titles)
        widest = std::max(widest, metrics.horizontalAdvance(title));
    const int buttons = 6 * metrics.height();
    layout->addSpacerItem(new QSpacerItem(widest + buttons, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
}

void showNonBlocking(QDialog* dialog)
{
    if (!dialog->isVisible())
        centreOnScreen(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace

RealSpinBox::RealSpinBox(QWidget* parent) : QDoubleSpinBox(parent)
{
    setDecimals(9);
    setRange(-std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
    setSingleStep(1.0);  // PageUp/PageDown step ten single steps
    setAccelerated(true);
}

QString RealSpinBox::textFromValue(double value) const
{
    return locale().toString(value, 'g', 15).remove(locale().groupSeparator());
}

// --- TOKF9Dlg

TOKF9Dlg::TOKF9Dlg(TMainForm& main) : QDialog(&main, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_main(main)
{
    setObjectName(QStringLiteral("OKF9Dlg"));
    setModal(false);
    m_current = new QLabel(QStringLiteral("Current Height : "), this);
    auto* future = new QLabel(QStringLiteral("Future Height : "), this);
    m_height = new RealSpinBox(this);
    auto* grid = new QGridLayout;
    grid->addWidget(m_current, 0, 0, 1, 2);
    grid->addWidget(future, 1, 0);
    grid->addWidget(m_height, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttonRow(this, m_ok, m_cancel, true));
    fitTitles(layout, this, {titleOf(kModeStart), titleOf(kModeEnd)});
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setTabOrder(m_height, m_ok);
    connect(m_ok, &QPushButton::clicked, this, &TOKF9Dlg::OKBtnClick);
    connect(m_cancel, &QPushButton::clicked, this, &TOKF9Dlg::CancelBtnClick);
}

void TOKF9Dlg::showMode(int mode)
{
    m_mode = mode;
    showNonBlocking(this);
    FormActivate();  // also when it was active already and only the mode changed
    m_height->setFocus();
}

QString TOKF9Dlg::titleOf(int mode)
{
    return mode == kModeEnd ? QStringLiteral("Selecting End Height for calculation")
                            : QStringLiteral("Selecting Start Height for calculation");
}

QString TOKF9Dlg::promptOf(int mode)
{
    return mode == kModeEnd ? QStringLiteral("Enter the End Height for this cell")
                            : QStringLiteral("Enter the Start Height for this cell");
}

void TOKF9Dlg::closeEvent(QCloseEvent* e)
{
    m_main.clearStatus(promptOf(m_mode));
    QDialog::closeEvent(e);
}

bool TOKF9Dlg::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(e);
}

void TOKF9Dlg::FormActivate()
{
    QString reading;
    double preset = 0.0;
    if (TMDIChild* child = m_main.activeDocument()) {
        const auto& table = child->Table1();
        if (table.isOpen() && table.rowCount() > 0 && !table.isNull("Altimeter")) {
            reading = QString::fromStdString(table.asText("Altimeter"));
            preset = table.asFloat("Altimeter");
        }
    }
    m_current->setText(QStringLiteral("Current Height : ") + reading);
    m_height->setValue(preset);
    setWindowTitle(titleOf(m_mode));
}

void TOKF9Dlg::OKBtnClick()
{
    TMDIChild* child = m_main.activeDocument();
    if (!child) {
        close();  // the last document was closed while the dialog was open: nothing to write
        return;
    }
    const auto which = m_mode == kModeEnd ? zelt::compute::CalcEnd::End : zelt::compute::CalcEnd::Start;
    std::string prompt;
    try {
        const UndoStep step(child, which == zelt::compute::CalcEnd::End ? QStringLiteral("Set End Height")
                                                                        : QStringLiteral("Set Start Height"));
        prompt = zelt::compute::chooseCalcRow(child->document(), which, m_height->value());
    } catch (const std::exception& e) {
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    close();
    m_main.showStatusFor(child, QString::fromStdString(prompt));
    m_main.updateEnabling();
}

void TOKF9Dlg::CancelBtnClick()
{
    close();
}

// --- TDialog1

TDialog1::TDialog1(TMainForm& main)
    : QDialog(&main, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint), m_main(main)
{
    setObjectName(QStringLiteral("Dialog1"));
    setWindowTitle(QStringLiteral("Survey Values"));
    // Modal: the values belong to the document active when it opened.
    setModal(true);
    m_start = new RealSpinBox(this);
    m_pairs = new RealSpinBox(this);
    m_start->setValue(420.0);
    m_pairs->setValue(64.0);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Select Start Height :"), this), 0, 0);
    grid->addWidget(m_start, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Select how much pairs are on 100 meters :"), this), 1, 0);
    grid->addWidget(m_pairs, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttonRow(this, m_ok, m_cancel, true));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(m_ok, &QPushButton::clicked, this, &TDialog1::OKBtnClick);
    connect(m_cancel, &QPushButton::clicked, this, &TDialog1::CancelBtnClick);
}

void TDialog1::showDialog()
{
    // Read once as it opens: activating the dialog again (after a message, another window)
    // keeps what was typed.
    const bool opening = !isVisible();
    showNonBlocking(this);
    if (opening) {
        FormActivate();
        m_start->setFocus();
        m_start->selectAll();
    }
}

void TDialog1::FormActivate()
{
    if (TMDIChild* child = m_main.activeDocument()) {
        m_start->setValue(child->document().startHeight);
        m_pairs->setValue(child->document().pairsPer100m);
    }
}

void TDialog1::OKBtnClick()
{
    TMDIChild* child = m_main.activeDocument();
    if (!child) {
        close();
        return;
    }
    try {
        const UndoStep step(child, QStringLiteral("Survey Values"));
        // The new values and the heights computed from them reach the disk together.
        const auto result = runAsChange(child->session(), "survey values", [&] {
            return zelt::compute::applySurveyValues(child->document(), m_start->value(), m_pairs->value());
        });
        m_main.showDiagnostics(result.diagnostics, QStringLiteral("Survey values"), child);
    } catch (const zelt::compute::PassRefused& e) {
        // A ratio of 0 or less is refused; the dialog stays open for a better value.
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
        return;
    } catch (const std::exception& e) {
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
    }
    close();
    m_main.updateEnabling();
}

void TDialog1::CancelBtnClick()
{
    close();
}

// --- Tdialog3

Tdialog3::Tdialog3(TMainForm& main)
    : QDialog(&main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                         | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      m_main(main)
{
    setObjectName(QStringLiteral("dialog3"));
    setWindowTitle(QStringLiteral("Select Begin Way Height"));
    setModal(true);
    auto* text = new QLabel(QStringLiteral("Begin Way height (every point in Altimeter field adds this Height)"), this);
    text->setWordWrap(true);
    m_offset = new RealSpinBox(this);
    m_offset->setRange(zelt::compute::kBeginWayMin, zelt::compute::kBeginWayMax);
    m_offset->setValue(0.0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_offset);
    layout->addLayout(buttonRow(this, m_ok, m_cancel, false));
    fitTitles(layout, this, {windowTitle()});
    connect(m_ok, &QPushButton::clicked, this, &Tdialog3::Button1Click);
    connect(m_cancel, &QPushButton::clicked, this, &Tdialog3::Button2Click);
}

void Tdialog3::Button1Click()
{
    TMDIChild* child = m_main.activeDocument();
    if (!child) {
        reject();
        return;
    }
    try {
        const UndoStep step(child, QStringLiteral("Begin Way Height"));
        const auto result = runAsChange(child->session(), "begin way height",
                                        [&] { return zelt::compute::shiftBeginWay(child->document(), m_offset->value()); });
        m_main.showDiagnostics(result.diagnostics, windowTitle(), child);
    } catch (const std::exception& e) {
        // The shift stopped at a refused reading; StartHeight is unchanged and the dialog stays.
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    accept();
    m_main.updateEnabling();
}

void Tdialog3::Button2Click()
{
    reject();
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The "&Calc Height" and survey-values commands of the main window and their dialogs.
#include "shell/commands/height_commands.h"

#include "compute/height_passes.h"
#include "shell/commands/document_change.h"
#include "shell/commands/height_dialogs.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/undo_commands.h"

#include <QAction>
#include <QMessageBox>

#include <functional>

namespace zelt::shell {

namespace {

/// Runs a pass on the active document; its notes go to the main window's diagnostics, errors
/// and refusals to a message box.
void runOnActive(TMainForm& main, const QString& context,
                 const std::function<zelt::compute::PassResult(zelt::document::Document&)>& pass)
{
    TMDIChild* child = main.activeDocument();
    if (!child)
        return;
    try {
        const UndoStep step(child, context);
        const zelt::compute::PassResult result
            = runAsChange(child->session(), context.toStdString(), [&] { return pass(child->document()); });
        main.showDiagnostics(result.diagnostics, context, child);
    } catch (const zelt::compute::PassRefused& e) {
        if (e.reason() == zelt::compute::PassRefused::Reason::NotSelected) {
            // This one has its own plain box: no caption, only OK.
            QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromUtf8(e.what()), QMessageBox::Ok, &main);
            box.exec();
        } else {
            TMDIChild::showError(&main, QString::fromUtf8(e.what()));
        }
    } catch (const std::exception& e) {
        TMDIChild::showError(&main, QString::fromUtf8(e.what()));
    }
    main.updateEnabling();
}

void gotoMark(TMainForm& main, bool start)
{
    TMDIChild* child = main.activeDocument();
    if (!child)
        return;
    auto& doc = child->document();
    if (!(start ? doc.calcStartSelected : doc.calcEndSelected))
        return;
    try {
        child->Table1().gotoBookmark(start ? doc.calcStartMark : doc.calcEndMark);
    } catch (const std::exception& e) {
        TMDIChild::showError(&main, QString::fromUtf8(e.what()));
    }
}

}  // namespace

HeightCommands::HeightCommands(TMainForm& main) : QObject(&main), m_main(main)
{
    setObjectName(QStringLiteral("HeightCommands"));
    m_okf9 = new TOKF9Dlg(main);
    m_dialog1 = new TDialog1(main);
    m_dialog3 = new Tdialog3(main);
}

void HeightCommands::chooseStart()
{
    if (!m_main.activeDocument())
        return;
    m_main.showStatusFor(m_main.activeDocument(), TOKF9Dlg::promptOf(TOKF9Dlg::kModeStart));
    m_okf9->showMode(TOKF9Dlg::kModeStart);
}

void HeightCommands::chooseEnd()
{
    if (!m_main.activeDocument())
        return;
    m_main.showStatusFor(m_main.activeDocument(), TOKF9Dlg::promptOf(TOKF9Dlg::kModeEnd));
    m_okf9->showMode(TOKF9Dlg::kModeEnd);
}

void HeightCommands::recalculate()
{
    // The prompt that led here is answered, whatever the pass then finds.
    m_main.clearStatus(QStringLiteral("Press F10 key to calculation your Start and End Height"));
    runOnActive(m_main, QStringLiteral("Recalculate"),
                [](auto& doc) { return zelt::compute::recalculateHeights(doc); });
}

void HeightCommands::fillHeights()
{
    runOnActive(m_main, QStringLiteral("Fill Height"), [](auto& doc) { return zelt::compute::FillHeights(doc); });
}

void HeightCommands::percentHeights()
{
    runOnActive(m_main, QStringLiteral("% calc height"), [](auto& doc) { return zelt::compute::PercentHeights(doc); });
}

void HeightCommands::gotoStart()
{
    gotoMark(m_main, true);
}

void HeightCommands::gotoEnd()
{
    gotoMark(m_main, false);
}

void HeightCommands::showSurveyValues()
{
    if (m_main.activeDocument())
        m_dialog1->showDialog();
}

void HeightCommands::showBeginWay()
{
    if (!m_main.activeDocument())
        return;
    m_dialog3->exec();
}

HeightCommands* installHeightCommands(TMainForm& main)
{
    auto* commands = new HeightCommands(main);
    const MainActions& a = main.actions();
    QObject::connect(a.SetStartCalc1, &QAction::triggered, commands, &HeightCommands::chooseStart);
    QObject::connect(a.SetEndCalc1, &QAction::triggered, commands, &HeightCommands::chooseEnd);
    QObject::connect(a.Recalculate1, &QAction::triggered, commands, &HeightCommands::recalculate);
    QObject::connect(a.FillHeight1, &QAction::triggered, commands, &HeightCommands::fillHeights);
    QObject::connect(a.PercentCalc1, &QAction::triggered, commands, &HeightCommands::percentHeights);
    QObject::connect(a.tbGS, &QAction::triggered, commands, &HeightCommands::gotoStart);
    QObject::connect(a.tbGF, &QAction::triggered, commands, &HeightCommands::gotoEnd);
    QObject::connect(a.Parymetry1, &QAction::triggered, commands, &HeightCommands::showSurveyValues);
    QObject::connect(a.StartHeight1, &QAction::triggered, commands, &HeightCommands::showSurveyValues);
    QObject::connect(a.BeginWayHeight1, &QAction::triggered, commands, &HeightCommands::showBeginWay);
    return commands;
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: connects the commands whose work lives in other command modules.
#include "shell/window/main_form.h"

#include "shell/commands/check_commands.h"
#include "shell/commands/export_dialog.h"
#include "shell/commands/height_commands.h"
#include "shell/commands/interchange_commands.h"
#include "shell/commands/known_points_dialog.h"
#include "shell/grid/layout_menus.h"
#include "shell/window/mdi_child.h"
#include "shell/commands/report_view.h"
#include "shell/route/route_dock.h"

#include <QAction>
#include <QMenu>

namespace zelt::shell {

void TMainForm::connectCommandModules()
{
    MainActions& a = m_actions;
    // The survey values dialog from the status bar's pop-up only when a document is open.
    connect(a.ChangeParyStartHeight1, &QAction::triggered, this, [this] {
        if (documentCount() > 0)
            m_actions.Parymetry1->trigger();
    });
    installHeightCommands(*this);
    installExportCommand(*this);
    installReportCommands(*this);
    installInterchangeCommands(*this);
    installLayoutMenus(*this);
    installKnownPointsCommand(*this);
    installCheckCommand(*this);
    installRouteDock(*this);
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: connects the commands whose work lives in other command modules.
#include "shell/main_form.h"

#include "shell/export_dialog.h"
#include "shell/height_commands.h"
#include "shell/interchange_commands.h"
#include "shell/known_points_dialog.h"
#include "shell/layout_menus.h"
#include "shell/mdi_child.h"
#include "shell/report_view.h"
#include "shell/route_dock.h"

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
    installRouteDock(*this);
}

}  // namespace zelt::shell

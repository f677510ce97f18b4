// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli report: the table report of a traverse as a PDF file.
#include "cli/cli_commands.h"
#include "cli/cli_register.h"
#include "cli/cli_session.h"
#include "cli/cli_util.h"

#include "shell/paint/report_painter.h"

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>

#include <ostream>
#include <stdexcept>

namespace zelt::cli {

namespace {

int reportCommand(const Args& args, std::ostream& out, std::ostream& err)
{
    expectPositional(args, 2, 2, "TABLE.db OUT.pdf");
    OutputTarget target(args.positional[1], "report.pdf");
    CliSession session(tableArgument(args), args, CliSession::Mode::ReadOnly);

    const auto app = windowlessGuiApplication();

    const QString path = QFile::decodeName(target.path().c_str());
    QString error;
    int pages = 0;
    if (!zelt::shell::writeReportPdf(session.table(), path, QDateTime::currentDateTime(), &error, &pages))
        throw std::runtime_error(error.toStdString());
    session.close();
    target.finish(out);
    printStatus(args, target.statusStream(out, err),
                std::to_string(pages) + (pages == 1 ? " page to " : " pages to ") + target.name());
    session.checkComplete();
    return 0;
}

}  // namespace

void registerReportCommands()
{
    registerCommand("report", "report TABLE.db OUT.pdf", reportCommand,
                    "Write the table report, as printed by the desktop program, to OUT.pdf (- : standard "
                    "output).");
}

}  // namespace zelt::cli

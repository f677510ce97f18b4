// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli entry point: dispatches to the command table.
#include "cli/cli_commands.h"

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

/// Qt's notes about its surroundings (no XDG_RUNTIME_DIR, a font fallback) mean nothing to a
/// user of the command line and would mix with the commands' messages: only Qt's critical and
/// fatal messages reach standard error. QT_LOGGING_RULES brings all of them back.
void qtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtCriticalMsg && type != QtFatalMsg)
        return;
    std::fputs((QStringLiteral("zelt-cli: ") + text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qInstallMessageHandler(qtMessages);
    return zelt::cli::run(argc, argv);
}

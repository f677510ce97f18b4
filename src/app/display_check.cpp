// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the desktop program can open its window, told before the toolkit aborts on it.
#include "app/display_check.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

/// The platforms asked for: "-platform NAME" on the command line, else QT_QPA_PLATFORM (Qt tries
/// a list "wayland;xcb" in order); empty for the default.
QStringList platformsAskedFor(const QStringList& arguments)
{
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == QLatin1String("-platform") || arguments[i] == QLatin1String("--platform"))
            return arguments[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return qEnvironmentVariable("QT_QPA_PLATFORM").split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

bool needsDisplay(const QString& platform)
{
    // "xcb:option", "wayland-egl": the plugin's name comes before any colon.
    const QString name = platform.section(QLatin1Char(':'), 0, 0);
    return name == QLatin1String("xcb") || name.startsWith(QLatin1String("wayland"));
}

bool waylandSocketExists()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("wayland-0")));
}

QtMessageHandler g_previous = nullptr;

void fatalPlatform(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    // Qt says the platform plugin could not be initialised and would abort; its warning naming
    // the display that did not answer came just before, through the previous handler.
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
        const QString named = qEnvironmentVariable("DISPLAY", qEnvironmentVariable("WAYLAND_DISPLAY"));
        reportNoDisplay(named.isEmpty() ? QStringLiteral("the display could not be opened")
                                        : QStringLiteral("the display '%1' does not answer").arg(named));
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (g_previous)
        g_previous(type, context, text);
}

}  // namespace

QString missingDisplay(const QStringList& arguments)
{
    const QStringList platforms = platformsAskedFor(arguments);
    for (const QString& p : platforms)
        if (!needsDisplay(p))
            return {};
    if (!qEnvironmentVariable("DISPLAY").isEmpty() || !qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty()
        || waylandSocketExists())
        return {};
    return QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
}

void reportNoDisplay(const QString& reason)
{
    const QString text = QStringLiteral("zelt: no display found (%1).\n"
                                        "zelt-cli does the same work without a window: see 'zelt-cli help'.\n")
                             .arg(reason);
    std::fputs(text.toLocal8Bit().constData(), stderr);
}

DisplayGuard::DisplayGuard() { g_previous = qInstallMessageHandler(fatalPlatform); }

DisplayGuard::~DisplayGuard()
{
    qInstallMessageHandler(g_previous);
    g_previous = nullptr;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's command line: table paths to open, --help and --version.
#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdio>

namespace {

QString helpText()
{
    // Every line fits a terminal of 80 columns.
    return QStringLiteral(
        "Usage: zelt [TABLE.db...]\n"
        "       zelt --help | -h | --version | -v\n"
        "\n"
        "Zelt is the desktop program for field cartographers who walk a route with a\n"
        "compass, a pace count and an altimeter: each traverse is a table (a Paradox\n"
        "*.db file) edited in its own window, with heights computed along the route,\n"
        "exports to OCAD 7 maps, text and spreadsheets, and a printed report. The\n"
        "tables named on the command line are opened; when the program is already\n"
        "running, it opens them in its window and no second program starts. Without a\n"
        "display, zelt-cli does the same work.\n"
        "\n"
        "Options:\n"
        "  -h, --help\n"
        "      Print this help on standard output and exit.\n"
        "  -v, --version\n"
        "      Print the version and exit.\n"
        "  -platform NAME, -style NAME, ...\n"
        "      The options of the Qt toolkit, such as -platform offscreen.\n"
        "\n"
        "Exit status:\n"
        "  0\n"
        "      The program ended normally, or handed its tables to the running program.\n"
        "  1\n"
        "      No display was found, or the help or the version could not be written.\n"
        "  2\n"
        "      Usage error: an unknown option.\n"
        "\n"
        "Environment:\n"
        "  DISPLAY, WAYLAND_DISPLAY\n"
        "      The display the window opens on. Without either (and without a platform\n"
        "      that needs none, such as -platform offscreen) zelt says so and exits.\n"
        "  QT_QPA_PLATFORM\n"
        "      The Qt platform: xcb (X11), wayland, offscreen, vnc, ...\n"
        "  XDG_CONFIG_HOME\n"
        "      Where the settings file is kept; ~/.config when unset.\n"
        "\n"
        "Files:\n"
        "  TABLE.inf, TABLE.ing, TABLE.kpt\n"
        "      The companions beside each table: its survey values, its grid column\n"
        "      layout and its known points.\n"
        "  dani.dat, std.ing, abs.ing, procent.ing\n"
        "      The figure file and the fixed grid layouts: looked for beside the\n"
        "      program, then in ../share/zelt from the program's folder, then in\n"
        "      " ZELT_DATA_DIR ".\n"
        "  ~/.config/Zelt/registry.reg\n"
        "      The main window's placement and the toolbars (in $XDG_CONFIG_HOME when\n"
        "      that is set).\n"
        "\n"
        "Examples:\n"
        "  zelt way.db\n"
        "      Open the table way.db, in the running program if there is one.\n"
        "  zelt-cli info way.db\n"
        "      The same table from a terminal without a display.\n");
}

/// Writes `text`; false when it could not be written (a full disk, a closed pipe).
bool print(std::FILE* stream, const QString& text)
{
    const bool written = std::fputs(text.toLocal8Bit().constData(), stream) >= 0;
    return std::fflush(stream) == 0 && written;
}

/// Status 0 after the help or the version, unless they could not be written.
int answered(const QString& text)
{
    if (print(stdout, text))
        return 0;
    print(stderr, QStringLiteral("zelt: cannot write to standard output\n"));
    return 1;
}

}  // namespace

AppCommandLine readAppCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // Qt's own options are single-dash words ("-platform offscreen"), as are ours in short form.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    // The toolkit reads these itself when the application object is built; they only have to pass.
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
                             "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry",
                             "style", "stylesheet"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    AppCommandLine result;
    if (!parser.parse(arguments)) {
        print(stderr, QStringLiteral("zelt: ") + parser.errorText() + QLatin1Char('\n') + helpText());
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(help))
        result.exitCode = answered(helpText());
    else if (parser.isSet(version))
        result.exitCode = answered(QStringLiteral("zelt " ZELT_VERSION "\n"));
    result.files = parser.positionalArguments();
    return result;
}

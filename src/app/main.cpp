// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program: builds the application object and the main window.
#include "app/command_line.h"
#include "app/display_check.h"
#include "document/traverse_table.h"
#include "shell/commands/about_box.h"
#include "shell/window/icons.h"
#include "shell/window/main_form.h"
#include "shell/settings/session_entry.h"
#include "shell/window/single_instance.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>

#include <optional>

int main(int argc, char** argv)
{
    using namespace zelt::shell;
    // Help, version and usage errors are answered before the application object exists, so
    // they need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const AppCommandLine commandLine = readAppCommandLine(arguments);
    if (commandLine.exitCode)
        return *commandLine.exitCode;
    // Without a display the toolkit would abort; say so and point at the command-line tool.
    if (const QString reason = missingDisplay(arguments); !reason.isEmpty()) {
        reportNoDisplay(reason);
        return 1;
    }

    std::optional<DisplayGuard> guard(std::in_place);
    QApplication app(argc, argv);
    guard.reset();
    // The installed icon (hicolor theme), or the drawn one in a build folder.
    QApplication::setWindowIcon(commandIcon(IconKind::Program));
    QCoreApplication::setOrganizationName(QStringLiteral("Zelt"));
    QCoreApplication::setApplicationName(QStringLiteral("Zelt"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kFileVersion));
    setApplicationTitle(QString::fromLatin1(kStartTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("zelt"));

    // A file named on the command line is the shell's open request: a running program takes
    // it over the local socket; otherwise this program becomes the running one and opens it.
    QStringList files;
    for (const QString& arg : commandLine.files)
        files.append(QFileInfo(arg).absoluteFilePath());
    if (!files.isEmpty() && SingleInstance::sendToRunning(QStringLiteral("Zelt"), files))
        return 0;

    removeLogOffAutostart();
    SingleInstance instance(QStringLiteral("Zelt"));
    instance.listen();

    TMainForm mainForm;
    QObject::connect(&instance, &SingleInstance::openRequested, &mainForm, [&mainForm](const QString& path) {
        mainForm.OpenDocument(path);
        mainForm.raise();
        mainForm.activateWindow();
    });
    mainForm.show();
    QTimer::singleShot(0, &mainForm, [&mainForm, files] {
        for (const QString& f : files)
            mainForm.OpenDocument(f);
    });
    return app.exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the manual's pictures from the running program: opens a sample traverse in the main
// window, shows the route view and the dialogs the manual talks about, and saves each as PNG.
// Run it under a real X server (scripts/manual-screenshots.sh starts Xvfb and a window manager)
// so that the pictures show the desktop's own frames and fonts.
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/settings/registry_store.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

namespace {

void settle(int ms = 400)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* w, const QString& path)
{
    QWidget* top = w->window();
    // Grab the frame the window manager drew as well, when there is a screen to grab from.
    QPixmap shot;
    if (QScreen* screen = top->screen(); screen && qEnvironmentVariableIsSet("DISPLAY"))
        shot = screen->grabWindow(0, top->frameGeometry().x(), top->frameGeometry().y(), top->frameGeometry().width(),
                                  top->frameGeometry().height());
    if (shot.isNull() || shot.toImage().allGray())
        shot = top->grab();
    if (!shot.save(path, "PNG")) {
        std::fprintf(stderr, "manual-shots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

QDialog* visibleDialog(const char* except = nullptr)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = qobject_cast<QDialog*>(w);
        if (d && d->isVisible() && (!except || d->objectName() != QLatin1String(except)))
            return d;
    }
    return nullptr;
}

// Triggers `action`; the dialog it shows (modal or not) is saved as `path` and then closed.
bool shootDialog(QAction* action, const QString& path)
{
    if (!action) {
        std::fprintf(stderr, "manual-shots: no command for %s\n", qPrintable(path));
        return false;
    }
    bool ok = false;
    QTimer::singleShot(600, [&] {
        if (QDialog* d = visibleDialog()) {
            ok = save(d, path);
            d->reject();
        }
    });
    action->trigger();
    settle(900);
    if (QDialog* d = visibleDialog())
        d->reject();
    if (!ok)
        std::fprintf(stderr, "manual-shots: no dialog appeared for %s\n", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: manual-shots TABLE.db OUTPUT-FOLDER\n");
        return 2;
    }
    const QString table = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    // The program's settings go into a private file, so the pictures never depend on the
    // settings of whoever runs the script.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("ZeltManual"));
    QCoreApplication::setApplicationName(QStringLiteral("ZeltManual"));
    zelt::shell::RegistryStore::setRegistryFile(out.filePath(QStringLiteral(".manual-shots.ini")));

    zelt::shell::TMainForm form;
    form.resize(1000, 640);
    form.move(20, 20);
    form.show();
    form.OpenDocument(table);
    settle();
    bool ok = form.activeDocument() != nullptr;
    if (!ok)
        std::fprintf(stderr, "manual-shots: %s did not open\n", qPrintable(table));

    ok = save(&form, out.filePath(QStringLiteral("typing-legs.png"))) && ok;
    if (auto* route = form.findChild<QAction*>(QStringLiteral("ViewRoute1"))) {
        if (!route->isChecked())
            route->trigger();
        settle(800);
    }
    ok = save(&form, out.filePath(QStringLiteral("main-window.png"))) && ok;
    ok = save(&form, out.filePath(QStringLiteral("route-view.png"))) && ok;
    ok = shootDialog(form.findChild<QAction*>(QStringLiteral("Parymetry1")), out.filePath(QStringLiteral("survey-values.png"))) && ok;
    ok = shootDialog(form.findChild<QAction*>(QStringLiteral("Export1")), out.filePath(QStringLiteral("export-dialog.png"))) && ok;
    ok = shootDialog(form.findChild<QAction*>(QStringLiteral("KnownPoints1")), out.filePath(QStringLiteral("known-points.png"))) && ok;
    QDir().remove(out.filePath(QStringLiteral(".manual-shots.ini")));
    return ok ? 0 : 1;
}

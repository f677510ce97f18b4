// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the widget tests: private settings, answering message boxes, idle moments.
#pragma once

#include "shell/window/main_form.h"
#include "shell/settings/registry_store.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QEventLoop>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace zelt::test {

namespace detail {
inline QtMessageHandler& testLogHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

/// Warnings a test provokes on purpose (see ExpectedWarning).
inline QStringList& expectedWarnings()
{
    static QStringList texts;
    return texts;
}

/// Logs every message as the test library does, and fails the running test on a warning or a
/// critical message: the program must not leave them on stderr.
inline void failOnWarning(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    // The headless platform the tests run on lacks some window-system calls (size hints,
    // grabs) and says so; that is the test bed, not the program.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")
        && text.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (QtMessageHandler log = testLogHandler())
        log(type, context, text);
    if ((type == QtWarningMsg || type == QtCriticalMsg) && !expectedWarnings().contains(text))
        QTest::qFail(qPrintable(QStringLiteral("Qt warned: ") + text), context.file ? context.file : __FILE__,
                     context.file ? context.line : __LINE__);
}
}  // namespace detail

/// While it lives, the warning `text` (exactly) does not fail the test: one the test provokes.
class ExpectedWarning {
public:
    explicit ExpectedWarning(const QString& text) : m_text(text) { detail::expectedWarnings().append(text); }
    ~ExpectedWarning() { detail::expectedWarnings().removeOne(m_text); }
    ExpectedWarning(const ExpectedWarning&) = delete;
    ExpectedWarning& operator=(const ExpectedWarning&) = delete;

private:
    QString m_text;
};

/// From now until the test run ends, any Qt warning or critical message fails the test that
/// is running. Call it from initTestCase(): the test library installs its own handler when the
/// run starts, and puts the one before it back when the run ends.
inline void failOnQtWarnings()
{
    const QtMessageHandler current = qInstallMessageHandler(detail::failOnWarning);
    if (current != detail::failOnWarning)
        detail::testLogHandler() = current;
}

/// Puts the program's per-user files (settings store, autostart folder) into private places, and
/// fixes the user's locale to C: a document window shows and reads numbers in the user's locale,
/// which would otherwise come from the environment the tests run in.
/// Also makes every Qt warning fail the test (failOnQtWarnings).
inline void useTestSettings(const QString& registryFile)
{
    failOnQtWarnings();
    // The user's home (and with it the documents folder) is a private one too.
    const QString home = QFileInfo(registryFile).absolutePath() + QStringLiteral("/home");
    QDir().mkpath(home);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    // The user's runtime folder (the single-instance socket) too, made as a session makes it.
    const QString runtime = home + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("ZeltTest"));
    QCoreApplication::setApplicationName(QStringLiteral("ZeltTest"));
    zelt::shell::RegistryStore::setRegistryFile(registryFile);
}

/// Lets the event loop run until it has nothing to do, so idle-time work happens.
inline void idle(int ms = 30)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Answers every modal message box (and rejects any other modal dialog) while it lives,
/// pressing `button`; records the texts shown.
class ModalAnswerer : public QObject {
public:
    explicit ModalAnswerer(QMessageBox::StandardButton button = QMessageBox::Ok) : m_button(button)
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        m_timer.start();
    }
    void setButton(QMessageBox::StandardButton button) { m_button = button; }
    QStringList texts;
    QStringList titles;

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            texts << box->text();
            titles << box->windowTitle();
            if (QAbstractButton* b = box->button(m_button))
                b->click();
            else
                box->reject();
        } else if (auto* d = qobject_cast<QDialog*>(w)) {
            titles << d->windowTitle();
            d->reject();
        }
    }
    QTimer m_timer;
    QMessageBox::StandardButton m_button;
};

/// Makes `dir` the process's current directory while it lives.
class CurrentDir {
public:
    explicit CurrentDir(const QString& dir) : m_old(QDir::currentPath()) { QDir::setCurrent(dir); }
    ~CurrentDir() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

/// A shown main window working in a fresh temporary current folder, for widget tests.
struct ShownMainForm {
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<CurrentDir> cwd;
    std::unique_ptr<zelt::shell::TMainForm> form;

    /// Creates the folder and the window (resized when `size` is valid) and shows it; true once
    /// it is active, or only exposed when `waitActive` is false.
    bool show(QSize size = {}, bool waitActive = true)
    {
        dir = std::make_unique<QTemporaryDir>();
        cwd = std::make_unique<CurrentDir>(dir->path());
        form = std::make_unique<zelt::shell::TMainForm>();
        if (size.isValid())
            form->resize(size);
        form->show();
        return waitActive ? QTest::qWaitForWindowActive(form.get()) : QTest::qWaitForWindowExposed(form.get());
    }
    /// Closes the window (answering its message boxes), then restores the current folder.
    void close()
    {
        ModalAnswerer answer;
        form->close();
        form.reset();
        cwd.reset();
        dir.reset();
    }
};

}  // namespace zelt::test

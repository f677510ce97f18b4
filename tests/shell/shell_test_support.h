// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the widget tests: private settings, answering message boxes, idle moments.
#pragma once

#include "shell/window/main_form.h"
#include "shell/settings/registry_store.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
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

/// Puts the program's per-user files (settings store, autostart folder) into private places, and
/// fixes the user's locale to C: a document window shows and reads numbers in the user's locale,
/// which would otherwise come from the environment the tests run in.
inline void useTestSettings(const QString& registryFile)
{
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

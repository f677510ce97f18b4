// SPDX-License-Identifier: GPL-3.0-or-later
// The log-off entry: the program asks to be started once more at the user's next logon.
#include "shell/settings/session_entry.h"

#include "shell/settings/registry_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace zelt::shell {

QString logOffAutostartFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/autostart/zelt-once.desktop");
}

void writeLogOffEntry(const QString& title, const QString& programPath)
{
    const QString quoted = u'"' + programPath + u'"';
    {
        const auto store = RegistryStore::open();
        store->beginGroup(QString::fromLatin1(kRunOnceKey));
        store->setValue(title, quoted);
        store->endGroup();
        store->sync();
    }
#ifndef Q_OS_WIN
    // Desktops following the autostart convention start every entry of that folder at logon;
    // the program deletes this one when it starts (removeLogOffAutostart).
    const QString file = logOffAutostartFile();
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=") + title
                          + QStringLiteral("\nExec=") + quoted
                          + QStringLiteral("\nX-GNOME-Autostart-enabled=true\nNoDisplay=true\n");
    out.write(entry.toUtf8());
    out.commit();
#endif
}

void removeLogOffAutostart()
{
#ifndef Q_OS_WIN
    QFile::remove(logOffAutostartFile());
#endif
}

}  // namespace zelt::shell

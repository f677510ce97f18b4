// SPDX-License-Identifier: GPL-3.0-or-later
// One running program per user: later starts hand their files to it over a local socket.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace zelt::shell {

/// The open command the shell sends for a document: [open("PATH")].
QString openCommand(const QString& path);
/// The paths of the [open("...")] commands in `text` (several may follow each other, at most
/// SingleInstance::kMaxPaths are taken); commands of other names and malformed text are ignored.
QStringList parseOpenCommands(const QString& text);

/// Listens on the local socket named `name` ("Zelt"); every open command that arrives is
/// reported by openRequested. Each display has a name of its own. On Unix the socket lives in the user's runtime folder, so two
/// users do not meet on the same name; without one it lives in the temporary folder under a
/// name holding the user's id, only the user may connect, and a socket file of another user
/// is neither listened on nor sent to. One connection brings at most kMaxMessageBytes bytes
/// and kMaxPaths paths; a longer message is dropped whole.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxMessageBytes = 256 * 1024;
    static constexpr qsizetype kMaxPaths = 64;

    explicit SingleInstance(const QString& name = QStringLiteral("Zelt"), QObject* parent = nullptr);
    ~SingleInstance() override;

    /// Starts listening (removing a socket left by a program that ended abnormally).
    /// False when another running program holds the name.
    bool listen();
    bool isListening() const;

    /// Full server name for `name` on this program's display.
    static QString serverName(const QString& name);
    /// The display this program shows on as a file-name word ("x_0", "wlwayland-0"); empty
    /// when the environment names none.
    static QString displayTag();
    /// Sends one open command per path to a running program; true when it was delivered.
    static bool sendToRunning(const QString& name, const QStringList& paths, int timeoutMs = 2000);

signals:
    void openRequested(const QString& path);

private:
    void accept();
    QString m_name;
    QLocalServer* m_server = nullptr;
};

}  // namespace zelt::shell

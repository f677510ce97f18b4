// SPDX-License-Identifier: GPL-3.0-or-later
// One running program per user: later starts hand their files to it over a local socket.
#include "shell/single_instance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace zelt::shell {

QString openCommand(const QString& path)
{
    return QStringLiteral("[open(\"") + path + QStringLiteral("\")]");
}

QStringList parseOpenCommands(const QString& text)
{
    // Commands have the form [name("argument")]; only "open" is understood.
    static const QString head = QStringLiteral("[open(\"");
    static const QString tail = QStringLiteral("\")]");
    QStringList paths;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype start = text.indexOf(u'[', pos);
        if (start < 0)
            break;
        const qsizetype end = text.indexOf(u']', start);
        if (end < 0)
            break;
        if (text.mid(start, head.size()).compare(head, Qt::CaseInsensitive) == 0) {
            const qsizetype close = text.indexOf(tail, start + head.size());
            if (close >= 0) {
                const QString path = text.mid(start + head.size(), close - start - head.size());
                if (!path.isEmpty())
                    paths.append(path);
                pos = close + tail.size();
                continue;
            }
        }
        pos = end + 1;
    }
    return paths;
}

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent), m_name(name) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString& name)
{
#ifdef Q_OS_UNIX
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + u'/' + name;
#else
    return name;
#endif
}

bool SingleInstance::listen()
{
    if (m_server && m_server->isListening())
        return true;
    const QString full = serverName(m_name);
    // A program answering on the name is running; a socket file nobody answers on was left
    // by a program that ended abnormally and is replaced.
    QLocalSocket probe;
    probe.connectToServer(full);
    if (probe.waitForConnected(300))
        return false;
    QLocalServer::removeServer(full);
    delete m_server;
    m_server = new QLocalServer(this);
    if (!m_server->listen(full))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // The sender writes its commands and disconnects; they are read once all have come.
        auto* buffer = new QByteArray;
        connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer] { *buffer += socket->readAll(); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            const QStringList paths = parseOpenCommands(QString::fromUtf8(*buffer));
            delete buffer;
            socket->deleteLater();
            for (const QString& p : paths)
                emit openRequested(p);
        });
        if (socket->state() != QLocalSocket::ConnectedState)
            emit socket->disconnected();
    }
}

bool SingleInstance::sendToRunning(const QString& name, const QStringList& paths, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName(name));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QString text;
    for (const QString& p : paths)
        text += openCommand(p);
    socket.write(text.toUtf8());
    const bool written = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return written;
}

}  // namespace zelt::shell

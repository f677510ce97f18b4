// SPDX-License-Identifier: GPL-3.0-or-later
// One running program per user and display: later starts hand their files to it over a local socket.
#include "shell/window/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace zelt::shell {
namespace {

/// A socket file at `full` that another user made: never talked to, never removed.
bool ownedByAnotherUser(const QString& full)
{
#ifdef Q_OS_UNIX
    const QFileInfo info(full);
    return info.exists() && info.ownerId() != static_cast<uint>(::getuid());
#else
    Q_UNUSED(full);
    return false;
#endif
}

}  // namespace

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
    while (pos < text.size() && paths.size() < SingleInstance::kMaxPaths) {
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

QString SingleInstance::displayTag()
{
    // The display the program shows its windows on: a Wayland compositor when the session has
    // one and the program uses it, otherwise the X server.
    const QString platform = QGuiApplication::platformName();
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    const QString x11 = qEnvironmentVariable("DISPLAY");
    QString display;
    if (!wayland.isEmpty() && (platform.startsWith(QLatin1String("wayland")) || x11.isEmpty()))
        display = QStringLiteral("wl") + wayland;
    else if (!x11.isEmpty())
        display = QStringLiteral("x") + x11;
    if (display.isEmpty())
        return {};
    // Only letters, digits, '.', '_' and '-' go into a file name; a long name (a socket path)
    // becomes its hash, as socket paths are short.
    QString tag;
    for (const QChar c : display)
        tag += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'.' || c == u'-' ? c : QChar(u'_');
    if (tag.size() > 32)
        tag = QString::fromLatin1(QCryptographicHash::hash(display.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    return tag;
}

QString SingleInstance::serverName(const QString& name)
{
    // One running program per display: a start on another display (a second seat, a remote
    // session, a nested server) is a program of its own there.
    const QString tag = displayTag();
    const QString perDisplay = tag.isEmpty() ? name : name + u'-' + tag;
#ifdef Q_OS_UNIX
    // The runtime folder is the user's own; the shared temporary folder is not, so there the
    // name carries the user's id (and a socket another user made under it is refused).
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        return QDir::tempPath() + u'/' + perDisplay + u'-' + QString::number(::getuid());
    return dir + u'/' + perDisplay;
#else
    return perDisplay;
#endif
}

bool SingleInstance::listen()
{
    if (m_server && m_server->isListening())
        return true;
    const QString full = serverName(m_name);
    if (ownedByAnotherUser(full))
        return false;
    // A program answering on the name is running; a socket file nobody answers on was left
    // by a program that ended abnormally and is replaced.
    QLocalSocket probe;
    probe.connectToServer(full);
    if (probe.waitForConnected(300))
        return false;
    QLocalServer::removeServer(full);
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
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
        // More than any real open request is dropped whole, and nothing of it is opened.
        struct Pending {
            QByteArray bytes;
            bool tooLong = false;
        };
        auto pending = std::make_shared<Pending>();
        connect(socket, &QLocalSocket::readyRead, socket, [socket, pending] {
            if (pending->tooLong)
                return;
            pending->bytes += socket->readAll();
            if (pending->bytes.size() > kMaxMessageBytes) {
                pending->tooLong = true;
                pending->bytes.clear();
                socket->abort();
            }
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, pending] {
            if (!pending->tooLong)
                pending->bytes += socket->readAll();
            const bool take = !pending->tooLong && pending->bytes.size() <= kMaxMessageBytes;
            const QStringList paths = take ? parseOpenCommands(QString::fromUtf8(pending->bytes)) : QStringList();
            pending->bytes.clear();
            pending->tooLong = true;  // a second disconnect notice opens nothing again
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
    const QString full = serverName(name);
    if (ownedByAnotherUser(full))
        return false;  // our paths go to no one else
    QLocalSocket socket;
    socket.connectToServer(full);
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

// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user settings store: the registry on Windows, a registry-style text file elsewhere.
#include "shell/settings/registry_store.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QMap>
#include <QPair>
#include <QStandardPaths>
#include <QStringList>

#include <atomic>

namespace zelt::shell {
namespace {

QString& fileOverride()
{
    static QString path;
    return path;
}

// A quoted string with \" and \\ escapes, starting at text[pos] == '"'. Returns false when the
// closing quote is missing.
bool readQuoted(const QString& text, qsizetype& pos, QString& out)
{
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        const QChar c = text.at(pos);
        if (c == u'\\' && pos + 1 < text.size()) {
            out += text.at(++pos);
        } else if (c == u'"') {
            ++pos;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

QString quoted(const QString& s)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : s) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

// The value part after '=': "text", dword:xxxxxxxx, or anything else kept as raw bytes so that
// it reads as a value of another kind.
QVariant parseValue(const QString& v)
{
    if (v.startsWith(u'"')) {
        qsizetype pos = 0;
        QString s;
        if (readQuoted(v, pos, s))
            return s;
        return v.toUtf8();
    }
    if (v.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        bool ok = false;
        const uint n = v.mid(6).trimmed().toUInt(&ok, 16);
        if (ok && v.mid(6).trimmed().size() <= 8)
            return static_cast<int>(n);  // a dword keeps its 32 bits; reads back signed
    }
    return v.toUtf8();
}

bool readRegFile(QIODevice& device, QSettings::SettingsMap& map)
{
    map = RegistryStore::parse(device.readAll());
    return true;
}

std::atomic<quint64> g_fileWrites{0};

bool writeRegFile(QIODevice& device, const QSettings::SettingsMap& map)
{
    ++g_fileWrites;
    const QByteArray text = RegistryStore::serialise(map);
    return device.write(text) == text.size();
}

}  // namespace

QSettings::SettingsMap RegistryStore::parse(const QByteArray& bytes)
{
    QSettings::SettingsMap map;
    QString section;
    const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).replace(u'\\', u'/');
            continue;
        }
        if (!line.startsWith(u'"'))
            continue;
        qsizetype pos = 0;
        QString name;
        if (!readQuoted(line, pos, name) || pos >= line.size() || line.at(pos) != u'=')
            continue;
        const QString key = section.isEmpty() ? name : section + u'/' + name;
        map.insert(key, parseValue(line.mid(pos + 1).trimmed()));
    }
    return map;
}

QByteArray RegistryStore::serialise(const QSettings::SettingsMap& map)
{
    // One section per key path with all its values, as an exported registry branch has it.
    // Sorting whole keys is not enough: "Software/Zelt/Toolbar971/Left" sorts between
    // "Software/Zelt/Left" and "Software/Zelt/Top" and would split the window's section.
    QMap<QString, QList<QPair<QString, QVariant>>> sections;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(u'/');
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        const QString name = slash < 0 ? it.key() : it.key().mid(slash + 1);
        sections[section].append({name, it.value()});
    }
    QString text = QStringLiteral("; Zelt settings: strings quoted, 32-bit integers as dword:hex\n");
    for (auto sec = sections.cbegin(); sec != sections.cend(); ++sec) {
        text += QStringLiteral("\n[") + QString(sec.key()).replace(u'/', u'\\') + QStringLiteral("]\n");
        for (const auto& [name, v] : sec.value()) {
            QString value;
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Bool:
                value = QStringLiteral("dword:%1").arg(static_cast<quint32>(v.toLongLong()), 8, 16, QChar(u'0'));
                break;
            case QMetaType::QByteArray:
                value = QString::fromUtf8(v.toByteArray());
                break;
            default:
                value = quoted(v.toString());
                break;
            }
            text += quoted(name) + u'=' + value + u'\n';
        }
    }
    return text.toUtf8();
}

QSettings::Format RegistryStore::fileFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("reg"), readRegFile, writeRegFile, Qt::CaseSensitive);
    return format;
}

quint64 RegistryStore::fileWrites()
{
    return g_fileWrites;
}

QString RegistryStore::registryFile()
{
    if (!fileOverride().isEmpty())
        return fileOverride();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Zelt/registry.reg");
}

void RegistryStore::setRegistryFile(const QString& path)
{
    fileOverride() = path;
}

std::unique_ptr<QSettings> RegistryStore::open()
{
#ifdef Q_OS_WIN
    if (fileOverride().isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER"), QSettings::NativeFormat);
#endif
    const QString path = registryFile();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return std::make_unique<QSettings>(path, fileFormat());
}

}  // namespace zelt::shell

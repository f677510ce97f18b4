// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user settings store: the registry on Windows, a registry-style text file elsewhere.
#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace zelt::shell {

/// Opens the current user's key-value store whose root stands for HKEY_CURRENT_USER; keys are
/// paths such as "Software/Zelt/Left".
///
/// On Windows this is the registry itself (QSettings native format). Elsewhere it is a text
/// file in the layout of an exported registry branch, so that strings and 32-bit integers
/// stay apart exactly as registry values do:
/// \code
/// [Software\Zelt]
/// "Align"="wsNormal"
/// "Left"=dword:0000013b
/// \endcode
/// A string reads back as QString, a dword as int, anything else (e.g. "hex:...") as QByteArray.
class RegistryStore {
public:
    /// The store for this user: QSettings::NativeFormat "HKEY_CURRENT_USER" on Windows, else
    /// the file registryFile().
    static std::unique_ptr<QSettings> open();
    /// File of the non-Windows store: "<generic config>/Zelt/registry.reg", or the file set by
    /// setRegistryFile (tests point it into a private folder).
    static QString registryFile();
    /// Overrides the store file (empty restores the default).
    static void setRegistryFile(const QString& path);

    /// The custom QSettings format used for the file store.
    static QSettings::Format fileFormat();
    /// How many times this process has written a store file (each write replaces the whole
    /// file): a save is meant to write it once.
    static quint64 fileWrites();

    /// Parses the text of a store file into a QSettings map (exposed for tests).
    static QSettings::SettingsMap parse(const QByteArray& text);
    /// Serialises a QSettings map into the text of a store file.
    static QByteArray serialise(const QSettings::SettingsMap& map);
};

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// A Qt output device over a file written beside its target and renamed over it when complete.
#pragma once

#include "base/atomic_file.h"

#include <QIODevice>
#include <QString>

namespace zelt::shell {

/// Lets QPdfWriter, QSvgGenerator and the PNG writer write a whole file the way every file of the
/// program is written: into a temporary file beside the target, renamed over it by commit(), so
/// a failure or a kill leaves the file that was there. The first failed write is kept (the file
/// and the system's reason) and reported by commit(), even when the writer above ignored it.
class AtomicFileDevice : public QIODevice {
public:
    AtomicFileDevice() = default;
    ~AtomicFileDevice() override;

    /// Starts the new version of `path` and opens the device for writing; false with
    /// errorText() set when the file cannot be started.
    bool begin(const QString& path);
    /// Syncs the content and renames it over the target. False with errorText() set when a
    /// write or the commit failed; the target is then as it was.
    bool commit();
    /// Drops the new content; the target stays as it was.
    void cancel();
    /// "'<full path>': <system's reason>" of the first failure; empty while there is none.
    QString errorText() const { return QString::fromStdString(m_failure); }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    zelt::document::AtomicFile m_file;
    std::string m_failure;
};

}  // namespace zelt::shell

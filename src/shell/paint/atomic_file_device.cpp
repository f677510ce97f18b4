// SPDX-License-Identifier: GPL-3.0-or-later
// A Qt output device over a file written beside its target and renamed over it when complete.
#include "shell/paint/atomic_file_device.h"

#include <QFile>

namespace zelt::shell {

AtomicFileDevice::~AtomicFileDevice()
{
    cancel();
}

bool AtomicFileDevice::begin(const QString& path)
{
    m_failure.clear();
    m_file = zelt::document::AtomicFile::begin(QFile::encodeName(path).toStdString(), m_failure);
    if (!m_file.isOpen())
        return false;
    return open(QIODevice::WriteOnly);
}

qint64 AtomicFileDevice::writeData(const char* data, qint64 size)
{
    if (!m_failure.empty() || !m_file.isOpen())
        return -1;
    if (!m_file.write(data, static_cast<std::size_t>(size), m_failure))
        return -1;
    return size;
}

bool AtomicFileDevice::commit()
{
    if (isOpen())
        close();
    if (!m_failure.empty()) {
        m_file.discard();
        return false;
    }
    return m_file.commit(m_failure);
}

void AtomicFileDevice::cancel()
{
    if (isOpen())
        close();
    m_file.discard();
}

}  // namespace zelt::shell

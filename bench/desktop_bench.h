// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop benchmarks share: options, timing, target reports, and a folder of their own.
#pragma once

#include "document/traverse_table.h"
#include "shell/settings/registry_store.h"

#include <QByteArray>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zelt::bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

/// Counts the targets missed; the program's exit status is 1 when any was.
class Targets {
public:
    explicit Targets(int labelWidth) : m_width(labelWidth) {}
    void report(const char* what, double ms, double targetMs)
    {
        const bool ok = ms < targetMs;
        m_missed += ok ? 0 : 1;
        std::printf("%-*s %10.1f ms   target < %g ms   %s\n", m_width, what, ms, targetMs, ok ? "ok" : "MISSED");
    }
    void miss() { ++m_missed; }
    int exitStatus() const { return m_missed == 0 ? 0 : 1; }

private:
    int m_width;
    int m_missed = 0;
};

/// `--rows N` (100,000 unless given) and `--dir DIR` (a temporary folder unless given).
struct Options {
    int rows = 100000;
    QString dir;
};

inline Options parseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows"))
            o.rows = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--dir"))
            o.dir = QString::fromLocal8Bit(argv[++i]);
    }
    return o;
}

/// Without a display the windows are drawn offscreen. Call before the application is made.
inline void offscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

/// The folder the benchmark's files go to, with the program's settings kept there too, so a
/// run touches nothing of the user's. Make it after the application.
class Folder {
public:
    explicit Folder(const QString& dir) : m_path(dir.isEmpty() ? m_tmp.path() : dir)
    {
        QStandardPaths::setTestModeEnabled(true);
        zelt::shell::RegistryStore::setRegistryFile(m_path + QStringLiteral("/registry.reg"));
    }
    QString file(const QString& name) const { return m_path + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_tmp;
    QString m_path;
};

/// A table of `rows` legs at `path`: azimuths round the compass, 10 to 59 pairs, an altimeter
/// reading every fifth row and, when `markEvery` is not 0, a mark every `markEvery` rows.
inline void writeBenchTable(const QString& path, int rows, int markEvery = 0)
{
    document::TraverseTable t;
    t.setPath(path.toStdString());
    t.create();
    t.open();
    t.disableControls();
    for (int i = 0; i < rows; ++i) {
        t.append();
        t.setInteger("Azimuth", i % 360);
        t.setFloat("Pairs", 10 + i % 50);
        if (markEvery != 0 && i % markEvery == 0)
            t.setText("Mark", "m" + std::to_string(i));
        if (i % 5 == 0)
            t.setFloat("Altimeter", 400 + i % 300);
        t.post();
    }
    t.enableControls();
    t.close();
}

}  // namespace zelt::bench

// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the map export tests: little-endian field reads, temporary maps, the outside checker.
#pragma once

#include "test_support.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace zelt::test {

using Bytes = std::vector<unsigned char>;

inline std::int32_t i32(const Bytes& b, std::size_t at)
{
    std::int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
inline std::int16_t i16(const Bytes& b, std::size_t at)
{
    std::int16_t v;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}
inline double f64(const Bytes& b, std::size_t at)
{
    double v;
    std::memcpy(&v, b.data() + at, 8);
    return v;
}
inline void put32(Bytes& b, std::size_t at, std::int32_t v) { std::memcpy(b.data() + at, &v, 4); }
inline void put16(Bytes& b, std::size_t at, std::int16_t v) { std::memcpy(b.data() + at, &v, 2); }

/// Builds expected bytes from little-endian pieces: le({{v, 4}, {w, 2}}).
struct Field {
    std::int64_t value;
    int size;
};
inline Bytes le(std::initializer_list<Field> fields)
{
    Bytes out;
    for (const Field& f : fields)
        for (int i = 0; i < f.size; ++i)
            out.push_back(static_cast<unsigned char>((static_cast<std::uint64_t>(f.value) >> (8 * i)) & 0xFF));
    return out;
}

inline Bytes slice(const Bytes& b, std::size_t at, std::size_t n)
{
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

/// Offset of the first byte where the two differ, -1 when equal.
inline long long firstDifference(const Bytes& a, const Bytes& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return static_cast<long long>(i);
    return a.size() == b.size() ? -1 : static_cast<long long>(n);
}

/// Result of the outside structure checker on a map.
struct InspectResult {
    QByteArray missing;  ///< why the checker could not be run (absent tool or python3); empty when it ran
    int exitCode = -1;   ///< -1 also when it crashed or did not finish
    QString summary;     ///< the "OCD-INSPECT ..." line
    QString output;
};

/// Runs ocd-inspect.py --strict -q on `map`. `missing` says so when the tool or python3 is
/// absent; a checker that starts but crashes or hangs is a failed check, not a missing one.
inline InspectResult inspect(const std::filesystem::path& map)
{
    InspectResult r;
    const std::filesystem::path tools = sharedDir("tools");
    if (tools.empty() || !std::filesystem::exists(tools / "ocd-inspect.py")) {
        r.missing = "the outside map checker tools/ocd-inspect.py is absent";
        return r;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty()) {
        r.missing = "python3, which runs the outside map checker, is not installed";
        return r;
    }
    QProcess p;
    p.start(QStringLiteral("python3"), {QString::fromStdString((tools / "ocd-inspect.py").string()),
                                        QStringLiteral("--strict"), QStringLiteral("-q"), QStringLiteral("--no-coords"),
                                        QString::fromStdString(map.string())});
    if (!p.waitForStarted()) {
        r.output = QStringLiteral("the map checker did not start");
        return r;
    }
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.output = QStringLiteral("the map checker did not finish within 120 s");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromUtf8(p.readAllStandardOutput());
    const QStringList lines = r.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    r.summary = lines.isEmpty() ? QString() : lines.last();
    return r;
}

}  // namespace zelt::test

/// Checks a map with the outside checker. When the checker is absent the rest of the test is
/// skipped visibly with the reason (a failure under CI), so use it as a test's last check.
#define ZELT_VERIFY_INSPECT_CLEAN(path)                                                          \
    do {                                                                                         \
        const auto ins_ = zelt::test::inspect(path);                                             \
        if (!ins_.missing.isEmpty())                                                             \
            ZELT_SKIP_OUTSIDE(ins_.missing.constData());                                         \
        QVERIFY2(ins_.exitCode == 0, qPrintable(ins_.output));                                   \
        QVERIFY2(ins_.summary.contains(QStringLiteral("errors=0 warnings=0")), qPrintable(ins_.summary)); \
    } while (0)

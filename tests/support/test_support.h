// SPDX-License-Identifier: GPL-3.0-or-later
// Shared test helpers: QTest printing of std::string, temporary folders and sample-file lookup.
#pragma once

#include <QString>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace QTest {
template<>
inline char* toString(const std::string& s)
{
    return qstrdup(s.c_str());
}
}  // namespace QTest

namespace zelt::test {

/// Folder of outside sample files (`paradox-samples`, `ocad-samples`); empty path when absent,
/// so tests can QSKIP cleanly.
inline std::filesystem::path sharedDir(const char* sub)
{
    std::filesystem::path p = std::filesystem::path(ZELT_SHARED_DIR) / sub;
    std::error_code ec;
    return std::filesystem::is_directory(p, ec) ? p : std::filesystem::path();
}

/// Whether the tests run under CI (the environment variable CI is set): there an outside checker
/// or sample folder that is missing fails the test instead of skipping it.
inline bool underCi() { return qEnvironmentVariableIsSet("CI"); }

inline std::vector<unsigned char> readBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& p, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace zelt::test

/// Skips the rest of the test visibly, naming what is missing from outside the project (a sample
/// folder, a checker); under CI the same stops the test as a failure.
#define ZELT_SKIP_OUTSIDE(reason)                  \
    do {                                           \
        if (zelt::test::underCi())                 \
            QFAIL(reason);                         \
        QSKIP(reason);                             \
    } while (0)

// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the Paradox codec tests: field lists, rows, temp copies and outside checkers.
#pragma once

#include "test_support.h"
#include "test_paradox_rows.h"

#include "paradox/code_page.h"
#include "paradox/paradox_table.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace zelt::test::px {

using namespace zelt::document;

/// Copies a file into `dir` and makes the copy writable (the samples are read-only).
inline std::filesystem::path writableCopy(const std::filesystem::path& from, const std::filesystem::path& dir)
{
    const auto to = dir / from.filename();
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return to;
}

struct ToolResult {
    bool ran = false;
    int exitCode = -1;
    QString out;
};

/// Runs a checker with a time limit (a damaged file must not hang the suite).
inline ToolResult runTool(const QString& program, const QStringList& args, int timeoutMs = 30000)
{
    QProcess proc;
    proc.setProcessChannelMode(QProcess::MergedChannels);
    proc.start(program, args);
    ToolResult r;
    if (!proc.waitForStarted(timeoutMs))
        return r;
    if (!proc.waitForFinished(timeoutMs)) {
        proc.kill();
        proc.waitForFinished();
        r.out = "timed out";
        return r;
    }
    r.ran = proc.exitStatus() == QProcess::NormalExit;
    r.exitCode = proc.exitCode();
    r.out = QString::fromLocal8Bit(proc.readAll());
    return r;
}

inline bool hasPxcheck()
{
    return QFile::exists(QStringLiteral(PXCHECK)) && !QStandardPaths::findExecutable("python3").isEmpty();
}

/// Empty when the independent Python checker finds no problem in the file, else its report.
inline std::string pxcheckProblems(const std::filesystem::path& file)
{
    const ToolResult r = runTool("python3", {QStringLiteral(PXCHECK), QString::fromStdString(file.string())});
    if (r.ran && r.exitCode == 0)
        return {};
    return "pxcheck: " + r.out.toStdString();
}

/// A test of its own in each suite that uses the checkers: they run inside the other tests, so
/// a missing one is reported here (skipped with the reason; a failure under CI).
#define ZELT_REQUIRE_PARADOX_CHECKERS(withOracle)                                                             \
    do {                                                                                                      \
        if (!zelt::test::px::hasPxcheck())                                                                    \
            ZELT_SKIP_OUTSIDE("paradox-samples/pxcheck.py or python3 is absent: files were not checked by it"); \
        if ((withOracle) && !zelt::test::px::hasOracle())                                                     \
            ZELT_SKIP_OUTSIDE("the pxlib oracle was not built (pxlib-dev): rows were not read back through it");  \
    } while (0)

inline bool hasOracle() { return std::string(PX_ORACLE).size() > 0 && QFile::exists(QStringLiteral(PX_ORACLE)); }

/// The rows of a file as pxlib's read path sees them (see tests/tools/px_oracle.cpp), or one
/// line starting with "error" when it could not read the file.
inline QStringList oracleRows(const std::filesystem::path& file)
{
    const ToolResult r = runTool(QStringLiteral(PX_ORACLE), {QString::fromStdString(file.string())});
    if (!r.ran || r.exitCode != 0)
        return {"error " + r.out};
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    lines.removeFirst();  // "rows N"
    return lines;
}

/// Our rows in the oracle's line format (text as code-page bytes in hex).
inline QStringList oracleLines(const std::vector<Row>& rows, const CodePage& page)
{
    QStringList lines;
    for (const Row& row : rows) {
        QStringList cells;
        for (const Value& v : row) {
            if (isEmpty(v)) {
                cells << "-";
            } else if (const auto* i = std::get_if<std::int32_t>(&v)) {
                cells << "I" + QString::number(*i);
            } else if (const auto* d = std::get_if<double>(&v)) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "N%.17g", *d);
                cells << QString::fromLatin1(buf);
            } else {
                std::string bytes;
                CodePage::Failure failure;
                page.fromUtf8(std::get<std::string>(v), bytes, failure);
                cells << "A" + QString::fromLatin1(QByteArray::fromStdString(bytes).toHex());
            }
        }
        lines << cells.join('\t');
    }
    return lines;
}

}  // namespace zelt::test::px

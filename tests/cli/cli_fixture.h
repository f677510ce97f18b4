// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for zelt-cli tests: run the program, build traverse tables, read their columns back.
#pragma once

#include "document/document_files.h"
#include "document/traverse_table.h"
#include "test_support.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

#include <functional>
#include <optional>
#include <vector>

namespace zelt::test {

/// Exit code and output of one zelt-cli run (exit code -1: it did not finish, -2: it crashed).
template <typename Out>
struct BasicCliRun {
    int exitCode = -1;
    Out out;
    QString err;
};
using CliRun = BasicCliRun<QString>;          ///< standard output as text
using CliBytesRun = BasicCliRun<QByteArray>;  ///< standard output as the bytes written

/// Runs zelt-cli with `input` on its standard input and keeps its standard output as bytes; in
/// `dir` when given, with `env` ("NAME=VALUE" sets, "-NAME" removes) changing the environment.
inline CliBytesRun runCliBytes(const QStringList& args, const QByteArray& input = {}, const QString& dir = {},
                               const QStringList& env = {})
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : env)
        kv.startsWith(u'-') ? e.remove(kv.mid(1)) : e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral(ZELT_CLI), args);
    p.write(input);
    p.closeWriteChannel();
    CliBytesRun r;
    if (!p.waitForFinished(120000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline CliRun runCli(const QStringList& args, const QByteArray& input = {})
{
    CliBytesRun r = runCliBytes(args, input);
    return {r.exitCode, QString::fromUtf8(r.out), r.err};
}

/// The bytes of a file (none when it cannot be read).
inline QByteArray readFile(const std::filesystem::path& p)
{
    const auto bytes = readBytes(p);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

/// Creates a table at `path` with one row per call of `setRow` (row index given), and the .inf.
inline void makeTable(const std::filesystem::path& path, int rows,
                      const std::function<void(zelt::document::TraverseTable&, int)>& setRow,
                      double pairsPer100m = 64.0, double startHeight = 420.0)
{
    zelt::document::TraverseTable t;
    t.setPath(path);
    t.create();
    t.open();
    for (int i = 0; i < rows; ++i) {
        t.append();
        setRow(t, i);
        t.post();
    }
    t.close();
    zelt::document::writeInf(zelt::document::companionPath(path, ".inf"), pairsPer100m, startHeight);
}

inline std::vector<std::optional<double>> readColumn(const std::filesystem::path& path, const char* field)
{
    zelt::document::TraverseTable t;
    t.setPath(path);
    t.open();
    std::vector<std::optional<double>> out;
    for (int r = 0; r < t.rowCount(); ++r)
        out.push_back(zelt::document::numberOf(t.valueAt(r, t.fieldIndex(field))));
    return out;
}

inline bool nearly(const std::vector<std::optional<double>>& a, const std::vector<std::optional<double>>& b,
                   double eps)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].has_value() != b[i].has_value())
            return false;
        if (a[i] && !(std::abs(*a[i] - *b[i]) <= eps))  // also false for NaN
            return false;
    }
    return true;
}

}  // namespace zelt::test

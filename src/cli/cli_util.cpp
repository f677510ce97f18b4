// SPDX-License-Identifier: GPL-3.0-or-later
// Argument helpers shared by the zelt-cli command groups.
#include "cli/cli_util.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"

#include <QGuiApplication>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <ostream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt::cli {

void expectPositional(const Args& args, std::size_t min, std::size_t max, const std::string& names)
{
    if (args.positional.size() < min || args.positional.size() > max)
        throw UsageError{"expects " + names};
}

std::string readInput(const std::string& source)
{
    if (source == "-")
        return {std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    // A text to import or paste: a regular file (never a device or a pipe that would block) of
    // at most 256 MiB, several times the largest table's rows as text.
    constexpr std::uintmax_t kMaxInputBytes = std::uintmax_t{1} << 28;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(source, ec).lexically_normal();
    std::string reason;
    int error = 0;
    const document::RegularFile file = document::RegularFile::open(source, O_RDONLY, kMaxInputBytes, reason, error);
    if (!file.isOpen())
        throw std::runtime_error(reason.empty() ? "cannot read " + document::fileErrorText(full, error)
                                                : "'" + full.string() + "' " + reason);
    const auto bytes = file.readAll(error);
    if (!bytes)
        throw std::runtime_error("cannot read " + document::fileErrorText(full, error));
    return {bytes->begin(), bytes->end()};
}

interchange::TextColumns textColumns(const Args& args)
{
    return args.has("--visible") ? interchange::TextColumns::VisibleColumns : interchange::TextColumns::AllFields;
}

std::unique_ptr<QGuiApplication> windowlessGuiApplication()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zelt-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

void printStatus(const Args& args, std::ostream& out, const std::string& text)
{
    if (!args.has("--quiet"))
        out << args.command << ": " << text << '\n';
}

namespace {

namespace fs = std::filesystem;

std::runtime_error cannotWrite(const fs::path& full, int error)
{
    return std::runtime_error("cannot write " + document::fileErrorText(full.lexically_normal(), error));
}

}  // namespace

void checkOutputPath(const fs::path& path)
{
    std::error_code ec;
    const fs::path full = fs::absolute(path, ec);
    if (ec)
        throw cannotWrite(path, ec.value());
    struct stat st {};
    if (::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw cannotWrite(full, EISDIR);
    const fs::path folder = full.parent_path();
    if (::stat(folder.c_str(), &st) != 0)
        throw cannotWrite(full, errno);
    if (!S_ISDIR(st.st_mode))
        throw cannotWrite(full, ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw cannotWrite(full, errno);
}

OutputTarget::OutputTarget(const std::string& argument, const std::string& tempName) : m_argument(argument)
{
    if (argument != "-") {
        checkOutputPath(argument);
        m_path = argument;
        return;
    }
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "zelt-cli-XXXXXX").string();
    if (ec || !::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder for standard output: "
                                 + document::fileErrorText(pattern, ec ? ec.value() : errno));
    m_tempFolder = pattern;
    m_path = m_tempFolder / tempName;
}

OutputTarget::~OutputTarget()
{
    std::error_code ec;
    if (!m_tempFolder.empty())
        fs::remove_all(m_tempFolder, ec);
}

std::string OutputTarget::name() const { return isStandardOutput() ? "standard output" : m_argument; }

std::ostream& OutputTarget::statusStream(std::ostream& out, std::ostream& err) const
{
    return isStandardOutput() ? err : out;
}

void OutputTarget::finish(std::ostream& out)
{
    if (!isStandardOutput())
        return;
    std::ifstream in(m_path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + document::fileErrorText(m_path, errno));
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        out.write(buffer, in.gcount());
    if (in.bad())
        throw std::runtime_error("cannot read " + document::fileErrorText(m_path, errno));
}

void printDiagnostics(std::ostream& out, const std::vector<document::Diagnostic>& diagnostics)
{
    for (const document::Diagnostic& d : diagnostics)
        out << document::diagnosticMessage(d) << '\n';
}

std::string jsonNumber(double v)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v == 0 ? 0.0 : v);
    return ec == std::errc() ? std::string(buf, end) : std::string("null");
}

std::string fixedNumber(double v, int decimals, char separator, bool sign)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    std::string s = ec == std::errc() ? std::string(buf, end) : std::string("?");
    if (s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, s.front() == '-' ? 1 : 0);  // no "-0.00"
    else if (sign && s.front() != '-')
        s.insert(0, 1, '+');
    for (char& c : s)
        if (c == '.')
            c = separator;
    return s;
}

std::string plainNumber(double v, char separator)
{
    std::string s = jsonNumber(v);
    for (char& c : s)
        if (c == '.')
            c = separator;
    return s;
}

}  // namespace zelt::cli

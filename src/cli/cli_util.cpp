// SPDX-License-Identifier: GPL-3.0-or-later
// Argument helpers shared by the zelt-cli command groups.
#include "cli/cli_util.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "document/document_files.h"

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
    // The whole output is out before the status line says so.
    flushOutput(out);
}

namespace {

bool& standardOutputClosed()
{
    static bool closed = false;
    return closed;
}

/// Descriptor 1 behind a buffer: writes go straight to write(2), the first failure's errno is kept.
class StandardOutputBuf : public std::streambuf {
public:
    StandardOutputBuf() { setp(m_buffer, m_buffer + sizeof m_buffer); }
    int failure() const { return m_failure; }

protected:
    int_type overflow(int_type ch) override
    {
        if (!flushBuffer())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        if (n >= static_cast<std::streamsize>(sizeof m_buffer)) {
            if (!flushBuffer() || !writeAll(s, static_cast<std::size_t>(n)))
                return 0;
            return n;
        }
        return std::streambuf::xsputn(s, n);
    }
    int sync() override { return flushBuffer() ? 0 : -1; }

private:
    bool writeAll(const char* data, std::size_t size)
    {
        if (m_failure != 0)
            return false;
        while (size > 0) {
            const ssize_t n = ::write(STDOUT_FILENO, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_failure = n < 0 ? errno : EIO;
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool flushBuffer()
    {
        const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
        setp(m_buffer, m_buffer + sizeof m_buffer);
        return n == 0 ? m_failure == 0 : writeAll(m_buffer, n);
    }

    char m_buffer[1 << 16];
    int m_failure = 0;
};

StandardOutputBuf* standardOutputBuf = nullptr;

}  // namespace

void setUpStandardStreams()
{
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int null = ::open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
        if (fd == STDOUT_FILENO)
            standardOutputClosed() = true;
    }
    if (!standardOutputBuf) {
        // Lives as long as the process: std::cout is flushed through it at exit.
        standardOutputBuf = new StandardOutputBuf;
        std::cout.flush();
        std::cout.rdbuf(standardOutputBuf);
    }
}

std::string standardOutputFailure()
{
    if (standardOutputClosed())
        return "cannot write to standard output: it is closed";
    const int error = standardOutputBuf ? standardOutputBuf->failure() : 0;
    return "cannot write to standard output: " + document::ioErrorMessage(error ? error : EIO);
}

void flushOutput(std::ostream& out)
{
    out.flush();
    if (!out)
        throw std::runtime_error(standardOutputFailure());
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

// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the files we read or write in place only when they are regular files of a sane size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zelt::document {

/// Largest survey values file (.inf), layout file (.ing, fixed layouts) and figure file: each
/// holds a few hundred bytes; anything near this limit is not one of ours.
inline constexpr std::uintmax_t kMaxSmallFileBytes = std::uintmax_t{1} << 20;  // 1 MiB
/// Largest map: OCAD 7 addresses its objects with signed 32-bit file positions.
inline constexpr std::uintmax_t kMaxMapBytes = std::uintmax_t{1} << 31;  // 2 GiB

/// Why a file cannot be used as one of our files, as the end of a sentence naming it
/// ("is a named pipe, not a regular file"); empty when it is a regular file of at most
/// `maxBytes`. `mode` and `size` are those of stat().
std::string irregularFileReason(unsigned mode, std::uintmax_t size, std::uintmax_t maxBytes);

/// An open descriptor of a checked regular file; closes it when destroyed.
class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    /// Opens `path` with `flags` (O_RDONLY, O_RDWR, O_WRONLY, optionally O_CREAT; never O_TRUNC)
    /// without blocking: O_NONBLOCK keeps a named pipe from waiting for a writer, and the file
    /// is refused before anything is read or written unless fstat() shows a regular file of at
    /// most `maxBytes`. Links are followed (a link to a regular file is fine, a link to
    /// /dev/zero is refused). On failure returns an empty handle and sets `reason` ("is a named
    /// pipe, not a regular file") or, when open() itself failed, `error` to its errno.
    static RegularFile open(const std::filesystem::path& path, int flags, std::uintmax_t maxBytes,
                            std::string& reason, int& error);

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    std::uintmax_t size() const { return m_size; }  ///< at the time of open
    /// Gives up ownership of the descriptor.
    int release();

    /// The whole content, read from the start. Null with `error` set when a read fails or the
    /// file has grown past the size limit since it was opened (EFBIG).
    std::optional<std::vector<char>> readAll(int& error) const;
    /// Replaces the whole content with `bytes` (truncate, write, flush to the file system's
    /// cache). False with `error` set when any step fails.
    bool replaceAll(const std::vector<char>& bytes, int& error) const;

private:
    explicit RegularFile(int fd, std::uintmax_t maxBytes) : m_fd(fd), m_max(maxBytes) {}
    int m_fd = -1;
    std::uintmax_t m_size = 0;
    std::uintmax_t m_max = 0;
};

}  // namespace zelt::document

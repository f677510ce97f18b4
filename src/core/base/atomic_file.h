// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a whole file so that a kill, a full disk or an I/O error leaves the old file or the new.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zelt::document {

/// The system's reason for `error` (an errno value) in English, whatever the process locale:
/// "No space left on device", "Permission denied".
std::string systemReason(int error);

/// "'<full path>': <system's reason>", the way every message about a file names it.
std::string fileErrorText(const std::filesystem::path& path, int error);

/// `text` ending as a sentence (a full stop added when it has none), so that another sentence
/// can follow it.
std::string asSentence(std::string text);

/// A new version of one file, written beside it and put in its place only when complete.
///
/// `begin` creates a temporary file in the target's folder (named after the target, with a
/// ".zelt-<random>" suffix, so it is on the same file system and the rename is atomic). The
/// content is written with `write`; `commit` flushes it to the disk, renames it over the target
/// and syncs the folder, so that after commit returns the new file survives a power loss and
/// before it the old one is untouched. A file that is dropped without commit removes its
/// temporary file. The target is never opened for writing and never truncated.
///
/// A target that exists must be a regular file (a link is followed and the file it points at is
/// replaced); the new file keeps its permission bits. A target that does not exist is created
/// with 0666 less the umask. Missing folders are never created.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&& other) noexcept;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Starts a new version of `target`. On failure returns a closed file and sets `message` to a
    /// sentence naming the full path and the reason ("'/x/out.txt': Permission denied", "... is
    /// a folder, not a regular file"). Nothing is created on failure. An existing target larger
    /// than `maxExistingBytes` is refused too ("... is larger than 1 MiB (N bytes)"): a file of
    /// that size is not the small file the caller writes, and replacing it would lose it.
    static AtomicFile begin(const std::filesystem::path& target, std::string& message,
                            std::uintmax_t maxExistingBytes = UINTMAX_MAX);

    bool isOpen() const { return m_fd >= 0; }
    /// The temporary file's descriptor, for writers that need one (it is closed by commit).
    int fd() const { return m_fd; }
    /// The file being replaced, as resolved by begin (links followed).
    const std::filesystem::path& target() const { return m_target; }
    /// The temporary file, for writers that open it by name (it lies beside the target).
    const std::filesystem::path& tempPath() const { return m_temp; }

    /// Appends `size` bytes. False with `message` set when the write fails; the file is then
    /// discarded and the target stays as it was.
    bool write(const void* data, std::size_t size, std::string& message);
    bool write(std::string_view bytes, std::string& message) { return write(bytes.data(), bytes.size(), message); }

    /// Syncs the content, renames it over the target and syncs the folder. False with `message`
    /// set (naming the target) when any step fails; the target then stays as it was.
    bool commit(std::string& message);
    /// As commit, but only when no file has appeared at the target since begin: a file there is
    /// left as it is and the commit fails with "File exists".
    bool commitAsNew(std::string& message);
    /// Removes the temporary file; the target stays as it was.
    void discard();

private:
    bool fail(int error, std::string& message);
    bool finish(bool replace, std::string& message);

    int m_fd = -1;
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
};

/// Writes `bytes` as the whole content of `target` through an AtomicFile (an existing target
/// larger than `maxExistingBytes` is refused). False with `message` set when it could not; the
/// target is then as it was.
bool writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, std::string& message,
                         std::uintmax_t maxExistingBytes = UINTMAX_MAX);

/// Syncs the folder holding `path`, so that a rename or a new file in it survives a power loss.
/// Returns 0 or the errno of the failure.
int syncFolderOf(const std::filesystem::path& path);

/// Appends the whole of file `from` to the open descriptor `to`; 0, or the errno of the first
/// read or write that failed (EIO for a write that wrote nothing).
int copyFileInto(const std::filesystem::path& from, int to);

}  // namespace zelt::document

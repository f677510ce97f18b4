// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a whole file so that a kill, a full disk or an I/O error leaves the old file or the new.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zelt::document {

/// A change made in full whose last step, a sync to the disk (of a file or of the folder that
/// holds its new name), failed: the files are as after the change, and only a power loss before
/// the system writes them out could still undo it. Running the command again would do its work
/// twice, so this is told apart from a failure that changed nothing.
class NotDurableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
/// replaced); the new file keeps its permission bits and group (see matchAccess). A target that does not exist is created
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
    /// Whether the new file took the target's place: after a commit that failed only in syncing
    /// the folder, the new content is in place.
    bool isInPlace() const { return m_inPlace; }

private:
    bool fail(int error, std::string& message);
    bool finish(bool replace, std::string& message);

    int m_fd = -1;
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    bool m_inPlace = false;
};

/// Writes `bytes` as the whole content of `target` through an AtomicFile (an existing target
/// larger than `maxExistingBytes` is refused). False with `message` set when it could not; the
/// target is then as it was, unless `inPlace` is given and set: then only the folder's sync
/// failed, and the new content is in place.
bool writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, std::string& message,
                         std::uintmax_t maxExistingBytes = UINTMAX_MAX, bool* inPlace = nullptr);

/// The folder holding `path`, as an absolute path (a bare file name is in the working folder),
/// for messages that name it.
std::filesystem::path folderOf(const std::filesystem::path& path);

/// Syncs the folder holding `path`, so that a rename or a new file in it survives a power loss.
/// Returns 0 or the errno of the failure.
int syncFolderOf(const std::filesystem::path& path);

/// Gives the new file open as `fd` the group (and, for the superuser, the owner) and the
/// permission bits of the file `model`, which it is to replace: a rewrite keeps who may read
/// and write the file. Best effort (a group this user is not in stays the user's own); 0, or
/// the errno of a failed look at `model` (the new file then keeps what it has).
int matchAccess(int fd, const std::filesystem::path& model);

/// Takes from the new file open as `fd` every permission bit the file `model` lacks, so that a
/// copy of `model`'s content (a journal, a staged copy) is no more readable than `model`.
/// 0, or the errno of the failure.
int narrowAccess(int fd, const std::filesystem::path& model);

/// Appends the whole of file `from` to the open descriptor `to`; 0, or the errno of the first
/// read or write that failed (EIO for a write that wrote nothing).
int copyFileInto(const std::filesystem::path& from, int to);

}  // namespace zelt::document

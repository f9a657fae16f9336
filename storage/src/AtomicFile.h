#pragma once

// File-system primitives of the storage layer: a file's identity, whole-file reads, an
// advisory lock on a folder, and atomic replacement of a file's content.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tavrel::detail {

// What one stat() tells about a path; two equal stamps mean "same content" unless the file
// was rewritten in place within the file system's timestamp granularity.
struct FileStamp {
    bool exists = false;
    bool regular = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;

    bool SameFile(const FileStamp& other) const {
        return exists == other.exists && regular == other.regular && device == other.device &&
               inode == other.inode && size == other.size && mtimeSec == other.mtimeSec &&
               mtimeNsec == other.mtimeNsec;
    }
};

// One stat() of the path; a path that cannot be reached reads as not existing.
FileStamp StatPath(const std::string& path);

// True while a later change of the file could keep the same stamp: its modification time
// is too recent for the time stamp to tell two writes apart.
bool StampIsRecent(const FileStamp& stamp);

// Larger files are not read: no dictionary comes near this, and a stray huge (or sparse)
// file must not exhaust memory.
inline constexpr off_t kMaxReadableFile = off_t{256} << 20;

struct FileContent {
    enum class Status { Missing, Ok, NotRegular, TooLarge, Error } status = Status::Missing;
    std::string bytes;
    FileStamp stamp; // taken before reading, so any later change alters it
    int error = 0;
};

// Reads a whole regular file of at most kMaxReadableFile bytes. Never blocks on FIFOs or
// devices: those are NotRegular.
FileContent ReadWholeFile(const std::string& path);

// How long a writer waits for another one's folder lock before it gives up.
inline constexpr std::chrono::milliseconds kFolderLockPatience{5000};

// An exclusive flock() on a folder, held for the object's lifetime. Waits at most
// `patience` for another holder, then throws std::runtime_error naming the folder and the
// process that holds it; throws std::system_error when the folder cannot be opened.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder,
                        std::chrono::milliseconds patience = kFolderLockPatience);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// Writes the bytes to a new temporary file in the target's folder (the permissions and,
// where allowed, the owner of `previous` when given), syncs it (unless `sync` is false),
// renames it over the target and syncs the folder (the same). On failure the temporary file is
// removed, the target is untouched and std::system_error is thrown. Returns the stamp of the new
// file. Callers hold the FolderLock of the target's folder, so that RemoveStaleTemporaries() can
// tell the temporary files of killed writers from those of running ones.
FileStamp ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                const std::optional<FileStamp>& previous, bool sync = true);

// Removes the temporary files that ReplaceFileAtomically() left for `target` when its
// process died between creating and renaming them. Only safe under the folder's lock:
// every writer holds it while its temporary file exists. Failures are ignored (the next
// writer tries again). Returns how many were removed.
int RemoveStaleTemporaries(const std::filesystem::path& target);

// Whether a file name is one of ReplaceFileAtomically()'s temporary files for `target`.
bool IsTemporaryFor(std::string_view fileName, const std::filesystem::path& target);

} // namespace tavrel::detail

#pragma once

// Private to the storage layer: the system calls through which its writes and removals
// change the file system, and those through which its cache learns of changes. Each behaves as the
// system call it names (a negative result and errno on failure; EINTR is retried where the comment
// says so). Keeping them in one file lets the reliability tests link a build of it that fails any
// chosen call.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <string_view>
#include <sys/statfs.h>
#include <sys/types.h>

namespace tavrel::detail {

// open(), retried while a signal interrupts it.
inline int OpenRetry(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// open() creating a new file for writing, failing with EEXIST when the name is taken;
// retries EINTR.
int CreateExclusive(const char* path, mode_t mode);
// open() of an existing regular file for rewriting its bytes, never through a link; retries
// EINTR.
int OpenForRewrite(const char* path);
// write() and pwrite(): may put fewer bytes than asked.
ssize_t WriteSome(int fd, const void* data, std::size_t size);
ssize_t WriteSomeAt(int fd, const void* data, std::size_t size, off_t offset);
// fsync() of a file.
int SyncFile(int fd);
// rename() over the target.
int RenameFile(const char* from, const char* to);
// unlink() of a file (a link itself, never what it points to).
int RemoveFile(const char* path);
// open() of a folder that is to be locked with TryLockFolder(); retries EINTR.
int OpenFolderToLock(const char* path);
// A non-blocking exclusive flock() of an open folder.
int TryLockFolder(int fd);
// open() of a folder that is to be synced with SyncFolder(); retries EINTR.
int OpenFolderToSync(const char* path);
// fsync() of an open folder.
int SyncFolder(int fd);

// inotify_init1() of a non-blocking, close-on-exec instance.
int StartWatching();
// inotify_add_watch() and inotify_rm_watch().
int AddWatch(int fd, const char* path, std::uint32_t mask);
int RemoveWatch(int fd, int wd);
// ioctl(FIONREAD) of an inotify instance: the bytes of the events queued on it.
int QueuedEventBytes(int fd, int* bytes);
// read() of queued events; EAGAIN when there are none.
ssize_t ReadEvents(int fd, void* buffer, std::size_t size);
// statfs(): the type (f_type) of the file system holding the path. Never made to fail.
inline int FileSystemType(const char* path, long* type) {
    struct statfs fs;
    if (::statfs(path, &fs) != 0)
        return -1;
    *type = static_cast<long>(fs.f_type);
    return 0;
}

// Tells that `target` now holds `bytes`: its replacement is complete. Does nothing here;
// the reliability tests' build records it.
void Replaced(const char* target, std::string_view bytes);

} // namespace tavrel::detail

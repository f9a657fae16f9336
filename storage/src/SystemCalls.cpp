#include "SystemCalls.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tavrel::detail {

int CreateExclusive(const char* path, mode_t mode) {
    return OpenRetry(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

int OpenForRewrite(const char* path) {
    return OpenRetry(path, O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
}

ssize_t WriteSome(int fd, const void* data, std::size_t size) {
    return ::write(fd, data, size);
}

ssize_t WriteSomeAt(int fd, const void* data, std::size_t size, off_t offset) {
    return ::pwrite(fd, data, size, offset);
}

int SyncFile(int fd) {
    return ::fsync(fd);
}

int RenameFile(const char* from, const char* to) {
    return ::rename(from, to);
}

int RemoveFile(const char* path) {
    return ::unlink(path);
}

int OpenFolderToLock(const char* path) {
    return OpenRetry(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int TryLockFolder(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB);
}

int OpenFolderToSync(const char* path) {
    return OpenRetry(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int SyncFolder(int fd) {
    return ::fsync(fd);
}

int StartWatching() {
    return ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

int AddWatch(int fd, const char* path, std::uint32_t mask) {
    return ::inotify_add_watch(fd, path, mask);
}

int RemoveWatch(int fd, int wd) {
    return ::inotify_rm_watch(fd, wd);
}

int QueuedEventBytes(int fd, int* bytes) {
    return ::ioctl(fd, FIONREAD, bytes);
}

ssize_t ReadEvents(int fd, void* buffer, std::size_t size) {
    return ::read(fd, buffer, size);
}

void Replaced(const char*, std::string_view) {}

} // namespace tavrel::detail

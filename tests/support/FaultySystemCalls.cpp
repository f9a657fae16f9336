// The storage layer's system calls as the reliability tests link them: each one first asks
// the fault table whether it must fail, and completed replacements and removals are told to
// the observers. Otherwise they behave as the shipped ones in storage/src/SystemCalls.cpp.

#include "FaultSeam.h"
#include "SystemCalls.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tavrel::detail {

namespace {

// Unarmed and unobserved, a call costs one relaxed increment and one map update.
struct Seam {
    std::mutex mutex;
    std::vector<AtomicWriteFault> faults;
    std::filesystem::path hit;
    AtomicWriteObserver observer;
    RemovalObserver removalObserver;
    // What each descriptor opened here names, so that faults of Write, Sync and SyncFolder
    // can tell which file they hit.
    std::map<int, std::string> opened;
};

Seam& TheSeam() {
    static Seam seam;
    return seam;
}

std::atomic<bool> gArmed{false};
std::array<std::atomic<int>, kAtomicWriteSteps> gCalls{};

std::size_t Index(AtomicWriteStep step) {
    return static_cast<std::size_t>(step);
}

int DefaultError(AtomicWriteStep step) {
    return step == AtomicWriteStep::Write || step == AtomicWriteStep::Watch ? ENOSPC : EIO;
}

void RestartCounts() {
    for (auto& calls : gCalls)
        calls.store(0, std::memory_order_relaxed);
}

int Opened(int fd, const char* path) {
    if (fd >= 0) {
        std::lock_guard lock(TheSeam().mutex);
        TheSeam().opened[fd] = path;
    }
    return fd;
}

std::string NameOf(int fd) {
    std::lock_guard lock(TheSeam().mutex);
    const auto it = TheSeam().opened.find(fd);
    return it == TheSeam().opened.end() ? std::string() : it->second;
}

// Sets errno and tells whether the call must fail instead of being made.
bool Fails(AtomicWriteStep step, const std::filesystem::path& file) {
    if (const int injected = InjectedFailure(step, file)) {
        errno = injected;
        return true;
    }
    return false;
}

} // namespace

int CreateExclusive(const char* path, mode_t mode) {
    if (Fails(AtomicWriteStep::CreateTemp, path))
        return -1;
    return Opened(OpenRetry(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode), path);
}

int OpenForRewrite(const char* path) {
    return Opened(OpenRetry(path, O_WRONLY | O_CLOEXEC | O_NOFOLLOW), path);
}

ssize_t WriteSome(int fd, const void* data, std::size_t size) {
    if (Fails(AtomicWriteStep::Write, NameOf(fd)))
        return -1;
    return ::write(fd, data, size);
}

ssize_t WriteSomeAt(int fd, const void* data, std::size_t size, off_t offset) {
    if (Fails(AtomicWriteStep::Write, NameOf(fd)))
        return -1;
    return ::pwrite(fd, data, size, offset);
}

int SyncFile(int fd) {
    if (Fails(AtomicWriteStep::Sync, NameOf(fd)))
        return -1;
    return ::fsync(fd);
}

int RenameFile(const char* from, const char* to) {
    if (Fails(AtomicWriteStep::Rename, from))
        return -1;
    return ::rename(from, to);
}

int RemoveFile(const char* path) {
    if (Fails(AtomicWriteStep::Unlink, path))
        return -1;
    const int result = ::unlink(path);
    if (result == 0) {
        RemovalObserver observer;
        {
            std::lock_guard lock(TheSeam().mutex);
            observer = TheSeam().removalObserver;
        }
        if (observer)
            observer(path);
    }
    return result;
}

int OpenFolderToLock(const char* path) {
    if (Fails(AtomicWriteStep::LockFolder, path))
        return -1;
    return OpenRetry(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int TryLockFolder(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB);
}

int OpenFolderToSync(const char* path) {
    return Opened(OpenRetry(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC), path);
}

int SyncFolder(int fd) {
    if (Fails(AtomicWriteStep::SyncFolder, NameOf(fd)))
        return -1;
    return ::fsync(fd);
}

int StartWatching() {
    if (Fails(AtomicWriteStep::Watch, {}))
        return -1;
    return ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

int AddWatch(int fd, const char* path, std::uint32_t mask) {
    if (Fails(AtomicWriteStep::Watch, path))
        return -1;
    return ::inotify_add_watch(fd, path, mask);
}

int RemoveWatch(int fd, int wd) {
    return ::inotify_rm_watch(fd, wd);
}

int QueuedEventBytes(int fd, int* bytes) {
    if (Fails(AtomicWriteStep::Watch, {}))
        return -1;
    return ::ioctl(fd, FIONREAD, bytes);
}

ssize_t ReadEvents(int fd, void* buffer, std::size_t size) {
    if (Fails(AtomicWriteStep::Watch, {}))
        return -1;
    return ::read(fd, buffer, size);
}

void Replaced(const char* target, std::string_view bytes) {
    AtomicWriteObserver observer;
    {
        std::lock_guard lock(TheSeam().mutex);
        observer = TheSeam().observer;
    }
    if (observer)
        observer(target, bytes);
}

int InjectedFailure(AtomicWriteStep step, const std::filesystem::path& file) {
    const int count = gCalls[Index(step)].fetch_add(1, std::memory_order_relaxed) + 1;
    if (!gArmed.load(std::memory_order_acquire))
        return 0;
    Seam& seam = TheSeam();
    std::lock_guard lock(seam.mutex);
    for (const AtomicWriteFault& fault : seam.faults) {
        if (fault.step == step && (fault.call == 0 || fault.call == count)) {
            seam.hit = file;
            return fault.error != 0 ? fault.error : DefaultError(step);
        }
    }
    return 0;
}

void SetAtomicWriteFaults(std::vector<AtomicWriteFault> faults) {
    Seam& seam = TheSeam();
    std::lock_guard lock(seam.mutex);
    seam.faults = std::move(faults);
    seam.hit.clear();
    RestartCounts();
    gArmed.store(!seam.faults.empty(), std::memory_order_release);
}

void SetAtomicWriteFault(std::optional<AtomicWriteFault> fault) {
    SetAtomicWriteFaults(fault ? std::vector<AtomicWriteFault>{*fault}
                               : std::vector<AtomicWriteFault>{});
}

void SetAtomicWriteFailure(std::optional<AtomicWriteStep> step) {
    if (step)
        SetAtomicWriteFault(AtomicWriteFault{*step, 0, 0});
    else
        SetAtomicWriteFault(std::nullopt);
}

int AtomicWriteCalls(AtomicWriteStep step) {
    return gCalls[Index(step)].load(std::memory_order_relaxed);
}

std::filesystem::path InjectedFaultTarget() {
    Seam& seam = TheSeam();
    std::lock_guard lock(seam.mutex);
    return seam.hit;
}

void SetAtomicWriteObserver(AtomicWriteObserver observer) {
    Seam& seam = TheSeam();
    std::lock_guard lock(seam.mutex);
    seam.observer = std::move(observer);
}

void SetRemovalObserver(RemovalObserver observer) {
    Seam& seam = TheSeam();
    std::lock_guard lock(seam.mutex);
    seam.removalObserver = std::move(observer);
}

} // namespace tavrel::detail

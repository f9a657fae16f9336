#include "AtomicFile.h"

#include "SystemCalls.h"
#include "WriteTarget.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavrel::detail {

namespace {

FileStamp StampOf(const struct stat& st) {
    FileStamp s;
    s.exists = true;
    s.regular = S_ISREG(st.st_mode);
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeSec = st.st_mtim.tv_sec;
    s.mtimeNsec = st.st_mtim.tv_nsec;
    s.mode = st.st_mode;
    s.owner = st.st_uid;
    s.group = st.st_gid;
    return s;
}

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

} // namespace

FileStamp StatPath(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return FileStamp{};
    return StampOf(st);
}

bool StampIsRecent(const FileStamp& stamp) {
    if (!stamp.exists)
        return false;
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    // File times advance in clock ticks (a few milliseconds); file systems without
    // sub-second times advance in whole seconds, which a zero nanosecond part suggests.
    const std::int64_t margin = stamp.mtimeNsec == 0 ? 2'000'000'000 : 100'000'000;
    const std::int64_t age =
        (static_cast<std::int64_t>(now.tv_sec) - stamp.mtimeSec) * 1'000'000'000 +
        (static_cast<std::int64_t>(now.tv_nsec) - stamp.mtimeNsec);
    return age < margin;
}

FileContent ReadWholeFile(const std::string& path) {
    FileContent result;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
    const int fd = OpenRetry(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.error = errno;
        result.status = errno == ENOENT ? FileContent::Status::Missing : FileContent::Status::Error;
        return result;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        result.error = errno;
        result.status = FileContent::Status::Error;
        ::close(fd);
        return result;
    }
    result.stamp = StampOf(st);
    if (!S_ISREG(st.st_mode)) {
        result.status = FileContent::Status::NotRegular;
        ::close(fd);
        return result;
    }
    if (st.st_nlink > 1) {
        // A file with several names may be being rewritten in place: a complete journal
        // beside it holds the new content until the rewrite is done, and the writer holds an
        // exclusive lock on the file while it copies.
        const std::filesystem::path journal = JournalOf(path);
        struct stat js;
        if (::lstat(journal.c_str(), &js) == 0 && S_ISREG(js.st_mode)) {
            FileContent fromJournal = ReadWholeFile(journal.string());
            if (fromJournal.status == FileContent::Status::Ok) {
                ::close(fd);
                fromJournal.stamp = result.stamp;
                return fromJournal;
            }
        }
        // A writer stopped halfway must not stop readers: after a second, read anyway.
        for (int tries = 0; tries < 100 && ::flock(fd, LOCK_SH | LOCK_NB) != 0; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (st.st_size > kMaxReadableFile) {
        result.status = FileContent::Status::TooLarge;
        ::close(fd);
        return result;
    }
    // Read until end of file rather than trusting the size: the file may be growing (up to
    // the limit).
    std::string& bytes = result.bytes;
    std::size_t used = 0;
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = errno;
            result.status = FileContent::Status::Error;
            bytes.clear();
            ::close(fd);
            return result;
        }
        if (got == 0)
            break;
        used += static_cast<std::size_t>(got);
        if (used > static_cast<std::size_t>(kMaxReadableFile)) {
            result.status = FileContent::Status::TooLarge;
            bytes.clear();
            ::close(fd);
            return result;
        }
    }
    bytes.resize(used);
    ::close(fd);
    result.status = FileContent::Status::Ok;
    return result;
}

namespace {

// Who holds a flock() on the folder with this device and inode, from /proc/locks
// ("1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"): "process 1234 (lngtool)", or
// "another process" when the system does not tell.
std::string LockHolder(const struct stat& folder) {
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr)
        return "another process";
    char line[256];
    long holder = -1;
    while (holder < 0 && std::fgets(line, sizeof line, locks) != nullptr) {
        char kind[16], mode[16], access[16];
        long pid = 0;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(line, "%*s %15s %15s %15s %ld %x:%x:%lu", kind, mode, access, &pid, &major,
                        &minor, &inode) == 7 &&
            std::strcmp(kind, "FLOCK") == 0 && pid > 0 && inode == folder.st_ino &&
            major == ::major(folder.st_dev) && minor == ::minor(folder.st_dev))
            holder = pid;
    }
    std::fclose(locks);
    if (holder < 0)
        return "another process";
    std::string name;
    if (std::FILE* comm = std::fopen(("/proc/" + std::to_string(holder) + "/comm").c_str(), "re")) {
        if (std::fgets(line, sizeof line, comm) != nullptr) {
            name = line;
            if (!name.empty() && name.back() == '\n')
                name.pop_back();
        }
        std::fclose(comm);
    }
    std::string text = "process " + std::to_string(holder);
    if (!name.empty())
        text += " (" + name + ")";
    return text;
}

} // namespace

FolderLock::FolderLock(const std::filesystem::path& folder, std::chrono::milliseconds patience) {
    const std::string name = folder.empty() ? std::string(".") : folder.string();
    fd_ = OpenFolderToLock(name.c_str());
    if (fd_ < 0)
        ThrowErrno(errno, "cannot open folder " + name);
    // Anyone who can read the folder can hold its lock (or a writer stopped with Ctrl-Z
    // does): wait a bounded time, polling, then say who holds it.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    while (TryLockFolder(fd_) != 0) {
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            std::string holder;
            if (error == EWOULDBLOCK) {
                struct stat st {};
                ::fstat(fd_, &st);
                holder = LockHolder(st);
            }
            ::close(fd_);
            fd_ = -1;
            if (error != EWOULDBLOCK)
                ThrowErrno(error, "cannot lock folder " + name);
            throw std::runtime_error("the folder " + name + " is locked by " + holder +
                                     "; gave up after " + std::to_string(patience.count() / 1000) +
                                     " s");
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

FolderLock::~FolderLock() {
    if (fd_ >= 0)
        ::close(fd_); // releases the lock
}

FileStamp ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                const std::optional<FileStamp>& previous, bool sync) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    const mode_t mode = previous ? (previous->mode & 07777) : 0666;

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = (folder / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) +
                          "-" + std::to_string(counter++)))
                   .string();
        fd = CreateExclusive(temp.c_str(), mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        ThrowErrno(errno, "cannot create a temporary file in " + folder.string());

    auto fail = [&](const std::string& what) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        // Should this removal fail too, the next writer of the target removes the file.
        (void)RemoveFile(temp.c_str());
        ThrowErrno(error, what);
    };

    if (previous) {
        // The umask may have narrowed the mode given to open().
        if (::fchmod(fd, mode) != 0)
            fail("cannot set permissions of " + temp);
        if ((previous->owner != ::geteuid() || previous->group != ::getegid()) &&
            ::fchown(fd, previous->owner, previous->group) != 0) {
            // Only a privileged user may give a file away; keeping our own is fine then.
        }
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = WriteSome(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write " + temp);
        }
        done += static_cast<std::size_t>(put);
    }
    // A precise modification time tells this write apart from any other, even one made
    // within the same tick of the file system's clock on a reused inode.
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[1] = times[0];
    if (::futimens(fd, times) != 0)
        fail("cannot stamp " + temp);
    if (sync && SyncFile(fd) != 0)
        fail("cannot sync " + temp);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        fail("cannot stat " + temp);
    const int closing = fd;
    fd = -1;
    if (::close(closing) != 0)
        fail("cannot close " + temp);
    if (RenameFile(temp.c_str(), target.c_str()) != 0)
        fail("cannot replace " + target.string());

    // The new content is in place and visible; a folder that cannot be synced (some file
    // systems refuse) is not reported, since the caller must not redo a completed write.
    const int dir = sync ? OpenFolderToSync(folder.c_str()) : -1;
    if (dir >= 0) {
        (void)SyncFolder(dir);
        ::close(dir);
    }
    Replaced(target.c_str(), bytes);
    return StampOf(st);
}

bool IsTemporaryFor(std::string_view fileName, const std::filesystem::path& target) {
    // ".<name>.tmp-<pid>-<counter>", as ReplaceFileAtomically() names them.
    const std::string prefix = "." + target.filename().string() + ".tmp-";
    if (fileName.size() <= prefix.size() || fileName.substr(0, prefix.size()) != prefix)
        return false;
    const std::string_view rest = fileName.substr(prefix.size());
    const std::size_t dash = rest.find('-');
    auto digits = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return dash != std::string_view::npos && digits(rest.substr(0, dash)) &&
           digits(rest.substr(dash + 1));
}

int RemoveStaleTemporaries(const std::filesystem::path& target) {
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return 0;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsTemporaryFor(entry->d_name, target))
            stale.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : stale) {
        const std::filesystem::path file = folder / name;
        if (RemoveFile(file.c_str()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace tavrel::detail

#include "ChangeWatch.h"

#include "SystemCalls.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::detail {

namespace {

// A file's folder: any change of the names in it or of the folder itself. The folders
// above: only the folder itself moving or going away. Any event about their entries
// would make the kernel mark every entry of a large folder such as /tmp at each new
// watch (milliseconds) and queue their changes to us.
constexpr std::uint32_t kFolderEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM |
                                        IN_CREATE | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF |
                                        IN_MOVE_SELF;
constexpr std::uint32_t kAboveEvents = IN_DELETE_SELF | IN_MOVE_SELF;
// The file itself, so that a write through another of its names is seen too.
constexpr std::uint32_t kFileEvents =
    IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// The watch no longer stands for the path it was made for.
constexpr std::uint32_t kWatchGone = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

// How long a failed inotify instance or an unwatchable file waits before it is tried again;
// until then each use costs a stat(), as without watches.
constexpr std::int64_t kRetryNs = 1'000'000'000;

std::int64_t Now() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A forked child shares the parent's inotify queue: reading it would take the parent's
// events. The child therefore drops the inherited instance before any use.
std::atomic<unsigned> gForks{0};
void CountFork() {
    gForks.fetch_add(1, std::memory_order_relaxed);
}

// Remote changes of these file systems are not reported by inotify.
bool IsNetworkFileSystem(long type) {
    switch (static_cast<unsigned long>(type) & 0xFFFFFFFFul) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x65735546: // FUSE (sshfs, virtiofs, ...)
    case 0x00C36400: // Ceph
    case 0x5346414F: // AFS
    case 0x01021997: // 9P
    case 0x73757245: // Coda
    case 0x01161970: // GFS2
    case 0x7461636F: // OCFS2
    case 0x0BD00BD0: // Lustre
    case 0x786F4256: // VirtualBox shared folders
    case 0x13661366: // OrangeFS
        return true;
    default:
        return false;
    }
}

// "/", "/a", "/a/b" for "/a/b/file"; nothing for a path that is not absolute and plain.
std::vector<std::string> FoldersAbove(const std::string& file) {
    std::vector<std::string> folders;
    if (file.size() < 2 || file.front() != '/' || file.back() == '/')
        return folders;
    folders.emplace_back("/");
    for (std::size_t slash = 0; slash != std::string::npos;) {
        const std::size_t next = file.find('/', slash + 1);
        const std::string_view part = std::string_view(file).substr(
            slash + 1, next == std::string::npos ? std::string::npos : next - slash - 1);
        if (part.empty() || part == "." || part == "..")
            return {};
        if (next != std::string::npos)
            folders.emplace_back(file.substr(0, next));
        slash = next;
    }
    return folders;
}

} // namespace

ChangeWatch::~ChangeWatch() {
    if (fd_ >= 0)
        ::close(fd_);
}

void ChangeWatch::Reset() {
    // The instance stays: closing one waits for the kernel to free its watches, which
    // takes milliseconds.
    for (const auto& [wd, watch] : watches_)
        if (!watch.dead)
            (void)RemoveWatch(fd_, wd);
    files_.clear();
    watches_.clear();
    folders_.clear();
    unwatchable_.clear();
    failed_ = false;
    ++serial_;
}

void ChangeWatch::Close() {
    if (fd_ >= 0)
        ::close(fd_); // in a forked child only its own copy: the parent's queue stays
    fd_ = -1;
    files_.clear();
    watches_.clear();
    folders_.clear();
    unwatchable_.clear();
    ++serial_;
}

bool ChangeWatch::Start() {
    if (fd_ >= 0 && forks_ != gForks.load(std::memory_order_relaxed))
        Close();
    if (fd_ >= 0)
        return true;
    if (failed_ && Now() < retryAt_)
        return false;
    static std::once_flag registered;
    std::call_once(registered, [] { ::pthread_atfork(nullptr, nullptr, CountFork); });
    forks_ = gForks.load(std::memory_order_relaxed);
    fd_ = StartWatching();
    failed_ = fd_ < 0;
    if (failed_)
        retryAt_ = Now() + kRetryNs;
    return !failed_;
}

void ChangeWatch::Abandon() {
    Close();
    failed_ = true;
    retryAt_ = Now() + kRetryNs;
}

bool ChangeWatch::Drain() {
    int queued = 0;
    if (QueuedEventBytes(fd_, &queued) != 0) {
        Abandon();
        return false;
    }
    while (queued > 0) {
        alignas(inotify_event) char buffer[16384];
        const ssize_t got = ReadEvents(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            break;
        if (got <= 0) {
            Abandon();
            return false;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = event.len > 0 ? buffer + at + sizeof event : nullptr;
            Event(event.wd, event.mask, name);
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
        queued -= static_cast<int>(got);
    }
    return true;
}

void ChangeWatch::Hit(File& file, bool rewritten) {
    file.clean = false;
    file.rewritten |= rewritten;
    file.lastHit = ++serial_;
}

void ChangeWatch::Event(int wd, std::uint32_t mask, const char* name) {
    if (mask & IN_Q_OVERFLOW) {
        for (auto& [path, file] : files_)
            Hit(file);
        return;
    }
    if (watches_.find(wd) == watches_.end())
        return; // released already
    const bool gone = (mask & kWatchGone) != 0;
    const bool written = (mask & (IN_MODIFY | IN_CLOSE_WRITE)) != 0;
    for (auto it = files_.begin(); it != files_.end();) {
        File& file = it->second;
        bool touched = false, lost = false, rewritten = false;
        if (wd == file.self) {
            touched = true;
            rewritten = written;
        } else {
            for (std::size_t i = 0; i < file.folders.size(); ++i) {
                if (file.folders[i] != wd)
                    continue;
                const bool own = i + 1 == file.folders.size();
                const bool named = own && name != nullptr && file.name == name;
                touched |= name == nullptr || named;
                rewritten |= named && written;
                lost |= gone && name == nullptr;
            }
        }
        if (lost) {
            it = Drop(it); // its path may now lead elsewhere: watched anew when next prepared
            continue;
        }
        if (touched)
            Hit(file, rewritten);
        ++it;
    }
    if (gone && name == nullptr) {
        const auto w = watches_.find(wd);
        if (w != watches_.end()) {
            const auto f = folders_.find(w->second.path);
            if (f != folders_.end() && f->second == wd)
                folders_.erase(f);
            if (mask & IN_IGNORED)
                w->second.dead = true;
        }
    }
}

int ChangeWatch::Acquire(const std::string& path, std::uint32_t mask, bool folder) {
    if (folder) {
        const auto f = folders_.find(path);
        if (f != folders_.end()) {
            Watch& w = watches_[f->second];
            if ((w.mask & mask) == mask) {
                ++w.users;
                return f->second;
            }
        } else {
            long type = 0;
            if (FileSystemType(path.c_str(), &type) != 0 || IsNetworkFileSystem(type))
                return -1;
        }
    }
    // IN_DONT_FOLLOW: a link anywhere on the path fails here (a folder through a link is
    // not a folder with IN_ONLYDIR), since a change behind a link would go unseen.
    const int wd = AddWatch(fd_, path.c_str(),
                            mask | IN_MASK_ADD | IN_DONT_FOLLOW | (folder ? IN_ONLYDIR : 0));
    if (wd < 0)
        return -1;
    Watch& w = watches_[wd];
    if (w.users == 0 || w.dead)
        w = Watch{path, 0, 0, false};
    w.mask |= mask;
    ++w.users;
    if (folder)
        folders_[path] = wd;
    return wd;
}

void ChangeWatch::Release(int wd) {
    const auto w = watches_.find(wd);
    if (w == watches_.end() || --w->second.users > 0)
        return;
    if (!w->second.dead)
        (void)RemoveWatch(fd_, wd);
    const auto f = folders_.find(w->second.path);
    if (f != folders_.end() && f->second == wd)
        folders_.erase(f);
    watches_.erase(w);
}

ChangeWatch::Files::iterator ChangeWatch::Drop(Files::iterator it) {
    for (const int wd : it->second.folders)
        Release(wd);
    if (it->second.self >= 0)
        Release(it->second.self);
    ++serial_; // a token taken while these watches stood no longer proves anything
    return files_.erase(it);
}

bool ChangeWatch::Unchanged(const std::string& file) {
    // A file not trusted now is stat()ed by the caller anyway: no need to ask the queue.
    auto it = files_.find(file);
    if (it == files_.end() || !it->second.clean)
        return false;
    if (forks_ != gForks.load(std::memory_order_relaxed)) {
        Close();
        return false;
    }
    if (!Drain())
        return false;
    it = files_.find(file); // draining may have dropped it
    return it != files_.end() && it->second.clean;
}

std::uint64_t ChangeWatch::Prepare(const std::string& path) {
    const auto skip = unwatchable_.find(path);
    if (skip != unwatchable_.end()) {
        if (Now() < skip->second)
            return 0;
        unwatchable_.erase(skip);
    }
    if (!Start() || !Drain())
        return 0;
    auto unwatchable = [&] {
        const auto it = files_.find(path);
        if (it != files_.end())
            Drop(it);
        unwatchable_[path] = Now() + kRetryNs;
        return std::uint64_t{0};
    };
    auto it = files_.find(path);
    if (it == files_.end()) {
        const std::vector<std::string> folders = FoldersAbove(path);
        if (folders.empty())
            return unwatchable();
        File file;
        file.name = path.substr(path.rfind('/') + 1);
        file.since = serial_;
        for (std::size_t i = 0; i < folders.size(); ++i) {
            const bool own = i + 1 == folders.size();
            const int wd = Acquire(folders[i], own ? kFolderEvents : kAboveEvents, true);
            if (wd < 0) {
                for (const int held : file.folders)
                    Release(held);
                return unwatchable();
            }
            file.folders.push_back(wd);
        }
        it = files_.emplace(path, std::move(file)).first;
    }
    // The file's own watch follows its inode, which every replacement changes.
    File& file = it->second;
    const int self = AddWatch(fd_, path.c_str(), kFileEvents | IN_MASK_ADD | IN_DONT_FOLLOW);
    struct stat st;
    if (self < 0 || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return unwatchable();
    if (self != file.self) {
        Watch& w = watches_[self];
        if (w.users == 0 || w.dead)
            w = Watch{path, 0, kFileEvents, false};
        ++w.users;
        if (file.self >= 0)
            Release(file.self);
        file.self = self;
    }
    return serial_;
}

bool ChangeWatch::Rewritten(const std::string& path) const {
    const auto it = files_.find(path);
    return it != files_.end() && it->second.rewritten;
}

void ChangeWatch::Checked(const std::string& path, std::uint64_t token) {
    const auto it = files_.find(path);
    if (it == files_.end())
        return;
    File& file = it->second;
    file.clean = token != 0 && file.self >= 0 && file.since <= token && file.lastHit <= token;
    if (file.clean)
        file.rewritten = false;
}

void ChangeWatch::Forget(const std::string& path) {
    unwatchable_.erase(path);
    const auto it = files_.find(path);
    if (it != files_.end())
        Drop(it);
}

} // namespace tavrel::detail

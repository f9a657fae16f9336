#pragma once

// Tells whether a file checked earlier may have changed since, asking the kernel's change
// notifications instead of the file system: one inotify instance per process watches each
// cached file, its folder and every folder above it.
//
// Why that is exact: the kernel queues a file's change event inside the system call that
// changes it (write, rename, unlink, chmod, ...), before that call returns. A read that
// finds the queue empty therefore knows that no change completed before it began went
// unseen; one ioctl(FIONREAD) answers that, about a third of a stat() of the path.
// Where this cannot be known (no inotify, its limits reached, a path through a link, the
// file on a network file system whose other clients are not reported) a file is not
// watched and its callers stat it on every use. Not seen: a file system mounted over the
// file's folder or one above it, and a change of permissions of a folder above the file's
// own, after the check (a stat would then fail and read the file as missing).
//
// Not thread-safe: the document cache calls it under its own lock.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tavrel::detail {

class ChangeWatch {
public:
    ChangeWatch() = default;
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Whether the file is watched and nothing touched it since Checked() accepted it.
    bool Unchanged(const std::string& file);

    // Whether the file's bytes were written since Checked() accepted it: its stamp may not
    // show that (a rewrite in place within one clock tick, or a restored time).
    bool Rewritten(const std::string& file) const;

    // Puts the file's watches in place; call before the stat or read that is to validate
    // it. Returns the token to give Checked(), 0 when the file cannot be watched.
    std::uint64_t Prepare(const std::string& file);

    // The stat or read since Prepare() returned `token` validated the file: Unchanged()
    // trusts it from now on, unless an event arrived in between. Token 0: not trusted.
    void Checked(const std::string& file, std::uint64_t token);

    // Drops the file's watches (it left the cache).
    void Forget(const std::string& file);

    // Drops every watch; the next Prepare() starts again.
    void Reset();

private:
    struct File {
        std::string name;         // within its folder
        std::vector<int> folders; // watch descriptors from "/" down to the file's folder
        int self = -1;            // the file's own watch (changes through any of its names)
        bool clean = false;
        bool rewritten = false;
        std::uint64_t since = 0;   // serial when the watches were put in place
        std::uint64_t lastHit = 0; // serial of the last event that touched it
    };
    struct Watch {
        std::string path;
        int users = 0;
        std::uint32_t mask = 0;
        bool dead = false; // the kernel removed it (IN_IGNORED)
    };

    using Files = std::unordered_map<std::string, File>;

    bool Start();
    // Closes the instance and forgets every watch without removing it.
    void Close();
    // Gives up the instance after a failure; tried again after a while.
    void Abandon();
    // Reads the queued events into the files' states; false when that failed.
    bool Drain();
    void Hit(File& file, bool rewritten = false);
    void Event(int wd, std::uint32_t mask, const char* name);
    int Acquire(const std::string& path, std::uint32_t mask, bool folder);
    void Release(int wd);
    Files::iterator Drop(Files::iterator it);

    int fd_ = -1;
    unsigned forks_ = 0;       // forks counted when fd_ was made; a child must not read it
    bool failed_ = false;      // Start() failed: retried after a while
    std::int64_t retryAt_ = 0; // monotonic nanoseconds
    std::uint64_t serial_ = 1; // advances with every event that touches a file
    Files files_;
    std::unordered_map<int, Watch> watches_;
    std::unordered_map<std::string, int> folders_;              // folder path -> its watch
    std::unordered_map<std::string, std::int64_t> unwatchable_; // file -> retry time
};

} // namespace tavrel::detail

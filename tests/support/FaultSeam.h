#pragma once

// Private to the tests: failures injected at the storage layer's system calls. Only a
// program whose target sets the property TAVREL_FAULT_SEAM has these functions; it is then
// linked against the failing build of the system calls (FaultySystemCalls.cpp) instead of
// the shipped one.

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace tavrel::detail {

enum class AtomicWriteStep {
    CreateTemp, // open() creating the temporary file (default error EIO)
    Write,      // write() of its bytes, or of a file rewritten in place (ENOSPC)
    Sync,       // fsync() of the written file (EIO)
    Rename,     // rename() over the target (EIO)
    Unlink,     // removal of a file: a temporary one, a stale one, a journal or a folder file
    LockFolder, // open() of the folder to lock (EIO)
    SyncFolder, // fsync() of the folder after the rename; never reported to callers
    Watch,      // the change watch of cached files: starting inotify, adding a watch, asking
                // for or reading queued events (ENOSPC); reads then stat() instead
};
inline constexpr int kAtomicWriteSteps = 8;

struct AtomicWriteFault {
    AtomicWriteStep step = AtomicWriteStep::Write;
    // 1 fails the first call of the step made after arming, 2 the second, and so on; 0
    // fails every call.
    int call = 0;
    // The errno the failing call reports; 0 for the step's default.
    int error = 0;
};

// Arms the faults (an empty list disarms) and restarts the call counts. Each fault counts
// the calls of its own step, so a write and the cleanup after it can both be made to fail.
void SetAtomicWriteFaults(std::vector<AtomicWriteFault> faults);
// Arms (or, with nothing, disarms) one fault and restarts the call counts.
void SetAtomicWriteFault(std::optional<AtomicWriteFault> fault);
// Makes every call of the step fail (nothing: none); restarts the call counts.
void SetAtomicWriteFailure(std::optional<AtomicWriteStep> step);
// Calls of the step made since the counts were last restarted.
int AtomicWriteCalls(AtomicWriteStep step);
// The file an armed fault last hit (a temporary file for its own steps, the folder for
// LockFolder and SyncFolder); empty while it has hit nothing.
std::filesystem::path InjectedFaultTarget();
// Counts one call of the step on `file` and tells the errno it must fail with (0: go on).
// For code that performs such a step itself, e.g. a test's own removal of files.
int InjectedFailure(AtomicWriteStep step, const std::filesystem::path& file);

// Called after every completed replacement with the target and the bytes now in it.
using AtomicWriteObserver =
    std::function<void(const std::filesystem::path& target, std::string_view bytes)>;
void SetAtomicWriteObserver(AtomicWriteObserver observer);

// Called after every completed removal of a file with its path.
using RemovalObserver = std::function<void(const std::filesystem::path& file)>;
void SetRemovalObserver(RemovalObserver observer);

} // namespace tavrel::detail

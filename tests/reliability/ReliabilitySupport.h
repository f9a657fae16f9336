#pragma once

// Helpers of the reliability tests: snapshots of folder trees, temporary-file detection and
// child processes.

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavrel::test {

// Every regular file below a folder by its path relative to the folder, with its bytes.
using FolderState = std::map<std::string, std::string>;
FolderState Snapshot(const std::filesystem::path& root);

// Whether a file name is a temporary file of an atomic write (".<name>.tmp-<pid>-<n>").
bool LooksTemporary(const std::string& relativePath);
std::vector<std::string> TemporaryFiles(const FolderState& state);
FolderState WithoutTemporaries(FolderState state);

// A readable account of how two states differ (empty when they are equal).
std::string Difference(const FolderState& expected, const FolderState& actual);

// A child process started from an argument vector, its output sent to files. Killed and
// reaped by the destructor if still running.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::filesystem::path& out,
          const std::filesystem::path& err);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return pid_; }
    // The exit code, or 128 + the signal that ended it.
    int Wait();
    // Waits at most `limit`; false when it is still running then.
    bool WaitFor(std::chrono::milliseconds limit, int& status);
    void Kill();
    // Peak resident memory of the finished process, in KiB.
    long PeakKiB() const { return peakKiB_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    long peakKiB_ = 0;
};

// The worker program built with the tests.
std::string WorkerPath();

} // namespace tavrel::test

#include "ReliabilitySupport.h"

#include "TempDir.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tavrel::test {

namespace fs = std::filesystem;

FolderState Snapshot(const fs::path& root) {
    FolderState state;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        // Symbolic links (even looping ones), FIFOs and folders are not content.
        if (it->is_regular_file(ec) && !it->is_symlink(ec))
            state[it->path().lexically_relative(root).string()] = ReadFileBytes(it->path());
    }
    return state;
}

bool LooksTemporary(const std::string& relativePath) {
    // ".<name>.tmp-<digits>-<digits>"
    const std::string name = fs::path(relativePath).filename().string();
    const std::size_t tmp = name.rfind(".tmp-");
    if (name.empty() || name[0] != '.' || tmp == std::string::npos || tmp < 2)
        return false;
    const std::string rest = name.substr(tmp + 5);
    const std::size_t dash = rest.find('-');
    auto digits = [](const std::string& text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    return dash != std::string::npos && digits(rest.substr(0, dash)) &&
           digits(rest.substr(dash + 1));
}

std::vector<std::string> TemporaryFiles(const FolderState& state) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : state) {
        if (LooksTemporary(name))
            names.push_back(name);
    }
    return names;
}

FolderState WithoutTemporaries(FolderState state) {
    std::erase_if(state, [](const auto& entry) { return LooksTemporary(entry.first); });
    return state;
}

std::string Difference(const FolderState& expected, const FolderState& actual) {
    std::string out;
    for (const auto& [name, bytes] : expected) {
        const auto it = actual.find(name);
        if (it == actual.end())
            out += "missing: " + name + "\n";
        else if (it->second != bytes)
            out += "different: " + name + " (" + std::to_string(it->second.size()) +
                   " bytes, expected " + std::to_string(bytes.size()) + ")\n";
    }
    for (const auto& [name, bytes] : actual) {
        if (!expected.count(name))
            out += "unexpected: " + name + "\n";
    }
    return out;
}

Child::Child(const std::vector<std::string>& argv, const fs::path& out, const fs::path& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv[0]);
}

Child::~Child() {
    if (pid_ > 0 && status_ < 0)
        Kill();
}

static int Decode(int raw) {
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return 128 + WTERMSIG(raw);
    return -1;
}

int Child::Wait() {
    if (status_ >= 0)
        return status_;
    int raw = 0;
    rusage usage{};
    while (::wait4(pid_, &raw, 0, &usage) < 0 && errno == EINTR) {
    }
    status_ = Decode(raw);
    peakKiB_ = usage.ru_maxrss;
    return status_;
}

bool Child::WaitFor(std::chrono::milliseconds limit, int& status) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (status_ < 0) {
        int raw = 0;
        rusage usage{};
        const pid_t done = ::wait4(pid_, &raw, WNOHANG, &usage);
        if (done == pid_) {
            status_ = Decode(raw);
            peakKiB_ = usage.ru_maxrss;
            break;
        }
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    status = status_;
    return true;
}

void Child::Kill() {
    if (status_ >= 0)
        return;
    ::kill(pid_, SIGKILL);
    Wait();
}

std::string WorkerPath() {
    return RELIABILITY_WORKER_PATH;
}

} // namespace tavrel::test

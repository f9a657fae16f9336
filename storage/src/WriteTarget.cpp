#include "WriteTarget.h"

#include "SystemCalls.h"
#include "tavrel/storage/FolderFile.h"
#include "tavrel/storage/ProfileFile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tavrel::detail {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinkHops = 40;

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

// Owned by the writer and closed to everybody else: every link in it is the writer's own.
bool FolderIsPrivate(const fs::path& folder) {
    struct stat st;
    const std::string name = folder.empty() ? std::string(".") : folder.string();
    return ::stat(name.c_str(), &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

// Rewrites the file's own bytes, so every hard link to it sees the new content. Readers of
// a linked file take a shared lock, so none of them sees a half-written state.
FileStamp CopyIntoPlace(const fs::path& file, std::string_view bytes) {
    const int fd = OpenForRewrite(file.c_str());
    if (fd < 0)
        ThrowErrno(errno, "cannot open " + file.string());
    auto fail = [&](const std::string& what) {
        const int error = errno;
        ::close(fd);
        ThrowErrno(error, what);
    };
    while (::flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            fail("cannot lock " + file.string());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            WriteSomeAt(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write " + file.string());
        }
        done += static_cast<std::size_t>(put);
    }
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[1] = times[0];
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::futimens(fd, times) != 0 ||
        SyncFile(fd) != 0)
        fail("cannot write " + file.string());
    ::close(fd);
    return StatPath(file.string());
}

} // namespace

fs::path JournalOf(const fs::path& file) {
    return file.parent_path() / ("." + file.filename().string() + ".journal");
}

WriteTarget ResolveWriteTarget(const fs::path& path) {
    fs::path current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0)
            return {current, false};
        if (S_ISLNK(st.st_mode)) {
            if (st.st_uid != ::geteuid())
                throw std::runtime_error("the file is a link made by another user");
            std::error_code ec;
            const fs::path to = fs::read_symlink(current, ec);
            if (ec)
                ThrowErrno(ec.value(), "cannot read the link " + current.string());
            current = (to.is_absolute() ? to : current.parent_path() / to).lexically_normal();
            continue;
        }
        const bool shared = S_ISREG(st.st_mode) && st.st_nlink > 1;
        return {current, shared && FolderIsPrivate(current.parent_path())};
    }
    throw std::runtime_error("the file is a chain of too many links");
}

FileStamp WriteTargetFile(const WriteTarget& target, std::string_view bytes,
                          const std::optional<FileStamp>& previous, bool sync) {
    if (!target.inPlace)
        return ReplaceFileAtomically(target.file, bytes, previous, sync);
    const fs::path journal = JournalOf(target.file);
    ReplaceFileAtomically(journal, bytes, previous, sync);
    const FileStamp stamp = CopyIntoPlace(target.file, bytes);
    (void)RemoveFile(journal.c_str());
    return stamp;
}

void RecoverInPlaceWrite(const fs::path& file) {
    const fs::path journal = JournalOf(file);
    struct stat st;
    if (::lstat(journal.c_str(), &st) != 0)
        return;
    FileContent content = ReadWholeFile(journal.string());
    if (content.status != FileContent::Status::Ok)
        return;
    try {
        CopyIntoPlace(file, content.bytes);
        (void)RemoveFile(journal.c_str());
    } catch (const std::exception&) {
        // The journal stays; the next writer completes the rewrite.
    }
}

} // namespace tavrel::detail

namespace tavrel {

void WriteFolderFile(const std::filesystem::path& file, std::string_view bytes,
                     WriteDurability durability) {
    try {
        const detail::WriteTarget target = detail::ResolveWriteTarget(file);
        detail::FolderLock lock(target.file.parent_path());
        detail::RecoverInPlaceWrite(target.file);
        detail::RemoveStaleTemporaries(target.file);
        std::optional<detail::FileStamp> previous;
        if (const detail::FileStamp now = detail::StatPath(target.file.string()); now.regular)
            previous = now;
        detail::WriteTargetFile(target, bytes, previous, durability == WriteDurability::Synced);
    } catch (const std::exception& e) {
        throw EIniFileException("Unable to write to " + file.string() + " (" + e.what() + ")");
    }
}

bool RemoveFolderFile(const std::filesystem::path& file) {
    struct stat st;
    // A folder of that name is nobody's dictionary or flag: it is left alone.
    if (::lstat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    int error = 0;
    try {
        detail::FolderLock lock(file.parent_path());
        // The name is not a folder, so unlinking it removes a link itself, never its target.
        if (detail::RemoveFile(file.c_str()) != 0)
            error = errno;
    } catch (const std::exception& e) {
        throw EIniFileException("Unable to remove " + file.string() + " (" + e.what() + ")");
    }
    if (error == ENOENT)
        return false;
    if (error != 0)
        throw EIniFileException("Unable to remove " + file.string() + " (" + std::strerror(error) +
                                ")");
    return true;
}

} // namespace tavrel

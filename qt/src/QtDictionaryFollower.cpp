#include "QtDictionaryFollower.h"

#include <QString>
#include <sys/stat.h>
#include <utility>

namespace tavrel {

namespace {

// Writers replace a file in a few steps (temporary file, rename, folder sync); the check
// waits until they are done instead of reacting to each.
constexpr int kSettleMs = 50;

QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

} // namespace

QtDictionaryFollower::QtDictionaryFollower(std::function<void()> changed, QObject* parent)
    : QObject(parent), changed_(std::move(changed)) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &QtDictionaryFollower::Check);
    const auto touched = [this] {
        if (enabled_ && !file_.empty())
            settle_.start();
    };
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, touched);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, touched);
}

QtDictionaryFollower::Stamp QtDictionaryFollower::StampOf(const std::filesystem::path& file) {
    struct stat st {};
    if (file.empty() || ::stat(file.c_str(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, st.st_size,
            static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec};
}

void QtDictionaryFollower::Follow(const std::filesystem::path& file, const Stamp& shown) {
    shown_ = shown;
    if (file != file_) {
        file_ = file;
        Rewatch();
    }
}

void QtDictionaryFollower::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled)
        settle_.stop();
    Rewatch();
}

void QtDictionaryFollower::Rewatch() {
    const QStringList watched = watcher_.files() + watcher_.directories();
    if (!watched.isEmpty())
        watcher_.removePaths(watched);
    if (!enabled_ || file_.empty())
        return;
    watcher_.addPath(PathText(file_.parent_path().empty() ? "." : file_.parent_path()));
    watcher_.addPath(PathText(file_)); // fails while the file does not exist: the folder tells
}

void QtDictionaryFollower::Check() {
    if (!enabled_ || file_.empty())
        return;
    // A file replaced by a rename is a new file to the watcher: watch it again.
    if (!watcher_.files().contains(PathText(file_)))
        watcher_.addPath(PathText(file_));
    const Stamp now = StampOf(file_);
    // A file gone (a writer that deletes before it writes anew, a language deleted) leaves
    // the texts as they are until it is back or the language changes.
    if (now.size < 0)
        return;
    // Other files of the folder (the derived reverse dictionary written after each
    // re-application, other languages) change nothing here.
    if (now == shown_)
        return;
    shown_ = now;
    changed_();
}

} // namespace tavrel

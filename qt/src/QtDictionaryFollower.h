#pragma once

// Private to the Qt layer: tells when a dictionary file changed on disk (a translator saved
// it in the editor, a command-line tool rewrote it), so that a running application can show
// the change. The file's folder is watched as well as the file itself, since the writers of
// this system replace a file by renaming a new one over it.

#include <filesystem>
#include <functional>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <sys/types.h>

namespace tavrel {

class QtDictionaryFollower : public QObject {
    Q_OBJECT
public:
    // `changed` is called once a burst of changes of the followed file has settled.
    QtDictionaryFollower(std::function<void()> changed, QObject* parent = nullptr);

    // What identifies one content of a file without reading it.
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;        // -1: no such file
        long long modified = 0; // nanoseconds
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    static Stamp StampOf(const std::filesystem::path& file);

    // Follows `file`, whose content as `shown` is the one already shown (empty path: none).
    void Follow(const std::filesystem::path& file, const Stamp& shown);
    const std::filesystem::path& File() const { return file_; }
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }

private:
    void Rewatch();
    void Check();

    std::function<void()> changed_;
    QFileSystemWatcher watcher_;
    QTimer settle_;
    std::filesystem::path file_;
    Stamp shown_;
    bool enabled_ = true;
};

} // namespace tavrel

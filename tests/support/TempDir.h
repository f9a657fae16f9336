#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::test {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes);
// The text of a file as UTF-8, decoded from the file's own encoding.
std::string ReadFileText(const std::filesystem::path& file);
// Writes the UTF-8 text in Windows-1252 when the code page holds it, else in UTF-8 with a
// byte-order mark: how a dictionary of either kind looks on disk.
void WriteDictionaryText(const std::filesystem::path& file, std::string_view text);

// Runs an operation and returns the message of the exception it threw; "<no exception>"
// when it threw none.
std::string MessageOf(const std::function<void()>& operation);
// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at fresh folders for its lifetime and restores
// the previous values afterwards.
class ScopedUserFolders {
public:
    ScopedUserFolders();
    ~ScopedUserFolders();
    const std::filesystem::path& ConfigHome() const { return config_; }
    const std::filesystem::path& DataHome() const { return data_; }
    std::filesystem::path SettingsFile() const;

private:
    TempDir root_;
    std::filesystem::path config_, data_;
    std::string oldConfig_, oldData_;
    bool hadConfig_ = false, hadData_ = false;
};

} // namespace tavrel::test

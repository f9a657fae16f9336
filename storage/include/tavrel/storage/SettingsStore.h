#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel {

// Failure of the settings store; messages such as "Failed to set data for 'DicPath'".
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The per-user hierarchical settings store: one profile-format file whose sections are the
// sub-keys of the server's key and whose entries are named string values. Value names
// match without regard to ASCII case and may hold any byte (what the file syntax cannot
// hold is escaped). Every change is a locked read-modify-write that replaces the file
// atomically, so two processes never lose each other's writes.
class SettingsStore {
public:
    // `file` is the backing file, e.g. DefaultSettingsFile().
    explicit SettingsStore(std::filesystem::path file);

    // ${XDG_CONFIG_HOME:-~/.config}/Tavrel/Localize.ini
    static std::filesystem::path DefaultSettingsFile();

    // Opens the key, creating its folder when missing. False when it cannot be opened (not
    // even read); the other operations must not be used then. A read-only store opens: its
    // writes fail with the reason.
    bool OpenKey();
    void CloseKey();

    std::string ReadString(std::string_view section, std::string_view name,
                           std::string_view defaultValue) const;
    void WriteString(std::string_view section, std::string_view name, std::string_view value);
    // When the section exists: clears the list and adds the names of all its values.
    // When it is absent: leaves the list unchanged. Returns whether the section exists.
    bool ReadSection(std::string_view section, std::vector<std::string>& names) const;
    // Replaces the whole section (every section of that name) by the given values in one
    // atomic write: a reader sees the old section or the new one, never a part.
    void ReplaceSection(std::string_view section,
                        const std::vector<std::pair<std::string, std::string>>& values);
    // Deletes the section with all its values; a failure is ignored.
    void EraseSection(std::string_view section) noexcept;

    const std::filesystem::path& File() const { return file_; }

private:
    std::filesystem::path file_;
    bool open_ = false;
};

} // namespace tavrel

#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// Failure of a profile-file write; the message is "Unable to write to <file>".
class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ProfileDocument;

// An INI-style file in the Windows initialization-file layout. The object names one file
// and behaves as if every operation read that file afresh. Parsed copies are shared per
// path inside the process and revalidated against the file's identity (size, mtime with
// nanoseconds, inode), so the file is parsed once per change, not once per read.
// Writes are kept in this object until UpdateFile() (or destruction), which replays them
// on the current file content under a folder lock and replaces the file atomically.
class ProfileFile {
public:
    explicit ProfileFile(std::filesystem::path fileName);
    ~ProfileFile(); // flushes like UpdateFile(); a failure here is swallowed
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    const std::filesystem::path& FileName() const { return fileName_; }

    // At most 2047 bytes of a value are returned.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Refuses names holding '=', ']', CR, LF or NUL and values holding CR, LF or NUL
    // with EIniFileException; nothing changes then.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Clears the list, then adds every section name in file order.
    void ReadSections(std::vector<std::string>& list) const;
    // Clears the list, then adds every key of the first matching section in file order.
    void ReadSection(std::string_view section, std::vector<std::string>& list) const;
    bool SectionExists(std::string_view section) const;
    void DeleteKey(std::string_view section, std::string_view key);
    void EraseSection(std::string_view section);
    // Writes pending changes; throws EIniFileException "Unable to write to <file>".
    void UpdateFile();
    // Drops pending changes without writing them.
    void DiscardChanges();
    bool HasPendingChanges() const;

private:
    struct Pending;
    std::filesystem::path fileName_;
    std::unique_ptr<Pending> pending_;
    std::shared_ptr<const ProfileDocument> View() const;
    mutable std::shared_ptr<const ProfileDocument> view_;
};

} // namespace tavrel

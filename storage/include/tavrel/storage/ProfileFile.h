#pragma once

#include "tavrel/storage/FileEncoding.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
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
// nanoseconds, inode, device), so the file is parsed once per change, not once per read.
// Writes are kept in this object until UpdateFile() (or destruction), which replays them
// on the current file content under a folder lock and replaces the file atomically.
// Every line a write does not change is kept byte for byte. A relative file name is
// resolved against the working folder at construction. A file that is not text (it holds
// NUL bytes, is a folder or cannot be read) reads as empty and refuses writes.
//
// Text is UTF-8; each file keeps its own encoding (see FileEncoding.h). A write that the
// file's encoding cannot hold (a Windows-1252 file given a Cyrillic text) converts the
// whole file to UTF-8 with a byte-order mark, every other line keeping its characters;
// UpdateFile() says so. A file whose bytes are broken in its encoding refuses writes.
// A section or key name as profile files compare it: without the blanks (tab to carriage
// return, space, Ctrl-Z) around it.
std::string_view TrimProfileName(std::string_view name);

class ProfileFile {
public:
    explicit ProfileFile(std::filesystem::path fileName);
    ~ProfileFile(); // flushes like UpdateFile(); a failure here is swallowed
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    const std::filesystem::path& FileName() const { return fileName_; }

    // At most 2047 characters of a value are returned.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Refuses names holding '=', ']', CR, LF or NUL, values holding CR, LF or NUL and
    // any text that is not valid UTF-8 with EIniFileException; nothing changes then. Also refused:
    // an empty section or key, and a key that would read back as a comment or a section header.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Clears the list, then adds every section name in file order. Both lists hold what
    // fits a block of 16384 characters of NUL-terminated names (the last name may be cut
    // short, never inside a character); empty names are left out.
    void ReadSections(std::vector<std::string>& list) const;
    // Clears the list, then adds every key of the first matching section in file order.
    void ReadSection(std::string_view section, std::vector<std::string>& list) const;
    // Every key of the section (as ReadSection lists them, but without the 16384-byte
    // limit), each with the value ReadString gives for it, all from one reading of the file.
    void ReadSectionValues(std::string_view section,
                           std::vector<std::pair<std::string, std::string>>& entries) const;
    bool SectionExists(std::string_view section) const;
    void DeleteKey(std::string_view section, std::string_view key);
    void EraseSection(std::string_view section);
    // Writes pending changes; throws EIniFileException "Unable to write to <file>".
    enum class UpdateResult { NothingWritten, Written, ConvertedToUtf8 };
    UpdateResult UpdateFile();
    // Drops pending changes without writing them.
    void DiscardChanges();
    bool HasPendingChanges() const;

    // While held, reads see the file as it was when holding began (plus this object's own
    // writes) without checking the file again: one consistent state for a batch of
    // look-ups, at no system call per read. Released by Release() or destruction.
    void Hold();
    void Release() { held_.reset(); }
    // The state held: one and the same object for every holder of one content of the file,
    // alive as long as the pointer returned; nullptr when nothing is held or this object has
    // changes of its own. What is derived from a state can be kept under it.
    std::shared_ptr<const void> HeldState() const;
    // For a held state: calls `visit` with every key of the section and its value, as
    // ReadSectionValues() lists them, without copying them; the views stay valid as long as
    // the state (HeldState()) lives. False without a held state.
    // Whether a state is held and this object has no changes of its own.
    bool HoldsState() const { return held_ && !HasPendingChanges(); }
    // ReadString's value without a copy, for a held state (HoldsState()): a view valid as
    // long as the state lives; nothing when the entry is absent or no state is held.
    std::optional<std::string_view> ReadHeldString(std::string_view section,
                                                   std::string_view key) const;
    using EntryVisitor = std::function<void(std::string_view key, std::string_view value)>;
    bool VisitHeldSection(std::string_view section, const EntryVisitor& visit) const;

    // Notes of an entry: the comment lines starting with ";@" right above it, each given
    // without its ";@" (the profile syntax reads them as comments, so no reader of values
    // sees them). They stay with their entry: deleting the entry deletes them.
    std::vector<std::string> ReadNotes(std::string_view section, std::string_view key) const;
    // Replaces the notes of an entry that exists (with this object's writes); an empty list
    // removes them. Refuses a note holding CR, LF or NUL or that is not UTF-8, and an absent
    // entry, with EIniFileException; nothing changes then.
    void WriteNotes(std::string_view section, std::string_view key,
                    const std::vector<std::string>& notes);
    // Every entry of the first matching section, in file order, with its value (uncut) and
    // notes, all from one reading of the file; the views last for the call. False when the
    // section is absent.
    using NotedEntryVisitor = std::function<void(std::string_view key, std::string_view value,
                                                 const std::vector<std::string_view>& notes)>;
    bool VisitSectionWithNotes(std::string_view section, const NotedEntryVisitor& visit) const;

    // The encoding of the file as it is now (with this object's writes); for a file that
    // does not exist yet, the one it will be created in (Windows-1252 unless set).
    FileEncoding Encoding() const;
    void SetNewFileEncoding(FileEncoding encoding);

    // The whole value (without the 2047-character cut); nothing when the section or key is absent.
    std::optional<std::string> FindValue(std::string_view section, std::string_view key) const;
    // Like ReadSection but without the list-buffer limit; false when the section is absent.
    bool ReadAllKeys(std::string_view section, std::vector<std::string>& list) const;
    // Like ReadSections but without the list-buffer limit.
    void ReadAllSections(std::vector<std::string>& list) const;

private:
    struct Pending;
    std::filesystem::path fileName_;
    std::string cacheKey_; // the absolute path
    std::unique_ptr<Pending> pending_;
    std::shared_ptr<const ProfileDocument> held_;
    FileEncoding newFileEncoding_ = FileEncoding::Windows1252;
    std::shared_ptr<const ProfileDocument> View() const;
    Pending& PendingOps();
    [[noreturn]] void Fail(std::string_view reason) const;
};

} // namespace tavrel

#pragma once

// The parsed form of one profile file, shared read-only between ProfileFile objects through
// the per-process cache, and copied when an object needs a private, edited view.
//
// The file's text (UTF-8, decoded from the file's own encoding when that is another) is
// kept in one buffer; lines are views into it (or into a small owned string once edited),
// so unchanged lines are written back byte for byte. Sections and keys
// are found through open-addressing hash indexes keyed by an ASCII case-insensitive hash;
// the first key of a name in a section and the first section of a name win.

#include "tavrel/storage/FileEncoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavrel {

namespace detail {

// Blanks of the profile syntax: 0x09-0x0D, 0x1A and 0x20.
bool IsProfileBlank(unsigned char c);
std::string_view TrimProfileBlanks(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
std::uint64_t HashIgnoreAsciiCase(std::string_view text);

// Linear-probing table of (hash, a, b) triples; a == kFree marks an empty slot. Callers
// supply the equality test, so names are never copied into the table.
class FlatIndex {
public:
    static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t a = kFree;
        std::uint32_t b = 0;
    };

    void Reserve(std::size_t count);
    void Prefetch(std::uint32_t hash) const {
        if (!slots_.empty())
            __builtin_prefetch(&slots_[hash & mask_]);
    }
    const Slot& At(std::size_t pos) const { return slots_[pos]; }
    std::size_t MemoryBytes() const { return slots_.size() * sizeof(Slot); }

    template <class Eq> std::size_t Find(std::uint32_t hash, Eq&& eq) const {
        if (slots_.empty())
            return kNone;
        for (std::size_t pos = hash & mask_;; pos = (pos + 1) & mask_) {
            const Slot& s = slots_[pos];
            if (s.a == kFree)
                return kNone;
            if (s.hash == hash && eq(s))
                return pos;
        }
    }
    // Inserts unless an equal entry is present (the earlier one wins); true when inserted.
    template <class Eq>
    bool InsertIfAbsent(std::uint32_t hash, std::uint32_t a, std::uint32_t b, Eq&& eq) {
        if ((count_ + 1) * 2 > slots_.size())
            Grow();
        std::size_t pos = hash & mask_;
        for (;; pos = (pos + 1) & mask_) {
            const Slot& s = slots_[pos];
            if (s.a == kFree)
                break;
            if (s.hash == hash && eq(s))
                return false;
        }
        slots_[pos] = Slot{hash, a, b};
        ++count_;
        return true;
    }
    void EraseAt(std::size_t pos);

private:
    void Grow();
    void Rehash(std::size_t capacity);
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    std::size_t mask_ = 0;
};

} // namespace detail

class ProfileDocument {
public:
    // Where the content came from. Anything but Text and Missing reads as empty and refuses
    // writes, so a file that is not a profile file is never overwritten.
    enum class State : std::uint8_t { Missing, Text, NotText, Unreadable };
    enum class LineEnd : std::uint8_t { None, CrLf, Lf, Cr };

    ProfileDocument() = default;
    explicit ProfileDocument(State state) : state_(state) {}
    // Parses the bytes of a file; bytes holding NUL give a NotText document.
    static std::shared_ptr<ProfileDocument> Parse(std::shared_ptr<const std::string> bytes);

    State GetState() const { return state_; }
    FileEncoding Encoding() const { return encoding_; }
    void SetEncoding(FileEncoding encoding) { encoding_ = encoding; }
    // False when the bytes were broken in their encoding; such a file refuses writes.
    bool Exact() const { return exact_; }
    LineEnd NewLineEnd() const { return newLineEnd_; }
    // The exact bytes of the file this document stands for; null once edited.
    const std::shared_ptr<const std::string>& Source() const { return source_; }
    void SetSource(std::shared_ptr<const std::string> bytes) { source_ = std::move(bytes); }
    std::size_t MemoryBytes() const;

    // Reads; the arguments are trimmed by the caller.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    // Whether the section has a line for the key, one without a value included.
    bool HasKey(std::string_view section, std::string_view key) const;
    // Every named section in file order (duplicates included).
    template <class F> void ForEachSectionName(F&& f) const {
        for (std::size_t i = 1; i < sections_.size(); ++i)
            if (!sections_[i].erased)
                f(sections_[i].name);
    }
    // Every key of the first matching section in file order; false when it is absent.
    template <class F> bool ForEachKey(std::string_view section, F&& f) const {
        const std::size_t s = FindSection(section);
        if (s == detail::FlatIndex::kNone)
            return false;
        ForEachLine(s, [&](const Line& line) {
            if (line.kind == LineKind::Entry)
                f(line.Name());
        });
        return true;
    }

    // Entry notes: the run of comment lines starting with ";@" right above an entry (no
    // blank or other line between), each given without its ";@". They belong to the entry:
    // deleting the entry deletes them.
    std::vector<std::string_view> Notes(std::string_view section, std::string_view key) const;
    // Every entry of the first matching section in file order, with its value and notes;
    // false when the section is absent.
    template <class F> bool ForEachEntryWithNotes(std::string_view section, F&& f) const {
        const std::size_t s = FindSection(section);
        if (s == detail::FlatIndex::kNone)
            return false;
        std::vector<std::string_view> run;
        ForEachLineRef(s, [&](const Line& line, std::uint32_t ref) {
            if (IsNoteLine(line)) {
                run.push_back(NoteText(line));
                return;
            }
            if (line.kind == LineKind::Entry) {
                AppendAddedNotes(s, ref, run);
                f(line.Name(), line.Value(),
                  static_cast<const std::vector<std::string_view>&>(run));
            }
            run.clear();
        });
        return true;
    }

    // Edits; the arguments are trimmed and valid. True when the document changed.
    bool Set(std::string_view section, std::string_view key, std::string_view value);
    bool Delete(std::string_view section, std::string_view key);
    bool Erase(std::string_view section);
    // Replaces the notes of an existing entry (each without ";@", free of line breaks);
    // false when the entry is absent or its notes are these already.
    bool SetNotes(std::string_view section, std::string_view key,
                  const std::vector<std::string>& notes);

    // The text of the document (UTF-8, without a byte-order mark).
    std::string Serialize() const;
    // The bytes of the file in its encoding; nothing when a text has no form in it.
    std::optional<std::string> Encode() const;

private:
    enum class LineKind : std::uint8_t { Blank, Comment, Header, Entry, BareKey };
    struct Line {
        std::string_view text; // without its line end
        std::uint32_t nameBegin = 0, nameSize = 0;
        std::uint32_t valueBegin = 0, valueSize = 0;
        LineEnd end = LineEnd::None;
        LineKind kind = LineKind::Blank;
        bool removed = false;
        std::string_view Name() const { return text.substr(nameBegin, nameSize); }
        std::string_view Value() const { return text.substr(valueBegin, valueSize); }
        bool IsKey() const { return kind == LineKind::Entry || kind == LineKind::BareKey; }
    };
    // Section 0 holds the lines before the first header; no read reaches it.
    struct Section {
        std::string_view name;
        std::uint32_t header = kNoLine;   // index into lines_
        std::uint32_t begin = 0, end = 0; // body lines in lines_
        std::uint32_t insertAt = 0;       // new keys go here: after the last non-blank line
        std::vector<Line> added;          // lines inserted at insertAt, in order
        bool erased = false;
    };
    static constexpr std::uint32_t kNoLine = 0xFFFFFFFFu;
    static constexpr std::uint32_t kAddedBit = 0x80000000u;

    static Line Classify(std::string_view text, LineEnd end);
    std::string_view Own(std::string text);
    const Line& LineAt(std::uint32_t section, std::uint32_t ref) const;
    Line& LineAt(std::uint32_t section, std::uint32_t ref);
    std::size_t FindSection(std::string_view name) const;
    std::size_t FindKeySlot(std::size_t section, std::string_view key) const;
    static std::uint32_t KeyHash(std::size_t section, std::string_view key);
    static std::uint32_t SectionHash(std::string_view name);
    void IndexKey(std::uint32_t section, std::uint32_t ref);
    void IndexSection(std::uint32_t section);
    void BuildIndexes();
    template <class F> void ForEachLine(std::size_t s, F&& f) const {
        ForEachLineRef(s, [&](const Line& line, std::uint32_t) { f(line); });
    }
    template <class F> void ForEachLineRef(std::size_t s, F&& f) const {
        const Section& sec = sections_[s];
        for (std::uint32_t i = sec.begin; i < sec.insertAt; ++i)
            if (!lines_[i].removed)
                f(lines_[i], i);
        for (std::uint32_t i = 0; i < sec.added.size(); ++i)
            if (!sec.added[i].removed)
                f(sec.added[i], i | kAddedBit);
        for (std::uint32_t i = sec.insertAt; i < sec.end; ++i)
            if (!lines_[i].removed)
                f(lines_[i], i);
    }
    // The line before `ref` in the section's order, removed lines included; kNoLine at
    // the section's start.
    std::uint32_t PreviousRef(std::size_t s, std::uint32_t ref) const;
    static bool IsNoteLine(const Line& line);
    static std::string_view NoteText(const Line& line);
    static std::uint64_t NotesKey(std::size_t s, std::uint32_t ref) {
        return (static_cast<std::uint64_t>(s) << 32) | ref;
    }
    // Notes set by SetNotes, written right above their entry; appended to `notes`.
    void AppendAddedNotes(std::size_t s, std::uint32_t ref,
                          std::vector<std::string_view>& notes) const;
    // The section and line ref of the first entry of that key; nothing when absent.
    std::optional<std::pair<std::size_t, std::uint32_t>> EntryRef(std::string_view section,
                                                                  std::string_view key) const;
    // The refs of the note lines above the entry at `ref`, nearest last.
    std::vector<std::uint32_t> NoteRunAbove(std::size_t s, std::uint32_t ref) const;
    void DropNotes(std::size_t s, std::uint32_t ref);

    void ParseText(std::string_view text);

    State state_ = State::Missing;
    FileEncoding encoding_ = FileEncoding::Windows1252;
    bool exact_ = true;
    LineEnd newLineEnd_ = LineEnd::CrLf;
    std::shared_ptr<const std::string> source_;
    std::shared_ptr<const std::string> base_; // owns the text the line views point into
    std::vector<std::shared_ptr<const std::string>> owned_; // text of edited lines
    std::vector<Line> lines_;
    std::vector<Section> sections_ = std::vector<Section>(1);
    detail::FlatIndex sectionIndex_; // name -> first section of that name
    detail::FlatIndex keyIndex_;     // (section, key) -> first line of that key
    // Note lines set by SetNotes, by NotesKey of their entry: the text of the lines, each
    // with its line end. Few documents have any, so the map stays empty on reads.
    std::unordered_map<std::uint64_t, std::string_view> addedNotes_;
};

} // namespace tavrel

namespace tavrel::detail {
// Empties the process-wide cache of parsed profile files (benchmarks measure cold reads).
void ClearProfileCache();
} // namespace tavrel::detail

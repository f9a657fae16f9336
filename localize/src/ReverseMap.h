#pragma once

// Private to the localize library.

#include "tavrel/storage/FileEncoding.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tavrel {

class ProfileFile;

// Maps the texts a language shows back to their untranslated keys: for every section and
// key of that language's dictionary (but its OvkLanguage entry), the translation leads
// back to the key. It answers as the reverse dictionary file would: sections and texts
// match without regard to ASCII letter case or surrounding blanks, and of two keys with
// the same translation the later one wins. A translation that could not be written as a
// key of a profile file (empty, holding '=' or a line break, or reading as a comment or a
// section header) leads nowhere.
class TReverseMap {
public:
    // The map of `dictionary` as it reads now (hold it for one state of the file).
    static std::shared_ptr<const TReverseMap> Of(const ProfileFile& dictionary);

    // The untranslated key of `text`; nullptr when the map has none.
    std::optional<std::string_view> Find(std::string_view section, std::string_view text) const;
    std::size_t Size() const { return size_; }

    // The map as the bytes of a profile file, in the encoding of the dictionary it was made
    // from (UTF-8 with a mark when that cannot hold a section's name); made on first use.
    const std::string& FileBytes() const;

private:
    struct CaselessHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const;
    };
    struct CaselessEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    // Views into the entries, which a deque never moves.
    using Index = std::unordered_map<std::string_view, std::size_t, CaselessHash, CaselessEqual>;
    // Views into the held dictionary state (state_) or into storage_.
    struct Entry {
        std::string_view text;
        std::string_view key;
    };
    struct Section {
        std::string name;
        std::deque<Entry> entries;
        Index index;
        bool writable = true; // a name a profile file can hold
    };

    void Add(std::string_view section, std::string_view text, std::string_view key);
    std::string EncodedFile() const;

    std::shared_ptr<const void> state_;
    std::deque<std::string> storage_; // texts of a dictionary that was not held
    std::deque<Section> sections_;
    Index sectionIndex_;
    std::size_t size_ = 0;
    FileEncoding encoding_ = FileEncoding::Windows1252;
    mutable std::optional<std::string> fileBytes_; // a map is used by one thread at a time
};

} // namespace tavrel

#include "RegistrationNotes.h"

#include "tavrel/storage/EntryNotes.h"
#include "tavrel/storage/ProfileFile.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace tavrel {

namespace {

std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return folded;
}

// The notes of one section, changed in memory and written back once per entry.
class SectionNotes {
public:
    SectionNotes(ProfileFile& dictionary, const std::string& section)
        : dictionary_(dictionary), section_(section) {
        dictionary.VisitSectionWithNotes(section, [&](std::string_view key, std::string_view,
                                                      const std::vector<std::string_view>& notes) {
            if (notes.empty())
                return;
            Entry& entry = entries_[Folded(key)];
            entry.key = key;
            entry.notes = ParseEntryNotes(notes);
            entry.before = entry.notes;
            for (const std::string& location : entry.notes.locations)
                shownAt_.try_emplace(location, Folded(key));
        });
    }

    void Register(const TRegisteredText& text) {
        Entry& entry = EntryOf(text.Text);
        entry.notes.obsolete = false;
        for (const std::string& menu : text.Menus)
            if (std::find(entry.notes.menus.begin(), entry.notes.menus.end(), menu) ==
                entry.notes.menus.end())
                entry.notes.menus.push_back(menu);
        if (text.Location.empty())
            return;
        const std::string folded = Folded(text.Text);
        auto [at, added] = shownAt_.try_emplace(text.Location, folded);
        if (!added && at->second != folded) {
            Entry& previous = entries_[at->second];
            std::erase(previous.notes.locations, text.Location);
            if (previous.notes.locations.empty())
                previous.notes.obsolete = true;
            at->second = folded;
        }
        if (std::find(entry.notes.locations.begin(), entry.notes.locations.end(), text.Location) ==
            entry.notes.locations.end())
            entry.notes.locations.push_back(text.Location);
    }

    void Write() {
        for (const auto& [folded, entry] : entries_)
            if (entry.notes != entry.before)
                dictionary_.WriteNotes(section_, entry.key, FormatEntryNotes(entry.notes));
    }

private:
    struct Entry {
        std::string key;
        TEntryNotes notes, before;
    };

    Entry& EntryOf(const std::string& key) {
        Entry& entry = entries_[Folded(key)];
        if (entry.key.empty())
            entry.key = key;
        return entry;
    }

    ProfileFile& dictionary_;
    const std::string& section_;
    std::map<std::string, Entry> entries_;                 // by folded key
    std::unordered_map<std::string, std::string> shownAt_; // location -> folded key
};

} // namespace

void NoteRegisteredTexts(ProfileFile& dictionary, const std::vector<TRegisteredText>& texts) {
    std::map<std::string, std::vector<const TRegisteredText*>> bySection;
    for (const TRegisteredText& text : texts)
        if (!text.Location.empty() || !text.Menus.empty())
            bySection[Folded(text.Section)].push_back(&text);
    for (const auto& [folded, list] : bySection) {
        SectionNotes notes(dictionary, list.front()->Section);
        for (const TRegisteredText* text : list)
            notes.Register(*text);
        notes.Write();
    }
}

} // namespace tavrel

#include "tavrel/catalog/DictionaryCatalog.h"

#include "tavrel/catalog/QualityCheck.h"
#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/EntryNotes.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <unordered_map>

namespace tavrel {

namespace {

// Section and key names match without regard to ASCII case, as the profile files do.
char Folded(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
// Eight bytes at a time: ASCII capitals get their 0x20 bit, everything else stays.
std::uint64_t FoldedWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    const std::uint64_t ascii = ~word & kHigh;
    const std::uint64_t aboveAt = (word & ~kHigh) + (0x80 - 'A') * kOnes;    // >= 'A'
    const std::uint64_t aboveZ = (word & ~kHigh) + (0x80 - 'Z' - 1) * kOnes; // > 'Z'
    const std::uint64_t capitals = aboveAt & ~aboveZ & ascii;
    return word | (capitals >> 2);
}
struct FoldedHash {
    std::size_t operator()(std::string_view name) const {
        std::uint64_t hash = name.size() * 0x9E3779B97F4A7C15ull;
        std::size_t i = 0;
        for (; i + 8 <= name.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, name.data() + i, 8);
            hash = (hash ^ FoldedWord(word)) * 0xFF51AFD7ED558CCDull;
            hash ^= hash >> 32;
        }
        for (; i < name.size(); ++i)
            hash = (hash ^ static_cast<unsigned char>(Folded(name[i]))) * 0x100000001B3ull;
        return static_cast<std::size_t>(hash ^ (hash >> 29));
    }
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return Folded(x) == Folded(y); });
    }
};
template <class T>
using FoldedMap = std::unordered_map<std::string_view, T, FoldedHash, FoldedEqual>;

// One entry as the file holds it: views into the held state of the file.
struct RawEntry {
    std::string_view key, value;
    const TEntryNotes* notes; // nullptr: none
};

struct RawSection {
    std::string name;
    std::vector<RawEntry> entries;
    FoldedMap<const RawEntry*> byKey; // the first entry of each key
    bool hasVariants = false;         // a key that may name a plural variant ("…[one]")
};

// The entries of one dictionary, section by section in file order, read from one held
// state of the file without copying a text.
struct RawDictionary {
    std::unique_ptr<ProfileFile> file; // holds the state the views point into
    std::deque<TEntryNotes> notes;
    std::vector<RawSection> sections;
    FoldedMap<const RawSection*> bySection;

    const RawEntry* Find(std::string_view section, std::string_view key) const {
        const auto s = bySection.find(section);
        if (s == bySection.end())
            return nullptr;
        const auto k = s->second->byKey.find(key);
        return k == s->second->byKey.end() ? nullptr : k->second;
    }
};

RawDictionary ReadRaw(const std::filesystem::path& path) {
    RawDictionary raw;
    if (path.empty())
        return raw;
    raw.file = std::make_unique<ProfileFile>(path);
    raw.file->Hold();
    std::vector<std::string> names;
    raw.file->ReadAllSections(names);
    FoldedMap<bool> seen; // a section repeated in the file is read as its first one
    for (const std::string& name : names) {
        if (TrimProfileName(name) == kDefinitionsSection || !seen.emplace(name, true).second)
            continue;
        RawSection& section = raw.sections.emplace_back();
        section.name = name;
        raw.file->VisitSectionWithNotes(name, [&](std::string_view key, std::string_view value,
                                                  const std::vector<std::string_view>& notes) {
            if (key == kLanguageKey)
                return;
            section.entries.push_back(
                {key, value,
                 notes.empty() ? nullptr : &raw.notes.emplace_back(ParseEntryNotes(notes))});
        });
        section.byKey.reserve(section.entries.size());
        for (const RawEntry& entry : section.entries) {
            section.byKey.try_emplace(entry.key, &entry);
            section.hasVariants = section.hasVariants || entry.key.ends_with(']');
        }
    }
    for (const RawSection& section : raw.sections)
        raw.bySection.try_emplace(section.name, &section);
    return raw;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    return !a.empty() && !b.empty() && (a == b || std::filesystem::equivalent(a, b, error));
}

// Whether a key names a plural variant of a plain key the section also holds.
bool IsFoldedVariant(const RawDictionary& raw, std::string_view section, std::string_view key) {
    if (key.empty() || key.back() != ']')
        return false;
    const auto [plain, category] = SplitPluralVariantKey(key);
    return category != "other" && raw.Find(section, plain) != nullptr;
}

class CatalogBuilder {
public:
    CatalogBuilder(const TDictionarySource& source, bool isTemplate)
        : isTemplate_(isTemplate), categories_(PluralCategories(source.locale)) {
        own_ = ReadRaw(source.file);
        if (!isTemplate && !SameFile(source.file, source.defaultFile))
            default_ = ReadRaw(source.defaultFile);
    }

    void Build(TCatalog& catalog) {
        std::size_t count = 0;
        for (const RawDictionary* raw : {&own_, &default_})
            for (const RawSection& section : raw->sections)
                count += section.entries.size();
        catalog.entries.reserve(count);
        for (const RawSection& section : own_.sections)
            for (const RawEntry& entry : section.entries)
                Add(catalog, section.name, entry, true);
        // What the Default dictionary has and the language lacks: untranslated.
        for (const RawSection& section : default_.sections)
            for (const RawEntry& entry : section.entries)
                if (own_.Find(section.name, entry.key) == nullptr)
                    Add(catalog, section.name, entry, false);
    }

private:
    const RawDictionary& Facts() const { return isTemplate_ ? own_ : default_; }

    void Add(TCatalog& catalog, const std::string& section, const RawEntry& raw, bool own) {
        const RawDictionary& where = own ? own_ : default_;
        if (IsFoldedVariant(where, section, raw.key))
            return; // folded into its plain key
        TCatalogEntry& entry = catalog.entries.emplace_back();
        entry.context = section;
        entry.source = raw.key;
        entry.id = CatalogEntryId(section, raw.key);
        static const TEntryNotes kNoNotes;
        const TEntryNotes& notes = own && raw.notes ? *raw.notes : kNoNotes;
        const std::optional<std::string_view> value =
            own ? std::optional<std::string_view>(raw.value) : std::nullopt;
        entry.state = isTemplate_ ? TEntryState::Untranslated : EntryState(raw.key, value, notes);
        if (entry.state != TEntryState::Untranslated && value && *value != kNotFound)
            entry.translation = *value;
        if (!isTemplate_)
            entry.translatorNote = notes.translatorNote;
        const RawEntry* facts = Facts().Find(section, raw.key);
        AddFacts(entry, notes, facts && facts->notes ? facts->notes : nullptr);
        AddPlurals(entry, where);
    }

    // What registration and the developer noted, mostly in the Default dictionary.
    static void AddFacts(TCatalogEntry& entry, const TEntryNotes& own, const TEntryNotes* facts) {
        entry.developerNote = own.developerNote;
        entry.locations = own.locations;
        entry.menus = own.menus;
        entry.obsolete = own.obsolete;
        if (facts == nullptr || facts == &own)
            return;
        if (entry.developerNote.empty())
            entry.developerNote = facts->developerNote;
        for (const std::string& location : facts->locations)
            if (std::find(entry.locations.begin(), entry.locations.end(), location) ==
                entry.locations.end())
                entry.locations.push_back(location);
        for (const std::string& menu : facts->menus)
            if (std::find(entry.menus.begin(), entry.menus.end(), menu) == entry.menus.end())
                entry.menus.push_back(menu);
        entry.obsolete = entry.obsolete || facts->obsolete;
    }

    // A message with variants of its own (or, untranslated, in the Default dictionary).
    void AddPlurals(TCatalogEntry& entry, const RawDictionary& where) const {
        const auto section = where.bySection.find(entry.context);
        if (categories_.size() < 2 || section == where.bySection.end() ||
            !section->second->hasVariants)
            return;
        bool any = false;
        std::vector<std::pair<std::string, std::string>> plurals;
        for (const std::string& category : categories_) {
            std::string text;
            if (category == "other") {
                text = entry.translation;
            } else if (const RawEntry* variant =
                           where.Find(entry.context, PluralVariantKey(entry.source, category))) {
                any = true;
                if (entry.state != TEntryState::Untranslated && variant->value != kNotFound)
                    text = variant->value;
            }
            plurals.emplace_back(category, std::move(text));
        }
        if (any)
            entry.plurals = std::move(plurals);
    }

    bool isTemplate_;
    std::vector<std::string> categories_;
    RawDictionary own_, default_;
};

} // namespace

TDictionarySource DictionarySourceOf(TOvkLocalizeServer& server, const std::string& language) {
    const std::string file = server.LanguageFileName(language);
    if (file.empty())
        throw std::runtime_error("The language \"" + language + "\" has no dictionary file");
    return {language, file, server.LanguageFileName(kDefaultLanguage),
            server.LanguageLocale(language), server.LanguageLocale(kDefaultLanguage)};
}

TCatalog ReadDictionaryCatalog(const TDictionarySource& source) {
    TCatalog catalog;
    catalog.language = source.language;
    catalog.locale = source.locale;
    catalog.sourceLocale = source.sourceLocale;
    catalog.isTemplate = source.language == kDefaultLanguage;
    CatalogBuilder(source, catalog.isTemplate).Build(catalog);
    return catalog;
}

namespace {

// One entry of the dictionary being changed, as it is now.
std::string TextProblem(std::string_view text) {
    if (!IsValidUtf8(text))
        return "the text is not valid UTF-8";
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return "a dictionary text is one line; this one holds a line break";
    return {};
}

class Importer {
public:
    Importer(const TDictionarySource& target, TImportReport& report)
        : report_(report), current_(ReadDictionaryCatalog(target)), dictionary_(target.file) {
        dictionary_.Hold(); // one state for the whole import, plus its own writes
        for (const TCatalogEntry& entry : current_.entries)
            byName_[entry.context].try_emplace(entry.source, &entry);
    }

    void Take(const TCatalogEntry& incoming) {
        if (incoming.obsolete || incoming.source.empty())
            return;
        const TCatalogEntry* current = Find(incoming);
        if (current == nullptr)
            return;
        const bool translated =
            incoming.state != TEntryState::Untranslated && !incoming.translation.empty();
        const std::optional<std::string> value =
            dictionary_.FindValue(current->context, current->source);
        const bool textChanged =
            translated && incoming.translation != value.value_or(std::string());
        // Only what would be written is checked: a text already stored stays as it is.
        if (textChanged || (translated && incoming.plurals != current->plurals)) {
            const std::string problem = Problem(incoming);
            if (!problem.empty())
                return Refuse(incoming, problem);
        }

        std::vector<std::string> what;
        if (textChanged) {
            dictionary_.WriteString(current->context, current->source, incoming.translation);
            what.emplace_back("translation");
        }
        if (translated)
            TakePlurals(incoming, *current, what);
        TakeNotes(incoming, *current, translated, what);
        if (!what.empty()) {
            std::string joined;
            for (const std::string& w : what)
                joined.append(joined.empty() ? "" : ", ").append(w);
            report_.changed.push_back({current->context, current->source, joined});
        }
    }

    void Discard() { dictionary_.DiscardChanges(); }

    void Finish() {
        if (dictionary_.HasPendingChanges())
            report_.convertedToUtf8 =
                dictionary_.UpdateFile() == ProfileFile::UpdateResult::ConvertedToUtf8;
    }

private:
    const TCatalogEntry* Find(const TCatalogEntry& incoming) {
        if (const auto section = byName_.find(incoming.context); section != byName_.end())
            if (const auto found = section->second.find(incoming.source);
                found != section->second.end())
                return found->second;
        if (byId_.empty()) // needed only for entries the dictionary does not know
            for (const TCatalogEntry& entry : current_.entries)
                byId_.try_emplace(entry.id, &entry);
        if (const auto byId = byId_.find(incoming.id); !incoming.id.empty() && byId != byId_.end())
            Refuse(incoming, "the source text differs from the dictionary's key \"" +
                                 byId->second->source + "\"");
        else
            Refuse(incoming, "unknown key: the dictionary has no such entry in section \"" +
                                 incoming.context + "\"");
        return nullptr;
    }

    std::string Problem(const TCatalogEntry& incoming) const {
        if (incoming.state == TEntryState::Untranslated || incoming.translation.empty())
            return {};
        for (const auto& [category, text] : incoming.plurals) {
            if (text.empty())
                continue;
            if (std::string problem = TextProblem(text); !problem.empty())
                return problem;
            if (std::string problem =
                    PlaceholderProblem(incoming.source, text, MaySpellCountOut(category));
                !problem.empty())
                return "broken placeholder (" + category + " form): " + problem;
        }
        if (std::string problem = TextProblem(incoming.translation); !problem.empty())
            return problem;
        if (std::string problem = PlaceholderProblem(incoming.source, incoming.translation);
            !problem.empty())
            return "broken placeholder: " + problem;
        return {};
    }

    void TakePlurals(const TCatalogEntry& incoming, const TCatalogEntry& current,
                     std::vector<std::string>& what) {
        bool changed = false;
        for (const auto& form : incoming.plurals) {
            if (form.first == "other" || form.second.empty())
                continue;
            const auto now = std::find_if(current.plurals.begin(), current.plurals.end(),
                                          [&](const auto& p) { return p.first == form.first; });
            if (now != current.plurals.end() && now->second == form.second)
                continue;
            dictionary_.WriteString(current.context, PluralVariantKey(current.source, form.first),
                                    form.second);
            changed = true;
        }
        if (changed)
            what.emplace_back("plural forms");
    }

    // The state and the translator's note live in the language's own notes.
    void TakeNotes(const TCatalogEntry& incoming, const TCatalogEntry& current, bool translated,
                   std::vector<std::string>& what) {
        const std::vector<std::string> lines =
            dictionary_.ReadNotes(current.context, current.source);
        TEntryNotes notes = ParseEntryNotes(lines);
        const TEntryNotes before = notes;
        if (translated) {
            const std::optional<std::string> value =
                dictionary_.FindValue(current.context, current.source);
            notes.state = StateMarkFor(
                incoming.state, current.source,
                value ? std::optional<std::string_view>(*value) : std::nullopt, notes.state);
        }
        notes.translatorNote = incoming.translatorNote;
        if (notes == before)
            return;
        if (!dictionary_.FindValue(current.context, current.source)) {
            // Notes need an entry: one the Default dictionary has and this one lacks.
            if (before.translatorNote == notes.translatorNote)
                return;
            dictionary_.WriteString(current.context, current.source, current.source);
        }
        dictionary_.WriteNotes(current.context, current.source, FormatEntryNotes(notes));
        if (notes.state != before.state)
            what.emplace_back("state");
        if (notes.translatorNote != before.translatorNote)
            what.emplace_back("translator note");
    }

    void Refuse(const TCatalogEntry& incoming, std::string reason) {
        report_.refused.push_back({incoming.context, incoming.source, std::move(reason)});
    }

    TImportReport& report_;
    TCatalog current_;
    ProfileFile dictionary_;
    FoldedMap<FoldedMap<const TCatalogEntry*>> byName_; // by section, then key
    std::unordered_map<std::string, const TCatalogEntry*> byId_;
};

} // namespace

TImportReport ImportCatalog(const TCatalog& incoming, const TDictionarySource& target) {
    TImportReport report;
    Importer importer(target, report);
    try {
        for (const TCatalogEntry& entry : incoming.entries)
            importer.Take(entry);
        importer.Finish();
    } catch (...) {
        importer.Discard(); // nothing is written
        throw;
    }
    return report;
}

bool MarkEntry(const std::filesystem::path& dictionary, std::string_view section,
               std::string_view key, TEntryState state,
               const std::optional<std::string>& translatorNote) {
    ProfileFile file(dictionary);
    const std::optional<std::string> value = file.FindValue(section, key);
    if (!value)
        throw std::invalid_argument("The dictionary has no entry \"" + std::string(key) +
                                    "\" in section \"" + std::string(section) + "\"");
    TEntryNotes notes = ParseEntryNotes(file.ReadNotes(section, key));
    const TEntryNotes before = notes;
    notes.state = StateMarkFor(state, key, *value, notes.state);
    if (translatorNote)
        notes.translatorNote = *translatorNote;
    if (notes == before)
        return false;
    file.WriteNotes(section, key, FormatEntryNotes(notes));
    file.UpdateFile();
    return true;
}

} // namespace tavrel

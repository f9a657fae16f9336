#include "tavrel/catalog/DictionaryCatalog.h"

#include "tavrel/catalog/QualityCheck.h"
#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/EntryNotes.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_map>

namespace tavrel {

namespace {

// Section and key names match without regard to ASCII case, as the profile files do.
std::string FoldedName(std::string_view context, std::string_view source) {
    std::string key;
    key.reserve(context.size() + source.size() + 1);
    for (const char c : context)
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    key += '\0';
    for (const char c : source)
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return key;
}

struct RawEntry {
    std::string key, value;
    TEntryNotes notes;
};

// The entries of one dictionary, section by section in file order.
struct RawDictionary {
    std::vector<std::pair<std::string, std::vector<RawEntry>>> sections;
    std::unordered_map<std::string, const RawEntry*> byName;

    const RawEntry* Find(std::string_view context, std::string_view key) const {
        const auto found = byName.find(FoldedName(context, key));
        return found == byName.end() ? nullptr : found->second;
    }
};

RawDictionary ReadRaw(const std::filesystem::path& file) {
    RawDictionary raw;
    if (file.empty())
        return raw;
    ProfileFile dictionary(file);
    dictionary.Hold(); // one reading for every section
    std::vector<std::string> sections;
    dictionary.ReadAllSections(sections);
    for (const std::string& section : sections) {
        if (TrimProfileName(section) == kDefinitionsSection)
            continue;
        std::vector<RawEntry> entries;
        dictionary.VisitSectionWithNotes(section, [&](std::string_view key, std::string_view value,
                                                      const std::vector<std::string_view>& notes) {
            if (key == kLanguageKey)
                return;
            entries.push_back({std::string(key), std::string(value), ParseEntryNotes(notes)});
        });
        raw.sections.emplace_back(section, std::move(entries));
    }
    for (const auto& [section, entries] : raw.sections)
        for (const RawEntry& entry : entries)
            raw.byName.try_emplace(FoldedName(section, entry.key), &entry);
    return raw;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    return !a.empty() && !b.empty() && (a == b || std::filesystem::equivalent(a, b, error));
}

// Whether a key names a plural variant of a plain key the section also holds.
std::optional<std::string> VariantCategory(const RawDictionary& raw, std::string_view section,
                                           std::string_view key) {
    auto [plain, category] = SplitPluralVariantKey(key);
    if (category == "other" || raw.Find(section, plain) == nullptr)
        return std::nullopt;
    return category;
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
        for (const auto& [section, entries] : own_.sections)
            for (const RawEntry& entry : entries)
                Add(catalog, section, entry.key, &entry);
        // What the Default dictionary has and the language lacks: untranslated.
        for (const auto& [section, entries] : default_.sections)
            for (const RawEntry& entry : entries)
                if (own_.Find(section, entry.key) == nullptr)
                    Add(catalog, section, entry.key, nullptr);
    }

private:
    const RawDictionary& Facts() const { return isTemplate_ ? own_ : default_; }

    void Add(TCatalog& catalog, const std::string& section, const std::string& key,
             const RawEntry* own) {
        const RawDictionary& where = own ? own_ : default_;
        if (VariantCategory(where, section, key))
            return; // folded into its plain key
        TCatalogEntry entry;
        entry.context = section;
        entry.source = key;
        entry.id = CatalogEntryId(section, key);
        const TEntryNotes noNotes;
        const TEntryNotes& notes = own ? own->notes : noNotes;
        const std::optional<std::string_view> value =
            own ? std::optional<std::string_view>(own->value) : std::nullopt;
        entry.state = isTemplate_ ? TEntryState::Untranslated : EntryState(key, value, notes);
        if (entry.state != TEntryState::Untranslated && value && *value != kNotFound)
            entry.translation = *value;
        entry.translatorNote = isTemplate_ ? std::string() : notes.translatorNote;
        AddFacts(entry, notes, Facts().Find(section, key));
        AddPlurals(entry, where);
        catalog.entries.push_back(std::move(entry));
    }

    // What registration and the developer noted, mostly in the Default dictionary.
    static void AddFacts(TCatalogEntry& entry, const TEntryNotes& own, const RawEntry* facts) {
        entry.developerNote = own.developerNote;
        entry.locations = own.locations;
        entry.menus = own.menus;
        entry.obsolete = own.obsolete;
        if (facts == nullptr || &facts->notes == &own)
            return;
        if (entry.developerNote.empty())
            entry.developerNote = facts->notes.developerNote;
        for (const std::string& location : facts->notes.locations)
            if (std::find(entry.locations.begin(), entry.locations.end(), location) ==
                entry.locations.end())
                entry.locations.push_back(location);
        for (const std::string& menu : facts->notes.menus)
            if (std::find(entry.menus.begin(), entry.menus.end(), menu) == entry.menus.end())
                entry.menus.push_back(menu);
        entry.obsolete = entry.obsolete || facts->notes.obsolete;
    }

    // A message with variants of its own (or, untranslated, in the Default dictionary).
    void AddPlurals(TCatalogEntry& entry, const RawDictionary& where) const {
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
        if (any && categories_.size() > 1)
            entry.plurals = std::move(plurals);
    }

    bool isTemplate_;
    std::vector<std::string> categories_;
    RawDictionary own_, default_;
};

} // namespace

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
struct Current {
    const TCatalogEntry* entry = nullptr;
    std::string key; // the dictionary's spelling
};

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
        dictionary_.Hold(); // the state the catalog was read from, plus the import's writes
        for (const TCatalogEntry& entry : current_.entries) {
            byName_.try_emplace(FoldedName(entry.context, entry.source), &entry);
            byId_.try_emplace(entry.id, &entry);
        }
    }

    void Take(const TCatalogEntry& incoming) {
        if (incoming.obsolete || incoming.source.empty())
            return;
        const TCatalogEntry* current = Find(incoming);
        if (current == nullptr)
            return;
        const std::string problem = Problem(incoming);
        if (!problem.empty())
            return Refuse(incoming, problem);

        std::vector<std::string> what;
        const bool translated =
            incoming.state != TEntryState::Untranslated && !incoming.translation.empty();
        const std::optional<std::string> value =
            dictionary_.FindValue(current->context, current->source);
        if (translated && incoming.translation != value.value_or(std::string())) {
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
        if (const auto found = byName_.find(FoldedName(incoming.context, incoming.source));
            found != byName_.end())
            return found->second;
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
        for (const auto& [category, text] : incoming.plurals) {
            if (category == "other" || text.empty())
                continue;
            const auto now = std::find_if(current.plurals.begin(), current.plurals.end(),
                                          [&](const auto& p) { return p.first == category; });
            if (now != current.plurals.end() && now->second == text)
                continue;
            dictionary_.WriteString(current.context, PluralVariantKey(current.source, category),
                                    text);
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
    std::unordered_map<std::string, const TCatalogEntry*> byName_;
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

} // namespace tavrel

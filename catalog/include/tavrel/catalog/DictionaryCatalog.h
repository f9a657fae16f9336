#pragma once

// A language's dictionary as a catalog, and a catalog a translator changed taken back into
// the dictionary.

#include "tavrel/catalog/TCatalog.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavrel {

class TOvkLocalizeServer;

// Where one language's entries live.
struct TDictionarySource {
    std::string language;       // its name ("Deutsch")
    std::filesystem::path file; // its dictionary
    // The Default dictionary: the application's texts with the developer's notes and what
    // registration learnt of them. May be the same file, or empty when there is none.
    std::filesystem::path defaultFile;
    std::string locale;       // its BCP 47 tag; empty when unknown
    std::string sourceLocale; // the tag of the Default dictionary's language; may be empty
};

// A catalogued language's dictionary as `server` knows it, with the Default dictionary and
// both locales. Throws std::runtime_error when the language has no dictionary file.
TDictionarySource DictionarySourceOf(TOvkLocalizeServer& server, const std::string& language);

// Every entry of the dictionary but those of the Definitions section, in file order, then
// the Default dictionary's entries the language lacks (untranslated). Plural variants are
// folded into their message. The Default dictionary itself reads as a template.
TCatalog ReadDictionaryCatalog(const TDictionarySource& source);

struct TImportChange {
    std::string context, source;
    std::string what; // "translation", "state", "translator note", joined by ", "
};
struct TImportRefusal {
    std::string context, source;
    std::string reason;
};
struct TImportReport {
    std::vector<TImportChange> changed;
    std::vector<TImportRefusal> refused;
    bool convertedToUtf8 = false; // a Windows-1252 dictionary had to become UTF-8
};

// Takes the translations, states and translator's notes of `incoming` into the dictionary:
// entries that did not change leave every byte as it was; the changed ones are written in
// one replacement of the file (EIniFileException, nothing changed, when that fails).
// Refused, each with its reason: unknown keys, a source text that differs from the key,
// broken placeholders, texts a dictionary cannot hold. Obsolete entries are passed over.
TImportReport ImportCatalog(const TCatalog& incoming, const TDictionarySource& target);

// Gives an entry of a dictionary a state, keeping its value (done for a translation that
// really equals its key, such as "OK"), and with `translatorNote` the translator's note (an
// empty one removes it). Returns whether the file changed. Throws std::invalid_argument when
// the dictionary has no such entry, EIniFileException when the write fails.
bool MarkEntry(const std::filesystem::path& dictionary, std::string_view section,
               std::string_view key, TEntryState state,
               const std::optional<std::string>& translatorNote = std::nullopt);

} // namespace tavrel

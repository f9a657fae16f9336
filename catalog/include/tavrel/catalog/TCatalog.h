#pragma once

// The entries of one dictionary as the translators' file formats see them: a context (the
// section), a source text (the key), its translation, the translation's state, notes, and
// the plural forms of a message that has them. Files of every format are read into and
// written from this model; nothing here touches a dictionary.

#include "tavrel/storage/EntryNotes.h" // TEntryState

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel {

struct TCatalogEntry {
    std::string context;     // the dictionary section
    std::string source;      // the key: the untranslated text (the plain key of a plural)
    std::string translation; // the value; the "other" form of a plural
    // A plural message: every CLDR category the language has ("zero", "one", "two", "few",
    // "many", "other", in that order), each with its text; "other" is also `translation`.
    // Empty for a message without plural forms.
    std::vector<std::pair<std::string, std::string>> plurals;
    TEntryState state = TEntryState::Untranslated;
    std::string translatorNote;         // may hold line breaks
    std::string developerNote;          // may hold line breaks
    std::vector<std::string> locations; // where the application shows it ("Main.open.Caption")
    // The menus the text is an item of (recorded at registration); no file format carries
    // them, they serve the checks.
    std::vector<std::string> menus;
    bool obsolete = false; // the application no longer shows this text where it did
    // A stable identity of (context, source) that formats with unit ids carry; empty when
    // the file gave none.
    std::string id;
};

struct TCatalog {
    std::string language;     // the language's name ("Deutsch"); empty when unknown
    std::string locale;       // its BCP 47 tag ("de"); empty when unknown
    std::string sourceLocale; // the tag of the source texts' language; empty when unknown
    bool isTemplate = false;  // source texts only (a POT file): no translations
    std::vector<TCatalogEntry> entries;
};

// The stable identity of an entry: the same (context, source) always gives the same id, a
// short token fit for any format's id attribute ("t" and 16 hex digits).
std::string CatalogEntryId(std::string_view context, std::string_view source);

} // namespace tavrel

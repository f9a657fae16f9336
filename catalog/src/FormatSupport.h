#pragma once

// Private to the catalog library: what the readers and writers of the translators' file
// formats share. Not installed.

#include "tavrel/catalog/CatalogFormats.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel::formats {

using TPlurals = std::vector<std::pair<std::string, std::string>>;

// Plural forms ---------------------------------------------------------------------------

// The texts of a plural entry, one per category of `categories` in that order; a category
// the entry lacks is empty, except "other", which falls back to the translation.
std::vector<std::string> PluralForms(const TCatalogEntry& entry,
                                     const std::vector<std::string>& categories);
// The forms of a file back as categories, in order; "other" is always the last form. So a
// file that counts fewer forms than CLDR (gettext's and Qt's Polish: one, few, many) still
// gives "other" the text used for most counts; missing forms are empty.
TPlurals PluralsFromForms(const std::vector<std::string>& categories,
                          const std::vector<std::string>& forms);
// gettext's Plural-Forms value for the locale from its CLDR rules:
// "nplurals=3; plural=(n == 1) ? 0 : ... : 2;".
std::string PluralFormsHeader(std::string_view locale);
// The C expression for CLDR rules ("one: i = 1 and v = 0; few: ...") that gives the index
// of a count's category in `categories`. Throws ECatalogFormatError on rules it cannot read.
std::string PluralExpression(std::string_view rules, const std::vector<std::string>& categories);

// Texts --------------------------------------------------------------------------------

bool IsValidUtf8(std::string_view text);
// The entry's state as a file without an explicit state tells it: untranslated when every
// text is empty.
bool HasTranslation(const TCatalogEntry& entry);
// A locale tag in gettext's and Qt's spelling ("pt_BR") and back ("pt-BR").
std::string UnderscoreTag(std::string_view tag);
std::string HyphenTag(std::string_view tag);
// The runs of consecutive entries with one context, as [begin, end) indexes: a format that
// groups by context keeps the order of the entries.
std::vector<std::pair<std::size_t, std::size_t>>
ContextRuns(const std::vector<TCatalogEntry>& entries);
// Lines of several notes of one kind joined by line breaks.
void AppendNote(std::string& note, std::string_view text);

// The formats ----------------------------------------------------------------------------

std::string WritePo(const TCatalog& catalog, bool asTemplate);
TCatalog ReadPo(std::string_view bytes, bool asTemplate);
std::string WriteXliff12(const TCatalog& catalog);
TCatalog ReadXliff12(std::string_view bytes);
std::string WriteXliff2(const TCatalog& catalog);
TCatalog ReadXliff2(std::string_view bytes);
std::string WriteTs(const TCatalog& catalog);
TCatalog ReadTs(std::string_view bytes);

} // namespace tavrel::formats

#pragma once

// What a language's locale (a BCP 47 tag such as "pl", "ar" or "zh-Hans") decides: the
// guess of the tag from a language's name, plural categories by the CLDR rules, and the
// writing direction.
//
// Plural variants of a message live beside it in its section: the plain key holds the
// "other" form (the one every language has, and what is shown when a variant is missing);
// each further category the language needs has the key followed by "[category]":
//
//   %n files=%n plików           (other)
//   %n files[one]=%n plik
//   %n files[few]=%n pliki
//   %n files[many]=%n plików

#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// The tag of the language a name names, in its own language or in English ("Deutsch",
// "Polski", "Русский", "German"), compared without regard to case; empty when no
// language or more than one has that name.
std::string GuessLocaleTag(std::string_view languageName);
// The tag in its canonical BCP 47 form ("zh_hans" -> "zh-Hans"); empty when it names no
// language ICU knows.
std::string CanonicalLocaleTag(std::string_view tag);

// The CLDR plural categories of the locale ("zero", "one", "two", "few", "many",
// "other") in that order; just "other" for an empty or unknown tag.
std::vector<std::string> PluralCategories(std::string_view tag);
// The category of a count.
std::string PluralCategory(std::string_view tag, long long count);
// A few counts of the category, e.g. "2, 3, 4, 22, 23, 24" for Polish "few".
std::string PluralSamples(std::string_view tag, std::string_view category);
// The key of a variant: the plain key for "other", else key + "[category]".
std::string PluralVariantKey(std::string_view key, std::string_view category);
// The plain key and category of a variant key; the key itself and "other" for a key
// that names no variant.
std::pair<std::string, std::string> SplitPluralVariantKey(std::string_view key);

// Whether the locale's script is written right to left (Arabic, Hebrew, Persian, Urdu...).
bool IsRightToLeft(std::string_view tag);

} // namespace tavrel

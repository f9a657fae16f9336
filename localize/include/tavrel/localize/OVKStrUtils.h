#pragma once

#include "tavrel/storage/DictionaryFiles.h" // LanguageFileBase, Soundex

#include <string>
#include <string_view>

namespace tavrel {

// The text with every '&' (menu accelerator mark) removed.
std::string StripAmpersands(std::string_view text);
// ASCII letters lowered, then the first character raised when it is a to z:
// "ENGLISH" -> "English", "new york" -> "New york". Other bytes never change.
std::string CapitalizeFirst(std::string_view text);
// Equal when only the case of ASCII letters differs: how the settings store and the profile
// files match names.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace tavrel

#pragma once

// Which texts may name a language. A name is shown in menus and lists, stored as a
// settings-store value name and in each dictionary, and printed one per line by lngtool,
// so it must be one visible line that reads back the same everywhere.

#include <string>
#include <string_view>

namespace tavrel {

// The longest name: the look-up and registration texts hold 255 characters.
inline constexpr std::size_t kMaxLanguageNameLength = 255;

// Why the name cannot be a language's name ("" when it can): it is not valid UTF-8, is
// empty or only blanks, starts or ends with a blank, holds a control or invisible
// formatting character (a tab, a line break, a soft hyphen), is longer than 255
// characters, or is the reverse dictionary's reserved name "oponent". Names of existing
// dictionaries are held to this when the folder is scanned.
std::string LanguageNameProblem(std::string_view name);

// LanguageNameProblem() and, for a language being created, '&': menus take it for the
// mark of a shortcut, so such a language could never be selected.
std::string NewLanguageNameProblem(std::string_view name);

// Throws std::invalid_argument "Invalid language name "<name>": <problem>" when
// NewLanguageNameProblem() finds one.
void CheckNewLanguageName(std::string_view name);

} // namespace tavrel

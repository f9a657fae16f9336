#pragma once

// The commands of lngtool, by theme. Each file declares its commands on the command line:
// one small function per command, its words, then what it does with them.

#include "CommandLine.h"

#include <string>
#include <vector>

namespace lngtool {

// folder, refresh, languages, current, use, new, delete, image
void AddLanguageCommands(CommandLine& cli);
// sections, keys, get, set, lines, set-lines, add-key, delete-key, delete-section
void AddEntryCommands(CommandLine& cli);
// locale, plurals, add-plurals
void AddLocaleCommands(CommandLine& cli);
// export, import, check, stats, pseudo, mark
void AddCatalogCommands(CommandLine& cli);

// The canonical form of a locale tag; refuses a tag that names no language.
std::string LocaleArgument(const Word& tag);
void PrintLines(const std::vector<std::string>& lines);
// Writes go to a dictionary file: the current language must have one.
void RequireDictionary(TOvkLocalizeServer& server);

} // namespace lngtool

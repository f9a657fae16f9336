#pragma once

// Conventions shared by every dictionary (.Lng) file.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// Marks absence: passed as the default of reads, stands for an empty key or value.
inline constexpr std::string_view kNotFound = "OVK";
inline constexpr std::string_view kDefinitionsSection = "Definitions";
inline constexpr std::string_view kLanguageKey = "OvkLanguage";
inline constexpr std::string_view kDefaultLanguage = "Default";
inline constexpr std::string_view kDefaultDictionaryFile = "OvkDefault.Lng";
inline constexpr std::string_view kReverseDictionaryFile = "OvkOponent.Lng";
inline constexpr std::string_view kDictionaryExtension = ".Lng";
inline constexpr std::string_view kImageExtension = ".bmp";

// "OVK" becomes the empty text; anything else is returned unchanged.
std::string FromSentinel(std::string value);

// Comma-text: ',' delimits, '"' quotes (doubled inside quotes).
std::string CommaTextFromLines(const std::vector<std::string>& lines);
std::vector<std::string> LinesFromCommaText(std::string_view text);

// Soundex code of the given length (the empty text gives the empty text).
std::string Soundex(std::string_view text, std::size_t length = 5);
// "Ovk" + Soundex + last five transformed characters, computed byte by byte.
std::string LanguageFileBase(std::string_view name);
// The base name made safe as one file-name component: characters no file name may hold
// ('/', '\\', ':', control characters, NUL) are replaced, '.' and '..' cannot result,
// and the bytes are converted from the code page to the native encoding.
std::string SafeFileBase(std::string_view base);

// ${XDG_DATA_HOME:-~/.local/share}/Tavrel/Localize
std::filesystem::path DefaultDictionaryFolder();

} // namespace tavrel

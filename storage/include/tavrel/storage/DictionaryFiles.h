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
// Optional: the language's BCP 47 tag ("pl", "ar", "zh-Hans").
inline constexpr std::string_view kLocaleKey = "OvkLocale";
inline constexpr std::string_view kDefaultLanguage = "Default";
inline constexpr std::string_view kDefaultDictionaryFile = "OvkDefault.Lng";
inline constexpr std::string_view kReverseDictionaryFile = "OvkOponent.Lng";
inline constexpr std::string_view kDictionaryExtension = ".Lng";
inline constexpr std::string_view kImageExtension = ".bmp";

// "OVK" becomes the empty text; anything else is returned unchanged.
std::string FromSentinel(std::string value);

// Comma-text: ',' delimits, '"' quotes (doubled inside quotes). Writing then reading gives
// every list of lines back, lines holding NUL included. Reading keeps a quoted item whose
// closing quotation mark is missing up to the end of the text.
std::string CommaTextFromLines(const std::vector<std::string>& lines);
std::vector<std::string> LinesFromCommaText(std::string_view text);

// Soundex code of the given length (the empty text gives the empty text).
std::string Soundex(std::string_view text, std::size_t length = 5);
// "Ovk" + Soundex + last five transformed characters, computed byte by byte on the first
// 255 characters of the name: on their Windows-1252 bytes when the code page holds them
// all, else on their UTF-8 bytes. The result is a sequence of code-page bytes.
std::string LanguageFileBase(std::string_view name);
// The base name made safe as one file-name component: characters no file name may hold
// on some file system (NUL, controls, DEL, '/', '\\', ':', '*', '?', '"', '<', '>', '|')
// become '_', '.' and '..' cannot result, and the bytes are converted from the code page
// to the native encoding (UTF-8), so every result is a valid UTF-8 name.
std::string SafeFileBase(std::string_view base);

// ${XDG_DATA_HOME:-~/.local/share}/Tavrel/Localize; an empty or relative XDG_DATA_HOME
// counts as unset. Throws std::runtime_error when no home folder can be found.
std::filesystem::path DefaultDictionaryFolder();

} // namespace tavrel

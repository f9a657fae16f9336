#pragma once

// Text inside the core is 8-bit, in Windows-1252. The five bytes that code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control code points of the same
// value, so every byte round-trips. These functions are the one place where core text
// meets Unicode (UTF-8 on the command line, UTF-16 in Qt).

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrel {

// Raised when a Unicode text holds a character the code page cannot hold.
class CodePageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

char32_t CodePointFromCp1252(unsigned char byte);
std::optional<unsigned char> Cp1252FromCodePoint(char32_t codePoint);
// The message of the CodePageError for a character without a byte, e.g.
// "The character 'Ж' (U+0416) cannot be stored in the dictionary code page".
std::string UnmappableCharacterMessage(char32_t codePoint);

std::string Utf8FromCp1252(std::string_view text);
// Throws CodePageError naming the first character that has no byte in the code page,
// or when the input is not valid UTF-8.
std::string Cp1252FromUtf8(std::string_view text);

// A file base name derived from a language name, as a native (UTF-8) path component.
std::string NativeFileNameFromCp1252(std::string_view text);

} // namespace tavrel

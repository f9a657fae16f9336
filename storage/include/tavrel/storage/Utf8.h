#pragma once

// Text inside the core is UTF-8. These helpers count and cut it by characters (code
// points), so that no cut ever ends inside a character.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrel {

// Raised for a text that is not valid UTF-8; the message names the first bad byte, e.g.
// "The text is not valid UTF-8 (byte 0x28 at offset 4)".
class Utf8Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The length of the run of ASCII bytes the text starts with (read eight at a time: most
// dictionary text is ASCII).
std::size_t AsciiPrefixLength(std::string_view text);
inline bool IsAscii(std::string_view text) {
    return AsciiPrefixLength(text) == text.size();
}

// Strict UTF-8: no overlong forms, surrogates or values above U+10FFFF.
bool IsValidUtf8(std::string_view text);
// Throws Utf8Error when the text is not valid UTF-8.
void CheckUtf8(std::string_view text);

// The number of characters; each byte that does not start a valid sequence counts as one.
std::size_t Utf8Length(std::string_view text);
// The first `characters` characters of the text (all of it when it is shorter).
std::string_view Utf8Prefix(std::string_view text, std::size_t characters);

// Decodes the sequence at text[pos] and moves pos past it. A byte that does not start a
// valid sequence gives U+FFFD and moves on by one.
char32_t DecodeUtf8At(std::string_view text, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t codePoint);

// A lone surrogate becomes U+FFFD; invalid UTF-8 bytes become U+FFFD each.
std::string Utf8FromUtf16(std::u16string_view text);
std::u16string Utf16FromUtf8(std::string_view text);

} // namespace tavrel

#pragma once

// The one place where the bytes of a profile file meet the UTF-8 text of the core. Each
// file keeps its own encoding:
//  - a UTF-8 byte-order mark: UTF-8;
//  - a UTF-16 byte-order mark (either byte order): UTF-16;
//  - no mark, valid UTF-8 holding at least one non-ASCII character: UTF-8 without a mark
//    (what current text editors save; Windows-1252 text with accented letters is almost
//    never valid UTF-8);
//  - anything else: Windows-1252.
// Decoding and encoding again gives every byte back for Windows-1252 (the five bytes the
// code page leaves undefined map to the C1 control code points of the same value) and for
// valid UTF-8 and UTF-16.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

enum class FileEncoding : unsigned char { Windows1252, Utf8, Utf8Bom, Utf16Le, Utf16Be };

// "Windows-1252", "UTF-8", "UTF-8 with BOM", "UTF-16LE", "UTF-16BE".
std::string_view FileEncodingName(FileEncoding encoding);
// Whether every character has a form in the encoding (all but Windows-1252).
bool HoldsEveryCharacter(FileEncoding encoding);

struct DecodedFile {
    FileEncoding encoding = FileEncoding::Windows1252;
    // The UTF-8 text; empty when `same` is set.
    std::string converted;
    // The text is bytes[offset..] itself (ASCII, UTF-8 with or without its mark).
    bool same = false;
    std::size_t offset = 0;
    // False when the bytes are not valid in their encoding (a broken UTF-8 or UTF-16 file):
    // the text then holds U+FFFD where they were, and writing it would change them.
    bool exact = true;
};
DecodedFile DecodeFileBytes(std::string_view bytes);
// The encoding DecodeFileBytes() takes the bytes to be in, without decoding them.
FileEncoding DetectFileEncoding(std::string_view bytes);

// The bytes of the UTF-8 text in the encoding, mark included; nothing when a character
// has no form in it (only Windows-1252 lacks some).
std::optional<std::string> EncodeFileText(std::string_view text, FileEncoding encoding);
// The same, giving the text itself back when it needs no change (no copy of a large file).
std::optional<std::string> EncodeFileText(std::string&& text, FileEncoding encoding);

// Windows-1252, for names computed byte by byte the way they always were.
std::string Utf8FromCp1252(std::string_view bytes);
std::optional<std::string> Cp1252FromUtf8(std::string_view text);

} // namespace tavrel

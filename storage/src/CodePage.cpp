#include "tavrel/storage/CodePage.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace tavrel {

namespace {

// Code points of the bytes 0x80-0x9F. The five bytes the code page leaves undefined keep
// their own value (a C1 control code point), so that no byte is lost on the way through
// Unicode and back.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80-0x87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88-0x8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90-0x97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98-0x9F
};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

[[noreturn]] void ThrowInvalidUtf8(std::size_t offset, unsigned char byte) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "The text is not valid UTF-8 (byte 0x%02X at offset %zu)",
                  static_cast<unsigned>(byte), offset);
    throw CodePageError(buffer);
}

// Decodes the sequence starting at text[pos]; advances pos past it. Rejects truncated
// sequences, overlong forms, surrogates and values above U+10FFFF.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length;
    char32_t cp;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1Fu;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0Fu;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07u;
        minimum = 0x10000;
    } else {
        ThrowInvalidUtf8(start, lead);
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (start + i >= text.size())
            ThrowInvalidUtf8(start, lead);
        const auto next = static_cast<unsigned char>(text[start + i]);
        if ((next & 0xC0) != 0x80)
            ThrowInvalidUtf8(start + i, next);
        cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        ThrowInvalidUtf8(start, lead);
    pos = start + length;
    return cp;
}

} // namespace

char32_t CodePointFromCp1252(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80u];
    return byte;
}

std::optional<unsigned char> Cp1252FromCodePoint(char32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<unsigned char>(codePoint);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == codePoint)
            return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

std::string UnmappableCharacterMessage(char32_t codePoint) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(codePoint));
    // Control characters and lone surrogates have no glyph worth quoting.
    const bool printable =
        codePoint >= 0xA0 && codePoint <= 0x10FFFF && !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
    std::string message = "The character ";
    if (printable) {
        message += '\'';
        AppendUtf8(message, codePoint);
        message += "' ";
    }
    message += "(";
    message += number;
    message += ") cannot be stored in the dictionary code page";
    return message;
}

std::string Utf8FromCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char c : text)
        AppendUtf8(out, CodePointFromCp1252(static_cast<unsigned char>(c)));
    return out;
}

std::string Cp1252FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = DecodeUtf8(text, pos);
        const auto byte = Cp1252FromCodePoint(cp);
        if (!byte)
            throw CodePageError(UnmappableCharacterMessage(cp));
        out += static_cast<char>(*byte);
    }
    return out;
}

std::string NativeFileNameFromCp1252(std::string_view text) {
    return Utf8FromCp1252(text);
}

} // namespace tavrel

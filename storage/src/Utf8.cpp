#include "tavrel/storage/Utf8.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tavrel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the valid sequence at text[pos], or 0 when none starts there.
std::size_t SequenceLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80)
        return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    if (second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80)
            return 0;
    return length;
}

// Offset of the first invalid byte, or npos.
std::size_t FirstInvalid(std::string_view text) {
    const std::size_t n = text.size();
    std::size_t pos = 0;
    while (pos < n) {
        pos += AsciiPrefixLength(text.substr(pos));
        if (pos >= n)
            break;
        const std::size_t length = SequenceLength(text, pos);
        if (length == 0)
            return pos;
        pos += length;
    }
    return std::string_view::npos;
}

} // namespace

std::size_t AsciiPrefixLength(std::string_view text) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    while (p + 8 <= end) {
        std::uint64_t chunk;
        std::memcpy(&chunk, p, 8);
        const std::uint64_t high = chunk & 0x8080808080808080ULL;
        if (high != 0) // the first high byte, in a little-endian load
            return static_cast<std::size_t>(p - begin) + std::countr_zero(high) / 8;
        p += 8;
    }
    while (p < end && static_cast<unsigned char>(*p) < 0x80)
        ++p;
    return static_cast<std::size_t>(p - begin);
}

bool IsValidUtf8(std::string_view text) {
    return FirstInvalid(text) == std::string_view::npos;
}

void CheckUtf8(std::string_view text) {
    const std::size_t bad = FirstInvalid(text);
    if (bad == std::string_view::npos)
        return;
    // Name the byte that breaks the sequence: the lead byte itself, or the first
    // continuation byte that is missing or out of range.
    std::size_t at = bad;
    const auto lead = static_cast<unsigned char>(text[bad]);
    if (lead >= 0xC2 && lead <= 0xF4) {
        std::size_t i = bad + 1;
        while (i < text.size() && i < bad + 4 &&
               (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        if (i < text.size() && i < bad + 4 && (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            at = i;
    }
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "The text is not valid UTF-8 (byte 0x%02X at offset %zu)",
                  static_cast<unsigned>(static_cast<unsigned char>(text[at])), at);
    throw Utf8Error(buffer);
}

char32_t DecodeUtf8At(std::string_view text, std::size_t& pos) {
    const std::size_t length = SequenceLength(text, pos);
    const auto lead = static_cast<unsigned char>(text[pos]);
    switch (length) {
    case 1:
        ++pos;
        return lead;
    case 0:
        ++pos;
        return kReplacement;
    default:
        break;
    }
    char32_t cp = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3Fu);
    pos += length;
    return cp;
}

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

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        const std::size_t length = SequenceLength(text, pos);
        pos += length == 0 ? 1 : length;
    }
    return count;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t characters) {
    // Text no longer than the limit in bytes cannot be longer in characters.
    if (text.size() <= characters)
        return text;
    std::size_t pos = 0;
    for (std::size_t count = 0; pos < text.size() && count < characters; ++count) {
        const std::size_t length = SequenceLength(text, pos);
        pos += length == 0 ? 1 : length;
    }
    return text.substr(0, pos);
}

std::string Utf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string Utf16FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t cp = DecodeUtf8At(text, pos);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

} // namespace tavrel

#include "tavrel/storage/FileEncoding.h"

#include "tavrel/storage/Utf8.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace tavrel {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

// Code points of the bytes 0x80-0x9F. The five bytes the code page leaves undefined keep
// their own value (a C1 control code point), so that no byte is lost on the way through
// Unicode and back.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80-0x87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88-0x8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90-0x97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98-0x9F
};

// The UTF-8 form of every byte, at most three bytes each.
struct Cp1252Table {
    std::array<std::array<char, 4>, 256> bytes{}; // padded for four-byte copies
    std::array<unsigned char, 256> length{};
};

Cp1252Table MakeCp1252Table() {
    Cp1252Table table;
    for (unsigned b = 0; b < 256; ++b) {
        const char32_t cp = b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : b;
        std::string utf8;
        AppendUtf8(utf8, cp);
        table.length[b] = static_cast<unsigned char>(utf8.size());
        std::memcpy(table.bytes[b].data(), utf8.data(), utf8.size());
    }
    return table;
}

const Cp1252Table& Cp1252() {
    static const Cp1252Table table = MakeCp1252Table();
    return table;
}

std::optional<unsigned char> Cp1252Byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<unsigned char>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == cp)
            return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

DecodedFile DecodeUtf16(std::string_view bytes, FileEncoding encoding) {
    DecodedFile file;
    file.encoding = encoding;
    const bool little = encoding == FileEncoding::Utf16Le;
    const std::size_t units = (bytes.size() - 2) / 2;
    file.exact = bytes.size() % 2 == 0;
    std::u16string text;
    text.resize(units);
    for (std::size_t i = 0; i < units; ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 + 2 * i]);
        const auto b = static_cast<unsigned char>(bytes[3 + 2 * i]);
        text[i] = static_cast<char16_t>(little ? (b << 8 | a) : (a << 8 | b));
    }
    for (std::size_t i = 0; i < units && file.exact; ++i) {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF) {
            if (i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                ++i;
            else
                file.exact = false;
        } else if (text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
            file.exact = false;
        }
    }
    file.converted = Utf8FromUtf16(text);
    if (bytes.size() % 2 != 0)
        file.converted += "\xEF\xBF\xBD"; // the odd last byte
    return file;
}

std::string Utf16FromText(std::string_view text, bool little) {
    const std::u16string units = Utf16FromUtf8(text);
    std::string out(little ? kUtf16LeMark : kUtf16BeMark);
    out.reserve(2 + units.size() * 2);
    for (char16_t u : units) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += little ? lo : hi;
        out += little ? hi : lo;
    }
    return out;
}

} // namespace

std::string_view FileEncodingName(FileEncoding encoding) {
    switch (encoding) {
    case FileEncoding::Windows1252:
        return "Windows-1252";
    case FileEncoding::Utf8:
        return "UTF-8";
    case FileEncoding::Utf8Bom:
        return "UTF-8 with BOM";
    case FileEncoding::Utf16Le:
        return "UTF-16LE";
    case FileEncoding::Utf16Be:
        return "UTF-16BE";
    }
    return {};
}

bool HoldsEveryCharacter(FileEncoding encoding) {
    return encoding != FileEncoding::Windows1252;
}

std::string Utf8FromCp1252(std::string_view bytes) {
    const Cp1252Table& table = Cp1252();
    // Three bytes per byte at most, plus slack for eight-byte stores; written through a
    // pointer, as appending piece by piece costs more than the conversion itself.
    const auto buffer = std::make_unique_for_overwrite<char[]>(bytes.size() * 3 + 8);
    char* const start = buffer.get();
    char* o = start;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
        if (p + 8 <= end) {
            // Eight bytes are stored whatever they hold; only the ASCII ones count.
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            std::memcpy(o, &v, 8);
            const std::uint64_t high = v & 0x8080808080808080ULL;
            if (high == 0) {
                p += 8;
                o += 8;
                continue;
            }
            const auto ascii = static_cast<std::size_t>(std::countr_zero(high)) / 8;
            p += ascii;
            o += ascii;
        } else if (static_cast<unsigned char>(*p) < 0x80) {
            *o++ = *p++;
            continue;
        }
        const auto b = static_cast<unsigned char>(*p++);
        std::memcpy(o, table.bytes[b].data(), 4);
        o += table.length[b];
    }
    return std::string(start, static_cast<std::size_t>(o - start));
}

std::optional<std::string> Cp1252FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t run = static_cast<std::size_t>(pos + AsciiPrefixLength(text.substr(pos)));
        out.append(text.substr(pos, run - pos));
        pos = run;
        if (pos == text.size())
            break;
        const char32_t cp = DecodeUtf8At(text, pos);
        const auto byte = Cp1252Byte(cp);
        if (!byte)
            return std::nullopt;
        out += static_cast<char>(*byte);
    }
    return out;
}

FileEncoding DetectFileEncoding(std::string_view bytes) {
    if (StartsWith(bytes, kUtf8Mark))
        return FileEncoding::Utf8Bom;
    if (StartsWith(bytes, kUtf16LeMark))
        return FileEncoding::Utf16Le;
    if (StartsWith(bytes, kUtf16BeMark))
        return FileEncoding::Utf16Be;
    return !IsAscii(bytes) && IsValidUtf8(bytes) ? FileEncoding::Utf8 : FileEncoding::Windows1252;
}

DecodedFile DecodeFileBytes(std::string_view bytes) {
    if (StartsWith(bytes, kUtf8Mark)) {
        DecodedFile file;
        file.encoding = FileEncoding::Utf8Bom;
        file.offset = kUtf8Mark.size();
        const std::string_view text = bytes.substr(file.offset);
        if (IsValidUtf8(text)) {
            file.same = true;
        } else {
            file.exact = false;
            // Each broken byte shows as U+FFFD.
            for (std::size_t pos = 0; pos < text.size();)
                AppendUtf8(file.converted, DecodeUtf8At(text, pos));
        }
        return file;
    }
    if (StartsWith(bytes, kUtf16LeMark))
        return DecodeUtf16(bytes, FileEncoding::Utf16Le);
    if (StartsWith(bytes, kUtf16BeMark))
        return DecodeUtf16(bytes, FileEncoding::Utf16Be);
    DecodedFile file;
    if (IsAscii(bytes)) {
        file.same = true;
        return file;
    }
    if (IsValidUtf8(bytes)) {
        file.encoding = FileEncoding::Utf8;
        file.same = true;
        return file;
    }
    file.converted = Utf8FromCp1252(bytes);
    return file;
}

std::optional<std::string> EncodeFileText(std::string&& text, FileEncoding encoding) {
    if (encoding == FileEncoding::Utf8 || (encoding == FileEncoding::Windows1252 && IsAscii(text)))
        return std::move(text);
    return EncodeFileText(std::string_view(text), encoding);
}

std::optional<std::string> EncodeFileText(std::string_view text, FileEncoding encoding) {
    switch (encoding) {
    case FileEncoding::Windows1252:
        if (IsAscii(text))
            return std::string(text);
        return Cp1252FromUtf8(text);
    case FileEncoding::Utf8:
        return std::string(text);
    case FileEncoding::Utf8Bom: {
        std::string out;
        out.reserve(kUtf8Mark.size() + text.size());
        out.append(kUtf8Mark).append(text);
        return out;
    }
    case FileEncoding::Utf16Le:
        return Utf16FromText(text, true);
    case FileEncoding::Utf16Be:
        return Utf16FromText(text, false);
    }
    return std::nullopt;
}

} // namespace tavrel

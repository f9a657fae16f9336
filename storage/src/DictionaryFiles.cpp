#include "tavrel/storage/DictionaryFiles.h"

#include "tavrel/storage/FileEncoding.h"
#include "tavrel/storage/Utf8.h"
#include "UserFolders.h"

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace tavrel {

namespace {

constexpr char kDelimiter = ',';
constexpr char kQuote = '"';

// Bytes are compared as unsigned codes: the code page's upper half must never count as a
// control character.
unsigned Code(char c) {
    return static_cast<unsigned char>(c);
}

bool NeedsQuotes(std::string_view line) {
    for (char c : line) {
        // NUL is quoted too: unquoted it would end the item on reading and lose the rest.
        if (Code(c) <= 32 || c == kQuote || c == kDelimiter)
            return true;
    }
    return false;
}

// Soundex digit of a byte: 1-6, 0 for vowels, Y and everything that is not a letter, -1 for
// H and W (which neither code nor separate equal codes).
int SoundexCode(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        c = static_cast<unsigned char>(c - ('a' - 'A'));
    switch (c) {
    case 'B':
    case 'F':
    case 'P':
    case 'V':
        return 1;
    case 'C':
    case 'G':
    case 'J':
    case 'K':
    case 'Q':
    case 'S':
    case 'X':
    case 'Z':
        return 2;
    case 'D':
    case 'T':
        return 3;
    case 'L':
        return 4;
    case 'M':
    case 'N':
        return 5;
    case 'R':
        return 6;
    case 'H':
    case 'W':
        return -1;
    default:
        return 0;
    }
}

bool UnfitForFileName(unsigned char c) {
    switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
    case 0x7F:
        return true;
    default:
        return c < 0x20;
    }
}

} // namespace

std::string FromSentinel(std::string value) {
    if (value == kNotFound)
        return {};
    return value;
}

std::string CommaTextFromLines(const std::vector<std::string>& lines) {
    if (lines.empty())
        return {};
    // Written plainly, one empty line would give the empty text, which reads as no line.
    if (lines.size() == 1 && lines.front().empty())
        return std::string(2, kQuote);
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            out += kDelimiter;
        const std::string& line = lines[i];
        if (!NeedsQuotes(line)) {
            out += line;
            continue;
        }
        out += kQuote;
        for (char c : line) {
            if (c == kQuote)
                out += kQuote;
            out += c;
        }
        out += kQuote;
    }
    return out;
}

std::vector<std::string> LinesFromCommaText(std::string_view text) {
    std::vector<std::string> lines;
    const std::size_t end = text.size();
    std::size_t p = 0;
    // Outside quotation marks NUL counts as a blank (codes 1 to 32): were it neither a blank
    // nor an item character, reading would make no progress.
    auto skipBlanks = [&] {
        while (p < end && Code(text[p]) <= 32)
            ++p;
    };
    skipBlanks();
    while (p < end) {
        std::string item;
        if (text[p] == kQuote) {
            ++p;
            // Runs to the quotation mark that is not doubled. When the closing mark is
            // missing, everything up to the end of the text is kept.
            while (p < end) {
                if (text[p] == kQuote) {
                    if (p + 1 < end && text[p + 1] == kQuote) {
                        item += kQuote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < end && Code(text[p]) > 32 && text[p] != kDelimiter)
                ++p;
            item.assign(text.substr(start, p - start));
        }
        lines.push_back(std::move(item));
        skipBlanks();
        if (p < end && text[p] == kDelimiter) {
            if (p + 1 == end)
                lines.emplace_back();
            ++p;
            skipBlanks();
        }
    }
    return lines;
}

std::string Soundex(std::string_view text, std::size_t length) {
    if (text.empty() || length == 0)
        return {};
    std::string result;
    auto first = static_cast<unsigned char>(text.front());
    if (first >= 'a' && first <= 'z')
        first = static_cast<unsigned char>(first - ('a' - 'A'));
    result += static_cast<char>(first);
    int last = SoundexCode(first);
    for (std::size_t i = 1; i < text.size() && result.size() < length; ++i) {
        const int code = SoundexCode(static_cast<unsigned char>(text[i]));
        if (code > 0 && code != last)
            result += static_cast<char>('0' + code);
        if (code != -1)
            last = code;
    }
    result.resize(length, '0');
    return result;
}

std::string LanguageFileBase(std::string_view name) {
    // A name the code page holds is computed on its code-page bytes, as it always was, so
    // existing dictionaries keep their names; any other on its UTF-8 bytes.
    const std::string_view first = Utf8Prefix(name, 255);
    const std::optional<std::string> cp1252 = Cp1252FromUtf8(first);
    const std::string_view cut = cp1252 ? std::string_view(*cp1252) : first;
    std::string transformed;
    transformed.reserve(cut.size() + 1);
    for (char c : cut) {
        unsigned byte = Code(c);
        if (byte >= 'a' && byte <= 'z')
            byte -= 'a' - 'A';
        if (byte < 'A')
            byte += 32;
        else if (byte > 'Z')
            byte = (byte + 256 - 160) % 256;
        transformed += static_cast<char>(byte);
    }
    transformed += 'A';
    const std::size_t tail = transformed.size() < 5 ? transformed.size() : 5;
    return "Ovk" + Soundex(cut, 5) + transformed.substr(transformed.size() - tail);
}

std::string SafeFileBase(std::string_view base) {
    std::string safe(base);
    for (char& c : safe) {
        if (UnfitForFileName(static_cast<unsigned char>(c)))
            c = '_';
    }
    // Bases derived from a language name start with "Ovk"; this guards other callers.
    if (safe == "." || safe == "..")
        safe.assign(safe.size(), '_');
    return Utf8FromCp1252(safe);
}

std::filesystem::path DefaultDictionaryFolder() {
    return detail::XdgBaseFolder("XDG_DATA_HOME", std::filesystem::path(".local") / "share") /
           "Tavrel" / "Localize";
}

} // namespace tavrel

// Comma-text: reading any text gives lines that write back into a text reading as the same
// lines; lines made of any bytes survive writing and reading; and for texts without NUL
// (where this implementation deliberately reads NUL as a blank) reading agrees with a plain
// transcription of the reading rules.

#include "FuzzSupport.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <cstdint>
#include <vector>

namespace {

bool Blank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

// The reading rules as written: skip blanks; a quoted item runs to its closing mark (two
// marks in a row stand for one; a missing closing mark keeps the rest); any other item
// runs to a blank or a comma; after an item skip blanks; a final comma adds one empty item;
// skip the comma and the blanks after it.
std::vector<std::string> Reference(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t p = 0;
    const std::size_t end = text.size();
    while (p < end && Blank(text[p]))
        ++p;
    while (p < end) {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < end) {
                if (text[p] == '"') {
                    if (p + 1 < end && text[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            while (p < end && !Blank(text[p]) && text[p] != ',')
                item += text[p++];
        }
        lines.push_back(item);
        while (p < end && Blank(text[p]))
            ++p;
        if (p < end && text[p] == ',') {
            if (p + 1 == end)
                lines.emplace_back();
            ++p;
            while (p < end && Blank(text[p]))
                ++p;
        }
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto lines = tavrel::LinesFromCommaText(text);
    FUZZ_CHECK(tavrel::LinesFromCommaText(tavrel::CommaTextFromLines(lines)) == lines);
    if (text.find('\0') == std::string_view::npos)
        FUZZ_CHECK(lines == Reference(text));

    // The input cut into lines at every LF: whatever bytes they hold come back.
    std::vector<std::string> cut;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            cut.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    FUZZ_CHECK(tavrel::LinesFromCommaText(tavrel::CommaTextFromLines(cut)) == cut);
    return 0;
}

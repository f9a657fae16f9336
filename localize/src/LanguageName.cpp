#include "tavrel/localize/LanguageName.h"

#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/storage/Utf8.h"

#include <stdexcept>
#include <unicode/uchar.h>

namespace tavrel {

namespace {

constexpr std::string_view kReservedName = "oponent"; // the reverse dictionary's mode

bool IsBlank(char32_t c) {
    return u_isUWhiteSpace(static_cast<UChar32>(c));
}

// Controls and invisible formatting characters, except the joiners that some scripts
// need inside a word.
bool IsHidden(char32_t c) {
    const auto type = static_cast<UCharCategory>(u_charType(static_cast<UChar32>(c)));
    if (c == 0x200C || c == 0x200D)
        return false;
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR || type == U_LINE_SEPARATOR ||
           type == U_PARAGRAPH_SEPARATOR || type == U_UNASSIGNED || type == U_SURROGATE;
}

// The name as a message can show it: line breaks, tabs and other control bytes escaped, and
// a very long name cut short.
std::string Shown(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr std::size_t kShownCharacters = 60;
    const bool cut = Utf8Length(name) > kShownCharacters;
    if (cut)
        name = Utf8Prefix(name, kShownCharacters);
    std::string out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (byte < 0x20 || byte == 0x7F)
            out.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
        else
            out.push_back(c);
    }
    if (cut)
        out += "…";
    return out;
}

} // namespace

std::string LanguageNameProblem(std::string_view name) {
    if (!IsValidUtf8(name))
        return "it is not valid UTF-8";
    // One pass, without a copy: every catalogue rebuild checks every name.
    bool visible = false, blankFirst = false, blankLast = false;
    std::size_t characters = 0;
    for (std::size_t at = 0; at < name.size(); ++characters) {
        const char32_t c = DecodeUtf8At(name, at);
        if (IsHidden(c))
            return "it holds a control or invisible formatting character";
        blankLast = IsBlank(c);
        blankFirst = characters == 0 ? blankLast : blankFirst;
        visible = visible || !blankLast;
    }
    if (!visible)
        return "it is empty";
    if (blankFirst || blankLast)
        return "it starts or ends with a blank";
    if (characters > kMaxLanguageNameLength)
        return "it is longer than 255 characters";
    if (EqualsIgnoringAsciiCase(name, kReservedName))
        return "\"oponent\" is reserved for the reverse dictionary";
    return {};
}

std::string NewLanguageNameProblem(std::string_view name) {
    std::string problem = LanguageNameProblem(name);
    if (problem.empty() && name.find('&') != std::string_view::npos)
        problem = "it holds '&', which menus take for a shortcut mark";
    return problem;
}

void CheckNewLanguageName(std::string_view name) {
    const std::string problem = NewLanguageNameProblem(name);
    if (!problem.empty())
        throw std::invalid_argument("Invalid language name \"" + Shown(name) + "\": " + problem);
}

} // namespace tavrel

#include "tavrel/catalog/QualityCheck.h"

#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <unicode/uchar.h>

namespace tavrel {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A printf conversion at text[pos] (just after '%'): flags, width, precision, length and
// the conversion letter; its length, or 0 when none starts there.
std::size_t PrintfLength(std::string_view text, std::size_t pos) {
    std::size_t i = pos;
    // No blank flag: "50% off" is prose, not a conversion.
    while (i < text.size() && std::string_view("-+#0").find(text[i]) != std::string_view::npos)
        ++i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i;
    }
    for (std::string_view length : {"hh", "ll", "h", "l", "L", "z", "j", "t"})
        if (text.substr(i, length.size()) == length) {
            i += length.size();
            break;
        }
    if (i < text.size() &&
        std::string_view("diouxXeEfFgGaAcsp").find(text[i]) != std::string_view::npos)
        return i + 1 - pos;
    return 0;
}

enum class PlaceholderKind { Numbered, Printf, Braced };

PlaceholderKind KindOf(std::string_view placeholder) {
    if (placeholder.front() == '{')
        return PlaceholderKind::Braced;
    const std::string_view rest = placeholder.substr(placeholder[1] == 'L' ? 2 : 1);
    return !rest.empty() && (IsDigit(rest.front()) || rest == "n") ? PlaceholderKind::Numbered
                                                                   : PlaceholderKind::Printf;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items)
        out.append(out.empty() ? "" : ", ").append(item);
    return out;
}

// The accelerator marks of a text: each '&' before a character other than '&' and blank
// ("&&" shows one ampersand), with the character it marks.
std::vector<std::string> AcceleratorKeys(std::string_view text) {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        if (text[i + 1] == ' ')
            continue;
        std::size_t at = i + 1;
        const char32_t c = DecodeUtf8At(text, at);
        std::string key;
        AppendUtf8(key,
                   static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT)));
        keys.push_back(std::move(key));
    }
    return keys;
}

bool FoldedEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view LeadingBlanks(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && IsBlank(text[n]))
        ++n;
    return text.substr(0, n);
}

std::string_view TrailingBlanks(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && IsBlank(text[text.size() - 1 - n]))
        ++n;
    return text.substr(text.size() - n);
}

// The kind of ending punctuation, script variants counted as one ("。" is a full stop,
// "؟" a question mark); empty for none. Greek asks with ";" (or its own U+037E).
std::string_view EndingPunctuation(std::string_view text, bool greek) {
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (text.ends_with("\u037E") || (greek && text.ends_with(";")))
        return "question mark";
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 14> kEndings{{
        {"...", "ellipsis"},
        {"…", "ellipsis"},
        {".", "full stop"},
        {"。", "full stop"},
        {"।", "full stop"},
        {"۔", "full stop"},
        {"?", "question mark"},
        {"？", "question mark"},
        {"؟", "question mark"},
        {"!", "exclamation mark"},
        {"！", "exclamation mark"},
        {":", "colon"},
        {"：", "colon"},
        {";", "semicolon"},
    }};
    for (const auto& [ending, kind] : kEndings)
        if (text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending)
            return kind;
    return {};
}

class Checker {
public:
    Checker(std::vector<TFinding>& findings, std::string_view locale)
        : findings_(findings), greek_(locale == "el" || locale.starts_with("el-")) {}

    void Check(const TCatalogEntry& entry) {
        entry_ = &entry;
        if (entry.state == TEntryState::Untranslated || entry.translation.empty()) {
            Add(TFindingLevel::Warning, "untranslated", entry.translation, "not translated yet");
            return;
        }
        if (entry.state == TEntryState::NeedsReview)
            Add(TFindingLevel::Warning, "needs-review", entry.translation,
                "the translation needs review");
        if (entry.plurals.empty()) {
            CheckText(entry.translation, false);
            return;
        }
        for (const auto& [category, text] : entry.plurals)
            if (!text.empty())
                CheckText(text, MaySpellCountOut(category));
    }

private:
    // A value of the section Text is a list of lines (comma-text): each line is a text of
    // its own, checked against the line of the source at its place.
    void CheckText(const std::string& text, bool pluralForm) {
        if (!FoldedEquals(entry_->context, "Text")) {
            CheckLine(entry_->source, text, pluralForm);
            return;
        }
        const std::vector<std::string> sources = LinesFromCommaText(entry_->source),
                                       lines = LinesFromCommaText(text);
        // A key of one line over a list names the list rather than holding its lines (an
        // entry made by hand, "Colours"): there is nothing to compare.
        if (sources.size() <= 1 && lines.size() > 1)
            return;
        if (sources.size() != lines.size())
            Add(TFindingLevel::Warning, "lines", text,
                "the source has " + std::to_string(sources.size()) + " lines, the translation " +
                    std::to_string(lines.size()));
        for (std::size_t i = 0; i < std::min(sources.size(), lines.size()); ++i)
            CheckLine(sources[i], lines[i], pluralForm);
    }

    void CheckLine(const std::string& source, const std::string& text, bool pluralForm) {
        if (std::string problem = PlaceholderProblem(source, text, pluralForm); !problem.empty())
            Add(TFindingLevel::Error, "placeholders", text, problem);
        CheckAccelerator(source, text);
        if (LeadingBlanks(source) != LeadingBlanks(text) ||
            TrailingBlanks(source) != TrailingBlanks(text))
            Add(TFindingLevel::Warning, "blanks", text,
                "leading or trailing blanks differ from the source");
        const std::string_view want = EndingPunctuation(source, false),
                               got = EndingPunctuation(text, greek_);
        if (want != got)
            Add(TFindingLevel::Warning, "punctuation", text,
                want.empty()
                    ? "the translation ends with a " + std::string(got) + "; the source does not"
                    : "the source ends with a " + std::string(want) +
                          (got.empty() ? "; the translation does not"
                                       : "; the translation with a " + std::string(got)));
        const std::size_t sourceLength = Utf8Length(source), length = Utf8Length(text);
        if (length > 2 * sourceLength + 10)
            Add(TFindingLevel::Warning, "length", text,
                "the translation is " + std::to_string(length) + " characters long, the source " +
                    std::to_string(sourceLength));
    }

    void CheckAccelerator(const std::string& source, const std::string& text) {
        const std::size_t want = AcceleratorKeys(source).size(), got = AcceleratorKeys(text).size();
        if (got > 1)
            Add(TFindingLevel::Error, "accelerator", text,
                "more than one accelerator mark (&) in one text");
        else if (want > 0 && got == 0)
            Add(TFindingLevel::Warning, "accelerator", text, "the accelerator mark (&) is missing");
        else if (want == 0 && got > 0)
            Add(TFindingLevel::Warning, "accelerator", text,
                "an accelerator mark (&) the source does not have");
    }

    void Add(TFindingLevel level, std::string check, const std::string& translation,
             std::string message) {
        findings_.push_back({level, std::move(check), entry_->context, entry_->source, translation,
                             std::move(message)});
    }

    std::vector<TFinding>& findings_;
    bool greek_;
    const TCatalogEntry* entry_ = nullptr;
};

// Two items of one menu with the same accelerator: the key reaches only one of them.
void CheckMenus(const TCatalog& catalog, std::vector<TFinding>& findings) {
    std::map<std::pair<std::string, std::string>, const TCatalogEntry*> taken;
    for (const TCatalogEntry& entry : catalog.entries) {
        if (entry.obsolete || entry.menus.empty() || entry.translation.empty())
            continue;
        const std::vector<std::string> keys = AcceleratorKeys(entry.translation);
        if (keys.size() != 1)
            continue;
        for (const std::string& menu : entry.menus) {
            const auto [at, added] = taken.try_emplace({menu, keys.front()}, &entry);
            if (!added && at->second->source != entry.source)
                findings.push_back({TFindingLevel::Warning, "menu-accelerator", entry.context,
                                    entry.source, entry.translation,
                                    "the accelerator &" + keys.front() + " is also that of \"" +
                                        at->second->translation + "\" in the menu " + menu});
        }
    }
}

} // namespace

bool MaySpellCountOut(std::string_view category) {
    return category == "zero" || category == "one" || category == "two";
}

std::string_view FindingLevelName(TFindingLevel level) {
    return level == TFindingLevel::Error ? "error" : "warning";
}

std::vector<std::string> Placeholders(std::string_view text) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            std::size_t j = i + 1;
            while (j < text.size() && j - i <= 2 && IsDigit(text[j]))
                ++j;
            if (j > i + 1 && j < text.size() && text[j] == '}') {
                found.emplace_back(text.substr(i, j + 1 - i));
                i = j;
            }
            continue;
        }
        if (text[i] != '%' || i + 1 == text.size())
            continue;
        if (text[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        if (text[j] == 'L' && j + 1 < text.size() && (IsDigit(text[j + 1]) || text[j + 1] == 'n'))
            ++j;
        // A width or precision makes a digit printf's ("%5.2f"), not Qt's "%5".
        const std::size_t printf = PrintfLength(text, i + 1);
        if (j == i + 1 && printf > 0 && IsDigit(text[j])) {
            found.emplace_back(text.substr(i, printf + 1));
            i += printf;
            continue;
        }
        if (text[j] == 'n' || (IsDigit(text[j]) && text[j] != '0')) {
            std::size_t end = j + 1;
            if (text[j] != 'n' && end < text.size() && IsDigit(text[end]))
                ++end;
            // "%1$s" is a numbered printf conversion, not Qt's %1.
            if (end < text.size() && text[end] == '$') {
                if (const std::size_t length = PrintfLength(text, end + 1)) {
                    found.emplace_back(text.substr(i, end + 1 + length - i));
                    i = end + length;
                }
                continue;
            }
            found.emplace_back(text.substr(i, end - i));
            i = end - 1;
            continue;
        }
        if (printf > 0) {
            found.emplace_back(text.substr(i, printf + 1));
            i += printf;
        }
    }
    return found;
}

std::string PlaceholderProblem(std::string_view source, std::string_view translation,
                               bool pluralForm) {
    const std::vector<std::string> want = Placeholders(source), got = Placeholders(translation);
    // Numbered and braced placeholders may move; printf's must keep their order.
    std::multiset<std::string> wantSet, gotSet;
    std::vector<std::string> wantOrdered, gotOrdered;
    for (const std::string& p : want)
        (KindOf(p) == PlaceholderKind::Printf ? wantOrdered.push_back(p) : (void)wantSet.insert(p));
    for (const std::string& p : got)
        (KindOf(p) == PlaceholderKind::Printf ? gotOrdered.push_back(p) : (void)gotSet.insert(p));
    if (pluralForm) {
        // A singular form may spell its count out: "one file" for "%n files".
        for (std::string_view count : {"%n", "%Ln"})
            if (!gotSet.contains(std::string(count)))
                wantSet.erase(std::string(count));
    }
    if (wantOrdered != gotOrdered) {
        std::multiset<std::string> a(wantOrdered.begin(), wantOrdered.end()),
            b(gotOrdered.begin(), gotOrdered.end());
        if (a == b)
            return "placeholders in another order: " + Joined(wantOrdered) + " became " +
                   Joined(gotOrdered);
        wantSet.insert(a.begin(), a.end());
        gotSet.insert(b.begin(), b.end());
    }
    if (wantSet == gotSet)
        return {};
    std::vector<std::string> missing, extra;
    std::set_difference(wantSet.begin(), wantSet.end(), gotSet.begin(), gotSet.end(),
                        std::back_inserter(missing));
    std::set_difference(gotSet.begin(), gotSet.end(), wantSet.begin(), wantSet.end(),
                        std::back_inserter(extra));
    if (!missing.empty() && missing.size() == extra.size())
        return "placeholders renumbered: " + Joined(missing) + " became " + Joined(extra);
    std::string problem;
    if (!missing.empty())
        problem =
            "missing placeholder" + std::string(missing.size() > 1 ? "s " : " ") + Joined(missing);
    if (!extra.empty())
        problem.append(problem.empty() ? "" : "; ")
            .append("extra placeholder" + std::string(extra.size() > 1 ? "s " : " ") +
                    Joined(extra));
    return problem;
}

std::vector<TFinding> CheckCatalog(const TCatalog& catalog) {
    std::vector<TFinding> findings;
    Checker checker(findings, catalog.locale);
    for (const TCatalogEntry& entry : catalog.entries)
        if (!entry.obsolete)
            checker.Check(entry);
    CheckMenus(catalog, findings);
    return findings;
}

TCatalogStats CatalogStats(const TCatalog& catalog) {
    TCatalogStats stats;
    for (const TCatalogEntry& entry : catalog.entries) {
        if (entry.obsolete)
            continue;
        ++stats.entries;
        switch (entry.translation.empty() ? TEntryState::Untranslated : entry.state) {
        case TEntryState::Done:
            ++stats.done;
            break;
        case TEntryState::NeedsReview:
            ++stats.needsReview;
            break;
        case TEntryState::Untranslated:
            ++stats.untranslated;
            break;
        }
    }
    return stats;
}

namespace {

// Accented stand-ins of the ASCII letters; a letter without one stays.
std::string_view Accented(char c) {
    static constexpr std::array<std::string_view, 26> kLower{
        "á", "ƀ", "ç", "ð", "é", "ƒ", "ĝ", "ĥ", "í", "ĵ", "ķ", "ļ", "ɱ",
        "ñ", "ó", "þ", "ǫ", "ŕ", "š", "ţ", "ú", "ṽ", "ŵ", "ẋ", "ý", "ž"};
    static constexpr std::array<std::string_view, 26> kUpper{
        "Å", "Ɓ", "Ç", "Ð", "É", "Ƒ", "Ĝ", "Ĥ", "Í", "Ĵ", "Ķ", "Ļ", "Ṁ",
        "Ñ", "Ó", "Þ", "Ǫ", "Ŕ", "Š", "Ţ", "Û", "Ṽ", "Ŵ", "Ẋ", "Ý", "Ž"};
    if (c >= 'a' && c <= 'z')
        return kLower[static_cast<std::size_t>(c - 'a')];
    if (c >= 'A' && c <= 'Z')
        return kUpper[static_cast<std::size_t>(c - 'A')];
    return {};
}

// The length of what must pass unchanged at text[i]: a placeholder, markup, an entity, or
// an accelerator mark with its letter; 0 for an ordinary character.
std::size_t KeptRun(std::string_view text, std::size_t i) {
    const char c = text[i];
    if (c == '%' || c == '{') {
        const std::vector<std::string> found = Placeholders(text.substr(i));
        if (!found.empty() && text.substr(i).starts_with(found.front()))
            return found.front().size();
        if (c == '%' && i + 1 < text.size() && text[i + 1] == '%')
            return 2;
        return 0;
    }
    if (c == '<') {
        const std::size_t end = text.find('>', i);
        return end == std::string_view::npos ? 0 : end + 1 - i;
    }
    if (c == '&') {
        const std::size_t end = text.find(';', i);
        const auto isName = [](char n) {
            return (n >= 'a' && n <= 'z') || (n >= 'A' && n <= 'Z') || IsDigit(n) || n == '#';
        };
        if (end != std::string_view::npos && end > i + 1 &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        text.begin() + static_cast<std::ptrdiff_t>(end), isName))
            return end + 1 - i;
        // "&&" is a literal ampersand; "&F" marks F, which must stay the key it was.
        return std::min<std::size_t>(2, text.size() - i);
    }
    return 0;
}

} // namespace

std::string PseudoText(std::string_view text) {
    if (text.empty())
        return {};
    std::string out = "[";
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t kept = KeptRun(text, i)) {
            out.append(text.substr(i, kept));
            i += kept;
            continue;
        }
        const std::string_view accented = Accented(text[i]);
        if (!accented.empty()) {
            out.append(accented);
            ++i;
            continue;
        }
        std::size_t next = i;
        DecodeUtf8At(text, next);
        out.append(text.substr(i, next - i));
        i = next;
    }
    // About 40 % more: German and Finnish texts run that much longer than English ones.
    const std::size_t extra = std::max<std::size_t>(1, (Utf8Length(text) * 2 + 4) / 5);
    out += ' ';
    for (std::size_t i = 1; i < extra; ++i)
        out += (i % 2 == 1) ? '~' : '-';
    out += ']';
    return out;
}

} // namespace tavrel

#include "tavrel/localize/LanguageLocale.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <unicode/locid.h>
#include <unicode/plurrule.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/unistr.h>

namespace tavrel {

namespace {

constexpr std::array<std::string_view, 6> kCategoryOrder = {"zero", "one",  "two",
                                                            "few",  "many", "other"};

icu::UnicodeString FromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string ToUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string FoldedName(const icu::UnicodeString& name) {
    icu::UnicodeString folded(name);
    folded.trim().foldCase(U_FOLD_CASE_DEFAULT);
    return ToUtf8(folded);
}

std::string TagOf(const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    const std::string tag = locale.toLanguageTag<std::string>(status);
    return U_SUCCESS(status) ? tag : std::string();
}

// Folded language name -> the tags it names. Languages only, with a script where ICU
// knows a language in more than one ("zh-Hans", "sr-Latn"); no regions.
class LanguageNames {
public:
    LanguageNames() {
        int32_t count = 0;
        const icu::Locale* locales = icu::Locale::getAvailableLocales(count);
        const icu::Locale english = icu::Locale::getEnglish();
        for (int32_t i = 0; i < count; ++i) {
            const icu::Locale& locale = locales[i];
            if (locale.getCountry()[0] != '\0' || locale.getVariant()[0] != '\0')
                continue;
            const std::string tag = TagOf(locale);
            if (tag.empty())
                continue;
            icu::UnicodeString own, inEnglish;
            locale.getDisplayName(locale, own);
            locale.getDisplayName(english, inEnglish);
            Add(own, tag);
            Add(inEnglish, tag);
        }
    }
    std::string Find(std::string_view name) const {
        const auto it = tags_.find(FoldedName(FromUtf8(name)));
        if (it == tags_.end() || it->second.size() != 1)
            return {};
        return *it->second.begin();
    }

private:
    void Add(const icu::UnicodeString& name, const std::string& tag) {
        if (!name.isEmpty())
            tags_[FoldedName(name)].insert(tag);
    }
    std::map<std::string, std::set<std::string>> tags_;
};

icu::Locale LocaleOf(std::string_view tag) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(
        icu::StringPiece(tag.data(), static_cast<int32_t>(tag.size())), status);
    return U_SUCCESS(status) ? locale : icu::Locale::getRoot();
}

std::unique_ptr<icu::PluralRules> RulesOf(std::string_view tag) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::PluralRules> rules(icu::PluralRules::forLocale(LocaleOf(tag), status));
    if (U_FAILURE(status))
        return nullptr;
    return rules;
}

} // namespace

std::string GuessLocaleTag(std::string_view languageName) {
    // ICU's tables do not change while the program runs; build the index once.
    static const LanguageNames names;
    return names.Find(languageName);
}

std::string CanonicalLocaleTag(std::string_view tag) {
    std::string text(tag);
    std::replace(text.begin(), text.end(), '_', '-');
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(text, status);
    if (U_FAILURE(status) || locale.isBogus() || locale.getLanguage()[0] == '\0')
        return {};
    // A tag of a language ICU has no data for is no locale of this system.
    const char* const* languages = icu::Locale::getISOLanguages();
    bool known = false;
    for (; *languages != nullptr && !known; ++languages)
        known = std::string_view(*languages) == locale.getLanguage();
    return known ? TagOf(locale) : std::string();
}

std::vector<std::string> PluralCategories(std::string_view tag) {
    std::vector<std::string> categories;
    const auto rules = RulesOf(tag);
    if (rules) {
        for (std::string_view category : kCategoryOrder)
            if (rules->isKeyword(FromUtf8(category)))
                categories.emplace_back(category);
    }
    if (categories.empty() || categories.back() != "other")
        categories.emplace_back("other");
    return categories;
}

std::string PluralCategory(std::string_view tag, long long count) {
    const auto rules = RulesOf(tag);
    if (!rules)
        return "other";
    return ToUtf8(rules->select(static_cast<int32_t>(std::clamp<long long>(
        count, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()))));
}

std::string PluralSamples(std::string_view tag, std::string_view category) {
    const auto rules = RulesOf(tag);
    if (!rules)
        return {};
    std::array<double, 8> samples{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t count = rules->getSamples(FromUtf8(category), samples.data(),
                                            static_cast<int32_t>(samples.size()), status);
    std::string out;
    for (int32_t i = 0; U_SUCCESS(status) && i < count; ++i) {
        // Integer samples only: a count of things is whole.
        if (samples[static_cast<std::size_t>(i)] !=
            static_cast<long long>(samples[static_cast<std::size_t>(i)]))
            continue;
        if (!out.empty())
            out += ", ";
        out += std::to_string(static_cast<long long>(samples[static_cast<std::size_t>(i)]));
    }
    return out;
}

std::string PluralVariantKey(std::string_view key, std::string_view category) {
    std::string variant(key);
    if (category != "other")
        variant.append("[").append(category).append("]");
    return variant;
}

std::pair<std::string, std::string> SplitPluralVariantKey(std::string_view key) {
    for (std::string_view category : kCategoryOrder) {
        if (category == "other")
            continue;
        const std::string suffix = "[" + std::string(category) + "]";
        if (key.size() > suffix.size() && key.substr(key.size() - suffix.size()) == suffix)
            return {std::string(key.substr(0, key.size() - suffix.size())), std::string(category)};
    }
    return {std::string(key), "other"};
}

bool IsRightToLeft(std::string_view tag) {
    if (tag.empty())
        return false;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = LocaleOf(tag);
    return uloc_isRightToLeft(locale.getName()) != 0 && U_SUCCESS(status);
}

} // namespace tavrel

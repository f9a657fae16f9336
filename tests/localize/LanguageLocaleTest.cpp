#include "tavrel/localize/LanguageLocale.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavrel {
namespace {

TEST(LanguageLocaleTest, GuessesTheTagOfAnUnambiguousName) {
    const std::pair<const char*, const char*> cases[] = {
        {"Deutsch", "de"},    {"deutsch", "de"},   {"German", "de"},
        {"Polski", "pl"},     {"Русский", "ru"},   {"РУССКИЙ", "ru"},
        {"Ελληνικά", "el"},   {"日本語", "ja"},    {"العربية", "ar"},
        {"Français", "fr"},   {" Español ", "es"}, {"עברית", "he"},
        {"Default", ""},      {"Klingon", ""},     {"", ""},
        {"English (US)", ""},
    };
    for (const auto& [name, tag] : cases)
        EXPECT_EQ(GuessLocaleTag(name), tag) << name;
}

TEST(LanguageLocaleTest, CanonicalTags) {
    const std::pair<const char*, const char*> cases[] = {
        {"pl", "pl"}, {"zh_hans", "zh-Hans"}, {"PT-br", "pt-BR"}, {"ar", "ar"},
        {"", ""},     {"xx-nonsense", ""},    {"123", ""},
    };
    for (const auto& [tag, canonical] : cases)
        EXPECT_EQ(CanonicalLocaleTag(tag), canonical) << tag;
}

TEST(LanguageLocaleTest, PluralRulesFollowCldr) {
    using List = std::vector<std::string>;
    EXPECT_EQ(PluralCategories("pl"), (List{"one", "few", "many", "other"}));
    EXPECT_EQ(PluralCategories("ar"), (List{"zero", "one", "two", "few", "many", "other"}));
    EXPECT_EQ(PluralCategories("ja"), List{"other"});
    EXPECT_EQ(PluralCategories(""), List{"other"}); // the root rules
    struct Case {
        const char* tag;
        long long count;
        const char* category;
    };
    const Case cases[] = {
        {"pl", 1, "one"},   {"pl", 2, "few"},     {"pl", 4, "few"},   {"pl", 5, "many"},
        {"pl", 12, "many"}, {"pl", 22, "few"},    {"pl", 25, "many"}, {"ru", 21, "one"},
        {"ru", 11, "many"}, {"ar", 0, "zero"},    {"ar", 2, "two"},   {"ar", 3, "few"},
        {"ar", 11, "many"}, {"ar", 100, "other"}, {"ja", 1, "other"}, {"en", 1, "one"},
        {"fr", 0, "one"},   {"de", 0, "other"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PluralCategory(c.tag, c.count), c.category) << c.tag << " " << c.count;
    EXPECT_EQ(PluralSamples("pl", "few").rfind("2, 3, 4", 0), 0u) << PluralSamples("pl", "few");
}

TEST(LanguageLocaleTest, VariantKeys) {
    EXPECT_EQ(PluralVariantKey("%n files", "few"), "%n files[few]");
    EXPECT_EQ(PluralVariantKey("%n files", "other"), "%n files");
    EXPECT_EQ(SplitPluralVariantKey("%n files[few]"),
              (std::pair<std::string, std::string>{"%n files", "few"}));
    EXPECT_EQ(SplitPluralVariantKey("%n files"),
              (std::pair<std::string, std::string>{"%n files", "other"}));
    EXPECT_EQ(SplitPluralVariantKey("[one]"),
              (std::pair<std::string, std::string>{"[one]", "other"}));
}

TEST(LanguageLocaleTest, RightToLeftScripts) {
    for (const char* tag : {"ar", "he", "fa", "ur"})
        EXPECT_TRUE(IsRightToLeft(tag)) << tag;
    for (const char* tag : {"", "en", "ja", "ru", "el"})
        EXPECT_FALSE(IsRightToLeft(tag)) << tag;
}

} // namespace
} // namespace tavrel

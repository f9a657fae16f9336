// The locale of a language and the plural variants its rules need.

#include "Commands.h"
#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <iostream>

namespace lngtool {

std::string LocaleArgument(const Word& tag) {
    const std::string canonical = tavrel::CanonicalLocaleTag(tag.Text());
    if (canonical.empty())
        throw std::runtime_error("Unknown locale: " + tag.Raw());
    return canonical;
}

namespace {

// How the current language picks the plural variant of a message (section and key given),
// or just its categories and sample counts.
void PrintPlurals(TOvkLocalizeServer& s, const Word& section, const Word& key) {
    const std::string tag = s.LanguageLocale("");
    for (const std::string& category : tavrel::PluralCategories(tag)) {
        std::cout << category << '\t' << tavrel::PluralSamples(tag, category);
        if (key.Given()) {
            const std::string variant = tavrel::PluralVariantKey(key.Text(), category);
            std::cout << '\t' << variant << '\t' << s.ReadValue(section.Text(), variant);
        }
        std::cout << '\n';
    }
}

void AddLocale(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("locale [TAG]",
                "Show the language's locale (\"guessed\" when the dictionary names none), or\n"
                "store TAG as its locale.");
    const Word tag = OptionalValue(cmd, "TAG");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        if (tag.Given()) {
            RequireDictionary(s);
            s.WriteValue(tavrel::kDefinitionsSection, tavrel::kLocaleKey, LocaleArgument(tag));
        }
        const std::string shown = s.LanguageLocale("");
        const bool stored = !s.ReadValue(tavrel::kDefinitionsSection, tavrel::kLocaleKey).empty();
        std::cout << (shown.empty() ? "unknown" : shown)
                  << (stored || shown.empty() ? "" : "\tguessed") << '\n';
    });
}

void AddPlurals(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("plurals [SECTION KEY]",
                "List the plural categories of the language with sample counts; with SECTION\n"
                "KEY also the key of each variant of that message and its value.");
    const Word section = OptionalValue(cmd, "SECTION"), key = OptionalValue(cmd, "KEY");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        if (section.Given() != key.Given())
            throw UsageError("give both SECTION and KEY");
        PrintPlurals(s, section, key);
    });
}

void AddAddPlurals(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("add-plurals SECTION KEY",
                "Add the plural variants the language needs for KEY to its dictionary,\n"
                "each holding the key's value until translated; print their keys.");
    const Word section = Value(cmd, "SECTION"), key = Value(cmd, "KEY");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        RequireDictionary(s);
        PrintLines(s.AddPluralVariants(section.Text(), key.Text()));
    });
}

} // namespace

void AddLocaleCommands(CommandLine& cli) {
    AddLocale(cli);
    AddPlurals(cli);
    AddAddPlurals(cli);
}

} // namespace lngtool

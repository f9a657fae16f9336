// The translators' side of the dictionaries: export to and import from the file formats of
// their tools, quality checks, statistics and pseudo-localization.

#include "Commands.h"
#include "tavrel/catalog/CatalogFormats.h"
#include "tavrel/catalog/DictionaryCatalog.h"
#include "tavrel/catalog/FolderCatalogs.h"
#include "tavrel/catalog/QualityCheck.h"
#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/EntryNotes.h"
#include "tavrel/storage/ProfileFile.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>

namespace lngtool {

namespace fs = std::filesystem;
using namespace tavrel;

namespace {

TCatalogFormat FormatArgument(const Word& word) {
    const auto format = CatalogFormatByName(word.Text());
    if (!format)
        throw UsageError("unknown format \"" + word.Raw() + "\" (po, pot, xliff, xliff2, ts)");
    return *format;
}

// A file name for a language: its name with what no file name may hold replaced.
std::string FileStem(const std::string& language) {
    std::string stem = language;
    for (char& c : stem)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return stem == "." || stem == ".." ? "_" : stem;
}

TCatalogExport ExportOf(TOvkLocalizeServer& s, std::string language, TCatalogFormat format,
                        const fs::path& file) {
    if (format == TCatalogFormat::Pot)
        language = kDefaultLanguage; // a template holds the application's texts
    return {DictionarySourceOf(s, language), file, format};
}

void AddExport(CommandLine& cli) {
    CLI::App& cmd = cli.Add(
        "export FORMAT FILE [--all]",
        "Write the language's entries for a translator's tool; FORMAT is po, pot (the Default\n"
        "dictionary as a template), xliff (1.2), xliff2 or ts. With --all FILE is a folder\n"
        "that gets one file per language, named after it.");
    const Word formatWord = Value(cmd, "FORMAT"), file = Value(cmd, "FILE");
    const Word all = Flag(cmd, "--all");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        const TCatalogFormat format = FormatArgument(formatWord);
        const fs::path target(file.Raw());
        if (!all.Given())
            return ExportCatalogs({ExportOf(s, s.Language(), format, target)});
        fs::create_directories(target);
        std::vector<TCatalogExport> exports;
        for (const std::string& language : s.LanguageList().Names()) {
            const bool isDefault = language == kDefaultLanguage;
            // The Default dictionary is the template of a gettext folder.
            const TCatalogFormat own =
                isDefault && format == TCatalogFormat::Po ? TCatalogFormat::Pot : format;
            if (format == TCatalogFormat::Pot && !isDefault)
                continue;
            exports.push_back(
                ExportOf(s, language, own,
                         target / (FileStem(language) + std::string(CatalogFormatExtension(own)))));
        }
        ExportCatalogs(exports);
        for (const TCatalogExport& written : exports)
            std::cout << written.file.string() << '\n';
    });
}

void PrintReport(const TImportReport& report, const std::string& language) {
    for (const TImportChange& change : report.changed)
        std::cout << "changed\t" << change.context << '\t' << change.source << '\t' << change.what
                  << '\n';
    for (const TImportRefusal& refusal : report.refused)
        std::cout << "refused\t" << refusal.context << '\t' << refusal.source << '\t'
                  << refusal.reason << '\n';
    std::cout << language << ": " << report.changed.size() << " changed, " << report.refused.size()
              << " refused\n";
}

void PrintImport(const TImportReport& report, const TDictionarySource& target) {
    if (report.convertedToUtf8)
        std::cerr << "lngtool: notice: " << target.file.string()
                  << " is now UTF-8 (it was Windows-1252, which cannot hold the text written)\n";
    PrintReport(report, target.language);
}

// Prints each import's report in order; a failed one is told on standard error, and the
// command fails once all were tried.
void ReportImports(const std::vector<TCatalogImport>& imports) {
    const std::vector<TCatalogImportResult> results = ImportCatalogs(imports);
    std::size_t failed = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i].failure) {
            ++failed;
            try {
                std::rethrow_exception(results[i].failure);
            } catch (const std::exception& e) {
                std::cerr << "lngtool: " << e.what() << '\n';
            }
            continue;
        }
        PrintImport(results[i].report, imports[i].target);
    }
    if (failed > 0)
        throw std::runtime_error(std::to_string(failed) + " of " + std::to_string(results.size()) +
                                 " imports failed");
}

void AddImport(CommandLine& cli) {
    CLI::App& cmd = cli.Add(
        "import FILE",
        "Take the translations, states and translator's notes of a PO, XLIFF or TS file into\n"
        "the language's dictionary; print what changed and what was refused, and why. A\n"
        "folder imports each file into the language it is named after.");
    const Word file = Value(cmd, "FILE");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        const fs::path source(file.Raw());
        if (!fs::is_directory(source)) {
            const TDictionarySource target = DictionarySourceOf(s, s.Language());
            return PrintImport(ImportCatalog(ReadCatalogFile(source), target), target);
        }
        std::vector<fs::path> files;
        for (const auto& item : fs::directory_iterator(source))
            if (item.is_regular_file() && item.path().extension() != ".pot")
                files.push_back(item.path());
        std::sort(files.begin(), files.end());
        std::vector<TCatalogImport> imports;
        for (const fs::path& each : files) {
            const int at = s.LanguageList().IndexOf(each.stem().string());
            const std::string language = at < 0 ? std::string() : s.LanguageList().Strings(at);
            if (language.empty() || language == kDefaultLanguage) {
                std::cerr << "lngtool: " << each.string() << " names no language; left alone\n";
                continue;
            }
            imports.push_back({each, DictionarySourceOf(s, language)});
        }
        ReportImports(imports);
    });
}

nlohmann::json FindingJson(const TFinding& f, const std::string& language) {
    return {{"language", language}, {"level", FindingLevelName(f.level)},
            {"check", f.check},     {"section", f.context},
            {"key", f.source},      {"translation", f.translation},
            {"message", f.message}};
}

void AddCheck(CommandLine& cli) {
    CLI::App& cmd = cli.Add(
        "check [LANGUAGE...] [--json] [--warnings-as-errors]",
        "Report what a reviewer would flag in the translations (every language but Default\n"
        "when none is named): placeholders, accelerators, blanks, punctuation, length,\n"
        "untranslated and needs-review entries. Exits with 1 when an error was found.");
    const Word names = Values(cmd, "LANGUAGE");
    const Word json = Flag(cmd, "--json");
    const Word strict = Flag(cmd, "--warnings-as-errors");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        std::vector<std::string> languages = names.Texts();
        if (languages.empty())
            for (const std::string& name : s.LanguageList().Names())
                if (name != kDefaultLanguage)
                    languages.push_back(name);
        std::size_t errors = 0, warnings = 0;
        nlohmann::json all = nlohmann::json::array();
        for (const std::string& language : languages) {
            for (const TFinding& f :
                 CheckCatalog(ReadDictionaryCatalog(DictionarySourceOf(s, language)))) {
                (f.level == TFindingLevel::Error ? errors : warnings) += 1;
                if (json.Given())
                    all.push_back(FindingJson(f, language));
                else
                    std::cout << language << ": " << FindingLevelName(f.level) << ": [" << f.check
                              << "] " << f.context << " \"" << f.source << "\": " << f.message
                              << '\n';
            }
        }
        if (json.Given())
            std::cout << nlohmann::json{{"errors", errors},
                                        {"warnings", warnings},
                                        {"findings", all}}
                             .dump(2)
                      << '\n';
        else
            std::cout << errors << " errors, " << warnings << " warnings\n";
        if (errors > 0 || (strict.Given() && warnings > 0))
            throw std::runtime_error("the check found " + std::to_string(errors) + " errors and " +
                                     std::to_string(warnings) + " warnings");
    });
}

void AddStats(CommandLine& cli) {
    CLI::App& cmd = cli.Add("stats [--json]",
                            "Print per language: entries, done, needs review, untranslated and\n"
                            "the percentage done.");
    const Word json = Flag(cmd, "--json");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        nlohmann::json all = nlohmann::json::array();
        if (!json.Given())
            std::cout << "language\tentries\tdone\tneeds-review\tuntranslated\tdone%\n";
        for (const std::string& language : s.LanguageList().Names()) {
            if (language == kDefaultLanguage)
                continue;
            const TCatalogStats st =
                CatalogStats(ReadDictionaryCatalog(DictionarySourceOf(s, language)));
            const double percent = std::round(st.PercentDone() * 10) / 10;
            if (json.Given()) {
                all.push_back({{"language", language},
                               {"entries", st.entries},
                               {"done", st.done},
                               {"needsReview", st.needsReview},
                               {"untranslated", st.untranslated},
                               {"percentDone", percent}});
                continue;
            }
            std::cout << language << '\t' << st.entries << '\t' << st.done << '\t' << st.needsReview
                      << '\t' << st.untranslated << '\t' << std::fixed << std::setprecision(1)
                      << percent << '\n';
        }
        if (json.Given())
            std::cout << all.dump(2) << '\n';
    });
}

// Every entry of the Default dictionary as pseudo-text; a Text value line by line.
void FillPseudo(const fs::path& from, const fs::path& to) {
    ProfileFile source(from);
    ProfileFile target(to);
    std::vector<std::string> sections;
    source.ReadAllSections(sections);
    for (const std::string& section : sections) {
        if (TrimProfileName(section) == kDefinitionsSection)
            continue;
        std::vector<std::pair<std::string, std::string>> entries;
        source.ReadSectionValues(section, entries);
        const bool lines = TrimProfileName(section) == "Text";
        for (const auto& [key, value] : entries) {
            if (key == kLanguageKey)
                continue;
            const std::string text =
                value == kNotFound || value.empty() ? SplitPluralVariantKey(key).first : value;
            std::string pseudo;
            if (lines) {
                std::vector<std::string> each = LinesFromCommaText(text);
                for (std::string& line : each)
                    line = PseudoText(line);
                pseudo = CommaTextFromLines(each);
            } else {
                pseudo = PseudoText(text);
            }
            target.WriteString(section, key, pseudo.empty() ? std::string(kNotFound) : pseudo);
        }
    }
    target.UpdateFile();
}

void AddPseudo(CommandLine& cli) {
    CLI::App& cmd = cli.Add(
        "pseudo NAME",
        "Create (or renew) the language NAME whose texts are the Default texts with accented\n"
        "letters, in brackets and about 40 % longer: a switch to it shows which texts are not\n"
        "translated and which widgets cut them.");
    const Word name = Value(cmd, "NAME");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        const std::string language = name.Text();
        if (language == kDefaultLanguage)
            throw std::runtime_error("The Default language cannot be pseudo-localized");
        const fs::path file = s.NewLanguage(language, nullptr);
        FillPseudo(s.LanguageFileName(kDefaultLanguage), file);
        std::cout << file.string() << '\n';
    });
}

void AddMark(CommandLine& cli) {
    CLI::App& cmd = cli.Add(
        "mark SECTION KEY STATE [--note TEXT]",
        "Give an entry of the language the state done, needs-review or untranslated, keeping\n"
        "its value (done for a translation that really equals its key, such as \"OK\"); with\n"
        "--note also the translator's note (an empty one removes it).");
    const Word section = Value(cmd, "SECTION"), key = Value(cmd, "KEY"),
               stateWord = Value(cmd, "STATE");
    const Word note = ValueOption(cmd, "--note", "TEXT");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        const auto state = EntryStateByName(stateWord.Text());
        if (!state)
            throw UsageError("unknown state \"" + stateWord.Raw() +
                             "\" (done, needs-review, untranslated)");
        RequireDictionary(s);
        MarkEntry(s.LanguageFileName(s.Language()), section.Text(), key.Text(), *state,
                  note.Given() ? std::optional<std::string>(note.Text()) : std::nullopt);
    });
}

} // namespace

void AddCatalogCommands(CommandLine& cli) {
    AddExport(cli);
    AddImport(cli);
    AddCheck(cli);
    AddStats(cli);
    AddPseudo(cli);
    AddMark(cli);
}

} // namespace lngtool

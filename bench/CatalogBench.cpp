// Export and import of a whole folder in the translators' formats: 30 languages of 20,000
// keys each, with states and notes as translators leave them.

#include "tavrel/catalog/CatalogFormats.h"
#include "tavrel/catalog/DictionaryCatalog.h"
#include "tavrel/catalog/FolderCatalogs.h"
#include "tavrel/storage/FolderFile.h"
#include "tavrel/storage/ProfileFile.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tavrel;

constexpr int kLanguages = 30;
constexpr int kKeys = 20000;
constexpr int kSections = 5;
constexpr const char* kSectionNames[kSections] = {"Caption", "Hint", "Messages", "Memo", "Text"};

std::string Key(int i) {
    return "Text number " + std::to_string(i) + " of the application, %1";
}

void WriteFile(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// The Default dictionary with a developer's note on every tenth entry, and 30 languages
// with nine in ten entries done, some needing review, a few untranslated.
struct Folder {
    fs::path path =
        fs::temp_directory_path() / ("tavrel-catalog-bench-" + std::to_string(getpid()));
    std::vector<TDictionarySource> languages;
    std::vector<std::string> originals; // each language's bytes as made

    Folder() {
        fs::create_directories(path);
        std::string defaults = "[Definitions]\r\nOvkLanguage=Default\r\n";
        for (int s = 0; s < kSections; ++s) {
            defaults += "[" + std::string(kSectionNames[s]) + "]\r\n";
            for (int i = s; i < kKeys; i += kSections) {
                if (i % 10 == 0)
                    defaults += ";@developer Shown in the main window\r\n";
                defaults += Key(i) + "=" + Key(i) + "\r\n";
            }
        }
        WriteFile(path / "OvkDefault.Lng", defaults);
        for (int l = 0; l < kLanguages; ++l) {
            const std::string name = "Language" + std::to_string(l);
            std::string text = "[Definitions]\r\nOvkLanguage=" + name + "\r\nOvkLocale=de\r\n";
            for (int s = 0; s < kSections; ++s) {
                text += "[" + std::string(kSectionNames[s]) + "]\r\n";
                for (int i = s; i < kKeys; i += kSections) {
                    if (i % 50 == 1)
                        text += ";@state needs-review\r\n;@translator Check the tone\r\n";
                    const bool done = i % 20 != 3;
                    text += Key(i) + "=" +
                            (done ? "Übersetzung " + std::to_string(i) + " %1" : Key(i)) + "\r\n";
                }
            }
            const fs::path file = path / (name + ".Lng");
            WriteFile(file, text);
            originals.push_back(text);
            languages.push_back({name, file, path / "OvkDefault.Lng", "de", "en"});
        }
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

Folder& TheFolder() {
    static Folder folder;
    return folder;
}

// A whole folder as lngtool exports it: every language at once on the machine's cores.
void BM_ExportFolder(benchmark::State& state) {
    const auto format = static_cast<TCatalogFormat>(state.range(0));
    Folder& folder = TheFolder();
    const fs::path out = folder.path / "out";
    fs::create_directories(out);
    std::vector<TCatalogExport> exports;
    for (const TDictionarySource& language : folder.languages)
        exports.push_back({language,
                           out / (language.language + std::string(CatalogFormatExtension(format))),
                           format});
    for (auto _ : state)
        ExportCatalogs(exports);
    state.SetLabel(std::string(CatalogFormatName(format)));
    state.counters["entries"] = static_cast<double>(kLanguages) * kKeys;
}

// The parts of an export: the dictionaries as catalogs, and the catalogs as files.
void BM_ReadDictionaries(benchmark::State& state) {
    Folder& folder = TheFolder();
    for (auto _ : state)
        for (const TDictionarySource& language : folder.languages)
            benchmark::DoNotOptimize(ReadDictionaryCatalog(language));
}

void BM_WriteFiles(benchmark::State& state) {
    const auto format = static_cast<TCatalogFormat>(state.range(0));
    Folder& folder = TheFolder();
    const TCatalog catalog = ReadDictionaryCatalog(folder.languages.front());
    for (auto _ : state)
        for (std::size_t l = 0; l < folder.languages.size(); ++l)
            benchmark::DoNotOptimize(WriteCatalog(catalog, format));
    state.SetLabel(std::string(CatalogFormatName(format)));
}

void BM_ReadFiles(benchmark::State& state) {
    const auto format = static_cast<TCatalogFormat>(state.range(0));
    Folder& folder = TheFolder();
    const std::string bytes = WriteCatalog(ReadDictionaryCatalog(folder.languages.front()), format);
    for (auto _ : state)
        for (std::size_t l = 0; l < folder.languages.size(); ++l)
            benchmark::DoNotOptimize(ReadCatalog(bytes, format));
    state.SetLabel(std::string(CatalogFormatName(format)));
}

// The files a translator sends back, every language with 200 entries changed, imported as
// lngtool imports a folder.
void BM_ImportFolder(benchmark::State& state) {
    const auto format = static_cast<TCatalogFormat>(state.range(0));
    Folder& folder = TheFolder();
    const fs::path in = folder.path / "in";
    fs::create_directories(in);
    std::vector<TCatalogImport> imports;
    for (std::size_t l = 0; l < folder.languages.size(); ++l) {
        const TDictionarySource& language = folder.languages[l];
        WriteFolderFile(language.file, folder.originals[l]);
        TCatalog catalog = ReadDictionaryCatalog(language);
        for (std::size_t i = 0; i < catalog.entries.size(); i += 100) {
            catalog.entries[i].translation = "Neu " + std::to_string(i) + " %1";
            catalog.entries[i].state = TEntryState::Done;
        }
        const fs::path file =
            in / (language.language + std::string(CatalogFormatExtension(format)));
        WriteFolderFile(file, WriteCatalog(catalog, format));
        imports.push_back({file, language});
    }
    std::size_t changed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t l = 0; l < folder.languages.size(); ++l)
            WriteFolderFile(folder.languages[l].file, folder.originals[l]);
        state.ResumeTiming();
        changed = 0;
        for (const TCatalogImportResult& result : ImportCatalogs(imports))
            changed += result.failure ? 0 : result.report.changed.size();
    }
    state.SetLabel(std::string(CatalogFormatName(format)));
    state.counters["changed"] = static_cast<double>(changed);
}

// The dictionary side of an import alone: catalogs already read, 200 changes each.
void BM_ImportCatalogs(benchmark::State& state) {
    Folder& folder = TheFolder();
    std::vector<TCatalog> incoming;
    for (std::size_t l = 0; l < folder.languages.size(); ++l) {
        WriteFolderFile(folder.languages[l].file, folder.originals[l]);
        TCatalog& catalog = incoming.emplace_back(ReadDictionaryCatalog(folder.languages[l]));
        for (std::size_t i = 0; i < catalog.entries.size(); i += 100)
            catalog.entries[i].translation = "Neu " + std::to_string(i) + " %1";
    }
    for (auto _ : state) {
        state.PauseTiming();
        for (std::size_t l = 0; l < folder.languages.size(); ++l)
            WriteFolderFile(folder.languages[l].file, folder.originals[l]);
        state.ResumeTiming();
        for (std::size_t l = 0; l < folder.languages.size(); ++l)
            benchmark::DoNotOptimize(ImportCatalog(incoming[l], folder.languages[l]));
    }
}

constexpr int kFormats[] = {
    static_cast<int>(TCatalogFormat::Po), static_cast<int>(TCatalogFormat::Xliff),
    static_cast<int>(TCatalogFormat::Xliff2), static_cast<int>(TCatalogFormat::Ts)};

void Formats(benchmark::internal::Benchmark* b) {
    for (const int format : kFormats)
        b->Arg(format);
    b->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
}

BENCHMARK(BM_ReadDictionaries)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WriteFiles)->Apply(Formats);
BENCHMARK(BM_ReadFiles)->Apply(Formats);
BENCHMARK(BM_ExportFolder)->Apply(Formats);
BENCHMARK(BM_ImportCatalogs)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ImportFolder)->Apply(Formats);

} // namespace

BENCHMARK_MAIN();

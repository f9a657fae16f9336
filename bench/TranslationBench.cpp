// Language switches and dictionary-wide edits on realistic sizes: a form of 1,000
// components with 3,000 texts, dictionaries of 20,000 keys in 8 sections.

#include "tavrel/localize/TComponent.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/storage/ProfileFile.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tavrel;

constexpr int kKeys = 20000;
constexpr int kSections = 8;
constexpr int kComponents = 1000;
const char* const kSectionNames[kSections] = {"Caption",     "Text",     "Hint",   "Memo",
                                              "ReportTitle", "Messages", "Labels", "Misc"};

class TBenchControl : public TComponent {
    TAVREL_CLASS(TBenchControl)
public:
    using TComponent::TComponent;
    std::string caption, hint, text;
};

const TClassInfo& TBenchControl::StaticClassInfo() {
    static const TClassInfo info(
        "TBenchControl", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TBenchControl::caption), StringProp("Hint", &TBenchControl::hint),
         StringProp("Text", &TBenchControl::text), OtherProp("Width"), OtherProp("Height")});
    return info;
}

std::string Key(int i) {
    return "Text number " + std::to_string(i) + " of the application";
}

// Writes a dictionary of kKeys keys in kSections sections; `tag` marks its translations.
void WriteDictionary(const fs::path& file, const std::string& language, const std::string& tag) {
    std::ofstream out(file, std::ios::binary);
    out << "[Definitions]\r\nOvkLanguage=" << language << "\r\n";
    for (int s = 0; s < kSections; ++s) {
        out << "[" << kSectionNames[s] << "]\r\n";
        for (int i = s; i < kKeys; i += kSections)
            out << Key(i) << '=' << tag << ' ' << Key(i) << "\r\n";
    }
}

struct Workspace {
    fs::path root;
    std::unique_ptr<TOvkLocalizeServer> server;
    std::unique_ptr<TComponent> form;

    explicit Workspace(int languages) {
        char pattern[] = "/tmp/tavrel-bench-XXXXXX";
        root = ::mkdtemp(pattern);
        fs::create_directories(root / "dict");
        WriteDictionary(root / "dict" / "OvkDefault.Lng", "Default", "default");
        for (int l = 1; l < languages; ++l)
            WriteDictionary(root / "dict" / ("lang" + std::to_string(l) + ".lng"),
                            "Language" + std::to_string(l), "tr" + std::to_string(l));
        TLocalizeEnvironment env;
        env.SettingsFile = root / "Localize.ini";
        env.DefaultFolder = root / "dict";
        server = std::make_unique<TOvkLocalizeServer>(nullptr, env);
        server->SetDicPath((root / "dict").string());
        server->RefreshLanguages();
        server->SetActive(true);
    }
    ~Workspace() {
        form.reset();
        server.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // 1,000 components, 3,000 texts, all known to the dictionaries (Caption section keys
    // are i % 8 == 0 and so on: pick keys from the right sections).
    void BuildForm(const std::string& prefix) {
        form = std::make_unique<TComponent>();
        auto keyIn = [](int section, int n) { return Key(section + kSections * n); };
        for (int c = 0; c < kComponents; ++c) {
            auto* control = new TBenchControl(form.get());
            control->SetName("Control" + std::to_string(c));
            control->caption = prefix + keyIn(0, c);
            control->hint = prefix + keyIn(2, c);
            control->text = prefix + keyIn(1, c);
        }
    }
};

void BM_SwitchLanguage(benchmark::State& state) {
    Workspace ws(3);
    ws.server->SetLanguage("Default");
    ws.BuildForm("");
    ws.server->AddClient(*ws.form);
    bool toFirst = true;
    for (auto _ : state) {
        ws.server->SetLanguage(toFirst ? "Language1" : "Language2");
        toFirst = !toFirst;
    }
    auto* first = static_cast<TBenchControl*>(ws.form->Components(0));
    if (first->caption.rfind("tr", 0) != 0)
        state.SkipWithError("the form was not translated");
    state.counters["texts"] = 3 * kComponents;
}
BENCHMARK(BM_SwitchLanguage)->Unit(benchmark::kMillisecond);

// A translator saves one changed entry of the shown 20,000-key dictionary; the running
// application applies its language again: every text back through the state it was shown
// from, then forward through the file as it is now.
void BM_ReapplyAfterOneChangedEntry(benchmark::State& state) {
    Workspace ws(2);
    ws.server->SetLanguage("Default");
    ws.BuildForm("");
    ws.server->AddClient(*ws.form);
    ws.server->SetLanguage("Language1");
    const fs::path file = ws.server->LanguageFileName("Language1");
    auto* first = static_cast<TBenchControl*>(ws.form->Components(0));
    const std::string key = Key(0);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string value = "edited " + std::to_string(++round);
        {
            ProfileFile dictionary(file);
            dictionary.WriteString("Caption", key, value);
            dictionary.UpdateFile();
        }
        state.ResumeTiming();
        ws.server->ReapplyLanguage();
        if (first->caption != value) {
            state.SkipWithError("the changed entry was not applied");
            break;
        }
    }
    state.counters["keys"] = kKeys;
}
BENCHMARK(BM_ReapplyAfterOneChangedEntry)->Unit(benchmark::kMillisecond);

void BM_RegisterTextsInto20Dictionaries(benchmark::State& state) {
    Workspace ws(20);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // New texts every round, so every dictionary really gains 3,000 keys.
        ws.BuildForm("r" + std::to_string(round++) + " ");
        ws.server->AddClient(*ws.form);
        state.ResumeTiming();
        ws.server->RegisterClientTexts();
    }
    const ProfileFile check(ws.server->LanguageFileName("Language19"));
    if (check.ReadString("Caption", "r0 " + Key(0), "") != "r0 " + Key(0))
        state.SkipWithError("texts were not registered");
}
BENCHMARK(BM_RegisterTextsInto20Dictionaries)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AddKeyToAll20Dictionaries(benchmark::State& state) {
    Workspace ws(20);
    int round = 0;
    for (auto _ : state)
        ws.server->AddKeyToAll("Caption", "Added key " + std::to_string(round++));
    const ProfileFile check(ws.server->LanguageFileName("Language7"));
    if (check.ReadString("Caption", "Added key 0", "") != "Added key 0")
        state.SkipWithError("the key was not added");
}
BENCHMARK(BM_AddKeyToAll20Dictionaries)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// Writers killed with SIGKILL at random moments, and several processes writing the same
// dictionaries and settings store at once while others read them.
//
// TAVREL_KILL_ITERATIONS scales the kill loops (default 120 per writer kind) and
// TAVREL_CONCURRENT_ROUNDS the rounds of each concurrent process (default 30); the seed of
// the random delays is printed and can be fixed with TAVREL_KILL_SEED.

#include "ReliabilitySupport.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"
#include "TempDir.h"
#include "WorkerProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tavrel::reliability;

int EnvironmentNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// A whole kill loop stops after this long even when iterations remain. Sanitized programs
// start and write several times slower, so the random delays before a kill are longer.
constexpr auto kKillBudget = 40s;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kMaxDelayMs = 120;
#else
constexpr int kMaxDelayMs = 30;
#endif

std::mt19937& Random() {
    static std::mt19937 random = [] {
        const auto seed = static_cast<unsigned>(EnvironmentNumber(
            "TAVREL_KILL_SEED", static_cast<int>(std::random_device{}() & 0x7FFFFFFF)));
        std::cout << "kill delays seeded with TAVREL_KILL_SEED=" << seed << '\n';
        return std::mt19937(seed);
    }();
    return random;
}

struct KillStats {
    int iterations = 0;
    int advanced = 0;    // kills after which the file had moved on
    int temporaries = 0; // kills that left a temporary file
};

// Starts the writer from `state`, kills it after a random delay and checks the folder;
// `check` returns the state the files are in now (it fails the test when there is none).
KillStats KillLoop(const fs::path& folder, const fs::path& logs,
                   const std::function<std::vector<std::string>(long)>& command,
                   const std::function<long()>& check, long& state) {
    KillStats stats;
    const int iterations = EnvironmentNumber("TAVREL_KILL_ITERATIONS", 120);
    const auto until = std::chrono::steady_clock::now() + kKillBudget;
    // On a loaded machine a writer may need longer than the whole range just to start:
    // a kill that found no new content widens the range, one that did narrows it again.
    int maxDelayMs = kMaxDelayMs;
    for (; stats.iterations < iterations && std::chrono::steady_clock::now() < until;
         ++stats.iterations) {
        {
            Child writer(command(state), logs / "out.txt", logs / "err.txt");
            std::uniform_int_distribution<int> delayMs(0, maxDelayMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(Random())));
            writer.Kill();
        }
        const long now = check();
        if (now < 0)
            return stats; // the check reported the failure
        EXPECT_GE(now, state) << "a killed writer took the file back to an older state";
        const bool progressed = now > state;
        stats.advanced += progressed;
        state = now;
        const auto temps = TemporaryFiles(Snapshot(folder));
        // A new writer of a file removes what a killed one left for it before writing
        // itself: at most one temporary file per file ("<name>.tmp-<pid>-<n>").
        std::map<std::string, int> perTarget;
        for (const std::string& temp : temps)
            EXPECT_LE(++perTarget[temp.substr(0, temp.rfind(".tmp-"))], 1)
                << "temporary files pile up: " << temp;
        stats.temporaries += !temps.empty();
        maxDelayMs = progressed ? std::max(kMaxDelayMs, maxDelayMs / 2)
                                : std::min(kMaxDelayMs * 64, maxDelayMs * 2);
    }
    EXPECT_EQ(ReadFileBytes(logs / "err.txt"), "") << "a writer reported an error";
    return stats;
}

void Report(const char* what, const KillStats& stats) {
    std::cout << what << ": " << stats.iterations << " kills, " << stats.advanced
              << " after progress, " << stats.temporaries << " left a temporary file\n";
    ::testing::Test::RecordProperty("kills", stats.iterations);
    ::testing::Test::RecordProperty("kills_after_progress", stats.advanced);
    ::testing::Test::RecordProperty("kills_leaving_temporary", stats.temporaries);
    // The delays must have hit running writers: most kills find new content, and the
    // temporary files of killed writers were met and cleaned.
    EXPECT_GT(stats.advanced, stats.iterations / 10);
    EXPECT_GT(stats.temporaries, 0);
}

TEST(KillWriter, AProfileFileIsAlwaysOneWholeState) {
    TempDir dir, logs;
    const fs::path file = dir / "kill.Lng";
    WriteFileBytes(file, KillStateBytes(0));
    long state = 0;
    const KillStats stats = KillLoop(
        dir.Path(), logs.Path(),
        [&](long from) {
            return std::vector<std::string>{WorkerPath(), "profile-kill", file.string(),
                                            std::to_string(from)};
        },
        [&] {
            const long now = KillStateOf(ReadFileBytes(file));
            EXPECT_GE(now, 0) << "the file is no whole state";
            return now;
        },
        state);
    Report("profile file", stats);

    // The next write completes and leaves nothing else in the folder.
    ProfileFile writer(file);
    writer.WriteString("Data", "Counter", std::to_string(state + 1));
    for (int n = 0; n < kKillKeys; ++n)
        writer.WriteString("Data", KillKey(n), KillValue(state + 1, n));
    writer.UpdateFile();
    EXPECT_EQ(Snapshot(dir.Path()), (FolderState{{"kill.Lng", KillStateBytes(state + 1)}}));
}

TEST(KillWriter, TheSettingsStoreIsAlwaysOneWholeState) {
    TempDir dir, logs;
    const fs::path file = dir / "Localize.ini";
    WriteFileBytes(file, SettingsStateBytes(0));
    long state = 0;
    const KillStats stats = KillLoop(
        dir.Path(), logs.Path(),
        [&](long from) {
            return std::vector<std::string>{WorkerPath(), "settings-kill", file.string(),
                                            std::to_string(from)};
        },
        [&] {
            const long now = SettingsStateOf(ReadFileBytes(file));
            EXPECT_GE(now, 0) << "the store is no whole state";
            return now;
        },
        state);
    Report("settings store", stats);

    SettingsStore store(file);
    ASSERT_TRUE(store.OpenKey());
    const long next = state + 1;
    store.WriteString(kSettingsSection, SettingsSlotName(static_cast<int>(next % kSettingsSlots)),
                      SettingsSlotValue(next));
    EXPECT_EQ(Snapshot(dir.Path()), (FolderState{{"Localize.ini", SettingsStateBytes(next)}}));
}

TEST(KillWriter, EveryDictionaryOfAServerOperationIsOneWholeState) {
    TempDir dir, config, logs;
    const fs::path settings = config / "Localize.ini";
    const std::vector<std::pair<std::string, std::string>> languages{
        {"Default", "OvkDefault.Lng"}, {"English", "english.Lng"}, {"French", "french.Lng"}};
    std::string store = "[Others]\r\nDicPath=" + dir.Path().string() + "\r\n[Languages]\r\n";
    std::vector<std::string> bases;
    for (const auto& [name, file] : languages) {
        store += name + "=" + (dir / file).string() + "\r\n";
        bases.push_back("[Definitions]\r\nOvkLanguage=" + name + "\r\n[Caption]\r\nOpen=Open\r\n");
        WriteFileBytes(dir / file, bases.back());
    }
    WriteFileBytes(settings, store);

    long state = 0;
    const KillStats stats = KillLoop(
        dir.Path(), logs.Path(),
        [&](long from) {
            return std::vector<std::string>{WorkerPath(), "server-kill", settings.string(),
                                            dir.Path().string(), std::to_string(from)};
        },
        [&]() -> long {
            // Catalogue order: an earlier dictionary is at most one step ahead of a later one.
            std::vector<long> steps;
            for (std::size_t i = 0; i < languages.size(); ++i) {
                steps.push_back(ServerStepsOf(bases[i], ReadFileBytes(dir / languages[i].second)));
                EXPECT_GE(steps.back(), 0) << languages[i].second << " is no whole state";
            }
            for (std::size_t i = 1; i < steps.size(); ++i) {
                EXPECT_LE(steps[i], steps[i - 1]);
                EXPECT_GE(steps[i], steps[0] - 1);
            }
            EXPECT_EQ(ReadFileBytes(settings), store) << "the server changed its settings";
            const long lowest = *std::min_element(steps.begin(), steps.end());
            return lowest < 0 || ::testing::Test::HasFailure() ? -1 : lowest;
        },
        state);
    Report("server", stats);
}

// Killed while it creates languages and rescans: the catalogue is never a part of itself
// and never names a language without its dictionary.
TEST(KillWriter, TheCatalogueIsNeverPartialAndNamesNoMissingDictionary) {
    TempDir dir, config, logs;
    const fs::path settings = config / "Localize.ini";
    WriteFileBytes(settings, "[Others]\r\nDicPath=" + dir.Path().string() + "\r\n");
    long state = 0;
    std::set<std::string> seen;
    const KillStats stats = KillLoop(
        dir.Path(), logs.Path(),
        [&](long from) {
            return std::vector<std::string>{WorkerPath(), "catalogue-kill", settings.string(),
                                            dir.Path().string(), std::to_string(from)};
        },
        [&]() -> long {
            // The dictionaries in the folder, each with the language it names.
            std::map<std::string, std::string> dictionaries;
            for (const auto& entry : fs::directory_iterator(dir.Path())) {
                const std::string name = entry.path().filename().string();
                if (name.size() > 4 && name.substr(name.size() - 4) == ".Lng")
                    dictionaries[entry.path().string()] =
                        ProfileFile(entry.path()).ReadString("Definitions", "OvkLanguage", "");
            }
            SettingsStore store(settings);
            EXPECT_TRUE(store.OpenKey());
            std::vector<std::string> catalogued;
            store.ReadSection("Languages", catalogued);
            for (const std::string& language : catalogued) {
                const std::string file = store.ReadString("Languages", language, "");
                EXPECT_EQ(dictionaries.count(file) ? dictionaries[file] : "<no dictionary>",
                          language);
            }
            // Nothing catalogued before is missing now: no rescan left the catalogue partial.
            // (Dictionaries whose creation was killed before the store named them wait for
            // the next rescan; that is the order that keeps the line above true.)
            const std::set<std::string> now(catalogued.begin(), catalogued.end());
            EXPECT_TRUE(std::includes(now.begin(), now.end(), seen.begin(), seen.end()))
                << seen.size() << " catalogued before, " << now.size() << " now";
            seen = now;
            return ::testing::Test::HasFailure() ? -1 : static_cast<long>(now.size());
        },
        state);
    Report("catalogue", stats);
}

// ---------------------------------------------------------------------------------------

// While another process rescans the folder again and again, this one always finds every
// language: the catalogue is replaced, never erased and rebuilt.
TEST(ConcurrentProcesses, ARescanElsewhereNeverHidesALanguage) {
    TempDir dir, config, logs;
    const fs::path settings = config / "Localize.ini";
    std::string store = "[Others]\r\nDicPath=" + dir.Path().string() + "\r\n[Languages]\r\n";
    for (const char* name : {"Default", "English", "French"}) {
        const fs::path file =
            dir / (std::string(name) == "Default" ? "OvkDefault.Lng" : std::string(name) + ".Lng");
        WriteFileBytes(file, "[Definitions]\r\nOvkLanguage=" + std::string(name) + "\r\n");
        store += std::string(name) + "=" + file.string() + "\r\n";
    }
    WriteFileBytes(settings, store);
    TLocalizeEnvironment env;
    env.SettingsFile = settings;
    env.DefaultFolder = dir.Path();
    TOvkLocalizeServer server(nullptr, env);
    Child rescans({WorkerPath(), "refresh", settings.string(), dir.Path().string(), "400"},
                  logs / "out.txt", logs / "err.txt");
    int looks = 0, misses = 0, status = -1;
    while (!rescans.WaitFor(0ms, status)) {
        server.ReloadLanguageList();
        for (const char* name : {"English", "French"}) {
            ++looks;
            misses +=
                server.LanguageList().IndexOf(name) < 0 || server.LanguageFileName(name).empty();
        }
    }
    EXPECT_EQ(status, 0) << ReadFileBytes(logs / "err.txt");
    EXPECT_GT(looks, 100);
    EXPECT_EQ(misses, 0) << "of " << looks << " looks";
    RecordProperty("looks", looks);
}

TEST(ConcurrentProcesses, EveryWriteOfEveryProcessIsPresentAndNoReaderSeesATornFile) {
    TempDir dir, config, logs;
    const fs::path settings = config / "Localize.ini";
    const std::vector<std::pair<std::string, std::string>> languages{
        {"Default", "OvkDefault.Lng"}, {"English", "english.Lng"}, {"French", "french.Lng"}};
    std::string store = "[Others]\r\nDicPath=" + dir.Path().string() +
                        "\r\nActualLanguage=English\r\n[Languages]\r\n";
    for (const auto& [name, file] : languages) {
        store += name + "=" + (dir / file).string() + "\r\n";
        WriteFileBytes(dir / file, "[Definitions]\r\nOvkLanguage=" + name +
                                       "\r\n[Caption]\r\nOpen=" + name + " open\r\nSave=" + name +
                                       " save\r\n");
    }
    WriteFileBytes(settings, store);

    const int rounds = EnvironmentNumber("TAVREL_CONCURRENT_ROUNDS", 30);
    const std::vector<int> ids{1, 2, 3, 4}; // 1 the editor, 2 to 4 applications
    const fs::path stop = logs / "stop";
    std::vector<std::string> readerArgs{WorkerPath(), "reader", settings.string(),
                                        dir.Path().string(), stop.string()};
    for (int id : ids)
        readerArgs.push_back(std::to_string(id));
    std::vector<std::unique_ptr<Child>> readers, writers;
    for (int r = 0; r < 2; ++r)
        readers.push_back(std::make_unique<Child>(readerArgs, logs / ("reader" + std::to_string(r)),
                                                  logs / "reader-errors"));
    const auto started = std::chrono::steady_clock::now();
    for (int id : ids) {
        writers.push_back(std::make_unique<Child>(
            std::vector<std::string>{WorkerPath(), id == 1 ? "editor" : "app", settings.string(),
                                     dir.Path().string(), std::to_string(id),
                                     std::to_string(rounds)},
            logs / "writers", logs / "writer-errors"));
    }
    for (auto& writer : writers) {
        int status = -1;
        ASSERT_TRUE(writer->WaitFor(180s, status)) << "a writer hangs";
        EXPECT_EQ(status, 0);
    }
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    WriteFileBytes(stop, "");
    for (auto& reader : readers) {
        int status = -1;
        ASSERT_TRUE(reader->WaitFor(60s, status)) << "a reader hangs";
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(ReadFileBytes(logs / "writer-errors"), "");
    EXPECT_EQ(ReadFileBytes(logs / "reader-errors"), "");
    for (int r = 0; r < 2; ++r) {
        const std::string out = ReadFileBytes(logs / ("reader" + std::to_string(r)));
        std::cout << "reader " << r << ": " << out;
        EXPECT_EQ(out.rfind("reads ", 0), 0u);
        EXPECT_NE(out, "reads 0\n") << "the reader never read";
    }
    std::cout << ids.size() << " writers x " << rounds << " rounds in " << seconds << " s\n";
    RecordProperty("writer_seconds", std::to_string(seconds));

    // Every write of every process is there.
    for (const auto& [name, file] : languages) {
        SCOPED_TRACE(file);
        ProfileFile dictionary(dir / file);
        for (int id : ids) {
            for (int round = 0; round < rounds; ++round) {
                const std::string value = PairValue(id, round);
                EXPECT_EQ(dictionary.ReadString(PairSection(id), RoundKey('A', round), ""), value);
                EXPECT_EQ(dictionary.ReadString(PairSection(id), RoundKey('B', round), ""), value);
                EXPECT_EQ(dictionary.ReadString(ProcSection(id), RoundKey('K', round), ""),
                          RoundKey('K', round));
            }
        }
        EXPECT_EQ(dictionary.ReadString("Definitions", "OvkLanguage", ""), name);
    }
    ProfileFile english(dir / "english.Lng");
    for (int round = 0; round < rounds; ++round)
        EXPECT_EQ(english.ReadString("Editor1", RoundKey('E', round), ""), PairValue(1, round));
    SettingsStore check(settings);
    ASSERT_TRUE(check.OpenKey());
    for (int id : ids) {
        for (int round = 0; round < rounds; ++round)
            EXPECT_EQ(check.ReadString(ProcSection(id), RoundKey('V', round), ""),
                      PairValue(id, round));
    }
    std::vector<std::string> names;
    EXPECT_TRUE(check.ReadSection("Languages", names));
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(TemporaryFiles(Snapshot(dir.Path())), std::vector<std::string>{});
    EXPECT_EQ(TemporaryFiles(Snapshot(config.Path())), std::vector<std::string>{});
}

} // namespace
} // namespace tavrel::test

// A separate process for the reliability tests: writers that a test kills at random
// moments, editor-like and application-like processes that write at the same time, and
// readers that check every state they see.
//
//   worker profile-kill FILE START           write states START+1, START+2... of FILE
//   worker settings-kill FILE START          write settings values START+1...
//   worker server-kill SETTINGS FOLDER START add the keys K<START+1>... to every dictionary
//   worker editor SETTINGS FOLDER ID ROUNDS  rounds of writes, as an editor makes them
//   worker app SETTINGS FOLDER ID ROUNDS     the same plus language switches with a client
//   worker reader SETTINGS FOLDER STOP IDS.. check every state seen until STOP exists
//
// Exit status: 0 done, 1 a reader saw a torn or incomplete state, 2 bad usage, 3 an error.

#include "ReliabilityClasses.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"
#include "WorkerProtocol.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace tavrel;
using namespace tavrel::reliability;
namespace fs = std::filesystem;

TLocalizeEnvironment Environment(const std::string& settings, const std::string& folder) {
    TLocalizeEnvironment env;
    env.SettingsFile = settings;
    env.DefaultFolder = folder;
    return env;
}

// Writes a whole state of the profile file in one UpdateFile.
void WriteKillState(const std::string& file, long state) {
    ProfileFile profile(file);
    profile.WriteString("Data", "Counter", std::to_string(state));
    for (int n = 0; n < kKillKeys; ++n)
        profile.WriteString("Data", KillKey(n), KillValue(state, n));
    profile.UpdateFile();
}

int ProfileKill(const std::string& file, long start) {
    for (long state = start + 1;; ++state)
        WriteKillState(file, state);
}

int SettingsKill(const std::string& file, long start) {
    SettingsStore store(file);
    if (!store.OpenKey())
        throw std::runtime_error("cannot open the settings store");
    for (long w = start + 1;; ++w)
        store.WriteString(kSettingsSection, SettingsSlotName(static_cast<int>(w % kSettingsSlots)),
                          SettingsSlotValue(w));
}

int ServerKill(const std::string& settings, const std::string& folder, long start) {
    TOvkLocalizeServer server(nullptr, Environment(settings, folder));
    for (long w = start + 1;; ++w)
        server.AddKeyToAll("Kill", ServerKillKey(w));
}

// Creates languages and rescans the folder, over and over, as a translator's tools would.
int CatalogueKill(const std::string& settings, const std::string& folder, long start) {
    TOvkLocalizeServer server(nullptr, Environment(settings, folder));
    for (long w = start + 1;; ++w) {
        server.NewLanguage("Lang" + std::to_string(w), nullptr);
        server.RefreshLanguages();
    }
}

// Rescans the folder `times` times, as a second editor or lngtool would.
int Refresh(const std::string& settings, const std::string& folder, long times) {
    TOvkLocalizeServer server(nullptr, Environment(settings, folder));
    for (long n = 0; n < times; ++n)
        server.RefreshLanguages();
    return 0;
}

// One round of a writing process; see WorkerProtocol.h.
void WriteRound(TOvkLocalizeServer& server, SettingsStore& store, int id, int round) {
    for (const auto& name : server.LanguageList().Names()) {
        ProfileFile dictionary(server.LanguageFileName(name));
        dictionary.WriteString(PairSection(id), RoundKey('A', round), PairValue(id, round));
        dictionary.WriteString(PairSection(id), RoundKey('B', round), PairValue(id, round));
        dictionary.UpdateFile();
    }
    server.AddKeyToAll(ProcSection(id), RoundKey('K', round));
    store.WriteString(ProcSection(id), RoundKey('V', round), PairValue(id, round));
}

int Writer(const std::string& settings, const std::string& folder, int id, int rounds,
           bool application) {
    auto server = std::make_unique<TOvkLocalizeServer>(nullptr, Environment(settings, folder));
    server->SetLoading();
    server->Loaded();
    SettingsStore store(settings);
    if (!store.OpenKey())
        throw std::runtime_error("cannot open the settings store");
    auto form = NewForm({"Open", "Save", "Close"});
    if (application) {
        server->SetActive(true);
        server->AddClient(*form);
    }
    const std::vector<std::string> languages{"English", "French"};
    for (int round = 0; round < rounds; ++round) {
        WriteRound(*server, store, id, round);
        if (application && round % 5 == 4) {
            // A switch rewrites the shared reverse dictionary and stores the language; the
            // texts come back through this process's own map, whatever the others switch.
            const std::string& language = languages[static_cast<std::size_t>(round / 5) % 2];
            server->SetLanguage(language);
            const std::vector<std::string> expected{language + " open", language + " save",
                                                    "Close"};
            for (int i = 0; i < form->ComponentCount(); ++i) {
                const auto& shown = static_cast<TLabel*>(form->Components(i))->caption;
                if (shown != expected[static_cast<std::size_t>(i)])
                    throw std::runtime_error("after the switch to " + language + " a label shows " +
                                             shown);
            }
        } else if (!application) {
            server->WriteValue("Editor" + std::to_string(id), RoundKey('E', round),
                               PairValue(id, round));
        }
    }
    server->RemoveClient(*form);
    return 0;
}

// The rounds a section shows for keys starting with `letter`, checked to be 0..n-1.
bool RoundsArePrefix(const std::vector<std::string>& keys, char letter, int& count) {
    std::set<int> rounds;
    for (const auto& key : keys) {
        if (!key.empty() && key[0] == letter)
            rounds.insert(std::stoi(key.substr(1)));
    }
    count = static_cast<int>(rounds.size());
    return rounds.empty() || (*rounds.begin() == 0 && *rounds.rbegin() == count - 1);
}

int Reader(const std::string& settings, const std::string& folder, const std::string& stop,
           const std::vector<int>& ids) {
    long reads = 0;
    auto violation = [&](const std::string& what) {
        std::cerr << "torn or incomplete state after " << reads << " reads: " << what << '\n';
        return 1;
    };
    while (!fs::exists(stop)) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 4 && name.substr(name.size() - 4) == ".Lng" &&
                name != "OvkOponent.Lng" && name[0] != '.')
                files.push_back(entry.path());
        }
        for (const auto& file : files) {
            ProfileFile dictionary(file);
            dictionary.Hold(); // one state of the file for all checks
            if (dictionary.ReadString("Definitions", "OvkLanguage", "").empty())
                return violation(file.string() + " lost its language entry");
            for (int id : ids) {
                std::vector<std::string> keys;
                dictionary.ReadAllKeys(PairSection(id), keys);
                int as = 0, bs = 0, ks = 0;
                if (!RoundsArePrefix(keys, 'A', as) || !RoundsArePrefix(keys, 'B', bs) || as != bs)
                    return violation(file.string() + " has incomplete pairs of process " +
                                     std::to_string(id));
                for (int round = 0; round < as; ++round) {
                    const std::string value = PairValue(id, round);
                    if (dictionary.ReadString(PairSection(id), RoundKey('A', round), "") != value ||
                        dictionary.ReadString(PairSection(id), RoundKey('B', round), "") != value)
                        return violation(file.string() + " has a wrong pair value");
                }
                dictionary.ReadAllKeys(ProcSection(id), keys);
                if (!RoundsArePrefix(keys, 'K', ks))
                    return violation(file.string() + " lost a key of process " +
                                     std::to_string(id));
            }
            ++reads;
        }
        SettingsStore store(settings);
        if (!store.OpenKey())
            return violation("the settings store cannot be opened");
        std::vector<std::string> names;
        if (!store.ReadSection("Languages", names) || names.size() < 3)
            return violation("the settings store lost its languages");
        for (int id : ids) {
            names.clear();
            store.ReadSection(ProcSection(id), names);
            int vs = 0;
            if (!RoundsArePrefix(names, 'V', vs))
                return violation("the settings store lost a value of process " +
                                 std::to_string(id));
        }
        ++reads;
    }
    std::cout << "reads " << reads << '\n';
    return 0;
}

long Number(const std::string& text) {
    std::size_t used = 0;
    const long n = std::stol(text, &used);
    if (used != text.size())
        throw std::invalid_argument("not a number: " + text);
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        const std::string mode = args.empty() ? "" : args[0];
        if (mode == "profile-kill" && args.size() == 3)
            return ProfileKill(args[1], Number(args[2]));
        if (mode == "settings-kill" && args.size() == 3)
            return SettingsKill(args[1], Number(args[2]));
        if (mode == "server-kill" && args.size() == 4)
            return ServerKill(args[1], args[2], Number(args[3]));
        if (mode == "refresh" && args.size() == 4)
            return Refresh(args[1], args[2], Number(args[3]));
        if (mode == "catalogue-kill" && args.size() == 4)
            return CatalogueKill(args[1], args[2], Number(args[3]));
        if ((mode == "editor" || mode == "app") && args.size() == 5)
            return Writer(args[1], args[2], static_cast<int>(Number(args[3])),
                          static_cast<int>(Number(args[4])), mode == "app");
        if (mode == "reader" && args.size() >= 4) {
            std::vector<int> ids;
            for (std::size_t i = 4; i < args.size(); ++i)
                ids.push_back(static_cast<int>(Number(args[i])));
            return Reader(args[1], args[2], args[3], ids);
        }
    } catch (const std::exception& e) {
        std::cerr << "worker: " << e.what() << '\n';
        return 3;
    }
    std::cerr << "usage: see the head of Worker.cpp\n";
    return 2;
}

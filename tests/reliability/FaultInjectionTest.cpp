// Every writing operation, run once cleanly to count its system calls, then once more for
// every call of every step with that call made to fail. After each failure:
//  - every file on disk equals what the writes that completed left in it, byte for byte
//    (each file is its old or its new content, never a mixture);
//  - no temporary file is left behind;
//  - the caller saw the error the operation reports (or none, where failures are ignored);
//  - running the operation again without the fault gives exactly the clean result.

#include "AtomicFile.h"
#include "FaultSeam.h"
#include "ReliabilityClasses.h"
#include "ReliabilitySupport.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/storage/FolderFile.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"
#include "TempDir.h"
#include "WriteTarget.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

namespace {

// What the writes of one run did, in order: a path and its new bytes, or nothing for a
// removal.
struct Event {
    std::filesystem::path path;
    std::optional<std::string> bytes;
};

std::mutex gEventsMutex;
std::vector<Event> gEvents;

void Record(Event event) {
    std::lock_guard lock(gEventsMutex);
    gEvents.push_back(std::move(event));
}

} // namespace

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using detail::AtomicWriteFault;
using detail::AtomicWriteStep;
using reliability::TLabel;

constexpr AtomicWriteStep kAllSteps[] = {
    AtomicWriteStep::CreateTemp, AtomicWriteStep::Write,  AtomicWriteStep::Sync,
    AtomicWriteStep::Rename,     AtomicWriteStep::Unlink, AtomicWriteStep::LockFolder,
    AtomicWriteStep::SyncFolder,
};

const char* StepName(AtomicWriteStep step) {
    switch (step) {
    case AtomicWriteStep::CreateTemp:
        return "CreateTemp";
    case AtomicWriteStep::Write:
        return "Write";
    case AtomicWriteStep::Sync:
        return "Sync";
    case AtomicWriteStep::Rename:
        return "Rename";
    case AtomicWriteStep::Unlink:
        return "Unlink";
    case AtomicWriteStep::LockFolder:
        return "LockFolder";
    case AtomicWriteStep::SyncFolder:
        return "SyncFolder";
    case AtomicWriteStep::Watch: // not a step of a write: reads fall back to stat()
        return "Watch";
    }
    return "?";
}

// The errors each step is tried with: a full disk at write, a read-only folder (as a
// permission or a file-system refusal) at creation, plain I/O errors everywhere.
std::vector<int> ErrorsOf(AtomicWriteStep step) {
    switch (step) {
    case AtomicWriteStep::CreateTemp:
        return {EIO, EACCES, EROFS, ENOSPC};
    case AtomicWriteStep::Write:
        return {ENOSPC, EIO};
    case AtomicWriteStep::Unlink:
        return {EACCES, EROFS};
    case AtomicWriteStep::LockFolder:
        return {EACCES, EIO};
    default:
        return {EIO};
    }
}

// A picture that writes its file the way the storage layer writes: atomically, through the
// fault seam, so the flag saves of the server are injected too.
class FakePicture final : public IPicture {
public:
    int Width() const override { return 16; }
    int Height() const override { return 16; }
    bool Empty() const override { return false; }
    void LoadFromFile(const fs::path& file) override { bytes_ = ReadFileBytes(file); }
    void SaveToFile(const fs::path& file) const override {
        try {
            detail::FolderLock lock(file.parent_path());
            detail::RemoveStaleTemporaries(file);
            detail::ReplaceFileAtomically(file, bytes_, std::nullopt);
        } catch (const std::exception& e) {
            throw EPictureError(std::string("Cannot save the picture: ") + e.what());
        }
    }
    std::string EncodeBitmap() const override { return bytes_; }
    void FloodFill(int, int, TColor, TColor) override {}
    std::unique_ptr<IPicture> Clone() const override {
        return std::make_unique<FakePicture>(*this);
    }

private:
    std::string bytes_ = "BM fake flag";
};

// The files of one run: a settings store and a dictionary folder with Default, English and
// French (English current), their flags and an old reverse dictionary.
struct World {
    TempDir root;
    fs::path settings = root / "config" / "Localize.ini";
    fs::path folder = root / "dict";
    fs::path defaultFile = folder / "OvkDefault.Lng";
    fs::path englishFile = folder / "english.Lng";
    fs::path frenchFile = folder / "french.Lng";
    fs::path reverseFile = folder / "OvkOponent.Lng";
    fs::path plainFile = folder / "plain.Lng";
    std::unique_ptr<TOvkLocalizeServer> server;
    std::unique_ptr<ProfileFile> profile;
    std::unique_ptr<TLabel> form;

    World() {
        fs::create_directories(settings.parent_path());
        fs::create_directories(folder);
        WriteFileBytes(settings, "[Others]\r\nDicPath=" + folder.string() +
                                     "\r\nActualLanguage=English\r\n[Languages]\r\nDefault=" +
                                     defaultFile.string() + "\r\nEnglish=" + englishFile.string() +
                                     "\r\nFrench=" + frenchFile.string() + "\r\n");
        WriteFileBytes(defaultFile, "[Definitions]\r\nOvkLanguage=Default\r\n[Caption]\r\n"
                                    "Open=Open\r\nSave=Save\r\n[Hint]\r\nOpen file=Open file\r\n");
        WriteFileBytes(englishFile, "; kept as it is\r\n[Definitions]\r\nOvkLanguage=English\r\n"
                                    "[Caption]\r\nOpen=Open\r\nSave=Save\r\n\r\n[Hint]\r\n");
        WriteFileBytes(frenchFile, "[Definitions]\nOvkLanguage=French\n[Caption]\nOpen=Ouvrir\n"
                                   "Save=Enregistrer\n[Hint]\nOpen file=Ouvrir un fichier\n");
        WriteFileBytes(reverseFile, "[Caption]\r\nStale=Old\r\n");
        WriteFileBytes(plainFile, "[S]\r\nk=old\r\n; comment\r\n[T]\r\nx=1\r\n");
        for (const char* flag : {"english.bmp", "french.bmp"})
            WriteFileBytes(folder / flag, "BM old flag");
    }

    TLocalizeEnvironment Environment() const {
        TLocalizeEnvironment env;
        env.SettingsFile = settings;
        env.DefaultFolder = root / "default";
        return env;
    }

    void StartServer() {
        server = std::make_unique<TOvkLocalizeServer>(nullptr, Environment());
        server->SetLoading();
        server->Loaded();
    }
};

// Where a fault hit, as the operation's caller knows it.
struct Hit {
    AtomicWriteStep step;
    int error;
    fs::path file;   // the file being written or removed
    fs::path folder; // its folder
    int call;        // which call of the step failed, from 1
};

Hit HitOf(AtomicWriteStep step, int error, const fs::path& target, int call) {
    Hit hit{step, error, target, target.parent_path(), call};
    switch (step) {
    case AtomicWriteStep::LockFolder:
    case AtomicWriteStep::SyncFolder:
        hit.folder = target;
        hit.file.clear();
        break;
    case AtomicWriteStep::Unlink:
        break;
    default: {
        // ".<name>.tmp-<pid>-<n>" names the file it replaces.
        const std::string temp = target.filename().string();
        const std::size_t tmp = temp.rfind(".tmp-");
        hit.file = target.parent_path() / temp.substr(1, tmp - 1);
    }
    }
    return hit;
}

struct Scenario {
    std::string name;
    std::function<void(World&)> setup;
    std::function<void(World&)> run;
    // The messages a failure at this hit may report; "" allows success. A message matches
    // exactly or followed by a reason in parentheses.
    std::function<std::vector<std::string>(const World&, const Hit&)> allowed;
    // Repeats the operation without faults; the result must equal the clean run's.
    std::function<void(World&)> retry;
    // Files a retry may leave beside the clean result (no longer reachable through it).
    std::vector<std::string> retryMayLeave = {};
};

std::string UnableToWrite(const fs::path& file) {
    return "Unable to write to " + file.string();
}

// Profile-file errors name the file; a failed folder lock names one of its files.
std::vector<std::string> ProfileErrors(const Hit& hit) {
    if (hit.step == AtomicWriteStep::SyncFolder)
        return {""};
    if (hit.step == AtomicWriteStep::LockFolder)
        return {UnableToWrite(hit.folder / "")};
    return {UnableToWrite(hit.file)};
}

bool Matches(const std::string& message, const std::string& allowed, AtomicWriteStep step) {
    if (allowed.empty())
        return message.empty();
    if (message == allowed)
        return true;
    if (step == AtomicWriteStep::LockFolder && allowed.back() == '/')
        return message.rfind(allowed, 0) == 0; // any file of that folder
    return message.rfind(allowed + " (", 0) == 0;
}

// The message of what an operation threw ("" for nothing).
std::string FaultMessageOf(const std::function<void()>& operation) {
    const std::string message = test::MessageOf(operation);
    return message == "<no exception>" ? std::string() : message;
}

// Routes the seam's observers of replacements and removals into the event log for one scope.
class EventLog {
public:
    EventLog() {
        {
            std::lock_guard lock(gEventsMutex);
            gEvents.clear();
        }
        detail::SetAtomicWriteObserver([](const fs::path& target, std::string_view bytes) {
            Record(Event{target, std::string(bytes)});
        });
        detail::SetRemovalObserver([](const fs::path& file) { Record(Event{file, std::nullopt}); });
    }
    ~EventLog() {
        detail::SetRemovalObserver(nullptr);
        detail::SetAtomicWriteObserver(nullptr);
        detail::SetAtomicWriteFaults({});
    }
    // The state the logged events make of `before`.
    static FolderState Apply(FolderState before, const fs::path& root) {
        std::lock_guard lock(gEventsMutex);
        for (const Event& event : gEvents) {
            const std::string name = event.path.lexically_relative(root).string();
            if (event.bytes)
                before[name] = *event.bytes;
            else
                before.erase(name);
        }
        return before;
    }
};

// The state with the run's own root folder written as "<root>", so that runs in different
// folders compare equal.
FolderState Portable(const FolderState& state, const fs::path& root) {
    const std::string from = root.string();
    FolderState out;
    for (auto [name, bytes] : state) {
        for (std::size_t at = 0; (at = bytes.find(from, at)) != std::string::npos;)
            bytes.replace(at, from.size(), "<root>");
        out.emplace(name, std::move(bytes));
    }
    return out;
}

struct CleanRun {
    FolderState before, after;
    std::map<AtomicWriteStep, int> calls;
};

CleanRun RunClean(const Scenario& scenario) {
    World world;
    scenario.setup(world);
    CleanRun clean;
    const fs::path root = world.root.Path();
    const FolderState before = Snapshot(root);
    clean.before = Portable(before, root);
    {
        EventLog log;
        detail::SetAtomicWriteFaults({}); // restarts the counts
        const std::string message = FaultMessageOf([&] { scenario.run(world); });
        EXPECT_EQ(message, "") << scenario.name << " fails without any fault";
        for (AtomicWriteStep step : kAllSteps)
            clean.calls[step] = detail::AtomicWriteCalls(step);
        EXPECT_EQ(Difference(EventLog::Apply(before, root), Snapshot(root)), "")
            << "the event log does not account for the clean run of " << scenario.name;
    }
    clean.after = Portable(Snapshot(root), root);
    EXPECT_EQ(TemporaryFiles(clean.after), std::vector<std::string>{});
    return clean;
}

// One faulted run; returns whether the fault hit.
bool RunFaulted(const Scenario& scenario, const CleanRun& clean,
                const std::vector<AtomicWriteFault>& faults, bool cleanupFails) {
    World world;
    scenario.setup(world);
    const fs::path root = world.root.Path();
    const FolderState before = Snapshot(root);
    EXPECT_EQ(Portable(before, root), clean.before);
    std::string message;
    fs::path target;
    FolderState expected;
    {
        EventLog log;
        detail::SetAtomicWriteFaults(faults);
        message = FaultMessageOf([&] { scenario.run(world); });
        target = detail::InjectedFaultTarget();
        detail::SetAtomicWriteFaults({});
        expected = EventLog::Apply(before, root);
    }
    if (target.empty())
        return false;
    const AtomicWriteFault& main = faults.front();
    const Hit hit = HitOf(main.step, main.error, target, main.call);
    const FolderState after = Snapshot(root);

    // Old or new, byte for byte: exactly what the completed writes left.
    EXPECT_EQ(Difference(expected, WithoutTemporaries(after)), "");
    if (main.step == AtomicWriteStep::SyncFolder) {
        EXPECT_EQ(Difference(clean.after, Portable(after, root)), "")
            << "a folder sync failure lost the write";
    }

    // The error the caller saw. With a failed cleanup the last hit is the temporary file,
    // which still names the file whose write failed.
    const auto allowed = scenario.allowed(world, hit);
    const bool ok = std::any_of(allowed.begin(), allowed.end(), [&](const std::string& a) {
        return Matches(message, a, main.step);
    });
    EXPECT_TRUE(ok) << "reported: \"" << message << "\"; fault target " << target;
    // Profile-file errors tell why, in the words of the system.
    if (message.rfind("Unable to write to ", 0) == 0 && main.step != AtomicWriteStep::Unlink) {
        EXPECT_NE(message.find(std::strerror(main.error)), std::string::npos) << message;
    }

    // Temporary files: none, unless their own removal was made to fail (and no later
    // write of the same file, such as the flush of a released profile file, removed it).
    const auto temps = TemporaryFiles(after);
    if (cleanupFails) {
        EXPECT_LE(temps.size(), 1u);
    } else {
        EXPECT_EQ(temps, std::vector<std::string>{});
    }

    // Nothing lost: the operation, repeated, reaches the clean result; the next writer of a
    // file also removes a temporary file left beside it.
    if (scenario.retry) {
        const std::string again = FaultMessageOf([&] { scenario.retry(world); });
        EXPECT_EQ(again, "");
        FolderState retried = Portable(Snapshot(root), root);
        for (const auto& name : scenario.retryMayLeave) {
            if (!clean.after.count(name))
                retried.erase(name);
        }
        EXPECT_EQ(Difference(clean.after, retried), "") << "after the retry";
    }
    return true;
}

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

class FaultInjection : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultInjection, EveryCallOfEveryStepFailsCleanly) {
    const Scenario& scenario = GetParam();
    const CleanRun clean = RunClean(scenario);
    int runs = 0;
    for (AtomicWriteStep step : kAllSteps) {
        for (int error : ErrorsOf(step)) {
            for (int call = 1; call <= clean.calls.at(step); ++call) {
                SCOPED_TRACE(std::string(StepName(step)) + " call " + std::to_string(call) +
                             " errno " + std::strerror(error));
                EXPECT_TRUE(
                    RunFaulted(scenario, clean, {AtomicWriteFault{step, call, error}}, false))
                    << "the fault did not hit";
                ++runs;
            }
        }
    }
    // A failed write whose temporary file cannot be removed either, for every write step.
    if (clean.calls.at(AtomicWriteStep::Unlink) == 0) {
        for (auto [step, error] :
             {std::pair{AtomicWriteStep::Write, ENOSPC}, std::pair{AtomicWriteStep::Sync, EIO},
              std::pair{AtomicWriteStep::Rename, EIO}}) {
            SCOPED_TRACE(std::string(StepName(step)) + " and the cleanup after it");
            EXPECT_TRUE(RunFaulted(scenario, clean,
                                   {AtomicWriteFault{step, 1, error},
                                    AtomicWriteFault{AtomicWriteStep::Unlink, 1, EACCES}},
                                   true));
            ++runs;
        }
    }
    EXPECT_GT(clean.calls.at(AtomicWriteStep::CreateTemp), 0) << "the operation wrote nothing";
    RecordProperty("faulted_runs", runs);
}

// ---------------------------------------------------------------------------------------
// The operations

std::vector<std::string> NoError(const World&, const Hit&) {
    return {""};
}

void NoSetup(World&) {}

std::vector<Scenario> Scenarios() {
    std::vector<Scenario> list;

    // ProfileFile: a changed key, a new key, a new section, then UpdateFile.
    list.push_back({"ProfileWriteString",
                    [](World& w) { w.profile = std::make_unique<ProfileFile>(w.plainFile); },
                    [](World& w) {
                        w.profile->WriteString("S", "k", "new");
                        w.profile->WriteString("S", "added", "a");
                        w.profile->WriteString("New", "n", "1");
                        w.profile->UpdateFile();
                    },
                    [](const World&, const Hit& hit) { return ProfileErrors(hit); },
                    [](World& w) { w.profile->UpdateFile(); }}); // the kept changes are written now
    // The first write creates the file.
    list.push_back(
        {"ProfileCreateFile",
         [](World& w) { w.profile = std::make_unique<ProfileFile>(w.folder / "new.Lng"); },
         [](World& w) {
             w.profile->WriteString("S", "k", "v");
             w.profile->UpdateFile();
         },
         [](const World&, const Hit& hit) { return ProfileErrors(hit); },
         [](World& w) { w.profile->UpdateFile(); }});
    list.push_back({"ProfileEraseSection",
                    [](World& w) { w.profile = std::make_unique<ProfileFile>(w.plainFile); },
                    [](World& w) {
                        w.profile->EraseSection("S");
                        w.profile->UpdateFile();
                    },
                    [](const World&, const Hit& hit) { return ProfileErrors(hit); },
                    [](World& w) { w.profile->UpdateFile(); }});

    // Settings store: a value of an existing section, the first value of a new section, and
    // erasing a section (whose failure is ignored).
    auto storeWrite = [](std::string section, std::string name) {
        return [section, name](World& w) {
            SettingsStore store(w.settings);
            ASSERT_TRUE(store.OpenKey());
            store.WriteString(section, name, "new value");
        };
    };
    list.push_back({"SettingsWriteValue", NoSetup, storeWrite("Others", "DicPath"),
                    [](const World&, const Hit& hit) -> std::vector<std::string> {
                        if (hit.step == AtomicWriteStep::SyncFolder)
                            return {""};
                        return {"Failed to set data for 'DicPath'"};
                    },
                    storeWrite("Others", "DicPath")});
    list.push_back({"SettingsCreateSection", NoSetup, storeWrite("Window", "Left"),
                    [](const World&, const Hit& hit) -> std::vector<std::string> {
                        if (hit.step == AtomicWriteStep::SyncFolder)
                            return {""};
                        return {"Failed to create key Window"};
                    },
                    storeWrite("Window", "Left")});
    auto storeErase = [](World& w) {
        SettingsStore store(w.settings);
        ASSERT_TRUE(store.OpenKey());
        store.EraseSection("Languages");
    };
    list.push_back({"SettingsEraseSection", NoSetup, storeErase, NoError, storeErase});

    // The server's writing operations.
    auto startServer = [](World& w) { w.StartServer(); };
    auto dictionaryErrors = [](const World&, const Hit& hit) { return ProfileErrors(hit); };

    // NewLanguage swallows every failure of its own steps by design.
    auto newLanguage = [](World& w) {
        FakePicture flag;
        w.server->NewLanguage("german", &flag);
    };
    // The dictionary is written whole before the store names it; a failure of either (or of
    // the flag) is reported, and a dictionary the store could not name is removed again.
    list.push_back({"ServerNewLanguage", startServer, newLanguage,
                    [](const World&, const Hit& hit) {
                        std::vector<std::string> allowed = ProfileErrors(hit);
                        allowed.insert(allowed.end(), {"Failed to set data for 'German'",
                                                       "Failed to create key Languages"});
                        return allowed;
                    },
                    newLanguage});

    // DeleteLanguage reports a dictionary that stays (a flag that stays is a leftover); the
    // rescan after it replaces the catalogue in one write.
    auto deleteLanguage = [](World& w) { w.server->DeleteLanguage("French"); };
    list.push_back({"ServerDeleteLanguage",
                    startServer,
                    deleteLanguage,
                    [](const World& w, const Hit& hit) -> std::vector<std::string> {
                        if (hit.step == AtomicWriteStep::SyncFolder)
                            return {""};
                        return {"", "Unable to remove " + (w.folder / "french.Lng").string(),
                                "Failed to create key Languages"};
                    },
                    deleteLanguage,
                    // The flag whose deletion failed, once the dictionary is gone: the language is
                    // no longer known, so nothing deletes it any more.
                    {"dict/french.bmp"}});

    auto addKey = [](World& w) { w.server->AddKeyToAll("Hint", "Print"); };
    list.push_back({"ServerAddKeyToAll", startServer, addKey, dictionaryErrors, addKey});

    auto addSection = [](World& w) { w.server->AddKeyToAll("Tips", ""); };
    list.push_back(
        {"ServerAddSectionToAll", startServer, addSection, dictionaryErrors, addSection});

    auto deleteSection = [](World& w) { w.server->DeleteSectionFromAll("Caption"); };
    list.push_back({"ServerDeleteSectionFromAll", startServer, deleteSection, dictionaryErrors,
                    deleteSection});

    // Deleting a key ignores failures by design.
    auto deleteKey = [](World& w) { w.server->DeleteKeyFromAll("Caption", "Save"); };
    list.push_back({"ServerDeleteKeyFromAll", startServer, deleteKey, NoError, deleteKey});

    auto writeValue = [](World& w) { w.server->WriteValue("Caption", "Open", "Open..."); };
    list.push_back({"ServerWriteValue", startServer, writeValue, dictionaryErrors, writeValue});

    // A language switch with a client: the old reverse dictionary is removed under the
    // folder's lock, the switch's first lock (a failed removal is no error), the new one
    // written section by section, then the language stored. Repeating the switch maps
    // through another language, so there is no retry.
    list.push_back({"ServerLanguageSwitch",
                    [](World& w) {
                        w.StartServer();
                        w.server->SetActive(true);
                        w.form = reliability::NewForm({"Open", "Save", "Close"});
                        w.server->AddClient(*w.form);
                    },
                    [](World& w) { w.server->SetLanguage("French"); },
                    [](const World& w, const Hit& hit) -> std::vector<std::string> {
                        // The reverse dictionary is derived and written after the switch:
                        // its failure is reported with the switch done.
                        if (hit.step == AtomicWriteStep::Unlink ||
                            hit.step == AtomicWriteStep::SyncFolder)
                            return {""};
                        if (hit.file == w.settings || hit.folder == w.settings.parent_path())
                            return {"Failed to set data for 'ActualLanguage'"};
                        return ProfileErrors(hit);
                    },
                    nullptr});
    return list;
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultInjection, ::testing::ValuesIn(Scenarios()),
                         [](const auto& p) { return p.param.name; });

// ---------------------------------------------------------------------------------------
// Temporary files of killed writers

TEST(StaleTemporaries, OnlyTheTargetsOwnAreRecognised) {
    struct Case {
        const char* name;
        bool temporary;
    };
    const fs::path target = "/x/a.Lng";
    for (const Case c :
         {Case{".a.Lng.tmp-123-0", true}, Case{".a.Lng.tmp-1-99", true}, Case{".a.Lng.tmp-", false},
          Case{".a.Lng.tmp-12", false}, Case{".a.Lng.tmp-12-", false},
          Case{".a.Lng.tmp-x-1", false}, Case{".a.Lng.tmp-1-2.bak", false},
          Case{"a.Lng.tmp-1-2", false}, Case{".b.Lng.tmp-1-2", false}, Case{".a.Lng", false},
          Case{".A.lng.tmp-1-2", false}})
        EXPECT_EQ(detail::IsTemporaryFor(c.name, target), c.temporary) << c.name;
}

TEST(StaleTemporaries, TheNextWriterRemovesThoseOfItsTargetOnly) {
    TempDir dir;
    const fs::path file = dir / "a.Lng";
    WriteFileBytes(file, "[S]\r\nk=1\r\n");
    const std::vector<std::string> stale{".a.Lng.tmp-99999-0", ".a.Lng.tmp-1-7"};
    const std::vector<std::string> kept{".a.Lng.tmp-notes", ".b.Lng.tmp-5-5", "a.Lng.tmp-1-2",
                                        ".a.Lng.bak"};
    for (const auto& name : stale)
        WriteFileBytes(dir / name, "[S]\r\nk=half");
    for (const auto& name : kept)
        WriteFileBytes(dir / name, "other");

    ProfileFile reader(file);
    EXPECT_EQ(reader.ReadString("S", "k", ""), "1"); // reading removes nothing
    for (const auto& name : stale)
        EXPECT_TRUE(fs::exists(dir / name)) << name;

    ProfileFile writer(file);
    writer.WriteString("S", "k", "2");
    writer.UpdateFile();
    for (const auto& name : stale)
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    for (const auto& name : kept)
        EXPECT_EQ(ReadFileBytes(dir / name), "other") << name;
    EXPECT_EQ(ReadFileBytes(file), "[S]\r\nk=2\r\n");
}

TEST(StaleTemporaries, TheSettingsStoreRemovesItsOwnToo) {
    TempDir dir;
    const fs::path file = dir / "Localize.ini";
    WriteFileBytes(dir / ".Localize.ini.tmp-4242-3", "[Others]\r\n");
    SettingsStore store(file);
    ASSERT_TRUE(store.OpenKey());
    store.WriteString("Others", "DicPath", "/d");
    EXPECT_EQ(Snapshot(dir.Path()), (FolderState{{"Localize.ini", "[Others]\r\nDicPath=/d\r\n"}}));
}

TEST(StaleTemporaries, AWriteThatChangesNothingStillCleansUp) {
    TempDir dir;
    const fs::path file = dir / "a.Lng";
    WriteFileBytes(file, "[S]\r\nk=1\r\n");
    WriteFileBytes(dir / ".a.Lng.tmp-1-1", "x");
    ProfileFile writer(file);
    writer.WriteString("S", "k", "2");
    writer.WriteString("S", "k", "1"); // back to what is stored
    writer.UpdateFile();
    EXPECT_EQ(Snapshot(dir.Path()), (FolderState{{"a.Lng", "[S]\r\nk=1\r\n"}}));
}

TEST(FaultSeam, CountsCallsAndFailsOnlyTheChosenOne) {
    TempDir dir;
    detail::SetAtomicWriteFault(AtomicWriteFault{AtomicWriteStep::Rename, 2, EXDEV});
    ProfileFile a(dir / "a.Lng"), b(dir / "b.Lng");
    a.WriteString("S", "k", "1");
    b.WriteString("S", "k", "1");
    EXPECT_NO_THROW(a.UpdateFile());
    const std::string message = FaultMessageOf([&] { b.UpdateFile(); });
    EXPECT_EQ(detail::AtomicWriteCalls(AtomicWriteStep::Rename), 2);
    EXPECT_EQ(detail::AtomicWriteCalls(AtomicWriteStep::CreateTemp), 2);
    EXPECT_TRUE(
        detail::IsTemporaryFor(detail::InjectedFaultTarget().filename().string(), dir / "b.Lng"));
    detail::SetAtomicWriteFault(std::nullopt);
    EXPECT_EQ(detail::AtomicWriteCalls(AtomicWriteStep::Rename), 0);
    EXPECT_EQ(message.rfind(UnableToWrite(dir / "b.Lng") + " (", 0), 0u) << message;
    EXPECT_NE(message.find(std::strerror(EXDEV)), std::string::npos) << message;
    EXPECT_EQ(Snapshot(dir.Path()), (FolderState{{"a.Lng", "[S]\r\nk=1\r\n"}}));
}

// A derived file is replaced as atomically as any other, without waiting for the disk;
// every other write still syncs the file and its folder.
TEST(FaultSeam, OnlyCachedWritesSkipTheSyncs) {
    struct Case {
        WriteDurability durability;
        int syncs;
    };
    for (const Case c : {Case{WriteDurability::Synced, 1}, Case{WriteDurability::Cached, 0}}) {
        TempDir dir;
        detail::SetAtomicWriteFaults({}); // restarts the counts
        WriteFolderFile(dir / "derived.Lng", "[S]\r\nk=v\r\n", c.durability);
        EXPECT_EQ(detail::AtomicWriteCalls(AtomicWriteStep::Sync), c.syncs);
        EXPECT_EQ(detail::AtomicWriteCalls(AtomicWriteStep::SyncFolder), c.syncs);
        EXPECT_EQ(detail::AtomicWriteCalls(AtomicWriteStep::Rename), 1);
        EXPECT_EQ(Snapshot(dir.Path()), (FolderState{{"derived.Lng", "[S]\r\nk=v\r\n"}}));
    }
}

// ---------------------------------------------------------------------------------------
// Where writes go: the catalogue in one write, links, a held folder lock.

TEST(FolderWrites, ARescanReplacesTheCatalogueInOneWrite) {
    World world;
    world.StartServer();
    WriteFileBytes(world.folder / "dansk.lng", "[Definitions]\r\nOvkLanguage=Dansk\r\n");
    std::vector<std::string> stores;
    detail::SetAtomicWriteObserver([&](const fs::path& target, std::string_view bytes) {
        if (target == world.settings)
            stores.emplace_back(bytes);
    });
    world.server->RefreshLanguages();
    detail::SetAtomicWriteObserver(nullptr);
    // Never an erased or half-built catalogue in between: the one write holds all of it.
    ASSERT_EQ(stores.size(), 1u);
    for (const char* name : {"Dansk=", "Default=", "English=", "French="})
        EXPECT_NE(stores[0].find(name), std::string::npos) << name;
}

// A link the writer made keeps the dictionary shared; one another user planted is refused;
// a hard-linked file is rewritten in place where only the writer can have linked it.
TEST(FolderWrites, LinksTheWriterMadeStaySharedPlantedOnesAreRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    struct Case {
        const char* name;
        bool symbolic;
        uid_t owner;       // of the link
        bool sharedFolder; // writable by others (with the sticky bit)
        const char* expectedError;
        bool sharedAfter; // the other name sees the write
    };
    const std::vector<Case> cases{
        {"own symbolic link", true, ::geteuid(), true, nullptr, true},
        {"planted symbolic link", true, 54321, true, "the file is a link made by another user",
         false},
        {"hard link, private folder", false, ::geteuid(), false, nullptr, true},
        {"hard link, shared folder", false, ::geteuid(), true, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir, elsewhere;
        const fs::path shared = elsewhere / "shared.Lng", link = dir / "link.Lng";
        WriteFileBytes(shared, "[Definitions]\r\nOvkLanguage=Shared\r\n[S]\r\nk=old\r\n");
        if (c.symbolic) {
            fs::create_symlink(shared, link);
            ASSERT_EQ(::lchown(link.c_str(), c.owner, c.owner), 0);
        } else {
            fs::create_hard_link(shared, link);
        }
        if (c.sharedFolder)
            fs::permissions(dir.Path(), fs::perms::all | fs::perms::sticky_bit);
        ProfileFile writer(link);
        writer.WriteString("S", "k", "new");
        const std::string message = FaultMessageOf([&] { writer.UpdateFile(); });
        writer.DiscardChanges();
        EXPECT_EQ(message, c.expectedError ? UnableToWrite(link) + " (" + c.expectedError + ")"
                                           : std::string());
        EXPECT_EQ(ProfileFile(shared).ReadString("S", "k", ""), c.sharedAfter ? "new" : "old");
        EXPECT_EQ(fs::is_symlink(link), c.symbolic);
        if (!c.expectedError) {
            EXPECT_EQ(ProfileFile(link).ReadString("S", "k", ""), "new");
        }
        EXPECT_EQ(Snapshot(dir.Path()).size() + Snapshot(elsewhere.Path()).size(),
                  c.symbolic ? 1u : 2u)
            << "no temporary file or journal left";
    }
}

// An in-place rewrite killed halfway leaves its journal: readers see the new content, and
// the next writer completes the rewrite before its own.
TEST(FolderWrites, AnInterruptedInPlaceRewriteIsCompletedFromItsJournal) {
    TempDir dir, elsewhere;
    const fs::path file = dir / "a.Lng";
    WriteFileBytes(file, "[S]\r\nk=new\r\nz=1\r\n");
    fs::create_hard_link(file, elsewhere / "b.Lng");
    WriteFileBytes(detail::JournalOf(file), "[S]\r\nk=new\r\nz=1\r\n");
    WriteFileBytes(file, "[S]\r\nk=ne"); // torn in place; the journal holds the whole file
    EXPECT_EQ(ProfileFile(file).ReadString("S", "z", ""), "1");
    ProfileFile writer(file);
    writer.WriteString("S", "w", "2");
    writer.UpdateFile();
    EXPECT_EQ(ReadFileBytes(elsewhere / "b.Lng"), "[S]\r\nk=new\r\nz=1\r\nw=2\r\n");
    EXPECT_FALSE(fs::exists(detail::JournalOf(file)));
}

TEST(FolderWrites, AHeldFolderLockFailsAWriterAfterABoundedWaitNamingTheHolder) {
    TempDir dir;
    const fs::path file = dir / "a.Lng";
    const int holder = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    ProfileFile writer(file);
    writer.WriteString("S", "k", "v");
    const auto start = std::chrono::steady_clock::now();
    const std::string message = FaultMessageOf([&] { writer.UpdateFile(); });
    const auto waited = std::chrono::steady_clock::now() - start;
    ::close(holder);
    EXPECT_EQ(message.rfind(UnableToWrite(file) + " (the folder " + dir.Path().string() +
                                " is locked by process " + std::to_string(::getpid()) + " (",
                            0),
              0u)
        << message;
    EXPECT_NE(message.find("); gave up after 5 s)"), std::string::npos) << message;
    EXPECT_GE(waited, detail::kFolderLockPatience);
    // Once the lock is free, the kept change is written.
    writer.UpdateFile();
    EXPECT_EQ(ProfileFile(file).ReadString("S", "k", ""), "v");
}

} // namespace
} // namespace tavrel::test

// Input nobody should write but someone will: strangers' files in a shared dictionary
// folder, enormous dictionaries and lines, a folder that is a file or cannot be entered,
// language names full of separators and control characters, a settings store edited by hand
// into nonsense. Each gives a clear error or is skipped, in bounded memory, without a crash,
// and nothing else is changed or lost. Driven through the server and through lngtool.

#include "ReliabilitySupport.h"
#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/storage/ProfileFile.h"
#include "TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kBigDictionaryBytes = std::size_t{24} << 20;
#else
constexpr std::size_t kBigDictionaryBytes = std::size_t{100} << 20;
#endif

struct ToolRun {
    int status = -1;
    std::string out, err;
    long peakKiB = 0;
    double seconds = 0;
};

std::string RandomBytes(std::size_t size, unsigned seed, bool withNul) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        const auto b = static_cast<unsigned char>(random());
        c = static_cast<char>(withNul || b != 0 ? b : '\n');
    }
    return bytes;
}

// A dictionary folder and a settings store of their own; lngtool runs inherit both through
// the per-user folders.
class BadInput : public ::testing::Test {
protected:
    ScopedUserFolders folders;
    TempDir root, scratch;
    fs::path dict = root / "dict";

    void SetUp() override { fs::create_directories(dict); }

    TLocalizeEnvironment Environment() const {
        TLocalizeEnvironment env;
        env.SettingsFile = folders.SettingsFile();
        env.DefaultFolder = folders.DataHome() / "Tavrel" / "Localize";
        return env;
    }

    std::unique_ptr<TOvkLocalizeServer> Server() const {
        auto server = std::make_unique<TOvkLocalizeServer>(nullptr, Environment());
        server->SetLoading();
        server->Loaded();
        return server;
    }

    std::unique_ptr<TOvkLocalizeServer> ServerOnFolder() const {
        auto server = Server();
        server->SetDicPath(dict.string());
        server->RefreshLanguages();
        return server;
    }

    ToolRun Lngtool(std::vector<std::string> args, const std::vector<std::string>& prefix = {}) {
        std::vector<std::string> argv = prefix;
        argv.push_back(LNGTOOL_PATH);
        argv.insert(argv.end(), args.begin(), args.end());
        const fs::path out = scratch / "out", err = scratch / "err";
        fs::remove(out);
        fs::remove(err);
        const auto start = std::chrono::steady_clock::now();
        Child child(argv, out, err);
        ToolRun run;
        EXPECT_TRUE(child.WaitFor(300s, run.status)) << "lngtool hangs";
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.peakKiB = child.PeakKiB();
        run.out = fs::exists(out) ? ReadFileBytes(out) : "";
        run.err = fs::exists(err) ? ReadFileBytes(err) : "";
        return run;
    }

    void WriteDictionary(const std::string& name, const std::string& language,
                         const std::string& body = "") const {
        WriteFileBytes(dict / name, "[Definitions]\r\nOvkLanguage=" + language + "\r\n" + body);
    }
};

// A clear error: one line, from lngtool, and no crash.
void ExpectCleanFailure(const ToolRun& run, const std::string& start) {
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err.rfind("lngtool: " + start, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

// ---------------------------------------------------------------------------------------

TEST_F(BadInput, StrangersFilesInTheFolderAreSkippedAndNeverChanged) {
    WriteDictionary("english.lng", "English", "[Caption]\r\nOpen=Open\r\n");
    const std::string strange = "../../etc/Str\x01nge";
    WriteDictionary("strange.lng", strange);
    const std::map<std::string, std::string> strangers{
        {"garbage.lng", RandomBytes(64 << 10, 1, true)},
        {"noise.lng", RandomBytes(64 << 10, 2, false)},
        {"ff.LNG", std::string(4096, '\xFF')},
        {"empty.lng", ""},
        {"breaks.lng", "\r\n\r\n\r"},
        {"nul-inside.lng", "[Definitions]\r\nOvkLanguage=Ghost\r\n\0x"s},
        {"utf16.lng", "\xFF\xFE[\0D\0e\0f\0]\0"s},
        {"headers.lng", "[[[[[\r\n]]]]\r\n[Definitions\r\nOvkLanguage=Unclosed\r\n=\r\n==\r\n"},
    };
    for (const auto& [name, bytes] : strangers)
        WriteFileBytes(dict / name, bytes);
    fs::create_directory(dict / "folder.lng");
    ASSERT_EQ(::mkfifo((dict / "fifo.lng").c_str(), 0644), 0);
    fs::create_symlink("loop.lng", dict / "loop.lng");
    fs::create_symlink("missing.lng", dict / "dangling.lng");
    const FolderState before = Snapshot(dict);

    // A name holding a control character is no language's name: that file is skipped too.
    auto server = ServerOnFolder();
    EXPECT_EQ(server->LanguageList().Names(), (std::vector<std::string>{"English"}));
    server->SetLanguage("English");
    server->AddKeyToAll("Caption", "Print");
    std::vector<std::string> sections;
    server->ReadSectionNames(sections);
    EXPECT_EQ(sections, (std::vector<std::string>{"Definitions", "Caption"}));

    // The strangers are as they were; only the dictionary got the new key.
    FolderState after = Snapshot(dict);
    for (const auto& [name, bytes] : strangers)
        EXPECT_EQ(after[name], bytes) << name;
    EXPECT_NE(after["english.lng"], before.at("english.lng"));
    EXPECT_EQ(after["strange.lng"], before.at("strange.lng"));
    EXPECT_EQ(after.size(), before.size());
    EXPECT_TRUE(fs::is_fifo(dict / "fifo.lng"));
    EXPECT_TRUE(fs::is_directory(dict / "folder.lng"));

    const ToolRun run = Lngtool({"refresh"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
}

TEST_F(BadInput, AHundredMegabyteDictionaryWorksInBoundedMemory) {
    std::string big = "[Definitions]\r\nOvkLanguage=Big\r\n[Caption]\r\n";
    big.reserve(kBigDictionaryBytes + 100);
    long keys = 0;
    for (int n = 0; big.size() < kBigDictionaryBytes; ++n, ++keys) {
        char line[64];
        std::snprintf(line, sizeof line, "K%08d=Value of key %08d, translated\r\n", n, n);
        big += line;
    }
    WriteFileBytes(dict / "big.lng", big);
    const double mib = static_cast<double>(big.size()) / (1 << 20);

    std::vector<std::pair<std::string, ToolRun>> runs;
    runs.emplace_back("folder (rescan)", Lngtool({"folder", dict.string()}));
    runs.emplace_back("get", Lngtool({"--language", "Big", "get", "Caption", "K00000042"}));
    runs.emplace_back("add-key", Lngtool({"add-key", "Caption", "Fresh"}));
    runs.emplace_back("keys", Lngtool({"--language", "Big", "keys", "Caption"}));
    for (const auto& [what, run] : runs) {
        EXPECT_EQ(run.status, 0) << what << ": " << run.err;
        std::cout << what << ": " << run.seconds << " s, peak " << run.peakKiB / 1024
                  << " MiB for a " << mib << " MiB dictionary\n";
        // The parsed copy, the new content and the file's bytes, with room to spare, and the
        // program itself: with Qt and the translators' format libraries about 60 MiB under
        // AddressSanitizer before it reads a byte.
        EXPECT_LT(static_cast<double>(run.peakKiB) / 1024, 8 * mib + 96) << what;
        RecordProperty(what.substr(0, what.find(' ')) + "_peak_mib",
                       std::to_string(run.peakKiB / 1024));
    }
    EXPECT_EQ(runs[1].second.out, "Value of key 00000042, translated\n");
    // The list of keys is complete (the new key included).
    EXPECT_EQ(std::count(runs[3].second.out.begin(), runs[3].second.out.end(), '\n'), keys + 1);
    EXPECT_EQ(ReadFileBytes(dict / "big.lng"), big + "Fresh=Fresh\r\n");
}

TEST_F(BadInput, MegabyteLinesAreCutWhereTheSystemCutsThem) {
    const std::string mega(1 << 20, 'm');
    WriteDictionary("english.lng", "English",
                    "[Caption]\r\nvalue=" + mega + "\r\n" + mega + "=key\r\n; " + mega + "\r\n" +
                        mega + "\r\n[" + mega + "]\r\nx=1\r\n");
    auto server = ServerOnFolder();
    server->SetLanguage("English");
    // Compared as flags: a failure must not print megabytes.
    EXPECT_TRUE(server->ReadValue("Caption", "value") == std::string(2047, 'm'));
    EXPECT_EQ(server->ReadValue("Caption", mega), "key");
    // The server's lists are complete: no name is cut where a block of names would end.
    // (The line of a megabyte without '=' is a key without a value, not listed.)
    std::vector<std::string> list;
    server->ReadSectionKeys("Caption", list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(list[1] == mega) << list[1].size();
    server->ReadSectionNames(list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].size(), mega.size());

    // Keys and sections of every dictionary are cut to 255 characters; values are not.
    server->AddKeyToAll(mega, mega);
    EXPECT_EQ(server->ReadValue(std::string(255, 'm'), std::string(255, 'm')),
              std::string(255, 'm'));
    server->WriteValue("Caption", "long", mega);
    EXPECT_TRUE(ProfileFile(dict / "english.lng").FindValue("Caption", "long") == mega);

    // A megabyte of text is no language name; a name of the longest length gets an
    // ordinary file name.
    EXPECT_EQ(MessageOf([&] { server->NewLanguage(mega, nullptr); }),
              "Invalid language name \"" + std::string(60, 'm') +
                  "…\": it is longer than 255 characters");
    const std::string longest(255, 'm');
    const fs::path file = server->NewLanguage(longest, nullptr);
    EXPECT_EQ(file.parent_path(), dict);
    EXPECT_LE(file.filename().string().size(), 255u);
    EXPECT_EQ(server->LanguageFileName(CapitalizeFirst(longest)), file.string());
}

TEST_F(BadInput, AFolderThatIsAFileIsRefusedWithAClearError) {
    const fs::path file = root / "not-a-folder";
    WriteFileBytes(file, "keep me");
    ExpectCleanFailure(Lngtool({"folder", file.string()}), "No such folder: ");

    // A store edited to name the file as the folder: the first run cannot create the Default
    // dictionary there and says so.
    fs::create_directories(folders.SettingsFile().parent_path());
    WriteFileBytes(folders.SettingsFile(), "[Others]\r\nDicPath=" + file.string() + "\r\n");
    ExpectCleanFailure(Lngtool({"languages"}), "Unable to write to " + file.string() +
                                                   "/OvkDefault.Lng (the folder does not exist)");
    EXPECT_EQ(ReadFileBytes(file), "keep me");
}

// As root, permission bits stop nothing: a folder without any permission is written all the
// same. What a user without rights sees is tried as the user nobody, where possible.
TEST_F(BadInput, AFolderWithoutPermissionsStopsNothingForRoot) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only meaningful as root";
    WriteDictionary("english.lng", "English");
    auto server = ServerOnFolder();
    fs::permissions(dict, fs::perms::none);
    server->SetLanguage("English");
    server->WriteValue("Caption", "Open", "Open");
    fs::permissions(dict, fs::perms::owner_all);
    EXPECT_EQ(ProfileFile(dict / "english.lng").ReadString("Caption", "Open", ""), "Open");
}

TEST_F(BadInput, AFolderWithoutPermissionsGivesAClearErrorToAUser) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv to run lngtool as the user nobody";
    // The user nobody must reach lngtool, the store and the folders.
    for (const fs::path& path : {fs::path(LNGTOOL_PATH).parent_path(), root.Path()}) {
        for (fs::path p = path; p != p.root_path(); p = p.parent_path()) {
            if ((fs::status(p).permissions() & fs::perms::others_exec) == fs::perms::none)
                GTEST_SKIP() << p << " cannot be entered by nobody";
        }
    }
    const std::vector<std::string> asNobody{"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                            "--clear-groups"};
    fs::permissions(folders.ConfigHome().parent_path(), fs::perms::all);
    fs::permissions(folders.ConfigHome(), fs::perms::all);
    fs::permissions(scratch.Path(), fs::perms::all);
    WriteDictionary("english.lng", "English", "[Caption]\r\nOpen=Open\r\n");
    fs::create_directories(folders.SettingsFile().parent_path());
    fs::permissions(folders.SettingsFile().parent_path(), fs::perms::all);
    WriteFileBytes(folders.SettingsFile(),
                   "[Others]\r\nDicPath=" + dict.string() + "\r\nActualLanguage=English\r\n" +
                       "[Languages]\r\nEnglish=" + (dict / "english.lng").string() + "\r\n");
    fs::permissions(folders.SettingsFile(), fs::perms::all);
    const FolderState before = Snapshot(dict);

    // Readable but not writable: reads work, writes fail and change nothing.
    fs::permissions(dict, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    ToolRun run = Lngtool({"get", "Caption", "Open"}, asNobody);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Open\n");
    run = Lngtool({"set", "Caption", "Open", "Ouvrir"}, asNobody);
    ExpectCleanFailure(run, "Unable to write to " + (dict / "english.lng").string() + " (");
    EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
    // A language that cannot be written is not made: the failure is said, nothing catalogued.
    run = Lngtool({"new", "Klingon"}, asNobody);
    ExpectCleanFailure(run, "Unable to write to " + dict.string() + "/OvkK4525NGONA.Lng (");
    EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
    run = Lngtool({"languages"}, asNobody);
    EXPECT_EQ(run.out, "English\t" + (dict / "english.lng").string() + "\n");

    // A settings folder that can be read but not written still serves every read; a write
    // names the store and the reason.
    const fs::path settingsFolder = folders.SettingsFile().parent_path();
    WriteFileBytes(folders.SettingsFile(),
                   "[Others]\r\nDicPath=" + dict.string() + "\r\nActualLanguage=Old\r\n" +
                       "[Languages]\r\nEnglish=" + (dict / "english.lng").string() + "\r\n");
    fs::permissions(settingsFolder,
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    run = Lngtool({"current"}, asNobody);
    EXPECT_EQ(run.out, "Old\n") << run.err;
    run = Lngtool({"languages"}, asNobody);
    EXPECT_EQ(run.out, "English\t" + (dict / "english.lng").string() + "\n") << run.err;
    run = Lngtool({"use", "English"}, asNobody);
    ExpectCleanFailure(run, "Failed to set data for 'ActualLanguage' (" +
                                folders.SettingsFile().string() + ": ");
    EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
    fs::permissions(settingsFolder, fs::perms::all);

    // Not even readable: the dictionary reads as empty, writes fail.
    fs::permissions(dict, fs::perms::owner_all);
    run = Lngtool({"get", "Caption", "Open"}, asNobody);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "\n");
    run = Lngtool({"add-key", "Caption", "Save"}, asNobody);
    ExpectCleanFailure(run, "Unable to write to " + (dict / "english.lng").string() +
                                " (the file cannot be read: Permission denied)");
    EXPECT_EQ(Snapshot(dict), before);
}

// Whatever a language is called, its files stay inside the dictionary folder with a name
// the file system accepts, and it can be deleted again.
TEST_F(BadInput, LanguageNamesWithSeparatorsDotsAndControlsStayInTheFolder) {
    WriteFileBytes(root / "outside.Lng", "[Definitions]\r\nOvkLanguage=Outside\r\n");
    auto server = ServerOnFolder();
    const std::vector<std::string> names{
        "../../escape",        "a/b\\c",     "..", ".", "x=y;[z]", "%00%2F",
        std::string(255, 'l'), "日本語/../x"};
    for (const auto& name : names) {
        SCOPED_TRACE(::testing::PrintToString(name));
        const fs::path file = server->NewLanguage(name, nullptr);
        EXPECT_EQ(file.parent_path(), dict);
        EXPECT_TRUE(fs::is_regular_file(file));
        EXPECT_LE(file.filename().string().size(), 255u);
        const std::string display = CapitalizeFirst(name);
        EXPECT_EQ(server->LanguageFileName(display), file.string());
        EXPECT_GE(server->LanguageList().IndexOf(display), 0);
        server->DeleteLanguage(display);
        EXPECT_FALSE(fs::exists(file));
    }

    // Names that could not be shown, selected or listed one per line are refused with the
    // reason, and nothing is written or catalogued.
    const std::string hidden = "it holds a control or invisible formatting character";
    const std::vector<std::pair<std::string, std::string>> refused{
        {"\x01\x02\x7F\x1B[0m", "\\x01\\x02\\x7F\\x1B[0m\": " + hidden},
        {"a\tb", "a\\tb\": " + hidden},
        {"two\nlines", "two\\nlines\": " + hidden},
        {"nul\0inside"s, "nul\\x00inside\": " + hidden},
        {"Eng\u00ADlish", "Eng\u00ADlish\": " + hidden}, // soft hyphen
        {"\u202E\u200F", "\u202E\u200F\": " + hidden},   // bidi controls
        {"\xFF\xFE\x80"s, "\xFF\xFE\x80\": it is not valid UTF-8"},
        {"", "\": it is empty"},
        {"   ", "   \": it is empty"},
        {" Lead", " Lead\": it starts or ends with a blank"},
        {" padded ", " padded \": it starts or ends with a blank"},
        {std::string(256, 'l'), std::string(60, 'l') + "…\": it is longer than 255 characters"},
        {"R&D", "R&D\": it holds '&', which menus take for a shortcut mark"},
        {"OPONENT", "OPONENT\": \"oponent\" is reserved for the reverse dictionary"},
    };
    const FolderState before = Snapshot(dict);
    for (const auto& [name, reason] : refused) {
        SCOPED_TRACE(::testing::PrintToString(name));
        EXPECT_EQ(MessageOf([&] { server->NewLanguage(name, nullptr); }),
                  "Invalid language name \"" + reason);
        EXPECT_EQ(Snapshot(dict), before);
        EXPECT_EQ(server->LanguageList().Names(), std::vector<std::string>{"Default"});
    }

    server->DeleteLanguage("../outside");
    EXPECT_EQ(Snapshot(root.Path()),
              (FolderState{{"outside.Lng", "[Definitions]\r\nOvkLanguage=Outside\r\n"},
                           {"dict/OvkDefault.Lng",
                            "\xEF\xBB\xBF[Definitions]\r\nOvkLanguage=Default\r\n"}}));

    // Through lngtool too.
    const ToolRun run = Lngtool({"new", "../../tool/escape"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fs::path(run.out.substr(0, run.out.size() - 1)).parent_path(), dict);
}

TEST_F(BadInput, KeysThatWouldReadBackAsSomethingElseAreRefused) {
    WriteDictionary("english.lng", "English", "[Caption]\r\nOpen=Open\r\n");
    auto server = ServerOnFolder();
    server->SetLanguage("English");
    const std::string before = ReadFileBytes(dict / "english.lng");
    struct Case {
        std::string section, key, value, reason;
    };
    const std::vector<Case> cases{
        {"Caption", "a=b", "x", "a key cannot contain '='"},
        {"Caption", "a\nb", "x", "a key cannot contain a line break or NUL"},
        {"Caption", "a\0b"s, "x", "a key cannot contain a line break or NUL"},
        {"Caption", ";comment", "x", "a key cannot start with ';'"},
        {"Caption", "[Header]", "x", "a key cannot look like a section header"},
        {"Caption", "[k", "see [1]", "a key cannot look like a section header"},
        {"Cap]tion", "k", "x", "a section name cannot contain ']'"},
        {"Caption", "k", "two\r\nlines", "a value cannot contain a line break or NUL"},
    };
    const std::string prefix = "Unable to write to " + (dict / "english.lng").string() + " (";
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.key));
        try {
            server->WriteValue(c.section, c.key, c.value);
            ADD_FAILURE() << "accepted";
        } catch (const EIniFileException& e) {
            EXPECT_EQ(std::string(e.what()), prefix + c.reason + ")");
        }
        if (c.value == "x") {
            EXPECT_THROW(server->AddKeyToAll(c.section, c.key), EIniFileException);
        }
    }
    EXPECT_EQ(ReadFileBytes(dict / "english.lng"), before);
    ExpectCleanFailure(Lngtool({"set", "Caption", "a=b", "x"}), prefix + "a key cannot");
}

// ---------------------------------------------------------------------------------------
// The settings store, edited by hand

TEST_F(BadInput, ASettingsStoreEditedIntoNonsenseGivesAClearErrorOrWorks) {
    WriteDictionary("english.lng", "English", "[Caption]\r\nOpen=Open\r\n");
    const std::string folderLine = "[Others]\r\nDicPath=" + dict.string() + "\r\n";
    struct Case {
        std::string name, bytes;
        int status;        // of "lngtool languages"
        std::string error; // start of the message when it fails
        bool storeKept;    // the store must not have been rewritten
    };
    const std::vector<Case> cases{
        {"binary", RandomBytes(8192, 3, true), 1, "Failed to create key Languages", true},
        {"noise", RandomBytes(8192, 4, false), 0, "", false},
        // A store saved as UTF-16 by a text editor is read and kept in UTF-16.
        {"utf16", "\xFF\xFE[\0O\0]\0"s, 0, "", false},
        {"empty name", folderLine + "[Languages]\r\nEnglish=\r\n", 0, "", true},
        {"file is a folder", folderLine + "[Languages]\r\nEnglish=" + dict.string() + "\r\n", 0, "",
         true},
        {"broken escapes", folderLine + "[Languages]\r\nEn%glish%=%4\r\n%ZZ=%%\r\n", 0, "", true},
        {"no equals", "[Languages\r\nEnglish\r\n===\r\n[]\r\n", 0, "", false},
        {"duplicates", folderLine + folderLine + "[Languages]\r\nA=1\r\nA=2\r\n[Languages]\r\n", 0,
         "", true},
        {"huge",
         folderLine + "[Languages]\r\n" +
             [] {
                 std::string many;
                 for (int i = 0; i < 5000; ++i)
                     many +=
                         "L" + std::to_string(i) + "=/nowhere/" + std::to_string(i) + ".lng\r\n";
                 return many;
             }(),
         0, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(folders.SettingsFile().parent_path());
        WriteFileBytes(folders.SettingsFile(), c.bytes);
        const ToolRun run = Lngtool({"languages"});
        if (c.status == 0) {
            EXPECT_EQ(run.status, 0) << run.err;
        } else {
            ExpectCleanFailure(run, c.error);
        }
        if (c.storeKept) {
            EXPECT_EQ(ReadFileBytes(folders.SettingsFile()), c.bytes);
        }
        EXPECT_EQ(ReadFileBytes(dict / "english.lng"),
                  "[Definitions]\r\nOvkLanguage=English\r\n[Caption]\r\nOpen=Open\r\n");
    }

    // A folder where the store should be.
    fs::remove(folders.SettingsFile());
    fs::create_directory(folders.SettingsFile());
    ExpectCleanFailure(Lngtool({"languages"}), "Failed to get data for 'DicPath'");
}

// A store can name any file; deleting a language only ever deletes a dictionary and its
// flag, and an escaped NUL cannot make a checked name stand for another file.
TEST_F(BadInput, DeletingALanguageNeverDeletesAnythingElse) {
    const fs::path victim = root / "victim.txt", bare = root / "victim";
    // A real dictionary with its flag, but in another folder than the dictionary folder.
    const fs::path outside = root / "outside.lng", outsideFlag = root / "outside.bmp";
    const std::string outsideBytes = "[Definitions]\r\nOvkLanguage=Outside\r\n";
    const std::string store =
        "[Others]\r\nDicPath=" + dict.string() + "\r\n[Languages]\r\nPlain=" + victim.string() +
        "\r\nNul=" + victim.string() + "%00/x.lng\r\n" + "Also=" + bare.string() +
        "%00.lng\r\nOutside=" + outside.string() + "\r\n";
    fs::create_directories(folders.SettingsFile().parent_path());
    for (const char* name : {"Plain", "Nul", "Also", "Outside"}) {
        SCOPED_TRACE(name);
        WriteFileBytes(victim, "precious");
        WriteFileBytes(bare, "precious too");
        WriteFileBytes(outside, outsideBytes);
        WriteFileBytes(outsideFlag, "BM precious flag");
        WriteFileBytes(folders.SettingsFile(), store);
        auto server = Server();
        EXPECT_FALSE(server->DeleteLanguage(name));
        EXPECT_EQ(ReadFileBytes(victim), "precious");
        EXPECT_EQ(ReadFileBytes(bare), "precious too");
        EXPECT_EQ(ReadFileBytes(outside), outsideBytes);
        EXPECT_EQ(ReadFileBytes(outsideFlag), "BM precious flag");
    }
    // Nor is such a file written: the entry names no dictionary of this folder.
    WriteFileBytes(folders.SettingsFile(), store);
    auto server = Server();
    server->SelectLanguage("Outside");
    EXPECT_EQ(MessageOf([&] { server->WriteValue("Caption", "Open", "x"); }),
              "The language has no dictionary file");
    EXPECT_THROW(server->AddKeyToAll("Caption", "Open"), std::runtime_error);
    EXPECT_EQ(ReadFileBytes(outside), outsideBytes);
}

// A rescan decides what is a dictionary without reading a huge file whole, and skips it.
TEST_F(BadInput, HugeStrayFilesAreSkippedWithoutBeingRead) {
    WriteDictionary("english.lng", "English");
    for (const auto& [name, size] :
         {std::pair{"sparse.lng", off_t{1} << 40}, std::pair{"big.lng", off_t{300} << 20}}) {
        const std::string header = "[Definitions]\r\nOvkLanguage=Huge\r\n";
        WriteFileBytes(dict / name, header);
        ASSERT_EQ(::truncate((dict / name).c_str(), size), 0) << name;
    }
    const ToolRun run = Lngtool({"folder", dict.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    const ToolRun list = Lngtool({"languages"});
    EXPECT_EQ(list.out, "English\t" + (dict / "english.lng").string() + "\n");
}

// A name holding NUL cannot be a file name: such values read as no file at all, so no
// operation writes or deletes the file their first part names.
TEST_F(BadInput, StoredPathsHoldingNulNameNoFile) {
    const fs::path victim = root / "victim.txt";
    WriteFileBytes(victim, "[Caption]\r\nOpen=precious\r\n");
    fs::create_directories(folders.SettingsFile().parent_path());
    WriteFileBytes(folders.SettingsFile(), "[Others]\r\nDicPath=" + victim.string() +
                                               "%00\r\nActualLanguage=English\r\n[Languages]\r\n"
                                               "English=" +
                                               victim.string() + "%00/x.lng\r\n");
    auto server = Server();
    EXPECT_EQ(server->LanguageFileName("English"), "");
    EXPECT_EQ(server->DicPath(), "");
    EXPECT_EQ(MessageOf([&] { server->WriteValue("Caption", "Open", "changed"); }),
              "The language has no dictionary file");
    server->DeleteLanguage("English");
    EXPECT_EQ(ReadFileBytes(victim), "[Caption]\r\nOpen=precious\r\n");
}

} // namespace
} // namespace tavrel::test

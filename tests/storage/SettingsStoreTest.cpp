#include "tavrel/storage/SettingsStore.h"

#include "AtomicFile.h"
#include "FaultSeam.h"
#include "tavrel/storage/ProfileFile.h"
#include "TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScopedUserFolders;
using test::TempDir;
using test::WriteFileBytes;

using test::MessageOf;

// Restores one environment variable on scope exit.
class ScopedEnv {
public:
    explicit ScopedEnv(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) {
            had_ = true;
            value_ = v;
        }
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_, value_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string value_;
};

TEST(SettingsStore, DefaultFileFollowsXdgConfigHome) {
    ScopedEnv config("XDG_CONFIG_HOME"), home("HOME");
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(SettingsStore::DefaultSettingsFile(), fs::path("/cfg/Tavrel/Localize.ini"));
    ::setenv("XDG_CONFIG_HOME", "", 1); // empty counts as unset
    EXPECT_EQ(SettingsStore::DefaultSettingsFile(),
              fs::path("/home/someone/.config/Tavrel/Localize.ini"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsStore::DefaultSettingsFile(),
              fs::path("/home/someone/.config/Tavrel/Localize.ini"));
}

TEST(SettingsStore, FirstRunCreatesKeyAndReadsDefaults) {
    ScopedUserFolders folders;
    SettingsStore store(SettingsStore::DefaultSettingsFile());
    EXPECT_EQ(store.File(), folders.SettingsFile());
    ASSERT_TRUE(store.OpenKey());
    EXPECT_TRUE(fs::is_directory(folders.SettingsFile().parent_path()));
    EXPECT_EQ(store.ReadString("Others", "DicPath", "OVK"), "OVK");
    EXPECT_EQ(store.ReadString("Others", "ActualLanguage", "Default"), "Default");
    store.WriteString("Others", "DicPath", "/data/dict");
    store.CloseKey();
    EXPECT_EQ(ReadFileBytes(folders.SettingsFile()), "[Others]\r\nDicPath=/data/dict\r\n");
}

TEST(SettingsStore, OpenKeyFailsWhenFolderCannotBeMade) {
    TempDir dir;
    WriteFileBytes(dir / "file", "x");
    SettingsStore store(dir / "file" / "Tavrel" / "Localize.ini");
    EXPECT_FALSE(store.OpenKey());
}

TEST(SettingsStore, NamesMatchIgnoringAsciiCase) {
    TempDir dir;
    SettingsStore store(dir / "s.ini");
    ASSERT_TRUE(store.OpenKey());
    store.WriteString("Languages", "English", "/d/OvkE5242LISHA.Lng");
    EXPECT_EQ(store.ReadString("languages", "english", "OVK"), "/d/OvkE5242LISHA.Lng");
    store.WriteString("LANGUAGES", "ENGLISH", "/d/other.Lng"); // same value, stored spelling
    std::vector<std::string> names;
    EXPECT_TRUE(store.ReadSection("Languages", names));
    EXPECT_EQ(names, std::vector<std::string>{"English"});
    EXPECT_EQ(store.ReadString("Languages", "English", "OVK"), "/d/other.Lng");
    // Only ASCII letters fold: é (0xE9) and É (0xC9) stay distinct.
    store.WriteString("Languages", "\xC9", "upper");
    store.WriteString("Languages", "\xE9", "lower");
    EXPECT_EQ(store.ReadString("Languages", "\xC9", ""), "upper");
    EXPECT_EQ(store.ReadString("Languages", "\xE9", ""), "lower");
}

TEST(SettingsStore, ReadSectionLeavesListWhenAbsent) {
    TempDir dir;
    SettingsStore store(dir / "s.ini");
    ASSERT_TRUE(store.OpenKey());
    store.WriteString("Languages", "English", "e");
    store.WriteString("Languages", "Deutsch", "d");
    store.WriteString("Others", "DicPath", "p");
    std::vector<std::string> names{"stale"};
    EXPECT_TRUE(store.ReadSection("Languages", names));
    EXPECT_EQ(names, (std::vector<std::string>{"English", "Deutsch"}));

    store.EraseSection("Languages");
    std::vector<std::string> empty;
    EXPECT_FALSE(store.ReadSection("Languages", empty));
    EXPECT_TRUE(empty.empty());
    std::vector<std::string> kept{"x", "y"};
    EXPECT_FALSE(store.ReadSection("Languages", kept));
    EXPECT_EQ(kept, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(store.ReadString("Others", "DicPath", "OVK"), "p");
    store.EraseSection("Languages"); // absent: nothing happens
}

// Names and values the file syntax cannot hold as they are.
const std::vector<std::string>& NastyTexts() {
    static const std::vector<std::string> texts = {
        "plain",
        " ",
        "  lead",
        "trail  ",
        " both ",
        "in side",
        "a=b",
        "=",
        "[x]",
        "[",
        "]",
        ";comment",
        "#hash",
        "%",
        "%41",
        "%%",
        "100%",
        "a\r\nb",
        "\n",
        "\r",
        std::string("\0", 1),
        std::string("a\0b", 3),
        "\t\x0B\x0C\x1A",
        "\x01\x1F\x7F",
        "\xA0nbsp\xA0",
        "\xC4\xD6\xDC\xE4\xF6\xFC\xDF\x80\xFF",
        "\"quoted\"",
        "'single'",
        "back\\slash/slash",
        std::string(3000, 'L'),
    };
    return texts;
}

TEST(SettingsStore, EveryNameAndValueRoundTrips) {
    TempDir dir;
    SettingsStore store(dir / "s.ini");
    ASSERT_TRUE(store.OpenKey());
    const auto& texts = NastyTexts();
    for (std::size_t i = 0; i < texts.size(); ++i)
        store.WriteString("Nasty", texts[i], texts[texts.size() - 1 - i]);
    store.WriteString("Nasty", "after", "still here");
    store.WriteString("Nasty]Section[", "k", "v");

    std::vector<std::string> names;
    ASSERT_TRUE(store.ReadSection("Nasty", names));
    std::vector<std::string> expected = texts;
    expected.push_back("after");
    EXPECT_EQ(names, expected);
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(store.ReadString("Nasty", texts[i], "<none>"), texts[texts.size() - 1 - i])
            << "name #" << i;
    EXPECT_EQ(store.ReadString("Nasty", "after", ""), "still here");
    EXPECT_EQ(store.ReadString("Nasty]Section[", "k", ""), "v");
    // Escapes use upper-case hex; letters stay readable in the file.
    const std::string bytes = ReadFileBytes(dir / "s.ini");
    EXPECT_NE(bytes.find("\r\na%3Db="), std::string::npos);
    EXPECT_NE(bytes.find("\r\n%20both%20="), std::string::npos);
    EXPECT_NE(bytes.find("[Nasty%5DSection%5B]\r\n"), std::string::npos);
}

TEST(SettingsStore, EmptyValueIsNotTheDefault) {
    TempDir dir;
    SettingsStore store(dir / "s.ini");
    ASSERT_TRUE(store.OpenKey());
    store.WriteString("Others", "DicPath", "");
    EXPECT_EQ(store.ReadString("Others", "DicPath", "OVK"), "");
}

TEST(SettingsStore, HandEditedNonsenseDoesNotCrash) {
    TempDir dir;
    const fs::path path = dir / "s.ini";
    WriteFileBytes(path, "garbage\n[Others\n[Others]\nDicPath = %zz%4%\nodd%\n"
                         "k%zz=%g1 raw\n=noname\n%=pct\n[Languages]\nEng%6Cish=e\n"
                         "Eng%6cish=second\n[]\n[Languages]\nLate=l\n\xFF\xFE=bytes\n");
    SettingsStore store(path);
    ASSERT_TRUE(store.OpenKey());
    EXPECT_EQ(store.ReadString("Others", "DicPath", "OVK"), "%zz%4%");
    EXPECT_EQ(store.ReadString("Others", "k%zz", "OVK"), "%g1 raw");
    EXPECT_EQ(store.ReadString("Others", "%", "OVK"), "pct");
    EXPECT_EQ(store.ReadString("Others", "odd%", "OVK"), "OVK");
    // Matching is on the decoded name, so a hand-written escape still matches.
    EXPECT_EQ(store.ReadString("Languages", "ENGLISH", "OVK"), "e");
    EXPECT_EQ(store.ReadString("Languages", "Late", "OVK"), "OVK"); // second section unread
    std::vector<std::string> names;
    EXPECT_TRUE(store.ReadSection("Languages", names));
    EXPECT_EQ(names, (std::vector<std::string>{"English", "English"}));
    store.WriteString("Languages", "english", "changed");
    EXPECT_EQ(store.ReadString("Languages", "English", "OVK"), "changed");
    EXPECT_NE(ReadFileBytes(path).find("Eng%6Cish=changed\nEng%6cish=second\n"), std::string::npos);
}

TEST(SettingsStore, ErrorMessages) {
    TempDir dir;
    // The folder is missing (the key was never opened): the section cannot be created.
    SettingsStore missing(dir / "none" / "s.ini");
    EXPECT_EQ(MessageOf([&] { missing.WriteString("Others", "DicPath", "x"); }),
              "Failed to create key Others (" + (dir / "none" / "s.ini").string() +
                  ": the folder does not exist)");

    // The section exists, but the file cannot be replaced: the value cannot be set.
    SettingsStore store(dir / "s.ini");
    ASSERT_TRUE(store.OpenKey());
    store.WriteString("Others", "DicPath", "old");
    const std::string before = ReadFileBytes(dir / "s.ini");
    detail::SetAtomicWriteFailure(detail::AtomicWriteStep::Write);
    const std::string message = MessageOf([&] { store.WriteString("Others", "DicPath", "new"); });
    detail::SetAtomicWriteFailure(std::nullopt);
    // The file and the system's reason follow the message.
    const std::string start =
        "Failed to set data for 'DicPath' (" + (dir / "s.ini").string() + ": ";
    EXPECT_EQ(message.rfind(start, 0), 0u) << message;
    EXPECT_NE(message.find("No space left on device)"), std::string::npos) << message;
    EXPECT_EQ(ReadFileBytes(dir / "s.ini"), before);
    EXPECT_EQ(store.ReadString("Others", "DicPath", ""), "old");

    EXPECT_EQ(MessageOf([&] { store.WriteString("Others", "", "x"); }),
              "Failed to set data for ''");
    EXPECT_EQ(MessageOf([&] { store.WriteString("", "n", "x"); }), "Failed to create key ");

    // A folder where the file should be: values cannot be read, erasing is silent.
    fs::create_directory(dir / "folder.ini");
    SettingsStore unreadable(dir / "folder.ini");
    const std::string why = " (" + (dir / "folder.ini").string() + ": the file cannot be read)";
    EXPECT_EQ(MessageOf([&] { unreadable.ReadString("Others", "DicPath", "OVK"); }),
              "Failed to get data for 'DicPath'" + why);
    EXPECT_EQ(MessageOf([&] { unreadable.WriteString("Others", "DicPath", "x"); }),
              "Failed to create key Others" + why);
    std::vector<std::string> names{"kept"};
    EXPECT_FALSE(unreadable.ReadSection("Others", names));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    unreadable.EraseSection("Others");
    EXPECT_TRUE(fs::is_directory(dir / "folder.ini"));
}

TEST(SettingsStore, ConcurrentProcessesLoseNoWrite) {
    TempDir dir;
    const fs::path path = dir / "Tavrel" / "Localize.ini";
    ASSERT_TRUE(SettingsStore(path).OpenKey());
    constexpr int kChildren = 3, kValues = 200;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            try {
                SettingsStore store(path);
                if (!store.OpenKey())
                    status = 2;
                for (int i = 0; i < kValues && status == 0; ++i)
                    store.WriteString("Languages",
                                      "child" + std::to_string(c) + "-" + std::to_string(i),
                                      "value " + std::to_string(c * 1000 + i));
            } catch (...) {
                status = 1;
            }
            ::_exit(status);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
    SettingsStore store(path);
    std::vector<std::string> names;
    ASSERT_TRUE(store.ReadSection("Languages", names));
    EXPECT_EQ(names.size(), std::size_t{kChildren * kValues});
    for (int c = 0; c < kChildren; ++c)
        for (int i = 0; i < kValues; ++i)
            ASSERT_EQ(store.ReadString("Languages",
                                       "child" + std::to_string(c) + "-" + std::to_string(i), ""),
                      "value " + std::to_string(c * 1000 + i));
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()),
              1);
}

} // namespace
} // namespace tavrel

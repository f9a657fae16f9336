#include "ServerTestSupport.h"
#include "tavrel/storage/SettingsStore.h"

#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;

class ServerCatalogue : public ::testing::Test, protected ServerFixtureBase {
protected:
    std::string StoreValue(const std::string& section, const std::string& name) const {
        SettingsStore store(folders.SettingsFile());
        EXPECT_TRUE(store.OpenKey());
        return store.ReadString(section, name, "<absent>");
    }
    std::vector<std::string> Catalogue(TOvkLocalizeServer& s) const {
        return s.LanguageList().Names();
    }
};

TEST_F(ServerCatalogue, FirstRunRegistersAndCreatesTheDefaultDictionary) {
    auto server = LoadedServer();
    const fs::path expected = Environment().DefaultFolder / "OvkDefault.Lng";
    EXPECT_EQ(Catalogue(*server), std::vector<std::string>{"Default"});
    EXPECT_EQ(server->Language(), "Default");
    EXPECT_EQ(server->DicPath(), "");
    EXPECT_EQ(StoreValue("Languages", "Default"), expected.string());
    EXPECT_EQ(Read(expected, "Definitions", "OvkLanguage"), "Default");
}

TEST_F(ServerCatalogue, AStoreThatCannotBeOpenedLeavesOnlyNone) {
    TempDir scratch;
    WriteFileBytes(scratch / "blocker", "a file where a folder is needed");
    auto env = Environment();
    env.SettingsFile = scratch / "blocker" / "Tavrel" / "Localize.ini";
    TOvkLocalizeServer server(nullptr, env);
    EXPECT_EQ(server.LanguageList().Names(), std::vector<std::string>{"None"});
    EXPECT_EQ(server.Language(), "None");
    EXPECT_EQ(server.LanguageFileName("None"), "");
}

// The dictionary is written before the catalogue names it: a failed write leaves nothing
// catalogued without its dictionary.
TEST_F(ServerCatalogue, AnUnwritableDefaultDictionaryIsReportedAndNotRecorded) {
    TempDir scratch;
    WriteFileBytes(scratch / "blocker", "x");
    auto env = Environment();
    env.DefaultFolder = scratch / "blocker" / "dicts";
    try {
        TOvkLocalizeServer server(nullptr, env);
        FAIL() << "creating the server should have failed";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "Unable to write to " + (env.DefaultFolder / "OvkDefault.Lng").string(), 0),
                  0u)
            << e.what();
    }
    EXPECT_EQ(StoreValue("Languages", "Default"), "<absent>");
}

TEST_F(ServerCatalogue, AssigningLanguageSearchesTheCatalogueAndAlwaysPersistsAndFires) {
    WriteDictionary("english.lng", "English");
    auto server = LoadedServer();
    server->SetDicPath(Folder());
    server->RefreshLanguages();
    int fired = 0;
    server->OnLanguageChange = [&](TPersistent* sender) {
        EXPECT_EQ(sender, server.get());
        ++fired;
    };

    struct Case {
        std::string assigned, current;
    };
    for (const auto& c : {Case{"&English", "English"}, Case{"english", "english"},
                          Case{"Klingon", "english"}, Case{"&&Eng&lish&", "English"}}) {
        const int before = fired;
        server->SetLanguage(c.assigned);
        EXPECT_EQ(server->Language(), c.current) << c.assigned;
        EXPECT_EQ(StoreValue("Others", "ActualLanguage"), c.current) << c.assigned;
        EXPECT_EQ(fired, before + 1) << c.assigned;
    }
}

TEST_F(ServerCatalogue, AssignmentsWhileLoadingAreIgnoredAndLoadedRestoresTheRememberedLanguage) {
    WriteDictionary("fr.lng", "French");
    {
        auto server = LoadedServer();
        server->SetDicPath(Folder());
        server->RefreshLanguages();
        server->SetLanguage("French");
    }
    TOvkLocalizeServer server(nullptr, Environment());
    server.SetLoading();
    bool fired = false;
    server.OnLanguageChange = [&](TPersistent*) { fired = true; };
    server.SetLanguage("Default"); // as if stored with the form
    EXPECT_FALSE(fired);
    server.Loaded();
    EXPECT_EQ(server.Language(), "French");
    EXPECT_EQ(server.DicPath(), Folder());
}

TEST_F(ServerCatalogue, WithoutLoadedTheFirstCatalogedNameIsCurrent) {
    WriteDictionary("fr.lng", "French");
    WriteDictionary("de.lng", "Deutsch");
    {
        auto server = LoadedServer();
        server->SetDicPath(Folder());
        server->RefreshLanguages();
        server->SetLanguage("French");
    }
    TOvkLocalizeServer server(nullptr, Environment());
    EXPECT_EQ(server.LanguageList().Names(), (std::vector<std::string>{"Deutsch", "French"}));
    EXPECT_EQ(server.CurrentLanguage(), "Deutsch");

    // Another program catalogues a language that sorts first: CurrentLanguage tells what
    // this object holds; reading Language rebuilds the catalogue first.
    WriteDictionary("ar.lng", "Arabic");
    {
        auto other = LoadedServer();
        other->RefreshLanguages();
    }
    EXPECT_EQ(server.CurrentLanguage(), "Deutsch");
    EXPECT_EQ(server.LanguageList().Names(), (std::vector<std::string>{"Deutsch", "French"}));
    EXPECT_EQ(server.Language(), "Arabic");
    EXPECT_EQ(server.CurrentLanguage(), "Arabic");
}

TEST_F(ServerCatalogue, RescanRegistersDictionariesAndTheLastOfTwoNamesWins) {
    WriteDictionary("a.lng", "English");
    WriteDictionary("b.LNG", "English");
    WriteDictionary("c.Lng", "Deutsch");
    WriteFileBytes(dictionaries / "notes.lng", "[Other]\nx=1\n"); // not a dictionary
    WriteFileBytes(dictionaries / "garbage.lng", std::string("\0\x01\xff[", 4));
    fs::create_directory(dictionaries / "folder.lng");
    WriteDictionary("readme.txt", "Klingon");
    // Files that must not name a language: the reverse dictionary, a stray Default, names
    // that cannot be shown on one line. A file named just ".lng" is a dictionary.
    WriteDictionary("OvkOponent.Lng", "Reverse");
    WriteDictionary("stray.lng", "default");
    WriteDictionary("tab.lng", "Tab\there");
    WriteDictionary("long.lng", std::string(256, 'L'));
    WriteDictionary("reserved.lng", "Oponent");
    WriteDictionary(".lng", "Hidden");
    // A hand-edited duplicate section of the catalogue goes with the rescan.
    fs::create_directories(folders.SettingsFile().parent_path());
    WriteFileBytes(folders.SettingsFile(), "[Languages]\r\nOld=x\r\n[Languages]\r\nOlder=y\r\n");
    auto server = LoadedServer();
    server->SetDicPath(Folder());
    server->RefreshLanguages();
    EXPECT_EQ(server->LanguageList().Names(),
              (std::vector<std::string>{"Deutsch", "English", "Hidden"}));
    EXPECT_EQ(server->LanguageFileName("english"), (dictionaries / "b.LNG").string());
    EXPECT_EQ(server->LanguageFileName("hidden"), (dictionaries / ".lng").string());
    EXPECT_EQ(server->LanguageFileName("Klingon"), "");
    EXPECT_EQ(ReadFileBytes(folders.SettingsFile()).find("Older"), std::string::npos);

    EXPECT_TRUE(server->DeleteLanguage("Hidden"));
    EXPECT_FALSE(fs::exists(dictionaries / ".lng"));
}

// The catalogue matches names the way people read them; the current language takes the
// catalogued spelling whenever the one given would not find its dictionary.
TEST_F(ServerCatalogue, SelectingALanguageAlwaysLeavesOneWithADictionary) {
    WriteDictionary("es.lng", "Español");
    auto server = LoadedServer();
    server->SetDicPath(Folder());
    server->RefreshLanguages();
    const std::vector<std::pair<std::string, std::string>> cases{
        {"español", "español"}, // the store finds ASCII case variants
        {"ESPAÑOL", "Español"},
        {"Espa\u00ADñol", "Español"}, // an invisible soft hyphen
    };
    for (const auto& [given, current] : cases) {
        SCOPED_TRACE(given);
        server->SetLanguage(given);
        EXPECT_EQ(server->Language(), current);
        EXPECT_EQ(server->LanguageFileName(server->Language()), (dictionaries / "es.lng").string());
    }
}

TEST_F(ServerCatalogue, RefreshWithoutAFolderScansTheDefaultFolder) {
    auto server = LoadedServer();
    const fs::path folder = Environment().DefaultFolder;
    WriteFileBytes(folder / "x.lng", "[Definitions]\nOvkLanguage=Italiano\n");
    server->RefreshLanguages();
    EXPECT_EQ(server->LanguageList().Names(), (std::vector<std::string>{"Default", "Italiano"}));
}

TEST_F(ServerCatalogue, DicPathIgnoresMissingFoldersAndDropsOneTrailingDelimiter) {
    auto server = LoadedServer();
    server->SetDicPath(Folder() + "/");
    EXPECT_EQ(server->DicPath(), Folder());
    server->SetDicPath(Folder() + "/missing");
    EXPECT_EQ(server->DicPath(), Folder());
    EXPECT_EQ(StoreValue("Others", "DicPath"), Folder());
}

TEST_F(ServerCatalogue, RegisteringWithInitializeSeedsFromTheDefaultDictionary) {
    WriteDictionary(
        "OvkDefault.Lng", "Default",
        "[Caption]\r\nOpen=Open\r\nKeep=OVK\r\n[Messages]\r\nOvkLanguage=not copied\r\n");
    auto server = LoadedServer();
    server->SetDicPath(Folder());
    server->RefreshLanguages();
    const fs::path french = dictionaries / "fr.Lng";
    server->RegisterLanguage("French", french.string(), true);
    EXPECT_EQ(Read(french, "Definitions", "OvkLanguage"), "French");
    EXPECT_EQ(Read(french, "Caption", "Open"), "Open");
    EXPECT_EQ(Read(french, "Caption", "Keep"), "OVK");
    EXPECT_EQ(Read(french, "Messages", "OvkLanguage"), "<absent>");
    EXPECT_EQ(server->LanguageFileName("FRENCH"), french.string());
}

TEST_F(ServerCatalogue, CatalogueOrderIsLocaleAwareAndCaseInsensitive) {
    for (const char* name : {"zulu", "Русский", "École", "Eagle", "Ελληνικά", "Ezra", "apple"})
        WriteDictionary(std::string(name) + ".lng", name);
    auto server = LoadedServer();
    server->SetDicPath(Folder());
    server->RefreshLanguages();
    EXPECT_EQ(server->LanguageList().Names(),
              (std::vector<std::string>{"apple", "Eagle", "École", "Ezra", "zulu", "Ελληνικά",
                                        "Русский"}));
    EXPECT_EQ(server->LanguageList().IndexOf("EAGLE"), 1);
    EXPECT_EQ(server->LanguageList().IndexOf("ecole"), -1); // accents count
}

} // namespace
} // namespace tavrel::test

#include "ServerTestSupport.h"
#include "tavrel/localize/TMenuItem.h"

#include <functional>
#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using test::MessageOf;

namespace fs = std::filesystem;

// A folder with Default and French dictionaries; French is current.
class ServerEditing : public ::testing::Test, protected ServerFixtureBase {
protected:
    std::unique_ptr<TOvkLocalizeServer> server;
    fs::path defaultFile, frenchFile;

    void SetUp() override {
        defaultFile =
            WriteDictionary("OvkDefault.Lng", "Default",
                            "[Caption]\r\nOpen=Open\r\nSave=Save\r\n[Text]\r\nLines=\"a b\",c\r\n");
        frenchFile = WriteDictionary("french.lng", "French",
                                     "[Caption]\r\nOpen=Ouvrir\r\nEmpty=\r\nMarked=OVK\r\n"
                                     "[Hint]\r\nOpen file=Ouvrir\r\n");
        server = LoadedServer();
        server->SetDicPath(Folder());
        server->RefreshLanguages();
        server->SetLanguage("French");
    }
};

TEST_F(ServerEditing, ReadsSectionsKeysAndValuesOfTheCurrentDictionary) {
    std::vector<std::string> list{"stale"};
    EXPECT_TRUE(server->ReadSectionNames(list));
    EXPECT_EQ(list, (std::vector<std::string>{"Definitions", "Caption", "Hint"}));
    EXPECT_TRUE(server->ReadSectionKeys("caption", list));
    EXPECT_EQ(list, (std::vector<std::string>{"Open", "Empty", "Marked"}));
    EXPECT_TRUE(server->ReadSectionKeys("Nowhere", list));
    EXPECT_TRUE(list.empty());

    struct Case {
        const char *key, *value;
    };
    for (auto c :
         {Case{"Open", "Ouvrir"}, Case{"Empty", ""}, Case{"Marked", ""}, Case{"Missing", ""}})
        EXPECT_EQ(server->ReadValue("Caption", c.key), c.value) << c.key;
}

TEST_F(ServerEditing, WriteValueStoresTheSentinelForEmptyKeysAndValues) {
    server->WriteValue("Caption", "Save", "");
    server->WriteValue("Caption", "", "nameless");
    server->WriteValue("Caption", "Open", "Ouvrir le fichier");
    EXPECT_EQ(Read(frenchFile, "Caption", "Save"), "OVK");
    EXPECT_EQ(Read(frenchFile, "Caption", "OVK"), "nameless");
    EXPECT_EQ(Read(frenchFile, "Caption", "Open"), "Ouvrir le fichier");
    EXPECT_EQ(server->ReadValue("Caption", "Save"), "");
}

TEST_F(ServerEditing, AddKeyToAllNeverOverwritesATranslation) {
    server->AddKeyToAll("Hint", "Open file");
    EXPECT_EQ(Read(defaultFile, "Hint", "Open file"), "Open file");
    EXPECT_EQ(Read(frenchFile, "Hint", "Open file"), "Ouvrir");
    // A stored sentinel counts as missing.
    server->AddKeyToAll("Caption", "Marked");
    EXPECT_EQ(Read(frenchFile, "Caption", "Marked"), "Marked");
}

TEST_F(ServerEditing, AnEmptyKeyCreatesTheSectionEverywhereAndDeleteSectionRemovesIt) {
    server->AddKeyToAll("Tips", "");
    for (const auto& file : {defaultFile, frenchFile})
        EXPECT_EQ(Read(file, "Tips", "OVK"), "OVK") << file;
    server->DeleteSectionFromAll("Tips");
    std::vector<std::string> sections;
    server->ReadSectionNames(sections);
    EXPECT_EQ(std::count(sections.begin(), sections.end(), "Tips"), 0);
    EXPECT_EQ(Read(defaultFile, "Tips", "OVK"), "<absent>");
}

TEST_F(ServerEditing, AddKeyToAllCutsAt255CharactersNeverInsideOne) {
    std::string key;
    for (int i = 0; i < 300; ++i)
        key += "ж";
    server->AddKeyToAll("Caption", key);
    const std::string cut = key.substr(0, 255 * 2);
    EXPECT_EQ(Read(defaultFile, "Caption", cut), cut);
}

TEST_F(ServerEditing, AddKeyToAllCutsSectionAndKeyTo255Characters) {
    const std::string longKey(300, 'k'), longSection(260, 's');
    server->AddKeyToAll(longSection, longKey);
    EXPECT_EQ(Read(defaultFile, std::string(255, 's'), std::string(255, 'k')),
              std::string(255, 'k'));
}

TEST_F(ServerEditing, AFailingDictionaryStopsTheLoopAndEarlierOnesKeepTheirChange) {
    // A folder named like a dictionary cannot be written; "Zulu" sorts last.
    const fs::path broken = dictionaries / "broken.lng";
    fs::create_directory(broken);
    WriteDictionary("after-broken.lng", "Aaa");
    server->RegisterLanguage("Zulu", broken.string(), false);
    server->RegisterLanguage("Aaa", (dictionaries / "after-broken.lng").string(), false);
    server->RegisterLanguage("Mmm", broken.string(), false);
    server->ReloadLanguageList();
    ASSERT_EQ(server->LanguageList().Names(),
              (std::vector<std::string>{"Aaa", "Default", "French", "Mmm", "Zulu"}));

    EXPECT_THROW(server->AddKeyToAll("Caption", "Print"), EIniFileException);
    EXPECT_EQ(Read(dictionaries / "after-broken.lng", "Caption", "Print"), "Print");
    EXPECT_EQ(Read(defaultFile, "Caption", "Print"), "Print");
    EXPECT_EQ(Read(frenchFile, "Caption", "Print"), "Print");

    // Erasing stops at the folder, which is no dictionary; the ones before it are erased.
    EXPECT_EQ(MessageOf([&] { server->DeleteSectionFromAll("Caption"); }),
              "Unable to write to " + broken.string() + " (the file cannot be read)");
    EXPECT_EQ(Read(frenchFile, "Caption", "Open"), "<absent>");
    EXPECT_EQ(Read(defaultFile, "Caption", "Print"), "<absent>");
}

TEST_F(ServerEditing, DeleteKeyFromAllIgnoresFailures) {
    const fs::path broken = dictionaries / "broken.lng";
    fs::create_directory(broken);
    server->RegisterLanguage("Aaa", broken.string(), false);
    server->ReloadLanguageList();
    EXPECT_NO_THROW(server->DeleteKeyFromAll("Caption", "Open"));
    EXPECT_EQ(Read(defaultFile, "Caption", "Open"), "<absent>");
    EXPECT_EQ(Read(frenchFile, "Caption", "Open"), "<absent>");
    EXPECT_EQ(Read(frenchFile, "Caption", "Empty"), "");
}

TEST_F(ServerEditing, NewLanguageSeedsFromDefaultUnderTheDerivedFileName) {
    const fs::path file = server->NewLanguage("english", nullptr);
    EXPECT_EQ(file, dictionaries / "OvkE5242LISHA.Lng");
    EXPECT_EQ(Read(file, "Definitions", "OvkLanguage"), "English");
    EXPECT_EQ(Read(file, "Caption", "Save"), "Save");
    EXPECT_EQ(Read(file, "Text", "Lines"), "\"a b\",c");
    EXPECT_GE(server->LanguageList().IndexOf("English"), 0);
    EXPECT_EQ(server->LanguageList().Strings(server->LanguageList().IndexOf("English")), "English");

    // Same Soundex and tail: the second language gets a file of its own, the first keeps
    // its file and every translation.
    server->SelectLanguage("English");
    server->WriteValue("Caption", "Save", "Save it");
    const fs::path again = server->NewLanguage("Eenglish", nullptr);
    EXPECT_EQ(again, dictionaries / "OvkE5242LISHA-2.Lng");
    EXPECT_EQ(Read(again, "Definitions", "OvkLanguage"), "Eenglish");
    EXPECT_EQ(Read(file, "Definitions", "OvkLanguage"), "English");
    EXPECT_EQ(Read(file, "Caption", "Save"), "Save it");
    server->RefreshLanguages();
    EXPECT_EQ(server->LanguageFileName("English"), file.string());
    EXPECT_EQ(server->LanguageFileName("Eenglish"), again.string());

    // Creating a language that exists, in any letter case, keeps every translation and only
    // adds what the Default dictionary gained since.
    server->SelectLanguage("Default");
    server->WriteValue("Caption", "Quit", "Quit");
    EXPECT_EQ(server->NewLanguage("ENGLISH", nullptr), file);
    EXPECT_EQ(Read(file, "Caption", "Save"), "Save it");
    EXPECT_EQ(Read(file, "Caption", "Quit"), "Quit");
    EXPECT_EQ(Read(file, "Definitions", "OvkLanguage"), "English");
}

TEST_F(ServerEditing, NewLanguageDefaultAndEmptyAndUnsafeNames) {
    // "Default" stays with its own dictionary: creating it again re-points nothing.
    const std::string defaultBefore = ReadFileBytes(defaultFile);
    const fs::path def = server->NewLanguage("default", nullptr);
    EXPECT_EQ(def, defaultFile);
    EXPECT_EQ(server->LanguageFileName("Default"), defaultFile.string());
    EXPECT_EQ(ReadFileBytes(defaultFile), defaultBefore);
    EXPECT_FALSE(fs::exists(dictionaries / "OvkD1430AULTA.Lng"));

    const auto before = server->LanguageList().Names();
    EXPECT_THROW(server->NewLanguage("", nullptr), std::invalid_argument);
    EXPECT_EQ(server->LanguageList().Names(), before);
    EXPECT_FALSE(fs::exists(dictionaries / "OvkA.Lng"));

    // A name starting with a path delimiter still lands directly in the folder.
    const fs::path slash = server->NewLanguage("/etc", nullptr);
    EXPECT_EQ(slash.parent_path(), dictionaries.Path());
    EXPECT_TRUE(fs::is_regular_file(slash));
    EXPECT_GE(server->LanguageList().IndexOf("/etc"), 0);
}

TEST_F(ServerEditing, DeleteLanguageRemovesFilesAndRescans) {
    WriteFileBytes(dictionaries / "french.bmp", "BM not really");
    server->DeleteLanguage("French");
    EXPECT_FALSE(fs::exists(frenchFile));
    EXPECT_FALSE(fs::exists(dictionaries / "french.bmp"));
    EXPECT_EQ(server->LanguageList().IndexOf("French"), -1);
    // The current language stays set although it is no longer catalogued.
    EXPECT_EQ(server->Language(), "French");

    // Not registered: nothing deleted (and so said), still rescanned.
    WriteDictionary("late.lng", "Late");
    EXPECT_FALSE(server->DeleteLanguage("Klingon"));
    EXPECT_GE(server->LanguageList().IndexOf("Late"), 0);
}

// Definitions/OvkLanguage makes a file its language's dictionary: no edit may remove or
// re-point it, in the server, and so in the editor and lngtool either.
TEST_F(ServerEditing, TheIdentityEntriesAreGuarded) {
    const std::string changed =
        "Definitions/OvkLanguage names the language of its dictionary and cannot be changed";
    const std::string deleted =
        "Definitions/OvkLanguage names the language of each dictionary and cannot be deleted";
    const std::string section =
        "The section Definitions names the language of each dictionary and cannot be deleted";
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { server->WriteValue("Definitions", "OvkLanguage", "Default"); }, changed},
        {[&] { server->WriteValue(" definitions", "ovklanguage ", ""); }, changed},
        {[&] { server->AddKeyToAll("DEFINITIONS", "OvkLanguage"); }, changed},
        {[&] { server->DeleteKeyFromAll("Definitions", "OVKLANGUAGE"); }, deleted},
        {[&] { server->DeleteSectionFromAll("definitions"); }, section},
    };
    const std::string frenchBefore = ReadFileBytes(frenchFile);
    const std::string defaultBefore = ReadFileBytes(defaultFile);
    for (const auto& [operation, message] : cases) {
        EXPECT_EQ(MessageOf(operation), message);
        EXPECT_EQ(ReadFileBytes(frenchFile), frenchBefore);
        EXPECT_EQ(ReadFileBytes(defaultFile), defaultBefore);
    }
    // Posting the name it already holds changes nothing and is no error; other entries of
    // the section stay editable.
    EXPECT_NO_THROW(server->WriteValue("Definitions", "OvkLanguage", "French"));
    server->WriteValue("Definitions", "OvkLocale", "fr");
    server->DeleteKeyFromAll("Definitions", "OvkLocale");
    EXPECT_EQ(ReadFileBytes(frenchFile), frenchBefore);
}

// A section of 40,000 keys is listed whole: no name is cut where a block of names ends.
TEST_F(ServerEditing, ListsAreCompleteHoweverLong) {
    std::string body = "[Big]\r\n";
    for (int n = 0; n < 40000; ++n)
        body += "Key number " + std::to_string(n) + "=v\r\n";
    for (int n = 0; n < 2000; ++n)
        body += "[Section number " + std::to_string(n) + "]\r\n";
    WriteDictionary("french.lng", "French", body);
    std::vector<std::string> list;
    server->ReadSectionKeys("Big", list);
    ASSERT_EQ(list.size(), 40000u);
    EXPECT_EQ(list.back(), "Key number 39999");
    server->ReadSectionNames(list);
    ASSERT_EQ(list.size(), 2002u);
    EXPECT_EQ(list.back(), "Section number 1999");
}

// Writes go to dictionaries only: a registered file that lost its language entry (or
// never existed) is not turned into one.
TEST_F(ServerEditing, WritesGoOnlyToDictionaries) {
    WriteFileBytes(frenchFile, "[Caption]\r\nOpen=Ouvrir\r\n");
    const std::string message = "Unable to write to " + frenchFile.string() +
                                " (the file is not a dictionary: it names no language)";
    EXPECT_EQ(MessageOf([&] { server->WriteValue("Caption", "Open", "x"); }), message);
    EXPECT_EQ(MessageOf([&] { server->AddKeyToAll("Caption", "New"); }), message);
    fs::remove(frenchFile);
    EXPECT_EQ(MessageOf([&] { server->WriteValue("Caption", "Open", "x"); }),
              "Unable to write to " + frenchFile.string() + " (the file does not exist)");
    EXPECT_FALSE(fs::exists(frenchFile));
}

TEST_F(ServerEditing, NewDictionariesFollowTheDefaultDictionarysEncoding) {
    // A Windows-1252 Default: new languages stay in the code page unless they need more.
    const fs::path polish = server->NewLanguage("Polski", nullptr);
    EXPECT_EQ(test::ReadFileBytes(polish).rfind("[Definitions]\r\nOvkLanguage=Polski\r\n", 0), 0u);
    const fs::path russian = server->NewLanguage("Русский", nullptr);
    EXPECT_EQ(russian.filename(), "OvkÐ00000_0_A.Lng");
    EXPECT_EQ(
        test::ReadFileBytes(russian).rfind("\xEF\xBB\xBF[Definitions]\r\nOvkLanguage=Русский", 0),
        0u);
    EXPECT_EQ(Read(russian, "Caption", "Save"), "Save");

    // A new folder's Default dictionary is UTF-8, and so are the languages made beside it.
    test::TempDir fresh;
    server->SetDicPath(fresh.Path().string());
    server->RefreshLanguages();
    EXPECT_EQ(test::ReadFileBytes(fresh / "OvkDefault.Lng"),
              "\xEF\xBB\xBF[Definitions]\r\nOvkLanguage=Default\r\n");
    const fs::path german = server->NewLanguage("Deutsch", nullptr);
    EXPECT_EQ(test::ReadFileBytes(german), "\xEF\xBB\xBF[Definitions]\r\nOvkLanguage=Deutsch\r\n");
}

TEST_F(ServerEditing, AConvertingWriteIsToldAndOtherTextsKeepTheirCharacters) {
    WriteDictionary("polish.lng", "Polski", "[Caption]\r\nOpen=Otw\xF3rz\r\n");
    std::vector<fs::path> converted;
    TLocalizeEnvironment env = Environment();
    env.DictionaryConverted = [&](const fs::path& file) { converted.push_back(file); };
    TOvkLocalizeServer told(nullptr, env);
    told.SetDicPath(Folder());
    told.RefreshLanguages();
    told.SetLanguage("Polski");
    told.WriteValue("Caption", "Save", "Zapisz");
    EXPECT_TRUE(converted.empty()); // the code page holds it
    told.WriteValue("Caption", "Close", "Zamknij okno – łatwo");
    ASSERT_EQ(converted.size(), 1u);
    EXPECT_EQ(converted[0], dictionaries / "polish.lng");
    EXPECT_EQ(Read(dictionaries / "polish.lng", "Caption", "Open"), "Otwórz");
    EXPECT_EQ(told.ReadValue("Caption", "Close"), "Zamknij okno – łatwo");
    told.WriteValue("Caption", "Next", "Dalej ł");
    EXPECT_EQ(converted.size(), 1u); // UTF-8 now: nothing more to tell
}

TEST_F(ServerEditing, LocalesAreStoredOrGuessedAndChoosePluralVariants) {
    WriteDictionary("polish.lng", "Polski",
                    "[Messages]\r\n%n files=%n pliku\r\n%n files[one]=%n plik\r\n"
                    "%n files[few]=%n pliki\r\n%n files[many]=%n plików\r\n"
                    "[Caption]\r\n%n files=%n pliku\r\n");
    WriteDictionary("cn.lng", "Chinese", "OvkLocale=zh_hans\r\n");
    server->RefreshLanguages();
    EXPECT_EQ(server->LanguageLocale("Polski"), "pl");       // guessed from the name
    EXPECT_EQ(server->LanguageLocale("Chinese"), "zh-Hans"); // stored, made canonical
    EXPECT_EQ(server->LanguageLocale("French"), "fr");       // the English name counts too
    server->SetLanguage("Polski");
    EXPECT_EQ(server->LanguageLocale(""), "pl");
    const std::pair<long long, const char*> counts[] = {
        {1, "%n plik"}, {2, "%n pliki"}, {5, "%n plików"}, {22, "%n pliki"}, {25, "%n plików"}};
    for (const auto& [count, text] : counts)
        EXPECT_EQ(server->TranslatePlural("Messages", "%n files", count, ""), text) << count;
    // A missing variant falls back to the plain key's translation, in any section.
    EXPECT_EQ(server->TranslatePlural("Caption", "%n files", 2, ""), "%n pliku");
    EXPECT_EQ(server->TranslatePlural("Messages", "%n dirs", 2, ""), "");
    // Adding the variants the language needs keeps those already translated.
    EXPECT_EQ(
        server->AddPluralVariants("Caption", "%n files"),
        (std::vector<std::string>{"%n files[one]", "%n files[few]", "%n files[many]", "%n files"}));
    EXPECT_EQ(server->ReadValue("Caption", "%n files[few]"), "%n pliku");
    EXPECT_EQ(server->ReadValue("Messages", "%n files[few]"), "%n pliki");
}

TEST_F(ServerEditing, DeletingTheLastDictionaryRecreatesAnEmptyDefault) {
    server->DeleteLanguage("French");
    server->DeleteLanguage("Default");
    EXPECT_EQ(server->LanguageList().Names(), std::vector<std::string>{"Default"});
    const fs::path recreated = dictionaries / "OvkDefault.Lng";
    EXPECT_EQ(server->LanguageFileName("Default"), recreated.string());
    EXPECT_EQ(Read(recreated, "Caption", "Open"), "<absent>");
}

TEST_F(ServerEditing, DeleteLanguageOnlyEverDeletesDictionaries) {
    const fs::path precious = dictionaries / "precious.txt";
    WriteFileBytes(precious, "keep me");
    server->RegisterLanguage("Evil", precious.string(), false);
    server->DeleteLanguage("Evil");
    EXPECT_TRUE(fs::exists(precious));
}

TEST_F(ServerEditing, FillLanguageMenuBuildsOneTaggedItemPerLanguage) {
    TMenuItem parent;
    server->FillLanguageMenu(parent, false, false);
    ASSERT_EQ(parent.Count(), 1);
    EXPECT_EQ(parent.Items(0)->Caption(), "French");
    server->FillLanguageMenu(parent, true, false);
    ASSERT_EQ(parent.Count(), 2);
    EXPECT_EQ(parent.Items(0)->Caption(), "Default");
    EXPECT_EQ(parent.Items(1)->Caption(), "French");
    EXPECT_EQ(parent.Items(1)->Tag(), LanguageMenuTag);
    EXPECT_EQ(parent.ComponentCount(), 2);
}

TEST_F(ServerEditing, ChoosingAMenuItemMakesItsLanguageCurrent) {
    TMenuItem parent;
    server->FillLanguageMenu(parent, true, false);
    TPersistent* clicked = nullptr;
    server->OnLanguageMenuClick = [&](TPersistent* sender) { clicked = sender; };
    parent.Items(0)->SetCaption("&Default");
    parent.Items(0)->Click();
    EXPECT_EQ(server->Language(), "Default");
    EXPECT_EQ(clicked, parent.Items(0));
}

TEST_F(ServerEditing, AMenuRebuiltByTheLanguageChangeDoesNotCrashTheClick) {
    TMenuItem parent;
    server->FillLanguageMenu(parent, true, false);
    server->OnLanguageChange = [&](TPersistent*) { server->FillLanguageMenu(parent, true, false); };
    TPersistent* clicked = reinterpret_cast<TPersistent*>(1);
    server->OnLanguageMenuClick = [&](TPersistent* sender) { clicked = sender; };
    parent.Items(0)->Click();
    EXPECT_EQ(server->Language(), "Default");
    EXPECT_EQ(clicked, nullptr); // the clicked item was destroyed by the rebuild
    EXPECT_EQ(parent.Count(), 2);
}

TEST_F(ServerEditing, WithOnlyNoneCataloguedChoosingItLeavesNoDictionary) {
    TempDir scratch;
    WriteFileBytes(scratch / "blocker", "x");
    auto env = Environment();
    env.SettingsFile = scratch / "blocker" / "Localize.ini";
    TOvkLocalizeServer none(nullptr, env);
    TMenuItem parent;
    none.FillLanguageMenu(parent, false, false);
    ASSERT_EQ(parent.Count(), 1);
    parent.Items(0)->Click();
    EXPECT_EQ(none.Language(), "None");
    EXPECT_EQ(none.LanguageFileName(none.Language()), "");
}

} // namespace
} // namespace tavrel::test

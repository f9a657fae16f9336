#include "tavrel/catalog/DictionaryCatalog.h"

#include "tavrel/catalog/CatalogFormats.h"
#include "tavrel/catalog/FolderCatalogs.h"
#include "tavrel/storage/ProfileFile.h"
#include "TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace tavrel {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// A Default dictionary with what registration and the developer noted, and a Polish one
// with every kind of state.
constexpr std::string_view kDefault = "[Definitions]\r\nOvkLanguage=Default\r\n"
                                      "[Caption]\r\n"
                                      ";@developer Title of the main window\r\n"
                                      ";@from Main.Caption\r\n"
                                      "Phrasebook=Phrasebook\r\n"
                                      ";@from Main.open.Caption\r\n;@menu menuFile\r\n"
                                      "&Open=&Open\r\n"
                                      ";@obsolete\r\n"
                                      "Open file=Open file\r\n"
                                      "OK=OK\r\n"
                                      "Email=Email\r\n"
                                      "[Messages]\r\n"
                                      "%n phrases=%n phrases\r\n"
                                      "%1 of %2=%1 of %2\r\n";

constexpr std::string_view kPolish = "[Definitions]\r\nOvkLanguage=Polski\r\nOvkLocale=pl\r\n"
                                     "[Caption]\r\n"
                                     ";@translator Short, please\r\n"
                                     "Phrasebook=Rozmówki\r\n"
                                     ";@state needs-review\r\n"
                                     "&Open=&Otwórz\r\n"
                                     "Open file=OVK\r\n"
                                     ";@state done\r\n"
                                     "OK=OK\r\n"
                                     "Email=Email\r\n"
                                     "[Messages]\r\n"
                                     "%n phrases=%n zwrotów\r\n"
                                     "%n phrases[one]=jeden zwrot\r\n"
                                     "%n phrases[few]=%n zwroty\r\n"
                                     "%n phrases[many]=%n zwrotów\r\n";

class DictionaryCatalogTest : public ::testing::Test {
protected:
    TempDir dir;
    TDictionarySource polish{"Polski", dir / "pl.Lng", dir / "OvkDefault.Lng", "pl", "en"};

    void SetUp() override {
        WriteFileBytes(polish.defaultFile, kDefault);
        WriteFileBytes(polish.file, kPolish);
    }
    const TCatalogEntry& Find(const TCatalog& catalog, std::string_view source) {
        for (const TCatalogEntry& entry : catalog.entries)
            if (entry.source == source)
                return entry;
        throw std::runtime_error("no entry " + std::string(source));
    }
    TCatalogEntry Changed(std::string_view source, std::string translation,
                          TEntryState state = TEntryState::Done) {
        TCatalogEntry entry = Find(ReadDictionaryCatalog(polish), source);
        entry.translation = std::move(translation);
        entry.state = state;
        return entry;
    }
    // Each change and refusal of an import as one line.
    std::vector<std::string> Import(std::vector<TCatalogEntry> entries) {
        TCatalog incoming;
        incoming.entries = std::move(entries);
        const TImportReport report = ImportCatalog(incoming, polish);
        std::vector<std::string> lines;
        for (const auto& c : report.changed)
            lines.push_back("changed " + c.context + "/" + c.source + ": " + c.what);
        for (const auto& r : report.refused)
            lines.push_back("refused " + r.context + "/" + r.source + ": " + r.reason);
        return lines;
    }
};

TEST_F(DictionaryCatalogTest, StatesNotesAndPluralsAsTheTranslatorSeesThem) {
    const TCatalog catalog = ReadDictionaryCatalog(polish);
    struct Expected {
        std::string source, translation;
        TEntryState state;
    };
    const std::vector<Expected> table = {
        {"Phrasebook", "Rozmówki", TEntryState::Done},
        {"&Open", "&Otwórz", TEntryState::NeedsReview},
        {"Open file", "", TEntryState::Untranslated}, // "OVK"
        {"OK", "OK", TEntryState::Done},              // equal to its key, marked done
        {"Email", "", TEntryState::Untranslated},     // still the key
        {"%n phrases", "%n zwrotów", TEntryState::Done},
        {"%1 of %2", "", TEntryState::Untranslated}, // only in the Default dictionary
    };
    ASSERT_EQ(catalog.entries.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TCatalogEntry& entry = catalog.entries[i];
        EXPECT_EQ(entry.source, table[i].source);
        EXPECT_EQ(entry.translation, table[i].translation) << entry.source;
        EXPECT_EQ(entry.state, table[i].state) << entry.source;
        EXPECT_EQ(entry.id, CatalogEntryId(entry.context, entry.source));
    }
    EXPECT_EQ(catalog.entries[0].translatorNote, "Short, please");
    EXPECT_EQ(catalog.entries[0].developerNote, "Title of the main window");
    EXPECT_EQ(catalog.entries[1].locations, std::vector<std::string>{"Main.open.Caption"});
    EXPECT_EQ(catalog.entries[1].menus, std::vector<std::string>{"menuFile"});
    EXPECT_TRUE(catalog.entries[2].obsolete);
    EXPECT_EQ(catalog.entries[5].plurals,
              (std::vector<std::pair<std::string, std::string>>{{"one", "jeden zwrot"},
                                                                {"few", "%n zwroty"},
                                                                {"many", "%n zwrotów"},
                                                                {"other", "%n zwrotów"}}));

    const TCatalog pot =
        ReadDictionaryCatalog({"Default", polish.defaultFile, polish.defaultFile, "", ""});
    EXPECT_TRUE(pot.isTemplate);
    EXPECT_EQ(pot.entries.size(), 7u);
    EXPECT_EQ(pot.entries[0].developerNote, "Title of the main window");
    EXPECT_TRUE(pot.entries[0].translation.empty());
}

// Export and import of an unchanged dictionary, in every format, changes no byte.
TEST_F(DictionaryCatalogTest, AnUnchangedRoundTripChangesNoByte) {
    for (const TCatalogFormat format :
         {TCatalogFormat::Po, TCatalogFormat::Xliff, TCatalogFormat::Xliff2, TCatalogFormat::Ts}) {
        const std::string bytes = WriteCatalog(ReadDictionaryCatalog(polish), format);
        EXPECT_TRUE(Import(ReadCatalog(bytes, format).entries).empty())
            << CatalogFormatName(format);
        EXPECT_EQ(ReadFileBytes(polish.file), kPolish) << CatalogFormatName(format);
    }
}

TEST_F(DictionaryCatalogTest, AnImportChangesExactlyWhatTheTranslatorChanged) {
    TCatalogEntry noted = Find(ReadDictionaryCatalog(polish), "Phrasebook");
    noted.translatorNote = "Short\nand clear";
    TCatalogEntry plural = Changed("%n phrases", "%n zwrotów");
    plural.plurals[1].second = "%n zwroty!";
    TCatalogEntry renamed = Changed("Email", "E-mail");
    renamed.source = "E-mail address"; // the tool changed the source text too
    // The application no longer shows "Open file": a translation of it is passed over,
    // unless the file does not carry the mark (TS keeps no mark on a translated entry).
    const TCatalogEntry obsolete = Changed("Open file", "Otwórz plik");
    TCatalogEntry unmarked = obsolete;
    unmarked.obsolete = false;
    TCatalogEntry unknown = Changed("OK", "Dobrze");
    unknown.context = "Hint";
    unknown.id.clear();
    EXPECT_EQ(
        Import({noted, Changed("&Open", "&Otwórz"), obsolete, unmarked, Changed("Email", "Email"),
                Changed("%1 of %2", "%1 z %2", TEntryState::NeedsReview), plural, renamed, unknown,
                Changed("OK", "%1 OK"), Changed("OK", "Dwie\nlinie")}),
        (std::vector<std::string>{
            "changed Caption/Phrasebook: translator note",
            "changed Caption/&Open: state",
            "changed Caption/Open file: translation",
            "changed Caption/Email: state",
            "changed Messages/%1 of %2: translation, state",
            "changed Messages/%n phrases: plural forms",
            "refused Caption/E-mail address: the source text differs from the dictionary's "
            "key \"Email\"",
            "refused Hint/OK: unknown key: the dictionary has no such entry in section \"Hint\"",
            "refused Caption/OK: broken placeholder: extra placeholder %1",
            "refused Caption/OK: a dictionary text is one line; this one holds a line break",
        }));
    const std::string expected = "[Definitions]\r\nOvkLanguage=Polski\r\nOvkLocale=pl\r\n"
                                 "[Caption]\r\n"
                                 ";@translator Short\r\n;@translator and clear\r\n"
                                 "Phrasebook=Rozmówki\r\n"
                                 "&Open=&Otwórz\r\n"
                                 "Open file=Otwórz plik\r\n"
                                 ";@state done\r\n"
                                 "OK=OK\r\n"
                                 ";@state done\r\n"
                                 "Email=Email\r\n"
                                 "[Messages]\r\n"
                                 "%n phrases=%n zwrotów\r\n"
                                 "%n phrases[one]=jeden zwrot\r\n"
                                 "%n phrases[few]=%n zwroty!\r\n"
                                 "%n phrases[many]=%n zwrotów\r\n"
                                 ";@state needs-review\r\n"
                                 "%1 of %2=%1 z %2\r\n";
    EXPECT_EQ(ReadFileBytes(polish.file), expected);
}

TEST_F(DictionaryCatalogTest, AFailedImportWritesNothing) {
    // A UTF-8 file with a mark and a broken byte refuses every write.
    const std::string broken = "\xEF\xBB\xBF[Definitions]\r\nOvkLanguage=Polski\r\n"
                               "[Caption]\r\nPhrasebook=Rozm\xC3\r\n";
    WriteFileBytes(polish.file, broken);
    TCatalog incoming;
    incoming.entries = {Changed("Email", "E-mail")};
    EXPECT_THROW(ImportCatalog(incoming, polish), EIniFileException);
    EXPECT_EQ(ReadFileBytes(polish.file), broken);
}

// A folder at once: each import stands alone, a failing one is reported in its place.
TEST_F(DictionaryCatalogTest, FolderImportsStandAloneAndExportsWriteEveryFile) {
    const TDictionarySource german{"Deutsch", dir / "de.Lng", polish.defaultFile, "de", "en"};
    WriteFileBytes(german.file, "[Definitions]\r\nOvkLanguage=Deutsch\r\n[Caption]\r\n"
                                "Phrasebook=Sprachführer\r\n");
    ExportCatalogs({{polish, dir / "pl.xlf", TCatalogFormat::Xliff},
                    {german, dir / "de.ts", TCatalogFormat::Ts}});
    std::string ts = ReadFileBytes(dir / "de.ts");
    const std::string from = "<translation>Sprachführer</translation>";
    ASSERT_NE(ts.find(from), std::string::npos) << ts;
    ts.replace(ts.find(from), from.size(), "<translation>Reisebuch</translation>");
    WriteFileBytes(dir / "de.ts", ts);
    WriteFileBytes(dir / "broken.po", "msgid \"a\"\nmsgstr \"b\"\nmsgid bad\n");

    const std::vector<TCatalogImportResult> results =
        ImportCatalogs({{dir / "pl.xlf", polish},
                        {dir / "broken.po", polish},
                        {dir / "de.ts", german},
                        {dir / "missing.po", german}});
    ASSERT_EQ(results.size(), 4u);
    EXPECT_FALSE(results[0].failure);
    EXPECT_TRUE(results[0].report.changed.empty()); // exported and read back unchanged
    EXPECT_EQ(test::MessageOf([&] { std::rethrow_exception(results[1].failure); }),
              (dir / "broken.po").string() +
                  ": not a valid PO file: line 3: keyword \"bad\" unknown");
    ASSERT_FALSE(results[2].failure);
    ASSERT_EQ(results[2].report.changed.size(), 1u);
    EXPECT_EQ(results[2].report.changed[0].what, "translation");
    EXPECT_EQ(test::MessageOf([&] { std::rethrow_exception(results[3].failure); }),
              "Cannot read " + (dir / "missing.po").string());
    EXPECT_EQ(ProfileFile(german.file).ReadString("Caption", "Phrasebook", ""), "Reisebuch");
    EXPECT_EQ(ReadFileBytes(polish.file), kPolish);
}

// A section the file repeats is read as its first one, as every reader of the files does.
TEST_F(DictionaryCatalogTest, ARepeatedSectionIsReadOnce) {
    WriteFileBytes(polish.file, std::string(kPolish) + "[Caption]\r\nLater=Później\r\n");
    const TCatalog catalog = ReadDictionaryCatalog(polish);
    EXPECT_EQ(std::count_if(catalog.entries.begin(), catalog.entries.end(),
                            [](const TCatalogEntry& e) { return e.source == "Phrasebook"; }),
              1);
    EXPECT_EQ(std::count_if(catalog.entries.begin(), catalog.entries.end(),
                            [](const TCatalogEntry& e) { return e.source == "Later"; }),
              0);
}

// What an import does at the edges of what a dictionary can hold.
TEST_F(DictionaryCatalogTest, ImportsAtTheEdgesOfWhatADictionaryHolds) {
    // A plural form with a broken placeholder refuses the whole message.
    TCatalogEntry plural = Changed("%n phrases", "%n zwrotów");
    plural.plurals[2].second = "zwrotów"; // "many" must show its count
    // A translator's note on an entry only the Default dictionary has adds the entry, still
    // untranslated, to carry it.
    TCatalogEntry noted = Find(ReadDictionaryCatalog(polish), "%1 of %2");
    noted.translatorNote = "Keep the order";
    EXPECT_EQ(Import({plural, noted}),
              (std::vector<std::string>{
                  "changed Messages/%1 of %2: translator note",
                  "refused Messages/%n phrases: broken placeholder (many form): missing "
                  "placeholder %n",
              }));
    EXPECT_NE(
        ReadFileBytes(polish.file).find(";@translator Keep the order\r\n%1 of %2=%1 of %2\r\n"),
        std::string::npos);
    EXPECT_EQ(Find(ReadDictionaryCatalog(polish), "%1 of %2").state, TEntryState::Untranslated);

    // A Windows-1252 dictionary given a text the code page lacks becomes UTF-8 and says so.
    WriteFileBytes(polish.file, "[Definitions]\r\nOvkLanguage=Polski\r\n[Caption]\r\n"
                                "Phrasebook=Rozm\xF3wki\r\n");
    TCatalog incoming;
    incoming.entries = {Changed("Phrasebook", "Rozmówki, słownik")};
    const TImportReport report = ImportCatalog(incoming, polish);
    EXPECT_TRUE(report.convertedToUtf8);
    EXPECT_EQ(ReadFileBytes(polish.file), "\xEF\xBB\xBF[Definitions]\r\nOvkLanguage=Polski\r\n"
                                          "[Caption]\r\nPhrasebook=Rozmówki, słownik\r\n");
}

} // namespace
} // namespace tavrel

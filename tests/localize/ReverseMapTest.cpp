#include "ReverseMap.h"

#include "tavrel/storage/ProfileFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavrel::test {
namespace {

struct Query {
    const char* section;
    const char* text;
    std::optional<std::string> key; // nothing: the map leads nowhere
};

struct Case {
    const char* name;
    const char* dictionary;
    std::vector<Query> queries;
};

const Case kCases[] = {
    {"texts lead back to their keys, without regard to letter case or blanks",
     "[Caption]\r\nOpen=Ouvrir\r\nSave=Enregistrer\r\n[Hint]\r\nOpen=Ouvre le fichier\r\n",
     {{"Caption", "Ouvrir", "Open"},
      {" caption ", "  OUVRIR ", "Open"},
      {"Hint", "ouvre le fichier", "Open"},
      {"Hint", "Ouvrir", std::nullopt},
      {"Text", "Ouvrir", std::nullopt}}},
    {"of two keys with one translation the later wins",
     "[Caption]\r\nOpen=Ouvrir\r\nOpen file=Ouvrir\r\n",
     {{"Caption", "Ouvrir", "Open file"}}},
    {"translations a profile file cannot hold as keys lead nowhere",
     "[Caption]\r\nA=x=y\r\nB=;c\r\nC=[d\r\nD=\r\nE=ok\r\n",
     {{"Caption", "x=y", std::nullopt},
      {"Caption", ";c", std::nullopt},
      {"Caption", "[d", std::nullopt},
      {"Caption", "", std::nullopt},
      {"Caption", "ok", "E"}}},
    {"the language's own name is never reversed",
     "[Definitions]\r\nOvkLanguage=French\r\n[Caption]\r\nOvkLanguage=Langue\r\n",
     {{"Definitions", "French", std::nullopt}, {"Caption", "Langue", std::nullopt}}},
};

// A map made from a held state points into that state; one made from a file read afresh
// copies its texts. Both must answer alike and write the same file.
TEST(ReverseMap, HeldAndFreshDictionariesGiveTheSameMap) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto file = dir / "d.Lng";
        WriteFileBytes(file, c.dictionary);
        std::shared_ptr<const TReverseMap> fresh, held;
        {
            ProfileFile dictionary(file);
            fresh = TReverseMap::Of(dictionary);
            dictionary.Hold();
            held = TReverseMap::Of(dictionary);
        }
        // The file changes and its object is gone: the held map keeps its state.
        WriteFileBytes(file, "[Caption]\r\nOther=Autre\r\n");
        for (const auto& map : {fresh, held}) {
            for (const Query& q : c.queries) {
                const auto found = map->Find(q.section, q.text);
                EXPECT_EQ(found ? std::optional<std::string>(std::string(*found)) : std::nullopt,
                          q.key)
                    << q.section << "/" << q.text;
            }
            EXPECT_EQ(map->Find("Caption", "Autre"), std::nullopt);
        }
        EXPECT_EQ(held->FileBytes(), fresh->FileBytes());
        EXPECT_EQ(held->Size(), fresh->Size());
    }
}

TEST(ReverseMap, FileKeepsTheDictionarysEncodingAndOneEntryPerText) {
    TempDir dir;
    const auto file = dir / "d.Lng";
    // Windows-1252: "Öffnen", "Schließen".
    WriteFileBytes(file, "[Caption]\r\nOpen=\xD6"
                         "ffnen\r\nOpen file=\xD6"
                         "ffnen\r\n"
                         "Close=Schlie\xDF"
                         "en\r\n");
    ProfileFile dictionary(file);
    dictionary.Hold();
    EXPECT_EQ(TReverseMap::Of(dictionary)->FileBytes(), "[Caption]\r\n\xD6"
                                                        "ffnen=Open file\r\nSchlie\xDF"
                                                        "en=Close\r\n");
}

} // namespace
} // namespace tavrel::test

#include "tavrel/catalog/QualityCheck.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

using Strings = std::vector<std::string>;

TEST(QualityCheck, PlaceholdersOfEveryStyle) {
    const std::vector<std::pair<std::string, Strings>> cases = {
        {"%1 of %2", {"%1", "%2"}},
        {"%L1 files, %Ln left, %n done", {"%L1", "%Ln", "%n"}},
        {"%99 and %100", {"%99", "%10"}}, // two digits at most
        {"100%% sure, %s and %5.2f and %lld", {"%s", "%5.2f", "%lld"}},
        {"%1$s and %2$d", {"%1$s", "%2$d"}},
        {"{0} of {12}, {x} {123}", {"{0}", "{12}"}},
        {"50% off, a %0 and a trailing %", {}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Placeholders(text), expected) << text;
}

struct ProblemCase {
    std::string source, translation;
    bool pluralForm;
    std::string problem;
};

TEST(QualityCheck, PlaceholderProblemsAreNamed) {
    const std::vector<ProblemCase> cases = {
        {"%1 of %2", "%2 von %1", false, ""}, // numbered ones may move
        {"{0} of {1}", "{1} von {0}", false, ""},
        {"%1 of %2", "%1 von", false, "missing placeholder %2"},
        {"%1 of %2", "%1 von %2 %3", false, "extra placeholder %3"},
        {"%1 of %2", "%1 von %3", false, "placeholders renumbered: %2 became %3"},
        {"%s of %d", "%d von %s", false, "placeholders in another order: %s, %d became %d, %s"},
        {"%s of %d", "%s von", false, "missing placeholder %d"},
        {"%n files", "one file", true, ""}, // a singular form may spell the count out
        {"%n files", "eine Datei", false, "missing placeholder %n"},
        {"%1 and %2", "", false, "missing placeholders %1, %2"},
        {"a", "%1 %2", false, "extra placeholders %1, %2"},
        {"%1 x", "%2 y %3", false, "missing placeholder %1; extra placeholders %2, %3"},
        {"100%", "100%%", false, ""},
    };
    for (const ProblemCase& c : cases)
        EXPECT_EQ(PlaceholderProblem(c.source, c.translation, c.pluralForm), c.problem)
            << c.source << " -> " << c.translation;
}

TCatalogEntry Entry(std::string source, std::string translation,
                    TEntryState state = TEntryState::Done, Strings menus = {},
                    std::string context = "Caption") {
    TCatalogEntry entry;
    entry.context = std::move(context);
    entry.source = std::move(source);
    entry.translation = std::move(translation);
    entry.state = state;
    entry.menus = std::move(menus);
    return entry;
}

// Each finding as "level check: message".
Strings Findings(const TCatalog& catalog) {
    Strings out;
    for (const TFinding& f : CheckCatalog(catalog))
        out.push_back(std::string(FindingLevelName(f.level)) + " " + f.check + ": " + f.message);
    return out;
}

TEST(QualityCheck, EachEntryIsCheckedAsAReviewerWould) {
    const std::vector<std::pair<TCatalogEntry, Strings>> cases = {
        {Entry("&Open", "Ö&ffnen"), {}},
        {Entry("&Open", "Öffnen"), {"warning accelerator: the accelerator mark (&) is missing"}},
        {Entry("Open", "&Öffnen"),
         {"warning accelerator: an accelerator mark (&) the source does not have"}},
        {Entry("&Open", "&Öff&nen"),
         {"error accelerator: more than one accelerator mark (&) in one text"}},
        {Entry("Save && exit", "Speichern && beenden"), {}},
        {Entry("Name: ", "Name:"),
         {"warning blanks: leading or trailing blanks differ from the source"}},
        {Entry("Really?", "Wirklich."),
         {"warning punctuation: the source ends with a question mark; the translation with a "
          "full stop"}},
        {Entry("Open...", "Öffnen…"), {}}, // one ellipsis spelled two ways
        {Entry("Done.", "完了。"), {}},
        {Entry("Save", "Speichern."),
         {"warning punctuation: the translation ends with a full stop; the source does not"}},
        {Entry("OK", "Einverstanden und weiter"),
         {"warning length: the translation is 24 characters long, the source 2"}},
        {Entry("%1 files", "Dateien"), {"error placeholders: missing placeholder %1"}},
        {Entry("Open", "", TEntryState::Untranslated),
         {"warning untranslated: not translated yet"}},
        {Entry("Open", "Öffnen", TEntryState::NeedsReview),
         {"warning needs-review: the translation needs review"}},
        // A Text value is a list of lines, each checked against its own.
        {Entry("\"Where?\",%1", "Wo?,%1", TEntryState::Done, {}, "Text"), {}},
        {Entry("\"Where?\",%1", "Wo,%2", TEntryState::Done, {}, "Text"),
         {"warning punctuation: the source ends with a question mark; the translation does not",
          "error placeholders: placeholders renumbered: %1 became %2"}},
        {Entry("a,b", "a", TEntryState::Done, {}, "Text"),
         {"warning lines: the source has 2 lines, the translation 1"}},
        {Entry("Colours", "Rot,Grün", TEntryState::Done, {}, "Text"), {}}, // names the list
    };
    for (const auto& [entry, expected] : cases) {
        TCatalog catalog;
        catalog.entries.push_back(entry);
        EXPECT_EQ(Findings(catalog), expected) << entry.source << " -> " << entry.translation;
    }
    // Greek asks with a semicolon; elsewhere it stays a semicolon.
    TCatalog greek;
    greek.locale = "el";
    greek.entries = {Entry("Where?", "Πού;"), Entry("Why?", "Γιατί\u037E")};
    EXPECT_EQ(Findings(greek), Strings{});
    greek.locale = "de";
    EXPECT_EQ(Findings(greek), Strings{"warning punctuation: the source ends with a question "
                                       "mark; the translation with a semicolon"});
}

TEST(QualityCheck, PluralFormsObsoleteEntriesAndMenus) {
    TCatalog catalog;
    TCatalogEntry plural = Entry("%n files", "%n plików");
    plural.plurals = {
        {"one", "jeden plik"}, {"few", "%n pliki"}, {"many", "pliki"}, {"other", "%n plików"}};
    catalog.entries.push_back(plural);
    TCatalogEntry gone = Entry("%1 gone", "weg");
    gone.obsolete = true;
    catalog.entries.push_back(gone);
    // Two items of one menu share "ö"; an item of another menu may have it.
    catalog.entries.push_back(Entry("&Open", "&Öffnen", TEntryState::Done, {"menuFile"}));
    catalog.entries.push_back(Entry("&Options", "&Öptionen", TEntryState::Done, {"menuFile"}));
    catalog.entries.push_back(Entry("&Order", "&Ördnen", TEntryState::Done, {"menuEdit"}));
    EXPECT_EQ(Findings(catalog),
              (Strings{"error placeholders: missing placeholder %n",
                       "warning menu-accelerator: the accelerator &ö is also that of \"&Öffnen\" "
                       "in the menu menuFile"}));
    const std::vector<TFinding> findings = CheckCatalog(catalog);
    EXPECT_EQ(findings.back().source, "&Options");
    EXPECT_EQ(findings.front().translation, "pliki"); // the "many" form lost its count
}

TEST(QualityCheck, StatisticsCountWhatIsLeft) {
    TCatalog catalog;
    catalog.entries = {Entry("a", "A"), Entry("b", "B", TEntryState::NeedsReview),
                       Entry("c", "", TEntryState::Untranslated), Entry("d", "", TEntryState::Done),
                       Entry("e", "E")};
    catalog.entries.back().obsolete = true;
    const TCatalogStats stats = CatalogStats(catalog);
    EXPECT_EQ(stats.entries, 4);
    EXPECT_EQ(stats.done, 1);
    EXPECT_EQ(stats.needsReview, 1);
    EXPECT_EQ(stats.untranslated, 2); // an empty text is not done, whatever its mark
    EXPECT_DOUBLE_EQ(stats.PercentDone(), 25.0);
    EXPECT_DOUBLE_EQ(TCatalogStats{}.PercentDone(), 100.0);
}

TEST(QualityCheck, PseudoTextKeepsWhatMustWork) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Open", "[Óþéñ ~]"},
        {"&File", "[&Fíļé ~]"}, // the marked letter stays the key
        {"%1 of %n files", "[%1 óƒ %n ƒíļéš ~-~-~]"},
        {"Save && <b>quit</b> &amp; {0}", "[Šáṽé && <b>ǫúíţ</b> &amp; {0} ~-~-~-~-~-~]"},
        {"", ""},
    };
    for (const auto& [text, pseudo] : cases) {
        EXPECT_EQ(PseudoText(text), pseudo) << text;
        EXPECT_EQ(PlaceholderProblem(text, PseudoText(text)), "") << text;
    }
}

} // namespace
} // namespace tavrel

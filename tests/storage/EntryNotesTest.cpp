#include "tavrel/storage/EntryNotes.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

using Lines = std::vector<std::string>;
using S = TEntryState;

TEntryNotes Notes(std::optional<S> state, std::string translator = {}, std::string developer = {},
                  Lines locations = {}, Lines menus = {}, bool obsolete = false,
                  Lines others = {}) {
    return {state,
            std::move(translator),
            std::move(developer),
            std::move(locations),
            std::move(menus),
            obsolete,
            std::move(others)};
}

// The lines of a file, what they say, and how that is written back.
TEST(EntryNotes, LinesReadAndWriteBack) {
    struct Case {
        Lines lines;
        TEntryNotes notes;
        Lines written; // the lines written for `notes`: a canonical order
    };
    const std::vector<Case> cases = {
        {{}, Notes(std::nullopt), {}},
        {{"state done"}, Notes(S::Done), {"state done"}},
        {{"translator Keep it short", "translator", "translator second"},
         Notes(std::nullopt, "Keep it short\n\nsecond"),
         {"translator Keep it short", "translator", "translator second"}},
        {{"translator", "translator after an empty first line"},
         Notes(std::nullopt, "\nafter an empty first line"),
         {"translator", "translator after an empty first line"}},
        // Later facts follow the state and notes; duplicates of a place or menu count once.
        {{"menu FileMenu", "from Main.open.Caption", "obsolete", "from Main.open.Caption",
          "developer Title", "state needs-review"},
         Notes(S::NeedsReview, {}, "Title", {"Main.open.Caption"}, {"FileMenu"}, true),
         {"state needs-review", "developer Title", "from Main.open.Caption", "menu FileMenu",
          "obsolete"}},
        // What this version does not know is kept as it is, at the end.
        {{"state finished", "obsolete now", "review 2026-12-01", "from"},
         Notes(std::nullopt, {}, {}, {}, {}, false,
               {"state finished", "obsolete now", "review 2026-12-01", "from"}),
         {"state finished", "obsolete now", "review 2026-12-01", "from"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseEntryNotes(c.lines), c.notes) << ::testing::PrintToString(c.lines);
        EXPECT_EQ(FormatEntryNotes(c.notes), c.written) << ::testing::PrintToString(c.lines);
        EXPECT_EQ(ParseEntryNotes(c.written), c.notes) << ::testing::PrintToString(c.lines);
    }
}

TEST(EntryNotes, TextsBecomeLinesAFileCanHold) {
    TEntryNotes notes;
    notes.translatorNote = "one\r\ntwo\rthree\tand\x01 more";
    notes.locations = {"first\nsecond"};
    EXPECT_EQ(FormatEntryNotes(notes), (Lines{"translator one", "translator two",
                                              "translator three and  more", "from first"}));
}

TEST(EntryNotes, StateOfAnEntryAndTheMarkThatGivesIt) {
    const std::optional<std::string_view> absent;
    struct Case {
        std::string_view key;
        std::optional<std::string_view> value;
        std::optional<S> mark;
        S state;
    };
    const std::vector<Case> states = {
        {"Open", absent, std::nullopt, S::Untranslated},
        {"Open", "OVK", std::nullopt, S::Untranslated},
        {"Open", "Open", std::nullopt, S::Untranslated}, // as registration wrote it
        {"Open", "Öffnen", std::nullopt, S::Done},
        {"OK", "OK", S::Done, S::Done},
        {"Open", "Öffnen", S::NeedsReview, S::NeedsReview},
    };
    for (const Case& c : states)
        EXPECT_EQ(EntryState(c.key, c.value, Notes(c.mark)), c.state) << c.key;

    // A mark only where the value does not say the state already; one that is there and
    // says the same stays.
    EXPECT_EQ(StateMarkFor(S::Done, "Open", "Öffnen", std::nullopt), std::nullopt);
    EXPECT_EQ(StateMarkFor(S::Done, "Open", "Öffnen", S::NeedsReview), std::nullopt);
    EXPECT_EQ(StateMarkFor(S::Done, "Open", "Öffnen", S::Done), S::Done);
    EXPECT_EQ(StateMarkFor(S::Done, "OK", "OK", std::nullopt), S::Done);
    EXPECT_EQ(StateMarkFor(S::Untranslated, "OK", "OK", S::Done), std::nullopt);
    EXPECT_EQ(StateMarkFor(S::Untranslated, "Open", "Öffnen", std::nullopt), S::Untranslated);
    EXPECT_EQ(StateMarkFor(S::NeedsReview, "Open", "Öffnen", std::nullopt), S::NeedsReview);

    for (const S state : {S::Untranslated, S::NeedsReview, S::Done})
        EXPECT_EQ(EntryStateByName(EntryStateName(state)), state);
    EXPECT_EQ(EntryStateByName("finished"), std::nullopt);
}

} // namespace
} // namespace tavrel

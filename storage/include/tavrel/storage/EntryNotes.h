#pragma once

// What the notes of a dictionary entry say (see ProfileFile::ReadNotes): the state of its
// translation, the translator's and the developer's notes, and what registration learnt
// of the text. One fact per line, each a word and its text:
//
//   ;@state needs-review          untranslated | needs-review | done
//   ;@translator Keep it short    one line of the translator's note (more lines: more notes)
//   ;@developer Window title      one line of the developer's note
//   ;@from Main.open.Caption      where the application showed the text when registered
//   ;@menu Main.menuFile          a menu the text is an item of
//   ;@obsolete                    the application shows another text where it showed this
//   Caption=...
//
// A dictionary's own entries carry the state and the translator's note; the Default
// dictionary, which holds the application's texts, carries the developer's note and what
// registration learnt. Notes this version does not know are kept as they are.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

enum class TEntryState {
    Untranslated, // missing, "OVK", or still the key itself
    NeedsReview,  // translated, to be looked at again
    Done,         // translated (also a translation that really equals its key)
};

// "untranslated", "needs-review", "done".
std::string_view EntryStateName(TEntryState state);
std::optional<TEntryState> EntryStateByName(std::string_view name);

struct TEntryNotes {
    std::optional<TEntryState> state; // as marked; absent: as the value says
    std::string translatorNote;       // lines joined by '\n'
    std::string developerNote;        // lines joined by '\n'
    std::vector<std::string> locations;
    std::vector<std::string> menus;
    bool obsolete = false;
    std::vector<std::string> others; // notes of other kinds, without ";@"
};
bool operator==(const TEntryNotes& a, const TEntryNotes& b);
inline bool operator!=(const TEntryNotes& a, const TEntryNotes& b) {
    return !(a == b);
}

template <class Text> TEntryNotes ParseEntryNotes(const std::vector<Text>& lines);
extern template TEntryNotes ParseEntryNotes(const std::vector<std::string>&);
extern template TEntryNotes ParseEntryNotes(const std::vector<std::string_view>&);
// The lines to store; empty when nothing is noted. Line breaks in notes become lines of
// their own; other control characters become blanks.
std::vector<std::string> FormatEntryNotes(const TEntryNotes& notes);

// The state of an entry: as marked, else untranslated when the value is absent, "OVK" or
// the key itself, else done.
TEntryState EntryState(std::string_view key, std::optional<std::string_view> value,
                       const TEntryNotes& notes);
// The mark that gives an entry `wanted` as its state: none when the value says it
// already, except that a mark the entry has and that says the same is kept.
std::optional<TEntryState> StateMarkFor(TEntryState wanted, std::string_view key,
                                        std::optional<std::string_view> value,
                                        std::optional<TEntryState> current);

} // namespace tavrel

#include "tavrel/storage/EntryNotes.h"

#include "tavrel/storage/DictionaryFiles.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tavrel {

namespace {

constexpr std::array<std::pair<TEntryState, std::string_view>, 3> kStateNames{{
    {TEntryState::Untranslated, "untranslated"},
    {TEntryState::NeedsReview, "needs-review"},
    {TEntryState::Done, "done"},
}};

constexpr std::string_view kState = "state", kTranslator = "translator", kDeveloper = "developer",
                           kFrom = "from", kMenu = "menu", kObsolete = "obsolete";

// The word of a note and its text: "translator Keep it short" -> {"translator", "Keep..."}.
std::pair<std::string_view, std::string_view> SplitNote(std::string_view line) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return {line, {}};
    return {line.substr(0, space), line.substr(space + 1)};
}

void AddUnique(std::vector<std::string>& list, std::string_view item) {
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.emplace_back(item);
}

// A note's text as lines: a line break starts a line, other control characters are blanks.
std::vector<std::string> NoteLines(std::string_view text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (c == '\n' || c == '\r')
            lines.emplace_back();
        else
            lines.back() += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    return lines;
}

void AddNote(std::vector<std::string>& out, std::string_view word, std::string_view text) {
    out.push_back(std::string(word).append(text.empty() ? "" : " ").append(text));
}

} // namespace

bool operator==(const TEntryNotes& a, const TEntryNotes& b) {
    return a.state == b.state && a.translatorNote == b.translatorNote &&
           a.developerNote == b.developerNote && a.locations == b.locations && a.menus == b.menus &&
           a.obsolete == b.obsolete && a.others == b.others;
}

std::string_view EntryStateName(TEntryState state) {
    for (const auto& [s, name] : kStateNames)
        if (s == state)
            return name;
    return {};
}

std::optional<TEntryState> EntryStateByName(std::string_view name) {
    for (const auto& [state, n] : kStateNames)
        if (n == name)
            return state;
    return std::nullopt;
}

template <class Text> TEntryNotes ParseEntryNotes(const std::vector<Text>& lines) {
    TEntryNotes notes;
    bool translatorStarted = false, developerStarted = false;
    for (const Text& line : lines) {
        const auto [word, text] = SplitNote(line);
        if (word == kState && EntryStateByName(text)) {
            notes.state = EntryStateByName(text);
        } else if (word == kTranslator) {
            // The first line may be empty: the note then starts with a line break.
            if (translatorStarted)
                notes.translatorNote.append("\n").append(text);
            else
                notes.translatorNote = text;
            translatorStarted = true;
        } else if (word == kDeveloper) {
            if (developerStarted)
                notes.developerNote.append("\n").append(text);
            else
                notes.developerNote = text;
            developerStarted = true;
        } else if (word == kFrom && !text.empty()) {
            AddUnique(notes.locations, text);
        } else if (word == kMenu && !text.empty()) {
            AddUnique(notes.menus, text);
        } else if (word == kObsolete && text.empty()) {
            notes.obsolete = true;
        } else {
            notes.others.emplace_back(line);
        }
    }
    return notes;
}

template TEntryNotes ParseEntryNotes(const std::vector<std::string>&);
template TEntryNotes ParseEntryNotes(const std::vector<std::string_view>&);

std::vector<std::string> FormatEntryNotes(const TEntryNotes& notes) {
    std::vector<std::string> out;
    if (notes.state)
        AddNote(out, kState, EntryStateName(*notes.state));
    if (!notes.translatorNote.empty())
        for (const std::string& line : NoteLines(notes.translatorNote))
            AddNote(out, kTranslator, line);
    if (!notes.developerNote.empty())
        for (const std::string& line : NoteLines(notes.developerNote))
            AddNote(out, kDeveloper, line);
    for (const std::string& location : notes.locations)
        AddNote(out, kFrom, NoteLines(location).front());
    for (const std::string& menu : notes.menus)
        AddNote(out, kMenu, NoteLines(menu).front());
    if (notes.obsolete)
        AddNote(out, kObsolete, {});
    out.insert(out.end(), notes.others.begin(), notes.others.end());
    return out;
}

namespace {
TEntryState StateOfValue(std::string_view key, std::optional<std::string_view> value) {
    if (!value || *value == kNotFound || *value == key)
        return TEntryState::Untranslated;
    return TEntryState::Done;
}
} // namespace

TEntryState EntryState(std::string_view key, std::optional<std::string_view> value,
                       const TEntryNotes& notes) {
    return notes.state.value_or(StateOfValue(key, value));
}

std::optional<TEntryState> StateMarkFor(TEntryState wanted, std::string_view key,
                                        std::optional<std::string_view> value,
                                        std::optional<TEntryState> current) {
    if (current == wanted || StateOfValue(key, value) != wanted)
        return wanted;
    return std::nullopt;
}

} // namespace tavrel

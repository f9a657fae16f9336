// XLIFF 1.2 and 2.0 (see CatalogFormats.cpp for the mapping).

#include "FormatSupport.h"
#include "tavrel/localize/LanguageLocale.h"
#include "XmlSupport.h"

#include <algorithm>

namespace tavrel::formats {

namespace {

constexpr const char* kNs12 = "urn:oasis:names:tc:xliff:document:1.2";
constexpr const char* kNs20 = "urn:oasis:names:tc:xliff:document:2.0";
// Both versions require a source language; "und" stands for an unknown one.
constexpr std::string_view kUnknownLanguage = "und";
constexpr std::string_view kPluralGroup12 = "x-gettext-plurals";
constexpr std::string_view kPluralUnit20 = "tavrel:plurals";
constexpr std::string_view kObsoleteNoteFrom = "tavrel";
constexpr std::string_view kObsoleteNote = "obsolete";

std::string EntryId(const TCatalogEntry& entry) {
    return entry.id.empty() ? CatalogEntryId(entry.context, entry.source) : entry.id;
}

std::string LanguageOrUnknown(const std::string& tag) {
    return tag.empty() ? std::string(kUnknownLanguage) : tag;
}
std::string LanguageOf(const std::string& tag) {
    return tag == kUnknownLanguage ? "" : tag;
}

bool Translated(const TCatalogEntry& entry) {
    return entry.state != TEntryState::Untranslated;
}

bool HasToken(const std::string& list, std::string_view token) {
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t end = list.find(' ', pos);
        if (end == std::string::npos)
            end = list.size();
        if (std::string_view(list).substr(pos, end - pos) == token)
            return true;
        pos = end + 1;
    }
    return false;
}

// The state of a read entry: untranslated whenever it has no text.
TEntryState StateOf(const TCatalogEntry& entry, TEntryState stated) {
    return HasTranslation(entry) ? stated : TEntryState::Untranslated;
}

void CheckRoot(XmlNode root, std::string_view wantedVersion, std::string_view formatName) {
    if (NameOf(root) != "xliff")
        throw ECatalogFormatError("not an " + std::string(formatName) + " file: the root is <" +
                                  std::string(NameOf(root)) + ">");
    const std::string version = AttributeOr(root, "version");
    if (!version.starts_with(wantedVersion))
        throw ECatalogFormatError("not an " + std::string(formatName) + " file: version \"" +
                                  version + "\"");
}

// XLIFF 1.2 ----------------------------------------------------------------------------

// Locations, then notes: the order a <group> requires, and fine in a <trans-unit>.
void WriteNotes12(XmlWriter& xml, const TCatalogEntry& entry) {
    for (const std::string& location : entry.locations) {
        xml.Start("context-group");
        xml.Attribute("purpose", "location");
        xml.Start("context");
        xml.Attribute("context-type", "sourcefile");
        xml.Text(location);
        xml.End();
        xml.End();
    }
    auto note = [&](std::string_view from, const std::string& text) {
        if (text.empty())
            return;
        xml.Start("note");
        xml.Attribute("from", from);
        xml.Text(text);
        xml.End();
    };
    note("translator", entry.translatorNote);
    note("developer", entry.developerNote);
    if (entry.obsolete)
        note(kObsoleteNoteFrom, std::string(kObsoleteNote));
}

// A plural form is a unit of its own; an empty one still has an empty target, as the
// convention's own tools write and expect.
void WriteUnit12(XmlWriter& xml, const TCatalogEntry& entry, const std::string& id,
                 const std::string& text, bool pluralForm) {
    xml.Start("trans-unit");
    xml.Attribute("id", id);
    xml.Attribute("xml:space", "preserve");
    if (entry.obsolete)
        xml.Attribute("translate", "no");
    xml.Element("source", entry.source);
    if (Translated(entry) && !text.empty()) {
        xml.Start("target");
        xml.Attribute("state", entry.state == TEntryState::NeedsReview ? "needs-review-translation"
                                                                       : "translated");
        xml.Text(text);
        xml.End();
    } else if (pluralForm) {
        xml.Start("target");
        xml.Attribute("state", "new");
        xml.End();
    }
    if (!pluralForm)
        WriteNotes12(xml, entry);
    xml.End();
}

// A plural is a group of one trans-unit per form, the notes on the group.
void WriteEntry12(XmlWriter& xml, const TCatalogEntry& entry,
                  const std::vector<std::string>& categories) {
    const std::string id = EntryId(entry);
    if (entry.plurals.empty()) {
        WriteUnit12(xml, entry, id, entry.translation, false);
        return;
    }
    xml.Start("group");
    xml.Attribute("id", id);
    xml.Attribute("restype", kPluralGroup12);
    if (entry.obsolete)
        xml.Attribute("translate", "no");
    WriteNotes12(xml, entry);
    const std::vector<std::string> forms = PluralForms(entry, categories);
    for (std::size_t i = 0; i < forms.size(); ++i)
        WriteUnit12(xml, entry, id + "[" + std::to_string(i) + "]", forms[i], true);
    xml.End();
}

TEntryState StateOf12(XmlNode unit, XmlNode target) {
    if (AttributeOr(unit, "approved") == "yes")
        return TEntryState::Done;
    const std::string state = target ? AttributeOr(target, "state") : std::string();
    if (state == "new" || state == "needs-translation")
        return TEntryState::Untranslated;
    if (state.starts_with("needs-"))
        return TEntryState::NeedsReview;
    return TEntryState::Done; // translated, signed-off, final, none or the file's own
}

// Notes, locations and the obsolete mark of a trans-unit.
void ReadNotes12(XmlNode unit, TCatalogEntry& entry) {
    for (XmlNode child : ChildElements(unit)) {
        if (NameOf(child) == "note") {
            const std::string from = AttributeOr(child, "from");
            const std::string text = TextOf(child);
            if (from == kObsoleteNoteFrom && text == kObsoleteNote)
                entry.obsolete = true;
            else if (from == "developer")
                AppendNote(entry.developerNote, text);
            else
                AppendNote(entry.translatorNote, text);
        } else if (NameOf(child) == "context-group" &&
                   HasToken(AttributeOr(child, "purpose"), "location")) {
            for (XmlNode context : ChildElements(child, "context"))
                if (AttributeOr(context, "context-type") == "sourcefile")
                    entry.locations.push_back(TextOf(context));
        }
    }
}

struct TReader12 {
    TCatalog& catalog;
    std::vector<std::string> categories;

    void Unit(XmlNode unit, const std::string& context) {
        TCatalogEntry entry;
        entry.context = context;
        entry.id = AttributeOr(unit, "id");
        entry.source = TextOf(FirstChild(unit, "source"));
        const XmlNode target = FirstChild(unit, "target");
        entry.translation = TextOf(target);
        ReadNotes12(unit, entry);
        entry.state = StateOf(entry, StateOf12(unit, target));
        catalog.entries.push_back(std::move(entry));
    }

    void Plural(XmlNode group, const std::string& context) {
        const TElements units = ChildElements(group, "trans-unit");
        if (units.empty())
            return;
        TCatalogEntry entry;
        entry.context = context;
        entry.id = AttributeOr(group, "id");
        entry.source = TextOf(FirstChild(units.front(), "source"));
        std::vector<std::string> forms;
        std::optional<TEntryState> stated;
        for (XmlNode unit : units) {
            const XmlNode target = FirstChild(unit, "target");
            forms.push_back(TextOf(target));
            if (!stated && !forms.back().empty())
                stated = StateOf12(unit, target);
        }
        entry.plurals = PluralsFromForms(categories, forms);
        entry.translation = entry.plurals.back().second;
        ReadNotes12(group, entry);
        if (entry.translatorNote.empty() && entry.developerNote.empty() &&
            entry.locations.empty() && !entry.obsolete)
            ReadNotes12(units.front(), entry);
        entry.state = StateOf(entry, stated.value_or(TEntryState::Untranslated));
        catalog.entries.push_back(std::move(entry));
    }

    void Children(XmlNode parent, const std::string& context) {
        for (XmlNode child : ChildElements(parent)) {
            if (NameOf(child) == "trans-unit") {
                // The header of a PO file converted by other tools carries the language.
                if (AttributeOr(child, "restype") == "x-gettext-domain-header")
                    HeaderUnit(child);
                else
                    Unit(child, context);
            } else if (NameOf(child) == "group") {
                if (AttributeOr(child, "restype") == kPluralGroup12)
                    Plural(child, context);
                else
                    Children(child, AttributeOf(child, "resname").value_or(context));
            }
        }
    }

    void HeaderUnit(XmlNode unit) {
        if (!catalog.locale.empty())
            return;
        const std::string header = TextOf(FirstChild(unit, "source"));
        const std::size_t at = header.find("Language: ");
        if (at == std::string::npos || (at > 0 && header[at - 1] != '\n'))
            return;
        const std::size_t start = at + 10;
        catalog.locale = HyphenTag(header.substr(start, header.find('\n', start) - start));
        categories = PluralCategories(catalog.locale);
    }
};

// XLIFF 2.0 ----------------------------------------------------------------------------

void WriteEntry20(XmlWriter& xml, const TCatalogEntry& entry,
                  const std::vector<std::string>& categories) {
    xml.Start("unit");
    xml.Attribute("id", EntryId(entry));
    if (!entry.plurals.empty())
        xml.Attribute("type", kPluralUnit20);
    if (entry.obsolete)
        xml.Attribute("translate", "no");
    std::vector<std::pair<std::string_view, std::string>> notes;
    if (!entry.translatorNote.empty())
        notes.emplace_back("translator", entry.translatorNote);
    if (!entry.developerNote.empty())
        notes.emplace_back("developer", entry.developerNote);
    for (const std::string& location : entry.locations)
        notes.emplace_back("location", location);
    if (entry.obsolete)
        notes.emplace_back(kObsoleteNoteFrom, kObsoleteNote);
    if (!notes.empty()) {
        xml.Start("notes");
        for (const auto& [category, text] : notes) {
            xml.Start("note");
            xml.Attribute("category", category);
            xml.Text(text);
            xml.End();
        }
        xml.End();
    }
    const std::vector<std::string> forms = entry.plurals.empty()
                                               ? std::vector<std::string>{entry.translation}
                                               : PluralForms(entry, categories);
    for (const std::string& form : forms) {
        const bool withTarget = Translated(entry) && !form.empty();
        xml.Start("segment");
        xml.Attribute("state",
                      withTarget && entry.state == TEntryState::Done ? "translated" : "initial");
        xml.Element("source", entry.source);
        if (withTarget)
            xml.Element("target", form);
        xml.End();
    }
    xml.End();
}

struct TReader20 {
    TCatalog& catalog;
    std::vector<std::string> categories;

    void Unit(XmlNode unit, const std::string& context) {
        TCatalogEntry entry;
        entry.context = context;
        entry.id = AttributeOr(unit, "id");
        if (const XmlNode notes = FirstChild(unit, "notes")) {
            for (XmlNode note : ChildElements(notes, "note")) {
                const std::string category = AttributeOr(note, "category");
                const std::string text = TextOf(note);
                if (category == kObsoleteNoteFrom && text == kObsoleteNote)
                    entry.obsolete = true;
                else if (category == "location")
                    entry.locations.push_back(text);
                else if (category == "developer")
                    AppendNote(entry.developerNote, text);
                else
                    AppendNote(entry.translatorNote, text);
            }
        }
        // Segments and the ignorable text between them make up the unit's texts.
        std::vector<std::string> forms;
        std::optional<TEntryState> stated;
        const bool plural = AttributeOr(unit, "type") == kPluralUnit20;
        bool first = true;
        for (XmlNode part : ChildElements(unit)) {
            const bool segment = NameOf(part) == "segment";
            if (!segment && NameOf(part) != "ignorable")
                continue;
            const XmlNode target = FirstChild(part, "target");
            const std::string text = TextOf(target);
            if (plural && segment) {
                forms.push_back(text);
                if (first)
                    entry.source = TextOf(FirstChild(part, "source"));
                first = false;
            } else if (!plural) {
                entry.source += TextOf(FirstChild(part, "source"));
                entry.translation += text;
            }
            if (segment && !stated && !text.empty()) {
                const std::string state = AttributeOr(part, "state", "initial");
                stated = state == "initial" ? TEntryState::NeedsReview : TEntryState::Done;
            }
        }
        if (plural) {
            entry.plurals = PluralsFromForms(categories, forms);
            entry.translation = entry.plurals.back().second;
        }
        entry.state = StateOf(entry, stated.value_or(TEntryState::Untranslated));
        catalog.entries.push_back(std::move(entry));
    }

    void Children(XmlNode parent, const std::string& context) {
        for (XmlNode child : ChildElements(parent)) {
            if (NameOf(child) == "unit")
                Unit(child, context);
            else if (NameOf(child) == "group")
                Children(child, AttributeOf(child, "name").value_or(context));
        }
    }
};

// The entries of each context in a <group> of its own (numbered from 1), those without
// context outside any group: the shape both XLIFF versions share.
template <class NameGroup, class WriteEntry>
void WriteGroups(XmlWriter& xml, const TCatalog& catalog, const NameGroup& nameGroup,
                 const WriteEntry& writeEntry) {
    std::size_t groups = 0;
    for (const auto& [begin, end] : ContextRuns(catalog.entries)) {
        const std::string& context = catalog.entries[begin].context;
        if (!context.empty()) {
            xml.Start("group");
            nameGroup(context, ++groups);
        }
        for (std::size_t i = begin; i < end; ++i)
            writeEntry(catalog.entries[i]);
        if (!context.empty())
            xml.End();
    }
}

} // namespace

std::string WriteXliff12(const TCatalog& catalog) {
    const std::vector<std::string> categories = PluralCategories(catalog.locale);
    XmlWriter xml;
    xml.StartNs("xliff", kNs12);
    xml.Attribute("version", "1.2");
    xml.Start("file");
    xml.Attribute("original", catalog.language);
    xml.Attribute("source-language", LanguageOrUnknown(catalog.sourceLocale));
    if (!catalog.locale.empty())
        xml.Attribute("target-language", catalog.locale);
    xml.Attribute("datatype", "plaintext");
    xml.Start("body");
    WriteGroups(
        xml, catalog,
        [&](const std::string& context, std::size_t) { xml.Attribute("resname", context); },
        [&](const TCatalogEntry& entry) { WriteEntry12(xml, entry, categories); });
    xml.End(); // body
    xml.End(); // file
    xml.End(); // xliff
    return xml.Finish();
}

TCatalog ReadXliff12(std::string_view bytes) {
    const XmlDocument document(bytes, "XLIFF");
    const XmlNode root = document.Root();
    CheckRoot(root, "1.", "XLIFF 1.2");
    TCatalog catalog;
    TReader12 reader{catalog, {}};
    // Growing the entries one by one costs more than parsing the whole file.
    catalog.entries.reserve(CountElements(root, "trans-unit"));
    bool first = true;
    for (XmlNode file : ChildElements(root, "file")) {
        if (first) {
            catalog.language = AttributeOr(file, "original");
            catalog.sourceLocale = LanguageOf(AttributeOr(file, "source-language"));
            catalog.locale = AttributeOr(file, "target-language");
            reader.categories = PluralCategories(catalog.locale);
            first = false;
        }
        if (const XmlNode body = FirstChild(file, "body"))
            reader.Children(body, {});
    }
    return catalog;
}

std::string WriteXliff2(const TCatalog& catalog) {
    const std::vector<std::string> categories = PluralCategories(catalog.locale);
    XmlWriter xml;
    xml.StartNs("xliff", kNs20);
    xml.Attribute("version", "2.0");
    xml.Attribute("srcLang", LanguageOrUnknown(catalog.sourceLocale));
    if (!catalog.locale.empty())
        xml.Attribute("trgLang", catalog.locale);
    xml.Start("file");
    xml.Attribute("id", "f1");
    if (!catalog.language.empty())
        xml.Attribute("original", catalog.language);
    xml.Attribute("xml:space", "preserve");
    WriteGroups(
        xml, catalog,
        [&](const std::string& context, std::size_t number) {
            xml.Attribute("id", "g" + std::to_string(number));
            xml.Attribute("name", context);
        },
        [&](const TCatalogEntry& entry) { WriteEntry20(xml, entry, categories); });
    xml.End(); // file
    xml.End(); // xliff
    return xml.Finish();
}

TCatalog ReadXliff2(std::string_view bytes) {
    const XmlDocument document(bytes, "XLIFF");
    const XmlNode root = document.Root();
    CheckRoot(root, "2.", "XLIFF 2");
    TCatalog catalog;
    catalog.sourceLocale = LanguageOf(AttributeOr(root, "srcLang"));
    catalog.locale = AttributeOr(root, "trgLang");
    TReader20 reader{catalog, PluralCategories(catalog.locale)};
    catalog.entries.reserve(CountElements(root, "unit"));
    bool first = true;
    for (XmlNode file : ChildElements(root, "file")) {
        if (first)
            catalog.language = AttributeOr(file, "original");
        first = false;
        reader.Children(file, {});
    }
    return catalog;
}

} // namespace tavrel::formats

// Qt's TS files (see CatalogFormats.cpp for the mapping).

#include "FormatSupport.h"
#include "tavrel/localize/LanguageLocale.h"
#include "XmlSupport.h"

namespace tavrel::formats {

namespace {

void WriteMessage(XmlWriter& xml, const TCatalogEntry& entry,
                  const std::vector<std::string>& categories) {
    xml.Start("message");
    if (!entry.plurals.empty())
        xml.Attribute("numerus", "yes");
    xml.Element("source", entry.source);
    if (!entry.developerNote.empty())
        xml.Element("extracomment", entry.developerNote);
    if (!entry.translatorNote.empty())
        xml.Element("translatorcomment", entry.translatorNote);
    const bool translated = entry.state != TEntryState::Untranslated;
    xml.Start("translation");
    if (entry.obsolete)
        xml.Attribute("type", "obsolete");
    else if (entry.state != TEntryState::Done)
        xml.Attribute("type", "unfinished");
    if (entry.plurals.empty()) {
        if (translated)
            xml.Text(entry.translation);
    } else {
        for (const std::string& form : PluralForms(entry, categories))
            xml.Element("numerusform", translated ? form : std::string());
    }
    xml.End();
    xml.End();
}

// The text of a translation or numerus form; of length variants, the first (the longest).
std::string VariantText(XmlNode node) {
    if (const XmlNode variant = FirstChild(node, "lengthvariant"))
        return TextOf(variant);
    return TextOf(node);
}

TCatalogEntry ReadMessage(XmlNode message, const std::string& context,
                          const std::vector<std::string>& categories) {
    TCatalogEntry entry;
    entry.context = context;
    entry.source = TextOf(FirstChild(message, "source"));
    entry.developerNote = TextOf(FirstChild(message, "extracomment"));
    entry.translatorNote = TextOf(FirstChild(message, "translatorcomment"));
    const XmlNode translation = FirstChild(message, "translation");
    const std::string type = translation ? AttributeOr(translation, "type") : std::string();
    if (AttributeOr(message, "numerus") == "yes") {
        std::vector<std::string> forms;
        if (translation != nullptr)
            for (XmlNode form : ChildElements(translation, "numerusform"))
                forms.push_back(VariantText(form));
        entry.plurals = PluralsFromForms(categories, forms);
        entry.translation = entry.plurals.back().second;
    } else if (translation != nullptr) {
        entry.translation = VariantText(translation);
    }
    entry.obsolete = type == "obsolete" || type == "vanished";
    entry.state = !HasTranslation(entry) ? TEntryState::Untranslated
                  : type == "unfinished" ? TEntryState::NeedsReview
                                         : TEntryState::Done;
    return entry;
}

} // namespace

std::string WriteTs(const TCatalog& catalog) {
    const std::vector<std::string> categories = PluralCategories(catalog.locale);
    XmlWriter xml;
    xml.Doctype("TS");
    xml.Start("TS");
    xml.Attribute("version", "2.1");
    if (!catalog.locale.empty())
        xml.Attribute("language", UnderscoreTag(catalog.locale));
    if (!catalog.sourceLocale.empty())
        xml.Attribute("sourcelanguage", UnderscoreTag(catalog.sourceLocale));
    for (const auto& [begin, end] : ContextRuns(catalog.entries)) {
        xml.Start("context");
        xml.Element("name", catalog.entries[begin].context);
        for (std::size_t i = begin; i < end; ++i)
            WriteMessage(xml, catalog.entries[i], categories);
        xml.End();
    }
    xml.End();
    return xml.Finish();
}

TCatalog ReadTs(std::string_view bytes) {
    const XmlDocument document(bytes, "TS");
    const XmlNode root = document.Root();
    if (NameOf(root) != "TS")
        throw ECatalogFormatError("not a TS file: the root is <" + std::string(NameOf(root)) + ">");
    TCatalog catalog;
    catalog.locale = HyphenTag(AttributeOr(root, "language"));
    catalog.sourceLocale = HyphenTag(AttributeOr(root, "sourcelanguage"));
    const std::vector<std::string> categories = PluralCategories(catalog.locale);
    // Growing the entries one by one costs more than parsing the whole file.
    catalog.entries.reserve(CountElements(root, "message"));
    for (XmlNode context : ChildElements(root, "context")) {
        const std::string name = TextOf(FirstChild(context, "name"));
        for (XmlNode message : ChildElements(context, "message"))
            catalog.entries.push_back(ReadMessage(message, name, categories));
    }
    return catalog;
}

} // namespace tavrel::formats

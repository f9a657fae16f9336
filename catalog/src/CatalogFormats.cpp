// The translators' file formats and how a catalog maps onto each.
//
// context          PO msgctxt; XLIFF 1.2 <group resname> around the trans-units; XLIFF 2.0
//                  <group name>; TS <context><name>.
// source           PO msgid; XLIFF <source>; TS <source>.
// translation      PO msgstr; XLIFF <target>; TS <translation>.
// id               XLIFF trans-unit / unit id: entry.id, else CatalogEntryId. PO has none,
//                  and TS's id attribute means id-based texts to Qt's tools, so TS has none.
// translator note  PO "# " comments; XLIFF 1.2 <note from="translator">; XLIFF 2.0
//                  <note category="translator">; TS <translatorcomment>.
// developer note   PO "#." comments; XLIFF 1.2 <note from="developer">; XLIFF 2.0
//                  <note category="developer">; TS <extracomment>.
// locations        PO "#:" without line numbers; XLIFF 1.2 <context-group purpose="location">
//                  with <context context-type="sourcefile">; XLIFF 2.0 <note
//                  category="location">; TS none (its locations are source file paths).
// obsolete         PO "#~"; XLIFF 1.2 translate="no" and <note from="tavrel">obsolete</note>;
//                  XLIFF 2.0 translate="no" and <note category="tavrel">obsolete</note>; TS
//                  type="obsolete". translate="no" alone is not obsolete.
// language name    PO Language-Team; XLIFF <file original>; TS none.
// locale           PO Language ("pt_BR"); XLIFF target-language / trgLang; TS language.
// source locale    PO X-Source-Language; XLIFF source-language / srcLang ("und" when
//                  unknown, as both require one); TS sourcelanguage.
//
// States. Untranslated: PO empty msgstr; XLIFF 1.2 no <target>; XLIFF 2.0 state "initial"
// without target; TS type="unfinished" and empty. Needs review: PO fuzzy; XLIFF 1.2
// state="needs-review-translation"; XLIFF 2.0 "initial" with a target; TS "unfinished" with
// text. Done: PO plain; XLIFF 1.2 "translated"; XLIFF 2.0 "translated"; TS no type. Readers
// also take the other states of each format (XLIFF 1.2 new / needs-translation /
// needs-review-* / needs-adaptation / needs-l10n / signed-off / final / approved="yes";
// XLIFF 2.0 reviewed / final; TS vanished). An empty translation is untranslated in every
// format, so an untranslated entry is written without its text (it would be the key or a
// placeholder, not a translation).
//
// Plurals: every CLDR category of the locale in the order zero, one, two, few, many, other.
// PO: msgid = msgid_plural = the key, msgstr[i] for category i, and a Plural-Forms header
// computed from ICU's rules. XLIFF 1.2: a <group restype="x-gettext-plurals" id="ID">
// holding trans-units "ID[0]", "ID[1]"..., the notes on the group and an empty form as an
// empty target, as the convention's own tools do. XLIFF 2.0: a unit of type "tavrel:plurals" with
// one segment per category. TS: numerus="yes" with one <numerusform> per category.
//
// Known limits: PO keeps obsolete entries after the others and drops obsolete entries
// without translation (gettext writes and keeps them so), and it cannot hold locations with
// blanks; a PO msgid_plural other than the msgid is not kept; Qt's tools count numerus
// forms by their own rules, which differ from CLDR for some languages (Polish: three
// against four); TS drops locations and the id, and an obsolete TS entry has no state of
// its own (done when it has text); `menus` are never written; XLIFF inline markup is read
// as its text. XML cannot carry control characters other than tab and line breaks: the XML
// writers refuse them (ECatalogFormatError) rather than write a file nobody can read.

#include "tavrel/catalog/CatalogFormats.h"

#include "FormatSupport.h"

#include <algorithm>
#include <array>
#include <libxml/xmlreader.h>
#include <memory>

namespace tavrel {

namespace {

struct TFormatName {
    TCatalogFormat format;
    std::string_view name, extension;
};
constexpr std::array<TFormatName, 5> kFormats{{
    {TCatalogFormat::Po, "po", ".po"},
    {TCatalogFormat::Pot, "pot", ".pot"},
    {TCatalogFormat::Xliff, "xliff", ".xlf"},
    {TCatalogFormat::Xliff2, "xliff2", ".xlf"},
    {TCatalogFormat::Ts, "ts", ".ts"},
}};

const TFormatName& Entry(TCatalogFormat format) {
    return *std::find_if(kFormats.begin(), kFormats.end(),
                         [format](const TFormatName& f) { return f.format == format; });
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<long>(suffix.size()),
                      [](char a, char b) {
                          auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
                          return lower(a) == lower(b);
                      });
}

void QuietReaderErrors(void*, const char*, xmlParserSeverities, xmlTextReaderLocatorPtr) {}

// The root element of an XML file: its local name, namespace and version attribute.
std::optional<TCatalogFormat> DetectXml(std::string_view bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX))
        return std::nullopt;
    std::unique_ptr<xmlTextReader, decltype(&xmlFreeTextReader)> reader(
        xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        &xmlFreeTextReader);
    if (!reader)
        return std::nullopt;
    xmlTextReaderSetErrorHandler(reader.get(), QuietReaderErrors, nullptr);
    while (xmlTextReaderRead(reader.get()) == 1) {
        if (xmlTextReaderNodeType(reader.get()) != XML_READER_TYPE_ELEMENT)
            continue;
        auto text = [](const xmlChar* value) {
            return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
        };
        const std::string name = text(xmlTextReaderConstLocalName(reader.get()));
        const std::string ns = text(xmlTextReaderConstNamespaceUri(reader.get()));
        xmlChar* versionText = xmlTextReaderGetAttribute(reader.get(), BAD_CAST "version");
        const std::string version = text(versionText);
        xmlFree(versionText);
        if (name == "TS")
            return TCatalogFormat::Ts;
        if (name != "xliff")
            return std::nullopt;
        if (version.starts_with("2.") || ns.starts_with("urn:oasis:names:tc:xliff:document:2."))
            return TCatalogFormat::Xliff2;
        return TCatalogFormat::Xliff;
    }
    return std::nullopt;
}

// Whether a line of the text, past blanks, starts with "msgid".
bool HasMsgidLine(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        line.remove_prefix(std::min(line.find_first_not_of(" \t\r"), line.size()));
        if (line.starts_with("msgid") || line.starts_with("#~ msgid"))
            return true;
        pos = end + 1;
    }
    return false;
}

} // namespace

std::optional<TCatalogFormat> CatalogFormatByName(std::string_view name) {
    for (const TFormatName& f : kFormats)
        if (f.name == name)
            return f.format;
    return std::nullopt;
}

std::string_view CatalogFormatName(TCatalogFormat format) {
    return Entry(format).name;
}

std::string_view CatalogFormatExtension(TCatalogFormat format) {
    return Entry(format).extension;
}

std::optional<TCatalogFormat> DetectCatalogFormat(std::string_view fileName,
                                                  std::string_view bytes) {
    std::string_view text = bytes;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return std::nullopt;
    if (text[first] == '<')
        return DetectXml(bytes);
    if (!HasMsgidLine(text))
        return std::nullopt;
    return EndsWithNoCase(fileName, ".pot") ? TCatalogFormat::Pot : TCatalogFormat::Po;
}

std::string WriteCatalog(const TCatalog& catalog, TCatalogFormat format) {
    switch (format) {
    case TCatalogFormat::Po:
        return formats::WritePo(catalog, catalog.isTemplate);
    case TCatalogFormat::Pot:
        return formats::WritePo(catalog, true);
    case TCatalogFormat::Xliff:
        return formats::WriteXliff12(catalog);
    case TCatalogFormat::Xliff2:
        return formats::WriteXliff2(catalog);
    case TCatalogFormat::Ts:
        return formats::WriteTs(catalog);
    }
    throw ECatalogFormatError("unknown catalog format");
}

TCatalog ReadCatalog(std::string_view bytes, TCatalogFormat format) {
    switch (format) {
    case TCatalogFormat::Po:
        return formats::ReadPo(bytes, false);
    case TCatalogFormat::Pot:
        return formats::ReadPo(bytes, true);
    case TCatalogFormat::Xliff:
        return formats::ReadXliff12(bytes);
    case TCatalogFormat::Xliff2:
        return formats::ReadXliff2(bytes);
    case TCatalogFormat::Ts:
        return formats::ReadTs(bytes);
    }
    throw ECatalogFormatError("unknown catalog format");
}

namespace formats {

std::vector<std::string> PluralForms(const TCatalogEntry& entry,
                                     const std::vector<std::string>& categories) {
    std::vector<std::string> forms;
    for (const std::string& category : categories) {
        auto it = std::find_if(entry.plurals.begin(), entry.plurals.end(),
                               [&](const auto& plural) { return plural.first == category; });
        if (it != entry.plurals.end())
            forms.push_back(it->second);
        else
            forms.push_back(category == "other" ? entry.translation : std::string());
    }
    return forms;
}

TPlurals PluralsFromForms(const std::vector<std::string>& categories,
                          const std::vector<std::string>& forms) {
    TPlurals plurals;
    for (std::size_t i = 0; i < categories.size(); ++i) {
        std::string text;
        if (categories[i] == "other")
            text = forms.empty() ? std::string() : forms.back();
        else if (i < forms.size())
            text = forms[i];
        plurals.emplace_back(categories[i], std::move(text));
    }
    return plurals;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0, least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2, code = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, code = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, code = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

bool HasTranslation(const TCatalogEntry& entry) {
    if (!entry.translation.empty())
        return true;
    return std::any_of(entry.plurals.begin(), entry.plurals.end(),
                       [](const auto& plural) { return !plural.second.empty(); });
}

std::string UnderscoreTag(std::string_view tag) {
    std::string out(tag);
    std::replace(out.begin(), out.end(), '-', '_');
    return out;
}

std::string HyphenTag(std::string_view tag) {
    std::string out(tag);
    std::replace(out.begin(), out.end(), '_', '-');
    return out;
}

std::vector<std::pair<std::size_t, std::size_t>>
ContextRuns(const std::vector<TCatalogEntry>& entries) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (runs.empty() || entries[runs.back().first].context != entries[i].context)
            runs.emplace_back(i, i);
        runs.back().second = i + 1;
    }
    return runs;
}

void AppendNote(std::string& note, std::string_view text) {
    if (!note.empty())
        note += '\n';
    note += text;
}

} // namespace formats

} // namespace tavrel

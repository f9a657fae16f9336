#pragma once

// Private to the catalog library: writing XML through libxml2's text writer and reading it
// safely (no network, no DTD loading, no entities). Not installed.

#include <libxml/tree.h>
#include <libxml/xmlwriter.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::formats {

// A document written element by element, indented, in UTF-8. Every text is checked: XML
// cannot carry control characters other than tab and line breaks, nor invalid UTF-8, and a
// writer must never produce a file its readers refuse (ECatalogFormatError).
class XmlWriter {
public:
    XmlWriter();
    ~XmlWriter();
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;

    void Doctype(const char* name); // <!DOCTYPE name>
    void Start(const char* name);
    void StartNs(const char* name, const char* ns); // the root with its default namespace
    void Attribute(const char* name, std::string_view value);
    void Text(std::string_view text);
    void Element(const char* name, std::string_view text);
    void End();
    std::string Finish();

private:
    xmlBufferPtr buffer_ = nullptr;
    xmlTextWriterPtr writer_ = nullptr;
};

// A parsed document. Throws ECatalogFormatError naming `formatName` and the line for bytes
// that are not well-formed, and for any entity declaration.
class XmlDocument {
public:
    XmlDocument(std::string_view bytes, std::string_view formatName);
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    xmlNodePtr Root() const;

private:
    xmlDocPtr doc_ = nullptr;
};

// The local name of an element ("trans-unit" for <xlf:trans-unit>).
std::string_view NameOf(xmlNodePtr node);
// The element children of a node, in order.
std::vector<xmlNodePtr> ChildElements(xmlNodePtr node);
std::vector<xmlNodePtr> ChildElements(xmlNodePtr node, std::string_view name);
xmlNodePtr FirstChild(xmlNodePtr node, std::string_view name);
// How many elements of that name lie below a node, at any depth: a bound for reserving.
std::size_t CountElements(xmlNodePtr node, std::string_view name);
// All text below a node, inline markup left out.
std::string TextOf(xmlNodePtr node);
// An attribute without namespace (or in the xml namespace when `name` starts "xml:").
std::optional<std::string> AttributeOf(xmlNodePtr node, std::string_view name);
std::string AttributeOr(xmlNodePtr node, std::string_view name, std::string_view fallback = {});

} // namespace tavrel::formats

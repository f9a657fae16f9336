#pragma once

// Private to the catalog library: writing XML through libxml2's text writer and reading it
// safely through libxml2's parser (no network, no DTD loading, no entities). Not installed.

#include <cstddef>
#include <libxml/xmlwriter.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::formats {

// A document written element by element through libxml2's text writer, indented, in UTF-8.
// Every text is checked: XML cannot carry control characters other than tab and line
// breaks, nor invalid UTF-8, and a writer must never produce a file its readers refuse
// (ECatalogFormatError).
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

// An element, a piece of text or a reference to an entity of a parsed document. Names
// point into the parser's dictionary, texts and attributes into the document's own blocks.
struct TXmlAttribute {
    std::string_view prefix, name, value;
    bool refersToEntity = false; // a reference the parser left unexpanded
};
struct TXmlNode {
    enum class TKind : unsigned char { Element, Text, EntityReference };
    TKind kind = TKind::Element;
    std::string_view name; // of an element or entity
    std::string_view text;
    const TXmlAttribute* attributes = nullptr;
    std::size_t attributeCount = 0;
    TXmlNode* firstChild = nullptr;
    TXmlNode* lastChild = nullptr;
    TXmlNode* next = nullptr;
};
using XmlNode = const TXmlNode*;

// A parsed document. Throws ECatalogFormatError naming `formatName` and the line for bytes
// that are not well-formed, and for any entity declaration. libxml2 only parses: the tree is
// built from its events into a few large blocks, as its own tree costs far more to build and
// free than the readers spend on it.
class XmlDocument {
public:
    XmlDocument(std::string_view bytes, std::string_view formatName);
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    XmlNode Root() const { return root_; }

    // Space for the tree, for the parse only; text appended to the last text in place.
    void* Allocate(std::size_t size, std::size_t alignment);
    bool Extend(std::string_view& text, std::string_view more);

private:
    std::vector<std::unique_ptr<std::byte[]>> blocks_; // of one size, kept for the next
    std::vector<std::unique_ptr<std::byte[]>> large_;
    std::byte* free_ = nullptr;
    std::size_t left_ = 0;
    XmlNode root_ = nullptr;
};

// The local name of an element ("trans-unit" for <xlf:trans-unit>).
std::string_view NameOf(XmlNode node);
// The first element child of a node, and the next element after one, of that name (of any
// name when empty).
XmlNode FirstChild(XmlNode node, std::string_view name);
XmlNode NextSibling(XmlNode node, std::string_view name);

// The element children of a node (of one name, unless empty), in order, walked in place.
class TElements {
public:
    class iterator {
    public:
        using value_type = XmlNode;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        iterator(XmlNode node, std::string_view name) : node_(node), name_(name) {}
        XmlNode operator*() const { return node_; }
        iterator& operator++() {
            node_ = NextSibling(node_, name_);
            return *this;
        }
        iterator operator++(int) {
            iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const iterator& other) const { return node_ == other.node_; }

    private:
        XmlNode node_ = nullptr;
        std::string_view name_;
    };

    TElements(XmlNode parent, std::string_view name)
        : first_(FirstChild(parent, name)), name_(name) {}
    iterator begin() const { return {first_, name_}; }
    iterator end() const { return {}; }
    bool empty() const { return first_ == nullptr; }
    XmlNode front() const { return first_; }

private:
    XmlNode first_;
    std::string_view name_;
};
inline TElements ChildElements(XmlNode node, std::string_view name = {}) {
    return {node, name};
}
// How many elements of that name lie below a node, at any depth: a bound for reserving.
std::size_t CountElements(XmlNode node, std::string_view name);
// All text below a node, inline markup left out.
std::string TextOf(XmlNode node);
// An attribute without namespace (or in the xml namespace when `name` starts "xml:").
std::optional<std::string> AttributeOf(XmlNode node, std::string_view name);
std::string AttributeOr(XmlNode node, std::string_view name, std::string_view fallback = {});

} // namespace tavrel::formats

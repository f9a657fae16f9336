#include "XmlSupport.h"

#include "FormatSupport.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlwriter.h>
#include <new>

namespace tavrel::formats {

namespace {

// The first character XML 1.0 cannot carry, or nothing.
std::optional<char32_t> ForbiddenCharacter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return c;
        // U+FFFE and U+FFFF: EF BF BE / EF BF BF.
        if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE)
            return 0xFFFE + (static_cast<unsigned char>(text[i + 2]) & 1u);
    }
    return std::nullopt;
}

void CheckText(std::string_view text) {
    if (!IsValidUtf8(text))
        throw ECatalogFormatError("the text \"" + std::string(text) + "\" is not valid UTF-8");
    if (const auto c = ForbiddenCharacter(text)) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(*c));
        throw ECatalogFormatError("XML cannot carry the character " + std::string(code) +
                                  " of the text \"" + std::string(text) + "\"");
    }
}

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

void Check(int result) {
    if (result < 0)
        throw ECatalogFormatError("cannot write the XML document");
}

// What a parse met and the tree it builds; the parse callbacks have no context of their own.
struct TParse {
    XmlDocument& document;
    std::vector<TXmlNode*> open; // the elements not yet ended, innermost last
    TXmlNode* root = nullptr;
    std::string firstError;
    bool entityDeclared = false;
    bool outOfMemory = false;
};
thread_local TParse* tParse = nullptr;

// Nothing may unwind through the parser: a failure stops it.
template <class F> void Guarded(void* context, F&& build) {
    if (tParse == nullptr || tParse->outOfMemory)
        return;
    try {
        build(*tParse);
    } catch (const std::bad_alloc&) {
        tParse->outOfMemory = true;
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    }
}

void OnParseError(void*, xmlErrorPtr error) {
    if (tParse == nullptr || error == nullptr || error->level < XML_ERR_ERROR ||
        !tParse->firstError.empty())
        return;
    std::string message = error->message ? error->message : "unknown error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    tParse->firstError =
        error->line > 0 ? "line " + std::to_string(error->line) + ": " + message : message;
}

// Entities are refused outright: nothing is ever expanded or loaded.
void OnEntityDecl(void* context, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
    if (tParse != nullptr)
        tParse->entityDeclared = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}
void OnUnparsedEntityDecl(void* context, const xmlChar*, const xmlChar*, const xmlChar*,
                          const xmlChar*) {
    OnEntityDecl(context, nullptr, 0, nullptr, nullptr, nullptr);
}

std::string_view Copy(XmlDocument& document, std::string_view text) {
    if (text.empty())
        return {};
    auto* out = static_cast<char*>(document.Allocate(text.size(), 1));
    std::memcpy(out, text.data(), text.size());
    return {out, text.size()};
}

std::string_view View(const xmlChar* text) {
    return text ? reinterpret_cast<const char*>(text) : "";
}

TXmlNode* NewNode(TParse& parse, TXmlNode::TKind kind) {
    auto* node = new (parse.document.Allocate(sizeof(TXmlNode), alignof(TXmlNode))) TXmlNode;
    node->kind = kind;
    if (parse.open.empty()) {
        if (parse.root == nullptr && kind == TXmlNode::TKind::Element)
            parse.root = node;
        return node;
    }
    TXmlNode* parent = parse.open.back();
    (parent->lastChild ? parent->lastChild->next : parent->firstChild) = node;
    parent->lastChild = node;
    return node;
}

// Without entity substitution, the parser hands a character "&" in an attribute value on as
// "&#38;", and a reference to an entity as "&name;".
TXmlAttribute AttributeFrom(XmlDocument& document, const xmlChar* const* attribute) {
    TXmlAttribute out;
    out.prefix = Copy(document, View(attribute[1]));
    out.name = Copy(document, View(attribute[0]));
    const std::string_view raw(reinterpret_cast<const char*>(attribute[3]),
                               static_cast<std::size_t>(attribute[4] - attribute[3]));
    if (raw.find('&') == std::string_view::npos) {
        out.value = Copy(document, raw);
        return out;
    }
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw.substr(i, 5) == "&#38;") {
            value += '&';
            i += 4;
            continue;
        }
        if (raw[i] == '&')
            out.refersToEntity = true;
        value += raw[i];
    }
    out.value = Copy(document, value);
    return out;
}

void OnStartElement(void* context, const xmlChar* name, const xmlChar*, const xmlChar*, int,
                    const xmlChar**, int attributeCount, int defaulted,
                    const xmlChar** attributes) {
    Guarded(context, [&](TParse& parse) {
        TXmlNode* node = NewNode(parse, TXmlNode::TKind::Element);
        node->name = Copy(parse.document, View(name));
        // Defaults from a document's own DTD do not count, as in libxml2's own tree.
        const auto count = static_cast<std::size_t>(std::max(attributeCount - defaulted, 0));
        if (count > 0) {
            auto* list = static_cast<TXmlAttribute*>(
                parse.document.Allocate(count * sizeof(TXmlAttribute), alignof(TXmlAttribute)));
            for (std::size_t i = 0; i < count; ++i)
                new (list + i) TXmlAttribute(AttributeFrom(parse.document, attributes + 5 * i));
            node->attributes = list;
            node->attributeCount = count;
        }
        parse.open.push_back(node);
    });
}

void OnEndElement(void*, const xmlChar*, const xmlChar*, const xmlChar*) {
    if (tParse != nullptr && !tParse->open.empty())
        tParse->open.pop_back();
}

void OnCharacters(void* context, const xmlChar* text, int length) {
    Guarded(context, [&](TParse& parse) {
        if (parse.open.empty() || length <= 0)
            return;
        const std::string_view more(reinterpret_cast<const char*>(text),
                                    static_cast<std::size_t>(length));
        TXmlNode* last = parse.open.back()->lastChild;
        if (last != nullptr && last->kind == TXmlNode::TKind::Text &&
            parse.document.Extend(last->text, more))
            return;
        NewNode(parse, TXmlNode::TKind::Text)->text = Copy(parse.document, more);
    });
}

// A reference left unexpanded (to an entity the DTD may declare): an error when read.
void OnReference(void* context, const xmlChar* name) {
    Guarded(context, [&](TParse& parse) {
        if (!parse.open.empty())
            NewNode(parse, TXmlNode::TKind::EntityReference)->name =
                Copy(parse.document, View(name));
    });
}

void AppendCodePoint(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendText(std::string& out, XmlNode node) {
    for (XmlNode child = node->firstChild; child != nullptr; child = child->next) {
        switch (child->kind) {
        case TXmlNode::TKind::Text:
            out += child->text;
            break;
        case TXmlNode::TKind::Element:
            // Qt's files spell characters XML cannot carry as <byte value="x1"/>.
            if (NameOf(child) == "byte") {
                const std::string value = AttributeOr(child, "value");
                char* end = nullptr;
                const bool hex = value.starts_with("x");
                const unsigned long code =
                    std::strtoul(value.c_str() + (hex ? 1 : 0), &end, hex ? 16 : 10);
                if (!value.empty() && end != nullptr && *end == '\0' && code > 0 &&
                    code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF))
                    AppendCodePoint(out, code);
            } else {
                AppendText(out, child);
            }
            break;
        case TXmlNode::TKind::EntityReference:
            throw ECatalogFormatError("the file refers to the entity \"" +
                                      std::string(child->name) + "\"");
        }
    }
}

} // namespace

XmlWriter::XmlWriter() {
    buffer_ = xmlBufferCreate();
    writer_ = buffer_ ? xmlNewTextWriterMemory(buffer_, 0) : nullptr;
    if (writer_ == nullptr) {
        xmlBufferFree(buffer_);
        throw ECatalogFormatError("cannot write the XML document");
    }
    Check(xmlTextWriterSetIndent(writer_, 1));
    Check(xmlTextWriterSetIndentString(writer_, X("  ")));
    Check(xmlTextWriterStartDocument(writer_, "1.0", "UTF-8", nullptr));
}

XmlWriter::~XmlWriter() {
    if (writer_ != nullptr)
        xmlFreeTextWriter(writer_);
    xmlBufferFree(buffer_);
}

void XmlWriter::Doctype(const char* name) {
    Check(xmlTextWriterStartDTD(writer_, X(name), nullptr, nullptr));
    Check(xmlTextWriterEndDTD(writer_));
}

void XmlWriter::Start(const char* name) {
    Check(xmlTextWriterStartElement(writer_, X(name)));
}

void XmlWriter::StartNs(const char* name, const char* ns) {
    Start(name);
    Attribute("xmlns", ns);
}

void XmlWriter::Attribute(const char* name, std::string_view value) {
    const std::string text(value);
    CheckText(text);
    Check(xmlTextWriterWriteAttribute(writer_, X(name), X(text.c_str())));
}

void XmlWriter::Text(std::string_view text) {
    const std::string copy(text);
    CheckText(copy);
    Check(xmlTextWriterWriteString(writer_, X(copy.c_str())));
}

void XmlWriter::Element(const char* name, std::string_view text) {
    Start(name);
    Text(text);
    End();
}

void XmlWriter::End() {
    Check(xmlTextWriterFullEndElement(writer_));
}

std::string XmlWriter::Finish() {
    Check(xmlTextWriterEndDocument(writer_));
    xmlFreeTextWriter(writer_); // flushes into the buffer
    writer_ = nullptr;
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer_)),
                       static_cast<std::size_t>(xmlBufferLength(buffer_)));
}

XmlDocument::XmlDocument(std::string_view bytes, std::string_view formatName) {
    const std::string where = "not a well-formed " + std::string(formatName) + " file: ";
    if (bytes.size() > static_cast<std::size_t>(INT_MAX))
        throw ECatalogFormatError(where + "too large");
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (context == nullptr)
        throw ECatalogFormatError(where + "out of memory");
    // Only these events: no tree of libxml2's, no DTD, no entity looked up or loaded.
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = OnStartElement;
    handler.endElementNs = OnEndElement;
    handler.characters = OnCharacters;
    handler.ignorableWhitespace = OnCharacters;
    handler.cdataBlock = OnCharacters;
    handler.reference = OnReference;
    handler.entityDecl = OnEntityDecl;
    handler.unparsedEntityDecl = OnUnparsedEntityDecl;
    handler.serror = OnParseError;
    *context->sax = handler;

    TParse parse{*this, {}, nullptr, {}, false, false};
    tParse = &parse;
    xmlFreeDoc(xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                 nullptr, XML_PARSE_NONET | XML_PARSE_NOCDATA));
    tParse = nullptr;
    const bool wellFormed = context->wellFormed != 0;
    xmlFreeParserCtxt(context);

    if (parse.entityDeclared)
        throw ECatalogFormatError(where + "it declares entities");
    if (parse.outOfMemory)
        throw ECatalogFormatError(where + "out of memory");
    if (!wellFormed || !parse.firstError.empty())
        throw ECatalogFormatError(
            where + (parse.firstError.empty() ? std::string("no document") : parse.firstError));
    if (parse.root == nullptr)
        throw ECatalogFormatError(where + "no root element");
    root_ = parse.root;
}

namespace {

constexpr std::size_t kBlockSize = 256 * 1024;
constexpr std::size_t kKeptBlocks = 64;
// Blocks of documents read before: fresh memory costs a page fault per page on its first
// touch, which costs more than the parse, so a thread keeps a few megabytes for the next one.
thread_local std::vector<std::unique_ptr<std::byte[]>> tSpareBlocks;

} // namespace

XmlDocument::~XmlDocument() {
    for (auto& block : blocks_)
        if (tSpareBlocks.size() < kKeptBlocks)
            tSpareBlocks.push_back(std::move(block));
}

// `alignment` is a power of two.
void* XmlDocument::Allocate(std::size_t size, std::size_t alignment) {
    // A text longer than a block gets one of its own, not kept.
    if (size + alignment > kBlockSize) {
        large_.push_back(std::make_unique_for_overwrite<std::byte[]>(size + alignment));
        const auto at = reinterpret_cast<std::uintptr_t>(large_.back().get());
        return large_.back().get() + ((0 - at) & (alignment - 1));
    }
    auto at = reinterpret_cast<std::uintptr_t>(free_);
    std::size_t skip = (0 - at) & (alignment - 1);
    if (free_ == nullptr || skip + size > left_) {
        if (!tSpareBlocks.empty()) {
            blocks_.push_back(std::move(tSpareBlocks.back()));
            tSpareBlocks.pop_back();
        } else {
            blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(kBlockSize));
        }
        free_ = blocks_.back().get();
        left_ = kBlockSize;
        at = reinterpret_cast<std::uintptr_t>(free_);
        skip = (0 - at) & (alignment - 1);
    }
    std::byte* out = free_ + skip;
    free_ = out + size;
    left_ -= skip + size;
    return out;
}

bool XmlDocument::Extend(std::string_view& text, std::string_view more) {
    if (text.data() + text.size() != reinterpret_cast<const char*>(free_) || more.size() > left_)
        return false;
    std::memcpy(free_, more.data(), more.size());
    free_ += more.size();
    left_ -= more.size();
    text = std::string_view(text.data(), text.size() + more.size());
    return true;
}

std::string_view NameOf(XmlNode node) {
    return node && node->kind == TXmlNode::TKind::Element ? node->name : "";
}

namespace {

XmlNode ElementFrom(XmlNode node, std::string_view name) {
    for (; node != nullptr; node = node->next)
        if (node->kind == TXmlNode::TKind::Element && (name.empty() || node->name == name))
            return node;
    return nullptr;
}

} // namespace

XmlNode FirstChild(XmlNode node, std::string_view name) {
    return ElementFrom(node->firstChild, name);
}

XmlNode NextSibling(XmlNode node, std::string_view name) {
    return ElementFrom(node->next, name);
}

std::size_t CountElements(XmlNode node, std::string_view name) {
    std::size_t count = 0;
    for (XmlNode child = node->firstChild; child != nullptr; child = child->next)
        if (child->kind == TXmlNode::TKind::Element)
            count += (child->name == name ? 1 : 0) + CountElements(child, name);
    return count;
}

std::string TextOf(XmlNode node) {
    if (node == nullptr)
        return {};
    // Mostly one piece of text: taken whole.
    const XmlNode first = node->firstChild;
    if (first != nullptr && first->next == nullptr && first->kind == TXmlNode::TKind::Text)
        return std::string(first->text);
    std::string out;
    AppendText(out, node);
    return out;
}

std::optional<std::string> AttributeOf(XmlNode node, std::string_view name) {
    const std::string_view prefix = name.starts_with("xml:") ? "xml" : "";
    if (!prefix.empty())
        name.remove_prefix(4);
    for (std::size_t i = 0; i < node->attributeCount; ++i) {
        const TXmlAttribute& attribute = node->attributes[i];
        if (attribute.name != name || attribute.prefix != prefix)
            continue;
        if (attribute.refersToEntity)
            throw ECatalogFormatError("the file refers to an entity");
        return std::string(attribute.value);
    }
    return std::nullopt;
}

std::string AttributeOr(XmlNode node, std::string_view name, std::string_view fallback) {
    std::optional<std::string> value = AttributeOf(node, name);
    return value ? std::move(*value) : std::string(fallback);
}

} // namespace tavrel::formats

#include "XmlSupport.h"

#include "FormatSupport.h"

#include <climits>
#include <cstdio>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

namespace tavrel::formats {

namespace {

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

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

void Check(int result) {
    if (result < 0)
        throw ECatalogFormatError("cannot write the XML document");
}

// What a parse met; the parse callbacks have no context of their own.
struct TParseReport {
    std::string firstError;
    bool entityDeclared = false;
};
thread_local TParseReport* tReport = nullptr;

void OnParseError(void*, xmlErrorPtr error) {
    if (tReport == nullptr || error == nullptr || error->level < XML_ERR_ERROR ||
        !tReport->firstError.empty())
        return;
    std::string message = error->message ? error->message : "unknown error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    tReport->firstError =
        error->line > 0 ? "line " + std::to_string(error->line) + ": " + message : message;
}

// Entities are refused outright: nothing is ever expanded or loaded.
void OnEntityDecl(void* context, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
    if (tReport != nullptr)
        tReport->entityDeclared = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}
void OnUnparsedEntityDecl(void* context, const xmlChar*, const xmlChar*, const xmlChar*,
                          const xmlChar*) {
    OnEntityDecl(context, nullptr, 0, nullptr, nullptr, nullptr);
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

void AppendText(std::string& out, xmlNodePtr node) {
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
        switch (child->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (child->content != nullptr)
                out += reinterpret_cast<const char*>(child->content);
            break;
        case XML_ELEMENT_NODE:
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
        case XML_ENTITY_REF_NODE:
            throw ECatalogFormatError("the file refers to the entity \"" +
                                      std::string(reinterpret_cast<const char*>(child->name)) +
                                      "\"");
        default:
            break;
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
    context->sax->serror = OnParseError;
    context->sax->entityDecl = OnEntityDecl;
    context->sax->unparsedEntityDecl = OnUnparsedEntityDecl;
    context->sax->externalSubset = nullptr;

    TParseReport report;
    tReport = &report;
    doc_ = xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                             nullptr, XML_PARSE_NONET | XML_PARSE_NOCDATA);
    tReport = nullptr;
    const bool wellFormed = context->wellFormed != 0;
    xmlFreeParserCtxt(context);

    if (report.entityDeclared || !wellFormed || doc_ == nullptr || !report.firstError.empty()) {
        xmlFreeDoc(doc_);
        doc_ = nullptr;
        if (report.entityDeclared)
            throw ECatalogFormatError(where + "it declares entities");
        throw ECatalogFormatError(
            where + (report.firstError.empty() ? std::string("no document") : report.firstError));
    }
    if (xmlDocGetRootElement(doc_) == nullptr) {
        xmlFreeDoc(doc_);
        throw ECatalogFormatError(where + "no root element");
    }
}

XmlDocument::~XmlDocument() {
    xmlFreeDoc(doc_);
}

xmlNodePtr XmlDocument::Root() const {
    return xmlDocGetRootElement(doc_);
}

std::string_view NameOf(xmlNodePtr node) {
    return node && node->name ? reinterpret_cast<const char*>(node->name) : "";
}

std::vector<xmlNodePtr> ChildElements(xmlNodePtr node) {
    std::vector<xmlNodePtr> out;
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            out.push_back(child);
    return out;
}

std::vector<xmlNodePtr> ChildElements(xmlNodePtr node, std::string_view name) {
    std::vector<xmlNodePtr> out;
    for (xmlNodePtr child : ChildElements(node))
        if (NameOf(child) == name)
            out.push_back(child);
    return out;
}

xmlNodePtr FirstChild(xmlNodePtr node, std::string_view name) {
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE && NameOf(child) == name)
            return child;
    return nullptr;
}

std::size_t CountElements(xmlNodePtr node, std::string_view name) {
    std::size_t count = 0;
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            count += (NameOf(child) == name ? 1 : 0) + CountElements(child, name);
    return count;
}

std::string TextOf(xmlNodePtr node) {
    std::string out;
    if (node != nullptr)
        AppendText(out, node);
    return out;
}

std::optional<std::string> AttributeOf(xmlNodePtr node, std::string_view name) {
    const bool inXml = name.starts_with("xml:");
    if (inXml)
        name.remove_prefix(4);
    for (xmlAttrPtr attribute = node->properties; attribute != nullptr;
         attribute = attribute->next) {
        if (reinterpret_cast<const char*>(attribute->name) != name)
            continue;
        const bool isXml =
            attribute->ns != nullptr && attribute->ns->prefix != nullptr &&
            std::string_view(reinterpret_cast<const char*>(attribute->ns->prefix)) == "xml";
        if (inXml != isXml || (!inXml && attribute->ns != nullptr))
            continue;
        std::string value;
        for (xmlNodePtr child = attribute->children; child != nullptr; child = child->next) {
            if (child->type == XML_ENTITY_REF_NODE)
                throw ECatalogFormatError("the file refers to an entity");
            if (child->type == XML_TEXT_NODE && child->content != nullptr)
                value += reinterpret_cast<const char*>(child->content);
        }
        return value;
    }
    return std::nullopt;
}

std::string AttributeOr(xmlNodePtr node, std::string_view name, std::string_view fallback) {
    std::optional<std::string> value = AttributeOf(node, name);
    return value ? *value : std::string(fallback);
}

} // namespace tavrel::formats

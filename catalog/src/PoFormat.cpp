// PO and POT through gettext's own library, so the files are exactly what gettext's tools
// write and read. The library reads and writes files by name only: every call goes through
// a private file in memory. Its error handlers are process-wide, so
// one call at a time.

#include "FormatSupport.h"
#include "tavrel/localize/LanguageLocale.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gettext-po.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/mman.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unistd.h>

namespace tavrel::formats {

namespace {

std::mutex gLibraryMutex;

// A file the library can open by name that lives in memory only (memfd_create, named
// through /proc/self/fd), so no translation ever lands on a disk outside the folders the
// user named. Closed with the object.
class TMemoryFile {
public:
    TMemoryFile() : fd_(memfd_create("tavrel-po", MFD_CLOEXEC)) {
        if (fd_ < 0)
            throw ECatalogFormatError(std::string("cannot create a file in memory: ") +
                                      std::strerror(errno));
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~TMemoryFile() { close(fd_); }
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;

    const char* Path() const { return path_.c_str(); }

    void Write(std::string_view bytes) {
        for (off_t at = 0; !bytes.empty();) {
            const ssize_t written = pwrite(fd_, bytes.data(), bytes.size(), at);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                throw ECatalogFormatError(std::string("cannot write a file in memory: ") +
                                          std::strerror(errno));
            bytes.remove_prefix(static_cast<std::size_t>(written));
            at += written;
        }
    }
    std::string Read() const {
        std::string bytes;
        char buffer[65536];
        for (off_t at = 0;;) {
            const ssize_t got = pread(fd_, buffer, sizeof buffer, at);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                throw ECatalogFormatError(std::string("cannot read a file in memory: ") +
                                          std::strerror(errno));
            if (got == 0)
                return bytes;
            bytes.append(buffer, static_cast<std::size_t>(got));
            at += got;
        }
    }

private:
    int fd_;
    std::string path_;
};

// What the library reported during one call (under gLibraryMutex).
std::string* gFirstError = nullptr;

void Report(int severity, size_t line, const char* text) {
    if (gFirstError == nullptr || severity == PO_SEVERITY_WARNING || !gFirstError->empty())
        return;
    std::string message = text ? text : "unknown error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    *gFirstError = line != static_cast<size_t>(-1) && line != 0
                       ? "line " + std::to_string(line) + ": " + message
                       : message;
}

// A fatal error must not return to the library by its contract, but every reader of the
// library returns; the library then ends the call with what it has, which is discarded.
void OnError(int severity, po_message_t, const char*, size_t line, size_t, int, const char* text) {
    Report(severity, line, text);
}
void OnError2(int severity, po_message_t, const char*, size_t line, size_t, int, const char* text,
              po_message_t, const char*, size_t, size_t, int, const char*) {
    Report(severity, line, text);
}
const po_xerror_handler kHandler{OnError, OnError2};

struct TPoFileDeleter {
    void operator()(po_file_t file) const { po_file_free(file); }
};
using TPoFile = std::unique_ptr<std::remove_pointer_t<po_file_t>, TPoFileDeleter>;

// Text the library reads comes in the file's charset.
class TDecoder {
public:
    explicit TDecoder(std::string charset) {
        for (char& c : charset)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (charset.empty() || charset == "utf-8" || charset == "utf8" || charset == "charset" ||
            charset == "ascii" || charset == "us-ascii")
            return;
        UErrorCode status = U_ZERO_ERROR;
        UConverter* converter = ucnv_open(charset.c_str(), &status);
        if (U_FAILURE(status))
            throw ECatalogFormatError("not a valid PO file: unknown charset \"" + charset + "\"");
        ucnv_close(converter);
        charset_ = charset;
    }

    std::string operator()(const char* text) const {
        if (text == nullptr)
            return {};
        std::string out;
        if (charset_.empty()) {
            out = text;
        } else {
            icu::UnicodeString unicode(text, static_cast<int32_t>(std::strlen(text)),
                                       charset_.c_str());
            unicode.toUTF8String(out);
        }
        if (!IsValidUtf8(out))
            throw ECatalogFormatError("not a valid PO file: the text \"" + out +
                                      "\" is not valid UTF-8");
        return out;
    }

private:
    std::string charset_;
};

std::string HeaderField(const char* header, const char* field) {
    if (header == nullptr)
        return {};
    char* value = po_header_field(header, field);
    std::string out = value ? value : "";
    std::free(value);
    return out;
}

std::string Charset(const std::string& contentType) {
    const std::size_t at = contentType.find("charset=");
    if (at == std::string::npos)
        return {};
    std::string charset = contentType.substr(at + 8);
    return charset.substr(0, charset.find_first_of(" ;"));
}

// Some getters of the library return a fresh copy on every call that nobody frees. Two
// calls that give two strings tell so, and both are freed here.
struct TFreshCopies {
    const char *first, *second;
    ~TFreshCopies() {
        if (first != second) {
            std::free(const_cast<char*>(first));
            std::free(const_cast<char*>(second));
        }
    }
};

// The library stores comments as lines that each end in a line break.
std::string CommentOf(const char* (*get)(po_message_t), po_message_t message,
                      const TDecoder& decode) {
    TFreshCopies copies{get(message), get(message)};
    std::string text = decode(copies.first);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}
// The header of a domain; the library hands out a fresh copy too.
std::optional<std::string> DomainHeader(po_file_t file, const char* domain) {
    TFreshCopies copies{po_file_domain_header(file, domain), po_file_domain_header(file, domain)};
    return copies.first ? std::optional<std::string>(copies.first) : std::nullopt;
}

std::string CommentText(const std::string& note) {
    return note + "\n";
}

// A header field holds one line.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

std::string Header(const TCatalog& catalog, bool asTemplate, bool plural) {
    // No dates or names: the same catalog gives the same bytes. gettext's check wants the
    // fields present.
    std::string header = "Project-Id-Version: \nPO-Revision-Date: \nLast-Translator: \n";
    if (!catalog.language.empty())
        header += "Language-Team: " + OneLine(catalog.language) + "\n";
    if (!asTemplate || !catalog.locale.empty())
        header += "Language: " + OneLine(UnderscoreTag(catalog.locale)) + "\n";
    header += "MIME-Version: 1.0\n"
              "Content-Type: text/plain; charset=UTF-8\n"
              "Content-Transfer-Encoding: 8bit\n";
    if (plural)
        header += "Plural-Forms: " + PluralFormsHeader(catalog.locale) + "\n";
    if (!catalog.sourceLocale.empty())
        header += "X-Source-Language: " + OneLine(catalog.sourceLocale) + "\n";
    return header;
}

po_message_t MessageOf(const TCatalogEntry& entry, const std::vector<std::string>& categories,
                       bool asTemplate) {
    if (entry.context.empty() && entry.source.empty())
        throw ECatalogFormatError("PO cannot hold an entry without context and source text");
    po_message_t message = po_message_create();
    if (!entry.context.empty())
        po_message_set_msgctxt(message, entry.context.c_str());
    po_message_set_msgid(message, entry.source.c_str());
    const bool translated = !asTemplate && entry.state != TEntryState::Untranslated;
    if (!entry.plurals.empty()) {
        po_message_set_msgid_plural(message, entry.source.c_str());
        const std::vector<std::string> forms = PluralForms(entry, categories);
        for (std::size_t i = 0; i < forms.size(); ++i)
            po_message_set_msgstr_plural(message, static_cast<int>(i),
                                         translated ? forms[i].c_str() : "");
    } else {
        po_message_set_msgstr(message, translated ? entry.translation.c_str() : "");
    }
    po_message_set_fuzzy(message, translated && entry.state == TEntryState::NeedsReview);
    if (!entry.translatorNote.empty())
        po_message_set_comments(message, CommentText(entry.translatorNote).c_str());
    if (!entry.developerNote.empty())
        po_message_set_extracted_comments(message, CommentText(entry.developerNote).c_str());
    for (const std::string& location : entry.locations)
        po_message_add_filepos(message, location.c_str(), static_cast<size_t>(-1));
    po_message_set_obsolete(message, entry.obsolete);
    return message;
}

void CheckUtf8(const TCatalog& catalog) {
    auto check = [](const std::string& text) {
        if (!IsValidUtf8(text))
            throw ECatalogFormatError("the text \"" + text + "\" is not valid UTF-8");
    };
    for (const TCatalogEntry& entry : catalog.entries) {
        for (const std::string* text : {&entry.context, &entry.source, &entry.translation,
                                        &entry.translatorNote, &entry.developerNote})
            check(*text);
        for (const auto& plural : entry.plurals)
            check(plural.second);
        for (const std::string& location : entry.locations)
            check(location);
    }
}

// A line of the text, past blanks, and where the next begins.
std::string_view LineAt(std::string_view bytes, std::size_t pos, std::size_t& next) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos)
        end = bytes.size();
    next = end + 1;
    std::string_view line = bytes.substr(pos, end - pos);
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    return line;
}

// Where the header declares charset=UTF-8 in one piece, the position of "UTF-8".
std::optional<std::size_t> Utf8CharsetAt(std::string_view bytes) {
    std::size_t pos = 0, next = 0;
    // The header is the first entry: msgid "" and right after it the msgstr.
    for (;; pos = next) {
        if (pos >= bytes.size())
            return std::nullopt;
        const std::string_view line = LineAt(bytes, pos, next);
        if (line.starts_with("msgctxt") || line.starts_with("msgid")) {
            if (line.find_last_not_of(" \t\r") != 7 || !line.starts_with("msgid \"\""))
                return std::nullopt;
            break;
        }
    }
    pos = next;
    for (bool first = true; pos < bytes.size(); pos = next, first = false) {
        const std::string_view line = LineAt(bytes, pos, next);
        if (!(first ? line.starts_with("msgstr ") : line.starts_with("\"")))
            return std::nullopt;
        const std::size_t at = line.find("charset=");
        if (at == std::string_view::npos)
            continue;
        const std::string_view value = line.substr(at + 8, 6);
        if (value.size() < 6 || (value.substr(0, 5) != "UTF-8" && value.substr(0, 5) != "utf-8") ||
            std::string_view("\\; \"").find(value[5]) == std::string_view::npos)
            return std::nullopt;
        return static_cast<std::size_t>(line.data() - bytes.data()) + at + 8;
    }
    return std::nullopt;
}

// gettext reads a file of a declared charset character by character through iconv, which
// is most of its time. A file of unknown charset it takes byte by byte, and a file that is
// valid UTF-8 throughout parses the same either way (its multi-byte characters hold no
// ASCII bytes). So such a file reaches the library with gettext's placeholder "CHARSET" for
// "UTF-8"; the decoder takes the placeholder as UTF-8. Any other file goes as it is, so the
// library's own messages on it are kept.
std::string WithoutUtf8Charset(std::string_view bytes) {
    const std::optional<std::size_t> at = Utf8CharsetAt(bytes);
    if (!at || !IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 2);
    out.append(bytes.substr(0, *at)).append("CHARSET").append(bytes.substr(*at + 5));
    return out;
}

} // namespace

std::string WritePo(const TCatalog& catalog, bool asTemplate) {
    CheckUtf8(catalog);
    const std::vector<std::string> categories = PluralCategories(catalog.locale);
    const bool plural = std::any_of(catalog.entries.begin(), catalog.entries.end(),
                                    [](const TCatalogEntry& e) { return !e.plurals.empty(); });

    const std::string header = Header(catalog, asTemplate, plural);

    std::lock_guard lock(gLibraryMutex);
    TPoFile file(po_file_create());
    po_message_iterator_t iterator = po_message_iterator(file.get(), nullptr);
    try {
        po_message_t headerMessage = po_message_create();
        po_message_set_msgid(headerMessage, "");
        po_message_set_msgstr(headerMessage, header.c_str());
        po_message_insert(iterator, headerMessage);
        for (const TCatalogEntry& entry : catalog.entries)
            po_message_insert(iterator, MessageOf(entry, categories, asTemplate));
    } catch (...) {
        po_message_iterator_free(iterator);
        throw;
    }
    po_message_iterator_free(iterator);

    TMemoryFile temp;
    std::string error;
    gFirstError = &error;
    const po_file_t written = po_file_write(file.get(), temp.Path(), &kHandler);
    gFirstError = nullptr;
    if (written == nullptr || !error.empty())
        throw ECatalogFormatError("cannot write the PO file: " + error);
    return temp.Read();
}

TCatalog ReadPo(std::string_view bytes, bool asTemplate) {
    TMemoryFile temp;
    temp.Write(WithoutUtf8Charset(bytes));

    std::lock_guard lock(gLibraryMutex);
    std::string error;
    gFirstError = &error;
    TPoFile file(po_file_read(temp.Path(), &kHandler));
    gFirstError = nullptr;
    if (file == nullptr || !error.empty())
        throw ECatalogFormatError("not a valid PO file: " +
                                  (error.empty() ? std::string("cannot read it") : error));

    TCatalog catalog;
    catalog.isTemplate = asTemplate;
    const char* const* domains = po_file_domains(file.get());
    std::optional<std::string> headerText = DomainHeader(file.get(), nullptr);
    for (const char* const* domain = domains; !headerText && domain && *domain; ++domain)
        headerText = DomainHeader(file.get(), *domain);
    const char* header = headerText ? headerText->c_str() : nullptr;

    const TDecoder decode(Charset(HeaderField(header, "Content-Type")));
    auto field = [&](const char* name) { return decode(HeaderField(header, name).c_str()); };
    // Qt's converter names the language in its own field and appends the disambiguation
    // to the context ("Context|comment").
    catalog.locale = HyphenTag(field("Language"));
    if (catalog.locale.empty())
        catalog.locale = HyphenTag(field("X-Language"));
    const bool qtContexts = field("X-Qt-Contexts") == "true";
    catalog.sourceLocale = field("X-Source-Language");
    std::string team = field("Language-Team");
    team = team.substr(0, team.find(" <"));
    catalog.language = team == "LANGUAGE" ? std::string() : team;
    const std::vector<std::string> categories = PluralCategories(catalog.locale);

    // Growing the entries one by one costs more than our part of the reading.
    std::size_t count = 0;
    for (const char* const* domain = domains; domain && *domain; ++domain) {
        po_message_iterator_t iterator = po_message_iterator(file.get(), *domain);
        while (po_next_message(iterator) != nullptr)
            ++count;
        po_message_iterator_free(iterator);
    }
    catalog.entries.reserve(count);

    for (const char* const* domain = domains; domain && *domain; ++domain) {
        po_message_iterator_t iterator = po_message_iterator(file.get(), *domain);
        try {
            while (po_message_t message = po_next_message(iterator)) {
                const char* context = po_message_msgctxt(message);
                if (context == nullptr && *po_message_msgid(message) == '\0')
                    continue; // the header
                TCatalogEntry entry;
                entry.context = decode(context);
                if (qtContexts && entry.context.find('|') != std::string::npos)
                    entry.context.erase(entry.context.rfind('|'));
                entry.source = decode(po_message_msgid(message));
                if (po_message_msgid_plural(message) != nullptr) {
                    std::vector<std::string> forms;
                    for (int i = 0; const char* form = po_message_msgstr_plural(message, i); ++i)
                        forms.push_back(decode(form));
                    entry.plurals = PluralsFromForms(categories, forms);
                    entry.translation = entry.plurals.back().second;
                } else {
                    entry.translation = decode(po_message_msgstr(message));
                }
                entry.state = !HasTranslation(entry)         ? TEntryState::Untranslated
                              : po_message_is_fuzzy(message) ? TEntryState::NeedsReview
                                                             : TEntryState::Done;
                entry.translatorNote = CommentOf(po_message_comments, message, decode);
                entry.developerNote = CommentOf(po_message_extracted_comments, message, decode);
                for (int i = 0; po_filepos_t position = po_message_filepos(message, i); ++i)
                    entry.locations.push_back(decode(po_filepos_file(position)));
                entry.obsolete = po_message_is_obsolete(message) != 0;
                catalog.entries.push_back(std::move(entry));
            }
        } catch (...) {
            po_message_iterator_free(iterator);
            throw;
        }
        po_message_iterator_free(iterator);
    }
    return catalog;
}

} // namespace tavrel::formats

#include "ReverseMap.h"

#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/ProfileFile.h"

#include <vector>

namespace tavrel {

namespace {

// Whether a profile file can hold the translation as a key: one holding '=' or a line
// break cannot be written, one that starts with ';' or '[' would read back as a comment
// or a section header, and an empty one is never looked up.
bool CanServeAsKey(std::string_view text) {
    if (text.empty() || text.front() == ';' || text.front() == '[')
        return false;
    return text.find_first_of(std::string_view("=\r\n\0", 4)) == std::string_view::npos;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::size_t TReverseMap::CaselessHash::operator()(std::string_view text) const {
    std::size_t hash = 1469598103934665603ull; // FNV-1a over the lower-cased bytes
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(AsciiLower(c))) * 1099511628211ull;
    return hash;
}

bool TReverseMap::CaselessEqual::operator()(std::string_view a, std::string_view b) const {
    return EqualsIgnoringAsciiCase(a, b);
}

std::shared_ptr<const TReverseMap> TReverseMap::Of(const ProfileFile& dictionary) {
    auto map = std::make_shared<TReverseMap>();
    map->encoding_ = dictionary.Encoding();
    std::vector<std::string> sections;
    dictionary.ReadAllSections(sections);
    // A held state is kept alive by the map, which then points into it instead of copying
    // every text.
    map->state_ = dictionary.HeldState();
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& section : sections) {
        const auto add = [&](std::string_view key, std::string_view translation) {
            if (key != kLanguageKey)
                map->Add(section, translation, key);
        };
        if (map->state_ && dictionary.VisitHeldSection(section, add))
            continue;
        dictionary.ReadSectionValues(section, entries);
        for (const auto& [key, translation] : entries)
            add(map->storage_.emplace_back(key), map->storage_.emplace_back(translation));
    }
    return map;
}

void TReverseMap::Add(std::string_view section, std::string_view text, std::string_view key) {
    text = TrimProfileName(text);
    if (!CanServeAsKey(text))
        return;
    section = TrimProfileName(section);
    auto at = sectionIndex_.find(section);
    if (at == sectionIndex_.end()) {
        Section& added = sections_.emplace_back();
        added.name = std::string(section);
        added.writable = added.name.find(']') == std::string::npos;
        at = sectionIndex_.emplace(added.name, sections_.size() - 1).first;
    }
    Section& target = sections_[at->second];
    if (const auto known = target.index.find(text); known != target.index.end()) {
        target.entries[known->second].key = key;
        return;
    }
    Entry& entry = target.entries.emplace_back(Entry{text, key});
    target.index.emplace(entry.text, target.entries.size() - 1);
    ++size_;
}

std::optional<std::string_view> TReverseMap::Find(std::string_view section,
                                                  std::string_view text) const {
    const auto at = sectionIndex_.find(TrimProfileName(section));
    if (at == sectionIndex_.end())
        return std::nullopt;
    const Section& found = sections_[at->second];
    const auto entry = found.index.find(TrimProfileName(text));
    if (entry == found.index.end())
        return std::nullopt;
    return found.entries[entry->second].key;
}

const std::string& TReverseMap::FileBytes() const {
    if (!fileBytes_)
        fileBytes_ = EncodedFile();
    return *fileBytes_;
}

std::string TReverseMap::EncodedFile() const {
    std::string text;
    for (const Section& section : sections_) {
        if (!section.writable)
            continue;
        text.append("[").append(section.name).append("]\r\n");
        for (const Entry& entry : section.entries)
            text.append(entry.text).append("=").append(entry.key).append("\r\n");
    }
    // As profile files do: Windows-1252 bytes that would read as UTF-8 go to UTF-8 instead.
    if (auto bytes = EncodeFileText(std::string(text), encoding_);
        bytes && (encoding_ != FileEncoding::Windows1252 ||
                  DetectFileEncoding(*bytes) == FileEncoding::Windows1252))
        return std::move(*bytes);
    return *EncodeFileText(std::move(text), FileEncoding::Utf8Bom);
}

} // namespace tavrel

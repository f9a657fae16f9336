// Profile files: any bytes are read and listed without failing; then edits derived from the
// input are written, and a fresh parse of the written file gives back every value written
// (without its surrounding blanks, which the syntax trims), refusing only what cannot be
// written. A file that changes nothing is not rewritten.

#include "FuzzSupport.h"
#include "ProfileDocument.h"
#include "tavrel/storage/FileEncoding.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/Utf8.h"

#include <cstdint>
#include <map>
#include <vector>

namespace {

using namespace tavrel;

bool HasBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// What the file's syntax cannot hold, as the writer is meant to refuse it.
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
    section = detail::TrimProfileBlanks(section);
    key = detail::TrimProfileBlanks(key);
    if (section.empty() || section.find(']') != std::string_view::npos || HasBreakOrNul(section))
        return false;
    // "key=value" starting with '[' and holding a ']' would read back as a section header.
    if (key.empty() || key.find('=') != std::string_view::npos || HasBreakOrNul(key) ||
        key.front() == ';' ||
        (key.front() == '[' &&
         (key.find(']') != std::string_view::npos || value.find(']') != std::string_view::npos)))
        return false;
    return !HasBreakOrNul(value) && tavrel::IsValidUtf8(section) && tavrel::IsValidUtf8(key) &&
           tavrel::IsValidUtf8(value);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Pieces of the input to build edits from.
class Pieces {
public:
    explicit Pieces(std::string_view data) : data_(data) {}
    std::string Next(std::size_t most) {
        if (data_.empty())
            return {};
        const std::size_t size = static_cast<unsigned char>(data_[at_ % data_.size()]) % (most + 1);
        std::string piece;
        for (std::size_t i = 0; i < size; ++i)
            piece += data_[(at_ + 1 + i) % data_.size()];
        at_ += size + 1;
        return piece;
    }

private:
    std::string_view data_;
    std::size_t at_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto file = fuzz::Scratch() / "fuzz.Lng";
    fuzz::WriteFile(file, bytes);
    detail::ClearProfileCache();
    // Text once decoded from the file's own encoding, and not broken in it.
    const tavrel::DecodedFile decoded = tavrel::DecodeFileBytes(bytes);
    const std::string_view decodedText =
        decoded.same ? std::string_view(bytes).substr(decoded.offset) : decoded.converted;
    const bool readable = decodedText.find('\0') == std::string_view::npos;
    const bool text = readable && decoded.exact;

    // Reading lists names within the callers' buffers and values within 2047 bytes.
    ProfileFile reader(file);
    std::vector<std::string> sections, keys;
    reader.ReadSections(sections);
    FUZZ_CHECK(readable || sections.empty());
    std::size_t listed = 0;
    for (const auto& section : sections) {
        listed += section.size() + 1;
        reader.ReadSection(section, keys);
        for (const auto& key : keys) {
            FUZZ_CHECK(reader.ReadString(section, key, "").size() <= 2047);
            // A listed key reads as absent only behind an earlier line of its name without
            // '=' (a key without a value), and then both reads agree.
            if (!reader.FindValue(section, key))
                FUZZ_CHECK(reader.ReadString(section, key, "\x01") == "\x01");
        }
    }
    FUZZ_CHECK(listed < 16384);

    // Edits: existing sections and keys and new ones, values made of input bytes.
    Pieces pieces(bytes);
    std::map<std::pair<std::string, std::string>, std::string> written;
    ProfileFile writer(file);
    for (int edit = 0; edit < 6; ++edit) {
        std::string section = !sections.empty() && edit % 2 == 0
                                  ? sections[static_cast<std::size_t>(edit) % sections.size()]
                                  : pieces.Next(12);
        std::string key = pieces.Next(12);
        const std::string value = pieces.Next(40);
        const bool expected = text && Writable(section, key, value);
        try {
            writer.WriteString(section, key, value);
            FUZZ_CHECK(expected);
            written[{Lower(detail::TrimProfileBlanks(section)),
                     Lower(detail::TrimProfileBlanks(key))}] =
                std::string(detail::TrimProfileBlanks(value));
        } catch (const EIniFileException& e) {
            FUZZ_CHECK(!expected);
            FUZZ_CHECK(std::string_view(e.what()).substr(0, 19) == "Unable to write to ");
        }
    }
    const bool changes = writer.HasPendingChanges();
    writer.UpdateFile();
    if (!changes)
        FUZZ_CHECK(fuzz::ReadFile(file) == bytes);

    // A fresh parse of what is on disk now.
    detail::ClearProfileCache();
    const ProfileFile check(file);
    for (const auto& [name, value] : written) {
        // Written under a name that an earlier, case-different spelling already holds, the
        // value went to that key; the map's lower-case names find it the same way.
        const auto found = check.FindValue(name.first, name.second);
        FUZZ_CHECK(found.has_value());
        FUZZ_CHECK(*found == value);
    }
    return 0;
}

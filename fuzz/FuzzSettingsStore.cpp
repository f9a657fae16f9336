// The settings store file: whatever it holds is read without failing (a file that is no
// text reads as empty and refuses writes with the store's own errors); names and values of
// any bytes written into it read back exactly, by name without regard to ASCII case, and
// values written earlier stay.

#include "FuzzSupport.h"
#include "ProfileDocument.h"
#include "tavrel/storage/FileEncoding.h"
#include "tavrel/storage/SettingsStore.h"
#include "tavrel/storage/Utf8.h"

#include <cstdint>
#include <map>
#include <vector>

namespace {

using namespace tavrel;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto file = fuzz::Scratch() / "Localize.ini";
    fuzz::WriteFile(file, bytes);
    detail::ClearProfileCache();
    // Text once decoded from the file's own encoding, and not broken in it.
    const tavrel::DecodedFile decoded = tavrel::DecodeFileBytes(bytes);
    const std::string_view decodedText =
        decoded.same ? std::string_view(bytes).substr(decoded.offset) : decoded.converted;
    const bool text = decoded.exact && decodedText.find('\0') == std::string_view::npos;

    SettingsStore store(file);
    FUZZ_CHECK(store.OpenKey());
    const std::vector<std::string> sections{"Others", "Languages", "Odd[]=;% "};
    std::map<std::pair<std::string, std::string>, std::string> before;
    for (const auto& section : sections) {
        std::vector<std::string> names{"untouched"};
        const bool exists = store.ReadSection(section, names);
        FUZZ_CHECK(exists || names == std::vector<std::string>{"untouched"});
        if (!exists)
            continue;
        for (const auto& name : names) {
            const auto key = std::make_pair(section, Lower(name));
            if (!before.count(key)) // the first of equal names is the one read
                before[key] = store.ReadString(section, name, "\x01none");
        }
    }

    // Writes: names and values cut from the input, any bytes at all.
    std::map<std::pair<std::string, std::string>, std::string> written;
    const std::size_t third = size / 3;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string& section = sections[i % sections.size()];
        const std::string name = bytes.substr(i * 3 % (third + 1), 1 + i % 7) + std::to_string(i);
        const std::string value = bytes.substr(third, third);
        try {
            store.WriteString(section, name, value);
            FUZZ_CHECK(text);
            written[{section, Lower(name)}] = value;
        } catch (const ERegistryException& e) {
            FUZZ_CHECK(!text);
            const std::string_view message = e.what();
            FUZZ_CHECK(message.substr(0, 19) == "Failed to set data " ||
                       message.substr(0, 21) == "Failed to create key ");
        }
    }

    detail::ClearProfileCache();
    SettingsStore check(file);
    FUZZ_CHECK(check.OpenKey());
    for (const auto& [key, value] : written)
        FUZZ_CHECK(check.ReadString(key.first, key.second, "\x01none") == value);
    if (!text)
        FUZZ_CHECK(fuzz::ReadFile(file) == bytes);
    for (const auto& [key, value] : before) {
        if (!written.count(key))
            FUZZ_CHECK(check.ReadString(key.first, key.second, "\x01none") == value);
    }
    return 0;
}

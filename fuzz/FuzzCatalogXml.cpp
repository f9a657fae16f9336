// The XML readers of the translators' formats (XLIFF 1.2, XLIFF 2.0, Qt TS) on any bytes:
// a file is read or refused with ECatalogFormatError, never anything else; what is read
// writes back into a file of the same format that reads as the same entries.

#include "FuzzSupport.h"
#include "tavrel/catalog/CatalogFormats.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::array kFormats{tavrel::TCatalogFormat::Xliff, tavrel::TCatalogFormat::Xliff2,
                              tavrel::TCatalogFormat::Ts};

bool SameEntries(const tavrel::TCatalog& a, const tavrel::TCatalog& b) {
    if (a.entries.size() != b.entries.size())
        return false;
    for (std::size_t i = 0; i < a.entries.size(); ++i)
        if (a.entries[i].context != b.entries[i].context ||
            a.entries[i].source != b.entries[i].source ||
            a.entries[i].translation != b.entries[i].translation ||
            a.entries[i].state != b.entries[i].state)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto format = kFormats[data[0] % kFormats.size()];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    tavrel::TCatalog catalog;
    try {
        catalog = tavrel::ReadCatalog(bytes, format);
    } catch (const tavrel::ECatalogFormatError&) {
        return 0;
    }
    std::string written;
    try {
        written = tavrel::WriteCatalog(catalog, format);
    } catch (const tavrel::ECatalogFormatError&) {
        return 0; // a text XML cannot carry (a control character from an entity)
    }
    FUZZ_CHECK(SameEntries(catalog, tavrel::ReadCatalog(written, format)));
    return 0;
}

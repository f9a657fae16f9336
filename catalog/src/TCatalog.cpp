#include "tavrel/catalog/TCatalog.h"

#include <cstdint>

namespace tavrel {

std::string CatalogEntryId(std::string_view context, std::string_view source) {
    // FNV-1a over the context, a separator no text holds, and the source.
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::string_view text) {
        for (const unsigned char c : text) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
    };
    mix(context);
    mix(std::string_view("\0", 1));
    mix(source);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id = "t";
    for (int shift = 60; shift >= 0; shift -= 4)
        id += kHex[(hash >> shift) & 0xF];
    return id;
}

} // namespace tavrel

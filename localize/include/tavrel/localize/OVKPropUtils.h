#pragma once

// Uniform access to the text properties of any reflectable object: resolving dotted
// property paths ("Columns.#0.Caption"), reading and writing string properties through
// them, and listing every path below an object that leads to a text (the property tree).

#include "tavrel/localize/TPersistent.h"
#include "tavrel/localize/TStrings.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// A set of property kinds.
class TPropKinds {
public:
    constexpr TPropKinds() = default;
    constexpr TPropKinds(std::initializer_list<TPropKind> kinds) {
        for (TPropKind k : kinds)
            bits_ = static_cast<std::uint8_t>(bits_ | Bit(k));
    }
    constexpr bool Contains(TPropKind kind) const { return (bits_ & Bit(kind)) != 0; }

private:
    static constexpr std::uint8_t Bit(TPropKind kind) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
    }
    std::uint8_t bits_ = 0;
};

struct TPropertyTree;

// A leaf names a text property (or the pseudo-property "Text" of a string list); a branch
// names an object-reference property or a collection item ("#0", "#Title") and holds the
// tree of that object, which is never empty.
struct TPropertyTreeEntry {
    std::string Name;
    std::unique_ptr<TPropertyTree> Tree; // nullptr for a leaf
    bool IsBranch() const { return Tree != nullptr; }
};

struct TPropertyTree {
    std::vector<TPropertyTreeEntry> Entries;
};

// The message of the resolver error, raised as Exception.
inline constexpr std::string_view kResolverError = "Error in OvkFindComponent";

// Walks `path` from `object`: first through owned components (own Name and "Self" keep
// the component), then through object-reference properties and collection items ("#n"
// by index modulo 65536, "#text" by display name). On return `object` holds the final
// property and `path` is reduced to that property's name. The result tells whether the
// last property segment was found (true when there was none); a segment not found does
// not stop the walk. Throws Exception (kResolverError) for a "#" segment on an empty
// collection or beyond its end and for a segment naming a property that is not an object
// reference; EListError when no item has the display name. `object` may be nullptr.
bool OvkFindComponent(TPersistent*& object, std::string& path);

// The published property of that name (ASCII case ignored), or nullptr when the object is
// absent, its class publishes nothing or has no such property.
const TPropInfo* FindPropInfo(const TPersistent* object, std::string_view name);

// Resolves a copy of object and path; false (text untouched) when the resolver answers
// false. Otherwise reads the final property into `text` ("" when it is missing; a string
// list's exact "Text" gives its comma-text) and returns true. Resolver errors propagate.
bool GetPropertyText(TPersistent* object, std::string_view path, std::string& text);
// Reads one property of `object` as text: strings as they are, wide strings converted to
// the code page ('?' for a character without a byte), every other kind as "". False and
// "" when there is no such property.
bool GetStringProperty(const TPersistent* object, std::string_view name, std::string& text);

// Like GetPropertyText, writing instead: a string list's exact "Text" takes the comma-text
// as its lines; other kinds than strings ignore the write.
bool SetPropertyText(TPersistent* object, std::string_view path, const std::string& text);
// Writes one property from text; true when the property exists (even when its kind
// ignores the write). Short strings keep their first 255 characters.
bool SetStringProperty(TPersistent* object, std::string_view name, const std::string& text);

// The last segment of a resolved path (what OvkFindComponent leaves), looked up once for
// reading and then writing it: the same results as GetPropertyText and SetPropertyText
// with that one segment, without finding the property again for each.
class TPropertyText {
public:
    // `object` may be nullptr (a reference property without an object).
    TPropertyText(TPersistent* object, std::string_view name);
    // As GetPropertyText: "" when the property is missing.
    void Get(std::string& text) const;
    // As SetPropertyText.
    void Set(const std::string& text) const;

private:
    TPersistent* object_;
    TStrings* list_ = nullptr; // a string list's exact "Text"
    const TPropInfo* prop_ = nullptr;
};

// Every path below `object` that leads to a text, nested as the objects are: collection
// items first (or the leaf "Text" of a string list), then the short-string, long-string
// and object-reference properties in listing order; "Name" leaves, components reached
// through properties and branches without texts are left out. nullptr when the object
// has none of these at all. An object met again on the way down (a property graph that
// leads back to itself) contributes nothing, so such graphs cannot recurse without end.
std::unique_ptr<TPropertyTree> BuildPropertyTree(TPersistent& object);

// The dotted paths of every leaf of a tree, in tree order.
std::vector<std::string> PropertyPaths(const TPropertyTree& tree);

// Number of published properties of `cls` whose kind is in `kinds`; 0 for a class that
// carries no published-property information.
int CountProperties(const TClassInfo& cls, TPropKinds kinds);

// Process-wide: collections whose class name is in this list enter their items in
// property trees by display name ("#Title") instead of index ("#0"). Absent (nullptr) at
// start; setting nullptr makes it absent again.
TStrings* DisplayNameCollections();
void SetDisplayNameCollections(std::unique_ptr<TStrings> list);

} // namespace tavrel

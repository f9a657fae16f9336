#include "tavrel/localize/OVKPropUtils.h"

#include "tavrel/localize/Exception.h"
#include "tavrel/localize/TCollection.h"
#include "tavrel/localize/TComponent.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <optional>

namespace tavrel {

namespace {

[[noreturn]] void ThrowResolverError() {
    throw Exception(std::string(kResolverError));
}

// The platform's integer syntax: leading spaces, an optional sign, then decimal digits or
// hexadecimal digits after '$', 'x', 'X', "0x" or "0X", and nothing after the digits.
// Decimal values must lie in the 32-bit signed range; up to 32 bits of hexadecimal digits
// are accepted and may set the sign bit ("$FFFFFFFF" is -1), as the platform does.
std::optional<std::int32_t> ParseInt32(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == s.size())
        return std::nullopt;
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    std::uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * (hex ? 16u : 10u) + digit;
        if (value > limit)
            return std::nullopt;
    }
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative)
        bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

bool IsStringKind(TPropKind kind) {
    return kind == TPropKind::ShortString || kind == TPropKind::LongString;
}

std::unique_ptr<TStrings>& DisplayNameCollectionsSlot() {
    static std::unique_ptr<TStrings> list;
    return list;
}

bool ListsByDisplayName(const TCollection& collection) {
    const TStrings* list = DisplayNameCollections();
    if (list == nullptr)
        return false;
    try {
        return list->IndexOf(collection.ClassName()) >= 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool Empty(const std::unique_ptr<TPropertyTree>& tree) {
    return !tree || tree->Entries.empty();
}

std::unique_ptr<TPropertyTree> BuildTree(TPersistent& object,
                                         std::vector<const TPersistent*>& onPath) {
    if (std::find(onPath.begin(), onPath.end(), &object) != onPath.end())
        return nullptr;
    onPath.push_back(&object);
    struct Leave {
        std::vector<const TPersistent*>& path;
        ~Leave() { path.pop_back(); }
    } leave{onPath};

    std::unique_ptr<TPropertyTree> tree;
    if (auto* collection = dynamic_cast<TCollection*>(&object);
        collection != nullptr && collection->Count() > 0) {
        const bool byName = ListsByDisplayName(*collection);
        tree = std::make_unique<TPropertyTree>();
        const int count = collection->Count();
        for (int i = 0; i < count; ++i) {
            TCollectionItem* item = collection->Items(i);
            auto sub = BuildTree(*item, onPath);
            if (Empty(sub))
                continue;
            std::string name = "#" + (byName ? item->DisplayName() : std::to_string(item->Index()));
            tree->Entries.push_back({std::move(name), std::move(sub)});
        }
    }
    if (dynamic_cast<TStrings*>(&object) != nullptr) {
        tree = std::make_unique<TPropertyTree>();
        tree->Entries.push_back({"Text", nullptr});
    }
    for (const TPropInfo* prop : object.ClassInfo().Properties()) {
        if (!IsStringKind(prop->Kind) && prop->Kind != TPropKind::Class)
            continue;
        if (!tree)
            tree = std::make_unique<TPropertyTree>();
        if (IsStringKind(prop->Kind)) {
            if (prop->Name != "Name")
                tree->Entries.push_back({prop->Name, nullptr});
            continue;
        }
        TPersistent* value = prop->GetObject ? prop->GetObject(object) : nullptr;
        if (value == nullptr || dynamic_cast<TComponent*>(value) != nullptr)
            continue;
        auto sub = BuildTree(*value, onPath);
        if (Empty(sub))
            continue;
        tree->Entries.push_back({prop->Name, std::move(sub)});
    }
    return tree;
}

void CollectPaths(const TPropertyTree& tree, const std::string& prefix,
                  std::vector<std::string>& out) {
    for (const auto& entry : tree.Entries) {
        if (entry.IsBranch())
            CollectPaths(*entry.Tree, prefix + entry.Name + ".", out);
        else
            out.push_back(prefix + entry.Name);
    }
}

} // namespace

bool OvkFindComponent(TPersistent*& object, std::string& path) {
    // Phase 1: owned components, as long as the walk stays on components.
    if (auto* component = dynamic_cast<TComponent*>(object)) {
        for (auto dot = path.find('.'); dot != std::string::npos; dot = path.find('.')) {
            const std::string_view segment(path.data(), dot);
            TComponent* next = (segment == component->Name() || segment == "Self")
                                   ? component
                                   : component->FindComponent(segment);
            if (next == nullptr)
                break;
            component = next;
            object = component;
            path.erase(0, dot + 1);
        }
    }

    // Phase 2: collection items and object-reference properties.
    bool result = true;
    for (auto dot = path.find('.'); dot != std::string::npos; dot = path.find('.')) {
        auto* collection = dynamic_cast<TCollection*>(object);
        if (collection != nullptr && path.front() == '#') {
            if (collection->Count() == 0)
                ThrowResolverError();
            const std::string_view text(path.data() + 1, dot - 1);
            int index = 0;
            if (const auto number = ParseInt32(text)) {
                index = static_cast<std::uint16_t>(static_cast<std::uint32_t>(*number));
            } else {
                // Reading past the last item raises the list error with the item count.
                while (collection->Items(index)->DisplayName() != text)
                    ++index;
            }
            if (index >= collection->Count())
                ThrowResolverError();
            object = collection->Items(index);
        } else {
            const TPropInfo* prop = FindPropInfo(object, std::string_view(path.data(), dot));
            result = prop != nullptr;
            if (prop != nullptr) {
                if (prop->Kind != TPropKind::Class)
                    ThrowResolverError();
                object = prop->GetObject ? prop->GetObject(*object) : nullptr;
            }
        }
        path.erase(0, dot + 1);
    }
    return result;
}

const TPropInfo* FindPropInfo(const TPersistent* object, std::string_view name) {
    if (object == nullptr)
        return nullptr;
    const TClassInfo& cls = object->ClassInfo();
    if (!cls.HasPublishedInfo())
        return nullptr;
    return cls.Find(name);
}

namespace {

void ReadStringProperty(const TPropInfo* prop, const TPersistent* object, std::string& text) {
    if (prop == nullptr) {
        text.clear();
        return;
    }
    switch (prop->Kind) {
    case TPropKind::ShortString:
    case TPropKind::LongString:
        text = prop->GetString ? prop->GetString(*object) : std::string();
        if (prop->Kind == TPropKind::ShortString)
            text.resize(Utf8Prefix(text, kMaxShortString).size());
        break;
    case TPropKind::WideString:
        text = prop->GetWide ? Utf8FromUtf16(prop->GetWide(*object)) : std::string();
        break;
    case TPropKind::Class:
    case TPropKind::Other:
        text.clear();
        break;
    }
}

void WriteStringProperty(const TPropInfo* prop, TPersistent* object, const std::string& text) {
    if (prop == nullptr)
        return;
    switch (prop->Kind) {
    case TPropKind::ShortString:
        if (prop->SetString)
            prop->SetString(*object, std::string(Utf8Prefix(text, kMaxShortString)));
        break;
    case TPropKind::LongString:
        if (prop->SetString)
            prop->SetString(*object, text);
        break;
    case TPropKind::WideString:
        if (prop->SetWide)
            prop->SetWide(*object, Utf16FromUtf8(text));
        break;
    case TPropKind::Class:
    case TPropKind::Other:
        break;
    }
}

} // namespace

bool GetStringProperty(const TPersistent* object, std::string_view name, std::string& text) {
    const TPropInfo* prop = FindPropInfo(object, name);
    ReadStringProperty(prop, object, text);
    return prop != nullptr;
}

bool SetStringProperty(TPersistent* object, std::string_view name, const std::string& text) {
    const TPropInfo* prop = FindPropInfo(object, name);
    WriteStringProperty(prop, object, text);
    return prop != nullptr;
}

TPropertyText::TPropertyText(TPersistent* object, std::string_view name) : object_(object) {
    if (auto* list = dynamic_cast<TStrings*>(object); list != nullptr && name == "Text")
        list_ = list;
    else
        prop_ = FindPropInfo(object, name);
}

void TPropertyText::Get(std::string& text) const {
    if (list_ != nullptr)
        text = list_->CommaText();
    else
        ReadStringProperty(prop_, object_, text);
}

void TPropertyText::Set(const std::string& text) const {
    if (list_ != nullptr)
        list_->SetCommaText(text);
    else
        WriteStringProperty(prop_, object_, text);
}

bool GetPropertyText(TPersistent* object, std::string_view path, std::string& text) {
    std::string rest(path);
    if (!OvkFindComponent(object, rest))
        return false;
    TPropertyText(object, rest).Get(text);
    return true;
}

bool SetPropertyText(TPersistent* object, std::string_view path, const std::string& text) {
    std::string rest(path);
    if (!OvkFindComponent(object, rest))
        return false;
    TPropertyText(object, rest).Set(text);
    return true;
}

std::unique_ptr<TPropertyTree> BuildPropertyTree(TPersistent& object) {
    std::vector<const TPersistent*> onPath;
    return BuildTree(object, onPath);
}

std::vector<std::string> PropertyPaths(const TPropertyTree& tree) {
    std::vector<std::string> paths;
    CollectPaths(tree, "", paths);
    return paths;
}

int CountProperties(const TClassInfo& cls, TPropKinds kinds) {
    if (!cls.HasPublishedInfo())
        return 0;
    const auto& props = cls.Properties();
    return static_cast<int>(std::count_if(
        props.begin(), props.end(), [&](const TPropInfo* p) { return kinds.Contains(p->Kind); }));
}

TStrings* DisplayNameCollections() {
    return DisplayNameCollectionsSlot().get();
}

void SetDisplayNameCollections(std::unique_ptr<TStrings> list) {
    DisplayNameCollectionsSlot() = std::move(list);
}

} // namespace tavrel

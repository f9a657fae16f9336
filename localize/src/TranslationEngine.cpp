#include "TranslationEngine.h"

#include "tavrel/localize/OVKPropUtils.h"
#include "tavrel/localize/TCollection.h"
#include "tavrel/localize/TMenuItem.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/localize/TStrings.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <array>
#include <optional>

namespace tavrel {

namespace {

constexpr std::size_t kTextWidth = 255;
constexpr std::string_view kReverseLanguage = "oponent";
constexpr std::string_view kMessagesSection = "Messages";
constexpr std::array<std::string_view, 3> kExcludedPrefixParts{"SQL", "Description", "Function"};

bool IsExcludedPrefix(std::string_view prefix) {
    return std::any_of(
        kExcludedPrefixParts.begin(), kExcludedPrefixParts.end(),
        [prefix](std::string_view part) { return prefix.find(part) != std::string_view::npos; });
}

// A component's tree depends on its class alone unless it is a list or collection whose
// items make the tree, or reaches other objects (object-reference properties).
bool IsListOrCollection(TComponent& component) {
    return dynamic_cast<TCollection*>(&component) != nullptr ||
           dynamic_cast<TStrings*>(&component) != nullptr;
}

std::vector<const TPropInfo*> ReferencesOf(const TClassInfo& cls) {
    std::vector<const TPropInfo*> references;
    for (const TPropInfo* p : cls.Properties())
        if (p->Kind == TPropKind::Class)
            references.push_back(p);
    return references;
}

// Whether none of the object's references leads to an object: its tree then holds its
// string properties alone, as every such instance's of its class.
bool ReachesNoObject(const TComponent& component, const std::vector<const TPropInfo*>& references) {
    return std::all_of(references.begin(), references.end(), [&](const TPropInfo* p) {
        return !p->GetObject || p->GetObject(component) == nullptr;
    });
}

// Where a component sits: the names of its owners and its own, joined by dots; empty when
// one of them has no name (the path would not stay the same from one run to the next).
std::string LocationOf(const TPersistent& base) {
    std::vector<const std::string*> names;
    for (auto* c = dynamic_cast<const TComponent*>(&base); c != nullptr; c = c->Owner()) {
        if (c->Name().empty())
            return {};
        names.push_back(&c->Name());
    }
    std::string location;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        location.append(location.empty() ? "" : ".").append(**name);
    return location;
}

} // namespace

TTranslationMode ModeOfLanguage(std::string_view language) {
    if (language.empty())
        return TTranslationMode::Register;
    return language == kReverseLanguage ? TTranslationMode::Reverse : TTranslationMode::Forward;
}

TTranslationContext::TTranslationContext(TTranslationMode mode, std::string forwardLanguage,
                                         std::function<std::filesystem::path()> openForward)
    : mode_(mode), forwardLanguage_(std::move(forwardLanguage)),
      openForward_(std::move(openForward)) {}

TTranslationContext::TTranslationContext(TTranslationMode mode, TTranslationContext& running)
    : mode_(mode), forwardLanguage_(running.forwardLanguage_), lender_(&running),
      reverse_(running.reverse_) {}

TTranslationContext::~TTranslationContext() = default;

ProfileFile& TTranslationContext::Forward() {
    if (forward_ == nullptr) {
        if (lender_ != nullptr) {
            forward_ = &lender_->Forward();
        } else {
            ownForward_ = std::make_unique<ProfileFile>(openForward_());
            ownForward_->Hold(); // one state for the whole walk, no stat per look-up
            forward_ = ownForward_.get();
        }
    }
    return *forward_;
}

std::unique_ptr<ProfileFile> TTranslationContext::TakeForward() {
    forward_ = nullptr;
    return std::move(ownForward_);
}

const TPropertyTree* TTranslationContext::TreeOf(TComponent& component,
                                                 std::unique_ptr<TPropertyTree>& own) {
    const TClassInfo* cls = &component.ClassInfo();
    auto [at, added] = classTrees_.try_emplace(cls);
    ClassTree& known = at->second;
    if (added && !IsListOrCollection(component)) {
        known.references = ReferencesOf(*cls);
        known.shared = known.references.empty();
        if (known.shared)
            known.tree = BuildPropertyTree(component);
    }
    if (known.shared)
        return known.tree.get();
    if (!known.references.empty() && ReachesNoObject(component, known.references)) {
        if (!known.withoutObjectsBuilt) {
            known.withoutObjects = BuildPropertyTree(component);
            known.withoutObjectsBuilt = true;
        }
        return known.withoutObjects.get();
    }
    own = BuildPropertyTree(component);
    return own.get();
}

namespace engine {

std::string TranslateText(TTranslationContext& context, std::string_view section,
                          std::string_view key) {
    const std::string_view lookupKey = key.empty() ? kNotFound : key;
    const std::string_view fallback = section == kMessagesSection ? kNotFound : lookupKey;
    std::string_view result = fallback;
    std::string read;
    if (context.Mode() == TTranslationMode::Reverse) {
        if (const TReverseMap* reverse = context.Reverse())
            if (const auto found = reverse->Find(section, lookupKey))
                result = *found;
    } else if (const ProfileFile& forward = context.Forward(); forward.HoldsState()) {
        // The held state outlives the look-up: no copy of the value is made.
        result = forward.ReadHeldString(section, lookupKey).value_or(fallback);
    } else {
        read = forward.ReadString(section, lookupKey, fallback);
        result = read;
    }
    result = Utf8Prefix(result, kTextWidth);
    return result == kNotFound ? std::string() : std::string(result);
}

void LocalizeProperties(TTranslationContext& context, TPersistent& base, std::string& prefix,
                        const TPropertyTree* tree) {
    if (tree == nullptr)
        return;
    std::string name;
    std::string text;
    std::optional<std::string> location; // found for the first text registered
    for (const auto& entry : tree->Entries) {
        if (entry.IsBranch()) {
            const std::size_t length = prefix.size();
            prefix.append(entry.Name).append(".");
            LocalizeProperties(context, base, prefix, entry.Tree.get());
            prefix.resize(length);
            continue;
        }
        if (!IsTranslatablePropertyName(entry.Name))
            continue;
        TPersistent* object = &base;
        name.assign(prefix).append(entry.Name);
        if (!OvkFindComponent(object, name))
            continue;
        // `name` is the last segment now: the property is found once for both accesses.
        const TPropertyText property(object, name);
        property.Get(text);
        if (IsExcludedPrefix(prefix))
            continue;
        const std::string_view shown = Utf8Prefix(text, kTextWidth);
        if (context.Mode() != TTranslationMode::Register || shown.empty())
            property.Set(TranslateText(context, entry.Name, shown));
        else {
            if (!location)
                location = LocationOf(base);
            std::string where =
                location->empty() ? std::string() : *location + "." + prefix + entry.Name;
            // An item's caption carries its accelerator: the menus serve the checks of those.
            const auto* component = dynamic_cast<const TComponent*>(object);
            context.Pending().push_back({entry.Name, std::string(shown), std::move(where),
                                         component != nullptr && entry.Name == "Caption"
                                             ? component->MenuNames()
                                             : std::vector<std::string>()});
        }
    }
}

void LocalizeComponent(TTranslationContext& context, TComponent& component,
                       const TStrings* exclusions) {
    if (exclusions && exclusions->IndexOf(component.Name()) >= 0)
        return;
    if (auto* item = dynamic_cast<TMenuItem*>(&component); item && item->Tag() == LanguageMenuTag)
        return;
    std::unique_ptr<TPropertyTree> own;
    const TPropertyTree* tree = context.TreeOf(component, own);
    std::string prefix;
    LocalizeProperties(context, component, prefix, tree);
}

void LocalizeTree(TTranslationContext& context, TComponent& root, const TStrings* exclusions) {
    LocalizeComponent(context, root, exclusions);
    const int count = root.ComponentCount();
    for (int i = 0; i < count && i < root.ComponentCount(); ++i)
        LocalizeTree(context, *root.Components(i), exclusions);
}

} // namespace engine

} // namespace tavrel

#pragma once

// Private to the localize library.

#include "ReverseMap.h"
#include "tavrel/localize/TOvkLocalizeServer.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavrel {

class ProfileFile;
class TClassInfo;
struct TPropInfo;
class TComponent;
class TPersistent;
class TStrings;
struct TPropertyTree;

// What a walk does with each text it meets.
enum class TTranslationMode {
    Register, // adds the text to every dictionary, changes nothing
    Reverse,  // maps the text back to its untranslated key
    Forward,  // translates the (untranslated) text into the language
};

// Everything one switch or one call of the engine works with, passed down through the walk:
// nothing of it outlives the switch or call, except what the owner takes out at its end.
class TTranslationContext {
public:
    // `openForward` names the dictionary forward look-ups read; it is opened (and held in
    // one state) on the first look-up only.
    TTranslationContext(TTranslationMode mode, std::string forwardLanguage,
                        std::function<std::filesystem::path()> openForward);
    // A context of its own for a call made while `running` works (a component's code calling
    // the engine during a switch): it reads the same dictionary and map, and registers
    // its own texts.
    TTranslationContext(TTranslationMode mode, TTranslationContext& running);
    ~TTranslationContext();
    TTranslationContext(const TTranslationContext&) = delete;
    TTranslationContext& operator=(const TTranslationContext&) = delete;

    TTranslationMode Mode() const { return mode_; }
    // The language forward look-ups were opened for.
    const std::string& ForwardLanguage() const { return forwardLanguage_; }
    void SetMode(TTranslationMode mode) { mode_ = mode; }

    // The dictionary forward look-ups read, opened and held on first use.
    ProfileFile& Forward();
    // Whether the forward dictionary has been opened.
    bool HasForward() const { return forward_ != nullptr; }
    // Gives the held forward dictionary away (the state its texts were shown from).
    std::unique_ptr<ProfileFile> TakeForward();

    // The map reverse look-ups read; without one every text is its own key.
    const TReverseMap* Reverse() const { return reverse_.get(); }
    void SetReverse(std::shared_ptr<const TReverseMap> reverse) { reverse_ = std::move(reverse); }

    // Texts met in register mode, added to the dictionaries at the end.
    std::vector<TRegisteredText>& Pending() { return pending_; }

    // The property tree of `component`: the class's one, when the tree depends on the class
    // alone (built once per context), else one built for this component into `own`.
    const TPropertyTree* TreeOf(TComponent& component, std::unique_ptr<TPropertyTree>& own);

private:
    TTranslationMode mode_;
    std::string forwardLanguage_;
    std::function<std::filesystem::path()> openForward_;
    std::unique_ptr<ProfileFile> ownForward_;
    ProfileFile* forward_ = nullptr; // own or borrowed
    TTranslationContext* lender_ = nullptr;
    std::shared_ptr<const TReverseMap> reverse_;
    std::vector<TRegisteredText> pending_;
    struct ClassTree {
        bool shared = false; // the tree depends on the class alone
        std::unique_ptr<TPropertyTree> tree;
        // Otherwise, for a class whose object references alone make trees differ: those
        // properties, and the tree of an instance whose references all lead nowhere.
        std::vector<const TPropInfo*> references;
        std::unique_ptr<TPropertyTree> withoutObjects;
        bool withoutObjectsBuilt = false;
    };
    std::unordered_map<const TClassInfo*, ClassTree> classTrees_;
};

// The translation engine: walks component trees and maps their texts in the context's mode.
namespace engine {

// Localizes the root and every component it owns, depth first in the order of ownership.
void LocalizeTree(TTranslationContext& context, TComponent& root, const TStrings* exclusions);
// One component's own texts (not those of the components it owns).
void LocalizeComponent(TTranslationContext& context, TComponent& component,
                       const TStrings* exclusions);
// The texts of `tree` below `base`, each leaf's path being prefix + its name.
void LocalizeProperties(TTranslationContext& context, TPersistent& base, std::string& prefix,
                        const TPropertyTree* tree);
// The look-up of one text in the context's mode (Register looks up forward), cut to the
// text width, "OVK" given as the empty text.
std::string TranslateText(TTranslationContext& context, std::string_view section,
                          std::string_view key);

} // namespace engine

// The mode a language argument of the published operations stands for: "" registers,
// "oponent" (exactly) reverses, any other name translates forward.
TTranslationMode ModeOfLanguage(std::string_view language);

} // namespace tavrel

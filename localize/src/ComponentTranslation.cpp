// The translation engine of the localization server: maps the texts of its clients'
// component trees back to their untranslated form through the reverse dictionary and
// forward into the new language, or registers them in every dictionary.

#include "tavrel/localize/OVKPropUtils.h"
#include "tavrel/localize/TMenuItem.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/localize/TStrings.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/FolderFile.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <array>

namespace tavrel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTextWidth = 255;
constexpr std::string_view kReverseLanguage = "oponent";
constexpr std::string_view kMessagesSection = "Messages";
constexpr std::array<std::string_view, 3> kExcludedPrefixParts{"SQL", "Description", "Function"};

std::string Cut(std::string_view text) {
    return std::string(Utf8Prefix(text, kTextWidth));
}

bool IsExcludedPrefix(std::string_view prefix) {
    return std::any_of(
        kExcludedPrefixParts.begin(), kExcludedPrefixParts.end(),
        [prefix](std::string_view part) { return prefix.find(part) != std::string_view::npos; });
}

bool IsBlank(char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x09 && b <= 0x0D) || b == 0x1A || b == 0x20;
}

// Whether a translation can serve as a key of the reverse dictionary: a key holding '='
// or a line break cannot be written, one that starts with ';' or '[' would read back as a
// comment or a section header, and an empty one is never looked up.
bool CanServeAsKey(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    if (text.empty() || text.front() == ';' || text.front() == '[')
        return false;
    return text.find_first_of(std::string_view("=\r\n\0", 4)) == std::string_view::npos;
}

// Releases a dictionary field on every path out of a scope.
class FieldRelease {
public:
    explicit FieldRelease(std::unique_ptr<ProfileFile>& field) : field_(field) {}
    ~FieldRelease() { field_.reset(); }
    FieldRelease(const FieldRelease&) = delete;
    FieldRelease& operator=(const FieldRelease&) = delete;

private:
    std::unique_ptr<ProfileFile>& field_;
};

} // namespace

bool IsTranslatablePropertyName(std::string_view name) {
    return name == "Caption" || name == "Text" || name == "Hint" || name == "Memo" ||
           name == "ReportTitle";
}

void TOvkLocalizeServer::AddClient(TComponent& root, std::vector<std::string> exclusions) {
    RemoveClient(root);
    Client client{&root, nullptr};
    if (!exclusions.empty())
        client.Exclusions = std::make_unique<TStringList>(std::move(exclusions));
    clients_.push_back(std::move(client));
    root.FreeNotification(this);
}

void TOvkLocalizeServer::RemoveClient(const TComponent& root) {
    auto it = std::find_if(clients_.begin(), clients_.end(),
                           [&](const Client& c) { return c.Root == &root; });
    if (it == clients_.end())
        return;
    it->Root->RemoveFreeNotification(this);
    clients_.erase(it);
}

fs::path TOvkLocalizeServer::ReverseDictionaryFile() const {
    return DictionaryFolder() / kReverseDictionaryFile;
}

std::string TOvkLocalizeServer::TranslateText(std::string_view section, std::string_view key,
                                              std::string_view language) {
    const std::string lookupKey = key.empty() ? std::string(kNotFound) : std::string(key);
    const std::string_view def =
        section == kMessagesSection ? kNotFound : std::string_view(lookupKey);
    std::string result = Cut(LookupDictionary(language).ReadString(section, lookupKey, def));
    if (treeDepth_ == 0) // called on its own: the dictionary was opened for this call only
        callDictionary_.reset();
    return FromSentinel(std::move(result));
}

// The dictionary a look-up reads: during a switch the reverse or the current dictionary
// held by the switch; outside one, a dictionary opened for the running call.
ProfileFile& TOvkLocalizeServer::LookupDictionary(std::string_view language) {
    const bool reverse = language == kReverseLanguage;
    if (reverse && reverseDictionary_)
        return *reverseDictionary_;
    if (!reverse && currentDictionary_)
        return *currentDictionary_;
    if (!callDictionary_ || callDictionaryLanguage_ != language) {
        callDictionaryLanguage_ = std::string(language);
        if (reverse) {
            callDictionary_ = std::make_unique<ProfileFile>(ReverseDictionaryFile());
        } else {
            // A catalogued language names its own dictionary; otherwise the current one.
            std::string file = language.empty() ? std::string() : LanguageFileName(language);
            if (file.empty())
                file = CurrentDictionaryFile();
            callDictionary_ = std::make_unique<ProfileFile>(file);
        }
        callDictionary_->Hold(); // one state for the whole call, no stat per look-up
    }
    return *callDictionary_;
}

void TOvkLocalizeServer::LocalizeProperties(TPersistent& base, const std::string& prefix,
                                            const TPropertyTree* tree,
                                            const std::string& language) {
    if (!tree)
        return;
    for (const auto& entry : tree->Entries) {
        if (entry.IsBranch()) {
            LocalizeProperties(base, prefix + entry.Name + ".", entry.Tree.get(), language);
            continue;
        }
        if (!IsTranslatablePropertyName(entry.Name))
            continue;
        TPersistent* object = &base;
        std::string name = prefix + entry.Name;
        if (!OvkFindComponent(object, name))
            continue;
        std::string text;
        GetPropertyText(object, name, text);
        if (IsExcludedPrefix(prefix))
            continue;
        if (!language.empty() || text.empty()) {
            SetPropertyText(object, name, TranslateText(entry.Name, Cut(text), language));
        } else {
            pendingTexts_.emplace_back(entry.Name, Cut(text));
            if (treeDepth_ == 0) // called on its own: register at once
                AddKeysToAll(std::exchange(pendingTexts_, {}));
        }
    }
}

void TOvkLocalizeServer::LocalizeComponent(TComponent& component, const std::string& language,
                                           const TStrings* exclusions, bool registerTexts) {
    if (exclusions && exclusions->IndexOf(component.Name()) >= 0)
        return;
    if (auto* item = dynamic_cast<TMenuItem*>(&component); item && item->Tag() == LanguageMenuTag)
        return;
    const auto tree = BuildPropertyTree(component);
    LocalizeProperties(component, "", tree.get(), registerTexts ? std::string() : language);
}

void TOvkLocalizeServer::LocalizeTree(TComponent& root, std::string language,
                                      const TStrings* exclusions, bool registerTexts) {
    if (!active_)
        return;
    if (language.empty())
        language = Language();

    const bool outermost = treeDepth_ == 0;
    ++treeDepth_;
    try {
        LocalizeComponent(root, language, exclusions, registerTexts);
        const int count = root.ComponentCount();
        for (int i = 0; i < count && i < root.ComponentCount(); ++i)
            LocalizeTree(*root.Components(i), language, exclusions, registerTexts);
    } catch (...) {
        --treeDepth_;
        if (outermost) {
            callDictionary_.reset();
            // Texts met before the failure are registered, as they would have been one by one.
            auto texts = std::exchange(pendingTexts_, {});
            AddKeysToAll(texts);
        }
        throw;
    }
    --treeDepth_;
    if (outermost) {
        callDictionary_.reset();
        AddKeysToAll(std::exchange(pendingTexts_, {}));
    }
}

// The same result as one AddKeyToAll per entry, with each dictionary read and written once.
void TOvkLocalizeServer::AddKeysToAll(
    const std::vector<std::pair<std::string, std::string>>& entries) {
    if (entries.empty())
        return;
    for (const auto& name : languageList_.Names()) {
        ProfileFile dictionary(LanguageFileName(name));
        dictionary.Hold(); // one reading of the file for all the checks
        for (const auto& [section, key] : entries) {
            const std::string keyName = key.empty() ? std::string(kNotFound) : Cut(key);
            const std::string sectionName = Cut(section);
            if (dictionary.ReadString(sectionName, keyName, kNotFound) == kNotFound)
                dictionary.WriteString(sectionName, keyName, keyName);
        }
        if (dictionary.HasPendingChanges())
            Flush(dictionary);
    }
}

void TOvkLocalizeServer::BuildReverseDictionary() {
    ProfileFile source(LanguageFileName(previousLanguage_));
    ProfileFile target(ReverseDictionaryFile());
    source.Hold();
    target.Hold();
    target.SetNewFileEncoding(source.Encoding());
    std::vector<std::string> sections;
    std::vector<std::pair<std::string, std::string>> entries;
    source.ReadSections(sections);
    for (const auto& section : sections) {
        source.ReadSectionValues(section, entries);
        for (const auto& [key, translation] : entries) {
            if (key != kLanguageKey && CanServeAsKey(translation))
                target.WriteString(section, translation, key);
        }
    }
    // One rewrite for the whole file: a flush per section would rewrite the growing file
    // once per section, for no reader (nothing reads it before the switch is over).
    try {
        target.UpdateFile();
    } catch (...) {
        target.DiscardChanges(); // the switch fails; nothing is written behind its back
        throw;
    }
}

int TOvkLocalizeServer::AddSwitchListener(SwitchListener listener) {
    switchListeners_.emplace_back(nextSwitchListener_, std::move(listener));
    return nextSwitchListener_++;
}

void TOvkLocalizeServer::RemoveSwitchListener(int id) {
    std::erase_if(switchListeners_, [id](const auto& entry) { return entry.first == id; });
}

void TOvkLocalizeServer::TellSwitchListeners(TSwitchPhase phase) {
    const auto listeners = switchListeners_; // a listener may remove itself
    for (const auto& [id, listener] : listeners)
        listener(phase);
}

void TOvkLocalizeServer::SwitchClientsLanguage() {
    TellSwitchListeners(TSwitchPhase::Begin);
    try {
        SwitchClientTrees();
    } catch (...) {
        try {
            TellSwitchListeners(TSwitchPhase::End);
        } catch (...) {
            // The switch's own failure is the one to report.
        }
        throw;
    }
    TellSwitchListeners(TSwitchPhase::End);
}

void TOvkLocalizeServer::SwitchClientTrees() {
    try {
        RemoveFolderFile(ReverseDictionaryFile());
    } catch (const EIniFileException&) {
        // A failed removal does not stop the switch: the reverse dictionary is rebuilt from
        // the previous language either way.
    }
    BuildReverseDictionary();

    FieldRelease releaseCurrent(currentDictionary_);
    FieldRelease releaseReverse(reverseDictionary_);
    currentDictionary_ = std::make_unique<ProfileFile>(CurrentDictionaryFile());
    reverseDictionary_ = std::make_unique<ProfileFile>(ReverseDictionaryFile());
    // Both passes look up one consistent state of the two dictionaries.
    currentDictionary_->Hold();
    reverseDictionary_->Hold();

    // A client may leave the list while its tree is walked (its root destroyed by a
    // property write); walk a snapshot and skip clients that are gone.
    auto stillRegistered = [this](TComponent* root) {
        return std::any_of(clients_.begin(), clients_.end(),
                           [root](const Client& c) { return c.Root == root; });
    };
    std::vector<std::pair<TComponent*, const TStrings*>> snapshot;
    for (const auto& client : clients_)
        snapshot.emplace_back(client.Root, client.Exclusions.get());
    try {
        for (const auto& [root, exclusions] : snapshot) {
            if (stillRegistered(root))
                LocalizeTree(*root, std::string(kReverseLanguage), exclusions, false);
        }
        for (const auto& [root, exclusions] : snapshot) {
            if (stillRegistered(root))
                LocalizeTree(*root, Language(), exclusions, false);
        }
    } catch (...) {
        // Some texts are keys or in the new language now: bring them all back to the
        // language before, which the server goes on reporting, so the next switch maps them
        // back correctly.
        currentDictionary_ = std::make_unique<ProfileFile>(LanguageFileName(previousLanguage_));
        currentDictionary_->Hold();
        for (const auto& [root, exclusions] : snapshot) {
            try {
                if (stillRegistered(root))
                    LocalizeTree(*root, previousLanguage_, exclusions, false);
            } catch (...) {
                // What cannot be restored keeps what it shows; the first failure is reported.
            }
        }
        throw;
    }
}

void TOvkLocalizeServer::RegisterClientTexts() {
    for (const auto& client : clients_)
        LocalizeTree(*client.Root, std::string(), client.Exclusions.get(), true);
    const auto listeners = registerListeners_; // a listener may remove itself
    for (const auto& [id, listener] : listeners)
        listener();
}

int TOvkLocalizeServer::AddRegisterListener(RegisterListener listener) {
    registerListeners_.emplace_back(nextSwitchListener_, std::move(listener));
    return nextSwitchListener_++;
}

void TOvkLocalizeServer::RemoveRegisterListener(int id) {
    std::erase_if(registerListeners_, [id](const auto& entry) { return entry.first == id; });
}

} // namespace tavrel

// The server's side of the translation engine (TranslationEngine.h): its published
// operations as thin calls into the engine, the clients, and the language switch.

#include "RegistrationNotes.h"
#include "ReverseMap.h"
#include "tavrel/localize/OVKPropUtils.h"
#include "tavrel/localize/TMenuItem.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/localize/TStrings.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/FolderFile.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/Utf8.h"
#include "TranslationEngine.h"

#include <algorithm>

namespace tavrel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTextWidth = 255;

std::string Cut(std::string_view text) {
    return std::string(Utf8Prefix(text, kTextWidth));
}

// Makes a context the server's running one for the calls components make meanwhile.
class RunningContext {
public:
    RunningContext(TTranslationContext*& slot, TTranslationContext& context)
        : slot_(slot), previous_(slot) {
        slot_ = &context;
    }
    ~RunningContext() { slot_ = previous_; }
    RunningContext(const RunningContext&) = delete;
    RunningContext& operator=(const RunningContext&) = delete;

private:
    TTranslationContext*& slot_;
    TTranslationContext* previous_;
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

std::string TOvkLocalizeServer::CurrentLanguage() const {
    return language_.empty() ? languageList_.Strings(0) : language_;
}

std::unique_ptr<TTranslationContext> TOvkLocalizeServer::NewContext(TTranslationMode mode,
                                                                    std::string_view language) {
    // A call made while a switch (or another call for the same language) runs reads what
    // that one reads.
    if (running_ != nullptr && (switching_ || running_->ForwardLanguage() == language))
        return std::make_unique<TTranslationContext>(mode, *running_);
    auto context = std::make_unique<TTranslationContext>(
        mode, std::string(language), [this, name = std::string(language)] {
            // A catalogued language names its own dictionary; otherwise the current one.
            std::string file = name.empty() ? std::string() : LanguageFileName(name);
            return fs::path(file.empty() ? CurrentDictionaryFile() : file);
        });
    context->SetReverse(lastReverse_);
    return context;
}

std::string TOvkLocalizeServer::TranslateText(std::string_view section, std::string_view key,
                                              std::string_view language) {
    const TTranslationMode mode = ModeOfLanguage(language) == TTranslationMode::Reverse
                                      ? TTranslationMode::Reverse
                                      : TTranslationMode::Forward;
    const auto context = NewContext(mode, language);
    return engine::TranslateText(*context, section, key);
}

void TOvkLocalizeServer::RunCall(TTranslationContext& context, const std::function<void()>& walk) {
    const RunningContext running(running_, context);
    try {
        walk();
    } catch (...) {
        // Texts met before the failure are registered, as they would have been one by one.
        AddKeysToAll(context.Pending());
        throw;
    }
    AddKeysToAll(context.Pending());
}

void TOvkLocalizeServer::LocalizeProperties(TPersistent& base, const std::string& prefix,
                                            const TPropertyTree* tree,
                                            const std::string& language) {
    const auto context = NewContext(ModeOfLanguage(language), language);
    std::string path = prefix;
    RunCall(*context, [&] { engine::LocalizeProperties(*context, base, path, tree); });
}

void TOvkLocalizeServer::LocalizeComponent(TComponent& component, const std::string& language,
                                           const TStrings* exclusions, bool registerTexts) {
    const auto context =
        NewContext(registerTexts ? TTranslationMode::Register : ModeOfLanguage(language), language);
    RunCall(*context, [&] { engine::LocalizeComponent(*context, component, exclusions); });
}

void TOvkLocalizeServer::LocalizeTree(TComponent& root, std::string language,
                                      const TStrings* exclusions, bool registerTexts) {
    if (!active_)
        return;
    if (language.empty())
        language = Language();
    const auto context =
        NewContext(registerTexts ? TTranslationMode::Register : ModeOfLanguage(language), language);
    RunCall(*context, [&] { engine::LocalizeTree(*context, root, exclusions); });
}

// The same result as one AddKeyToAll per entry, with each dictionary read and written once.
// The Default dictionary, which holds the application's texts, also notes where each text
// is shown and in which menus.
void TOvkLocalizeServer::AddKeysToAll(const std::vector<TRegisteredText>& entries) {
    if (entries.empty())
        return;
    const std::string defaultFile = LanguageFileName(kDefaultLanguage);
    for (const auto& name : languageList_.Names()) {
        const std::string file = LanguageFileName(name);
        const bool isDefault = file == defaultFile;
        ProfileFile dictionary(file);
        dictionary.Hold(); // one reading of the file for all the checks
        std::vector<TRegisteredText> stored;
        for (const TRegisteredText& entry : entries) {
            std::string keyName = entry.Text.empty() ? std::string(kNotFound) : Cut(entry.Text);
            std::string sectionName = Cut(entry.Section);
            if (dictionary.ReadString(sectionName, keyName, kNotFound) == kNotFound)
                dictionary.WriteString(sectionName, keyName, keyName);
            if (isDefault)
                stored.push_back(
                    {std::move(sectionName), std::move(keyName), entry.Location, entry.Menus});
        }
        if (isDefault)
            NoteRegisteredTexts(dictionary, stored);
        if (dictionary.HasPendingChanges())
            Flush(dictionary);
    }
}

std::shared_ptr<const TReverseMap> TOvkLocalizeServer::ShownReverseMap() {
    // The texts on screen came from the dictionary as it was when they were shown: its
    // held state maps them back, whatever the file holds now. Without that state (no
    // switch yet, or the language was chosen without one), the previous language's file.
    TakeShownMap();
    const std::string previousFile = LanguageFileName(previousLanguage_);
    if (shownDictionary_ && !previousFile.empty() &&
        shownDictionary_->FileName() == fs::path(previousFile))
        return ReverseMapOf(*shownDictionary_);
    ProfileFile source(previousFile);
    source.Hold();
    return ReverseMapOf(source);
}

void TOvkLocalizeServer::PrepareShownMap() {
    TakeShownMap();
    shownMapState_ = shownDictionary_ ? shownDictionary_->HeldState() : nullptr;
    if (!shownMapState_)
        return;
    for (const auto& [from, map] : reverseMaps_)
        if (from == shownMapState_)
            return;
    // Only the map reads the held state meanwhile, which nothing changes; the next switch
    // takes the map before it touches the shown dictionary.
    const ProfileFile* shown = shownDictionary_.get();
    shownMap_ = std::async(std::launch::async, [shown] { return TReverseMap::Of(*shown); });
}

void TOvkLocalizeServer::TakeShownMap() {
    if (!shownMap_.valid())
        return;
    std::shared_ptr<const TReverseMap> map;
    try {
        map = shownMap_.get();
    } catch (const std::exception&) {
        return; // made again when needed, where its failure is reported
    }
    KeepReverseMap(shownMapState_, std::move(map));
}

void TOvkLocalizeServer::KeepReverseMap(std::shared_ptr<const void> state,
                                        std::shared_ptr<const TReverseMap> map) {
    constexpr std::size_t kKeptMaps = 2;
    if (reverseMaps_.size() == kKeptMaps)
        reverseMaps_.erase(reverseMaps_.begin());
    reverseMaps_.emplace_back(std::move(state), std::move(map));
}

std::shared_ptr<const TReverseMap> TOvkLocalizeServer::ReverseMapOf(const ProfileFile& held) {
    const std::shared_ptr<const void> state = held.HeldState();
    if (!state)
        return TReverseMap::Of(held);
    for (const auto& [from, map] : reverseMaps_)
        if (from == state)
            return map;
    auto map = TReverseMap::Of(held);
    KeepReverseMap(state, map);
    return map;
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
    WriteReverseDictionary(SwitchTexts());
}

void TOvkLocalizeServer::ReapplyLanguage() {
    if (IsDesigning() || clients_.empty() || !active_)
        return;
    // The texts show the current language: that is the language they are taken back from.
    previousLanguage_ = CurrentLanguage();
    SwitchClientsLanguage();
}

fs::path TOvkLocalizeServer::ShownDictionaryFile() const {
    return shownDictionary_ ? shownDictionary_->FileName() : fs::path();
}

std::shared_ptr<const TReverseMap> TOvkLocalizeServer::SwitchTexts() {
    TellSwitchListeners(TSwitchPhase::Begin);
    std::shared_ptr<const TReverseMap> reverse;
    try {
        reverse = SwitchClientTrees();
    } catch (...) {
        try {
            TellSwitchListeners(TSwitchPhase::End);
        } catch (...) {
            // The switch's own failure is the one to report.
        }
        throw;
    }
    TellSwitchListeners(TSwitchPhase::End);
    return reverse;
}

std::shared_ptr<const TReverseMap> TOvkLocalizeServer::SwitchClientTrees() {
    auto reverse = ShownReverseMap();
    const std::string language = CurrentLanguage();
    TTranslationContext context(TTranslationMode::Reverse, language,
                                [this, language] { return fs::path(LanguageFileName(language)); });
    context.SetReverse(reverse);
    context.Forward(); // both passes look up one state of the dictionary
    const RunningContext running(running_, context);
    switching_ = true;
    struct SwitchEnd {
        bool& switching;
        ~SwitchEnd() { switching = false; }
    } end{switching_};

    // A client may leave the list while its tree is walked (its root destroyed by a
    // property write); walk a snapshot and skip clients that are gone.
    auto stillRegistered = [this](TComponent* root) {
        return std::any_of(clients_.begin(), clients_.end(),
                           [root](const Client& c) { return c.Root == root; });
    };
    std::vector<std::pair<TComponent*, const TStrings*>> snapshot;
    for (const auto& client : clients_)
        snapshot.emplace_back(client.Root, client.Exclusions.get());
    const auto walk = [&](TTranslationContext& pass) {
        for (const auto& [root, exclusions] : snapshot) {
            if (active_ && stillRegistered(root))
                engine::LocalizeTree(pass, *root, exclusions);
        }
    };
    try {
        walk(context);
        context.SetMode(TTranslationMode::Forward);
        walk(context);
    } catch (...) {
        // Some texts are keys or in the new language now: bring them all back to the
        // language before, which the server goes on reporting, so the next switch maps them
        // back correctly.
        TTranslationContext restore(TTranslationMode::Forward, previousLanguage_, [this] {
            return fs::path(LanguageFileName(previousLanguage_));
        });
        const RunningContext restoring(running_, restore);
        for (const auto& [root, exclusions] : snapshot) {
            try {
                if (active_ && stillRegistered(root))
                    engine::LocalizeTree(restore, *root, exclusions);
            } catch (...) {
                // What cannot be restored keeps what it shows; the first failure is reported.
            }
        }
        if (active_ && restore.HasForward())
            shownDictionary_ = restore.TakeForward();
        throw;
    }
    if (active_) {
        shownDictionary_ = context.TakeForward();
        PrepareShownMap();
    }
    lastReverse_ = reverse;
    return reverse;
}

void TOvkLocalizeServer::WriteReverseDictionary(const std::shared_ptr<const TReverseMap>& reverse) {
    // Derived from the dictionary and never read back: it is written for other readers of
    // the folder, after the switch, and a failure to write it leaves the switch done. Being
    // rebuilt at every switch, it is not worth waiting for the disk.
    const fs::path file = ReverseDictionaryFile();
    try {
        WriteFolderFile(file, reverse->FileBytes(), WriteDurability::Cached);
    } catch (const EIniFileException&) {
        try {
            RemoveFolderFile(file); // no stale map of another switch stays behind
        } catch (const EIniFileException&) {
            // The write's failure is the one to report.
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

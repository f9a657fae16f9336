#pragma once

#include "tavrel/localize/IPicture.h"
#include "tavrel/localize/TComponent.h"
#include "tavrel/localize/TLanguageList.h"
#include "tavrel/localize/TMenuItem.h"
#include "tavrel/storage/EntryNotes.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

class ProfileFile;
class TReverseMap;
class TStrings;
class TTranslationContext;
enum class TTranslationMode;
struct TPropertyTree;

// Tag of generated language menu items; the translation engine leaves such items alone.
inline constexpr std::int32_t LanguageMenuTag = 111111111;

// What the server needs from its surroundings. Tests and applications pass their own;
// FromUserFolders() gives the per-user defaults.
struct TLocalizeEnvironment {
    // Backing file of the settings store.
    std::filesystem::path SettingsFile;
    // Dictionary folder used while none is set (created when needed).
    std::filesystem::path DefaultFolder;
    // Makes pictures for the flags of language menus; without it menus get no images.
    TPictureFactory PictureFactory;
    // Told when a write turned a Windows-1252 dictionary into UTF-8 because the text written
    // has characters the code page lacks, so that a person hears of it.
    std::function<void(const std::filesystem::path& dictionary)> DictionaryConverted;

    static TLocalizeEnvironment FromUserFolders();
};

// A text met while registering: its section and text, where the application shows it (the
// names from the root down to the property, "MainWindow.openButton.Caption"; empty when an
// object on the way has no name) and the menus it is an item of.
struct TRegisteredText {
    std::string Section, Text, Location;
    std::vector<std::string> Menus;
};

// The non-visual localization server: knows the dictionary folder, the catalogued
// languages and the current one, edits dictionaries, fills language menus.
class TOvkLocalizeServer : public TComponent {
    TAVREL_CLASS(TOvkLocalizeServer)
public:
    explicit TOvkLocalizeServer(TComponent* owner, TLocalizeEnvironment environment =
                                                       TLocalizeEnvironment::FromUserFolders());
    ~TOvkLocalizeServer() override;

    // Published interface.
    std::string DicPath();
    void SetDicPath(std::string_view path);
    std::string Language();
    void SetLanguage(std::string_view language);
    // The language current now, from what this object holds: unlike reading Language, it
    // neither rereads the settings store nor rebuilds the catalogue.
    std::string CurrentLanguage() const;
    TNotifyEvent OnLanguageMenuClick;
    TNotifyEvent OnLanguageChange;
    // Makes a catalogued language current for this object only: nothing is stored and no
    // event fires. Throws std::invalid_argument for a name that is not catalogued.
    void SelectLanguage(std::string_view language);
    bool Active() const { return active_; }
    void SetActive(bool active) { active_ = active; }

    void Loaded() override;

    // Language catalogue.
    const TLanguageList& LanguageList() const { return languageList_; }
    std::string LanguageFileName(std::string_view name) const;
    bool ReadLanguageNames(TLanguageList& list) const;
    void ReloadLanguageList();
    void RegisterLanguage(const std::string& name, const std::string& fileName, bool initialize);
    void RefreshLanguages();
    // The folder dictionaries live in: the dictionary folder, or the default one when none
    // is set (created when missing).
    std::filesystem::path DictionaryFolder() const;

    // Language creation and deletion. NewLanguage returns the dictionary path it used and
    // throws when the language could not be made whole (an invalid name, std::invalid_argument;
    // a failed write, EIniFileException or ERegistryException); nothing stays catalogued
    // without its dictionary then. Creating a language that exists keeps every translation
    // and adds only the Default entries it lacks. DeleteLanguage returns whether the
    // dictionary was removed; it throws EIniFileException when the dictionary stays.
    std::filesystem::path NewLanguage(std::string_view name, const IPicture* image);
    bool DeleteLanguage(std::string_view name);

    // Dictionary editing.
    bool ReadSectionNames(std::vector<std::string>& list);
    bool ReadSectionKeys(std::string_view section, std::vector<std::string>& list);
    std::string ReadValue(std::string_view section, std::string_view key);
    void WriteValue(std::string_view section, std::string_view key, std::string_view value);
    // The state and notes of an entry of the current language (see EntryNotes.h). Writing
    // replaces them in one replacement of the file; the entry must exist
    // (EIniFileException otherwise, nothing written).
    TEntryNotes ReadEntryNotes(std::string_view section, std::string_view key);
    void WriteEntryNotes(std::string_view section, std::string_view key, const TEntryNotes& notes);
    void AddKeyToAll(std::string_view section, std::string_view key);
    void DeleteKeyFromAll(std::string_view section, std::string_view key);
    void DeleteSectionFromAll(std::string_view section);
    bool LoadLanguageImage(IPicture& image);
    void SaveLanguageImage(const IPicture& image);
    // Writes the flag of a catalogued language; throws when that fails.
    void SaveLanguageImageOf(std::string_view language, const IPicture& image);

    // Language menu.
    void FillLanguageMenu(TMenuItem& parent, bool includeDefault, bool withImages);
    void LanguageMenuClick(TMenuItem* sender);

    // Clients: component trees translated at every change of Language. A client whose
    // root is destroyed leaves the list by itself. `exclusions` names components whose
    // own texts stay as they are (the components they own are still translated).
    void AddClient(TComponent& root, std::vector<std::string> exclusions = {});
    void RemoveClient(const TComponent& root);
    int ClientCount() const { return static_cast<int>(clients_.size()); }

    // Translation engine. With register true the texts found are added to every
    // dictionary instead of being translated.
    void LocalizeTree(TComponent& root, std::string language, const TStrings* exclusions,
                      bool registerTexts);
    void LocalizeComponent(TComponent& component, const std::string& language,
                           const TStrings* exclusions, bool registerTexts);
    void LocalizeProperties(TPersistent& base, const std::string& prefix, const TPropertyTree* tree,
                            const std::string& language);
    std::string TranslateText(std::string_view section, std::string_view key,
                              std::string_view language);
    // TranslateText of the plural variant of `key` that the language's rules choose for
    // `count` (see LanguageLocale.h); the plain key's translation when that variant is
    // missing. An empty language is the current one.
    std::string TranslatePlural(std::string_view section, std::string_view key, long long count,
                                std::string_view language);
    // The BCP 47 tag of a language (an empty name: the current one): its dictionary's
    // Definitions/OvkLocale entry, else the tag its name names; empty when unknown.
    std::string LanguageLocale(std::string_view language);
    // Adds to the current dictionary the plural variants of `key` its language's rules
    // need, each holding the key's translation until translated; returns the keys of all
    // variants, the plain key ("other") last.
    std::vector<std::string> AddPluralVariants(std::string_view section, std::string_view key);
    void SwitchClientsLanguage();
    // Brings every client's texts up to date with the current language's dictionary as it
    // is now (after a translator changed it): each text is taken back through the state of
    // the dictionary it was shown from, then forward through the file. Nothing is stored
    // and OnLanguageChange does not fire. Does nothing without clients or while inactive.
    void ReapplyLanguage();
    // The dictionary the clients' texts were last translated from; empty before the first
    // switch.
    std::filesystem::path ShownDictionaryFile() const;
    // Adds the texts of every client to every dictionary (register mode over all clients).
    void RegisterClientTexts();

    // Told when a switch of the clients' texts begins and ends (End also when the switch
    // fails), so a toolkit layer can hold back what it shows until both passes are done.
    enum class TSwitchPhase { Begin, End };
    using SwitchListener = std::function<void(TSwitchPhase)>;
    int AddSwitchListener(SwitchListener listener);
    void RemoveSwitchListener(int id);

    // Told at the end of RegisterClientTexts, so a toolkit layer adds the texts it keeps
    // outside the client trees (the application's messages) in the same run.
    using RegisterListener = std::function<void()>;
    int AddRegisterListener(RegisterListener listener);
    void RemoveRegisterListener(int id);

    const TLocalizeEnvironment& Environment() const { return environment_; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    std::string CurrentDictionaryFile();
    bool IsFolderDictionary(const std::filesystem::path& file,
                            const std::filesystem::path& folder) const;
    std::string CataloguedSpelling(const std::string& name) const;
    void SeedDictionary(const std::string& name, const std::filesystem::path& fileName);
    std::filesystem::path FreeDictionaryFile(std::string_view name,
                                             const std::string& language) const;
    std::filesystem::path ReverseDictionaryFile() const;
    std::unique_ptr<TTranslationContext> NewContext(TTranslationMode mode,
                                                    std::string_view language);
    void RunCall(TTranslationContext& context, const std::function<void()>& walk);
    std::shared_ptr<const TReverseMap> ShownReverseMap();
    std::shared_ptr<const TReverseMap> ReverseMapOf(const ProfileFile& held);
    void PrepareShownMap();
    void TakeShownMap();
    void KeepReverseMap(std::shared_ptr<const void> state, std::shared_ptr<const TReverseMap> map);
    // Both passes of a switch; returns the map the texts were taken back with.
    std::shared_ptr<const TReverseMap> SwitchTexts();
    std::shared_ptr<const TReverseMap> SwitchClientTrees();
    void WriteReverseDictionary(const std::shared_ptr<const TReverseMap>& reverse);
    void TellSwitchListeners(TSwitchPhase phase);
    void AddKeysToAll(const std::vector<TRegisteredText>& entries);
    // Writes the dictionary's pending changes and tells of a change of its encoding.
    void Flush(ProfileFile& dictionary);

    struct Client {
        TComponent* Root;
        std::unique_ptr<TStrings> Exclusions; // nullptr: none
    };
    std::vector<Client> clients_;
    std::vector<std::pair<int, SwitchListener>> switchListeners_;
    std::vector<std::pair<int, RegisterListener>> registerListeners_;
    int nextSwitchListener_ = 1;
    // The context of the switch or call running now, for the calls components make
    // meanwhile; nullptr between them.
    TTranslationContext* running_ = nullptr;
    bool switching_ = false;
    // The dictionary as it was when the clients' texts were shown (held in that state),
    // and the map the last switch took texts back with.
    std::unique_ptr<ProfileFile> shownDictionary_;
    std::shared_ptr<const TReverseMap> lastReverse_;
    // Maps made lately, each under the dictionary state it was made from: switching back
    // and forth between languages builds each map once.
    std::vector<std::pair<std::shared_ptr<const void>, std::shared_ptr<const TReverseMap>>>
        reverseMaps_;
    // The map of the shown dictionary, made in the background after a switch for the next
    // one (declared after shownDictionary_, which it reads: destroyed first, it waits).
    std::future<std::shared_ptr<const TReverseMap>> shownMap_;
    std::shared_ptr<const void> shownMapState_;
    std::filesystem::path ImageFileOf(const std::string& dictionaryFile) const;

    TLocalizeEnvironment environment_;
    bool active_ = false;
    std::string dicPath_;
    TLanguageList languageList_;
    std::string language_;
    std::string previousLanguage_;
    TMenuItem* clickedItem_ = nullptr; // cleared when the item is destroyed mid-click
};

// Exact names of the properties whose texts are translated; each is its dictionary section.
bool IsTranslatablePropertyName(std::string_view name);

} // namespace tavrel

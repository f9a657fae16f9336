#include "tavrel/localize/TOvkLocalizeServer.h"

#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/localize/TStrings.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace tavrel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kOthers = "Others";
constexpr std::string_view kLanguages = "Languages";
constexpr std::string_view kDicPathValue = "DicPath";
constexpr std::string_view kActualLanguageValue = "ActualLanguage";
constexpr std::size_t kMaxTextWidth = 255;

std::string Cut(std::string_view text, std::size_t width = kMaxTextWidth) {
    return std::string(Utf8Prefix(text, width));
}

bool HasDictionaryExtension(const fs::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".lng";
}

bool IsRegularFile(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

// A stored path holding NUL (a hand-edited "%00") would stand for its part before the NUL in
// every system call, while the checks made on the whole text see another name; it names
// nothing.
std::string WithoutNulPath(std::string path) {
    return path.find('\0') == std::string::npos ? path : std::string();
}

} // namespace

const TClassInfo& TOvkLocalizeServer::StaticClassInfo() {
    static const TClassInfo info("TOvkLocalizeServer", &TComponent::StaticClassInfo());
    return info;
}

TLocalizeEnvironment TLocalizeEnvironment::FromUserFolders() {
    TLocalizeEnvironment env;
    env.SettingsFile = SettingsStore::DefaultSettingsFile();
    env.DefaultFolder = DefaultDictionaryFolder();
    return env;
}

// The settings store, opened for one operation; empty when it cannot be opened.
static std::optional<SettingsStore> OpenStore(const TLocalizeEnvironment& env) {
    SettingsStore store(env.SettingsFile);
    if (!store.OpenKey())
        return std::nullopt;
    return store;
}

TOvkLocalizeServer::TOvkLocalizeServer(TComponent* owner, TLocalizeEnvironment environment)
    : TComponent(owner), environment_(std::move(environment)) {
    DicPath();
    ReloadLanguageList();
}

TOvkLocalizeServer::~TOvkLocalizeServer() {
    if (clickedItem_)
        clickedItem_->RemoveFreeNotification(this);
    for (const auto& client : clients_)
        client.Root->RemoveFreeNotification(this);
}

void TOvkLocalizeServer::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation != TOperation::Remove)
        return;
    if (component == clickedItem_)
        clickedItem_ = nullptr;
    std::erase_if(clients_, [component](const Client& c) { return c.Root == component; });
}

void TOvkLocalizeServer::Loaded() {
    TComponent::Loaded();
    if (auto store = OpenStore(environment_))
        language_ = store->ReadString(kOthers, kActualLanguageValue, kDefaultLanguage);
}

std::string TOvkLocalizeServer::DicPath() {
    if (auto store = OpenStore(environment_))
        dicPath_ =
            WithoutNulPath(FromSentinel(store->ReadString(kOthers, kDicPathValue, kNotFound)));
    return dicPath_;
}

void TOvkLocalizeServer::SetDicPath(std::string_view path) {
    std::string folder(path);
    if (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec))
        return;
    dicPath_ = folder;
    if (auto store = OpenStore(environment_))
        store->WriteString(kOthers, kDicPathValue, dicPath_);
}

fs::path TOvkLocalizeServer::DictionaryFolder() const {
    if (!dicPath_.empty())
        return fs::path(dicPath_);
    std::error_code ec;
    fs::create_directories(environment_.DefaultFolder, ec);
    return environment_.DefaultFolder;
}

std::string TOvkLocalizeServer::LanguageFileName(std::string_view name) const {
    auto store = OpenStore(environment_);
    if (!store)
        return {};
    return WithoutNulPath(FromSentinel(store->ReadString(kLanguages, name, kNotFound)));
}

bool TOvkLocalizeServer::ReadLanguageNames(TLanguageList& list) const {
    if (auto store = OpenStore(environment_)) {
        std::vector<std::string> names;
        if (store->ReadSection(kLanguages, names)) {
            list.Clear();
            for (const auto& name : names)
                list.Add(name);
        }
    }
    return list.Count() > 0;
}

void TOvkLocalizeServer::ReloadLanguageList() {
    languageList_.Clear();
    if (ReadLanguageNames(languageList_))
        return;
    RegisterLanguage(std::string(kDefaultLanguage),
                     (DictionaryFolder() / kDefaultDictionaryFile).string(), true);
    if (!ReadLanguageNames(languageList_))
        languageList_.Add("None");
}

void TOvkLocalizeServer::RegisterLanguage(const std::string& name, const std::string& fileName,
                                          bool initialize) {
    if (name.empty() || fileName.empty())
        return;
    {
        auto store = OpenStore(environment_);
        if (!store)
            return;
        if (store->ReadString(kLanguages, name, kNotFound) != fileName)
            store->WriteString(kLanguages, name, fileName);
    }
    if (!initialize)
        return;

    // A new folder's Default dictionary is UTF-8; other new dictionaries follow the Default
    // dictionary's encoding (and become UTF-8 when their texts need more).
    ProfileFile source(fs::path(fileName).parent_path() / kDefaultDictionaryFile);
    source.SetNewFileEncoding(FileEncoding::Utf8Bom);
    ProfileFile dictionary(fileName);
    dictionary.SetNewFileEncoding(source.Encoding());
    dictionary.WriteString(kDefinitionsSection, kLanguageKey, name);
    Flush(dictionary);
    if (name == kDefaultLanguage)
        return;

    // Seed the new dictionary with every entry of the Default dictionary beside it.
    std::vector<std::string> sections;
    std::vector<std::pair<std::string, std::string>> entries;
    source.ReadSections(sections);
    for (const auto& section : sections) {
        source.ReadSectionValues(section, entries);
        for (const auto& [key, value] : entries) {
            if (key != kLanguageKey && !key.empty())
                dictionary.WriteString(section, key, value);
        }
    }
    Flush(dictionary);
}

void TOvkLocalizeServer::RefreshLanguages() {
    if (auto store = OpenStore(environment_))
        store->EraseSection(kLanguages);

    // Entries are taken in name order, so that which of two files naming the same language
    // wins (the last one) does not depend on the file system's directory order.
    const fs::path folder = DictionaryFolder();
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (HasDictionaryExtension(it->path()))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::string language;
        {
            const ProfileFile dictionary(file);
            language = dictionary.ReadString(kDefinitionsSection, kLanguageKey, kNotFound);
        }
        if (language != kNotFound)
            RegisterLanguage(language, file.string(), false);
    }
    ReloadLanguageList();
}

void TOvkLocalizeServer::SelectLanguage(std::string_view language) {
    const std::string name = StripAmpersands(language);
    if (languageList_.IndexOf(name) < 0)
        throw std::invalid_argument("Unknown language: " + name);
    language_ = name;
}

std::string TOvkLocalizeServer::Language() {
    ReloadLanguageList();
    if (!language_.empty())
        return language_;
    return languageList_.Strings(0);
}

void TOvkLocalizeServer::SetLanguage(std::string_view language) {
    if (IsLoading())
        return;
    previousLanguage_ = language_;
    const std::string name = StripAmpersands(language);
    if (languageList_.IndexOf(name) >= 0)
        language_ = name;
    if (!IsDesigning() && !clients_.empty())
        SwitchClientsLanguage();
    if (auto store = OpenStore(environment_))
        store->WriteString(kOthers, kActualLanguageValue, language_);
    if (OnLanguageChange)
        OnLanguageChange(this);
}

fs::path TOvkLocalizeServer::NewLanguage(std::string_view name, const IPicture* image) {
    fs::path base = DictionaryFolder() / SafeFileBase(LanguageFileBase(name));
    fs::path dictionary = base;
    dictionary += kDictionaryExtension;
    try {
        RegisterLanguage(CapitalizeFirst(name), dictionary.string(), true);
        if (image) {
            fs::path picture = base;
            picture += kImageExtension;
            image->SaveToFile(picture);
        }
    } catch (...) {
        // Creation reports no failure of its own steps; the rebuilt catalogue shows what
        // came into being.
    }
    ReloadLanguageList();
    return dictionary;
}

void TOvkLocalizeServer::DeleteLanguage(std::string_view name) {
    const fs::path file = LanguageFileName(name);
    // Only dictionaries are deleted: a hand-edited settings store must not make this
    // remove arbitrary files.
    if (!file.empty() && HasDictionaryExtension(file)) {
        std::error_code ec;
        if (IsRegularFile(file))
            fs::remove(file, ec);
        const fs::path image = ImageFileOf(file.string());
        if (IsRegularFile(image))
            fs::remove(image, ec);
    }
    RefreshLanguages();
}

std::string TOvkLocalizeServer::LanguageLocale(std::string_view language) {
    const std::string name = language.empty() ? Language() : StripAmpersands(language);
    const std::string file = LanguageFileName(name);
    if (!file.empty()) {
        const ProfileFile dictionary(file);
        const std::string stored = dictionary.ReadString(kDefinitionsSection, kLocaleKey, {});
        if (!stored.empty())
            return CanonicalLocaleTag(stored);
    }
    return GuessLocaleTag(name);
}

std::string TOvkLocalizeServer::TranslatePlural(std::string_view section, std::string_view key,
                                                long long count, std::string_view language) {
    const std::string category = PluralCategory(LanguageLocale(language), count);
    if (category != "other") {
        // Outside Messages a missing key reads as itself.
        const std::string variantKey = PluralVariantKey(key, category);
        std::string variant = TranslateText(section, variantKey, language);
        if (!variant.empty() && variant != variantKey)
            return variant;
    }
    return TranslateText(section, key, language);
}

std::vector<std::string> TOvkLocalizeServer::AddPluralVariants(std::string_view section,
                                                               std::string_view key) {
    const std::string translation = ReadValue(section, key);
    const std::string seed = translation.empty() ? std::string(key) : translation;
    std::vector<std::string> keys;
    ProfileFile dictionary(CurrentDictionaryFile());
    for (const std::string& category : PluralCategories(LanguageLocale(""))) {
        std::string variant = PluralVariantKey(key, category);
        if (dictionary.ReadString(section, variant, kNotFound) == kNotFound)
            dictionary.WriteString(section, variant, seed);
        keys.push_back(std::move(variant));
    }
    Flush(dictionary);
    return keys;
}

void TOvkLocalizeServer::Flush(ProfileFile& dictionary) {
    if (dictionary.UpdateFile() == ProfileFile::UpdateResult::ConvertedToUtf8 &&
        environment_.DictionaryConverted)
        environment_.DictionaryConverted(dictionary.FileName());
}

std::string TOvkLocalizeServer::CurrentDictionaryFile() {
    return LanguageFileName(Language());
}

fs::path TOvkLocalizeServer::ImageFileOf(const std::string& dictionaryFile) const {
    if (dictionaryFile.empty())
        return {};
    fs::path image(dictionaryFile);
    image.replace_extension(kImageExtension);
    return image;
}

bool TOvkLocalizeServer::ReadSectionNames(std::vector<std::string>& list) {
    const ProfileFile dictionary(CurrentDictionaryFile());
    dictionary.ReadSections(list);
    return true;
}

bool TOvkLocalizeServer::ReadSectionKeys(std::string_view section, std::vector<std::string>& list) {
    const ProfileFile dictionary(CurrentDictionaryFile());
    dictionary.ReadSection(section, list);
    return true;
}

std::string TOvkLocalizeServer::ReadValue(std::string_view section, std::string_view key) {
    const ProfileFile dictionary(CurrentDictionaryFile());
    return FromSentinel(dictionary.ReadString(section, key, kNotFound));
}

void TOvkLocalizeServer::WriteValue(std::string_view section, std::string_view key,
                                    std::string_view value) {
    ProfileFile dictionary(CurrentDictionaryFile());
    dictionary.WriteString(section, key.empty() ? kNotFound : key,
                           value.empty() ? kNotFound : value);
    Flush(dictionary);
}

void TOvkLocalizeServer::AddKeyToAll(std::string_view section, std::string_view key) {
    const std::string sectionName = Cut(section);
    const std::string keyName = key.empty() ? std::string(kNotFound) : Cut(key);
    for (const auto& name : languageList_.Names()) {
        ProfileFile dictionary(LanguageFileName(name));
        if (dictionary.ReadString(sectionName, keyName, kNotFound) == kNotFound) {
            dictionary.WriteString(sectionName, keyName, keyName);
            Flush(dictionary);
        }
    }
}

void TOvkLocalizeServer::DeleteKeyFromAll(std::string_view section, std::string_view key) {
    for (const auto& name : languageList_.Names()) {
        try {
            ProfileFile dictionary(LanguageFileName(name));
            dictionary.DeleteKey(section, key);
            Flush(dictionary);
        } catch (const EIniFileException&) {
            // Deleting a key ignores failures.
        }
    }
}

void TOvkLocalizeServer::DeleteSectionFromAll(std::string_view section) {
    for (const auto& name : languageList_.Names()) {
        ProfileFile dictionary(LanguageFileName(name));
        dictionary.EraseSection(section);
        Flush(dictionary);
    }
}

bool TOvkLocalizeServer::LoadLanguageImage(IPicture& image) {
    const fs::path file = ImageFileOf(LanguageFileName(Language()));
    if (!file.empty() && IsRegularFile(file)) {
        try {
            image.LoadFromFile(file);
            return true;
        } catch (...) {
            // An unreadable flag falls through to the blank picture.
        }
    }
    image.FloodFill(0, 0, clBlue, clWhite);
    return false;
}

void TOvkLocalizeServer::SaveLanguageImage(const IPicture& image) {
    try {
        const fs::path file = ImageFileOf(CurrentDictionaryFile());
        if (!file.empty())
            image.SaveToFile(file);
    } catch (...) {
        // Saving the flag never fails the caller.
    }
}

void TOvkLocalizeServer::FillLanguageMenu(TMenuItem& parent, bool includeDefault, bool withImages) {
    const TMenuItem::UpdateScope oneChange(parent); // listeners rebuild once, not per item
    parent.Clear();
    for (const auto& name : languageList_.Names()) {
        if (!includeDefault && name == kDefaultLanguage)
            continue;
        auto* item = new TMenuItem(&parent);
        item->SetCaption(name);
        item->SetTag(LanguageMenuTag);
        item->OnClick = [this](TPersistent* sender) {
            LanguageMenuClick(dynamic_cast<TMenuItem*>(sender));
        };
        if (withImages && environment_.PictureFactory) {
            try {
                const fs::path file = ImageFileOf(LanguageFileName(name));
                if (!file.empty() && IsRegularFile(file)) {
                    auto picture = environment_.PictureFactory();
                    picture->LoadFromFile(file);
                    item->SetBitmap(std::move(picture));
                }
            } catch (...) {
                // A bad flag leaves the item without a picture.
            }
        }
        parent.Add(item);
    }
}

void TOvkLocalizeServer::LanguageMenuClick(TMenuItem* sender) {
    if (!sender)
        return;
    // The language change may rebuild the very menu the item belongs to; watch for its
    // destruction so the item is never used after it is gone.
    if (clickedItem_)
        clickedItem_->RemoveFreeNotification(this);
    clickedItem_ = sender;
    sender->FreeNotification(this);
    try {
        SetLanguage(StripAmpersands(sender->Caption()));
    } catch (...) {
        if (clickedItem_)
            clickedItem_->RemoveFreeNotification(this);
        clickedItem_ = nullptr;
        throw;
    }
    TMenuItem* item = clickedItem_;
    if (item)
        item->RemoveFreeNotification(this);
    clickedItem_ = nullptr;
    if (OnLanguageMenuClick)
        OnLanguageMenuClick(item);
}

} // namespace tavrel

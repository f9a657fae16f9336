#include "tavrel/localize/TOvkLocalizeServer.h"

#include "ReverseMap.h"
#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/localize/LanguageName.h"
#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/localize/TStrings.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/FolderFile.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"
#include "tavrel/storage/Utf8.h"
#include "TranslationEngine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

bool EndsWithIgnoreAsciiCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           EqualsIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}

// By the name's ending: a file named just ".lng" is a dictionary's name as well.
bool HasDictionaryExtension(const fs::path& file) {
    return EndsWithIgnoreAsciiCase(file.filename().string(), kDictionaryExtension);
}

bool IsReverseDictionary(const fs::path& file) {
    return EqualsIgnoringAsciiCase(file.filename().string(), kReverseDictionaryFile);
}

bool IsDefaultDictionary(const fs::path& file) {
    return EqualsIgnoringAsciiCase(file.filename().string(), kDefaultDictionaryFile);
}

bool IsIdentitySection(std::string_view section) {
    return EqualsIgnoringAsciiCase(TrimProfileName(section), kDefinitionsSection);
}

// Definitions/OvkLanguage: what makes a file the dictionary of its language.
bool IsIdentityEntry(std::string_view section, std::string_view key) {
    return IsIdentitySection(section) &&
           EqualsIgnoringAsciiCase(TrimProfileName(key), kLanguageKey);
}

bool PathExists(const fs::path& file) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(file, ec));
}

bool SameFolder(const fs::path& a, const fs::path& b) {
    if (a.lexically_normal() == b.lexically_normal())
        return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// A write goes to a dictionary or nowhere: a registered path whose file has lost its
// language entry (or never had one) is not turned into a dictionary by accident.
void RequireDictionaryFile(const ProfileFile& dictionary) {
    if (dictionary.FileName().empty())
        throw std::runtime_error("The language has no dictionary file");
    if (dictionary.ReadString(kDefinitionsSection, kLanguageKey, kNotFound) != kNotFound)
        return;
    // Say why: a file that cannot be read at all is not known to be a stranger's.
    const std::string& file = dictionary.FileName().native();
    std::string reason = "the file is not a dictionary: it names no language";
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) {
        reason = errno == ENOENT ? std::string("the file does not exist")
                                 : std::string("the file cannot be read: ") + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        reason = "the file cannot be read";
    } else if (const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); fd >= 0) {
        ::close(fd);
    } else {
        reason = std::string("the file cannot be read: ") + std::strerror(errno);
    }
    throw EIniFileException("Unable to write to " + file + " (" + reason + ")");
}

constexpr std::string_view kIdentityChanged =
    "Definitions/OvkLanguage names the language of its dictionary and cannot be changed";
constexpr std::string_view kIdentityDeleted =
    "Definitions/OvkLanguage names the language of each dictionary and cannot be deleted";
constexpr std::string_view kIdentitySectionDeleted =
    "The section Definitions names the language of each dictionary and cannot be deleted";

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
    std::string file = WithoutNulPath(FromSentinel(store->ReadString(kLanguages, name, kNotFound)));
    // The folder as the same store names it now: another program (the editor) may have
    // moved the catalogue to a new folder since this object last read it.
    const std::string folder =
        WithoutNulPath(FromSentinel(store->ReadString(kOthers, kDicPathValue, kNotFound)));
    return IsFolderDictionary(file, folder.empty() ? DictionaryFolder() : fs::path(folder))
               ? file
               : std::string();
}

bool TOvkLocalizeServer::IsFolderDictionary(const fs::path& file, const fs::path& folder) const {
    // A hand-edited settings store must not make the server delete or rewrite a file
    // elsewhere: only dictionary names directly inside the folder count.
    return !file.empty() && HasDictionaryExtension(file) && !IsReverseDictionary(file) &&
           SameFolder(file.parent_path(), folder);
}

bool TOvkLocalizeServer::ReadLanguageNames(TLanguageList& list) const {
    if (auto store = OpenStore(environment_)) {
        std::vector<std::string> names;
        if (store->ReadSection(kLanguages, names)) {
            list.Clear();
            for (const auto& name : names)
                if (LanguageNameProblem(name).empty()) // a hand-edited name may be anything
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
    auto store = OpenStore(environment_);
    if (!store)
        return;
    // The dictionary is complete before the catalogue names it, so an interrupted
    // registration never leaves a catalogued language without its dictionary.
    if (initialize)
        SeedDictionary(name, fileName);
    if (store->ReadString(kLanguages, name, kNotFound) != fileName)
        store->WriteString(kLanguages, name, fileName);
}

void TOvkLocalizeServer::SeedDictionary(const std::string& name, const fs::path& fileName) {
    // A new folder's Default dictionary is UTF-8; other new dictionaries follow the Default
    // dictionary's encoding (and become UTF-8 when their texts need more).
    ProfileFile source(fileName.parent_path() / kDefaultDictionaryFile);
    source.SetNewFileEncoding(FileEncoding::Utf8Bom);
    ProfileFile dictionary(fileName);
    dictionary.SetNewFileEncoding(source.Encoding());
    const std::string claimed = dictionary.ReadString(kDefinitionsSection, kLanguageKey, kNotFound);
    if (claimed != kNotFound && !SameText(claimed, name))
        throw EIniFileException("Unable to write to " + fileName.string() +
                                " (the file holds the language " + claimed + ")");
    if (claimed == kNotFound)
        dictionary.WriteString(kDefinitionsSection, kLanguageKey, name);
    if (name != kDefaultLanguage) {
        // Every entry of the Default dictionary the language lacks; what it has stays.
        std::vector<std::string> sections;
        std::vector<std::pair<std::string, std::string>> entries;
        source.ReadAllSections(sections);
        for (const auto& section : sections) {
            source.ReadSectionValues(section, entries);
            for (const auto& [key, value] : entries) {
                if (key != kLanguageKey && !key.empty() && !dictionary.FindValue(section, key))
                    dictionary.WriteString(section, key, value);
            }
        }
    }
    // One write: the file appears whole or not at all.
    Flush(dictionary);
}

void TOvkLocalizeServer::RefreshLanguages() {
    auto store = OpenStore(environment_);
    if (!store) {
        ReloadLanguageList();
        return;
    }
    // Entries are taken in name order, so that which of two files naming the same language
    // wins (the last one) does not depend on the file system's directory order.
    const fs::path folder = DictionaryFolder();
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (HasDictionaryExtension(it->path()) && !IsReverseDictionary(it->path()))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::pair<std::string, std::string>> languages;
    for (const auto& file : files) {
        std::string language;
        {
            // Files too large for a dictionary read as empty, without being read.
            const ProfileFile dictionary(file);
            language = dictionary.ReadString(kDefinitionsSection, kLanguageKey, kNotFound);
        }
        if (language == kNotFound || !LanguageNameProblem(language).empty())
            continue;
        // Only the Default dictionary's own file may claim its name.
        if (EqualsIgnoringAsciiCase(language, kDefaultLanguage) && !IsDefaultDictionary(file))
            continue;
        languages.emplace_back(std::move(language), file.string());
    }
    // One replacement: a reader (or a rescan killed halfway) sees the old catalogue or the
    // new one, never a part of either.
    store->ReplaceSection(kLanguages, languages);
    store.reset();
    ReloadLanguageList();
}

std::string TOvkLocalizeServer::CataloguedSpelling(const std::string& name) const {
    const int at = languageList_.IndexOf(name);
    if (at < 0)
        return {};
    // The catalogue matches like a person reads (ignoring an invisible soft hyphen, say);
    // the settings store matches ASCII case only. A spelling the store would not find
    // becomes the catalogued one, so the current language always has its dictionary.
    const std::string& catalogued = languageList_.Strings(at);
    return EqualsIgnoringAsciiCase(catalogued, name) ? name : catalogued;
}

void TOvkLocalizeServer::SelectLanguage(std::string_view language) {
    const std::string name = CataloguedSpelling(StripAmpersands(language));
    if (name.empty())
        throw std::invalid_argument("Unknown language: " + StripAmpersands(language));
    language_ = name;
}

std::string TOvkLocalizeServer::Language() {
    ReloadLanguageList();
    if (!language_.empty())
        return language_;
    return languageList_.Strings(0);
}

// Writes `language` back into the store after a failed switch, once the write of the new
// one (`stored`) has ended.
static void RestoreStoredLanguage(std::future<void>& stored, std::optional<SettingsStore>& store,
                                  const std::string& language) {
    if (!stored.valid())
        return;
    try {
        stored.get();
        store->WriteString(kOthers, kActualLanguageValue, language);
    } catch (const std::exception&) {
        // The failed switch is the failure to report; the store says what it managed to.
    }
}

void TOvkLocalizeServer::SetLanguage(std::string_view language) {
    if (IsLoading())
        return;
    previousLanguage_ = language_;
    const std::string name = CataloguedSpelling(StripAmpersands(language));
    if (!name.empty())
        language_ = name;
    std::shared_ptr<const TReverseMap> reverse;
    if (!IsDesigning() && !clients_.empty()) {
        // The store is written beside the walk, so that waiting for the disk costs the
        // switch nothing; its result is taken (and its failure reported) after the walk.
        std::optional<SettingsStore> store = OpenStore(environment_);
        std::future<void> stored;
        if (store)
            stored = std::async(std::launch::async, [&store, language = language_] {
                store->WriteString(kOthers, kActualLanguageValue, language);
            });
        try {
            reverse = SwitchTexts();
        } catch (...) {
            // The texts still show the language before: so must the server, or the next
            // switch would map them back from the wrong dictionary; and so must the store.
            language_ = previousLanguage_;
            RestoreStoredLanguage(stored, store, language_);
            throw;
        }
        if (stored.valid())
            stored.get();
    } else if (auto store = OpenStore(environment_)) {
        store->WriteString(kOthers, kActualLanguageValue, language_);
    }
    if (OnLanguageChange)
        OnLanguageChange(this);
    // Last: the texts, the server and the stored language agree whether this write
    // succeeds or not.
    if (reverse)
        WriteReverseDictionary(reverse);
}

fs::path TOvkLocalizeServer::NewLanguage(std::string_view name, const IPicture* image) {
    CheckNewLanguageName(name);
    ReloadLanguageList();
    auto store = OpenStore(environment_);
    if (!store)
        throw ERegistryException("Failed to create key " + std::string(kLanguages) + " (" +
                                 environment_.SettingsFile.string() +
                                 ": the settings folder cannot be opened)");
    // A language that exists (in any letter case) keeps its file, its spelling and every
    // translation: creating it again only adds the Default entries it lacks.
    std::string language = CapitalizeFirst(name);
    fs::path dictionary;
    if (const std::string known = CataloguedSpelling(language); !known.empty()) {
        language = languageList_.Strings(languageList_.IndexOf(known));
        dictionary = LanguageFileName(language);
    }
    if (dictionary.empty() && EqualsIgnoringAsciiCase(language, kDefaultLanguage)) {
        language = std::string(kDefaultLanguage);
        dictionary = DictionaryFolder() / kDefaultDictionaryFile;
    }
    if (dictionary.empty())
        dictionary = FreeDictionaryFile(name, language);

    const bool existed = PathExists(dictionary);
    SeedDictionary(language, dictionary);
    try {
        if (store->ReadString(kLanguages, language, kNotFound) != dictionary.string())
            store->WriteString(kLanguages, language, dictionary.string());
        if (image)
            WriteFolderFile(ImageFileOf(dictionary.string()), image->EncodeBitmap());
    } catch (...) {
        // Not catalogued: the dictionary made for it goes again. (A flag that failed leaves
        // the language without one; the language itself is complete.)
        if (!existed && LanguageFileName(language).empty()) {
            try {
                RemoveFolderFile(dictionary);
            } catch (...) {
                // A leftover dictionary is found by the next rescan; the first failure is
                // the one to report.
            }
        }
        store.reset();
        ReloadLanguageList();
        throw;
    }
    store.reset();
    ReloadLanguageList();
    return dictionary;
}

fs::path TOvkLocalizeServer::FreeDictionaryFile(std::string_view name,
                                                const std::string& language) const {
    // Different names can derive the same base (Serbian and Sorbian): a file that holds
    // another language, or is registered for one, or is not a dictionary at all, is never
    // taken over; the next free "<base>-<n>" is used instead.
    const fs::path folder = DictionaryFolder();
    const std::string base = SafeFileBase(LanguageFileBase(name));
    std::vector<fs::path> registered;
    for (const auto& other : languageList_.Names())
        if (const std::string file = LanguageFileName(other); !file.empty())
            registered.emplace_back(file);
    for (int n = 1; n <= 1000; ++n) {
        fs::path file = folder / ((n == 1 ? base : base + "-" + std::to_string(n)) +
                                  std::string(kDictionaryExtension));
        if (std::find_if(registered.begin(), registered.end(), [&](const fs::path& taken) {
                return SameFolder(taken, file);
            }) != registered.end())
            continue;
        if (!PathExists(file))
            return file;
        const ProfileFile existing(file);
        const std::string claimed =
            existing.ReadString(kDefinitionsSection, kLanguageKey, kNotFound);
        if (claimed != kNotFound && SameText(claimed, language))
            return file; // its own dictionary, left uncatalogued
    }
    throw EIniFileException("Unable to write to " + (folder / base).string() +
                            " (no free dictionary name is left)");
}

bool TOvkLocalizeServer::DeleteLanguage(std::string_view name) {
    // Only dictionaries inside the folder are deleted (see LanguageFileName).
    const std::string file = LanguageFileName(name);
    bool removed = false;
    std::exception_ptr failure;
    if (!file.empty()) {
        try {
            removed = RemoveFolderFile(file);
            // The flag of a language that is gone is a leftover file, not lost data.
            try {
                RemoveFolderFile(ImageFileOf(file));
            } catch (const EIniFileException&) {
            }
        } catch (...) {
            failure = std::current_exception();
        }
    }
    RefreshLanguages();
    if (failure)
        std::rethrow_exception(failure);
    return removed;
}

std::string TOvkLocalizeServer::LanguageLocale(std::string_view language) {
    const std::string name = language.empty() ? CurrentLanguage() : StripAmpersands(language);
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
    RequireDictionaryFile(dictionary);
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
    ProfileFile::UpdateResult result;
    try {
        result = dictionary.UpdateFile();
    } catch (...) {
        // The caller hears of the failure; the object must not write the change later
        // when it is released, behind the caller's back.
        dictionary.DiscardChanges();
        throw;
    }
    if (result == ProfileFile::UpdateResult::ConvertedToUtf8 && environment_.DictionaryConverted)
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
    dictionary.ReadAllSections(list); // complete, however long
    return true;
}

bool TOvkLocalizeServer::ReadSectionKeys(std::string_view section, std::vector<std::string>& list) {
    const ProfileFile dictionary(CurrentDictionaryFile());
    if (!dictionary.ReadAllKeys(section, list)) // complete, however long
        list.clear();
    return true;
}

std::string TOvkLocalizeServer::ReadValue(std::string_view section, std::string_view key) {
    const ProfileFile dictionary(CurrentDictionaryFile());
    return FromSentinel(dictionary.ReadString(section, key, kNotFound));
}

void TOvkLocalizeServer::WriteValue(std::string_view section, std::string_view key,
                                    std::string_view value) {
    ProfileFile dictionary(CurrentDictionaryFile());
    RequireDictionaryFile(dictionary);
    if (IsIdentityEntry(section, key) &&
        dictionary.ReadString(section, key, kNotFound) != (value.empty() ? kNotFound : value))
        throw std::invalid_argument(std::string(kIdentityChanged));
    dictionary.WriteString(section, key.empty() ? kNotFound : key,
                           value.empty() ? kNotFound : value);
    Flush(dictionary);
}

TEntryNotes TOvkLocalizeServer::ReadEntryNotes(std::string_view section, std::string_view key) {
    const ProfileFile dictionary(CurrentDictionaryFile());
    return ParseEntryNotes(dictionary.ReadNotes(section, key));
}

void TOvkLocalizeServer::WriteEntryNotes(std::string_view section, std::string_view key,
                                         const TEntryNotes& notes) {
    ProfileFile dictionary(CurrentDictionaryFile());
    RequireDictionaryFile(dictionary);
    dictionary.WriteNotes(section, key, FormatEntryNotes(notes));
    Flush(dictionary);
}

void TOvkLocalizeServer::AddKeyToAll(std::string_view section, std::string_view key) {
    const std::string sectionName = Cut(section);
    const std::string keyName = key.empty() ? std::string(kNotFound) : Cut(key);
    if (IsIdentityEntry(sectionName, keyName))
        throw std::invalid_argument(std::string(kIdentityChanged));
    for (const auto& name : languageList_.Names()) {
        ProfileFile dictionary(LanguageFileName(name));
        RequireDictionaryFile(dictionary);
        if (dictionary.ReadString(sectionName, keyName, kNotFound) == kNotFound) {
            dictionary.WriteString(sectionName, keyName, keyName);
            Flush(dictionary);
        }
    }
}

void TOvkLocalizeServer::DeleteKeyFromAll(std::string_view section, std::string_view key) {
    if (IsIdentityEntry(section, key))
        throw std::invalid_argument(std::string(kIdentityDeleted));
    for (const auto& name : languageList_.Names()) {
        try {
            ProfileFile dictionary(LanguageFileName(name));
            RequireDictionaryFile(dictionary);
            dictionary.DeleteKey(section, key);
            Flush(dictionary);
        } catch (const std::exception&) {
            // Deleting a key ignores failures.
        }
    }
}

void TOvkLocalizeServer::DeleteSectionFromAll(std::string_view section) {
    if (IsIdentitySection(section))
        throw std::invalid_argument(std::string(kIdentitySectionDeleted));
    for (const auto& name : languageList_.Names()) {
        ProfileFile dictionary(LanguageFileName(name));
        RequireDictionaryFile(dictionary);
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
        SaveLanguageImageOf(Language(), image);
    } catch (...) {
        // Saving the flag never fails the caller.
    }
}

void TOvkLocalizeServer::SaveLanguageImageOf(std::string_view language, const IPicture& image) {
    const std::string dictionary = LanguageFileName(StripAmpersands(language));
    if (dictionary.empty())
        throw std::runtime_error("The language \"" + StripAmpersands(language) +
                                 "\" has no dictionary file");
    // Like a dictionary: atomically, under the folder's lock, never through a planted link.
    WriteFolderFile(ImageFileOf(dictionary), image.EncodeBitmap());
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

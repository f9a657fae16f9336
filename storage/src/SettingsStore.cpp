#include "tavrel/storage/SettingsStore.h"

#include "ProfileDocument.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/Utf8.h"
#include "UserFolders.h"

#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Names and values are stored in the profile syntax, which cannot hold every byte. What it
// cannot hold is written as %XX (upper-case hex): '%' itself, line breaks, NUL and every
// other control byte, and a space at either end (blanks there are trimmed on reading).
// Names also escape '=' (it ends a key), '[' and ']' (a header) and ';' (a comment); values
// escape ']', which after a hand-written name starting with '[' would make a header.
// Letters are never escaped, so case-insensitive matching of escaped names equals
// case-insensitive matching of the names themselves. Text is UTF-8; a value that is not
// (a native path may hold any bytes) has its bytes from 0x80 up escaped as well.
std::string Escape(std::string_view text, bool isName) {
    std::string out;
    out.reserve(text.size());
    const bool rawBytes = !IsValidUtf8(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        bool escape = c < 0x20 || c == 0x7F || c == '%' || (rawBytes && c >= 0x80) ||
                      (c == ' ' && (i == 0 || i + 1 == text.size()));
        if (isName)
            escape = escape || c == '=' || c == '[' || c == ';';
        escape = escape || c == ']';
        if (escape) {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A '%' not followed by two hex digits (a hand-edited file) stays as it is.
std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string SectionKey(std::string_view section) {
    return Escape(section, true);
}

// The stored spelling of the entry whose decoded name matches, if any. Decoding first lets
// a hand-written escape (say "%6C" for "l") match like the canonical spelling.
std::optional<std::string> StoredName(const ProfileFile& file, const std::string& section,
                                      std::string_view name) {
    std::vector<std::string> keys;
    if (!file.ReadAllKeys(section, keys))
        return std::nullopt;
    for (std::string& key : keys)
        if (detail::EqualsIgnoreAsciiCase(Unescape(key), name))
            return std::move(key);
    return std::nullopt;
}

// The file exists but cannot be read: a folder or another non-regular file in its place,
// or a file without read permission.
bool ExistsUnreadable(const std::filesystem::path& file) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode))
        return true;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return true;
    ::close(fd);
    return false;
}

// " (<file>: <reason>)" from the profile-file failure "Unable to write to <file> (<reason>)".
std::string Reason(const std::filesystem::path& file, const EIniFileException& e) {
    const std::string_view what = e.what();
    const std::string prefix = "Unable to write to " + file.string() + " (";
    std::string_view reason = what;
    if (what.size() > prefix.size() && what.substr(0, prefix.size()) == prefix &&
        what.back() == ')')
        reason = what.substr(prefix.size(), what.size() - prefix.size() - 1);
    return " (" + file.string() + ": " + std::string(reason) + ")";
}

} // namespace

SettingsStore::SettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path SettingsStore::DefaultSettingsFile() {
    return detail::XdgBaseFolder("XDG_CONFIG_HOME", ".config") / "Tavrel" / "Localize.ini";
}

bool SettingsStore::OpenKey() {
    std::error_code ec;
    const std::filesystem::path folder =
        file_.has_parent_path() ? file_.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder, ec);
    // A folder that can be read but not written still serves reads; writes then fail with
    // the reason.
    open_ = std::filesystem::is_directory(folder, ec) && !ec &&
            ::access(folder.c_str(), R_OK | X_OK) == 0;
    return open_;
}

void SettingsStore::CloseKey() {
    open_ = false;
}

std::string SettingsStore::ReadString(std::string_view section, std::string_view name,
                                      std::string_view defaultValue) const {
    if (ExistsUnreadable(file_))
        throw ERegistryException("Failed to get data for '" + std::string(name) + "' (" +
                                 file_.string() + ": the file cannot be read)");
    const ProfileFile file(file_);
    const std::string sectionKey = SectionKey(section);
    const auto stored = StoredName(file, sectionKey, name);
    if (!stored)
        return std::string(defaultValue);
    const auto value = file.FindValue(sectionKey, *stored);
    if (!value)
        return std::string(defaultValue);
    return Unescape(*value);
}

void SettingsStore::WriteString(std::string_view section, std::string_view name,
                                std::string_view value) {
    // The profile syntax has no entry without a name (nor a section without one).
    if (section.empty())
        throw ERegistryException("Failed to create key " + std::string(section));
    if (name.empty())
        throw ERegistryException("Failed to set data for '" + std::string(name) + "'");
    ProfileFile file(file_);
    const std::string sectionKey = SectionKey(section);
    const bool sectionExisted = file.SectionExists(sectionKey);
    try {
        const auto stored = StoredName(file, sectionKey, name);
        file.WriteString(sectionKey, stored ? *stored : Escape(name, true), Escape(value, false));
        file.UpdateFile();
    } catch (const EIniFileException& e) {
        file.DiscardChanges();
        if (!sectionExisted)
            throw ERegistryException("Failed to create key " + std::string(section) +
                                     Reason(file_, e));
        throw ERegistryException("Failed to set data for '" + std::string(name) + "'" +
                                 Reason(file_, e));
    }
}

void SettingsStore::ReplaceSection(std::string_view section,
                                   const std::vector<std::pair<std::string, std::string>>& values) {
    if (section.empty())
        throw ERegistryException("Failed to create key " + std::string(section));
    ProfileFile file(file_);
    const std::string sectionKey = SectionKey(section);
    try {
        // Every section of the name goes: a hand-edited duplicate must not keep old entries.
        while (file.SectionExists(sectionKey))
            file.EraseSection(sectionKey);
        for (const auto& [name, value] : values) {
            if (name.empty())
                continue;
            const std::string stored = Escape(name, true);
            // Names match without regard to ASCII case: the last of equal names wins.
            file.WriteString(sectionKey, stored, Escape(value, false));
        }
        file.UpdateFile();
    } catch (const EIniFileException& e) {
        file.DiscardChanges();
        throw ERegistryException("Failed to create key " + std::string(section) + Reason(file_, e));
    }
}

bool SettingsStore::ReadSection(std::string_view section, std::vector<std::string>& names) const {
    const ProfileFile file(file_);
    std::vector<std::string> keys;
    if (!file.ReadAllKeys(SectionKey(section), keys))
        return false;
    names.clear();
    names.reserve(keys.size());
    for (const std::string& key : keys)
        names.push_back(Unescape(key));
    return true;
}

void SettingsStore::EraseSection(std::string_view section) noexcept {
    try {
        ProfileFile file(file_);
        file.EraseSection(SectionKey(section));
        file.UpdateFile();
    } catch (...) {
        // Erasing is best effort by contract; the next write reports a broken store.
    }
}

} // namespace tavrel

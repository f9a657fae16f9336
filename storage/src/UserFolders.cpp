#include "UserFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace tavrel::detail {

namespace {

// Only absolute values count: a relative one would make the folder depend on the current
// working folder.
std::filesystem::path AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0')
        return {};
    std::filesystem::path path(value);
    return path.is_absolute() ? path : std::filesystem::path();
}

std::filesystem::path HomeFolder() {
    if (auto home = AbsoluteFromEnvironment("HOME"); !home.empty())
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir)
        return entry->pw_dir;
    throw std::runtime_error("Cannot find the home folder of the current user");
}

} // namespace

std::filesystem::path XdgBaseFolder(const char* variable, const std::filesystem::path& fallback) {
    std::filesystem::path base = AbsoluteFromEnvironment(variable);
    return base.empty() ? HomeFolder() / fallback : base;
}

} // namespace tavrel::detail

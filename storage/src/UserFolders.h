#pragma once

#include <filesystem>

namespace tavrel::detail {

// The per-user base folder named by an XDG variable (only an absolute value counts), or
// `fallback` below the user's home folder. Throws when there is no home folder at all.
std::filesystem::path XdgBaseFolder(const char* variable, const std::filesystem::path& fallback);

} // namespace tavrel::detail

#pragma once

// Files of the dictionary folder that are not profile files (the flag pictures), written and
// removed the way dictionaries are: under the folder's lock, replaced atomically, never
// through a link another user planted.

#include <filesystem>
#include <string_view>

namespace tavrel {

// Replaces the file's content atomically. Throws EIniFileException "Unable to write to
// <file> (<reason>)"; the old file is then intact.
void WriteFolderFile(const std::filesystem::path& file, std::string_view bytes);

// Removes the file (a link itself, never what it points to). True when something was
// removed; false when there was nothing. Throws EIniFileException "Unable to remove <file>
// (<reason>)" when it stays.
bool RemoveFolderFile(const std::filesystem::path& file);

} // namespace tavrel

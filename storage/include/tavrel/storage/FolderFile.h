#pragma once

// Files of the dictionary folder that are not profile files (the flag pictures), written and
// removed the way dictionaries are: under the folder's lock, replaced atomically, never
// through a link another user planted.

#include <filesystem>
#include <string_view>

namespace tavrel {

// How far a write goes before it returns.
enum class WriteDurability {
    // On the disk: the new content survives a crash of the system from the return on.
    Synced,
    // In the system's cache: every reader sees the old or the new content, also when the
    // writer dies, but a crash of the system may lose the new content (on some file systems
    // leave the file empty). For files derived from others and rebuilt at will; spares the
    // writer waiting for the disk.
    Cached,
};

// Replaces the file's content atomically. Throws EIniFileException "Unable to write to
// <file> (<reason>)"; the old file is then intact.
void WriteFolderFile(const std::filesystem::path& file, std::string_view bytes,
                     WriteDurability durability = WriteDurability::Synced);

// Removes the file (a link itself, never what it points to). True when something was
// removed; false when there was nothing. Throws EIniFileException "Unable to remove <file>
// (<reason>)" when it stays.
bool RemoveFolderFile(const std::filesystem::path& file);

} // namespace tavrel

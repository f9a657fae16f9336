#pragma once

// Private to the storage layer: where a write of a path really goes.

#include "AtomicFile.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace tavrel::detail {

// The file a write of `path` changes. A symbolic link the writer owns is followed (a
// dictionary shared on purpose stays shared); one owned by another user is refused with
// std::runtime_error, since following it would let that user aim the write anywhere the
// writer may write. A file with several hard links is rewritten in place when its folder
// is private to the writer (only the writer can have made the links); in a folder others
// may write to, the name is replaced as any other file, which ends the sharing but never
// writes into a file a stranger linked there.
struct WriteTarget {
    std::filesystem::path file;
    bool inPlace = false;
};
WriteTarget ResolveWriteTarget(const std::filesystem::path& path);

// Writes `bytes` to the target as ResolveWriteTarget() decided, the folder lock held by the
// caller. An in-place rewrite first stores the whole new content in a journal beside the
// file, so a writer killed halfway leaves the journal for RecoverInPlaceWrite() and for
// readers (ReadWholeFile() prefers it). Without `sync` the new content is not synced to
// the disk (see WriteDurability). Returns the stamp of the written file.
FileStamp WriteTargetFile(const WriteTarget& target, std::string_view bytes,
                          const std::optional<FileStamp>& previous, bool sync = true);

// Completes an in-place rewrite of `file` that a killed writer left as a journal; call
// under the folder lock. Failures are ignored (the journal stays for the next writer).
void RecoverInPlaceWrite(const std::filesystem::path& file);

// The journal of an in-place rewrite of `file`.
std::filesystem::path JournalOf(const std::filesystem::path& file);

} // namespace tavrel::detail

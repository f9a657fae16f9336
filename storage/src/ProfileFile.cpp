#include "tavrel/storage/ProfileFile.h"

#include "AtomicFile.h"
#include "ChangeWatch.h"
#include "ProfileDocument.h"
#include "tavrel/storage/Utf8.h"
#include "WriteTarget.h"

#include <algorithm>
#include <list>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unordered_map>

namespace tavrel {

namespace {

using detail::FileContent;
using detail::FileStamp;
using detail::TrimProfileBlanks;

// The callers' buffers, in characters: 2048 for a value, 16384 for a list of names.
constexpr std::size_t kValueLimit = 2047;
constexpr std::size_t kListBuffer = 16384;

constexpr std::size_t kCacheDocuments = 64;
constexpr std::size_t kCacheBytes = std::size_t{128} << 20;

// Shared documents that stand for "nothing to read"; their identity stays the same, so an
// object's private view over them is not rebuilt on every operation.
const std::shared_ptr<const ProfileDocument>& MissingDocument() {
    static const auto doc =
        std::make_shared<const ProfileDocument>(ProfileDocument::State::Missing);
    return doc;
}
const std::shared_ptr<const ProfileDocument>& UnreadableDocument() {
    static const auto doc =
        std::make_shared<const ProfileDocument>(ProfileDocument::State::Unreadable);
    return doc;
}

// One parsed copy per absolute path for the whole process, least recently used first out.
class DocumentCache {
public:
    static DocumentCache& Instance() {
        static DocumentCache cache;
        return cache;
    }

    // The document for the file as it is now. A copy the change watch vouches for is
    // returned as it is (one ioctl() on the watch's queue); any other is checked with one
    // stat(), and read again when that shows a change.
    std::shared_ptr<const ProfileDocument> Get(const std::string& path) {
        std::uint64_t token = 0;
        bool known = false, rewritten = false;
        {
            std::lock_guard lock(mutex_);
            auto it = entries_.find(path);
            if (it != entries_.end()) {
                if (!it->second.recent && watch_.Unchanged(path)) {
                    order_.splice(order_.begin(), order_, it->second.position);
                    return it->second.doc;
                }
                // Watched before the stat, so that no change after it can go unseen.
                token = watch_.Prepare(path);
                rewritten = watch_.Rewritten(path);
                known = true;
            }
        }
        const FileStamp stamp = detail::StatPath(path);
        if (!stamp.exists) {
            Forget(path);
            return MissingDocument();
        }
        if (!stamp.regular)
            return UnreadableDocument();
        std::shared_ptr<const ProfileDocument> cached;
        {
            std::lock_guard lock(mutex_);
            auto it = entries_.find(path);
            if (it != entries_.end() && it->second.stamp.SameFile(stamp)) {
                order_.splice(order_.begin(), order_, it->second.position);
                // Bytes written since the last check are compared even under an equal stamp.
                if (!it->second.recent && !rewritten) {
                    watch_.Checked(path, token);
                    return it->second.doc;
                }
                cached = it->second.doc;
            }
            if (!known) // a file new to the cache is watched before it is read
                token = watch_.Prepare(path);
        }
        // Unknown, changed, or so recently written that an equal stamp proves nothing: read
        // the bytes, and parse them only when they differ from the cached ones.
        return Load(path, cached, token);
    }

    std::shared_ptr<const ProfileDocument> Peek(const std::string& path) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(path);
        return it == entries_.end() ? nullptr : it->second.doc;
    }

    // Builds the document for freshly read content, reusing `cached` when the bytes match.
    static std::shared_ptr<const ProfileDocument>
    FromContent(FileContent& content, const std::shared_ptr<const ProfileDocument>& cached) {
        switch (content.status) {
        case FileContent::Status::Missing:
            return MissingDocument();
        case FileContent::Status::NotRegular:
        case FileContent::Status::TooLarge:
        case FileContent::Status::Error:
            return UnreadableDocument();
        case FileContent::Status::Ok:
            break;
        }
        if (cached && cached->Source() && *cached->Source() == content.bytes)
            return cached;
        return ProfileDocument::Parse(
            std::make_shared<const std::string>(std::move(content.bytes)));
    }

    // `ownWrite`: the document is what this process has just written. Every writer stamps
    // its file with the precise time of the write, so an equal stamp later still means
    // this very content, however recent.
    // `token`: from the change watch's Prepare() before the read that gave `doc`.
    void Store(const std::string& path, const FileStamp& stamp,
               std::shared_ptr<const ProfileDocument> doc, bool ownWrite = false,
               std::uint64_t token = 0) {
        const bool recent = !ownWrite && detail::StampIsRecent(stamp);
        const std::size_t bytes = doc->MemoryBytes();
        std::lock_guard lock(mutex_);
        auto it = entries_.find(path);
        if (it == entries_.end()) {
            order_.push_front(path);
            it = entries_.emplace(path, Entry{}).first;
            it->second.position = order_.begin();
        } else {
            order_.splice(order_.begin(), order_, it->second.position);
            totalBytes_ -= it->second.bytes;
        }
        it->second.stamp = stamp;
        it->second.doc = std::move(doc);
        it->second.recent = recent;
        it->second.bytes = bytes;
        totalBytes_ += bytes;
        // A recent copy is checked by content anyway; an own write is vouched for once the
        // next use has seen its stamp (its rename's event is queued for the watch).
        watch_.Checked(path, recent ? 0 : token);
        // The newest entry always stays, however large.
        while (entries_.size() > 1 &&
               (entries_.size() > kCacheDocuments || totalBytes_ > kCacheBytes)) {
            auto victim = entries_.find(order_.back());
            totalBytes_ -= victim->second.bytes;
            watch_.Forget(victim->first);
            entries_.erase(victim);
            order_.pop_back();
        }
    }

    void Forget(const std::string& path) {
        std::lock_guard lock(mutex_);
        watch_.Forget(path);
        auto it = entries_.find(path);
        if (it == entries_.end())
            return;
        totalBytes_ -= it->second.bytes;
        order_.erase(it->second.position);
        entries_.erase(it);
    }

    void Clear() {
        std::lock_guard lock(mutex_);
        entries_.clear();
        order_.clear();
        totalBytes_ = 0;
        watch_.Reset();
    }

private:
    struct Entry {
        FileStamp stamp;
        std::shared_ptr<const ProfileDocument> doc;
        bool recent = false;
        std::size_t bytes = 0;
        std::list<std::string>::iterator position;
    };

    std::shared_ptr<const ProfileDocument>
    Load(const std::string& path, const std::shared_ptr<const ProfileDocument>& cached,
         std::uint64_t token) {
        FileContent content = detail::ReadWholeFile(path);
        const FileContent::Status status = content.status;
        const FileStamp stamp = content.stamp;
        auto doc = FromContent(content, cached);
        if (status == FileContent::Status::Ok)
            Store(path, stamp, doc, false, token);
        else
            Forget(path);
        return doc;
    }

    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
    std::list<std::string> order_; // most recently used first
    std::size_t totalBytes_ = 0;
    detail::ChangeWatch watch_;
};

// The names of a list as a copy into a buffer of 16384 characters delivers them. The block holds
// each name with its terminating NUL and ends with an empty name. Whole names are taken
// while they fit into the buffer less the byte of that final empty name; the first name
// that does not fit is cut to the bytes left before its own NUL, so the block fills the
// buffer exactly, and nothing follows it (a cut of zero characters would be the empty name
// and ends the list). A cut never ends inside a character. Empty names are not placed at all:
// inside the block they would end the list early and hide every later name.
class ListBuffer {
public:
    explicit ListBuffer(std::vector<std::string>& list) : list_(list) { list_.clear(); }
    void Add(std::string_view name) {
        if (full_ || name.empty())
            return;
        const std::size_t length = Utf8Length(name);
        if (length + 1 <= left_) {
            list_.emplace_back(name);
            left_ -= length + 1;
            return;
        }
        full_ = true;
        if (left_ > 1)
            list_.emplace_back(Utf8Prefix(name, left_ - 1));
    }

private:
    std::vector<std::string>& list_;
    std::size_t left_ = kListBuffer - 1;
    bool full_ = false;
};

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Why a write is refused, or nothing when it is acceptable. Each refused case would
// otherwise be read back as something else: more lines, another key, a comment or a header.
std::string_view InvalidWrite(std::string_view section, std::string_view key,
                              std::string_view value) {
    if (section.empty())
        return "a section name cannot be empty";
    if (section.find(']') != std::string_view::npos)
        return "a section name cannot contain ']'";
    if (HasLineBreakOrNul(section))
        return "a section name cannot contain a line break or NUL";
    if (key.empty())
        return "a key cannot be empty";
    if (key.find('=') != std::string_view::npos)
        return "a key cannot contain '='";
    if (HasLineBreakOrNul(key))
        return "a key cannot contain a line break or NUL";
    if (key.front() == ';')
        return "a key cannot start with ';'";
    // The line "key=value" reads as a header when it starts with '[' and holds a ']'
    // anywhere, in the value too.
    if (key.front() == '[' &&
        (key.find(']') != std::string_view::npos || value.find(']') != std::string_view::npos))
        return "a key cannot look like a section header";
    if (HasLineBreakOrNul(value))
        return "a value cannot contain a line break or NUL";
    if (!IsValidUtf8(section) || !IsValidUtf8(key) || !IsValidUtf8(value))
        return "the text is not valid UTF-8";
    return {};
}

std::string_view BrokenEncodingReason(FileEncoding encoding) {
    return encoding == FileEncoding::Utf16Le || encoding == FileEncoding::Utf16Be
               ? "the file is not valid UTF-16"
               : "the file is not valid UTF-8";
}

std::string AbsolutePath(const std::filesystem::path& name) {
    if (!name.empty() && name.native().front() == '/') // what is_absolute() tells, unparsed
        return name.native();
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(name, ec);
    return ec ? name.native() : absolute.native();
}

} // namespace

namespace detail {
void ClearProfileCache() {
    DocumentCache::Instance().Clear();
}
} // namespace detail

struct ProfileFile::Pending {
    struct Op {
        enum class Kind { Write, Delete, Erase, Notes } kind;
        std::string section, key, value;
    };
    std::vector<Op> journal;
    FileEncoding newFileEncoding = FileEncoding::Windows1252;
    // The private view: `base` with the journal applied.
    std::shared_ptr<const ProfileDocument> base;
    std::shared_ptr<ProfileDocument> working;

    static bool Apply(ProfileDocument& doc, const Op& op) {
        switch (op.kind) {
        case Op::Kind::Write:
            return doc.Set(op.section, op.key, op.value);
        case Op::Kind::Delete:
            return doc.Delete(op.section, op.key);
        case Op::Kind::Erase:
            return doc.Erase(op.section);
        case Op::Kind::Notes:
            return doc.SetNotes(op.section, op.key, SplitNotes(op.value));
        }
        return false;
    }

    static std::vector<std::string> SplitNotes(std::string_view joined) {
        std::vector<std::string> notes;
        if (joined.empty())
            return notes;
        for (std::size_t start = 0;;) {
            const std::size_t end = joined.find('\n', start);
            notes.emplace_back(joined.substr(start, end - start));
            if (end == std::string_view::npos)
                return notes;
            start = end + 1;
        }
    }

    std::shared_ptr<ProfileDocument>
    Replay(const std::shared_ptr<const ProfileDocument>& on) const {
        auto doc = std::make_shared<ProfileDocument>(*on);
        if (on->GetState() == ProfileDocument::State::Missing)
            doc->SetEncoding(newFileEncoding);
        for (const Op& op : journal)
            Apply(*doc, op);
        return doc;
    }

    // The view to edit, rebuilt when the file changed underneath.
    ProfileDocument& Working(const std::shared_ptr<const ProfileDocument>& current) {
        if (!working || base != current) {
            working = Replay(current);
            base = current;
        }
        return *working;
    }

    // Whether the operation would change the document; checked before a private copy is
    // made, so a write of the value already stored costs a look-up only.
    static bool Changes(const ProfileDocument& doc, const Op& op) {
        switch (op.kind) {
        case Op::Kind::Write: {
            const auto stored = doc.Find(op.section, op.key);
            return !stored || *stored != op.value;
        }
        case Op::Kind::Delete:
            return doc.HasKey(op.section, op.key);
        case Op::Kind::Erase:
            return doc.HasSection(op.section);
        case Op::Kind::Notes: {
            const std::vector<std::string_view> notes = doc.Notes(op.section, op.key);
            const std::vector<std::string> wanted = SplitNotes(op.value);
            return doc.HasKey(op.section, op.key) &&
                   !std::equal(notes.begin(), notes.end(), wanted.begin(), wanted.end());
        }
        }
        return false;
    }

    void Record(const std::shared_ptr<const ProfileDocument>& current, Op op) {
        const ProfileDocument& view = journal.empty() ? *current : Working(current);
        if (!Changes(view, op))
            return;
        if (Apply(Working(current), op))
            journal.push_back(std::move(op));
    }

    void Clear() {
        journal.clear();
        base.reset();
        working.reset();
    }
};

std::string_view TrimProfileName(std::string_view name) {
    return detail::TrimProfileBlanks(name);
}

ProfileFile::ProfileFile(std::filesystem::path fileName)
    : fileName_(std::move(fileName)), cacheKey_(AbsolutePath(fileName_)) {}

ProfileFile::~ProfileFile() {
    try {
        UpdateFile();
    } catch (...) {
        // A destructor cannot report; callers that care call UpdateFile() first.
    }
}

void ProfileFile::Fail(std::string_view reason) const {
    std::string message = "Unable to write to " + fileName_.string();
    if (!reason.empty())
        message.append(" (").append(reason).append(")");
    throw EIniFileException(message);
}

void ProfileFile::Hold() {
    held_ = DocumentCache::Instance().Get(cacheKey_);
}

std::shared_ptr<const void> ProfileFile::HeldState() const {
    return HoldsState() ? held_ : nullptr;
}

std::shared_ptr<const ProfileDocument> ProfileFile::View() const {
    auto current = held_ ? held_ : DocumentCache::Instance().Get(cacheKey_);
    if (!pending_ || pending_->journal.empty())
        return current;
    pending_->Working(current);
    return pending_->working;
}

ProfileFile::Pending& ProfileFile::PendingOps() {
    if (!pending_) {
        pending_ = std::make_unique<Pending>();
        pending_->newFileEncoding = newFileEncoding_;
    }
    return *pending_;
}

FileEncoding ProfileFile::Encoding() const {
    const auto view = View();
    if (view->GetState() == ProfileDocument::State::Missing &&
        (!pending_ || pending_->journal.empty()))
        return newFileEncoding_;
    return view->Encoding();
}

void ProfileFile::SetNewFileEncoding(FileEncoding encoding) {
    newFileEncoding_ = encoding;
    if (pending_)
        pending_->newFileEncoding = encoding;
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    // The view keeps the document alive while its value is copied: another thread may
    // replace the cached copy meanwhile.
    const auto view = View();
    const auto found = view->Find(TrimProfileBlanks(section), TrimProfileBlanks(key));
    if (!found)
        return std::string(defaultValue);
    return std::string(Utf8Prefix(*found, kValueLimit));
}

std::optional<std::string_view> ProfileFile::ReadHeldString(std::string_view section,
                                                            std::string_view key) const {
    if (!HoldsState())
        return std::nullopt;
    const auto found = held_->Find(TrimProfileBlanks(section), TrimProfileBlanks(key));
    if (!found)
        return std::nullopt;
    return Utf8Prefix(*found, kValueLimit);
}

std::optional<std::string> ProfileFile::FindValue(std::string_view section,
                                                  std::string_view key) const {
    // Held in a variable, as in ReadString.
    const auto view = View();
    const auto found = view->Find(TrimProfileBlanks(section), TrimProfileBlanks(key));
    if (!found)
        return std::nullopt;
    return std::string(*found);
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    section = TrimProfileBlanks(section);
    key = TrimProfileBlanks(key);
    const std::string_view invalid = InvalidWrite(section, key, value);
    if (!invalid.empty())
        Fail(invalid);
    auto current = held_ ? held_ : DocumentCache::Instance().Get(cacheKey_);
    switch (current->GetState()) {
    case ProfileDocument::State::NotText:
        Fail("the file is not a text file");
    case ProfileDocument::State::Unreadable:
        Fail("the file cannot be read");
    case ProfileDocument::State::Missing: {
        // Creating folders is not this object's job; fail now rather than at the flush
        // (checked once per batch of writes).
        if (pending_ && !pending_->journal.empty())
            break;
        std::error_code ec;
        const auto folder = std::filesystem::path(cacheKey_).parent_path();
        if (!std::filesystem::is_directory(folder, ec))
            Fail("the folder does not exist");
        break;
    }
    case ProfileDocument::State::Text:
        break;
    }
    if (!current->Exact())
        Fail(BrokenEncodingReason(current->Encoding()));
    PendingOps().Record(current, Pending::Op{Pending::Op::Kind::Write, std::string(section),
                                             std::string(key), std::string(value)});
}

void ProfileFile::DeleteKey(std::string_view section, std::string_view key) {
    auto current = DocumentCache::Instance().Get(cacheKey_);
    PendingOps().Record(current, Pending::Op{Pending::Op::Kind::Delete,
                                             std::string(TrimProfileBlanks(section)),
                                             std::string(TrimProfileBlanks(key)),
                                             {}});
}

void ProfileFile::EraseSection(std::string_view section) {
    auto current = DocumentCache::Instance().Get(cacheKey_);
    PendingOps().Record(
        current,
        Pending::Op{Pending::Op::Kind::Erase, std::string(TrimProfileBlanks(section)), {}, {}});
}

std::vector<std::string> ProfileFile::ReadNotes(std::string_view section,
                                                std::string_view key) const {
    const auto view = View();
    const std::vector<std::string_view> notes =
        view->Notes(TrimProfileBlanks(section), TrimProfileBlanks(key));
    return {notes.begin(), notes.end()};
}

void ProfileFile::WriteNotes(std::string_view section, std::string_view key,
                             const std::vector<std::string>& notes) {
    section = TrimProfileBlanks(section);
    key = TrimProfileBlanks(key);
    std::string joined;
    for (const std::string& note : notes) {
        if (HasLineBreakOrNul(note))
            Fail("a note cannot contain a line break or NUL");
        if (!IsValidUtf8(note))
            Fail("the text is not valid UTF-8");
        if (&note != &notes.front())
            joined += '\n';
        joined += note;
    }
    auto current = held_ ? held_ : DocumentCache::Instance().Get(cacheKey_);
    if (current->GetState() != ProfileDocument::State::Missing &&
        current->GetState() != ProfileDocument::State::Text)
        Fail("the file is not a text file");
    if (!current->Exact())
        Fail(BrokenEncodingReason(current->Encoding()));
    if (!View()->HasKey(section, key))
        Fail("notes need an entry to belong to");
    PendingOps().Record(current, Pending::Op{Pending::Op::Kind::Notes, std::string(section),
                                             std::string(key), std::move(joined)});
}

bool ProfileFile::VisitSectionWithNotes(std::string_view section,
                                        const NotedEntryVisitor& visit) const {
    const auto view = View(); // alive while the visitor sees its text
    return view->ForEachEntryWithNotes(TrimProfileBlanks(section), visit);
}

void ProfileFile::ReadSections(std::vector<std::string>& list) const {
    ListBuffer buffer(list);
    View()->ForEachSectionName([&](std::string_view name) { buffer.Add(name); });
}

void ProfileFile::ReadAllSections(std::vector<std::string>& list) const {
    list.clear();
    View()->ForEachSectionName([&](std::string_view name) {
        if (!name.empty())
            list.emplace_back(name);
    });
}

void ProfileFile::ReadSection(std::string_view section, std::vector<std::string>& list) const {
    ListBuffer buffer(list);
    View()->ForEachKey(TrimProfileBlanks(section), [&](std::string_view key) { buffer.Add(key); });
}

void ProfileFile::ReadSectionValues(
    std::string_view section, std::vector<std::pair<std::string, std::string>>& entries) const {
    // One view for the whole section: the keys and values of one moment of the file.
    const auto view = View();
    const std::string_view name = TrimProfileBlanks(section);
    // Without the list-buffer limit: copying and reversing whole dictionaries must not
    // silently drop the keys of large sections.
    std::vector<std::string> keys;
    view->ForEachKey(name, [&](std::string_view key) {
        if (!key.empty())
            keys.emplace_back(key);
    });
    entries.clear();
    entries.reserve(keys.size());
    for (auto& key : keys) {
        const auto found = view->Find(name, TrimProfileBlanks(key));
        std::string value = found ? std::string(Utf8Prefix(*found, kValueLimit)) : std::string();
        entries.emplace_back(std::move(key), std::move(value));
    }
}

bool ProfileFile::VisitHeldSection(std::string_view section, const EntryVisitor& visit) const {
    if (!HoldsState())
        return false;
    const std::string_view name = TrimProfileBlanks(section);
    held_->ForEachKey(name, [&](std::string_view key) {
        if (key.empty())
            return;
        const auto found = held_->Find(name, TrimProfileBlanks(key));
        visit(key, found ? Utf8Prefix(*found, kValueLimit) : std::string_view());
    });
    return true;
}

bool ProfileFile::ReadAllKeys(std::string_view section, std::vector<std::string>& list) const {
    list.clear();
    return View()->ForEachKey(TrimProfileBlanks(section), [&](std::string_view key) {
        if (!key.empty())
            list.emplace_back(key);
    });
}

bool ProfileFile::SectionExists(std::string_view section) const {
    return View()->HasSection(TrimProfileBlanks(section));
}

ProfileFile::UpdateResult ProfileFile::UpdateFile() {
    if (!pending_ || pending_->journal.empty())
        return UpdateResult::NothingWritten;
    UpdateResult result = UpdateResult::Written;
    Pending& pending = *pending_;
    const std::filesystem::path target(cacheKey_);
    std::shared_ptr<ProfileDocument> written;
    FileStamp stamp;
    try {
        // A link the writer made is written through; see ResolveWriteTarget().
        const detail::WriteTarget where = detail::ResolveWriteTarget(target);
        detail::FolderLock lock(where.file.parent_path());
        detail::RecoverInPlaceWrite(where.file);
        // A writer killed before its rename left its temporary file; under the lock no
        // other writer can own one, so whatever is there now is stale.
        detail::RemoveStaleTemporaries(where.file);
        // Under the lock, the bytes on disk decide: a stamp alone can miss a rewrite made
        // within one tick of the clock, and that would lose the other writer's change.
        FileContent content = detail::ReadWholeFile(cacheKey_);
        if (content.status == FileContent::Status::NotRegular)
            Fail("the file is not a regular file");
        if (content.status == FileContent::Status::TooLarge)
            Fail("the file is too large");
        if (content.status == FileContent::Status::Error)
            throw std::system_error(content.error, std::generic_category(), "cannot read");
        std::optional<FileStamp> previous;
        if (content.status == FileContent::Status::Ok)
            previous = content.stamp;
        auto current =
            DocumentCache::FromContent(content, DocumentCache::Instance().Peek(cacheKey_));
        if (current->GetState() == ProfileDocument::State::NotText)
            Fail("the file is not a text file");
        if (!current->Exact())
            Fail(BrokenEncodingReason(current->Encoding()));
        written =
            current == pending.base && pending.working ? pending.working : pending.Replay(current);
        std::optional<std::string> encoded = written->Encode();
        // Windows-1252 bytes that happen to form UTF-8 (the write took away the bytes that
        // did not) would read as UTF-8 next time, changing every accented value kept.
        if (encoded && written->Encoding() == FileEncoding::Windows1252 &&
            DetectFileEncoding(*encoded) != FileEncoding::Windows1252)
            encoded.reset();
        if (!encoded) {
            // A text the file's code page cannot hold (or could not be read back as held): the
            // whole file moves to UTF-8, which holds every character of every other line.
            written->SetEncoding(FileEncoding::Utf8Bom);
            encoded = written->Encode();
            if (previous)
                result = UpdateResult::ConvertedToUtf8;
        }
        auto bytes = std::make_shared<const std::string>(std::move(*encoded));
        // Changes that cancel out (or were already made by someone else) write nothing.
        if (previous && current->Source() && *bytes == *current->Source()) {
            pending.Clear();
            return UpdateResult::NothingWritten;
        }
        stamp = detail::WriteTargetFile(where, *bytes, previous);
        written->SetSource(std::move(bytes));
    } catch (const EIniFileException&) {
        throw;
    } catch (const std::exception& e) {
        Fail(e.what());
    }
    pending.Clear();
    DocumentCache::Instance().Store(cacheKey_, stamp, std::move(written), /*ownWrite=*/true);
    if (held_) // a held view goes on from what was just written
        held_ = DocumentCache::Instance().Peek(cacheKey_);
    return result;
}

void ProfileFile::DiscardChanges() {
    if (pending_)
        pending_->Clear();
}

bool ProfileFile::HasPendingChanges() const {
    return pending_ && !pending_->journal.empty();
}

} // namespace tavrel

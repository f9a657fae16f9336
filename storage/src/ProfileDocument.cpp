#include "ProfileDocument.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tavrel {

namespace detail {

namespace {

constexpr std::array<bool, 256> MakeBlankTable() {
    std::array<bool, 256> table{};
    for (int c = 0x09; c <= 0x0D; ++c)
        table[static_cast<std::size_t>(c)] = true;
    table[0x1A] = true;
    table[0x20] = true;
    return table;
}
constexpr std::array<bool, 256> kBlank = MakeBlankTable();

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;

// Lower-cases the ASCII letters of eight bytes at once; other bytes are left alone.
inline std::uint64_t LowerAscii8(std::uint64_t x) {
    const std::uint64_t heptets = x & (0x7F * kOnes);
    const std::uint64_t atLeastA = heptets + (0x80 - 'A') * kOnes;
    const std::uint64_t aboveZ = heptets + (0x80 - 'Z' - 1) * kOnes;
    const std::uint64_t upper = atLeastA & ~aboveZ & ~x & (0x80 * kOnes);
    return x | (upper >> 2);
}

inline std::uint64_t Load8(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint64_t LoadTail(const char* p, std::size_t n) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, n);
    return v;
}

inline std::uint64_t Mix(std::uint64_t h) {
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBULL;
    h ^= h >> 31;
    return h;
}

} // namespace

bool IsProfileBlank(unsigned char c) {
    return kBlank[c];
}

std::string_view TrimProfileBlanks(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && kBlank[static_cast<unsigned char>(text[b])])
        ++b;
    while (e > b && kBlank[static_cast<unsigned char>(text[e - 1])])
        --e;
    return text.substr(b, e - b);
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    const std::size_t n = a.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        if (LowerAscii8(Load8(a.data() + i)) != LowerAscii8(Load8(b.data() + i)))
            return false;
    if (i < n)
        return LowerAscii8(LoadTail(a.data() + i, n - i)) ==
               LowerAscii8(LoadTail(b.data() + i, n - i));
    return true;
}

std::uint64_t HashIgnoreAsciiCase(std::string_view text) {
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ text.size();
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        h = (h ^ LowerAscii8(Load8(text.data() + i))) * 0xFF51AFD7ED558CCDULL;
    if (i < n)
        h = (h ^ LowerAscii8(LoadTail(text.data() + i, n - i))) * 0xFF51AFD7ED558CCDULL;
    return Mix(h);
}

void FlatIndex::Reserve(std::size_t count) {
    std::size_t capacity = 16;
    while (capacity < count * 2)
        capacity *= 2;
    if (capacity > slots_.size())
        Rehash(capacity);
}

void FlatIndex::Grow() {
    Rehash(slots_.empty() ? 16 : slots_.size() * 2);
}

void FlatIndex::Rehash(std::size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    for (const Slot& s : old) {
        if (s.a == kFree)
            continue;
        std::size_t pos = s.hash & mask_;
        while (slots_[pos].a != kFree)
            pos = (pos + 1) & mask_;
        slots_[pos] = s;
    }
}

// Backward-shift deletion keeps every probe sequence unbroken without tombstones.
void FlatIndex::EraseAt(std::size_t pos) {
    std::size_t hole = pos;
    for (std::size_t next = (hole + 1) & mask_;; next = (next + 1) & mask_) {
        const Slot& s = slots_[next];
        if (s.a == kFree)
            break;
        const std::size_t home = s.hash & mask_;
        // Move the entry into the hole unless its home lies cyclically in (hole, next].
        const bool homeBetween =
            hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
        if (!homeBetween) {
            slots_[hole] = s;
            hole = next;
        }
    }
    slots_[hole] = Slot{};
    --count_;
}

} // namespace detail

using detail::FlatIndex;

namespace {

std::string_view LineEndText(ProfileDocument::LineEnd end) {
    switch (end) {
    case ProfileDocument::LineEnd::CrLf:
        return "\r\n";
    case ProfileDocument::LineEnd::Lf:
        return "\n";
    case ProfileDocument::LineEnd::Cr:
        return "\r";
    case ProfileDocument::LineEnd::None:
        break;
    }
    return {};
}

inline std::uint32_t U32(std::size_t v) {
    return static_cast<std::uint32_t>(v);
}

} // namespace

ProfileDocument::Line ProfileDocument::Classify(std::string_view text, LineEnd end) {
    Line line;
    line.text = text;
    line.end = end;
    const char* const data = text.data();
    std::size_t b = 0, e = text.size();
    while (b < e && detail::IsProfileBlank(static_cast<unsigned char>(data[b])))
        ++b;
    while (e > b && detail::IsProfileBlank(static_cast<unsigned char>(data[e - 1])))
        --e;
    if (b == e) {
        line.kind = LineKind::Blank;
        return line;
    }
    if (data[b] == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    if (data[b] == '[') {
        const void* close = ::memrchr(data + b + 1, ']', e - b - 1);
        if (close != nullptr) {
            const std::size_t c = static_cast<const char*>(close) - data;
            std::size_t nb = b + 1, ne = c;
            while (nb < ne && detail::IsProfileBlank(static_cast<unsigned char>(data[nb])))
                ++nb;
            while (ne > nb && detail::IsProfileBlank(static_cast<unsigned char>(data[ne - 1])))
                --ne;
            line.kind = LineKind::Header;
            line.nameBegin = U32(nb);
            line.nameSize = U32(ne - nb);
            return line;
        }
    }
    const void* eq = std::memchr(data + b, '=', e - b);
    if (eq == nullptr) {
        // A key without a value: it reads as absent and is not listed, but it is the first
        // match of its name, so a write fills it in and a delete removes it.
        line.kind = LineKind::BareKey;
        line.nameBegin = U32(b);
        line.nameSize = U32(e - b);
        line.valueBegin = U32(e);
        return line;
    }
    const std::size_t q = static_cast<const char*>(eq) - data;
    std::size_t ke = q;
    while (ke > b && detail::IsProfileBlank(static_cast<unsigned char>(data[ke - 1])))
        --ke;
    std::size_t vb = q + 1;
    while (vb < e && detail::IsProfileBlank(static_cast<unsigned char>(data[vb])))
        ++vb;
    line.kind = LineKind::Entry;
    line.nameBegin = U32(b);
    line.nameSize = U32(ke - b);
    line.valueBegin = U32(vb);
    line.valueSize = U32(e - vb);
    return line;
}

std::shared_ptr<ProfileDocument> ProfileDocument::Parse(std::shared_ptr<const std::string> bytes) {
    auto doc = std::make_shared<ProfileDocument>();
    doc->source_ = bytes;
    DecodedFile decoded = DecodeFileBytes(*bytes);
    doc->encoding_ = decoded.encoding;
    doc->exact_ = decoded.exact;
    if (decoded.same)
        doc->base_ = std::move(bytes);
    else
        doc->base_ = std::make_shared<const std::string>(std::move(decoded.converted));
    const std::string_view text =
        std::string_view(*doc->base_).substr(decoded.same ? decoded.offset : 0);
    const std::size_t n = text.size();
    if (n > 0 && (std::memchr(text.data(), '\0', n) != nullptr || n >= kAddedBit)) {
        doc->state_ = State::NotText;
        doc->base_.reset();
        return doc;
    }
    doc->state_ = State::Text;
    doc->ParseText(text);
    return doc;
}

void ProfileDocument::ParseText(std::string_view text) {
    const std::size_t n = text.size();
    const char* const data = text.data();
    lines_.reserve(n / 48 + 4);

    // Each CR, LF or CR LF ends one line, so blank lines stay lines of their own and are
    // written back unchanged; for reading this equals ending a line at a run of them.
    const char* const end = data + n;
    const char* nextLf = n ? static_cast<const char*>(std::memchr(data, '\n', n)) : nullptr;
    const char* nextCr = n ? static_cast<const char*>(std::memchr(data, '\r', n)) : nullptr;
    bool firstEnd = true;
    const char* p = data;
    while (p < end) {
        if (nextLf != nullptr && nextLf < p)
            nextLf = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (nextCr != nullptr && nextCr < p)
            nextCr = static_cast<const char*>(std::memchr(p, '\r', end - p));
        const char* stop = end;
        if (nextLf != nullptr)
            stop = nextLf;
        if (nextCr != nullptr && nextCr < stop)
            stop = nextCr;
        LineEnd le = LineEnd::None;
        std::size_t endSize = 0;
        if (stop < end) {
            if (*stop == '\r') {
                if (stop + 1 < end && stop[1] == '\n') {
                    le = LineEnd::CrLf;
                    endSize = 2;
                } else {
                    le = LineEnd::Cr;
                    endSize = 1;
                }
            } else {
                le = LineEnd::Lf;
                endSize = 1;
            }
            if (firstEnd) {
                newLineEnd_ = le;
                firstEnd = false;
            }
        }
        Line line = Classify(std::string_view(p, static_cast<std::size_t>(stop - p)), le);
        if (line.kind == LineKind::Header) {
            Section& last = sections_.back();
            last.end = U32(lines_.size());
            Section next;
            next.name = line.Name();
            next.header = U32(lines_.size());
            next.begin = next.header + 1;
            sections_.push_back(std::move(next));
        }
        lines_.push_back(line);
        p = stop + endSize;
    }
    sections_.back().end = U32(lines_.size());
    for (Section& s : sections_) {
        s.insertAt = s.end;
        while (s.insertAt > s.begin && lines_[s.insertAt - 1].kind == LineKind::Blank)
            --s.insertAt;
    }
    BuildIndexes();
}

void ProfileDocument::BuildIndexes() {
    std::size_t entries = 0;
    for (const Line& line : lines_)
        entries += line.IsKey();
    keyIndex_.Reserve(entries);
    sectionIndex_.Reserve(sections_.size());
    // The index of a large dictionary does not fit the cache, and waiting for each slot in
    // turn cost more than the rest of the parse: keys are hashed a few places ahead of
    // their insert, with their slot fetched meanwhile (a small ring, no extra memory).
    struct Pending {
        std::uint32_t hash, section, line;
    };
    constexpr std::size_t kAhead = 16;
    std::array<Pending, kAhead> ring{};
    std::size_t queued = 0, done = 0;
    const auto insert = [&](const Pending& key) {
        const std::string_view name = lines_[key.line].Name();
        keyIndex_.InsertIfAbsent(key.hash, key.section, key.line, [&](const FlatIndex::Slot& slot) {
            return slot.a == key.section &&
                   detail::EqualsIgnoreAsciiCase(LineAt(slot.a, slot.b).Name(), name);
        });
    };
    for (std::size_t s = 1; s < sections_.size(); ++s) {
        IndexSection(U32(s));
        const Section& sec = sections_[s];
        for (std::uint32_t i = sec.begin; i < sec.end; ++i) {
            if (!lines_[i].IsKey())
                continue;
            if (queued - done == kAhead)
                insert(ring[done++ % kAhead]);
            const Pending key{KeyHash(s, lines_[i].Name()), U32(s), i};
            keyIndex_.Prefetch(key.hash);
            ring[queued++ % kAhead] = key;
        }
    }
    while (done < queued)
        insert(ring[done++ % kAhead]);
}

std::uint32_t ProfileDocument::KeyHash(std::size_t section, std::string_view key) {
    return static_cast<std::uint32_t>(
        detail::HashIgnoreAsciiCase(key) ^
        (static_cast<std::uint64_t>(section) * 0x9E3779B97F4A7C15ULL));
}

std::uint32_t ProfileDocument::SectionHash(std::string_view name) {
    return static_cast<std::uint32_t>(detail::HashIgnoreAsciiCase(name));
}

const ProfileDocument::Line& ProfileDocument::LineAt(std::uint32_t section,
                                                     std::uint32_t ref) const {
    if (ref & kAddedBit)
        return sections_[section].added[ref & ~kAddedBit];
    return lines_[ref];
}

ProfileDocument::Line& ProfileDocument::LineAt(std::uint32_t section, std::uint32_t ref) {
    if (ref & kAddedBit)
        return sections_[section].added[ref & ~kAddedBit];
    return lines_[ref];
}

void ProfileDocument::IndexKey(std::uint32_t section, std::uint32_t ref) {
    const std::string_view key = LineAt(section, ref).Name();
    keyIndex_.InsertIfAbsent(KeyHash(section, key), section, ref, [&](const FlatIndex::Slot& slot) {
        return slot.a == section &&
               detail::EqualsIgnoreAsciiCase(LineAt(slot.a, slot.b).Name(), key);
    });
}

void ProfileDocument::IndexSection(std::uint32_t section) {
    const std::string_view name = sections_[section].name;
    sectionIndex_.InsertIfAbsent(SectionHash(name), section, 0, [&](const FlatIndex::Slot& slot) {
        return detail::EqualsIgnoreAsciiCase(sections_[slot.a].name, name);
    });
}

std::size_t ProfileDocument::FindSection(std::string_view name) const {
    // The empty name is refused for writes and never listed, so it finds nothing either.
    if (name.empty() || sections_.size() < 2)
        return FlatIndex::kNone;
    const std::size_t pos = sectionIndex_.Find(SectionHash(name), [&](const FlatIndex::Slot& slot) {
        return detail::EqualsIgnoreAsciiCase(sections_[slot.a].name, name);
    });
    return pos == FlatIndex::kNone ? pos : static_cast<std::size_t>(sectionIndex_.At(pos).a);
}

std::size_t ProfileDocument::FindKeySlot(std::size_t section, std::string_view key) const {
    return keyIndex_.Find(KeyHash(section, key), [&](const FlatIndex::Slot& slot) {
        return slot.a == section &&
               detail::EqualsIgnoreAsciiCase(LineAt(slot.a, slot.b).Name(), key);
    });
}

std::optional<std::string_view> ProfileDocument::Find(std::string_view section,
                                                      std::string_view key) const {
    const auto entry = EntryRef(section, key);
    if (!entry)
        return std::nullopt;
    const Line& line = LineAt(U32(entry->first), entry->second);
    if (line.kind == LineKind::BareKey)
        return std::nullopt;
    return line.Value();
}

bool ProfileDocument::HasSection(std::string_view section) const {
    return FindSection(section) != FlatIndex::kNone;
}

bool ProfileDocument::HasKey(std::string_view section, std::string_view key) const {
    const std::size_t s = FindSection(section);
    return s != FlatIndex::kNone && FindKeySlot(s, key) != FlatIndex::kNone;
}

std::string_view ProfileDocument::Own(std::string text) {
    auto owned = std::make_shared<const std::string>(std::move(text));
    const std::string_view view(*owned);
    owned_.push_back(std::move(owned));
    return view;
}

bool ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::size_t s = FindSection(section);
    if (s == FlatIndex::kNone) {
        // A new section goes at the end of the file; its header line lives in lines_ after
        // every parsed line, and the section's body is made of added lines only.
        std::string header;
        header.reserve(section.size() + 2);
        header.append("[").append(section).append("]");
        lines_.push_back(Classify(Own(std::move(header)), newLineEnd_));
        Section next;
        next.name = lines_.back().Name();
        next.header = U32(lines_.size() - 1);
        next.begin = next.end = next.insertAt = U32(lines_.size());
        sections_.push_back(std::move(next));
        s = sections_.size() - 1;
        IndexSection(U32(s));
        source_.reset();
    }
    const std::size_t pos = FindKeySlot(s, key);
    if (pos != FlatIndex::kNone) {
        const FlatIndex::Slot slot = keyIndex_.At(pos);
        Line& line = LineAt(slot.a, slot.b);
        if (line.kind == LineKind::Entry && line.Value() == value)
            return false;
        source_.reset();
        // Keep the stored spelling of the key and the spacing around the value.
        std::string text;
        text.reserve(line.text.size() - line.valueSize + value.size() + 1);
        if (line.kind == LineKind::BareKey)
            text.append(line.text.substr(0, line.nameBegin + line.nameSize)).append("=");
        else
            text.append(line.text.substr(0, line.valueBegin));
        text.append(value).append(line.text.substr(line.valueBegin + line.valueSize));
        line = Classify(Own(std::move(text)), line.end);
        return true;
    }
    source_.reset();
    std::string text;
    text.reserve(key.size() + 1 + value.size());
    text.append(key).append("=").append(value);
    Section& sec = sections_[s];
    sec.added.push_back(Classify(Own(std::move(text)), newLineEnd_));
    IndexKey(U32(s), U32(sec.added.size() - 1) | kAddedBit);
    return true;
}

bool ProfileDocument::Delete(std::string_view section, std::string_view key) {
    const std::size_t s = FindSection(section);
    if (s == FlatIndex::kNone)
        return false;
    const std::size_t pos = FindKeySlot(s, key);
    if (pos == FlatIndex::kNone)
        return false;
    source_.reset();
    const FlatIndex::Slot slot = keyIndex_.At(pos);
    DropNotes(s, slot.b);
    LineAt(slot.a, slot.b).removed = true;
    keyIndex_.EraseAt(pos);
    // A later duplicate of the key becomes the first match now.
    const Section& sec = sections_[s];
    auto consider = [&](std::uint32_t ref) {
        const Line& line = LineAt(U32(s), ref);
        if (!line.removed && line.IsKey() && detail::EqualsIgnoreAsciiCase(line.Name(), key)) {
            IndexKey(U32(s), ref);
            return true;
        }
        return false;
    };
    for (std::uint32_t i = sec.begin; i < sec.insertAt; ++i)
        if (consider(i))
            return true;
    for (std::uint32_t i = 0; i < sec.added.size(); ++i)
        if (consider(i | kAddedBit))
            return true;
    for (std::uint32_t i = sec.insertAt; i < sec.end; ++i)
        if (consider(i))
            return true;
    return true;
}

bool ProfileDocument::Erase(std::string_view section) {
    const std::size_t s = FindSection(section);
    if (s == FlatIndex::kNone)
        return false;
    source_.reset();
    sections_[s].erased = true;
    const std::size_t pos = sectionIndex_.Find(
        SectionHash(sections_[s].name), [&](const FlatIndex::Slot& slot) { return slot.a == s; });
    sectionIndex_.EraseAt(pos);
    // The next section of the same name, if any, is the first match now.
    for (std::size_t t = s + 1; t < sections_.size(); ++t) {
        if (!sections_[t].erased &&
            detail::EqualsIgnoreAsciiCase(sections_[t].name, sections_[s].name)) {
            IndexSection(U32(t));
            break;
        }
    }
    return true;
}

std::string ProfileDocument::Serialize() const {
    std::string out;
    out.reserve((base_ ? base_->size() : 0) + 256);
    const std::string_view newLine = LineEndText(newLineEnd_);
    bool needEnd = false;
    auto emit = [&](const Line& line) {
        // Only the file's last line can lack its end; something follows it now.
        if (needEnd)
            out.append(newLine);
        out.append(line.text);
        out.append(LineEndText(line.end));
        needEnd = line.end == LineEnd::None;
    };
    for (std::size_t s = 0; s < sections_.size(); ++s) {
        const Section& sec = sections_[s];
        if (sec.erased)
            continue;
        if (sec.header != kNoLine)
            emit(lines_[sec.header]);
        if (addedNotes_.empty()) {
            ForEachLine(s, emit);
            continue;
        }
        ForEachLineRef(s, [&](const Line& line, std::uint32_t ref) {
            if (const auto notes = addedNotes_.find(NotesKey(s, ref)); notes != addedNotes_.end()) {
                if (needEnd)
                    out.append(newLine);
                out.append(notes->second);
                needEnd = false;
            }
            emit(line);
        });
    }
    return out;
}

namespace {
constexpr std::string_view kNoteMark = ";@";
}

bool ProfileDocument::IsNoteLine(const Line& line) {
    return line.kind == LineKind::Comment &&
           detail::TrimProfileBlanks(line.text).starts_with(kNoteMark);
}

std::string_view ProfileDocument::NoteText(const Line& line) {
    return detail::TrimProfileBlanks(line.text).substr(kNoteMark.size());
}

std::uint32_t ProfileDocument::PreviousRef(std::size_t s, std::uint32_t ref) const {
    const Section& sec = sections_[s];
    if (ref & kAddedBit) {
        const std::uint32_t i = ref & ~kAddedBit;
        if (i > 0)
            return (i - 1) | kAddedBit;
        return sec.insertAt > sec.begin ? sec.insertAt - 1 : kNoLine;
    }
    if (ref == sec.insertAt && !sec.added.empty())
        return U32(sec.added.size() - 1) | kAddedBit;
    return ref > sec.begin ? ref - 1 : kNoLine;
}

std::vector<std::uint32_t> ProfileDocument::NoteRunAbove(std::size_t s, std::uint32_t ref) const {
    std::vector<std::uint32_t> run;
    for (std::uint32_t at = PreviousRef(s, ref); at != kNoLine; at = PreviousRef(s, at)) {
        const Line& line = LineAt(U32(s), at);
        if (line.removed)
            continue;
        if (!IsNoteLine(line))
            break;
        run.push_back(at);
    }
    std::reverse(run.begin(), run.end());
    return run;
}

void ProfileDocument::AppendAddedNotes(std::size_t s, std::uint32_t ref,
                                       std::vector<std::string_view>& notes) const {
    if (addedNotes_.empty())
        return;
    const auto found = addedNotes_.find(NotesKey(s, ref));
    if (found == addedNotes_.end())
        return;
    std::string_view text = found->second;
    const std::string_view newLine = LineEndText(newLineEnd_);
    while (!text.empty()) {
        const std::size_t end = text.find(newLine);
        notes.push_back(text.substr(kNoteMark.size(), end - kNoteMark.size()));
        text.remove_prefix(std::min(text.size(), end + newLine.size()));
    }
}

std::optional<std::pair<std::size_t, std::uint32_t>>
ProfileDocument::EntryRef(std::string_view section, std::string_view key) const {
    const std::size_t s = FindSection(section);
    if (s == FlatIndex::kNone)
        return std::nullopt;
    const std::size_t pos = FindKeySlot(s, key);
    if (pos == FlatIndex::kNone)
        return std::nullopt;
    return std::pair{s, keyIndex_.At(pos).b};
}

std::vector<std::string_view> ProfileDocument::Notes(std::string_view section,
                                                     std::string_view key) const {
    std::vector<std::string_view> notes;
    const auto entry = EntryRef(section, key);
    if (!entry)
        return notes;
    const auto [s, ref] = *entry;
    for (const std::uint32_t at : NoteRunAbove(s, ref))
        notes.push_back(NoteText(LineAt(U32(s), at)));
    AppendAddedNotes(s, ref, notes);
    return notes;
}

void ProfileDocument::DropNotes(std::size_t s, std::uint32_t ref) {
    for (const std::uint32_t at : NoteRunAbove(s, ref))
        LineAt(U32(s), at).removed = true;
    addedNotes_.erase(NotesKey(s, ref));
}

bool ProfileDocument::SetNotes(std::string_view section, std::string_view key,
                               const std::vector<std::string>& notes) {
    const auto entry = EntryRef(section, key);
    if (!entry)
        return false;
    const auto [s, ref] = *entry;
    const std::vector<std::string_view> current = Notes(section, key);
    if (std::equal(current.begin(), current.end(), notes.begin(), notes.end()))
        return false;
    source_.reset();
    DropNotes(s, ref);
    if (notes.empty())
        return true;
    const std::string_view newLine = LineEndText(newLineEnd_);
    std::string text;
    for (const std::string& note : notes)
        text.append(kNoteMark).append(note).append(newLine);
    addedNotes_[NotesKey(s, ref)] = Own(std::move(text));
    return true;
}

std::optional<std::string> ProfileDocument::Encode() const {
    return EncodeFileText(Serialize(), encoding_); // the text itself when it needs no change
}

std::size_t ProfileDocument::MemoryBytes() const {
    std::size_t bytes = sizeof(*this) + lines_.capacity() * sizeof(Line) +
                        sections_.capacity() * sizeof(Section) + sectionIndex_.MemoryBytes() +
                        keyIndex_.MemoryBytes();
    if (base_)
        bytes += base_->size();
    if (source_ && source_ != base_)
        bytes += source_->size();
    for (const auto& text : owned_)
        bytes += text->size() + sizeof(std::string) + 32;
    for (const Section& sec : sections_)
        bytes += sec.added.capacity() * sizeof(Line);
    return bytes;
}

} // namespace tavrel

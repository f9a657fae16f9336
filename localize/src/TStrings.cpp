#include "tavrel/localize/TStrings.h"

#include "tavrel/localize/Exception.h"
#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace tavrel {

bool SameText(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b))
        return EqualsIgnoringAsciiCase(a, b);
    const auto ua =
        icu::UnicodeString::fromUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())));
    const auto ub =
        icu::UnicodeString::fromUTF8(icu::StringPiece(b.data(), static_cast<int32_t>(b.size())));
    return ua.caseCompare(ub, U_FOLD_CASE_DEFAULT) == 0;
}

const TClassInfo& TStrings::StaticClassInfo() {
    static const TClassInfo info("TStrings", &TPersistent::StaticClassInfo());
    return info;
}

const TClassInfo& TStringList::StaticClassInfo() {
    static const TClassInfo info("TStringList", &TStrings::StaticClassInfo());
    return info;
}

const std::string& TStrings::Strings(int index) const {
    if (index < 0 || index >= Count())
        throw EListError::IndexOutOfBounds(index);
    return lines_[static_cast<std::size_t>(index)];
}

TStrings& TStrings::operator=(const TStrings& other) {
    if (this != &other) {
        lines_ = other.lines_;
        Changed();
    }
    return *this;
}

void TStrings::Changed() {
    // A copy: the handler may replace itself.
    if (OnChange) {
        const auto handler = OnChange;
        handler();
    }
}

void TStrings::SetStrings(int index, std::string line) {
    if (index < 0 || index >= Count())
        throw EListError::IndexOutOfBounds(index);
    lines_[static_cast<std::size_t>(index)] = std::move(line);
    Changed();
}

void TStrings::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    Changed();
}

int TStrings::Add(std::string line) {
    lines_.push_back(std::move(line));
    const int index = Count() - 1;
    Changed();
    return index;
}

void TStrings::Insert(int index, std::string line) {
    if (index < 0 || index > Count())
        throw EListError::IndexOutOfBounds(index);
    lines_.insert(lines_.begin() + index, std::move(line));
    Changed();
}

void TStrings::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EListError::IndexOutOfBounds(index);
    lines_.erase(lines_.begin() + index);
    Changed();
}

void TStrings::Clear() {
    lines_.clear();
    Changed();
}

std::string TStrings::CommaText() const {
    return CommaTextFromLines(lines_);
}

void TStrings::SetCommaText(std::string_view text) {
    lines_ = LinesFromCommaText(text);
    Changed();
}

int TStrings::IndexOf(std::string_view text) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (SameLine(lines_[i], text))
            return static_cast<int>(i);
    }
    return -1;
}

bool TStrings::SameLine(std::string_view a, std::string_view b) const {
    return SameText(a, b);
}

bool TStringList::SameLine(std::string_view a, std::string_view b) const {
    return caseSensitive_ ? a == b : SameText(a, b);
}

} // namespace tavrel

#include "tavrel/localize/TLanguageList.h"

#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <unicode/ucol.h>
#include <unicode/uloc.h>

namespace tavrel {

namespace {

int ByteCompare(std::string_view a, std::string_view b) {
    return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
}

} // namespace

// ICU collator for the user's locale at secondary strength: accents count, case does not.
struct TLanguageList::Collator {
    UCollator* handle = nullptr;
    Collator() {
        UErrorCode status = U_ZERO_ERROR;
        // The user's locale; the "C"/"POSIX" locale (en_US_POSIX to ICU) orders by code
        // point and case, which is no language's order: use the root collation then.
        const std::string_view user = uloc_getDefault();
        const bool posix = user.find("POSIX") != std::string_view::npos;
        handle = ucol_open(posix ? "" : nullptr, &status);
        if (U_FAILURE(status)) {
            handle = nullptr;
            return;
        }
        ucol_setStrength(handle, UCOL_SECONDARY);
    }
    ~Collator() {
        if (handle)
            ucol_close(handle);
    }
};

TLanguageList::TLanguageList() : collator_(std::make_unique<Collator>()) {}
TLanguageList::~TLanguageList() = default;

const std::string& TLanguageList::Strings(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return names_[static_cast<std::size_t>(index)];
}

int TLanguageList::Compare(std::string_view a, std::string_view b) const {
    if (!collator_->handle)
        return ByteCompare(a, b);
    const auto wa = Utf16FromUtf8(a);
    const auto wb = Utf16FromUtf8(b);
    const auto r =
        ucol_strcoll(collator_->handle, reinterpret_cast<const UChar*>(wa.data()),
                     static_cast<int32_t>(wa.size()), reinterpret_cast<const UChar*>(wb.data()),
                     static_cast<int32_t>(wb.size()));
    return r == UCOL_LESS ? -1 : r == UCOL_EQUAL ? 0 : 1;
}

void TLanguageList::Add(const std::string& name) {
    auto it = std::lower_bound(
        names_.begin(), names_.end(), name,
        [this](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
    if (it != names_.end() && Compare(*it, name) == 0)
        return;
    names_.insert(it, name);
}

int TLanguageList::IndexOf(std::string_view name) const {
    auto it = std::lower_bound(
        names_.begin(), names_.end(), name,
        [this](const std::string& a, std::string_view b) { return Compare(a, b) < 0; });
    if (it != names_.end() && Compare(*it, name) == 0)
        return static_cast<int>(it - names_.begin());
    return -1;
}

} // namespace tavrel

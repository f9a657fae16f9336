#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// The language catalogue: a sorted list of names, duplicates ignored, ordered and searched
// with the user's locale-aware comparison that ignores letter case (accented names sort
// beside their base letter).
class TLanguageList {
public:
    TLanguageList();
    ~TLanguageList();
    TLanguageList(const TLanguageList&) = delete;
    TLanguageList& operator=(const TLanguageList&) = delete;

    int Count() const { return static_cast<int>(names_.size()); }
    const std::string& Strings(int index) const;
    const std::vector<std::string>& Names() const { return names_; }
    void Clear() { names_.clear(); }
    // Inserts in sorted order; a name that compares equal to one present is ignored.
    void Add(const std::string& name);
    // Index of the name comparing equal, or -1.
    int IndexOf(std::string_view name) const;
    // <0, 0, >0 like strcmp, in the catalogue's order.
    int Compare(std::string_view a, std::string_view b) const;

private:
    struct Collator;
    std::unique_ptr<Collator> collator_;
    std::vector<std::string> names_;
};

} // namespace tavrel

#pragma once

#include "tavrel/localize/TPersistent.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

// A list of text lines. It publishes no property; reflection reaches its lines as a whole
// through the comma-text (the pseudo-property "Text" of property paths). Look-ups ignore
// letter case (Windows-1252 letters included) unless a descendant decides otherwise.
class TStrings : public TPersistent {
    TAVREL_CLASS(TStrings)
public:
    TStrings() = default;
    explicit TStrings(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    TStrings(std::initializer_list<std::string> lines) : lines_(lines) {}
    // A copy takes the lines only: the change handler belongs to the original's owner.
    TStrings(const TStrings& other) : TPersistent(other), lines_(other.lines_) {}
    TStrings& operator=(const TStrings& other);

    int Count() const { return static_cast<int>(lines_.size()); }
    // Both throw EListError for an index outside 0..Count()-1.
    const std::string& Strings(int index) const;
    void SetStrings(int index, std::string line);
    const std::vector<std::string>& Lines() const { return lines_; }
    void SetLines(std::vector<std::string> lines);

    // Returns the new line's index.
    int Add(std::string line);
    // `index` may equal Count() (append); otherwise throws EListError.
    void Insert(int index, std::string line);
    void Delete(int index);
    void Clear();

    // All lines as one comma-text; setting replaces every line by the parsed items.
    std::string CommaText() const;
    void SetCommaText(std::string_view text);

    // Index of the first line equal to `text` under this list's comparison, or -1.
    virtual int IndexOf(std::string_view text) const;

    // Called after every change of the lines (also when a change leaves them equal), so
    // that a list mirroring another object's lines can write them through. Reading never
    // calls it.
    std::function<void()> OnChange;

protected:
    virtual bool SameLine(std::string_view a, std::string_view b) const;

private:
    void Changed();
    std::vector<std::string> lines_;
};

// The concrete list components and applications create. CaseSensitive (false by default)
// chooses the comparison of IndexOf.
class TStringList : public TStrings {
    TAVREL_CLASS(TStringList)
public:
    using TStrings::TStrings;

    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool caseSensitive) { caseSensitive_ = caseSensitive; }

protected:
    bool SameLine(std::string_view a, std::string_view b) const override;

private:
    bool caseSensitive_ = false;
};

// Equality of two UTF-8 texts ignoring letter case (Unicode case folding: "É" equals "é",
// "Ж" equals "ж").
bool SameText(std::string_view a, std::string_view b);

} // namespace tavrel

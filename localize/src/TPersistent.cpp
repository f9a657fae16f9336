#include "tavrel/localize/TPersistent.h"

#include <algorithm>
#include <stdexcept>

namespace tavrel {

namespace {

constexpr unsigned char Folded(char c) {
    return static_cast<unsigned char>(static_cast<unsigned char>(c) & ~0x20u);
}

} // namespace

bool SamePropName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Folded(a[i]) != Folded(b[i]))
            return false;
    }
    return true;
}

bool PropNameLess(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Folded(a[i]);
        const unsigned char y = Folded(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

TClassInfo::TClassInfo(std::string name, const TClassInfo* parent, bool published)
    : name_(std::move(name)), parent_(parent), published_(published) {}

TClassInfo::TClassInfo(std::string name, const TClassInfo* parent,
                       std::initializer_list<TPropInfo> props)
    : TClassInfo(std::move(name), parent, true) {
    for (const TPropInfo& prop : props)
        Add(prop);
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c != nullptr; c = c->parent_) {
        if (c == &other)
            return true;
    }
    return false;
}

TClassInfo& TClassInfo::Add(TPropInfo prop) {
    if (!published_)
        throw std::logic_error("class " + name_ + " carries no published properties");
    if (sealed_.load())
        throw std::logic_error("the properties of class " + name_ + " are already in use");
    if (prop.Name.empty() || prop.Name.size() > kMaxShortString)
        throw std::invalid_argument("invalid property name '" + prop.Name + "' in class " + name_);
    auto same = std::find_if(own_.begin(), own_.end(),
                             [&](const auto& p) { return SamePropName(p->Name, prop.Name); });
    if (same != own_.end())
        **same = std::move(prop);
    else
        own_.push_back(std::make_unique<TPropInfo>(std::move(prop)));
    return *this;
}

void TClassInfo::Build() const {
    sealed_.store(true);
    if (!published_)
        return;
    std::vector<const TPropInfo*> all;
    if (parent_ != nullptr)
        all = parent_->Properties();
    for (const auto& own : own_) {
        auto inherited = std::find_if(all.begin(), all.end(), [&](const TPropInfo* p) {
            return SamePropName(p->Name, own->Name);
        });
        if (inherited != all.end())
            *inherited = own.get();
        else
            all.push_back(own.get());
    }
    // Names are unique under SamePropName, which is exactly the equivalence of this
    // order, so the sorted list also serves binary search in Find().
    std::sort(all.begin(), all.end(), [](const TPropInfo* a, const TPropInfo* b) {
        return PropNameLess(a->Name, b->Name);
    });
    all_ = std::move(all);
}

const std::vector<const TPropInfo*>& TClassInfo::Properties() const {
    std::call_once(built_, [this] { Build(); });
    return all_;
}

const TPropInfo* TClassInfo::Find(std::string_view name) const {
    const auto& all = Properties();
    auto it =
        std::lower_bound(all.begin(), all.end(), name, [](const TPropInfo* p, std::string_view n) {
            return PropNameLess(p->Name, n);
        });
    if (it != all.end() && SamePropName((*it)->Name, name))
        return *it;
    return nullptr;
}

const TClassInfo& TPersistent::StaticClassInfo() {
    static const TClassInfo info("TPersistent", nullptr);
    return info;
}

} // namespace tavrel

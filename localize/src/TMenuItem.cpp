#include "tavrel/localize/TMenuItem.h"

#include "tavrel/localize/Exception.h"

#include <algorithm>

namespace tavrel {

const TClassInfo& TMenuItem::StaticClassInfo() {
    static const TClassInfo info(
        "TMenuItem", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption),
         StringProp("Hint", &TMenuItem::Hint, &TMenuItem::SetHint)});
    return info;
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
    if (parent_ != nullptr)
        parent_->Remove(this);
    // Nobody may listen to an item that is going away.
    listeners_.clear();
    while (!items_.empty()) {
        TMenuItem* child = items_.back();
        items_.pop_back();
        child->parent_ = nullptr;
        delete child;
    }
}

void TMenuItem::SetCaption(const std::string& caption) {
    if (caption == caption_)
        return;
    caption_ = caption;
    Changed();
}

void TMenuItem::SetHint(const std::string& hint) {
    hint_ = hint;
}

void TMenuItem::Click() {
    // A copy, because the handler may destroy this item and with it OnClick.
    TNotifyEvent handler = OnClick;
    if (handler)
        handler(this);
}

void TMenuItem::SetBitmap(std::unique_ptr<IPicture> bitmap) {
    bitmap_ = std::move(bitmap);
    Changed();
}

TMenuItem* TMenuItem::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError::IndexOutOfBounds(index);
    return items_[static_cast<std::size_t>(index)];
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Add(TMenuItem* item) {
    if (item == nullptr || item->parent_ == this)
        return;
    // A cycle would make every walk over the sub-items endless.
    for (const TMenuItem* p = this; p != nullptr; p = p->parent_) {
        if (p == item)
            throw Exception("A menu item cannot be added below itself");
    }
    if (item->parent_ != nullptr)
        item->parent_->Remove(item);
    items_.push_back(item);
    item->parent_ = this;
    Changed();
}

void TMenuItem::Remove(TMenuItem* item) {
    if (item == nullptr || item->parent_ != this)
        return;
    items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
    item->parent_ = nullptr;
    Changed();
}

void TMenuItem::Clear() {
    if (items_.empty())
        return;
    UpdateScope batch(*this);
    // Each destructor detaches its item from this list.
    while (!items_.empty())
        delete items_.back();
}

int TMenuItem::AddChangeListener(ChangeListener listener) {
    const int id = nextListener_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void TMenuItem::RemoveChangeListener(int id) {
    listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                    [id](const auto& l) { return l.first == id; }),
                     listeners_.end());
}

void TMenuItem::BeginUpdate() {
    ++updateCount_;
}

void TMenuItem::EndUpdate() {
    if (updateCount_ == 0 || --updateCount_ > 0 || !changedInUpdate_)
        return;
    changedInUpdate_ = false;
    Changed();
}

void TMenuItem::Changed() {
    if (updateCount_ > 0) {
        changedInUpdate_ = true;
        return;
    }
    // Listeners may add, remove or destroy while being called: walk a snapshot of the ids,
    // call only those still registered, and stop as soon as this item is gone.
    const std::weak_ptr<int> alive = alive_;
    std::vector<int> ids;
    ids.reserve(listeners_.size());
    for (const auto& l : listeners_)
        ids.push_back(l.first);
    for (int id : ids) {
        auto it = std::find_if(listeners_.begin(), listeners_.end(),
                               [id](const auto& l) { return l.first == id; });
        if (it == listeners_.end())
            continue;
        ChangeListener listener = it->second;
        listener(*this);
        if (alive.expired())
            return;
    }
    if (parent_ != nullptr)
        parent_->Changed();
}

std::vector<std::string> TMenuItem::MenuNames() const {
    if (parent_ == nullptr || parent_->Name().empty())
        return {};
    return {parent_->Name()};
}

} // namespace tavrel

#include "tavrel/localize/TComponent.h"

#include "tavrel/localize/Exception.h"

#include <algorithm>

namespace tavrel {

namespace {

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameAsciiText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiUpper(x) == AsciiUpper(y);
           });
}

void Erase(std::vector<TComponent*>& list, TComponent* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

const TClassInfo& TComponent::StaticClassInfo() {
    static const TClassInfo info(
        "TComponent", &TPersistent::StaticClassInfo(),
        {StringProp("Name", &TComponent::Name, &TComponent::SetName), OtherProp("Tag")});
    return info;
}

TComponent::TComponent(TComponent* owner) {
    if (owner != nullptr)
        owner->InsertComponent(this);
}

TComponent::~TComponent() {
    while (!freeNotifies_.empty()) {
        TComponent* partner = freeNotifies_.back();
        freeNotifies_.pop_back();
        Erase(partner->freeNotifies_, this);
        partner->Notification(this, TOperation::Remove);
    }
    // The last created goes first; each leaves the list before it is destroyed so that
    // its own destructor does not come back to this half-destroyed owner.
    while (!components_.empty()) {
        TComponent* child = components_.back();
        components_.pop_back();
        child->owner_ = nullptr;
        delete child;
    }
    if (owner_ != nullptr)
        owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount())
        throw EListError::IndexOutOfBounds(index);
    return components_[static_cast<std::size_t>(index)];
}

int TComponent::ComponentIndex() const {
    if (owner_ == nullptr)
        return -1;
    const auto& list = owner_->components_;
    return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty())
        return nullptr;
    for (TComponent* c : components_) {
        if (SameAsciiText(c->name_, name))
            return c;
    }
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    if (component == nullptr || component->owner_ == this)
        return;
    for (const TComponent* c = this; c != nullptr; c = c->owner_) {
        if (c == component)
            throw Exception("A component cannot own itself");
    }
    if (component->owner_ != nullptr)
        component->owner_->RemoveComponent(component);
    components_.push_back(component);
    component->owner_ = this;
    Notification(component, TOperation::Insert);
}

void TComponent::RemoveComponent(TComponent* component) {
    if (component == nullptr || component->owner_ != this)
        return;
    Erase(components_, component);
    component->owner_ = nullptr;
    Notification(component, TOperation::Remove);
}

void TComponent::Loaded() {
    loading_ = false;
}

void TComponent::FreeNotification(TComponent* subscriber) {
    if (subscriber == nullptr || subscriber == this)
        return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), subscriber) == freeNotifies_.end())
        freeNotifies_.push_back(subscriber);
    auto& back = subscriber->freeNotifies_;
    if (std::find(back.begin(), back.end(), this) == back.end())
        back.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* subscriber) {
    if (subscriber == nullptr)
        return;
    Erase(freeNotifies_, subscriber);
    Erase(subscriber->freeNotifies_, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

} // namespace tavrel

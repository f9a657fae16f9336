#pragma once

#include "tavrel/localize/TPersistent.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

enum class TOperation { Insert, Remove };

// A component owns the components created with it as owner and destroys them with itself,
// the last created first. Owned components must be heap-allocated; one deleted directly
// leaves its owner's list. Other components can ask to be told when it is destroyed (free
// notification). Published: Name (long string), Tag (other).
class TComponent : public TPersistent {
    TAVREL_CLASS(TComponent)
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    std::int32_t Tag() const { return tag_; }
    void SetTag(std::int32_t tag) { tag_ = tag; }

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    // Throws EListError for an index outside 0..ComponentCount()-1.
    TComponent* Components(int index) const;
    // Position in the owner's list, -1 without owner.
    int ComponentIndex() const;
    // Owned component by name, ignoring ASCII case; nullptr for the empty name.
    TComponent* FindComponent(std::string_view name) const;
    // Takes `component` over from its current owner, if any.
    void InsertComponent(TComponent* component);
    // Gives up ownership of `component` without destroying it; the caller then owns it.
    void RemoveComponent(TComponent* component);

    // The menus this component is an item of, by name, so that a translator's check can
    // find two items of one menu sharing an accelerator; none by default.
    virtual std::vector<std::string> MenuNames() const { return {}; }

    // Loading covers the application of stored settings while the owner is created.
    bool IsLoading() const { return loading_; }
    bool IsDesigning() const { return designing_; }
    void SetLoading() { loading_ = true; }
    void SetDesigning(bool designing) { designing_ = designing; }
    // Called once after the stored settings were applied; clears the loading state.
    virtual void Loaded();

    // `subscriber` gets Notification(this, Remove) when this component is destroyed, and
    // this component hears of the subscriber's destruction the same way, so neither keeps
    // a dangling pointer. The component being destroyed may only be compared, not used.
    void FreeNotification(TComponent* subscriber);
    void RemoveFreeNotification(TComponent* subscriber);

protected:
    // Told of components inserted into or removed from this one's list, and of the
    // destruction of free-notification partners.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    std::string name_;
    std::int32_t tag_ = 0;
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    bool loading_ = false;
    bool designing_ = false;
};

} // namespace tavrel

#pragma once

#include "tavrel/localize/TPersistent.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

enum class TOperation { Insert, Remove };

// A component owns the components created with it as owner and destroys them with itself.
// Other components can ask to be told when it is destroyed (free notification).
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
    TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
    // Owned component by name, ignoring ASCII case; nullptr for the empty name.
    TComponent* FindComponent(std::string_view name) const;
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    // Loading covers the application of stored settings while the owner is created.
    bool IsLoading() const { return loading_; }
    bool IsDesigning() const { return designing_; }
    void SetLoading() { loading_ = true; }
    void SetDesigning(bool designing) { designing_ = designing; }
    // Called once after the stored settings were applied; clears the loading state.
    virtual void Loaded();

    // `subscriber` gets Notification(this, Remove) when this component is destroyed.
    void FreeNotification(TComponent* subscriber);
    void RemoveFreeNotification(TComponent* subscriber);

protected:
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

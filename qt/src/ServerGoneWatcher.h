#pragma once

// Private to the Qt layer: hears of a server's destruction, which the server announces to
// the components that asked for a free notification.

#include "tavrel/localize/TComponent.h"

#include <functional>
#include <utility>

namespace tavrel {

class ServerGoneWatcher : public TComponent {
public:
    ServerGoneWatcher(const TComponent& server, std::function<void()> gone)
        : server_(&server), gone_(std::move(gone)) {}

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == TOperation::Remove && component == server_)
            gone_();
    }

private:
    const TComponent* server_;
    std::function<void()> gone_;
};

} // namespace tavrel

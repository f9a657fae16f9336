// A widget tree as a client of the localization server: one component per QObject of the
// tree, kept in step with the live tree through an event filter on every object.

#include "QtWindowFollower.h"
#include "tavrel/localize/OVKPropUtils.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridge.h"

#include <algorithm>
#include <memory>
#include <QChildEvent>
#include <QCoreApplication>
#include <QDynamicPropertyChangeEvent>
#include <QEvent>
#include <QTimer>
#include <utility>

namespace tavrel {

namespace {

// Clients alive, so that registering a widget again replaces its earlier client.
std::vector<QtLocalizeClient*>& LiveClients() {
    static std::vector<QtLocalizeClient*> clients;
    return clients;
}

std::string CoreName(const QString& name) {
    return QtObjectComponent::CoreText(name).value_or(std::string());
}

// The path segment of a component: its name, or its Qt class and position without one.
std::string Segment(const TComponent& component) {
    if (!component.Name().empty())
        return component.Name();
    const auto* mirror = dynamic_cast<const QtObjectComponent*>(&component);
    const QObject* object = mirror ? mirror->Object() : nullptr;
    const std::string cls = object ? object->metaObject()->className() : "QObject";
    return cls + "[" + std::to_string(std::max(component.ComponentIndex(), 0)) + "]";
}

// The same walk as the engine's: the component's own texts unless it is excluded, then
// the components it owns, depth first.
void CollectTexts(TComponent& component, const std::string& path, const TStrings* exclusions,
                  std::vector<QtClientText>& texts) {
    if (exclusions == nullptr || exclusions->IndexOf(component.Name()) < 0) {
        if (const auto tree = BuildPropertyTree(component)) {
            for (const std::string& property : PropertyPaths(*tree)) {
                const auto dot = property.rfind('.');
                if (!IsTranslatablePropertyName(
                        dot == std::string::npos ? property : property.substr(dot + 1)))
                    continue;
                std::string text;
                if (GetPropertyText(&component, property, text) && !text.empty())
                    texts.push_back({path + "." + property, std::move(text)});
            }
        }
    }
    const int count = component.ComponentCount();
    for (int i = 0; i < count; ++i) {
        TComponent& child = *component.Components(i);
        CollectTexts(child, path + "." + Segment(child), exclusions, texts);
    }
}

void DetachAll(QtObjectComponent& component) {
    component.Detach();
    for (int i = 0; i < component.ComponentCount(); ++i) {
        if (auto* child = dynamic_cast<QtObjectComponent*>(component.Components(i)))
            DetachAll(*child);
    }
}

// Frees components the engine or a push of held texts may still be using once no write
// into a widget is running any more.
void DeleteWhenIdle(TComponent* component) {
    QTimer::singleShot(0, QCoreApplication::instance(), [component] {
        if (QtObjectComponent::Writing())
            DeleteWhenIdle(component);
        else
            delete component;
    });
}

// Writes what the engine changed during a switch into the widgets. Takes the state by
// value: a write may run application code that destroys the client, whose components
// then stay (detached) until no write runs.
void PushChanged(std::shared_ptr<QtSwitchState> state) {
    const std::vector<QtObjectComponent*> changed = std::exchange(state->Changed, {});
    const QtObjectComponent::WriteScope writing;
    for (QtObjectComponent* component : changed)
        component->PushHeld();
}

// The top-most detached components below `component`.
void CollectDetached(TComponent& component, std::vector<TComponent*>& out) {
    for (int i = 0; i < component.ComponentCount(); ++i) {
        auto* child = component.Components(i);
        auto* mirror = dynamic_cast<QtObjectComponent*>(child);
        if (mirror && mirror->Detached())
            out.push_back(child);
        else
            CollectDetached(*child, out);
    }
}

} // namespace

// Hears of the server's destruction (the server tells its clients' roots nothing then).
class QtLocalizeClient::ServerWatcher : public TComponent {
public:
    explicit ServerWatcher(QtLocalizeClient& client) : client_(client) {}

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == TOperation::Remove && component == client_.server_)
            client_.ServerDestroyed();
    }

private:
    QtLocalizeClient& client_;
};

QtLocalizeClient::QtLocalizeClient(TOvkLocalizeServer& server, QWidget& root,
                                   std::vector<std::string> exclusions)
    : server_(&server), root_(&root), watcher_(std::make_unique<ServerWatcher>(*this)),
      switchState_(std::make_shared<QtSwitchState>()) {
    if (!exclusions.empty())
        exclusions_ = std::make_unique<TStringList>(exclusions);
    rootComponent_.reset(Track(root, nullptr, false));
    connect(&root, &QObject::destroyed, this, [this] { delete this; });
    server.FreeNotification(watcher_.get());
    server.AddClient(*rootComponent_, std::move(exclusions));
    // The server may still call a copy of the listener after a write during its End phase
    // destroyed this client.
    switchListener_ = server.AddSwitchListener(
        [self = QPointer<QtLocalizeClient>(this)](TOvkLocalizeServer::TSwitchPhase phase) {
            if (self.isNull())
                return;
            if (phase == TOvkLocalizeServer::TSwitchPhase::Begin)
                self->SwitchBegins();
            else
                self->SwitchEnds();
        });
    LiveClients().push_back(this);
}

QtLocalizeClient::~QtLocalizeClient() {
    std::erase(LiveClients(), this);
    for (auto it = index_.cbegin(); it != index_.cend(); ++it) {
        if (QObject* object = it.value()->Object(); object == it.key())
            object->removeEventFilter(this);
    }
    if (server_ != nullptr) {
        server_->RemoveSwitchListener(switchListener_);
        server_->RemoveFreeNotification(watcher_.get());
        server_->RemoveClient(*rootComponent_);
    }
    if (QtObjectComponent::Writing() || switchState_->Holding) {
        // Destroyed by application code running inside a text write or a switch: the
        // engine or the push is still using these components, so they are freed later.
        DetachAll(*rootComponent_);
        DeleteWhenIdle(rootComponent_.release());
    }
}

QtObjectComponent* QtLocalizeClient::ComponentOf(const QObject* object) const {
    return Find(object);
}

QtObjectComponent* QtLocalizeClient::Find(const QObject* object) const {
    QtObjectComponent* component = index_.value(object, nullptr);
    // An entry may outlive its object (children destroyed with their parent announce
    // nothing); a new object at the same address is not that entry's.
    return component != nullptr && component->Object() == object ? component : nullptr;
}

QtObjectComponent* QtLocalizeClient::Track(QObject& object, TComponent* owner, bool fresh) {
    auto* component = new QtObjectComponent(object, owner, switchState_);
    index_.insert(&object, component);
    if (fresh)
        fresh_.insert(&object);
    object.installEventFilter(this);
    connect(&object, &QObject::objectNameChanged, this, [this, key = &object](const QString& name) {
        if (QtObjectComponent* c = Find(key))
            c->SetName(CoreName(name));
    });
    for (QObject* child : object.children())
        Track(*child, component, fresh);
    return component;
}

void QtLocalizeClient::Untrack(QtObjectComponent& component) {
    for (int i = 0; i < component.ComponentCount(); ++i) {
        if (auto* child = dynamic_cast<QtObjectComponent*>(component.Components(i)))
            Untrack(*child);
    }
    if (QObject* object = component.Object()) {
        object->removeEventFilter(this);
        disconnect(object, nullptr, this, nullptr);
    }
    if (auto it = index_.find(component.Key()); it != index_.end() && it.value() == &component) {
        index_.erase(it);
        fresh_.remove(component.Key());
    }
    component.Detach();
}

void QtLocalizeClient::Dispose(QtObjectComponent* component) {
    // During a write the engine may be inside this very component: it stays in place,
    // detached (it has no texts any more), until the switch is over.
    if (QtObjectComponent::Writing() || switchState_->Holding) {
        SchedulePurge();
        return;
    }
    delete component;
}

void QtLocalizeClient::SchedulePurge() {
    if (purgeScheduled_)
        return;
    purgeScheduled_ = true;
    QTimer::singleShot(0, this, &QtLocalizeClient::Purge);
}

void QtLocalizeClient::Purge() {
    purgeScheduled_ = false;
    if (QtObjectComponent::Writing() || switchState_->Holding) {
        SchedulePurge();
        return;
    }
    std::vector<TComponent*> detached;
    CollectDetached(*rootComponent_, detached);
    for (TComponent* component : detached)
        delete component;
}

void QtLocalizeClient::ServerDestroyed() {
    server_ = nullptr;
}

void QtLocalizeClient::SwitchBegins() {
    switchState_->Holding = true;
    ++switchState_->Switch;
}

void QtLocalizeClient::SwitchEnds() {
    if (!switchState_->Holding)
        return;
    switchState_->Holding = false;
    // The switch went over every object, those made since the last one included.
    fresh_.clear();
    PushChanged(switchState_);
}

void QtLocalizeClient::Shown(QObject& object) {
    // An object made since the last switch still shows the texts it was made with: when
    // the first of its tree is shown, the whole new tree is translated, once.
    if (!fresh_.contains(&object) || switchState_->Holding || QtObjectComponent::Writing())
        return;
    QtObjectComponent* top = Find(&object);
    while (top != nullptr) {
        auto* owner = dynamic_cast<QtObjectComponent*>(top->Owner());
        if (owner == nullptr || !fresh_.contains(owner->Key()))
            break;
        top = owner;
    }
    if (top != nullptr && top->Object() != nullptr)
        LocalizeNew(*top->Object());
}

void QtLocalizeClient::Forget(const QtObjectComponent& component) {
    fresh_.remove(component.Key());
    for (int i = 0; i < component.ComponentCount(); ++i) {
        if (auto* child = dynamic_cast<QtObjectComponent*>(component.Components(i)))
            Forget(*child);
    }
}

bool QtLocalizeClient::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded: {
        // The child may still be under construction: only its QObject part is used here.
        QObject* child = static_cast<QChildEvent*>(event)->child();
        QtObjectComponent* parent = Find(watched);
        if (parent != nullptr && child != nullptr && child != this && Find(child) == nullptr)
            Track(*child, parent, true);
        break;
    }
    case QEvent::Show:
        Shown(*watched);
        break;
    case QEvent::ChildRemoved: {
        // A child being destroyed is no longer found through its (cleared) pointer, so the
        // entry is matched by address.
        const QObject* child = static_cast<QChildEvent*>(event)->child();
        QtObjectComponent* component = index_.value(child, nullptr);
        if (component != nullptr && component->Key() == child && !component->Detached()) {
            Untrack(*component);
            Dispose(component);
        }
        break;
    }
    case QEvent::DynamicPropertyChange:
        if (const QByteArray name =
                static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName();
            name == kQtTagProperty || name == kQtLocalizeProperty || name == kQtBoundProperty) {
            if (QtObjectComponent* component = Find(watched))
                component->ReadTag();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void QtLocalizeClient::LocalizeNew(QObject& object) {
    QtObjectComponent* component = Find(&object);
    if (component == nullptr || server_ == nullptr || !server_->Active())
        return;
    Forget(*component);
    server_->LocalizeTree(*component, server_->Language(), exclusions_.get(), false);
}

std::vector<QtClientText> QtLocalizeClient::Texts() const {
    std::vector<QtClientText> texts;
    CollectTexts(*rootComponent_, Segment(*rootComponent_), exclusions_.get(), texts);
    return texts;
}

QtLocalizeClient* AddQtClient(TOvkLocalizeServer& server, QWidget& root,
                              std::vector<std::string> exclusions) {
    const std::vector<QtLocalizeClient*> clients = LiveClients();
    for (QtLocalizeClient* client : clients) {
        if (client->Server() == &server && client->Root() == &root)
            delete client;
    }
    if (QCoreApplication::instance() != nullptr)
        QtWindowFollower::Of(server);
    return new QtLocalizeClient(server, root, std::move(exclusions));
}

void FollowNewWindows(TOvkLocalizeServer& server, bool follow) {
    QtWindowFollower::Of(server).SetFollowWindows(follow);
}

void FollowDictionaryChanges(TOvkLocalizeServer& server, bool follow) {
    QtWindowFollower::Of(server).SetFollowDictionary(follow);
}

bool IsQtClientObject(const TOvkLocalizeServer& server, const QObject& object) {
    return std::any_of(LiveClients().begin(), LiveClients().end(), [&](QtLocalizeClient* client) {
        return client->Server() == &server && client->ComponentOf(&object) != nullptr;
    });
}

} // namespace tavrel

#include "tavrel/qt/QtMenuRenderer.h"

#include "tavrel/qt/QtPicture.h"
#include "tavrel/qt/QtText.h"

#include <QAction>
#include <QIcon>
#include <QtDebug>
#include <utility>

namespace tavrel {

namespace {

QIcon IconOf(const TMenuItem& item) {
    // Drawn for the screen's pixel ratio, so that flags stay crisp at 200 %.
    return PictureIcon(ImageOfPicture(item.Bitmap()));
}

bool Contains(const TMenuItem& root, const TMenuItem* target) {
    for (int i = 0; i < root.Count(); ++i) {
        const TMenuItem* sub = root.Items(i);
        if (sub == target || Contains(*sub, target))
            return true;
    }
    return false;
}

} // namespace

// Told by the item when it is destroyed, so the binding never keeps a dangling pointer.
class QtMenuBinding::Watcher : public TComponent {
public:
    explicit Watcher(QtMenuBinding& binding) : binding_(binding) {}

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == TOperation::Remove && component == binding_.item_)
            binding_.ItemDestroyed();
    }

private:
    QtMenuBinding& binding_;
};

QtMenuBinding::QtMenuBinding(TMenuItem& item, QMenu& menu, QObject* parent)
    : QObject(parent), item_(&item), menu_(&menu), watcher_(std::make_unique<Watcher>(*this)) {
    item.FreeNotification(watcher_.get());
    listener_ = item.AddChangeListener([this](TMenuItem&) { Rebuild(); });
    connect(&menu, &QObject::destroyed, this, [this] { StopListening(); });
    Rebuild();
}

QtMenuBinding::~QtMenuBinding() {
    // The menu may be destroying this binding as its child: it is not touched here.
    StopListening();
}

void QtMenuBinding::StopListening() {
    if (item_ != nullptr) {
        item_->RemoveChangeListener(listener_);
        item_->RemoveFreeNotification(watcher_.get());
        item_ = nullptr;
    }
    listener_ = 0;
}

void QtMenuBinding::ItemDestroyed() {
    // The item is half destroyed by now: its listeners went with it, nothing is called on it.
    item_ = nullptr;
    listener_ = 0;
    ++generation_;
    RemoveActions();
}

void QtMenuBinding::RemoveActions() {
    // deleteLater: the action being triggered may be among them (a click that rebuilds the
    // menu), and Qt still uses it after the handler returns.
    for (const QPointer<QObject>& object : std::as_const(added_)) {
        if (object == nullptr)
            continue;
        if (menu_ != nullptr) {
            if (auto* action = qobject_cast<QAction*>(object.data()))
                menu_->removeAction(action);
            else if (auto* subMenu = qobject_cast<QMenu*>(object.data()))
                menu_->removeAction(subMenu->menuAction());
        }
        object->deleteLater();
    }
    added_.clear();
}

void QtMenuBinding::Rebuild() {
    if (item_ == nullptr)
        return;
    if (menu_ == nullptr) {
        StopListening();
        return;
    }
    RemoveActions();
    ++generation_;
    if (!item_->Caption().empty())
        menu_->setTitle(ToQString(item_->Caption()));
    Fill(*menu_, *item_);
}

void QtMenuBinding::Fill(QMenu& menu, TMenuItem& item) {
    const bool top = &menu == menu_.data();
    for (int i = 0; i < item.Count(); ++i) {
        TMenuItem* sub = item.Items(i);
        const QString caption = ToQString(sub->Caption());
        if (sub->Count() > 0) {
            auto* subMenu = new QMenu(caption, &menu);
            subMenu->setIcon(IconOf(*sub));
            subMenu->menuAction()->setStatusTip(ToQString(sub->Hint()));
            menu.addMenu(subMenu);
            if (top)
                added_.append(subMenu);
            Fill(*subMenu, *sub);
            continue;
        }
        auto* action = new QAction(IconOf(*sub), caption, &menu);
        action->setStatusTip(ToQString(sub->Hint()));
        connect(action, &QAction::triggered, this,
                [this, sub, generation = generation_] { Activate(sub, generation); });
        menu.addAction(action);
        if (top)
            added_.append(action);
    }
}

void QtMenuBinding::Activate(TMenuItem* target, unsigned generation) {
    // An action removed by a rebuild may still fire (it is deleted later); its item may be
    // gone and its address reused. Within the current generation the pointer is used only
    // while the item is still in the tree, which matters while changes are being batched.
    if (generation != generation_ || item_ == nullptr || !Contains(*item_, target))
        return;
    // The click may rebuild the menu or destroy this binding: keep what is needed after it.
    const ErrorHandler handler = errorHandler_;
    try {
        target->Click();
    } catch (const std::exception& error) {
        if (handler)
            handler(error);
        else
            qCritical("Menu command failed: %s", error.what());
    }
}

QtMenuBinding* BindMenu(TMenuItem& item, QMenu& menu) {
    return new QtMenuBinding(item, menu, &menu);
}

} // namespace tavrel

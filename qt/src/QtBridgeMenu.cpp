// A language menu in one call: the server fills a core menu item, QtMenuBinding shows it
// in the QMenu, and this object refills it before the menu is shown.

#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/localize/TMenuItem.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridge.h"
#include "tavrel/qt/QtText.h"

#include <QAction>
#include <QtDebug>

namespace tavrel {

class QtLanguageMenu::ServerWatcher : public TComponent {
public:
    explicit ServerWatcher(QtLanguageMenu& menu) : menu_(menu) {}

protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == TOperation::Remove && component == menu_.server_) {
            menu_.server_ = nullptr;
            // The generated items call the server when chosen: they go with it.
            if (menu_.item_)
                menu_.item_->Clear();
        }
    }

private:
    QtLanguageMenu& menu_;
};

QtLanguageMenu::QtLanguageMenu(TOvkLocalizeServer& server, QMenu& menu, bool includeDefault,
                               bool withImages)
    : QObject(&menu), server_(&server), menu_(&menu), item_(std::make_unique<TMenuItem>()),
      watcher_(std::make_unique<ServerWatcher>(*this)), includeDefault_(includeDefault),
      withImages_(withImages) {
    server.FreeNotification(watcher_.get());
    binding_ = new QtMenuBinding(*item_, menu, this);
    // Added after the binding's own listener, so it runs once the actions are rebuilt.
    item_->AddChangeListener([this](TMenuItem&) { MarkGenerated(); });
    // A menu announces its destruction before it destroys its children (this object
    // among them); from then on it must not be touched.
    connect(&menu, &QObject::destroyed, this, [this] {
        menuGone_ = true;
        Release();
    });
    connect(&menu, &QMenu::aboutToShow, this, [this] {
        try {
            Refill();
        } catch (const std::exception& error) {
            if (errorHandler_)
                errorHandler_(error);
            else
                qCritical("Language menu: %s", error.what());
        }
    });
    Refill();
}

QtLanguageMenu::~QtLanguageMenu() {
    Release();
}

void QtLanguageMenu::Release() {
    // While the menu lives, its language actions go with this object; the binding then
    // goes before the items, so that nothing of a menu being destroyed is touched.
    if (!menuGone_ && binding_ && item_)
        item_->Clear();
    delete binding_.data();
    if (server_ != nullptr)
        server_->RemoveFreeNotification(watcher_.get());
    server_ = nullptr;
    item_.reset();
}

void QtLanguageMenu::SetErrorHandler(QtMenuBinding::ErrorHandler handler) {
    errorHandler_ = handler;
    if (binding_)
        binding_->SetErrorHandler(std::move(handler));
}

void QtLanguageMenu::Refill() {
    if (server_ == nullptr || !item_)
        return;
    // Reading the current language rereads the catalogue, which the fill does not.
    current_ = server_->Language();
    server_->FillLanguageMenu(*item_, includeDefault_, withImages_);
}

void QtLanguageMenu::MarkGenerated() {
    // The binding appends one action per sub-item, in order, after whatever the menu
    // held before: the last actions are the languages.
    QMenu* menu = menu_.data();
    if (menu == nullptr || !item_)
        return;
    const QList<QAction*> actions = menu->actions();
    const int count = item_->Count();
    if (actions.size() < count)
        return;
    const qsizetype first = actions.size() - count;
    for (int i = 0; i < count; ++i) {
        QAction* action = actions[first + i];
        const TMenuItem& language = *item_->Items(i);
        if (action->text() != ToQString(language.Caption()))
            continue;
        action->setProperty(kQtTagProperty, LanguageMenuTag);
        action->setCheckable(true);
        action->setChecked(SameText(StripAmpersands(language.Caption()), current_));
    }
}

QtLanguageMenu* BindLanguageMenu(TOvkLocalizeServer& server, QMenu& menu, bool includeDefault,
                                 bool withImages) {
    // Binding a menu again replaces the earlier binding instead of doubling its items.
    for (QtLanguageMenu* earlier :
         menu.findChildren<QtLanguageMenu*>(QString(), Qt::FindDirectChildrenOnly))
        delete earlier;
    return new QtLanguageMenu(server, menu, includeDefault, withImages);
}

} // namespace tavrel

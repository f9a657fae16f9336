#pragma once

#include "tavrel/localize/TMenuItem.h"

#include <exception>
#include <functional>
#include <memory>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>

namespace tavrel {

// Shows the sub-items of a core menu item in a QMenu and keeps it up to date: one action
// per sub-item (caption through the code page, '&' marks left for Qt to show as
// accelerators, the bitmap as icon, the hint as status tip), a sub-menu for a sub-item
// that has sub-items of its own, and choosing an action runs the sub-item's Click().
// The menu is rebuilt whenever the item or anything below it changes. Only the actions
// the binding added are ever removed, so the menu may hold others before them. The
// menu's title follows the item's caption when that is not empty.
//
// The binding stops listening when it, the item or the menu is destroyed; when the item
// goes first its actions are removed from the menu.
class QtMenuBinding : public QObject {
    Q_OBJECT
public:
    using ErrorHandler = std::function<void(const std::exception&)>;

    QtMenuBinding(TMenuItem& item, QMenu& menu, QObject* parent = nullptr);
    ~QtMenuBinding() override;
    QtMenuBinding(const QtMenuBinding&) = delete;
    QtMenuBinding& operator=(const QtMenuBinding&) = delete;

    // nullptr once the item or the menu is gone.
    TMenuItem* Item() const { return item_; }
    QMenu* Menu() const { return menu_.data(); }

    // Exceptions thrown by a sub-item's Click() must not cross Qt's signal delivery: they
    // go to this handler. Without one they are logged with qCritical.
    void SetErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }

    void Rebuild();

private:
    class Watcher;
    friend class Watcher;

    void ItemDestroyed();
    void StopListening();
    void RemoveActions();
    void Fill(QMenu& menu, TMenuItem& item);
    void Activate(TMenuItem* target, unsigned generation);

    TMenuItem* item_;
    QPointer<QMenu> menu_;
    int listener_ = 0;
    // Counts rebuilds; an action acts only for the build that made it.
    unsigned generation_ = 0;
    std::unique_ptr<Watcher> watcher_;
    // Actions and sub-menus this binding added directly to the menu.
    QList<QPointer<QObject>> added_;
    ErrorHandler errorHandler_;
};

// Binds the item to the menu for the menu's lifetime (the binding becomes the menu's
// child) and returns the binding.
QtMenuBinding* BindMenu(TMenuItem& item, QMenu& menu);

} // namespace tavrel

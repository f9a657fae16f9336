#pragma once

// Qt Widgets applications as clients of the localization server. A client mirrors a
// widget tree (its widgets, actions and menus) as components, so that the server's
// translation engine switches the running application from one language to another
// without any change to the application's widgets:
//
//   auto* server = new TOvkLocalizeServer(nullptr, environment);
//   server->SetActive(true);
//   AddQtClient(*server, mainWindow);
//   BindLanguageMenu(*server, *languageMenu);
//
// Which Qt texts are translated, and under which names, is listed in QtBridgeTable.cpp.

#include "tavrel/qt/QtBridgeMirror.h"
#include "tavrel/qt/QtMenuRenderer.h"

#include <memory>
#include <QHash>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <string>
#include <vector>

namespace tavrel {

class TMenuItem;
class TOvkLocalizeServer;

// One text of a client as the engine sees it: the path of the object (names from the
// root, "QClassName[index]" for objects without a name) and of the property, and the text.
struct QtClientText {
    std::string Path;
    std::string Text;
    friend bool operator==(const QtClientText& a, const QtClientText& b) {
        return a.Path == b.Path && a.Text == b.Text;
    }
    friend bool operator!=(const QtClientText& a, const QtClientText& b) { return !(a == b); }
};

// A widget tree registered with a server. The mirror follows the live tree: objects
// added below the root later are part of the next switch, objects removed or destroyed
// are never touched again. While the server switches languages the widgets are left
// alone; when the switch ends (also when it fails) each text that changed is written
// into its widget once. The client deletes itself when its root widget is destroyed
// (and so leaves the server); deleting it earlier removes the client. Hold it in a
// QPointer when it may outlive your interest.
class QtLocalizeClient : public QObject {
    Q_OBJECT
public:
    // Registers the tree with the server. `exclusions` names components (objectNames)
    // whose own texts stay as they are; the objects below them are still translated.
    QtLocalizeClient(TOvkLocalizeServer& server, QWidget& root,
                     std::vector<std::string> exclusions = {});
    ~QtLocalizeClient() override;
    QtLocalizeClient(const QtLocalizeClient&) = delete;
    QtLocalizeClient& operator=(const QtLocalizeClient&) = delete;

    QWidget* Root() const { return root_.data(); }
    // nullptr once the server is destroyed.
    TOvkLocalizeServer* Server() const { return server_; }
    // The component registered with the server.
    TComponent& RootComponent() const { return *rootComponent_; }
    // The component standing for an object of the tree; nullptr for any other object.
    QtObjectComponent* ComponentOf(const QObject* object) const;
    // Number of objects mirrored.
    int TrackedCount() const { return static_cast<int>(index_.size()); }

    // Translates `object` and everything below it into the current language. Switches
    // translate the whole tree, and widgets created since the last switch are translated
    // when they are first shown; this is for objects that are never shown (an action
    // created later) or must read translated before they are shown. Does nothing for an
    // object outside the tree, without a server or while the server is not active.
    void LocalizeNew(QObject& object);

    // Every non-empty text the engine sees in this tree, in the order it visits them.
    std::vector<QtClientText> Texts() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class ServerWatcher;
    friend class ServerWatcher;

    QtObjectComponent* Find(const QObject* object) const;
    QtObjectComponent* Track(QObject& object, TComponent* owner, bool fresh);
    void Untrack(QtObjectComponent& component);
    void Dispose(QtObjectComponent* component);
    void SchedulePurge();
    void Purge();
    void ServerDestroyed();
    void SwitchBegins();
    void SwitchEnds();
    void Shown(QObject& object);
    void Forget(const QtObjectComponent& component);

    TOvkLocalizeServer* server_;
    QPointer<QWidget> root_;
    std::unique_ptr<TStringList> exclusions_;
    std::unique_ptr<QtObjectComponent> rootComponent_;
    QHash<const QObject*, QtObjectComponent*> index_;
    // Objects added since the last switch, still showing the texts they were made with.
    QSet<const QObject*> fresh_;
    std::unique_ptr<ServerWatcher> watcher_;
    std::shared_ptr<QtSwitchState> switchState_;
    int switchListener_ = 0;
    bool purgeScheduled_ = false;
};

// Registers `root` with the server and returns its client (see QtLocalizeClient).
// Registering the same widget with the same server again replaces the earlier client.
// From the first client of a server on, windows and dialogs the application creates later
// outside every client tree (QMessageBox or QInputDialog without parent, parentless
// dialogs) become clients of their own when first shown, and Qt's own translations follow
// the locale a dictionary names in Definitions/OvkLocale.
QtLocalizeClient* AddQtClient(TOvkLocalizeServer& server, QWidget& root,
                              std::vector<std::string> exclusions = {});

// Turns the following of windows created outside every client tree off or on again.
void FollowNewWindows(TOvkLocalizeServer& server, bool follow);

// From the first client of a server on, a change of the dictionary the clients' texts were
// shown from (a translator saving in the editor, a tool rewriting the file) is applied to
// every client within a moment, texts the application set since the last switch included
// (see TOvkLocalizeServer::ReapplyLanguage). This turns that off or on again.
void FollowDictionaryChanges(TOvkLocalizeServer& server, bool follow);

// A QMenu listing the server's languages (with their flags when the server's environment
// has a picture factory, e.g. QtPictureFactory()); choosing one makes it current and so
// switches every client. The menu is refilled each time it is about to be shown, so it
// follows languages added or removed meanwhile; the current language is checked. Its
// items are marked with LanguageMenuTag and never translated. Lives as long as the menu.
class QtLanguageMenu : public QObject {
    Q_OBJECT
public:
    QtLanguageMenu(TOvkLocalizeServer& server, QMenu& menu, bool includeDefault, bool withImages);
    ~QtLanguageMenu() override;
    QtLanguageMenu(const QtLanguageMenu&) = delete;
    QtLanguageMenu& operator=(const QtLanguageMenu&) = delete;

    // Rebuilds the list from the catalogue, which is reread first.
    void Refill();
    // Failures of a language switch chosen in the menu, or of a refill, go here; without a
    // handler they are logged.
    void SetErrorHandler(QtMenuBinding::ErrorHandler handler);

    QMenu* Menu() const { return menu_.data(); }

private:
    class ServerWatcher;
    friend class ServerWatcher;

    void MarkGenerated();
    void Release();

    TOvkLocalizeServer* server_;
    QPointer<QMenu> menu_;
    std::unique_ptr<TMenuItem> item_;
    QPointer<QtMenuBinding> binding_;
    std::unique_ptr<ServerWatcher> watcher_;
    QtMenuBinding::ErrorHandler errorHandler_;
    std::string current_;
    bool includeDefault_;
    bool withImages_;
    bool menuGone_ = false;
};

// Fills `menu` with the languages and keeps it so; see QtLanguageMenu.
QtLanguageMenu* BindLanguageMenu(TOvkLocalizeServer& server, QMenu& menu,
                                 bool includeDefault = true, bool withImages = true);

} // namespace tavrel

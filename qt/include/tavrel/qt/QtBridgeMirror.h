#pragma once

// The component that stands for one QObject of a client's widget tree. Its class (the
// table of its published text properties) follows the object's Qt class, as listed in
// QtBridgeTable.cpp; its Name is the objectName, its Tag the dynamic property "tavrelTag".
// Applications normally meet it only through QtLocalizeClient::ComponentOf.

#include "tavrel/localize/TCollection.h"
#include "tavrel/localize/TComponent.h"
#include "tavrel/localize/TStrings.h"

#include <memory>
#include <optional>
#include <QObject>
#include <QPointer>
#include <QString>
#include <string>

namespace tavrel {

// The dynamic property an application sets to give a QObject a Tag, e.g. to mark an action
// as a generated language-menu item (LanguageMenuTag) that is never translated.
inline constexpr char kQtTagProperty[] = "tavrelTag";

// The text kinds of the table; which one an object has is decided once, on first use.
enum class QtTextKind : int;

class QtObjectComponent : public TComponent {
public:
    // Stands for `object` until Detach(); owned by `owner` like any component.
    QtObjectComponent(QObject& object, TComponent* owner);
    ~QtObjectComponent() override;

    // "TQObject": publishes no text (the class of objects without texts and of objects
    // that are gone).
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override;

    // nullptr once the object is destroyed or has left the tree.
    QObject* Object() const { return object_.data(); }
    // The object's address while it was tracked, for look-ups after it is gone.
    const QObject* Key() const { return key_; }
    void Detach();
    bool Detached() const { return detached_; }

    // Reads the Tag from the object's dynamic property (0 when unset or not a number).
    void ReadTag();

    // The object's string list (`Items`, `Lines`) or indexed texts (`Columns`, `Tabs`),
    // brought up to date with the widget; the table's properties hand them to the engine.
    TStrings* SyncedLines() const;
    TCollection* SyncedItems() const;

    // True while the bridge is writing a text into a widget. Widgets may run application
    // code on such a write (signals), which may add, remove or destroy objects; the
    // bridge then defers freeing components, because the engine may still be using them.
    static bool Writing();

    // Core text of a Qt text; nothing when a character has no byte in the code page.
    static std::optional<std::string> CoreText(const QString& text);

    // Marks a write into a widget for Writing().
    class WriteScope {
    public:
        WriteScope();
        ~WriteScope();
        WriteScope(const WriteScope&) = delete;
        WriteScope& operator=(const WriteScope&) = delete;
    };

private:
    QtTextKind Kind() const;
    void WriteLines();

    QPointer<QObject> object_;
    const QObject* key_;
    bool detached_ = false;
    mutable std::optional<QtTextKind> kind_;
    mutable const TClassInfo* class_ = nullptr; // of kind_
    // Created on first use for the kinds that have them.
    mutable std::unique_ptr<TStringList> lines_;
    mutable std::string syncedCommaText_; // the widget's lines when last handed out
    mutable bool linesReadable_ = true;
    mutable bool syncingLines_ = false;
    mutable std::unique_ptr<TCollection> items_;
};

} // namespace tavrel

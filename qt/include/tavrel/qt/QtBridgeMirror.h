#pragma once

// The component that stands for one QObject of a client's widget tree. Its class (the
// table of its published text properties) follows the object's Qt class, as listed in
// QtBridgeTable.cpp; its Name is the objectName, its Tag the dynamic property "tavrelTag".
// Applications normally meet it only through QtLocalizeClient::ComponentOf.
//
// Dynamic properties an application may set on any object of the tree:
//   tavrelTag        the component's Tag (an integer)
//   tavrelLocalize   true: the object's contents are texts of the application too (a
//                    read-only line edit showing a label, a list of fixed choices);
//                    false: none of the object's own texts is touched (its children are)
// Contents that are the user's (typed input, documents, values, items of views) are left
// alone unless the object is opted in; a line edit that hides its input never is.

#include "tavrel/localize/TCollection.h"
#include "tavrel/localize/TComponent.h"
#include "tavrel/localize/TStrings.h"

#include <array>
#include <memory>
#include <optional>
#include <QObject>
#include <QPointer>
#include <QString>
#include <string>
#include <vector>

namespace tavrel {

// The dynamic property an application sets to give a QObject a Tag, e.g. to mark an action
// as a generated language-menu item (LanguageMenuTag) that is never translated.
inline constexpr char kQtTagProperty[] = "tavrelTag";
// The dynamic property that opts an object's contents in (true) or its texts out (false).
inline constexpr char kQtLocalizeProperty[] = "tavrelLocalize";
// Set by message bindings (QtMessages::Bind): the Qt properties of the object whose text
// is a rendered message of the application, which the engine therefore leaves alone.
inline constexpr char kQtBoundProperty[] = "tavrelBound";

// The text kinds of the table; which one an object has is decided once, on first use.
enum class QtTextKind : int;

class QtObjectComponent;

// What the components of one client share while its server switches languages. The engine
// writes every text twice (back to the untranslated text, then forward); while Holding, its
// writes stay in the mirror, reads return what was last written, and when the switch ends
// each widget whose text really changed is written once.
struct QtSwitchState {
    bool Holding = false;
    // Numbers the switches; a held text belongs to the switch it was read in.
    unsigned Switch = 0;
    // Components holding changed texts, in the order they were first changed.
    std::vector<QtObjectComponent*> Changed;
};

// One text of a widget as held during a switch.
struct QtHeldText {
    std::string Text; // core text: as read from the widget, or as last written
    unsigned Switch = 0;
    bool Readable = false; // false: the widget's text is outside the code page
    bool Changed = false;
};

class QtObjectComponent : public TComponent {
public:
    // Stands for `object` until Detach(); owned by `owner` like any component. Components
    // of one client share `state`; without one, every write reaches the widget at once.
    QtObjectComponent(QObject& object, TComponent* owner,
                      std::shared_ptr<QtSwitchState> state = nullptr);
    ~QtObjectComponent() override;

    // "TQObject": publishes no text (the class of objects without texts and of objects
    // that are gone).
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override;

    // For an action or a sub-menu: the menus and menu bars it is an item of, by object name
    // (a menu without one by its title).
    std::vector<std::string> MenuNames() const override;
    // nullptr once the object is destroyed or has left the tree.
    QObject* Object() const { return object_.data(); }
    // The object's address while it was tracked, for look-ups after it is gone.
    const QObject* Key() const { return key_; }
    void Detach();
    bool Detached() const { return detached_; }

    // Reads the Tag, the opt-in and the bound properties from the object's dynamic
    // properties (a Tag of 0 when unset or not a number).
    void ReadTag();
    // The object's tavrelLocalize value; nothing when it is unset.
    std::optional<bool> OptIn() const { return optIn_; }
    // Whether the Qt property `name` shows a bound message.
    bool Bound(const char* name) const;

    // The object's string list (`Items`, `Lines`) or indexed texts (`Columns`, `Tabs`),
    // brought up to date with the widget (during a switch: with the held texts); the
    // table's properties hand them to the engine.
    // nullptr when the object has none, or none that are texts (see tavrelLocalize).
    TStrings* SyncedLines() const;
    TCollection* SyncedItems(int role) const;

    // The text of slot `slot` of the object's kind (see QtBridgeTable.cpp), as the
    // engine reads and writes it.
    std::string SlotText(int slot);
    void SetSlotText(int slot, const std::string& text);
    // The sub-object carrying slot `slot` for a text published as a branch.
    TPersistent* Part(int slot) const;

    // Whether the texts of this component are held (a switch of its client is running).
    bool Holding() const { return state_ != nullptr && state_->Holding; }
    // The number of the running switch (valid while Holding).
    unsigned SwitchNumber() const { return state_->Switch; }
    // The held text of `slot`, read from the widget with `read` on first use in the
    // running switch.
    template <class Read> QtHeldText& HeldText(int slot, Read read) {
        if (texts_.size() <= static_cast<std::size_t>(slot))
            texts_.resize(static_cast<std::size_t>(slot) + 1);
        return Held(texts_[static_cast<std::size_t>(slot)], read);
    }
    // `read` gives the Qt text, or nothing when the text is not the engine's now.
    template <class Read> QtHeldText& Held(QtHeldText& held, Read read) {
        if (held.Switch != state_->Switch) {
            auto text = EngineText(read());
            held.Readable = text.has_value();
            held.Text = text ? std::move(*text) : std::string();
            held.Changed = false;
            held.Switch = state_->Switch;
        }
        return held;
    }
    // Records a write of the engine into a held text; false when it changes nothing
    // (the same text, a text outside the code page, or a long text coming back cut).
    bool HoldWrite(QtHeldText& held, const std::string& text);
    // Writes the texts changed during the switch into the object, each once and only
    // when it differs from what the object shows.
    void PushHeld();

    // True while the bridge is writing a text into a widget. Widgets may run application
    // code on such a write (signals), which may add, remove or destroy objects; the
    // bridge then defers freeing components, because the engine may still be using them.
    static bool Writing();

    // Core text (UTF-8) of a Qt text.
    static std::optional<std::string> CoreText(const QString& text);
    // The core text of a text the engine may translate: nothing for no text and a text of
    // several lines (a dictionary key is one line).
    static std::optional<std::string> EngineText(const std::optional<QString>& text);

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
    void MarkChanged();

    QPointer<QObject> object_;
    const QObject* key_;
    std::shared_ptr<QtSwitchState> state_;
    std::vector<QtHeldText> texts_; // by slot
    // The lines as held during a switch (Text unused; see SyncedLines).
    mutable std::vector<std::string> heldLines_;
    mutable QtHeldText heldLinesState_;
    bool detached_ = false;
    bool inChanged_ = false; // listed in state_->Changed
    mutable std::optional<QtTextKind> kind_;
    mutable const TClassInfo* class_ = nullptr; // of kind_
    // Created on first use for the kinds that have them.
    mutable std::unique_ptr<TStringList> lines_;
    mutable std::string syncedCommaText_; // the widget's lines when last handed out
    mutable bool linesReadable_ = true;
    mutable bool syncingLines_ = false;
    mutable std::array<std::unique_ptr<TCollection>, 3> items_; // by role
    mutable std::vector<std::unique_ptr<TPersistent>> parts_;   // by slot
    std::optional<bool> optIn_;
    std::vector<QString> bound_;
};

} // namespace tavrel

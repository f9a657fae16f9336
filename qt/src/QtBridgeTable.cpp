// Which texts of Qt's widgets the translation engine sees, and under which names.
//
//   Qt class                       engine class    property        Qt text
//   -----------------------------  --------------  --------------  ---------------------------
//   any window, QDockWidget,       TQWidget        Caption         windowTitle
//     QToolBar                                     Hint            toolTip
//   QAbstractButton (QPushButton,  TQButton        Caption, Hint   text, toolTip
//     QCheckBox, QRadioButton,
//     QToolButton without action)
//   QLabel                         TQLabel         Caption, Hint   text, toolTip
//   QGroupBox                      TQGroupBox      Caption, Hint   title, toolTip
//   QMenu                          TQMenu          Caption, Hint   title, toolTip
//   QAction                        TQAction        Caption, Hint   text, toolTip (own only)
//   QLineEdit                      TQLineEdit      Text, Hint      text, toolTip
//   QPlainTextEdit                 TQPlainTextEdit Lines.Text      the lines (one comma-text)
//                                                  Hint            toolTip
//   QListWidget                    TQListWidget    Items.Text      item texts (one comma-text)
//   QComboBox                      TQComboBox      Items.Text      item texts (one comma-text)
//   QTreeWidget                    TQTreeWidget    Columns.#i.Caption / .Hint: header text
//   QTableWidget                   TQTableWidget     and tool tip of column i
//   QTabWidget, QTabBar            TQTabWidget     Tabs.#i.Caption / .Hint: tab text and
//   QToolBox                       TQToolBox         tool tip (item text of a tool box)
//   (list, tree, table and tab widgets also have Hint = toolTip)
//
// Everything else (containers, scroll bars, layouts, models...) has no texts; the objects
// below it are still reached. Left alone as well: Qt's own internal objects (objectName
// starting with "qt_"), the line edit inside a combo box or spin box, a tool button that
// shows an action (the action carries the texts), a menu's own menu action and the
// toggle action of a dock widget or tool bar (they repeat a title), and objects tagged
// LanguageMenuTag (generated language-menu items).
//
// Text passes through QtText. A Qt text holding a character the code page cannot hold
// is not the engine's: it reads as empty and is never overwritten. A write that would
// not change the text is skipped, so nothing is signalled or relaid out for nothing.
// During a switch the engine's writes are held in the mirror (QtSwitchState) and reach
// each widget once, when the switch is over.

#include "tavrel/localize/OVKPropUtils.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridgeMirror.h"
#include "tavrel/qt/QtText.h"
#include "tavrel/storage/CodePage.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <algorithm>
#include <array>
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QToolBar>
#include <QToolBox>
#include <QToolButton>
#include <QTreeWidget>
#include <vector>

namespace tavrel {

enum class QtTextKind : int {
    None,
    Window,
    Button,
    ToolButton,
    Label,
    GroupBox,
    Menu,
    Action,
    LineEdit,
    PlainTextEdit,
    ListWidget,
    ComboBox,
    TreeWidget,
    TableWidget,
    TabWidget,
    TabBar,
    ToolBox,
};

namespace {

// Whether `text` (core) replaces `current` (Qt); sets `next` when it does. A current text
// the code page cannot hold is not the engine's. A text longer than the engine's look-up
// width that comes back as its own first 255 characters was not translated but cut: the
// widget keeps it whole (a long label or a user's notes would otherwise lose their end).
bool Replaces(const QString& current, const std::string& text, QString& next) {
    next = ToQString(text);
    if (next == current)
        return false;
    const auto core = QtObjectComponent::CoreText(current);
    if (!core)
        return false;
    return !(core->size() > kMaxShortString && text == core->substr(0, kMaxShortString));
}

std::string ReadText(const QString& text) {
    return QtObjectComponent::CoreText(text).value_or(std::string());
}

// A text of an object read and written through a pair of plain functions, and the slot
// (0: main text, 1: tool tip) that holds it during a switch.
struct TextAccess {
    QString (*Get)(QObject& object);
    void (*Set)(QObject& object, const QString& text);
};

template <class W, QString (W::*Get)() const, void (W::*Set)(const QString&)>
const TextAccess& MemberAccess() {
    static const TextAccess access{
        [](QObject& o) { return (static_cast<W&>(o).*Get)(); },
        [](QObject& o, const QString& text) { (static_cast<W&>(o).*Set)(text); }};
    return access;
}

TPropInfo TextProp(std::string name, int slot, const TextAccess& access) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::LongString;
    p.GetString = [slot, &access](const TPersistent& o) -> std::string {
        auto& component = const_cast<QtObjectComponent&>(static_cast<const QtObjectComponent&>(o));
        QObject* object = component.Object();
        if (object == nullptr)
            return std::string();
        if (component.Holding()) {
            const QtHeldText& held = component.HeldText(slot, [&] { return access.Get(*object); });
            return held.Readable ? held.Text : std::string();
        }
        return ReadText(access.Get(*object));
    };
    p.SetString = [slot, &access](TPersistent& o, const std::string& text) {
        auto& component = static_cast<QtObjectComponent&>(o);
        QObject* object = component.Object();
        if (object == nullptr)
            return;
        if (component.Holding()) {
            component.HoldWrite(component.HeldText(slot, [&] { return access.Get(*object); }),
                                text);
            return;
        }
        QString next;
        if (!Replaces(access.Get(*object), text, next))
            return;
        const QtObjectComponent::WriteScope writing;
        access.Set(*object, next);
    };
    return p;
}

const TextAccess& ToolTipAccess() {
    return MemberAccess<QWidget, &QWidget::toolTip, &QWidget::setToolTip>();
}

TPropInfo ToolTipProp() {
    return TextProp("Hint", 1, ToolTipAccess());
}

// An action without a tool tip of its own shows its text, stripped of '&' and "...";
// that derived tip is not a text of the action (writing it back would fix it for good).
// The stripping is Qt's own rule for QAction::toolTip().
QString DerivedActionToolTip(const QAction& action) {
    QString s = action.text().isEmpty() ? action.iconText() : action.text();
    s.remove(QStringLiteral("..."));
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i) == u'&')
            s.remove(i, 1);
    }
    return s.trimmed();
}

QString OwnActionToolTip(const QAction& action) {
    const QString tip = action.toolTip();
    return tip == DerivedActionToolTip(action) ? QString() : tip;
}

const TextAccess kActionToolTip{
    [](QObject& o) { return OwnActionToolTip(static_cast<QAction&>(o)); },
    [](QObject& o, const QString& text) { static_cast<QAction&>(o).setToolTip(text); }};

// --- String lists: the lines of a widget, read and written as a whole -----------------

struct LineAccess {
    std::vector<QString> (*Read)(QObject& object);
    // Writes the lines, changing only what differs; stops if the widget goes away.
    void (*Write)(QObject& object, const std::vector<QString>& lines);
};

const LineAccess kListWidgetLines{
    [](QObject& o) {
        auto& list = static_cast<QListWidget&>(o);
        std::vector<QString> lines;
        for (int i = 0; i < list.count(); ++i)
            lines.push_back(list.item(i)->text());
        return lines;
    },
    [](QObject& o, const std::vector<QString>& lines) {
        // Items keep their data, icons and check states: only texts are replaced, and
        // items are added or removed at the end when the number of lines changed.
        const QPointer<QListWidget> list = static_cast<QListWidget*>(&o);
        const int wanted = static_cast<int>(lines.size());
        for (int i = 0; list && i < std::min(wanted, list->count()); ++i) {
            if (list->item(i)->text() != lines[static_cast<std::size_t>(i)])
                list->item(i)->setText(lines[static_cast<std::size_t>(i)]);
        }
        while (list && list->count() > wanted)
            delete list->takeItem(list->count() - 1);
        while (list && list->count() < wanted)
            list->addItem(lines[static_cast<std::size_t>(list->count())]);
    }};

const LineAccess kComboBoxLines{
    [](QObject& o) {
        auto& combo = static_cast<QComboBox&>(o);
        std::vector<QString> lines;
        for (int i = 0; i < combo.count(); ++i)
            lines.push_back(combo.itemText(i));
        return lines;
    },
    [](QObject& o, const std::vector<QString>& lines) {
        const QPointer<QComboBox> combo = static_cast<QComboBox*>(&o);
        const int wanted = static_cast<int>(lines.size());
        for (int i = 0; combo && i < std::min(wanted, combo->count()); ++i) {
            if (combo->itemText(i) != lines[static_cast<std::size_t>(i)])
                combo->setItemText(i, lines[static_cast<std::size_t>(i)]);
        }
        while (combo && combo->count() > wanted)
            combo->removeItem(combo->count() - 1);
        while (combo && combo->count() < wanted)
            combo->addItem(lines[static_cast<std::size_t>(combo->count())]);
    }};

// The lines of a plain text edit; an empty document has no lines (not one empty line).
std::vector<QString> PlainTextLines(QObject& o) {
    const QString text = static_cast<QPlainTextEdit&>(o).toPlainText();
    std::vector<QString> lines;
    if (!text.isEmpty()) {
        for (const QString& line : text.split(u'\n'))
            lines.push_back(line);
    }
    return lines;
}

void SetPlainTextLines(QObject& o, const std::vector<QString>& lines) {
    auto& edit = static_cast<QPlainTextEdit&>(o);
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += u'\n';
        text += lines[i];
    }
    if (text != edit.toPlainText())
        edit.setPlainText(text);
}

const LineAccess kPlainTextLines{PlainTextLines, SetPlainTextLines};

// --- Indexed texts: header labels, tabs ------------------------------------------------

enum class ItemText { Caption, Hint };

struct ItemAccess {
    int (*Count)(QObject& object);
    QString (*Get)(QObject& object, int index, ItemText which);
    void (*Set)(QObject& object, int index, ItemText which, const QString& text);
};

const ItemAccess kTreeHeaderItems{
    [](QObject& o) { return static_cast<QTreeWidget&>(o).columnCount(); },
    [](QObject& o, int i, ItemText which) {
        const QTreeWidgetItem* header = static_cast<QTreeWidget&>(o).headerItem();
        return which == ItemText::Caption ? header->text(i) : header->toolTip(i);
    },
    [](QObject& o, int i, ItemText which, const QString& text) {
        QTreeWidgetItem* header = static_cast<QTreeWidget&>(o).headerItem();
        if (which == ItemText::Caption)
            header->setText(i, text);
        else
            header->setToolTip(i, text);
    }};

const ItemAccess kTableHeaderItems{
    [](QObject& o) { return static_cast<QTableWidget&>(o).columnCount(); },
    [](QObject& o, int i, ItemText which) {
        // A column without a header item shows its number: no text of the application.
        const QTableWidgetItem* item = static_cast<QTableWidget&>(o).horizontalHeaderItem(i);
        if (item == nullptr)
            return QString();
        return which == ItemText::Caption ? item->text() : item->toolTip();
    },
    [](QObject& o, int i, ItemText which, const QString& text) {
        auto& table = static_cast<QTableWidget&>(o);
        QTableWidgetItem* item = table.horizontalHeaderItem(i);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            table.setHorizontalHeaderItem(i, item);
        }
        if (which == ItemText::Caption)
            item->setText(text);
        else
            item->setToolTip(text);
    }};

// QTabWidget and QTabBar share the names of their tab functions.
template <class W> ItemAccess TabItems() {
    return {[](QObject& o) { return static_cast<W&>(o).count(); },
            [](QObject& o, int i, ItemText which) {
                auto& tabs = static_cast<W&>(o);
                return which == ItemText::Caption ? tabs.tabText(i) : tabs.tabToolTip(i);
            },
            [](QObject& o, int i, ItemText which, const QString& text) {
                auto& tabs = static_cast<W&>(o);
                if (which == ItemText::Caption)
                    tabs.setTabText(i, text);
                else
                    tabs.setTabToolTip(i, text);
            }};
}
const ItemAccess kTabWidgetItems = TabItems<QTabWidget>();
const ItemAccess kTabBarItems = TabItems<QTabBar>();

QString ToolBoxItemText(QObject& o, int i, ItemText which) {
    auto& box = static_cast<QToolBox&>(o);
    return which == ItemText::Caption ? box.itemText(i) : box.itemToolTip(i);
}

void SetToolBoxItemText(QObject& o, int i, ItemText which, const QString& text) {
    auto& box = static_cast<QToolBox&>(o);
    if (which == ItemText::Caption)
        box.setItemText(i, text);
    else
        box.setItemToolTip(i, text);
}

const ItemAccess kToolBoxItems{[](QObject& o) { return static_cast<QToolBox&>(o).count(); },
                               ToolBoxItemText, SetToolBoxItemText};

// The collection of a widget's indexed texts; it has as many items as the widget has
// columns or tabs at the moment it is handed to the engine.
class QtItemCollection : public TCollection {
public:
    QtItemCollection(QtObjectComponent& owner, const ItemAccess& access)
        : owner_(owner), access_(access) {}

    void Sync();
    std::string Get(int index, ItemText which);
    void Set(int index, ItemText which, const std::string& text);
    // Writes the texts held during a switch (see QtObjectComponent::PushHeld).
    void PushHeld();

private:
    bool Has(QObject* object, int index) const {
        // During a switch nothing changes the widget, so the count of the first sync holds.
        const int count = owner_.Holding() && syncedSwitch_ == owner_.SwitchNumber()
                              ? Count()
                              : (object != nullptr ? access_.Count(*object) : 0);
        return object != nullptr && index >= 0 && index < count;
    }
    QtHeldText& Held(QObject& object, int index, ItemText which);

    QtObjectComponent& owner_;
    const ItemAccess& access_;
    std::vector<std::array<QtHeldText, 2>> held_; // by index, then Caption / Hint
    unsigned syncedSwitch_ = 0;                   // the switch in which Sync last ran
};

class QtTextItem : public TCollectionItem {
    TAVREL_CLASS(QtTextItem)
public:
    QtItemCollection& Items() const { return *static_cast<QtItemCollection*>(Collection()); }
};

TPropInfo ItemTextProp(std::string name, ItemText which) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::LongString;
    p.GetString = [which](const TPersistent& o) -> std::string {
        const auto& item = static_cast<const QtTextItem&>(o);
        return item.Items().Get(item.Index(), which);
    };
    p.SetString = [which](TPersistent& o, const std::string& text) {
        const auto& item = static_cast<const QtTextItem&>(o);
        item.Items().Set(item.Index(), which, text);
    };
    return p;
}

void QtItemCollection::Sync() {
    if (owner_.Holding()) {
        if (syncedSwitch_ == owner_.SwitchNumber())
            return;
        syncedSwitch_ = owner_.SwitchNumber();
    }
    QObject* object = owner_.Object();
    const int wanted = object ? access_.Count(*object) : 0;
    while (Count() > wanted)
        Delete(Count() - 1);
    while (Count() < wanted)
        Add<QtTextItem>();
}

QtHeldText& QtItemCollection::Held(QObject& object, int index, ItemText which) {
    if (held_.size() <= static_cast<std::size_t>(index))
        held_.resize(static_cast<std::size_t>(index) + 1);
    return owner_.Held(held_[static_cast<std::size_t>(index)][static_cast<std::size_t>(which)],
                       [&] { return access_.Get(object, index, which); });
}

std::string QtItemCollection::Get(int index, ItemText which) {
    QObject* object = owner_.Object();
    if (!Has(object, index))
        return std::string();
    if (owner_.Holding()) {
        const QtHeldText& held = Held(*object, index, which);
        return held.Readable ? held.Text : std::string();
    }
    return ReadText(access_.Get(*object, index, which));
}

void QtItemCollection::Set(int index, ItemText which, const std::string& text) {
    QObject* object = owner_.Object();
    if (!Has(object, index))
        return;
    if (owner_.Holding()) {
        owner_.HoldWrite(Held(*object, index, which), text);
        return;
    }
    QString next;
    if (!Replaces(access_.Get(*object, index, which), text, next))
        return;
    const QtObjectComponent::WriteScope writing;
    access_.Set(*object, index, which, next);
}

void QtItemCollection::PushHeld() {
    syncedSwitch_ = 0;
    for (std::size_t i = 0; i < held_.size(); ++i) {
        for (ItemText which : {ItemText::Caption, ItemText::Hint}) {
            QtHeldText& held = held_[i][static_cast<std::size_t>(which)];
            if (!held.Changed)
                continue;
            held.Changed = false;
            // The application may have removed columns or tabs, or the widget itself, in
            // reaction to an earlier write.
            QObject* object = owner_.Object();
            const int index = static_cast<int>(i);
            if (!Has(object, index))
                continue;
            const QString next = ToQString(held.Text);
            if (access_.Get(*object, index, which) != next)
                access_.Set(*object, index, which, next);
        }
    }
}

// Object-reference properties handing the engine a widget's lines or indexed texts.
TPropInfo LinesProp(std::string name) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Class;
    p.GetObject = [](const TPersistent& o) -> TPersistent* {
        return static_cast<const QtObjectComponent&>(o).SyncedLines();
    };
    return p;
}

TPropInfo ItemsProp(std::string name) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Class;
    p.GetObject = [](const TPersistent& o) -> TPersistent* {
        return static_cast<const QtObjectComponent&>(o).SyncedItems();
    };
    return p;
}

// --- The classes ----------------------------------------------------------------------

const TClassInfo& Base() {
    return QtObjectComponent::StaticClassInfo();
}

const TClassInfo& ClassOf(QtTextKind kind) {
    static const TClassInfo window(
        "TQWidget", &Base(),
        {TextProp("Caption", 0,
                  MemberAccess<QWidget, &QWidget::windowTitle, &QWidget::setWindowTitle>()),
         ToolTipProp()});
    static const TClassInfo button(
        "TQButton", &Base(),
        {TextProp(
             "Caption", 0,
             MemberAccess<QAbstractButton, &QAbstractButton::text, &QAbstractButton::setText>()),
         ToolTipProp()});
    static const TClassInfo label(
        "TQLabel", &Base(),
        {TextProp("Caption", 0, MemberAccess<QLabel, &QLabel::text, &QLabel::setText>()),
         ToolTipProp()});
    static const TClassInfo groupBox(
        "TQGroupBox", &Base(),
        {TextProp("Caption", 0, MemberAccess<QGroupBox, &QGroupBox::title, &QGroupBox::setTitle>()),
         ToolTipProp()});
    static const TClassInfo menu(
        "TQMenu", &Base(),
        {TextProp("Caption", 0, MemberAccess<QMenu, &QMenu::title, &QMenu::setTitle>()),
         ToolTipProp()});
    static const TClassInfo action(
        "TQAction", &Base(),
        {TextProp("Caption", 0, MemberAccess<QAction, &QAction::text, &QAction::setText>()),
         TextProp("Hint", 1, kActionToolTip)});
    static const TClassInfo lineEdit(
        "TQLineEdit", &Base(),
        {TextProp("Text", 0, MemberAccess<QLineEdit, &QLineEdit::text, &QLineEdit::setText>()),
         ToolTipProp()});
    static const TClassInfo plainTextEdit("TQPlainTextEdit", &Base(),
                                          {LinesProp("Lines"), ToolTipProp()});
    static const TClassInfo listWidget("TQListWidget", &Base(),
                                       {LinesProp("Items"), ToolTipProp()});
    static const TClassInfo comboBox("TQComboBox", &Base(), {LinesProp("Items"), ToolTipProp()});
    static const TClassInfo treeWidget("TQTreeWidget", &Base(),
                                       {ItemsProp("Columns"), ToolTipProp()});
    static const TClassInfo tableWidget("TQTableWidget", &Base(),
                                        {ItemsProp("Columns"), ToolTipProp()});
    static const TClassInfo tabWidget("TQTabWidget", &Base(), {ItemsProp("Tabs"), ToolTipProp()});
    static const TClassInfo toolBox("TQToolBox", &Base(), {ItemsProp("Tabs"), ToolTipProp()});

    switch (kind) {
    case QtTextKind::None:
        return Base();
    case QtTextKind::Window:
        return window;
    case QtTextKind::Button:
    case QtTextKind::ToolButton:
        return button;
    case QtTextKind::Label:
        return label;
    case QtTextKind::GroupBox:
        return groupBox;
    case QtTextKind::Menu:
        return menu;
    case QtTextKind::Action:
        return action;
    case QtTextKind::LineEdit:
        return lineEdit;
    case QtTextKind::PlainTextEdit:
        return plainTextEdit;
    case QtTextKind::ListWidget:
        return listWidget;
    case QtTextKind::ComboBox:
        return comboBox;
    case QtTextKind::TreeWidget:
        return treeWidget;
    case QtTextKind::TableWidget:
        return tableWidget;
    case QtTextKind::TabWidget:
    case QtTextKind::TabBar:
        return tabWidget;
    case QtTextKind::ToolBox:
        return toolBox;
    }
    return Base();
}

// The functions behind a text slot of a kind, for pushing held texts; nullptr for none.
const TextAccess* SlotAccess(QtTextKind kind, std::size_t slot) {
    if (slot == 1)
        return kind == QtTextKind::Action ? &kActionToolTip
               : kind == QtTextKind::None ? nullptr
                                          : &ToolTipAccess();
    switch (kind) {
    case QtTextKind::Window:
        return &MemberAccess<QWidget, &QWidget::windowTitle, &QWidget::setWindowTitle>();
    case QtTextKind::Button:
    case QtTextKind::ToolButton:
        return &MemberAccess<QAbstractButton, &QAbstractButton::text, &QAbstractButton::setText>();
    case QtTextKind::Label:
        return &MemberAccess<QLabel, &QLabel::text, &QLabel::setText>();
    case QtTextKind::GroupBox:
        return &MemberAccess<QGroupBox, &QGroupBox::title, &QGroupBox::setTitle>();
    case QtTextKind::Menu:
        return &MemberAccess<QMenu, &QMenu::title, &QMenu::setTitle>();
    case QtTextKind::Action:
        return &MemberAccess<QAction, &QAction::text, &QAction::setText>();
    case QtTextKind::LineEdit:
        return &MemberAccess<QLineEdit, &QLineEdit::text, &QLineEdit::setText>();
    default:
        return nullptr;
    }
}

const LineAccess* LinesOf(QtTextKind kind) {
    switch (kind) {
    case QtTextKind::PlainTextEdit:
        return &kPlainTextLines;
    case QtTextKind::ListWidget:
        return &kListWidgetLines;
    case QtTextKind::ComboBox:
        return &kComboBoxLines;
    default:
        return nullptr;
    }
}

const ItemAccess* ItemsOf(QtTextKind kind) {
    switch (kind) {
    case QtTextKind::TreeWidget:
        return &kTreeHeaderItems;
    case QtTextKind::TableWidget:
        return &kTableHeaderItems;
    case QtTextKind::TabWidget:
        return &kTabWidgetItems;
    case QtTextKind::TabBar:
        return &kTabBarItems;
    case QtTextKind::ToolBox:
        return &kToolBoxItems;
    default:
        return nullptr;
    }
}

// The kind of a fully constructed object; the most specific Qt class wins.
QtTextKind KindOf(QObject& object) {
    if (auto* action = qobject_cast<QAction*>(&object)) {
        QObject* parent = action->parent();
        if (auto* menu = qobject_cast<QMenu*>(parent); menu && menu->menuAction() == action)
            return QtTextKind::None;
        if (auto* dock = qobject_cast<QDockWidget*>(parent);
            dock && dock->toggleViewAction() == action)
            return QtTextKind::None;
        if (auto* bar = qobject_cast<QToolBar*>(parent); bar && bar->toggleViewAction() == action)
            return QtTextKind::None;
        return QtTextKind::Action;
    }
    if (!object.isWidgetType())
        return QtTextKind::None;
    auto& widget = static_cast<QWidget&>(object);
    if (qobject_cast<QMenu*>(&widget))
        return QtTextKind::Menu;
    if (qobject_cast<QToolButton*>(&widget))
        return QtTextKind::ToolButton;
    if (qobject_cast<QAbstractButton*>(&widget))
        return QtTextKind::Button;
    if (qobject_cast<QLabel*>(&widget))
        return QtTextKind::Label;
    if (qobject_cast<QGroupBox*>(&widget))
        return QtTextKind::GroupBox;
    if (qobject_cast<QLineEdit*>(&widget)) {
        // The edit field of a combo or spin box shows that widget's value.
        QObject* parent = widget.parent();
        if (qobject_cast<QComboBox*>(parent) || qobject_cast<QAbstractSpinBox*>(parent))
            return QtTextKind::None;
        return QtTextKind::LineEdit;
    }
    if (qobject_cast<QPlainTextEdit*>(&widget))
        return QtTextKind::PlainTextEdit;
    if (qobject_cast<QListWidget*>(&widget))
        return QtTextKind::ListWidget;
    if (qobject_cast<QComboBox*>(&widget))
        return QtTextKind::ComboBox;
    if (qobject_cast<QTreeWidget*>(&widget))
        return QtTextKind::TreeWidget;
    if (qobject_cast<QTableWidget*>(&widget))
        return QtTextKind::TableWidget;
    if (qobject_cast<QTabWidget*>(&widget))
        return QtTextKind::TabWidget;
    if (qobject_cast<QTabBar*>(&widget))
        return QtTextKind::TabBar;
    if (qobject_cast<QToolBox*>(&widget))
        return QtTextKind::ToolBox;
    if (widget.isWindow() || qobject_cast<QDockWidget*>(&widget) ||
        qobject_cast<QToolBar*>(&widget))
        return QtTextKind::Window;
    return QtTextKind::None;
}

bool IsQtInternalName(const std::string& name) {
    return name.size() >= 3 && name.compare(0, 3, "qt_") == 0;
}

int writeDepth = 0;

} // namespace

const TClassInfo& QtTextItem::StaticClassInfo() {
    static const TClassInfo info(
        "TQTextItem", &TCollectionItem::StaticClassInfo(),
        {ItemTextProp("Caption", ItemText::Caption), ItemTextProp("Hint", ItemText::Hint)});
    return info;
}

// --- QtObjectComponent ------------------------------------------------------------------

QtObjectComponent::QtObjectComponent(QObject& object, TComponent* owner,
                                     std::shared_ptr<QtSwitchState> state)
    : TComponent(owner), object_(&object), key_(&object), state_(std::move(state)) {
    SetName(CoreText(object.objectName()).value_or(std::string()));
    ReadTag();
}

QtObjectComponent::~QtObjectComponent() = default;

const TClassInfo& QtObjectComponent::StaticClassInfo() {
    static const TClassInfo info("TQObject", &TComponent::StaticClassInfo());
    return info;
}

const TClassInfo& QtObjectComponent::ClassInfo() const {
    QObject* object = Object();
    // Decided on every call, since these can change after the kind was settled.
    if (object == nullptr || Tag() == LanguageMenuTag || IsQtInternalName(Name()))
        return StaticClassInfo();
    const QtTextKind kind = Kind();
    if (kind == QtTextKind::ToolButton && static_cast<QToolButton*>(object)->defaultAction())
        return StaticClassInfo();
    // Kept: the engine asks for the class on every property access.
    if (class_ == nullptr)
        class_ = &ClassOf(kind);
    return *class_;
}

QtTextKind QtObjectComponent::Kind() const {
    // Decided on first use, not when the object joins the tree: a new child is announced
    // while it is still being constructed, when its class cannot be told yet.
    if (!kind_) {
        QObject* object = Object();
        if (object == nullptr)
            return QtTextKind::None;
        kind_ = KindOf(*object);
    }
    return *kind_;
}

void QtObjectComponent::Detach() {
    object_.clear();
    detached_ = true;
}

void QtObjectComponent::ReadTag() {
    QObject* object = Object();
    if (object == nullptr)
        return;
    bool ok = false;
    const int tag = object->property(kQtTagProperty).toInt(&ok);
    SetTag(ok ? tag : 0);
}

TStrings* QtObjectComponent::SyncedLines() const {
    const LineAccess* access = LinesOf(Kind());
    if (access == nullptr)
        return nullptr;
    if (!lines_) {
        lines_ = std::make_unique<TStringList>();
        lines_->OnChange = [this] { const_cast<QtObjectComponent*>(this)->WriteLines(); };
    }
    const auto readLines = [&](std::vector<std::string>& lines) {
        bool readable = true;
        if (QObject* object = Object()) {
            for (const QString& line : access->Read(*object)) {
                auto text = CoreText(line);
                if (!text) {
                    readable = false;
                    lines.clear();
                    break;
                }
                lines.push_back(std::move(*text));
            }
        }
        return readable;
    };
    std::vector<std::string> lines;
    if (Holding()) {
        // The lines as last written in this switch, read from the widget on first use.
        QtHeldText& held = heldLinesState_;
        if (held.Switch != state_->Switch) {
            heldLines_.clear();
            held.Readable = readLines(heldLines_);
            held.Changed = false;
            held.Switch = state_->Switch;
        }
        lines = heldLines_;
        linesReadable_ = held.Readable;
    } else {
        linesReadable_ = readLines(lines);
    }
    syncedCommaText_ = CommaTextFromLines(lines);
    syncingLines_ = true;
    lines_->SetLines(std::move(lines));
    syncingLines_ = false;
    return lines_.get();
}

void QtObjectComponent::WriteLines() {
    QObject* object = Object();
    const LineAccess* access = LinesOf(Kind());
    if (syncingLines_ || !linesReadable_ || object == nullptr || access == nullptr)
        return;
    // Lines that come back as the cut first 255 characters of their comma-text were not
    // translated (see Replaces): the widget keeps them whole.
    if (syncedCommaText_.size() > kMaxShortString &&
        lines_->Lines() == LinesFromCommaText(syncedCommaText_.substr(0, kMaxShortString)))
        return;
    if (Holding()) {
        if (heldLinesState_.Switch != state_->Switch || heldLines_ != lines_->Lines()) {
            heldLines_ = lines_->Lines();
            heldLinesState_.Switch = state_->Switch;
            heldLinesState_.Readable = true;
            heldLinesState_.Changed = true;
            MarkChanged();
        }
        return;
    }
    std::vector<QString> lines;
    lines.reserve(lines_->Lines().size());
    for (const std::string& line : lines_->Lines())
        lines.push_back(ToQString(line));
    const WriteScope writing;
    access->Write(*object, lines);
}

TCollection* QtObjectComponent::SyncedItems() const {
    const ItemAccess* access = ItemsOf(Kind());
    if (access == nullptr)
        return nullptr;
    if (!items_)
        items_ = std::make_unique<QtItemCollection>(const_cast<QtObjectComponent&>(*this), *access);
    static_cast<QtItemCollection&>(*items_).Sync();
    return items_.get();
}

bool QtObjectComponent::HoldWrite(QtHeldText& held, const std::string& text) {
    if (!held.Readable || text == held.Text)
        return false;
    // As in Replaces: a long text that comes back as its own first 255 characters stays.
    if (held.Text.size() > kMaxShortString && text.size() == kMaxShortString &&
        held.Text.compare(0, kMaxShortString, text) == 0)
        return false;
    held.Text = text;
    held.Changed = true;
    MarkChanged();
    return true;
}

void QtObjectComponent::MarkChanged() {
    if (!inChanged_) {
        inChanged_ = true;
        state_->Changed.push_back(this);
    }
}

void QtObjectComponent::PushHeld() {
    inChanged_ = false;
    const QtTextKind kind = Kind();
    for (std::size_t slot = 0; slot < texts_.size(); ++slot) {
        QtHeldText& held = texts_[slot];
        if (!held.Changed)
            continue;
        held.Changed = false;
        // Checked before every write: the application may react to one by destroying
        // this object.
        QObject* object = Object();
        const TextAccess* access = SlotAccess(kind, slot);
        if (object == nullptr || access == nullptr)
            continue;
        const QString next = ToQString(held.Text);
        if (access->Get(*object) != next)
            access->Set(*object, next);
    }
    if (heldLinesState_.Changed) {
        heldLinesState_.Changed = false;
        QObject* object = Object();
        if (const LineAccess* access = LinesOf(kind); object != nullptr && access != nullptr) {
            std::vector<QString> lines;
            lines.reserve(heldLines_.size());
            for (const std::string& line : heldLines_)
                lines.push_back(ToQString(line));
            access->Write(*object, lines);
        }
    }
    if (items_)
        static_cast<QtItemCollection&>(*items_).PushHeld();
}

bool QtObjectComponent::Writing() {
    return writeDepth > 0;
}

QtObjectComponent::WriteScope::WriteScope() {
    ++writeDepth;
}

QtObjectComponent::WriteScope::~WriteScope() {
    --writeDepth;
}

std::optional<std::string> QtObjectComponent::CoreText(const QString& text) {
    try {
        return FromQString(text);
    } catch (const CodePageError&) {
        return std::nullopt;
    }
}

} // namespace tavrel

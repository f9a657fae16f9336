// Which texts of Qt's objects the translation engine sees, and under which names. Every
// text goes to one of the engine's sections; a text published on a sub-object ("branch")
// is reached as Branch.Section, e.g. StatusTip.Hint.
//
//   Qt object                      published as             Qt text                 default
//   -----------------------------  -----------------------  ----------------------  -------
//   every QWidget                  Hint                     toolTip                 on
//                                  StatusTip.Hint           statusTip               on
//                                  WhatsThis.Hint           whatsThis               on
//                                  AccessibleName.Caption   accessibleName          on
//                                  AccessibleInfo.Hint      accessibleDescription   on
//   window, QDockWidget, QToolBar  Caption                  windowTitle (not when   on
//                                                           derived from or holding
//                                                           the windowFilePath)
//   QAbstractButton                Caption                  text                    on
//   QCommandLinkButton             Details.Memo             description             on
//   QLabel                         Caption                  text                    on
//   QGroupBox, QMenu               Caption                  title                   on
//   QAction                        Caption, Hint            text, own toolTip       on
//                                  StatusTip.Hint, WhatsThis.Hint                   on
//   QLineEdit                      Text                     text (never when the    off
//                                                           echo mode hides input)
//   QLineEdit, QTextEdit,          Placeholder.Hint         placeholderText         on
//     QPlainTextEdit, QComboBox
//   QPlainTextEdit                 Lines.Text               the document's lines    off
//   QSpinBox, QDoubleSpinBox       Prefix.Caption, Suffix.Caption                   on
//   QAbstractSpinBox               SpecialValue.Caption     specialValueText        on
//   QComboBox                      Items.Text               item texts              on when not
//                                                                                   editable and
//                                                                                   on its own
//                                                                                   model
//   QListWidget                    Items.Text               item texts              off
//   QTreeWidget, QTableWidget      Columns.#i.Caption/Hint  header text, tool tip   on
//   QTableWidget                   Rows.#i.Caption/Hint     vertical header         on
//   QTreeWidget, QTableWidget      Cells.#i.Caption/Hint    item text, tool tip     off
//   view on a QStandardItemModel   Columns, Rows, Cells     header data, items      on, on, off
//   QTabWidget, QTabBar, QToolBox  Tabs.#i.Caption/Hint     tab text, tool tip      on
//   QWizardPage                    Caption, SubTitle.Memo   title, subTitle         on
//   QMessageBox                    Caption                  windowTitle             on
//                                  Message.Caption          text                    on
//                                  Informative.Memo         informativeText         on
//                                  Details.Memo             detailedText            on
//
// "off" marks what is normally the user's or the application's data: what the user types,
// the documents he opens, the records a view shows. The dynamic property tavrelLocalize
// (QtBridgeMirror.h) turns such contents on for one object (a read-only line edit showing
// a label, a fixed list of choices) or all of an object's own texts off (a combo box whose
// item texts the application passes on). Items of views default to off because views are
// where applications show their data; the combo box's items default to on because they
// are the choices of the user interface, unless the user can type into it (its items are
// then the user's history) or the application gave it a model of its own (font lists,
// files).
//
// Left alone as well: Qt's own internal objects (objectName starting with "qt_"), the line
// edit inside a combo box or spin box, a tool button that shows an action (the action
// carries the texts), a menu's own menu action and the toggle action of a dock widget or
// tool bar (they repeat a title), objects tagged LanguageMenuTag (generated language-menu
// items), texts Qt derives while they are unset (an action's tool tip from its text, a
// window title from its file path), texts of several lines (a dictionary key is one line),
// and properties that show a bound message (QtMessages).
//
// Text passes through QtText. A Qt text holding a character the code page cannot hold
// is not the engine's: it reads as empty and is never overwritten. A write that would
// not change the text is skipped, so nothing is signalled or relaid out for nothing.
// During a switch the engine's writes are held in the mirror (QtSwitchState) and reach
// each widget once, when the switch is over. A branch is published only while it holds a
// text, so the many empty tips and accessible names cost the engine nothing.

#include "tavrel/localize/OVKPropUtils.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridgeMirror.h"
#include "tavrel/qt/QtText.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/Utf8.h"

#include <algorithm>
#include <array>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QWizardPage>
#include <vector>

namespace tavrel {

enum class QtTextKind : int {
    None,
    Widget,
    Window,
    MessageBox,
    Button,
    ToolButton,
    CommandLink,
    Label,
    GroupBox,
    Menu,
    Action,
    LineEdit,
    PlainTextEdit,
    TextEdit,
    SpinBox,
    DoubleSpinBox,
    AbstractSpinBox,
    ListWidget,
    ComboBox,
    TreeWidget,
    TableWidget,
    ItemView,
    TabWidget,
    TabBar,
    ToolBox,
    WizardPage,
    Count
};

namespace {

constexpr std::size_t kKinds = static_cast<std::size_t>(QtTextKind::Count);

// Dictionaries keep no blanks around their values and keys; the blanks around a text (a
// spin box's " pcs") belong to its layout, so a translation keeps those of the text shown.
std::string KeepBlanks(std::string_view shown, std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (text.empty() || shown.empty())
        return text;
    if (!blank(text.front())) {
        std::size_t n = 0;
        while (n < shown.size() && blank(shown[n]))
            ++n;
        text.insert(0, shown.substr(0, n));
    }
    if (!blank(text.back())) {
        std::size_t n = 0;
        while (n < shown.size() && blank(shown[shown.size() - 1 - n]))
            ++n;
        text.append(shown.substr(shown.size() - n));
    }
    return text;
}

// Whether `text` is `original`'s own first 255 characters, `original` being longer: what a
// look-up gives back for a text it does not know.
bool IsOwnCut(std::string_view original, std::string_view text) {
    return original.size() > text.size() && Utf8Prefix(original, kMaxShortString) == text &&
           Utf8Length(text) == kMaxShortString;
}

// Whether `text` (core) replaces `current` (Qt); sets `next` when it does. A current text
// that is not the engine's (see EngineText) is never replaced. A text longer than the
// engine's look-up width that comes back as its own first 255 characters was not
// translated but cut: the widget keeps it whole (a long label would otherwise lose its end).
bool Replaces(const std::optional<QString>& current, const std::string& text, QString& next) {
    const auto core = QtObjectComponent::EngineText(current);
    if (!core)
        return false;
    next = ToQString(KeepBlanks(*core, text));
    if (next == *current)
        return false;
    return !IsOwnCut(*core, text);
}

// --- Text list: one text of an object, read and written through plain functions -----

using SlotGet = std::optional<QString> (*)(QObject& object, const QtObjectComponent& component);
using SlotSet = void (*)(QObject& object, const QString& text);

struct TextSlot {
    const char* Branch;     // nullptr: published on the object itself
    const char* Section;    // the engine's name of the text: its dictionary section
    const char* QtProperty; // the Qt property shown, for bound messages
    SlotGet Get;
    SlotSet Set;
};

template <class W, QString (W::*Get)() const, void (W::*Set)(const QString&)>
TextSlot Member(const char* branch, const char* section, const char* qtProperty) {
    return {branch, section, qtProperty,
            [](QObject& o, const QtObjectComponent&) -> std::optional<QString> {
                return (static_cast<W&>(o).*Get)();
            },
            [](QObject& o, const QString& text) { (static_cast<W&>(o).*Set)(text); }};
}

// A window title Qt derives from the file path while none is set, or one the application
// built from the file name, shows the user's file: not a text of the application.
std::optional<QString> WindowTitle(QObject& o, const QtObjectComponent&) {
    auto& widget = static_cast<QWidget&>(o);
    const QString title = widget.windowTitle();
    const QString path = widget.windowFilePath();
    if (!path.isEmpty()) {
        const QString file = QFileInfo(path).fileName();
        if (file.isEmpty() || title.contains(file))
            return std::nullopt;
    }
    return title;
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

// Once an action showed a tip of its own, the tip stays its own: a translation may equal
// what Qt would derive from the translated text ("&Zapisz dziennik" / "Zapisz dziennik"),
// and Qt does not tell an explicit tip from a derived one.
constexpr char kOwnToolTipProperty[] = "tavrelOwnToolTip";

std::optional<QString> OwnActionToolTip(QObject& o, const QtObjectComponent&) {
    auto& action = static_cast<QAction&>(o);
    const QString tip = action.toolTip();
    if (tip != DerivedActionToolTip(action)) {
        action.setProperty(kOwnToolTipProperty, true);
        return tip;
    }
    return action.property(kOwnToolTipProperty).toBool() ? tip : QString();
}

bool HidesInput(const QLineEdit& edit) {
    return edit.echoMode() != QLineEdit::Normal;
}

// What the user typed is his; an application opts a line edit in when it shows a text of
// its own. Hidden input (passwords) never is a text, opted in or not.
std::optional<QString> LineEditText(QObject& o, const QtObjectComponent& component) {
    const auto& edit = static_cast<QLineEdit&>(o);
    if (component.OptIn() != true || HidesInput(edit))
        return std::nullopt;
    return edit.text();
}

TextSlot WidgetToolTip() {
    return Member<QWidget, &QWidget::toolTip, &QWidget::setToolTip>(nullptr, "Hint", "toolTip");
}

// The texts every widget has.
void AddWidgetSlots(std::vector<TextSlot>& list) {
    list.push_back(WidgetToolTip());
    list.push_back(Member<QWidget, &QWidget::statusTip, &QWidget::setStatusTip>("StatusTip", "Hint",
                                                                                "statusTip"));
    list.push_back(Member<QWidget, &QWidget::whatsThis, &QWidget::setWhatsThis>("WhatsThis", "Hint",
                                                                                "whatsThis"));
    list.push_back(Member<QWidget, &QWidget::accessibleName, &QWidget::setAccessibleName>(
        "AccessibleName", "Caption", "accessibleName"));
    list.push_back(
        Member<QWidget, &QWidget::accessibleDescription, &QWidget::setAccessibleDescription>(
            "AccessibleInfo", "Hint", "accessibleDescription"));
}

template <class W> TextSlot Placeholder() {
    return Member<W, &W::placeholderText, &W::setPlaceholderText>("Placeholder", "Hint",
                                                                  "placeholderText");
}

template <class W> void AddAffixSlots(std::vector<TextSlot>& list) {
    list.push_back(Member<W, &W::prefix, &W::setPrefix>("Prefix", "Caption", "prefix"));
    list.push_back(Member<W, &W::suffix, &W::setSuffix>("Suffix", "Caption", "suffix"));
}

TextSlot SpecialValue() {
    return Member<QAbstractSpinBox, &QAbstractSpinBox::specialValueText,
                  &QAbstractSpinBox::setSpecialValueText>("SpecialValue", "Caption",
                                                          "specialValueText");
}

std::vector<TextSlot> BuildSlots(QtTextKind kind) {
    std::vector<TextSlot> list;
    const auto add = [&](TextSlot slot) { list.push_back(slot); };
    switch (kind) {
    case QtTextKind::None:
    case QtTextKind::Count:
        return list;
    case QtTextKind::Action:
        list.push_back(
            Member<QAction, &QAction::text, &QAction::setText>(nullptr, "Caption", "text"));
        list.push_back(
            {nullptr, "Hint", "toolTip", OwnActionToolTip,
             [](QObject& o, const QString& t) { static_cast<QAction&>(o).setToolTip(t); }});
        list.push_back(Member<QAction, &QAction::statusTip, &QAction::setStatusTip>(
            "StatusTip", "Hint", "statusTip"));
        list.push_back(Member<QAction, &QAction::whatsThis, &QAction::setWhatsThis>(
            "WhatsThis", "Hint", "whatsThis"));
        return list;
    case QtTextKind::Window:
        add({nullptr, "Caption", "windowTitle", WindowTitle,
             [](QObject& o, const QString& t) { static_cast<QWidget&>(o).setWindowTitle(t); }});
        break;
    case QtTextKind::MessageBox:
        add({nullptr, "Caption", "windowTitle", WindowTitle,
             [](QObject& o, const QString& t) { static_cast<QWidget&>(o).setWindowTitle(t); }});
        add(Member<QMessageBox, &QMessageBox::text, &QMessageBox::setText>("Message", "Caption",
                                                                           "text"));
        add(Member<QMessageBox, &QMessageBox::informativeText, &QMessageBox::setInformativeText>(
            "Informative", "Memo", "informativeText"));
        add(Member<QMessageBox, &QMessageBox::detailedText, &QMessageBox::setDetailedText>(
            "Details", "Memo", "detailedText"));
        break;
    case QtTextKind::Button:
    case QtTextKind::ToolButton:
        add(Member<QAbstractButton, &QAbstractButton::text, &QAbstractButton::setText>(
            nullptr, "Caption", "text"));
        break;
    case QtTextKind::CommandLink:
        add(Member<QAbstractButton, &QAbstractButton::text, &QAbstractButton::setText>(
            nullptr, "Caption", "text"));
        add(Member<QCommandLinkButton, &QCommandLinkButton::description,
                   &QCommandLinkButton::setDescription>("Details", "Memo", "description"));
        break;
    case QtTextKind::Label:
        add(Member<QLabel, &QLabel::text, &QLabel::setText>(nullptr, "Caption", "text"));
        break;
    case QtTextKind::GroupBox:
        add(Member<QGroupBox, &QGroupBox::title, &QGroupBox::setTitle>(nullptr, "Caption",
                                                                       "title"));
        break;
    case QtTextKind::Menu:
        add(Member<QMenu, &QMenu::title, &QMenu::setTitle>(nullptr, "Caption", "title"));
        break;
    case QtTextKind::LineEdit:
        add({nullptr, "Text", "text", LineEditText,
             [](QObject& o, const QString& t) { static_cast<QLineEdit&>(o).setText(t); }});
        add(Placeholder<QLineEdit>());
        break;
    case QtTextKind::PlainTextEdit:
        add(Placeholder<QPlainTextEdit>());
        break;
    case QtTextKind::TextEdit:
        add(Placeholder<QTextEdit>());
        break;
    case QtTextKind::ComboBox:
        add(Placeholder<QComboBox>());
        break;
    case QtTextKind::SpinBox:
        AddAffixSlots<QSpinBox>(list);
        add(SpecialValue());
        break;
    case QtTextKind::DoubleSpinBox:
        AddAffixSlots<QDoubleSpinBox>(list);
        add(SpecialValue());
        break;
    case QtTextKind::AbstractSpinBox:
        add(SpecialValue());
        break;
    case QtTextKind::WizardPage:
        add(Member<QWizardPage, &QWizardPage::title, &QWizardPage::setTitle>(nullptr, "Caption",
                                                                             "title"));
        add(Member<QWizardPage, &QWizardPage::subTitle, &QWizardPage::setSubTitle>(
            "SubTitle", "Memo", "subTitle"));
        break;
    case QtTextKind::Widget:
    case QtTextKind::ListWidget:
    case QtTextKind::TreeWidget:
    case QtTextKind::TableWidget:
    case QtTextKind::ItemView:
    case QtTextKind::TabWidget:
    case QtTextKind::TabBar:
    case QtTextKind::ToolBox:
        break;
    }
    AddWidgetSlots(list);
    return list;
}

const std::vector<TextSlot>& SlotsOf(QtTextKind kind) {
    static const std::array<std::vector<TextSlot>, kKinds> all = [] {
        std::array<std::vector<TextSlot>, kKinds> list;
        for (std::size_t k = 0; k < kKinds; ++k)
            list[k] = BuildSlots(static_cast<QtTextKind>(k));
        return list;
    }();
    return all[static_cast<std::size_t>(kind)];
}

const TextSlot* SlotOf(QtTextKind kind, int slot) {
    const auto& list = SlotsOf(kind);
    return slot >= 0 && static_cast<std::size_t>(slot) < list.size()
               ? &list[static_cast<std::size_t>(slot)]
               : nullptr;
}

std::optional<QString> ReadSlot(const TextSlot& slot, QObject& object,
                                const QtObjectComponent& component) {
    if (component.Bound(slot.QtProperty))
        return std::nullopt;
    return slot.Get(object, component);
}

// --- String lists: the lines of a widget, read and written as a whole -----------------

struct LineAccess {
    // Whether the lines are texts of the application (see the table's defaults).
    bool (*Included)(QObject& object, const QtObjectComponent& component);
    std::vector<QString> (*Read)(QObject& object);
    // Writes the lines, changing only what differs; stops if the widget goes away.
    void (*Write)(QObject& object, const std::vector<QString>& lines);
};

bool OptedIn(QObject&, const QtObjectComponent& component) {
    return component.OptIn() == true;
}

// A combo box's items are the choices of the user interface, unless the user types into it
// or the application gave it a model of its own.
bool ComboItemsIncluded(QObject& o, const QtObjectComponent& component) {
    if (component.OptIn())
        return *component.OptIn();
    const auto& combo = static_cast<QComboBox&>(o);
    const QAbstractItemModel* model = combo.model();
    return !combo.isEditable() && qobject_cast<const QStandardItemModel*>(model) != nullptr &&
           model->parent() == &combo;
}

const LineAccess kListWidgetLines{
    OptedIn,
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
    ComboItemsIncluded,
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

// A document is the user's; an application opts in a plain text edit that shows its own.
const LineAccess kPlainTextLines{OptedIn, PlainTextLines, SetPlainTextLines};

// --- Indexed texts: headers, tabs, cells -----------------------------------------------

enum class ItemText { Caption, Hint };

// The roles of a widget's indexed texts, each published under its own name.
enum ItemRole : int { kColumns, kRows, kCells };

struct ItemAccess {
    int (*Count)(QObject& object);
    // Nothing for an index that shows no text of the application (a missing header item).
    std::optional<QString> (*Get)(QObject& object, int index, ItemText which);
    void (*Set)(QObject& object, int index, ItemText which, const QString& text);
};

template <class Item> std::optional<QString> ItemTextOf(const Item* item, ItemText which) {
    if (item == nullptr)
        return std::nullopt;
    return which == ItemText::Caption ? item->text() : item->toolTip();
}

template <class Item> void SetItemTextOf(Item* item, ItemText which, const QString& text) {
    if (item == nullptr)
        return;
    if (which == ItemText::Caption)
        item->setText(text);
    else
        item->setToolTip(text);
}

const ItemAccess kTreeHeaderItems{
    [](QObject& o) { return static_cast<QTreeWidget&>(o).columnCount(); },
    [](QObject& o, int i, ItemText which) -> std::optional<QString> {
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

// A column or row without a header item shows its number: no text of the application.
template <Qt::Orientation O> const ItemAccess& TableHeaderItems() {
    static const ItemAccess access{
        [](QObject& o) {
            auto& table = static_cast<QTableWidget&>(o);
            return O == Qt::Horizontal ? table.columnCount() : table.rowCount();
        },
        [](QObject& o, int i, ItemText which) {
            auto& table = static_cast<QTableWidget&>(o);
            return ItemTextOf(O == Qt::Horizontal ? table.horizontalHeaderItem(i)
                                                  : table.verticalHeaderItem(i),
                              which);
        },
        [](QObject& o, int i, ItemText which, const QString& text) {
            auto& table = static_cast<QTableWidget&>(o);
            SetItemTextOf(O == Qt::Horizontal ? table.horizontalHeaderItem(i)
                                              : table.verticalHeaderItem(i),
                          which, text);
        }};
    return access;
}

// The items of a tree widget, depth first, each with one cell per column.
QTreeWidgetItem* TreeItemAt(QTreeWidget& tree, int index) {
    for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) {
        if (index-- == 0)
            return *it;
    }
    return nullptr;
}

int TreeItemCount(QTreeWidget& tree) {
    int count = 0;
    for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it)
        ++count;
    return count;
}

const ItemAccess kTreeCells{
    [](QObject& o) {
        auto& tree = static_cast<QTreeWidget&>(o);
        return TreeItemCount(tree) * tree.columnCount();
    },
    [](QObject& o, int i, ItemText which) -> std::optional<QString> {
        auto& tree = static_cast<QTreeWidget&>(o);
        const int columns = tree.columnCount();
        const QTreeWidgetItem* item = columns > 0 ? TreeItemAt(tree, i / columns) : nullptr;
        if (item == nullptr)
            return std::nullopt;
        return which == ItemText::Caption ? item->text(i % columns) : item->toolTip(i % columns);
    },
    [](QObject& o, int i, ItemText which, const QString& text) {
        auto& tree = static_cast<QTreeWidget&>(o);
        const int columns = tree.columnCount();
        QTreeWidgetItem* item = columns > 0 ? TreeItemAt(tree, i / columns) : nullptr;
        if (item == nullptr)
            return;
        if (which == ItemText::Caption)
            item->setText(i % columns, text);
        else
            item->setToolTip(i % columns, text);
    }};

const ItemAccess kTableCells{[](QObject& o) {
                                 auto& table = static_cast<QTableWidget&>(o);
                                 return table.rowCount() * table.columnCount();
                             },
                             [](QObject& o, int i, ItemText which) {
                                 auto& table = static_cast<QTableWidget&>(o);
                                 const int columns = std::max(table.columnCount(), 1);
                                 return ItemTextOf(table.item(i / columns, i % columns), which);
                             },
                             [](QObject& o, int i, ItemText which, const QString& text) {
                                 auto& table = static_cast<QTableWidget&>(o);
                                 const int columns = std::max(table.columnCount(), 1);
                                 SetItemTextOf(table.item(i / columns, i % columns), which, text);
                             }};

QStandardItemModel* StandardModel(QObject& view) {
    return qobject_cast<QStandardItemModel*>(static_cast<QAbstractItemView&>(view).model());
}

template <Qt::Orientation O> const ItemAccess& ModelHeaderItems() {
    static const ItemAccess access{
        [](QObject& o) {
            QStandardItemModel* model = StandardModel(o);
            return model == nullptr      ? 0
                   : O == Qt::Horizontal ? model->columnCount()
                                         : model->rowCount();
        },
        [](QObject& o, int i, ItemText which) {
            QStandardItemModel* model = StandardModel(o);
            return ItemTextOf(O == Qt::Horizontal ? model->horizontalHeaderItem(i)
                                                  : model->verticalHeaderItem(i),
                              which);
        },
        [](QObject& o, int i, ItemText which, const QString& text) {
            QStandardItemModel* model = StandardModel(o);
            SetItemTextOf(O == Qt::Horizontal ? model->horizontalHeaderItem(i)
                                              : model->verticalHeaderItem(i),
                          which, text);
        }};
    return access;
}

// The items of a standard item model, depth first.
void CollectModelItems(QStandardItem& parent, std::vector<QStandardItem*>& items) {
    for (int row = 0; row < parent.rowCount(); ++row) {
        for (int column = 0; column < parent.columnCount(); ++column) {
            if (QStandardItem* item = parent.child(row, column)) {
                items.push_back(item);
                CollectModelItems(*item, items);
            }
        }
    }
}

std::vector<QStandardItem*> ModelItems(QObject& view) {
    std::vector<QStandardItem*> items;
    if (QStandardItemModel* model = StandardModel(view))
        CollectModelItems(*model->invisibleRootItem(), items);
    return items;
}

QStandardItem* ModelItemAt(QObject& view, int index) {
    const auto items = ModelItems(view);
    return index >= 0 && static_cast<std::size_t>(index) < items.size()
               ? items[static_cast<std::size_t>(index)]
               : nullptr;
}

const ItemAccess kModelCells{
    [](QObject& o) { return static_cast<int>(ModelItems(o).size()); },
    [](QObject& o, int i, ItemText which) { return ItemTextOf(ModelItemAt(o, i), which); },
    [](QObject& o, int i, ItemText which, const QString& text) {
        SetItemTextOf(ModelItemAt(o, i), which, text);
    }};

// QTabWidget and QTabBar share the names of their tab functions.
template <class W> ItemAccess TabItems() {
    return {[](QObject& o) { return static_cast<W&>(o).count(); },
            [](QObject& o, int i, ItemText which) -> std::optional<QString> {
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

const ItemAccess kToolBoxItems{[](QObject& o) { return static_cast<QToolBox&>(o).count(); },
                               [](QObject& o, int i, ItemText which) -> std::optional<QString> {
                                   auto& box = static_cast<QToolBox&>(o);
                                   return which == ItemText::Caption ? box.itemText(i)
                                                                     : box.itemToolTip(i);
                               },
                               [](QObject& o, int i, ItemText which, const QString& text) {
                                   auto& box = static_cast<QToolBox&>(o);
                                   if (which == ItemText::Caption)
                                       box.setItemText(i, text);
                                   else
                                       box.setItemToolTip(i, text);
                               }};

// The indexed texts of a kind in one role: where they are published, and whether they are
// texts of the application.
struct ItemsSlot {
    const char* Name = nullptr;
    const ItemAccess* Access = nullptr;
    bool (*Included)(QObject& object, const QtObjectComponent& component) = nullptr;
};

bool Always(QObject&, const QtObjectComponent&) {
    return true;
}

ItemsSlot ItemsOf(QtTextKind kind, int role) {
    switch (kind) {
    case QtTextKind::TreeWidget:
        if (role == kColumns)
            return {"Columns", &kTreeHeaderItems, Always};
        if (role == kCells)
            return {"Cells", &kTreeCells, OptedIn};
        break;
    case QtTextKind::TableWidget:
        if (role == kColumns)
            return {"Columns", &TableHeaderItems<Qt::Horizontal>(), Always};
        if (role == kRows)
            return {"Rows", &TableHeaderItems<Qt::Vertical>(), Always};
        return {"Cells", &kTableCells, OptedIn};
    case QtTextKind::ItemView:
        if (role == kColumns)
            return {"Columns", &ModelHeaderItems<Qt::Horizontal>(), Always};
        if (role == kRows)
            return {"Rows", &ModelHeaderItems<Qt::Vertical>(), Always};
        return {"Cells", &kModelCells, OptedIn};
    case QtTextKind::TabWidget:
        if (role == kColumns)
            return {"Tabs", &kTabWidgetItems, Always};
        break;
    case QtTextKind::TabBar:
        if (role == kColumns)
            return {"Tabs", &kTabBarItems, Always};
        break;
    case QtTextKind::ToolBox:
        if (role == kColumns)
            return {"Tabs", &kToolBoxItems, Always};
        break;
    default:
        break;
    }
    return {};
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

const char* LinesName(QtTextKind kind) {
    return kind == QtTextKind::PlainTextEdit ? "Lines" : "Items";
}

// The collection of a widget's indexed texts; it has as many items as the widget has
// columns, rows, cells or tabs at the moment it is handed to the engine.
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
    return QtObjectComponent::EngineText(access_.Get(*object, index, which))
        .value_or(std::string());
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
            const auto current = access_.Get(*object, index, which);
            if (current && *current != next)
                access_.Set(*object, index, which, next);
        }
    }
}

// A text of an object published on a sub-object of its own (StatusTip.Hint): the engine
// reaches it as a branch of the object's property tree.
class QtTextPart : public TPersistent {
public:
    QtTextPart(QtObjectComponent& owner, int slot, const TClassInfo& cls)
        : owner_(owner), slot_(slot), class_(cls) {}
    const TClassInfo& ClassInfo() const override { return class_; }
    QtObjectComponent& Owner() const { return owner_; }
    int Slot() const { return slot_; }

private:
    QtObjectComponent& owner_;
    int slot_;
    const TClassInfo& class_;
};

// A text property reading and writing slot `slot` of the component it belongs to; on a
// part, the part's slot.
TPropInfo SlotProp(std::string name, int slot) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::LongString;
    p.GetString = [slot](const TPersistent& o) -> std::string {
        if (const auto* part = dynamic_cast<const QtTextPart*>(&o))
            return part->Owner().SlotText(part->Slot());
        return const_cast<QtObjectComponent&>(static_cast<const QtObjectComponent&>(o))
            .SlotText(slot);
    };
    p.SetString = [slot](TPersistent& o, const std::string& text) {
        if (auto* part = dynamic_cast<QtTextPart*>(&o))
            part->Owner().SetSlotText(part->Slot(), text);
        else
            static_cast<QtObjectComponent&>(o).SetSlotText(slot, text);
    };
    return p;
}

const TClassInfo& PartClass(std::string_view section) {
    static const TClassInfo caption("TQCaptionText", &TPersistent::StaticClassInfo(),
                                    {SlotProp("Caption", -1)});
    static const TClassInfo hint("TQHintText", &TPersistent::StaticClassInfo(),
                                 {SlotProp("Hint", -1)});
    static const TClassInfo memo("TQMemoText", &TPersistent::StaticClassInfo(),
                                 {SlotProp("Memo", -1)});
    return section == "Caption" ? caption : section == "Hint" ? hint : memo;
}

// Object-reference properties handing the engine a widget's lines, indexed texts or parts.
TPropInfo ObjectRef(std::string name, std::function<TPersistent*(const QtObjectComponent&)> get) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Class;
    p.GetObject = [get = std::move(get)](const TPersistent& o) -> TPersistent* {
        return get(static_cast<const QtObjectComponent&>(o));
    };
    return p;
}

// --- The classes ----------------------------------------------------------------------

const TClassInfo& Base() {
    return QtObjectComponent::StaticClassInfo();
}

constexpr std::array<const char*, kKinds> kClassNames{
    "TQObject",        "TQWidget",          "TQWindow",        "TQMessageBox", "TQButton",
    "TQToolButton",    "TQCommandLink",     "TQLabel",         "TQGroupBox",   "TQMenu",
    "TQAction",        "TQLineEdit",        "TQPlainTextEdit", "TQTextEdit",   "TQSpinBox",
    "TQDoubleSpinBox", "TQAbstractSpinBox", "TQListWidget",    "TQComboBox",   "TQTreeWidget",
    "TQTableWidget",   "TQItemView",        "TQTabWidget",     "TQTabBar",     "TQToolBox",
    "TQWizardPage"};
// One name per kind: a kind added without a name would leave the last one empty.
static_assert(kClassNames.back() != nullptr);

std::unique_ptr<TClassInfo> BuildClass(QtTextKind kind) {
    auto info = std::make_unique<TClassInfo>(kClassNames[static_cast<std::size_t>(kind)], &Base());
    const auto& list = SlotsOf(kind);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const int slot = static_cast<int>(i);
        if (list[i].Branch == nullptr)
            info->Add(SlotProp(list[i].Section, slot));
        else
            info->Add(ObjectRef(list[i].Branch,
                                [slot](const QtObjectComponent& c) { return c.Part(slot); }));
    }
    if (LinesOf(kind) != nullptr)
        info->Add(ObjectRef(LinesName(kind), [](const QtObjectComponent& c) -> TPersistent* {
            return c.SyncedLines();
        }));
    for (int role : {kColumns, kRows, kCells}) {
        if (const ItemsSlot items = ItemsOf(kind, role); items.Access != nullptr)
            info->Add(ObjectRef(items.Name, [role](const QtObjectComponent& c) -> TPersistent* {
                return c.SyncedItems(role);
            }));
    }
    return info;
}

const TClassInfo& ClassOf(QtTextKind kind) {
    static const std::array<std::unique_ptr<TClassInfo>, kKinds> classes = [] {
        std::array<std::unique_ptr<TClassInfo>, kKinds> built;
        for (std::size_t k = 1; k < kKinds; ++k)
            built[k] = BuildClass(static_cast<QtTextKind>(k));
        return built;
    }();
    return kind == QtTextKind::None ? Base() : *classes[static_cast<std::size_t>(kind)];
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
    QObject* parent = widget.parent();
    if (qobject_cast<QMenu*>(&widget))
        return QtTextKind::Menu;
    if (qobject_cast<QToolButton*>(&widget)) {
        // A tab bar's scroll buttons carry Qt's own accessible names.
        if (qobject_cast<QTabBar*>(parent))
            return QtTextKind::None;
        return QtTextKind::ToolButton;
    }
    if (qobject_cast<QCommandLinkButton*>(&widget))
        return QtTextKind::CommandLink;
    if (qobject_cast<QAbstractButton*>(&widget))
        return QtTextKind::Button;
    if (qobject_cast<QLabel*>(&widget))
        return QtTextKind::Label;
    if (qobject_cast<QGroupBox*>(&widget))
        return QtTextKind::GroupBox;
    if (qobject_cast<QLineEdit*>(&widget)) {
        // The edit field of a combo or spin box shows that widget's value.
        if (qobject_cast<QComboBox*>(parent) || qobject_cast<QAbstractSpinBox*>(parent))
            return QtTextKind::None;
        return QtTextKind::LineEdit;
    }
    if (qobject_cast<QPlainTextEdit*>(&widget))
        return QtTextKind::PlainTextEdit;
    if (qobject_cast<QTextEdit*>(&widget))
        return QtTextKind::TextEdit;
    if (qobject_cast<QSpinBox*>(&widget))
        return QtTextKind::SpinBox;
    if (qobject_cast<QDoubleSpinBox*>(&widget))
        return QtTextKind::DoubleSpinBox;
    if (qobject_cast<QAbstractSpinBox*>(&widget))
        return QtTextKind::AbstractSpinBox;
    if (qobject_cast<QListWidget*>(&widget))
        return QtTextKind::ListWidget;
    if (qobject_cast<QComboBox*>(&widget))
        return QtTextKind::ComboBox;
    if (qobject_cast<QTreeWidget*>(&widget))
        return QtTextKind::TreeWidget;
    if (qobject_cast<QTableWidget*>(&widget))
        return QtTextKind::TableWidget;
    // A header view shows its view's header data, which the view publishes.
    if (qobject_cast<QHeaderView*>(&widget))
        return QtTextKind::Widget;
    if (qobject_cast<QAbstractItemView*>(&widget))
        return QtTextKind::ItemView;
    if (qobject_cast<QTabWidget*>(&widget))
        return QtTextKind::TabWidget;
    if (qobject_cast<QTabBar*>(&widget))
        return QtTextKind::TabBar;
    if (qobject_cast<QToolBox*>(&widget))
        return QtTextKind::ToolBox;
    if (qobject_cast<QWizardPage*>(&widget))
        return QtTextKind::WizardPage;
    if (qobject_cast<QMessageBox*>(&widget))
        return QtTextKind::MessageBox;
    if (widget.isWindow() || qobject_cast<QDockWidget*>(&widget) ||
        qobject_cast<QToolBar*>(&widget))
        return QtTextKind::Window;
    return QtTextKind::Widget;
}

bool IsQtInternalName(const std::string& name) {
    return name.size() >= 3 && name.compare(0, 3, "qt_") == 0;
}

bool HasLineBreak(const QString& text) {
    for (const QChar c : text) {
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return true;
    }
    return false;
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

std::vector<std::string> QtObjectComponent::MenuNames() const {
    const QObject* object = object_.data();
    const QAction* action = qobject_cast<const QAction*>(object);
    if (const auto* menu = qobject_cast<const QMenu*>(object))
        action = menu->menuAction();
    std::vector<std::string> names;
    if (action == nullptr)
        return names;
    for (const QObject* holder : action->associatedObjects()) {
        if (holder == object)
            continue;
        QString name = holder->objectName();
        if (const auto* menu = qobject_cast<const QMenu*>(holder); menu && name.isEmpty())
            name = menu->title();
        else if (!qobject_cast<const QMenuBar*>(holder) && !menu)
            continue; // a tool bar's button: no accelerator of its own
        if (name.isEmpty())
            name = QStringLiteral("menu bar");
        std::string core = FromQString(name);
        if (std::find(names.begin(), names.end(), core) == names.end())
            names.push_back(std::move(core));
    }
    return names;
}

const TClassInfo& QtObjectComponent::ClassInfo() const {
    QObject* object = Object();
    // Decided on every call, since these can change after the kind was settled.
    if (object == nullptr || Tag() == LanguageMenuTag || IsQtInternalName(Name()) ||
        optIn_ == false)
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
    const QVariant optIn = object->property(kQtLocalizeProperty);
    optIn_ = optIn.isValid() ? std::optional<bool>(optIn.toBool()) : std::nullopt;
    bound_.clear();
    for (const QString& name : object->property(kQtBoundProperty).toStringList())
        bound_.push_back(name);
}

bool QtObjectComponent::Bound(const char* name) const {
    if (bound_.empty() || name == nullptr)
        return false;
    const QString qtName = QString::fromLatin1(name);
    return std::find(bound_.begin(), bound_.end(), qtName) != bound_.end();
}

std::string QtObjectComponent::SlotText(int slot) {
    QObject* object = Object();
    const TextSlot* s = SlotOf(Kind(), slot);
    if (object == nullptr || s == nullptr)
        return std::string();
    const auto read = [&] { return ReadSlot(*s, *object, *this); };
    if (Holding()) {
        const QtHeldText& held = HeldText(slot, read);
        return held.Readable ? held.Text : std::string();
    }
    return EngineText(read()).value_or(std::string());
}

void QtObjectComponent::SetSlotText(int slot, const std::string& text) {
    QObject* object = Object();
    const TextSlot* s = SlotOf(Kind(), slot);
    if (object == nullptr || s == nullptr)
        return;
    const auto read = [&] { return ReadSlot(*s, *object, *this); };
    if (Holding()) {
        HoldWrite(HeldText(slot, read), text);
        return;
    }
    QString next;
    if (!Replaces(read(), text, next))
        return;
    const WriteScope writing;
    s->Set(*object, next);
}

TPersistent* QtObjectComponent::Part(int slot) const {
    const TextSlot* s = SlotOf(Kind(), slot);
    if (s == nullptr || s->Branch == nullptr)
        return nullptr;
    // Published only while it holds a text, or while a switch changed it: an empty tip is
    // nothing to look up, and an empty text the engine fills would be a text nobody wrote.
    auto& self = const_cast<QtObjectComponent&>(*this);
    const bool changed = Holding() && static_cast<std::size_t>(slot) < texts_.size() &&
                         texts_[static_cast<std::size_t>(slot)].Switch == state_->Switch &&
                         texts_[static_cast<std::size_t>(slot)].Changed;
    if (!changed && self.SlotText(slot).empty())
        return nullptr;
    if (parts_.size() <= static_cast<std::size_t>(slot))
        parts_.resize(static_cast<std::size_t>(slot) + 1);
    auto& part = parts_[static_cast<std::size_t>(slot)];
    if (!part)
        part = std::make_unique<QtTextPart>(self, slot, PartClass(s->Section));
    return part.get();
}

TStrings* QtObjectComponent::SyncedLines() const {
    const LineAccess* access = LinesOf(Kind());
    QObject* current = Object();
    if (access == nullptr || current == nullptr || !access->Included(*current, *this))
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
    if (syncingLines_ || !linesReadable_ || object == nullptr || access == nullptr ||
        !access->Included(*object, *this))
        return;
    // Lines that come back as the cut first 255 characters of their comma-text were not
    // translated (see Replaces): the widget keeps them whole.
    if (syncedCommaText_.size() > kMaxShortString &&
        lines_->Lines() ==
            LinesFromCommaText(std::string(Utf8Prefix(syncedCommaText_, kMaxShortString))))
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

TCollection* QtObjectComponent::SyncedItems(int role) const {
    const ItemsSlot items = ItemsOf(Kind(), role);
    QObject* object = Object();
    if (items.Access == nullptr || object == nullptr || !items.Included(*object, *this))
        return nullptr;
    auto& collection = items_[static_cast<std::size_t>(role)];
    if (!collection)
        collection = std::make_unique<QtItemCollection>(const_cast<QtObjectComponent&>(*this),
                                                        *items.Access);
    static_cast<QtItemCollection&>(*collection).Sync();
    return collection.get();
}

bool QtObjectComponent::HoldWrite(QtHeldText& held, const std::string& written) {
    const std::string text = KeepBlanks(held.Text, written);
    if (!held.Readable || text == held.Text)
        return false;
    // As in Replaces: a long text that comes back as its own first 255 characters stays.
    if (IsOwnCut(held.Text, text))
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
        // this object, or change what the text is.
        QObject* object = Object();
        const TextSlot* s = SlotOf(kind, static_cast<int>(slot));
        if (object == nullptr || s == nullptr)
            continue;
        const QString next = ToQString(held.Text);
        const auto current = ReadSlot(*s, *object, *this);
        if (current && *current != next)
            s->Set(*object, next);
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
    for (const auto& collection : items_) {
        if (collection)
            static_cast<QtItemCollection&>(*collection).PushHeld();
    }
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
    return FromQString(text);
}

std::optional<std::string> QtObjectComponent::EngineText(const std::optional<QString>& text) {
    if (!text || HasLineBreak(*text))
        return std::nullopt;
    return CoreText(*text);
}

} // namespace tavrel

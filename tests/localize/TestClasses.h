#pragma once

// Application-like classes for the reflection tests: a form with buttons, a list box with a
// string list, a grid with a collection of columns, a query with an SQL text, a font-like
// sub-object, a wide-string label and a few oddities.

#include "tavrel/localize/TCollection.h"
#include "tavrel/localize/TComponent.h"
#include "tavrel/localize/TStrings.h"

#include <memory>
#include <string>

namespace tavrel::test {

// Only a Name among its strings, like a font: contributes nothing to trees.
class TFont : public TPersistent {
    TAVREL_CLASS(TFont)
public:
    std::string name = "Tahoma";
};

inline const TClassInfo& TFont::StaticClassInfo() {
    static const TClassInfo info("TFont", &TPersistent::StaticClassInfo(),
                                 {StringProp("Name", &TFont::name), OtherProp("Size")});
    return info;
}

// A component referred to by other components' properties.
class TPopupMenu : public TComponent {
    TAVREL_CLASS(TPopupMenu)
public:
    using TComponent::TComponent;
    std::string caption = "popup";
};

inline const TClassInfo& TPopupMenu::StaticClassInfo() {
    static const TClassInfo info("TPopupMenu", &TComponent::StaticClassInfo(),
                                 {StringProp("Caption", &TPopupMenu::caption)});
    return info;
}

class TButton : public TComponent {
    TAVREL_CLASS(TButton)
public:
    using TComponent::TComponent;
    std::string caption, hint;
    std::unique_ptr<TFont> font = std::make_unique<TFont>();
    TPopupMenu* popupMenu = nullptr;
};

inline const TClassInfo& TButton::StaticClassInfo() {
    static const TClassInfo info(
        "TButton", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TButton::caption), StringProp("Hint", &TButton::hint),
         ObjectProp("Font", &TButton::font), ObjectProp("PopupMenu", &TButton::popupMenu),
         OtherProp("Enabled")});
    return info;
}

class TListBox : public TComponent {
    TAVREL_CLASS(TListBox)
public:
    using TComponent::TComponent;
    std::string caption, hint;
    std::unique_ptr<TFont> font = std::make_unique<TFont>();
    std::unique_ptr<TStringList> items = std::make_unique<TStringList>();
    TPopupMenu* popupMenu = nullptr;
};

inline const TClassInfo& TListBox::StaticClassInfo() {
    static const TClassInfo info(
        "TListBox", &TComponent::StaticClassInfo(),
        {StringProp("Hint", &TListBox::hint), StringProp("Caption", &TListBox::caption),
         ObjectProp("Items", &TListBox::items), ObjectProp("Font", &TListBox::font),
         ObjectProp("PopupMenu", &TListBox::popupMenu)});
    return info;
}

class TColumnTitle : public TPersistent {
    TAVREL_CLASS(TColumnTitle)
public:
    std::string caption;
};

inline const TClassInfo& TColumnTitle::StaticClassInfo() {
    static const TClassInfo info("TColumnTitle", &TPersistent::StaticClassInfo(),
                                 {StringProp("Caption", &TColumnTitle::caption)});
    return info;
}

// Shows its caption as display name; without one, the class name.
class TColumn : public TCollectionItem {
    TAVREL_CLASS(TColumn)
public:
    explicit TColumn(std::string c = "") : caption(std::move(c)) {}
    std::string DisplayName() const override {
        return caption.empty() ? TCollectionItem::DisplayName() : caption;
    }
    std::string caption;
    std::unique_ptr<TColumnTitle> title = std::make_unique<TColumnTitle>();
};

inline const TClassInfo& TColumn::StaticClassInfo() {
    static const TClassInfo info("TColumn", &TCollectionItem::StaticClassInfo(),
                                 {StringProp("Caption", &TColumn::caption),
                                  ObjectProp("Title", &TColumn::title), OtherProp("Width")});
    return info;
}

// An item with nothing to translate.
class TBlankItem : public TCollectionItem {
    TAVREL_CLASS(TBlankItem)
};

inline const TClassInfo& TBlankItem::StaticClassInfo() {
    static const TClassInfo info("TBlankItem", &TCollectionItem::StaticClassInfo(),
                                 {OtherProp("Width")});
    return info;
}

class TGridColumns : public TCollection {
    TAVREL_CLASS(TGridColumns)
};

inline const TClassInfo& TGridColumns::StaticClassInfo() {
    static const TClassInfo info("TGridColumns", &TCollection::StaticClassInfo());
    return info;
}

class TGrid : public TComponent {
    TAVREL_CLASS(TGrid)
public:
    using TComponent::TComponent;
    std::unique_ptr<TGridColumns> columns = std::make_unique<TGridColumns>();
};

inline const TClassInfo& TGrid::StaticClassInfo() {
    static const TClassInfo info("TGrid", &TComponent::StaticClassInfo(),
                                 {ObjectProp("Columns", &TGrid::columns)});
    return info;
}

class TQuery : public TComponent {
    TAVREL_CLASS(TQuery)
public:
    using TComponent::TComponent;
    std::string caption;
    std::unique_ptr<TStringList> sql = std::make_unique<TStringList>();
};

inline const TClassInfo& TQuery::StaticClassInfo() {
    static const TClassInfo info(
        "TQuery", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TQuery::caption), ObjectProp("SQL", &TQuery::sql)});
    return info;
}

class TWideLabel : public TComponent {
    TAVREL_CLASS(TWideLabel)
public:
    using TComponent::TComponent;
    std::u16string caption;
};

inline const TClassInfo& TWideLabel::StaticClassInfo() {
    static const TClassInfo info("TWideLabel", &TComponent::StaticClassInfo(),
                                 {WideProp("Caption", &TWideLabel::caption)});
    return info;
}

class TForm : public TComponent {
    TAVREL_CLASS(TForm)
public:
    using TComponent::TComponent;
    std::string caption, hint, title;
    std::unique_ptr<TFont> font = std::make_unique<TFont>();
    TPopupMenu* popupMenu = nullptr;
    TColumnTitle* glyph = nullptr; // an object reference that is absent
};

inline const TClassInfo& TForm::StaticClassInfo() {
    static const TClassInfo info(
        "TForm", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TForm::caption), StringProp("Hint", &TForm::hint),
         StringProp("Title", &TForm::title, TPropKind::ShortString),
         ObjectProp("Font", &TForm::font), ObjectProp("PopupMenu", &TForm::popupMenu),
         ObjectProp("Glyph", &TForm::glyph)});
    return info;
}

// A node of a property graph that may lead back to itself.
class TNode : public TPersistent {
    TAVREL_CLASS(TNode)
public:
    std::string caption;
    TNode* next = nullptr;
    TNode* other = nullptr;
};

inline const TClassInfo& TNode::StaticClassInfo() {
    static const TClassInfo info("TNode", &TPersistent::StaticClassInfo(),
                                 {StringProp("Caption", &TNode::caption),
                                  ObjectProp("Next", &TNode::next),
                                  ObjectProp("Other", &TNode::other)});
    return info;
}

// A class that carries no published-property information.
class TOpaque : public TPersistent {
    TAVREL_CLASS(TOpaque)
};

inline const TClassInfo& TOpaque::StaticClassInfo() {
    static const TClassInfo info("TOpaque", &TPersistent::StaticClassInfo(), false);
    return info;
}

} // namespace tavrel::test

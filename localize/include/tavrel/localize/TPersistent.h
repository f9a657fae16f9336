#pragma once

// The published-property model: every reflectable object has a class with a name, a place
// in a single-inheritance class tree and a table of published properties registered per
// class. Tables are plain run-time data, so the Qt bridge can describe toolkit classes too.
//
// A class declares its accessors with TAVREL_CLASS and defines its table once, e.g.
//
//   class TButton : public TComponent {
//       TAVREL_CLASS(TButton)
//       ...
//   };
//   const TClassInfo& TButton::StaticClassInfo() {
//       static const TClassInfo info("TButton", &TComponent::StaticClassInfo(),
//                                    {StringProp("Caption", &TButton::caption_),
//                                     StringProp("Hint", &TButton::Hint, &TButton::SetHint)});
//       return info;
//   }

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

class TPersistent;

enum class TPropKind {
    ShortString, // at most 255 characters
    LongString,
    WideString, // 16-bit characters, exchanged as text through the code page
    Class,      // object reference, value may be absent
    Other,      // integers, booleans, events...: read as "" and written as nothing
};

// Property names are at most this long; short-string values too.
inline constexpr std::size_t kMaxShortString = 255;

struct TPropInfo {
    std::string Name;
    TPropKind Kind = TPropKind::Other;
    // String kinds (ShortString, LongString) exchange UTF-8 text. A missing
    // getter reads as "", a missing setter makes the property read-only.
    std::function<std::string(const TPersistent&)> GetString;
    std::function<void(TPersistent&, const std::string&)> SetString;
    // WideString exchanges UTF-16.
    std::function<std::u16string(const TPersistent&)> GetWide;
    std::function<void(TPersistent&, const std::u16string&)> SetWide;
    // Class kind; the result may be nullptr (absent value).
    std::function<TPersistent*(const TPersistent&)> GetObject;
};

class TClassInfo {
public:
    // `parent` must outlive this class info. `published` false models a class that
    // carries no published-property information at all.
    TClassInfo(std::string name, const TClassInfo* parent, bool published = true);
    // A published class with its own properties, declared in one go.
    TClassInfo(std::string name, const TClassInfo* parent, std::initializer_list<TPropInfo> props);
    TClassInfo(const TClassInfo&) = delete;
    TClassInfo& operator=(const TClassInfo&) = delete;

    const std::string& ClassName() const { return name_; }
    const TClassInfo* Parent() const { return parent_; }
    bool HasPublishedInfo() const { return published_; }
    // True for this class and every descendant of `other`.
    bool InheritsFrom(const TClassInfo& other) const;

    // Declares a property of this class; a name already declared by an ancestor is
    // redeclared (the descendant's declaration stands for the ancestor's), one declared
    // by this class is replaced. Tables are fixed once listed: adding to a class whose
    // properties (or a descendant's) were already listed throws std::logic_error. An
    // empty name, a name longer than 255 characters or a class without published
    // information throws std::invalid_argument / std::logic_error.
    TClassInfo& Add(TPropInfo prop);

    // Own and inherited properties, each name once, in listing order (bytes compared with
    // bit 0x20 cleared, a prefix first). Empty for a class without published information.
    const std::vector<const TPropInfo*>& Properties() const;
    // ASCII-case-insensitive look-up (bit 0x20 cleared on both sides); nullptr if none.
    const TPropInfo* Find(std::string_view name) const;

private:
    void Build() const;

    std::string name_;
    const TClassInfo* parent_;
    bool published_;
    std::vector<std::unique_ptr<TPropInfo>> own_;
    mutable std::vector<const TPropInfo*> all_;
    mutable std::once_flag built_;
    mutable std::atomic<bool> sealed_{false};
};

// Property names match when they have the same length and agree byte for byte once bit
// 0x20 of each byte is cleared.
bool SamePropName(std::string_view a, std::string_view b);
// Listing order of property names.
bool PropNameLess(std::string_view a, std::string_view b);

class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const TClassInfo& ClassInfo() const = 0;
    const std::string& ClassName() const { return ClassInfo().ClassName(); }
    bool InheritsFrom(const TClassInfo& cls) const { return ClassInfo().InheritsFrom(cls); }

    // The root of the class tree, "TPersistent"; it publishes nothing.
    static const TClassInfo& StaticClassInfo();
};

using TNotifyEvent = std::function<void(TPersistent* sender)>;

// Builders for property declarations: one short expression per property. The class is
// deduced from the member pointer; string getters may return by value or by reference.
//   StringProp("Caption", &TButton::caption_)
//   StringProp("Text", &TEdit::Text, &TEdit::SetText)
//   StringProp("Title", &TForm::title_, TPropKind::ShortString)
//   WideProp("Caption", &TWideLabel::caption_)
//   ObjectProp("Font", &TForm::Font)           (getter, raw or unique_ptr member)
//   OtherProp("Tag")
template <class C>
TPropInfo StringProp(std::string name, std::string C::*member,
                     TPropKind kind = TPropKind::LongString) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = kind;
    p.GetString = [member](const TPersistent& o) { return static_cast<const C&>(o).*member; };
    p.SetString = [member](TPersistent& o, const std::string& v) {
        static_cast<C&>(o).*member = v;
    };
    return p;
}

template <class C, class R>
TPropInfo StringProp(std::string name, R (C::*getter)() const,
                     void (C::*setter)(const std::string&),
                     TPropKind kind = TPropKind::LongString) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = kind;
    p.GetString = [getter](const TPersistent& o) -> std::string {
        return (static_cast<const C&>(o).*getter)();
    };
    p.SetString = [setter](TPersistent& o, const std::string& v) {
        (static_cast<C&>(o).*setter)(v);
    };
    return p;
}

// Read-only string property: writes are ignored.
template <class C, class R>
TPropInfo StringProp(std::string name, R (C::*getter)() const,
                     TPropKind kind = TPropKind::LongString) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = kind;
    p.GetString = [getter](const TPersistent& o) -> std::string {
        return (static_cast<const C&>(o).*getter)();
    };
    return p;
}

template <class C> TPropInfo WideProp(std::string name, std::u16string C::*member) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::WideString;
    p.GetWide = [member](const TPersistent& o) { return static_cast<const C&>(o).*member; };
    p.SetWide = [member](TPersistent& o, const std::u16string& v) {
        static_cast<C&>(o).*member = v;
    };
    return p;
}

template <class C, class R>
TPropInfo WideProp(std::string name, R (C::*getter)() const,
                   void (C::*setter)(const std::u16string&)) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::WideString;
    p.GetWide = [getter](const TPersistent& o) -> std::u16string {
        return (static_cast<const C&>(o).*getter)();
    };
    p.SetWide = [setter](TPersistent& o, const std::u16string& v) {
        (static_cast<C&>(o).*setter)(v);
    };
    return p;
}

template <class C, class T> TPropInfo ObjectProp(std::string name, T* (C::*getter)() const) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Class;
    p.GetObject = [getter](const TPersistent& o) -> TPersistent* {
        return (static_cast<const C&>(o).*getter)();
    };
    return p;
}

template <class C, class T> TPropInfo ObjectProp(std::string name, T* C::*member) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Class;
    p.GetObject = [member](const TPersistent& o) -> TPersistent* {
        return static_cast<const C&>(o).*member;
    };
    return p;
}

template <class C, class T> TPropInfo ObjectProp(std::string name, std::unique_ptr<T> C::*member) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Class;
    p.GetObject = [member](const TPersistent& o) -> TPersistent* {
        return (static_cast<const C&>(o).*member).get();
    };
    return p;
}

inline TPropInfo OtherProp(std::string name) {
    TPropInfo p;
    p.Name = std::move(name);
    p.Kind = TPropKind::Other;
    return p;
}

} // namespace tavrel

// Declares the class-info accessors inside a class body.
#define TAVREL_CLASS(Class)                                                                        \
public:                                                                                            \
    static const ::tavrel::TClassInfo& StaticClassInfo();                                          \
    const ::tavrel::TClassInfo& ClassInfo() const override {                                       \
        return StaticClassInfo();                                                                  \
    }                                                                                              \
                                                                                                   \
private:

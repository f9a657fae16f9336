// Property paths over a small fixed component tree (owned components, a collection with and
// without display names, string lists, a wide-string label, an integer property, absent and
// self-referring object properties): resolving, reading and writing any path never fails in
// any other way than the documented errors, and after any write every path of the property
// tree still resolves and reads.
//
// Input: the path, then after the first LF the text to write.

#include "FuzzSupport.h"
#include "tavrel/localize/Exception.h"
#include "tavrel/localize/OVKPropUtils.h"
#include "tavrel/localize/TCollection.h"
#include "tavrel/localize/TComponent.h"
#include "tavrel/localize/TStrings.h"
#include "tavrel/storage/Utf8.h"

#include <cstdint>
#include <memory>

namespace {

using namespace tavrel;

class TTitle : public TPersistent {
    TAVREL_CLASS(TTitle)
public:
    std::string caption;
    TTitle* self = this; // a property graph that leads back to itself
};

const TClassInfo& TTitle::StaticClassInfo() {
    static const TClassInfo info(
        "TTitle", &TPersistent::StaticClassInfo(),
        {StringProp("Caption", &TTitle::caption), ObjectProp("Self", &TTitle::self)});
    return info;
}

class TColumn : public TCollectionItem {
    TAVREL_CLASS(TColumn)
public:
    std::string caption;
    std::unique_ptr<TTitle> title = std::make_unique<TTitle>();
    std::string DisplayName() const override {
        return caption.empty() ? TCollectionItem::DisplayName() : caption;
    }
};

const TClassInfo& TColumn::StaticClassInfo() {
    static const TClassInfo info("TColumn", &TCollectionItem::StaticClassInfo(),
                                 {StringProp("Caption", &TColumn::caption),
                                  ObjectProp("Title", &TColumn::title), OtherProp("Width")});
    return info;
}

class TColumns : public TCollection {
    TAVREL_CLASS(TColumns)
};

const TClassInfo& TColumns::StaticClassInfo() {
    static const TClassInfo info("TColumns", &TCollection::StaticClassInfo());
    return info;
}

class TControl : public TComponent {
    TAVREL_CLASS(TControl)
public:
    using TComponent::TComponent;
    std::string caption, hint, title;
    std::u16string wide = u"w\u00e9\u4e2d";
    std::unique_ptr<TStringList> items = std::make_unique<TStringList>();
    std::unique_ptr<TStringList> sql = std::make_unique<TStringList>();
    std::unique_ptr<TColumns> columns = std::make_unique<TColumns>();
    std::unique_ptr<TColumns> empty = std::make_unique<TColumns>();
    TControl* popup = nullptr;
    TTitle* absent = nullptr;
};

const TClassInfo& TControl::StaticClassInfo() {
    static const TClassInfo info(
        "TControl", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TControl::caption), StringProp("Hint", &TControl::hint),
         StringProp("Title", &TControl::title, TPropKind::ShortString),
         WideProp("WideCaption", &TControl::wide), ObjectProp("Items", &TControl::items),
         ObjectProp("SQL", &TControl::sql), ObjectProp("Columns", &TControl::columns),
         ObjectProp("Empty", &TControl::empty), ObjectProp("PopupMenu", &TControl::popup),
         ObjectProp("Glyph", &TControl::absent), OtherProp("Enabled")});
    return info;
}

std::unique_ptr<TControl> NewForm() {
    auto form = std::make_unique<TControl>(nullptr);
    form->SetName("Form1");
    form->caption = "Main";
    form->items->SetLines({"a b", "c"});
    form->columns->Add<TColumn>()->caption = "First";
    form->columns->Add<TColumn>();
    auto* button = new TControl(form.get()); // owned by the form
    button->SetName("Button1");
    button->caption = "OK";
    button->popup = form.get();
    auto* nested = new TControl(button);
    nested->SetName("Inner");
    nested->hint = "deep";
    return form;
}

// The documented failures: the resolver error and the list error (both Exception).
template <class F> void Tolerating(F&& operation) {
    try {
        operation();
    } catch (const Exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lf = input.find('\n');
    const std::string path(input.substr(0, lf));
    const std::string text(lf == std::string_view::npos ? std::string_view()
                                                        : input.substr(lf + 1));

    auto form = NewForm();
    Tolerating([&] {
        TPersistent* object = form.get();
        std::string rest = path;
        OvkFindComponent(object, rest);
        FUZZ_CHECK(rest.size() <= path.size());
    });
    Tolerating([&] {
        std::string read = "\x01untouched";
        if (!GetPropertyText(form.get(), path, read))
            FUZZ_CHECK(read == "\x01untouched");
    });
    Tolerating([&] { SetPropertyText(form.get(), path, text); });
    Tolerating([&] { SetPropertyText(form->Components(0), path, text); });

    // Whatever was written, the tree's own paths resolve and read.
    const auto tree = BuildPropertyTree(*form);
    FUZZ_CHECK(tree != nullptr);
    for (const auto& leaf : PropertyPaths(*tree)) {
        std::string read;
        FUZZ_CHECK(GetPropertyText(form.get(), leaf, read));
    }
    FUZZ_CHECK(tavrel::Utf8Length(form->title) <= 255);
    return 0;
}

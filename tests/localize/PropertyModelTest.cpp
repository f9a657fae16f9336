#include "tavrel/localize/OVKPropUtils.h"
#include "tavrel/localize/TMenuItem.h"
#include "TestClasses.h"

#include <gtest/gtest.h>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::test {
namespace {

std::vector<std::string> Names(const TClassInfo& cls) {
    std::vector<std::string> names;
    for (const TPropInfo* p : cls.Properties())
        names.push_back(p->Name);
    return names;
}

struct NamePair {
    std::string a, b;
    bool same;   // SamePropName(a, b)
    bool aFirst; // PropNameLess(a, b)
};

std::ostream& operator<<(std::ostream& out, const NamePair& p) {
    return out << "'" << p.a << "' '" << p.b << "'";
}

class PropNameTest : public ::testing::TestWithParam<NamePair> {};

TEST_P(PropNameTest, MatchAndOrderClearBit0x20) {
    const auto& p = GetParam();
    EXPECT_EQ(SamePropName(p.a, p.b), p.same);
    EXPECT_EQ(SamePropName(p.b, p.a), p.same);
    EXPECT_EQ(PropNameLess(p.a, p.b), p.aFirst);
    // The order is strict, and equivalence under it is exactly the name match.
    if (p.aFirst) {
        EXPECT_FALSE(PropNameLess(p.b, p.a));
    }
    EXPECT_EQ(!PropNameLess(p.a, p.b) && !PropNameLess(p.b, p.a), p.same);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PropNameTest,
    ::testing::Values(NamePair{"Caption", "CAPTION", true, false},
                      NamePair{"caption", "Caption", true, false},
                      NamePair{"Caption", "Hint", false, true},
                      NamePair{"Caption", "CaptionX", false, true}, // a prefix first
                      NamePair{"Captio", "caption", false, true}, NamePair{"", "", true, false},
                      NamePair{"", "A", false, true},
                      // '@' 0x40 and '`' 0x60 differ only in bit 0x20, as do '[' and '{'.
                      NamePair{"@x", "`X", true, false}, NamePair{"a[", "A{", true, false},
                      // '1' 0x31 becomes 0x11, so digits come before letters.
                      NamePair{"A1", "AA", false, true},
                      // '_' 0x5F stays 0x5F and follows 'A'..'Z' (0x41..0x5A) once the
                      // letters are folded: "Ab" lists before "_a".
                      NamePair{"Ab", "_a", false, true},
                      // Windows-1252 é (0xE9) and É (0xC9) differ only in bit 0x20.
                      NamePair{"\xE9t\xE9", "\xC9T\xC9", true, false},
                      NamePair{"Name", "Nome", false, true}));

class ClassInfoTest : public ::testing::Test {
protected:
    TClassInfo base{"TBase",
                    &TPersistent::StaticClassInfo(),
                    {OtherProp("Zeta"), OtherProp("alpha"), OtherProp("Beta"), OtherProp("_x")}};
    TClassInfo derived{
        "TDerived",
        &base,
        {StringProp("Alpha", &TButton::caption), OtherProp("Gamma"), OtherProp("ALPHA2")}};
};

TEST_F(ClassInfoTest, ListsOwnAndInheritedOnceInListingOrder) {
    EXPECT_EQ(Names(base), (std::vector<std::string>{"alpha", "Beta", "Zeta", "_x"}));
    // "Alpha" redeclares the base's "alpha" and stands for it, with its own kind.
    EXPECT_EQ(Names(derived),
              (std::vector<std::string>{"Alpha", "ALPHA2", "Beta", "Gamma", "Zeta", "_x"}));
    EXPECT_EQ(derived.Find("alpha")->Kind, TPropKind::LongString);
    EXPECT_EQ(base.Find("ALPHA")->Kind, TPropKind::Other);
}

TEST_F(ClassInfoTest, FindIgnoresAsciiCaseOnly) {
    EXPECT_EQ(derived.Find("gamma")->Name, "Gamma");
    EXPECT_EQ(derived.Find("aLpHa2")->Name, "ALPHA2");
    EXPECT_EQ(derived.Find("_X")->Name, "_x");
    EXPECT_EQ(derived.Find("Gamm"), nullptr);
    EXPECT_EQ(derived.Find("Gammas"), nullptr);
    EXPECT_EQ(derived.Find(""), nullptr);
    EXPECT_EQ(base.Find("Gamma"), nullptr);
}

TEST_F(ClassInfoTest, RedeclarationInTheSameClassReplaces) {
    TClassInfo cls("TTwice", nullptr);
    cls.Add(OtherProp("Caption")).Add(StringProp("CAPTION", &TButton::caption));
    ASSERT_EQ(Names(cls), std::vector<std::string>{"CAPTION"});
    EXPECT_EQ(cls.Find("caption")->Kind, TPropKind::LongString);
}

TEST_F(ClassInfoTest, TablesAreFixedOnceListed) {
    (void)derived.Properties();
    EXPECT_THROW(derived.Add(OtherProp("Late")), std::logic_error);
    // The base is part of the derived listing, so it is fixed too.
    EXPECT_THROW(base.Add(OtherProp("Late")), std::logic_error);
    EXPECT_EQ(derived.Find("Late"), nullptr);
}

TEST_F(ClassInfoTest, RejectsBadNamesAndPropertiesOfOpaqueClasses) {
    TClassInfo cls("TNames", nullptr);
    EXPECT_THROW(cls.Add(OtherProp("")), std::invalid_argument);
    EXPECT_THROW(cls.Add(OtherProp(std::string(256, 'N'))), std::invalid_argument);
    EXPECT_NO_THROW(cls.Add(OtherProp(std::string(255, 'N'))));
    TClassInfo opaque("TOpaqueToo", nullptr, false);
    EXPECT_THROW(opaque.Add(OtherProp("X")), std::logic_error);
    EXPECT_TRUE(opaque.Properties().empty());
    EXPECT_EQ(TOpaque::StaticClassInfo().Find("Anything"), nullptr);
}

TEST(ClassTreeTest, NamesParentsAndMembership) {
    struct Row {
        const TClassInfo& cls;
        const char* name;
        const TClassInfo* parent;
    };
    const Row rows[] = {
        {TPersistent::StaticClassInfo(), "TPersistent", nullptr},
        {TComponent::StaticClassInfo(), "TComponent", &TPersistent::StaticClassInfo()},
        {TMenuItem::StaticClassInfo(), "TMenuItem", &TComponent::StaticClassInfo()},
        {TStrings::StaticClassInfo(), "TStrings", &TPersistent::StaticClassInfo()},
        {TStringList::StaticClassInfo(), "TStringList", &TStrings::StaticClassInfo()},
        {TCollection::StaticClassInfo(), "TCollection", &TPersistent::StaticClassInfo()},
        {TCollectionItem::StaticClassInfo(), "TCollectionItem", &TPersistent::StaticClassInfo()},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.cls.ClassName(), r.name);
        EXPECT_EQ(r.cls.Parent(), r.parent) << r.name;
        EXPECT_TRUE(r.cls.InheritsFrom(TPersistent::StaticClassInfo())) << r.name;
    }
    TListBox box;
    EXPECT_EQ(box.ClassName(), "TListBox");
    EXPECT_TRUE(box.InheritsFrom(TComponent::StaticClassInfo()));
    EXPECT_FALSE(box.InheritsFrom(TStrings::StaticClassInfo()));
    EXPECT_TRUE(box.items->InheritsFrom(TStrings::StaticClassInfo()));
    EXPECT_FALSE(TStrings().InheritsFrom(TStringList::StaticClassInfo()));
}

TEST(ClassTreeTest, PublishedPropertiesOfTheModelClasses) {
    EXPECT_EQ(Names(TComponent::StaticClassInfo()), (std::vector<std::string>{"Name", "Tag"}));
    EXPECT_EQ(TComponent::StaticClassInfo().Find("name")->Kind, TPropKind::LongString);
    EXPECT_EQ(TComponent::StaticClassInfo().Find("TAG")->Kind, TPropKind::Other);
    EXPECT_EQ(Names(TMenuItem::StaticClassInfo()),
              (std::vector<std::string>{"Caption", "Hint", "Name", "Tag"}));
    EXPECT_TRUE(TStrings::StaticClassInfo().Properties().empty());
    EXPECT_TRUE(TStringList::StaticClassInfo().Properties().empty());
    EXPECT_TRUE(TCollection::StaticClassInfo().Properties().empty());
    EXPECT_EQ(Names(TForm::StaticClassInfo()),
              (std::vector<std::string>{"Caption", "Font", "Glyph", "Hint", "Name", "PopupMenu",
                                        "Tag", "Title"}));
}

TEST(ClassTreeTest, CountPropertiesByKind) {
    using K = TPropKind;
    struct Row {
        const TClassInfo& cls;
        TPropKinds kinds;
        int count;
    };
    const Row rows[] = {
        {TForm::StaticClassInfo(), {K::ShortString}, 1},
        {TForm::StaticClassInfo(), {K::LongString}, 3},
        {TForm::StaticClassInfo(), {K::ShortString, K::LongString, K::Class}, 7},
        {TForm::StaticClassInfo(), {K::Other}, 1},
        {TForm::StaticClassInfo(),
         {K::ShortString, K::LongString, K::WideString, K::Class, K::Other},
         8},
        {TForm::StaticClassInfo(), {}, 0},
        {TWideLabel::StaticClassInfo(), {K::WideString}, 1},
        {TWideLabel::StaticClassInfo(), {K::LongString}, 1},
        {TStringList::StaticClassInfo(), {K::LongString, K::Class, K::Other}, 0},
        {TOpaque::StaticClassInfo(),
         {K::ShortString, K::LongString, K::WideString, K::Class, K::Other},
         0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(CountProperties(r.cls, r.kinds), r.count) << r.cls.ClassName();
}

TEST(PropertyBuildersTest, AccessorsReadAndWriteThroughTheTable) {
    TMenuItem item;
    const TPropInfo* caption = TMenuItem::StaticClassInfo().Find("Caption");
    ASSERT_NE(caption, nullptr);
    caption->SetString(item, "&File");
    EXPECT_EQ(item.Caption(), "&File");
    EXPECT_EQ(caption->GetString(item), "&File");

    TComponent component;
    TComponent::StaticClassInfo().Find("Name")->SetString(component, "Main");
    EXPECT_EQ(component.Name(), "Main");

    TGrid grid;
    EXPECT_EQ(TGrid::StaticClassInfo().Find("Columns")->GetObject(grid), grid.columns.get());
    TForm form;
    EXPECT_EQ(TForm::StaticClassInfo().Find("Glyph")->GetObject(form), nullptr);
}

} // namespace
} // namespace tavrel::test

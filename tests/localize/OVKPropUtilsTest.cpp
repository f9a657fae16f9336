#include "tavrel/localize/OVKPropUtils.h"

#include "tavrel/localize/Exception.h"
#include "TestClasses.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::test {
namespace {

const std::string kResolver = "Exception: Error in OvkFindComponent";
const std::string kListError2 = "EListError: List index out of bounds (2)";

// What a call raised: "EListError: <message>", "Exception: <message>" or "" for nothing.
template <class F> std::string Raised(F&& f) {
    try {
        f();
    } catch (const EListError& e) {
        return std::string("EListError: ") + e.what();
    } catch (const Exception& e) {
        return std::string("Exception: ") + e.what();
    }
    return "";
}

// A form as an application would have it: buttons, a list box, grids, a query, a wide-string
// label, a pop-up menu referred to by properties, a font-like sub-object.
struct AppForm {
    std::unique_ptr<TForm> form = std::make_unique<TForm>();
    TPopupMenu* popup = new TPopupMenu(form.get());
    TButton* button1 = new TButton(form.get());
    TListBox* listBox1 = new TListBox(form.get());
    TGrid* grid1 = new TGrid(form.get());
    TGrid* grid2 = new TGrid(form.get());
    TGrid* emptyGrid = new TGrid(form.get());
    TQuery* query1 = new TQuery(form.get());
    TWideLabel* wideLabel1 = new TWideLabel(form.get());
    std::map<std::string, TPersistent*> objects;

    AppForm() {
        form->SetName("Form1");
        form->caption = "Main";
        form->hint = "Main window";
        form->title = "Title";
        form->popupMenu = popup;
        popup->SetName("PopupMenu1");
        button1->SetName("Button1");
        button1->caption = "OK";
        button1->popupMenu = popup;
        listBox1->SetName("ListBox1");
        listBox1->caption = "Colours";
        listBox1->items->SetLines({"a b", "c"});
        grid1->SetName("Grid1");
        grid1->columns->Add<TColumn>("Alpha")->title->caption = "Alpha title";
        grid1->columns->Add<TColumn>(); // display name "TColumn"
        grid2->SetName("Grid2");
        grid2->columns->Add<TColumn>("x1"); // a display name that reads as a number
        grid2->columns->Add<TColumn>("5");
        emptyGrid->SetName("EmptyGrid");
        query1->SetName("Query1");
        query1->caption = "Customers";
        query1->sql->SetLines({"select *", "from customers"});
        wideLabel1->SetName("WideLabel1");
        objects = {{"null", nullptr},
                   {"Form1", form.get()},
                   {"Form1.Font", form->font.get()},
                   {"Popup", popup},
                   {"Button1", button1},
                   {"Button1.Font", button1->font.get()},
                   {"ListBox1", listBox1},
                   {"Items", listBox1->items.get()},
                   {"Grid1", grid1},
                   {"Columns", grid1->columns.get()},
                   {"Col0", grid1->columns->Items(0)},
                   {"Col0.Title", static_cast<TColumn*>(grid1->columns->Items(0))->title.get()},
                   {"Col1", grid1->columns->Items(1)},
                   {"EmptyColumns", emptyGrid->columns.get()},
                   {"Grid2.Columns", grid2->columns.get()},
                   {"Grid2.Col0", grid2->columns->Items(0)},
                   {"Grid2.Col1", grid2->columns->Items(1)}};
    }
    std::string NameOf(const TPersistent* object) const {
        for (const auto& [name, o] : objects) {
            if (o == object)
                return name;
        }
        return "<unknown>";
    }
};

// ---- OvkFindComponent --------------------------------------------------------------------

struct FindRow {
    std::string path;
    std::string raised; // "" when the walk completes
    bool result;
    std::string object; // key in AppForm::objects
    std::string rest;
};

std::ostream& operator<<(std::ostream& out, const FindRow& row) {
    return out << row.path;
}

class FindComponentTest : public ::testing::TestWithParam<FindRow> {};

TEST_P(FindComponentTest, ResolvesFromTheForm) {
    const FindRow& row = GetParam();
    AppForm app;
    TPersistent* object = app.form.get();
    std::string path = row.path;
    bool result = false;
    EXPECT_EQ(Raised([&] { result = OvkFindComponent(object, path); }), row.raised);
    if (row.raised.empty()) {
        EXPECT_EQ(result, row.result);
    }
    // On an error the arguments keep what they held when it was raised.
    EXPECT_EQ(app.NameOf(object), row.object);
    EXPECT_EQ(path, row.rest);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FindComponentTest,
    ::testing::Values(
        // No "." at all: nothing moves.
        FindRow{"Caption", "", true, "Form1", "Caption"}, FindRow{"", "", true, "Form1", ""},
        FindRow{"Button1", "", true, "Form1", "Button1"},
        // Components: own Name and "Self" keep the component, names are looked up ignoring
        // ASCII case; "Self" and the own Name are compared exactly.
        FindRow{"Form1.Button1.Caption", "", true, "Button1", "Caption"},
        FindRow{"Self.Caption", "", true, "Form1", "Caption"},
        FindRow{"Self.Button1.Self.Caption", "", true, "Button1", "Caption"},
        FindRow{"Button1.Button1.Caption", "", true, "Button1", "Caption"},
        FindRow{"bUTTON1.Caption", "", true, "Button1", "Caption"},
        FindRow{"self.Caption", "", false, "Form1", "Caption"},
        FindRow{"form1.Caption", "", false, "Form1", "Caption"},
        FindRow{"Foo.Caption", "", false, "Form1", "Caption"},
        // Properties, once the component walk has stopped.
        FindRow{"Font.Name", "", true, "Form1.Font", "Name"},
        FindRow{"fONT.name", "", true, "Form1.Font", "name"},
        FindRow{"Button1.Font.Name", "", true, "Button1.Font", "Name"},
        FindRow{"PopupMenu.Caption", "", true, "Popup", "Caption"},
        FindRow{"Button1.PopupMenu.Caption", "", true, "Popup", "Caption"},
        // After a property the walk no longer takes component names.
        FindRow{"PopupMenu.Self.Caption", "", false, "Popup", "Caption"},
        // A segment not found does not stop the walk; the last property segment decides.
        FindRow{"Foo.Font.Name", "", true, "Form1.Font", "Name"},
        FindRow{"Font.Foo.Name", "", false, "Form1.Font", "Name"},
        FindRow{"Font.Foo.Bar.Name", "", false, "Form1.Font", "Name"},
        FindRow{"Font.#0.Name", "", false, "Form1.Font", "Name"},
        // An absent object: later segments are not found.
        FindRow{"Glyph.Caption", "", true, "null", "Caption"},
        FindRow{"Glyph.Foo.Caption", "", false, "null", "Caption"},
        // A property that is not an object reference cannot be passed through.
        FindRow{"Tag.Caption", kResolver, false, "Form1", "Tag.Caption"},
        FindRow{"Caption.Caption", kResolver, false, "Form1", "Caption.Caption"},
        FindRow{"Button1.Tag.Caption", kResolver, false, "Button1", "Tag.Caption"},
        // String lists.
        FindRow{"ListBox1.Items.Text", "", true, "Items", "Text"},
        // Collection items by index (modulo 65536) and by display name.
        FindRow{"Grid1.Columns.#0.Caption", "", true, "Col0", "Caption"},
        FindRow{"Grid1.Columns.#1.Caption", "", true, "Col1", "Caption"},
        FindRow{"Grid1.Columns.#65536.Caption", "", true, "Col0", "Caption"},
        FindRow{"Grid1.Columns.#0.Title.Caption", "", true, "Col0.Title", "Caption"},
        FindRow{"Grid1.Columns.#Alpha.Caption", "", true, "Col0", "Caption"},
        FindRow{"Grid1.Columns.#TColumn.Caption", "", true, "Col1", "Caption"},
        FindRow{"Grid1.Columns.#2.Caption", kResolver, false, "Columns", "#2.Caption"},
        FindRow{"Grid1.Columns.#-1.Caption", kResolver, false, "Columns", "#-1.Caption"},
        FindRow{"Grid1.Columns.#X.Caption", kListError2, false, "Columns", "#X.Caption"},
        FindRow{"Grid1.Columns.#alpha.Caption", kListError2, false, "Columns", "#alpha.Caption"},
        FindRow{"EmptyGrid.Columns.#0.Caption", kResolver, false, "EmptyColumns", "#0.Caption"},
        FindRow{"EmptyGrid.Columns.#X.Caption", kResolver, false, "EmptyColumns", "#X.Caption"},
        // A display name that reads as a number is taken as the number.
        FindRow{"Grid2.Columns.#x1.Caption", "", true, "Grid2.Col1", "Caption"},
        FindRow{"Grid2.Columns.#5.Caption", kResolver, false, "Grid2.Columns", "#5.Caption"},
        // "#" on something that is not a collection is a property name.
        FindRow{"Grid1.#0.Caption", "", false, "Grid1", "Caption"}));

TEST(FindComponentTest, ComponentNamesComeBeforePropertiesOnComponents) {
    AppForm app;
    auto* fontButton = new TButton(app.form.get());
    fontButton->SetName("Font");
    TPersistent* object = app.form.get();
    std::string path = "Font.Caption";
    EXPECT_TRUE(OvkFindComponent(object, path));
    EXPECT_EQ(object, fontButton);
    EXPECT_EQ(path, "Caption");
}

TEST(FindComponentTest, StartsOnObjectsThatAreNotComponents) {
    AppForm app;
    struct Row {
        std::string start, path;
        bool result;
        std::string object, rest;
    };
    const Row rows[] = {
        // No component phase: "Self" is just a property name that does not exist.
        {"Columns", "Self.#0.Caption", false, "Col0", "Caption"},
        {"Columns", "#1.Caption", true, "Col1", "Caption"},
        {"Col0", "Title.Caption", true, "Col0.Title", "Caption"},
        {"null", "Caption", true, "null", "Caption"},
        {"null", "Font.Name", false, "null", "Name"},
    };
    for (const auto& r : rows) {
        TPersistent* object = app.objects.at(r.start);
        std::string path = r.path;
        EXPECT_EQ(OvkFindComponent(object, path), r.result) << r.start << " " << r.path;
        EXPECT_EQ(app.NameOf(object), r.object) << r.start << " " << r.path;
        EXPECT_EQ(path, r.rest) << r.start << " " << r.path;
    }
}

// The number after "#": the platform's integer syntax, then the low 16 bits. Grid1 has
// the items "Alpha" (0) and an unnamed one (1).
struct IndexRow {
    std::string text;
    std::string outcome; // "0" or "1" for the item reached, otherwise what was raised
};

std::ostream& operator<<(std::ostream& out, const IndexRow& row) {
    return out << "#" << row.text;
}

class ItemIndexTest : public ::testing::TestWithParam<IndexRow> {};

TEST_P(ItemIndexTest, ReachesTheItemOrFails) {
    AppForm app;
    TPersistent* object = app.grid1->columns.get();
    std::string path = "#" + GetParam().text + ".Caption";
    const std::string raised = Raised([&] { OvkFindComponent(object, path); });
    const std::string outcome = !raised.empty()                 ? raised
                                : object == app.objects["Col0"] ? "0"
                                : object == app.objects["Col1"] ? "1"
                                                                : "?";
    EXPECT_EQ(outcome, GetParam().outcome) << "#" << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, ItemIndexTest,
    ::testing::Values(
        IndexRow{"1", "1"}, IndexRow{"+1", "1"}, IndexRow{"  1", "1"}, IndexRow{"001", "1"},
        IndexRow{"$1", "1"}, IndexRow{"x1", "1"}, IndexRow{"X1", "1"}, IndexRow{"0x1", "1"},
        IndexRow{"0X1", "1"}, IndexRow{"-$FFFF", "1"}, IndexRow{"$10001", "1"},
        IndexRow{"65537", "1"}, IndexRow{"-65535", "1"}, IndexRow{"$000000001", "1"},
        IndexRow{"2147418113", "1"}, // 0x7FFF0001
        IndexRow{"-2147483648", "0"}, IndexRow{"$80000000", "0"}, IndexRow{"0", "0"},
        IndexRow{"-0", "0"},
        // Out of range after the 16-bit cut: the resolver error.
        IndexRow{"-1", kResolver}, IndexRow{"$FFFFFFFF", kResolver}, IndexRow{"65535", kResolver},
        IndexRow{"2", kResolver}, IndexRow{"2147483647", kResolver},
        // Not a number: looked up by display name, which fails with the list
        // error naming the item count.
        IndexRow{"2147483648", kListError2}, IndexRow{"-2147483649", kListError2},
        IndexRow{"$100000000", kListError2}, IndexRow{"1 ", kListError2},
        IndexRow{"\t1", kListError2}, IndexRow{"", kListError2}, IndexRow{"-", kListError2},
        IndexRow{"$", kListError2}, IndexRow{"0x", kListError2}, IndexRow{"--1", kListError2},
        IndexRow{"1e1", kListError2}, IndexRow{"$G", kListError2}, IndexRow{"0x-1", kListError2},
        IndexRow{"1,5", kListError2}));

// ---- reading and writing -----------------------------------------------------------------

TEST(PropertyTextTest, ReadsTextsThroughPaths) {
    AppForm app;
    app.wideLabel1->caption = u"Gr\u00FC\u00DFe \u20AC";
    struct Row {
        std::string path;
        bool result;
        std::string text;
    };
    const Row rows[] = {
        {"Caption", true, "Main"},
        {"Form1.Button1.Caption", true, "OK"},
        {"Title", true, "Title"},
        {"Font.Name", true, "Tahoma"},
        {"ListBox1.Items.Text", true, "\"a b\",c"},
        {"Query1.SQL.Text", true, "\"select *\",\"from customers\""},
        // Only the exact "Text" is the pseudo-property of a string list.
        {"ListBox1.Items.text", true, ""},
        {"Grid1.Columns.#0.Title.Caption", true, "Alpha title"},
        // Wide strings read as UTF-8.
        {"WideLabel1.Caption", true, "Grüße €"},
        // Kinds that are not strings, missing properties and absent objects read as "".
        {"Font", true, ""},
        {"Tag", true, ""},
        {"Caption2", true, ""},
        {"Glyph.Caption", true, ""},
        {"Button1.PopupMenu.Caption", true, "popup"},
    };
    for (const auto& r : rows) {
        std::string text = "stale";
        EXPECT_EQ(GetPropertyText(app.form.get(), r.path, text), r.result) << r.path;
        EXPECT_EQ(text, r.text) << r.path;
    }
    // An unresolved path leaves the text untouched.
    std::string text = "untouched";
    EXPECT_FALSE(GetPropertyText(app.form.get(), "Foo.Bar.Caption", text));
    EXPECT_EQ(text, "untouched");
}

TEST(PropertyTextTest, WritesTextsThroughPaths) {
    AppForm app;
    EXPECT_TRUE(SetPropertyText(app.form.get(), "Button1.Caption", "Cancel"));
    EXPECT_EQ(app.button1->caption, "Cancel");
    EXPECT_TRUE(SetPropertyText(app.form.get(), "ListBox1.Items.Text", "x,y"));
    EXPECT_EQ(app.listBox1->items->Lines(), (std::vector<std::string>{"x", "y"}));
    EXPECT_TRUE(SetPropertyText(app.form.get(), "ListBox1.Items.text", "p,q"));
    EXPECT_EQ(app.listBox1->items->Lines(), (std::vector<std::string>{"x", "y"}));
    EXPECT_TRUE(SetPropertyText(app.form.get(), "Grid1.Columns.#TColumn.Caption", "Beta"));
    EXPECT_EQ(static_cast<TColumn*>(app.grid1->columns->Items(1))->caption, "Beta");

    // Kinds that ignore writes, a missing property and an absent object change nothing.
    EXPECT_TRUE(SetPropertyText(app.form.get(), "Tag", "5"));
    EXPECT_EQ(app.form->Tag(), 0);
    EXPECT_TRUE(SetPropertyText(app.form.get(), "Font", "Arial"));
    EXPECT_EQ(app.form->font->name, "Tahoma");
    EXPECT_TRUE(SetPropertyText(app.form.get(), "Missing", "x"));
    EXPECT_TRUE(SetPropertyText(app.form.get(), "Glyph.Caption", "x"));
    EXPECT_EQ(app.form->glyph, nullptr);

    // Unresolved: false, nothing written.
    EXPECT_FALSE(SetPropertyText(app.form.get(), "Foo.Caption", "Changed"));
    EXPECT_EQ(app.form->caption, "Main");

    // Short strings keep 255 characters.
    EXPECT_TRUE(SetPropertyText(app.form.get(), "Title", std::string(300, 'T')));
    EXPECT_EQ(app.form->title, std::string(255, 'T'));
}

TEST(PropertyTextTest, ErrorsReachTheCaller) {
    AppForm app;
    std::string text;
    EXPECT_EQ(Raised([&] { GetPropertyText(app.form.get(), "Tag.Caption", text); }), kResolver);
    EXPECT_EQ(Raised([&] { SetPropertyText(app.form.get(), "Tag.Caption", "x"); }), kResolver);
    EXPECT_EQ(Raised([&] { GetPropertyText(app.form.get(), "Grid1.Columns.#X.Caption", text); }),
              kListError2);
    EXPECT_EQ(Raised([&] { SetPropertyText(app.form.get(), "Grid1.Columns.#-1.Caption", "x"); }),
              kResolver);
}

TEST(PropertyTextTest, PathFunctionsWorkOnCopies) {
    AppForm app;
    TPersistent* object = app.form.get();
    const std::string path = "Grid1.Columns.#0.Caption";
    std::string text;
    EXPECT_TRUE(GetPropertyText(object, path, text));
    EXPECT_EQ(text, "Alpha");
    EXPECT_EQ(object, app.form.get());
    EXPECT_EQ(path, "Grid1.Columns.#0.Caption");
}

TEST(StringPropertyTest, WideStringsConvertToUtf8) {
    TWideLabel label;
    struct Row {
        std::u16string wide;
        std::string text;
    };
    const Row rows[] = {
        {u"", ""},
        {u"Caf\u00E9 \u20AC\u0160", "Café €Š"},
        {u"\u0416\u0430", "Жа"},
        {u"a\U0001F600b", "a😀b"}, // a surrogate pair is one character
        {u"a\xD800"
         u"b",
         "a\uFFFDb"}, // a lone surrogate
    };
    for (const auto& r : rows) {
        label.caption = r.wide;
        std::string text;
        EXPECT_TRUE(GetStringProperty(&label, "caption", text));
        EXPECT_EQ(text, r.text);
        EXPECT_TRUE(SetStringProperty(&label, "Caption", text));
        if (r.text.find("\uFFFD") == std::string::npos) {
            EXPECT_EQ(label.caption, r.wide);
        }
    }
}

TEST(StringPropertyTest, ShortStringsKeep255CharactersWhole) {
    TForm form;
    std::string polish;
    for (int i = 0; i < 300; ++i)
        polish += "ż";
    EXPECT_TRUE(SetStringProperty(&form, "Title", polish));
    EXPECT_EQ(form.title.size(), 510u); // 255 characters of two bytes, none split
    form.title = polish;
    std::string text;
    EXPECT_TRUE(GetStringProperty(&form, "Title", text));
    EXPECT_EQ(text, polish.substr(0, 510));
}

TEST(StringPropertyTest, MissingPropertiesAndObjects) {
    TButton button;
    button.caption = "OK";
    std::string text = "stale";
    EXPECT_FALSE(GetStringProperty(&button, "Title", text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(SetStringProperty(&button, "Title", "x"));
    text = "stale";
    EXPECT_FALSE(GetStringProperty(nullptr, "Caption", text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(SetStringProperty(nullptr, "Caption", "x"));
    EXPECT_EQ(FindPropInfo(nullptr, "Caption"), nullptr);
    TOpaque opaque;
    EXPECT_EQ(FindPropInfo(&opaque, "Caption"), nullptr);
    EXPECT_EQ(FindPropInfo(&button, "CAPTION"), TButton::StaticClassInfo().Find("Caption"));
    EXPECT_TRUE(GetStringProperty(&button, "cApTiOn", text));
    EXPECT_EQ(text, "OK");
}

class TReadOnlyCaption : public TPersistent {
    TAVREL_CLASS(TReadOnlyCaption)
public:
    std::string Caption() const { return "fixed"; }
};

const TClassInfo& TReadOnlyCaption::StaticClassInfo() {
    static const TClassInfo info("TReadOnlyCaption", &TPersistent::StaticClassInfo(),
                                 {StringProp("Caption", &TReadOnlyCaption::Caption)});
    return info;
}

TEST(StringPropertyTest, ReadOnlyPropertiesIgnoreWrites) {
    TReadOnlyCaption object;
    EXPECT_TRUE(SetStringProperty(&object, "Caption", "changed"));
    std::string text;
    EXPECT_TRUE(GetStringProperty(&object, "Caption", text));
    EXPECT_EQ(text, "fixed");
}

// ---- property trees ----------------------------------------------------------------------

// The tree written out: leaves by name, branches as name{...}.
std::string Dump(const std::unique_ptr<TPropertyTree>& tree) {
    if (!tree)
        return "<absent>";
    std::string out;
    for (const auto& e : tree->Entries) {
        if (!out.empty())
            out += ",";
        out += e.Name;
        if (e.IsBranch())
            out += "{" + Dump(e.Tree) + "}";
    }
    return out;
}

class TLowerName : public TPersistent {
    TAVREL_CLASS(TLowerName)
public:
    std::string name;
};

const TClassInfo& TLowerName::StaticClassInfo() {
    static const TClassInfo info("TLowerName", &TPersistent::StaticClassInfo(),
                                 {StringProp("name", &TLowerName::name)});
    return info;
}

// Consulting it always fails.
class TFailingList : public TStringList {
    TAVREL_CLASS(TFailingList)
public:
    int IndexOf(std::string_view) const override { throw std::runtime_error("broken"); }
};

const TClassInfo& TFailingList::StaticClassInfo() {
    static const TClassInfo info("TFailingList", &TStringList::StaticClassInfo());
    return info;
}

class PropertyTreeTest : public ::testing::Test {
protected:
    void TearDown() override { SetDisplayNameCollections(nullptr); }
    AppForm app;
};

TEST_F(PropertyTreeTest, TreesOfApplicationObjects) {
    TStringList emptyList;
    TGridColumns noColumns;
    TGridColumns blankColumns;
    blankColumns.Add<TBlankItem>();
    blankColumns.Add<TBlankItem>();
    TGrid blankGrid;
    blankGrid.columns->Add<TBlankItem>();
    TFont font;
    TBlankItem blank;
    TOpaque opaque;
    TLowerName lowerName;
    struct Row {
        const char* what;
        TPersistent& object;
        std::string tree;
    };
    const Row rows[] = {
        // Name, the font (only a Name) and the pop-up menu (a component) are left out.
        {"list box", *app.listBox1, "Caption,Hint,Items{Text}"},
        {"form", *app.form, "Caption,Hint,Title"},
        {"button", *app.button1, "Caption,Hint"},
        {"grid", *app.grid1, "Columns{#0{Caption,Title{Caption}},#1{Caption,Title{Caption}}}"},
        {"query", *app.query1, "Caption,SQL{Text}"},
        // Wide strings never enter trees; Name alone leaves an empty list.
        {"wide label", *app.wideLabel1, ""},
        {"grid without columns", *app.emptyGrid, ""},
        {"grid of blank items", blankGrid, ""},
        {"collection of blank items", blankColumns, ""},
        {"font", font, ""},
        {"string list", emptyList, "Text"},
        {"empty collection", noColumns, "<absent>"},
        {"item without texts", blank, "<absent>"},
        {"class without published information", opaque, "<absent>"},
        // Only the exact "Name" is left out.
        {"lower-case name", lowerName, "name"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Dump(BuildPropertyTree(r.object)), r.tree) << r.what;
}

TEST_F(PropertyTreeTest, EveryPathOfATreeResolvesFromItsRoot) {
    for (TComponent* root :
         std::vector<TComponent*>{app.form.get(), app.listBox1, app.grid1, app.grid2, app.query1}) {
        auto tree = BuildPropertyTree(*root);
        ASSERT_NE(tree, nullptr);
        for (const std::string& path : PropertyPaths(*tree)) {
            SCOPED_TRACE(root->Name() + ": " + path);
            EXPECT_TRUE(SetPropertyText(root, path, "v(" + path + ")"));
            std::string text;
            EXPECT_TRUE(GetPropertyText(root, path, text));
            // A string list's "Text" takes the value as one item and gives it back.
            EXPECT_EQ(text, "v(" + path + ")");
        }
    }
    EXPECT_EQ(app.listBox1->items->Lines(), std::vector<std::string>{"v(Items.Text)"});
    EXPECT_EQ(static_cast<TColumn*>(app.grid1->columns->Items(1))->title->caption,
              "v(Columns.#1.Title.Caption)");
}

TEST_F(PropertyTreeTest, DisplayNameCollectionsEnterItemsByDisplayName) {
    const std::string byIndex = "Columns{#0{Caption,Title{Caption}},#1{Caption,Title{Caption}}}";
    EXPECT_EQ(DisplayNameCollections(), nullptr);
    SetDisplayNameCollections(std::make_unique<TStringList>(TStringList{"TListColumns"}));
    EXPECT_EQ(Dump(BuildPropertyTree(*app.grid1)), byIndex);
    // A plain list ignores letter case.
    SetDisplayNameCollections(std::make_unique<TStringList>(TStringList{"tgridcolumns"}));
    const auto tree = BuildPropertyTree(*app.grid1);
    EXPECT_EQ(Dump(tree),
              "Columns{#Alpha{Caption,Title{Caption}},#TColumn{Caption,Title{Caption}}}");
    // Those names resolve too.
    for (const std::string& path : PropertyPaths(*tree)) {
        std::string text;
        EXPECT_TRUE(GetPropertyText(app.grid1, path, text)) << path;
    }
    auto caseSensitive = std::make_unique<TStringList>(TStringList{"tgridcolumns"});
    caseSensitive->SetCaseSensitive(true);
    SetDisplayNameCollections(std::move(caseSensitive));
    EXPECT_EQ(Dump(BuildPropertyTree(*app.grid1)), byIndex);
    // A list that fails when consulted counts as not naming the class.
    SetDisplayNameCollections(std::make_unique<TFailingList>());
    EXPECT_EQ(Dump(BuildPropertyTree(*app.grid1)), byIndex);
    SetDisplayNameCollections(nullptr);
    EXPECT_EQ(DisplayNameCollections(), nullptr);
}

TEST_F(PropertyTreeTest, ObjectsThatLeadBackToThemselvesContributeNothing) {
    TNode a, b, c;
    a.caption = "a";
    b.caption = "b";
    a.next = &b;
    b.next = &a;  // a cycle of two
    a.other = &a; // a loop on itself
    EXPECT_EQ(Dump(BuildPropertyTree(a)), "Caption,Next{Caption}");
    EXPECT_EQ(Dump(BuildPropertyTree(b)), "Caption,Next{Caption}");
    // The same object on two different routes is no cycle: it appears under both.
    a.next = &c;
    a.other = &c;
    c.next = &b;
    b.next = &c;
    EXPECT_EQ(Dump(BuildPropertyTree(a)),
              "Caption,Next{Caption,Next{Caption}},Other{Caption,Next{Caption}}");
}

TEST_F(PropertyTreeTest, PathsJoinBranchNames) {
    auto grid = BuildPropertyTree(*app.grid1);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(PropertyPaths(*grid),
              (std::vector<std::string>{"Columns.#0.Caption", "Columns.#0.Title.Caption",
                                        "Columns.#1.Caption", "Columns.#1.Title.Caption"}));
}

} // namespace
} // namespace tavrel::test

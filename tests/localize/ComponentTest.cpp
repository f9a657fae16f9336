#include "tavrel/localize/Exception.h"
#include "tavrel/localize/TMenuItem.h"
#include "TestClasses.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tavrel::test {
namespace {

using Log = std::vector<std::string>;

// Records its destruction and every notification it hears of.
class TRecorder : public TComponent {
    TAVREL_CLASS(TRecorder)
public:
    TRecorder(TComponent* owner, const std::string& name, Log& log) : TComponent(owner), log_(log) {
        SetName(name);
    }
    ~TRecorder() override { log_.push_back("~" + Name()); }

protected:
    void Notification(TComponent* component, TOperation operation) override {
        // The component may be half destroyed: only its address may be used.
        auto it = std::find(known.begin(), known.end(), component);
        const std::string who = it == known.end() ? "?" : knownNames[it - known.begin()];
        log_.push_back(Name() + (operation == TOperation::Insert ? " +" : " -") + who);
    }

public:
    std::vector<const TComponent*> known;
    std::vector<std::string> knownNames;

private:
    Log& log_;
};

const TClassInfo& TRecorder::StaticClassInfo() {
    static const TClassInfo info("TRecorder", &TComponent::StaticClassInfo());
    return info;
}

template <class E, class F> std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "<no exception>";
}

TEST(ComponentTest, OwnerListsAndDestroysInReverseOrder) {
    Log log;
    auto* form = new TRecorder(nullptr, "Form", log);
    auto* a = new TRecorder(form, "A", log);
    auto* b = new TRecorder(form, "B", log);
    auto* c = new TRecorder(form, "C", log);
    new TRecorder(c, "D", log);
    ASSERT_EQ(form->ComponentCount(), 3);
    EXPECT_EQ(form->Components(0), a);
    EXPECT_EQ(form->Components(2), c);
    EXPECT_EQ(b->Owner(), form);
    EXPECT_EQ(b->ComponentIndex(), 1);
    EXPECT_EQ(form->ComponentIndex(), -1);
    EXPECT_EQ(MessageOf<EListError>([&] { form->Components(3); }), "List index out of bounds (3)");
    EXPECT_EQ(MessageOf<EListError>([&] { form->Components(-1); }),
              "List index out of bounds (-1)");
    log.clear();
    delete form;
    EXPECT_EQ(log, (Log{"~Form", "~C", "~D", "~B", "~A"}));
}

TEST(ComponentTest, DirectlyDeletedComponentLeavesItsOwner) {
    Log log;
    TRecorder form(nullptr, "Form", log);
    auto* a = new TRecorder(&form, "A", log);
    auto* b = new TRecorder(&form, "B", log);
    form.known = {a, b};
    form.knownNames = {"A", "B"};
    log.clear();
    delete a;
    EXPECT_EQ(log, (Log{"~A", "Form -A"}));
    ASSERT_EQ(form.ComponentCount(), 1);
    EXPECT_EQ(form.Components(0), b);
    EXPECT_EQ(form.FindComponent("A"), nullptr);
}

TEST(ComponentTest, InsertAndRemoveMoveOwnership) {
    Log log;
    TRecorder first(nullptr, "First", log);
    TRecorder second(nullptr, "Second", log);
    auto* x = new TRecorder(&first, "X", log);
    first.known = second.known = {x};
    first.knownNames = second.knownNames = {"X"};
    log.clear();
    second.InsertComponent(x);
    EXPECT_EQ(log, (Log{"First -X", "Second +X"}));
    EXPECT_EQ(x->Owner(), &second);
    EXPECT_EQ(first.ComponentCount(), 0);
    second.RemoveComponent(x);
    EXPECT_EQ(x->Owner(), nullptr);
    EXPECT_EQ(second.ComponentCount(), 0);
    std::unique_ptr<TRecorder> owned(x); // the caller owns it now
    // Ownership cannot loop.
    second.InsertComponent(&first);
    EXPECT_EQ(MessageOf<Exception>([&] { first.InsertComponent(&second); }),
              "A component cannot own itself");
    EXPECT_EQ(MessageOf<Exception>([&] { first.InsertComponent(&first); }),
              "A component cannot own itself");
    second.RemoveComponent(&first);
}

TEST(ComponentTest, FindComponentIgnoresAsciiCaseAndNeverFindsTheEmptyName) {
    TComponent form;
    auto* unnamed = new TComponent(&form);
    auto* button = new TComponent(&form);
    button->SetName("Button1");
    auto* twin = new TComponent(&form);
    twin->SetName("BUTTON1");
    auto* accented = new TComponent(&form);
    accented->SetName("\xC9tiquette"); // Étiquette in Windows-1252
    struct Row {
        const char* name;
        TComponent* found;
    };
    const Row rows[] = {{"Button1", button},        {"button1", button},      {"BUTTON1", button},
                        {"Button", nullptr},        {"Button12", nullptr},    {"", nullptr},
                        {"\xC9TIQUETTE", accented}, {"\xE9tiquette", nullptr}};
    for (const auto& r : rows)
        EXPECT_EQ(form.FindComponent(r.name), r.found) << r.name;
    EXPECT_EQ(unnamed->Name(), "");
}

TEST(ComponentTest, FreeNotificationTellsBothSidesAndLeavesNoDanglingLinks) {
    Log log;
    auto* watcher = new TRecorder(nullptr, "Watcher", log);
    auto* target = new TRecorder(nullptr, "Target", log);
    watcher->known = {target};
    watcher->knownNames = {"Target"};
    target->known = {watcher};
    target->knownNames = {"Watcher"};
    target->FreeNotification(watcher);
    target->FreeNotification(watcher); // once is enough
    target->FreeNotification(target);  // ignored
    target->FreeNotification(nullptr); // ignored
    log.clear();
    delete target;
    EXPECT_EQ(log, (Log{"~Target", "Watcher -Target"}));
    log.clear();
    delete watcher; // must not reach the destroyed target
    EXPECT_EQ(log, (Log{"~Watcher"}));

    // The subscriber going first: the target hears of it and forgets it.
    watcher = new TRecorder(nullptr, "Watcher", log);
    target = new TRecorder(nullptr, "Target", log);
    target->known = {watcher};
    target->knownNames = {"Watcher"};
    target->FreeNotification(watcher);
    log.clear();
    delete watcher;
    EXPECT_EQ(log, (Log{"~Watcher", "Target -Watcher"}));
    log.clear();
    delete target;
    EXPECT_EQ(log, (Log{"~Target"}));
}

TEST(ComponentTest, RemoveFreeNotificationUnlinksBothSides) {
    Log log;
    auto* watcher = new TRecorder(nullptr, "Watcher", log);
    auto* target = new TRecorder(nullptr, "Target", log);
    target->FreeNotification(watcher);
    target->RemoveFreeNotification(watcher);
    log.clear();
    delete target;
    delete watcher;
    EXPECT_EQ(log, (Log{"~Target", "~Watcher"}));
}

TEST(ComponentTest, OwnedPartnersOfFreeNotificationDieTogetherCleanly) {
    Log log;
    auto* form = new TRecorder(nullptr, "Form", log);
    auto* menu = new TRecorder(form, "Menu", log);
    auto* button = new TRecorder(form, "Button", log);
    button->known = {menu};
    button->knownNames = {"Menu"};
    menu->known = {button};
    menu->knownNames = {"Button"};
    menu->FreeNotification(button);
    log.clear();
    delete form;
    EXPECT_EQ(log, (Log{"~Form", "~Button", "Menu -Button", "~Menu"}));
}

class TLoadingProbe : public TComponent {
    TAVREL_CLASS(TLoadingProbe)
public:
    void Loaded() override {
        wasLoading = IsLoading();
        TComponent::Loaded();
    }
    bool wasLoading = false;
};

const TClassInfo& TLoadingProbe::StaticClassInfo() {
    static const TClassInfo info("TLoadingProbe", &TComponent::StaticClassInfo());
    return info;
}

TEST(ComponentTest, LoadingEndsWithLoaded) {
    TLoadingProbe probe;
    EXPECT_FALSE(probe.IsLoading());
    probe.SetLoading();
    EXPECT_TRUE(probe.IsLoading());
    probe.Loaded();
    EXPECT_TRUE(probe.wasLoading);
    EXPECT_FALSE(probe.IsLoading());
    probe.SetDesigning(true);
    EXPECT_TRUE(probe.IsDesigning());
}

// ---- TMenuItem ---------------------------------------------------------------------------

class FakePicture : public IPicture {
public:
    int Width() const override { return 16; }
    int Height() const override { return 16; }
    bool Empty() const override { return false; }
    void LoadFromFile(const std::filesystem::path&) override {}
    void SaveToFile(const std::filesystem::path&) const override {}
    std::string EncodeBitmap() const override { return "BM"; }
    void FloodFill(int, int, TColor, TColor) override {}
    std::unique_ptr<IPicture> Clone() const override { return std::make_unique<FakePicture>(); }
};

struct MenuFixture : ::testing::Test {
    TMenuItem root;
    int calls = 0;
    std::vector<const TMenuItem*> args;
    void SetUp() override {
        root.AddChangeListener([this](TMenuItem& item) {
            ++calls;
            args.push_back(&item);
        });
    }
    TMenuItem* AddItem(TMenuItem& parent, const std::string& caption) {
        auto* item = new TMenuItem(&parent);
        item->SetCaption(caption);
        parent.Add(item);
        return item;
    }
};

TEST_F(MenuFixture, SubItemsAreListedOwnedAndDestroyedByClear) {
    Log log;
    TRecorder watcher(nullptr, "Watcher", log);
    TMenuItem* english = AddItem(root, "English");
    TMenuItem* french = AddItem(root, "French");
    watcher.known = {english, french};
    watcher.knownNames = {"English", "French"};
    english->FreeNotification(&watcher);
    french->FreeNotification(&watcher);
    ASSERT_EQ(root.Count(), 2);
    EXPECT_EQ(root.Items(1), french);
    EXPECT_EQ(root.IndexOf(french), 1);
    EXPECT_EQ(french->Parent(), &root);
    EXPECT_EQ(root.ComponentCount(), 2);
    EXPECT_EQ(MessageOf<EListError>([&] { root.Items(2); }), "List index out of bounds (2)");

    root.Clear();
    EXPECT_EQ(root.Count(), 0);
    EXPECT_EQ(root.ComponentCount(), 0);
    EXPECT_EQ(log, (Log{"Watcher -French", "Watcher -English"}));
}

TEST_F(MenuFixture, DeletedSubItemLeavesParentAndOwner) {
    TMenuItem* a = AddItem(root, "A");
    TMenuItem* b = AddItem(root, "B");
    calls = 0;
    delete a;
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(root.Count(), 1);
    EXPECT_EQ(root.Items(0), b);
    EXPECT_EQ(root.ComponentCount(), 1);
}

TEST_F(MenuFixture, DestroyingAnItemDestroysItsSubItemsWhoeverOwnsThem) {
    TComponent form;
    auto* file = new TMenuItem(&form);
    auto* open = new TMenuItem(&form); // owned by the form, listed under File
    file->Add(open);
    root.Add(file);
    calls = 0;
    delete file;
    EXPECT_EQ(form.ComponentCount(), 0);
    EXPECT_EQ(root.Count(), 0);
    EXPECT_EQ(calls, 1);
}

TEST_F(MenuFixture, ListenersHearCaptionBitmapAndSubItemChanges) {
    TMenuItem* item = AddItem(root, "English");
    calls = 0;
    args.clear();
    item->SetCaption("English");
    EXPECT_EQ(calls, 0) << "an unchanged caption is no change";
    item->SetHint("Switch to English");
    EXPECT_EQ(calls, 0) << "menus do not show hints";
    item->SetCaption("&English");
    EXPECT_EQ(calls, 1) << "a sub-item's caption counts for the parent";
    item->SetBitmap(std::make_unique<FakePicture>());
    EXPECT_EQ(calls, 2);
    EXPECT_NE(item->Bitmap(), nullptr);
    AddItem(*item, "British");
    EXPECT_EQ(calls, 3) << "a caption set before Add is not heard, the Add is";
    root.Remove(item);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(item->Parent(), nullptr);
    for (const TMenuItem* arg : args)
        EXPECT_EQ(arg, &root);
    delete item;
    EXPECT_EQ(calls, 4) << "a detached item no longer reaches the former parent";
}

TEST_F(MenuFixture, UpdateScopeTurnsClearAndAddsIntoOneNotification) {
    AddItem(root, "Old1");
    AddItem(root, "Old2");
    calls = 0;
    {
        TMenuItem::UpdateScope batch(root);
        root.Clear();
        for (const char* name : {"Default", "English", "French"})
            AddItem(root, name);
        {
            TMenuItem::UpdateScope nested(root);
            AddItem(root, "German");
        }
        EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(root.Count(), 4);
    { TMenuItem::UpdateScope idle(root); }
    EXPECT_EQ(calls, 1) << "nothing changed, nothing told";
    root.Clear();
    EXPECT_EQ(calls, 2) << "Clear alone notifies once";
    root.Clear();
    EXPECT_EQ(calls, 2);
}

TEST_F(MenuFixture, ListenersMayRemoveThemselvesAndStopsWhenTheItemDies) {
    auto* item = new TMenuItem;
    int first = 0, second = 0;
    int id = 0;
    id = item->AddChangeListener([&](TMenuItem& i) {
        ++first;
        i.RemoveChangeListener(id);
    });
    item->AddChangeListener([&](TMenuItem&) { ++second; });
    item->SetCaption("a");
    item->SetCaption("b");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);

    int after = 0;
    auto* doomed = new TMenuItem;
    doomed->AddChangeListener([&](TMenuItem& i) { delete &i; });
    doomed->AddChangeListener([&](TMenuItem&) { ++after; });
    doomed->SetCaption("gone");
    EXPECT_EQ(after, 0);
    delete item;
}

TEST_F(MenuFixture, AddMovesBetweenParentsAndRefusesCycles) {
    TMenuItem* a = AddItem(root, "A");
    TMenuItem* b = AddItem(*a, "B");
    TMenuItem other;
    other.Add(b);
    EXPECT_EQ(b->Parent(), &other);
    EXPECT_EQ(a->Count(), 0);
    other.Remove(b);
    a->Add(b);
    EXPECT_EQ(MessageOf<Exception>([&] { b->Add(&root); }),
              "A menu item cannot be added below itself");
    EXPECT_EQ(MessageOf<Exception>([&] { b->Add(b); }), "A menu item cannot be added below itself");
    EXPECT_EQ(root.Parent(), nullptr);
}

TEST_F(MenuFixture, ClickHandlerMayDestroyTheClickedItem) {
    TMenuItem* english = AddItem(root, "English");
    TPersistent* sender = nullptr;
    english->OnClick = [&](TPersistent* s) {
        sender = s;
        root.Clear(); // a language menu refills itself when a language is chosen
        AddItem(root, "Rebuilt");
    };
    english->Click();
    EXPECT_EQ(sender, english);
    ASSERT_EQ(root.Count(), 1);
    EXPECT_EQ(root.Items(0)->Caption(), "Rebuilt");
    TMenuItem silent;
    EXPECT_NO_THROW(silent.Click());
}

// ---- TStrings ----------------------------------------------------------------------------

TEST(StringsTest, IndexOfIgnoresLetterCaseOfEveryScript) {
    TStringList list{"TGridColumns", "Été", "Š", "Ÿ", "×", "straße", "Русский", "Ελληνικά"};
    struct Row {
        const char* text;
        int index;
    };
    const Row rows[] = {{"tgridcolumns", 0},
                        {"TGRIDCOLUMNS", 0},
                        {"TGridColumn", -1},
                        {"étÉ", 1},
                        {"š", 2},
                        {"ÿ", 3},
                        {"÷", -1},
                        {"STRASSE", 5},
                        {"STRAßE", 5},
                        {"РУССКИЙ", 6},
                        {"русский", 6},
                        {"ΕΛΛΗΝΙΚΆ", 7},
                        {"Ελληνικα", -1},
                        {"", -1}};
    for (const auto& r : rows)
        EXPECT_EQ(list.IndexOf(r.text), r.index) << r.text;
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("tgridcolumns"), -1);
    EXPECT_EQ(list.IndexOf("TGridColumns"), 0);
}

TEST(StringsTest, EditingAndBounds) {
    TStringList list;
    EXPECT_EQ(list.Add("b"), 0);
    list.Insert(0, "a");
    list.Insert(2, "c");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"a", "b", "c"}));
    list.SetStrings(1, "B");
    list.Delete(0);
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"B", "c"}));
    EXPECT_EQ(MessageOf<EListError>([&] { list.Strings(2); }), "List index out of bounds (2)");
    EXPECT_EQ(MessageOf<EListError>([&] { list.Delete(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(MessageOf<EListError>([&] { list.Insert(3, "x"); }), "List index out of bounds (3)");
    EXPECT_EQ(MessageOf<EListError>([&] { list.SetStrings(5, "x"); }),
              "List index out of bounds (5)");
    EXPECT_EQ(list.Count(), 2);
}

TEST(StringsTest, CommaTextCarriesAllLines) {
    TStringList list{"a b", "c"};
    EXPECT_EQ(list.CommaText(), "\"a b\",c");
    list.SetCommaText("x,y");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"x", "y"}));
    list.SetCommaText("a,,b");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(list.CommaText(), "a,,b");
    list.SetCommaText("");
    EXPECT_EQ(list.Count(), 0);
}

// ---- TCollection -------------------------------------------------------------------------

TEST(CollectionTest, ItemsKnowTheirIndexAndDisplayName) {
    TGridColumns columns;
    TColumn* alpha = columns.Add<TColumn>("Alpha");
    TColumn* unnamed = columns.Add<TColumn>();
    TBlankItem* blank = columns.Add<TBlankItem>();
    TCollectionItem* plain = columns.Add();
    ASSERT_EQ(columns.Count(), 4);
    EXPECT_EQ(columns.Items(1), unnamed);
    EXPECT_EQ(alpha->Collection(), &columns);
    EXPECT_EQ(alpha->DisplayName(), "Alpha");
    EXPECT_EQ(unnamed->DisplayName(), "TColumn");
    EXPECT_EQ(blank->DisplayName(), "TBlankItem");
    EXPECT_EQ(plain->DisplayName(), "TCollectionItem");
    EXPECT_EQ(columns.ClassName(), "TGridColumns");
    EXPECT_TRUE(columns.InheritsFrom(TCollection::StaticClassInfo()));

    EXPECT_EQ(plain->Index(), 3);
    columns.Delete(0);
    EXPECT_EQ(unnamed->Index(), 0);
    EXPECT_EQ(plain->Index(), 2);
    plain->SetIndex(0);
    EXPECT_EQ(columns.Items(0), plain);
    EXPECT_EQ(unnamed->Index(), 1);
    EXPECT_EQ(blank->Index(), 2);
    blank->SetIndex(-7); // clamped to the first place
    EXPECT_EQ(columns.Items(0), blank);
    EXPECT_EQ(plain->Index(), 1);

    EXPECT_EQ(MessageOf<EListError>([&] { columns.Items(3); }), "List index out of bounds (3)");
    EXPECT_EQ(MessageOf<EListError>([&] { columns.Delete(3); }), "List index out of bounds (3)");
    columns.Clear();
    EXPECT_EQ(columns.Count(), 0);
}

TEST(ExceptionTest, ListErrorIsAnException) {
    const EListError e = EListError::IndexOutOfBounds(2);
    const Exception& base = e;
    EXPECT_STREQ(base.what(), "List index out of bounds (2)");
}

} // namespace
} // namespace tavrel::test

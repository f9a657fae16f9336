#include "tavrel/qt/QtMenuRenderer.h"

#include "tavrel/qt/QtPicture.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel {
namespace {

TMenuItem* AddItem(TMenuItem& parent, const std::string& caption) {
    auto* item = new TMenuItem(&parent);
    item->SetCaption(caption);
    parent.Add(item);
    return item;
}

std::unique_ptr<IPicture> Flag() {
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(qRgb(200, 10, 10));
    return std::make_unique<QtPicture>(image);
}

QStringList Texts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << action->text();
    return texts;
}

QAction* ActionNamed(const QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

class QtMenuRendererTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Removed actions go with deleteLater; let them go between tests.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(QtMenuRendererTest, ShowsEverySubItem) {
    TMenuItem root;
    root.SetCaption("&Edit Language");
    std::vector<TPersistent*> clicked;
    TMenuItem* english = AddItem(root, "&English");
    english->OnClick = [&](TPersistent* sender) { clicked.push_back(sender); };
    english->SetBitmap(Flag());
    english->SetHint("Edit the English texts");
    TMenuItem* french = AddItem(root, "Français");
    french->OnClick = [&](TPersistent* sender) { clicked.push_back(sender); };
    AddItem(root, "R&&D");

    QMenu menu;
    QtMenuBinding binding(root, menu);
    EXPECT_EQ(menu.title(), QStringLiteral("&Edit Language"));
    ASSERT_EQ(Texts(menu), (QStringList{"&English", QString::fromUtf8("Français"), "R&&D"}));
    const QList<QAction*> actions = menu.actions();
    EXPECT_FALSE(actions[0]->icon().isNull());
    EXPECT_EQ(actions[0]->icon().availableSizes().value(0), QSize(4, 3));
    EXPECT_TRUE(actions[1]->icon().isNull());
    EXPECT_EQ(actions[0]->statusTip(), QStringLiteral("Edit the English texts"));

    actions[1]->trigger();
    actions[0]->trigger();
    actions[2]->trigger(); // no handler: nothing happens
    EXPECT_EQ(clicked, (std::vector<TPersistent*>{french, english}));
}

TEST_F(QtMenuRendererTest, NestedItemsBecomeSubMenus) {
    TMenuItem root;
    TMenuItem* file = AddItem(root, "&File");
    TMenuItem* recent = AddItem(*file, "&Recent");
    int opened = 0;
    TMenuItem* first = AddItem(*recent, "a.Lng");
    first->OnClick = [&](TPersistent*) { ++opened; };
    AddItem(*file, "E&xit");
    AddItem(root, "&Help");

    QMenu menu;
    QtMenuBinding binding(root, menu);
    ASSERT_EQ(Texts(menu), (QStringList{"&File", "&Help"}));
    QMenu* fileMenu = menu.actions()[0]->menu();
    ASSERT_NE(fileMenu, nullptr);
    EXPECT_EQ(menu.actions()[1]->menu(), nullptr);
    ASSERT_EQ(Texts(*fileMenu), (QStringList{"&Recent", "E&xit"}));
    QMenu* recentMenu = fileMenu->actions()[0]->menu();
    ASSERT_NE(recentMenu, nullptr);
    ASSERT_EQ(Texts(*recentMenu), QStringList{"a.Lng"});
    recentMenu->actions()[0]->trigger();
    EXPECT_EQ(opened, 1);

    // A change deep down rebuilds the whole menu.
    AddItem(*recent, "b.Lng");
    fileMenu = menu.actions()[0]->menu();
    EXPECT_EQ(Texts(*fileMenu->actions()[0]->menu()), (QStringList{"a.Lng", "b.Lng"}));
}

TEST_F(QtMenuRendererTest, FollowsChangesOfTheItem) {
    TMenuItem root;
    AddItem(root, "One");
    QMenu menu;
    menu.addAction(QStringLiteral("Kept"));
    QtMenuBinding binding(root, menu);
    EXPECT_EQ(Texts(menu), (QStringList{"Kept", "One"}));

    TMenuItem* two = AddItem(root, "Two");
    EXPECT_EQ(Texts(menu), (QStringList{"Kept", "One", "Two"}));
    two->SetCaption("Zwei");
    EXPECT_EQ(Texts(menu), (QStringList{"Kept", "One", "Zwei"}));
    two->SetBitmap(Flag());
    EXPECT_FALSE(ActionNamed(menu, "Zwei")->icon().isNull());
    delete two;
    EXPECT_EQ(Texts(menu), (QStringList{"Kept", "One"}));
    root.Clear();
    EXPECT_EQ(Texts(menu), QStringList{"Kept"});
    {
        TMenuItem::UpdateScope batch(root);
        for (const char* caption : {"A", "B", "C"})
            AddItem(root, caption);
    }
    EXPECT_EQ(Texts(menu), (QStringList{"Kept", "A", "B", "C"}));
    root.SetCaption("&Languages");
    EXPECT_EQ(menu.title(), QStringLiteral("&Languages"));
}

// The language menu rebuilds itself from the click handler of one of its items: the action
// being triggered disappears while Qt is still delivering its signal.
TEST_F(QtMenuRendererTest, ClickThatRebuildsTheMenu) {
    TMenuItem root;
    std::vector<std::string> chosen;
    std::function<void()> fill = [&] {
        TMenuItem::UpdateScope batch(root);
        root.Clear();
        for (const char* caption : {"&Default", "&English"}) {
            TMenuItem* item = AddItem(root, caption);
            item->OnClick = [&, item](TPersistent*) {
                chosen.push_back(item->Caption());
                fill(); // destroys `item`
            };
        }
    };
    fill();
    QMenu menu;
    BindMenu(root, menu);
    QPointer<QAction> english = ActionNamed(menu, "&English");
    ASSERT_FALSE(english.isNull());
    english->trigger();
    EXPECT_EQ(chosen, std::vector<std::string>{"&English"});
    EXPECT_EQ(Texts(menu), (QStringList{"&Default", "&English"}));
    EXPECT_FALSE(menu.actions().contains(english.data()));

    // The old action is gone from the menu; triggered anyway, it must not reach the
    // destroyed item.
    ASSERT_FALSE(english.isNull());
    english->trigger();
    EXPECT_EQ(chosen.size(), 1u);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(english.isNull());
    ActionNamed(menu, "&Default")->trigger();
    EXPECT_EQ(chosen, (std::vector<std::string>{"&English", "&Default"}));
}

TEST_F(QtMenuRendererTest, ItemDestroyedBeforeTheBinding) {
    auto root = std::make_unique<TMenuItem>();
    TMenuItem* one = AddItem(*root, "One");
    int clicks = 0;
    one->OnClick = [&](TPersistent*) { ++clicks; };
    QMenu menu;
    QtMenuBinding binding(*root, menu);
    QPointer<QAction> action = menu.actions().value(0);
    root.reset();
    EXPECT_EQ(binding.Item(), nullptr);
    EXPECT_TRUE(menu.actions().isEmpty());
    ASSERT_FALSE(action.isNull());
    action->trigger();
    EXPECT_EQ(clicks, 0);
    binding.Rebuild(); // nothing to show any more
    EXPECT_TRUE(menu.actions().isEmpty());
}

TEST_F(QtMenuRendererTest, BindingDestroyedBeforeTheItem) {
    TMenuItem root;
    AddItem(root, "One");
    QMenu menu;
    {
        QtMenuBinding binding(root, menu);
        EXPECT_EQ(Texts(menu), QStringList{"One"});
    }
    // Neither a change nor the item's destruction reaches the binding any more.
    AddItem(root, "Two");
    EXPECT_EQ(Texts(menu), QStringList{"One"});
    int clicks = 0;
    root.Items(0)->OnClick = [&](TPersistent*) { ++clicks; };
    menu.actions()[0]->trigger();
    EXPECT_EQ(clicks, 0);
}

TEST_F(QtMenuRendererTest, MenuDestroyedBeforeTheItem) {
    TMenuItem root;
    AddItem(root, "One");
    auto menu = std::make_unique<QMenu>();
    QPointer<QtMenuBinding> binding = BindMenu(root, *menu);
    ASSERT_FALSE(binding.isNull());
    EXPECT_EQ(binding->Menu(), menu.get());
    menu.reset();
    EXPECT_TRUE(binding.isNull());
    AddItem(root, "Two");
    root.Clear();

    // A binding that is not the menu's child lets go of the item as well.
    auto other = std::make_unique<QMenu>();
    QtMenuBinding loose(root, *other);
    other.reset();
    EXPECT_EQ(loose.Menu(), nullptr);
    EXPECT_EQ(loose.Item(), nullptr);
    AddItem(root, "Three");
}

TEST_F(QtMenuRendererTest, FailingClickGoesToTheErrorHandler) {
    TMenuItem root;
    TMenuItem* item = AddItem(root, "Fails");
    item->OnClick = [](TPersistent*) { throw std::runtime_error("Unable to write to x.Lng"); };
    QMenu menu;
    QtMenuBinding binding(root, menu);
    std::vector<std::string> errors;
    binding.SetErrorHandler([&](const std::exception& e) { errors.push_back(e.what()); });
    menu.actions()[0]->trigger();
    EXPECT_EQ(errors, std::vector<std::string>{"Unable to write to x.Lng"});

    binding.SetErrorHandler({});
    EXPECT_NO_THROW(menu.actions()[0]->trigger());
}

} // namespace
} // namespace tavrel

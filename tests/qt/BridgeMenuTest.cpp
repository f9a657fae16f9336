// Language menus in one call: filled from the catalogue with flags, refilled before they
// are shown, switching every client when a language is chosen, never translated.

#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridge.h"
#include "tavrel/qt/QtPicture.h"
#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <string>
#include <vector>

namespace tavrel {
namespace {

namespace fs = std::filesystem;

QStringList Captions(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << action->text();
    return texts;
}

QAction* Action(const QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

class BridgeMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder_);
        Write("OvkDefault.Lng", "[Definitions]\r\nOvkLanguage=Default\r\n");
        Write("German.Lng", "[Definitions]\r\nOvkLanguage=German\r\n"
                            "[Caption]\r\nOpen=\xD6"
                            "ffnen\r\n&Language=&Sprache\r\n"
                            "German=Deutsch\r\nFrench=Franz\xF6sisch\r\n");
        Write("French.Lng", "[Definitions]\r\nOvkLanguage=French\r\n"
                            "[Caption]\r\nOpen=Ouvrir\r\n&Language=&Langue\r\n");
        QImage flag(6, 4, QImage::Format_RGB32);
        flag.fill(Qt::red);
        QtPicture(flag).SaveToFile(folder_ / "German.bmp");
        Write("French.bmp", "not a bitmap"); // still listed, without a flag

        TLocalizeEnvironment env;
        env.SettingsFile = dir_ / "Localize.ini";
        env.DefaultFolder = folder_;
        env.PictureFactory = QtPictureFactory();
        server_ = std::make_unique<TOvkLocalizeServer>(nullptr, env);
        server_->SetDicPath(folder_.string());
        server_->RefreshLanguages();
        server_->SetActive(true);
    }
    void TearDown() override {
        server_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void Write(const std::string& name, const std::string& bytes) {
        test::WriteFileBytes(folder_ / name, bytes);
    }

    test::TempDir dir_;
    fs::path folder_ = dir_ / "dict";
    std::unique_ptr<TOvkLocalizeServer> server_;
};

TEST_F(BridgeMenuTest, ListsTheLanguagesWithFlagsAndChecksTheCurrentOne) {
    struct Case {
        bool includeDefault;
        QStringList captions;
    };
    for (const Case& c :
         {Case{true, {"Default", "French", "German"}}, Case{false, {"French", "German"}}}) {
        QMenu menu("&Language");
        QAction* own = menu.addAction("Before");
        BindLanguageMenu(*server_, menu, c.includeDefault, true);
        QStringList expected{"Before"};
        expected << c.captions;
        EXPECT_EQ(Captions(menu), expected);
        EXPECT_EQ(menu.title(), "&Language");
        EXPECT_FALSE(Action(menu, "German")->icon().isNull());
        EXPECT_TRUE(Action(menu, "French")->icon().isNull());
        EXPECT_EQ(Action(menu, "German")->property(kQtTagProperty).toInt(), LanguageMenuTag);
        EXPECT_FALSE(own->property(kQtTagProperty).isValid());
        EXPECT_FALSE(own->isCheckable());
        // Nothing was chosen yet: the first catalogued language is current.
        if (c.includeDefault) {
            EXPECT_TRUE(Action(menu, "Default")->isChecked());
        }
        EXPECT_FALSE(Action(menu, "German")->isChecked());
    }
}

TEST_F(BridgeMenuTest, ChoosingALanguageSwitchesClientsButNotTheLanguageNames) {
    QWidget root;
    auto* open = new QLabel("Open", &root);
    auto* menu = new QMenu("&Language", &root);
    QtLanguageMenu* languages = BindLanguageMenu(*server_, *menu);
    AddQtClient(*server_, root);
    std::vector<std::string> clicked;
    server_->OnLanguageMenuClick = [&](TPersistent*) { clicked.push_back(server_->Language()); };

    Action(*menu, "German")->trigger();
    EXPECT_EQ(open->text(), QString::fromUtf8("Öffnen"));
    EXPECT_EQ(menu->title(), "&Sprache");
    EXPECT_EQ(Captions(*menu), (QStringList{"Default", "French", "German"}));
    EXPECT_EQ(clicked, std::vector<std::string>{"German"});

    emit menu->aboutToShow();
    EXPECT_TRUE(Action(*menu, "German")->isChecked());
    Action(*menu, "French")->trigger();
    EXPECT_EQ(open->text(), "Ouvrir");
    EXPECT_EQ(menu->title(), "&Langue");
    EXPECT_EQ(languages->Menu(), menu);
}

TEST_F(BridgeMenuTest, FollowsTheCatalogueEachTimeItIsShown) {
    QMenu menu;
    BindLanguageMenu(*server_, menu, false, false);
    server_->NewLanguage("Spanish", nullptr);
    EXPECT_EQ(Captions(menu), (QStringList{"French", "German"}));
    emit menu.aboutToShow();
    EXPECT_EQ(Captions(menu), (QStringList{"French", "German", "Spanish"}));
    server_->SetLanguage("spanish");
    emit menu.aboutToShow();
    EXPECT_TRUE(Action(menu, "Spanish")->isChecked());
    EXPECT_EQ(Action(menu, "Spanish")->property(kQtTagProperty).toInt(), LanguageMenuTag);
}

TEST_F(BridgeMenuTest, BindingAgainReplacesTheEarlierBinding) {
    QMenu menu;
    QPointer<QtLanguageMenu> first = BindLanguageMenu(*server_, menu);
    BindLanguageMenu(*server_, menu);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(Captions(menu), (QStringList{"Default", "French", "German"}));
}

TEST_F(BridgeMenuTest, OutlivesItsServerAndItsMenu) {
    auto* menu = new QMenu;
    QPointer<QtLanguageMenu> languages = BindLanguageMenu(*server_, *menu);
    server_.reset();
    EXPECT_TRUE(Captions(*menu).isEmpty()); // items that would call a dead server are gone
    emit menu->aboutToShow();
    EXPECT_TRUE(Captions(*menu).isEmpty());
    delete menu;
    EXPECT_TRUE(languages.isNull());
}

TEST_F(BridgeMenuTest, FailedSwitchGoesToTheErrorHandler) {
    // The reverse dictionary cannot be written where a folder stands in its place.
    fs::create_directories(folder_ / "OvkOponent.Lng" / "blocked");
    server_->SetLanguage("German");
    QMenu menu;
    QtLanguageMenu* languages = BindLanguageMenu(*server_, menu);
    std::vector<std::string> errors;
    languages->SetErrorHandler([&](const std::exception& e) { errors.emplace_back(e.what()); });
    QWidget root;
    new QLabel("Open", &root);
    AddQtClient(*server_, root);

    Action(menu, "French")->trigger();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Unable to write to"), std::string::npos) << errors[0];
}

} // namespace
} // namespace tavrel

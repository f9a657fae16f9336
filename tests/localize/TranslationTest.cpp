#include "ServerTestSupport.h"
#include "tavrel/localize/TMenuItem.h"
#include "tavrel/storage/SettingsStore.h"
#include "TestClasses.h"

#include <functional>
#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;

// A button whose caption cannot be written, to make a switch fail half-way.
class TStubbornButton : public TComponent {
    TAVREL_CLASS(TStubbornButton)
public:
    using TComponent::TComponent;
    std::string caption = "Ouvrir";
    void SetCaption(const std::string&) { throw std::runtime_error("caption is locked"); }
    std::string GetCaption() const { return caption; }
};

const TClassInfo& TStubbornButton::StaticClassInfo() {
    static const TClassInfo info(
        "TStubbornButton", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TStubbornButton::GetCaption, &TStubbornButton::SetCaption)});
    return info;
}

// Calls back whenever its caption is written.
class TProbe : public TComponent {
    TAVREL_CLASS(TProbe)
public:
    using TComponent::TComponent;
    std::function<void()> onWrite;
    std::string caption = "probe";
    void SetCaption(const std::string& c) {
        caption = c;
        if (onWrite)
            onWrite();
    }
    std::string GetCaption() const { return caption; }
};

const TClassInfo& TProbe::StaticClassInfo() {
    static const TClassInfo info("TProbe", &TComponent::StaticClassInfo(),
                                 {StringProp("Caption", &TProbe::GetCaption, &TProbe::SetCaption)});
    return info;
}

// Default, French and Spanish dictionaries; French is current; one client form.
class Translation : public ::testing::Test, protected ServerFixtureBase {
protected:
    std::unique_ptr<TOvkLocalizeServer> server;
    std::unique_ptr<TForm> form;
    TButton* open = nullptr;
    TButton* close = nullptr;
    fs::path defaultFile, frenchFile, spanishFile;

    void SetUp() override {
        defaultFile = WriteDictionary("OvkDefault.Lng", "Default", "[Caption]\r\nOpen=Open\r\n");
        frenchFile =
            WriteDictionary("fr.lng", "French",
                            "[Caption]\r\nOpen=Ouvrir\r\nSave=Enregistrer\r\nFile=Fichier\r\n"
                            "OVK=(vide)\r\nFrench=Fran\xE7"
                            "ais\r\n"
                            "[Text]\r\nRed,Green=Rouge,Vert\r\n"
                            "[Hint]\r\nOpen a file=Ouvrir un fichier\r\n");
        spanishFile = WriteDictionary("es.lng", "Spanish",
                                      "[Caption]\r\nOpen=Abrir\r\nFile=Archivo\r\n"
                                      "[Text]\r\nRed,Green=Rojo,Verde\r\n"
                                      "[Hint]\r\nOpen a file=Abrir un archivo\r\n"
                                      "[Messages]\r\nHello=Hola\r\n");
        server = LoadedServer();
        server->SetDicPath(Folder());
        server->RefreshLanguages();
        server->SetLanguage("French");
        server->SetActive(true);

        form = std::make_unique<TForm>();
        form->SetName("Form1");
        form->caption = "Fichier";
        open = new TButton(form.get());
        open->SetName("OpenButton");
        open->caption = "Ouvrir";
        open->hint = "Ouvrir un fichier";
        close = new TButton(form.get());
        close->SetName("CloseButton");
        close->caption = "Close";
    }
};

// A component whose title, a sub-object with a caption, may be absent.
class TTitledPanel : public TComponent {
    TAVREL_CLASS(TTitledPanel)
public:
    using TComponent::TComponent;
    std::string caption;
    std::unique_ptr<TColumnTitle> title;
};

const TClassInfo& TTitledPanel::StaticClassInfo() {
    static const TClassInfo info(
        "TTitledPanel", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TTitledPanel::caption), ObjectProp("Title", &TTitledPanel::title)});
    return info;
}

// Instances of one class whose references lead nowhere share a tree, the others get their
// own: in any order, every text of each is translated, and a title added between switches
// is found at the next one.
TEST_F(Translation, ComponentsWithAndWithoutSubObjectsOfOneClassAllTranslate) {
    std::vector<TTitledPanel*> panels;
    for (const bool titled : {false, true, false, true}) {
        auto* panel = new TTitledPanel(form.get());
        panel->caption = "Ouvrir";
        if (titled) {
            panel->title = std::make_unique<TColumnTitle>();
            panel->title->caption = "Enregistrer";
        }
        panels.push_back(panel);
    }
    server->AddClient(*form);
    server->SetLanguage("Default");
    for (TTitledPanel* panel : panels) {
        EXPECT_EQ(panel->caption, "Open");
        if (panel->title) {
            EXPECT_EQ(panel->title->caption, "Save");
        }
    }
    panels[0]->title = std::make_unique<TColumnTitle>();
    panels[0]->title->caption = "Open";
    panels[1]->title.reset();
    server->SetLanguage("French");
    EXPECT_EQ(panels[0]->title->caption, "Ouvrir");
    for (TTitledPanel* panel : panels)
        EXPECT_EQ(panel->caption, "Ouvrir");
    EXPECT_EQ(panels[3]->title->caption, "Enregistrer");
}

TEST_F(Translation, ASwitchMapsTextsBackAndForwardThroughTheReverseDictionary) {
    server->AddClient(*form);
    server->SetLanguage("Spanish");
    EXPECT_EQ(open->caption, "Abrir");
    EXPECT_EQ(open->hint, "Abrir un archivo");
    EXPECT_EQ(close->caption, "Close");
    EXPECT_EQ(form->caption, "Archivo");
    const fs::path reverse = dictionaries / "OvkOponent.Lng";
    EXPECT_EQ(Read(reverse, "Caption", "Ouvrir"), "Open");
    EXPECT_EQ(Read(reverse, "Caption", "Enregistrer"), "Save");
    EXPECT_EQ(Read(reverse, "Definitions", "French"), "<absent>"); // OvkLanguage is never reversed

    server->SetLanguage("Default");
    EXPECT_EQ(open->caption, "Open");
    EXPECT_EQ(form->caption, "File");
}

// Another program changes the shown dictionary: applying the language again takes every
// text back through the dictionary as it was shown and forward through the file as it is,
// and neither stores anything nor tells of a change of language.
TEST_F(Translation, ReapplyingFollowsTheDictionaryAsItIsNow) {
    server->AddClient(*form);
    server->SetLanguage("Spanish");
    ASSERT_EQ(open->caption, "Abrir");
    bool fired = false;
    server->OnLanguageChange = [&](TPersistent*) { fired = true; };
    WriteDictionary("es.lng", "Spanish",
                    "[Caption]\r\nOpen=Abrir ya\r\nFile=Archivo\r\nClose=Cerrar\r\n"
                    "[Hint]\r\nOpen a file=Abrir un archivo\r\n");
    SettingsStore store(folders.SettingsFile());
    ASSERT_TRUE(store.OpenKey());
    store.WriteString("Others", "ActualLanguage", "French"); // another program's choice
    server->ReapplyLanguage();
    EXPECT_EQ(open->caption, "Abrir ya");
    EXPECT_EQ(close->caption, "Cerrar");
    EXPECT_EQ(form->caption, "Archivo");
    EXPECT_EQ(open->hint, "Abrir un archivo");
    EXPECT_FALSE(fired);
    EXPECT_EQ(store.ReadString("Others", "ActualLanguage", ""), "French");
    // The next switch maps the changed texts back as well.
    server->SetLanguage("Default");
    EXPECT_EQ(open->caption, "Open");
    EXPECT_EQ(close->caption, "Close");
}

TEST_F(Translation, LargeSectionsAreReversedWhole) {
    // Far more key bytes than a 16384-byte list buffer holds.
    std::string french = "[Caption]\r\n", spanish = "[Caption]\r\n";
    for (int i = 0; i < 2000; ++i) {
        const std::string key = "Text number " + std::to_string(i) + " of the form";
        french += key + "=fr " + key + "\r\n";
        spanish += key + "=es " + key + "\r\n";
    }
    WriteDictionary("fr.lng", "French", french);
    WriteDictionary("es.lng", "Spanish", spanish);
    open->caption = "fr Text number 1999 of the form";
    server->AddClient(*form);
    server->SetLanguage("Spanish");
    EXPECT_EQ(open->caption, "es Text number 1999 of the form");

    // A new language is seeded with every entry of a large Default dictionary too.
    WriteDictionary("OvkDefault.Lng", "Default", spanish);
    const auto file = server->NewLanguage("Klingon", nullptr);
    EXPECT_EQ(Read(file, "Caption", "Text number 1999 of the form"),
              "es Text number 1999 of the form");
}

TEST_F(Translation, ExcludedComponentsKeepTheirOwnTextsOnly) {
    auto* inner = new TButton(open); // owned by the excluded button
    inner->caption = "Ouvrir";
    server->AddClient(*form, {"openbutton"});
    server->SetLanguage("Spanish");
    EXPECT_EQ(open->caption, "Ouvrir");
    EXPECT_EQ(inner->caption, "Abrir");
    EXPECT_EQ(form->caption, "Archivo");
}

TEST_F(Translation, GeneratedLanguageMenuItemsKeepTheirNames) {
    auto* languages = new TMenuItem(form.get());
    languages->SetCaption("Fichier");
    server->FillLanguageMenu(*languages, true, false);
    server->AddClient(*form);
    server->SetLanguage("Spanish");
    EXPECT_EQ(languages->Caption(), "Archivo");
    ASSERT_EQ(languages->Count(), 3);
    EXPECT_EQ(languages->Items(1)->Caption(), "French"); // French=Français exists, unused
}

TEST_F(Translation, StringListsTranslateAsOneCommaTextAndSqlIsLeftAlone) {
    auto* list = new TListBox(form.get());
    list->items->SetLines({"Rouge", "Vert"});
    auto* query = new TQuery(form.get());
    query->caption = "Ouvrir";
    query->sql->SetLines({"Ouvrir", "Fichier"});
    server->AddClient(*form);
    server->SetLanguage("Spanish");
    EXPECT_EQ(list->items->Lines(), (std::vector<std::string>{"Rojo", "Verde"}));
    EXPECT_EQ(query->caption, "Abrir");
    EXPECT_EQ(query->sql->Lines(), (std::vector<std::string>{"Ouvrir", "Fichier"}));
}

TEST_F(Translation, OnlyTheFiveNamesCountAlsoOnSubObjectsAndCollectionItems) {
    form->title = "Ouvrir";
    auto* grid = new TGrid(form.get());
    auto* column = grid->columns->Add<TColumn>("Fichier");
    column->title->caption = "Ouvrir";
    server->AddClient(*form);
    server->SetLanguage("Spanish");
    EXPECT_EQ(form->title, "Ouvrir");
    EXPECT_EQ(column->caption, "Archivo");
    EXPECT_EQ(column->title->caption, "Abrir");
}

TEST_F(Translation, LongTextsAreCutAndEmptyTextsAreLookedUpUnderTheSentinel) {
    open->caption = std::string(300, 'x');
    close->caption = "";
    server->AddClient(*form);
    server->SetLanguage("Default");
    EXPECT_EQ(open->caption, std::string(255, 'x'));
    // The empty caption is looked up under "OVK": neither the reverse dictionary nor
    // Default has that key, so it stays empty; French translates it.
    EXPECT_EQ(close->caption, "");
    server->SetLanguage("French");
    EXPECT_EQ(close->caption, "(vide)");
}

TEST_F(Translation, TranslateTextDuringASwitchUsesTheHeldDictionaries) {
    auto* probe = new TProbe(form.get());
    std::vector<std::string> seen;
    probe->onWrite = [&] {
        seen.push_back(server->TranslateText("Messages", "File not found", "x"));
        seen.push_back(server->TranslateText("Caption", "File not found", "x"));
        seen.push_back(server->TranslateText("Messages", "Hello", "x"));
    };
    server->AddClient(*form);
    server->SetLanguage("Spanish");
    // Two passes, three look-ups each, all in the current (Spanish) dictionary.
    EXPECT_EQ(seen, (std::vector<std::string>{"", "File not found", "Hola", "", "File not found",
                                              "Hola"}));
}

TEST_F(Translation, TranslateTextOutsideASwitchOpensTheDictionaryForTheCall) {
    server->AddClient(*form); // so the switch builds the reverse dictionary
    server->SetLanguage("Spanish");
    // Outside a switch the dictionary is opened for the call.
    EXPECT_EQ(server->TranslateText("Messages", "File not found", "Spanish"), "");
    EXPECT_EQ(server->TranslateText("Caption", "File not found", "Spanish"), "File not found");
    EXPECT_EQ(server->TranslateText("Messages", "Hello", "Spanish"), "Hola");
    EXPECT_EQ(server->TranslateText("Caption", "Open", "Oponent"), "Abrir"); // not the reverse one
    EXPECT_EQ(server->TranslateText("Caption", "Ouvrir", "oponent"), "Open");
}

TEST_F(Translation, RegisterModeAddsMissingTextsToEveryDictionaryAndChangesNothing) {
    open->caption = "Print";
    close->caption = "Open";
    auto* list = new TListBox(form.get());
    list->items->SetLines({"a b", "c"});
    server->AddClient(*form);
    server->RegisterClientTexts();
    EXPECT_EQ(open->caption, "Print");
    for (const auto& file : {defaultFile, frenchFile, spanishFile}) {
        EXPECT_EQ(Read(file, "Caption", "Print"), "Print") << file;
        EXPECT_EQ(Read(file, "Text", "\"a b\",c"), "\"a b\",c") << file;
    }
    EXPECT_EQ(Read(frenchFile, "Caption", "Open"), "Ouvrir");
    EXPECT_EQ(Read(spanishFile, "Caption", "Open"), "Abrir");
}

// The Default dictionary learns where each text is shown and in which menu; a place that
// shows another text later leaves the old entry marked obsolete.
TEST_F(Translation, RegistrationNotesPlacesMenusAndObsoleteTexts) {
    auto* menu = new TMenuItem(form.get());
    menu->SetName("FileMenu");
    auto* item = new TMenuItem(form.get());
    item->SetName("OpenItem");
    item->SetCaption("&Open");
    menu->Add(item);
    open->caption = "Print";
    server->AddClient(*form);
    server->RegisterClientTexts();
    using Notes = std::vector<std::string>;
    auto notes = [&](const fs::path& file, const std::string& key) {
        return ProfileFile(file).ReadNotes("Caption", key);
    };
    EXPECT_EQ(notes(defaultFile, "Print"), Notes{"from Form1.OpenButton.Caption"});
    EXPECT_EQ(notes(defaultFile, "&Open"), (Notes{"from Form1.OpenItem.Caption", "menu FileMenu"}));
    EXPECT_EQ(notes(frenchFile, "Print"), Notes{}); // only the application's own dictionary

    open->caption = "Print all";
    close->caption = "Print"; // the old text shown elsewhere now: not obsolete
    item->SetCaption("&Open...");
    server->RegisterClientTexts();
    EXPECT_EQ(notes(defaultFile, "Print all"), Notes{"from Form1.OpenButton.Caption"});
    EXPECT_EQ(notes(defaultFile, "Print"), Notes{"from Form1.CloseButton.Caption"});
    EXPECT_EQ(notes(defaultFile, "&Open"), (Notes{"menu FileMenu", "obsolete"}));
    EXPECT_EQ(Read(defaultFile, "Caption", "&Open"), "&Open"); // kept for the translators

    item->SetCaption("&Open"); // back again
    server->RegisterClientTexts();
    EXPECT_EQ(notes(defaultFile, "&Open"), (Notes{"from Form1.OpenItem.Caption", "menu FileMenu"}));
}

TEST_F(Translation, ADestroyedClientLeavesTheListByItself) {
    server->AddClient(*form);
    EXPECT_EQ(server->ClientCount(), 1);
    form.reset();
    EXPECT_EQ(server->ClientCount(), 0);
    EXPECT_NO_THROW(server->SetLanguage("Spanish"));
}

TEST_F(Translation, InactiveServersRebuildTheReverseDictionaryButChangeNoText) {
    server->SetActive(false);
    server->AddClient(*form);
    server->SetLanguage("Spanish");
    EXPECT_EQ(open->caption, "Ouvrir");
    EXPECT_EQ(Read(dictionaries / "OvkOponent.Lng", "Caption", "Ouvrir"), "Open");
}

TEST_F(Translation, AFailingSwitchReleasesItsDictionariesAndSkipsTheRest) {
    auto* stubborn = new TStubbornButton(form.get());
    (void)stubborn;
    server->AddClient(*form);
    bool fired = false;
    server->OnLanguageChange = [&](TPersistent*) { fired = true; };
    EXPECT_THROW(server->SetLanguage("Spanish"), std::runtime_error);
    EXPECT_FALSE(fired);
    SettingsStore store(folders.SettingsFile());
    ASSERT_TRUE(store.OpenKey());
    EXPECT_EQ(store.ReadString("Others", "ActualLanguage", ""), "French");
    // The texts and the server are back in the language before: the next switch maps them
    // back from the right dictionary.
    EXPECT_EQ(form->caption, "Fichier");
    EXPECT_EQ(server->Language(), "French");

    // Listeners hear the end of a failed switch too.
    std::vector<TOvkLocalizeServer::TSwitchPhase> phases;
    const int id = server->AddSwitchListener([&](auto phase) { phases.push_back(phase); });
    EXPECT_THROW(server->SetLanguage("Spanish"), std::runtime_error);
    EXPECT_EQ(phases, (std::vector{TOvkLocalizeServer::TSwitchPhase::Begin,
                                   TOvkLocalizeServer::TSwitchPhase::End}));
    server->RemoveSwitchListener(id);

    // The dictionaries were released: a later switch without the failing component works.
    delete stubborn;
    server->SetLanguage("Spanish");
    EXPECT_EQ(open->caption, "Abrir");
}

} // namespace
} // namespace tavrel::test

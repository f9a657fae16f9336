// Widget trees translated through the bridge: which texts the engine sees, language
// switches there and back, a tree that changes while registered, and texts the bridge
// must leave alone.

#include "tavrel/localize/Exception.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridge.h"
#include "tavrel/qt/QtMessages.h"
#include "tavrel/qt/QtPicture.h"
#include "tavrel/storage/ProfileFile.h"
#include "TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBox>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QWizardPage>
#include <string>
#include <vector>

namespace tavrel {

void PrintTo(const QtClientText& text, std::ostream* out) {
    *out << text.Path << "=" << text.Text;
}

namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string Section, Key, Value; // UTF-8
};

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Marks a widget's contents (a line edit's text, a list's items) as texts of the
// application; they are the user's otherwise.
template <class W> W* Contents(W* widget) {
    widget->setProperty(kQtLocalizeProperty, true);
    return widget;
}

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(Folder()); }
    void TearDown() override {
        server_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    fs::path Folder() const { return dir_ / "dict"; }

    // A dictionary in the file layout: CRLF lines, Windows-1252 text, entries grouped by
    // section in the order given.
    void WriteDictionary(const std::string& file, const std::string& language,
                         const std::vector<Entry>& entries) {
        std::string out = "[Definitions]\r\nOvkLanguage=" + language + "\r\n";
        std::string section;
        for (const Entry& e : entries) {
            if (e.Section != section) {
                section = e.Section;
                out += "[" + section + "]\r\n";
            }
            out += e.Key + "=" + e.Value + "\r\n";
        }
        test::WriteDictionaryText(Folder() / file, out);
    }

    TOvkLocalizeServer& StartServer() {
        TLocalizeEnvironment env;
        env.SettingsFile = dir_ / "Localize.ini";
        env.DefaultFolder = Folder();
        env.PictureFactory = QtPictureFactory();
        server_ = std::make_unique<TOvkLocalizeServer>(nullptr, env);
        server_->SetDicPath(Folder().string());
        server_->RefreshLanguages();
        server_->SetActive(true);
        return *server_;
    }

    TOvkLocalizeServer& Server() { return *server_; }

    test::TempDir dir_;
    std::unique_ptr<TOvkLocalizeServer> server_;
};

// A form with one widget of every kind the bridge knows, plus objects it must pass over.
struct Form {
    QWidget root;
    QPushButton* button;
    QLabel* label;
    QGroupBox* group;
    QCheckBox* check;
    QLineEdit* edit;
    QPlainTextEdit* notes;
    QListWidget* colours;
    QComboBox* sizes;
    QSpinBox* spin;
    QTreeWidget* tree;
    QTableWidget* table;
    QTabWidget* tabs;
    QLabel* inside;
    QAction* save;
    QAction* print;
    QMenu* menu;
    QAction* close;
    QToolButton* toolButton;
    QLabel* internal;
    QAction* generated;

    Form() {
        root.setObjectName("Form");
        root.setWindowTitle("Main window");
        button = Named(new QPushButton("Open", &root), "OpenButton");
        button->setToolTip("Open a file");
        label = Named(new QLabel("Name", &root), "NameLabel");
        group = Named(new QGroupBox("Options", &root), "Group");
        check = Named(new QCheckBox("Bold", group), "BoldCheck");
        edit = Named(Contents(new QLineEdit("Alice", &root)), "NameEdit");
        notes = Named(new QPlainTextEdit("first\nsecond", &root), "Notes");
        colours = Named(Contents(new QListWidget(&root)), "Colours");
        colours->addItems({"Red", "Green"});
        sizes = Named(new QComboBox(&root), "Sizes");
        sizes->setEditable(true);
        sizes->addItems({"Small", "Large"});
        // Contents that are texts of the application only when it says so.
        for (QWidget* contents : std::initializer_list<QWidget*>{edit, notes, colours, sizes})
            contents->setProperty(kQtLocalizeProperty, true);
        spin = Named(new QSpinBox(&root), "Count");
        spin->setValue(3);
        tree = Named(new QTreeWidget(&root), "Files");
        tree->setHeaderLabels({"File", "Size"});
        tree->headerItem()->setToolTip(0, "File name");
        table = Named(new QTableWidget(1, 2, &root), "Table");
        table->setHorizontalHeaderLabels({"Key", "Value"});
        tabs = Named(new QTabWidget(&root), "Pages");
        auto* general = Named(new QWidget, "GeneralPage");
        inside = Named(new QLabel("Inside", general), "InsideLabel");
        tabs->addTab(general, "General");
        tabs->setTabToolTip(0, "General settings");
        tabs->addTab(Named(new QWidget, "AdvancedPage"), "Advanced");
        save = Named(new QAction("&Save", &root), "SaveAction");
        print = Named(new QAction("Print", &root), "PrintAction");
        print->setToolTip("Print the page");
        menu = Named(new QMenu("&File", &root), "FileMenu");
        menu->addAction(save);
        close = Named(menu->addAction("Close"), "CloseAction");
        toolButton = Named(new QToolButton(&root), "SaveButton");
        toolButton->setDefaultAction(save);
        internal = Named(new QLabel("internal", &root), "qt_internal");
        generated = Named(new QAction("Deutsch", &root), "LanguageItem");
        generated->setProperty(kQtTagProperty, LanguageMenuTag);
    }

    template <class T> static T* Named(T* object, const char* name) {
        object->setObjectName(name);
        return object;
    }
};

const std::vector<QtClientText> kFormTexts{
    {"Form.Caption", "Main window"},
    {"Form.OpenButton.Caption", "Open"},
    {"Form.OpenButton.Hint", "Open a file"},
    {"Form.NameLabel.Caption", "Name"},
    {"Form.Group.Caption", "Options"},
    {"Form.Group.BoldCheck.Caption", "Bold"},
    {"Form.NameEdit.Text", "Alice"},
    {"Form.Notes.Lines.Text", "first,second"},
    {"Form.Colours.Items.Text", "Red,Green"},
    {"Form.Sizes.Items.Text", "Small,Large"},
    {"Form.Files.Columns.#0.Caption", "File"},
    {"Form.Files.Columns.#0.Hint", "File name"},
    {"Form.Files.Columns.#1.Caption", "Size"},
    {"Form.Table.Columns.#0.Caption", "Key"},
    {"Form.Table.Columns.#1.Caption", "Value"},
    {"Form.Pages.Tabs.#0.Caption", "General"},
    {"Form.Pages.Tabs.#0.Hint", "General settings"},
    {"Form.Pages.Tabs.#1.Caption", "Advanced"},
    {"Form.Pages.qt_tabwidget_stackedwidget.GeneralPage.InsideLabel.Caption", "Inside"},
    {"Form.SaveAction.Caption", "&Save"},
    {"Form.PrintAction.Caption", "Print"},
    {"Form.PrintAction.Hint", "Print the page"},
    {"Form.FileMenu.Caption", "&File"},
    {"Form.FileMenu.CloseAction.Caption", "Close"},
};

const std::vector<Entry> kGerman{
    {"Caption", "Main window", "Hauptfenster"},
    {"Caption", "Open", "Öffnen"},
    {"Caption", "Name", "Name"},
    {"Caption", "Options", "Optionen"},
    {"Caption", "Bold", "Fett"},
    {"Caption", "File", "Datei"},
    {"Caption", "Size", "Größe"},
    {"Caption", "Key", "Schlüssel"},
    {"Caption", "Value", "Wert"},
    {"Caption", "General", "Allgemein"},
    {"Caption", "Advanced", "Erweitert"},
    {"Caption", "Inside", "Innen"},
    {"Caption", "&Save", "&Speichern"},
    {"Caption", "Print", "Drucken"},
    {"Caption", "&File", "&Datei"},
    {"Caption", "Close", "Schließen"},
    {"Caption", "Deutsch", "WRONG"},
    {"Caption", "internal", "WRONG"},
    {"Hint", "Open a file", "Eine Datei öffnen"},
    {"Hint", "File name", "Dateiname"},
    {"Hint", "General settings", "Allgemeine Einstellungen"},
    {"Hint", "Print the page", "Seite drucken"},
    {"Hint", "Save", "WRONG"},
    {"Text", "Alice", "Alicia"},
    {"Text", "first,second", "erste,zweite"},
    {"Text", "Red,Green", "Rot,Grün"},
    {"Text", "Small,Large", "Klein,Groß"},
    {"Text", "3", "WRONG"},
};

TEST_F(BridgeTest, EngineSeesTheTextsOfTheTable) {
    StartServer();
    Form form;
    QtLocalizeClient* client = AddQtClient(Server(), form.root);
    // Left out: the spin box's and the combo box's edit fields, the tool button showing
    // an action, the menu's own action, the "qt_" label, the tagged language item, and
    // the derived tool tips of actions.
    EXPECT_EQ(client->Texts(), kFormTexts);
}

TEST_F(BridgeTest, SwitchTranslatesEveryKindAndBack) {
    WriteDictionary("German.Lng", "German", kGerman);
    StartServer();
    Form form;
    QtLocalizeClient* client = AddQtClient(Server(), form.root);
    form.sizes->setCurrentIndex(1);
    form.colours->item(1)->setData(Qt::UserRole, 42);

    Server().SetLanguage("German");

    EXPECT_EQ(form.root.windowTitle(), "Hauptfenster");
    EXPECT_EQ(form.button->text(), Q("Öffnen"));
    EXPECT_EQ(form.button->toolTip(), Q("Eine Datei öffnen"));
    EXPECT_EQ(form.group->title(), "Optionen");
    EXPECT_EQ(form.check->text(), "Fett");
    EXPECT_EQ(form.edit->text(), "Alicia");
    EXPECT_EQ(form.notes->toPlainText(), "erste\nzweite");
    EXPECT_EQ(form.colours->item(0)->text(), "Rot");
    EXPECT_EQ(form.colours->item(1)->text(), Q("Grün"));
    EXPECT_EQ(form.colours->item(1)->data(Qt::UserRole).toInt(), 42); // items are kept
    EXPECT_EQ(form.sizes->itemText(1), Q("Groß"));
    EXPECT_EQ(form.sizes->currentIndex(), 1);
    EXPECT_EQ(form.tree->headerItem()->text(1), Q("Größe"));
    EXPECT_EQ(form.tree->headerItem()->toolTip(0), "Dateiname");
    EXPECT_EQ(form.table->horizontalHeaderItem(0)->text(), Q("Schlüssel"));
    EXPECT_EQ(form.tabs->tabText(0), "Allgemein");
    EXPECT_EQ(form.tabs->tabToolTip(0), "Allgemeine Einstellungen");
    EXPECT_EQ(form.tabs->tabText(1), "Erweitert");
    EXPECT_EQ(form.inside->text(), "Innen");
    EXPECT_EQ(form.save->text(), "&Speichern");
    EXPECT_EQ(form.toolButton->text(), "Speichern"); // follows its action
    EXPECT_EQ(form.print->toolTip(), "Seite drucken");
    EXPECT_EQ(form.menu->title(), "&Datei");
    EXPECT_EQ(form.close->text(), Q("Schließen"));
    // Passed over.
    EXPECT_EQ(form.spin->findChild<QLineEdit*>()->text(), "3");
    EXPECT_EQ(form.sizes->findChild<QLineEdit*>()->text(), QString::fromUtf8("Groß"));
    EXPECT_EQ(form.internal->text(), "internal");
    EXPECT_EQ(form.generated->text(), "Deutsch");
    EXPECT_EQ(form.save->toolTip(), "Speichern"); // still derived from the text

    Server().SetLanguage("Default");
    EXPECT_EQ(client->Texts(), kFormTexts);
    EXPECT_EQ(form.colours->item(1)->data(Qt::UserRole).toInt(), 42);
    EXPECT_EQ(form.save->toolTip(), "Save");
}

TEST_F(BridgeTest, IndexedTextsOfToolBoxesTabBarsAndTables) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "First", "Erste"},
                     {"Caption", "Second", "Zweite"},
                     {"Caption", "Amount", "Betrag"},
                     {"Hint", "The first page", "Die erste Seite"}});
    StartServer();
    QWidget root;
    auto* box = new QToolBox(&root);
    box->setObjectName("Box");
    box->addItem(new QWidget, "First");
    box->setItemToolTip(0, "The first page");
    box->addItem(new QWidget, "Second");
    auto* bar = new QTabBar(&root);
    bar->setObjectName("Bar");
    bar->addTab("First");
    bar->addTab("Second");
    auto* table = new QTableWidget(1, 2, &root);
    table->setObjectName("Grid");
    table->setHorizontalHeaderItem(1, new QTableWidgetItem("Amount"));
    QtLocalizeClient* client = AddQtClient(Server(), root);
    const std::vector<QtClientText> expected{
        {"QWidget[0].Box.Tabs.#0.Caption", "First"},
        {"QWidget[0].Box.Tabs.#0.Hint", "The first page"},
        {"QWidget[0].Box.Tabs.#1.Caption", "Second"},
        {"QWidget[0].Bar.Tabs.#0.Caption", "First"},
        {"QWidget[0].Bar.Tabs.#1.Caption", "Second"},
        {"QWidget[0].Grid.Columns.#1.Caption", "Amount"},
    };
    EXPECT_EQ(client->Texts(), expected);

    Server().SetLanguage("German");
    EXPECT_EQ(box->itemText(0), "Erste");
    EXPECT_EQ(box->itemToolTip(0), "Die erste Seite");
    EXPECT_EQ(box->itemText(1), "Zweite");
    EXPECT_EQ(bar->tabText(1), "Zweite");
    EXPECT_EQ(table->horizontalHeaderItem(0), nullptr); // still shows its number
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "Betrag");
}

TEST_F(BridgeTest, WidgetsAddedLaterAreSwitchedAndRemovedOnesAreNot) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Open", "Öffnen"},
                     {"Caption", "Later", "Später"},
                     {"Caption", "Gone", "Weg"},
                     {"Caption", "Moved", "Bewegt"}});
    StartServer();
    QWidget root;
    QWidget outside;
    auto* stays = new QLabel("Open", &root);
    auto* container = new QWidget(&root);
    auto* removed = new QLabel("Gone", container);
    auto* moved = new QLabel("Moved", &outside);
    QtLocalizeClient* client = AddQtClient(Server(), root);
    const int tracked = client->TrackedCount();

    auto* later = new QPushButton("Later", container); // built after registration
    removed->setParent(&outside);                      // leaves the tree
    moved->setParent(&root);                           // joins it
    delete new QLabel("Open", &root);                  // comes and goes
    Server().SetLanguage("German");

    EXPECT_EQ(stays->text(), Q("Öffnen"));
    EXPECT_EQ(later->text(), Q("Später"));
    EXPECT_EQ(moved->text(), "Bewegt");
    EXPECT_EQ(removed->text(), "Gone");
    EXPECT_EQ(client->ComponentOf(removed), nullptr);
    EXPECT_NE(client->ComponentOf(later), nullptr);
    EXPECT_EQ(client->TrackedCount(), tracked + 1); // +later +moved -removed

    delete container; // takes `later` along
    EXPECT_EQ(client->ComponentOf(later), nullptr);
    Server().SetLanguage("Default");
    EXPECT_EQ(stays->text(), "Open");
    EXPECT_EQ(moved->text(), "Moved");
}

// Application code reacting to a text write destroys widgets while the engine is walking
// the tree: nothing destroyed is touched, and the rest of the tree is still switched.
TEST_F(BridgeTest, WidgetsDestroyedDuringASwitchAreNotTouched) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Before", "Vorher"},
                     {"Caption", "After", "Nachher"},
                     {"Caption", "Victim", "Opfer"},
                     {"Text", "Trigger", "Ausloeser"}});
    StartServer();
    QWidget root;
    auto* before = new QLabel("Before", &root);
    auto* box = new QWidget(&root);
    auto* trigger = Contents(new QLineEdit("Trigger", box));
    QPointer<QLabel> victim = new QLabel("Victim", &root);
    QPointer<QWidget> victimBox = new QWidget(&root);
    new QLabel("Victim", victimBox);
    auto* after = new QLabel("After", &root);
    QObject::connect(trigger, &QLineEdit::textChanged, &root, [&] {
        delete victim.data();
        delete victimBox.data();
        delete before;
        before = nullptr;
    });
    QtLocalizeClient* client = AddQtClient(Server(), root);

    Server().SetLanguage("German");

    EXPECT_EQ(trigger->text(), "Ausloeser");
    EXPECT_EQ(after->text(), "Nachher");
    EXPECT_TRUE(victim.isNull());
    // The components of the destroyed widgets are freed once the switch is over.
    const int during = client->RootComponent().ComponentCount();
    QCoreApplication::processEvents();
    EXPECT_LT(client->RootComponent().ComponentCount(), during);
    Server().SetLanguage("Default");
    EXPECT_EQ(after->text(), "After");
}

// Even the root may go while its own tree is walked: the client leaves the server at once,
// and the components the engine is still inside are freed after the switch.
TEST_F(BridgeTest, RootDestroyedDuringItsOwnSwitchEndsTheClient) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Trigger", "Ausloeser"}, {"Caption", "After", "Nachher"}});
    StartServer();
    QPointer<QWidget> root = new QWidget;
    auto* trigger = new QAction("Trigger", root);
    new QLabel("After", root);
    QObject::connect(trigger, &QAction::changed, [&] { delete root.data(); });
    QPointer<QtLocalizeClient> client = AddQtClient(Server(), *root);
    QWidget other;
    auto* survivor = new QLabel("After", &other);
    AddQtClient(Server(), other);

    Server().SetLanguage("German");

    EXPECT_TRUE(root.isNull());
    EXPECT_TRUE(client.isNull());
    EXPECT_EQ(Server().ClientCount(), 1);
    EXPECT_EQ(survivor->text(), "Nachher");
    QCoreApplication::processEvents(); // frees what the engine was walking
    Server().SetLanguage("Default");
    EXPECT_EQ(survivor->text(), "After");
}

TEST_F(BridgeTest, ClientLeavesWithItsRootAndSurvivesItsServer) {
    StartServer();
    {
        auto* root = new QWidget;
        new QLabel("Open", root);
        QPointer<QtLocalizeClient> client = AddQtClient(Server(), *root);
        EXPECT_EQ(Server().ClientCount(), 1);
        delete root;
        EXPECT_TRUE(client.isNull());
        EXPECT_EQ(Server().ClientCount(), 0);
        Server().SetLanguage("Default"); // no client to walk
    }
    QWidget root;
    auto* label = new QLabel("Open", &root);
    QPointer<QtLocalizeClient> client = AddQtClient(Server(), root);
    server_.reset();
    ASSERT_FALSE(client.isNull());
    EXPECT_EQ(client->Server(), nullptr);
    client->LocalizeNew(*label); // without a server: nothing
    new QLabel("More", &root);   // the mirror still follows the tree
    EXPECT_EQ(client->Texts().size(), 2u);
}

TEST_F(BridgeTest, RegisteringAWidgetAgainReplacesItsClient) {
    // A second translation of the same text would show up: A -> B -> C.
    WriteDictionary("German.Lng", "German", {{"Caption", "A", "B"}, {"Caption", "B", "C"}});
    StartServer();
    QWidget root;
    auto* label = new QLabel("A", &root);
    QPointer<QtLocalizeClient> first = AddQtClient(Server(), root);
    QtLocalizeClient* second = AddQtClient(Server(), root, {"Nothing"});
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(Server().ClientCount(), 1);
    Server().SetLanguage("German");
    EXPECT_EQ(label->text(), "B");
    delete second;
    EXPECT_EQ(Server().ClientCount(), 0);
}

TEST_F(BridgeTest, ExcludedWidgetsKeepTheirOwnTextsOnly) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Options", "Optionen"}, {"Caption", "Bold", "Fett"}});
    StartServer();
    QWidget root;
    auto* group = new QGroupBox("Options", &root);
    group->setObjectName("Group");
    auto* check = new QCheckBox("Bold", group);
    QtLocalizeClient* client = AddQtClient(Server(), root, {"group"}); // names ignore case
    Server().SetLanguage("German");
    EXPECT_EQ(group->title(), "Options");
    EXPECT_EQ(check->text(), "Fett");
    EXPECT_EQ(client->Texts().size(), 1u);
}

TEST_F(BridgeTest, ObjectNamesAndTagsFollowTheObjects) {
    WriteDictionary("German.Lng", "German", {{"Caption", "Open", "Öffnen"}});
    StartServer();
    QWidget root;
    auto* label = new QLabel("Open", &root);
    QtLocalizeClient* client = AddQtClient(Server(), root, {"Keep"});
    ASSERT_NE(client->ComponentOf(label), nullptr);
    label->setObjectName("Keep"); // renamed after registration: now excluded
    EXPECT_EQ(client->ComponentOf(label)->Name(), "Keep");
    label->setProperty(kQtTagProperty, 7);
    EXPECT_EQ(client->ComponentOf(label)->Tag(), 7);
    Server().SetLanguage("German");
    EXPECT_EQ(label->text(), "Open");
    label->setObjectName("Other");
    label->setProperty(kQtTagProperty, LanguageMenuTag); // tagged: never translated
    Server().SetLanguage("German");
    EXPECT_EQ(label->text(), "Open");
    label->setProperty(kQtTagProperty, QVariant());
    Server().SetLanguage("German");
    EXPECT_EQ(label->text(), Q("Öffnen"));
}

// Texts of any script are texts like any other: translated, switched back and registered.
TEST_F(BridgeTest, TextsOfEveryScriptAreTranslated) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Жук", "Käfer"}, {"Caption", "日本", "Japan"}});
    StartServer();
    QWidget root;
    root.setWindowTitle(Q("Заголовок"));
    auto* label = new QLabel(Q("Жук"), &root);
    auto* button = new QPushButton(Q("日本"), &root);
    AddQtClient(Server(), root);

    Server().SetLanguage("German");
    EXPECT_EQ(label->text(), Q("Käfer"));
    EXPECT_EQ(button->text(), Q("Japan"));
    EXPECT_EQ(root.windowTitle(), Q("Заголовок"));
    Server().SetLanguage("Default");
    EXPECT_EQ(label->text(), Q("Жук"));
    EXPECT_EQ(button->text(), Q("日本"));

    Server().RegisterClientTexts();
    const ProfileFile german(Folder() / "German.Lng");
    EXPECT_EQ(german.ReadString("Caption", "Заголовок", "?"), "Заголовок");
    EXPECT_EQ(german.ReadString("Caption", "Жук", "?"), "Käfer");
}

// The engine looks texts up by their first 255 characters and writes back what it found;
// a long text nobody translated keeps its end, one whose start is translated is replaced.
TEST_F(BridgeTest, LongTextsAreNotCutByASwitch) {
    const std::string longText(300, 'x');
    const std::string known = std::string(255, 'k') + "tail";
    WriteDictionary("German.Lng", "German", {{"Caption", std::string(255, 'k'), "short"}});
    StartServer();
    QWidget root;
    auto* unknown = new QLabel(QString::fromStdString(longText), &root);
    auto* translated = new QLabel(QString::fromStdString(known), &root);
    auto* notes = Contents(new QPlainTextEdit(&root));
    const QString longNotes = QString(200, u'a') + "\n" + QString(200, u'b');
    notes->setPlainText(longNotes);
    AddQtClient(Server(), root);

    Server().SetLanguage("German");
    EXPECT_EQ(unknown->text().toStdString(), longText);
    EXPECT_EQ(translated->text(), "short");
    EXPECT_EQ(notes->toPlainText(), longNotes);
}

TEST_F(BridgeTest, StringListsFollowTheNumberOfTranslatedLines) {
    WriteDictionary("German.Lng", "German",
                    {{"Text", "One,Two,Three", "Eins,Zwei"}, {"Text", "A,B", "\"X Y\",Z,W"}});
    StartServer();
    QWidget root;
    auto* list = Contents(new QListWidget(&root));
    list->addItems({"One", "Two", "Three"});
    auto* combo = new QComboBox(&root);
    combo->addItems({"A", "B"});
    AddQtClient(Server(), root);

    Server().SetLanguage("German");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "Zwei");
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), "X Y");
    EXPECT_EQ(combo->itemText(2), "W");

    Server().SetLanguage("Default");
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text(), "Three");
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "B");
}

TEST_F(BridgeTest, ActionToolTipsAreTranslatedOnlyWhenTheActionHasItsOwn) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "&Open...", "&Öffnen..."},
                     {"Caption", "Print", "Drucken"},
                     {"Hint", "Open", "WRONG"},
                     {"Hint", "Print it", "Ausdrucken"}});
    StartServer();
    QWidget root;
    auto* open = new QAction("&Open...", &root);
    auto* print = new QAction("Print", &root);
    print->setToolTip("Print it");
    QtLocalizeClient* client = AddQtClient(Server(), root);
    EXPECT_EQ(client->Texts().size(), 3u);
    Server().SetLanguage("German");
    EXPECT_EQ(open->toolTip(), Q("Öffnen"));
    EXPECT_EQ(print->toolTip(), "Ausdrucken");
    Server().SetLanguage("Default");
    EXPECT_EQ(open->toolTip(), "Open");
    EXPECT_EQ(print->toolTip(), "Print it");
}

TEST_F(BridgeTest, LocalizeNewTranslatesAWidgetMadeAfterTheSwitch) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "About", "Info"}, {"Caption", "Close", "Schließen"}});
    StartServer();
    QWidget root;
    QtLocalizeClient* client = AddQtClient(Server(), root);
    Server().SetLanguage("German");

    auto* dialog = new QDialog(&root);
    dialog->setWindowTitle("About");
    auto* close = new QPushButton("Close", dialog);
    QLabel outside("Close");
    client->LocalizeNew(outside); // not in the tree: nothing
    client->LocalizeNew(*dialog);
    EXPECT_EQ(dialog->windowTitle(), "Info");
    EXPECT_EQ(close->text(), Q("Schließen"));
    EXPECT_EQ(outside.text(), "Close");

    Server().SetLanguage("Default"); // the dialog now switches with the rest
    EXPECT_EQ(close->text(), "Close");
}

TEST_F(BridgeTest, RegisterModeAddsTextsToEveryDictionaryAndChangesNothing) {
    WriteDictionary("OvkDefault.Lng", "Default", {});
    WriteDictionary("German.Lng", "German", {{"Caption", "Open", "Öffnen"}});
    StartServer();
    QWidget root;
    auto* open = new QPushButton("Open", &root);
    open->setToolTip("Opens it");
    auto* list = Contents(new QListWidget(&root));
    list->addItems({"Red", "Dark green"});
    AddQtClient(Server(), root);

    Server().RegisterClientTexts();

    EXPECT_EQ(open->text(), "Open");
    const ProfileFile german(Folder() / "German.Lng");
    const ProfileFile standard(Folder() / "OvkDefault.Lng");
    EXPECT_EQ(german.ReadString("Caption", "Open", "?"), "Öffnen"); // kept
    EXPECT_EQ(standard.ReadString("Caption", "Open", "?"), "Open");
    for (const ProfileFile* file : {&german, &standard}) {
        EXPECT_EQ(file->ReadString("Hint", "Opens it", "?"), "Opens it");
        EXPECT_EQ(file->ReadString("Text", "Red,\"Dark green\"", "?"), "Red,\"Dark green\"");
    }
}

// Two passes, one write: going from German to French every text passes through English,
// but a widget is written only once, with its final text, and not at all when the switch
// ends where it began.
TEST_F(BridgeTest, ASwitchWritesEachChangedTextOnce) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Open", "Öffnen"},
                     {"Caption", "Close", "Schließen"},
                     {"Caption", "Size", "Größe"},
                     {"Hint", "Tip", "Hinweis"},
                     {"Text", "Alice", "Alicia"},
                     {"Text", "Red,Blue", "Rot,Blau"}});
    WriteDictionary("French.Lng", "French",
                    {{"Caption", "Open", "Ouvrir"},
                     {"Caption", "Size", "Taille"},
                     {"Hint", "Tip", "Astuce"},
                     {"Text", "Alice", "Alix"},
                     {"Text", "Red,Blue", "Rouge,Bleu"}});
    StartServer();
    QWidget root;
    auto* edit = Contents(new QLineEdit("Alice", &root));
    auto* open = new QAction("Open", &root);
    auto* close = new QAction("Close", &root); // French lacks it: back to English
    auto* keep = new QAction("Keep", &root);   // known to neither
    auto* tree = new QTreeWidget(&root);
    tree->setHeaderLabels({"Size"});
    tree->headerItem()->setToolTip(0, "Tip");
    auto* list = Contents(new QListWidget(&root));
    list->addItems({"Red", "Blue"});
    AddQtClient(Server(), root);
    Server().SetLanguage("German");
    ASSERT_EQ(close->text(), Q("Schließen"));

    std::map<std::string, int> writes;
    QObject::connect(edit, &QLineEdit::textChanged, [&] { ++writes["edit"]; });
    QObject::connect(open, &QAction::changed, [&] { ++writes["open"]; });
    QObject::connect(close, &QAction::changed, [&] { ++writes["close"]; });
    QObject::connect(keep, &QAction::changed, [&] { ++writes["keep"]; });
    QObject::connect(tree->model(), &QAbstractItemModel::headerDataChanged,
                     [&] { ++writes["header"]; });
    QObject::connect(list->model(), &QAbstractItemModel::dataChanged, [&] { ++writes["list"]; });

    Server().SetLanguage("French");
    EXPECT_EQ(edit->text(), "Alix");
    EXPECT_EQ(open->text(), "Ouvrir");
    EXPECT_EQ(close->text(), "Close");
    EXPECT_EQ(keep->text(), "Keep");
    EXPECT_EQ(tree->headerItem()->text(0), "Taille");
    EXPECT_EQ(tree->headerItem()->toolTip(0), "Astuce");
    EXPECT_EQ(list->item(0)->text(), "Rouge");
    EXPECT_EQ(list->item(1)->text(), "Bleu");
    const std::map<std::string, int> once{
        {"edit", 1}, {"open", 1}, {"close", 1}, {"header", 2}, {"list", 2}};
    EXPECT_EQ(writes, once);

    Server().SetLanguage("French"); // back to English and forward again: nothing changes
    EXPECT_EQ(writes, once);
    EXPECT_EQ(open->text(), "Ouvrir");
}

// A core component whose text cannot be written: the switch fails in its first pass.
class TRefusingControl : public TComponent {
    TAVREL_CLASS(TRefusingControl)
public:
    using TComponent::TComponent;
    const std::string& Caption() const { return caption; }
    void SetCaption(const std::string&) {
        if (onWrite)
            onWrite();
        throw Exception("Refused");
    }
    std::string caption;
    std::function<void()> onWrite;
};
const TClassInfo& TRefusingControl::StaticClassInfo() {
    static const TClassInfo info(
        "TRefusingControl", &TComponent::StaticClassInfo(),
        {StringProp("Caption", &TRefusingControl::Caption, &TRefusingControl::SetCaption)});
    return info;
}

// Widgets are not written while the engine walks; a switch that fails still shows what
// it changed before the failure, and the bridge writes at once again afterwards.
// A switch that fails halfway goes back to the language before, in the texts and in the
// server alike, so that a later switch maps every text back correctly.
TEST_F(BridgeTest, AFailedSwitchGoesBackToTheLanguageBefore) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Open", "Öffnen"}, {"Caption", "Later", "Später"}});
    WriteDictionary("French.Lng", "French",
                    {{"Caption", "Open", "Ouvrir"}, {"Caption", "Later", "Plus tard"}});
    StartServer();
    QWidget root;
    auto* label = new QLabel("Open", &root);
    QtLocalizeClient* client = AddQtClient(Server(), root);
    Server().SetLanguage("German");
    ASSERT_EQ(label->text(), Q("Öffnen"));

    TComponent core;
    auto* refusing = new TRefusingControl(&core);
    refusing->caption = "Open";
    QString shownDuringTheWalk;
    refusing->onWrite = [&] { shownDuringTheWalk = label->text(); };
    Server().AddClient(core); // walked after the form
    EXPECT_THROW(Server().SetLanguage("French"), Exception);
    EXPECT_EQ(shownDuringTheWalk, Q("Öffnen")); // the form's pass back was held
    EXPECT_EQ(label->text(), Q("Öffnen"));      // and the language before restored
    EXPECT_EQ(Server().Language(), "German");

    Server().RemoveClient(core);
    auto* later = new QLabel("Later", &root);
    client->LocalizeNew(*later); // outside a switch: written at once
    EXPECT_EQ(later->text(), Q("Später"));
    Server().SetLanguage("French");
    EXPECT_EQ(label->text(), "Ouvrir");
    EXPECT_EQ(later->text(), "Plus tard");
}

// The shown dictionary is followed, and only it: a change of another file of the folder,
// and the reverse dictionary the re-application itself writes, apply nothing.
TEST_F(BridgeTest, OnlyAChangeOfTheShownDictionaryIsAppliedAndOnce) {
    WriteDictionary("German.Lng", "German", {{"Caption", "Open", "Öffnen"}});
    WriteDictionary("French.Lng", "French", {{"Caption", "Open", "Ouvrir"}});
    StartServer();
    QWidget root;
    auto* label = new QLabel("Open", &root);
    AddQtClient(Server(), root);
    Server().SetLanguage("German");
    int switches = 0;
    const int id = Server().AddSwitchListener([&](TOvkLocalizeServer::TSwitchPhase phase) {
        switches += phase == TOvkLocalizeServer::TSwitchPhase::Begin;
    });
    const auto settle = [] { // the follower waits for 50 ms of quiet
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 400)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    WriteDictionary("French.Lng", "French", {{"Caption", "Open", "Ouvrez"}});
    settle();
    EXPECT_EQ(switches, 0);
    WriteDictionary("German.Lng", "German", {{"Caption", "Open", "Aufmachen"}});
    settle();
    EXPECT_EQ(switches, 1);
    EXPECT_EQ(label->text(), "Aufmachen");

    // Gone for a while (a writer that deletes before it writes): the texts stay until the
    // file is back.
    fs::remove(Folder() / "German.Lng");
    settle();
    EXPECT_EQ(switches, 1);
    EXPECT_EQ(label->text(), "Aufmachen");
    WriteDictionary("German.Lng", "German", {{"Caption", "Open", "Öffnen"}});
    settle();
    EXPECT_EQ(switches, 2);
    EXPECT_EQ(label->text(), Q("Öffnen"));
    Server().RemoveSwitchListener(id);
}

// Writing the held texts runs application code that destroys widgets still waiting for
// theirs, lines and header texts included: those are skipped, the others still written.
TEST_F(BridgeTest, WidgetsDestroyedWhileTextsArePushedAreSkipped) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Size", "Größe"},
                     {"Caption", "After", "Nachher"},
                     {"Text", "Trigger", "Ausloeser"},
                     {"Text", "Red,Blue", "Rot,Blau"}});
    StartServer();
    QWidget root;
    auto* trigger = Contents(new QLineEdit("Trigger", &root));
    QPointer<QTreeWidget> tree = new QTreeWidget(&root);
    tree->setHeaderLabels({"Size"});
    QPointer<QListWidget> list = Contents(new QListWidget(&root));
    list->addItems({"Red", "Blue"});
    QPointer<QWidget> box = new QWidget(&root);
    QPointer<QLabel> inBox = new QLabel("After", box);
    auto* after = new QLabel("After", &root);
    QObject::connect(trigger, &QLineEdit::textChanged, &root, [&] {
        delete tree.data();
        delete list.data();
        delete box.data();
    });
    QtLocalizeClient* client = AddQtClient(Server(), root);

    Server().SetLanguage("German");
    EXPECT_EQ(trigger->text(), "Ausloeser");
    EXPECT_TRUE(tree.isNull());
    EXPECT_TRUE(list.isNull());
    EXPECT_TRUE(inBox.isNull());
    EXPECT_EQ(after->text(), "Nachher");
    QCoreApplication::processEvents(); // frees the components of the destroyed widgets
    EXPECT_EQ(client->Texts().size(), 2u);
    Server().SetLanguage("Default");
    EXPECT_EQ(after->text(), "After");
    EXPECT_EQ(trigger->text(), "Trigger");
}

// A form with the texts every object has, the texts of the less common widgets, and the
// user's data beside them: what he typed, his password, his document, the records a view
// shows and the file a window shows.
struct UserForm {
    QWidget root;
    QPushButton* button;
    QAction* action;
    QLineEdit* search;
    QLineEdit* password;
    QPlainTextEdit* diary;
    QTextEdit* letter;
    QComboBox* history;
    QComboBox* fonts;
    QSpinBox* count;
    QCommandLinkButton* link;
    QWizardPage* page;
    QTableWidget* table;
    QTreeWidget* records;
    QTreeView* view;
    QStandardItemModel model;
    QMessageBox* box;

    UserForm() {
        root.setObjectName("Editor");
        root.setWindowFilePath("/home/ann/diary.txt"); // the title shows the file
        button = Form::Named(new QPushButton("Send", &root), "SendButton");
        button->setStatusTip("Sends the letter");
        button->setWhatsThis("Sends it now");
        button->setAccessibleName("Send letter");
        button->setAccessibleDescription("Sends the letter to everyone");
        action = Form::Named(new QAction("Undo", &root), "UndoAction");
        action->setStatusTip("Undoes the last change");
        action->setWhatsThis("Undo it");
        search = Form::Named(new QLineEdit("typed by Ann", &root), "SearchEdit");
        search->setPlaceholderText("Search");
        password = Form::Named(Contents(new QLineEdit("hunter2", &root)), "PasswordEdit");
        password->setEchoMode(QLineEdit::Password);
        diary = Form::Named(new QPlainTextEdit("Dear diary", &root), "DiaryEdit");
        diary->setPlaceholderText("Write here");
        letter = Form::Named(new QTextEdit("Dear Bob", &root), "LetterEdit");
        letter->setPlaceholderText("Your letter");
        history = Form::Named(new QComboBox(&root), "HistoryBox");
        history->setEditable(true);
        history->addItems({"ann@example.org"});
        fonts = Form::Named(new QComboBox(&root), "FontBox");
        fonts->addItems({"Serif"});
        fonts->setToolTip("Font");
        fonts->setProperty(kQtLocalizeProperty, false); // the application uses the text
        count = Form::Named(new QSpinBox(&root), "CopiesBox");
        count->setPrefix("Copies: ");
        count->setSuffix(" pcs");
        count->setSpecialValueText("None");
        link = Form::Named(new QCommandLinkButton("Next", "Goes on", &root), "NextLink");
        page = Form::Named(new QWizardPage(&root), "StartPage");
        page->setTitle("Start");
        page->setSubTitle("First steps");
        table = Form::Named(new QTableWidget(1, 1, &root), "Grid");
        table->setHorizontalHeaderLabels({"Amount"});
        table->setVerticalHeaderLabels({"Total"});
        table->setItem(0, 0, new QTableWidgetItem("42 EUR"));
        records = Form::Named(new QTreeWidget(&root), "Records");
        records->setHeaderLabels({"Name"});
        new QTreeWidgetItem(records, {"Ann Smith"});
        model.setHorizontalHeaderLabels({"Contact"});
        model.appendRow(new QStandardItem("Bob Jones"));
        view = Form::Named(new QTreeView(&root), "Contacts");
        view->setModel(&model);
        box = Form::Named(new QMessageBox(&root), "Question");
        box->setWindowTitle("Confirm");
        box->setText("Send it?");
        box->setInformativeText("Nobody can stop it");
        box->setDetailedText("It goes out\nat once"); // several lines: left alone
    }
};

const std::vector<QtClientText> kUserFormTexts{
    {"Editor.SendButton.AccessibleInfo.Hint", "Sends the letter to everyone"},
    {"Editor.SendButton.AccessibleName.Caption", "Send letter"},
    {"Editor.SendButton.Caption", "Send"},
    {"Editor.SendButton.StatusTip.Hint", "Sends the letter"},
    {"Editor.SendButton.WhatsThis.Hint", "Sends it now"},
    {"Editor.UndoAction.Caption", "Undo"},
    {"Editor.UndoAction.StatusTip.Hint", "Undoes the last change"},
    {"Editor.UndoAction.WhatsThis.Hint", "Undo it"},
    {"Editor.SearchEdit.Placeholder.Hint", "Search"},
    {"Editor.DiaryEdit.Placeholder.Hint", "Write here"},
    {"Editor.LetterEdit.Placeholder.Hint", "Your letter"},
    {"Editor.CopiesBox.Prefix.Caption", "Copies: "},
    {"Editor.CopiesBox.SpecialValue.Caption", "None"},
    {"Editor.CopiesBox.Suffix.Caption", " pcs"},
    {"Editor.NextLink.Caption", "Next"},
    {"Editor.NextLink.Details.Memo", "Goes on"},
    {"Editor.StartPage.Caption", "Start"},
    {"Editor.StartPage.SubTitle.Memo", "First steps"},
    {"Editor.Grid.Columns.#0.Caption", "Amount"},
    {"Editor.Grid.Rows.#0.Caption", "Total"},
    {"Editor.Records.Columns.#0.Caption", "Name"},
    {"Editor.Contacts.Columns.#0.Caption", "Contact"},
    {"Editor.Question.Caption", "Confirm"},
    {"Editor.Question.Informative.Memo", "Nobody can stop it"},
    {"Editor.Question.Message.Caption", "Send it?"},
    {"Editor.Question.qt_msgbox_buttonbox.QPushButton[1].Caption", "Show Details..."},
};

// The user's data, each with a dictionary entry that would change it if it were read.
const std::vector<std::string> kUserData{"diary.txt", "typed by Ann",    "hunter2", "Dear diary",
                                         "Dear Bob",  "ann@example.org", "Serif",   "42 EUR",
                                         "Ann Smith", "Bob Jones"};

std::vector<Entry> UserFormGerman() {
    std::vector<Entry> entries{
        {"Caption", "Send", "Senden"},
        {"Caption", "Send letter", "Brief senden"},
        {"Caption", "Undo", "Rückgängig"},
        {"Caption", "Copies: ", "Kopien: "},
        {"Caption", " pcs", " Stk."},
        {"Caption", "None", "Keine"},
        {"Caption", "Next", "Weiter"},
        {"Caption", "Start", "Anfang"},
        {"Caption", "Amount", "Betrag"},
        {"Caption", "Total", "Summe"},
        {"Caption", "Name", "Name"},
        {"Caption", "Contact", "Kontakt"},
        {"Caption", "Confirm", "Bestätigen"},
        {"Caption", "Send it?", "Absenden?"},
        {"Hint", "Sends the letter", "Sendet den Brief"},
        {"Hint", "Sends it now", "Sendet ihn sofort"},
        {"Hint", "Sends the letter to everyone", "Sendet den Brief an alle"},
        {"Hint", "Undoes the last change", "Nimmt die letzte Änderung zurück"},
        {"Hint", "Undo it", "Zurücknehmen"},
        {"Hint", "Search", "Suchen"},
        {"Hint", "Write here", "Hier schreiben"},
        {"Hint", "Your letter", "Ihr Brief"},
        {"Hint", "Font", "WRONG"},
        {"Memo", "Goes on", "Geht weiter"},
        {"Memo", "First steps", "Erste Schritte"},
        {"Memo", "Nobody can stop it", "Niemand hält es auf"},
    };
    for (const std::string& data : kUserData) {
        for (const char* section : {"Caption", "Text", "Hint"})
            entries.push_back({section, data, "WRONG"});
    }
    entries.push_back({"Text", "ann@example.org", "WRONG"});
    return entries;
}

TEST_F(BridgeTest, EveryTextOfTheApplicationAndNothingOfTheUser) {
    WriteDictionary("OvkDefault.Lng", "Default", {});
    WriteDictionary("German.Lng", "German", UserFormGerman());
    StartServer();
    UserForm form;
    QtLocalizeClient* client = AddQtClient(Server(), form.root);
    EXPECT_EQ(client->Texts(), kUserFormTexts);
    const QString title = form.root.windowTitle();

    Server().SetLanguage("German");
    // Read back through Qt itself.
    const std::vector<std::pair<QString, const char*>> shown{
        {form.button->text(), "Senden"},
        {form.button->statusTip(), "Sendet den Brief"},
        {form.button->whatsThis(), "Sendet ihn sofort"},
        {form.button->accessibleName(), "Brief senden"},
        {form.button->accessibleDescription(), "Sendet den Brief an alle"},
        {form.action->text(), "Rückgängig"},
        {form.action->statusTip(), "Nimmt die letzte Änderung zurück"},
        {form.action->whatsThis(), "Zurücknehmen"},
        {form.search->placeholderText(), "Suchen"},
        {form.diary->placeholderText(), "Hier schreiben"},
        {form.letter->placeholderText(), "Ihr Brief"},
        {form.count->prefix(), "Kopien: "},
        {form.count->suffix(), " Stk."},
        {form.count->specialValueText(), "Keine"},
        {form.link->text(), "Weiter"},
        {form.link->description(), "Geht weiter"},
        {form.page->title(), "Anfang"},
        {form.page->subTitle(), "Erste Schritte"},
        {form.table->horizontalHeaderItem(0)->text(), "Betrag"},
        {form.table->verticalHeaderItem(0)->text(), "Summe"},
        {form.model.horizontalHeaderItem(0)->text(), "Kontakt"},
        {form.box->windowTitle(), "Bestätigen"},
        {form.box->text(), "Absenden?"},
        {form.box->informativeText(), "Niemand hält es auf"},
        // The user's, untouched.
        {form.root.windowTitle(), "diary.txt[*]"},
        {form.search->text(), "typed by Ann"},
        {form.password->text(), "hunter2"},
        {form.diary->toPlainText(), "Dear diary"},
        {form.letter->toPlainText(), "Dear Bob"},
        {form.history->currentText(), "ann@example.org"},
        {form.fonts->currentText(), "Serif"},
        {form.fonts->toolTip(), "Font"},
        {form.table->item(0, 0)->text(), "42 EUR"},
        {form.records->topLevelItem(0)->text(0), "Ann Smith"},
        {form.model.item(0)->text(), "Bob Jones"},
        {form.box->detailedText(), "It goes out\nat once"},
    };
    for (const auto& [text, expected] : shown)
        EXPECT_EQ(text, Q(expected));

    // The title Qt derives from the file still follows the file.
    form.root.setWindowFilePath("/home/ann/letter.txt");
    EXPECT_EQ(form.root.windowTitle(), "letter.txt[*]");
    form.root.setWindowFilePath("/home/ann/diary.txt");

    Server().SetLanguage("Default");
    EXPECT_EQ(client->Texts(), kUserFormTexts);
    EXPECT_EQ(form.root.windowTitle(), title);

    // Register mode in every language: no dictionary learns anything of the user's.
    const auto occurrences = [&](const char* file, const std::string& data) {
        const std::string text = test::ReadFileText(Folder() / file);
        std::size_t n = 0;
        for (auto at = text.find(data); at != std::string::npos; at = text.find(data, at + 1))
            ++n;
        return n;
    };
    std::vector<std::size_t> planted;
    for (const std::string& data : kUserData)
        planted.push_back(occurrences("German.Lng", data));
    for (const char* language : {"Default", "German"}) {
        Server().SetLanguage(language);
        Server().RegisterClientTexts();
    }
    for (std::size_t i = 0; i < kUserData.size(); ++i) {
        EXPECT_EQ(occurrences("OvkDefault.Lng", kUserData[i]), 0u) << kUserData[i];
        EXPECT_EQ(occurrences("German.Lng", kUserData[i]), planted[i]) << kUserData[i];
    }
    const ProfileFile standard(Folder() / "OvkDefault.Lng");
    std::vector<std::string> keys;
    standard.ReadSection("Text", keys);
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(standard.ReadString("Hint", "Sends the letter", "?"), "Sends the letter");
    EXPECT_EQ(standard.ReadString("Memo", "Goes on", "?"), "Goes on");
}

// Opting in and out works on any object and is followed when it changes.
TEST_F(BridgeTest, ApplicationsOptContentsInAndTextsOut) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Red", "Rot"},
                     {"Caption", "Apply", "Anwenden"},
                     {"Text", "Read only", "Nur lesen"},
                     {"Text", "Red", "Rot"}});
    StartServer();
    QWidget root;
    auto* shown = new QLineEdit("Read only", &root);
    auto* cells = new QTableWidget(1, 1, &root);
    cells->setItem(0, 0, new QTableWidgetItem("Red"));
    auto* apply = new QPushButton("Apply", &root);
    AddQtClient(Server(), root);
    shown->setProperty(kQtLocalizeProperty, true);
    cells->setProperty(kQtLocalizeProperty, true);
    apply->setProperty(kQtLocalizeProperty, false);

    Server().SetLanguage("German");
    EXPECT_EQ(shown->text(), "Nur lesen");
    EXPECT_EQ(cells->item(0, 0)->text(), "Rot");
    EXPECT_EQ(apply->text(), "Apply");
    Server().SetLanguage("Default");
    EXPECT_EQ(shown->text(), "Read only");
    EXPECT_EQ(cells->item(0, 0)->text(), "Red");
}

// Dialogs and message boxes made after the switch show the current language when they are
// first shown, inside the tree or outside every tree, and follow later switches.
TEST_F(BridgeTest, WindowsMadeLaterFollowByThemselves) {
    WriteDictionary("German.Lng", "German",
                    {{"Caption", "Delete", "Löschen"},
                     {"Caption", "Delete the file?", "Die Datei löschen?"},
                     {"Caption", "Name:", "Name:"},
                     {"Caption", "Rename", "Umbenennen"}});
    StartServer();
    QWidget root;
    AddQtClient(Server(), root);
    Server().SetLanguage("German");

    auto* inside = new QMessageBox(QMessageBox::Question, "Delete", "Delete the file?",
                                   QMessageBox::Yes | QMessageBox::No, &root);
    QPointer<QDialog> outside = new QDialog;
    outside->setAttribute(Qt::WA_DeleteOnClose);
    outside->setWindowTitle("Rename");
    auto* label = new QLabel("Name:", outside);
    auto* name = new QLineEdit("Rename", outside);
    EXPECT_EQ(inside->text(), "Delete the file?"); // not yet shown
    inside->show();
    outside->show();
    EXPECT_EQ(inside->windowTitle(), Q("Löschen"));
    EXPECT_EQ(inside->text(), Q("Die Datei löschen?"));
    EXPECT_EQ(outside->windowTitle(), "Umbenennen");
    EXPECT_EQ(label->text(), "Name:");
    EXPECT_EQ(name->text(), "Rename"); // typed input stays

    Server().SetLanguage("Default");
    EXPECT_EQ(inside->text(), "Delete the file?");
    EXPECT_EQ(outside->windowTitle(), "Rename");
    inside->hide();
    inside->show(); // shown again: not translated twice
    EXPECT_EQ(inside->text(), "Delete the file?");
    outside->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(outside.isNull());
    Server().SetLanguage("German"); // the closed dialog's client went with it
    EXPECT_EQ(inside->windowTitle(), Q("Löschen"));
}

// Qt's own texts follow the locale a dictionary names.
TEST_F(BridgeTest, QtsOwnTranslationsFollowTheDictionarysLocale) {
    test::WriteFileBytes(Folder() / "German.Lng",
                         "[Definitions]\r\nOvkLanguage=German\r\nOvkLocale=de\r\n");
    StartServer();
    QWidget root;
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &root);
    AddQtClient(Server(), root);
    const QString cancel = buttons->button(QDialogButtonBox::Cancel)->text();
    Server().SetLanguage("German");
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
    Server().SetLanguage("Default");
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), cancel);
}

TEST(QtMessagesFillTest, PlaceholdersTakeArgumentsCountsAndPercentSigns) {
    const struct {
        const char* Text;
        QStringList Arguments;
        std::optional<long long> Count;
        const char* Expected;
    } cases[] = {
        {"Saved %1", {"a.txt"}, {}, "Saved a.txt"},
        {"%2 before %1", {"one", "two"}, {}, "two before one"},
        {"%n files", {}, 3, "3 files"},
        {"%n of %1", {"all"}, 1, "1 of all"},
        {"100%% done", {}, {}, "100% done"},
        {"%1%2", {"a", "b"}, {}, "ab"},
        {"%3 is missing", {"a"}, {}, "%3 is missing"},
        {"%10 of ten", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"}, {}, "ten of ten"},
        {"%12 of two", {"x", "y"}, {}, "x2 of two"},
        {"%n without count", {}, {}, "%n without count"},
        {"trailing %", {}, {}, "trailing %"},
        {"%1 twice %1", {"z"}, {}, "z twice z"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QtMessages::Fill(c.Text, c.Arguments, c.Count), Q(c.Expected)) << c.Text;
}

// Messages built in code: translated, re-rendered at each switch with their arguments, and
// registered by key; the filled-in text (holding a file name) reaches no dictionary.
TEST_F(BridgeTest, BoundMessagesFollowSwitchesAndRegisterTheirKeysOnly) {
    WriteDictionary("OvkDefault.Lng", "Default", {});
    WriteDictionary("German.Lng", "German",
                    {{"Messages", "%n files selected", "%n Dateien gewählt"},
                     {"Messages", "Saved %1", "%1 gespeichert"}});
    StartServer();
    QWidget root;
    auto* selection = new QLabel(&root);
    QString status;
    QtLocalizeClient* client = AddQtClient(Server(), root);
    QtMessages messages(Server());
    messages.Bind(*selection, "text", {"%n files selected", {}, 3});
    messages.Bind(root, [&](const QString& text) { status = text; },
                  {"Saved %1", {"diary.txt"}, {}});
    EXPECT_EQ(selection->text(), "3 files selected");
    EXPECT_EQ(status, "Saved diary.txt");

    Server().SetLanguage("German");
    EXPECT_EQ(selection->text(), Q("3 Dateien gewählt"));
    EXPECT_EQ(status, "diary.txt gespeichert");
    EXPECT_EQ(messages.Text("Unknown %1", {"x"}), "Unknown x");

    Server().SetLanguage("Default");
    Server().RegisterClientTexts();
    const ProfileFile standard(Folder() / "OvkDefault.Lng");
    EXPECT_EQ(standard.ReadString("Messages", "Saved %1", "?"), "Saved %1");
    EXPECT_EQ(standard.ReadString("Messages", "Unknown %1", "?"), "Unknown %1");
    EXPECT_EQ(test::ReadFileBytes(Folder() / "OvkDefault.Lng").find("diary"), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(Folder() / "OvkDefault.Lng").find("3 files"), std::string::npos);

    // While bound the label's text is the message's, not a text of the tree.
    EXPECT_TRUE(client->Texts().empty());
    messages.Unbind(*selection, "text");
    EXPECT_EQ(client->Texts(),
              (std::vector<QtClientText>{{"QWidget[0].QLabel[0].Caption", "3 files selected"}}));
}

TEST(BridgeStringsTest, ChangeHandlerHearsEveryChangeAndStaysWithTheOriginal) {
    TStringList list;
    int changes = 0;
    list.OnChange = [&] { ++changes; };
    list.Add("a");
    list.Insert(0, "b");
    list.SetStrings(1, "c");
    list.Delete(0);
    list.SetCommaText("x,y");
    list.SetLines({"z"});
    list.Clear();
    EXPECT_EQ(changes, 7);
    (void)list.CommaText();
    (void)list.IndexOf("z");
    EXPECT_EQ(changes, 7); // reading is no change

    list.Add("kept");
    TStringList copy(list);
    EXPECT_FALSE(copy.OnChange);
    EXPECT_EQ(copy.Lines(), std::vector<std::string>{"kept"});
    copy.Add("more");
    EXPECT_EQ(changes, 8);
    list = copy;
    EXPECT_EQ(changes, 9);
    EXPECT_EQ(list.Count(), 2);
}

} // namespace
} // namespace tavrel

// The phrasebook example driven off-screen: its window switched in-process through every
// shipped language and back, following changes saved in the editor, register mode on a copy
// of its dictionaries, the program itself run with its command line, and its start beside
// the editor by the development script.

#include "Phrasebook.h"

#include "EditorWidgets.h"
#include "ErrorBox.h"
#include "FMainEditor.h"
#include "PhrasebookWindow.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridge.h"
#include "tavrel/qt/QtMessages.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"
#include "TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tavrel {
void PrintTo(const QtClientText& text, std::ostream* out) {
    *out << text.Path << "=" << text.Text;
}
} // namespace tavrel

namespace {

namespace fs = std::filesystem;
using tavrel::QtClientText;

const fs::path kShipped = PHRASEBOOK_SOURCE_DICTIONARIES;
const char* const kGerman = "OvkD3200TSCHA.Lng";
const char* const kFrench = "OvkF6520GAISA.Lng";

// Widgets need an application object; these tests run on the off-screen platform.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    char name_[16] = "phrasebook_test";
    char* argv_[2] = {name_, nullptr};
    int argc_ = 1;
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const application =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

std::string Section(const std::string& path) {
    return path.substr(path.rfind('.') + 1);
}

std::vector<std::string> Captions(const QMenu& menu) {
    std::vector<std::string> captions;
    for (const QAction* action : menu.actions())
        captions.push_back(action->text().toStdString());
    return captions;
}

class PhrasebookTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(kShipped, folder_);
        server_ = phrasebook::CreateServer(folder_);
        window_ = std::make_unique<phrasebook::PhrasebookWindow>(*server_);
        window_->ShowAbout(); // its texts count too
        window_->ShowJournalInfo();
    }
    void TearDown() override {
        window_.reset();
        server_.reset();
    }

    std::vector<QtClientText> Texts() const { return window_->Client()->Texts(); }

    tavrel::test::ScopedUserFolders user_;
    tavrel::test::TempDir dir_;
    fs::path folder_ = dir_ / "dictionaries";
    std::unique_ptr<tavrel::TOvkLocalizeServer> server_;
    std::unique_ptr<phrasebook::PhrasebookWindow> window_;
};

TEST_F(PhrasebookTest, ShippedDictionariesHoldEveryTextOfTheWindow) {
    std::set<std::pair<std::string, std::string>> seen, listed;
    for (const QtClientText& text : Texts())
        seen.emplace(Section(text.Path), text.Text);
    const tavrel::ProfileFile standard(kShipped / "OvkDefault.Lng");
    for (const char* section : {"Caption", "Hint", "Memo", "Text"}) {
        std::vector<std::string> keys;
        standard.ReadSection(section, keys);
        for (const std::string& key : keys)
            listed.emplace(section, key);
    }
    EXPECT_EQ(seen, listed);
    // Every text has a path of its own (an action's tool tip and status tip may agree).
    std::set<std::string> paths;
    for (const QtClientText& text : Texts())
        EXPECT_TRUE(paths.insert(text.Path).second) << text.Path;
}

// Every shipped language: its name in the language menu and its dictionary.
struct Shipped {
    const char* language;
    const char* file;
};
const Shipped kLanguages[] = {
    {"Deutsch", kGerman},
    {"Français", kFrench},
    {"Polski", "OvkP4200LSKIA.Lng"},
    {"Русский", "OvkÐ00000_0_A.Lng"},
    {"Ελληνικά", "OvkÎ0000._._A.Lng"},
    {"日本語", "Ovkæ0000_H_þA.Lng"},
    {"العربية", "OvkØ00009ê8_A.Lng"},
};

// What the window shows, read through Qt's own API, each with the dictionary section its
// text belongs to: the check does not trust the bridge's view of the window.
struct ShownText {
    QString where;
    std::string section;
    QString text;
};

std::vector<ShownText> ShownTexts(QWidget& window) {
    std::vector<ShownText> shown;
    const auto add = [&](const QObject* object, const char* what, const char* section,
                         const QString& text) {
        if (!text.isEmpty())
            shown.push_back({object->objectName() + "." + what, section, text});
    };
    QList<QObject*> objects{&window};
    objects += window.findChildren<QObject*>();
    for (QObject* object : objects) {
        if (object->objectName().isEmpty() || object->objectName().startsWith("qt_"))
            continue;
        if (auto* action = qobject_cast<QAction*>(object)) {
            add(action, "text", "Caption", action->text());
            add(action, "statusTip", "Hint", action->statusTip());
            continue;
        }
        auto* widget = qobject_cast<QWidget*>(object);
        if (widget == nullptr || object->objectName() == "CollectionSizeLabel")
            continue;
        if (widget->isWindow())
            add(widget, "windowTitle", "Caption", widget->windowTitle());
        add(widget, "toolTip", "Hint", widget->toolTip());
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            add(button, "text", "Caption", button->text());
        else if (auto* label = qobject_cast<QLabel*>(widget))
            add(label, "text", "Caption", label->text());
        else if (auto* box = qobject_cast<QGroupBox*>(widget))
            add(box, "title", "Caption", box->title());
        else if (auto* menu = qobject_cast<QMenu*>(widget))
            add(menu, "title", "Caption", menu->title());
        else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                add(tabs, "tab", "Caption", tabs->tabText(i));
        } else if (auto* tree = qobject_cast<QTreeWidget*>(widget)) {
            for (int i = 0; i < tree->columnCount(); ++i)
                add(tree, "header", "Caption", tree->headerItem()->text(i));
        }
    }
    return shown;
}

TEST_F(PhrasebookTest, EveryTextSwitchesToEachLanguageAndBack) {
    const std::vector<QtClientText> english = Texts();
    const std::vector<ShownText> shownInEnglish = ShownTexts(*window_);
    ASSERT_GT(english.size(), 40u);
    ASSERT_GT(shownInEnglish.size(), 30u);
    for (const Shipped& shipped : kLanguages) {
        SCOPED_TRACE(shipped.language);
        server_->SetLanguage(shipped.language);
        ASSERT_EQ(server_->Language(), shipped.language);
        const tavrel::ProfileFile dictionary(kShipped / shipped.file);
        const std::vector<QtClientText> translated = Texts();
        for (std::size_t i = 0; i < std::min(english.size(), translated.size()); ++i)
            ASSERT_EQ(translated[i].Path, english[i].Path) << translated[i].Text;
        ASSERT_EQ(translated.size(), english.size());
        for (std::size_t i = 0; i < english.size(); ++i) {
            const std::string expected =
                dictionary.ReadString(Section(english[i].Path), english[i].Text, "(missing)");
            EXPECT_EQ(translated[i].Path, english[i].Path);
            EXPECT_EQ(translated[i].Text, expected) << english[i].Path;
        }
        // The same by Qt's own account of the window.
        const std::vector<ShownText> shown = ShownTexts(*window_);
        ASSERT_EQ(shown.size(), shownInEnglish.size());
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const ShownText& source = shownInEnglish[i];
            const std::string expected =
                dictionary.ReadString(source.section, source.text.toStdString(), "(missing)");
            EXPECT_EQ(shown[i].where, source.where);
            EXPECT_EQ(shown[i].text.toStdString(), expected) << source.where.toStdString();
        }
        const bool arabic = std::string_view(shipped.language) == "العربية";
        EXPECT_EQ(QGuiApplication::layoutDirection(), arabic ? Qt::RightToLeft : Qt::LeftToRight);
        EXPECT_EQ(window_->isRightToLeft(), arabic);
        server_->SetLanguage("Default");
        EXPECT_EQ(Texts(), english);
        EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    }
}

// Processes events until `done` holds; false when it still does not after 20 s.
bool EventsUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 20000)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// A translator saves the dictionary of the language shown (the editor rewrites the file,
// another program replaces it): the running window follows every change by itself, keeps
// the user's input, and stops following when told to.
TEST_F(PhrasebookTest, ChangesOfTheShownDictionaryOnDiskShowInTheRunningWindow) {
    const std::vector<ShownText> shownInEnglish = ShownTexts(*window_);
    auto* name = window_->findChild<QLineEdit*>("NameEdit");
    name->clear();
    QTest::keyClicks(name, "Ann Smith");
    server_->SetLanguage("Deutsch");
    const fs::path german = folder_ / kGerman;
    const auto expectedTexts = [&] {
        const tavrel::ProfileFile dictionary(german);
        std::vector<std::string> texts;
        for (const ShownText& source : shownInEnglish)
            texts.push_back(
                dictionary.ReadString(source.section, source.text.toStdString(), "(missing)"));
        return texts;
    };
    const auto shownTexts = [&] {
        std::vector<std::string> texts;
        for (const ShownText& shown : ShownTexts(*window_))
            texts.push_back(shown.text.toStdString());
        return texts;
    };
    ASSERT_EQ(shownTexts(), expectedTexts());

    { // Every translation of the window changes at once.
        tavrel::ProfileFile dictionary(german);
        for (const ShownText& source : shownInEnglish) {
            const std::string key = source.text.toStdString();
            dictionary.WriteString(source.section, key,
                                   dictionary.ReadString(source.section, key, "") + " (neu)");
        }
        dictionary.WriteString("Caption", "Meaning", "Bedeutung (neu)"); // a header
        dictionary.UpdateFile();
    }
    const std::vector<std::string> edited = expectedTexts();
    ASSERT_NE(edited, shownTexts());
    EXPECT_TRUE(EventsUntil([&] { return shownTexts() == edited; }));
    EXPECT_EQ(shownTexts(), edited);
    EXPECT_EQ(name->text(), "Ann Smith");
    const auto header = [&] {
        return window_->Vocabulary()->headerData(1, Qt::Horizontal).toString().toStdString();
    };
    EXPECT_EQ(header(), "Bedeutung (neu)");

    // Another program replaces the file; the texts it leaves alone stay.
    const auto runSed = [&](const char* script) {
        QProcess sed;
        sed.start("sed", {"-i", script, QString::fromStdString(german.string())});
        ASSERT_TRUE(sed.waitForFinished(20000));
        ASSERT_EQ(sed.exitCode(), 0);
    };
    runSed("s/=Bedeutung (neu)\r/=Sinn\r/");
    EXPECT_TRUE(EventsUntil([&] { return header() == "Sinn"; }));
    std::vector<std::string> afterSed = edited;
    std::replace(afterSed.begin(), afterSed.end(), std::string("Bedeutung (neu)"),
                 std::string("Sinn"));
    EXPECT_EQ(shownTexts(), afterSed);

    // Switches still map every text back.
    server_->SetLanguage("Default");
    std::vector<std::string> english;
    for (const ShownText& source : shownInEnglish)
        english.push_back(source.text.toStdString());
    EXPECT_EQ(shownTexts(), english);
    server_->SetLanguage("Deutsch");
    EXPECT_EQ(shownTexts(), afterSed);

    // Turned off: a change waits for the next switch.
    tavrel::FollowDictionaryChanges(*server_, false);
    runSed("s/=Sinn\r/=Bedeutung\r/");
    QTest::qWait(500);
    EXPECT_EQ(header(), "Sinn");
    server_->SetLanguage("Deutsch");
    EXPECT_EQ(header(), "Bedeutung");
    EXPECT_EQ(name->text(), "Ann Smith");
}

// A translator edits a text in the editor's window, on the folder the program recorded as
// its own: the running window keeps the text until the change is saved, then shows it by
// itself.
TEST_F(PhrasebookTest, AChangeSavedInTheEditorShowsInTheRunningWindow) {
    QStringList errors;
    tavrel::editor::SetErrorPresenter([&](const QString&, const QString& text) { errors << text; });
    const auto restore = qScopeGuard([] { tavrel::editor::SetErrorPresenter({}); });
    server_->SetLanguage("Deutsch");
    const auto* tabs = window_->findChild<QTabWidget*>("PageTabs");
    ASSERT_EQ(tabs->tabText(0), QString::fromUtf8("&Sätze"));

    tavrel::editor::TFMain editor;
    editor.show();
    for (QAction* action : editor.EditLanguages->actions()) {
        if (action->text() == "Deutsch")
            action->trigger();
    }
    ASSERT_EQ(editor.Label3->text(), "Deutsch");
    const int caption = editor.ComboBox1->findText("Caption");
    editor.ComboBox1->setCurrentIndex(caption);
    emit editor.ComboBox1->activated(caption);
    const QList<QListWidgetItem*> rows = editor.ListBox1->findItems("&Phrases", Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    QTest::mouseClick(editor.ListBox1->viewport(), Qt::LeftButton, {},
                      editor.ListBox1->visualItemRect(rows.front()).center());
    ASSERT_EQ(editor.Edit1->text(), QString::fromUtf8("&Sätze"));
    editor.Edit1->selectAll();
    QTest::keyClicks(editor.Edit1, "&Redewendungen");
    QTest::qWait(300);
    EXPECT_EQ(tabs->tabText(0), QString::fromUtf8("&Sätze"));

    editor.Post->click();
    EXPECT_TRUE(EventsUntil([&] { return tabs->tabText(0) == "&Redewendungen"; }));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(PhrasebookTest, CountsTakeThePluralFormsOfTheLanguage) {
    auto* size = window_->findChild<QLabel*>("CollectionSizeLabel");
    auto* add = window_->findChild<QPushButton*>("AddButton");
    ASSERT_NE(size, nullptr);
    ASSERT_NE(add, nullptr);
    const auto countTo = [&](int count) {
        auto* tree = window_->findChild<QTreeWidget*>("CollectionTree");
        while (tree->topLevelItemCount() < count)
            add->click();
        return size->text().toStdString();
    };
    struct Case {
        const char* language;
        int count;
        const char* text;
    };
    // Counts grow through each language's cases; Polish 1 / 2-4 / 5+, Russian and Arabic
    // with their own categories, Japanese with one form for all.
    const Case cases[] = {
        {"Default", 0, "0 phrases in your collection"},
        {"Default", 1, "1 phrase in your collection"},
        {"Polski", 1, "1 zwrot w Twojej kolekcji"},
        {"Polski", 2, "2 zwroty w Twojej kolekcji"},
        {"Polski", 5, "5 zwrotów w Twojej kolekcji"},
        {"Polski", 22, "22 zwroty w Twojej kolekcji"},
        {"Русский", 22, "22 фразы в вашей коллекции"},
        {"Deutsch", 22, "22 Sätze in Ihrer Sammlung"},
        {"日本語", 22, "コレクションに22件のフレーズがあります"},
        {"Polski", 25, "25 zwrotów w Twojej kolekcji"},
        {"Русский", 25, "25 фраз в вашей коллекции"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.language) + " " + std::to_string(c.count));
        server_->SetLanguage(c.language);
        EXPECT_EQ(countTo(c.count), c.text);
    }
    // Arabic's six forms through the message API, with Arabic digits for the count.
    server_->SetLanguage("العربية");
    tavrel::QtMessages& messages = window_->Messages();
    const auto arabic = [&](long long count) {
        return messages.Text(tavrel::QtMessage{"%n phrases in your collection", {}, count})
            .toStdString();
    };
    EXPECT_EQ(arabic(0), "لا توجد عبارات في مجموعتك");
    EXPECT_EQ(arabic(1), "عبارة واحدة في مجموعتك");
    EXPECT_EQ(arabic(2), "عبارتان في مجموعتك");
    EXPECT_EQ(arabic(3), QLocale().toString(3).toStdString() + " عبارات في مجموعتك");
    EXPECT_EQ(arabic(11), QLocale().toString(11).toStdString() + " عبارة في مجموعتك");
    EXPECT_EQ(arabic(100), QLocale().toString(100).toStdString() + " عبارة في مجموعتك");
    EXPECT_EQ(QLocale().language(), QLocale::Arabic);
}

TEST_F(PhrasebookTest, LanguageMenuListsTheLanguagesAndStaysUntranslated) {
    QMenu& menu = *window_->LanguageMenu();
    const std::vector<std::string> languages{"Default",  "Deutsch", "Français", "Polski",
                                             "Ελληνικά", "Русский", "العربية",  "日本語"};
    EXPECT_EQ(Captions(menu), languages);
    for (const QAction* action : menu.actions())
        EXPECT_FALSE(action->icon().isNull()) << action->text().toStdString();

    menu.actions()[1]->trigger();
    EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("Sprachführer"));
    EXPECT_EQ(menu.title(), "&Sprache");
    emit menu.aboutToShow();
    EXPECT_EQ(Captions(menu), languages);
    EXPECT_TRUE(menu.actions()[1]->isChecked());
    EXPECT_FALSE(menu.actions()[0]->isChecked());
}

TEST_F(PhrasebookTest, CollectingTextsAddsWhatIsMissingToEveryDictionary) {
    server_->SetLanguage("Deutsch");
    {
        tavrel::ProfileFile french(folder_ / kFrench);
        french.DeleteKey("Hint", "Pick a category");
    }
    // A widget added at run time, in English like the rest of the source.
    auto* extra = new QPushButton("Brand-new button", window_->centralWidget());
    extra->setToolTip("Does nothing yet");

    window_->CollectTextsAction()->trigger();

    for (const char* file : {"OvkDefault.Lng", kGerman, kFrench}) {
        SCOPED_TRACE(file);
        const tavrel::ProfileFile dictionary(folder_ / file);
        EXPECT_EQ(dictionary.ReadString("Caption", "Brand-new button", "?"), "Brand-new button");
        EXPECT_EQ(dictionary.ReadString("Hint", "Does nothing yet", "?"), "Does nothing yet");
    }
    // What was missing is back (as its key); translations are kept.
    EXPECT_EQ(tavrel::ProfileFile(folder_ / kFrench).ReadString("Hint", "Pick a category", "?"),
              "Pick a category");
    EXPECT_EQ(tavrel::ProfileFile(folder_ / kGerman).ReadString("Caption", "Phrasebook", "?"),
              "Sprachführer");
    // The window is back in German, and says so in German.
    EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("Sprachführer"));
    EXPECT_EQ(window_->statusBar()->currentMessage(), "Texte gesammelt");
}

TEST_F(PhrasebookTest, CollectingTextsChangesNoShippedDictionary) {
    window_->CollectTexts();
    for (const fs::directory_entry& entry : fs::directory_iterator(kShipped)) {
        EXPECT_EQ(tavrel::test::ReadFileBytes(folder_ / entry.path().filename()),
                  tavrel::test::ReadFileBytes(entry.path()))
            << entry.path().filename();
    }
}

TEST_F(PhrasebookTest, AboutBoxMadeAfterASwitchIsTranslated) {
    window_.reset(); // a fresh window whose About box does not exist yet
    window_ = std::make_unique<phrasebook::PhrasebookWindow>(*server_);
    server_->SetLanguage("Deutsch");
    QDialog* about = window_->ShowAbout();
    EXPECT_EQ(about->windowTitle(), QString::fromUtf8("Über den Sprachführer"));
    EXPECT_EQ(about->findChild<QPushButton*>("CloseButton")->text(),
              QString::fromUtf8("&Schließen"));
    server_->SetLanguage("Default");
    EXPECT_EQ(about->findChild<QLabel*>("AboutText")->text(),
              "A small phrasebook that switches language while it runs.");
}

// The user's journal, typed input, password and vocabulary through switches there and back,
// a save, and a collection of the texts: none of it is changed or lands in a dictionary,
// while every text of the program follows the language.
TEST_F(PhrasebookTest, TheUsersDataSurvivesSwitchesAndReachesNoDictionary) {
    const fs::path journalFile = dir_ / "trip.txt";
    const std::string written = "Met Anna at the station; door code 4711.\nTomorrow: Köln";
    tavrel::test::WriteFileBytes(journalFile, written);
    window_->OpenJournal(QString::fromStdString(journalFile.string()));
    QPlainTextEdit& journal = *window_->Journal();
    journal.moveCursor(QTextCursor::End);
    QTest::keyClicks(&journal, " Hauptbahnhof!");
    auto* name = window_->findChild<QLineEdit*>("NameEdit");
    auto* password = window_->findChild<QLineEdit*>("PasswordEdit");
    auto* currency = window_->findChild<QComboBox*>("CurrencyBox");
    name->clear();
    QTest::keyClicks(name, "Ann Smith");
    QTest::keyClicks(password, "s3cret-Pass");
    currency->setCurrentIndex(1);
    window_->AddWord("Gleis", "platform");
    window_->AddPhrase();

    const QString document = journal.toPlainText();
    const QString title = window_->windowTitle();
    ASSERT_EQ(title, "trip.txt[*]");
    ASSERT_TRUE(window_->isWindowModified());
    const auto untouched = [&] {
        EXPECT_EQ(journal.toPlainText(), document);
        EXPECT_TRUE(window_->isWindowModified());
        EXPECT_EQ(window_->windowTitle(), title);
        EXPECT_EQ(tavrel::test::ReadFileBytes(journalFile), written);
        EXPECT_EQ(name->text(), "Ann Smith");
        EXPECT_EQ(password->text(), "s3cret-Pass");
        EXPECT_EQ(currency->currentText(), "USD");
        EXPECT_EQ(window_->Vocabulary()->item(0, 0)->text(), "Gleis");
        EXPECT_EQ(window_->Vocabulary()->item(0, 1)->text(), "platform");
    };
    const auto label = [&](const char* objectName) {
        return window_->findChild<QLabel*>(objectName)->text().toStdString();
    };
    const std::vector<QtClientText> english = Texts();
    for (const Shipped& shipped : kLanguages) {
        SCOPED_TRACE(shipped.language);
        server_->SetLanguage(shipped.language);
        ASSERT_EQ(server_->Language(), shipped.language);
        untouched();
    }
    server_->SetLanguage("Default");
    untouched();
    EXPECT_EQ(Texts(), english);

    server_->SetLanguage("Deutsch");
    // Read through Qt itself.
    EXPECT_EQ(window_->findChild<QAction*>("OpenJournalAction")->text(),
              QString::fromUtf8("Tagebuch ö&ffnen..."));
    EXPECT_EQ(window_->findChild<QAction*>("SaveJournalAction")->statusTip(),
              "Das Tagebuch speichern");
    EXPECT_EQ(window_->Vocabulary()->headerData(1, Qt::Horizontal).toString(), "Bedeutung");
    EXPECT_EQ(journal.placeholderText(), QString::fromUtf8("Schreiben Sie über Ihre Reise"));
    EXPECT_EQ(label("CollectionSizeLabel"), "1 Satz in Ihrer Sammlung");
    EXPECT_EQ(label("PasswordLabel"), "Konto-&Passwort:");
    // A message box made now, after the switch, shows German by itself.
    QMessageBox* info = window_->ShowJournalInfo();
    EXPECT_EQ(info->windowTitle(), "Tagebuch");
    EXPECT_EQ(info->informativeText(), QString::fromUtf8("Nur Sie können es lesen."));
    info->close();

    window_->SaveJournal();
    EXPECT_EQ(QString::fromUtf8(tavrel::test::ReadFileBytes(journalFile)), document);
    EXPECT_FALSE(window_->isWindowModified());
    EXPECT_EQ(window_->statusBar()->currentMessage(), "trip.txt gespeichert");

    window_->CollectTexts();
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
        const std::string bytes = tavrel::test::ReadFileBytes(entry.path());
        for (const char* data : {"Anna", "4711", "Hauptbahnhof", "trip", "Ann Smith", "s3cret",
                                 "Gleis", "platform", "USD"})
            EXPECT_EQ(bytes.find(data), std::string::npos)
                << entry.path().filename() << " holds " << data;
    }
}

// --- The program ----------------------------------------------------------------------

struct Result {
    int status;
    std::string out, err;
};

class PhrasebookProgramTest : public ::testing::Test {
protected:
    Result Run(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(user_.ConfigHome().string()));
        environment.insert("XDG_DATA_HOME", QString::fromStdString(user_.DataHome().string()));
        process.setProcessEnvironment(environment);
        process.start(PHRASEBOOK_EXECUTABLE, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }

    tavrel::test::ScopedUserFolders user_;
    tavrel::test::TempDir dir_;
};

TEST_F(PhrasebookProgramTest, DumpsTheTextsOfTheLanguageAskedFor) {
    const fs::path folder = dir_ / "dictionaries";
    fs::copy(kShipped, folder);
    const QString dictionaries = QString::fromStdString(folder.string());

    const Result german =
        Run({"--dictionaries", dictionaries, "--language", "Deutsch", "--dump-texts"});
    ASSERT_EQ(german.status, 0) << german.err;
    EXPECT_NE(german.out.find("PhrasebookWindow.Caption\tSprachführer\n"), std::string::npos);
    EXPECT_NE(german.out.find("PhrasebookWindow.PageTabs.Tabs.#0.Caption\t&Sätze\n"),
              std::string::npos);
    EXPECT_NE(german.out.find(".PhraseList.Items.Text\t\"Guten Morgen\",Danke,"
                              "\"Wo ist der Bahnhof?\"\n"),
              std::string::npos);

    // The same texts as the window shows in-process.
    {
        const auto server = phrasebook::CreateServer(folder);
        phrasebook::PhrasebookWindow window(*server);
        server->SetLanguage("Deutsch");
        EXPECT_EQ(german.out, phrasebook::DumpTexts(*window.Client()));
    }

    // The language chosen last is where the next run starts.
    const Result again = Run({"--dictionaries", dictionaries, "--dump-texts"});
    EXPECT_EQ(again.out, german.out);
    const Result french =
        Run({"--dictionaries", dictionaries, "--language", "Français", "--dump-texts"});
    EXPECT_NE(french.out.find("PhrasebookWindow.Caption\tGuide de conversation\n"),
              std::string::npos);
}

TEST_F(PhrasebookProgramTest, WorksOnAPerUserCopyOfTheShippedDictionaries) {
    const Result first = Run({"--language", "Deutsch", "--dump-texts"});
    ASSERT_EQ(first.status, 0) << first.err;
    const fs::path copy = user_.DataHome() / "Tavrel" / "Phrasebook";
    for (const fs::directory_entry& entry : fs::directory_iterator(kShipped))
        EXPECT_TRUE(fs::exists(copy / entry.path().filename())) << entry.path().filename();

    // A translator's change to the copy survives the next start.
    {
        tavrel::ProfileFile german(copy / kGerman);
        german.WriteString("Caption", "Phrasebook", "Reiseworte");
    }
    const Result second = Run({"--language", "Deutsch", "--dump-texts"});
    EXPECT_NE(second.out.find("PhrasebookWindow.Caption\tReiseworte\n"), std::string::npos);
}

TEST_F(PhrasebookProgramTest, RefusesWhatItCannotDo) {
    const Result unknown = Run({"--language", "Klingon", "--dump-texts"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Unknown language: Klingon"), std::string::npos);
    const Result missing = Run({"--dictionaries", "/nonexistent/folder", "--dump-texts"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("No such folder"), std::string::npos);
    EXPECT_EQ(Run({"--bogus"}).status, 2);
}

// --- The editor's start in scripts/dev.sh ----------------------------------------------

// The example behind a wrapper that notes its process and arguments.
constexpr char kExampleWrapper[] = R"sh(#!/bin/sh
echo "$$ $*" >> "$TEST_LOG/example"
exec "$TEST_EXAMPLE" "$@"
)sh";

// The editor's stand-in: notes its arguments and the files of the folder it is given, then
// waits (20 s at most) for the example beside it to start.
constexpr char kEditorStandIn[] = R"sh(#!/bin/sh
for word in "$@"; do echo "$word"; done > "$TEST_LOG/editor"
[ "${1:-}" = --dictionaries ] || exit 0
ls "$2" > "$TEST_LOG/folder"
n=0
while [ "$(wc -l < "$TEST_LOG/example")" -lt 2 ] && [ $n -lt 400 ]; do
    sleep 0.05
    n=$((n + 1))
done
)sh";

// `scripts/dev.sh run` once it has built, on a build folder of the real example and a
// stand-in for the editor. The per-user folders are temporary; the data home's name holds
// what the settings store escapes.
class DevScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(mine_);
        Script(build_ / "examples" / "phrasebook" / "phrasebook", kExampleWrapper);
        Script(build_ / "editor" / "lngedit", kEditorStandIn);
    }

    static void Script(const fs::path& file, const char* text) {
        fs::create_directories(file.parent_path());
        tavrel::test::WriteFileBytes(file, text);
        fs::permissions(file, fs::perms::owner_all);
    }
    // The lines a stand-in noted in the last start.
    std::vector<std::string> Lines(const char* name) const {
        std::vector<std::string> lines;
        if (const fs::path log = dir_ / "log" / name; fs::exists(log)) {
            std::istringstream text(tavrel::test::ReadFileBytes(log));
            for (std::string line; std::getline(text, line);)
                lines.push_back(line);
        }
        return lines;
    }

    // Runs the script's start of the editor; its exit status.
    int StartEditor(const QStringList& arguments = {}) {
        fs::remove_all(dir_ / "log");
        fs::create_directories(dir_ / "log");
        QProcess bash;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", QString::fromStdString(dir_.Path().string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(user_.ConfigHome().string()));
        environment.insert("XDG_DATA_HOME", QString::fromStdString(dataHome_.string()));
        environment.insert("TEST_LOG", QString::fromStdString((dir_ / "log").string()));
        environment.insert("TEST_EXAMPLE", PHRASEBOOK_EXECUTABLE);
        bash.setProcessEnvironment(environment);
        bash.start("bash",
                   QStringList{"-c",
                               "source \"$1\" && build=\"$2\" && shift 2 && "
                               "start_editor \"$@\"",
                               "dev-test", DEV_SCRIPT, QString::fromStdString(build_.string())} +
                       arguments);
        EXPECT_TRUE(bash.waitForFinished(60000));
        EXPECT_EQ(bash.exitStatus(), QProcess::NormalExit);
        return bash.exitCode();
    }

    // Whether the last start ran the example beside the editor on the example's copy: the
    // copy whole before the editor started, the example stopped once the editor closed.
    bool StartedBeside() {
        const std::vector<std::string> example = Lines("example");
        if (example.empty())
            return false;
        EXPECT_EQ(Lines("editor"), (std::vector<std::string>{"--dictionaries", copy_.string()}));
        std::vector<std::string> seen = Lines("folder"), shipped;
        for (const fs::directory_entry& entry : fs::directory_iterator(kShipped))
            shipped.push_back(entry.path().filename().string());
        std::sort(seen.begin(), seen.end());
        std::sort(shipped.begin(), shipped.end());
        EXPECT_TRUE(std::includes(seen.begin(), seen.end(), shipped.begin(), shipped.end()))
            << ::testing::PrintToString(seen);
        EXPECT_EQ(example.size(), 2u);
        EXPECT_THAT(example.front(), ::testing::EndsWith(" --dump-texts"));
        EXPECT_THAT(example.back(), ::testing::EndsWith(" -qwindowgeometry +695+106"));
        if (const pid_t pid = std::stoi(example.back()); ::kill(pid, 0) == 0) {
            ADD_FAILURE() << "the example still runs";
            ::kill(pid, SIGKILL);
        }
        return true;
    }

    std::string StoredFolder() const {
        tavrel::SettingsStore store(user_.SettingsFile());
        return store.OpenKey() ? store.ReadString("Others", "DicPath", "") : "<no store>";
    }

    tavrel::test::ScopedUserFolders user_;
    tavrel::test::TempDir dir_;
    const fs::path build_ = dir_ / "build";
    const fs::path dataHome_ = dir_ / "data 100% \xC3\xA9]";
    const fs::path copy_ = dataHome_ / "Tavrel" / "Phrasebook";
    const fs::path mine_ = dir_ / "mine";
};

TEST_F(DevScriptTest, TheExampleRunsBesideTheEditorUntilTheUserChoosesAFolder) {
    // Arguments are for the editor alone.
    ASSERT_EQ(StartEditor({"--dictionaries", QString::fromStdString(mine_.string())}), 0);
    EXPECT_EQ(Lines("editor"), (std::vector<std::string>{"--dictionaries", mine_.string()}));
    EXPECT_FALSE(StartedBeside());

    // A fresh machine, and the next start alike, for the example records its folder.
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        ASSERT_EQ(StartEditor(), 0);
        EXPECT_TRUE(StartedBeside());
        EXPECT_TRUE(fs::equivalent(StoredFolder(), copy_));
    }

    // Chosen with the editor's folder button: the editor starts alone and the choice stays.
    tavrel::TOvkLocalizeServer(nullptr).SetDicPath(mine_.string());
    const std::string store = tavrel::test::ReadFileBytes(user_.SettingsFile());
    ASSERT_EQ(StartEditor(), 0);
    EXPECT_FALSE(StartedBeside());
    EXPECT_EQ(Lines("editor"), std::vector<std::string>{});
    EXPECT_EQ(tavrel::test::ReadFileBytes(user_.SettingsFile()), store);
}

// The editor as the script starts it: on the folder it is given, remembered as chosen.
TEST_F(DevScriptTest, TheEditorStartsOnTheFolderItIsGiven) {
    const fs::path folder = dir_ / "dictionaries";
    fs::copy(kShipped, folder);
    QProcess editor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", QString::fromStdString(dir_.Path().string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(user_.ConfigHome().string()));
    environment.insert("XDG_DATA_HOME", QString::fromStdString(dataHome_.string()));
    editor.setProcessEnvironment(environment);
    editor.setWorkingDirectory(QString::fromStdString(dir_.Path().string()));
    const auto catalogued = [&] {
        tavrel::SettingsStore store(user_.SettingsFile());
        return store.OpenKey() ? store.ReadString("Languages", "Deutsch", "") : std::string();
    };

    // Shown, the window has scanned the folder and catalogued its languages; a relative
    // name is stored whole, and no other folder got a dictionary meanwhile.
    editor.start(LNGEDIT_EXECUTABLE, {"--dictionaries", "dictionaries/"});
    EXPECT_TRUE(EventsUntil([&] { return catalogued() == (folder / kGerman).string(); }));
    editor.kill();
    editor.waitForFinished();
    EXPECT_EQ(StoredFolder(), folder.string());
    EXPECT_FALSE(fs::exists(dataHome_));

    // A folder that is not there is refused before any window, and nothing is stored.
    const std::string store = tavrel::test::ReadFileBytes(user_.SettingsFile());
    editor.start(LNGEDIT_EXECUTABLE, {"--dictionaries", "missing"});
    ASSERT_TRUE(editor.waitForFinished(60000));
    EXPECT_EQ(editor.exitCode(), 2);
    EXPECT_EQ(editor.readAllStandardError().toStdString(), "lngedit: No such folder: missing\n");
    EXPECT_EQ(tavrel::test::ReadFileBytes(user_.SettingsFile()), store);
}

// Settings stores as a hand may leave them: the script takes for chosen what the library
// reads as the dictionary folder.
TEST_F(DevScriptTest, ReadsTheChosenFolderAsTheLibraryDoes) {
    fs::create_directories(copy_);
    fs::create_directories(user_.SettingsFile().parent_path());
    // As a hand may escape a path: '/' needs no escape, the data home's '%' and ']' do.
    const auto escaped = [](const fs::path& path) {
        std::string out;
        for (char c : path.string())
            out += c == '/' ? "%2f" : c == '%' ? "%25" : c == ']' ? "%5D" : std::string(1, c);
        return out;
    };
    const std::string mine = mine_.string();
    const struct {
        std::string store;
        bool beside;
    } cases[] = {
        {"", true},
        {"[Others]\r\nActualLanguage=Deutsch\r\n", true},
        {"[Others]\r\nDicPath=\r\n", true},
        {"[Languages]\r\nDicPath=" + mine + "\r\n[Others]\r\nActualLanguage=Deutsch\r\n", true},
        {"\xEF\xBB\xBF[ others ]\r\n  dicpath = " + escaped(copy_) + "/ \r\n", true},
        {"[Others]\r\nDicPath=" + mine + "\r\n", false},
        {"\xEF\xBB\xBF[OTHERS]\nActualLanguage=Deutsch\nDICPATH=" + escaped(mine_) + "\n", false},
        {"[Others]\r\nDicPath=" + escaped(dataHome_) + "\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.store);
        tavrel::test::WriteFileBytes(user_.SettingsFile(), c.store);
        const std::string read = StoredFolder();
        ASSERT_EQ(read.empty() || fs::equivalent(read, copy_), c.beside) << read;
        ASSERT_EQ(StartEditor(), 0);
        EXPECT_EQ(StartedBeside(), c.beside);
        if (!c.beside) {
            EXPECT_EQ(tavrel::test::ReadFileBytes(user_.SettingsFile()), c.store);
        }
    }
}

} // namespace

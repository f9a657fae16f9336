#include "EditorArtwork.h"
#include "EditorTestSupport.h"
#include "FFolders.h"
#include "FNewKey.h"
#include "FNewLangNameDialog.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <QClipboard>
#include <QDir>
#include <QTest>

namespace tavrel::editor::test {
namespace {

using CommandsTest = EditorFixture;

// Types `name` into the next name dialog and closes it with OK (or Cancel).
std::shared_ptr<bool> EnterName(const QString& name, bool ok = true, QString* caption = nullptr,
                                QString* hint = nullptr) {
    return OnNextModal<TNewKey>([=](TNewKey* dialog) {
        if (caption != nullptr)
            *caption = dialog->windowTitle();
        if (hint != nullptr)
            *hint = dialog->Edit1->toolTip();
        QTest::keyClicks(dialog->Edit1, name);
        (ok ? dialog->Button1 : dialog->Button2)->click();
    });
}

TEST_F(CommandsTest, NewLanguageIsCataloguedCapitalisedAndShownAsTyped) {
    WriteSampleFolder();
    StartWindow();
    OnNextModal<TNewLangNameDialog>([](TNewLangNameDialog* dialog) {
        QTest::keyClicks(dialog->LangName, "german");
        QTest::keyClick(dialog->LangName, Qt::Key_Return);
    });
    window->New->click();
    EXPECT_EQ(window->Label3->text(), "german");
    EXPECT_EQ(Texts(*window->EditLanguages),
              (QStringList{"Default", "English", "French", "German"}));
    const fs::path file = window->LocServer->LanguageFileName("German");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(Read(file, "Definitions", "OvkLanguage"), "German");
    EXPECT_EQ(Read(file, "Caption", "Save"), "Save") << "seeded from the Default dictionary";
    EXPECT_EQ(Rows(*window->ComboBox1), (QStringList{"Caption", "Definitions", "Hint", "Text"}));
    QImage flag(fs::path(file).replace_extension(".bmp").c_str());
    EXPECT_EQ(flag.convertToFormat(QImage::Format_RGB32), DefaultFlagsImage());
    EXPECT_FALSE(window->Post->isEnabled());
}

TEST_F(CommandsTest, CancelledNewLanguageCreatesNothing) {
    WriteSampleFolder();
    StartWindow();
    OnNextModal<TNewLangNameDialog>([](TNewLangNameDialog* dialog) {
        QTest::keyClicks(dialog->LangName, "german");
        QTest::keyClick(dialog->LangName, Qt::Key_Escape);
    });
    window->New1->trigger();
    EXPECT_EQ(window->LocServer->LanguageList().Count(), 3);
    EXPECT_EQ(window->Label3->text(), "English");
}

TEST_F(CommandsTest, DeleteLanguageAsksThenDeletesItsFiles) {
    WriteSampleFolder();
    tavrel::test::WriteFileBytes(dictionaries / "English.bmp", "flag");
    StartWindow();
    QString question;
    AnswerConfirmation(false, &question);
    window->Delete->click();
    EXPECT_EQ(question, "Are You Sure Delete Language: English?.");
    EXPECT_TRUE(fs::exists(dictionaries / "English.Lng"));

    AnswerConfirmation(true, nullptr);
    window->Delete->click();
    EXPECT_FALSE(fs::exists(dictionaries / "English.Lng"));
    EXPECT_FALSE(fs::exists(dictionaries / "English.bmp"));
    EXPECT_EQ(window->Label3->text(), "");
    EXPECT_EQ(window->ComboBox1->count() + window->ListBox1->count(), 0);
    EXPECT_EQ(window->Edit1->text(), "");
    EXPECT_FALSE(window->Delete->isEnabled());
    EXPECT_TRUE(window->DeleteLanguage1->isEnabled());
    EXPECT_EQ(Texts(*window->EditLanguages), (QStringList{"Default", "French"}));

    AnswerConfirmation(true, &question);
    window->DeleteLanguage1->trigger();
    EXPECT_EQ(question, "Are You Sure Delete Language: ?.");
    EXPECT_EQ(window->LocServer->LanguageList().Count(), 2);
}

TEST_F(CommandsTest, DeleteAllLanguagesLeavesANewDefault) {
    WriteSampleFolder();
    StartWindow();
    QString question;
    AnswerConfirmation(true, &question);
    window->DeleteAllLanguages1->trigger();
    EXPECT_EQ(question, "Are You Sure Delete All Languages?.");
    EXPECT_FALSE(fs::exists(dictionaries / "English.Lng"));
    EXPECT_FALSE(fs::exists(dictionaries / "French.Lng"));
    ASSERT_TRUE(fs::exists(dictionaries / "OvkDefault.Lng"));
    EXPECT_EQ(Read(dictionaries / "OvkDefault.Lng", "Caption", "Open"), "<absent>");
    EXPECT_EQ(Texts(*window->EditLanguages), QStringList{"Default"});
    EXPECT_EQ(window->Label3->text(), "");
    EXPECT_TRUE(window->Delete->isEnabled()) << "Delete keeps its state";
}

TEST_F(CommandsTest, NewSectionReachesEveryDictionaryAndIsSelected) {
    WriteSampleFolder();
    StartWindow();
    QString caption, hint;
    EnterName("Tips", true, &caption, &hint);
    window->NewSection1->trigger();
    EXPECT_EQ(caption, "Insert New Section");
    EXPECT_EQ(hint, "New Section Name");
    for (const char* file : {"OvkDefault.Lng", "English.Lng", "French.Lng"})
        EXPECT_EQ(Read(dictionaries / file, "Tips", "OVK"), "OVK") << file;
    EXPECT_EQ(window->ComboBox1->currentText(), "Tips");
    EXPECT_EQ(Rows(*window->ListBox1), QStringList{"OVK"});
    EXPECT_EQ(window->Edit1->text(), "");

    EnterName("caption");
    window->NewSection1->trigger();
    EXPECT_EQ(window->ComboBox1->currentText(), "Caption") << "found without regard to case";

    EnterName(QString(300, 'L'));
    window->NewSection1->trigger();
    EXPECT_EQ(window->ComboBox1->currentIndex(), -1);
    EXPECT_FALSE(window->NewSection1->isEnabled());
    EXPECT_EQ(Read(dictionaries / "French.Lng", std::string(255, 'L'), "OVK"), "OVK");

    EnterName("Never", false);
    window->NewSection1->trigger();
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Never", "OVK"), "<absent>");
}

TEST_F(CommandsTest, NewItemIsAddedWhereMissingAndTheSectionShown) {
    WriteSampleFolder();
    tavrel::test::WriteFileBytes(dictionaries / "French.Lng",
                                 "[Definitions]\r\nOvkLanguage=French\r\n[Hint]\r\n"
                                 "Open=Ouvrir\r\nOpen file=Ouvrir un fichier\r\n");
    StartWindow();
    ChooseSection("Hint");
    QString caption, hint;
    EnterName("Open file", true, &caption, &hint);
    window->NewSubSection1->trigger();
    EXPECT_EQ(caption, "Insert New Item");
    EXPECT_EQ(hint, "New Item Name");
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Hint", "Open file"), "Open file");
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Hint", "Open file"), "Ouvrir un fichier");
    EXPECT_EQ(window->ComboBox1->currentText(), "Hint");
    EXPECT_EQ(window->ListBox1->currentRow(), 0);
}

TEST_F(CommandsTest, DeleteSectionAsksThenRemovesItEverywhere) {
    WriteSampleFolder();
    StartWindow();
    ChooseSection("Hint");
    QString question;
    AnswerConfirmation(false, &question);
    window->DeleteSection1->trigger();
    EXPECT_EQ(question, "Are You Sure Delete Section: Hint?.");
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Hint", "Open"), "Ouvrir");

    AnswerConfirmation(true, nullptr);
    window->DeleteSection1->trigger();
    for (const char* file : {"OvkDefault.Lng", "English.Lng", "French.Lng"})
        EXPECT_EQ(Read(dictionaries / file, "Hint", "Open"), "<absent>") << file;
    EXPECT_EQ(Rows(*window->ComboBox1), (QStringList{"Caption", "Definitions", "Text"}));
    EXPECT_EQ(window->ComboBox1->currentText(), "Caption");
}

TEST_F(CommandsTest, DeleteItemAsksWithTheKeyAndSection) {
    WriteSampleFolder();
    StartWindow();
    QString question;
    AnswerConfirmation(true, &question);
    window->DeleteItem1->trigger();
    EXPECT_EQ(question, "Are You Sure Delete Item: Open from Section: Caption?.");
    for (const char* file : {"OvkDefault.Lng", "English.Lng", "French.Lng"})
        EXPECT_EQ(Read(dictionaries / file, "Caption", "Open"), "<absent>") << file;
    EXPECT_EQ(window->ComboBox1->currentText(), "Caption");
    EXPECT_EQ(Rows(*window->ListBox1), QStringList{"Save"});

    // Without a selected key the command fails before its question.
    window->ListBox1->setCurrentRow(-1);
    const auto asked = AnswerConfirmation(true, nullptr);
    window->DeleteItem1->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(*asked);
    EXPECT_EQ(errors, QStringList{"List index out of bounds (-1)"});
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", "Save"), "Enregistrer");
}

TEST_F(CommandsTest, FolderDialogResetsTheViewWhetherCancelledOrConfirmed) {
    WriteSampleFolder();
    StartWindow();
    TypeIntoEdit1("dropped");
    OnNextModal<TFolders>([](TFolders* dialog) { dialog->Button2->click(); });
    window->SpeedButton1->click();
    EXPECT_EQ(window->Edit2->text(), QString::fromStdString(dictionaries.Path().string()));
    EXPECT_EQ(window->ComboBox1->count() + window->ListBox1->count(), 0);
    EXPECT_EQ(window->Edit1->text(), "");
    EXPECT_FALSE(window->Post->isEnabled());
    EXPECT_EQ(window->Label3->text(), "English");

    const QString other = QDir::homePath() + "/Other";
    ASSERT_TRUE(QDir().mkpath(other));
    tavrel::test::WriteFileBytes(fs::path(other.toStdString()) / "Spanish.Lng",
                                 "[Definitions]\r\nOvkLanguage=Spanish\r\n");
    OnNextModal<TFolders>([other](TFolders* dialog) {
        QModelIndex item;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            item = dialog->PathList->IndexOfPath(other);
            return item.isValid();
        }));
        const QRect rect = dialog->PathList->visualRect(item);
        QTest::mouseClick(dialog->PathList->viewport(), Qt::RightButton, {}, rect.center());
        dialog->Button1->click();
    });
    window->SpeedButton1->click();
    EXPECT_EQ(window->Edit2->text(), other);
    EXPECT_EQ(Setting("Others", "DicPath"), other.toStdString());
    EXPECT_EQ(Texts(*window->EditLanguages), QStringList{"Spanish"});
    EXPECT_EQ(window->Label3->text(), "English");
    ChooseLanguage("Spanish");
    EXPECT_EQ(window->Label3->text(), "Spanish");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// Pastes `name` into the next new-language dialog and confirms it.
std::shared_ptr<bool> PasteLanguageName(const QString& name) {
    return OnNextModal<TNewLangNameDialog>([name](TNewLangNameDialog* dialog) {
        QApplication::clipboard()->setText(name);
        QTest::keyClick(dialog->LangName, Qt::Key_V, Qt::ControlModifier);
        dialog->Button1->click();
    });
}

TEST_F(CommandsTest, RefusalsOfTheServerAreReportedAndChangeNothing) {
    WriteSampleFolder();
    StartWindow();
    const auto files = tavrel::test::FolderEntries(dictionaries.Path());
    const auto newLanguage = [this](const QString& name) {
        return [this, name] {
            PasteLanguageName(name);
            window->New->click();
        };
    };
    const auto inDefinitions = [this](QAction* command) {
        return [this, command] {
            ChooseSection("Definitions");
            AnswerConfirmation(true, nullptr);
            command->trigger();
        };
    };
    struct Case {
        std::function<void()> command;
        QString error;
        QString section;
    };
    for (const Case& c : {
             Case{newLanguage("North\nSami"),
                  R"(Invalid language name "North\nSami": it holds a control or invisible )"
                  "formatting character.",
                  "Caption"},
             Case{inDefinitions(window->DeleteSection1),
                  "The section Definitions names the language of each dictionary and cannot be "
                  "deleted.",
                  "Definitions"},
             Case{inDefinitions(window->DeleteItem1),
                  "Definitions/OvkLanguage names the language of each dictionary and cannot be "
                  "deleted.",
                  "Definitions"},
         }) {
        SCOPED_TRACE(c.error.toStdString());
        errors.clear();
        c.command();
        EXPECT_EQ(errors, QStringList{c.error});
        EXPECT_EQ(tavrel::test::FolderEntries(dictionaries.Path()), files);
        EXPECT_EQ(Read(dictionaries / "French.Lng", "Definitions", "OvkLanguage"), "French");
        EXPECT_EQ(Texts(*window->EditLanguages), (QStringList{"Default", "English", "French"}));
        EXPECT_EQ(window->Label3->text(), "English");
        EXPECT_EQ(Rows(*window->ComboBox1),
                  (QStringList{"Caption", "Definitions", "Hint", "Text"}));
        EXPECT_EQ(window->ComboBox1->currentText(), c.section);
    }
}

TEST_F(CommandsTest, FailuresHalfWayLeaveTheWindowShowingWhatIsStored) {
    WriteSampleFolder();
    // Where the new language's flag goes, a folder stands in the way.
    const fs::path flag = dictionaries / (LanguageFileBase("German") + ".bmp");
    ASSERT_TRUE(fs::create_directory(flag));
    StartWindow();
    PasteLanguageName("German");
    window->New->click();
    EXPECT_EQ(errors, QStringList{QString::fromStdString("Unable to write to " + flag.string() +
                                                         " (cannot replace " + flag.string() +
                                                         ": Is a directory)")});
    EXPECT_EQ(Texts(*window->EditLanguages),
              (QStringList{"Default", "English", "French", "German"}))
        << "the language was made, without its flag";
    EXPECT_EQ(window->Label3->text(), "English");

    // The section goes from the dictionaries before the one that fails.
    ChooseSection("Hint");
    fs::remove(dictionaries / "French.Lng");
    errors.clear();
    AnswerConfirmation(true, nullptr);
    window->DeleteSection1->trigger();
    EXPECT_EQ(errors, QStringList{QString::fromStdString("Unable to write to " +
                                                         (dictionaries / "French.Lng").string() +
                                                         " (the file does not exist)")});
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Hint", "Open"), "<absent>");
    EXPECT_EQ(Rows(*window->ComboBox1), (QStringList{"Caption", "Definitions", "Text"}));
    EXPECT_EQ(window->ComboBox1->currentText(), "Caption");
}

} // namespace
} // namespace tavrel::editor::test

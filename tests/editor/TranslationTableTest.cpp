#include "EditorTestSupport.h"
#include "EntryWriter.h"
#include "FReplace.h"
#include "FTranslationTable.h"
#include "tavrel/storage/ProfileFile.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>

namespace tavrel::editor::test {
namespace {

class TranslationTableTest : public EditorFixture {
protected:
    // Default and French with `count` captions "Text 001"... that French has not
    // translated yet, as registration leaves them.
    void WriteLargeLanguage(int count) {
        std::string body = "[Caption]\r\n";
        for (int i = 1; i <= count; ++i) {
            const std::string key = Key(i);
            body += key + "=" + key + "\r\n";
        }
        WriteDictionary("OvkDefault.Lng", "Default", body);
        WriteDictionary("French.Lng", "French", body);
        SetSetting("Others", "DicPath", dictionaries.Path().string());
        SetSetting("Others", "ActualLanguage", "French");
    }
    static std::string Key(int i) {
        char key[16];
        std::snprintf(key, sizeof key, "Text %03d", i);
        return key;
    }

    TTranslationTable* OpenTable() {
        window->TranslationTable1->trigger();
        TTranslationTable* table = window->Table();
        EXPECT_NE(table, nullptr);
        if (table != nullptr) {
            EXPECT_TRUE(QTest::qWaitForWindowActive(table));
        }
        return table;
    }
    // The texts of a column, in the order the table shows them.
    static QStringList Column(const TTranslationTable& table, int column) {
        QStringList texts;
        const QAbstractItemModel* model = table.Table->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, column).data().toString();
        return texts;
    }
    std::string StateNote(const std::string& section, const std::string& key) const {
        const ProfileFile file(dictionaries / "French.Lng");
        const TEntryNotes notes = ParseEntryNotes(file.ReadNotes(section, key));
        return notes.state ? std::string(EntryStateName(*notes.state)) : std::string("-");
    }
};

TEST_F(TranslationTableTest, TranslatesTwentyOfFiveHundredEntriesByKeyboardAndUndoesFive) {
    WriteLargeLanguage(500);
    StartWindow();
    int keystrokes = 0;
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        PressOnKeyboard(key, modifiers);
        ++keystrokes;
    };
    const auto type = [&](const QString& text) {
        TypeOnKeyboard(text);
        keystrokes += static_cast<int>(text.size());
    };
    const auto translation = [](int i) { return QStringLiteral("Texte %1").arg(i); };

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    press(Qt::Key_T, Qt::ControlModifier);
    TTranslationTable* table = window->Table();
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(table));
    ASSERT_EQ(FocusAfterActivation(table->Table), table->Table);
    EXPECT_EQ(table->windowTitle(), "Translation Table - French");
    EXPECT_EQ(table->Progress->text(), "Done 0 of 500 (0.0 %) - 0 to review, 500 untranslated");

    int typed = 0;
    for (int i = 1; i <= 20; ++i) {
        type(translation(i));
        typed += static_cast<int>(translation(i).size());
        press(Qt::Key_Return, Qt::ControlModifier);
    }
    // One shortcut to open the table, the texts, one key per entry: nothing else.
    EXPECT_EQ(keystrokes, 1 + typed + 20);
    for (int i = 1; i <= 21; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", Key(i)),
                  i <= 20 ? translation(i).toStdString() : Key(i));
    }
    EXPECT_EQ(table->Progress->text(), "Done 20 of 500 (4.0 %) - 0 to review, 480 untranslated");
    EXPECT_EQ(table->ProgressBar->value(), 20);
    // The table waits on the next untranslated entry, the main window saw the writes.
    EXPECT_EQ(table->Table->currentIndex().data().toString(), QString::fromStdString(Key(21)));

    for (int undo = 0; undo < 5; ++undo)
        press(Qt::Key_Z, Qt::ControlModifier);
    for (int i = 1; i <= 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", Key(i)),
                  i <= 15 ? translation(i).toStdString() : Key(i));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(table->Progress->text(), "Done 15 of 500 (3.0 %) - 0 to review, 485 untranslated");
    // Redo takes the last undone change back.
    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", Key(16)), translation(16).toStdString());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(TranslationTableTest, FiltersByStateAndByTextWithoutRegardToCaseOrAccents) {
    WriteDictionary("OvkDefault.Lng", "Default",
                    "[Caption]\r\nOpen=Open\r\nSave=Save\r\nFolder=Folder\r\nOK=OK\r\n");
    WriteDictionary("French.Lng", "French",
                    "[Caption]\r\nOpen=Ouvrir\r\nSave=Enregistrer\r\n;@state needs-review\r\n"
                    "Folder=Dossier élevé\r\nOK=OK\r\n[Definitions]\r\nOvkLocale=fr\r\n[Hint]\r\n"
                    "Folder=" +
                        std::string(3000, 'd') + "\r\n");
    SetSetting("Others", "DicPath", dictionaries.Path().string());
    SetSetting("Others", "ActualLanguage", "French");
    StartWindow();
    TTranslationTable* table = OpenTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Column(*table, TTranslationTableModel::StateColumn),
              (QStringList{"Done", "Done", "Needs review", "Untranslated", "Done"}))
        << "Definitions is no text to translate";
    struct Case {
        TStateFilter state;
        QString find;
        QStringList keys;
    };
    const Case cases[] = {
        {TStateFilter::All, "", {"Open", "Save", "Folder", "OK", "Folder"}},
        {TStateFilter::Untranslated, "", {"OK"}},
        {TStateFilter::NeedsReview, "", {"Folder"}},
        {TStateFilter::Done, "", {"Open", "Save", "Folder"}},
        {TStateFilter::All, "ELEVE", {"Folder"}}, // accents and case do not count
        {TStateFilter::All, "ouv", {"Open"}},     // translations are searched
        {TStateFilter::All, "sav", {"Save"}},     // and keys
        {TStateFilter::Done, "dossier", {}},      // both filters hold
        {TStateFilter::All, "Élevé", {"Folder"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.find.toStdString() + " " + std::to_string(static_cast<int>(c.state)));
        table->StateFilter->setCurrentIndex(static_cast<int>(c.state));
        table->FindEdit->setText(c.find);
        EXPECT_EQ(Column(*table, TTranslationTableModel::KeyColumn), c.keys);
    }
    // The row being worked on stays current while it is shown.
    table->FindEdit->clear();
    table->StateFilter->setCurrentIndex(0);
    const auto currentKey = [&] {
        return table->Table->model()
            ->index(table->Table->currentIndex().row(), TTranslationTableModel::KeyColumn)
            .data()
            .toString();
    };
    table->Table->setCurrentIndex(table->Table->model()->index(2, 0));
    table->FindEdit->setText("dossier");
    EXPECT_EQ(currentKey(), "Folder");
    table->FindEdit->clear();
    EXPECT_EQ(currentKey(), "Folder");
    table->FindEdit->setText("ouv");
    EXPECT_EQ(currentKey(), "Open") << "the first row shown when the current one is not";
    table->FindEdit->clear();
    // The hint in the find field stays readable in a colour scheme that gives hints a
    // colour close to a dark base.
    QPalette dark = table->palette();
    dark.setColor(QPalette::Base, QColor(35, 38, 41));
    dark.setColor(QPalette::Text, QColor(252, 252, 252));
    dark.setColor(QPalette::PlaceholderText, QColor(45, 48, 51));
    table->setPalette(dark);
    const QColor hint = table->FindEdit->palette().color(QPalette::PlaceholderText);
    const double alpha = hint.alphaF();
    const double shown = alpha * hint.lightness() + (1.0 - alpha) * 38.0;
    EXPECT_GT(shown - 38, 100) << hint.name(QColor::HexArgb).toStdString();
    table->Table->sortByColumn(TTranslationTableModel::TranslationColumn, Qt::AscendingOrder);
    EXPECT_EQ(Column(*table, TTranslationTableModel::KeyColumn),
              (QStringList{"Folder", "Folder", "Save", "OK", "Open"}));
    // A replacement writes long values back whole.
    EXPECT_EQ(table->ReplaceInTranslations("ddd", "e", Qt::CaseSensitive), 1);
    EXPECT_EQ(ProfileFile(dictionaries / "French.Lng").FindValue("Hint", "Folder"),
              std::string(1000, 'e'));
}

TEST_F(TranslationTableTest, EditsMarksAndReplacementsAreWrittenAndUndoneAsTheUserMadeThem) {
    WriteSampleFolder("French");
    StartWindow();
    TTranslationTable* table = OpenTable();
    ASSERT_NE(table, nullptr);
    // The reference column shows Default by default, another language when chosen; the
    // lines of a list are rows of their own.
    EXPECT_EQ(Column(*table, TTranslationTableModel::KeyColumn),
              (QStringList{"Open", "Save", "Open", "Lines [1/2]", "Lines [2/2]", "Blank [1/1]"}));
    EXPECT_EQ(Column(*table, TTranslationTableModel::ReferenceColumn),
              (QStringList{"Open", "Save", "Open a file", "a b", "c", ""}));

    // An edit in place of the second line writes the list with that line replaced; the
    // main window, which shows the list, follows.
    ChooseSection("Text");
    TTranslationTableModel& model = table->Model();
    model.setData(model.index(4, TTranslationTableModel::TranslationColumn), "d");
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Text", "Lines"), "\"a b\",d");
    EXPECT_EQ(Rows(*window->ListBox2), (QStringList{"a b", "d"}));

    table->Table->setCurrentIndex(table->Table->model()->index(1, 0));
    table->MarkSelected(TEntryState::NeedsReview);
    EXPECT_EQ(StateNote("Caption", "Save"), "needs-review");
    EXPECT_EQ(Column(*table, TTranslationTableModel::StateColumn)[1], "Needs review");
    table->MarkSelected(TEntryState::Done);
    EXPECT_EQ(StateNote("Caption", "Save"), "-") << "the value says done already";
    // The translator's note keeps its lines.
    OnNextModal<QInputDialog>([](QInputDialog* dialog) {
        dialog->setTextValue("Button text\nkeep it short ");
        dialog->accept();
    });
    table->EditNoteAction->trigger();
    EXPECT_EQ(ParseEntryNotes(ProfileFile(dictionaries / "French.Lng").ReadNotes("Caption", "Save"))
                  .translatorNote,
              "Button text\nkeep it short");
    EXPECT_EQ(Column(*table, TTranslationTableModel::NotesColumn)[1],
              "Button text / keep it short");

    // Replacing is one step to undo, over every translation of the language.
    EXPECT_EQ(table->ReplaceInTranslations("ouvrir", "Ouvre", Qt::CaseInsensitive), 2);
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", "Open"), "Ouvre");
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Hint", "Open"), "Ouvre");
    QUndoStack& stack = window->Writer().UndoStack();
    EXPECT_EQ(stack.undoText(), "Replace \"ouvrir\" with \"Ouvre\"");
    stack.undo();
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", "Open"), "Ouvrir");
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Hint", "Open"), "Ouvrir");

    // An undo of a change of another language makes that language current again.
    ChooseLanguage("English");
    QCoreApplication::processEvents();
    EXPECT_EQ(table->windowTitle(), "Translation Table - English");
    // Such an undo leaves the main window's value: an edit there is asked about first.
    TypeIntoEdit1("Opened");
    for (const auto answer : {QMessageBox::Cancel, QMessageBox::Discard}) {
        OnNextModal<QMessageBox>([answer](QMessageBox* box) { box->button(answer)->click(); });
        EXPECT_EQ(window->Writer().Undo(), answer == QMessageBox::Discard);
        EXPECT_EQ(window->Label3->text(), answer == QMessageBox::Cancel ? "English" : "French");
    }
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Caption", "Open"), "Open");
    while (stack.canUndo())
        stack.undo();
    EXPECT_EQ(window->Label3->text(), "French");
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Text", "Lines"), "\"a b\",c");
    QCoreApplication::processEvents();
    EXPECT_EQ(table->windowTitle(), "Translation Table - French");

    // The replace dialog replaces what it is given.
    OnNextModal<TReplaceDialog>([](TReplaceDialog* dialog) {
        dialog->FindText->setText("Enregistrer");
        dialog->ReplaceText->setText("Sauver");
        dialog->ReplaceAll->click();
    });
    table->ShowReplaceDialog();
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", "Save"), "Sauver");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(TranslationTableTest, FollowsWhatTheMainWindowSaves) {
    WriteSampleFolder("French");
    StartWindow();
    TTranslationTable* table = OpenTable();
    ASSERT_NE(table, nullptr);
    TypeIntoEdit1("Ouvre");
    window->Post->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(Column(*table, TTranslationTableModel::TranslationColumn)[0], "Ouvre");
    // The main window's saves are on the same stack.
    window->Writer().UndoStack().undo();
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", "Open"), "Ouvrir");
    EXPECT_EQ(window->Edit1->text(), "Ouvrir");
    // A failed write is reported, changes nothing and keeps what was typed in its editor,
    // whether stored with Enter or with Ctrl+Enter.
    QCoreApplication::processEvents(); // the table has read the dictionary
    fs::remove(dictionaries / "French.Lng");
    fs::create_directory(dictionaries / "French.Lng");
    const auto typedInEditor = [] {
        QCoreApplication::processEvents();
        const auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return editor != nullptr ? editor->text() : QString("<no editor>");
    };
    table->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(table));
    for (const Qt::KeyboardModifiers modifiers : {Qt::NoModifier, Qt::ControlModifier}) {
        table->Table->setCurrentIndex(
            table->Table->model()->index(1, TTranslationTableModel::TranslationColumn));
        TypeOnKeyboard("x");
        PressOnKeyboard(Qt::Key_Return, modifiers);
        EXPECT_EQ(typedInEditor(), "x");
        EXPECT_EQ(table->Table->currentIndex().row(), 1);
        PressOnKeyboard(Qt::Key_Escape);
    }
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[0].startsWith("Unable to write to")) << errors[0].toStdString();
}

} // namespace
} // namespace tavrel::editor::test

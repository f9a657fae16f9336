#include "EditorArtwork.h"
#include "EditorTestSupport.h"
#include "EditorWidgets.h"
#include "ErrorBox.h"
#include "OpenPictureDialog.h"
#include "tavrel/qt/QtPicture.h"

#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace tavrel::editor::test {
namespace {

using MainWindowTest = EditorFixture;

TEST_F(MainWindowTest, StartsOnAnEmptyStoreWithTheDefaultLanguage) {
    StartWindow();
    EXPECT_EQ(window->windowTitle(), "Tavrel Language Editor");
    EXPECT_EQ(window->Label3->text(), "Default");
    EXPECT_EQ(window->Edit2->text(), "");
    EXPECT_EQ(Rows(*window->ComboBox1), QStringList{"Definitions"});
    EXPECT_EQ(Rows(*window->ListBox1), QStringList{"OvkLanguage"});
    EXPECT_EQ(window->Edit1->text(), "Default");
    EXPECT_EQ(Texts(*window->EditLanguages), QStringList{"Default"});
    EXPECT_FALSE(window->Post->isEnabled());
    EXPECT_TRUE(window->Delete->isEnabled());
    EXPECT_TRUE(window->NewSection1->isEnabled());
    EXPECT_TRUE(window->DeleteItem1->isEnabled());
    EXPECT_TRUE(window->ListBox2->isHidden());
    EXPECT_TRUE(fs::exists(folders.DataHome() / "Tavrel" / "Localize" / "OvkDefault.Lng"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(MainWindowTest, WidgetsStartWhereAndAsTheWindowPlacesThem) {
    window = std::make_unique<TFMain>(Environment());
    struct Expected {
        QWidget* widget;
        QRect geometry;
        QString hint;
    };
    const Expected table[] = {
        {window->ComboBox1, {8, 60, 177, 21}, "Sections"},
        {window->ListBox1, {8, 88, 177, 185}, "Item List"},
        {window->Edit2, {200, 60, 253, 21}, ""},
        {window->SpeedButton1, {456, 60, 23, 22}, "Select Path"},
        {window->ListBox2, {200, 88, 177, 153}, "Text List"},
        {window->Panel1, {400, 88, 37, 33}, ""},
        {window->Image1, {4, 4, 29, 25}, "Double Click here for change language image"},
        {window->Edit1, {200, 252, 277, 21}, "Edit Value Field"},
        {window->CoolBar1, {0, 0, 487, 33}, ""},
    };
    for (const Expected& row : table) {
        SCOPED_TRACE(row.widget->objectName().toStdString());
        EXPECT_EQ(row.widget->geometry(), row.geometry);
        EXPECT_EQ(row.widget->toolTip(), row.hint);
    }
    EXPECT_FALSE(window->Edit2->isEnabled());
    EXPECT_TRUE(window->Edit2->isReadOnly());
    EXPECT_EQ(window->New->toolTip(), "New Language");
    EXPECT_EQ(window->Post->toolTip(), "Save Changes");
    EXPECT_EQ(window->Delete->toolTip(), "Delete Language");
    EXPECT_EQ(window->Refresh->toolTip(), "Refresh Languages");
    EXPECT_EQ(Texts(*window->Files2), QStringList{"&Exit"});
    EXPECT_EQ(Texts(*window->Files1),
              (QStringList{"&Edit Language", "&New Language", "&Delete Language",
                           "Delete &All Languages", "&Refresh Languages"}));
    EXPECT_EQ(Texts(*window->Sections1),
              (QStringList{"New &Section", "New &Item", "D&elete Section", "&Delete Item", "",
                           "Add &Plural Forms"}));
    for (QAction* item : window->Sections1->actions())
        EXPECT_TRUE(item->isSeparator() || !item->isEnabled()) << item->text().toStdString();
    const auto nextTabStop = [](QWidget* from) {
        QWidget* next = from->nextInFocusChain();
        while (next != from && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        return next;
    };
    EXPECT_EQ(nextTabStop(window->ListBox1), window->ComboBox1);
    EXPECT_EQ(nextTabStop(window->ComboBox1), window->ListBox2);
    EXPECT_EQ(nextTabStop(window->ListBox2), window->Edit1);
    EXPECT_EQ(window->findChild<QWidget*>("Label4")->width(), 84);
}

TEST_F(MainWindowTest, RemembersTheLanguageAcrossRuns) {
    // The window's own stored language ("English") never applies.
    WriteSampleFolder("French");
    StartWindow();
    EXPECT_EQ(window->Label3->text(), "French");
    EXPECT_EQ(window->Edit2->text(), QString::fromStdString(dictionaries.Path().string()));
    EXPECT_EQ(Texts(*window->EditLanguages), (QStringList{"Default", "English", "French"}));
}

TEST_F(MainWindowTest, ChoosingALanguageFromTheMenuShowsItsDictionaryAndFlag) {
    WriteSampleFolder("English");
    QImage flag(16, 16, QImage::Format_RGB32);
    flag.fill(QColor(10, 200, 30));
    QtPicture(flag).SaveToFile(dictionaries / "French.bmp");
    StartWindow();
    ChooseLanguage("French");
    EXPECT_EQ(window->Label3->text(), "French");
    EXPECT_EQ(Rows(*window->ComboBox1), (QStringList{"Caption", "Definitions", "Hint", "Text"}));
    EXPECT_EQ(window->ComboBox1->currentText(), "Caption");
    EXPECT_EQ(window->ListBox1->currentRow(), 0);
    EXPECT_EQ(window->Edit1->text(), "Ouvrir");
    EXPECT_EQ(window->Image1Picture().Image().pixelColor(3, 3), QColor(10, 200, 30));
    EXPECT_EQ(Setting("Others", "ActualLanguage"), "French");
    ClickRow(*window->ListBox1, 1);
    EXPECT_EQ(window->Edit1->text(), "Enregistrer");
}

TEST_F(MainWindowTest, SectionsAreSortedWithoutRegardToCase) {
    WriteDictionary("OvkDefault.Lng", "Default", "[beta]\r\nb=b\r\n[Alpha]\r\na=a\r\n[gamma]\r\n");
    SetSetting("Others", "DicPath", dictionaries.Path().string());
    StartWindow();
    EXPECT_EQ(Rows(*window->ComboBox1), (QStringList{"Alpha", "beta", "Definitions", "gamma"}));
    ChooseSection("gamma");
    EXPECT_TRUE(window->ListBox1->count() == 0);
    EXPECT_EQ(window->Edit1->text(), "a") << "an empty section keeps the value shown";
}

TEST_F(MainWindowTest, CommaTextSectionIsEditedLineByLine) {
    WriteSampleFolder();
    StartWindow();
    ChooseSection("Text");
    EXPECT_TRUE(window->ListBox2->isVisible());
    EXPECT_EQ(Rows(*window->ListBox2), (QStringList{"a b", "c"}));
    EXPECT_EQ(window->Edit1->text(), "a b");
    TypeIntoEdit1("x");
    ASSERT_TRUE(window->Post->isEnabled());
    window->Post->click();
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Text", "Lines"), "x,c");
    EXPECT_EQ(window->Edit1->text(), "x");
    EXPECT_EQ(Rows(*window->ListBox2), (QStringList{"x", "c"}));
    EXPECT_FALSE(window->Post->isEnabled());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(MainWindowTest, OnlyTheSectionSpelledTextIsSplitIntoLines) {
    WriteDictionary("OvkDefault.Lng", "Default", "[text]\r\nLines=\"a b\",c\r\n");
    SetSetting("Others", "DicPath", dictionaries.Path().string());
    StartWindow();
    ChooseSection("text");
    EXPECT_TRUE(window->ListBox2->isHidden());
    EXPECT_EQ(window->Edit1->text(), "\"a b\",c");
}

TEST_F(MainWindowTest, CommaTextValueWithoutLinesFailsAndThenGainsTheTypedLine) {
    WriteSampleFolder();
    StartWindow();
    ChooseSection("Text");
    ClickRow(*window->ListBox1, 1); // Blank
    EXPECT_EQ(errors, QStringList{"List index out of bounds (-1)"});
    EXPECT_EQ(errorCaptions, QStringList{"lngedit"});
    EXPECT_TRUE(window->ListBox2->isVisible());
    EXPECT_EQ(window->ListBox2->count(), 0);
    EXPECT_EQ(window->Edit1->text(), "a b");
    TypeIntoEdit1("only");
    window->Post->click();
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Text", "Blank"), "only");
}

TEST_F(MainWindowTest, PostWritesTheValueAndImageAndReturnsToTheSameKey) {
    WriteSampleFolder("French");
    StartWindow();
    ClickRow(*window->ListBox1, 1);
    TypeIntoEdit1("Sauver");
    window->Post->click();
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", "Save"), "Sauver");
    EXPECT_TRUE(fs::exists(dictionaries / "French.bmp"));
    EXPECT_EQ(window->ComboBox1->currentText(), "Caption");
    EXPECT_EQ(window->ListBox1->currentRow(), 1);
    EXPECT_EQ(window->Edit1->text(), "Sauver");
    EXPECT_EQ(window->Edit1->selectedText(), "Sauver");
    // An empty value is stored as the sentinel.
    TypeIntoEdit1("a");
    QTest::keyClick(window->Edit1, Qt::Key_Backspace);
    window->Post->click();
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", "Save"), "OVK");
    EXPECT_EQ(window->Edit1->text(), "");
}

TEST_F(MainWindowTest, PostWithoutASelectedKeyWritesNothing) {
    WriteSampleFolder();
    StartWindow();
    window->Refresh->click(); // empties the lists
    const std::string before = tavrel::test::ReadFileBytes(dictionaries / "English.Lng");
    TypeIntoEdit1("lost");
    window->Post->click();
    EXPECT_EQ(errors, QStringList{"List index out of bounds (-1)"});
    EXPECT_EQ(tavrel::test::ReadFileBytes(dictionaries / "English.Lng"), before);
    EXPECT_FALSE(fs::exists(dictionaries / "English.bmp"));
    EXPECT_TRUE(window->Post->isEnabled());
}

TEST_F(MainWindowTest, OnlyKeysThatProduceACharacterEnablePost) {
    WriteSampleFolder();
    StartWindow();
    // Keys as the window system delivers them, with the text they carry (Delete carries
    // the DEL character on X11 but produces none).
    struct Case {
        int key;
        QString text;
        bool enables;
    };
    const Case cases[] = {
        {Qt::Key_Delete, "\x7f", false}, {Qt::Key_Left, "", false}, {Qt::Key_Tab, "\t", false},
        {Qt::Key_Backspace, "\b", true}, {Qt::Key_Q, "q", true},    {Qt::Key_V, "\x16", true},
    };
    for (const Case& c : cases) {
        window->Refresh->click();
        ASSERT_FALSE(window->Post->isEnabled());
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier, c.text);
        QApplication::sendEvent(window->Edit1, &press);
        EXPECT_EQ(window->Post->isEnabled(), c.enables) << c.key;
    }
    window->Refresh->click();
    window->Edit1->paste(); // as the field's context menu does
    EXPECT_FALSE(window->Post->isEnabled());
    QTest::keyClick(window->Edit1, 'x');
    ChooseLanguage("French");
    EXPECT_TRUE(window->Post->isEnabled()) << "choosing a language leaves Post alone";
}

TEST_F(MainWindowTest, DoubleClickOnTheImageLoadsAChosenBitmap) {
    WriteSampleFolder();
    StartWindow();
    QImage red(16, 16, QImage::Format_RGB32);
    red.fill(QColor(200, 0, 0));
    red.setPixelColor(0, 15, QColor(1, 2, 3));
    QtPicture(red).SaveToFile(dictionaries / "red.bmp");
    tavrel::test::WriteFileBytes(dictionaries / "bad.bmp", "not a picture");
    const auto choose = [](const fs::path& file) {
        return OnNextModal<QFileDialog>([file](QFileDialog* dialog) {
            EXPECT_EQ(dialog->nameFilters(), QStringList{"Bitmaps (*.bmp)"});
            EXPECT_EQ(dialog->defaultSuffix(), "bmp");
            if (file.empty()) {
                static_cast<QDialog*>(dialog)->reject();
                return;
            }
            TypeFileName(*dialog, file);
        });
    };
    const QImage before = window->Image1Picture().Image();
    choose({});
    QTest::mouseDClick(window->Image1, Qt::LeftButton);
    choose(dictionaries / "bad.bmp");
    QTest::mouseDClick(window->Image1, Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("bad.bmp")) << errors[0].toStdString();
    EXPECT_EQ(window->Image1Picture().Image(), before);
    EXPECT_FALSE(window->Post->isEnabled());

    choose(dictionaries / "red.bmp");
    QTest::mouseDClick(window->Image1, Qt::LeftButton);
    EXPECT_EQ(window->Image1Picture().Image().pixelColor(5, 5), QColor(200, 0, 0));
    ASSERT_TRUE(window->Post->isEnabled());
    window->Post->click();
    QtPicture saved;
    saved.LoadFromFile(dictionaries / "English.bmp");
    EXPECT_EQ(saved.Image().pixelColor(5, 5), QColor(200, 0, 0));
}

TEST_F(MainWindowTest, FailingWriteIsReportedAndKeepsTheEdit) {
    WriteSampleFolder();
    StartWindow();
    // The dictionary becomes a folder: no write can replace it, not even as root.
    fs::remove(dictionaries / "English.Lng");
    fs::create_directory(dictionaries / "English.Lng");
    TypeIntoEdit1("changed");
    window->Post->click();
    // The message names the reason in brackets, so no full stop is added after it.
    const QString file = QString::fromStdString((dictionaries / "English.Lng").string());
    EXPECT_EQ(errors, QStringList{"Unable to write to " + file + " (the file cannot be read)"});
    EXPECT_EQ(window->Edit1->text(), "changed");
    EXPECT_TRUE(window->Post->isEnabled());
    EXPECT_FALSE(fs::exists(dictionaries / "English.bmp"));
}

TEST_F(MainWindowTest, TextOutsideTheCodePageConvertsTheDictionaryAndSaysSoOnce) {
    WriteSampleFolder();
    StartWindow();
    TypeIntoEdit1(QString::fromUtf8("é"));
    window->Post->click();
    // The code page holds it: the file stays Windows-1252.
    EXPECT_EQ(tavrel::test::ReadFileBytes(dictionaries / "English.Lng").find("=\xE9\r\n") !=
                  std::string::npos,
              true);
    EXPECT_TRUE(window->findChildren<QMessageBox*>("ConversionNotice").isEmpty());

    TypeIntoEdit1(QString::fromUtf8("Открыть"));
    window->Post->click();
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(tavrel::test::ReadFileBytes(dictionaries / "English.Lng").rfind("\xEF\xBB\xBF", 0),
              0u);
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Caption", "Open"), "Открыть");
    EXPECT_EQ(window->Edit1->text(), QString::fromUtf8("Открыть"));
    const auto notices = window->findChildren<QMessageBox*>("ConversionNotice");
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0]->text().contains("English.Lng")) << notices[0]->text().toStdString();
    notices[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Once is enough: the file is UTF-8 now, and further saves say nothing.
    TypeIntoEdit1(QString::fromUtf8("日本語"));
    window->Post->click();
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Caption", "Open"), "日本語");
    EXPECT_TRUE(window->findChildren<QMessageBox*>("ConversionNotice").isEmpty());
}

TEST_F(MainWindowTest, ExitClosesTheWindow) {
    StartWindow();
    window->Exit1->trigger();
    EXPECT_FALSE(window->isVisible());
}

// Keys as the keyboard sends them to the active window, shortcuts included.
void PressShortcut(QWidget& window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    PressOnKeyboard(key, modifiers);
}

TEST_F(MainWindowTest, KeyboardSavesAndGoesToTheNextUntranslatedEntry) {
    WriteSampleFolder("English");
    StartWindow();
    ASSERT_EQ(window->ListBox1->currentItem()->text(), "Open");
    PressShortcut(*window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(tavrel::test::ReadFileBytes(dictionaries / "English.Lng").find("Opened"),
              std::string::npos)
        << "Ctrl+S without an edit saves nothing";
    TypeIntoEdit1("Opened");
    PressShortcut(*window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Caption", "Open"), "Opened");
    EXPECT_FALSE(window->Post->isEnabled());

    // Ctrl+Enter saves, then goes on to the next entry still untranslated (Hint/Open and
    // Text/Lines are translated); the list without lines is ready for its first line.
    TypeIntoEdit1("Opened!");
    PressShortcut(*window, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Caption", "Open"), "Opened!");
    EXPECT_EQ(window->ListBox1->currentItem()->text(), "Save");
    EXPECT_EQ(window->Edit1->text(), "Save");
    TypeIntoEdit1("Stored");
    PressShortcut(*window, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Caption", "Save"), "Stored");
    EXPECT_EQ(window->ComboBox1->currentText(), "Text");
    EXPECT_EQ(window->ListBox1->currentItem()->text(), "Blank");
    EXPECT_EQ(window->Edit1->text(), "");
    EXPECT_EQ(QApplication::focusWidget(), window->Edit1);
    TypeIntoEdit1("first");
    PressShortcut(*window, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(Read(dictionaries / "English.Lng", "Text", "Blank"), "first");
    // Nothing is left: the view stays where it is.
    EXPECT_EQ(window->ListBox1->currentItem()->text(), "Blank");
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(MainWindowTest, LeavingAnEditedValueAsksWhetherToSaveIt) {
    struct Case {
        const char* leaveBy;
        QMessageBox::StandardButton answer;
        const char* stored;       // Caption/Open of French afterwards
        const char* shownSection; // where the view is afterwards
        const char* shownKey;
        const char* shownValue;
        const char* language;
    };
    const Case cases[] = {
        {"key", QMessageBox::Save, "Ouvrir!", "Caption", "Save", "Enregistrer", "French"},
        {"key", QMessageBox::Discard, "Ouvrir", "Caption", "Save", "Enregistrer", "French"},
        {"key", QMessageBox::Cancel, "Ouvrir", "Caption", "Open", "Ouvrir!", "French"},
        {"section", QMessageBox::Save, "Ouvrir!", "Hint", "Open", "Ouvrir", "French"},
        {"section", QMessageBox::Cancel, "Ouvrir", "Caption", "Open", "Ouvrir!", "French"},
        {"language", QMessageBox::Save, "Ouvrir!", "Caption", "Open", "Open", "English"},
        {"language", QMessageBox::Discard, "Ouvrir", "Caption", "Open", "Open", "English"},
        {"language", QMessageBox::Cancel, "Ouvrir", "Caption", "Open", "Ouvrir!", "French"},
        {"window", QMessageBox::Cancel, "Ouvrir", "Caption", "Open", "Ouvrir!", "French"},
        {"window", QMessageBox::Save, "Ouvrir!", "Caption", "Open", "Ouvrir!", "French"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.leaveBy) + " " + std::to_string(c.answer));
        window.reset();
        WriteSampleFolder("French");
        StartWindow();
        TypeIntoEdit1("Ouvrir!");
        QString question;
        const auto asked = OnNextModal<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            EXPECT_EQ(box->objectName(), "SaveQuestion");
            EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()),
                      box->button(QMessageBox::Save));
            box->button(c.answer)->click();
        });
        const std::string by = c.leaveBy;
        if (by == "key")
            ClickRow(*window->ListBox1, 1);
        else if (by == "section")
            ChooseSection("Hint");
        else if (by == "language")
            ChooseLanguage("English");
        else
            window->close();
        EXPECT_TRUE(*asked);
        EXPECT_EQ(question, "\"Open\" in section \"Caption\" was changed. Save the change?");
        EXPECT_EQ(Read(dictionaries / "French.Lng", "Caption", "Open"), c.stored);
        EXPECT_EQ(window->Label3->text(), c.language);
        EXPECT_EQ(window->ComboBox1->currentText(), c.shownSection);
        EXPECT_EQ(window->ListBox1->currentItem()->text(), c.shownKey);
        EXPECT_EQ(window->Edit1->text(), c.shownValue);
        EXPECT_EQ(window->Post->isEnabled(), c.answer == QMessageBox::Cancel);
        EXPECT_EQ(window->isVisible(), by != "window" || c.answer == QMessageBox::Cancel);
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }

    // A line of a list: the edited line is saved into the list it came from.
    window.reset();
    WriteSampleFolder("French");
    StartWindow();
    ChooseSection("Text");
    TypeIntoEdit1("x");
    const auto saved = OnNextModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->text(), "Line 1 of \"Lines\" in section \"Text\" was changed. Save the "
                               "change?");
        box->button(QMessageBox::Save)->click();
    });
    ClickRow(*window->ListBox2, 1);
    EXPECT_TRUE(*saved);
    EXPECT_EQ(Read(dictionaries / "French.Lng", "Text", "Lines"), "x,c");
    EXPECT_EQ(window->Edit1->text(), "c");
    // Typing back what was shown is no change: nothing is asked.
    TypeIntoEdit1("c");
    ClickRow(*window->ListBox2, 0);
    EXPECT_EQ(window->Edit1->text(), "x");
}

TEST(EditorIconTest, TheProgramCarriesItsIconForDesktopsWithoutIt) {
    // Drawn by Qt's SVG plugin from the copy inside the program, as the window uses it.
    const QImage icon = QIcon(":/icons/org.tavrel.lngedit.svg").pixmap(64, 64).toImage();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.width(), 64);
    EXPECT_GT(qAlpha(icon.pixel(32, 32)), 0) << "the icon is drawn, not empty";
}

} // namespace
} // namespace tavrel::editor::test

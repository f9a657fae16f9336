#include "EditorArtwork.h"
#include "EditorTestSupport.h"
#include "FFolders.h"
#include "FNewKey.h"
#include "FNewLangNameDialog.h"
#include "tavrel/qt/QtPicture.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>

namespace tavrel::editor::test {
namespace {

using DialogsTest = EditorFixture;

// Shows the dialog modally, lets `act` work on it from inside its loop, returns the result.
template <class Dialog> int RunDialog(Dialog& dialog, std::function<void(Dialog*)> act) {
    const auto ran = OnNextModal<Dialog>(std::move(act));
    const int result = dialog.exec();
    EXPECT_TRUE(*ran);
    return result;
}

void ExpectFixedFrame(const QDialog& dialog, const QString& caption, QSize client) {
    EXPECT_EQ(dialog.windowTitle(), caption);
    EXPECT_EQ(dialog.size(), client);
    EXPECT_EQ(dialog.minimumSize(), client);
    EXPECT_EQ(dialog.maximumSize(), client);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint);
}

TEST_F(DialogsTest, NameDialogsCloseWithEnterAsOkAndEscapeAsCancel) {
    struct Case {
        Qt::Key key;
        int result;
    };
    for (const Case c :
         {Case{Qt::Key_Return, QDialog::Accepted}, Case{Qt::Key_Escape, QDialog::Rejected}}) {
        TNewKey key;
        ExpectFixedFrame(key, "Insert New Key", {214, 80});
        EXPECT_TRUE(key.Button1->isDefault());
        EXPECT_EQ(RunDialog<TNewKey>(key,
                                     [&](TNewKey* d) {
                                         EXPECT_EQ(FocusAfterActivation(d->Edit1), d->Edit1);
                                         QTest::keyClicks(d->Edit1, "Name");
                                         QTest::keyClick(d->Edit1, c.key);
                                     }),
                  c.result);
        EXPECT_EQ(key.Edit1->text(), "Name");

        TNewLangNameDialog language;
        ExpectFixedFrame(language, "Define New Language Name", {351, 85});
        EXPECT_EQ(RunDialog<TNewLangNameDialog>(language,
                                                [&](TNewLangNameDialog* d) {
                                                    EXPECT_EQ(FocusAfterActivation(d->LangName),
                                                              d->LangName);
                                                    QTest::keyClick(d->LangName, c.key);
                                                }),
                  c.result);
        EXPECT_EQ(language.Picture().Image(), DefaultFlagsImage());
    }
}

TEST_F(DialogsTest, NewLanguagePictureIsReplacedOnlyByALoadableBitmap) {
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(QColor(0, 160, 0));
    QtPicture(green).SaveToFile(dictionaries / "green.bmp");
    tavrel::test::WriteFileBytes(dictionaries / "broken.bmp", "BM");
    TNewLangNameDialog dialog;
    const auto pick = [&](const char* name) {
        OnNextModal<QFileDialog>(
            [&, name](QFileDialog* files) { TypeFileName(*files, dictionaries / name); });
        QTest::mouseDClick(dialog.Image1, Qt::LeftButton);
    };
    const int result = RunDialog<TNewLangNameDialog>(dialog, [&](TNewLangNameDialog* d) {
        pick("broken.bmp");
        EXPECT_EQ(errors.size(), 1);
        EXPECT_EQ(d->Picture().Image(), DefaultFlagsImage());
        EXPECT_TRUE(d->isVisible()) << "the dialog stays open";
        pick("green.bmp");
        EXPECT_EQ(d->Picture().Image().pixelColor(4, 4), QColor(0, 160, 0));
        d->Button1->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.Picture().Width(), 8);
}

// How the picture dialog is left while its name field's completion list is open.
enum class Leave { EnterKey, EscapeKey, OpenButton, CancelButton };

// Answers the next picture dialog: types the path of `file` into its name field, then
// leaves the way `leave` says.
void LeavePictureDialog(const fs::path& file, Leave leave) {
    OnNextModal<QFileDialog>([file, leave](QFileDialog* files) {
        TypeFileNameWithCompletion(*files, file);
        auto* name = files->findChild<QLineEdit*>("fileNameEdit");
        const auto* buttons = files->findChild<QDialogButtonBox*>("buttonBox");
        if (leave == Leave::EnterKey || leave == Leave::EscapeKey)
            QTest::keyClick(name, leave == Leave::EnterKey ? Qt::Key_Return : Qt::Key_Escape);
        else
            QTest::mouseClick(buttons->button(leave == Leave::OpenButton
                                                  ? QDialogButtonBox::Open
                                                  : QDialogButtonBox::Cancel),
                              Qt::LeftButton);
        if (files->isVisible()) {
            ADD_FAILURE() << "the picture dialog stays open";
            files->reject();
        }
    });
}

TEST_F(DialogsTest, KeysReachTheOpenerOfThePictureDialogHoweverItCloses) {
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(QColor(0, 160, 0));
    QtPicture(green).SaveToFile(dictionaries / "green.bmp");
    WriteSampleFolder();
    StartWindow();
    struct Case {
        Leave leave;
        bool chosen;
        Qt::Key closing;
        int result;
    };
    for (const Case c : {Case{Leave::EnterKey, true, Qt::Key_Return, QDialog::Accepted},
                         Case{Leave::EscapeKey, false, Qt::Key_Escape, QDialog::Rejected},
                         Case{Leave::OpenButton, true, Qt::Key_Escape, QDialog::Rejected},
                         Case{Leave::CancelButton, false, Qt::Key_Return, QDialog::Accepted}}) {
        SCOPED_TRACE(static_cast<int>(c.leave));
        window->activateWindow();
        ClickRow(*window->ListBox1, 0);
        ASSERT_EQ(FocusAfterActivation(window->Edit1), window->Edit1);
        LeavePictureDialog(dictionaries / "green.bmp", c.leave);
        QTest::mouseDClick(window->Image1, Qt::LeftButton);
        EXPECT_EQ(FocusAfterActivation(window->Edit1), window->Edit1);
        TypeOnKeyboard("xy");
        EXPECT_EQ(window->Edit1->text(), "xy") << "the value field keeps its first key";

        TNewLangNameDialog language;
        const int result = RunDialog<TNewLangNameDialog>(language, [&](TNewLangNameDialog* d) {
            EXPECT_EQ(FocusAfterActivation(d->LangName), d->LangName);
            LeavePictureDialog(dictionaries / "green.bmp", c.leave);
            QTest::mouseDClick(d->Image1, Qt::LeftButton);
            EXPECT_EQ(FocusAfterActivation(d->LangName), d->LangName);
            EXPECT_EQ(QApplication::activeWindow(), d);
            TypeOnKeyboard("de");
            PressOnKeyboard(c.closing);
            if (!QTest::qWaitFor([d] { return !d->isVisible(); }, 1000))
                d->done(-1);
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(language.LangName->text(), "de");
        EXPECT_EQ(language.Picture().Image() != DefaultFlagsImage(), c.chosen);
    }
}

TEST_F(DialogsTest, FolderTreeShowsFoldersBelowHomeWithHomeSelected) {
    const QString home = QDir::homePath();
    ASSERT_TRUE(QDir().mkpath(home + "/Alpha/Inner"));
    tavrel::test::WriteFileBytes(fs::path(home.toStdString()) / "file.txt", "x");
    TFolders dialog;
    ExpectFixedFrame(dialog, "Select a Folder", {349, 276});
    EXPECT_EQ(dialog.PathList->indentation(), 19);
    // Persistent: the tree's rows move while the folders are read in the background.
    const QPersistentModelIndex root = dialog.PathList->RootItem();
    const QAbstractItemModel& model = *dialog.PathList->model();
    ASSERT_TRUE(root.isValid());
    EXPECT_EQ(model.rowCount(dialog.PathList->rootIndex()), 1)
        << "the home folder is the only root item";
    EXPECT_TRUE(dialog.PathList->isExpanded(root));
    EXPECT_EQ(dialog.SelectedPath(), home);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dialog.PathList->IndexOfPath(home + "/Alpha").isValid(); }));
    for (int row = 0; row < model.rowCount(root); ++row)
        EXPECT_NE(model.index(row, 0, root).data().toString(), "file.txt");

    EXPECT_EQ(RunDialog<TFolders>(dialog, [](TFolders* d) { d->Button1->click(); }),
              QDialog::Accepted);
    EXPECT_EQ(dialog.SelectedPath(), home) << "OK right after opening returns the root";
    dialog.PathList->clearSelection();
    EXPECT_EQ(dialog.SelectedPath(), "");
}

} // namespace
} // namespace tavrel::editor::test

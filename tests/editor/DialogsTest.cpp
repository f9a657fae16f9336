#include "EditorArtwork.h"
#include "EditorTestSupport.h"
#include "FFolders.h"
#include "FNewKey.h"
#include "FNewLangNameDialog.h"
#include "tavrel/qt/QtPicture.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
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

// Answers the next picture dialog: types the path of `file`, then, while the name field's
// completion list is open, presses `key` in the field or, without a key, clicks `button`.
void LeavePictureDialog(const fs::path& file, Qt::Key key,
                        QDialogButtonBox::StandardButton button) {
    OnNextModal<QFileDialog>([=](QFileDialog* files) {
        TypeFileNameWithCompletion(*files, file);
        if (key != Qt::Key_unknown)
            QTest::keyClick(files->findChild<QLineEdit*>("fileNameEdit"), key);
        else
            QTest::mouseClick(files->findChild<QDialogButtonBox*>()->button(button),
                              Qt::LeftButton);
        if (files->isVisible()) {
            ADD_FAILURE() << "the picture dialog stays open";
            files->reject();
        }
    });
}

TEST_F(DialogsTest, KeysReachTheOpenerOfThePictureDialogHoweverItCloses) {
    const fs::path green = dictionaries / "green.bmp";
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QtPicture(picture).SaveToFile(green);
    WriteSampleFolder();
    StartWindow();
    struct Case {
        const char* how;
        Qt::Key key;
        QDialogButtonBox::StandardButton button;
        Qt::Key closing; // of the new-language dialog, as Enter accepts and Escape rejects
        int result;
    };
    for (const Case c :
         {Case{"Enter", Qt::Key_Return, {}, Qt::Key_Return, QDialog::Accepted},
          Case{"Escape", Qt::Key_Escape, {}, Qt::Key_Escape, QDialog::Rejected},
          Case{"Open", Qt::Key_unknown, QDialogButtonBox::Open, Qt::Key_Escape, QDialog::Rejected},
          Case{"Cancel", Qt::Key_unknown, QDialogButtonBox::Cancel, Qt::Key_Return,
               QDialog::Accepted}}) {
        SCOPED_TRACE(c.how);
        const bool chosen = c.key == Qt::Key_Return || c.button == QDialogButtonBox::Open;
        window->activateWindow();
        ClickRow(*window->ListBox1, 0);
        ASSERT_EQ(FocusAfterActivation(window->Edit1), window->Edit1);
        LeavePictureDialog(green, c.key, c.button);
        QTest::mouseDClick(window->Image1, Qt::LeftButton);
        EXPECT_EQ(FocusAfterActivation(window->Edit1), window->Edit1);
        TypeOnKeyboard("xy");
        EXPECT_EQ(window->Edit1->text(), "xy") << "the value field keeps its first key";

        TNewLangNameDialog language;
        EXPECT_EQ(RunDialog<TNewLangNameDialog>(language,
                                                [&](TNewLangNameDialog* d) {
                                                    LeavePictureDialog(green, c.key, c.button);
                                                    QTest::mouseDClick(d->Image1, Qt::LeftButton);
                                                    EXPECT_EQ(FocusAfterActivation(d->LangName),
                                                              d->LangName);
                                                    EXPECT_EQ(QApplication::activeWindow(), d);
                                                    TypeOnKeyboard("de");
                                                    PressOnKeyboard(c.closing);
                                                    if (d->isVisible())
                                                        d->done(-1);
                                                }),
                  c.result);
        EXPECT_EQ(language.LangName->text(), "de");
        EXPECT_EQ(language.Picture().Image() != DefaultFlagsImage(), chosen);
    }
}

TEST_F(DialogsTest, FolderTreeShowsHomeThenTheFileSystemWithHomeSelected) {
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
    ASSERT_EQ(model.rowCount(dialog.PathList->rootIndex()), 2);
    EXPECT_EQ(root.row(), 0) << "home comes first";
    const QModelIndex system = model.index(1, 0, dialog.PathList->rootIndex());
    EXPECT_EQ(system.data().toString(), "/");
    EXPECT_FALSE(dialog.PathList->isExpanded(system));
    const auto image = [](const QVariant& icon) {
        return icon.value<QIcon>().pixmap(16).toImage();
    };
    const QFileIconProvider icons;
    EXPECT_EQ(image(root.data(Qt::DecorationRole)), image(icons.icon(QFileInfo(home))));
    EXPECT_EQ(image(system.data(Qt::DecorationRole)), image(icons.icon(QFileIconProvider::Drive)));
    EXPECT_NE(image(system.data(Qt::DecorationRole)), image(icons.icon(QFileIconProvider::Folder)));
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

    // Folders outside home are reached through the file system item, and so is / itself.
    const QString outside = QString::fromStdString(dictionaries.Path().string());
    ASSERT_FALSE(outside.startsWith(home + '/'));
    for (const QString& path : {outside, QString("/")}) {
        const QModelIndex item = dialog.PathList->IndexOfPath(path);
        ASSERT_TRUE(item.isValid()) << path.toStdString();
        QModelIndex top = item;
        while (top.parent().isValid())
            top = top.parent();
        EXPECT_EQ(top, system);
        dialog.PathList->scrollTo(item);
        const QRect rect = dialog.PathList->visualRect(item);
        QTest::mouseClick(dialog.PathList->viewport(), Qt::RightButton, {}, rect.center());
        EXPECT_EQ(dialog.SelectedPath(), path);
    }
    EXPECT_FALSE(dialog.PathList->IndexOfPath(outside + "/missing").isValid());
}

} // namespace
} // namespace tavrel::editor::test

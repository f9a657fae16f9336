#include "EditorTestSupport.h"

#include "EditorApplication.h"
#include "ErrorBox.h"
#include "tavrel/qt/QtPicture.h"
#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"

#include <cstdlib>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace tavrel::editor::test {

namespace {

// One application object for the whole program, with HOME pointed at a throw-away folder
// so that nothing (the folder dialog included) sees the real home.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        home_ = std::make_unique<tavrel::test::TempDir>();
        if (const char* old = std::getenv("HOME"))
            oldHome_ = old;
        ::setenv("HOME", home_->Path().c_str(), 1);
        application_ = std::make_unique<TEditorApplication>(argc_, argv_);
    }
    void TearDown() override {
        application_.reset();
        ::setenv("HOME", oldHome_.c_str(), 1);
        home_.reset();
    }

private:
    static inline char name_[] = "editor_tests";
    static inline char* argv_[] = {name_, nullptr};
    static inline int argc_ = 1;
    std::unique_ptr<tavrel::test::TempDir> home_;
    std::string oldHome_;
    std::unique_ptr<TEditorApplication> application_;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace

QObject& ModalPollers() {
    static QObject pollers;
    return pollers;
}

void TypeFileName(QFileDialog& dialog, const fs::path& file) {
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    // As a user types into the field: the dialog drops an earlier selection only while the
    // field has the focus, which a busy machine may not have given it yet.
    ASSERT_EQ(FocusAfterActivation(name), name);
    name->setText(QString::fromStdString(file.string()));
    QMetaObject::invokeMethod(&dialog, "accept");
}

void TypeFileNameWithCompletion(QFileDialog& dialog, const fs::path& file) {
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    ASSERT_EQ(FocusAfterActivation(name), name);
    const QString folder = QString::fromStdString(file.parent_path().string());
    QTest::keyClicks(name, folder + '/');
    // The list offers names once the folder has been read, which happens in the background.
    const auto* files = qobject_cast<const QFileSystemModel*>(name->completer()->model());
    ASSERT_NE(files, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return files->rowCount(files->index(folder)) > 0; }));
    QTest::keyClicks(name, QString::fromStdString(file.filename().string()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return name->completer()->popup()->isVisible(); }));
}

void TypeOnKeyboard(const QString& text) {
    for (const QChar character : text)
        QTest::keyClick(QGuiApplication::focusWindow(), character.toLatin1());
}

void PressOnKeyboard(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(QGuiApplication::focusWindow(), key, modifiers);
}

std::shared_ptr<bool> AnswerConfirmation(bool yes, QString* text) {
    return OnNextModal<QMessageBox>([yes, text](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "Confirm");
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()),
                  box->button(QMessageBox::Yes));
        EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::No));
        if (text != nullptr)
            *text = box->text();
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
}

void EditorFixture::SetUp() {
    SetErrorPresenter([this](const QString& caption, const QString& text) {
        errorCaptions << caption;
        errors << text;
    });
}

void EditorFixture::TearDown() {
    window.reset();
    SetErrorPresenter({});
    qDeleteAll(ModalPollers().children());
}

TLocalizeEnvironment EditorFixture::Environment() const {
    TLocalizeEnvironment environment;
    environment.SettingsFile = folders.SettingsFile();
    environment.DefaultFolder = folders.DataHome() / "Tavrel" / "Localize";
    environment.PictureFactory = QtPictureFactory();
    return environment;
}

void EditorFixture::SetSetting(const std::string& section, const std::string& name,
                               const std::string& value) {
    SettingsStore store(folders.SettingsFile());
    ASSERT_TRUE(store.OpenKey());
    store.WriteString(section, name, value);
}

std::string EditorFixture::Setting(const std::string& section, const std::string& name) const {
    SettingsStore store(folders.SettingsFile());
    if (!store.OpenKey())
        return "<no store>";
    return store.ReadString(section, name, "<absent>");
}

fs::path EditorFixture::WriteDictionary(const std::string& file, const std::string& language,
                                        const std::string& body) const {
    const fs::path path = dictionaries / file;
    tavrel::test::WriteFileBytes(path, "[Definitions]\r\nOvkLanguage=" + language + "\r\n" + body);
    return path;
}

void EditorFixture::WriteSampleFolder(const std::string& current) {
    const std::string text = "[Text]\r\nLines=\"a b\",c\r\nBlank=\r\n";
    WriteDictionary("OvkDefault.Lng", "Default",
                    "[Caption]\r\nOpen=Open\r\nSave=Save\r\n[Hint]\r\nOpen=Open a file\r\n" + text);
    WriteDictionary("English.Lng", "English",
                    "[Caption]\r\nOpen=Open\r\nSave=Save\r\n[Hint]\r\nOpen=Open a file\r\n" + text);
    WriteDictionary("French.Lng", "French",
                    "[Caption]\r\nOpen=Ouvrir\r\nSave=Enregistrer\r\n[Hint]\r\nOpen=Ouvrir\r\n" +
                        text);
    SetSetting("Others", "DicPath", dictionaries.Path().string());
    SetSetting("Others", "ActualLanguage", current);
}

void EditorFixture::StartWindow() {
    window = std::make_unique<TFMain>(Environment());
    window->show();
    QApplication::processEvents();
}

void EditorFixture::ChooseLanguage(const QString& name) {
    for (QAction* action : window->EditLanguages->actions()) {
        if (action->text() == name) {
            action->trigger();
            return;
        }
    }
    ADD_FAILURE() << "no language menu item " << name.toStdString();
}

void EditorFixture::ChooseSection(const QString& name) {
    const int row = window->ComboBox1->findText(name);
    ASSERT_GE(row, 0) << name.toStdString();
    window->ComboBox1->setCurrentIndex(row);
    emit window->ComboBox1->activated(row);
}

void EditorFixture::ClickRow(QListWidget& box, int row) {
    const QRect rect = box.visualItemRect(box.item(row));
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, rect.center());
}

void EditorFixture::TypeIntoEdit1(const QString& text) {
    window->Edit1->selectAll();
    // Key events carrying the text, so that characters beyond ASCII can be typed too.
    for (const QChar character : text) {
        const auto key = static_cast<int>(character.toUpper().unicode());
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(character));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(character));
        QApplication::sendEvent(window->Edit1, &press);
        QApplication::sendEvent(window->Edit1, &release);
    }
}

QStringList EditorFixture::Rows(const QListWidget& box) {
    QStringList rows;
    for (int i = 0; i < box.count(); ++i)
        rows << box.item(i)->text();
    return rows;
}

QStringList EditorFixture::Rows(const QComboBox& box) {
    QStringList rows;
    for (int i = 0; i < box.count(); ++i)
        rows << box.itemText(i);
    return rows;
}

QStringList EditorFixture::Texts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << action->text();
    return texts;
}

std::string EditorFixture::Read(const fs::path& file, const std::string& section,
                                const std::string& key) {
    const ProfileFile profile(file);
    return profile.ReadString(section, key, "<absent>");
}

QWidget* FocusAfterActivation(QWidget* expected) {
    QElapsedTimer clock;
    clock.start();
    while (QApplication::focusWidget() != expected && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return QApplication::focusWidget();
}

} // namespace tavrel::editor::test

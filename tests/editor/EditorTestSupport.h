#pragma once

#include "EditorWidgets.h"
#include "FMainEditor.h"
#include "TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <string>

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tavrel::editor::test {

namespace fs = std::filesystem;

// Runs `action` on the next modal widget of class T once it is shown, from inside its own
// event loop, by polling the active modal widget. The returned flag tells whether it ran;
// a poller that finds nothing gives up after ten seconds or at the end of the test.
// Owner of the pollers that have not run yet; the fixture drops them after every test.
QObject& ModalPollers();

template <class T> std::shared_ptr<bool> OnNextModal(std::function<void(T*)> action) {
    auto ran = std::make_shared<bool>(false);
    auto* timer = new QTimer(&ModalPollers());
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ran, ticks, action] {
        auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
        if (widget != nullptr && widget->isVisible()) {
            timer->stop();
            timer->deleteLater();
            *ran = true;
            action(widget);
        } else if (++*ticks > 2000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(5);
    return ran;
}

// Chooses `file` in an open-picture dialog as if typed into its name field, and opens it.
void TypeFileName(QFileDialog& dialog, const fs::path& file);

// Types the path of `file` into an open-picture dialog's name field key by key, the folder
// first and then the name, so that the field's completion list is open when typing ends.
void TypeFileNameWithCompletion(QFileDialog& dialog, const fs::path& file);

// Keys as the keyboard delivers them: to whichever window has the focus.
void TypeOnKeyboard(const QString& text);
void PressOnKeyboard(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// The widget that has the keyboard focus once a just-shown window got activated (which
// takes some event processing on a busy machine); nullptr after two seconds without focus.
QWidget* FocusAfterActivation(QWidget* expected);

// Answers the next confirmation box with Yes or No and returns its text through `text`.
std::shared_ptr<bool> AnswerConfirmation(bool yes, QString* text);

// A window over its own settings store and dictionary folder; error boxes are collected
// instead of shown.
class EditorFixture : public ::testing::Test {
protected:
    tavrel::test::ScopedUserFolders folders;
    tavrel::test::TempDir dictionaries;
    QStringList errors;
    QStringList errorCaptions;
    std::unique_ptr<TFMain> window;

    void SetUp() override;
    void TearDown() override;

    TLocalizeEnvironment Environment() const;
    void SetSetting(const std::string& section, const std::string& name, const std::string& value);
    std::string Setting(const std::string& section, const std::string& name) const;
    fs::path WriteDictionary(const std::string& file, const std::string& language,
                             const std::string& body) const;
    // Default, English and French dictionaries, each with the sections Caption, Hint and
    // Text, in a folder the settings store names; `current` is remembered as current.
    void WriteSampleFolder(const std::string& current = "English");
    void StartWindow();

    // What the user does.
    void ChooseLanguage(const QString& name);
    void ChooseSection(const QString& name);
    void ClickRow(QListWidget& box, int row);
    void TypeIntoEdit1(const QString& text);

    static QStringList Rows(const QListWidget& box);
    static QStringList Rows(const QComboBox& box);
    static QStringList Texts(const QMenu& menu);
    static std::string Read(const fs::path& file, const std::string& section,
                            const std::string& key);
};

} // namespace tavrel::editor::test

#pragma once

#include "tavrel/qt/QtBridge.h"
#include "tavrel/qt/QtMessages.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QMessageBox;
class QPlainTextEdit;
class QStandardItemModel;
class QTreeWidget;

namespace tavrel {
class TOvkLocalizeServer;
}

namespace phrasebook {

// The phrasebook's main window. Its texts are written in English, as plain Qt code; the
// window registers itself with the localization server, which switches every text when
// a language is chosen in the "Language" menu.
class PhrasebookWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit PhrasebookWindow(tavrel::TOvkLocalizeServer& server);

    tavrel::QtLocalizeClient* Client() const { return client_.data(); }
    QMenu* LanguageMenu() const { return languageMenu_; }
    QAction* CollectTextsAction() const { return collectTexts_; }

    // Shows the About box (not modal), built on first use and translated then.
    QDialog* ShowAbout();
    // Adds the texts of this window to every dictionary, as they read untranslated.
    void CollectTexts();
    // Copies the phrase chosen in the list into the collection.
    void AddPhrase();
    void RemovePhrase();

    // The travel journal: a text file the user opens, writes and saves. Failures throw
    // std::runtime_error with a message for the user.
    void OpenJournal(const QString& path);
    void SaveJournal();
    QPlainTextEdit* Journal() const { return journal_; }
    // Where the journal is kept, in a message box made on demand (not modal).
    QMessageBox* ShowJournalInfo();
    // A word the user learnt, with its meaning, in the vocabulary table.
    void AddWord(const QString& word, const QString& meaning);
    QStandardItemModel* Vocabulary() const { return vocabulary_; }
    tavrel::QtMessages& Messages() { return messages_; }

private:
    void ChooseAndOpenJournal();
    void ShowCollectionSize();
    void ShowError(const std::exception& error);
    template <class Handler> void Guarded(Handler handler);

    tavrel::TOvkLocalizeServer& server_;
    tavrel::QtMessages messages_;
    QPointer<tavrel::QtLocalizeClient> client_;
    QMenu* languageMenu_ = nullptr;
    QAction* collectTexts_ = nullptr;
    QComboBox* categories_ = nullptr;
    QListWidget* phrases_ = nullptr;
    QTreeWidget* collection_ = nullptr;
    QDialog* about_ = nullptr;
    QPlainTextEdit* journal_ = nullptr;
    QLabel* collectionSize_ = nullptr;
    QStandardItemModel* vocabulary_ = nullptr;
    QMessageBox* journalInfo_ = nullptr;
};

} // namespace phrasebook

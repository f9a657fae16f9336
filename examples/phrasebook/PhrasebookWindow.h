#pragma once

#include "tavrel/qt/QtBridge.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QComboBox;
class QDialog;
class QListWidget;
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

private:
    // A message of this program in the current language (dictionary section Messages).
    QString Message(const char* english) const;
    void ShowError(const std::exception& error);
    template <class Handler> void Guarded(Handler handler);

    tavrel::TOvkLocalizeServer& server_;
    QPointer<tavrel::QtLocalizeClient> client_;
    QMenu* languageMenu_ = nullptr;
    QAction* collectTexts_ = nullptr;
    QComboBox* categories_ = nullptr;
    QListWidget* phrases_ = nullptr;
    QTreeWidget* collection_ = nullptr;
    QDialog* about_ = nullptr;
};

} // namespace phrasebook

#pragma once

#include "TranslationTableModel.h"

#include <functional>
#include <optional>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QTableView>
#include <string>

namespace tavrel::editor {

class TEntryWriter;
class TTranslationDelegate;

// The translator's table: every entry of the current language with the source text (the
// key), a reference language's text, the translation, its state, notes and what the
// checks find. Edits go through the editor's entry writer, so they are written by the
// server's operations and can be undone; the main window follows them.
class TTranslationTable : public QMainWindow {
    Q_OBJECT
public:
    TTranslationTable(TEntryWriter& writer, QWidget* parent);

    QTableView* Table;
    QComboBox* StateFilter;
    QLineEdit* FindEdit;
    QComboBox* ReferenceLanguage;
    QLabel* Progress;
    QProgressBar* ProgressBar;
    QAction* UndoAction;
    QAction* RedoAction;
    QAction* FindAction;
    QAction* ReplaceAction;
    QAction* DoneAndNextAction;
    QAction* MarkDoneAction;
    QAction* MarkNeedsReviewAction;
    QAction* NextUntranslatedAction;
    QAction* EditNoteAction;
    QAction* CloseAction;

    TTranslationTableModel& Model() { return *model_; }
    TTranslationFilter& Filter() { return *filter_; }

    // Rereads the language now; ScheduleReload once the current event is done (changes
    // come in bursts: a save reloads the main window's view several times).
    void Reload();
    void ScheduleReload();

    // The commands; each lets failures through to its caller.
    // Stores `typed` (the open editor's text) as the translation, marks the entry done and
    // goes to the next untranslated entry.
    void DoneAndNext(const std::optional<QString>& typed);
    void MarkSelected(TEntryState state);
    void GoToNextUntranslated();
    void EditNote();
    // Replaces `find` in every translation of the language, as one step to undo; returns
    // the number of entries changed.
    int ReplaceInTranslations(const QString& find, const QString& replacement,
                              Qt::CaseSensitivity sensitivity);
    void ShowReplaceDialog();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateActions();
    void CreateWidgets();
    void FillReferenceLanguages();
    void ShowPlaceholderLegibly();
    void ShowProgress();
    void Edit(int row, int column, const QString& text);
    // The identity of a row: section, key, line.
    struct TRowId {
        std::string section, key;
        int line = -1;
    };
    std::optional<TRowId> CurrentRowId() const;
    std::optional<TRowId> NextUntranslatedAfter(int viewRow) const;
    void SelectRow(const TRowId& id);
    // Opens the editor of a row's translation again with what the user typed, after
    // storing it failed.
    void EditAgain(int row, const QString& text);
    // Runs changes of several entries as one step to undo, then shows them.
    void InOneStep(const QString& description, const std::function<void()>& changes);
    // Runs a change of what is shown, staying on the current row while it is shown.
    void KeepingCurrentRow(const std::function<void()>& change);

    TEntryWriter& writer_;
    TTranslationTableModel* model_;
    TTranslationFilter* filter_;
    TTranslationDelegate* delegate_;
    bool reloadScheduled_ = false;
};

} // namespace tavrel::editor

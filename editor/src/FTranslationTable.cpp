#include "FTranslationTable.h"

#include "EntryWriter.h"
#include "ErrorBox.h"
#include "FReplace.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtText.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeySequence>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>
#include <set>

namespace tavrel::editor {

namespace {

constexpr std::string_view kCommaTextSection = "Text";

std::optional<std::string_view> StoredValue(const std::string& value) {
    return value.empty() ? std::nullopt : std::optional<std::string_view>(value);
}

// The entry's value with `text` as its whole value, or as the given line of a list.
std::string WithText(const std::string& value, const std::string& section, int line,
                     const std::string& text) {
    if (section != kCommaTextSection || line < 0)
        return text;
    std::vector<std::string> lines = LinesFromCommaText(value);
    if (static_cast<std::size_t>(line) < lines.size())
        lines[static_cast<std::size_t>(line)] = text;
    else
        lines.push_back(text);
    return CommaTextFromLines(lines);
}

QString Described(const QString& what, const std::string& key) {
    return QStringLiteral("%1 \"%2\"").arg(what, ToQString(key).left(40));
}

} // namespace

// Keeps the open editor at hand, so that Ctrl+Enter can take its text.
class TTranslationDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor_ = qobject_cast<QLineEdit*>(editor);
        return editor;
    }

    void SetEditorText(const QString& text) {
        if (editor_ != nullptr)
            editor_->setText(text);
    }

    // The open editor's text; the editor is closed without storing it.
    std::optional<QString> TakeEditorText() {
        if (editor_ == nullptr || !editor_->isVisible())
            return std::nullopt;
        const QString text = editor_->text();
        QLineEdit* editor = editor_;
        editor_ = nullptr;
        emit const_cast<TTranslationDelegate*>(this)->closeEditor(editor, NoHint);
        return text;
    }

private:
    mutable QPointer<QLineEdit> editor_;
};

TTranslationTable::TTranslationTable(TEntryWriter& writer, QWidget* parent)
    : QMainWindow(parent, Qt::Window), Table(nullptr), StateFilter(nullptr), FindEdit(nullptr),
      ReferenceLanguage(nullptr), Progress(nullptr), ProgressBar(nullptr), UndoAction(nullptr),
      RedoAction(nullptr), FindAction(nullptr), ReplaceAction(nullptr), DoneAndNextAction(nullptr),
      MarkDoneAction(nullptr), MarkNeedsReviewAction(nullptr), NextUntranslatedAction(nullptr),
      EditNoteAction(nullptr), CloseAction(nullptr), writer_(writer),
      model_(new TTranslationTableModel(this)), filter_(new TTranslationFilter(this)),
      delegate_(nullptr) {
    setObjectName(QStringLiteral("TranslationTable"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    filter_->setSourceModel(model_);
    model_->OnEdit = [this](int row, int column, const QString& text) {
        try {
            Edit(row, column, text);
        } catch (...) {
            // The editor is closing: it opens again with the text once it has.
            QTimer::singleShot(0, this, [this, row, text] { EditAgain(row, text); });
            ShowCurrentException();
        }
    };
    CreateWidgets();
    CreateActions();
    // Room for every column at the font's size, within the screen.
    const QSize wanted(Table->fontMetrics().height() * 72, Table->fontMetrics().height() * 36);
    resize(screen() != nullptr ? wanted.boundedTo(screen()->availableSize() * 9 / 10) : wanted);
    Reload();
}

void TTranslationTable::CreateWidgets() {
    auto* client = new QWidget(this);
    setCentralWidget(client);
    auto* layout = new QVBoxLayout(client);
    auto* bar = new QHBoxLayout;
    layout->addLayout(bar);

    StateFilter = new QComboBox(client);
    StateFilter->setObjectName(QStringLiteral("StateFilter"));
    StateFilter->addItems({QStringLiteral("All entries"), QStringLiteral("Untranslated"),
                           QStringLiteral("Needs review"), QStringLiteral("Done"),
                           QStringLiteral("With findings")});
    StateFilter->setToolTip(QStringLiteral("Show entries in this state"));
    FindEdit = new QLineEdit(client);
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    FindEdit->setPlaceholderText(QStringLiteral("Find in keys and translations"));
    FindEdit->setClearButtonEnabled(true);
    ShowPlaceholderLegibly();
    ReferenceLanguage = new QComboBox(client);
    ReferenceLanguage->setObjectName(QStringLiteral("ReferenceLanguage"));
    ReferenceLanguage->setToolTip(QStringLiteral("The language shown beside the translation"));
    auto* referenceLabel = new QLabel(QStringLiteral("&Reference:"), client);
    referenceLabel->setBuddy(ReferenceLanguage);
    bar->addWidget(StateFilter);
    bar->addWidget(FindEdit, 1);
    bar->addWidget(referenceLabel);
    bar->addWidget(ReferenceLanguage);

    Table = new QTableView(client);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setModel(filter_);
    delegate_ = new TTranslationDelegate(Table);
    Table->setItemDelegate(delegate_);
    Table->setSortingEnabled(true);
    filter_->sort(-1); // the dictionary's order until a column is chosen
    Table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    Table->setWordWrap(false);
    Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 8);
    Table->verticalHeader()->hide();
    QHeaderView* header = Table->horizontalHeader();
    header->setStretchLastSection(true);
    // Widths in text heights, so that the check column shows in the first view at any
    // scale.
    const int unit = Table->fontMetrics().height();
    const int widths[] = {5, 10, 12, 12, 7, 8};
    for (int column = 0; column < TTranslationTableModel::CheckColumn; ++column)
        header->resizeSection(column, widths[column] * unit);
    layout->addWidget(Table, 1);

    Progress = new QLabel(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setMaximumWidth(160);
    ProgressBar->setTextVisible(true);
    statusBar()->addPermanentWidget(Progress);
    statusBar()->addPermanentWidget(ProgressBar);

    connect(StateFilter, &QComboBox::currentIndexChanged, this, [this](int index) {
        KeepingCurrentRow([&] { filter_->SetStateFilter(static_cast<TStateFilter>(index)); });
    });
    connect(FindEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        KeepingCurrentRow([&] { filter_->SetFindText(text); });
    });
    // Enter in the find field goes on to the entries found.
    connect(FindEdit, &QLineEdit::returnPressed, Table, qOverload<>(&QWidget::setFocus));
    connect(ReferenceLanguage, &QComboBox::activated, this,
            [this] { RunGuarded([this] { Reload(); }); });
    connect(Table, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() == TTranslationTableModel::NotesColumn)
            RunGuarded([this] { EditNote(); });
    });
}

void TTranslationTable::CreateActions() {
    // The same keys on every desktop.
    QUndoStack& stack = writer_.UndoStack();
    UndoAction = new QAction(QStringLiteral("&Undo"), this);
    UndoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    RedoAction = new QAction(QStringLiteral("&Redo"), this);
    RedoAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(UndoAction, &QAction::triggered, this, [this] { writer_.Undo(); });
    connect(RedoAction, &QAction::triggered, this, [this] { writer_.Redo(); });
    const auto describe = [this, &stack] {
        UndoAction->setEnabled(stack.canUndo());
        UndoAction->setText(stack.canUndo() ? QStringLiteral("&Undo %1").arg(stack.undoText())
                                            : QStringLiteral("&Undo"));
        RedoAction->setEnabled(stack.canRedo());
        RedoAction->setText(stack.canRedo() ? QStringLiteral("&Redo %1").arg(stack.redoText())
                                            : QStringLiteral("&Redo"));
    };
    connect(&stack, &QUndoStack::indexChanged, this, describe);
    describe();
    const auto action = [this](const QString& text, const QKeySequence& key,
                               void (TTranslationTable::*command)()) {
        auto* item = new QAction(text, this);
        item->setShortcut(key);
        connect(item, &QAction::triggered, this,
                [this, command] { RunGuarded([this, command] { (this->*command)(); }); });
        return item;
    };
    FindAction = new QAction(QStringLiteral("&Find"), this);
    FindAction->setShortcut(QKeySequence::Find);
    connect(FindAction, &QAction::triggered, this, [this] {
        FindEdit->setFocus();
        FindEdit->selectAll();
    });
    ReplaceAction =
        action(QStringLiteral("&Replace in Translations..."), QKeySequence(Qt::CTRL | Qt::Key_H),
               &TTranslationTable::ShowReplaceDialog);
    DoneAndNextAction = new QAction(QStringLiteral("Done and &Next Untranslated"), this);
    DoneAndNextAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    connect(DoneAndNextAction, &QAction::triggered, this, [this] {
        const int row = filter_->mapToSource(Table->currentIndex()).row();
        const std::optional<QString> typed = delegate_->TakeEditorText();
        try {
            DoneAndNext(typed);
        } catch (...) {
            if (typed)
                EditAgain(row, *typed);
            ShowCurrentException();
        }
    });
    MarkDoneAction = new QAction(QStringLiteral("Mark &Done"), this);
    MarkDoneAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(MarkDoneAction, &QAction::triggered, this,
            [this] { RunGuarded([this] { MarkSelected(TEntryState::Done); }); });
    MarkNeedsReviewAction = new QAction(QStringLiteral("Mark Needs &Review"), this);
    MarkNeedsReviewAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(MarkNeedsReviewAction, &QAction::triggered, this,
            [this] { RunGuarded([this] { MarkSelected(TEntryState::NeedsReview); }); });
    NextUntranslatedAction = action(QStringLiteral("Next &Untranslated"), QKeySequence(Qt::Key_F8),
                                    &TTranslationTable::GoToNextUntranslated);
    EditNoteAction = action(QStringLiteral("Translator's &Note..."),
                            QKeySequence(Qt::CTRL | Qt::Key_E), &TTranslationTable::EditNote);
    CloseAction = new QAction(QStringLiteral("&Close"), this);
    CloseAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(CloseAction, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addActions({UndoAction, RedoAction});
    edit->addSeparator();
    edit->addActions({FindAction, ReplaceAction});
    edit->addSeparator();
    edit->addAction(CloseAction);
    QMenu* entry = menuBar()->addMenu(QStringLiteral("E&ntry"));
    entry->addActions({DoneAndNextAction, MarkDoneAction, MarkNeedsReviewAction,
                       NextUntranslatedAction, EditNoteAction});
}

void TTranslationTable::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        ShowPlaceholderLegibly();
}

void TTranslationTable::ShowPlaceholderLegibly() {
    // Some colour schemes give hints a colour close to a dark base; half the text's keeps
    // them readable on any.
    // The window's own text colour: the field's follows it only after this event.
    QColor hint = palette().color(QPalette::Text);
    QPalette palette = FindEdit->palette();
    hint.setAlphaF(0.55f);
    palette.setColor(QPalette::PlaceholderText, hint);
    FindEdit->setPalette(palette);
}

void TTranslationTable::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!Table->currentIndex().isValid())
        RunGuarded([this] { GoToNextUntranslated(); });
    Table->setFocus();
}

void TTranslationTable::ScheduleReload() {
    if (reloadScheduled_)
        return;
    reloadScheduled_ = true;
    // A reload made meanwhile (after the table's own change) makes this one needless.
    QTimer::singleShot(0, this, [this] {
        if (reloadScheduled_)
            RunGuarded([this] { Reload(); });
    });
}

void TTranslationTable::Reload() {
    reloadScheduled_ = false;
    const std::optional<TRowId> current = CurrentRowId();
    FillReferenceLanguages();
    model_->Load(writer_.Server(), FromQString(ReferenceLanguage->currentText()));
    setWindowTitle(QStringLiteral("Translation Table - %1").arg(ToQString(model_->Language())));
    if (current && !CurrentRowId())
        SelectRow(*current);
    ShowProgress();
}

void TTranslationTable::FillReferenceLanguages() {
    const QString chosen = ReferenceLanguage->count() > 0 ? ReferenceLanguage->currentText()
                                                          : ToQString(kDefaultLanguage);
    QStringList names;
    const TLanguageList& languages = writer_.Server().LanguageList();
    for (int i = 0; i < languages.Count(); ++i)
        names << ToQString(languages.Strings(i));
    if (!names.contains(ToQString(kDefaultLanguage)))
        names.prepend(ToQString(kDefaultLanguage));
    QStringList shown;
    for (int i = 0; i < ReferenceLanguage->count(); ++i)
        shown << ReferenceLanguage->itemText(i);
    if (shown == names)
        return;
    ReferenceLanguage->clear();
    ReferenceLanguage->addItems(names);
    const int row = ReferenceLanguage->findText(chosen);
    ReferenceLanguage->setCurrentIndex(row >= 0 ? row : 0);
}

void TTranslationTable::ShowProgress() {
    int entries = 0, done = 0, review = 0;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const TTableRow& r = model_->Row(row);
        if (r.line > 0)
            continue; // a list counts once
        ++entries;
        done += r.state == TEntryState::Done ? 1 : 0;
        review += r.state == TEntryState::NeedsReview ? 1 : 0;
    }
    const double percent = entries == 0 ? 100.0 : 100.0 * done / entries;
    Progress->setText(QStringLiteral("Done %1 of %2 (%3 %) - %4 to review, %5 untranslated")
                          .arg(done)
                          .arg(entries)
                          .arg(percent, 0, 'f', 1)
                          .arg(review)
                          .arg(entries - done - review));
    ProgressBar->setRange(0, std::max(1, entries));
    ProgressBar->setValue(entries == 0 ? 1 : done);
}

void TTranslationTable::EditAgain(int row, const QString& text) {
    const QModelIndex cell =
        filter_->mapFromSource(model_->index(row, TTranslationTableModel::TranslationColumn));
    if (!cell.isValid())
        return;
    Table->setCurrentIndex(cell);
    Table->edit(cell);
    delegate_->SetEditorText(text);
}

void TTranslationTable::KeepingCurrentRow(const std::function<void()>& change) {
    const std::optional<TRowId> current = CurrentRowId();
    change();
    if (current)
        SelectRow(*current);
    if (!Table->currentIndex().isValid() && filter_->rowCount() > 0)
        Table->setCurrentIndex(filter_->index(0, TTranslationTableModel::TranslationColumn));
}

std::optional<TTranslationTable::TRowId> TTranslationTable::CurrentRowId() const {
    const QModelIndex current = filter_->mapToSource(Table->currentIndex());
    if (!current.isValid())
        return std::nullopt;
    const TTableRow& row = model_->Row(current.row());
    return TRowId{row.section, row.key, row.line};
}

void TTranslationTable::SelectRow(const TRowId& id) {
    const int row = model_->Find(id.section, id.key, id.line);
    if (row < 0)
        return;
    const QModelIndex index =
        filter_->mapFromSource(model_->index(row, TTranslationTableModel::TranslationColumn));
    if (!index.isValid())
        return;
    Table->setCurrentIndex(index);
    Table->scrollTo(index);
    // Rows shown again by a filter are laid out later: scroll once they are.
    QTimer::singleShot(0, Table, [table = Table] { table->scrollTo(table->currentIndex()); });
}

std::optional<TTranslationTable::TRowId>
TTranslationTable::NextUntranslatedAfter(int viewRow) const {
    const int rows = filter_->rowCount();
    const std::optional<TRowId> current = CurrentRowId();
    for (int step = 1; step <= rows; ++step) {
        const int row = ((viewRow < 0 ? -1 : viewRow) + step) % rows;
        const TTableRow& r = model_->Row(filter_->mapToSource(filter_->index(row, 0)).row());
        if (r.state != TEntryState::Untranslated)
            continue;
        if (current && r.section == current->section && r.key == current->key)
            continue; // its other lines are the same entry
        return TRowId{r.section, r.key, r.line};
    }
    return std::nullopt;
}

void TTranslationTable::GoToNextUntranslated() {
    const auto next = NextUntranslatedAfter(Table->currentIndex().row());
    if (next)
        SelectRow(*next);
    else if (!Table->currentIndex().isValid() && filter_->rowCount() > 0)
        Table->setCurrentIndex(filter_->index(0, TTranslationTableModel::TranslationColumn));
}

void TTranslationTable::Edit(int row, int column, const QString& text) {
    if (column != TTranslationTableModel::TranslationColumn)
        return;
    const TTableRow r = model_->Row(row);
    TEntrySnapshot after = writer_.Read(r.section, r.key);
    after.value = WithText(after.value, r.section, r.line, FromQString(text));
    // A mark saying "untranslated" no longer holds once there is a translation.
    if (after.notes.state == TEntryState::Untranslated &&
        EntryState(r.key, StoredValue(after.value), {}) != TEntryState::Untranslated)
        after.notes.state.reset();
    writer_.Write(r.section, r.key, after, Described(QStringLiteral("Translate"), r.key));
    Reload();
}

void TTranslationTable::DoneAndNext(const std::optional<QString>& typed) {
    const std::optional<TRowId> current = CurrentRowId();
    if (!current) {
        GoToNextUntranslated();
        return;
    }
    const std::optional<TRowId> next = NextUntranslatedAfter(Table->currentIndex().row());
    TEntrySnapshot after = writer_.Read(current->section, current->key);
    if (typed)
        after.value = WithText(after.value, current->section, current->line, FromQString(*typed));
    after.notes.state =
        StateMarkFor(TEntryState::Done, current->key, StoredValue(after.value), after.notes.state);
    writer_.Write(current->section, current->key, after,
                  Described(QStringLiteral("Translate and mark done"), current->key));
    Reload();
    SelectRow(next ? *next : *current);
}

void TTranslationTable::MarkSelected(TEntryState state) {
    std::vector<TRowId> entries;
    std::set<std::pair<std::string, std::string>> seen;
    QModelIndexList rows = Table->selectionModel()->selectedRows();
    if (rows.isEmpty() && Table->currentIndex().isValid())
        rows << Table->currentIndex();
    for (const QModelIndex& index : rows) {
        const TTableRow& r = model_->Row(filter_->mapToSource(index).row());
        if (seen.insert({r.section, r.key}).second)
            entries.push_back({r.section, r.key, r.line});
    }
    const std::optional<TRowId> current = CurrentRowId();
    InOneStep(state == TEntryState::Done ? QStringLiteral("Mark done")
                                         : QStringLiteral("Mark for review"),
              [&] {
                  for (const TRowId& id : entries) {
                      TEntrySnapshot after = writer_.Read(id.section, id.key);
                      after.notes.state =
                          StateMarkFor(state, id.key, StoredValue(after.value), after.notes.state);
                      writer_.Write(id.section, id.key, after, QString());
                  }
              });
    if (current)
        SelectRow(*current);
}

void TTranslationTable::InOneStep(const QString& description,
                                  const std::function<void()>& changes) {
    QUndoStack& stack = writer_.UndoStack();
    stack.beginMacro(description);
    try {
        changes();
    } catch (...) {
        // What was written before the failure stays one step to undo.
        stack.endMacro();
        Reload();
        throw;
    }
    stack.endMacro();
    Reload();
}

void TTranslationTable::EditNote() {
    const std::optional<TRowId> current = CurrentRowId();
    if (!current)
        return;
    TEntrySnapshot after = writer_.Read(current->section, current->key);
    bool ok = false;
    const QString note = QInputDialog::getMultiLineText(
        this, QStringLiteral("Translator's Note"),
        QStringLiteral("Note on \"%1\":").arg(ToQString(current->key)),
        ToQString(after.notes.translatorNote), &ok);
    if (!ok)
        return;
    after.notes.translatorNote = FromQString(note.trimmed());
    writer_.Write(current->section, current->key, after,
                  Described(QStringLiteral("Note on"), current->key));
    Reload();
}

int TTranslationTable::ReplaceInTranslations(const QString& find, const QString& replacement,
                                             Qt::CaseSensitivity sensitivity) {
    if (find.isEmpty())
        return 0;
    int changed = 0;
    InOneStep(QStringLiteral("Replace \"%1\" with \"%2\"").arg(find, replacement), [&] {
        std::set<std::pair<std::string, std::string>> seen;
        for (int row = 0; row < model_->rowCount(); ++row) {
            const TTableRow r = model_->Row(row);
            if (!seen.insert({r.section, r.key}).second)
                continue;
            TEntrySnapshot after = writer_.Read(r.section, r.key);
            const auto replaced = [&](const std::string& text) {
                return FromQString(ToQString(text).replace(find, replacement, sensitivity));
            };
            if (r.section == kCommaTextSection) {
                std::vector<std::string> lines = LinesFromCommaText(after.value);
                for (std::string& line : lines)
                    line = replaced(line);
                if (!lines.empty())
                    after.value = CommaTextFromLines(lines);
            } else {
                after.value = replaced(after.value);
            }
            if (writer_.Write(r.section, r.key, after, QString()))
                ++changed;
        }
    });
    statusBar()->showMessage(QStringLiteral("Replaced in %1 entries").arg(changed), 5000);
    return changed;
}

void TTranslationTable::ShowReplaceDialog() {
    TReplaceDialog dialog(this);
    if (const auto current = filter_->mapToSource(Table->currentIndex()); current.isValid())
        dialog.FindText->setText(model_->Row(current.row()).translation);
    dialog.FindText->selectAll();
    if (dialog.exec() != QDialog::Accepted)
        return;
    ReplaceInTranslations(dialog.FindText->text(), dialog.ReplaceText->text(),
                          dialog.MatchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive);
}

} // namespace tavrel::editor

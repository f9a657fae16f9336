#pragma once

#include "tavrel/storage/EntryNotes.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>
#include <string>
#include <vector>

namespace tavrel {
class TOvkLocalizeServer;
}

namespace tavrel::editor {

// One row of the table: an entry of the current language, or one line of a value of the
// Text section (those are lists, translated line by line as in the main window).
struct TTableRow {
    std::string section, key;
    int line = -1;       // the line of a Text value; -1 for a whole value
    int lineCount = 0;   // lines of the Text value
    std::string value;   // the entry's whole stored value ("" for an empty one)
    QString translation; // what the row shows: the value, or its line
    QString reference;   // the reference language's text (its line)
    TEntryState state = TEntryState::Untranslated;
    TEntryNotes notes;     // the entry's own notes
    QString developerNote; // from the Default dictionary, with where the text is shown
    QString findings;      // what a reviewer would flag, one per line
    bool hasError = false; // a finding of the error level
    QString folded;        // key and translation folded for finding (see FoldedForFinding)
};

// Text as find-as-you-type compares it: case folded, accents dropped.
QString FoldedForFinding(const QString& text);

// Every entry of the current language with its reference text, state, notes and the
// quality-check findings. It reads the dictionaries; edits are handed to the table window,
// which writes them through the server.
class TTranslationTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        SectionColumn,
        KeyColumn,
        ReferenceColumn,
        TranslationColumn,
        StateColumn,
        NotesColumn,
        CheckColumn,
        ColumnCount
    };
    // Roles beyond Qt's.
    static constexpr int StateRole = Qt::UserRole + 1;
    static constexpr int FoldedRole = Qt::UserRole + 2;
    static constexpr int FindingsRole = Qt::UserRole + 3;

    explicit TTranslationTableModel(QObject* parent = nullptr);

    // Rereads everything of `server`'s current language, `reference` giving the reference
    // column. Rows that stay keep their place, so the view keeps its current row and editor.
    void Load(TOvkLocalizeServer& server, const std::string& reference);

    const TTableRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    int Find(const std::string& section, const std::string& key, int line) const;
    const std::string& Language() const { return language_; }

    // Called for an edit in place (translation or translator's note); the window writes.
    std::function<void(int row, int column, const QString& text)> OnEdit;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    std::vector<TTableRow> rows_;
    std::string language_;
};

// Which rows the table shows.
enum class TStateFilter { All, Untranslated, NeedsReview, Done, WithFindings };

class TTranslationFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit TTranslationFilter(QObject* parent = nullptr);
    void SetStateFilter(TStateFilter filter);
    void SetFindText(const QString& text);

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    TStateFilter stateFilter_ = TStateFilter::All;
    QString foldedFind_;
};

} // namespace tavrel::editor

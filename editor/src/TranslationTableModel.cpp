#include "TranslationTableModel.h"

#include "tavrel/catalog/DictionaryCatalog.h"
#include "tavrel/catalog/QualityCheck.h"
#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtText.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/ProfileFile.h"

#include <map>
#include <memory>
#include <QApplication>
#include <QStyle>
#include <utility>

namespace tavrel::editor {

namespace {

// Values of this section (compared case-sensitively) are lists of lines in comma-text.
constexpr std::string_view kCommaTextSection = "Text";
constexpr std::string_view kDefinitionsSection = "Definitions";

QString StateText(TEntryState state) {
    switch (state) {
    case TEntryState::Untranslated:
        return QStringLiteral("Untranslated");
    case TEntryState::NeedsReview:
        return QStringLiteral("Needs review");
    case TEntryState::Done:
        break;
    }
    return QStringLiteral("Done");
}

QString Joined(const std::string& lines, const QString& separator) {
    return ToQString(lines).split(QLatin1Char('\n')).join(separator);
}

// A dictionary of the folder, read once; nothing when the language has no file.
std::unique_ptr<const ProfileFile> Open(TOvkLocalizeServer& server, const std::string& language) {
    const std::string file = language.empty() ? std::string() : server.LanguageFileName(language);
    if (file.empty())
        return nullptr;
    return std::make_unique<const ProfileFile>(file);
}

using TFindingsByEntry = std::map<std::pair<std::string, std::string>, std::vector<TFinding>>;

// What the checks find, by section and plain key. The state is a column of its own.
TFindingsByEntry FindingsOf(TOvkLocalizeServer& server, const std::string& language) {
    TFindingsByEntry found;
    try {
        for (TFinding& finding :
             CheckCatalog(ReadDictionaryCatalog(DictionarySourceOf(server, language)))) {
            if (finding.check == "untranslated" || finding.check == "needs-review")
                continue;
            found[{finding.context, finding.source}].push_back(std::move(finding));
        }
    } catch (const std::exception&) {
        // A dictionary the checks cannot read shows its entries without findings.
    }
    return found;
}

std::map<std::pair<std::string, std::string>, QString>
DeveloperNotesOf(const ProfileFile* defaults, const std::vector<std::string>& sections) {
    std::map<std::pair<std::string, std::string>, QString> notes;
    if (defaults == nullptr)
        return notes;
    for (const std::string& section : sections) {
        defaults->VisitSectionWithNotes(
            section, [&](std::string_view key, std::string_view, const auto& lines) {
                const TEntryNotes parsed = ParseEntryNotes(lines);
                QStringList parts;
                if (!parsed.developerNote.empty())
                    parts << ToQString(parsed.developerNote);
                for (const std::string& place : parsed.locations)
                    parts << QStringLiteral("Shown at %1").arg(ToQString(place));
                if (!parts.isEmpty())
                    notes[{section, std::string(key)}] = parts.join(QLatin1Char('\n'));
            });
    }
    return notes;
}

} // namespace

namespace {

// The state a filter by state shows.
TEntryState StateShownBy(TStateFilter filter) {
    switch (filter) {
    case TStateFilter::Untranslated:
        return TEntryState::Untranslated;
    case TStateFilter::NeedsReview:
        return TEntryState::NeedsReview;
    default:
        return TEntryState::Done;
    }
}

} // namespace

QString FoldedForFinding(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            folded.append(c);
    }
    return folded.toCaseFolded();
}

TTranslationTableModel::TTranslationTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void TTranslationTableModel::Load(TOvkLocalizeServer& server, const std::string& reference) {
    const std::string language = server.Language();
    std::vector<TTableRow> rows;
    const auto dictionary = Open(server, language);
    if (dictionary != nullptr) {
        const auto defaults = Open(server, std::string(kDefaultLanguage));
        const auto referenced = Open(server, reference);
        std::vector<std::string> sections;
        dictionary->ReadAllSections(sections);
        std::erase_if(sections, [](const std::string& section) {
            return QString::compare(ToQString(section), ToQString(kDefinitionsSection),
                                    Qt::CaseInsensitive) == 0;
        });
        const auto developerNotes = DeveloperNotesOf(defaults.get(), sections);
        const TFindingsByEntry findings = FindingsOf(server, language);
        for (const std::string& section : sections) {
            dictionary->VisitSectionWithNotes(section, [&](std::string_view key,
                                                           std::string_view stored,
                                                           const auto& lines) {
                TTableRow row;
                row.section = section;
                row.key = std::string(key);
                row.value = stored == kNotFound ? std::string() : std::string(stored);
                row.notes = ParseEntryNotes(lines);
                row.state = EntryState(key, stored, row.notes);
                if (const auto note = developerNotes.find({section, row.key});
                    note != developerNotes.end())
                    row.developerNote = note->second;
                const auto found = findings.find({section, SplitPluralVariantKey(row.key).first});
                if (found != findings.end()) {
                    QStringList messages;
                    for (const TFinding& finding : found->second) {
                        messages << ToQString(finding.message);
                        row.hasError = row.hasError || finding.level == TFindingLevel::Error;
                    }
                    row.findings = messages.join(QLatin1Char('\n'));
                }
                std::string referenceValue;
                if (referenced != nullptr)
                    referenceValue = FromSentinel(
                        referenced->FindValue(section, key).value_or(std::string(kNotFound)));
                if (section != kCommaTextSection) {
                    row.translation = ToQString(row.value);
                    row.reference = ToQString(referenceValue);
                    row.folded =
                        FoldedForFinding(ToQString(row.key) + QLatin1Char('\n') + row.translation);
                    rows.push_back(std::move(row));
                    return;
                }
                const std::vector<std::string> values = LinesFromCommaText(row.value);
                const std::vector<std::string> references = LinesFromCommaText(referenceValue);
                // A list without lines still shows a row, to give it its first line.
                const std::size_t count = std::max<std::size_t>(1, values.size());
                for (std::size_t line = 0; line < count; ++line) {
                    TTableRow lineRow = row;
                    lineRow.line = static_cast<int>(line);
                    lineRow.lineCount = static_cast<int>(values.size());
                    lineRow.translation =
                        line < values.size() ? ToQString(values[line]) : QString();
                    lineRow.reference =
                        line < references.size() ? ToQString(references[line]) : QString();
                    lineRow.folded = FoldedForFinding(ToQString(row.key) + QLatin1Char('\n') +
                                                      lineRow.translation);
                    rows.push_back(std::move(lineRow));
                }
            });
        }
    }
    const bool sameRows =
        language == language_ && rows.size() == rows_.size() &&
        std::equal(rows.begin(), rows.end(), rows_.begin(), [](const auto& a, const auto& b) {
            return a.section == b.section && a.key == b.key && a.line == b.line;
        });
    language_ = language;
    if (!sameRows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    rows_ = std::move(rows);
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

int TTranslationTableModel::Find(const std::string& section, const std::string& key,
                                 int line) const {
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        const TTableRow& r = rows_[row];
        if (r.section == section && r.key == key && (line < 0 || r.line == line || r.line < 0))
            return static_cast<int>(row);
    }
    return -1;
}

int TTranslationTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TTranslationTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTranslationTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TTableRow& row = Row(index.row());
    if (role == StateRole)
        return static_cast<int>(row.state);
    if (role == FoldedRole)
        return row.folded;
    if (role == FindingsRole)
        return !row.findings.isEmpty();
    const int column = index.column();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (column) {
        case SectionColumn:
            return ToQString(row.section);
        case KeyColumn:
            return row.line < 0 ? ToQString(row.key)
                                : QStringLiteral("%1 [%2/%3]")
                                      .arg(ToQString(row.key))
                                      .arg(row.line + 1)
                                      .arg(std::max(1, row.lineCount));
        case ReferenceColumn:
            return row.reference;
        case TranslationColumn:
            return row.translation;
        case StateColumn:
            return StateText(row.state);
        case NotesColumn:
            return role == Qt::EditRole ? ToQString(row.notes.translatorNote)
                                        : Joined(row.notes.translatorNote, QStringLiteral(" / "));
        case CheckColumn:
            return Joined(FromQString(row.findings), QStringLiteral("; "));
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole) {
        if (column == KeyColumn && !row.developerNote.isEmpty())
            return row.developerNote;
        if (column == NotesColumn && !row.notes.translatorNote.empty())
            return ToQString(row.notes.translatorNote);
        if (column == CheckColumn && !row.findings.isEmpty())
            return row.findings;
    }
    if (role == Qt::DecorationRole && column == CheckColumn && !row.findings.isEmpty())
        return QApplication::style()->standardIcon(row.hasError ? QStyle::SP_MessageBoxCritical
                                                                : QStyle::SP_MessageBoxWarning);
    return {};
}

QVariant TTranslationTableModel::headerData(int section, Qt::Orientation orientation,
                                            int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const titles[ColumnCount] = {"Section", "Key",   "Reference", "Translation",
                                                    "State",   "Notes", "Check"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section]) : QString();
}

Qt::ItemFlags TTranslationTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == TranslationColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TTranslationTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !OnEdit)
        return false;
    OnEdit(index.row(), index.column(), value.toString());
    return true;
}

TTranslationFilter::TTranslationFilter(QObject* parent) : QSortFilterProxyModel(parent) {
    setDynamicSortFilter(true);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setSortLocaleAware(true);
}

void TTranslationFilter::SetStateFilter(TStateFilter filter) {
    stateFilter_ = filter;
    invalidateFilter();
}

void TTranslationFilter::SetFindText(const QString& text) {
    foldedFind_ = FoldedForFinding(text);
    invalidateFilter();
}

bool TTranslationFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    const QModelIndex index = sourceModel()->index(row, 0, parent);
    const auto state =
        static_cast<TEntryState>(index.data(TTranslationTableModel::StateRole).toInt());
    switch (stateFilter_) {
    case TStateFilter::All:
        break;
    case TStateFilter::WithFindings:
        if (!index.data(TTranslationTableModel::FindingsRole).toBool())
            return false;
        break;
    default:
        if (state != StateShownBy(stateFilter_))
            return false;
    }
    return foldedFind_.isEmpty() ||
           index.data(TTranslationTableModel::FoldedRole).toString().contains(foldedFind_);
}

bool TTranslationFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    // Rows that compare equal keep the dictionary's order.
    const int order = QString::localeAwareCompare(left.data().toString().toCaseFolded(),
                                                  right.data().toString().toCaseFolded());
    return order != 0 ? order < 0 : left.row() < right.row();
}

} // namespace tavrel::editor

#include "EntryWriter.h"

#include "ErrorBox.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtText.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/ProfileFile.h"

#include <QUndoCommand>
#include <utility>

namespace tavrel::editor {

bool operator==(const TEntrySnapshot& a, const TEntrySnapshot& b) {
    return a.value == b.value && a.notes == b.notes;
}

namespace {

// One change of one entry. It is pushed once made, so its first redo does nothing.
class TEntryChange : public QUndoCommand {
public:
    TEntryChange(TEntryWriter& writer, std::string language, std::string section, std::string key,
                 TEntrySnapshot before, TEntrySnapshot after, const QString& description)
        : QUndoCommand(description), writer_(writer), language_(std::move(language)),
          section_(std::move(section)), key_(std::move(key)), before_(std::move(before)),
          after_(std::move(after)) {}

    const std::string& Language() const { return language_; }

    void undo() override { Apply(before_); }
    void redo() override {
        if (made_) {
            made_ = false;
            return;
        }
        Apply(after_);
    }

private:
    // A stack cannot be told of a failure: the file stays as it was, the user is told.
    void Apply(const TEntrySnapshot& wanted) {
        RunGuarded([&] { writer_.Apply(language_, section_, key_, wanted); });
    }

    TEntryWriter& writer_;
    std::string language_, section_, key_;
    TEntrySnapshot before_, after_;
    bool made_ = true;
};

} // namespace

TEntryWriter::TEntryWriter(TOvkLocalizeServer& server, QObject* parent)
    : QObject(parent), server_(server), undoStack_(this) {}

TEntrySnapshot TEntryWriter::Read(const std::string& section, const std::string& key) const {
    // The whole value: what is written back must not lose the part beyond the length the
    // server's ReadValue gives.
    const std::string file = server_.LanguageFileName(server_.Language());
    std::string value;
    if (!file.empty())
        value = FromSentinel(
            ProfileFile(file).FindValue(section, key).value_or(std::string(kNotFound)));
    return {std::move(value), server_.ReadEntryNotes(section, key)};
}

bool TEntryWriter::Write(const std::string& section, const std::string& key,
                         const TEntrySnapshot& after, const QString& description) {
    const std::string language = server_.Language();
    const TEntrySnapshot before = Read(section, key);
    if (before == after)
        return false;
    try {
        WriteDifferences(section, key, before, after);
    } catch (...) {
        // The value may be written and the notes not: what did change can be undone.
        const TEntrySnapshot now = Read(section, key);
        if (!(now == before)) {
            undoStack_.push(
                new TEntryChange(*this, language, section, key, before, now, description));
            emit entryChanged(ToQString(section), ToQString(key));
        }
        throw;
    }
    undoStack_.push(new TEntryChange(*this, language, section, key, before, after, description));
    emit entryChanged(ToQString(section), ToQString(key));
    return true;
}

bool TEntryWriter::WriteValue(const std::string& section, const std::string& key,
                              const std::string& value) {
    const std::string language = server_.Language();
    const TEntrySnapshot before = Read(section, key);
    // Written even when unchanged, as the window always did: the server's refusals and
    // failures reach the user the same way.
    server_.WriteValue(section, key, value);
    TEntrySnapshot after = before;
    after.value = value;
    if (after == before)
        return false;
    undoStack_.push(
        new TEntryChange(*this, language, section, key, before, after,
                         QStringLiteral("Translate \"%1\"").arg(ToQString(key).left(40))));
    emit entryChanged(ToQString(section), ToQString(key));
    return true;
}

bool TEntryWriter::MayApply(const QUndoCommand* command) {
    if (command == nullptr)
        return false;
    // A step of several changes (a replacement) is of one language.
    const QUndoCommand* change = command->childCount() > 0 ? command->child(0) : command;
    const auto* entry = dynamic_cast<const TEntryChange*>(change);
    if (entry == nullptr || entry->Language() == server_.Language())
        return true;
    return !MayLeaveLanguage || MayLeaveLanguage();
}

bool TEntryWriter::Undo() {
    if (!undoStack_.canUndo() || !MayApply(undoStack_.command(undoStack_.index() - 1)))
        return false;
    undoStack_.undo();
    return true;
}

bool TEntryWriter::Redo() {
    if (!undoStack_.canRedo() || !MayApply(undoStack_.command(undoStack_.index())))
        return false;
    undoStack_.redo();
    return true;
}

void TEntryWriter::Apply(const std::string& language, const std::string& section,
                         const std::string& key, const TEntrySnapshot& wanted) {
    if (server_.Language() != language)
        server_.SetLanguage(language);
    WriteDifferences(section, key, Read(section, key), wanted);
    emit entryChanged(ToQString(section), ToQString(key));
}

void TEntryWriter::WriteDifferences(const std::string& section, const std::string& key,
                                    const TEntrySnapshot& from, const TEntrySnapshot& to) {
    if (from.value != to.value)
        server_.WriteValue(section, key, to.value);
    if (from.notes != to.notes)
        server_.WriteEntryNotes(section, key, to.notes);
}

} // namespace tavrel::editor

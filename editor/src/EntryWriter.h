#pragma once

#include "tavrel/storage/EntryNotes.h"

#include <functional>
#include <QObject>
#include <QString>
#include <QUndoStack>
#include <string>

namespace tavrel {
class TOvkLocalizeServer;
}

namespace tavrel::editor {

// What an entry of a dictionary holds: its value ("" for an empty one) and its notes.
struct TEntrySnapshot {
    std::string value;
    TEntryNotes notes;
};
bool operator==(const TEntrySnapshot& a, const TEntrySnapshot& b);

// Every change the editor's windows make to entries goes through here: it is written by
// the server's operations (each write replaces the file atomically) and kept on one undo
// stack, so that every change since the editor started can be undone, whichever window
// made it. An undo or redo of another language's change makes that language current
// first, so that the windows show what changed.
class TEntryWriter : public QObject {
    Q_OBJECT
public:
    TEntryWriter(TOvkLocalizeServer& server, QObject* parent);

    QUndoStack& UndoStack() { return undoStack_; }
    TOvkLocalizeServer& Server() { return server_; }

    // The entry of the current language as stored.
    TEntrySnapshot Read(const std::string& section, const std::string& key) const;
    // Gives an entry of the current language `after`, written where it differs; throws
    // when a write fails (what was written before the failure is kept on the stack).
    // Returns whether anything changed.
    bool Write(const std::string& section, const std::string& key, const TEntrySnapshot& after,
               const QString& description);
    // Writes the current language's value as the main window saves it: the value only, the
    // notes as they are.
    bool WriteValue(const std::string& section, const std::string& key, const std::string& value);

    // Undo and redo the last change, or redo the next; an undo or redo that would make
    // another language current first asks MayLeaveLanguage, and does nothing when it says
    // no. Returns whether it happened.
    bool Undo();
    bool Redo();
    std::function<bool()> MayLeaveLanguage;

    // Makes the entry of `language` hold `wanted`; used by the commands of the stack.
    void Apply(const std::string& language, const std::string& section, const std::string& key,
               const TEntrySnapshot& wanted);

signals:
    // An entry was written, undone or redone (in the language now current).
    void entryChanged(const QString& section, const QString& key);

private:
    bool MayApply(const QUndoCommand* command);
    void WriteDifferences(const std::string& section, const std::string& key,
                          const TEntrySnapshot& from, const TEntrySnapshot& to);

    TOvkLocalizeServer& server_;
    QUndoStack undoStack_;
};

} // namespace tavrel::editor

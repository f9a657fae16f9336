#include "EditorApplication.h"

#include "ErrorBox.h"

namespace tavrel::editor {

TEditorApplication::TEditorApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("lngedit"));
}

bool TEditorApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}

} // namespace tavrel::editor

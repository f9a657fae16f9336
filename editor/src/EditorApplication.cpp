#include "EditorApplication.h"

#include "ErrorBox.h"

#include <QIcon>

namespace tavrel::editor {

TEditorApplication::TEditorApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("lngedit"));
    // The desktop entry it is installed with names it to the desktop, and the icon installed
    // beside it is its window's; the copy inside the program serves where none is installed.
    setDesktopFileName(QStringLiteral("org.tavrel.lngedit"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("org.tavrel.lngedit"),
                                   QIcon(QStringLiteral(":/icons/org.tavrel.lngedit.svg"))));
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

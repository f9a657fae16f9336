#pragma once

#include <QApplication>

namespace tavrel::editor {

// The editor's application object. Every event passes through notify(); a failure that
// escapes whatever handled the event is shown in an error box there instead of crossing
// Qt's event loop, and the loop goes on.
class TEditorApplication : public QApplication {
    Q_OBJECT
public:
    TEditorApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tavrel::editor

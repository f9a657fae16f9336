#pragma once

#include <QDialog>

namespace tavrel::editor {

// Common frame of the editor's dialogs: a fixed client size, no minimise or maximise
// button, placed at the centre of the screen, the editor's font, and no tool tips (hints
// may be set on the dialog's widgets but are not shown).
class TEditorDialog : public QDialog {
    Q_OBJECT
public:
    TEditorDialog(const QString& caption, int clientWidth, int clientHeight);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

} // namespace tavrel::editor

#include "EditorDialog.h"

#include "EditorWidgets.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tavrel::editor {

TEditorDialog::TEditorDialog(const QString& caption, int clientWidth, int clientHeight)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(caption);
    setFont(EditorFont());
    setFixedSize(clientWidth, clientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(clientWidth / 2, clientHeight / 2));
    }
}

void TEditorDialog::showEvent(QShowEvent* event) {
    // Children exist by now; their hints stay silent.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    QDialog::showEvent(event);
}

bool TEditorDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip)
        return true;
    return QDialog::eventFilter(watched, event);
}

} // namespace tavrel::editor

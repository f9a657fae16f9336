#pragma once

#include "EditorDialog.h"

#include <QLineEdit>
#include <QPushButton>

namespace tavrel::editor {

// Asks for one name, of a new section or of a new key; the caller sets the caption and
// the hint of the entry field. OK returns the name exactly as typed.
class TNewKey : public TEditorDialog {
    Q_OBJECT
public:
    TNewKey();

    QPushButton* Button1;
    QPushButton* Button2;
    QLineEdit* Edit1;
};

} // namespace tavrel::editor

#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

namespace tavrel::editor {

// Asks what to replace in the translations of a language, and with what.
class TReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit TReplaceDialog(QWidget* parent = nullptr);

    QLineEdit* FindText;
    QLineEdit* ReplaceText;
    QCheckBox* MatchCase;
    QPushButton* ReplaceAll;
};

} // namespace tavrel::editor

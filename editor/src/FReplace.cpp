#include "FReplace.h"

#include <QDialogButtonBox>
#include <QFormLayout>

namespace tavrel::editor {

TReplaceDialog::TReplaceDialog(QWidget* parent)
    : QDialog(parent), FindText(new QLineEdit(this)), ReplaceText(new QLineEdit(this)),
      MatchCase(new QCheckBox(QStringLiteral("Match &case"), this)), ReplaceAll(nullptr) {
    setObjectName(QStringLiteral("ReplaceDialog"));
    setWindowTitle(QStringLiteral("Replace in Translations"));
    FindText->setObjectName(QStringLiteral("FindText"));
    ReplaceText->setObjectName(QStringLiteral("ReplaceText"));
    MatchCase->setObjectName(QStringLiteral("MatchCase"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    ReplaceAll = buttons->addButton(QStringLiteral("Replace &All"), QDialogButtonBox::AcceptRole);
    ReplaceAll->setObjectName(QStringLiteral("ReplaceAll"));
    ReplaceAll->setDefault(true);
    ReplaceAll->setEnabled(false);
    connect(FindText, &QLineEdit::textChanged, this,
            [this](const QString& text) { ReplaceAll->setEnabled(!text.isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Find:"), FindText);
    form->addRow(QStringLiteral("&Replace with:"), ReplaceText);
    form->addRow(QString(), MatchCase);
    form->addRow(buttons);
    resize(360, sizeHint().height());
}

} // namespace tavrel::editor

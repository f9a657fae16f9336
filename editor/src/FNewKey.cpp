#include "FNewKey.h"

namespace tavrel::editor {

TNewKey::TNewKey()
    : TEditorDialog(QStringLiteral("Insert New Key"), 214, 80),
      Button1(new QPushButton(QStringLiteral("OK"), this)),
      Button2(new QPushButton(QStringLiteral("Cancel"), this)), Edit1(new QLineEdit(this)) {
    setObjectName(QStringLiteral("NewKey"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Edit1->setObjectName(QStringLiteral("Edit1"));

    Edit1->setGeometry(12, 16, 189, 21);
    Button1->setGeometry(28, 49, 75, 25);
    Button2->setGeometry(112, 49, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Edit1);
    Edit1->setFocus();
}

} // namespace tavrel::editor

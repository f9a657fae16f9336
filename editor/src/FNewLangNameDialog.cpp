#include "FNewLangNameDialog.h"

#include "EditorArtwork.h"
#include "EditorWidgets.h"
#include "ErrorBox.h"
#include "OpenPictureDialog.h"

namespace tavrel::editor {

TNewLangNameDialog::TNewLangNameDialog()
    : TEditorDialog(QStringLiteral("Define New Language Name"), 351, 85),
      Button1(new QPushButton(QStringLiteral("OK"), this)),
      Button2(new QPushButton(QStringLiteral("Cancel"), this)), LangName(new QLineEdit(this)),
      OpenPicture(new TOpenPictureDialog(this)), Label1(new QLabel(this)),
      Panel1(new TBevelPanel(this)), Image1(new TImageView(Panel1)),
      langNameLabel_(new QLabel(QStringLiteral("Language Name:"), this)),
      picture_(DefaultFlagsImage()) {
    setObjectName(QStringLiteral("NewLangNameDialog"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    LangName->setObjectName(QStringLiteral("LangName"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Image1->setObjectName(QStringLiteral("Image1"));
    langNameLabel_->setObjectName(QStringLiteral("LangNameLabel"));

    LangName->setGeometry(96, 16, 161, 21);
    // The field's own label sits on its left, 3 pixels away, centred on the field.
    langNameLabel_->adjustSize();
    langNameLabel_->move(96 - 3 - langNameLabel_->width(),
                         16 + (21 - langNameLabel_->height()) / 2);
    langNameLabel_->setBuddy(LangName);

    Panel1->setGeometry(290, 8, 37, 33);
    Image1->setGeometry(4, 4, 29, 25);
    Image1->setToolTip(QStringLiteral("Double Click here for change language image"));
    Image1->ShowPicture(picture_.Image());

    Label1->setText(QStringLiteral("DoubleClick in Image for select"));
    // Within the client area, and clear of the Cancel button.
    PlaceWrappedLabel(*Label1, QRect(272, 48, 75, 26), 85, 240);

    Button1->setGeometry(72, 49, 75, 25);
    Button2->setGeometry(160, 49, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Image1, &TImageView::doubleClicked, this,
            [this] { RunGuarded([this] { Image1DblClick(); }); });

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, LangName);
    LangName->setFocus();
}

TNewLangNameDialog::~TNewLangNameDialog() = default;

void TNewLangNameDialog::Image1DblClick() {
    if (!OpenPicture->Execute())
        return;
    picture_.LoadFromFile(NativePathText(OpenPicture->FileName()));
    Image1->ShowPicture(picture_.Image());
}

} // namespace tavrel::editor

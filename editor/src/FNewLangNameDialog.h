#pragma once

#include "EditorDialog.h"
#include "tavrel/qt/QtPicture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tavrel::editor {

class TBevelPanel;
class TImageView;
class TOpenPictureDialog;

// Asks for a new language's name and flag picture. OK returns the name exactly as typed
// and the picture, the built-in flags picture when none was chosen.
class TNewLangNameDialog : public TEditorDialog {
    Q_OBJECT
public:
    TNewLangNameDialog();
    ~TNewLangNameDialog() override;

    QPushButton* Button1;
    QPushButton* Button2;
    QLineEdit* LangName;
    TOpenPictureDialog* OpenPicture;
    QLabel* Label1;
    TBevelPanel* Panel1;
    TImageView* Image1;

    // The picture Image1 shows.
    const QtPicture& Picture() const { return picture_; }

    // Double click on Image1: a chosen bitmap replaces the picture. A file that cannot be
    // loaded raises EPictureError and the picture stays as it was.
    void Image1DblClick();

private:
    QLabel* langNameLabel_;
    QtPicture picture_;
};

} // namespace tavrel::editor

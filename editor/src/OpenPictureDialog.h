#pragma once

#include <QFileDialog>

class QLabel;

namespace tavrel::editor {

// A file-open dialog for bitmap pictures ("Bitmaps (*.bmp)", default suffix "bmp") that
// previews the picture under selection.
class TOpenPictureDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit TOpenPictureDialog(QWidget* parent = nullptr);

    // Shows the dialog modally; true when a file was chosen.
    bool Execute();
    // The chosen file, or the empty text.
    QString FileName() const;

private:
    void ShowPreview(const QString& file);
    QLabel* preview_;
};

} // namespace tavrel::editor

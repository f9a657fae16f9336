#pragma once

#include <QFileDialog>
#include <QPointer>

class QLabel;

namespace tavrel::editor {

// A file-open dialog for bitmap pictures ("Bitmaps (*.bmp)", default suffix "bmp") that
// previews the picture under selection. However it closes, the keyboard goes back to the
// window that opened it.
class TOpenPictureDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit TOpenPictureDialog(QWidget* parent = nullptr);

    // Shows the dialog modally; true when a file was chosen.
    bool Execute();
    // The chosen file, or the empty text.
    QString FileName() const;

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowPreview(const QString& file);
    void CloseCompletionList();
    void ReturnToOpener();

    QLabel* preview_;
    // The window that was active when the dialog opened.
    QPointer<QWidget> opener_;
};

} // namespace tavrel::editor

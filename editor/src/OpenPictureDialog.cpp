#include "OpenPictureDialog.h"

#include "tavrel/qt/QtPicture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QShowEvent>

namespace tavrel::editor {

namespace {
constexpr int kPreviewSide = 96;
}

TOpenPictureDialog::TOpenPictureDialog(QWidget* parent)
    : QFileDialog(parent), preview_(new QLabel(this)) {
    setObjectName(QStringLiteral("OpenPicture"));
    // The preview needs the toolkit's own dialog; it also behaves the same everywhere.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilter(QStringLiteral("Bitmaps (*.bmp)"));
    setDefaultSuffix(QStringLiteral("bmp"));

    preview_->setObjectName(QStringLiteral("Preview"));
    preview_->setFixedSize(kPreviewSide, kPreviewSide);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(preview_, 1, grid->columnCount(), Qt::AlignTop);
    connect(this, &QFileDialog::currentChanged, this, &TOpenPictureDialog::ShowPreview);
}

bool TOpenPictureDialog::Execute() {
    return exec() == QDialog::Accepted;
}

void TOpenPictureDialog::showEvent(QShowEvent* event) {
    // The owner's window, not whichever window is active: on a busy machine the window
    // system may not yet have activated the owner when it opens this dialog.
    if (!event->spontaneous()) {
        QWidget* active = QApplication::activeWindow();
        opener_ = parentWidget() != nullptr ? parentWidget()->window()
                  : active != this          ? active
                                            : nullptr;
    }
    QFileDialog::showEvent(event);
}

void TOpenPictureDialog::done(int result) {
    CloseCompletionList();
    QFileDialog::done(result);
    ReturnToOpener();
}

// The name field's completion list is a popup window of its own, and Enter in the field
// accepts the dialog while the list is still open. Left open, it would keep the
// application in popup mode after the dialog has gone: the opener would not become
// active again, and the list would swallow the next key typed.
void TOpenPictureDialog::CloseCompletionList() {
    if (QApplication::activePopupWidget() == nullptr)
        return;
    for (const QCompleter* completer : findChildren<QCompleter*>()) {
        QAbstractItemView* list = completer->popup();
        if (list->isVisible())
            list->hide();
    }
}

// Not every platform hands the activation back to the opener when a dialog is hidden;
// without it the keyboard would still be aimed at the hidden dialog.
void TOpenPictureDialog::ReturnToOpener() {
    if (opener_ != nullptr && opener_->isVisible())
        opener_->activateWindow();
}

QString TOpenPictureDialog::FileName() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void TOpenPictureDialog::ShowPreview(const QString& file) {
    QImageReader reader(file);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    // Only small enough files are decoded for the preview; anything else shows nothing.
    if (!size.isValid() || size.width() > 4096 || size.height() > 4096) {
        preview_->clear();
        return;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        preview_->clear();
        return;
    }
    // Drawn at the screen's resolution, so that a small flag stays crisp at 200 %.
    const qreal ratio = preview_->devicePixelRatioF();
    const int side = qRound((kPreviewSide - 4) * ratio);
    QPixmap pixmap = QPixmap::fromImage(
        ScaledPictureImage(image, image.size().scaled(side, side, Qt::KeepAspectRatio)));
    pixmap.setDevicePixelRatio(ratio);
    preview_->setPixmap(pixmap);
}

} // namespace tavrel::editor

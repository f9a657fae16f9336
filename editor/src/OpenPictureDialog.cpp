#include "OpenPictureDialog.h"

#include <QGridLayout>
#include <QImageReader>
#include <QLabel>

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
    preview_->setPixmap(QPixmap::fromImage(image.scaled(
        kPreviewSide - 4, kPreviewSide - 4, Qt::KeepAspectRatio, Qt::FastTransformation)));
}

} // namespace tavrel::editor

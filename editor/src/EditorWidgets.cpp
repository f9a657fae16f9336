#include "EditorWidgets.h"

#include "tavrel/qt/QtPicture.h"

#include <algorithm>
#include <QCollator>
#include <qdrawutil.h>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace tavrel::editor {

QFont EditorFont() {
    QFont font;
    // Faces of about the same width come next, so that texts fit their fixed places.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

QString PathText(const std::string& nativePath) {
    return QFile::decodeName(QByteArray::fromStdString(nativePath));
}

std::string NativePathText(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

void PlaceWrappedLabel(QLabel& label, const QRect& place, int maxBottom, int minLeft) {
    label.setWordWrap(true);
    QRect rect = place;
    const auto fits = [&] { return maxBottom < 0 || rect.top() + rect.height() <= maxBottom; };
    rect.setHeight(std::max(place.height(), label.heightForWidth(rect.width())));
    while (!fits() && rect.left() > minLeft) {
        rect.setLeft(rect.left() - 1);
        rect.setHeight(std::max(place.height(), label.heightForWidth(rect.width())));
    }
    label.setGeometry(rect);
}

void AddSorted(QComboBox& box, const QString& text) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    int row = box.count();
    for (int i = 0; i < box.count(); ++i) {
        if (collator.compare(box.itemText(i), text) > 0) {
            row = i;
            break;
        }
    }
    box.insertItem(row, text);
}

int FindRowIgnoringCase(const QComboBox& box, const QString& text) {
    for (int i = 0; i < box.count(); ++i) {
        if (box.itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

TEditorListBox::TEditorListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void TEditorListBox::keyboardSearch(const QString& /*search*/) {}

void TEditorListBox::mousePressEvent(QMouseEvent* event) {
    // Only the left button selects: a row picked by another button would silently become
    // the row that the next save writes to.
    // A press beside the rows leaves the selection alone.
    if (event->button() != Qt::LeftButton || itemAt(event->position().toPoint()) == nullptr) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
    emit userSelect();
}

void TEditorListBox::mouseMoveEvent(QMouseEvent* event) {
    const int before = currentRow();
    QListWidget::mouseMoveEvent(event);
    if (currentRow() != before && currentRow() >= 0)
        emit userSelect();
}

void TEditorListBox::keyPressEvent(QKeyEvent* event) {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentRow() >= 0)
        emit userSelect();
}

TImageView::TImageView(QWidget* parent) : QLabel(parent) {
    setScaledContents(true);
}

void TImageView::ShowPicture(const QImage& image) {
    picture_ = image.convertToFormat(QImage::Format_ARGB32);
    if (!picture_.isNull()) {
        const QRgb background = picture_.pixel(0, picture_.height() - 1);
        for (int y = 0; y < picture_.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(y));
            for (int x = 0; x < picture_.width(); ++x)
                if (line[x] == background)
                    line[x] = 0;
        }
    }
    shown_ = QPixmap();
    // The label keeps the picture too: its size hint and whoever reads pixmap() see it.
    setPixmap(QPixmap::fromImage(picture_));
}

QImage TImageView::ShownImage(const QSize& deviceSize) const {
    return ScaledPictureImage(picture_, deviceSize);
}

void TImageView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    drawFrame(&painter);
    if (picture_.isNull())
        return;
    const QRect place = contentsRect();
    // The painter's device: the screen, or a pixmap the view is rendered into.
    const qreal ratio = painter.device()->devicePixelRatio();
    const QSize device = (QSizeF(place.size()) * ratio).toSize();
    if (shown_.size() != device)
        shown_ = QPixmap::fromImage(ShownImage(device));
    shown_.setDevicePixelRatio(ratio);
    painter.drawPixmap(place.topLeft(), shown_);
}

void TImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QLabel::mouseDoubleClickEvent(event);
}

TBevelPanel::TBevelPanel(QWidget* parent) : QFrame(parent) {}

void TBevelPanel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect outer = rect();
    qDrawShadePanel(&painter, outer, palette(), true, 1);
    qDrawShadePanel(&painter, outer.adjusted(1, 1, -1, -1), palette(), false, 1);
}

TCoolBar::TCoolBar(QWidget* parent) : QFrame(parent) {}

void TCoolBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    qDrawShadePanel(&painter, rect(), palette(), false, 1);
    for (int x : {3, 6})
        qDrawShadeLine(&painter, x, 3, x, height() - 4, palette(), false, 1, 0);
}

} // namespace tavrel::editor

#include "EditorArtwork.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

namespace tavrel::editor {

namespace {

constexpr int kSide = 16;

QImage BlankImage() {
    QImage image(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void StrokeTwice(QPainter& painter, const QPainterPath& path, const QColor& outline,
                 const QColor& fill, qreal width) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(outline, width + 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.setPen(QPen(fill, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
}

QImage CheckArt() {
    QImage image = BlankImage();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(2.5, 8.5);
    path.lineTo(6.0, 12.0);
    path.lineTo(13.5, 3.5);
    StrokeTwice(painter, path, QColor(0, 90, 0), QColor(40, 180, 40), 2.2);
    return image;
}

QImage MinusArt() {
    QImage image = BlankImage();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(120, 0, 0), 1.0));
    painter.setBrush(QColor(225, 40, 40));
    painter.drawRoundedRect(QRectF(2.5, 6.5, 11.0, 3.0), 1.0, 1.0);
    return image;
}

QImage PlusArt() {
    QImage image = BlankImage();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath across, down;
    across.addRect(QRectF(2.5, 6.5, 11.0, 3.0));
    down.addRect(QRectF(6.5, 2.5, 3.0, 11.0));
    painter.setPen(QPen(QColor(0, 50, 130), 1.0));
    painter.setBrush(QColor(40, 110, 220));
    painter.drawPath(across.united(down));
    return image;
}

QImage RefreshArt() {
    QImage image = BlankImage();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor outline(0, 60, 110), fill(30, 140, 210);
    // Three quarters of a circle from the top round to the right, open at the top right.
    QPainterPath arc;
    arc.arcMoveTo(QRectF(3.0, 3.0, 10.0, 10.0), 90.0);
    arc.arcTo(QRectF(3.0, 3.0, 10.0, 10.0), 90.0, 270.0);
    StrokeTwice(painter, arc, outline, fill, 1.8);
    // The arrow head at the end of the arc, pointing on round the circle.
    QPolygonF head;
    head << QPointF(13.0, 3.5) << QPointF(9.8, 8.2) << QPointF(15.8, 8.2);
    painter.setPen(QPen(outline, 0.8));
    painter.setBrush(fill);
    painter.drawPolygon(head);
    return image;
}

QColor Lighter(QColor color) {
    const int alpha = color.alpha();
    color = color.lighter(125);
    color.setAlpha(alpha);
    return color;
}

QPixmap HotPixmap(const QImage& art) {
    QImage image = art.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, Lighter(image.pixelColor(x, y)));
    return QPixmap::fromImage(image);
}

QList<QImage> ToolArt() {
    return {CheckArt(), MinusArt(), PlusArt(), RefreshArt()};
}

QImage OpenFolderArt() {
    QImage image = BlankImage();
    QPainter painter(&image);
    const QColor outline(110, 80, 0);
    // The folder's back with its tab.
    painter.setPen(outline);
    painter.setBrush(QColor(205, 165, 45));
    painter.drawPolygon(QPolygon(
        {QPoint(1, 3), QPoint(5, 3), QPoint(6, 4), QPoint(12, 4), QPoint(12, 7), QPoint(1, 13)}));
    // The open front flap.
    painter.setBrush(QColor(255, 222, 90));
    painter.drawPolygon(QPolygon({QPoint(1, 13), QPoint(4, 7), QPoint(15, 7), QPoint(12, 13)}));
    return image;
}

} // namespace

TImageList EnabledToolImages() {
    TImageList list;
    for (const QImage& art : ToolArt())
        list.append(QPixmap::fromImage(art));
    return list;
}

TImageList DisabledToolImages() {
    TImageList list;
    for (const QImage& art : ToolArt())
        list.append(GreyedPixmap(QPixmap::fromImage(art)));
    return list;
}

TImageList HotToolImages() {
    TImageList list;
    for (const QImage& art : ToolArt())
        list.append(HotPixmap(art));
    return list;
}

QIcon ToolIcon(const TImageList& enabled, const TImageList& disabled, const TImageList& hot,
               int index) {
    QIcon icon;
    icon.addPixmap(enabled.value(index), QIcon::Normal);
    icon.addPixmap(disabled.value(index), QIcon::Disabled);
    icon.addPixmap(hot.value(index), QIcon::Active);
    return icon;
}

QIcon OpenFolderIcon() {
    const QPixmap normal = QPixmap::fromImage(OpenFolderArt());
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(normal, QIcon::Active);
    icon.addPixmap(GreyedPixmap(normal), QIcon::Disabled);
    return icon;
}

QPixmap GreyedPixmap(const QPixmap& source) {
    const QImage art = source.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage out(art.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    // Every drawn pixel becomes a grey one with a white highlight below and to the right.
    const auto inked = [&art](int x, int y) { return qAlpha(art.pixel(x, y)) > 96; };
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x)
            if (inked(x, y) && x + 1 < out.width() && y + 1 < out.height())
                out.setPixel(x + 1, y + 1, qRgb(255, 255, 255));
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x)
            if (inked(x, y))
                out.setPixel(x, y, qRgb(128, 128, 128));
    return QPixmap::fromImage(out);
}

QImage DefaultFlagsImage() {
    QImage image(kSide, kSide, QImage::Format_RGB32);
    image.fill(QColor(192, 192, 192));
    QPainter painter(&image);
    const auto stripe = [&painter](int x, int y, int w, int h, QColor color) {
        painter.fillRect(x, y, w, h, color);
    };
    const QColor white(255, 255, 255);
    // Four flags of 7 x 6 pixels: vertical tricolours on the left, horizontal on the right.
    stripe(0, 1, 2, 6, QColor(0, 35, 149)); // blue, white, red
    stripe(2, 1, 3, 6, white);
    stripe(5, 1, 2, 6, QColor(237, 41, 57));
    stripe(9, 1, 7, 2, QColor(0, 0, 0)); // black, red, gold
    stripe(9, 3, 7, 2, QColor(221, 0, 0));
    stripe(9, 5, 7, 2, QColor(255, 206, 0));
    stripe(0, 9, 2, 6, QColor(0, 146, 70)); // green, white, red
    stripe(2, 9, 3, 6, white);
    stripe(5, 9, 2, 6, QColor(206, 43, 55));
    stripe(9, 9, 7, 2, QColor(174, 28, 40)); // red, white, blue
    stripe(9, 11, 7, 2, white);
    stripe(9, 13, 7, 2, QColor(33, 70, 139));
    return image;
}

} // namespace tavrel::editor

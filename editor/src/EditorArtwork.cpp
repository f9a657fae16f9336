#include "EditorArtwork.h"

#include <algorithm>
#include <QColor>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <utility>

namespace tavrel::editor {

namespace {

QImage BlankImage(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Glyphs are drawn in kArtSide units onto `side` device pixels. Outlines are as thin as
// 16 pixels need at the design size and one device pixel where there are more, so that a
// large image gains sharp detail instead of thick edges.
class TCanvas {
public:
    explicit TCanvas(int side) : image_(BlankImage(side)), painter_(&image_) {
        painter_.setRenderHint(QPainter::Antialiasing);
        if (side != kArtSide)
            painter_.scale(Scale(), Scale());
    }
    QPainter& Painter() { return painter_; }
    qreal Scale() const { return qreal(image_.width()) / kArtSide; }
    // An outline width, in art units: `design` at the design size, at most one device
    // pixel above it.
    qreal Thin(qreal design) const { return std::min(design, 1.0 / Scale()); }
    QImage Finish() {
        painter_.end();
        return image_;
    }

private:
    QImage image_;
    QPainter painter_;
};

QColor Halfway(const QColor& a, const QColor& b) {
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

// The colours of a glyph's outline over a palette. The artwork's outlines are dark shades
// that vanish on a dark window; there the outline becomes a light rim instead: the glyph's
// fill mixed halfway toward the palette's text colour.
class TInk {
public:
    explicit TInk(const QPalette& palette)
        : dark_(IsDarkPalette(palette)), text_(palette.color(QPalette::WindowText)) {}

    QColor Outline(const QColor& onLight, const QColor& fill) const {
        if (!dark_)
            return onLight;
        return Halfway(fill, text_);
    }

private:
    bool dark_ = false;
    QColor text_;
};

// A path stroked wide in the outline colour, then narrower in the fill colour: the rim
// left on each side is 0.8 pixel at the design size and one device pixel above it.
void StrokeTwice(TCanvas& canvas, const QPainterPath& path, const QColor& outline,
                 const QColor& fill, qreal width) {
    QPainter& painter = canvas.Painter();
    const qreal rim = canvas.Thin(0.8);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(outline, width + 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.setPen(QPen(fill, width + 2 * (0.8 - rim), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
}

// A rectangle whose outline of width `pen` lies inside `outer`.
QRectF Inside(const QRectF& outer, qreal pen) {
    return outer.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
}

QImage CheckArt(int side, const TInk& ink) {
    TCanvas canvas(side);
    QPainterPath path;
    path.moveTo(2.5, 8.5);
    path.lineTo(6.0, 12.0);
    path.lineTo(13.5, 3.5);
    const QColor fill(40, 180, 40);
    StrokeTwice(canvas, path, ink.Outline(QColor(0, 90, 0), fill), fill, 2.2);
    return canvas.Finish();
}

QImage MinusArt(int side, const TInk& ink) {
    TCanvas canvas(side);
    QPainter& painter = canvas.Painter();
    const QColor fill(225, 40, 40);
    const qreal pen = canvas.Thin(1.0);
    painter.setPen(QPen(ink.Outline(QColor(120, 0, 0), fill), pen));
    painter.setBrush(fill);
    painter.drawRoundedRect(Inside(QRectF(2, 6, 12, 4), pen), 1.0, 1.0);
    return canvas.Finish();
}

QImage PlusArt(int side, const TInk& ink) {
    TCanvas canvas(side);
    QPainter& painter = canvas.Painter();
    const QColor fill(40, 110, 220);
    const qreal pen = canvas.Thin(1.0);
    QPainterPath across, down;
    across.addRect(Inside(QRectF(2, 6, 12, 4), pen));
    down.addRect(Inside(QRectF(6, 2, 4, 12), pen));
    painter.setPen(QPen(ink.Outline(QColor(0, 50, 130), fill), pen));
    painter.setBrush(fill);
    painter.drawPath(across.united(down));
    return canvas.Finish();
}

QImage RefreshArt(int side, const TInk& ink) {
    TCanvas canvas(side);
    QPainter& painter = canvas.Painter();
    const QColor fill(30, 140, 210);
    const QColor outline = ink.Outline(QColor(0, 60, 110), fill);
    // Three quarters of a circle from the top round to the right, open at the top right.
    QPainterPath arc;
    arc.arcMoveTo(QRectF(3.0, 3.0, 10.0, 10.0), 90.0);
    arc.arcTo(QRectF(3.0, 3.0, 10.0, 10.0), 90.0, 270.0);
    StrokeTwice(canvas, arc, outline, fill, 1.8);
    // The arrow head at the end of the arc, pointing on round the circle.
    QPolygonF head;
    head << QPointF(13.0, 3.5) << QPointF(9.8, 8.2) << QPointF(15.8, 8.2);
    painter.setPen(QPen(outline, canvas.Thin(0.8)));
    painter.setBrush(fill);
    painter.drawPolygon(head);
    return canvas.Finish();
}

QImage ToolArt(int index, int side, const TInk& ink) {
    switch (index) {
    case CheckImage:
        return CheckArt(side, ink);
    case MinusImage:
        return MinusArt(side, ink);
    case PlusImage:
        return PlusArt(side, ink);
    case RefreshImage:
        return RefreshArt(side, ink);
    default:
        return {};
    }
}

QImage OpenFolderArt(int side, const TInk& ink) {
    QImage image = BlankImage(side);
    QPainter painter(&image);
    // Drawn pixel for pixel at the design size. Larger, the same outlines are one design
    // pixel wide, laid on the pixels they cover there, and the slanted edges are smoothed.
    if (side != kArtSide) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(qreal(side) / kArtSide, qreal(side) / kArtSide);
        painter.translate(0.5, 0.5);
    }
    const QColor back(205, 165, 45), front(255, 222, 90);
    // The folder's back with its tab.
    painter.setPen(ink.Outline(QColor(110, 80, 0), back));
    painter.setBrush(back);
    painter.drawPolygon(QPolygon(
        {QPoint(1, 3), QPoint(5, 3), QPoint(6, 4), QPoint(12, 4), QPoint(12, 7), QPoint(1, 13)}));
    // The open front flap.
    painter.setPen(ink.Outline(QColor(110, 80, 0), front));
    painter.setBrush(front);
    painter.drawPolygon(QPolygon({QPoint(1, 13), QPoint(4, 7), QPoint(15, 7), QPoint(12, 13)}));
    return image;
}

QColor Lighter(QColor color) {
    const int alpha = color.alpha();
    color = color.lighter(125);
    color.setAlpha(alpha);
    return color;
}

QImage HotImage(const QImage& art) {
    QImage image = art.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, Lighter(image.pixelColor(x, y)));
    return image;
}

// Every drawn pixel becomes `ink`, with `emboss` one pixel below and to the right.
QImage Greyed(const QImage& source, QRgb ink, QRgb emboss) {
    const QImage art = source.convertToFormat(QImage::Format_ARGB32);
    QImage out(art.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    const auto inked = [&art](int x, int y) { return qAlpha(art.pixel(x, y)) > 96; };
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x)
            if (inked(x, y) && x + 1 < out.width() && y + 1 < out.height())
                out.setPixel(x + 1, y + 1, emboss);
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x)
            if (inked(x, y))
                out.setPixel(x, y, ink);
    return out;
}

// On a light palette a grey glyph with a white highlight; on a dark one that highlight
// would outshine enabled glyphs, so the glyph takes the tone halfway between window and
// text and the palette's shadow embosses it. The emboss is one device pixel at any size.
QImage GreyedFor(const QImage& art, const QPalette& palette) {
    if (!IsDarkPalette(palette))
        return Greyed(art, qRgb(128, 128, 128), qRgb(255, 255, 255));
    const QColor ink =
        Halfway(palette.color(QPalette::Window), palette.color(QPalette::WindowText));
    return Greyed(art, ink.rgb(), palette.color(QPalette::Shadow).rgb());
}

// The palette the lists' own pixmaps are drawn for.
QPalette LightPalette() {
    return QPalette(QColor(240, 240, 240));
}

TImageList DrawnList(int count, TImageDrawer drawer) {
    QList<QPixmap> images;
    for (int i = 0; i < count; ++i)
        images.append(QPixmap::fromImage(drawer(i, kArtSide, LightPalette())));
    return TImageList(std::move(images), std::move(drawer));
}

// Asks the lists for an image of every size and mode it is drawn at.
class TListIconEngine final : public QIconEngine {
public:
    TListIconEngine(TImageList normal, TImageList disabled, TImageList active, int index)
        : normal_(std::move(normal)), disabled_(std::move(disabled)), active_(std::move(active)),
          index_(index) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/) override {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return {};
        const TImageList& list = mode == QIcon::Disabled ? disabled_
                                 : mode == QIcon::Active ? active_
                                                         : normal_;
        return list.Image(index_, side, QGuiApplication::palette());
    }

    // QIcon passes the size in device pixels and works the pixel ratio out of the result.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal /*scale*/) override {
        return pixmap(size, mode, state);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device()->devicePixelRatio();
        QPixmap image = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        image.setDevicePixelRatio(ratio);
        const QSizeF shown = QSizeF(image.size()) / ratio;
        // Square images are centred in a place of another shape.
        painter->drawPixmap(QPointF(rect.x() + (rect.width() - shown.width()) / 2,
                                    rect.y() + (rect.height() - shown.height()) / 2),
                            image);
    }

    QSize actualSize(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return {QSize(kArtSide, kArtSide)};
    }

    QString key() const override { return QStringLiteral("tavrel-editor-artwork"); }
    QIconEngine* clone() const override { return new TListIconEngine(*this); }

private:
    TImageList normal_, disabled_, active_;
    int index_;
};

} // namespace

TImageList::TImageList(QList<QPixmap> images, TImageDrawer drawer)
    : QList<QPixmap>(std::move(images)), drawer_(std::move(drawer)) {}

QPixmap TImageList::Image(int index, int side, const QPalette& palette) const {
    if (drawer_)
        return QPixmap::fromImage(drawer_(index, side, palette));
    const QPixmap image = value(index);
    if (image.isNull() || image.size() == QSize(side, side))
        return image;
    return image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

TImageList EnabledToolImages() {
    return DrawnList(kToolImageCount, [](int index, int side, const QPalette& palette) {
        return ToolArt(index, side, TInk(palette));
    });
}

TImageList DisabledToolImages() {
    return DrawnList(kToolImageCount, [](int index, int side, const QPalette& palette) {
        return GreyedFor(ToolArt(index, side, TInk(palette)), palette);
    });
}

TImageList HotToolImages() {
    return DrawnList(kToolImageCount, [](int index, int side, const QPalette& palette) {
        return HotImage(ToolArt(index, side, TInk(palette)));
    });
}

QIcon ToolIcon(const TImageList& enabled, const TImageList& disabled, const TImageList& hot,
               int index) {
    return QIcon(new TListIconEngine(enabled, disabled, hot, index));
}

QIcon OpenFolderIcon() {
    const TImageList normal = DrawnList(1, [](int, int side, const QPalette& palette) {
        return OpenFolderArt(side, TInk(palette));
    });
    const TImageList disabled = DrawnList(1, [](int, int side, const QPalette& palette) {
        return GreyedFor(OpenFolderArt(side, TInk(palette)), palette);
    });
    return ToolIcon(normal, disabled, normal, 0);
}

QPixmap GreyedPixmap(const QPixmap& source) {
    return QPixmap::fromImage(Greyed(source.toImage(), qRgb(128, 128, 128), qRgb(255, 255, 255)));
}

bool IsDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::WindowText).lightness() >
           palette.color(QPalette::Window).lightness();
}

QImage DefaultFlagsImage() {
    QImage image(kArtSide, kArtSide, QImage::Format_RGB32);
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

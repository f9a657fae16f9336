#include "tavrel/qt/QtPicture.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QIconEngine>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QStyle>
#include <QStyleOption>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace tavrel {

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
constexpr std::size_t kFileHeaderSize = 14;
// A 32-bit picture of the largest accepted size plus generous room for headers and palette.
constexpr std::uintmax_t kMaxFileSize =
    std::uintmax_t{QtPicture::kMaxSide} * QtPicture::kMaxSide * 4 + 64 * 1024;

QString QtPath(const fs::path& file) {
    return QFile::decodeName(QByteArray::fromStdString(file.native()));
}

[[noreturn]] void Refuse(const fs::path& file, const std::string& reason) {
    throw EPictureError("Cannot load the picture " + file.string() + ": " + reason);
}

std::uint32_t U16(const std::string& data, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at]) |
                                      static_cast<unsigned char>(data[at + 1]) << 8);
}

std::uint32_t U32(const std::string& data, std::size_t at) {
    return U16(data, at) | U16(data, at + 2) << 16;
}

// Qt's decoder fills whatever pixel data is missing instead of failing, so an RLE stream
// is walked first: it must reach its end-of-picture mark inside the file.
bool RleStreamComplete(const std::string& data, std::size_t pos, bool fourBit) {
    const std::size_t end = data.size();
    while (pos + 2 <= end) {
        const auto count = static_cast<unsigned char>(data[pos]);
        const auto code = static_cast<unsigned char>(data[pos + 1]);
        pos += 2;
        if (count > 0 || code == 0)
            continue; // a run, or the end of a line
        if (code == 1)
            return true;
        if (code == 2) {
            pos += 2; // a jump
            continue;
        }
        std::size_t bytes = fourBit ? (code + 1u) / 2u : code;
        bytes += bytes % 2; // literal runs are padded to 16 bits
        pos += bytes;
    }
    return false;
}

// Checks what Qt's decoder does not: signature, header, size limits and that the pixel
// data is all there.
void CheckBitmap(const fs::path& file, const std::string& data) {
    if (data.size() < kFileHeaderSize + 4 || data[0] != 'B' || data[1] != 'M')
        Refuse(file, "the file is not a bitmap");
    const std::uint32_t pixelOffset = U32(data, 10);
    const std::uint32_t headerSize = U32(data, 14);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 64 && headerSize != 108 && headerSize != 124)
        Refuse(file, "the file is not a bitmap");
    if (data.size() < kFileHeaderSize + headerSize)
        Refuse(file, "the file is truncated");
    std::int64_t width, height;
    std::uint32_t planes, bitsPerPixel, compression = kRgb;
    if (headerSize == 12) {
        width = U16(data, 18);
        height = U16(data, 20);
        planes = U16(data, 22);
        bitsPerPixel = U16(data, 24);
    } else {
        width = static_cast<std::int32_t>(U32(data, 18));
        height = static_cast<std::int32_t>(U32(data, 22));
        planes = U16(data, 26);
        bitsPerPixel = U16(data, 28);
        compression = U32(data, 30);
    }
    const bool knownDepth = bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 ||
                            bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
    const bool knownCompression =
        compression == kRgb || (compression == kRle8 && bitsPerPixel == 8) ||
        (compression == kRle4 && bitsPerPixel == 4) ||
        (compression == kBitFields && (bitsPerPixel == 16 || bitsPerPixel == 32));
    if (planes != 1 || !knownDepth || !knownCompression || width <= 0 || height == 0)
        Refuse(file, "the file is not a bitmap");
    const std::int64_t rows = height < 0 ? -height : height;
    if (width > QtPicture::kMaxSide || rows > QtPicture::kMaxSide) {
        Refuse(file, "the picture is too large (" + std::to_string(width) + " x " +
                         std::to_string(rows) + " pixels; at most " +
                         std::to_string(QtPicture::kMaxSide) + " x " +
                         std::to_string(QtPicture::kMaxSide) + ")");
    }
    if (pixelOffset < kFileHeaderSize + headerSize || pixelOffset >= data.size())
        Refuse(file, "the file is truncated");
    if (compression == kRle8 || compression == kRle4) {
        if (height < 0) // compressed pictures are always stored bottom-up
            Refuse(file, "the file is not a bitmap");
        if (!RleStreamComplete(data, pixelOffset, compression == kRle4))
            Refuse(file, "the file is truncated");
        return;
    }
    const std::int64_t stride = (width * bitsPerPixel + 31) / 32 * 4;
    if (static_cast<std::uint64_t>(pixelOffset + stride * rows) > data.size())
        Refuse(file, "the file is truncated");
}

QImage Normalized(const QImage& image) {
    if (image.isNull())
        return {};
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

} // namespace

QtPicture::QtPicture(const QImage& image) : image_(Normalized(image)) {}

QtPicture::QtPicture(const QPixmap& pixmap) : image_(Normalized(pixmap.toImage())) {}

void QtPicture::SetImage(const QImage& image) {
    image_ = Normalized(image);
}

QPixmap QtPicture::ToPixmap() const {
    return QPixmap::fromImage(image_);
}

std::unique_ptr<IPicture> QtPicture::Clone() const {
    return std::make_unique<QtPicture>(*this);
}

void QtPicture::LoadFromFile(const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error))
        Refuse(file, fs::exists(file, error) ? "it is not a file" : "the file does not exist");
    const std::uintmax_t size = fs::file_size(file, error);
    if (error)
        Refuse(file, error.message());
    if (size > kMaxFileSize)
        Refuse(file, "the file is too large");
    std::string data(static_cast<std::size_t>(size), '\0');
    std::ifstream in(file, std::ios::binary);
    if (!in || !in.read(data.data(), static_cast<std::streamsize>(data.size())))
        Refuse(file, "the file cannot be read");
    CheckBitmap(file, data);
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(data.data()),
                            static_cast<int>(data.size()), "BMP"))
        Refuse(file, "the bitmap is damaged");
    image_ = Normalized(image);
}

namespace {
QByteArray EncodedBitmap(const QImage& image, const std::function<void(const QString&)>& fail) {
    if (image.isNull())
        fail(QStringLiteral("the picture is empty"));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "BMP");
    if (!writer.write(image))
        fail(writer.errorString());
    return bytes;
}
} // namespace

std::string QtPicture::EncodeBitmap() const {
    const QByteArray bytes = EncodedBitmap(image_, [](const QString& reason) {
        throw EPictureError("Cannot encode the picture: " + reason.toStdString());
    });
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void QtPicture::SaveToFile(const fs::path& file) const {
    auto fail = [&](const QString& reason) {
        throw EPictureError("Cannot save the picture " + file.string() + ": " +
                            reason.toStdString());
    };
    // Encoded in memory first, so that nothing touches the disk unless the bitmap is whole.
    const QByteArray bytes = EncodedBitmap(image_, fail);
    // A temporary file beside the target, renamed over it once completely written.
    QSaveFile out(QtPath(file));
    if (!out.open(QIODevice::WriteOnly))
        fail(out.errorString());
    if (out.write(bytes) != bytes.size()) {
        const QString reason = out.errorString();
        out.cancelWriting();
        fail(reason);
    }
    if (!out.commit())
        fail(out.errorString());
}

void QtPicture::FloodFill(int x, int y, TColor border, TColor brush) {
    const int width = image_.width();
    const int height = image_.height();
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    const QRgb borderRgb = qRgb(border.Red, border.Green, border.Blue);
    const QRgb brushRgb = qRgb(brush.Red, brush.Green, brush.Blue);
    // Compared without alpha: a transparent pure blue is still the border.
    auto isBorder = [&](const QRgb* line, int column) {
        return (line[column] & RGB_MASK) == (borderRgb & RGB_MASK);
    };
    if (isBorder(reinterpret_cast<const QRgb*>(image_.constScanLine(y)), x))
        return;

    // Scanline fill with an explicit stack: recursion would overflow on large pictures. The
    // visited map keeps the fill finite when the brush is not the border colour.
    std::vector<bool> visited(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    auto index = [width](int column, int row) {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(column);
    };
    std::vector<std::pair<int, int>> seeds{{x, y}};
    while (!seeds.empty()) {
        const auto [seedX, row] = seeds.back();
        seeds.pop_back();
        auto* line = reinterpret_cast<QRgb*>(image_.scanLine(row));
        if (visited[index(seedX, row)] || isBorder(line, seedX))
            continue;
        int left = seedX;
        while (left > 0 && !visited[index(left - 1, row)] && !isBorder(line, left - 1))
            --left;
        int right = seedX;
        while (right + 1 < width && !visited[index(right + 1, row)] && !isBorder(line, right + 1))
            ++right;
        for (int column = left; column <= right; ++column) {
            line[column] = brushRgb;
            visited[index(column, row)] = true;
        }
        // One seed per stretch of fillable pixels in the rows above and below.
        for (int next : {row - 1, row + 1}) {
            if (next < 0 || next >= height)
                continue;
            const auto* nextLine = reinterpret_cast<const QRgb*>(image_.constScanLine(next));
            bool inStretch = false;
            for (int column = left; column <= right; ++column) {
                const bool fillable = !visited[index(column, next)] && !isBorder(nextLine, column);
                if (fillable && !inStretch)
                    seeds.emplace_back(column, next);
                inStretch = fillable;
            }
        }
    }
}

TPictureFactory QtPictureFactory() {
    return [] { return std::make_unique<QtPicture>(); };
}

QImage ImageOfPicture(const IPicture* picture) {
    if (const auto* own = dynamic_cast<const QtPicture*>(picture))
        return own->Image();
    return {};
}

QImage ScaledPictureImage(const QImage& image, const QSize& size) {
    if (image.isNull() || size.isEmpty())
        return {};
    if (image.size() == size)
        return image;
    const auto multiple = [](int to, int from) { return std::max(1, (to + from - 1) / from); };
    const int across = multiple(size.width(), image.width());
    const int down = multiple(size.height(), image.height());
    QImage source = image;
    if (across > 1 || down > 1)
        source = image.scaled(image.width() * across, image.height() * down, Qt::IgnoreAspectRatio,
                              Qt::FastTransformation);
    if (source.size() == size)
        return source;
    // Smoothing mixes neighbours; with premultiplied alpha transparent ones add no colour.
    if (source.hasAlphaChannel())
        source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

namespace {

// Draws a picture for the size and pixel ratio asked for, as an icon of its pixmap would
// place it, from ScaledPictureImage instead of an upscaled pixmap.
class PictureIconEngine final : public QIconEngine {
public:
    explicit PictureIconEngine(QImage image) : image_(std::move(image)) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels; `scale` is the ratio they are shown at.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/,
                         qreal scale) override {
        const QSize device = DeviceSize(size, scale);
        if (device.isEmpty())
            return {};
        return Styled(QPixmap::fromImage(ScaledPictureImage(image_, device)), mode);
    }

    QSize actualSize(const QSize& size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return DeviceSize(size, qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device()->devicePixelRatio();
        const QPixmap pixmap =
            scaledPixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state, ratio);
        const QSizeF shown = FittedSize(rect.size());
        painter->drawPixmap(QRectF(QPointF(rect.x() + (rect.width() - shown.width()) / 2,
                                           rect.y() + (rect.height() - shown.height()) / 2),
                                   shown),
                            pixmap, QRectF(pixmap.rect()));
    }

    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return {image_.size()};
    }

    QString key() const override { return QStringLiteral("tavrel-picture"); }
    QIconEngine* clone() const override { return new PictureIconEngine(*this); }

private:
    // The device pixels of the picture in a place of `size` device pixels shown at `scale`:
    // the device-independent size an icon of the pixmap would take, times the scale. QIcon
    // works the ratio of the pixmap out of its filling the place in one direction, and
    // takes a smaller one as drawn at ratio 1: a picture smaller than the place stays as
    // it is.
    QSize DeviceSize(const QSize& size, qreal scale) const {
        const QSize place = (QSizeF(size) / scale).toSize();
        const QSize fitted = FittedSize(place);
        if (fitted.width() < place.width() && fitted.height() < place.height())
            return image_.size();
        return (QSizeF(fitted) * scale).toSize();
    }

    // Fitted into `place` keeping its proportions, never enlarged.
    QSize FittedSize(const QSize& place) const {
        if (image_.isNull() || place.isEmpty())
            return {};
        return image_.size().scaled(place, Qt::KeepAspectRatio).boundedTo(image_.size());
    }

    // Disabled and selected forms come from the style, as for icons of pixmaps.
    static QPixmap Styled(const QPixmap& pixmap, QIcon::Mode mode) {
        if (mode == QIcon::Normal || mode == QIcon::Active ||
            qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
            return pixmap;
        QStyleOption option(0);
        option.palette = QGuiApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
    }

    QImage image_;
};

} // namespace

QIcon PictureIcon(const QImage& image) {
    if (image.isNull())
        return {};
    return QIcon(new PictureIconEngine(image));
}

} // namespace tavrel

#pragma once

#include "tavrel/localize/IPicture.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace tavrel {

// A picture over QImage. The image is kept in a 32-bit format (RGB32, or ARGB32 when it
// has transparency) so that pixels can be compared and filled directly.
class QtPicture final : public IPicture {
public:
    // Pictures wider or higher than this are refused on loading.
    static constexpr int kMaxSide = 4096;

    QtPicture() = default;
    explicit QtPicture(const QImage& image);
    explicit QtPicture(const QPixmap& pixmap);

    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    bool Empty() const override { return image_.isNull(); }
    // Reads a .bmp file. Files that are not bitmaps, are cut short or hold a picture
    // beyond kMaxSide raise EPictureError; the picture is then unchanged.
    void LoadFromFile(const std::filesystem::path& file) override;
    // Writes a .bmp file atomically; on failure (EPictureError) the old file stays.
    void SaveToFile(const std::filesystem::path& file) const override;
    std::string EncodeBitmap() const override;
    // Fills the 4-connected area around (x, y) that does not have the border colour.
    // Nothing happens when (x, y) is outside the picture or has the border colour.
    void FloodFill(int x, int y, TColor border, TColor brush) override;
    std::unique_ptr<IPicture> Clone() const override;

    const QImage& Image() const { return image_; }
    void SetImage(const QImage& image);
    QPixmap ToPixmap() const;

private:
    QImage image_;
};

// Makes empty QtPictures, for the server's menus and dialogs.
TPictureFactory QtPictureFactory();

// The image of a picture made by this layer; a null image for any other picture.
QImage ImageOfPicture(const IPicture* picture);

// A picture such as a flag resized to `size` device pixels, its proportions not kept. It
// is enlarged pixel for pixel to the next whole multiple of its size and smoothed down
// from there only where that overshoots, so that a small bitmap stays crisp at 200 % and is
// neither blurred nor jagged at odd ratios. Shrinking is smooth.
QImage ScaledPictureImage(const QImage& image, const QSize& size);

// An icon of a picture, as menus show flags. Like an icon of the pixmap, it fits the place
// keeping its proportions and never grows beyond its own size in device-independent
// pixels; at device pixel ratios above 1 it is drawn with ScaledPictureImage at the
// screen's resolution.
QIcon PictureIcon(const QImage& image);

} // namespace tavrel

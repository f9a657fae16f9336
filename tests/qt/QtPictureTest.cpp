#include "tavrel/qt/QtPicture.h"

#include "TempDir.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <QBuffer>
#include <QPainter>
#include <string>

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::FolderEntries;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

void Put16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::size_t at, std::uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

// File and info header (40 bytes) followed by `palette` entries of four bytes.
std::string BmpHeaders(std::int32_t width, std::int32_t height, std::uint32_t bits,
                       std::uint32_t compression, std::uint32_t palette) {
    std::string s(14 + 40 + 4 * palette, '\0');
    s[0] = 'B';
    s[1] = 'M';
    Put32(s, 10, static_cast<std::uint32_t>(s.size()));
    Put32(s, 14, 40);
    Put32(s, 18, static_cast<std::uint32_t>(width));
    Put32(s, 22, static_cast<std::uint32_t>(height));
    Put16(s, 26, 1);
    Put16(s, 28, bits);
    Put32(s, 30, compression);
    Put32(s, 46, palette);
    return s;
}

void FinishSize(std::string& s) {
    Put32(s, 2, static_cast<std::uint32_t>(s.size()));
}

// A 24-bit picture; `color(x, y)` with y counted from the top.
std::string Bmp24(int width, int height, const std::function<QRgb(int, int)>& color,
                  bool topDown = false) {
    std::string s = BmpHeaders(width, topDown ? -height : height, 24, 0, 0);
    const int stride = (width * 3 + 3) / 4 * 4;
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        std::string line(static_cast<std::size_t>(stride), '\0');
        for (int x = 0; x < width; ++x) {
            const QRgb c = color(x, y);
            line[static_cast<std::size_t>(x * 3)] = static_cast<char>(qBlue(c));
            line[static_cast<std::size_t>(x * 3 + 1)] = static_cast<char>(qGreen(c));
            line[static_cast<std::size_t>(x * 3 + 2)] = static_cast<char>(qRed(c));
        }
        s += line;
    }
    FinishSize(s);
    return s;
}

// 2 x 2, RLE8 with a palette of red and green: top row green, bottom row red.
std::string Rle8(bool withEnd) {
    std::string s = BmpHeaders(2, 2, 8, 1, 2);
    Put32(s, 54, 0x00FF0000); // red (blue, green, red, 0)
    Put32(s, 58, 0x0000FF00); // green
    s += std::string("\x02\x00\x00\x00\x02\x01\x00\x00", 8);
    if (withEnd)
        s += std::string("\x00\x01", 2);
    FinishSize(s);
    return s;
}

QRgb Pattern(int x, int y) {
    return qRgb((x * 37) % 256, (y * 59) % 256, (x * y * 11 + 3) % 250);
}

QImage PatternImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, Pattern(x, y));
    return image;
}

TEST(QtPictureTest, SaveThenLoadGivesThePictureBack) {
    TempDir folder;
    const fs::path file = folder / "flag.bmp";
    const QtPicture original(PatternImage(7, 5)); // odd width: rows are padded
    original.SaveToFile(file);
    EXPECT_EQ(ReadFileBytes(file).substr(0, 2), "BM");
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"flag.bmp"});

    QtPicture loaded;
    loaded.LoadFromFile(file);
    ASSERT_EQ(loaded.Width(), 7);
    ASSERT_EQ(loaded.Height(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(loaded.Image().pixel(x, y), Pattern(x, y)) << x << "," << y;
}

TEST(QtPictureTest, SaveReplacesAnExistingFile) {
    TempDir folder;
    const fs::path file = folder / "flag.bmp";
    WriteFileBytes(file, "old content");
    QtPicture(PatternImage(3, 3)).SaveToFile(file);
    QtPicture loaded;
    loaded.LoadFromFile(file);
    EXPECT_EQ(loaded.Image(), PatternImage(3, 3));
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"flag.bmp"});
}

TEST(QtPictureTest, FailedSaveKeepsTheOldFile) {
    TempDir folder;
    const fs::path file = folder / "flag.bmp";
    WriteFileBytes(file, "old content");
    fs::create_directory(folder / "taken.bmp");
    struct Case {
        const char* label;
        QtPicture picture;
        fs::path target;
    };
    const Case cases[] = {
        {"empty picture", QtPicture(), file},
        {"missing folder", QtPicture(PatternImage(2, 2)), folder / "missing" / "flag.bmp"},
        {"folder in the way", QtPicture(PatternImage(2, 2)), folder / "taken.bmp"},
    };
    for (const Case& c : cases) {
        try {
            c.picture.SaveToFile(c.target);
            ADD_FAILURE() << c.label << ": saved";
        } catch (const EPictureError& e) {
            EXPECT_EQ(
                std::string(e.what()).rfind("Cannot save the picture " + c.target.string(), 0), 0u)
                << e.what();
        }
    }
    EXPECT_EQ(ReadFileBytes(file), "old content");
    EXPECT_TRUE(fs::is_directory(folder / "taken.bmp"));
    EXPECT_FALSE(fs::exists(folder / "missing"));
    EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"flag.bmp", "taken.bmp"}));
}

TEST(QtPictureTest, LoadsHandMadeBitmaps) {
    TempDir folder;
    const auto colors = [](int x, int y) { return qRgb(x * 100, y * 100, 7); };
    struct Case {
        const char* label;
        std::string bytes;
        int width, height;
        std::function<QRgb(int, int)> expected;
    };
    const Case cases[] = {
        {"bottom-up 24-bit", Bmp24(3, 2, colors), 3, 2, colors},
        {"top-down 24-bit", Bmp24(3, 2, colors, true), 3, 2, colors},
        {"RLE8", Rle8(true), 2, 2,
         [](int, int y) { return y == 0 ? qRgb(0, 255, 0) : qRgb(255, 0, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path file = folder / "in.bmp";
        WriteFileBytes(file, c.bytes);
        QtPicture picture;
        picture.LoadFromFile(file);
        ASSERT_EQ(picture.Width(), c.width);
        ASSERT_EQ(picture.Height(), c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                EXPECT_EQ(picture.Image().pixel(x, y), c.expected(x, y)) << x << "," << y;
    }
}

TEST(QtPictureTest, RefusedFilesLeaveThePictureUnchanged) {
    TempDir folder;
    const auto gray = [](int, int) { return qRgb(128, 128, 128); };
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    PatternImage(4, 4).save(&buffer, "PNG");

    std::string truncated = Bmp24(5, 5, gray);
    truncated.pop_back();
    std::string offsetBeyond = Bmp24(2, 2, gray);
    Put32(offsetBeyond, 10, 5000);
    std::string badPlanes = Bmp24(2, 2, gray);
    Put16(badPlanes, 26, 2);
    std::string badDepth = Bmp24(2, 2, gray);
    Put16(badDepth, 28, 7);

    struct Case {
        const char* label;
        std::string bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"text", "[Definitions]\r\nOvkLanguage=English\r\n", "the file is not a bitmap"},
        {"png", png.toStdString(), "the file is not a bitmap"},
        {"empty", "", "the file is not a bitmap"},
        {"signature only", "BM", "the file is not a bitmap"},
        {"headers cut", Bmp24(2, 2, gray).substr(0, 30), "the file is truncated"},
        {"pixels cut", truncated, "the file is truncated"},
        {"pixel offset beyond the end", offsetBeyond, "the file is truncated"},
        {"RLE without end mark", Rle8(false), "the file is truncated"},
        {"two planes", badPlanes, "the file is not a bitmap"},
        {"7 bits per pixel", badDepth, "the file is not a bitmap"},
        {"zero width", BmpHeaders(0, 2, 24, 0, 0), "the file is not a bitmap"},
        {"negative width", BmpHeaders(-2, 2, 24, 0, 0), "the file is not a bitmap"},
        {"zero height", BmpHeaders(2, 0, 24, 0, 0), "the file is not a bitmap"},
        {"too wide", BmpHeaders(5000, 10, 24, 0, 0),
         "the picture is too large (5000 x 10 pixels; at most 4096 x 4096)"},
        {"too high (top-down)", BmpHeaders(10, -4097, 24, 0, 0),
         "the picture is too large (10 x 4097 pixels; at most 4096 x 4096)"},
        {"absurd", BmpHeaders(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0),
         "the picture is too large (2147483647 x 2147483647 pixels; at most 4096 x 4096)"},
    };
    const QtPicture before(PatternImage(6, 4));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path file = folder / "bad.bmp";
        WriteFileBytes(file, c.bytes);
        QtPicture picture = before;
        try {
            picture.LoadFromFile(file);
            ADD_FAILURE() << "loaded";
        } catch (const EPictureError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot load the picture " + file.string() + ": " + c.reason);
        }
        EXPECT_EQ(picture.Image(), before.Image());
    }
    for (const fs::path& file : {folder / "missing.bmp", folder.Path()}) {
        QtPicture picture = before;
        EXPECT_THROW(picture.LoadFromFile(file), EPictureError) << file;
        EXPECT_EQ(picture.Image(), before.Image());
    }
}

QImage Filled(int width, int height, QRgb color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);

// Whether every pixel satisfies `expected(x, y, pixel)`.
::testing::AssertionResult AllPixels(const QImage& image,
                                     const std::function<bool(int, int, QRgb)>& expected) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!expected(x, y, image.pixel(x, y)))
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is #" << std::hex << image.pixel(x, y);
    return ::testing::AssertionSuccess();
}

TEST(QtPictureTest, FillWithoutBlueCoversThePicture) {
    QImage image = PatternImage(40, 30);
    image.setPixel(3, 3, qRgb(0, 0, 254)); // almost blue is not the border
    image.setPixel(4, 3, qRgb(1, 0, 255));
    QtPicture picture(image);
    picture.FloodFill(0, 0, clBlue, clWhite);
    EXPECT_TRUE(AllPixels(picture.Image(), [](int, int, QRgb p) { return p == kWhite; }));
    // Filling again with the colour it already has ends too.
    picture.FloodFill(5, 5, clBlue, clWhite);
    EXPECT_TRUE(AllPixels(picture.Image(), [](int, int, QRgb p) { return p == kWhite; }));
}

TEST(QtPictureTest, BlueBorderStopsTheFill) {
    const QRgb red = qRgb(255, 0, 0), gray = qRgb(90, 90, 90);
    QImage image = Filled(9, 9, gray);
    QPainter painter(&image);
    painter.fillRect(2, 2, 5, 5, kBlue);
    painter.fillRect(3, 3, 3, 3, red);
    painter.end();
    const auto inRing = [](int x, int y) { return x >= 2 && x <= 6 && y >= 2 && y <= 6; };
    const auto inside = [](int x, int y) { return x >= 3 && x <= 5 && y >= 3 && y <= 5; };

    QtPicture outer(image);
    outer.FloodFill(0, 0, clBlue, clWhite);
    EXPECT_TRUE(AllPixels(outer.Image(), [&](int x, int y, QRgb p) {
        return p == (inside(x, y) ? red : inRing(x, y) ? kBlue : kWhite);
    }));

    QtPicture inner(image);
    inner.FloodFill(4, 4, clBlue, TColor{0, 200, 0});
    EXPECT_TRUE(AllPixels(inner.Image(), [&](int x, int y, QRgb p) {
        return p == (inside(x, y) ? qRgb(0, 200, 0) : inRing(x, y) ? kBlue : gray);
    }));
}

TEST(QtPictureTest, FillSpreadsOnlyToTheFourNeighbours) {
    // A diagonal line of blue seals the corner off: only a diagonal step would cross it.
    QImage image = Filled(5, 5, qRgb(10, 20, 30));
    for (int x = 0; x < 5; ++x)
        image.setPixel(x, 4 - x, kBlue);
    QtPicture picture(image);
    picture.FloodFill(0, 0, clBlue, clWhite);
    EXPECT_TRUE(AllPixels(picture.Image(), [](int x, int y, QRgb p) {
        return p == (x + y < 4 ? kWhite : x + y == 4 ? kBlue : qRgb(10, 20, 30));
    }));
}

TEST(QtPictureTest, FillThatCannotStartChangesNothing) {
    QImage image = PatternImage(8, 8);
    image.setPixel(0, 0, kBlue);
    QImage transparentBlue(4, 4, QImage::Format_ARGB32);
    transparentBlue.fill(qRgba(200, 0, 0, 255));
    transparentBlue.setPixel(0, 0, qRgba(0, 0, 255, 0));
    struct Case {
        const char* label;
        QImage image;
        int x, y;
    };
    const Case cases[] = {
        {"blue start", image, 0, 0},
        {"transparent blue start", transparentBlue, 0, 0},
        {"left of the picture", PatternImage(8, 8), -1, 0},
        {"below the picture", PatternImage(8, 8), 0, 8},
        {"right of the picture", PatternImage(8, 8), 8, 3},
        {"empty picture", QImage(), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QtPicture picture(c.image);
        const QImage before = picture.Image();
        picture.FloodFill(c.x, c.y, clBlue, clWhite);
        EXPECT_EQ(picture.Image(), before);
    }
}

TEST(QtPictureTest, FillOfALargeWindingAreaDoesNotExhaustTheStack) {
    // Vertical blue walls, open alternately at the bottom and at the top, make one snake
    // of 1-pixel corridors through the whole picture.
    const int size = 2048;
    QImage image = Filled(size, size, qRgb(40, 40, 40));
    for (int x = 1; x < size; x += 2) {
        const bool openAtBottom = (x / 2) % 2 == 0;
        for (int y = 0; y < size; ++y) {
            if (openAtBottom ? y != size - 1 : y != 0)
                image.setPixel(x, y, kBlue);
        }
    }
    QtPicture picture(image);
    picture.FloodFill(0, 0, clBlue, clWhite);
    EXPECT_EQ(picture.Image().pixel(size - 2, size - 1), kWhite);
    EXPECT_TRUE(AllPixels(picture.Image(), [&](int x, int y, QRgb p) {
        return p == (image.pixel(x, y) == kBlue ? kBlue : kWhite);
    }));
}

TEST(QtPictureTest, ConversionsAndCopies) {
    const QImage image = PatternImage(5, 4);
    const QtPicture picture(image);
    EXPECT_EQ(picture.Image(), image);
    EXPECT_EQ(QtPicture(picture.ToPixmap()).Image(), image);

    std::unique_ptr<IPicture> copy = picture.Clone();
    copy->FloodFill(0, 0, clBlue, clWhite);
    EXPECT_EQ(picture.Image(), image); // the clone does not share pixels once changed
    EXPECT_EQ(ImageOfPicture(copy.get()).pixel(4, 3), kWhite);

    // Palette and alpha pictures are stored in a 32-bit format.
    const QtPicture indexed(image.convertToFormat(QImage::Format_Indexed8));
    EXPECT_EQ(indexed.Image().format(), QImage::Format_RGB32);
    QImage alpha(2, 2, QImage::Format_ARGB32_Premultiplied);
    alpha.fill(Qt::transparent);
    EXPECT_EQ(QtPicture(alpha).Image().format(), QImage::Format_ARGB32);

    const std::unique_ptr<IPicture> made = QtPictureFactory()();
    ASSERT_NE(dynamic_cast<QtPicture*>(made.get()), nullptr);
    EXPECT_TRUE(made->Empty());
    EXPECT_EQ(made->Width(), 0);
    EXPECT_TRUE(ImageOfPicture(nullptr).isNull());
}

TEST(QtPictureTest, ScaledPicturesKeepEdgesSharp) {
    // Columns of alternate greys. Each column of the result shows the source it covers, in
    // proportion: pure where it lies within one source column, mixed only where it
    // straddles two. Smoothing up blurs the pure ones; plain sampling leaves the mixed ones
    // pure and the columns unevenly wide.
    const auto grey = [](int column) { return column % 2 == 0 ? 20 : 230; };
    const struct {
        int from, to;
    } cases[] = {{16, 32}, {16, 48}, {16, 24}, {16, 20}, {24, 29}, {24, 16}, {24, 58}};
    for (const auto& [from, to] : cases) {
        SCOPED_TRACE(testing::Message() << from << " to " << to);
        QImage stripes(from, 3, QImage::Format_RGB32);
        for (int x = 0; x < from; ++x)
            for (int y = 0; y < 3; ++y)
                stripes.setPixel(x, y, qRgb(grey(x), grey(x), grey(x)));
        const QImage scaled = ScaledPictureImage(stripes, QSize(to, 7));
        ASSERT_EQ(scaled.size(), QSize(to, 7));
        for (int x = 0; x < to; ++x) {
            const double left = double(x) * from / to, right = double(x + 1) * from / to;
            double covered = 0;
            for (int column = int(left); column < right; ++column)
                covered +=
                    (std::min(right, column + 1.0) - std::max(left, double(column))) * grey(column);
            EXPECT_NEAR(qGreen(scaled.pixel(x, 3)), covered / (right - left), 4) << x;
            EXPECT_EQ(scaled.pixel(x, 0), scaled.pixel(x, 6)) << x;
        }
    }
}

TEST(QtPictureTest, PictureIconsFitLikeIconsOfPixmapsAtTheScreensResolution) {
    const struct {
        QSize picture;
        qreal ratio;
        QSize pixmap;
    } cases[] = {
        {{16, 16}, 1.0, {16, 16}}, {{16, 16}, 2.0, {32, 32}}, {{24, 16}, 1.0, {16, 10}},
        {{24, 16}, 2.0, {32, 20}}, {{24, 16}, 1.5, {24, 15}}, {{32, 32}, 2.0, {32, 32}},
        {{4, 3}, 1.0, {4, 3}},     {{4, 3}, 2.0, {4, 3}}, // never beyond its own size
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(testing::Message()
                     << row.picture.width() << "x" << row.picture.height() << " at " << row.ratio);
        const QImage picture = PatternImage(row.picture.width(), row.picture.height());
        const QIcon icon = PictureIcon(picture);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.availableSizes().value(0), row.picture);
        const QPixmap pixmap = icon.pixmap(QSize(16, 16), row.ratio);
        EXPECT_EQ(pixmap.size(), row.pixmap);
        // Drawn in the same place as the picture at ratio 1.
        EXPECT_EQ(pixmap.deviceIndependentSize(),
                  QIcon(QPixmap::fromImage(picture)).pixmap(QSize(16, 16), 1.0).size());
        if (pixmap.size() == row.picture * 2) {
            EXPECT_EQ(pixmap.toImage().convertToFormat(QImage::Format_RGB32),
                      picture.scaled(row.pixmap, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        }
        EXPECT_NE(icon.pixmap(QSize(16, 16), row.ratio, QIcon::Disabled).toImage(),
                  pixmap.toImage());
    }
    EXPECT_TRUE(PictureIcon(QImage()).isNull());
}

} // namespace
} // namespace tavrel

#include "ErrorBox.h"

#include "EditorArtwork.h"
#include "EditorTestSupport.h"
#include "EditorWidgets.h"

#include <algorithm>
#include <cmath>
#include <QMessageBox>
#include <stdexcept>
#include <vector>

namespace tavrel::editor::test {
namespace {

using ErrorBoxTest = EditorFixture;

TEST(ErrorBoxText, AppendsAFullStopAfterCharactersAboveIt) {
    const std::pair<QString, QString> cases[] = {
        {"Unable to write to x", "Unable to write to x."},
        {"Done.", "Done."},
        {"Why?", "Why?."},
        {"List index out of bounds (-1)", "List index out of bounds (-1)"},
        {"dash-", "dash-"},
        {"", ""},
        {QString::fromUtf8("café"), QString::fromUtf8("café.")},
    };
    for (const auto& [message, text] : cases)
        EXPECT_EQ(ErrorBoxText(message), text) << message.toStdString();
}

TEST(ErrorBoxText, MessagesAreReadAsUtf8) {
    EXPECT_EQ(ExceptionMessage(std::runtime_error("caf\xC3\xA9")), QString::fromUtf8("café"));
    // A path of other bytes cannot hide the rest of the message.
    EXPECT_EQ(ExceptionMessage(std::runtime_error("caf\xE9 x")), QStringLiteral(u"caf\uFFFD x"));
}

TEST_F(ErrorBoxTest, RealBoxShowsTheMessageWithTheApplicationTitle) {
    SetErrorPresenter({});
    const auto seen = OnNextModal<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "lngedit");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->text(), "Unable to write to x.");
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    RunGuarded([] { throw std::runtime_error("Unable to write to x"); });
    EXPECT_TRUE(*seen);
}

// An object whose event handler fails, as a handler without a guard would.
class Failing : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User)
            throw std::runtime_error("handler failed");
        return QObject::event(event);
    }
};

TEST_F(ErrorBoxTest, FailuresEscapingAnEventAreShownAndTheLoopGoesOn) {
    Failing target;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&target, &event);
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_EQ(errors, (QStringList{"handler failed.", "handler failed."}));
    RunGuarded([] { throw 42; });
    EXPECT_EQ(errors.size(), 3);
}

TEST(EditorArtwork, ToolImagesComeInThreeMatchingLists) {
    const TImageList lists[] = {EnabledToolImages(), DisabledToolImages(), HotToolImages()};
    for (const TImageList& list : lists) {
        ASSERT_EQ(list.size(), kToolImageCount);
        for (const QPixmap& image : list)
            EXPECT_EQ(image.size(), QSize(16, 16));
    }
    for (int i = 0; i < kToolImageCount; ++i) {
        EXPECT_NE(lists[0][i].toImage(), lists[2][i].toImage()) << i;
        const QImage grey = lists[1][i].toImage();
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_TRUE(qAlpha(grey.pixel(x, y)) == 0 ||
                            qRed(grey.pixel(x, y)) == qBlue(grey.pixel(x, y)));
    }
    const QImage flags = DefaultFlagsImage();
    EXPECT_EQ(flags.size(), QSize(16, 16));
    EXPECT_NE(flags.pixel(0, 15), flags.pixel(0, 1)) << "background differs from the flags";
}

// The icons of the tool bar and of the folder button, as the window makes them.
std::vector<std::pair<const char*, QIcon>> ArtworkIcons() {
    const TImageList enabled = EnabledToolImages(), disabled = DisabledToolImages(),
                     hot = HotToolImages();
    return {{"check", ToolIcon(enabled, disabled, hot, CheckImage)},
            {"minus", ToolIcon(enabled, disabled, hot, MinusImage)},
            {"plus", ToolIcon(enabled, disabled, hot, PlusImage)},
            {"refresh", ToolIcon(enabled, disabled, hot, RefreshImage)},
            {"folder", OpenFolderIcon()}};
}

QImage Pixels(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

// How many pixels differ by more than a quarter of the range in some channel.
int CountDifferent(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            count += d > 64 ? 1 : 0;
        }
    return count;
}

// The contrast ratio of two colours as legibility guidelines reckon it: 1 to 21.
double Contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
    };
    const double x = luminance(a) + 0.05, y = luminance(b) + 0.05;
    return std::max(x, y) / std::min(x, y);
}

// The median contrast with `window` of a glyph's edge: its opaque pixels that touch a
// transparent one.
double EdgeContrast(const QImage& image, const QColor& window) {
    std::vector<double> edge;
    const auto clear = [&image](int x, int y) {
        return !image.valid(x, y) || qAlpha(image.pixel(x, y)) < 50;
    };
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 200 &&
                (clear(x - 1, y) || clear(x + 1, y) || clear(x, y - 1) || clear(x, y + 1)))
                edge.push_back(Contrast(QColor::fromRgb(image.pixel(x, y)), window));
    if (edge.empty())
        return 0;
    std::nth_element(edge.begin(), edge.begin() + edge.size() / 2, edge.end());
    return edge[edge.size() / 2];
}

class ScopedPalette {
public:
    explicit ScopedPalette(const QPalette& palette) : old_(QApplication::palette()) {
        QApplication::setPalette(palette);
    }
    ~ScopedPalette() { QApplication::setPalette(old_); }

private:
    QPalette old_;
};

TEST(EditorArtwork, IconsAreDrawnAnewAtTwiceThePixelRatio) {
    const TImageList lists[] = {EnabledToolImages(), DisabledToolImages(), HotToolImages()};
    const QIcon::Mode modes[] = {QIcon::Normal, QIcon::Disabled, QIcon::Active};
    for (int i = 0; i < kToolImageCount; ++i) {
        const QIcon icon = ToolIcon(lists[0], lists[1], lists[2], i);
        for (int m = 0; m < 3; ++m) {
            SCOPED_TRACE(testing::Message() << "image " << i << ", mode " << m);
            const QImage small = Pixels(lists[m][i]);
            EXPECT_EQ(Pixels(icon.pixmap(QSize(16, 16), 1.0, modes[m])), small);
            const QPixmap large = icon.pixmap(QSize(16, 16), 2.0, modes[m]);
            ASSERT_EQ(large.size(), QSize(32, 32));
            EXPECT_EQ(large.devicePixelRatio(), 2.0);
            // Neither the small image doubled pixel for pixel nor smoothed up.
            for (Qt::TransformationMode scaling :
                 {Qt::FastTransformation, Qt::SmoothTransformation})
                EXPECT_GT(CountDifferent(Pixels(large),
                                         small.scaled(32, 32, Qt::IgnoreAspectRatio, scaling)),
                          8);
        }
    }
    // Straight outlines stay one device pixel thick: down the middle column of the minus
    // and the plus come a transparent pixel, one outline pixel, then the fill.
    const auto icons = ArtworkIcons();
    for (const auto& [index, top] : {std::pair{MinusImage, 12}, std::pair{PlusImage, 4}}) {
        const QImage large = Pixels(icons[index].second.pixmap(QSize(16, 16), 2.0));
        SCOPED_TRACE(icons[index].first);
        EXPECT_EQ(qAlpha(large.pixel(16, top - 1)), 0);
        EXPECT_EQ(qAlpha(large.pixel(16, top)), 255);
        EXPECT_LT(QColor(large.pixel(16, top)).lightness() + 40,
                  QColor(large.pixel(16, top + 1)).lightness());
        EXPECT_EQ(large.pixel(16, top + 1), large.pixel(16, top + 2));
    }
}

TEST(EditorArtwork, GlyphsStandOutOnLightAndDarkPalettes) {
    // Made before the palette changes: icons follow the palette whenever they are drawn.
    const auto icons = ArtworkIcons();
    QPalette dark(QColor(49, 54, 59), QColor(49, 54, 59));
    dark.setColor(QPalette::WindowText, QColor(252, 252, 252));
    ASSERT_TRUE(IsDarkPalette(dark));
    ASSERT_FALSE(IsDarkPalette(QApplication::palette()));
    for (const QPalette& palette : {QApplication::palette(), dark}) {
        const ScopedPalette scoped(palette);
        const QColor window = palette.color(QPalette::Window);
        const int text = palette.color(QPalette::WindowText).lightness();
        for (const auto& [name, icon] : icons)
            for (qreal ratio : {1.0, 2.0}) {
                SCOPED_TRACE(testing::Message()
                             << name << " at " << ratio << " over " << window.name().toStdString());
                for (QIcon::Mode mode : {QIcon::Normal, QIcon::Active})
                    EXPECT_GE(EdgeContrast(Pixels(icon.pixmap(QSize(16, 16), ratio, mode)), window),
                              3.0);
                // Disabled glyphs are plain to see, yet no brighter than the text on a dark
                // window, where a white emboss would outshine the enabled ones.
                const QImage disabled = Pixels(icon.pixmap(QSize(16, 16), ratio, QIcon::Disabled));
                EXPECT_GE(EdgeContrast(disabled, window), 2.0);
                int brightest = 0;
                for (int y = 0; y < disabled.height(); ++y)
                    for (int x = 0; x < disabled.width(); ++x)
                        if (qAlpha(disabled.pixel(x, y)) > 0)
                            brightest =
                                std::max(brightest, QColor(disabled.pixel(x, y)).lightness());
                if (IsDarkPalette(palette)) {
                    EXPECT_LT(brightest, text);
                }
            }
    }
}

TEST(EditorWidgets, ImageViewEnlargesAFlagPixelForPixel) {
    // Two colours over the background colour of the bottom-left pixel, which is left out.
    const QRgb red = qRgb(200, 0, 0), blue = qRgb(0, 0, 200), background = qRgb(192, 192, 192);
    QImage flag(4, 2, QImage::Format_RGB32);
    flag.fill(red);
    flag.setPixel(1, 0, blue);
    flag.setPixel(2, 1, blue);
    flag.setPixel(0, 1, background);
    TImageView view;
    view.setGeometry(0, 0, 8, 4);
    view.ShowPicture(flag);
    for (qreal ratio : {1.0, 2.0, 3.0}) {
        SCOPED_TRACE(ratio);
        QPixmap target(QSize(8, 4) * ratio);
        target.setDevicePixelRatio(ratio);
        target.fill(Qt::transparent);
        view.render(&target, QPoint(), QRegion(), QWidget::DrawChildren);
        const QImage shown = Pixels(target);
        const int cell = qRound(2 * ratio);
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb expected = flag.pixel(x / cell, y / cell);
                if (expected == background)
                    ASSERT_EQ(qAlpha(shown.pixel(x, y)), 0) << x << "," << y;
                else
                    ASSERT_EQ(shown.pixel(x, y), expected) << x << "," << y;
            }
    }
}

} // namespace
} // namespace tavrel::editor::test

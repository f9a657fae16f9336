#include "ErrorBox.h"

#include "EditorArtwork.h"
#include "EditorTestSupport.h"

#include <QMessageBox>
#include <stdexcept>

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

} // namespace
} // namespace tavrel::editor::test

// The server's flag pictures and language menus with real pictures and real files.

#include "../localize/ServerTestSupport.h"
#include "tavrel/localize/TMenuItem.h"
#include "tavrel/qt/QtPicture.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QImage>
#include <unistd.h>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;

QImage Filled(int w, int h, QColor color) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

bool AllPixels(const QImage& image, QColor color) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != color)
                return false;
    return true;
}

class ServerPictures : public ::testing::Test, protected ServerFixtureBase {
protected:
    std::unique_ptr<TOvkLocalizeServer> server;
    fs::path frenchFile;

    void SetUp() override {
        WriteDictionary("OvkDefault.Lng", "Default", "[Caption]\r\nOpen=Open\r\n");
        frenchFile = WriteDictionary("french.lng", "French");
        auto env = Environment();
        env.PictureFactory = QtPictureFactory();
        server = std::make_unique<TOvkLocalizeServer>(nullptr, env);
        server->SetLoading();
        server->Loaded();
        server->SetDicPath(Folder());
        server->RefreshLanguages();
        server->SetLanguage("French");
    }
};

TEST_F(ServerPictures, WithoutAFlagThePictureIsFilledWhiteUpToPureBlue) {
    QtPicture plain(Filled(8, 6, Qt::red));
    EXPECT_FALSE(server->LoadLanguageImage(plain));
    EXPECT_TRUE(AllPixels(plain.Image(), Qt::white));

    // A pure-blue column stops the fill; a blue start pixel leaves everything unchanged.
    QImage walled = Filled(8, 6, Qt::red);
    for (int y = 0; y < 6; ++y)
        walled.setPixelColor(4, y, QColor(0, 0, 255));
    QtPicture wall(walled);
    EXPECT_FALSE(server->LoadLanguageImage(wall));
    EXPECT_EQ(wall.Image().pixelColor(3, 5), QColor(Qt::white));
    EXPECT_EQ(wall.Image().pixelColor(4, 0), QColor(0, 0, 255));
    EXPECT_EQ(wall.Image().pixelColor(5, 0), QColor(Qt::red));

    QtPicture blue(Filled(3, 3, QColor(0, 0, 255)));
    server->LoadLanguageImage(blue);
    EXPECT_TRUE(AllPixels(blue.Image(), QColor(0, 0, 255)));
}

TEST_F(ServerPictures, SavedFlagsLoadBackAndBadFilesAreTreatedAsMissing) {
    server->SaveLanguageImage(QtPicture(Filled(16, 16, Qt::green)));
    const fs::path flag = dictionaries / "french.bmp";
    ASSERT_TRUE(fs::is_regular_file(flag));
    QtPicture loaded(Filled(2, 2, Qt::red));
    EXPECT_TRUE(server->LoadLanguageImage(loaded));
    EXPECT_EQ(loaded.Image().size(), QSize(16, 16));
    EXPECT_TRUE(AllPixels(loaded.Image(), Qt::green));

    WriteFileBytes(flag, "BM this is not a bitmap");
    QtPicture fallback(Filled(2, 2, Qt::red));
    EXPECT_FALSE(server->LoadLanguageImage(fallback));
    EXPECT_TRUE(AllPixels(fallback.Image(), Qt::white));
}

TEST_F(ServerPictures, SavingNeverRaises) {
    // The flag's place is taken by a folder: the save fails silently.
    fs::create_directory(dictionaries / "french.bmp");
    EXPECT_NO_THROW(server->SaveLanguageImage(QtPicture(Filled(4, 4, Qt::green))));
    EXPECT_TRUE(fs::is_directory(dictionaries / "french.bmp"));
}

TEST_F(ServerPictures, NewLanguageSavesItsFlagBesideTheDictionary) {
    const QtPicture flag(Filled(16, 16, Qt::yellow));
    const fs::path file = server->NewLanguage("english", &flag);
    EXPECT_TRUE(fs::is_regular_file(dictionaries / "OvkE5242LISHA.bmp"));
    EXPECT_EQ(file, dictionaries / "OvkE5242LISHA.Lng");

    // A name that is refused writes no picture either.
    EXPECT_THROW(server->NewLanguage("", &flag), std::invalid_argument);
    EXPECT_FALSE(fs::exists(dictionaries / "OvkA.bmp"));
}

// A flag name another user linked to a file of the writer's is never written through; a
// link the writer made is, and stays a link.
TEST_F(ServerPictures, FlagWritesFollowOnlyTheWritersOwnLinks) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    const QtPicture flag(Filled(16, 16, Qt::yellow));
    struct Case {
        const char* language;
        uid_t linkOwner;
        bool written;
    };
    for (const Case& c : {Case{"German", 54321, false}, Case{"Dutch", ::geteuid(), true}}) {
        SCOPED_TRACE(c.language);
        TempDir elsewhere;
        const fs::path precious = elsewhere / "precious.bmp";
        WriteFileBytes(precious, "the writer's own file");
        const fs::path dictionary = server->NewLanguage(c.language, nullptr);
        fs::path link = dictionary;
        link.replace_extension(".bmp");
        fs::create_symlink(precious, link);
        ASSERT_EQ(::lchown(link.c_str(), c.linkOwner, c.linkOwner), 0);

        const std::string message =
            MessageOf([&] { server->SaveLanguageImageOf(c.language, flag); });
        EXPECT_TRUE(fs::is_symlink(link));
        if (c.written) {
            EXPECT_EQ(message, "<no exception>");
            EXPECT_EQ(ReadFileBytes(precious).substr(0, 2), "BM");
        } else {
            EXPECT_EQ(message, "Unable to write to " + link.string() +
                                   " (the file is a link made by another user)");
            EXPECT_EQ(ReadFileBytes(precious), "the writer's own file");
            // Creating the language again with a flag says so as well, and keeps the file.
            EXPECT_EQ(MessageOf([&] { server->NewLanguage(c.language, &flag); }), message);
            EXPECT_EQ(ReadFileBytes(precious), "the writer's own file");
            EXPECT_EQ(server->LanguageFileName(c.language), dictionary.string());
        }
    }
}

TEST_F(ServerPictures, MenuItemsShowFlagsAndBadFlagsAreLeftOut) {
    server->SaveLanguageImage(QtPicture(Filled(16, 16, Qt::green)));
    WriteFileBytes(dictionaries / "OvkDefault.bmp", "garbage");
    TMenuItem parent;
    server->FillLanguageMenu(parent, true, true);
    ASSERT_EQ(parent.Count(), 2);
    EXPECT_EQ(parent.Items(0)->Caption(), "Default");
    EXPECT_EQ(parent.Items(0)->Bitmap(), nullptr);
    ASSERT_NE(parent.Items(1)->Bitmap(), nullptr);
    EXPECT_EQ(parent.Items(1)->Bitmap()->Width(), 16);

    server->FillLanguageMenu(parent, true, false);
    EXPECT_EQ(parent.Items(1)->Bitmap(), nullptr);
}

} // namespace
} // namespace tavrel::test

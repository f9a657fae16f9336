// Flag pictures a stranger put into the dictionary folder: cut short, enormous, or no
// bitmap at all. Loading refuses them with a clear error, leaves the picture as it was and
// never blocks; the server falls back to the blank flag, menus go without it, and lngtool
// reports the error without touching the stored flag.

#include "ReliabilitySupport.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtPicture.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <memory>
#include <QGuiApplication>
#include <sys/stat.h>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Pictures need a GUI application object, on the off-screen platform.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    char name_[32] = "tavrel_reliability_picture";
    char* argv_[2] = {name_, nullptr};
    int argc_ = 1;
    std::unique_ptr<QGuiApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A good 24-bit bitmap of 8 x 8 pixels, as the picture layer writes it.
std::string GoodBitmap(const fs::path& folder) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(qRgb(200, 10, 10));
    QtPicture(image).SaveToFile(folder / "good.bmp");
    return ReadFileBytes(folder / "good.bmp");
}

struct BadBitmap {
    std::string name;
    std::string bytes;
    std::string reason; // part of the error message
};

std::vector<BadBitmap> BadBitmaps(const std::string& good) {
    std::vector<BadBitmap> list{
        {"empty", "", "the file is not a bitmap"},
        {"text", "hello, I am no picture", "the file is not a bitmap"},
        {"png", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s, "the file is not a bitmap"},
        {"header only", good.substr(0, 14), "the file is not a bitmap"},
        {"cut in the header", good.substr(0, 30), "the file is truncated"},
        {"cut in the pixels", good.substr(0, good.size() / 2), "the file is truncated"},
        {"one byte short", good.substr(0, good.size() - 1), "the file is truncated"},
    };
    std::string huge = good;
    PutU32(huge, 18, 100000);
    PutU32(huge, 22, 100000);
    list.push_back({"huge sides", huge, "the picture is too large"});
    std::string negative = good;
    PutU32(negative, 18, 0xFFFFFFF0u);
    list.push_back({"negative width", negative, "the file is not a bitmap"});
    std::string depth = good;
    depth[28] = 7;
    list.push_back({"odd depth", depth, "the file is not a bitmap"});
    std::string offset = good;
    PutU32(offset, 10, 0x7FFFFFFF);
    list.push_back({"pixels beyond the end", offset, "the file is truncated"});
    // 8-bit run-length data that never reaches its end-of-picture mark.
    std::string rle = good.substr(0, 54);
    PutU32(rle, 10, 54 + 1024);
    rle[28] = 8;
    PutU32(rle, 30, 1);
    rle += std::string(1024, '\0') + std::string("\x04\x01\x04\x01", 4);
    list.push_back({"endless run-length data", rle, "the file is truncated"});
    return list;
}

TEST(BadPicture, LoadingRefusesWithAClearErrorAndKeepsThePicture) {
    TempDir dir;
    const std::string good = GoodBitmap(dir.Path());
    std::vector<BadBitmap> cases = BadBitmaps(good);
    for (const auto& c : cases)
        WriteFileBytes(dir / (c.name + ".bmp"), c.bytes);
    // A file beyond any accepted picture, without writing its bytes.
    WriteFileBytes(dir / "giant.bmp", "BM");
    fs::resize_file(dir / "giant.bmp", std::uintmax_t{200} << 20);
    cases.push_back({"giant", "", "the file is too large"});
    fs::create_directory(dir / "folder.bmp");
    cases.push_back({"folder", "", "it is not a file"});
    ASSERT_EQ(::mkfifo((dir / "fifo.bmp").c_str(), 0644), 0);
    cases.push_back({"fifo", "", "it is not a file"});
    cases.push_back({"missing", "", "the file does not exist"});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QtPicture picture(QImage(3, 2, QImage::Format_RGB32));
        try {
            picture.LoadFromFile(dir / (c.name + ".bmp"));
            ADD_FAILURE() << "loaded";
        } catch (const EPictureError& e) {
            const std::string message = e.what();
            EXPECT_EQ(
                message.rfind("Cannot load the picture " + (dir / (c.name + ".bmp")).string(), 0),
                0u)
                << message;
            EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        }
        EXPECT_EQ(picture.Width(), 3);
        EXPECT_EQ(picture.Height(), 2);
    }
    QtPicture picture;
    picture.LoadFromFile(dir / "good.bmp");
    EXPECT_EQ(picture.Width(), 8);
}

class BadFlags : public ::testing::Test {
protected:
    ScopedUserFolders folders;
    TempDir dict, scratch;

    std::unique_ptr<TOvkLocalizeServer> Server() {
        TLocalizeEnvironment env;
        env.SettingsFile = folders.SettingsFile();
        env.DefaultFolder = folders.DataHome() / "Tavrel" / "Localize";
        env.PictureFactory = QtPictureFactory();
        auto server = std::make_unique<TOvkLocalizeServer>(nullptr, env);
        server->SetDicPath(dict.Path().string());
        server->RefreshLanguages();
        return server;
    }
};

TEST_F(BadFlags, TheServerFallsBackToTheBlankFlagAndMenusGoWithout) {
    const std::string good = GoodBitmap(scratch.Path());
    const auto cases = BadBitmaps(good);
    int n = 0;
    for (const auto& c : cases) {
        const std::string base = "lang" + std::to_string(n++);
        WriteFileBytes(dict / (base + ".Lng"), "[Definitions]\r\nOvkLanguage=" + c.name + "\r\n");
        WriteFileBytes(dict / (base + ".bmp"), c.bytes);
    }
    WriteFileBytes(dict / "good.Lng", "[Definitions]\r\nOvkLanguage=Good\r\n");
    WriteFileBytes(dict / "good.bmp", good);
    const FolderState before = Snapshot(dict.Path());
    auto server = Server();

    TMenuItem menu;
    server->FillLanguageMenu(menu, true, true);
    ASSERT_EQ(menu.Count(), static_cast<int>(cases.size()) + 1);
    for (int i = 0; i < menu.Count(); ++i) {
        const TMenuItem* item = menu.Items(i);
        SCOPED_TRACE(item->Caption());
        EXPECT_EQ(item->Bitmap() != nullptr, item->Caption() == "Good");
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server->SetLanguage(c.name);
        QtPicture flag(QImage(4, 4, QImage::Format_RGB32));
        EXPECT_FALSE(server->LoadLanguageImage(flag));
        EXPECT_EQ(flag.Width(), 4);
        EXPECT_EQ(flag.Image().pixel(3, 3), qRgb(255, 255, 255)) << "not the blank flag";
    }
    server->SetLanguage("Good");
    QtPicture flag;
    EXPECT_TRUE(server->LoadLanguageImage(flag));
    EXPECT_EQ(Snapshot(dict.Path()), before) << "reading flags changed the folder";
}

TEST_F(BadFlags, LngtoolReportsABadPictureAndKeepsTheStoredFlag) {
    const std::string good = GoodBitmap(scratch.Path());
    WriteFileBytes(scratch / "cut.bmp", good.substr(0, good.size() / 2));
    auto server = Server();
    const fs::path english = server->NewLanguage("English", nullptr);
    const fs::path flag = fs::path(english).replace_extension(".bmp");
    WriteFileBytes(flag, good);
    server.reset();

    auto run = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv{LNGTOOL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        fs::remove(scratch / "out");
        fs::remove(scratch / "err");
        Child child(argv, scratch / "out", scratch / "err");
        const int status = child.Wait();
        return std::make_pair(status, ReadFileBytes(scratch / "err"));
    };
    for (const auto& args :
         {std::vector<std::string>{"image", "English", "--import", (scratch / "cut.bmp").string()},
          std::vector<std::string>{"new", "German", "--image", (scratch / "cut.bmp").string()}}) {
        SCOPED_TRACE(args[0]);
        const auto [status, err] = run(args);
        EXPECT_EQ(status, 1) << err;
        EXPECT_EQ(err.rfind("lngtool: Cannot load the picture " + (scratch / "cut.bmp").string() +
                                ": the file is truncated",
                            0),
                  0u)
            << err;
    }
    EXPECT_EQ(ReadFileBytes(flag), good);
    EXPECT_EQ(TemporaryFiles(Snapshot(dict.Path())), std::vector<std::string>{});
}

// A hand-edited store whose paths hold an escaped NUL: to the system such a path is its part
// before the NUL, here a file that is no flag. Saving the flag must not replace that file
// (the server passes no such path on, and Qt refuses file names holding NUL as well).
TEST_F(BadFlags, AStoredPathHoldingNulNeverLetsAFlagReplaceAnotherFile) {
    const fs::path victim = scratch / "victim.txt";
    WriteFileBytes(victim, "precious");
    fs::create_directories(folders.SettingsFile().parent_path());
    WriteFileBytes(folders.SettingsFile(),
                   "[Others]\r\nActualLanguage=English\r\n[Languages]\r\nEnglish=" +
                       victim.string() + "%00/x.lng\r\n");
    TLocalizeEnvironment env;
    env.SettingsFile = folders.SettingsFile();
    env.DefaultFolder = dict.Path();
    env.PictureFactory = QtPictureFactory();
    TOvkLocalizeServer server(nullptr, env);
    server.SetLoading();
    server.Loaded();
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    server.SaveLanguageImage(QtPicture(image));
    EXPECT_EQ(ReadFileBytes(victim), "precious");
}

} // namespace
} // namespace tavrel::test

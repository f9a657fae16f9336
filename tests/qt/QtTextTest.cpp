#include "tavrel/qt/QtText.h"

#include <gtest/gtest.h>
#include <string>

namespace tavrel {
namespace {

TEST(QtTextTest, TextOfEveryScriptRoundTrips) {
    const char* texts[] = {
        "",      "Français € &Edit",       "Łódź", "Русский", "Ελληνικά", "日本語", "العربية",
        "עברית", "emoji 😀 outside the BMP"};
    for (const char* utf8 : texts) {
        const QString text = ToQString(utf8);
        EXPECT_EQ(text, QString::fromUtf8(utf8));
        EXPECT_EQ(FromQString(text), utf8);
    }
    // A surrogate pair is one character in UTF-8.
    EXPECT_EQ(FromQString(QStringLiteral(u"x😀")), "x\xF0\x9F\x98\x80");
}

TEST(QtTextTest, BrokenBytesShowAsReplacementCharacters) {
    EXPECT_EQ(ToQString("caf\xE9"), QStringLiteral(u"caf\uFFFD"));
    EXPECT_EQ(ToQString(std::string_view("a\0b", 3)).size(), 3);
}

} // namespace
} // namespace tavrel

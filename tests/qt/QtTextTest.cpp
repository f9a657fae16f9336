#include "tavrel/qt/QtText.h"

#include "tavrel/storage/CodePage.h"

#include <gtest/gtest.h>
#include <string>

namespace tavrel {
namespace {

TEST(QtTextTest, EveryByteRoundTrips) {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    const QString text = ToQString(bytes);
    ASSERT_EQ(text.size(), 256);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(text[b].unicode(), CodePointFromCp1252(static_cast<unsigned char>(b))) << b;
    EXPECT_EQ(FromQString(text), bytes);
}

TEST(QtTextTest, KnownTexts) {
    EXPECT_EQ(ToQString("Fran\xE7"
                        "ais \x80 &Edit"),
              QStringLiteral(u"Français € &Edit"));
    EXPECT_EQ(FromQString(QStringLiteral(u"Größe – “x”")), "Gr\xF6\xDF"
                                                           "e \x96 \x93x\x94");
    EXPECT_EQ(ToQString(""), QString());
    EXPECT_EQ(FromQString(QString()), "");
}

TEST(QtTextTest, RejectsCharactersWithoutAByte) {
    struct Case {
        QString text;
        const char* message;
    };
    const Case cases[] = {
        {QStringLiteral(u"abcЖ"),
         "The character 'Ж' (U+0416) cannot be stored in the dictionary code page"},
        // A surrogate pair is named as the one character it stands for.
        {QStringLiteral(u"x😀"),
         "The character '😀' (U+1F600) cannot be stored in the dictionary code page"},
        {QString(QChar(0xD800)),
         "The character (U+D800) cannot be stored in the dictionary code page"},
        {QString(QChar(0x0080)),
         "The character (U+0080) cannot be stored in the dictionary code page"},
    };
    for (const Case& c : cases) {
        try {
            FromQString(c.text);
            ADD_FAILURE() << "accepted " << c.text.toStdString();
        } catch (const CodePageError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

} // namespace
} // namespace tavrel

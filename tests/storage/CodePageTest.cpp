#include "tavrel/storage/CodePage.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace tavrel {
namespace {

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

TEST(CodePageTest, EveryByteRoundTripsThroughItsCodePoint) {
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const char32_t cp = CodePointFromCp1252(byte);
        EXPECT_TRUE(seen.insert(cp).second) << "two bytes share U+" << std::hex << unsigned(cp);
        const auto back = Cp1252FromCodePoint(cp);
        ASSERT_TRUE(back.has_value()) << "byte " << b;
        EXPECT_EQ(*back, byte);
    }
}

TEST(CodePageTest, EveryByteRoundTripsThroughUtf8) {
    const std::string bytes = AllBytes();
    const std::string utf8 = Utf8FromCp1252(bytes);
    EXPECT_EQ(Cp1252FromUtf8(utf8), bytes);
    EXPECT_EQ(NativeFileNameFromCp1252(bytes), utf8);
}

TEST(CodePageTest, KnownMappings) {
    struct Case {
        unsigned char byte;
        char32_t codePoint;
        const char* utf8;
    };
    const Case cases[] = {
        {0x00, 0x0000, ""},         {0x41, 0x0041, "A"},        {0x7F, 0x007F, "\x7F"},
        {0x80, 0x20AC, "€"},        {0x81, 0x0081, "\xC2\x81"}, {0x8A, 0x0160, "Š"},
        {0x8D, 0x008D, "\xC2\x8D"}, {0x8F, 0x008F, "\xC2\x8F"}, {0x90, 0x0090, "\xC2\x90"},
        {0x92, 0x2019, "’"},        {0x99, 0x2122, "™"},        {0x9D, 0x009D, "\xC2\x9D"},
        {0x9F, 0x0178, "Ÿ"},        {0xA0, 0x00A0, "\xC2\xA0"}, {0xE7, 0x00E7, "ç"},
        {0xFF, 0x00FF, "ÿ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        EXPECT_EQ(CodePointFromCp1252(c.byte), c.codePoint);
        if (c.byte != 0) {
            EXPECT_EQ(Utf8FromCp1252(std::string(1, static_cast<char>(c.byte))), c.utf8);
        }
    }
    EXPECT_EQ(Utf8FromCp1252("Fran\xE7"
                             "ais"),
              "Français");
    EXPECT_EQ(Cp1252FromUtf8("Français – “quoted” €5"), "Fran\xE7"
                                                        "ais \x96 \x93quoted\x94 \x80"
                                                        "5");
}

TEST(CodePageTest, CodePointsWithoutAByte) {
    // C1 controls other than the five undefined bytes belong to no byte: their bytes carry
    // printable characters.
    for (char32_t cp : {char32_t{0x80}, char32_t{0x82}, char32_t{0x9F}, char32_t{0x100},
                        char32_t{0x416}, char32_t{0x20AD}, char32_t{0xFFFD}, char32_t{0x1F600}}) {
        EXPECT_FALSE(Cp1252FromCodePoint(cp).has_value()) << std::hex << unsigned(cp);
    }
}

TEST(CodePageTest, RejectionNamesTheCharacter) {
    struct Case {
        const char* input;
        const char* message;
    };
    const Case cases[] = {
        {"Привет", "The character 'П' (U+041F) cannot be stored in the dictionary code page"},
        {"abcЖ", "The character 'Ж' (U+0416) cannot be stored in the dictionary code page"},
        {"ok 😀", "The character '😀' (U+1F600) cannot be stored in the dictionary code page"},
        {"\xC2\x80", "The character (U+0080) cannot be stored in the dictionary code page"},
        {"Ā", "The character 'Ā' (U+0100) cannot be stored in the dictionary code page"},
    };
    for (const Case& c : cases) {
        try {
            Cp1252FromUtf8(c.input);
            ADD_FAILURE() << "accepted " << c.input;
        } catch (const CodePageError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(UnmappableCharacterMessage(0x416),
              "The character 'Ж' (U+0416) cannot be stored in the dictionary code page");
}

TEST(CodePageTest, RejectsInvalidUtf8) {
    const char* cases[] = {
        "\x80",             // lone continuation byte
        "a\xC3",            // truncated at the end
        "\xC3(",            // missing continuation
        "\xE2\x82",         // truncated three-byte form
        "\xC0\xAF",         // overlong '/'
        "\xE0\x80\xAF",     // overlong '/' in three bytes
        "\xED\xA0\x80",     // surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "\xFF",
    };
    for (const char* input : cases) {
        try {
            Cp1252FromUtf8(input);
            ADD_FAILURE() << "accepted invalid UTF-8";
        } catch (const CodePageError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("The text is not valid UTF-8", 0), 0u)
                << e.what();
        }
    }
    try {
        Cp1252FromUtf8("abc\xC3(");
        ADD_FAILURE();
    } catch (const CodePageError& e) {
        EXPECT_STREQ(e.what(), "The text is not valid UTF-8 (byte 0x28 at offset 4)");
    }
}

TEST(CodePageTest, AcceptsEmbeddedNulAndEmptyText) {
    EXPECT_EQ(Cp1252FromUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(Cp1252FromUtf8(""), "");
    EXPECT_EQ(Utf8FromCp1252(""), "");
}

} // namespace
} // namespace tavrel

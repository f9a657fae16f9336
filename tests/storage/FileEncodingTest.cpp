#include "tavrel/storage/FileEncoding.h"

#include "tavrel/storage/Utf8.h"

#include <gtest/gtest.h>
#include <string>

namespace tavrel {
namespace {

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

TEST(FileEncodingTest, EveryCp1252ByteRoundTripsThroughUtf8) {
    const std::string bytes = AllBytes();
    const std::string utf8 = Utf8FromCp1252(bytes);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8Length(utf8), 256u) << "two bytes share a character";
    EXPECT_EQ(Cp1252FromUtf8(utf8), bytes);
}

TEST(FileEncodingTest, KnownCp1252Mappings) {
    struct Case {
        unsigned char byte;
        const char* utf8;
    };
    const Case cases[] = {
        {0x41, "A"},        {0x7F, "\x7F"},     {0x80, "€"},        {0x81, "\xC2\x81"}, {0x8A, "Š"},
        {0x8D, "\xC2\x8D"}, {0x8F, "\xC2\x8F"}, {0x90, "\xC2\x90"}, {0x92, "’"},        {0x99, "™"},
        {0x9D, "\xC2\x9D"}, {0x9F, "Ÿ"},        {0xA0, "\xC2\xA0"}, {0xE7, "ç"},        {0xFF, "ÿ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        EXPECT_EQ(Utf8FromCp1252(std::string(1, static_cast<char>(c.byte))), c.utf8);
    }
    EXPECT_EQ(Cp1252FromUtf8("Français – “quoted” €5"), "Fran\xE7"
                                                        "ais \x96 \x93quoted\x94 \x80"
                                                        "5");
    // Characters without a byte: C1 controls whose bytes carry printable characters, and
    // everything outside the code page.
    for (const char* text : {"\xC2\x80", "\xC2\x9F", "Ā", "Ж", "ł", "日本", "😀", "\xEF\xBF\xBD"})
        EXPECT_FALSE(Cp1252FromUtf8(text).has_value()) << text;
}

TEST(FileEncodingTest, InvalidUtf8IsNamedByItsFirstBadByte) {
    const char* invalid[] = {
        "\x80",             // lone continuation byte
        "a\xC3",            // truncated at the end
        "\xE2\x82",         // truncated three-byte form
        "\xC0\xAF",         // overlong '/'
        "\xE0\x80\xAF",     // overlong '/' in three bytes
        "\xED\xA0\x80",     // surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xF8\x88\x80\x80\x80",
        "\xFF",
    };
    for (const char* input : invalid) {
        EXPECT_FALSE(IsValidUtf8(input));
        EXPECT_THROW(CheckUtf8(input), Utf8Error);
    }
    try {
        CheckUtf8("abc\xC3(");
        ADD_FAILURE();
    } catch (const Utf8Error& e) {
        EXPECT_STREQ(e.what(), "The text is not valid UTF-8 (byte 0x28 at offset 4)");
    }
    for (const char* valid : {"", "plain ASCII text of some length", "Łódź", "Русский", "日本語",
                              "العربية", "😀", "\xF4\x8F\xBF\xBF"})
        EXPECT_NO_THROW(CheckUtf8(valid)) << valid;
}

// The ASCII run is read eight bytes at a time: a high byte at any place of a chunk, or in
// the tail after the last whole chunk, ends it exactly there.
TEST(FileEncodingTest, TheAsciiRunEndsAtTheFirstHighByteWhereverItIs) {
    for (std::size_t size = 0; size <= 20; ++size) {
        const std::string ascii(size, 'a');
        EXPECT_EQ(AsciiPrefixLength(ascii), size);
        EXPECT_TRUE(IsAscii(ascii));
        for (std::size_t at = 0; at < size; ++at) {
            std::string text = ascii;
            text[at] = '\xC3';
            EXPECT_EQ(AsciiPrefixLength(text), at) << size << " " << at;
            EXPECT_FALSE(IsAscii(text));
            // The lone lead byte there is found by the UTF-8 check too.
            EXPECT_FALSE(IsValidUtf8(text));
        }
    }
}

TEST(FileEncodingTest, CutsCountCharactersAndNeverSplitOne) {
    struct Case {
        std::string text;
        std::size_t characters;
        std::string prefix;
    };
    const Case cases[] = {
        {"abc", 5, "abc"},
        {"abcdef", 3, "abc"},
        {"ąęść", 2, "ąę"},
        {"日本語", 2, "日本"},
        {"a😀b", 2, "a😀"},
        {"a\xFF"
         "bc",
         2, "a\xFF"}, // a broken byte counts as one character
        {std::string(300, 'x'), 255, std::string(255, 'x')},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8Prefix(c.text, c.characters), c.prefix) << c.text;
        EXPECT_EQ(Utf8Length(c.prefix), std::min(c.characters, Utf8Length(c.text)));
    }
    std::string polish;
    for (int i = 0; i < 300; ++i)
        polish += "ł";
    EXPECT_EQ(Utf8Length(Utf8Prefix(polish, 255)), 255u);
    EXPECT_EQ(Utf8Prefix(polish, 255).size(), 510u);
}

TEST(FileEncodingTest, Utf16ConversionsPairSurrogates) {
    EXPECT_EQ(Utf16FromUtf8("a😀ł"), std::u16string(u"a\U0001F600ł"));
    EXPECT_EQ(Utf8FromUtf16(u"a\U0001F600ł"), "a😀ł");
    EXPECT_EQ(Utf8FromUtf16(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

// What a file's bytes decode to: its encoding, its text, and whether writing it back can
// give every byte again.
TEST(FileEncodingTest, EachFileIsReadInItsOwnEncoding) {
    struct Case {
        const char* name;
        std::string bytes;
        FileEncoding encoding;
        std::string text;
        bool exact;
    };
    const Case cases[] = {
        {"ASCII", "[A]\r\nk=v\r\n", FileEncoding::Windows1252, "[A]\r\nk=v\r\n", true},
        {"code page",
         "k=Fran\xE7"
         "ais \x80",
         FileEncoding::Windows1252, "k=Français €", true},
        {"UTF-8 without a mark", "k=Łódź", FileEncoding::Utf8, "k=Łódź", true},
        {"UTF-8 with a mark", "\xEF\xBB\xBFk=日本", FileEncoding::Utf8Bom, "k=日本", true},
        {"mark only", "\xEF\xBB\xBF", FileEncoding::Utf8Bom, "", true},
        {"broken UTF-8 after a mark", "\xEF\xBB\xBFk=\xE7", FileEncoding::Utf8Bom, "k=\xEF\xBF\xBD",
         false},
        {"UTF-16LE", std::string("\xFF\xFEk\0=\0\x16\x04", 8), FileEncoding::Utf16Le, "k=Ж", true},
        {"UTF-16BE", std::string("\xFE\xFF\0k\0=\xD8\x3D\xDE\x00", 10), FileEncoding::Utf16Be,
         "k=😀", true},
        {"UTF-16 lone surrogate", std::string("\xFF\xFE\x00\xD8", 4), FileEncoding::Utf16Le,
         "\xEF\xBF\xBD", false},
        {"UTF-16 odd length", std::string("\xFF\xFEk\0=", 5), FileEncoding::Utf16Le,
         "k\xEF\xBF\xBD", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedFile decoded = DecodeFileBytes(c.bytes);
        EXPECT_EQ(decoded.encoding, c.encoding);
        EXPECT_EQ(decoded.exact, c.exact);
        const std::string text = decoded.same ? c.bytes.substr(decoded.offset) : decoded.converted;
        EXPECT_EQ(text, c.text);
        if (c.exact) {
            EXPECT_EQ(EncodeFileText(text, c.encoding), c.bytes) << "bytes changed on the way back";
        }
    }
}

TEST(FileEncodingTest, OnlyTheCodePageLacksCharacters) {
    const std::string text = "k=Ж ł 日本 😀";
    EXPECT_FALSE(EncodeFileText(text, FileEncoding::Windows1252).has_value());
    for (FileEncoding encoding : {FileEncoding::Utf8, FileEncoding::Utf8Bom, FileEncoding::Utf16Le,
                                  FileEncoding::Utf16Be}) {
        SCOPED_TRACE(std::string(FileEncodingName(encoding)));
        EXPECT_TRUE(HoldsEveryCharacter(encoding));
        const auto bytes = EncodeFileText(text, encoding);
        ASSERT_TRUE(bytes.has_value());
        const DecodedFile back = DecodeFileBytes(*bytes);
        EXPECT_EQ(back.encoding, encoding);
        EXPECT_EQ(back.same ? bytes->substr(back.offset) : back.converted, text);
    }
}

} // namespace
} // namespace tavrel

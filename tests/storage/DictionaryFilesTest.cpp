#include "tavrel/storage/DictionaryFiles.h"

#include "tavrel/storage/FileEncoding.h"
#include "TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

std::string Bytes(const char* text, std::size_t size) {
    return std::string(text, size);
}

TEST(DictionaryFilesTest, FromSentinel) {
    const std::pair<std::string, std::string> cases[] = {
        {"OVK", ""},      {"", ""},         {"ovk", "ovk"},   {"OVK ", "OVK "},
        {" OVK", " OVK"}, {"OVKA", "OVKA"}, {"Save", "Save"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(FromSentinel(in), out) << '"' << in << '"';
}

TEST(DictionaryFilesTest, CommaTextFromLines) {
    const std::pair<Lines, std::string> cases[] = {
        {{}, ""},
        {{""}, "\"\""},
        {{"", ""}, ","},
        {{"a"}, "a"},
        {{"a b", "c"}, "\"a b\",c"},
        {{"a", "", "b"}, "a,,b"},
        {{"x", ""}, "x,"},
        {{"", "x"}, ",x"},
        {{"a,b"}, "\"a,b\""},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        {{"\""}, "\"\"\"\""},
        {{"tab\there"}, "\"tab\there\""},
        {{"\x01"}, "\"\x01\""},
        {{" lead"}, "\" lead\""},
        {{"x\x7F", "!#$"}, "x\x7F,!#$"},
        // Upper-half bytes are ordinary characters, not controls.
        {{"Fran\xE7"
          "ais",
          "\xA0\x85\xFF"},
         "Fran\xE7"
         "ais,\xA0\x85\xFF"},
        {{"it's", "semi;colon", "a=b"}, "it's,semi;colon,a=b"},
        // NUL is quoted so that the rest of the line survives.
        {{Bytes("a\0b", 3)}, Bytes("\"a\0b\"", 5)},
    };
    for (const auto& [lines, text] : cases) {
        EXPECT_EQ(CommaTextFromLines(lines), text) << text;
    }
}

TEST(DictionaryFilesTest, LinesFromCommaText) {
    const std::pair<std::string, Lines> cases[] = {
        {"", {}},
        {"   ", {}},
        {"\"\"", {""}},
        {"a b,c", {"a", "b", "c"}},
        {"\"a b\",c", {"a b", "c"}},
        {"x,", {"x", ""}},
        {"a,,b", {"a", "", "b"}},
        {",", {"", ""}},
        {",,", {"", "", ""}},
        {",x", {"", "x"}},
        // The comma is not the last character, so no empty item follows it.
        {"x, ", {"x"}},
        {"x ,", {"x", ""}},
        {"  a ,  b  ", {"a", "b"}},
        {"\t\r\na\nb", {"a", "b"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"\"\"\"", {"\""}},
        {"\"a,b\",\"c d\"", {"a,b", "c d"}},
        // After the closing quotation mark the rest up to the delimiter is a new item.
        {"\"a\"b,c", {"a", "b", "c"}},
        {"\"a\" \"b\"", {"a", "b"}},
        {"a\"b\",c", {"a\"b\"", "c"}},
        // A missing closing quotation mark keeps everything up to the end.
        {"\"abc", {"abc"}},
        {"x,\"ab, c", {"x", "ab, c"}},
        {"\"a\"\"", {"a\""}},
        {"\"", {""}},
        {"Fran\xE7"
         "ais,\xA0\x85",
         {"Fran\xE7"
          "ais",
          "\xA0\x85"}},
        // Outside quotation marks NUL separates like a blank; inside it is kept.
        {Bytes("a\0b", 3), {"a", "b"}},
        {Bytes("a,\0", 3), {"a"}},
        {Bytes("\"a\0b\"", 5), {Bytes("a\0b", 3)}},
    };
    for (const auto& [text, lines] : cases) {
        EXPECT_EQ(LinesFromCommaText(text), lines) << text;
    }
}

// Writing then reading gives the lines back for every list, including the empty list and a
// list of one empty line (written as two quotation marks for that reason).
TEST(DictionaryFilesTest, CommaTextRoundTripsRandomLists) {
    const std::string alphabet = std::string("ab ,\"\t\x01\x1F\x7F\x80\xA0\xFFz=;'") + '\0';
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> count(0, 6), length(0, 5),
        pick(0, alphabet.size() - 1);
    for (int round = 0; round < 5000; ++round) {
        Lines lines(count(random));
        for (std::string& line : lines) {
            for (std::size_t i = length(random); i > 0; --i)
                line += alphabet[pick(random)];
        }
        const std::string text = CommaTextFromLines(lines);
        ASSERT_EQ(LinesFromCommaText(text), lines) << "comma-text: " << text;
    }
}

TEST(DictionaryFilesTest, Soundex) {
    struct Case {
        std::string text;
        std::size_t length;
        std::string code;
    };
    const Case cases[] = {
        {"", 5, ""},
        {"English", 5, "E5242"},
        {"english", 5, "E5242"},
        {"Deutsch", 5, "D3200"},
        {"New York", 5, "N6200"},
        {"Es", 5, "E2000"},
        {"Fran\xE7"
         "ais",
         5, "F6520"},
        {"Robert", 5, "R1630"},
        {"Rupert", 5, "R1630"},
        {"Tymczak", 5, "T5220"},
        {"Pfister", 5, "P2360"}, // P and f share the code 1: f is not appended
        // H and W neither code nor separate: the second s is dropped, "shs" is one 2.
        {"Ashcraft", 5, "A2613"},
        {"Awwsws", 5, "A2000"},
        // A vowel separates equal codes.
        {"Bobob", 5, "B1100"},
        // Blanks and other non-letters separate like vowels.
        {"S s-s", 5, "S2200"},
        // The six characters between Z and a code 0.
        {"B[b^b`b", 5, "B1110"},
        // The first letter takes part in the comparison with the second.
        {"Ss", 5, "S0000"},
        {"Hh", 5, "H0000"},
        {"Hs", 5, "H2000"},
        // The first character stays as it is (only a to z change case).
        {"/abc", 5, "/1200"},
        {"\xE7"
         "bc",
         5,
         "\xE7"
         "1200"},
        {"ebcdlmr", 5, "E1234"},
        {"ebcdlmr", 8, "E1234560"},
        {"ebcdlmr", 3, "E12"},
        {"ebcdlmr", 1, "E"},
        {"x", 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Soundex(c.text, c.length), c.code) << c.text << " / " << c.length;
    }
}

TEST(DictionaryFilesTest, LanguageFileBase) {
    const std::pair<std::string, std::string> cases[] = {
        {"English", "OvkE5242LISHA"},
        {"Deutsch", "OvkD3200TSCHA"},
        {"New York", "OvkN6200YORKA"},
        {"Es", "OvkE2000ESA"},
        {"", "OvkA"},
        {"Français", "OvkF6520GAISA"},
        // A name outside the code page is computed on its UTF-8 bytes.
        {"Русский", "Ovk\xD0"
                    "00000\x18"
                    "0\x19"
                    "A"},
        {"日本語", "Ovk\xE6"
                   "0000\x0CH\n\xFE"
                   "A"},
        {"Ελληνικά", "Ovk\xCE"
                     "0000.\x1A.\x0C"
                     "A"},
        {"E", "OvkE0000EA"},
        {"Eng", "OvkE5200ENGA"},
        // Characters below 'A' move up by 32, all others above 'Z' down by 160.
        {"A 0/", "OvkA0000A@POA"},
        {"Ab[{", "OvkA1000AB\xBB\xDB"
                 "A"},
        {"A\x80\xA0\xFF", "OvkA0000A\xE0" + Bytes("\0", 1) + "_A"},
        {"A\xCF\xFC\xDA", "OvkA0000A/\\:A"},
        {"\xCF", "Ovk\xCF"
                 "0000/A"},
    };
    for (const auto& [name, base] : cases)
        EXPECT_EQ(LanguageFileBase(name), base) << name;
}

TEST(DictionaryFilesTest, LanguageFileBaseSharedByLookAlikes) {
    EXPECT_EQ(LanguageFileBase("English"), LanguageFileBase("Eenglish"));
    EXPECT_EQ(LanguageFileBase("English"), LanguageFileBase("ENGLISH"));
    EXPECT_NE(LanguageFileBase("English"), LanguageFileBase("Englisch"));
}

TEST(DictionaryFilesTest, LanguageFileBaseReadsOnlyTheFirst255Characters) {
    const std::string head(254, 'b');
    // Beyond 255 characters nothing counts: the tail comes from character 255.
    EXPECT_EQ(LanguageFileBase(head + "x" + "yyyy"), LanguageFileBase(head + "x"));
    EXPECT_EQ(LanguageFileBase(head + "x" + "yyyy"), "OvkB2000BBBXA");
    // Character 255 itself still counts.
    EXPECT_NE(LanguageFileBase(head + "x"), LanguageFileBase(head + "z"));
    // The Soundex part also reads only the first 255 characters.
    EXPECT_EQ(LanguageFileBase(std::string(255, 'a') + "bcd"), "OvkA0000AAAAA");
}

// A file name component cannot hold these bytes anywhere the folder may end up.
const std::string kUnfit = std::string("/\\:*?\"<>|\x7F") + '\0';

bool IsUnfit(unsigned char c) {
    return c < 0x20 || kUnfit.find(static_cast<char>(c)) != std::string::npos;
}

TEST(DictionaryFilesTest, SafeFileBaseReplacesEveryUnfitByte) {
    int replaced = 0;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const std::string base = "Ovk" + std::string(1, static_cast<char>(byte)) + "A";
        const std::string expected = IsUnfit(byte) ? std::string("Ovk_A") : Utf8FromCp1252(base);
        EXPECT_EQ(SafeFileBase(base), expected) << "byte " << b;
        replaced += IsUnfit(byte) ? 1 : 0;
    }
    EXPECT_EQ(replaced, 32 + 10);
    EXPECT_EQ(SafeFileBase("OvkF6520GAISA"), "OvkF6520GAISA");
    EXPECT_EQ(SafeFileBase("Ovk\xE7"
                           "0000\xE9"
                           "A"),
              "Ovkç0000éA");
    // Names outside the code page give valid UTF-8 file names as well, the same every time.
    const std::pair<const char*, const char*> names[] = {{"Русский", "OvkÐ00000_0_A"},
                                                         {"Ελληνικά", "OvkÎ0000._._A"},
                                                         {"日本語", "Ovkæ0000_H_þA"},
                                                         {"العربية", "OvkØ00009ê8_A"}};
    for (const auto& [name, file] : names)
        EXPECT_EQ(SafeFileBase(LanguageFileBase(name)), file) << name;
}

TEST(DictionaryFilesTest, SafeFileBaseNeverNamesTheFolderOrItsParent) {
    EXPECT_EQ(SafeFileBase("."), "_");
    EXPECT_EQ(SafeFileBase(".."), "__");
    EXPECT_EQ(SafeFileBase("..."), "...");
    // Derived names start with "Ovk", whatever the language name, so "." and ".." and an
    // empty component never come from a language.
    for (int b = 0; b < 256; ++b) {
        for (const std::string& name :
             {std::string(1, static_cast<char>(b)), std::string(2, static_cast<char>(b)),
              "." + std::string(1, static_cast<char>(b)), std::string(300, static_cast<char>(b))}) {
            const std::string base = LanguageFileBase(name);
            ASSERT_EQ(base.rfind("Ovk", 0), 0u);
            EXPECT_EQ(SafeFileBase(base).rfind("Ovk", 0), 0u);
        }
    }
}

// Every byte, wherever the derivation puts it (first character of the Soundex part or one
// of the transformed characters), gives a name that is one usable file in the folder.
TEST(DictionaryFilesTest, SafeFileBaseOfAnyNameIsOneFileInTheFolder) {
    test::TempDir folder;
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const std::string name = std::string(1, c) + "x" + std::string(1, c);
        const std::string safe = SafeFileBase(LanguageFileBase(name));
        for (char s : safe)
            ASSERT_FALSE(IsUnfit(static_cast<unsigned char>(s))) << "byte " << b << ": " << safe;
        const fs::path file = folder.Path() / (safe + std::string(kDictionaryExtension));
        EXPECT_EQ(file.parent_path(), folder.Path());
        test::WriteFileBytes(file, "[Definitions]\r\n");
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    }
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
}

TEST(DictionaryFilesTest, SafeFileBaseOfDangerousNames) {
    const std::pair<std::string, std::string> cases[] = {
        {"A\xCF", "OvkA0000A_A"},             // 0xCF becomes '/'
        {"A\xFC", "OvkA0000A_A"},             // 0xFC becomes '\'
        {"A\xDA", "OvkA0000A_A"},             // 0xDA becomes ':'
        {"A\xA0\xBF", "OvkA0000A__A"},        // 0xA0-0xBF become NUL and controls
        {"/etc", "Ovk_3200OETCA"},            // '/' heads the Soundex part
        {"..", "Ovk.0000NNA"},                // '.' becomes 'N'
        {"A\x8A\xDC", "OvkA0000A\xC3\xAA_A"}, // 0x8A becomes 0xEA ('ê'), 0xDC '<'
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(SafeFileBase(LanguageFileBase(name)), expected) << name;
    }
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(DictionaryFilesTest, DefaultDictionaryFolder) {
    test::ScopedUserFolders folders;
    test::TempDir home;
    ScopedEnv homeEnv("HOME", home.Path().string());
    EXPECT_EQ(DefaultDictionaryFolder(), folders.DataHome() / "Tavrel" / "Localize");
    const fs::path fallback = home.Path() / ".local" / "share" / "Tavrel" / "Localize";
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/data")}) {
        ScopedEnv data("XDG_DATA_HOME", value);
        EXPECT_EQ(DefaultDictionaryFolder(), fallback) << value.value_or("(unset)");
    }
}

} // namespace
} // namespace tavrel

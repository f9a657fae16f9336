// Faults found by the fuzz targets, kept as plain tests (the inputs that found them are in
// fuzz/corpus as well).

#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;

// "[k=a]" reads back as the header of a section "k=a": such a write lost the entry and moved
// every later line of the section into another one, while reporting success.
TEST(Regression, AKeyStartingWithABracketTakesNoValueHoldingOne) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\r\nlater=1\r\n");
    ProfileFile file(path);
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"[k", "a]"}, {"[k", "]"}, {" [k", "x ] y"}}) {
        try {
            file.WriteString("S", key, value);
            ADD_FAILURE() << key << "=" << value << " accepted";
        } catch (const EIniFileException& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.string() +
                                                 " (a key cannot look like a section header)");
        }
    }
    file.WriteString("S", "[k", "no bracket");
    file.WriteString("S", "k", "a]");
    file.UpdateFile();
    ProfileFile check(path);
    EXPECT_EQ(check.ReadString("S", "[k", ""), "no bracket");
    EXPECT_EQ(check.ReadString("S", "k", ""), "a]");
    EXPECT_EQ(check.ReadString("S", "later", ""), "1");
}

// A hand-written name starting with '[' keeps its spelling when the store sets its value; a
// value holding ']' turned that line into a header and lost the value and the entries after
// it.
TEST(Regression, TheSettingsStoreWritesBracketsUnderHandWrittenNames) {
    TempDir dir;
    const fs::path path = dir / "Localize.ini";
    WriteFileBytes(path, "[Others]\r\n[0=old\r\nDicPath=/d\r\n");
    SettingsStore store(path);
    ASSERT_TRUE(store.OpenKey());
    store.WriteString("Others", "[0", "x]y");
    EXPECT_EQ(store.ReadString("Others", "[0", ""), "x]y");
    EXPECT_EQ(store.ReadString("Others", "DicPath", ""), "/d");
    std::vector<std::string> sections;
    ProfileFile(path).ReadSections(sections);
    EXPECT_EQ(sections, std::vector<std::string>{"Others"});
    // A value with brackets under the store's own names reads back as well.
    store.WriteString("Others", "Folder", "/a]b[c");
    EXPECT_EQ(store.ReadString("Others", "Folder", ""), "/a]b[c");
}

} // namespace
} // namespace tavrel::test

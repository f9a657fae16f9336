#include "tavrel/storage/ProfileFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

TEST(ProfileFileHold, AHeldFileKeepsOneStateUntilReleased) {
    TempDir dir;
    const auto file = dir / "d.Lng";
    WriteFileBytes(file, "[Caption]\r\nOpen=Ouvrir\r\n");
    ProfileFile held(file);
    held.Hold();
    {
        ProfileFile other(file);
        other.WriteString("Caption", "Open", "Abrir");
        other.WriteString("Caption", "Save", "Guardar");
        other.UpdateFile();
    }
    EXPECT_EQ(held.ReadString("Caption", "Open", ""), "Ouvrir");
    EXPECT_EQ(held.ReadString("Caption", "Save", "-"), "-");

    // Its own writes are seen at once and after they were written (merged with the file).
    held.WriteString("Caption", "Close", "Fermer");
    EXPECT_EQ(held.ReadString("Caption", "Close", ""), "Fermer");
    held.UpdateFile();
    EXPECT_EQ(held.ReadString("Caption", "Close", ""), "Fermer");
    EXPECT_EQ(held.ReadString("Caption", "Save", ""), "Guardar");

    held.Release();
    EXPECT_EQ(held.ReadString("Caption", "Open", ""), "Abrir");
    EXPECT_EQ(ReadFileBytes(file), "[Caption]\r\nOpen=Abrir\r\nSave=Guardar\r\nClose=Fermer\r\n");
}

// What is derived from a held state may be kept under it: holders of one content share the
// state, any change of the content gives a new one, and a holder with changes of its own has
// none to share.
TEST(ProfileFileHold, HoldersOfOneContentShareItsState) {
    TempDir dir;
    const auto file = dir / "d.Lng";
    WriteFileBytes(file, "[Caption]\r\nOpen=Ouvrir\r\n");
    ProfileFile first(file), second(file);
    EXPECT_EQ(first.HeldState(), nullptr) << "nothing held";
    first.Hold();
    second.Hold();
    ASSERT_NE(first.HeldState(), nullptr);
    EXPECT_EQ(first.HeldState(), second.HeldState());
    const auto before = first.HeldState();

    WriteFileBytes(file, "[Caption]\r\nOpen=Abrir\r\n"); // another program's write
    ProfileFile third(file);
    third.Hold();
    EXPECT_NE(third.HeldState(), before);
    EXPECT_EQ(first.HeldState(), before) << "a holder keeps its state";
    // Values read without a copy come from the held state, as ReadString gives them.
    EXPECT_EQ(first.ReadHeldString(" caption ", "Open "),
              std::optional<std::string_view>("Ouvrir"));
    EXPECT_EQ(first.ReadHeldString("Caption", "Close"), std::nullopt);
    EXPECT_EQ(third.ReadHeldString("Caption", "Open"), std::optional<std::string_view>("Abrir"));
    EXPECT_EQ(ProfileFile(file).ReadHeldString("Caption", "Open"), std::nullopt) << "not held";

    second.WriteString("Caption", "Save", "Enregistrer");
    EXPECT_EQ(second.HeldState(), nullptr) << "own changes are no shared state";
}

TEST(ProfileFileHold, SectionValuesComeAsReadStringGivesThem) {
    TempDir dir;
    const auto file = dir / "d.Lng";
    WriteFileBytes(file, "[A]\nk=1\nK=2\nnovalue\ne=\nq=\"x, y\"\n[a]\nz=9\n");
    const ProfileFile f(file);
    std::vector<std::pair<std::string, std::string>> entries{{"stale", "x"}};
    f.ReadSectionValues("a", entries);
    using E = std::pair<std::string, std::string>;
    EXPECT_EQ(entries, (std::vector<E>{{"k", "1"}, {"K", "1"}, {"e", ""}, {"q", "\"x, y\""}}));
    f.ReadSectionValues("missing", entries);
    EXPECT_TRUE(entries.empty());
}

} // namespace
} // namespace tavrel::test

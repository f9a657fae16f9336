#include "tavrel/storage/ProfileFile.h"

#include "AtomicFile.h"
#include "FaultSeam.h"
#include "ProfileDocument.h"
#include "tavrel/storage/FileEncoding.h"
#include "TempDir.h"

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::FolderEntries;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

struct stat StatOf(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
    return st;
}

// Sets the modification time explicitly, as another process's write would change it.
void SetMtime(const fs::path& file, time_t sec, long nsec) {
    struct timespec times[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

// ---------------------------------------------------------------------------------------
// Reading: the line syntax

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::optional<std::string> expected; // nullopt: the default comes back
};

class ProfileReadSyntax : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReadSyntax, ReadsValue) {
    const ReadCase& c = GetParam();
    TempDir dir;
    WriteFileBytes(dir / "a.Lng", c.file);
    ProfileFile file(dir / "a.Lng");
    EXPECT_EQ(file.ReadString(c.section, c.key, "<default>"), c.expected.value_or("<default>"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadSyntax,
    ::testing::Values(
        ReadCase{"CrLf", "[S]\r\nk=v\r\n", "S", "k", "v"},
        ReadCase{"Lf", "[S]\nk=v\n", "S", "k", "v"},
        ReadCase{"CrOnly", "[S]\rk=v\rx=y\r", "S", "x", "y"},
        ReadCase{"NoFinalLineEnd", "[S]\nk=v", "S", "k", "v"},
        ReadCase{"RunsOfLineEnds", "[S]\r\n\r\n\n\rk=v\n\r\n", "S", "k", "v"},
        ReadCase{"BlanksTrimmed", " \t[ S ]\x0B \n\x1A k \t=\x0C v \x1A\r\n", "S", "k", "v"},
        ReadCase{"NbspIsNotBlank", "[S]\nk=\xA0v\xA0\n", "S", "k", "\u00A0v\u00A0"},
        ReadCase{"Utf8NbspIsNotBlank", "\xEF\xBB\xBF[S]\nk=\u00A0v\u00A0\n", "S", "k",
                 "\u00A0v\u00A0"},
        ReadCase{"InnerBlanksKept", "[S]\nmy key = a  b \n", "S", "my key", "a  b"},
        ReadCase{"AsciiCaseIgnored", "[Caption]\nOpen File=x\n", "cAPTION", "open file", "x"},
        ReadCase{"NonAsciiCaseKept", "[S]\n\xC9t\xC9=1\n", "S", "\xE9t\xE9", std::nullopt},
        ReadCase{"EmptyValue", "[S]\nk=\n", "S", "k", ""},
        ReadCase{"EmptyValueBlanks", "[S]\nk=   \n", "S", "k", ""},
        ReadCase{"LineWithoutEquals", "[S]\nk\n", "S", "k", std::nullopt},
        // A key without a value is the first match of its name: a later one stays hidden.
        ReadCase{"LineWithoutEqualsHidesLaterKey", "[S]\nk\nk=v\n", "S", "k", std::nullopt},
        ReadCase{"LineWithoutEqualsMatchesTrimmed", "[S]\n  K  \nk=v\n", "S", "k", std::nullopt},
        ReadCase{"SplitAtFirstEquals", "[S]\nk=a=b\n", "S", "k", "a=b"},
        ReadCase{"CommentLine", "[S]\n;k=v\n", "S", ";k", std::nullopt},
        ReadCase{"IndentedComment", "[S]\n  ;k=v\n", "S", "k", std::nullopt},
        ReadCase{"HashIsNoComment", "[S]\n#k=v\n", "S", "#k", "v"},
        ReadCase{"BracketWithoutClose", "[S]\n[k=v\n", "S", "[k", "v"},
        ReadCase{"TextAfterClose", "[S] trailing text\nk=v\n", "S", "k", "v"},
        ReadCase{"LastCloseBracket", "[a]b]\nk=v\n", "a]b", "k", "v"},
        ReadCase{"NamelessLeadingSection", "k=v\n[S]\nx=1\n", "", "k", std::nullopt},
        ReadCase{"LeadingEntriesNotInFirst", "k=v\n[S]\nx=1\n", "S", "k", std::nullopt},
        ReadCase{"FirstDuplicateKey", "[S]\nk=1\nK=2\n", "S", "k", "1"},
        ReadCase{"FirstDuplicateSection", "[S]\na=1\n[T]\n[s]\na=2\nb=3\n", "S", "a", "1"},
        ReadCase{"OnlyFirstSectionSearched", "[S]\na=1\n[s]\nb=3\n", "S", "b", std::nullopt},
        ReadCase{"QuotesKept", "[Text]\nk=\"a b\",\"c\"\n", "Text", "k", "\"a b\",\"c\""},
        ReadCase{"SingleQuotesKept", "[S]\nk='x'\n", "S", "k", "'x'"},
        ReadCase{"ArgumentsTrimmed", "[S]\nk=v\n", " S\t", "\tk ", "v"},
        ReadCase{"MissingSection", "[S]\nk=v\n", "T", "k", std::nullopt},
        ReadCase{"MissingKey", "[S]\nk=v\n", "S", "x", std::nullopt},
        ReadCase{"KeyInLaterSection", "[S]\nk=1\n[T]\nk=2\n", "T", "k", "2"},
        ReadCase{"HeaderWithEquals", "[S]\n[X]=1\nk=2\n", "X", "k", "2"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ProfileFile, MissingFileReadsEmptyAndIsNotCreated) {
    TempDir dir;
    ProfileFile file(dir / "none.Lng");
    EXPECT_EQ(file.ReadString("S", "k", "d"), "d");
    std::vector<std::string> list{"stale"};
    file.ReadSections(list);
    EXPECT_TRUE(list.empty());
    list = {"stale"};
    file.ReadSection("S", list);
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(file.SectionExists("S"));
    file.DeleteKey("S", "k");
    file.EraseSection("S");
    file.UpdateFile();
    EXPECT_FALSE(fs::exists(dir / "none.Lng"));
}

TEST(ProfileFile, ListsSectionsAndKeysInFileOrder) {
    TempDir dir;
    WriteFileBytes(dir / "a.Lng", "lead=1\n[One]\nb=1\n;c=2\nnoequals\nA=3\n=empty\n[]\n"
                                  "[Two]\n[one]\nz=9\n");
    ProfileFile file(dir / "a.Lng");
    std::vector<std::string> list;
    file.ReadSections(list);
    // Every header in file order, duplicates included; the empty name is left out.
    EXPECT_EQ(list, (std::vector<std::string>{"One", "Two", "one"}));
    file.ReadSection("ONE", list);
    EXPECT_EQ(list, (std::vector<std::string>{"b", "A"}));
    EXPECT_TRUE(file.SectionExists("two"));
    EXPECT_FALSE(file.SectionExists("three"));
    file.ReadSection("absent", list);
    EXPECT_TRUE(list.empty());
}

TEST(ProfileFile, NotTextFilesReadEmptyAndRefuseWrites) {
    TempDir dir;
    const std::string binary("[S]\nk=v\n\0\x01", 10);
    WriteFileBytes(dir / "bin.lng", binary);
    fs::create_directory(dir / "folder.lng");
    for (const char* name : {"bin.lng", "folder.lng"}) {
        SCOPED_TRACE(name);
        ProfileFile file(dir / name);
        EXPECT_EQ(file.ReadString("S", "k", "d"), "d");
        std::vector<std::string> list;
        file.ReadSections(list);
        EXPECT_TRUE(list.empty());
        EXPECT_THROW(file.WriteString("S", "k", "w"), EIniFileException);
        EXPECT_FALSE(file.HasPendingChanges());
    }
    EXPECT_EQ(ReadFileBytes(dir / "bin.lng"), binary);
    EXPECT_TRUE(fs::is_directory(dir / "folder.lng"));
}

// ---------------------------------------------------------------------------------------
// Writing: the bytes on disk afterwards

struct Edit {
    enum Kind { Write, Delete, Erase, Notes } kind;
    std::string section, key, value;
    std::vector<std::string> notes = {};
};

struct RewriteCase {
    const char* name;
    std::optional<std::string> before; // nullopt: no file yet
    std::vector<Edit> edits;
    std::string after;
};

class ProfileRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(ProfileRewrite, WritesExactBytes) {
    const RewriteCase& c = GetParam();
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    if (c.before)
        WriteFileBytes(path, *c.before);
    {
        ProfileFile file(path);
        for (const Edit& e : c.edits) {
            if (e.kind == Edit::Write)
                file.WriteString(e.section, e.key, e.value);
            else if (e.kind == Edit::Delete)
                file.DeleteKey(e.section, e.key);
            else if (e.kind == Edit::Notes)
                file.WriteNotes(e.section, e.key, e.notes);
            else
                file.EraseSection(e.section);
        }
        file.UpdateFile();
    }
    EXPECT_EQ(ReadFileBytes(path), c.after);
}

Edit W(std::string s, std::string k, std::string v) {
    return {Edit::Write, s, k, v};
}
Edit D(std::string s, std::string k) {
    return {Edit::Delete, s, k, {}};
}
Edit E(std::string s) {
    return {Edit::Erase, s, {}, {}};
}
Edit N(std::string s, std::string k, std::vector<std::string> notes) {
    return {Edit::Notes, s, k, {}, std::move(notes)};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRewrite,
    ::testing::Values(
        RewriteCase{"NewFileUsesCrLf", std::nullopt, {W("S", "k", "v")}, "[S]\r\nk=v\r\n"},
        // Notes are ";@" comment lines right above their entry.
        RewriteCase{"NotesGoAboveTheirEntry",
                    "[S]\r\n; plain\r\na=1\r\nb=2\r\n",
                    {N("s", "B", {"state done", "translator Short"})},
                    "[S]\r\n; plain\r\na=1\r\n;@state done\r\n;@translator Short\r\nb=2\r\n"},
        RewriteCase{"NotesReplacedWholeOtherCommentsKept",
                    "[S]\n; plain\n;@state done\n;@x\na=1\n",
                    {N("S", "a", {"state needs-review"})},
                    "[S]\n; plain\n;@state needs-review\na=1\n"},
        RewriteCase{"NotesRemoved", "[S]\n;@state done\na=1\n", {N("S", "a", {})}, "[S]\na=1\n"},
        RewriteCase{"NotesOfANewEntryInTheFileStyle",
                    "[S]\na=1\n\n",
                    {W("S", "b", "2"), N("S", "b", {"developer Title"})},
                    "[S]\na=1\n;@developer Title\nb=2\n\n"},
        RewriteCase{"NotesGoWithTheirDeletedEntry",
                    "[S]\n;@n1\na=1\n; kept\n;@n2\nb=2\n",
                    {D("S", "a"), D("S", "b")},
                    "[S]\n; kept\n"},
        RewriteCase{"NotesSurviveAValueChange",
                    "[S]\n;@state done\na=1",
                    {W("S", "a", "2")},
                    "[S]\n;@state done\na=2"},
        RewriteCase{
            "NotesBeforeALastLineWithoutEnd", "[S]\na=1", {N("S", "a", {"n"})}, "[S]\n;@n\na=1"},
        RewriteCase{"NotesSetTwiceEndAsTheLast",
                    "[S]\n;@old\na=1\n",
                    {N("S", "a", {"one"}), N("S", "a", {"two", "three"})},
                    "[S]\n;@two\n;@three\na=1\n"},
        RewriteCase{"ReplaceKeepsSpellingAndSpacing",
                    "; head\r\n[S]\r\n  Key = old  \r\n\r\n[T]\r\nx=1\r\n",
                    {W("s", "KEY", "new value")},
                    "; head\r\n[S]\r\n  Key = new value  \r\n\r\n[T]\r\nx=1\r\n"},
        RewriteCase{"ReplaceEmptyValue", "[S]\nk=\nz=1\n", {W("S", "k", "v")}, "[S]\nk=v\nz=1\n"},
        // A line without '=' is a key without a value: written in place, removed by a delete.
        RewriteCase{"FillKeyWithoutValue",
                    "[S]\n  Key  \nkey=later\n",
                    {W("S", "key", "v")},
                    "[S]\n  Key=v  \nkey=later\n"},
        RewriteCase{"DeleteKeyWithoutValue", "[S]\nk\nk=later\n", {D("S", "k")}, "[S]\nk=later\n"},
        RewriteCase{
            "ReplaceFirstDuplicateOnly", "[S]\nk=1\nk=2\n", {W("S", "k", "3")}, "[S]\nk=3\nk=2\n"},
        RewriteCase{"AppendAfterCommentsBeforeBlanks",
                    "[S]\na=1\n;note\n\n[T]\nx=1\n",
                    {W("S", "b", "2")},
                    "[S]\na=1\n;note\nb=2\n\n[T]\nx=1\n"},
        RewriteCase{"AppendToFirstOfDuplicateSections",
                    "[S]\na=1\n[S]\nb=1\n",
                    {W("s", "c", "3")},
                    "[S]\na=1\nc=3\n[S]\nb=1\n"},
        RewriteCase{"AppendKeepsTrailingBlanksAtEnd",
                    "[S]\na=1\n\n\n",
                    {W("S", "b", "2")},
                    "[S]\na=1\nb=2\n\n\n"},
        RewriteCase{
            "NewSectionAtEndLf", "[S]\na=1\n\n", {W("T", "k", "v")}, "[S]\na=1\n\n[T]\nk=v\n"},
        RewriteCase{"CrOnlyStyleKept",
                    "[S]\ra=1\r",
                    {W("S", "b", "2"), W("T", "c", "3")},
                    "[S]\ra=1\rb=2\r[T]\rc=3\r"},
        RewriteCase{"FirstLineEndDecides", "[S]\na=1\r\n", {W("S", "b", "2")}, "[S]\na=1\r\nb=2\n"},
        RewriteCase{"NoFinalLineEnd", "[S]\na=1", {W("S", "b", "2")}, "[S]\na=1\nb=2\n"},
        RewriteCase{"NoLineEndAtAllGetsCrLf", "[S]", {W("S", "b", "2")}, "[S]\r\nb=2\r\n"},
        RewriteCase{"LeadingLinesAndOddLinesKept",
                    "junk\nx=1\n[S]\nno equals\n  odd  =  sp  \n",
                    {W("S", "n", "1")},
                    "junk\nx=1\n[S]\nno equals\n  odd  =  sp  \nn=1\n"},
        RewriteCase{"NewKeyTrimmedArguments", "[S]\n", {W(" S ", "\tk ", "v")}, "[S]\nk=v\n"},
        RewriteCase{
            "DeleteKeepsHeader", "[S]\na=1\nb=2\n[T]\n", {D("S", "a"), D("s", "B")}, "[S]\n[T]\n"},
        RewriteCase{"DeleteFirstDuplicateThenNext",
                    "[S]\na=1\na=2\na=3\n",
                    {D("S", "a"), W("S", "a", "x")},
                    "[S]\na=x\na=3\n"},
        RewriteCase{"DeleteAddedKey", "[S]\na=1\n", {W("S", "b", "2"), D("S", "b")}, "[S]\na=1\n"},
        RewriteCase{"EraseWithAllItsLines", "[S]\na=1\n;c\n\n[T]\nb=2\n", {E("s")}, "[T]\nb=2\n"},
        RewriteCase{"EraseFirstDuplicateSection",
                    "[S]\na=1\n[S]\na=2\n",
                    {E("S"), W("S", "b", "3")},
                    "[S]\na=2\nb=3\n"},
        RewriteCase{"EraseThenRecreate",
                    "[S]\na=1\n[T]\nx=1\n",
                    {E("S"), W("S", "a", "2")},
                    "[T]\nx=1\n[S]\na=2\n"},
        RewriteCase{"WriteBackOriginalValue",
                    "[S]\r\na = 1\r\n",
                    {W("S", "a", "2"), W("S", "a", "1")},
                    "[S]\r\na = 1\r\n"},
        RewriteCase{"ValueWithSpecials",
                    "[S]\n",
                    {W("S", "k", "a=b;[c]\t\"q\"")},
                    "[S]\nk=a=b;[c]\t\"q\"\n"},
        // Each file keeps its encoding; text is UTF-8 on this side.
        RewriteCase{"CodePageTextStaysCodePage",
                    "[S]\r\na=Fran\xE7"
                    "ais\r\n",
                    {W("S", "b", "été €")},
                    "[S]\r\na=Fran\xE7"
                    "ais\r\nb=\xE9t\xE9 \x80\r\n"},
        RewriteCase{"TextBeyondTheCodePageConvertsTheFile",
                    "; caf\xE9\r\n[S]\r\na=Fran\xE7"
                    "ais\r\n",
                    {W("S", "b", "Łódź")},
                    "\xEF\xBB\xBF; café\r\n[S]\r\na=Français\r\nb=Łódź\r\n"},
        RewriteCase{"Utf8MarkKept",
                    "\xEF\xBB\xBF[S]\na=日本\n",
                    {W("S", "b", "ł")},
                    "\xEF\xBB\xBF[S]\na=日本\nb=ł\n"},
        RewriteCase{"Utf8WithoutMarkStaysWithout",
                    "[S]\na=Łódź\n",
                    {W("S", "b", "é")},
                    "[S]\na=Łódź\nb=é\n"},
        RewriteCase{"Utf16LeStaysUtf16Le",
                    std::string("\xFF\xFE[\0S\0]\0\n\0", 10),
                    {W("S", "k", "Ж")},
                    std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0\x16\x04\n\0", 18)},
        RewriteCase{"Utf16BeStaysUtf16Be",
                    std::string("\xFE\xFF\0[\0S\0]\0\n", 10),
                    {W("S", "k", "😀")},
                    std::string("\xFE\xFF\0[\0S\0]\0\n\0k\0=\xD8\x3D\xDE\x00\0\n", 20)},
        RewriteCase{"NewFileInCodePageWhenItHoldsTheText",
                    std::nullopt,
                    {W("S", "k", "é")},
                    "[S]\r\nk=\xE9\r\n"},
        RewriteCase{"NewFileInUtf8WhenItMustBe",
                    std::nullopt,
                    {W("S", "k", "日本")},
                    "\xEF\xBB\xBF[S]\r\nk=日本\r\n"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ProfileFile, NotesReadAsTheyAreTiedToTheirEntry) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    // A blank or plain comment line between notes and an entry unties them.
    WriteFileBytes(path, "[S]\n;@one\n;@two\na=1\n;@loose\n\nb=2\n;@cut\n; plain\nc=3\n"
                         ";@state done\nd\n");
    ProfileFile file(path);
    EXPECT_EQ(file.ReadNotes("s", "A"), (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(file.ReadNotes("S", "b").empty());
    EXPECT_TRUE(file.ReadNotes("S", "c").empty());
    EXPECT_TRUE(file.ReadNotes("S", "missing").empty());
    EXPECT_EQ(file.ReadString("S", "a", "-"), "1"); // notes are invisible to value readers
    std::vector<std::string> keys;
    file.ReadSection("S", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "b", "c"})); // "d" has no value

    file.WriteNotes("S", "c", {"state needs-review"});
    std::vector<std::string> seen;
    EXPECT_TRUE(file.VisitSectionWithNotes("S", [&](std::string_view key, std::string_view value,
                                                    const std::vector<std::string_view>& notes) {
        std::string line = std::string(key) + "=" + std::string(value);
        for (const auto note : notes)
            line.append(" [").append(note).append("]");
        seen.push_back(line);
    }));
    // A key without a value is not an entry to visit.
    EXPECT_EQ(seen,
              (std::vector<std::string>{"a=1 [one] [two]", "b=2", "c=3 [state needs-review]"}));
    EXPECT_FALSE(file.VisitSectionWithNotes("T", [](auto, auto, const auto&) {}));

    EXPECT_THROW(file.WriteNotes("S", "missing", {"x"}), EIniFileException);
    EXPECT_THROW(file.WriteNotes("S", "a", {"two\nlines"}), EIniFileException);
    EXPECT_THROW(file.WriteNotes("S", "a", {"\xFF"}), EIniFileException);
    file.UpdateFile();
    EXPECT_EQ(ProfileFile(path).ReadNotes("S", "c"),
              (std::vector<std::string>{"state needs-review"}));
}

TEST(ProfileFile, UnchangingOperationsDoNotTouchTheFile) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\r\nk = v\r\n");
    SetMtime(path, 1'000'000'000, 123);
    const struct stat before = StatOf(path);
    {
        ProfileFile file(path);
        file.WriteString("s", "K", "v"); // the value it already holds
        file.DeleteKey("S", "absent");
        file.DeleteKey("absent", "k");
        file.EraseSection("absent");
        EXPECT_FALSE(file.HasPendingChanges());
        file.UpdateFile();
    }
    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"a.Lng"});
}

TEST(ProfileFile, KeepsPermissions) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\n");
    ::chmod(path.c_str(), 0640);
    ProfileFile file(path);
    file.WriteString("S", "k", "v");
    file.UpdateFile();
    EXPECT_EQ(StatOf(path).st_mode & 07777, 0640u);
}

// ---------------------------------------------------------------------------------------
// Pending writes, sharing and changes underneath

TEST(ProfileFile, PendingWritesSeenByOwnObjectOnlyUntilFlushed) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\nk=1\n");
    ProfileFile writer(path);
    ProfileFile reader(path);
    writer.WriteString("S", "k", "2");
    writer.WriteString("New", "x", "y");
    EXPECT_TRUE(writer.HasPendingChanges());
    EXPECT_EQ(writer.ReadString("S", "k", "d"), "2");
    EXPECT_TRUE(writer.SectionExists("new"));
    EXPECT_EQ(reader.ReadString("S", "k", "d"), "1");
    EXPECT_FALSE(reader.SectionExists("New"));
    EXPECT_EQ(ReadFileBytes(path), "[S]\nk=1\n");
    writer.UpdateFile();
    EXPECT_FALSE(writer.HasPendingChanges());
    EXPECT_EQ(reader.ReadString("s", "K", "d"), "2");
    EXPECT_EQ(reader.ReadString("new", "X", "d"), "y");
}

TEST(ProfileFile, DiscardDropsAndDestructorFlushes) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    {
        ProfileFile file(path);
        file.WriteString("S", "dropped", "1");
        file.DiscardChanges();
        EXPECT_FALSE(file.HasPendingChanges());
        EXPECT_EQ(file.ReadString("S", "dropped", "d"), "d");
        file.WriteString("S", "kept", "2");
    }
    EXPECT_EQ(ReadFileBytes(path), "[S]\r\nkept=2\r\n");
}

TEST(ProfileFile, TwoObjectsMergeTheirWrites) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\nbase=0\n");
    ProfileFile a(path), b(path);
    a.WriteString("S", "fromA", "1");
    b.WriteString("S", "fromB", "2");
    b.DeleteKey("S", "base");
    a.UpdateFile();
    b.UpdateFile(); // replayed on a's result, not on what b saw
    EXPECT_EQ(ReadFileBytes(path), "[S]\nfromA=1\nfromB=2\n");
}

TEST(ProfileFile, ChangeByAnotherProcessIsNoticed) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\nk=1\n");
    SetMtime(path, 1'000'000'000, 0);
    ProfileFile file(path);
    EXPECT_EQ(file.ReadString("S", "k", "d"), "1");
    WriteFileBytes(path, "[S]\nk=2\n"); // same size, same inode
    SetMtime(path, 1'000'000'000, 1);
    EXPECT_EQ(file.ReadString("S", "k", "d"), "2");
}

TEST(ProfileFile, SameStampRewriteOfRecentFileIsNoticed) {
    // A rewrite within the time stamp's granularity can leave size, inode and mtime alike;
    // a recently modified file is therefore checked by content.
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\nk=1\n");
    const struct stat st = StatOf(path);
    ProfileFile file(path);
    EXPECT_EQ(file.ReadString("S", "k", "d"), "1");
    WriteFileBytes(path, "[S]\nk=2\n");
    SetMtime(path, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    EXPECT_EQ(file.ReadString("S", "k", "d"), "2");
}

// ---------------------------------------------------------------------------------------
// Changes made by other programs, seen by the very next read

// Runs a change in a forked child, with plain system calls only; returns once it is done.
void InChild(const std::function<bool()>& change) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(change() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

constexpr time_t kOld = 1'000'000'000;

// Rewrites the bytes in place and puts the old time back: the stamp stays as it was.
bool RewriteKeepingStamp(const fs::path& file, std::string_view bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    const struct timespec times[2] = {{kOld, 0}, {kOld, 0}};
    const bool ok =
        fd >= 0 &&
        ::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
        ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::futimens(fd, times) == 0;
    return ::close(fd) == 0 && ok;
}

bool ReplaceByRename(const fs::path& file, std::string_view bytes) {
    const fs::path temp = file.parent_path() / ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const struct timespec times[2] = {{kOld, 0}, {kOld, 0}};
    const bool ok = fd >= 0 &&
                    ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                    ::futimens(fd, times) == 0;
    return ::close(fd) == 0 && ok && ::rename(temp.c_str(), file.c_str()) == 0;
}

struct ForeignChange {
    const char* name;
    bool inChild;  // false: made in this process through another ProfileFile
    bool statSees; // a stat() alone tells the change, so it is seen without the watch too
    std::string expected;
    std::function<bool(const fs::path& folder, const fs::path& file)> change;
};

const std::vector<ForeignChange>& ForeignChanges() {
    static const std::vector<ForeignChange> cases = {
        {"replaced by rename", true, true, "2",
         [](const fs::path&, const fs::path& f) { return ReplaceByRename(f, "[S]\nk=2\n"); }},
        {"rewritten in place, stamp kept", true, false, "2",
         [](const fs::path&, const fs::path& f) { return RewriteKeepingStamp(f, "[S]\nk=2\n"); }},
        {"removed", true, true, "d",
         [](const fs::path&, const fs::path& f) { return ::unlink(f.c_str()) == 0; }},
        {"written through another name", true, false, "2",
         [](const fs::path& folder, const fs::path&) {
             return RewriteKeepingStamp(folder.parent_path() / "link.Lng", "[S]\nk=2\n");
         }},
        {"folder moved away and made anew", true, true, "2",
         [](const fs::path& folder, const fs::path& f) {
             return ::rename(folder.c_str(), (folder.string() + ".old").c_str()) == 0 &&
                    ::mkdir(folder.c_str(), 0755) == 0 && ReplaceByRename(f, "[S]\nk=2\n");
         }},
        {"folder above moved away and made anew", true, true, "2",
         [](const fs::path& folder, const fs::path& f) {
             const fs::path above = folder.parent_path();
             return ::rename(above.c_str(), (above.string() + ".old").c_str()) == 0 &&
                    ::mkdir(above.c_str(), 0755) == 0 && ::mkdir(folder.c_str(), 0755) == 0 &&
                    ReplaceByRename(f, "[S]\nk=2\n");
         }},
        {"read in the child before and after", true, false, "2",
         [](const fs::path&, const fs::path& f) {
             // The child inherits the cache: its reads must not take the parent's events.
             const bool before = ProfileFile(f).ReadString("S", "k", "") == "1";
             const bool written = RewriteKeepingStamp(f, "[S]\nk=2\n");
             (void)ProfileFile(f).ReadString("S", "k", "");
             return before && written;
         }},
        {"written by another object", false, true, "2",
         [](const fs::path&, const fs::path& f) {
             ProfileFile other(f);
             other.WriteString("S", "k", "2");
             return other.UpdateFile() == ProfileFile::UpdateResult::Written;
         }},
    };
    return cases;
}

// Each change, read back at once; then a rewrite that keeps the stamp, which only the
// watch can see, proves the watch followed the change.
void ExpectForeignChangesSeen(bool watched) {
    for (const ForeignChange& c : ForeignChanges()) {
        if (!watched && !c.statSees)
            continue;
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path folder = dir / "up" / "sub";
        fs::create_directories(folder);
        const fs::path path = folder / "a.Lng";
        WriteFileBytes(path, "[S]\nk=1\n");
        ASSERT_EQ(::link(path.c_str(), (dir / "up" / "link.Lng").c_str()), 0);
        SetMtime(path, kOld, 0);
        EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), "1");
        EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), "1");
        if (c.inChild)
            InChild([&] { return c.change(folder, path); });
        else
            ASSERT_TRUE(c.change(folder, path));
        EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), c.expected);
        if (!watched || c.expected == "d")
            continue;
        EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), c.expected);
        InChild([&] { return RewriteKeepingStamp(path, "[S]\nk=3\n"); });
        EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), "3");
    }
}

class ProfileChangeWatch : public ::testing::Test {
protected:
    void SetUp() override { detail::ClearProfileCache(); }
    void TearDown() override {
        detail::SetAtomicWriteFault(std::nullopt);
        detail::ClearProfileCache();
    }
};

TEST_F(ProfileChangeWatch, ChangesByOthersSeenByTheNextRead) {
    ExpectForeignChangesSeen(true);
}

TEST_F(ProfileChangeWatch, WithoutTheWatchEveryReadStats) {
    // inotify refused (its limits reached): a stat per read finds what a stat can tell.
    detail::SetAtomicWriteFailure(detail::AtomicWriteStep::Watch);
    ExpectForeignChangesSeen(false);
    EXPECT_GT(detail::AtomicWriteCalls(detail::AtomicWriteStep::Watch), 0);
}

TEST_F(ProfileChangeWatch, FailingToAskTheQueueFallsBackToStat) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\nk=1\n");
    SetMtime(path, kOld, 0);
    EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), "1");
    InChild([&] { return ReplaceByRename(path, "[S]\nk=2\n"); });
    // The next question to the queue fails: the read must neither fail nor trust the copy.
    detail::SetAtomicWriteFault(detail::AtomicWriteFault{detail::AtomicWriteStep::Watch, 1, EIO});
    EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), "2");
    EXPECT_EQ(detail::AtomicWriteCalls(detail::AtomicWriteStep::Watch), 1);
    InChild([&] { return ReplaceByRename(path, "[S]\nk=3\n"); });
    EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), "3");
}

TEST(ProfileFile, PendingViewFollowsChangesUnderneath) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    WriteFileBytes(path, "[S]\nk=1\n");
    ProfileFile file(path);
    file.WriteString("S", "mine", "m");
    WriteFileBytes(path, "[S]\nk=1\nother=o\n");
    SetMtime(path, 1'000'000'000, 0);
    EXPECT_EQ(file.ReadString("S", "other", "d"), "o");
    EXPECT_EQ(file.ReadString("S", "mine", "d"), "m");
    file.UpdateFile();
    EXPECT_EQ(ReadFileBytes(path), "[S]\nk=1\nother=o\nmine=m\n");
}

TEST(ProfileFile, ManyFilesStayCorrectBeyondTheCacheBound) {
    TempDir dir;
    for (int i = 0; i < 100; ++i)
        WriteFileBytes(dir / ("f" + std::to_string(i) + ".Lng"),
                       "[S]\nk=" + std::to_string(i) + "\n");
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(
                ProfileFile(dir / ("f" + std::to_string(i) + ".Lng")).ReadString("S", "k", ""),
                std::to_string(i));
}

TEST(ProfileFile, ThreadsWithSeparateObjectsLoseNoWrite) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    auto work = [&](const std::string& prefix) {
        for (int i = 0; i < 200; ++i) {
            ProfileFile file(path);
            file.WriteString("S", prefix + std::to_string(i), std::to_string(i));
            file.UpdateFile();
        }
    };
    std::thread t1(work, "a"), t2(work, "b");
    t1.join();
    t2.join();
    ProfileFile file(path);
    std::vector<std::string> keys;
    file.ReadSection("S", keys);
    EXPECT_EQ(keys.size(), 400u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(file.ReadString("S", "a" + std::to_string(i), ""), std::to_string(i));
        EXPECT_EQ(file.ReadString("S", "b" + std::to_string(i), ""), std::to_string(i));
    }
}

// A plain ordered model of what reads must show: sections in order, entries in order, the
// first match of a name winning.
struct Model {
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    std::vector<Section> sections;

    static bool Same(const std::string& a, const std::string& b) {
        return detail::EqualsIgnoreAsciiCase(a, b);
    }
    Section* Find(const std::string& name) {
        for (auto& s : sections)
            if (Same(s.name, name))
                return &s;
        return nullptr;
    }
    void Write(const std::string& sec, const std::string& key, const std::string& value) {
        Section* s = Find(sec);
        if (s == nullptr) {
            sections.push_back({sec, {}});
            s = &sections.back();
        }
        for (auto& [k, v] : s->entries)
            if (Same(k, key)) {
                v = value;
                return;
            }
        s->entries.emplace_back(key, value);
    }
    void Delete(const std::string& sec, const std::string& key) {
        if (Section* s = Find(sec))
            for (auto it = s->entries.begin(); it != s->entries.end(); ++it)
                if (Same(it->first, key)) {
                    s->entries.erase(it);
                    return;
                }
    }
    void Erase(const std::string& sec) {
        for (auto it = sections.begin(); it != sections.end(); ++it)
            if (Same(it->name, sec)) {
                sections.erase(it);
                return;
            }
    }
};

// Everything reads can show of the names used below.
std::string Snapshot(const ProfileFile& file, const std::vector<std::string>& sectionNames,
                     const std::vector<std::string>& keyNames) {
    std::string out;
    std::vector<std::string> list;
    file.ReadSections(list);
    for (const auto& s : list)
        out += "[" + s + "]";
    for (const auto& s : sectionNames) {
        file.ReadSection(s, list);
        out += "\n" + s + ":";
        for (const auto& k : list)
            out += " " + k;
        for (const auto& k : keyNames)
            out += " " + k + "=" + file.ReadString(s, k, "-");
    }
    return out;
}

std::string Snapshot(const Model& model, const std::vector<std::string>& sectionNames,
                     const std::vector<std::string>& keyNames) {
    Model copy = model;
    std::string out;
    for (const auto& s : copy.sections)
        out += "[" + s.name + "]";
    for (const auto& name : sectionNames) {
        out += "\n" + name + ":";
        const Model::Section* s = copy.Find(name);
        if (s != nullptr)
            for (const auto& entry : s->entries)
                out += " " + entry.first;
        for (const auto& k : keyNames) {
            std::string value = "-";
            if (s != nullptr)
                for (const auto& [ek, ev] : s->entries)
                    if (Model::Same(ek, k)) {
                        value = ev;
                        break;
                    }
            out += " " + k + "=" + value;
        }
    }
    return out;
}

TEST(ProfileFile, RandomEditsMatchModelBeforeAndAfterReparse) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    const std::vector<std::string> sectionNames{"A", "b", "C", "d"};
    const std::vector<std::string> keyNames{"k1", "K2", "k3", "k4"};
    std::mt19937 random(7);
    auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    // Short rounds, each from a file with duplicate keys and sections, so deletions and
    // erasures keep meeting duplicates before random edits wear them away.
    for (int round = 0; round < 40; ++round) {
        WriteFileBytes(path, ";top\r\n[A]\r\nk1=1\r\nK1=dup\r\n\r\n[B]\r\nk2 = 2\r\n;c\r\n[a]\r\n"
                             "k3=3\r\nk1=a1\r\n");
        detail::ClearProfileCache();
        Model model;
        model.sections = {{"A", {{"k1", "1"}, {"K1", "dup"}}},
                          {"B", {{"k2", "2"}}},
                          {"a", {{"k3", "3"}, {"k1", "a1"}}}};
        ProfileFile file(path);
        for (int step = 0; step < 30; ++step) {
            const std::string s = pick(sectionNames), k = pick(keyNames);
            const auto op = random() % 10;
            if (op < 5) {
                const std::string v = "v" + std::to_string(random() % 4);
                file.WriteString(s, k, v);
                model.Write(s, k, v);
            } else if (op < 9) {
                file.DeleteKey(s, k);
                model.Delete(s, k);
            } else {
                file.EraseSection(s);
                model.Erase(s);
            }
            const std::string expected = Snapshot(model, sectionNames, keyNames);
            ASSERT_EQ(Snapshot(file, sectionNames, keyNames), expected)
                << "round " << round << " step " << step;
            if (step % 5 == 4) {
                file.UpdateFile();
                detail::ClearProfileCache(); // the next read parses what was written
                ASSERT_EQ(Snapshot(ProfileFile(path), sectionNames, keyNames), expected)
                    << "round " << round << " step " << step;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Refused input and failed writes

struct BadWrite {
    const char* name;
    std::string section, key, value, reason;
};

class ProfileBadWrite : public ::testing::TestWithParam<BadWrite> {};

TEST_P(ProfileBadWrite, RefusedWithFileUnchanged) {
    const BadWrite& c = GetParam();
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    const std::string original = "[S]\r\nk=v\r\n";
    WriteFileBytes(path, original);
    {
        ProfileFile file(path);
        try {
            file.WriteString(c.section, c.key, c.value);
            ADD_FAILURE() << "write accepted";
        } catch (const EIniFileException& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Unable to write to " + path.string() + " (" + c.reason + ")");
        }
        EXPECT_FALSE(file.HasPendingChanges());
        EXPECT_EQ(file.ReadString("S", "k", "d"), "v");
    }
    EXPECT_EQ(ReadFileBytes(path), original);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileBadWrite,
    ::testing::Values(
        BadWrite{"KeyWithEquals", "S", "a=b", "v", "a key cannot contain '='"},
        BadWrite{"KeyWithLf", "S", "a\nb", "v", "a key cannot contain a line break or NUL"},
        BadWrite{"KeyWithCr", "S", "a\rb", "v", "a key cannot contain a line break or NUL"},
        BadWrite{"KeyWithNul", "S", std::string("a\0b", 3), "v",
                 "a key cannot contain a line break or NUL"},
        BadWrite{"KeyEmpty", "S", "", "v", "a key cannot be empty"},
        BadWrite{"KeyOnlyBlanks", "S", " \t ", "v", "a key cannot be empty"},
        BadWrite{"KeyComment", "S", ";k", "v", "a key cannot start with ';'"},
        BadWrite{"KeyHeader", "S", "[k]", "v", "a key cannot look like a section header"},
        BadWrite{"SectionWithClose", "a]b", "k", "v", "a section name cannot contain ']'"},
        BadWrite{"SectionWithLf", "a\nb", "k", "v",
                 "a section name cannot contain a line break or NUL"},
        BadWrite{"SectionWithNul", std::string("a\0b", 3), "k", "v",
                 "a section name cannot contain a line break or NUL"},
        BadWrite{"SectionEmpty", "", "k", "v", "a section name cannot be empty"},
        BadWrite{"ValueWithCrLf", "S", "k", "a\r\nb", "a value cannot contain a line break or NUL"},
        BadWrite{"ValueWithCr", "S", "k", "a\r", "a value cannot contain a line break or NUL"},
        BadWrite{"ValueWithNul", "S", "k", std::string("a\0", 2),
                 "a value cannot contain a line break or NUL"},
        BadWrite{"ValueNotUtf8", "S", "k", "caf\xE9", "the text is not valid UTF-8"},
        BadWrite{"KeyNotUtf8", "S", "\xC3(", "v", "the text is not valid UTF-8"},
        BadWrite{"SectionNotUtf8", "\xFF", "k", "v", "the text is not valid UTF-8"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ProfileFile, WriteWithoutFolderFails) {
    TempDir dir;
    WriteFileBytes(dir / "plain", "x");
    for (const fs::path& path : {dir / "missing" / "a.Lng", dir / "plain" / "a.Lng"}) {
        SCOPED_TRACE(path);
        ProfileFile file(path);
        try {
            file.WriteString("S", "k", "v");
            ADD_FAILURE() << "write accepted";
        } catch (const EIniFileException& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Unable to write to " + path.string(), 0), 0u)
                << e.what();
        }
    }
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"plain"});
}

class ProfileFailedWrite : public ::testing::TestWithParam<detail::AtomicWriteStep> {
protected:
    void TearDown() override { detail::SetAtomicWriteFailure(std::nullopt); }
};

TEST_P(ProfileFailedWrite, KeepsOldFileAndJournal) {
    TempDir dir;
    const fs::path path = dir / "a.Lng";
    const std::string original = "[S]\r\nk=old\r\n";
    WriteFileBytes(path, original);
    ProfileFile file(path);
    file.WriteString("S", "k", "new");
    detail::SetAtomicWriteFailure(GetParam());
    try {
        file.UpdateFile();
        ADD_FAILURE() << "write reported success";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unable to write to " + path.string(), 0), 0u)
            << e.what();
    }
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"a.Lng"}); // no temp file
    EXPECT_TRUE(file.HasPendingChanges());
    EXPECT_EQ(file.ReadString("S", "k", "d"), "new");
    EXPECT_EQ(ProfileFile(path).ReadString("S", "k", "d"), "old");

    detail::SetAtomicWriteFailure(std::nullopt);
    file.UpdateFile(); // the kept journal can be retried
    EXPECT_EQ(ReadFileBytes(path), "[S]\r\nk=new\r\n");
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"a.Lng"});
}

INSTANTIATE_TEST_SUITE_P(Steps, ProfileFailedWrite,
                         ::testing::Values(detail::AtomicWriteStep::CreateTemp,
                                           detail::AtomicWriteStep::Write,
                                           detail::AtomicWriteStep::Sync,
                                           detail::AtomicWriteStep::Rename));

TEST(ProfileFile, DestructorSwallowsFailure) {
    TempDir dir;
    const fs::path folder = dir / "sub";
    fs::create_directory(folder);
    auto file = std::make_unique<ProfileFile>(folder / "a.Lng");
    file->WriteString("S", "k", "v");
    fs::remove(folder);
    EXPECT_THROW(file->UpdateFile(), EIniFileException);
    EXPECT_NO_THROW(file.reset());
    EXPECT_FALSE(fs::exists(folder));
}

// ---------------------------------------------------------------------------------------
// The callers' buffers

TEST(ProfileFile, FilesBrokenInTheirEncodingReadButRefuseWrites) {
    struct Case {
        std::string bytes, value, reason;
    };
    const Case cases[] = {
        {std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0\x00\xD8", 16), "\uFFFD",
         "the file is not valid UTF-16"},
        {"\xEF\xBB\xBF[S]\nk=caf\xE9\n", "caf\uFFFD", "the file is not valid UTF-8"},
    };
    for (const auto& [bytes, value, reason] : cases) {
        SCOPED_TRACE(reason);
        TempDir dir;
        const fs::path path = dir / "a.Lng";
        WriteFileBytes(path, bytes);
        ProfileFile file(path);
        EXPECT_EQ(file.ReadString("S", "k", "?"), value);
        try {
            file.WriteString("S", "x", "y");
            ADD_FAILURE() << "write accepted";
        } catch (const EIniFileException& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Unable to write to " + path.string() + " (" + reason + ")");
        }
        file.DeleteKey("S", "k");
        EXPECT_THROW(file.UpdateFile(), EIniFileException);
        file.DiscardChanges();
        EXPECT_EQ(ReadFileBytes(path), bytes);
    }
}

// Legacy dictionaries: every byte of the code page's upper half, in keys and values, read
// as its character, and written back untouched around an edit.
TEST(ProfileFile, CodePageDictionariesKeepEveryByteAroundEdits) {
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high += static_cast<char>(b);
    const std::string legacy = "[Definitions]\r\nOvkLanguage=Legacy\r\n[Caption]\r\nkey " + high +
                               "=value " + high + "\r\n; note " + high + "\r\nplain=x\r\n";
    struct Case {
        const char* name;
        Edit edit;
        std::string changedLine; // replaces "plain=x", or is appended when no "plain"
        bool converts;
    };
    const Case cases[] = {
        {"code-page text", W("Caption", "plain", "é € ÿ"), "plain=\xE9 \x80 \xFF", false},
        {"new key", W("Caption", "added", "Œuvre"),
         "plain=x\r\nadded=\x8C"
         "uvre",
         false},
        {"delete", D("Caption", "plain"), "", false},
        {"text beyond the code page", W("Caption", "plain", "Ж"), "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path path = dir / "legacy.Lng";
        WriteFileBytes(path, legacy);
        ProfileFile file(path);
        EXPECT_EQ(file.ReadString("Caption", "key " + Utf8FromCp1252(high), "?"),
                  "value " + Utf8FromCp1252(high));
        EXPECT_EQ(file.Encoding(), FileEncoding::Windows1252);
        if (c.edit.kind == Edit::Write)
            file.WriteString(c.edit.section, c.edit.key, c.edit.value);
        else
            file.DeleteKey(c.edit.section, c.edit.key);
        const auto result = file.UpdateFile();
        const std::string after = ReadFileBytes(path);
        if (c.converts) {
            EXPECT_EQ(result, ProfileFile::UpdateResult::ConvertedToUtf8);
            EXPECT_EQ(file.Encoding(), FileEncoding::Utf8Bom);
            // Every other line keeps its characters, now in UTF-8.
            EXPECT_EQ(after, "\xEF\xBB\xBF" +
                                 Utf8FromCp1252(legacy.substr(0, legacy.find("plain=x"))) +
                                 "plain=Ж\r\n");
            continue;
        }
        EXPECT_EQ(result, ProfileFile::UpdateResult::Written);
        std::string expected = legacy;
        const std::size_t at = expected.find("plain=x\r\n");
        expected.replace(at, 9, c.changedLine.empty() ? "" : c.changedLine + "\r\n");
        EXPECT_EQ(after, expected);
    }
}

// A code-page file whose only bytes that are not UTF-8 go with an edit would read as UTF-8
// afterwards, changing every accented value it keeps: it moves to UTF-8 with a mark instead.
TEST(ProfileFile, ACodePageFileNeverComesToReadAsUtf8) {
    TempDir dir;
    const fs::path path = dir / "legacy.Lng";
    // "Ó‘" is D3 91 in Windows-1252, which is also the UTF-8 of one Cyrillic letter.
    WriteFileBytes(path, "[S]\r\nkept=\xD3\x91\r\nplain=\x9E\x97\r\n");
    ProfileFile file(path);
    ASSERT_EQ(file.ReadString("S", "kept", ""), "Ó‘");
    file.WriteString("S", "plain", "x");
    EXPECT_EQ(file.UpdateFile(), ProfileFile::UpdateResult::ConvertedToUtf8);
    EXPECT_EQ(ReadFileBytes(path), "\xEF\xBB\xBF[S]\r\nkept=Ó‘\r\nplain=x\r\n");
    detail::ClearProfileCache();
    EXPECT_EQ(ProfileFile(path).ReadString("S", "kept", ""), "Ó‘");
}

TEST(ProfileFile, CutsCountCharacters) {
    TempDir dir;
    std::string polish;
    for (int i = 0; i < 2100; ++i)
        polish += "ł";
    ProfileFile file(dir / "a.Lng");
    file.WriteString("S", "long", polish);
    file.UpdateFile();
    const std::string read = file.ReadString("S", "long", "");
    EXPECT_EQ(read.size(), 2047u * 2);
    std::vector<std::pair<std::string, std::string>> entries;
    file.ReadSectionValues("S", entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].second, read);
    EXPECT_EQ(file.FindValue("S", "long"), polish);
}

TEST(ProfileFile, ReadStringReturnsAtMost2047Bytes) {
    TempDir dir;
    const std::string value = std::string(2047, 'a') + "bc";
    ProfileFile file(dir / "a.Lng");
    file.WriteString("S", "long", value);
    file.WriteString("S", "fits", std::string(2047, 'z'));
    file.UpdateFile();
    EXPECT_EQ(file.ReadString("S", "long", ""), std::string(2047, 'a'));
    EXPECT_EQ(file.ReadString("S", "fits", ""), std::string(2047, 'z'));
    EXPECT_EQ(file.FindValue("S", "long"), value);
}

std::string Name(char lead, int index, std::size_t length) {
    std::string name = lead + std::to_string(index);
    name.resize(length, '_');
    return name;
}

// Builds a file whose list of `count` names of `length` bytes (plus one name of
// `lastLength`) is read back through the 16384-byte list buffer.
std::vector<std::string> ListThroughBuffer(bool sections, int count, std::size_t length,
                                           std::size_t lastLength) {
    TempDir dir;
    std::string text = sections ? "" : "[S]\n";
    auto add = [&](const std::string& name) {
        text += sections ? "[" + name + "]\n" : name + "=v\n";
    };
    for (int i = 0; i < count; ++i)
        add(Name('n', i, length));
    if (lastLength > 0)
        add(Name('z', 0, lastLength));
    add("after");
    WriteFileBytes(dir / "a.Lng", text);
    ProfileFile file(dir / "a.Lng");
    std::vector<std::string> list;
    if (sections)
        file.ReadSections(list);
    else
        file.ReadSection("S", list);
    return list;
}

TEST(ProfileFile, ListsStopAtThe16384ByteBuffer) {
    for (bool sections : {true, false}) {
        SCOPED_TRACE(sections ? "sections" : "keys");
        // 163 names of 99 bytes take 163 * 100 = 16300 bytes with their NULs; a name of 82
        // bytes takes 83 more: 16383, and the final empty name fills byte 16384.
        auto list = ListThroughBuffer(sections, 163, 99, 82);
        ASSERT_EQ(list.size(), 164u);
        EXPECT_EQ(list[0], Name('n', 0, 99));
        EXPECT_EQ(list[163], Name('z', 0, 82)); // whole; "after" does not fit at all

        // One byte longer: that name is cut to the 82 bytes left before its NUL.
        list = ListThroughBuffer(sections, 163, 99, 83);
        ASSERT_EQ(list.size(), 164u);
        EXPECT_EQ(list[163], Name('z', 0, 83).substr(0, 82));

        // 81 names of 199 bytes take 16200; the 82nd of 199 keeps 16384 - 16200 - 2 = 182.
        list = ListThroughBuffer(sections, 100, 199, 0);
        ASSERT_EQ(list.size(), 82u);
        EXPECT_EQ(list[80], Name('n', 80, 199));
        EXPECT_EQ(list[81], Name('n', 81, 199).substr(0, 182));

        // A small list comes back whole.
        list = ListThroughBuffer(sections, 3, 10, 0);
        EXPECT_EQ(list.size(), 4u);
        EXPECT_EQ(list.back(), "after");
    }
}

TEST(ProfileFile, ReadAllKeysHasNoBufferLimit) {
    TempDir dir;
    std::string text = "[S]\n";
    for (int i = 0; i < 300; ++i)
        text += Name('k', i, 99) + "=v\n";
    WriteFileBytes(dir / "a.Lng", text);
    ProfileFile file(dir / "a.Lng");
    std::vector<std::string> list;
    EXPECT_TRUE(file.ReadAllKeys("s", list));
    EXPECT_EQ(list.size(), 300u);
    EXPECT_FALSE(file.ReadAllKeys("absent", list));
    EXPECT_TRUE(list.empty());
}

} // namespace
} // namespace tavrel

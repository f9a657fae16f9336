#include "TempDir.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out, err;
};

std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs lngtool with the per-user folders of the fixture (the test main already points
// XDG_CONFIG_HOME and XDG_DATA_HOME at throw-away folders, and the child inherits them).
Result RunLngtool(const std::vector<std::string>& args, const fs::path& scratch) {
    std::string command = Quote(LNGTOOL_PATH);
    for (const auto& a : args)
        command += " " + Quote(a);
    const fs::path err = scratch / "stderr.txt";
    command += " 2>" + Quote(err.string());
    Result r;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        r.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadFileBytes(err);
    return r;
}

// Every file of a folder with its bytes: equal snapshots mean nothing was written.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& name : FolderEntries(folder))
        files[name] = ReadFileBytes(folder / name);
    return files;
}

// A 1x1 picture in the bitmap format of the flags: file header, info header, one padded row.
std::string OnePixelBitmap() {
    std::string bmp = "BM";
    const auto le = [&bmp](unsigned value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    le(58, 4), le(0, 4), le(54, 4);                     // size, reserved, pixel offset
    le(40, 4), le(1, 4), le(1, 4), le(1, 2), le(24, 2); // header size, 1x1, planes, bits
    le(0, 4), le(4, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
    le(0xFF0000, 4); // one red pixel and the row's padding
    return bmp;
}

class Lngtool : public ::testing::Test {
protected:
    ScopedUserFolders folders;
    TempDir dict, scratch;

    Result Lng(const std::vector<std::string>& args) { return RunLngtool(args, scratch.Path()); }
    Result Ok(const std::vector<std::string>& args) {
        Result r = Lng(args);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
        return r;
    }
};

TEST_F(Lngtool, UsageErrorsExitWithTwoAndFailuresWithOne) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string firstLine; // of the error output
    };
    const std::vector<Case> cases = {
        {{}, 2, "usage: lngtool [--language NAME] COMMAND [ARGS]"},
        {{"frobnicate"}, 2, "lngtool: unknown command 'frobnicate'"},
        {{"--bogus"}, 2, "lngtool: unknown option --bogus"},
        {{"get", "Caption"}, 2, "lngtool get: wrong number of arguments"},
        {{"get", "Caption", "Open", "x"}, 2, "lngtool get: wrong number of arguments"},
        {{"folder", "--bogus"}, 2, "lngtool folder: unknown option --bogus"},
        {{"set", "Caption", "Open", "x", "--language"}, 2, "lngtool set: --language needs a value"},
        {{"image", "Default", "--export", "a.bmp", "--import", "b.bmp"},
         2,
         "lngtool image: --export and --import exclude each other"},
        {{"--locale", "pl", "new", "Klingon"},
         2,
         "lngtool new: --locale must follow the command name"},
        {{"folder", (dict / "missing").string()},
         1,
         "lngtool: No such folder: " + (dict / "missing").string()},
        {{"delete", "Klingon"}, 1, "lngtool: Unknown language: Klingon"},
        {{"new", "a\tb"},
         1,
         "lngtool: Invalid language name \"a\\tb\": it holds a control or invisible formatting "
         "character"},
        {{"use", "Klingon"}, 1, "lngtool: Unknown language: Klingon"},
        {{"set", "Caption", "Open", "\xD0"},
         1,
         "lngtool: The text is not valid UTF-8 (byte 0xD0 at offset 0)"},
        {{"new", "Klingon", "--locale", "xx-nonsense"}, 1, "lngtool: Unknown locale: xx-nonsense"},
        {{"set", "Caption", "Open", "x", "--locale", "pl"},
         2,
         "lngtool set: option not valid for this command"},
    };
    for (const auto& c : cases) {
        const Result r = Lng(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.firstLine);
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    const Result help = Lng({"keys", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: lngtool keys SECTION", 0), 0u) << help.out;
}

// Help and options only where a word can be one: after "--" every word is a value. Each case
// also checks what was stored, or that no file of the folder changed.
TEST_F(Lngtool, WordsAfterDoubleDashAreValuesAndHelpIsAnOptionOnlyBeforeIt) {
    Ok({"folder", dict.Path().string()});
    const std::string usage = Ok({"--help"}).out;
    EXPECT_EQ(usage.rfind("usage: lngtool [--language NAME] COMMAND [ARGS]\n", 0), 0u) << usage;
    EXPECT_NE(usage.find("\n  set SECTION KEY VALUE\n      Store a value.\n"), std::string::npos)
        << usage;
    const std::string setUsage = "usage: lngtool set SECTION KEY VALUE\n";
    const std::string setLinesUsage = "usage: lngtool set-lines SECTION KEY [LINE...]\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
        std::vector<std::string> readBack; // shows what was stored; none: nothing may change
        std::string stored;
    };
    const std::vector<Case> cases = {
        {{"set", "Caption", "Help", "--", "--help"},
         0,
         "",
         "",
         {"get", "Caption", "Help"},
         "--help\n"},
        {{"set-lines", "Text", "Flags", "--", "-v", "--help"},
         0,
         "",
         "",
         {"lines", "Text", "Flags"},
         "-v\n--help\n"},
        // Also once the command's own values are given: the words after "--" stay with it.
        {{"set-lines", "Text", "More", "a", "--", "--language", "++"},
         0,
         "",
         "",
         {"lines", "Text", "More"},
         "a\n--language\n++\n"},
        {{"new", "--", "-Klingon"},
         0,
         (dict / "Ovk-2452NGONA.Lng").string() + "\n",
         "",
         {"--language=-Klingon", "get", "Definitions", "OvkLanguage"},
         "-klingon\n"},
        // A command's name where a value is due is that value; so is a negative number.
        {{"set", "Caption", "keys", "new"}, 0, "", "", {"get", "Caption", "keys"}, "new\n"},
        {{"set", "Caption", "Minus", "-5", "--language", "Default"},
         0,
         "",
         "",
         {"get", "Caption", "Minus"},
         "-5\n"},
        {{"set-lines", "Text", "Shown", "-v", "--help"},
         0,
         setLinesUsage + "\nStore the lines as one comma-text value.\n"
                         "Put -- before values that start with '-'.\n",
         "",
         {},
         ""},
        {{"help"}, 0, usage, "", {}, ""},
        {{"set", "Caption", "Dash", "-x"},
         2,
         "",
         "lngtool set: unknown option -x\n" + setUsage,
         {},
         ""},
        {{"set", "Caption", "Many", "a", "b", "--", "--help"},
         2,
         "",
         "lngtool set: wrong number of arguments\n" + setUsage,
         {},
         ""},
        // "++" would end the command's words and vanish, leaving no line to store.
        {{"set-lines", "Text", "Lost", "++"},
         2,
         "",
         "lngtool set-lines: put -- before the value ++\n" + setLinesUsage,
         {},
         ""},
        {{"--bogus", "set", "Caption", "Open", "x"},
         2,
         "",
         "lngtool set: unknown option --bogus\n" + setUsage,
         {},
         ""},
        {{"frobnicate", "Caption"},
         2,
         "",
         "lngtool: unknown command 'frobnicate'\n\n" + usage,
         {},
         ""},
    };
    for (const auto& c : cases) {
        const auto before = Snapshot(dict.Path());
        const Result r = Lng(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << ' ' << c.args.back();
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        if (c.readBack.empty())
            EXPECT_EQ(Snapshot(dict.Path()), before) << c.args[0] << ' ' << c.args.back();
        else
            EXPECT_EQ(Ok(c.readBack).out, c.stored);
    }
}

TEST_F(Lngtool, AWholeRoundOnARealFolder) {
    Ok({"folder", dict.Path().string()});
    EXPECT_EQ(Ok({"folder"}).out, dict.Path().string() + "\n");
    EXPECT_EQ(Ok({"languages"}).out, "Default\t" + (dict / "OvkDefault.Lng").string() + "\n");

    // Section and key for every language, then translate.
    EXPECT_EQ(Ok({"new", "fran\xC3\xA7"
                         "ais"})
                  .out,
              (dict / "OvkF6520GAISA.Lng").string() + "\n");
    Ok({"add-key", "Caption", "Open"});
    Ok({"add-key", "Tips"});
    Ok({"--language",
        "Fran\xC3\xA7"
        "ais",
        "set", "Caption", "Open", "Ouvrir"});
    Ok({"set-lines", "Text", "Colours", "Red", "Dark green", "a,b"});

    EXPECT_EQ(Ok({"current"}).out, "Default\n");
    EXPECT_EQ(Ok({"get", "Caption", "Open"}).out, "Open\n");
    EXPECT_EQ(Ok({"--language",
                  "fran\xC3\xA7"
                  "ais",
                  "get", "Caption", "Open"})
                  .out,
              "Ouvrir\n");
    EXPECT_EQ(Ok({"current"}).out, "Default\n"); // --language changes nothing for later
    EXPECT_EQ(Ok({"get", "Text", "Colours"}).out, "Red,\"Dark green\",\"a,b\"\n");
    EXPECT_EQ(Ok({"lines", "Text", "Colours"}).out, "Red\nDark green\na,b\n");
    EXPECT_EQ(Ok({"sections"}).out, "Definitions\nCaption\nTips\nText\n");
    EXPECT_EQ(Ok({"keys", "Tips"}).out, "OVK\n");

    EXPECT_EQ(Ok({"use", "fran\xC3\xA7"
                         "ais"})
                  .out,
              "fran\xC3\xA7"
              "ais\n");
    EXPECT_EQ(Ok({"current"}).out, "fran\xC3\xA7"
                                   "ais\n");
    EXPECT_EQ(Ok({"keys", "Caption"}).out, "Open\n");

    EXPECT_EQ(Ok({"delete-key", "Caption", "Open"}).out,
              "removed [Caption] Open from 2 dictionaries\n");
    EXPECT_EQ(Ok({"delete-section", "Tips"}).out, "removed [Tips] from 2 dictionaries\n");
    EXPECT_EQ(Ok({"sections"}).out, "Definitions\nCaption\n");
    const Result removed = Ok({"delete", "Fran\xC3\xA7"
                                         "ais"});
    EXPECT_EQ(removed.out, "removed Fran\xC3\xA7"
                           "ais\t" +
                               (dict / "OvkF6520GAISA.Lng").string() + "\n");
    EXPECT_FALSE(fs::exists(dict / "OvkF6520GAISA.Lng"));
    EXPECT_EQ(Ok({"languages"}).out, "Default\t" + (dict / "OvkDefault.Lng").string() + "\n");

    // A catalogued language whose dictionary is already gone: nothing to report as removed.
    Ok({"new", "Klingon"});
    fs::remove(dict / "OvkK4525NGONA.Lng");
    const Result gone = Lng({"delete", "Klingon"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "lngtool: nothing was removed for Klingon\n");
    EXPECT_TRUE(gone.out.empty()) << gone.out;
}

// The translator's round: export, translate elsewhere, import, check, count.
TEST_F(Lngtool, ExportTranslateElsewhereImportAndCheck) {
    Ok({"folder", dict.Path().string()});
    Ok({"new", "Deutsch"});
    for (const char* key : {"&Open", "%1 of %2", "Close"})
        Ok({"add-key", "Caption", key});
    Ok({"--language", "Deutsch", "set", "Caption", "Close", "Schließen"});
    const fs::path german = dict / "OvkD3200TSCHA.Lng";
    const std::string before = ReadFileBytes(german);

    const fs::path po = scratch / "de.po";
    Ok({"--language", "Deutsch", "export", "po", po.string()});
    EXPECT_EQ(Ok({"--language", "Deutsch", "import", po.string()}).out,
              "Deutsch: 0 changed, 0 refused\n");
    EXPECT_EQ(ReadFileBytes(german), before); // an unchanged round trip writes nothing

    // A translator fills two entries, one with a broken placeholder.
    std::string text = ReadFileBytes(po);
    const auto translate = [&text](const std::string& id, const std::string& to) {
        const std::string from = "msgid \"" + id + "\"\nmsgstr \"\"";
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, from.size(), "msgid \"" + id + "\"\nmsgstr \"" + to + "\"");
    };
    translate("&Open", "Ö&ffnen");
    translate("%1 of %2", "%1 von %3");
    WriteFileBytes(po, text);
    const Result imported = Ok({"--language", "Deutsch", "import", po.string()});
    EXPECT_EQ(imported.out, "changed\tCaption\t&Open\ttranslation\n"
                            "refused\tCaption\t%1 of %2\tbroken placeholder: placeholders "
                            "renumbered: %2 became %3\n"
                            "Deutsch: 1 changed, 1 refused\n");
    EXPECT_EQ(Ok({"--language", "Deutsch", "get", "Caption", "&Open"}).out, "Ö&ffnen\n");

    // Untranslated entries are warnings; a broken one an error, which fails the gate.
    Ok({"--language", "Deutsch", "set", "Caption", "%1 of %2", "%1 von"});
    const Result check = Lng({"check", "Deutsch"});
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out, "Deutsch: error: [placeholders] Caption \"%1 of %2\": missing placeholder "
                         "%2\n1 errors, 0 warnings\n");
    EXPECT_EQ(check.err, "lngtool: the check found 1 errors and 0 warnings\n");
    Ok({"--language", "Deutsch", "set", "Caption", "%1 of %2", "%1 von %2"});
    EXPECT_EQ(Ok({"check", "--json"}).out,
              "{\n  \"errors\": 0,\n  \"findings\": [],\n  \"warnings\": 0\n}\n");
    EXPECT_EQ(Ok({"stats"}).out, "language\tentries\tdone\tneeds-review\tuntranslated\tdone%\n"
                                 "Deutsch\t3\t3\t0\t0\t100.0\n");
    // A reviewer's mark and note stay beside the entry, invisible to the value's readers.
    Ok({"--language", "Deutsch", "mark", "Caption", "Close", "needs-review", "--note",
        "Too formal?"});
    EXPECT_NE(ReadFileBytes(german).find(";@state needs-review\r\n;@translator Too formal?\r\n"
                                         "Close=Schließen\r\n"),
              std::string::npos);
    EXPECT_EQ(Ok({"--language", "Deutsch", "get", "Caption", "Close"}).out, "Schließen\n");
    EXPECT_EQ(
        Ok({"stats", "--json"}).out,
        "[\n  {\n    \"done\": 2,\n    \"entries\": 3,\n    \"language\": \"Deutsch\",\n"
        "    \"needsReview\": 1,\n    \"percentDone\": 66.7,\n    \"untranslated\": 0\n  }\n]\n");
    EXPECT_EQ(Lng({"mark", "Caption", "Close", "finished"}).status, 2);
    EXPECT_EQ(Lng({"--language", "Deutsch", "mark", "Hint", "Close", "done"}).err,
              "lngtool: The dictionary has no entry \"Close\" in section \"Hint\"\n");

    // Pseudo-localization makes a language whose texts show at a glance.
    Ok({"set-lines", "Text", "Colours", "Red", "Dark green"});
    Ok({"pseudo", "Pseudo"});
    EXPECT_EQ(Ok({"--language", "Pseudo", "get", "Caption", "&Open"}).out, "[&Oþéñ ~]\n");
    // A list of lines stays one: each line is pseudo-text of its own.
    EXPECT_EQ(Ok({"--language", "Pseudo", "lines", "Text", "Colours"}).out,
              "[Ŕéð ~]\n[Ðáŕķ ĝŕééñ ~-~]\n");
    // Its placeholders and accelerators still pass the strictest check.
    EXPECT_EQ(Ok({"check", "Pseudo", "--warnings-as-errors"}).out, "0 errors, 0 warnings\n");

    // A whole folder: one file per language, the Default dictionary as the template.
    const fs::path all = scratch / "all";
    EXPECT_EQ(Ok({"export", "po", all.string(), "--all"}).out,
              (all / "Default.pot").string() + "\n" + (all / "Deutsch.po").string() + "\n" +
                  (all / "Pseudo.po").string() + "\n");
    EXPECT_EQ(Ok({"import", all.string()}).out,
              "Deutsch: 0 changed, 0 refused\nPseudo: 0 changed, 0 refused\n");
    // A broken file fails the command but keeps no other language from its import.
    WriteFileBytes(all / "Deutsch.po", "msgid \"a\"\nmsgstr \"b\"\nmsgid bad\n");
    const Result broken = Lng({"import", all.string()});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.out, "Pseudo: 0 changed, 0 refused\n");
    EXPECT_EQ(broken.err, "lngtool: " + (all / "Deutsch.po").string() +
                              ": not a valid PO file: line 3: keyword \"bad\" unknown\n"
                              "lngtool: 1 of 2 imports failed\n");
    EXPECT_EQ(Lng({"export", "odt", po.string()}).status, 2);
    EXPECT_EQ(Lng({"import", (scratch / "missing.po").string()}).status, 1);
}

// The flag is written by the server inside the folder: never through a link another user
// planted there to have the tool overwrite a file elsewhere.
TEST_F(Lngtool, FlagImportNeverWritesThroughAPlantedLink) {
#ifndef LNGTOOL_WITH_PICTURES
    GTEST_SKIP() << "this lngtool was built without picture support";
#endif
    Ok({"folder", dict.Path().string()});
    WriteFileBytes(scratch / "flag.bmp", OnePixelBitmap());
    const fs::path flag = dict / "OvkDefault.bmp";
    EXPECT_EQ(Ok({"image", "Default", "--import", (scratch / "flag.bmp").string()}).out,
              flag.string() + "\n");
    EXPECT_EQ(Ok({"image", "Default"}).out, flag.string() + "\t1x1\n");

    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    fs::remove(flag);
    WriteFileBytes(scratch / "elsewhere.bmp", "someone's file");
    fs::create_symlink(scratch / "elsewhere.bmp", flag);
    ASSERT_EQ(::lchown(flag.c_str(), 54321, 54321), 0);
    const Result r = Lng({"image", "Default", "--import", (scratch / "flag.bmp").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lngtool: Unable to write to " + flag.string() +
                         " (the file is a link made by another user)\n");
    EXPECT_EQ(ReadFileBytes(scratch / "elsewhere.bmp"), "someone's file");
}

TEST_F(Lngtool, EveryScriptLocalesAndPluralVariants) {
    Ok({"folder", dict.Path().string()});
    // A legacy Windows-1252 Default: the new dictionary starts in the code page too.
    WriteFileBytes(dict / "OvkDefault.Lng",
                   "[Definitions]\r\nOvkLanguage=Default\r\n[Messages]\r\n%n files=%n files\r\n");
    EXPECT_EQ(Ok({"new", "Polski", "--locale", "pl_PL"}).out,
              (dict / "OvkP4200LSKIA.Lng").string() + "\n");
    EXPECT_EQ(Ok({"--language", "Polski", "locale"}).out, "pl-PL\n");
    EXPECT_EQ(Ok({"new", "Русский"}).out, (dict / "OvkÐ00000_0_A.Lng").string() + "\n");
    EXPECT_EQ(Ok({"--language", "Русский", "locale"}).out, "ru\tguessed\n");
    EXPECT_EQ(Ok({"locale"}).out, "unknown\n"); // Default names no language

    Ok({"use", "Polski"});
    EXPECT_EQ(Ok({"plurals"}).out.rfind("one\t1\nfew\t2, 3, 4, 22, 23, 24", 0), 0u);
    EXPECT_EQ(Ok({"add-plurals", "Messages", "%n files"}).out,
              "%n files[one]\n%n files[few]\n%n files[many]\n%n files\n");
    // Setting a text the code page lacks converts the dictionary, and says so.
    const Result set = Ok({"set", "Messages", "%n files[many]", "%n plików – ł"});
    EXPECT_EQ(set.err,
              "lngtool: notice: " + (dict / "OvkP4200LSKIA.Lng").string() +
                  " is now UTF-8 (it was Windows-1252, which cannot hold the text written)\n");
    EXPECT_EQ(ReadFileBytes(dict / "OvkP4200LSKIA.Lng").rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_TRUE(Ok({"set", "Messages", "%n files[few]", "%n pliki"}).err.empty());
    const Result plurals = Ok({"plurals", "Messages", "%n files"});
    EXPECT_NE(plurals.out.find("many\t0, 5, 6, 7, 8, 9, 10, 11\t%n files[many]\t%n plików – ł\n"),
              std::string::npos)
        << plurals.out;
    EXPECT_NE(plurals.out.find("few\t2, 3, 4, 22, 23, 24, 32, 33\t%n files[few]\t%n pliki\n"),
              std::string::npos)
        << plurals.out;
    EXPECT_EQ(Ok({"--language", "Русский", "get", "Messages", "%n files"}).out, "%n files\n");
    EXPECT_EQ(Ok({"languages"}).out, "Default\t" + (dict / "OvkDefault.Lng").string() +
                                         "\nPolski\t" + (dict / "OvkP4200LSKIA.Lng").string() +
                                         "\nРусский\t" + (dict / "OvkÐ00000_0_A.Lng").string() +
                                         "\n");
}

TEST_F(Lngtool, RefreshFindsDictionariesDroppedIntoTheFolder) {
    Ok({"folder", dict.Path().string()});
    WriteFileBytes(dict / "x.lng", "[Definitions]\nOvkLanguage=Italiano\n");
    EXPECT_EQ(Ok({"refresh"}).out, "Default\t" + (dict / "OvkDefault.Lng").string() +
                                       "\nItaliano\t" + (dict / "x.lng").string() + "\n");
}

} // namespace
} // namespace tavrel::test

#include "tavrel/catalog/CatalogFormats.h"

#include "tavrel/localize/LanguageLocale.h"
#include "TempDir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace tavrel {
namespace {

using test::MessageOf;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using F = TCatalogFormat;

constexpr F kAllFormats[] = {F::Po, F::Pot, F::Xliff, F::Xliff2, F::Ts};
constexpr const char* kLocales[] = {"pl", "ar", "en"};

// A catalog with every field each format carries: contexts (and none), the three states,
// multi-line notes, locations, an obsolete entry, plurals of the locale, and texts that
// need escaping.
TCatalog Sample(const std::string& locale) {
    TCatalog c;
    c.language = locale == "pl" ? "Polski" : locale == "ar" ? "العربية" : "English";
    c.locale = locale;
    c.sourceLocale = "en";
    auto plurals = [&](bool translated) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const std::string& category : PluralCategories(locale))
            out.emplace_back(category, translated ? "%n <" + category + "> & \"zdań\"" : "");
        return out;
    };
    c.entries = {
        {"Main",
         "Open",
         "Otwórz",
         {},
         TEntryState::Done,
         "Keep it short\n\n  no period",
         "Window title\nof the main form",
         {"Main.open.Caption", "Main.menuFile.Items"},
         {"Main.menuFile"},
         false,
         ""},
        {"Main",
         "Say \"hi\" \\ <b>&amp;</b>\tnow",
         "Powiedz „cześć” \\ <b>&amp;</b>\t'teraz'",
         {},
         TEntryState::NeedsReview,
         "tab\there",
         "",
         {},
         {},
         false,
         ""},
        {"Dialogs", "Cancel", "", {}, TEntryState::Untranslated, "", "Button", {}, {}, false, ""},
        {"", "No section", "Bez sekcji", {}, TEntryState::Done, "", "", {}, {}, false, ""},
        {"Messages",
         "%n phrases in your collection",
         "",
         plurals(true),
         TEntryState::Done,
         "plural note",
         "",
         {"Main.status"},
         {},
         false,
         "custom.id-1"},
        {"Messages",
         "%n files",
         "",
         plurals(false),
         TEntryState::Untranslated,
         "",
         "",
         {},
         {},
         false,
         ""},
        {"Dialogs",
         "Old text",
         "Stary tekst",
         {},
         TEntryState::Done,
         "was a button",
         "",
         {"Main.old"},
         {},
         true,
         ""},
    };
    for (TCatalogEntry& e : c.entries)
        if (!e.plurals.empty())
            e.translation = e.plurals.back().second;
    return c;
}

// What reading back must give: the fields the format carries. gettext drops obsolete
// entries without translation, so a POT has none.
TCatalog Expected(TCatalog c, F format) {
    c.isTemplate = format == F::Pot;
    if (format == F::Pot)
        std::erase_if(c.entries, [](const TCatalogEntry& e) { return e.obsolete; });
    if (format == F::Ts)
        c.language.clear();
    for (TCatalogEntry& e : c.entries) {
        e.menus.clear();
        if (format == F::Xliff || format == F::Xliff2)
            e.id = e.id.empty() ? CatalogEntryId(e.context, e.source) : e.id;
        else
            e.id.clear();
        if (format == F::Ts)
            e.locations.clear();
        if (format == F::Pot) {
            e.translation.clear();
            for (auto& plural : e.plurals)
                plural.second.clear();
            e.state = TEntryState::Untranslated;
        }
    }
    return c;
}

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

// Every field, one entry a line, so a failure shows what differs.
std::string Dump(const TCatalog& c) {
    std::ostringstream out;
    out << "language=" << c.language << " locale=" << c.locale << " source=" << c.sourceLocale
        << " template=" << c.isTemplate << "\n";
    for (const TCatalogEntry& e : c.entries) {
        out << "[" << e.context << "] " << e.source << " -> " << e.translation << " | "
            << EntryStateName(e.state) << " | tr=" << e.translatorNote
            << " | dev=" << e.developerNote << " | at=" << Join(e.locations)
            << " | menus=" << Join(e.menus) << (e.obsolete ? " | obsolete" : "") << " | id=" << e.id
            << "\n";
        for (const auto& [category, text] : e.plurals)
            out << "    " << category << ": " << text << "\n";
    }
    return out.str();
}

struct TRun {
    int status = -1;
    std::string output;
};

// Runs a shell command, standard error included in the output.
TRun RunCommand(const std::string& command) {
    TRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        run.output.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The first of the commands that runs; empty when none does.
std::string FindTool(std::initializer_list<std::string> candidates, const std::string& probe) {
    for (const std::string& candidate : candidates)
        if (RunCommand(candidate + " " + probe).status == 0)
            return candidate;
    return {};
}

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

TCatalog ReadFile(const std::filesystem::path& file, F format) {
    return ReadCatalog(ReadFileBytes(file), format);
}

TEST(CatalogFormatsTest, EveryFormatRoundTripsEveryFieldItCarries) {
    for (const char* locale : kLocales) {
        const TCatalog catalog = Sample(locale);
        for (F format : kAllFormats) {
            SCOPED_TRACE(std::string(CatalogFormatName(format)) + " " + locale);
            const std::string bytes = WriteCatalog(catalog, format);
            EXPECT_EQ(WriteCatalog(catalog, format), bytes) << "not deterministic";
            const TCatalog read = ReadCatalog(bytes, format);
            // PO keeps obsolete entries last; the sample has its obsolete entry last.
            EXPECT_EQ(Dump(read), Dump(Expected(catalog, format)));
            EXPECT_EQ(WriteCatalog(read, format), bytes) << "a second round changes the file";
            const std::string name = "x" + std::string(CatalogFormatExtension(format));
            EXPECT_EQ(DetectCatalogFormat(name, bytes), format);
        }
    }
}

TEST(CatalogFormatsTest, PluralFormsFollowTheLocalesCldrRules) {
    const std::pair<const char*, const char*> cases[] = {
        {"en", "nplurals=2; plural=(n == 1) ? 0 : 1;"},
        {"pl", "nplurals=4; plural=(n == 1) ? 0 : ((n % 10 >= 2 && n % 10 <= 4) && (n % 100 < "
               "12 || n % 100 > 14)) ? 1 : ((n != 1 && n % 10 <= 1) || (n % 10 >= 5 && n % 10 "
               "<= 9) || (n % 100 >= 12 && n % 100 <= 14)) ? 2 : 3;"},
        {"ar", "nplurals=6; plural=(n == 0) ? 0 : (n == 1) ? 1 : (n == 2) ? 2 : (n % 100 >= 3 "
               "&& n % 100 <= 10) ? 3 : (n % 100 >= 11 && n % 100 <= 99) ? 4 : 5;"},
        {"fr", "nplurals=3; plural=(n == 0 || n == 1) ? 0 : (n != 0 && n % 1000000 == 0) ? 1 "
               ": 2;"},
        {"gd", "nplurals=4; plural=(n == 1 || n == 11) ? 0 : (n == 2 || n == 12) ? 1 : ((n >= "
               "3 && n <= 10) || (n >= 13 && n <= 19)) ? 2 : 3;"},
        {"ja", "nplurals=1; plural=0;"},
        {"", "nplurals=1; plural=0;"},
    };
    for (const auto& [locale, expected] : cases) {
        TCatalog catalog;
        catalog.locale = locale;
        catalog.entries.push_back({"", "%n", "", {{"other", ""}}, {}, "", "", {}, {}, false, ""});
        // The header's lines as one, without gettext's wrapping.
        std::string po = WriteCatalog(catalog, F::Po);
        for (std::size_t wrap; (wrap = po.find("\"\n\"")) != std::string::npos;)
            po.erase(wrap, 3);
        const std::size_t at = po.find("Plural-Forms: ");
        ASSERT_NE(at, std::string::npos) << locale;
        EXPECT_EQ(po.substr(at + 14, po.find("\\n", at) - at - 14), expected) << locale;
    }
    // Without plural entries there is no Plural-Forms header.
    EXPECT_EQ(WriteCatalog(TCatalog{}, F::Po).find("Plural-Forms"), std::string::npos);
}

TEST(CatalogFormatsTest, ReadsFewerFormsThanTheLanguageHas) {
    // gettext's and Qt's usual Polish has three forms; CLDR has four.
    const std::string po =
        "msgid \"\"\nmsgstr \"\"\n\"Language: pl\\n\"\n"
        "\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
        "msgid \"%n file\"\nmsgid_plural \"%n files\"\n"
        "msgstr[0] \"%n plik\"\nmsgstr[1] \"%n pliki\"\nmsgstr[2] \"%n plików\"\n";
    const std::string ts = "<TS language=\"pl_PL\"><context><name>C</name><message numerus=\"yes\">"
                           "<source>%n file</source><translation><numerusform>%n plik"
                           "</numerusform><numerusform>%n pliki</numerusform><numerusform>%n "
                           "plików</numerusform></translation></message></context></TS>";
    for (const auto& [format, bytes] : {std::pair{F::Po, po}, std::pair{F::Ts, ts}}) {
        const TCatalog catalog = ReadCatalog(bytes, format);
        ASSERT_EQ(catalog.entries.size(), 1u);
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"one", "%n plik"}, {"few", "%n pliki"}, {"many", "%n plików"}, {"other", "%n plików"}};
        EXPECT_EQ(catalog.entries[0].plurals, expected);
        EXPECT_EQ(catalog.entries[0].translation, "%n plików");
        EXPECT_EQ(catalog.entries[0].state, TEntryState::Done);
    }
}

TEST(CatalogFormatsTest, NamesExtensionsAndDetection) {
    const std::tuple<F, const char*, const char*> names[] = {
        {F::Po, "po", ".po"},          {F::Pot, "pot", ".pot"}, {F::Xliff, "xliff", ".xlf"},
        {F::Xliff2, "xliff2", ".xlf"}, {F::Ts, "ts", ".ts"},
    };
    for (const auto& [format, name, extension] : names) {
        EXPECT_EQ(CatalogFormatName(format), name);
        EXPECT_EQ(CatalogFormatExtension(format), extension);
        EXPECT_EQ(CatalogFormatByName(name), format);
    }
    EXPECT_EQ(CatalogFormatByName("xlf"), std::nullopt);

    const std::tuple<const char*, std::string, std::optional<F>> cases[] = {
        {"a.po", "# comment\nmsgid \"\"\nmsgstr \"\"\n", F::Po},
        {"a.POT", "msgid \"x\"\nmsgstr \"\"\n", F::Pot},
        {"a.txt", "\xEF\xBB\xBF  msgctxt \"c\"\nmsgid \"x\"\n", F::Po},
        {"a.xml", "<?xml version=\"1.0\"?>\n<!-- c --><xliff version=\"1.2\"/>", F::Xliff},
        {"a.xlf", "<xliff xmlns=\"urn:oasis:names:tc:xliff:document:2.0\" version=\"2.0\"/>",
         F::Xliff2},
        {"a.xlf", "<xliff version=\"1.1\"><file/></xliff>", F::Xliff},
        {"a.ts", "<?xml version=\"1.0\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\"/>", F::Ts},
        {"a.xlf", "<html><body/></html>", std::nullopt},
        {"a.po", "[Section]\nkey=value\n", std::nullopt},
        {"a.po", "", std::nullopt},
        {"a.xlf", "<xliff", std::nullopt},
    };
    for (const auto& [name, bytes, format] : cases)
        EXPECT_EQ(DetectCatalogFormat(name, bytes), format) << name << ": " << bytes;
}

TEST(CatalogFormatsTest, RefusesHostileAndForeignFiles) {
    TempDir dir;
    WriteFileBytes(dir / "secret.txt", "TOP-SECRET");
    const std::string xxe =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE xliff [<!ENTITY x SYSTEM \"file://" +
        (dir / "secret.txt").string() +
        "\">]>\n<xliff version=\"1.2\"><file original=\"&x;\"><body><trans-unit "
        "id=\"a\"><source>&x;</source></trans-unit></body></file></xliff>";
    const std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE TS [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
        "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
        "<TS><context><name>&c;</name></context></TS>";
    const std::tuple<F, std::string, std::string> cases[] = {
        {F::Xliff, xxe, "not a well-formed XLIFF file: it declares entities"},
        {F::Ts, laughs, "not a well-formed TS file: it declares entities"},
        {F::Xliff, "<?xml version=\"1.0\"?>\n<xliff version=\"1.2\">\n<file",
         "not a well-formed XLIFF file: line 3: Couldn't find end of Start Tag file line 3"},
        {F::Xliff2, "<xliff version=\"2.0\"><file id=\"f\"><unit></file></xliff>",
         "not a well-formed XLIFF file: line 1: Opening and ending tag mismatch: unit line 1 and "
         "file"},
        {F::Ts, std::string("\x00\x01\xFF", 3),
         "not a well-formed TS file: line 1: Document is empty"},
        {F::Xliff, "<xliff version=\"2.0\"/>", "not an XLIFF 1.2 file: version \"2.0\""},
        {F::Xliff2, "<xliff version=\"1.2\"/>", "not an XLIFF 2 file: version \"1.2\""},
        {F::Ts, "<xliff version=\"1.2\"/>", "not a TS file: the root is <xliff>"},
        {F::Po, "msgid \"a\"\nmsgstr \"b\"\nmsgid bad\n",
         "not a valid PO file: line 3: keyword \"bad\" unknown"},
        {F::Po,
         "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgid "
         "\"\xC3\x28\"\nmsgstr \"\"\n",
         "not a valid PO file: line 4: invalid multibyte sequence"},
        {F::Po, "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=NO-SUCH-SET\\n\"\n",
         "not a valid PO file: unknown charset \"no-such-set\""},
        {F::Pot, "<xliff version=\"1.2\"/>", "not a valid PO file: line 1: syntax error"},
        // An entity the DTD might declare is never looked up, neither in text nor in a value.
        {F::Ts,
         "<!DOCTYPE TS SYSTEM \"ts.dtd\"><TS><context><name>&x;</name><message><source>a"
         "</source></message></context></TS>",
         "not a well-formed TS file: line 1: Entity 'x' not defined"},
        {F::Xliff,
         "<!DOCTYPE xliff SYSTEM \"x.dtd\"><xliff version=\"1.2\"><file><body><trans-unit "
         "id=\"a\"><source>a &amp;&x;</source></trans-unit></body></file></xliff>",
         "not a well-formed XLIFF file: line 1: Entity 'x' not defined"},
        // Escaped bytes gettext does not check against the charset.
        {F::Po,
         "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgid "
         "\"a\"\nmsgstr \"\\xff\"\n",
         "not a valid PO file: the text \"\xff\" is not valid UTF-8"},
    };
    // The PO library works on files in memory: nothing lands in the temporary folder.
    TempDir temp;
    const char* oldTemp = std::getenv("TMPDIR");
    const std::string saved = oldTemp ? oldTemp : "";
    setenv("TMPDIR", temp.Path().c_str(), 1);
    for (const auto& [format, bytes, message] : cases)
        EXPECT_EQ(MessageOf([&] { ReadCatalog(bytes, format); }), message) << bytes;
    EXPECT_EQ(test::FolderEntries(temp.Path()), std::vector<std::string>{});
    if (oldTemp)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

// Files as other tools write them: header variants, escapes, CDATA, long texts.
TEST(CatalogFormatsTest, ReadsWhatOtherWritersWrite) {
    const std::string longText(300000, 'x'); // longer than the reader's blocks
    const std::string header = "msgid \"\"\nmsgstr \"\"\n\"Language: de\\n\"\n";
    const std::tuple<F, std::string, std::string> cases[] = {
        // The header's charset in any spelling and place; a text that names it is kept.
        {F::Po,
         header + "\"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgid \"charset=UTF-8\"\n"
                  "msgstr \"Zeichensatz charset=UTF-8 Ä\"\n",
         "[] charset=UTF-8 -> Zeichensatz charset=UTF-8 Ä | done"},
        {F::Po,
         header + "\"Content-Type: text/plain; charset=\"\n\"utf-8\\n\"\n\nmsgid \"Ä\"\n"
                  "msgstr \"Ö\"\n",
         "[] Ä -> Ö | done"},
        {F::Po,
         "# comment\n#, fuzzy\nmsgid \"\"\nmsgstr \"Content-Type: text/plain; "
         "charset=utf-8\\n\"\n\n#~ msgid \"Alt\"\n#~ msgstr \"Ält\"\n",
         "[] Alt -> Ält | done | obsolete"},
        {F::Po,
         "msgctxt \"C\"\nmsgid \"\"\nmsgstr \"charset=UTF-8 Ü\"\n\nmsgid \"\"\nmsgstr "
         "\"Content-Type: text/plain; charset=UTF-8\\n\"\n",
         "[C]  -> charset=UTF-8 Ü | done"},
        {F::Po,
         "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\nmsgid "
         "\"a\"\nmsgstr \"\xC4\"\n",
         "[] a -> Ä | done"},
        // Escapes, character references, CDATA and comments in texts and values.
        {F::Xliff,
         "<?xml version=\"1.0\"?><!DOCTYPE xliff [<!ATTLIST trans-unit approved CDATA "
         "\"yes\">]><xliff version=\"1.2\"><file><body><group resname=\"A&amp;B &#38; "
         "&quot;q&quot; &lt;&#x41;&gt;&#9;\"><trans-unit id=\"i&amp;d\"><source>s<![CDATA[<&>]]>"
         "<!-- c -->&#x1F600;&lt;</source><target state=\"needs-l10n\">t</target></trans-unit>"
         "</group></body></file></xliff>",
         "[A&B & \"q\" <A>\t] s<&>😀< -> t | needs-review"},
        {F::Xliff2,
         "<xliff xmlns=\"urn:oasis:names:tc:xliff:document:2.0\" version=\"2.0\" "
         "xmlns:x=\"urn:x\"><file id=\"f\"><unit id=\"u\" x:type=\"ignored\"><segment "
         "state=\"final\"><source>" +
             longText + "</source><target>" + longText +
             "</target></segment></unit></file></xliff>",
         "[] " + longText + " -> " + longText + " | done"},
        {F::Ts,
         "<TS><context><name>C</name><message><source>a<byte value=\"x41\"/>b</source>"
         "<translation><lengthvariant>lang</lengthvariant><lengthvariant>kurz</lengthvariant>"
         "</translation></message></context></TS>",
         "[C] aAb -> lang | done"},
    };
    for (const auto& [format, bytes, expected] : cases) {
        const TCatalog catalog = ReadCatalog(bytes, format);
        std::string entries;
        for (const TCatalogEntry& e : catalog.entries)
            entries += "[" + e.context + "] " + e.source + " -> " + e.translation + " | " +
                       std::string(EntryStateName(e.state)) + (e.obsolete ? " | obsolete" : "");
        EXPECT_EQ(entries, expected) << bytes.substr(0, 300);
        if (format == F::Xliff) {
            EXPECT_EQ(catalog.entries.at(0).id, "i&d");
        }
    }
}

// The XML writers' bytes, to the blank: other tools and version control see them.
TEST(CatalogFormatsTest, XmlWritersWriteTheSameBytes) {
    TCatalog catalog;
    catalog.locale = "de";
    catalog.language = "A \"<&>\"\t\n";
    catalog.entries = {
        {"C", "s \"<&>\"\r\n\t'", "t", {}, TEntryState::Done, "", "", {}, {}, false, "i"},
        {"C", "u", "", {}, TEntryState::Untranslated, "", "", {}, {}, false, "j"},
    };
    const std::pair<F, std::string> cases[] = {
        {F::Ts,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" "
         "language=\"de\">\n  <context>\n    <name>C</name>\n    <message>\n      <source>s "
         "&quot;&lt;&amp;&gt;&quot;&#13;\n\t'</source>\n      <translation>t</translation>\n "
         "   </message>\n    <message>\n      <source>u</source>\n      <translation "
         "type=\"unfinished\"></translation>\n    </message>\n  </context>\n</TS>\n"},
        {F::Xliff2,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xliff "
         "xmlns=\"urn:oasis:names:tc:xliff:document:2.0\" version=\"2.0\" srcLang=\"und\" "
         "trgLang=\"de\">\n  <file id=\"f1\" original=\"A &quot;&lt;&amp;&gt;&quot;&#9;&#10;\" "
         "xml:space=\"preserve\">\n    <group id=\"g1\" name=\"C\">\n      <unit id=\"i\">\n "
         "       <segment state=\"translated\">\n          <source>s "
         "&quot;&lt;&amp;&gt;&quot;&#13;\n\t'</source>\n          <target>t</target>\n        "
         "</segment>\n      </unit>\n      <unit id=\"j\">\n        <segment "
         "state=\"initial\">\n          <source>u</source>\n        </segment>\n      </unit>\n "
         "   </group>\n  </file>\n</xliff>\n"},
    };
    for (const auto& [format, expected] : cases)
        EXPECT_EQ(WriteCatalog(catalog, format), expected) << CatalogFormatName(format);
}

TEST(CatalogFormatsTest, XmlWritersRefuseWhatXmlCannotCarry) {
    TCatalog catalog = Sample("en");
    catalog.entries[0].translation = "bell\a";
    for (F format : {F::Xliff, F::Xliff2, F::Ts})
        EXPECT_EQ(MessageOf([&] { WriteCatalog(catalog, format); }),
                  "XML cannot carry the character U+0007 of the text \"bell\a\"");
    // PO can: gettext escapes it.
    EXPECT_EQ(ReadCatalog(WriteCatalog(catalog, F::Po), F::Po).entries[0].translation, "bell\a");
    catalog.entries[0].context.clear();
    catalog.entries[0].source.clear();
    EXPECT_EQ(MessageOf([&] { WriteCatalog(catalog, F::Po); }),
              "PO cannot hold an entry without context and source text");
}

// The field's own tools ------------------------------------------------------------------

TEST(CatalogFormatsToolsTest, PoAndPotPassMsgfmtCheck) {
    if (FindTool({"msgfmt"}, "--version").empty())
        GTEST_SKIP() << "msgfmt is not installed";
    TempDir dir;
    for (const char* locale : kLocales) {
        for (F format : {F::Po, F::Pot}) {
            const auto file = dir / ("x" + std::string(CatalogFormatExtension(format)));
            WriteFileBytes(file, WriteCatalog(Sample(locale), format));
            const TRun run = RunCommand("msgfmt --check -o /dev/null " + Quoted(file));
            EXPECT_EQ(run.status, 0) << locale << run.output;
            EXPECT_EQ(run.output, "") << locale;
        }
    }
}

TEST(CatalogFormatsToolsTest, ReadsWhatMsgcatAndMsgmergeWrite) {
    if (FindTool({"msgmerge"}, "--version").empty())
        GTEST_SKIP() << "msgmerge is not installed";
    TempDir dir;
    const TCatalog catalog = Sample("pl");
    WriteFileBytes(dir / "x.po", WriteCatalog(catalog, F::Po));
    WriteFileBytes(dir / "x.pot", WriteCatalog(catalog, F::Pot));
    // msgmerge drops the locations of obsolete entries.
    const std::pair<std::string, bool> commands[] = {
        {"msgcat -o " + Quoted(dir / "out.po") + " " + Quoted(dir / "x.po"), false},
        {"msgmerge --quiet --no-fuzzy-matching -o " + Quoted(dir / "out.po") + " " +
             Quoted(dir / "x.po") + " " + Quoted(dir / "x.pot"),
         true},
    };
    for (const auto& [command, dropsObsoleteLocations] : commands) {
        const TRun run = RunCommand(command);
        ASSERT_EQ(run.status, 0) << command << run.output;
        TCatalog expected = Expected(catalog, F::Po);
        for (TCatalogEntry& e : expected.entries)
            if (e.obsolete && dropsObsoleteLocations)
                e.locations.clear();
        EXPECT_EQ(Dump(ReadFile(dir / "out.po", F::Po)), Dump(expected)) << command;
    }
}

TEST(CatalogFormatsToolsTest, TsSurvivesLconvertToPoAndBack) {
    const std::string lconvert = FindTool({"/usr/lib/qt6/bin/lconvert", "lconvert"}, "-help");
    if (lconvert.empty())
        GTEST_SKIP() << "lconvert is not installed";
    TempDir dir;
    const TCatalog catalog = Sample("en");
    WriteFileBytes(dir / "x.ts", WriteCatalog(catalog, F::Ts));
    for (const std::string& command :
         {lconvert + " -i " + Quoted(dir / "x.ts") + " -o " + Quoted(dir / "x.po"),
          lconvert + " -i " + Quoted(dir / "x.po") + " -o " + Quoted(dir / "y.ts")}) {
        const TRun run = RunCommand(command);
        ASSERT_EQ(run.status, 0) << command << run.output;
    }
    // lconvert gathers each context's messages; its PO keeps obsolete entries last (and
    // fuzzy), and its TS reader joins the lines of developer notes.
    TCatalog expected = Expected(catalog, F::Ts);
    std::vector<std::string> contexts;
    for (const TCatalogEntry& e : expected.entries)
        if (std::find(contexts.begin(), contexts.end(), e.context) == contexts.end())
            contexts.push_back(e.context);
    std::stable_sort(expected.entries.begin(), expected.entries.end(), [&](auto& a, auto& b) {
        return std::find(contexts.begin(), contexts.end(), a.context) <
               std::find(contexts.begin(), contexts.end(), b.context);
    });
    TCatalog expectedPo = expected;
    std::stable_partition(expectedPo.entries.begin(), expectedPo.entries.end(),
                          [](auto& e) { return !e.obsolete; });
    expectedPo.entries.back().state = TEntryState::NeedsReview;
    EXPECT_EQ(Dump(ReadFile(dir / "x.po", F::Po)), Dump(expectedPo));
    for (TCatalogEntry& e : expected.entries)
        std::erase(e.developerNote, '\n');
    EXPECT_EQ(Dump(ReadFile(dir / "y.ts", F::Ts)), Dump(expected));
}

// translate-toolkit's reader, through a script that prints "plural|source|targets" per unit.
std::string ToolkitUnits(const std::filesystem::path& file, const std::string& python) {
    const std::string script =
        "import sys\n"
        "from translate.storage import poxliff\n"
        "f = poxliff.PoXliffFile(open(sys.argv[1], 'rb').read())\n"
        "for u in f.units:\n"
        "    t = u.target.strings if u.hasplural() else [u.target]\n"
        "    print('%d|%s|%s' % (u.hasplural(), u.source, '/'.join(x or '' for x in t)))\n";
    WriteFileBytes(file.parent_path() / "units.py", script);
    const TRun run =
        RunCommand(python + " " + Quoted(file.parent_path() / "units.py") + " " + Quoted(file));
    return run.status == 0 ? run.output : "failed: " + run.output;
}

std::string ExpectedUnits(const TCatalog& catalog) {
    std::string out;
    for (const TCatalogEntry& e : catalog.entries) {
        std::vector<std::string> targets;
        for (const auto& plural : e.plurals)
            targets.push_back(e.state == TEntryState::Untranslated ? "" : plural.second);
        std::string joined;
        for (std::size_t i = 0; i < targets.size(); ++i)
            joined += (i ? "/" : "") + targets[i];
        out += (e.plurals.empty() ? "0|" : "1|") + e.source + "|" +
               (e.plurals.empty() ? e.translation : joined) + "\n";
    }
    return out;
}

TEST(CatalogFormatsToolsTest, TranslateToolkitReadsXliffAndWritesWhatWeRead) {
    const std::string python =
        FindTool({"/usr/bin/python3", "python3"}, "-c 'import translate.storage.poxliff'");
    if (python.empty())
        GTEST_SKIP() << "translate-toolkit is not installed";
    TempDir dir;
    for (const char* locale : kLocales) {
        const TCatalog catalog = Sample(locale);
        WriteFileBytes(dir / "x.xlf", WriteCatalog(catalog, F::Xliff));
        EXPECT_EQ(ToolkitUnits(dir / "x.xlf", python), ExpectedUnits(catalog)) << locale;
    }

    // po2xliff keeps texts, notes and locations; it drops contexts, ids, the obsolete mark
    // and the locations of obsolete entries, and marks fuzzy entries as needing translation.
    if (FindTool({"po2xliff"}, "--version").empty())
        GTEST_SKIP() << "po2xliff is not installed";
    TCatalog catalog = Expected(Sample("en"), F::Po);
    WriteFileBytes(dir / "x.po", WriteCatalog(catalog, F::Po));
    const TRun run = RunCommand("po2xliff " + Quoted(dir / "x.po") + " " + Quoted(dir / "t.xlf"));
    ASSERT_EQ(run.status, 0) << run.output;
    TCatalog read = ReadFile(dir / "t.xlf", F::Xliff);
    for (TCatalogEntry& e : catalog.entries) {
        e.context.clear();
        if (e.obsolete)
            e.locations.clear();
        e.obsolete = false;
        if (e.state == TEntryState::NeedsReview)
            e.state = TEntryState::Untranslated;
    }
    catalog.language = (dir / "x.po").string();
    catalog.sourceLocale = "en-US";
    for (TCatalogEntry& e : read.entries)
        e.id.clear();
    EXPECT_EQ(Dump(read), Dump(catalog));
}

TEST(CatalogFormatsToolsTest, Xliff2IsWellFormedWithOneUnitPerEntry) {
    if (FindTool({"xmllint"}, "--version").empty())
        GTEST_SKIP() << "xmllint is not installed";
    TempDir dir;
    WriteFileBytes(dir / "x.xlf", WriteCatalog(Sample("ar"), F::Xliff2));
    const std::pair<const char*, const char*> queries[] = {
        {"count(//*[local-name()='unit'])", "7"},
        {"count(//*[local-name()='group'])", "4"},
        {"count(//*[local-name()='unit'][@type='tavrel:plurals']/*[local-name()='segment'])", "12"},
        {"count(//*[local-name()='segment'][@state='translated'])", "9"},
        {"string(//*[@id='custom.id-1']/*[local-name()='segment'][2]/*[local-name()='target'])",
         "%n <one> & \"zdań\""},
    };
    for (const auto& [query, expected] : queries) {
        const TRun run =
            RunCommand("xmllint --xpath \"" + std::string(query) + "\" " + Quoted(dir / "x.xlf"));
        EXPECT_EQ(run.status, 0) << query << run.output;
        EXPECT_EQ(run.output, expected + std::string("\n")) << query;
    }
}

} // namespace
} // namespace tavrel

// lngtool: the localization server on the command line, for scripts and quick checks.
// Arguments and output are UTF-8, as is all text of the server.

#include "PictureSupport.h"
#include "tavrel/localize/LanguageLocale.h"
#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/storage/DictionaryFiles.h"
#include "tavrel/storage/Utf8.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using tavrel::TOvkLocalizeServer;
namespace fs = std::filesystem;

// Bad usage: printed with the command's help, exit code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Invocation {
    std::vector<std::string> args; // after the command name, UTF-8
    std::optional<std::string> language;
    std::optional<std::string> image;
    std::optional<std::string> exportFile;
    std::optional<std::string> importFile;
    std::optional<std::string> locale;
};

// An argument that is not UTF-8 (a terminal in another encoding) is refused, not stored.
std::string In(const std::string& utf8) {
    tavrel::CheckUtf8(utf8);
    return utf8;
}
const std::string& Out(const std::string& utf8) {
    return utf8;
}

// The canonical form of a --locale value; refuses a tag that names no language.
std::string LocaleArgument(const std::string& tag) {
    const std::string canonical = tavrel::CanonicalLocaleTag(In(tag));
    if (canonical.empty())
        throw std::runtime_error("Unknown locale: " + tag);
    return canonical;
}

// How the current language picks the plural variant of SECTION KEY.
void PrintPlurals(TOvkLocalizeServer& s, const Invocation& inv) {
    const std::string tag = s.LanguageLocale("");
    for (const std::string& category : tavrel::PluralCategories(tag)) {
        std::cout << category << '\t' << tavrel::PluralSamples(tag, category);
        if (inv.args.size() == 2) {
            const std::string key = tavrel::PluralVariantKey(In(inv.args[1]), category);
            std::cout << '\t' << key << '\t' << s.ReadValue(In(inv.args[0]), key);
        }
        std::cout << '\n';
    }
}

void PrintLines(const std::vector<std::string>& lines) {
    for (const auto& line : lines)
        std::cout << Out(line) << '\n';
}

struct Command {
    std::string synopsis;
    std::string help;
    std::size_t minArgs, maxArgs; // maxArgs SIZE_MAX: any number
    std::function<void(TOvkLocalizeServer&, const Invocation&)> run;
};

void RequireDictionary(TOvkLocalizeServer& server) {
    if (server.LanguageFileName(server.Language()).empty())
        throw std::runtime_error("The language \"" + Out(server.Language()) +
                                 "\" has no dictionary file");
}

std::map<std::string, Command> Commands() {
    std::map<std::string, Command> c;
    c["folder"] = {"folder [DIR]",
                   "Show the dictionary folder, or set it to DIR (which must exist) and rescan.", 0,
                   1, [](TOvkLocalizeServer& s, const Invocation& inv) {
                       if (inv.args.empty()) {
                           std::cout << s.DictionaryFolder().string() << '\n';
                           return;
                       }
                       std::error_code ec;
                       const fs::path dir = fs::absolute(inv.args[0], ec);
                       if (ec || !fs::is_directory(dir, ec))
                           throw std::runtime_error("No such folder: " + inv.args[0]);
                       s.SetDicPath(dir.lexically_normal().string());
                       // A new folder brings its own dictionaries: rescan it.
                       s.RefreshLanguages();
                       std::cout << s.DicPath() << '\n';
                   }};
    c["refresh"] = {"refresh", "Rescan the dictionary folder and register what it holds.", 0, 0,
                    [](TOvkLocalizeServer& s, const Invocation&) {
                        s.RefreshLanguages();
                        for (const auto& name : s.LanguageList().Names())
                            std::cout << Out(name) << '\t' << s.LanguageFileName(name) << '\n';
                    }};
    c["languages"] = {"languages", "List the catalogued languages: name, a tab, dictionary file.",
                      0, 0, [](TOvkLocalizeServer& s, const Invocation&) {
                          s.ReloadLanguageList();
                          for (const auto& name : s.LanguageList().Names())
                              std::cout << Out(name) << '\t' << s.LanguageFileName(name) << '\n';
                      }};
    c["current"] = {
        "current", "Show the current language.", 0, 0,
        [](TOvkLocalizeServer& s, const Invocation&) { std::cout << Out(s.Language()) << '\n'; }};
    c["use"] = {"use NAME", "Make NAME the current language (it must be catalogued).", 1, 1,
                [](TOvkLocalizeServer& s, const Invocation& inv) {
                    const std::string name = In(inv.args[0]);
                    s.ReloadLanguageList();
                    if (s.LanguageList().IndexOf(name) < 0)
                        throw std::runtime_error("Unknown language: " + inv.args[0]);
                    s.SetLanguage(name);
                    std::cout << Out(s.Language()) << '\n';
                }};
    c["new"] = {"new NAME [--locale TAG] [--image FILE.bmp]",
                "Create a language seeded from the Default dictionary; print its dictionary path.\n"
                "TAG is the language's BCP 47 locale (pl, ru, ar, zh-Hans); without it the\n"
                "locale is guessed from NAME where that is unambiguous.",
                1, 1, [](TOvkLocalizeServer& s, const Invocation& inv) {
                    const std::string name = In(inv.args[0]);
                    const std::optional<std::string> locale =
                        inv.locale ? std::optional(LocaleArgument(*inv.locale)) : std::nullopt;
                    auto picture = lngtool::LoadPicture(inv.image);
                    const fs::path file = s.NewLanguage(name, picture.get());
                    const std::string created = tavrel::CapitalizeFirst(name);
                    if (s.LanguageList().IndexOf(created) < 0)
                        throw std::runtime_error("The language could not be created in " +
                                                 file.parent_path().string());
                    if (locale) {
                        s.SelectLanguage(created);
                        s.WriteValue(tavrel::kDefinitionsSection, tavrel::kLocaleKey, *locale);
                    }
                    std::cout << file.string() << '\n';
                }};
    c["locale"] = {"locale [TAG]",
                   "Show the language's locale (\"guessed\" when the dictionary names none), or\n"
                   "store TAG as its locale.",
                   0, 1, [](TOvkLocalizeServer& s, const Invocation& inv) {
                       if (!inv.args.empty()) {
                           RequireDictionary(s);
                           s.WriteValue(tavrel::kDefinitionsSection, tavrel::kLocaleKey,
                                        LocaleArgument(inv.args[0]));
                       }
                       const std::string tag = s.LanguageLocale("");
                       const bool stored =
                           !s.ReadValue(tavrel::kDefinitionsSection, tavrel::kLocaleKey).empty();
                       std::cout << (tag.empty() ? "unknown" : tag)
                                 << (stored || tag.empty() ? "" : "\tguessed") << '\n';
                   }};
    c["plurals"] = {"plurals [SECTION KEY]",
                    "List the plural categories of the language with sample counts; with SECTION\n"
                    "KEY also the key of each variant of that message and its value.",
                    0, 2, [](TOvkLocalizeServer& s, const Invocation& inv) {
                        if (inv.args.size() == 1)
                            throw UsageError("give both SECTION and KEY");
                        PrintPlurals(s, inv);
                    }};
    c["add-plurals"] = {"add-plurals SECTION KEY",
                        "Add the plural variants the language needs for KEY to its dictionary,\n"
                        "each holding the key's value until translated; print their keys.",
                        2, 2, [](TOvkLocalizeServer& s, const Invocation& inv) {
                            RequireDictionary(s);
                            PrintLines(s.AddPluralVariants(In(inv.args[0]), In(inv.args[1])));
                        }};
    c["delete"] = {"delete NAME", "Delete a language's dictionary and flag.", 1, 1,
                   [](TOvkLocalizeServer& s, const Invocation& inv) {
                       const std::string name = In(inv.args[0]);
                       const std::string file = s.LanguageFileName(name);
                       if (file.empty())
                           throw std::runtime_error("Unknown language: " + inv.args[0]);
                       s.DeleteLanguage(name);
                       std::cout << "removed " << inv.args[0] << '\t' << file << '\n';
                   }};
    c["sections"] = {"sections", "List the sections of the dictionary.", 0, 0,
                     [](TOvkLocalizeServer& s, const Invocation&) {
                         std::vector<std::string> list;
                         s.ReadSectionNames(list);
                         PrintLines(list);
                     }};
    c["keys"] = {"keys SECTION", "List the keys of a section.", 1, 1,
                 [](TOvkLocalizeServer& s, const Invocation& inv) {
                     std::vector<std::string> list;
                     s.ReadSectionKeys(In(inv.args[0]), list);
                     PrintLines(list);
                 }};
    c["get"] = {"get SECTION KEY", "Print a value (empty when absent).", 2, 2,
                [](TOvkLocalizeServer& s, const Invocation& inv) {
                    std::cout << Out(s.ReadValue(In(inv.args[0]), In(inv.args[1]))) << '\n';
                }};
    c["set"] = {"set SECTION KEY VALUE", "Store a value.", 3, 3,
                [](TOvkLocalizeServer& s, const Invocation& inv) {
                    RequireDictionary(s);
                    s.WriteValue(In(inv.args[0]), In(inv.args[1]), In(inv.args[2]));
                }};
    c["lines"] = {
        "lines SECTION KEY", "Print a value read as comma-text, one line per line.", 2, 2,
        [](TOvkLocalizeServer& s, const Invocation& inv) {
            PrintLines(tavrel::LinesFromCommaText(s.ReadValue(In(inv.args[0]), In(inv.args[1]))));
        }};
    c["set-lines"] = {"set-lines SECTION KEY [LINE...]", "Store the lines as one comma-text value.",
                      2, SIZE_MAX, [](TOvkLocalizeServer& s, const Invocation& inv) {
                          RequireDictionary(s);
                          std::vector<std::string> lines;
                          for (std::size_t i = 2; i < inv.args.size(); ++i)
                              lines.push_back(In(inv.args[i]));
                          s.WriteValue(In(inv.args[0]), In(inv.args[1]),
                                       tavrel::CommaTextFromLines(lines));
                      }};
    c["add-key"] = {"add-key SECTION [KEY]",
                    "Add a key (or, without KEY, the section) to every dictionary that lacks it.",
                    1, 2, [](TOvkLocalizeServer& s, const Invocation& inv) {
                        s.ReloadLanguageList();
                        s.AddKeyToAll(In(inv.args[0]), inv.args.size() > 1 ? In(inv.args[1]) : "");
                    }};
    c["delete-key"] = {"delete-key SECTION KEY", "Delete a key from every dictionary.", 2, 2,
                       [](TOvkLocalizeServer& s, const Invocation& inv) {
                           s.ReloadLanguageList();
                           s.DeleteKeyFromAll(In(inv.args[0]), In(inv.args[1]));
                           std::cout << "removed [" << inv.args[0] << "] " << inv.args[1]
                                     << " from " << s.LanguageList().Count() << " dictionaries\n";
                       }};
    c["delete-section"] = {"delete-section SECTION", "Delete a section from every dictionary.", 1,
                           1, [](TOvkLocalizeServer& s, const Invocation& inv) {
                               s.ReloadLanguageList();
                               s.DeleteSectionFromAll(In(inv.args[0]));
                               std::cout << "removed [" << inv.args[0] << "] from "
                                         << s.LanguageList().Count() << " dictionaries\n";
                           }};
    c["image"] = {"image NAME [--export FILE.bmp | --import FILE.bmp]",
                  "Show, export or import the flag picture of a language.", 1, 1,
                  [](TOvkLocalizeServer& s, const Invocation& inv) {
                      lngtool::ImageCommand(s, In(inv.args[0]), inv.exportFile, inv.importFile);
                  }};
    return c;
}

void PrintUsage(std::ostream& out, const std::map<std::string, Command>& commands) {
    out << "usage: lngtool [--language NAME] COMMAND [ARGS]\n\n"
           "Reads and edits the dictionaries of the localization server. Commands work on\n"
           "the current language unless --language NAME picks another for that command.\n\n"
           "Commands:\n";
    for (const auto& [name, cmd] : commands)
        out << "  " << cmd.synopsis << "\n      " << cmd.help << '\n';
    out << "\nRun 'lngtool COMMAND --help' for one command.\n";
}

Invocation ParseOptions(const std::vector<std::string>& raw) {
    Invocation inv;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const std::string& a = raw[i];
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= raw.size())
                throw UsageError(a + " needs a value");
            into = raw[++i];
        };
        if (a == "--language")
            value(inv.language);
        else if (a == "--image")
            value(inv.image);
        else if (a == "--locale")
            value(inv.locale);
        else if (a == "--export")
            value(inv.exportFile);
        else if (a == "--import")
            value(inv.importFile);
        else if (a == "--")
            inv.args.insert(inv.args.end(), raw.begin() + static_cast<long>(i) + 1, raw.end()),
                i = raw.size();
        else if (a.size() > 1 && a[0] == '-' && a[1] == '-')
            throw UsageError("unknown option " + a);
        else
            inv.args.push_back(a);
    }
    return inv;
}

} // namespace

int main(int argc, char** argv) {
    const auto commands = Commands();
    std::vector<std::string> raw(argv + 1, argv + argc);
    if (raw.empty()) {
        PrintUsage(std::cerr, commands);
        return 2;
    }
    if (raw[0] == "--help" || raw[0] == "-h" || raw[0] == "help") {
        PrintUsage(std::cout, commands);
        return 0;
    }
    // The command is the first word that is not an option or an option's value.
    std::size_t at = 0;
    while (at < raw.size() && raw[at] == "--language")
        at += 2;
    if (at >= raw.size()) {
        PrintUsage(std::cerr, commands);
        return 2;
    }
    const std::string name = raw[at];
    const auto found = commands.find(name);
    if (found == commands.end()) {
        std::cerr << "lngtool: unknown command '" << name << "'\n\n";
        PrintUsage(std::cerr, commands);
        return 2;
    }
    const Command& command = found->second;
    raw.erase(raw.begin() + static_cast<long>(at));
    for (const auto& a : raw) {
        if (a == "--help" || a == "-h") {
            std::cout << "usage: lngtool " << command.synopsis << "\n\n" << command.help << '\n';
            return 0;
        }
    }
    try {
        const Invocation inv = ParseOptions(raw);
        if (inv.args.size() < command.minArgs || inv.args.size() > command.maxArgs)
            throw UsageError("wrong number of arguments");
        if (((inv.image || inv.locale) && name != "new") ||
            ((inv.exportFile || inv.importFile) && name != "image"))
            throw UsageError("option not valid for this command");
        if (inv.exportFile && inv.importFile)
            throw UsageError("--export and --import exclude each other");

        tavrel::TLocalizeEnvironment environment = lngtool::Environment();
        environment.DictionaryConverted = [](const fs::path& dictionary) {
            std::cerr
                << "lngtool: notice: " << dictionary.string()
                << " is now UTF-8 (it was Windows-1252, which cannot hold the text written)\n";
        };
        TOvkLocalizeServer server(nullptr, std::move(environment));
        // Like an application: the remembered language becomes current once loaded.
        server.SetLoading();
        server.Loaded();
        if (inv.language)
            server.SelectLanguage(In(*inv.language));
        command.run(server, inv);
        return 0;
    } catch (const UsageError& e) {
        std::cerr << "lngtool " << name << ": " << e.what() << "\nusage: lngtool "
                  << command.synopsis << '\n';
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "lngtool: " << e.what() << '\n';
        return 1;
    }
}

// The catalogue of languages: the folder, listing, choosing, creating and deleting them, and
// their flag pictures.

#include "Commands.h"
#include "PictureSupport.h"
#include "tavrel/localize/OVKStrUtils.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <filesystem>
#include <iostream>

namespace lngtool {

namespace {

namespace fs = std::filesystem;

void PrintCatalogue(TOvkLocalizeServer& s) {
    for (const auto& name : s.LanguageList().Names())
        std::cout << name << '\t' << s.LanguageFileName(name) << '\n';
}

void SetFolder(TOvkLocalizeServer& s, const std::string& folder) {
    std::error_code ec;
    const fs::path dir = fs::absolute(folder, ec);
    if (ec || !fs::is_directory(dir, ec))
        throw std::runtime_error("No such folder: " + folder);
    s.SetDicPath(dir.lexically_normal().string());
    // A new folder brings its own dictionaries: rescan it.
    s.RefreshLanguages();
    std::cout << s.DicPath() << '\n';
}

void AddFolder(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("folder [DIR]",
                "Show the dictionary folder, or set it to DIR (which must exist) and rescan.");
    const Word dir = OptionalValue(cmd, "DIR");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        if (dir.Given())
            SetFolder(s, dir.Raw());
        else
            std::cout << s.DictionaryFolder().string() << '\n';
    });
}

void AddRefresh(CommandLine& cli) {
    CLI::App& cmd = cli.Add("refresh", "Rescan the dictionary folder and register what it holds.");
    cli.Does(cmd, [](TOvkLocalizeServer& s) {
        s.RefreshLanguages();
        PrintCatalogue(s);
    });
}

void AddLanguages(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("languages", "List the catalogued languages: name, a tab, dictionary file.");
    cli.Does(cmd, [](TOvkLocalizeServer& s) {
        s.ReloadLanguageList();
        PrintCatalogue(s);
    });
}

void AddCurrent(CommandLine& cli) {
    CLI::App& cmd = cli.Add("current", "Show the current language.");
    cli.Does(cmd, [](TOvkLocalizeServer& s) { std::cout << s.Language() << '\n'; });
}

void AddUse(CommandLine& cli) {
    CLI::App& cmd = cli.Add("use NAME", "Make NAME the current language (it must be catalogued).");
    const Word name = Value(cmd, "NAME");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        s.ReloadLanguageList();
        if (s.LanguageList().IndexOf(name.Text()) < 0)
            throw std::runtime_error("Unknown language: " + name.Raw());
        s.SetLanguage(name.Text());
        std::cout << s.Language() << '\n';
    });
}

void AddNew(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("new NAME [--locale TAG] [--image FILE.bmp]",
                "Create a language seeded from the Default dictionary; print its dictionary path.\n"
                "TAG is the language's BCP 47 locale (pl, ru, ar, zh-Hans); without it the\n"
                "locale is guessed from NAME where that is unambiguous. For a language that\n"
                "exists, only the Default entries it lacks are added.");
    const Word name = Value(cmd, "NAME");
    const Word locale = ValueOption(cmd, "--locale", "TAG");
    const Word image = ValueOption(cmd, "--image", "FILE.bmp");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        const std::optional<std::string> tag =
            locale.Given() ? std::optional(LocaleArgument(locale)) : std::nullopt;
        const auto picture = LoadPicture(image.RawIfGiven());
        // The server refuses an invalid name and reports a failed write.
        const fs::path file = s.NewLanguage(name.Text(), picture.get());
        if (tag) {
            s.SelectLanguage(tavrel::CapitalizeFirst(name.Text()));
            s.WriteValue(tavrel::kDefinitionsSection, tavrel::kLocaleKey, *tag);
        }
        std::cout << file.string() << '\n';
    });
}

void AddDelete(CommandLine& cli) {
    CLI::App& cmd = cli.Add("delete NAME", "Delete a language's dictionary and flag.");
    const Word name = Value(cmd, "NAME");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        const std::string file = s.LanguageFileName(name.Text());
        if (file.empty())
            throw std::runtime_error("Unknown language: " + name.Raw());
        if (!s.DeleteLanguage(name.Text()))
            throw std::runtime_error("nothing was removed for " + name.Raw());
        std::cout << "removed " << name.Raw() << '\t' << file << '\n';
    });
}

void AddImage(CommandLine& cli) {
    CLI::App& cmd = cli.Add("image NAME [--export FILE.bmp | --import FILE.bmp]",
                            "Show, export or import the flag picture of a language.");
    const Word name = Value(cmd, "NAME");
    const Word exportFile = ValueOption(cmd, "--export", "FILE.bmp");
    const Word importFile = ValueOption(cmd, "--import", "FILE.bmp");
    cmd.get_option("--export")->excludes("--import");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        ImageCommand(s, name.Text(), exportFile.RawIfGiven(), importFile.RawIfGiven());
    });
}

} // namespace

void AddLanguageCommands(CommandLine& cli) {
    AddFolder(cli);
    AddRefresh(cli);
    AddLanguages(cli);
    AddCurrent(cli);
    AddUse(cli);
    AddNew(cli);
    AddDelete(cli);
    AddImage(cli);
}

} // namespace lngtool

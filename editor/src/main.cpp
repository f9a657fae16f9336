#include "EditorApplication.h"
#include "ErrorBox.h"
#include "FMainEditor.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

// Answered before any window system is needed.
constexpr char kHelp[] =
    "usage: lngedit [--dictionaries DIR] [--help | --version]\n\n"
    "The translator's editor of run-time localization dictionaries. It starts on the\n"
    "dictionary folder and the language used last (both in\n"
    "${XDG_CONFIG_HOME:-~/.config}/Tavrel/Localize.ini). See lngedit(1) and lngtool(1).\n\n"
    "  --dictionaries DIR  edit the dictionaries in DIR; like a folder chosen with the\n"
    "                      folder button, it is remembered for the next start\n";

// What the command line asks for; `exitStatus` is set when the program is done without a
// window.
struct Options {
    fs::path folder;
    std::optional<int> exitStatus;
};

int Refuse(const std::string& problem) {
    std::fprintf(stderr, "lngedit: %s\n", problem.c_str());
    return 2;
}

// Words the editor does not know are left to Qt's own options (-style, -platform ...).
Options ReadOptions(int argc, char** argv) {
    constexpr std::string_view kFolderOption = "--dictionaries";
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--version") {
            std::fputs("lngedit " TAVREL_VERSION "\n", stdout);
            options.exitStatus = 0;
            return options;
        }
        if (word == "--help" || word == "-h") {
            std::fputs(kHelp, stdout);
            options.exitStatus = 0;
            return options;
        }
        std::string folder;
        if (word == kFolderOption) {
            if (i + 1 == argc) {
                options.exitStatus = Refuse("--dictionaries needs a folder");
                return options;
            }
            folder = argv[++i];
        } else if (word.starts_with(std::string(kFolderOption) + "=")) {
            folder = word.substr(kFolderOption.size() + 1);
        } else {
            continue;
        }
        // Stored for the next start, so it must not depend on the working folder.
        std::error_code ec;
        const fs::path absolute =
            folder.empty() ? fs::path() : fs::absolute(folder, ec).lexically_normal();
        if (absolute.empty() || ec || !fs::is_directory(absolute, ec)) {
            options.exitStatus = Refuse("No such folder: " + folder);
            return options;
        }
        options.folder = absolute.has_filename() ? absolute : absolute.parent_path();
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ReadOptions(argc, argv);
    if (options.exitStatus)
        return *options.exitStatus;
    tavrel::editor::TEditorApplication application(argc, argv);
    std::unique_ptr<tavrel::editor::TFMain> window;
    try {
        tavrel::TLocalizeEnvironment environment = tavrel::editor::TFMain::DefaultEnvironment();
        // A fresh store makes the server seed a Default dictionary in the folder it starts
        // on: that is the asked-for folder, not the default one.
        if (!options.folder.empty())
            environment.DefaultFolder = options.folder;
        window = std::make_unique<tavrel::editor::TFMain>(std::move(environment));
        // Before the window is shown: showing it reads the folder and scans it.
        if (!options.folder.empty())
            window->LocServer->SetDicPath(options.folder.string());
    } catch (...) {
        // Without its window the program has nothing to run.
        tavrel::editor::ShowCurrentException();
        return 1;
    }
    window->show();
    return application.exec();
}

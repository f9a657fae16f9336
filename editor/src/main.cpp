#include "EditorApplication.h"
#include "ErrorBox.h"
#include "FMainEditor.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Answered before any window system is needed.
constexpr char kHelp[] =
    "usage: lngedit [--help | --version]\n\n"
    "The translator's editor of run-time localization dictionaries. It starts on the\n"
    "dictionary folder and the language used last (both in\n"
    "${XDG_CONFIG_HOME:-~/.config}/Tavrel/Localize.ini). See lngedit(1) and lngtool(1).\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("lngedit " TAVREL_VERSION "\n", stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    tavrel::editor::TEditorApplication application(argc, argv);
    std::unique_ptr<tavrel::editor::TFMain> window;
    try {
        window = std::make_unique<tavrel::editor::TFMain>();
    } catch (...) {
        // Without its window the program has nothing to run.
        tavrel::editor::ShowCurrentException();
        return 1;
    }
    window->show();
    return application.exec();
}

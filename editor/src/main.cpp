#include "EditorApplication.h"
#include "ErrorBox.h"
#include "FMainEditor.h"

#include <memory>

int main(int argc, char** argv) {
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

// lngtool: the localization server on the command line, for scripts and quick checks.
// Arguments and output are UTF-8, as is all text of the server.

#include "Commands.h"

int main(int argc, char** argv) {
    lngtool::CommandLine cli;
    lngtool::AddLanguageCommands(cli);
    lngtool::AddEntryCommands(cli);
    lngtool::AddLocaleCommands(cli);
    lngtool::AddCatalogCommands(cli);
    return cli.Run(argc, argv);
}

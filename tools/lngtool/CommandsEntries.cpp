// The entries of the dictionaries: reading and writing values, and adding or deleting keys and
// sections in every dictionary at once.

#include "Commands.h"
#include "tavrel/localize/OVKStrUtils.h"

#include <iostream>

namespace lngtool {

void PrintLines(const std::vector<std::string>& lines) {
    for (const auto& line : lines)
        std::cout << line << '\n';
}

void RequireDictionary(TOvkLocalizeServer& server) {
    if (server.LanguageFileName(server.Language()).empty())
        throw std::runtime_error("The language \"" + server.Language() +
                                 "\" has no dictionary file");
}

namespace {

void AddSections(CommandLine& cli) {
    CLI::App& cmd = cli.Add("sections", "List the sections of the dictionary.");
    cli.Does(cmd, [](TOvkLocalizeServer& s) {
        std::vector<std::string> list;
        s.ReadSectionNames(list);
        PrintLines(list);
    });
}

void AddKeys(CommandLine& cli) {
    CLI::App& cmd = cli.Add("keys SECTION", "List the keys of a section.");
    const Word section = Value(cmd, "SECTION");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        std::vector<std::string> list;
        s.ReadSectionKeys(section.Text(), list);
        PrintLines(list);
    });
}

void AddGet(CommandLine& cli) {
    CLI::App& cmd = cli.Add("get SECTION KEY", "Print a value (empty when absent).");
    const Word section = Value(cmd, "SECTION"), key = Value(cmd, "KEY");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        std::cout << s.ReadValue(section.Text(), key.Text()) << '\n';
    });
}

void AddSet(CommandLine& cli) {
    CLI::App& cmd = cli.Add("set SECTION KEY VALUE", "Store a value.");
    const Word section = Value(cmd, "SECTION"), key = Value(cmd, "KEY");
    const Word value = Value(cmd, "VALUE");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        RequireDictionary(s);
        s.WriteValue(section.Text(), key.Text(), value.Text());
    });
}

void AddLines(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("lines SECTION KEY", "Print a value read as comma-text, one line per line.");
    const Word section = Value(cmd, "SECTION"), key = Value(cmd, "KEY");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        PrintLines(tavrel::LinesFromCommaText(s.ReadValue(section.Text(), key.Text())));
    });
}

void AddSetLines(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("set-lines SECTION KEY [LINE...]", "Store the lines as one comma-text value.");
    const Word section = Value(cmd, "SECTION"), key = Value(cmd, "KEY");
    const Word lines = Values(cmd, "LINE");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        RequireDictionary(s);
        s.WriteValue(section.Text(), key.Text(), tavrel::CommaTextFromLines(lines.Texts()));
    });
}

void AddAddKey(CommandLine& cli) {
    CLI::App& cmd =
        cli.Add("add-key SECTION [KEY]",
                "Add a key (or, without KEY, the section) to every dictionary that lacks it.");
    const Word section = Value(cmd, "SECTION"), key = OptionalValue(cmd, "KEY");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        s.ReloadLanguageList();
        s.AddKeyToAll(section.Text(), key.Text());
    });
}

void AddDeleteKey(CommandLine& cli) {
    CLI::App& cmd = cli.Add("delete-key SECTION KEY", "Delete a key from every dictionary.");
    const Word section = Value(cmd, "SECTION"), key = Value(cmd, "KEY");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        s.ReloadLanguageList();
        s.DeleteKeyFromAll(section.Text(), key.Text());
        std::cout << "removed [" << section.Raw() << "] " << key.Raw() << " from "
                  << s.LanguageList().Count() << " dictionaries\n";
    });
}

void AddDeleteSection(CommandLine& cli) {
    CLI::App& cmd = cli.Add("delete-section SECTION", "Delete a section from every dictionary.");
    const Word section = Value(cmd, "SECTION");
    cli.Does(cmd, [=](TOvkLocalizeServer& s) {
        s.ReloadLanguageList();
        s.DeleteSectionFromAll(section.Text());
        std::cout << "removed [" << section.Raw() << "] from " << s.LanguageList().Count()
                  << " dictionaries\n";
    });
}

} // namespace

void AddEntryCommands(CommandLine& cli) {
    AddSections(cli);
    AddKeys(cli);
    AddGet(cli);
    AddSet(cli);
    AddLines(cli);
    AddSetLines(cli);
    AddAddKey(cli);
    AddDeleteKey(cli);
    AddDeleteSection(cli);
}

} // namespace lngtool

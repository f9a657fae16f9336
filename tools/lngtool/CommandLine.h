#pragma once

// The command line of lngtool: commands declared by their synopsis, their words parsed by
// CLI11, the outcome turned into output and exit codes (0 done, 1 failed, 2 bad usage).

#include "tavrel/localize/TOvkLocalizeServer.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lngtool {

using tavrel::TOvkLocalizeServer;

// Bad usage found by a command: printed with the command's synopsis, exit code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An argument that is not UTF-8 (a terminal in another encoding) is refused, not stored.
std::string In(const std::string& utf8);

// A word given to a command, a value of its own or an option's, read once parsing is done.
class Word {
public:
    explicit Word(const CLI::Option* option) : option_(option) {}
    bool Given() const { return option_->count() > 0; }
    // As typed, for messages and file names; empty when not given.
    std::string Raw() const;
    // As text to store or look up: checked to be UTF-8.
    std::string Text() const { return In(Raw()); }
    std::optional<std::string> RawIfGiven() const;
    // Every value of a word that takes any number of them, checked to be UTF-8.
    std::vector<std::string> Texts() const;

private:
    const CLI::Option* option_;
};

// The values of a command, in the order they are declared.
Word Value(CLI::App& command, const std::string& name);
Word OptionalValue(CLI::App& command, const std::string& name);
Word Values(CLI::App& command, const std::string& name);
// An option without a value, such as "--json".
Word Flag(CLI::App& command, const std::string& option);
// An option with a value, such as "--locale".
Word ValueOption(CLI::App& command, const std::string& option, const std::string& valueName);

class HelpText;

class CommandLine {
public:
    using Action = std::function<void(TOvkLocalizeServer&)>;

    CommandLine();
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Declares a command by its synopsis ("get SECTION KEY"), whose first word names it.
    CLI::App& Add(const std::string& synopsis, const std::string& help);
    // What the command does; declared after the command's words.
    void Does(CLI::App& command, Action action);
    // Parses the arguments and runs their command; returns the exit code.
    int Run(int argc, const char* const* argv);

private:
    CLI::App* Selected() const;
    std::string Explain(const CLI::ParseError& error) const;
    std::string OptionProblem(const std::string& word) const;
    std::string MissingValueProblem(const CLI::ParseError& error) const;
    int ReportUsage(const CLI::App* command, std::string_view problem) const;
    int Execute(const CLI::App& command) const;

    CLI::App app_{"", "lngtool"};
    std::shared_ptr<HelpText> help_;
    CLI::App* helpCommand_ = nullptr;
    std::optional<Word> language_;
    struct Declared {
        Action action;
        const CLI::Option* surplus;
    };
    std::map<const CLI::App*, Declared> commands_;
};

} // namespace lngtool

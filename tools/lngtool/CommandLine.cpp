#include "CommandLine.h"

#include "PictureSupport.h"
#include "tavrel/storage/Utf8.h"

#include <iostream>
#include <string_view>

namespace lngtool {

namespace {

// A positional slot that is never full, declared last on every command. Once a command's own
// values are all given, CLI11 hands the words after "--" back to the main program, which reads
// an option-like word as an option again; a slot still open keeps them with the command, where
// any word in it is one too many. (Below CLI11's mark of "unlimited", allowed once a command.)
constexpr int kSurplusSlots = 1 << 28;

bool LooksLikeOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-';
}

std::string OptionName(const std::string& word) {
    return word.substr(0, word.find('='));
}

// CLI11 reads "++" as the end of a command's words and drops it: a value "++" would vanish
// without a word, so it is accepted only after "--".
bool HasBareTerminator(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--")
            return false;
        if (word == "++")
            return true;
    }
    return false;
}

constexpr std::string_view kBareTerminatorProblem = "put -- before the value ++";

// Two options of a command that exclude each other were both given.
std::string ExclusionProblem(const CLI::App& command) {
    std::string given;
    for (const CLI::Option* option : command.get_options())
        if (!option->get_positional() && option->count() > 0 && !option->get_excludes().empty())
            given += (given.empty() ? "" : " and ") + option->get_name();
    return given + " exclude each other";
}

tavrel::TLocalizeEnvironment ToolEnvironment() {
    tavrel::TLocalizeEnvironment environment = Environment();
    environment.DictionaryConverted = [](const std::filesystem::path& dictionary) {
        std::cerr << "lngtool: notice: " << dictionary.string()
                  << " is now UTF-8 (it was Windows-1252, which cannot hold the text written)\n";
    };
    return environment;
}

} // namespace

// The help of lngtool and of each command, in place of CLI11's generated one.
class HelpText final : public CLI::FormatterBase {
public:
    struct Command {
        std::string synopsis, help;
        bool takesValues = false;
    };

    void Describe(const std::string& name, Command command) {
        commands_[name] = std::move(command);
    }
    void MarkTakesValues(const std::string& name) { commands_.at(name).takesValues = true; }
    const std::string& Synopsis(const std::string& name) const {
        return commands_.at(name).synopsis;
    }

    std::string Usage() const {
        std::string text =
            "usage: lngtool [--language NAME] COMMAND [ARGS]\n\n"
            "Reads and edits the dictionaries of the localization server. Commands work on\n"
            "the current language unless --language NAME picks another for that command.\n"
            "Put -- before values that start with '-': every word after it is a value.\n"
            "lngtool --version prints the version.\n\n"
            "Commands:\n";
        for (const auto& [name, command] : commands_)
            text += "  " + command.synopsis + "\n      " + command.help + '\n';
        return text + "\nRun 'lngtool COMMAND --help' for one command.\n";
    }

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        const auto found = commands_.find(app->get_name());
        if (app->get_parent() == nullptr || found == commands_.end())
            return Usage();
        const Command& command = found->second;
        return "usage: lngtool " + command.synopsis + "\n\n" + command.help + '\n' +
               (command.takesValues ? "Put -- before values that start with '-'.\n" : "");
    }

private:
    std::map<std::string, Command> commands_; // by name: the listing is alphabetical
};

std::string In(const std::string& utf8) {
    tavrel::CheckUtf8(utf8);
    return utf8;
}

std::string Word::Raw() const {
    return Given() ? option_->results().back() : std::string();
}

std::optional<std::string> Word::RawIfGiven() const {
    return Given() ? std::optional(Raw()) : std::nullopt;
}

std::vector<std::string> Word::Texts() const {
    std::vector<std::string> texts;
    for (const std::string& value : option_->results())
        texts.push_back(In(value));
    return texts;
}

Word Value(CLI::App& command, const std::string& name) {
    return Word(command.add_option(name)->required());
}

Word OptionalValue(CLI::App& command, const std::string& name) {
    return Word(command.add_option(name));
}

Word Values(CLI::App& command, const std::string& name) {
    return Word(command.add_option(name)
                    ->expected(0, CLI::detail::expected_max_vector_size)
                    ->allow_extra_args()
                    ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll));
}

Word Flag(CLI::App& command, const std::string& option) {
    return Word(command.add_flag(option));
}

Word ValueOption(CLI::App& command, const std::string& option, const std::string& valueName) {
    return Word(command.add_option(option)->type_name(valueName));
}

CommandLine::CommandLine() : help_(std::make_shared<HelpText>()) {
    app_.formatter(help_);
    // A repeated option means its last value, as a later word overrides an earlier one.
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // One command per run; the words of a command are never read as a second command.
    app_.require_subcommand(0, 1);
    // --language may follow the command name as well.
    app_.fallthrough();
    language_ = ValueOption(app_, "--language", "NAME");
    app_.set_version_flag("--version", std::string("lngtool " TAVREL_VERSION));
    helpCommand_ = app_.add_subcommand("help");
    helpCommand_->allow_extras()->fallthrough(false);
}

CommandLine::~CommandLine() = default;

CLI::App& CommandLine::Add(const std::string& synopsis, const std::string& help) {
    const std::string name = synopsis.substr(0, synopsis.find(' '));
    help_->Describe(name, {synopsis, help});
    return *app_.add_subcommand(name, help);
}

void CommandLine::Does(CLI::App& command, Action action) {
    if (!command.get_options([](const CLI::Option* o) { return o->get_positional(); }).empty())
        help_->MarkTakesValues(command.get_name());
    const CLI::Option* surplus = command.add_option("SURPLUS")
                                     ->expected(kSurplusSlots)
                                     ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    commands_[&command] = {std::move(action), surplus};
}

int CommandLine::Run(int argc, const char* const* argv) {
    // A dropped "++" leaves the words around it out of place; that is the problem to report.
    const bool bareTerminator = HasBareTerminator(argc, argv);
    try {
        app_.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app_.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << "lngtool " TAVREL_VERSION "\n";
        return 0;
    } catch (const CLI::ParseError& error) {
        const CLI::App* command = Selected();
        const std::string problem =
            command && bareTerminator ? std::string(kBareTerminatorProblem) : Explain(error);
        return ReportUsage(command, problem);
    }
    const CLI::App* command = Selected();
    if (command == helpCommand_) {
        std::cout << help_->Usage();
        return 0;
    }
    if (command == nullptr)
        return ReportUsage(nullptr, "");
    if (bareTerminator)
        return ReportUsage(command, kBareTerminatorProblem);
    if (commands_.at(command).surplus->count() > 0)
        return ReportUsage(command, "wrong number of arguments");
    return Execute(*command);
}

CLI::App* CommandLine::Selected() const {
    const std::vector<CLI::App*> selected = app_.get_subcommands();
    return selected.empty() ? nullptr : selected.front();
}

// What CLI11 found wrong, in the words lngtool uses. Options come first, as a misplaced
// option often shifts the values after it.
std::string CommandLine::Explain(const CLI::ParseError& error) const {
    const CLI::App* command = Selected();
    std::vector<std::string> extras = app_.remaining(true);
    std::erase(extras, "--"); // the marks CLI11 keeps, not words
    for (const std::string& word : extras)
        if (LooksLikeOption(word))
            return OptionProblem(word);
    if (const std::string problem = MissingValueProblem(error); !problem.empty())
        return problem;
    if (command == nullptr)
        return extras.empty() ? error.what() : "unknown command '" + extras.front() + "'";
    if (dynamic_cast<const CLI::ExcludesError*>(&error))
        return ExclusionProblem(*command);
    if (dynamic_cast<const CLI::RequiredError*>(&error))
        return "wrong number of arguments";
    return error.what();
}

std::string CommandLine::OptionProblem(const std::string& word) const {
    const std::string name = OptionName(word);
    const CLI::App* command = Selected();
    if (command != nullptr && command->get_option_no_throw(name) != nullptr)
        return name + " must follow the command name";
    for (const CLI::App* other : app_.get_subcommands({}))
        if (other->get_option_no_throw(name) != nullptr)
            return command != nullptr ? "option not valid for this command"
                                      : name + " must follow the command name";
    return "unknown option " + word;
}

// An option given last, without its value: CLI11 names the option at the start of its message.
std::string CommandLine::MissingValueProblem(const CLI::ParseError& error) const {
    if (!dynamic_cast<const CLI::ArgumentMismatch*>(&error))
        return {};
    const std::string_view what = error.what();
    std::vector<const CLI::Option*> options = app_.get_options();
    if (const CLI::App* command = Selected()) {
        const auto own = command->get_options();
        options.insert(options.end(), own.begin(), own.end());
    }
    for (const CLI::Option* option : options) {
        const std::string name = option->get_name();
        if (!option->get_positional() && what.starts_with(name + ":"))
            return name + " needs a value";
    }
    return {};
}

int CommandLine::ReportUsage(const CLI::App* command, std::string_view problem) const {
    if (command != nullptr && command != helpCommand_) {
        std::cerr << "lngtool " << command->get_name() << ": " << problem << "\nusage: lngtool "
                  << help_->Synopsis(command->get_name()) << '\n';
        return 2;
    }
    if (!problem.empty())
        std::cerr << "lngtool: " << problem << "\n\n";
    std::cerr << help_->Usage();
    return 2;
}

int CommandLine::Execute(const CLI::App& command) const {
    try {
        TOvkLocalizeServer server(nullptr, ToolEnvironment());
        // Like an application: the remembered language becomes current once loaded.
        server.SetLoading();
        server.Loaded();
        if (language_->Given())
            server.SelectLanguage(language_->Text());
        commands_.at(&command).action(server);
        return 0;
    } catch (const UsageError& e) {
        return ReportUsage(&command, e.what());
    } catch (const std::exception& e) {
        std::cerr << "lngtool: " << e.what() << '\n';
        return 1;
    }
}

} // namespace lngtool

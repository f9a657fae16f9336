#include "Phrasebook.h"

#include "PhrasebookWindow.h"
#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/qt/QtBridge.h"
#include "tavrel/qt/QtPicture.h"
#include "tavrel/storage/DictionaryFiles.h"

#include <cstdio>
#include <iostream>
#include <QApplication>
#include <QCommandLineParser>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace phrasebook {

namespace fs = std::filesystem;

fs::path ShippedDictionaries(const fs::path& applicationFolder) {
    const fs::path folder = applicationFolder / "dictionaries";
    std::error_code ec;
    return fs::is_directory(folder, ec) ? folder : fs::path();
}

fs::path UserDictionaries() {
    // Beside the shared default dictionary folder, so both follow the same per-user rules.
    return tavrel::DefaultDictionaryFolder().parent_path() / "Phrasebook";
}

void CopyMissingFiles(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
        if (!entry.is_regular_file())
            continue;
        const fs::path target = to / entry.path().filename();
        std::error_code ec;
        if (fs::exists(target, ec))
            continue;
        // Copied beside it under another name, then linked in: the dictionary appears whole
        // or not at all, and one a second start copied meanwhile is never replaced.
        fs::path part = target;
        part += ".part-" + std::to_string(::getpid());
        fs::copy_file(entry.path(), part, fs::copy_options::overwrite_existing);
        fs::create_hard_link(part, target, ec);
        fs::remove(part);
        if (ec && ec != std::errc::file_exists)
            throw fs::filesystem_error("Cannot copy the dictionary", entry.path(), target, ec);
    }
}

std::unique_ptr<tavrel::TOvkLocalizeServer> CreateServer(const fs::path& folder) {
    tavrel::TLocalizeEnvironment environment = tavrel::TLocalizeEnvironment::FromUserFolders();
    environment.PictureFactory = tavrel::QtPictureFactory();
    auto server = std::make_unique<tavrel::TOvkLocalizeServer>(nullptr, environment);
    server->SetDicPath(folder.string());
    server->RefreshLanguages();
    server->SetActive(true);
    // The stored settings are applied as for a form being loaded: the current language
    // is the one the last run left behind.
    server->SetLoading();
    server->Loaded();
    return server;
}

std::string DumpTexts(const tavrel::QtLocalizeClient& client) {
    const auto escaped = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
            }
        }
        return out;
    };
    std::string out;
    for (const tavrel::QtClientText& text : client.Texts())
        out += escaped(text.Path) + '\t' + escaped(text.Text) + '\n';
    return out;
}

namespace {

// The language to start in: the one asked for on the command line, else the stored
// one when it is still catalogued, else Default.
std::string StartLanguage(tavrel::TOvkLocalizeServer& server, const QString& requested) {
    if (!requested.isEmpty()) {
        const std::string name = requested.toStdString();
        if (server.LanguageList().IndexOf(name) < 0)
            throw std::invalid_argument("Unknown language: " + requested.toStdString());
        return name;
    }
    const std::string stored = server.Language();
    return server.LanguageList().IndexOf(stored) >= 0 ? stored
                                                      : std::string(tavrel::kDefaultLanguage);
}

} // namespace

int Run(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription("A phrasebook that switches language while it runs.");
    parser.addHelpOption();
    const QCommandLineOption dictionaries("dictionaries", "Use the dictionaries in DIR.", "DIR");
    const QCommandLineOption language("language", "Switch to language NAME after start-up.",
                                      "NAME");
    const QCommandLineOption dump("dump-texts",
                                  "Print every text the translation engine sees, then exit.");
    parser.addOptions({dictionaries, language, dump});
    if (!parser.parse(arguments)) {
        std::cerr << parser.errorText().toStdString() << '\n';
        return 2;
    }
    if (parser.isSet("help")) {
        std::cout << parser.helpText().toStdString();
        return 0;
    }

    try {
        fs::path folder;
        if (parser.isSet(dictionaries)) {
            folder = fs::path(parser.value(dictionaries).toStdString());
            if (!fs::is_directory(folder))
                throw std::invalid_argument("No such folder: " + folder.string());
        } else {
            folder = UserDictionaries();
            const fs::path shipped =
                ShippedDictionaries(QApplication::applicationDirPath().toStdString());
            if (!shipped.empty())
                CopyMissingFiles(shipped, folder);
            else
                fs::create_directories(folder);
        }

        const auto server = CreateServer(folder);
        PhrasebookWindow window(*server);
        server->SetLanguage(StartLanguage(*server, parser.value(language)));

        if (parser.isSet(dump)) {
            std::cout << DumpTexts(*window.Client()) << std::flush;
            return 0;
        }
        window.resize(640, 480); // room for every tab and the status bar's messages
        window.show();
        return QApplication::exec();
    } catch (const std::invalid_argument& error) {
        std::cerr << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}

} // namespace phrasebook

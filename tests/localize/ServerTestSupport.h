#pragma once

#include "tavrel/localize/TOvkLocalizeServer.h"
#include "tavrel/storage/ProfileFile.h"
#include "TempDir.h"

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tavrel::test {

// A settings store and a dictionary folder of its own for every test.
class ServerFixtureBase {
protected:
    ScopedUserFolders folders;
    TempDir dictionaries;

    TLocalizeEnvironment Environment() const {
        TLocalizeEnvironment env;
        env.SettingsFile = folders.SettingsFile();
        env.DefaultFolder = folders.DataHome() / "Tavrel" / "Localize";
        return env;
    }

    // A server as an application creates it: loaded, so the remembered language applies.
    std::unique_ptr<TOvkLocalizeServer> LoadedServer() const {
        auto server = std::make_unique<TOvkLocalizeServer>(nullptr, Environment());
        server->SetLoading();
        server->Loaded();
        return server;
    }

    std::string Folder() const { return dictionaries.Path().string(); }

    // Writes a dictionary file naming `language` with the given extra lines.
    std::filesystem::path WriteDictionary(const std::string& fileName, const std::string& language,
                                          const std::string& body = "") const {
        auto file = dictionaries / fileName;
        WriteFileBytes(file, "[Definitions]\r\nOvkLanguage=" + language + "\r\n" + body);
        return file;
    }

    static std::string Read(const std::filesystem::path& file, const std::string& section,
                            const std::string& key, const std::string& def = "<absent>") {
        ProfileFile f(file);
        return f.ReadString(section, key, def);
    }
};

} // namespace tavrel::test

#pragma once

// Start-up of the phrasebook: where its dictionaries are, its server, its command line.
//
// Dictionaries. The program ships a dictionary folder (Default, Deutsch, Français with
// their flags), copied beside the executable at build time. It never writes there: with
// no --dictionaries option it works on a per-user copy,
// ${XDG_DATA_HOME:-~/.local/share}/Tavrel/Phrasebook, into which shipped files are copied
// only when missing, so a translator's changes survive the next start. The folder in use
// becomes the server's dictionary folder, recorded in the per-user settings store like
// any folder chosen in the editor (which then edits the phrasebook's dictionaries).

#include <filesystem>
#include <memory>
#include <QStringList>
#include <string>

namespace tavrel {
class QtLocalizeClient;
class TOvkLocalizeServer;
} // namespace tavrel

namespace phrasebook {

// The shipped folder beside the executable; empty when there is none.
std::filesystem::path ShippedDictionaries(const std::filesystem::path& applicationFolder);
// ${XDG_DATA_HOME:-~/.local/share}/Tavrel/Phrasebook
std::filesystem::path UserDictionaries();
// Copies every file of `from` that `to` lacks, creating `to` when needed; files already
// in `to` are left as they are.
void CopyMissingFiles(const std::filesystem::path& from, const std::filesystem::path& to);

// A server on `folder` with the per-user settings store and Qt pictures for the flags,
// active, its current language the one stored by the last run.
std::unique_ptr<tavrel::TOvkLocalizeServer> CreateServer(const std::filesystem::path& folder);

// What --dump-texts prints: one line per text, the object path, a tab and the text, in
// UTF-8; a line break, tab or backslash inside a text is written as \n, \t, \\.
std::string DumpTexts(const tavrel::QtLocalizeClient& client);

// Runs the program with its command line (the application object exists); returns the
// exit status: 0, 1 on failure, 2 on bad usage.
int Run(const QStringList& arguments);

} // namespace phrasebook

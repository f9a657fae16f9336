#pragma once

#include "tavrel/localize/IPicture.h"
#include "tavrel/localize/TOvkLocalizeServer.h"

#include <memory>
#include <optional>
#include <string>

namespace lngtool {

// The server's surroundings for this tool: the per-user folders, and pictures when the
// tool is built with the Qt layer.
tavrel::TLocalizeEnvironment Environment();
// Loads a .bmp file given on the command line; nullptr when none was given.
std::unique_ptr<tavrel::IPicture> LoadPicture(const std::optional<std::string>& file);
// Shows, exports or imports the flag picture of a language.
void ImageCommand(tavrel::TOvkLocalizeServer& server, const std::string& language,
                  const std::optional<std::string>& exportFile,
                  const std::optional<std::string>& importFile);

} // namespace lngtool

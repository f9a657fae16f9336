#include "PictureSupport.h"

#include <filesystem>
#include <iostream>
#include <stdexcept>

#ifdef TAVREL_LNGTOOL_WITH_PICTURES
#include "tavrel/qt/QtPicture.h"
#endif

namespace lngtool {

namespace fs = std::filesystem;

namespace {

std::unique_ptr<tavrel::IPicture> NewPicture() {
#ifdef TAVREL_LNGTOOL_WITH_PICTURES
    return tavrel::QtPictureFactory()();
#else
    throw std::runtime_error("This lngtool was built without picture support");
#endif
}

fs::path FlagFile(tavrel::TOvkLocalizeServer& server, const std::string& language) {
    const std::string dictionary = server.LanguageFileName(language);
    if (dictionary.empty())
        throw std::runtime_error("Unknown language: " + language);
    return fs::path(dictionary).replace_extension(".bmp");
}

} // namespace

tavrel::TLocalizeEnvironment Environment() {
    auto env = tavrel::TLocalizeEnvironment::FromUserFolders();
#ifdef TAVREL_LNGTOOL_WITH_PICTURES
    env.PictureFactory = tavrel::QtPictureFactory();
#endif
    return env;
}

std::unique_ptr<tavrel::IPicture> LoadPicture(const std::optional<std::string>& file) {
    if (!file)
        return nullptr;
    auto picture = NewPicture();
    picture->LoadFromFile(*file);
    return picture;
}

void ImageCommand(tavrel::TOvkLocalizeServer& server, const std::string& language,
                  const std::optional<std::string>& exportFile,
                  const std::optional<std::string>& importFile) {
    const fs::path flag = FlagFile(server, language);
    std::error_code ec;
    if (importFile) {
        auto picture = LoadPicture(importFile);
        // The server writes the flag in the dictionary folder, never through a planted link.
        server.SaveLanguageImageOf(language, *picture);
        std::cout << flag.string() << '\n';
    } else if (exportFile) {
        if (!fs::is_regular_file(flag, ec))
            throw std::runtime_error("The language has no flag picture: " + flag.string());
        auto picture = LoadPicture(flag.string());
        picture->SaveToFile(*exportFile);
        std::cout << *exportFile << '\n';
    } else {
        if (!fs::is_regular_file(flag, ec)) {
            std::cout << flag.string() << "\t(none)\n";
            return;
        }
        auto picture = LoadPicture(flag.string());
        std::cout << flag.string() << '\t' << picture->Width() << 'x' << picture->Height() << '\n';
    }
}

} // namespace lngtool

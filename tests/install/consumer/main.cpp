// A Qt application using the installed library: one window registered with the server,
// switched from English to German.

#include <filesystem>
#include <fstream>
#include <iostream>
#include <QApplication>
#include <QPushButton>
#include <tavrel/catalog/CatalogFormats.h>
#include <tavrel/catalog/DictionaryCatalog.h>
#include <tavrel/localize/TOvkLocalizeServer.h>
#include <tavrel/qt/QtBridge.h>
#include <tavrel/qt/QtPicture.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: consumer WORK_FOLDER\n";
        return 2;
    }
    QApplication application(argc, argv);
    const std::filesystem::path work = argv[1];
    const std::filesystem::path folder = work / "dictionaries";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "OvkDefault.Lng", std::ios::binary)
        << "[Definitions]\r\nOvkLanguage=Default\r\n";
    std::ofstream(folder / "German.Lng", std::ios::binary)
        << "[Definitions]\r\nOvkLanguage=German\r\n[Caption]\r\nOpen=\xD6"
           "ffnen\r\n";

    tavrel::TLocalizeEnvironment environment;
    environment.SettingsFile = work / "Localize.ini";
    environment.DefaultFolder = folder;
    environment.PictureFactory = tavrel::QtPictureFactory();
    tavrel::TOvkLocalizeServer server(nullptr, environment);
    server.SetDicPath(folder.string());
    server.RefreshLanguages();
    server.SetActive(true);

    QWidget window;
    auto* open = new QPushButton("Open", &window);
    tavrel::AddQtClient(server, window);
    server.SetLanguage("German");

    if (open->text() != QString::fromUtf8("\xC3\x96"
                                          "ffnen")) {
        std::cerr << "not translated: " << open->text().toStdString() << '\n';
        return 1;
    }
    std::cout << "translated: " << open->text().toStdString() << '\n';

    // The German dictionary as a translator's PO file.
    const std::string po =
        tavrel::WriteCatalog(tavrel::ReadDictionaryCatalog({"German", folder / "German.Lng",
                                                            folder / "OvkDefault.Lng", "de", "en"}),
                             tavrel::TCatalogFormat::Po);
    if (po.find("msgstr \"\xC3\x96"
                "ffnen\"") == std::string::npos) {
        std::cerr << "not exported: " << po << '\n';
        return 1;
    }
    return 0;
}

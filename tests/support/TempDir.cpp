#include "TempDir.h"

#include "tavrel/storage/FileEncoding.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace tavrel::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = fs::temp_directory_path() /
                         ("tavrel-test-" + std::to_string(::getpid()) + "-" +
                          std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission that a test may have taken away, then remove.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string ReadFileText(const fs::path& file) {
    const std::string bytes = ReadFileBytes(file);
    DecodedFile decoded = DecodeFileBytes(bytes);
    return decoded.same ? bytes.substr(decoded.offset) : std::move(decoded.converted);
}

void WriteDictionaryText(const fs::path& file, std::string_view text) {
    const auto cp1252 = EncodeFileText(text, FileEncoding::Windows1252);
    WriteFileBytes(file, cp1252 ? *cp1252 : *EncodeFileText(text, FileEncoding::Utf8Bom));
}

std::string ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFileBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
void Remember(const char* name, std::string& value, bool& had) {
    if (const char* v = std::getenv(name)) {
        value = v;
        had = true;
    }
}
void Restore(const char* name, const std::string& value, bool had) {
    if (had)
        ::setenv(name, value.c_str(), 1);
    else
        ::unsetenv(name);
}
} // namespace

ScopedUserFolders::ScopedUserFolders()
    : config_(root_.Path() / "config"), data_(root_.Path() / "data") {
    fs::create_directories(config_);
    fs::create_directories(data_);
    Remember("XDG_CONFIG_HOME", oldConfig_, hadConfig_);
    Remember("XDG_DATA_HOME", oldData_, hadData_);
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", data_.c_str(), 1);
}

ScopedUserFolders::~ScopedUserFolders() {
    Restore("XDG_CONFIG_HOME", oldConfig_, hadConfig_);
    Restore("XDG_DATA_HOME", oldData_, hadData_);
}

fs::path ScopedUserFolders::SettingsFile() const {
    return config_ / "Tavrel" / "Localize.ini";
}

std::string MessageOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no exception>";
}

} // namespace tavrel::test

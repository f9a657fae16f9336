#pragma once

// Shared by the fuzz targets: a scratch folder in memory where possible, whole-file writes
// and a check that stops the fuzzer with a message.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace tavrel::fuzz {

// A folder for this process's files: in /dev/shm when there is one (writes there are synced
// at no cost), else in the temporary folder.
inline const std::filesystem::path& Scratch() {
    static const std::filesystem::path folder = [] {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        auto path = base / ("tavrel-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        // Removed when the fuzzer exits normally; a crash leaves it for inspection.
        static struct Cleanup {
            std::filesystem::path path;
            ~Cleanup() {
                std::error_code ignored;
                std::filesystem::remove_all(path, ignored);
            }
        } cleanup{path};
        return path;
    }();
    return folder;
}

inline void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

} // namespace tavrel::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::tavrel::fuzz::Fail(#condition, __FILE__, __LINE__);                                  \
    } while (false)

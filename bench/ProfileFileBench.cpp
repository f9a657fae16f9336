// Profile-file costs on a dictionary of 20,000 keys in 8 sections (about 1.5 MB), each
// beside the time of just reading the file's bytes into memory.

#include "AtomicFile.h"
#include "ProfileDocument.h"
#include "tavrel/storage/FileEncoding.h"
#include "tavrel/storage/ProfileFile.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using tavrel::ProfileDocument;
using tavrel::ProfileFile;

constexpr int kSections = 8;
constexpr int kKeysPerSection = 2500;
constexpr int kReads = 10'000;

struct Fixture {
    fs::path folder;
    fs::path file;
    std::vector<std::pair<std::string, std::string>> keys; // section, key
    std::vector<std::size_t> order;                        // random picks into keys

    Fixture() {
        folder = fs::temp_directory_path() / ("tavrel-bench-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        file = folder / "OvkBench.Lng";
        std::mt19937 random(42);
        std::string text = "[Definitions]\r\nOvkLanguage=Bench\r\n\r\n";
        const char* names[kSections] = {"Caption",     "Text",     "Hint",  "Memo",
                                        "ReportTitle", "Messages", "Extra", "More"};
        for (int s = 0; s < kSections; ++s) {
            text.append("[").append(names[s]).append("]\r\n");
            for (int k = 0; k < kKeysPerSection; ++k) {
                char key[64], value[64];
                std::snprintf(key, sizeof key, "Text of item %05d in window %02d", k,
                              static_cast<int>(random() % 100));
                std::snprintf(value, sizeof value, "Translated text %08X of entry number %05d",
                              static_cast<unsigned>(random()), k);
                text.append(key).append("=").append(value).append("\r\n");
                keys.emplace_back(names[s], key);
            }
            text.append("\r\n");
        }
        std::FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
        // A dictionary on disk is normally not seconds old: a file modified within the last
        // 0.1 s is checked by content on every access, which is not what this measures.
        struct timespec old[2] = {{1'600'000'000, 1}, {1'600'000'000, 1}};
        ::utimensat(AT_FDCWD, file.c_str(), old, 0);
        std::uniform_int_distribution<std::size_t> pick(0, keys.size() - 1);
        for (int i = 0; i < kReads; ++i)
            order.push_back(pick(random));
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

std::int64_t FileSize() {
    return static_cast<std::int64_t>(fs::file_size(Data().file));
}

void BM_ReadBytesOnly(benchmark::State& state) {
    for (auto _ : state) {
        auto content = tavrel::detail::ReadWholeFile(Data().file.string());
        benchmark::DoNotOptimize(content.bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
    state.counters["file_bytes"] = static_cast<double>(FileSize());
}
BENCHMARK(BM_ReadBytesOnly)->Unit(benchmark::kMillisecond);

// The same 20,000 keys with accented letters in every value, once as a Windows-1252 file
// and once as UTF-8 with a byte-order mark: parsing decodes the first into UTF-8.
const std::string& AccentedDictionary(tavrel::FileEncoding encoding) {
    static const std::string utf8 = [] {
        std::mt19937 random(7);
        std::string text = "[Definitions]\r\nOvkLanguage=Fran\u00E7ais\r\n\r\n";
        for (int s = 0; s < kSections; ++s) {
            text.append("[Section ").append(std::to_string(s)).append("]\r\n");
            for (int k = 0; k < kKeysPerSection; ++k) {
                char key[64], value[96];
                std::snprintf(key, sizeof key, "Text of item %05d in window %02d", k,
                              static_cast<int>(random() % 100));
                std::snprintf(
                    value, sizeof value,
                    "Texte traduit %08X de l\u2019entr\u00E9e n\u00B0 %05d \u00E0 r\u00E9viser",
                    static_cast<unsigned>(random()), k);
                text.append(key).append("=").append(value).append("\r\n");
            }
            text.append("\r\n");
        }
        return text;
    }();
    static const std::string cp1252 =
        *tavrel::EncodeFileText(utf8, tavrel::FileEncoding::Windows1252);
    static const std::string marked = *tavrel::EncodeFileText(utf8, tavrel::FileEncoding::Utf8Bom);
    return encoding == tavrel::FileEncoding::Windows1252 ? cp1252 : marked;
}

void ParseAccented(benchmark::State& state, tavrel::FileEncoding encoding) {
    const auto bytes = std::make_shared<const std::string>(AccentedDictionary(encoding));
    for (auto _ : state) {
        auto doc = ProfileDocument::Parse(bytes);
        benchmark::DoNotOptimize(doc.get());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes->size()));
    state.counters["file_bytes"] = static_cast<double>(bytes->size());
}

void BM_ParseCp1252InMemory(benchmark::State& state) {
    ParseAccented(state, tavrel::FileEncoding::Windows1252);
}
BENCHMARK(BM_ParseCp1252InMemory)->Unit(benchmark::kMillisecond);

void BM_ParseUtf8InMemory(benchmark::State& state) {
    ParseAccented(state, tavrel::FileEncoding::Utf8Bom);
}
BENCHMARK(BM_ParseUtf8InMemory)->Unit(benchmark::kMillisecond);

void BM_ParseInMemory(benchmark::State& state) {
    const auto bytes = std::make_shared<const std::string>(
        tavrel::detail::ReadWholeFile(Data().file.string()).bytes);
    for (auto _ : state) {
        auto doc = ProfileDocument::Parse(bytes);
        benchmark::DoNotOptimize(doc.get());
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}
BENCHMARK(BM_ParseInMemory)->Unit(benchmark::kMillisecond);

// Read + parse + one look-up, nothing cached: the cost of the first read after a change.
void BM_FirstReadAfterChange(benchmark::State& state) {
    const auto& [section, key] = Data().keys[Data().order[0]];
    for (auto _ : state) {
        tavrel::detail::ClearProfileCache();
        ProfileFile file(Data().file);
        benchmark::DoNotOptimize(file.ReadString(section, key, "OVK"));
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}
BENCHMARK(BM_FirstReadAfterChange)->Unit(benchmark::kMillisecond);

// 10,000 look-ups on a parsed document: the floor of the next figure.
void BM_LookupsOnly(benchmark::State& state) {
    const auto bytes = std::make_shared<const std::string>(
        tavrel::detail::ReadWholeFile(Data().file.string()).bytes);
    const auto doc = ProfileDocument::Parse(bytes);
    for (auto _ : state) {
        for (std::size_t i : Data().order) {
            const auto& [section, key] = Data().keys[i];
            benchmark::DoNotOptimize(doc->Find(section, key));
        }
    }
}
BENCHMARK(BM_LookupsOnly)->Unit(benchmark::kMillisecond);

// 10,000 random keys, each through a fresh object (first object parses, the rest share).
void FreshObjectReads(benchmark::State& state, const fs::path& path) {
    std::size_t found = 0;
    for (auto _ : state) {
        tavrel::detail::ClearProfileCache();
        for (std::size_t i : Data().order) {
            const auto& [section, key] = Data().keys[i];
            ProfileFile file(path);
            found += file.ReadString(section, key, "OVK") != "OVK";
        }
    }
    if (found != state.iterations() * Data().order.size())
        state.SkipWithError("a key was not found");
}

void BM_FreshObjectReads(benchmark::State& state) {
    FreshObjectReads(state, Data().file);
}
BENCHMARK(BM_FreshObjectReads)->Unit(benchmark::kMillisecond);

// The same through a linked folder, which the change watch leaves alone: a stat per read.
void BM_FreshObjectReadsUnwatched(benchmark::State& state) {
    const fs::path link = Data().folder.string() + "-link";
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_directory_symlink(Data().folder, link);
    FreshObjectReads(state, link / Data().file.filename());
    fs::remove(link, ec);
}
BENCHMARK(BM_FreshObjectReadsUnwatched)->Unit(benchmark::kMillisecond);

// The floor of BM_FreshObjectReads: the one question per read to the change watch's queue.
void BM_QueueCheckOnly(benchmark::State& state) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ::inotify_add_watch(fd, Data().folder.c_str(), IN_MODIFY | IN_MOVED_TO);
    int queued = 0;
    for (auto _ : state)
        for (int i = 0; i < kReads; ++i)
            benchmark::DoNotOptimize(::ioctl(fd, FIONREAD, &queued));
    ::close(fd);
}
BENCHMARK(BM_QueueCheckOnly)->Unit(benchmark::kMillisecond);

// The floor of BM_FreshObjectReadsUnwatched: the one stat() per read that revalidates.
void BM_StatOnly(benchmark::State& state) {
    const std::string path = Data().file.string();
    for (auto _ : state)
        for (int i = 0; i < kReads; ++i)
            benchmark::DoNotOptimize(tavrel::detail::StatPath(path));
}
BENCHMARK(BM_StatOnly)->Unit(benchmark::kMillisecond);

// The floor of the next figure: one atomic replacement of the whole file.
void BM_AtomicRewriteOnly(benchmark::State& state) {
    const std::string bytes = tavrel::detail::ReadWholeFile(Data().file.string()).bytes;
    for (auto _ : state) {
        const auto stamp = tavrel::detail::StatPath(Data().file.string());
        tavrel::detail::ReplaceFileAtomically(Data().file, bytes, stamp);
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}
BENCHMARK(BM_AtomicRewriteOnly)->Unit(benchmark::kMillisecond);

// One changed value, then UpdateFile: lock, re-read, replay, rewrite.
void BM_UpdateAfterOneChange(benchmark::State& state) {
    const auto& [section, key] = Data().keys[Data().order[1]];
    int round = 0;
    for (auto _ : state) {
        ProfileFile file(Data().file);
        file.WriteString(section, key, (round++ & 1) ? "Value A" : "Value B");
        file.UpdateFile();
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}
BENCHMARK(BM_UpdateAfterOneChange)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

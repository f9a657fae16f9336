// Threads of one process share the cache of parsed profile files. Writers on their own
// objects, readers holding one state, and a thread that keeps the cache evicting run at
// once; no write is lost, no reader sees half of a pair. Built a second time with
// ThreadSanitizer.

#include "tavrel/storage/ProfileFile.h"
#include "tavrel/storage/SettingsStore.h"
#include "TempDir.h"

#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kRounds = 40;
#else
constexpr int kRounds = 120;
#endif
constexpr int kWriters = 3;

std::string Key(char letter, int round) {
    return std::string(1, letter) + std::to_string(round);
}

TEST(Threads, SharedFilesLoseNoWriteAndReadersSeeWholePairs) {
    TempDir dir;
    const std::vector<fs::path> files{dir / "a.Lng", dir / "b.Lng"};
    for (const auto& file : files)
        WriteFileBytes(file, "[Definitions]\r\nOvkLanguage=X\r\n");
    SettingsStore store(dir / "Localize.ini");
    ASSERT_TRUE(store.OpenKey());

    std::atomic<bool> stop{false};
    std::atomic<int> violations{0}, reads{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            const std::string section = "W" + std::to_string(w);
            SettingsStore own(dir / "Localize.ini");
            if (!own.OpenKey())
                ++violations;
            for (int round = 0; round < kRounds; ++round) {
                for (const auto& file : files) {
                    ProfileFile profile(file);
                    profile.WriteString(section, Key('A', round), std::to_string(round));
                    profile.WriteString(section, Key('B', round), std::to_string(round));
                    profile.UpdateFile();
                }
                own.WriteString(section, Key('V', round), std::to_string(round));
            }
        });
    }
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            while (!stop) {
                for (const auto& file : files) {
                    ProfileFile profile(file);
                    profile.Hold();
                    for (int w = 0; w < kWriters; ++w) {
                        std::vector<std::string> keys;
                        profile.ReadAllKeys("W" + std::to_string(w), keys);
                        std::set<std::string> seen(keys.begin(), keys.end());
                        for (const auto& key : keys) {
                            const std::string partner = (key[0] == 'A' ? "B" : "A") + key.substr(1);
                            if (!seen.count(partner) ||
                                profile.ReadString("W" + std::to_string(w), partner, "") !=
                                    key.substr(1))
                                ++violations;
                        }
                    }
                    if (profile.ReadString("Definitions", "OvkLanguage", "") != "X")
                        ++violations;
                    // Unheld reads copy their value while a writer replaces the cached copy.
                    if (ProfileFile(file).ReadString("Definitions", "OvkLanguage", "") != "X" ||
                        ProfileFile(file).FindValue("Definitions", "OvkLanguage") != "X")
                        ++violations;
                    ++reads;
                }
            }
        });
    }
    // More files than the cache keeps, read over and over: entries are evicted and loaded
    // again while the others use theirs.
    threads.emplace_back([&] {
        for (int i = 0; i < 80; ++i)
            WriteFileBytes(dir / ("other" + std::to_string(i) + ".Lng"),
                           "[S]\r\nk=" + std::to_string(i) + "\r\n");
        while (!stop) {
            for (int i = 0; i < 80; ++i) {
                if (ProfileFile(dir / ("other" + std::to_string(i) + ".Lng"))
                        .ReadString("S", "k", "") != std::to_string(i))
                    ++violations;
            }
        }
    });
    for (int w = 0; w < kWriters; ++w)
        threads[static_cast<std::size_t>(w)].join();
    stop = true;
    for (std::size_t t = kWriters; t < threads.size(); ++t)
        threads[t].join();

    EXPECT_EQ(violations.load(), 0);
    EXPECT_GT(reads.load(), 0);
    for (const auto& file : files) {
        ProfileFile profile(file);
        for (int w = 0; w < kWriters; ++w) {
            std::vector<std::string> keys;
            profile.ReadSection("W" + std::to_string(w), keys);
            EXPECT_EQ(keys.size(), static_cast<std::size_t>(2 * kRounds)) << file;
        }
    }
    for (int w = 0; w < kWriters; ++w) {
        std::vector<std::string> names;
        store.ReadSection("W" + std::to_string(w), names);
        EXPECT_EQ(names.size(), static_cast<std::size_t>(kRounds));
    }
}

} // namespace
} // namespace tavrel::test

// Replays every input that ever made a fuzz harness fail, kept under
// regressions/<harness>/, through the same harness code in the sanitizer build.
#include "FuzzTargets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

TEST(FuzzRegressions, EveryKeptInputRunsClean)
{
    int replayed = 0;
    for (const FuzzTarget& target : kFuzzTargets) {
        const fs::path folder = fs::path(FUZZ_REGRESSIONS) / target.name;
        if (!fs::is_directory(folder))
            continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(entry.path().string());
            target.entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}

TEST(FuzzRegressions, KeptInputsBelongToAHarness)
{
    for (const auto& entry : fs::directory_iterator(FUZZ_REGRESSIONS)) {
        bool known = false;
        for (const FuzzTarget& target : kFuzzTargets)
            known = known || entry.path().filename() == target.name;
        EXPECT_TRUE(known && entry.is_directory()) << entry.path();
    }
}

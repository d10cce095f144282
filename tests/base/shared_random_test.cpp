#include "base/shared_random.h"

#include <gtest/gtest.h>

#include <vector>

namespace gorvale {
namespace {

TEST(LcgRandom, DrawsTheRuntimeSequenceFromStateOne) {
    // The classic runtime's rand() after program start.
    LcgRandom r;
    std::vector<int> drawn;
    for (int i = 0; i < 10; ++i) drawn.push_back(r.Next());
    EXPECT_EQ(drawn, (std::vector<int>{346, 130, 10982, 1090, 11656, 7117, 17595, 6415, 22948, 31126}));
}

TEST(LcgRandom, StateWrapsAroundAtThirtyTwoBits) {
    LcgRandom r;
    r.SetState(0xFFFFFFFFu);
    EXPECT_EQ(r.Next(), 32421);
    EXPECT_EQ(r.State(), 0xFEA5B1CCu);
    for (int i = 0; i < 100000; ++i) {
        const int v = r.Next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, LcgRandom::kMax);
    }
}

TEST(LcgRandom, SeededOnceFromClockAndProcess) {
    LcgRandom r;
    r.Next();
    EXPECT_FALSE(r.SeededForEncryption());
    EXPECT_TRUE(r.SeedForEncryption(1000, 37));
    EXPECT_EQ(r.State(), 1000u ^ 37u);
    EXPECT_EQ(r.Next(), 9275);
    // Later archives of the same program run leave the sequence going.
    const std::uint32_t before = r.State();
    EXPECT_FALSE(r.SeedForEncryption(5000, 99));
    EXPECT_EQ(r.State(), before);
    EXPECT_TRUE(r.SeededForEncryption());
}

}  // namespace
}  // namespace gorvale

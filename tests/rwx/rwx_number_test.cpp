#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "rwx/rwx_emitter.h"

namespace gorvale {
namespace {

// The rule done the slow, literal way: print with "%0.5f", read back with
// "%f", then edit the printed text.
std::string referenceNumber(float x) {
    if (x == 0.0f) return " 0";
    char printed[128];
    std::snprintf(printed, sizeof printed, "%0.5f", static_cast<double>(x));
    float back = 0.0f;
    std::sscanf(printed, "%f", &back);
    if (back == 0.0f) return " 0";
    std::string text = printed;
    std::string out;
    if (text[0] == '-') {
        out += '-';
        text.erase(0, 1);
    }
    const std::size_t point = text.find('.');
    std::string whole = text.substr(0, point);
    std::string fraction = text.substr(point + 1);
    if (std::fabs(back) >= 1.0f) out += whole;
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) out += "." + fraction;
    return " " + out;
}

float floatFromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

TEST(RwxNumberRule, WritesTheDocumentedExamples) {
    EXPECT_EQ(rwxNumberText(0.5f), " .5");
    EXPECT_EQ(rwxNumberText(-0.5f), " -.5");
    EXPECT_EQ(rwxNumberText(1.0f), " 1");
    EXPECT_EQ(rwxNumberText(12.25f), " 12.25");
    EXPECT_EQ(rwxNumberText(0.56f), " .56");
    EXPECT_EQ(rwxNumberText(0.000004f), " 0");
    EXPECT_EQ(rwxNumberText(100.0f), " 100");
    EXPECT_EQ(rwxNumberText(0.25f), " .25");
    EXPECT_EQ(rwxNumberText(-0.25f), " -.25");
    EXPECT_EQ(rwxNumberText(3.0f), " 3");
}

TEST(RwxNumberRule, NeverWritesMinusZero) {
    EXPECT_EQ(rwxNumberText(-0.0f), " 0");
    EXPECT_EQ(rwxNumberText(-0.000004f), " 0");
    EXPECT_EQ(rwxNumberText(0.0f), " 0");
}

TEST(RwxNumberRule, RoundsExactTiesLikeTheCLibrary) {
    // 1/64 = 0.015625 exactly: the tie goes to the even last digit.
    EXPECT_EQ(rwxNumberText(0.015625f), referenceNumber(0.015625f));
    EXPECT_EQ(rwxNumberText(0.046875f), referenceNumber(0.046875f));
    EXPECT_EQ(rwxNumberText(-2.015625f), referenceNumber(-2.015625f));
    EXPECT_EQ(rwxNumberText(0.999995f), referenceNumber(0.999995f));
    EXPECT_EQ(rwxNumberText(0.999999f), " 1");
}

TEST(RwxNumberRule, WritesHugeAndTinyValuesLikeTheLiteralRule) {
    for (float x : {1e10f, -1e10f, 7.0e13f, 1.0e20f, 3.4e38f, -3.4e38f, 1e-30f, -1e-30f,
                    1.4e-45f, 123456789.0f, 16777217.0f, 99999.995f}) {
        EXPECT_EQ(rwxNumberText(x), referenceNumber(x)) << x;
    }
}

TEST(RwxNumberRule, WritesZeroForValuesWithoutADecimalForm) {
    EXPECT_EQ(rwxNumberText(std::nanf("")), " 0");
    EXPECT_EQ(rwxNumberText(INFINITY), " 0");
    EXPECT_EQ(rwxNumberText(-INFINITY), " 0");
}

TEST(RwxNumberRule, MatchesTheLiteralRuleOnManyValues) {
    std::mt19937 random(12345);
    int checked = 0;
    // Random bit patterns over the whole finite range.
    for (int k = 0; k < 100000; ++k) {
        const float x = floatFromBits(static_cast<std::uint32_t>(random()));
        if (!std::isfinite(x)) continue;
        ASSERT_EQ(rwxNumberText(x), referenceNumber(x)) << x;
        ++checked;
    }
    // Values of the size models use: coordinates, heights, uv, colours.
    std::uniform_real_distribution<float> model(-2000.0f, 2000.0f);
    for (int k = 0; k < 400000; ++k) {
        const float x = model(random);
        ASSERT_EQ(rwxNumberText(x), referenceNumber(x)) << x;
        ++checked;
    }
    // Every multiple of 1/128 in a window, so exact ties occur often.
    for (int k = -100000; k <= 100000; ++k) {
        const float x = static_cast<float>(k) / 128.0f;
        ASSERT_EQ(rwxNumberText(x), referenceNumber(x)) << x;
        ++checked;
    }
    EXPECT_GT(checked, 600000);
}

TEST(RwxNumberRule, WritesToAStreamWithTheLeadingSpace) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(WriteRwxNumber(-1.5f, f));
    EXPECT_TRUE(WriteRwxNumber(0.0f, f));
    std::rewind(f);
    char buffer[32] = {};
    const std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buffer, got), " -1.5 0");
}

}  // namespace
}  // namespace gorvale

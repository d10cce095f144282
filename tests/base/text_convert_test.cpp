#include "base/text_convert.h"

#include <gtest/gtest.h>

#include <clocale>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

TEST(ScanIntLikePercentD, TakesLeadingNumberAndKeepsPreviousOnFailure) {
    int v = 7;
    EXPECT_TRUE(scanInt("  42abc", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(scanInt("-13", v));
    EXPECT_EQ(v, -13);
    EXPECT_TRUE(scanInt("+5", v));
    EXPECT_EQ(v, 5);
    EXPECT_FALSE(scanInt("abc", v));
    EXPECT_EQ(v, 5);
    EXPECT_FALSE(scanInt("", v));
    EXPECT_FALSE(scanInt("-", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(scanInt("12.9", v));
    EXPECT_EQ(v, 12);
}

TEST(ScanFloatLikePercentF, ReadsSinglePrecision) {
    float f = 1.5f;
    EXPECT_TRUE(scanFloat("0.01", f));
    EXPECT_EQ(f, 0.01f);
    EXPECT_NE(static_cast<double>(f), 0.01);  // a float, as the C "%f" gives
    EXPECT_TRUE(scanFloat(" -2.5e2x", f));
    EXPECT_EQ(f, -250.0f);
    EXPECT_TRUE(scanFloat(".5", f));
    EXPECT_EQ(f, 0.5f);
    EXPECT_FALSE(scanFloat("x1", f));
    EXPECT_EQ(f, 0.5f);
}

TEST(ScanAndFormat, IgnoreACommaLocale) {
    test::CommaLocale comma;
    ASSERT_TRUE(comma.active());
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
    float f = 0;
    EXPECT_TRUE(scanFloat("3.25", f));
    EXPECT_EQ(f, 3.25f);
    EXPECT_EQ(format("%3f|%.1f|%5.2f|%g", 1.0 / 3, -2.25, 12.5, 0.5), "0.333333|-2.2|12.50|0.5");
}

TEST(DecimalConversion, LeadingNumberOrZero) {
    EXPECT_EQ(decimalInt("123xyz"), 123);
    EXPECT_EQ(decimalInt("xyz"), 0);
    EXPECT_EQ(decimalInt(" -8"), -8);
    EXPECT_DOUBLE_EQ(decimalReal("2.5m"), 2.5);
    EXPECT_DOUBLE_EQ(decimalReal("m"), 0.0);
}

TEST(ScanHexLikePercentX, ReadsColours) {
    std::uint32_t c = 9;
    EXPECT_TRUE(scanHex("ff0000", c));
    EXPECT_EQ(c, 0xff0000u);
    EXPECT_TRUE(scanHex("0x80", c));
    EXPECT_EQ(c, 0x80u);
    EXPECT_FALSE(scanHex("", c));
    EXPECT_EQ(c, 0x80u);
}

TEST(FormatText, UsesPrintfRules) {
    EXPECT_EQ(format("%02d%c_%02d%c.rwx", 3, 'n', 2, 'w'), "03n_02w.rwx");
    EXPECT_EQ(format("%0.5f", 0.1), "0.10000");
    std::string big(1000, 'x');
    EXPECT_EQ(format("%s", big.c_str()), big);
}

}  // namespace
}  // namespace gorvale

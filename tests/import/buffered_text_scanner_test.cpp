#include "import/buffered_text_scanner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "base/c_file.h"
#include "tests/support/test_support.h"

namespace gorvale::test {
namespace {

using Scan = BufferedTextScanner::Scan;

// A scanner over text held in a scratch file.
struct TextSource {
    ScratchDir dir;
    FilePtr file;
    explicit TextSource(const std::string& text) {
        const auto path = dir / "text.txt";
        writeFileBytes(path, text);
        file = openFile(path.string(), "r");
    }
};

// The C library's own "%f" (the process runs in the C locale) is the oracle.
float scanfFloat(const std::string& text) {
    float v = 0;
    EXPECT_EQ(std::sscanf(text.c_str(), "%f", &v), 1) << text;
    return v;
}

bool sameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(BufferedTextScannerFloat, RoundsExactlyAsPercentF) {
    const char* texts[] = {"0",        "-0",        "1",          "+17",        "3450",
                           ".5",       "5.",        "0.1",        "-0.07",      "12.5",
                           "5.03",     ".108E+04",  "0.100000E+06", "1e-45",    "3.4028235e38",
                           "16777217", "16777219",  "123456789012345678",     "1234567890123456789012",
                           "-1.234567890123", "2.7182818284590452353602874713527",
                           "0.000000000000000000000000000000000000000000001"};
    std::string all;
    for (const char* t : texts) all += std::string(t) + "\n";
    TextSource src(all);
    BufferedTextScanner s(src.file.get());
    for (const char* t : texts) {
        SCOPED_TRACE(t);
        float v = -99;
        ASSERT_EQ(s.readFloat(v), Scan::Value);
        EXPECT_TRUE(sameFloat(v, scanfFloat(t))) << v << " vs " << scanfFloat(t);
    }
    float v = 0;
    EXPECT_EQ(s.readFloat(v), Scan::End);
}

TEST(BufferedTextScannerFloat, RandomDecimalsMatchPercentFAcrossBufferEdges) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> length(1, 12);
    std::uniform_int_distribution<int> exponent(-40, 40);
    std::vector<std::string> texts;
    std::string all;
    for (int i = 0; i < 5000; ++i) {
        std::string t = (i % 3 == 0) ? "-" : "";
        for (int n = length(rng); n > 0; --n) t += static_cast<char>('0' + digit(rng));
        if (i % 2) {
            t += '.';
            for (int n = length(rng); n > 0; --n) t += static_cast<char>('0' + digit(rng));
        }
        if (i % 5 == 0) t += "e" + std::to_string(exponent(rng));
        texts.push_back(t);
        all += t + ((i % 7 == 0) ? "\r\n" : "  ");
    }
    TextSource src(all);
    // The smallest buffer, so numbers keep crossing its edge.
    BufferedTextScanner s(src.file.get(), 1);
    for (const std::string& t : texts) {
        float v = 0;
        ASSERT_EQ(s.readFloat(v), Scan::Value) << t;
        ASSERT_TRUE(sameFloat(v, scanfFloat(t))) << t;
    }
}

TEST(BufferedTextScannerFloat, ShortDecimalsOfElevationFilesMatchPercentF) {
    // Up to 8 digits with small exponents: the shapes grid writers produce.
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> value(0, 99999999);
    std::uniform_int_distribution<int> point(0, 8);
    std::uniform_int_distribution<int> exponent(-12, 12);
    std::vector<std::string> texts;
    std::string all;
    for (int i = 0; i < 20000; ++i) {
        std::string t = std::to_string(value(rng));
        const int at = point(rng);
        if (at < static_cast<int>(t.size())) t.insert(t.size() - at, ".");
        if (i % 4 == 0) t += (i % 8 ? "E" : "e") + std::to_string(exponent(rng));
        if (i % 3 == 0) t = "-" + t;
        texts.push_back(t);
        all += t + " ";
    }
    TextSource src(all);
    BufferedTextScanner s(src.file.get());
    for (const std::string& t : texts) {
        float v = 0;
        ASSERT_EQ(s.readFloat(v), Scan::Value) << t;
        ASSERT_TRUE(sameFloat(v, scanfFloat(t))) << t;
    }
}

TEST(BufferedTextScannerFloat, DecimalCommaIsADecimalPoint) {
    TextSource src("0,100000E+06 ,500E+02 -2,5");
    BufferedTextScanner s(src.file.get());
    float v = 0;
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, 100000.0f);
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, 50.0f);
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, -2.5f);
}

TEST(BufferedTextScannerFloat, NanAndInfinityInAnyCase) {
    TextSource src("nan NaN -NAN inf -Infinity INF");
    BufferedTextScanner s(src.file.get());
    float v = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(s.readFloat(v), Scan::Value);
        EXPECT_TRUE(std::isnan(v));
    }
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, INFINITY);
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, -INFINITY);
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, INFINITY);
}

TEST(BufferedTextScannerFloat, OutOfRangeGivesInfinityOrZeroAsStrtofDoes) {
    TextSource src("1e39 -1e400 1e-50 0.0000000000000000000000000000000000000000000000000000001");
    BufferedTextScanner s(src.file.get());
    float v = 0;
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, INFINITY);
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, -INFINITY);
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, 0.0f);
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, 0.0f);
}

TEST(BufferedTextScannerFloat, TextThatIsNoNumberStaysUntilSkipped) {
    TextSource src("12abc 4 - 5 1e 7");
    BufferedTextScanner s(src.file.get());
    float v = 0;
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, 12.0f);
    EXPECT_EQ(s.readFloat(v), Scan::NotANumber);
    EXPECT_EQ(s.readFloat(v), Scan::NotANumber);
    s.skipToken();
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, 4.0f);
    EXPECT_EQ(s.readFloat(v), Scan::NotANumber);  // a sign alone
    s.skipToken();
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, 5.0f);
    ASSERT_EQ(s.readFloat(v), Scan::Value);  // "1e": the 1, then "e" is left
    EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(s.readFloat(v), Scan::NotANumber);
    s.skipToken();
    ASSERT_EQ(s.readFloat(v), Scan::Value);
    EXPECT_EQ(v, 7.0f);
    EXPECT_EQ(s.readFloat(v), Scan::End);
}

TEST(BufferedTextScannerInt, ReadsSignedIntegersAndClampsOverflow) {
    TextSource src(" -12\t+7\r\n99999999999 -99999999999 12.5");
    BufferedTextScanner s(src.file.get());
    int v = 0;
    ASSERT_EQ(s.readInt(v), Scan::Value);
    EXPECT_EQ(v, -12);
    ASSERT_EQ(s.readInt(v), Scan::Value);
    EXPECT_EQ(v, 7);
    ASSERT_EQ(s.readInt(v), Scan::Value);
    EXPECT_EQ(v, 2147483647);
    ASSERT_EQ(s.readInt(v), Scan::Value);
    EXPECT_EQ(v, -2147483647 - 1);
    ASSERT_EQ(s.readInt(v), Scan::Value);
    EXPECT_EQ(v, 12);
    EXPECT_EQ(s.readInt(v), Scan::NotANumber);  // ".5"
    s.skipToken();
    EXPECT_EQ(s.readInt(v), Scan::End);
}

TEST(BufferedTextScannerLines, KeepsAtMostTheAskedCharactersAndConsumesTheWholeLine) {
    TextSource src("short\r\n" + std::string(3000, 'x') + "\nlast");
    BufferedTextScanner s(src.file.get(), 1);
    std::string line;
    ASSERT_TRUE(s.readLine(line, 255));
    EXPECT_EQ(line, "short\r\n");
    ASSERT_TRUE(s.readLine(line, 255));
    EXPECT_EQ(line, std::string(255, 'x'));
    ASSERT_TRUE(s.readLine(line, 255));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(s.readLine(line, 255));
}

TEST(BufferedTextScannerLines, PeekGetAndBlanks) {
    TextSource src(" \t nan\n");
    BufferedTextScanner s(src.file.get());
    s.skipBlanks();
    EXPECT_EQ(s.peek(), 'n');
    EXPECT_EQ(s.peek(2), 'n');
    EXPECT_EQ(s.peek(3), '\n');
    EXPECT_EQ(s.peek(4), -1);
    EXPECT_EQ(s.get(), 'n');
    EXPECT_EQ(s.get(), 'a');
}

TEST(BufferedTextScannerLines, RestartReadsFromTheStreamPositionAgain) {
    TextSource src("1 2 3");
    BufferedTextScanner s(src.file.get());
    int v = 0;
    ASSERT_EQ(s.readInt(v), Scan::Value);
    ASSERT_EQ(std::fseek(src.file.get(), 0, SEEK_SET), 0);
    s.restart();
    ASSERT_EQ(s.readInt(v), Scan::Value);
    EXPECT_EQ(v, 1);
}

}  // namespace
}  // namespace gorvale::test

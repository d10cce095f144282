#include "world/propdump_build.h"

#include <gtest/gtest.h>

#include "base/c_file.h"

namespace gorvale {
namespace {

// The records of `text` read with the layout its first lines give.
std::vector<PropRecord> readAll(const std::string& text, PropLayout layout) {
    FilePtr f(std::tmpfile());
    std::fwrite(text.data(), 1, text.size(), f.get());
    std::rewind(f.get());
    std::vector<PropRecord> out;
    PropRecord r;
    for (int guard = 0; guard < 10000 && !std::feof(f.get()); ++guard) {
        const int got = ReadPropRecord(f.get(), layout, r);
        if (got < 0) break;
        if (got >= 9) out.push_back(r);
    }
    return out;
}

TEST(PropdumpBuild, LayoutDetection) {
    EXPECT_EQ(DetectPropLayout("0x0000000a 1 0 100 0 100 0 1 2 5 0 0 a.rwx", false), PropLayout::A);
    EXPECT_EQ(DetectPropLayout("0x1 1 0 100 0 100 0 5 0 0 a.rwx", false), PropLayout::B);
    EXPECT_EQ(DetectPropLayout("1001 0 100 0 100 0 5 0 0 a.rwx", false), PropLayout::C);
    // This program's propdumps are read with their own record layout.
    EXPECT_EQ(DetectPropLayout("propdump version 3\r\n", true), PropLayout::Propdump);
    EXPECT_EQ(DetectPropLayout("prop something else", true), PropLayout::C);
}

TEST(PropdumpBuild, RecordsOfEachLayoutWithTextsAndLineEnds) {
    const auto a = readAll("0x0000000a 1 7 100 20 300 450 12 34 5 2 0 a.rwxd\nx\r\n", PropLayout::A);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].owner, 1);
    EXPECT_EQ(a[0].timestamp, 7);
    EXPECT_EQ(a[0].tilt, 12);
    EXPECT_EQ(a[0].roll, 34);
    EXPECT_EQ(a[0].model, "a.rwx");
    EXPECT_EQ(a[0].description, "d\x7f");  // a line feed in a text is sent as 127

    // LF-only line ends keep the next record whole; model length 0 is skipped.
    const auto c = readAll("1001 0 100 0 100 0 5 0 0 a.rwx\n1001 0 200 0 100 0 0 0 0 \n1001 0 300 0 100 0 5 0 0 b.rwx\n",
                           PropLayout::C);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].x, 100);
    EXPECT_EQ(c[1].x, 300);
    EXPECT_EQ(c[1].model, "b.rwx");

    const auto p = readAll("1 0 100 0 100 900 1 2 5 0 3 a.rwxabc\r\n2 0 200 0 100 0 0 0 5 0 0 b.rwx\r\n",
                           PropLayout::Propdump);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].yaw, 900);
    EXPECT_EQ(p[0].action, "abc");
    EXPECT_EQ(p[1].owner, 2);

    // A text too long for a record skips it; the next one is read.
    const std::string longModel(600, 'm');
    const auto l = readAll("1001 0 1 0 1 0 600 0 0 " + longModel + "\r\n1001 0 2 0 1 0 5 0 0 c.rwx\r\n", PropLayout::C);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].model, "c.rwx");
}

TEST(PropdumpBuild, RectangleFromAwUnits) {
    BuildRectangle r;
    ASSERT_TRUE(ParseAwRectangle("20,10,-5,-3", r));
    EXPECT_EQ(r.zHigh, 20000);
    EXPECT_EQ(r.zLow, -5000);
    EXPECT_EQ(r.xHigh, 10000);
    EXPECT_EQ(r.xLow, -3000);
    EXPECT_FALSE(ParseAwRectangle("20,10,-5", r));
    EXPECT_FALSE(ParseAwRectangle("20,10,-5,x", r));
}

}  // namespace
}  // namespace gorvale

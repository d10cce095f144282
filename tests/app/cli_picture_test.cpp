// gorvale-cli picture and zones write the views' pictures as bitmaps.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::CommandResult;
using test::examplePath;
using test::runCli;

struct BitmapSize {
    int width = 0;
    int height = 0;
    int bits = 0;
};

BitmapSize bitmapSize(const std::filesystem::path& path) {
    const std::string b = test::readFileBytes(path);
    BitmapSize s;
    if (b.size() < 54 || b.substr(0, 2) != "BM") return s;
    auto le32 = [&](std::size_t at) {
        return static_cast<int>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
                                static_cast<unsigned char>(b[at + 2]) << 16 |
                                static_cast<unsigned char>(b[at + 3]) << 24);
    };
    s.width = le32(18);
    s.height = le32(22);
    s.bits = static_cast<unsigned char>(b[28]);
    EXPECT_EQ(b.size(), 54u + static_cast<std::size_t>((s.width * 3 + 3) / 4 * 4) * s.height);
    return s;
}

TEST(CliPicture, WholeGridAndSelectedArea) {
    test::ScratchDir dir;
    const std::string dem = examplePath("n43.dem");
    CommandResult r = runCli("picture " + dem + " --out " + (dir / "all.bmp").string());
    ASSERT_EQ(r.exitCode, 0) << r.out;
    BitmapSize s = bitmapSize(dir / "all.bmp");
    // The reader leaves a 122 x 122 grid (rows and columns 0 to 121) for this 121-profile model.
    EXPECT_EQ(s.width, 122);
    EXPECT_EQ(s.height, 122);
    EXPECT_EQ(s.bits, 24);

    r = runCli("picture " + dem + " --area --set FromSouth=10 --set ToNorth=50 --set FromWest=20 --set ToEast=40" +
               " --out " + (dir / "area.bmp").string());
    ASSERT_EQ(r.exitCode, 0) << r.out;
    s = bitmapSize(dir / "area.bmp");
    EXPECT_EQ(s.width, 21);
    EXPECT_EQ(s.height, 41);
}

TEST(CliPicture, ZonesOfTheShippedProject) {
    test::ScratchDir dir;
    test::CurrentDirectory cwd(GORVALE_SOURCE_DIR);  // the project names its model relative to the repository
    const CommandResult r = runCli("zones " + examplePath("n43.gvl") + " --out " + (dir / "zones.bmp").string());
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const BitmapSize s = bitmapSize(dir / "zones.bmp");
    EXPECT_GT(s.width, 1);
    EXPECT_GT(s.height, 1);
    EXPECT_EQ(s.bits, 24);
}

TEST(CliPicture, RefusalsNameTheProblem) {
    test::ScratchDir dir;
    EXPECT_EQ(runCli("picture " + examplePath("n43.dem")).exitCode, 2);
    EXPECT_EQ(runCli("zones").exitCode, 2);
    CommandResult r = runCli("picture " + examplePath("n43.dem") + " --out " + (dir / "no" / "p.bmp").string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("cannot write the picture"), std::string::npos) << r.out;
    r = runCli("zones " + (dir / "none.gvl").string() + " --out " + (dir / "z.bmp").string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("none.gvl"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace gorvale

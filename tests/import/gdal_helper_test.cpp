#include "import/gdal_helper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace gorvale {
namespace {

TEST(GdalHelperFacts, RoundTripExactlyWhateverTheTextsHoldAndBadLinesAreNamed) {
    GdalRasterFacts f;
    f.width = 3601;
    f.height = 7;
    f.bands = 2;
    f.blockHeight = 256;
    f.fetch = GdalFetch::Float64;
    f.hasNoData = true;
    f.noData = std::numeric_limits<double>::quiet_NaN();
    f.hasGeoTransform = true;
    f.geoTransform = {-80.0 - 1.0 / 7200, 1.0 / 3600, 0.1, 44.0 + 1.0 / 7200, -0.0, -1.0 / 3600};
    f.driver = "GTiff";
    f.driverLongName = "GeoTIFF = tagged\\image";
    f.units = "";
    f.crs = "EPSG:4326";
    f.crsWkt = "GEOGCS[\"WGS 84\",\n  DATUM[\"x=y\"]]\r\n\\n";

    GdalRasterFacts back;
    std::string error;
    ASSERT_TRUE(DecodeRasterFacts(EncodeRasterFacts(f), back, error)) << error;
    EXPECT_EQ(back.width, f.width);
    EXPECT_EQ(back.height, f.height);
    EXPECT_EQ(back.bands, f.bands);
    EXPECT_EQ(back.blockHeight, f.blockHeight);
    EXPECT_EQ(back.fetch, f.fetch);
    EXPECT_TRUE(back.hasNoData && std::isnan(back.noData));
    EXPECT_TRUE(back.hasGeoTransform);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(back.geoTransform[i], f.geoTransform[i]) << i;
    EXPECT_TRUE(std::signbit(back.geoTransform[4]));
    EXPECT_EQ(back.driver, f.driver);
    EXPECT_EQ(back.driverLongName, f.driverLongName);
    EXPECT_EQ(back.crs, f.crs);
    EXPECT_EQ(back.crsWkt, f.crsWkt);

    for (const auto& [text, named] : {std::pair<std::string, std::string>{"width=12x\n", "width"},
                                      {"no value here\n", "no value here"},
                                      {EncodeRasterFacts(f) + "fetch=9\n", "sample type 9"},
                                      {EncodeRasterFacts(f) + "gt3=\n", "gt3"}}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(DecodeRasterFacts(text, back, error));
        EXPECT_NE(error.find(named), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace gorvale

// The GDAL module: the one place that calls GDAL. Loaded by the core on
// first use through gdalLibrary() (import/gdal_library.h).

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "import/gdal/gdal_session.h"
#include "import/gdal_library.h"

namespace gorvale {
namespace {

struct DatasetCloser {
    void operator()(GDALDataset* ds) const noexcept { GDALClose(GDALDataset::ToHandle(ds)); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

GdalFetch fetchFor(GDALDataType type) {
    switch (type) {
        case GDT_Byte:
        case GDT_Int16:
            return GdalFetch::Int16;
        case GDT_UInt16:
        case GDT_Int32:
        case GDT_CInt16:
        case GDT_CInt32:
            return GdalFetch::Int32;
        case GDT_Float32:
        case GDT_CFloat32:
            return GdalFetch::Float32;
        default:
            return GdalFetch::Float64;
    }
}

GDALDataType typeOf(GdalFetch fetch) {
    switch (fetch) {
        case GdalFetch::Int16: return GDT_Int16;
        case GdalFetch::Int32: return GDT_Int32;
        case GdalFetch::Float32: return GDT_Float32;
        case GdalFetch::Float64: return GDT_Float64;
    }
    return GDT_Float64;
}

std::string wktOf(const OGRSpatialReference& srs) {
    char* wkt = nullptr;
    std::string text;
    if (srs.exportToWkt(&wkt) == OGRERR_NONE && wkt) text = wkt;
    CPLFree(wkt);
    return text;
}

GdalRasterFacts factsOf(GDALDataset& ds) {
    GdalRasterFacts f;
    f.width = ds.GetRasterXSize();
    f.height = ds.GetRasterYSize();
    f.bands = ds.GetRasterCount();
    if (GDALDriver* driver = ds.GetDriver()) {
        f.driver = driver->GetDescription();
        const char* longName = driver->GetMetadataItem(GDAL_DMD_LONGNAME);
        f.driverLongName = longName ? longName : f.driver;
    }
    double gt[6];
    if (ds.GetGeoTransform(gt) == CE_None) {
        f.hasGeoTransform = true;
        std::copy(gt, gt + 6, f.geoTransform.begin());
    }
    if (const OGRSpatialReference* srs = ds.GetSpatialRef()) {
        const char* unitName = nullptr;
        if (srs->IsGeographic())
            srs->GetAngularUnits(&unitName);
        else
            srs->GetLinearUnits(&unitName);
        if (unitName) f.units = unitName;
        f.crsWkt = wktOf(*srs);
        const char* authority = srs->GetAuthorityName(nullptr);
        const char* code = srs->GetAuthorityCode(nullptr);
        f.crs = authority && code ? std::string(authority) + ":" + code : f.crsWkt;
    }
    if (f.bands >= 1) {
        GDALRasterBand* band = ds.GetRasterBand(1);
        int blockX = 0;
        int blockY = 0;
        band->GetBlockSize(&blockX, &blockY);
        f.blockHeight = std::max(1, blockY);
        f.fetch = fetchFor(band->GetRasterDataType());
        int hasNoData = 0;
        f.noData = band->GetNoDataValue(&hasNoData);
        f.hasNoData = hasNoData != 0;
    }
    return f;
}

// Bytes of one row of blocks of `band` as GDAL caches them.
std::int64_t blockRowBytes(GDALRasterBand& band) {
    int blockX = 0;
    int blockY = 0;
    band.GetBlockSize(&blockX, &blockY);
    blockX = std::max(1, blockX);
    const std::int64_t blocksAcross = (std::int64_t{band.GetXSize()} + blockX - 1) / blockX;
    return blocksAcross * blockX * std::max(1, blockY) * GDALGetDataTypeSizeBytes(band.GetRasterDataType());
}

class Raster final : public GdalRaster {
public:
    Raster(DatasetPtr ds, GdalRasterFacts facts) : ds_(std::move(ds)), facts_(std::move(facts)) {}
    const GdalRasterFacts& facts() const override { return facts_; }
    bool readLines(int firstLine, int count, GdalFetch type, void* buffer) override {
        GdalSession gdal;
        if (facts_.bands < 1) {
            error_ = "no raster band";
            return false;
        }
        const CPLErr e = ds_->GetRasterBand(1)->RasterIO(GF_Read, 0, firstLine, facts_.width, count, buffer,
                                                         facts_.width, count, typeOf(type), 0, 0, nullptr);
        if (e == CE_None) return true;
        error_ = GdalSession::lastError("GDAL gives no reason");
        return false;
    }
    std::string lastError() const override { return error_; }

private:
    DatasetPtr ds_;
    GdalRasterFacts facts_;
    std::string error_;
};

class GeoTiffWriter final : public GdalGeoTiffWriter {
public:
    GeoTiffWriter(DatasetPtr ds, int width) : ds_(std::move(ds)), width_(width) {}
    bool writeLines(int firstLine, int count, const std::int32_t* lines) override {
        GdalSession gdal;
        if (ds_->GetRasterBand(1)->RasterIO(GF_Write, 0, firstLine, width_, count, const_cast<std::int32_t*>(lines),
                                            width_, count, GDT_Int32, 0, 0, nullptr) == CE_None)
            return true;
        error_ = GdalSession::lastError("the lines could not be written");
        return false;
    }
    bool finish() override {
        GdalSession gdal;
        ds_->FlushCache(true);
        // Closing writes what is left; it reports failure only through the error state.
        ds_.reset();
        if (CPLGetLastErrorType() < CE_Failure) return true;
        error_ = GdalSession::lastError("the file could not be written completely");
        return false;
    }
    std::string lastError() const override { return error_; }
    ~GeoTiffWriter() override {
        GdalSession gdal;
        ds_.reset();
    }

private:
    DatasetPtr ds_;
    int width_;
    std::string error_;
};

class Library final : public GdalLibrary {
public:
    std::unique_ptr<GdalRaster> open(const std::string& path, std::string& error) override {
        GdalSession gdal;
        GdalSession::registerDriversFor(path);
        DatasetPtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR));
        if (!ds) {
            error = GdalSession::lastError("GDAL does not recognise it");
            return nullptr;
        }
        GdalRasterFacts facts = factsOf(*ds);
        if (facts.bands >= 1) GdalSession::needBlockCache(blockRowBytes(*ds->GetRasterBand(1)));
        return std::make_unique<Raster>(std::move(ds), std::move(facts));
    }

    std::unique_ptr<GdalGeoTiffWriter> createGeoTiff(const std::string& path, int width, int height,
                                                     const double* geoTransform, const std::string& wkt,
                                                     std::string& error) override {
        GdalSession gdal;
        GdalSession::registerGeoTiffDriver();
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
        if (!driver) {
            error = "this GDAL has no GeoTIFF driver";
            return nullptr;
        }
        // Files over 4 GiB need BigTIFF; GDAL picks it when it must.
        CPLStringList options;
        options.SetNameValue("BIGTIFF", "IF_SAFER");
        DatasetPtr ds(driver->Create(path.c_str(), width, height, 1, GDT_Int32, options.List()));
        if (!ds) {
            error = GdalSession::lastError("it could not be created");
            return nullptr;
        }
        if (geoTransform) {
            double gt[6];
            std::copy(geoTransform, geoTransform + 6, gt);
            ds->SetGeoTransform(gt);
        }
        if (!wkt.empty()) ds->SetProjection(wkt.c_str());
        GdalSession::needBlockCache(blockRowBytes(*ds->GetRasterBand(1)));
        return std::make_unique<GeoTiffWriter>(std::move(ds), width);
    }
};

}  // namespace
}  // namespace gorvale

extern "C" __attribute__((visibility("default"))) gorvale::GdalLibrary* gorvaleGdalLibrary() {
    static gorvale::Library library;
    return &library;
}

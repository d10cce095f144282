#include "app/core/conversion_job.h"

#include <filesystem>

#include "delivery/zip_packaging.h"
#include "import/open_elevation_file.h"
#include "rwx/ground_object_writer.h"
#include "rwx/texture_zones.h"

namespace gorvale {
namespace {

// Hands each finished model to zip packaging.
class ZipDelivery : public ModelDelivery {
public:
    explicit ZipDelivery(Workspace& ws) : packager_(ws) {}
    int PackAndUpload(const std::string& path) override { return packager_.PackAndUpload(path); }

private:
    ZipPackager packager_;
};

// The layout's view of the RWX ground object writer.
class RwxTileWriter : public TileModelWriter {
public:
    RwxTileWriter(Workspace& ws, GroundObjectWriter& writer) : ws_(ws), writer_(writer) {}
    void setRun(RunState& run) { run_ = &run; }
    int WriteGroundObject(const std::string& path, int n, int offsetZ, int offsetX, std::int32_t baseElevation,
                          float verticalScale, double centring, double shiftA, double shiftB, int n2) override {
        return writer_.WriteGroundObject(path, n, offsetZ, offsetX, baseElevation, verticalScale, centring,
                                         shiftA, shiftB, n2);
    }
    int MaxVertexHeight() const override { return writer_.MaxVertexHeight; }
    std::int32_t BaseElevationUsed() const override { return writer_.baseElevationInUse(); }
    void BeginSingleModel() override {
        writer_.BeginSingleModel(std::filesystem::path(ws_.settings.DEMFile).filename().string());
    }
    void EndSingleModel() override {
        // Closing or packing the single model failed (reported): the run must say so.
        if (writer_.EndSingleModel() != 0 && run_) run_->WriteFailed = true;
    }

private:
    Workspace& ws_;
    GroundObjectWriter& writer_;
    RunState* run_ = nullptr;
};

}  // namespace

struct ConversionJob::Parts {
    explicit Parts(Workspace& ws) : delivery(ws), writer(ws, heights, nullptr, &delivery), tileWriter(ws, writer) {}
    TileHeights heights{};
    ZipDelivery delivery;
    GroundObjectWriter writer;
    RwxTileWriter tileWriter;
};

ConversionJob::ConversionJob(Workspace& ws) : ws_(ws), parts_(std::make_unique<Parts>(ws)), run_(ws) {
    Parts& p = *parts_;
    p.tileWriter.setRun(run_.state());
    services_.validate = [](Workspace& w) {
        std::string error;
        if (w.settings.ZipIt && !validateZipPassword(w.settings, error)) {
            w.ui->message(error, "Zip It", MessageKind::Error, Buttons::Ok);
            return false;
        }
        return true;
    };
    services_.prepareZones = [](Workspace& w) {
        PrepareZoneTable(w);
        return checkZoneNames(w);
    };
    services_.prepareZoneBounds = [](Workspace& w) { ConvertZonesForRun(w); };
    services_.setLog = [&p](std::FILE* log) { p.writer.setLog(log); };
    services_.writer = &p.tileWriter;
    services_.heights = &p.heights;
    services_.readUsgsDem = [](Workspace& w, std::FILE* in) {
        const ReaderTable& readers = installedReaders();
        return readers.usgsDem ? readers.usgsDem(w, in) : -1;
    };
}

ConversionJob::~ConversionJob() = default;

GenerateOutcome ConversionJob::Generate() {
    parts_->writer.readRunNumbers();
    return run_.Generate(services_);
}

}  // namespace gorvale

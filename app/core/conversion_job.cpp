#include "app/core/conversion_job.h"

#include <filesystem>

#include "delivery/ftp_upload.h"
#include "delivery/zip_packaging.h"
#include "import/open_elevation_file.h"
#include "pipeline/tree_zones.h"
#include "rwx/ground_object_writer.h"
#include "rwx/texture_zones.h"
#include "world/builder_bot.h"
#include "world/native_terrain.h"

namespace gorvale {
namespace {

// Hands each finished model to zip packaging, which uploads the archive
// when the FTP session is open.
class ZipDelivery : public ModelDelivery {
public:
    ZipDelivery(Workspace& ws, ArchiveUploader& uploader) : packager_(ws, &uploader) {}
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
    void BeginSingleModel() override { writer_.BeginSingleModel(ws_.facts.text(Label::DemName)); }
    void EndSingleModel() override {
        // Closing or packing the single model failed (reported): the run must say so.
        if (writer_.EndSingleModel() != 0 && run_) run_->WriteFailed = true;
    }

private:
    Workspace& ws_;
    GroundObjectWriter& writer_;
    RunState* run_ = nullptr;
};

// The layout's view of the builder bot: every generated object is built
// upright, as BuildObject does.
class BotTileBuilder : public ObjectSink {
public:
    explicit BotTileBuilder(BuilderBot& bot) : bot_(bot) {}
    int Put(const WorldObject& o) override {
        return bot_.BuildObject(o.Owner, o.X, o.Timestamp, o.Action, o.Description, o.Model, o.Yaw, o.Z, o.Y);
    }

private:
    BuilderBot& bot_;
};

// Logs the bot in with the project's bot settings; false after the robot
// log (or, when the library cannot start, a message) says why.
bool startBot(Workspace& ws, BuilderBot& bot) {
    const ConversionSettings& s = ws.settings;
    if (const int rc = bot.Initialize()) {
        ws.ui->message(BuilderBot::InitializeFailureText(rc), "Critical Error!", MessageKind::Error, Buttons::Ok);
        return false;
    }
    bot.UniverseHost = s.BotUniverseURL;
    bot.UniversePort = s.BotUniversePort;
    return bot.StartBot(s.BotCitNumber, s.BotPrivPassw, s.BotSpeedBar, s.BotWorldName) == 0;
}

}  // namespace

struct ConversionJob::Parts {
    Parts(Workspace& ws, BuilderBot* external)
        : ftp(ws),
          delivery(ws, ftp),
          writer(ws, heights, nullptr, &delivery),
          tileWriter(ws, writer),
          ownBot(external ? nullptr : std::make_unique<BuilderBot>()),
          bot(external ? *external : *ownBot) {}
    TileHeights heights{};
    FtpSession ftp;
    ZipDelivery delivery;
    GroundObjectWriter writer;
    RwxTileWriter tileWriter;
    std::unique_ptr<BuilderBot> ownBot;  // none when the caller lends its bot
    BuilderBot& bot;
    BotTileBuilder botBuilder{bot};
    TreeZones trees;  // draws from the program's one generator
    TerrainOutcome terrain;
};

ConversionJob::ConversionJob(Workspace& ws) : ConversionJob(ws, nullptr) {}

ConversionJob::ConversionJob(Workspace& ws, BuilderBot& bot) : ConversionJob(ws, &bot) {}

ConversionJob::ConversionJob(Workspace& ws, BuilderBot* bot)
    : ws_(ws), parts_(std::make_unique<Parts>(ws, bot)), run_(ws) {
    Parts& p = *parts_;
    p.tileWriter.setRun(run_.state());
    services_.validate = [&p](Workspace& w) {
        std::string error;
        if (w.settings.ZipIt && !validateZipPassword(w.settings, error)) {
            w.ui->message(error, "Zip It", MessageKind::Error, Buttons::Ok);
            return false;
        }
        error = p.trees.CheckNames(w.settings);
        if (!error.empty()) {
            w.ui->message(error, "Tree Zones", MessageKind::Error, Buttons::Ok);
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
    services_.openFtp = [&p](Workspace&) { return p.ftp.OpenFtpConnection(); };
    services_.closeFtp = [&p](Workspace&) { p.ftp.CloseFtpConnection(); };
    services_.uploadTally = [&p] { return p.ftp.tally(); };
    services_.writer = &p.tileWriter;
    services_.heights = &p.heights;
    services_.startBot = [&p](Workspace& w) { return startBot(w, p.bot); };
    services_.stopBot = [&p](Workspace&) { p.bot.StopBot(); };
    services_.builder = &p.botBuilder;
    services_.trees = &p.trees;
    services_.readTreeZones = [&p](Workspace& w) { p.trees.ReadZones(w); };
    services_.generateTerrain = [&p](Workspace& w, RunState& run) {
        NativeTerrain terrain(w, run, w.settings.BuildWithRobot ? &p.bot : nullptr);
        p.terrain = terrain.GenerateAwTerrain();
    };
    services_.readUsgsDem = [](Workspace& w, std::FILE* in) {
        const ReaderTable& readers = installedReaders();
        return readers.usgsDem ? readers.usgsDem(w, in) : -1;
    };
}

ConversionJob::~ConversionJob() = default;

BuilderBot& ConversionJob::bot() { return parts_->bot; }

const TerrainOutcome& ConversionJob::terrainOutcome() const { return parts_->terrain; }

GenerateOutcome ConversionJob::Generate() {
    parts_->writer.readRunNumbers();
    return run_.Generate(services_);
}

}  // namespace gorvale

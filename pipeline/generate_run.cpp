#include "pipeline/generate_run.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <filesystem>

#include "import/grid_operations.h"
#include "pipeline/grid_shaping.h"
#include "pipeline/propdump_writer.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr int kStatusPanel = 0;
constexpr int kLogReadChars = 511;
constexpr const char* kNoTerrainGeneration =
    "Native terrain generation is not available in this build; switch AW_Terrain off.";
constexpr const char* kNoTreeZones = "Tree zones are not available in this build; switch GenerateTrees off.";
constexpr const char* kBannerRule = "\t--------------------------------------------\n";
// The model writer ends its log lines in CR LF; the run's lines match them.
constexpr const char* kLogLineEnd = "\r\n";

// A bot centre typed in 10 m units, in cm; a centre beyond the 32-bit world
// is held at its edge instead of overflowing.
std::int32_t centimetres(const std::string& tenMetreUnits, bool negative) {
    const std::int64_t cm = static_cast<std::int64_t>(decimalInt(tenMetreUnits)) * (negative ? -1000 : 1000);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(cm, std::numeric_limits<std::int32_t>::min(),
                                                               std::numeric_limits<std::int32_t>::max()));
}

// A log line as the log page shows it: the line end, LF or CR LF, becomes LF.
std::string pageLine(std::string line) {
    const std::size_t n = line.size();
    if (n >= 2 && line[n - 1] == '\n' && line[n - 2] == '\r') line.erase(n - 2, 1);
    return line;
}

WorkingRectangle workingRectangle(const Workspace& ws) {
    const SelectionRect r = clampedSelection(ws);
    return {r.south, r.east, r.north, r.west};
}

}  // namespace

int SelectionTileCount(const Workspace& ws) {
    const WorkingRectangle r = workingRectangle(ws);
    const int n = scalingStep(ws.settings);
    if (n < 1 || r.ToNorth <= r.FromSouth || r.ToEast <= r.FromWest) return 0;
    return ((r.ToNorth - r.FromSouth) / n) * ((r.ToEast - r.FromWest) / n);
}

void GenerateRun::logLine(const std::string& text) {
    if (!ws_.settings.LogEnable || !run_.LogStream || run_.LogFailed) return;
    std::string line = text;
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        line += kLogLineEnd;
    }
    if (std::fputs(line.c_str(), run_.LogStream.get()) < 0 || std::fflush(run_.LogStream.get()) != 0)
        logFailed(errno);
}

void GenerateRun::logFailed(int error) {
    if (run_.LogFailed) return;
    run_.LogFailed = true;
    run_.WriteFailed = true;
    ws_.ui->fileError(pathWithReason(ws_.settings.LogFile, error));
}

void GenerateRun::closeLog() {
    // The model writer stops logging silently when a line fails; the mark
    // it leaves on the stream is seen here.
    if (run_.LogStream && !closeFile(run_.LogStream)) logFailed(errno);
    run_.LogStream.reset();
}

GenerateOutcome GenerateRun::Generate(GenerateServices& services) {
    GenerateOutcome outcome;
    if (running_) return outcome;  // never a nested run over the same state
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};

    ConversionSettings& s = ws_.settings;
    BusyCursor busy(*ws_.ui);
    if (services.validate && !services.validate(ws_)) return outcome;
    if (services.prepareZones && !services.prepareZones(ws_)) return outcome;
    // Refused before anything is opened, like the FTP session and the bot below.
    if (s.AW_Terrain && !services.generateTerrain) {
        ws_.ui->message(kNoTerrainGeneration, "Error", MessageKind::Error, Buttons::Ok);
        return outcome;
    }
    if (s.GenerateTrees && !services.trees) {
        ws_.ui->message(kNoTreeZones, "Error", MessageKind::Error, Buttons::Ok);
        return outcome;
    }
    if (s.FtpToHost) {
        if (!services.openFtp) {
            ws_.ui->message("FTP upload is not available in this build; switch FtpToHost off.", "Error",
                            MessageKind::Error, Buttons::Ok);
            return outcome;
        }
        if (!services.openFtp(ws_)) return outcome;
    }
    // Closed by what opened it, even if FtpToHost changes during the run.
    const bool ftpOpened = s.FtpToHost;
    if (s.BuildWithRobot) {
        if (!services.startBot) {
            ws_.ui->message("The builder bot is not available in this build; switch BuildWithRobot off.",
                            "Error", MessageKind::Error, Buttons::Ok);
            return outcome;
        }
        if (!services.startBot(ws_)) {
            // The FTP session opened above would otherwise stay connected.
            if (ftpOpened && services.closeFtp) services.closeFtp(ws_);
            return outcome;
        }
    }
    run_.BotOffsetX = centimetres(s.BotCenterW, s.BotCenterWE == 1);
    run_.BotOffsetZ = centimetres(s.BotCenterN, s.BotCenterNS == 1);
    run_.PropElevationCm = decimalInt(s.PropElevation);
    const std::string demFile = s.DEMFile;
    const std::string rwxPrefix = s.RWXFile;

    run_.LogStream.reset();
    run_.LogFailed = false;
    if (s.LogEnable) run_.LogStream = openFile(s.LogFile, "w");
    if (services.setLog) services.setLog(run_.LogStream.get());

    outcome.started = true;
    outcome.runResult = RunConversion(services, demFile, rwxPrefix, outcome);
    logLine(format("return code=%d\n", outcome.runResult));

    if (ftpOpened && services.closeFtp) services.closeFtp(ws_);
    if (ftpOpened && services.uploadTally) outcome.uploads = services.uploadTally();
    if (s.BuildWithRobot && services.stopBot) services.stopBot(ws_);
    if (services.setLog) services.setLog(nullptr);
    closeLog();
    if (run_.WriteFailed && outcome.runResult == kRunCompleted) outcome.runResult = kRunWriteFailed;
    showLogPage();
    return outcome;
}

void GenerateRun::showLogPage() {
    const ConversionSettings& s = ws_.settings;
    std::error_code ec;
    if (!std::filesystem::exists(s.LogFile, ec)) return;
    FilePtr in = openFile(s.LogFile, "r");
    if (!in) return;
    char buf[kLogReadChars + 1];
    for (;;) {
        if (!std::fgets(buf, sizeof buf, in.get())) break;
        // A last line without its line end is not shown.
        if (std::feof(in.get())) break;
        if (std::strncmp(buf, "Writing", 7) != 0 || s.DetailedLog) ws_.ui->appendLogPage(pageLine(buf));
    }
}

void GenerateRun::writeBanner() {
    ConversionSettings& s = ws_.settings;
    if (!s.LogEnable) return;
    if (!run_.LogStream) {
        s.LogEnable = false;
        return;
    }
    logLine(kBannerRule);
    logLine("\tGorvale terrain converter\n");
    logLine("\tElevation models to RWX ground objects and propdump object lists\n");
    logLine("\tfor worlds of the AW platform\n");
    logLine("\tVersion 0.1\n");
    logLine(kBannerRule);
}

void GenerateRun::logExtremePoints(float verticalScale) {
    if (!run_.LogStream) return;
    const auto line = [&](const char* fmt, const ExtremePoint& p) {
        const long double a = static_cast<long double>(p.Value) * verticalScale;
        return format(fmt, p.Z, p.X, static_cast<double>(a));
    };
    logLine(line("Minimum elevation point: NS=%5d  WE=%5d a=%.1f\n", run_.MinPoint));
    logLine(line("Maximum elevation point: NS=%5d  WE=%5d a=%.1f\n", run_.MaxPoint));
}

int GenerateRun::RunConversion(GenerateServices& services, const std::string& demFile,
                               const std::string& rwxPrefix, GenerateOutcome& outcome) {
    ConversionSettings& s = ws_.settings;
    ElevationGrid& g = ws_.grid;
    run_.WriteFailed = false;
    ws_.ui->setStatus(kStatusPanel, "Working....");
    writeBanner();

    // The elevation file must still be there, and is read when no grid is loaded.
    FilePtr dem = openFile(demFile, "r");
    if (!dem) {
        logLine(format("Error: can't open %s\n", demFile.c_str()));
        ws_.ui->fileError(demFile);
        return kRunCannotOpenDem;
    }
    if (!ws_.gridLoaded && services.readUsgsDem) services.readUsgsDem(ws_, dem.get());
    dem.reset();
    logLine("Demfile read OK\n");
    if (!ws_.gridLoaded) {
        ws_.ui->message(format("%s holds no elevation grid to convert.", demFile.c_str()), "Error",
                        MessageKind::Error, Buttons::Ok);
        return kRunCannotOpenDem;
    }

    run_.PropdumpStream.reset();
    if (!s.NoPropfile && !s.AW_Terrain) {
        run_.PropdumpStream = OpenPropdump(s.PropFile);
        if (!run_.PropdumpStream) {
            const int error = errno;
            logLine(format("Error: can't create %s\n", s.PropFile.c_str()));
            ws_.ui->fileError(pathWithReason(s.PropFile, error));
            return kRunCannotCreateProp;
        }
    }

    ComputeSelectionStats(ws_);
    ws_.ui->gridChanged();
    const WorkingRectangle rect = workingRectangle(ws_);
    ScanSelection(g, rect);
    if (services.readTreeZones) services.readTreeZones(ws_);
    if (services.prepareZoneBounds) services.prepareZoneBounds(ws_);
    RaiseSelectionRange(g);
    ShowLabel(ws_, Label::BoxElev, format("%d", g.SelectionRange));
    ShowLabel(ws_, Label::BoxMin, format("%d", g.SelectionMin));
    ShowLabel(ws_, Label::BoxMax, format("%d", g.SelectionMin + g.SelectionRange));
    ws_.ui->gridFactsChanged();

    const LayoutNumbers numbers = ReadLayoutNumbers(s, rect, ws_.shaping.ObjectUnits, previousNumbers_);
    previousNumbers_ = numbers;
    run_.StopRequested = false;
    run_.WriterResultSum = 0;
    run_.MinPoint = {kMinPointStart, 0, 0};
    run_.MaxPoint = {kMaxPointStart, 0, 0};
    outcome.tilesTotal = SelectionTileCount(ws_);

    // NoRWX means no model at all, the single model included.
    const bool singleModel = s.SingleObjectGround && !s.NoRWX;
    if (!s.AW_Terrain && services.writer && services.heights) {
        (void)rwxPrefix;  // the tile names are formed from RWXFile by the layout
        if (singleModel) services.writer->BeginSingleModel();
        PropdumpFileSink propdump(run_.PropdumpStream, s.PropFile, *ws_.ui, &run_.WriteFailed);
        TileLoop loop{s, g, *ws_.ui, run_, *services.heights, *services.writer, services.builder,
                      services.trees, services.clock, &propdump};
        outcome.layout = LayoutTiles(loop, numbers);
    }
    if (s.AW_Terrain) {
        if (services.generateTerrain)
            services.generateTerrain(ws_, run_);
        else
            ws_.ui->message(kNoTerrainGeneration, "Error", MessageKind::Error, Buttons::Ok);
    } else if (singleModel && services.writer) {
        services.writer->EndSingleModel();
    }
    if (run_.PropdumpStream && !closeFile(run_.PropdumpStream)) {
        ws_.ui->fileError(pathWithReason(s.PropFile, errno));
        run_.WriteFailed = true;
    }
    ws_.ui->setStatus(kStatusPanel, "Done!");
    logExtremePoints(numbers.VerticalScale);
    return run_.WriteFailed ? kRunWriteFailed : kRunCompleted;
}

}  // namespace gorvale

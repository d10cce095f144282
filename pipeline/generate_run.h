#pragma once
// The Generate command: one conversion job from start to end. Opens the
// delivery sessions the job needs, the log, runs the conversion over the
// selected rectangle (tile loop or native terrain), closes what it opened and
// shows the log in the log page.

#include <functional>
#include <string>

#include "pipeline/run_state.h"
#include "pipeline/tile_layout.h"
#include "pipeline/workspace.h"

namespace gorvale {

// Results of RunConversion.
inline constexpr int kRunCompleted = 0;        // also after a stop or a writer failure
inline constexpr int kRunCannotOpenDem = 1;    // the elevation file could not be opened
inline constexpr int kRunCannotCreateProp = 2; // the propdump could not be created: nothing written
inline constexpr int kRunRefused = 3;          // settings refused before anything was written
inline constexpr int kRunWriteFailed = 4;      // a file of the run could not be written in full (reported)

// What the FTP session did with the archives of a run.
struct UploadTally {
    int uploaded = 0;  // stored on the server, at the first or the second attempt
    int retried = 0;   // whose first attempt failed
    int failed = 0;    // not on the server: both attempts failed
};

// What a run needs from the other subsystems. Optional members may stay
// empty; the options that need them are then refused with a message.
struct GenerateServices {
    // Converts the texture-zone table to numbers for this run; false (after
    // its own message) when the zone settings cannot be used.
    std::function<bool(Workspace&)> prepareZones;
    // The second conversion of the zone bounds, once the selection is known.
    std::function<void(Workspace&)> prepareZoneBounds;
    // Validations that must pass before anything is written; false after a message.
    std::function<bool(Workspace&)> validate;
    // Told the run's log stream when it opens (and null when it closes).
    std::function<void(std::FILE*)> setLog;
    // The model writer, built on `heights`.
    TileModelWriter* writer = nullptr;
    TileHeights* heights = nullptr;
    // FTP session (FtpToHost) and builder bot (BuildWithRobot); false after a message.
    std::function<bool(Workspace&)> openFtp;
    std::function<void(Workspace&)> closeFtp;
    std::function<UploadTally()> uploadTally;  // read after closeFtp
    std::function<bool(Workspace&)> startBot;
    std::function<void(Workspace&)> stopBot;
    ObjectSink* builder = nullptr;  // the bot (see TileLoop::Builder)
    TreeZoneHooks* trees = nullptr;
    // Reads the tree zone table for this run, after the selection scan and
    // before its range is raised to 1 (percent bounds use the unraised range).
    std::function<void(Workspace&)> readTreeZones;
    // Native terrain instead of objects (AW_Terrain).
    std::function<void(Workspace&, RunState&)> generateTerrain;
    // Reads the opened elevation file as a USGS DEM when no grid is loaded.
    std::function<int(Workspace&, std::FILE*)> readUsgsDem;
    std::function<std::int32_t()> clock;  // empty: the system clock
};

// What a finished run leaves for its caller.
struct GenerateOutcome {
    bool started = false;   // RunConversion ran
    int runResult = -1;     // RunConversion's result
    LayoutResult layout;    // the tile loop's end
    int tilesTotal = 0;     // tiles of the selection (for progress displays)
    UploadTally uploads;    // with FtpToHost: what reached the server
};

class GenerateRun {
public:
    explicit GenerateRun(Workspace& ws) : ws_(ws) {}

    // The Generate button.
    GenerateOutcome Generate(GenerateServices& services);

    // The conversion driver, given the elevation file and the model prefix.
    int RunConversion(GenerateServices& services, const std::string& demFile, const std::string& rwxPrefix,
                      GenerateOutcome& outcome);

    RunState& state() { return run_; }

private:
    void writeBanner();
    void logExtremePoints(float verticalScale);
    void showLogPage();
    void logLine(const std::string& text);
    void logFailed(int error);
    void closeLog();

    Workspace& ws_;
    RunState run_;
    LayoutNumbers previousNumbers_;  // a text that does not parse keeps the last run's value
    bool running_ = false;           // a second press during a run is ignored
};

// Tiles a run will write for the current selection (no overhang).
int SelectionTileCount(const Workspace& ws);

}  // namespace gorvale

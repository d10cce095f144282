#pragma once
// Everything a Generate run needs, wired together for one workspace: the
// model writer with its zip packaging, the zone preparation and the checks
// made before anything is written. The desktop program and the command
// line both run conversions through this.

#include <memory>

#include "pipeline/generate_run.h"

namespace gorvale {

class BuilderBot;
struct TerrainOutcome;

class ConversionJob {
public:
    explicit ConversionJob(Workspace& ws);
    // Builds through `bot`, which outlives the job (the desktop program's one
    // bot, whose robot log accumulates across commands).
    ConversionJob(Workspace& ws, BuilderBot& bot);
    ~ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // The Generate button.
    GenerateOutcome Generate();

    GenerateRun& run() { return run_; }
    GenerateServices& services() { return services_; }
    // The builder bot that BuildWithRobot runs use (its robot log stays after a run).
    BuilderBot& bot();
    // How the last native-terrain run (AW_Terrain) ended.
    const TerrainOutcome& terrainOutcome() const;

private:
    ConversionJob(Workspace& ws, BuilderBot* bot);
    struct Parts;
    Workspace& ws_;
    std::unique_ptr<Parts> parts_;
    GenerateRun run_;
    GenerateServices services_;
};

}  // namespace gorvale

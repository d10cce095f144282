#pragma once
// Native terrain: the selected rectangle of the grid becomes the world's own
// terrain, one node per grid point with a height in centimetres and a texture
// code chosen by the texture zones (plus an orientation for transition pieces
// between neighbouring zones). The bot sends the nodes strip by strip; the
// nodes sent are also kept in a mirror that is written as an elevation dump.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/run_state.h"
#include "pipeline/workspace.h"

namespace gorvale {

class BuilderBot;
class TerrainArrays;

// The numbers a run reads once at its start.
struct TerrainNumbers {
    std::int32_t ElevationLimit = 32764;  // 100000 with WorldVersion4
    int CliffTextureNumber = 61;
    std::int64_t cliffThreshold = 10000;
    std::int32_t heightOffset = 0;  // cm
    float heightScale = 0.01f;
    std::int32_t base = 0;          // smallest flattened elevation
    int r = 0;                      // RotateBot2: 0..3 for 0, 90, 180, 270 degrees
    bool cliffTextures = false;
    bool leveledWithGround = false;
    bool dontRotate = false;
};

// "terrainNN" gives NN; anything else (or no number) gives 61.
int CliffTextureNumberOf(const std::string& cliffTextureName);

// Orientation codes of transition pieces: [r][side], sides A, B, C, D.
int CornerOffset(bool dontRotate, int r, int side);
int EdgeOffset(bool dontRotate, int r, int side);

// A node in the zone map that is a cliff: a value no zone row can have, so
// that a cliff never counts as "the next zone" of its neighbours.
inline constexpr std::int32_t kCliffZone = -1;

// R rows x C columns, row-major, i = 0 the ToNorth row, j = 0 the ToEast column.
struct NodeMatrix {
    int R = 0, C = 0;
    std::vector<std::int32_t> v;
    NodeMatrix() = default;
    NodeMatrix(int rows, int cols) : R(rows), C(cols), v(static_cast<std::size_t>(rows) * cols, 0) {}
    std::int32_t& at(int i, int j) { return v[static_cast<std::size_t>(i) * C + j]; }
    std::int32_t at(int i, int j) const { return v[static_cast<std::size_t>(i) * C + j]; }
    // Indices clamped into the array.
    std::int32_t clamped(int i, int j) const;
};

// The zone map of step 4 from the flattened grid values.
NodeMatrix BuildZoneMap(const NodeMatrix& clampedGrid, const ZoneTable& zones, const TerrainNumbers& n);

// The texture code of node (i, j), step 5.
std::int32_t NodeTextureCode(const NodeMatrix& clampedGrid, const NodeMatrix& zoneMap, const ZoneTable& zones,
                             const TerrainNumbers& n, int i, int j);

// Heights and texture codes indexed [i][k], k = C - 1 - j (k = 0 the FromWest column).
struct TerrainNodes {
    NodeMatrix NodeHeights;
    NodeMatrix NodeTextures;
};

// One strip as the send order hands it over: nodes (x + m, z), m < count.
struct TerrainStrip {
    int x = 0, z = 0;
    std::vector<std::int32_t> textures, heights;
};

// Walks the strips of rotation r in order; `each` returns false to stop.
void ForEachTerrainStrip(const TerrainNodes& nodes, int r, int x0, int z0,
                         const std::function<bool(const TerrainStrip&)>& each);

// Runs of a strip: the longest sequences of equal texture codes, each at
// most `limit` nodes; (first node, length) in order.
std::vector<std::pair<int, int>> TerrainRuns(const std::int32_t* textures, int count, int limit);

// The page radius that holds every node from (xLow, zLow) to (xHigh, zHigh):
// page p covers nodes 128p - 64 .. 128p + 63.
int PageRadiusFor(int xLow, int zLow, int xHigh, int zHigh);

// Largest page radius the mirror may take (about 120 MB); a selection placed
// further out is refused with a message.
inline constexpr int kMaxMirrorPageRadius = 16;

// Texts of the elevation-limit question.
inline constexpr const char* kElevationLimitCaption = "Elevation exceeds maximum buildable limits of yout world!";
std::string ElevationLimitText(std::int32_t limit, int i, int k, float h);

// How a terrain run ended.
enum class TerrainEnd {
    Completed,     // every strip handed over
    Stopped,       // the stop button, or a strip the world refused (logged)
    Cancelled,     // Cancel at the elevation warning: nothing sent, nothing written
    Refused,       // the selection cannot be mirrored (message shown)
};

struct TerrainOutcome {
    TerrainEnd end = TerrainEnd::Completed;
    int stripsSent = 0;
    int nodesWritten = -1;  // elevdump nodes, -1 when none was written
    bool elevdumpFailed = false;
};

// The sender's side of a strip: the bot (null when BuildWithRobot is off).
class NativeTerrain {
public:
    NativeTerrain(Workspace& ws, RunState& run, BuilderBot* bot) : ws_(ws), run_(run), bot_(bot) {}

    // The whole operation; reads the settings and the grid.
    TerrainOutcome GenerateAwTerrain();

    // Steps 1-5 alone (numbers, offsets, grids, codes, heights with the warning);
    // nothing when the warning was cancelled.
    std::optional<TerrainNodes> ComputeNodes(TerrainNumbers& numbers);

    // Sends one strip and mirrors it; false to stop.
    bool SetTerrainStrip(int x, int z, bool deleteOld, const std::int32_t* textures, const std::int32_t* heights,
                         int count);

    // Offsets x0 and z0 of step 2 for a selection of R rows and C columns.
    // fromSouth and fromWest: the selection's first row and column.
    static void Offsets(const ConversionSettings& s, const RunState& run, int R, int C, int fromSouth, int fromWest,
                        int& x0, int& z0);

    TerrainArrays* mirror() { return mirror_; }

private:
    bool stopRequested();

    Workspace& ws_;
    RunState& run_;
    BuilderBot* bot_;
    TerrainArrays* mirror_ = nullptr;  // lives during GenerateAwTerrain
    int half_ = 0;
    int side_ = 0;
};

}  // namespace gorvale

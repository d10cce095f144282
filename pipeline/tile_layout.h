#pragma once
// The tile loop of a Generate run: walks the working rectangle in steps of n
// cells, south to north and east to west, names each tile's model after its
// position in world cells relative to the middle of the selection, has the
// tile filled and written, and places the object in the object list and,
// optionally, in the world through the builder bot.

#include <cstdint>
#include <functional>
#include <string>

#include "base/elevation_grid.h"
#include "base/conversion_settings.h"
#include "pipeline/grid_shaping.h"
#include "pipeline/run_state.h"
#include "base/tile_heights.h"
#include "base/user_interface.h"
#include "base/world_object.h"

namespace gorvale {

// Writes the model of one tile from the shared TileHeights (filled before the
// call; the writer may flatten the entries in place).
class TileModelWriter {
public:
    virtual ~TileModelWriter() = default;
    // 0 on success, -1 when the model file could not be created.
    virtual int WriteGroundObject(const std::string& path, int n, int offsetZ, int offsetX,
                                  std::int32_t baseElevation, float verticalScale, double centring,
                                  double shiftA, double shiftB, int n2) = 0;
    // The largest vertex height of the last written tile, in world cells (10 m).
    virtual int MaxVertexHeight() const = 0;
    // The base elevation the last written tile was measured from: the
    // argument, or the tile's own lowest flattened elevation when each tile
    // is a file of its own and FlushWithGround is on.
    virtual std::int32_t BaseElevationUsed() const = 0;
    virtual void BeginSingleModel() = 0;
    virtual void EndSingleModel() = 0;
};

// A tile's rotated position in world cells and its yaw in tenths of a degree.
struct RotatedPosition {
    std::int32_t X = 0;
    std::int32_t Z = 0;
    int Yaw = 0;
};

struct TileLoop;
struct LayoutNumbers;

// What tree placement needs to know about the tile whose ground object was just placed.
struct TreeTile {
    RotatedPosition Position;
    std::int32_t BaseElevation = 0;
};

// Where tree zones plug into the tile loop. Both calls do nothing here; the
// tree-zone code overrides them. They are made only with GenerateTrees on.
class TreeZoneHooks {
public:
    virtual ~TreeZoneHooks() = default;
    // Draws each zone's candidate point in the tile with south-east corner (h, c),
    // just before the tile is filled.
    virtual void SampleTreeZones(const ElevationGrid& grid, int h, int c, int n) {
        (void)grid, (void)h, (void)c, (void)n;
    }
    // Writes (and builds) the tile's accepted candidates after its ground
    // object; not called with NoPropfile.
    virtual void PlaceTrees(TileLoop& loop, const LayoutNumbers& numbers, const TreeTile& tile) {
        (void)loop, (void)numbers, (void)tile;
    }
};

// The numbers a run reads once at its start and the loop uses.
struct LayoutNumbers {
    WorkingRectangle Rect;            // after the selection statistics clamped it
    int ScalingStep = 1;              // n
    float ObjectUnits = 1.0f;         // u
    std::int32_t CitizenNumber = 0;   // "%ld"
    std::int32_t PropCenterNS = 0;    // cm, "%ld"
    std::int32_t PropCenterWE = 0;    // cm, "%ld"
    int VerticalOffset = 0;           // "%d"
    float VerticalScale = 0.01f;      // "%f"
};

// Reads the numbers from the settings; a text that does not parse keeps the
// value of `previous` (the previous run's).
LayoutNumbers ReadLayoutNumbers(const ConversionSettings& settings, const WorkingRectangle& rect,
                                float objectUnits, const LayoutNumbers& previous = {});

// The collaborators of one run's tile loop.
struct TileLoop {
    const ConversionSettings& Settings;
    const ElevationGrid& Grid;
    UserInterface& Ui;
    RunState& Run;
    TileHeights& Heights;   // shared with the writer
    TileModelWriter& Writer;
    // The builder bot: given each object moved to the bot's centre, at the
    // bot's height, timestamp 0 (now). Its result is the platform's reason
    // code; the run goes on whatever it says. Null: no bot.
    ObjectSink* Builder = nullptr;
    TreeZoneHooks* Trees = nullptr;   // null: no trees
    std::function<std::int32_t()> Clock;  // seconds since 1970; empty: the system clock
    // Where the object list goes; null: a PropdumpFileSink on Run.PropdumpStream.
    ObjectSink* Objects = nullptr;
};

enum class LayoutEnd { Completed, Stopped, WriterFailed };
struct LayoutResult {
    LayoutEnd End = LayoutEnd::Completed;
    int TilesDone = 0;  // tiles that went through the whole loop body
};

// Tiles of the rectangle in steps of n (no overhang).
int TileCount(const WorkingRectangle& rect, int n);

// The tile loop. Once per tile it reports RunProgress (tiles done before this
// one, the total, the model path unless NoRWX) and handles window events;
// when it ends it reports the tiles done with an empty path. The caller has
// opened and headed Run.PropdumpStream (unless NoPropfile), begun the single
// model when SingleObjectGround is on, and ends it and closes the stream
// afterwards. Lines are only written while the
// stream is open; a failing write is reported once and closes it.
LayoutResult LayoutTiles(TileLoop& loop, const LayoutNumbers& numbers);

// --- the pieces of the loop, also used by tree placement ---

// Seconds since 1970 from the loop's clock (the system clock when none is set).
std::int32_t CurrentTime(const TileLoop& loop);
// Writes one object line while the list is open; the first failing write is
// shown in the "Error" dialog with the list's path and closes the list.
void EmitPropdumpLine(TileLoop& loop, const std::string& line);
// Hands one object to the object list (loop.Objects, or the propdump file);
// the sink's result.
int EmitObject(TileLoop& loop, const WorldObject& object);
// Hands the object to the bot, moved by the bot's centre and standing at
// `botHeight` (cm), timestamp 0; does nothing without a bot.
void BuildWithBot(TileLoop& loop, const WorldObject& object, std::int32_t botHeight);

// The first tile coordinate of a rectangle side: int((-((to - from) / 2) / n) * u).
std::int32_t FirstTileCoordinate(int from, int to, int n, float u);
// The next tile coordinate: int(v + u).
std::int32_t NextTileCoordinate(std::int32_t v, float u);

// "%02d%c_%02d%c.rwx" from |q|, s/n, |t|, e/w.
std::string TileName(std::int32_t q, std::int32_t t);
// The part of a model path after its last folder separator ("\" or "/").
std::string ModelNameOf(const std::string& path);

// The tile position turned by the RotateWorld choice (0, 90, 180, 270 degrees).
RotatedPosition RotateTile(std::int32_t q, std::int32_t t, int rotateWorld);

// The ground object's position in cm; the overhang moves the origin inward.
struct GroundPlacement {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;
};
GroundPlacement PlaceGround(const RotatedPosition& position, const OverhangCounts& overhang,
                            const LayoutNumbers& numbers, std::int32_t flushElevation,
                            std::int32_t propElevationCm);
// The height given to the bot: int(F * 100 * scale) + prop elevation.
std::int32_t BotGroundHeight(std::int32_t flushElevation, float verticalScale,
                             std::int32_t propElevationCm);

// The ground object of a tile and the teleport at ground zero, as the object list holds them.
WorldObject GroundObject(std::int32_t citizen, std::int32_t timestamp, const GroundPlacement& at, int yaw,
                         const std::string& model);
WorldObject GroundZeroTeleport(std::int32_t citizen, std::int32_t timestamp, int altitude);

// The teleport's warp altitude in 10 m units above the ground-zero tile's highest vertex.
int GroundZeroAltitude(std::int32_t flushBase, float verticalScale, std::int32_t propElevationCm,
                       int maxVertexHeight);

}  // namespace gorvale

#pragma once
// Values the main window derives from the world parameters: the dynamic
// vertical scale, the texts of the scale list, the size-of-selection labels,
// the world-size tables and the world frame drawn on the picture. Plain
// functions so that the GUI, the command line and the tests share them.

#include <array>
#include <cstdint>
#include <string>

#include "base/conversion_settings.h"
#include "base/grid_context.h"

namespace gorvale {

constexpr int kScaleListEntries = 32;
constexpr int kWorldSizeEntries = 12;

// The world sizes (in world cells) behind the WorldSize choice; entry 0 is
// replaced by the selection's own extent when that is a usable size.
constexpr std::array<int, kWorldSizeEntries> kWorldSizeList = {1200, 20,  40,  50,  60,  80,
                                                               100,  120, 140, 160, 180, 200};
constexpr int kWorldSizeLimit = 1200;

// Object side in world cells of 10 m: the ObjectSize choice + 1.
float ObjectUnitsFromChoice(int objectSizeChoice);
inline int ObjectUnitsWhole(const ConversionSettings& s) { return s.ObjectSize + 1; }

// The vertical scale that keeps a 30 m grid's proportions: (1/n)(1/3)u as "%3f".
std::string DynamicVerticalScaleText(int n, float objectUnits);

// Entry k of the scale list: "1:%5.2f %5.2fm %4d" with the ratio between a
// 30 m cell and the world, the vertex distance in metres and the vertex count.
std::string ScaleListEntry(int k, float objectUnits);
std::array<std::string, kScaleListEntries> ScaleListEntries(float objectUnits);

// One size-of-selection label: (to - from) / n * u * 10 in integer arithmetic,
// "%dm" when above 9, else "Unknown".
std::string SelectionSizeText(int from, int to, int n, int objectUnits);

struct SelectionSizeLabels {
    std::string NorthSouth;
    std::string WestEast;
};
// From the four bounding-box fields read with "%d" (0 when they do not parse).
SelectionSizeLabels SelectionSizes(const ConversionSettings& settings);
// Stores NS_Size, NS_Size2, WE_Size and WE_Size2 in ws.facts and shows them.
void ShowSelectionSizes(GridContext& ws);

struct WorldSizeTables {
    std::array<int, kWorldSizeEntries> WestEast = kWorldSizeList;
    std::array<int, kWorldSizeEntries> NorthSouth = kWorldSizeList;
};
// Reset from the constant list; entry 0 takes the selection's extent minus 1
// in each direction when that lies strictly between 1 and 1200.
WorldSizeTables ResetWorldSizeTables(int fromSouth, int fromWest, int toNorth, int toEast);
WorldSizeTables ResetWorldSizeTables(const ConversionSettings& settings);

// The world frame on the picture, in grid cells.
struct WorldFrame {
    int WestEast = 0;
    int NorthSouth = 0;
};
// A WorldSize choice outside the table uses entry 0.
WorldFrame ComputeWorldFrame(const WorldSizeTables& tables, int worldSize, int n, int objectUnits);

// The west-east world size for the chosen WorldSize (used to keep trees inside the world).
int WestEastWorldSize(const WorldSizeTables& tables, int worldSize);

// The window's own state that these handlers keep.
struct ShapingWindowState {
    float ObjectUnits = 1.0f;
    int ScalingStep = 1;
    WorldSizeTables Tables;
    WorldFrame Frame;
};

// The computations of the scale-list change: dynamic vertical scale (when
// DVerticalScale is on, written into settings.VerticalScale), the step, the
// world-size tables, the frame and the size labels. The bounding-box
// validation of the grid, which runs between them, is the caller's.
void ApplyScalingChoice(ConversionSettings& settings, ShapingWindowState& state);
// The object-size change: ObjectUnits and the 32 scale-list texts, then the
// scaling computations. Returns the new scale-list texts.
std::array<std::string, kScaleListEntries> ApplyObjectSizeChoice(ConversionSettings& settings,
                                                                  ShapingWindowState& state);
// The world-size change: tables and frame.
void ApplyWorldSizeChoice(const ConversionSettings& settings, ShapingWindowState& state);

// Enabled states (and forced switch values) of the dependent controls.
// Smooth levelling is only possible with levelling; turning levelling off clears it.
bool ApplyLevelEdgeRule(ConversionSettings& settings);  // -> smooth switch enabled
// The four edge choices are enabled (and shown) only with overhang on.
inline bool OverhangChoicesEnabled(const ConversionSettings& s) { return s.WorldEdgeOverHang; }
// Single model: overhang is switched off either way and only editable without
// a single model; translation is only offered with it.
struct SingleObjectGroundControls {
    const char* PrefixButtonText;
    bool OverhangEnabled;
    bool UseTranslateEnabled;
};
SingleObjectGroundControls ApplySingleObjectGroundRule(ConversionSettings& settings);
// The two "Skip from second" switches need SkipElevation.
inline bool SkipFromSecondEnabled(const ConversionSettings& s) { return s.SkipElevation; }

}  // namespace gorvale

#pragma once
// The "AW Terrain selection" dialog's arithmetic and the main window's
// native-terrain mode switch, as core functions: the windows only show what
// these return.

#include <string>
#include <vector>

#include "base/grid_context.h"

namespace gorvale {

// One edit with its N/S or W/E choice: the distance from the centre and
// whether the bound lies south (east) of it.
struct SignedField {
    int magnitude = 0;
    bool negative = false;  // "S" or "E" chosen
    int value() const { return negative ? -magnitude : magnitude; }
};

struct TerrainSelectionDialog {
    std::string caption;  // "AW Terrain Selection" or "AW Terrain Exclusion"
    int centreRow = 0, centreCol = 0;
    SignedField south, west, north, east;  // FromSouth, FromWest, ToNorth, ToEast (or their exclusions)
};

// Opens the dialog: the centre is the elevation dump's origin when one was
// opened (presetShown), else the middle of the grid.
TerrainSelectionDialog OpenTerrainSelection(const GridContext& ws, bool presetShown, bool exclusion);
// OK: centre + signed values back into the bounds; for the selection also
// PropCenterNS/PropCenterWE, VerticalScale "0.01" and DVerticalScale off.
void AcceptTerrainSelection(GridContext& ws, const TerrainSelectionDialog& d, bool exclusion);

// VerticalOffset's hint outside native-terrain mode.
inline constexpr const char* kObjectVerticalOffsetHint = "Ground level offset in the file's units";

// What the main window shows in or out of native-terrain mode.
struct NativeTerrainView {
    bool terrainControlsShown = false;  // RotateBot2 group, DontRotate, WorldVersion4, DeleteOldTerrain, FixGZ
    bool objectControlsShown = true;    // RotateBot1, RotateWorld, WorldEdgeOverHang, DoubleSidedObject, SingleObjectGround
    bool rwxNameColumnsShown = true;    // zone columns RWXName, RWXBottomName
    std::string noPropfileCaption, propFileButtonCaption;
    std::string rwxPageCaption, treePageCaption;
    std::string opacityZoneCaption, tagZoneCaption, opacityColumnCaption;
    // Hints of the zone fields OpacityZone, ObjectTagZone, OpacityValue,
    // TagStartValue, NameSuffixFrom and NumberOfTexts, in that order, and of
    // VerticalOffset: the terrain meanings, or the object-mode ones.
    std::vector<std::string> zoneHints;
    std::string verticalOffsetHint;
};

// Switching AW_Terrain (also WorldVersion4's handler): turns off what the
// mode excludes, sets the 10 m object size and cliff texture in terrain
// mode, and returns what to show.
NativeTerrainView SwitchNativeTerrainMode(ConversionSettings& s);

}  // namespace gorvale

#include "world/terrain_selection.h"

#include "base/text_convert.h"

namespace gorvale {
namespace {

SignedField fieldOf(int bound, int centre) {
    const int d = bound - centre;
    return {d < 0 ? -d : d, d < 0};
}

}  // namespace

TerrainSelectionDialog OpenTerrainSelection(const GridContext& ws, bool presetShown, bool exclusion) {
    TerrainSelectionDialog d;
    d.caption = exclusion ? "AW Terrain Exclusion" : "AW Terrain Selection";
    if (presetShown) {
        d.centreRow = ws.ElevdumpOriginRow;
        d.centreCol = ws.ElevdumpOriginCol;
    } else {
        d.centreRow = ws.grid.LastRow / 2;  // (rows - 1) / 2
        d.centreCol = ws.grid.LastCol / 2;
    }
    const ConversionSettings& s = ws.settings;
    if (exclusion) {
        d.south = fieldOf(s.FromSouthExcl, d.centreRow);
        d.west = fieldOf(s.FromWestExcl, d.centreCol);
        d.north = fieldOf(s.ToNorthExcl, d.centreRow);
        d.east = fieldOf(s.ToEastExcl, d.centreCol);
    } else {
        d.south = fieldOf(decimalInt(s.FromSouth), d.centreRow);
        d.west = fieldOf(decimalInt(s.FromWest), d.centreCol);
        d.north = fieldOf(decimalInt(s.ToNorth), d.centreRow);
        d.east = fieldOf(decimalInt(s.ToEast), d.centreCol);
    }
    return d;
}

void AcceptTerrainSelection(GridContext& ws, const TerrainSelectionDialog& d, bool exclusion) {
    ConversionSettings& s = ws.settings;
    const int S = d.south.value(), W = d.west.value(), N = d.north.value(), E = d.east.value();
    if (exclusion) {
        s.FromSouthExcl = d.centreRow + S;
        s.FromWestExcl = d.centreCol + W;
        s.ToNorthExcl = d.centreRow + N;
        s.ToEastExcl = d.centreCol + E;
        return;
    }
    s.FromSouth = std::to_string(d.centreRow + S);
    s.FromWest = std::to_string(d.centreCol + W);
    s.ToNorth = std::to_string(d.centreRow + N);
    s.ToEast = std::to_string(d.centreCol + E);
    s.PropCenterNS = std::to_string(static_cast<long long>((N - S) / 2 + S) * 1000 + 500);
    s.PropCenterWE = std::to_string(static_cast<long long>((E - W) / 2 + W) * 1000 + 500);
    s.VerticalScale = "0.01";
    s.DVerticalScale = false;
}

NativeTerrainView SwitchNativeTerrainMode(ConversionSettings& s) {
    NativeTerrainView v;
    const bool on = s.AW_Terrain;
    v.terrainControlsShown = on;
    v.objectControlsShown = !on;
    v.rwxNameColumnsShown = !on;
    if (on) {
        s.WorldEdgeOverHang = false;
        s.DoubleSidedObject = false;
        s.GenerateTrees = false;
        s.GenerateOnlyTrees = false;
        s.ObjectSize = 0;  // 10 m
        s.Scaling = 0;     // 10 m between vertices
        s.CliffTextureName = "terrain61";
        v.noPropfileCaption = "No Elevation file";
        v.propFileButtonCaption = "Elev File";
        v.opacityZoneCaption = "Co";
        v.tagZoneCaption = "Edg";
        v.opacityColumnCaption = "Transition Texture";
        v.zoneHints = {"Enable corner transition from this to the next zone",
                       "Enable edge transition from this to the next zone",
                       "Transitional corner piece texture number",
                       "Transitional edge piece texture number",
                       "Starting texture number for terrainxx.jpg (range is 0-61)",
                       "Number of different textures\nstarting with the texture number\nfor gradient texturing"};
        v.verticalOffsetHint = "Lowers the terrain with the given amount (in centimeters).";
    } else {
        s.FixGZ = false;
        v.noPropfileCaption = "No Propfile";
        v.propFileButtonCaption = "Prop File";
        v.rwxPageCaption = "RWX Option";
        v.treePageCaption = "Tree Zones";
        v.opacityZoneCaption = "Op";
        v.tagZoneCaption = "Tag";
        v.opacityColumnCaption = "Opacity";
        v.zoneHints = {"The zone's texture is written with its own opacity",
                       "The zone's polygons are tagged",
                       "Opacity written with the zone's texture (0 to 1)",
                       "Tag value written for the zone's polygons",
                       "First number of the numbered texture names",
                       "Number of numbered textures; 1 means a single, unnumbered name"};
        v.verticalOffsetHint = kObjectVerticalOffsetHint;
    }
    return v;
}

}  // namespace gorvale

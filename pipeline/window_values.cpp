#include "pipeline/window_values.h"

#include <cstdint>

#include "base/text_convert.h"

namespace gorvale {

namespace {

constexpr const char* kVerticalScaleFormat = "%3f";
constexpr const char* kScaleEntryFormat = "1:%5.2f %5.2fm %4d";
constexpr const char* kSizeFormat = "%dm";
constexpr const char* kUnknownSize = "Unknown";
constexpr int kGridCellMetres = 30;  // the scale list compares with a 30 m grid
constexpr const char* kSingleModelPrefixText = "NamePrefix";
constexpr const char* kModelPrefixText = "Target Rwx Prefix";

int fieldValue(const std::string& text) {
    int v = 0;
    scanInt(text, v);
    return v;
}

int worldSizeIndex(int worldSize) {
    return worldSize >= 0 && worldSize < kWorldSizeEntries ? worldSize : 0;
}

}  // namespace

float ObjectUnitsFromChoice(int objectSizeChoice) {
    return static_cast<float>(objectSizeChoice + 1);
}

std::string DynamicVerticalScaleText(int n, float objectUnits) {
    if (n < 1) n = 1;  // the step is always at least one cell
    const long double scale = (1.0L / n) * (1.0L / 3) * objectUnits;
    return format(kVerticalScaleFormat, static_cast<double>(scale));
}

std::string ScaleListEntry(int k, float objectUnits) {
    const long double ratio = 3.0L * (k + 1) / objectUnits;
    const long double vertexDistance = kGridCellMetres / ratio;
    return format(kScaleEntryFormat, static_cast<double>(ratio), static_cast<double>(vertexDistance),
                  (k + 2) * (k + 2));
}

std::array<std::string, kScaleListEntries> ScaleListEntries(float objectUnits) {
    std::array<std::string, kScaleListEntries> entries;
    for (int k = 0; k < kScaleListEntries; ++k) entries[k] = ScaleListEntry(k, objectUnits);
    return entries;
}

std::string SelectionSizeText(int from, int to, int n, int objectUnits) {
    if (n < 1) return kUnknownSize;
    const std::int64_t metres = (static_cast<std::int64_t>(to) - from) / n * objectUnits * 10;
    if (metres > 9 && metres <= INT32_MAX) return format(kSizeFormat, static_cast<int>(metres));
    return kUnknownSize;
}

SelectionSizeLabels SelectionSizes(const ConversionSettings& s) {
    const int n = scalingStep(s);
    const int u = ObjectUnitsWhole(s);
    return {SelectionSizeText(fieldValue(s.FromSouth), fieldValue(s.ToNorth), n, u),
            SelectionSizeText(fieldValue(s.FromWest), fieldValue(s.ToEast), n, u)};
}

void ShowSelectionSizes(GridContext& ws) {
    const SelectionSizeLabels sizes = SelectionSizes(ws.settings);
    ShowLabel(ws, Label::NS_Size, sizes.NorthSouth);
    ShowLabel(ws, Label::NS_Size2, sizes.NorthSouth);
    ShowLabel(ws, Label::WE_Size, sizes.WestEast);
    ShowLabel(ws, Label::WE_Size2, sizes.WestEast);
}

WorldSizeTables ResetWorldSizeTables(int fromSouth, int fromWest, int toNorth, int toEast) {
    WorldSizeTables t;
    const std::int64_t westEast = static_cast<std::int64_t>(toEast) - fromWest - 1;
    const std::int64_t northSouth = static_cast<std::int64_t>(toNorth) - fromSouth - 1;
    if (westEast > 1 && westEast < kWorldSizeLimit) t.WestEast[0] = static_cast<int>(westEast);
    if (northSouth > 1 && northSouth < kWorldSizeLimit) t.NorthSouth[0] = static_cast<int>(northSouth);
    return t;
}

WorldSizeTables ResetWorldSizeTables(const ConversionSettings& s) {
    return ResetWorldSizeTables(fieldValue(s.FromSouth), fieldValue(s.FromWest), fieldValue(s.ToNorth),
                                fieldValue(s.ToEast));
}

WorldFrame ComputeWorldFrame(const WorldSizeTables& tables, int worldSize, int n, int objectUnits) {
    const int k = worldSizeIndex(worldSize);
    if (objectUnits < 1) objectUnits = 1;  // the object size choice is never below 10 m
    WorldFrame f;
    f.WestEast = tables.WestEast[k] * n / objectUnits;
    f.NorthSouth = tables.NorthSouth[k] * n / objectUnits + 1;
    return f;
}

int WestEastWorldSize(const WorldSizeTables& tables, int worldSize) {
    return tables.WestEast[worldSizeIndex(worldSize)];
}

void ApplyWorldSizeChoice(const ConversionSettings& settings, ShapingWindowState& state) {
    state.Tables = ResetWorldSizeTables(settings);
    state.Frame = ComputeWorldFrame(state.Tables, settings.WorldSize, scalingStep(settings),
                                    ObjectUnitsWhole(settings));
}

void ApplyScalingChoice(ConversionSettings& settings, ShapingWindowState& state) {
    const int n = scalingStep(settings);
    if (settings.DVerticalScale) settings.VerticalScale = DynamicVerticalScaleText(n, state.ObjectUnits);
    state.ScalingStep = n;
    ApplyWorldSizeChoice(settings, state);
}

std::array<std::string, kScaleListEntries> ApplyObjectSizeChoice(ConversionSettings& settings,
                                                                  ShapingWindowState& state) {
    state.ObjectUnits = ObjectUnitsFromChoice(settings.ObjectSize);
    auto entries = ScaleListEntries(state.ObjectUnits);
    ApplyScalingChoice(settings, state);
    return entries;
}

bool ApplyLevelEdgeRule(ConversionSettings& settings) {
    if (!settings.WorldEdgeLevelWithGround) settings.WorldEdgeLevelSmooth = false;
    return settings.WorldEdgeLevelWithGround;
}

SingleObjectGroundControls ApplySingleObjectGroundRule(ConversionSettings& settings) {
    settings.WorldEdgeOverHang = false;
    if (settings.SingleObjectGround) return {kSingleModelPrefixText, false, true};
    return {kModelPrefixText, true, false};
}

}  // namespace gorvale

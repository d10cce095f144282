#include "rwx/texture_zones.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "import/grid_operations.h"
#include "pipeline/text_convert.h"
#include "pipeline/workspace.h"
#include "rwx/rwx_emitter.h"

namespace gorvale {
namespace {

constexpr std::int32_t kScanMinimumStart = 32000;
constexpr std::int32_t kScanMaximumStart = -32000;
constexpr float kPercentMaximum = 100.0f;
constexpr const char* kZoneMessageCaption = "Texture Zones";

// "\nOpacity %.2f", formatted without the C library so that no locale can
// change the decimal point.
std::string opacityLineFor(float opacity) {
    char digits[400];
    const char* end = std::to_chars(digits, digits + sizeof digits, static_cast<double>(opacity),
                                    std::chars_format::fixed, 2)
                          .ptr;
    return "\nOpacity " + std::string(digits, static_cast<std::size_t>(end - digits));
}

// "%d" width of a value, sign included.
std::size_t decimalWidth(long long value) {
    char buffer[24];
    return static_cast<std::size_t>(std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer);
}

// A percentage of the range above the minimum, truncated toward zero.
std::int32_t percentBound(float percent, std::int32_t minimum, std::int64_t range) {
    if (percent > kPercentMaximum) percent = kPercentMaximum;
    if (!(percent >= 0.0f)) percent = 0.0f;
    const long double bound = static_cast<long double>(range) * percent *
                                  static_cast<long double>(0.01) +
                              minimum;
    return static_cast<std::int32_t>(bound);
}

// The numbered gradient runs from NameSuffixFrom to NameSuffixFrom + N.
void gradientNumberRange(const ZoneRow& row, long long& low, long long& high) {
    const long long from = row.NameSuffixFrom;
    const long long to = from + row.NumberOfTexts;
    low = std::min(from, to);
    high = std::max(from, to);
}

}  // namespace

std::int32_t ZoneTable::FlattenByZones(std::int32_t e) const {
    for (const ZoneRow& row : rows) {
        if (row.ObjectFlatZone && row.Lowest <= e && e <= row.Highest) {
            e = row.ObjectFlatZoneHigh ? row.Highest : row.Lowest;
        }
    }
    return e;
}

std::int32_t ZoneTable::apply(std::int32_t e) const {
    for (int k = 0; k < flatCount_; ++k) {
        const ZoneRow& row = rows[flatRows_[k]];
        if (row.Lowest <= e && e <= row.Highest) e = row.ObjectFlatZoneHigh ? row.Highest : row.Lowest;
    }
    return e;
}

void ZoneTable::noteFlatRows() {
    flatCount_ = 0;
    for (int s = 0; s < kZoneRows; ++s) {
        if (rows[s].ObjectFlatZone) flatRows_[flatCount_++] = s;
    }
}

bool ZoneTable::anyFlattening() const {
    return std::any_of(rows.begin(), rows.end(), [](const ZoneRow& r) { return r.ObjectFlatZone; });
}

void ZoneTable::copySwitchesAndNames(const ConversionSettings& settings) {
    for (int s = 0; s < kZoneRows; ++s) {
        const TextureZoneRow& in = settings.TextureZones[s];
        ZoneRow& row = rows[s];
        row.ObjectZone = in.ObjectZone;
        row.OpacityZone = in.OpacityZone;
        row.ObjectTagZone = in.ObjectTagZone;
        row.ObjectFlatZone = in.ObjectFlatZone;
        row.ObjectFlatZoneHigh = in.ObjectFlatZoneHigh;
        row.RWXName = in.RWXName;
        row.RWXBottomName = in.RWXBottomName;
        row.ColourValue = in.ColourValue;
    }
}

void ZoneTable::convertRow(int s, const ConversionSettings& settings, std::int32_t minimum,
                           std::int64_t range) {
    const TextureZoneRow& in = settings.TextureZones[s];
    ZoneRow& row = rows[s];
    scanLong(in.Lowest, row.Lowest);
    scanLong(in.Highest, row.Highest);
    if (settings.RangeInPercent) {
        float percent = 0.0f;
        if (scanFloat(in.Lowest, percent)) row.Lowest = percentBound(percent, minimum, range);
        if (scanFloat(in.Highest, percent)) row.Highest = percentBound(percent, minimum, range);
    }
    scanInt(in.NumberOfTexts, row.NumberOfTexts);
}

std::int32_t ZoneTable::prepare(ConversionSettings& settings, const ElevationGrid& grid,
                                const SelectionRect& area) {
    copySwitchesAndNames(settings);

    // Largest raw and smallest flattened elevation, with the bounds as they
    // stood before this conversion. Never outside the storage.
    std::int32_t largest = kScanMaximumStart;
    std::int32_t smallest = kScanMinimumStart;
    const int lastRow = std::min(area.north, grid.AllocatedRows() - 1);
    const int lastCol = std::min(area.west, grid.AllocatedCols() - 1);
    for (int r = std::max(0, area.south); r <= lastRow; ++r) {
        const std::int32_t* cells = grid.row(r);
        for (int c = std::max(0, area.east); c <= lastCol; ++c) {
            largest = std::max(largest, cells[c]);
            smallest = std::min(smallest, FlattenByZones(cells[c]));
        }
    }

    AnyOpacity = false;
    const std::int64_t range = static_cast<std::int64_t>(largest) - smallest;
    for (int s = 0; s < kZoneRows; ++s) {
        TextureZoneRow& in = settings.TextureZones[s];
        ZoneRow& row = rows[s];
        convertRow(s, settings, smallest, range);
        if (!in.OpacityZone) in.OpacityValue = "1";
        scanFloat(in.OpacityValue, row.OpacityValue);
        scanInt(in.TagStartValue, row.TagStartValue);
        scanInt(in.NameSuffixFrom, row.NameSuffixFrom);
        row.opacityLine = opacityLineFor(row.OpacityValue);
        if (in.OpacityZone) AnyOpacity = true;
    }
    scanInt(settings.CliffTextureMin, CliffTextureMin);
    noteFlatRows();
    return smallest;
}

void ZoneTable::convertForRun(const ConversionSettings& settings, std::int32_t selectionMin,
                              std::int32_t selectionRange) {
    for (int s = 0; s < kZoneRows; ++s) {
        const TextureZoneRow& in = settings.TextureZones[s];
        ZoneRow& row = rows[s];
        convertRow(s, settings, selectionMin, selectionRange);
        scanFloat(in.OpacityValue, row.OpacityValue);
        scanInt(in.TagStartValue, row.TagStartValue);
        scanInt(in.NameSuffixFrom, row.NameSuffixFrom);
        row.opacityLine = opacityLineFor(row.OpacityValue);
    }
    scanInt(settings.CliffTextureMin, CliffTextureMin);
    noteFlatRows();
}

std::int32_t PrepareZoneTable(Workspace& ws) {
    // Rows without their own opacity get the text "1", which the user sees
    // like any other change of a field.
    const bool opacityTextsChange =
        std::any_of(ws.settings.TextureZones.begin(), ws.settings.TextureZones.end(),
                    [](const TextureZoneRow& r) { return !r.OpacityZone && r.OpacityValue != "1"; });
    const std::int32_t smallest = ws.zones.prepare(ws.settings, ws.grid, clampedSelection(ws));
    if (opacityTextsChange) ws.SettingsModified = true;
    ws.grid.setFlattening(ws.zones.anyFlattening() ? &ws.zones : nullptr);
    return smallest;
}

void ConvertZonesForRun(Workspace& ws) {
    ws.zones.convertForRun(ws.settings, ws.grid.SelectionMin, ws.grid.SelectionRange);
}

bool validateZoneNames(const ConversionSettings& settings, const ZoneTable& zones,
                       std::string& error) {
    if (settings.NoObjectTextures) return true;
    auto tooLong = [&](const std::string& what, std::size_t length) {
        error = format("%s has %zu characters; a texture name may have at most %zu. "
                       "Please shorten it before generating.",
                       what.c_str(), length, kTextureNameLimit);
        return false;
    };
    if (settings.CliffTextures && settings.CliffTextureName.size() > kTextureNameLimit) {
        return tooLong(format("The cliff texture name \"%s\"", settings.CliffTextureName.c_str()),
                       settings.CliffTextureName.size());
    }
    if (settings.UseUniqueTextures) {
        const std::size_t length = settings.UniqueTexturePrefix.size() + kUniqueNameTileChars;
        if (length > kTextureNameLimit) {
            return tooLong(format("The texture prefix \"%s\" with the tile name",
                                  settings.UniqueTexturePrefix.c_str()),
                           length);
        }
    }
    for (int s = 0; s < kZoneRows; ++s) {
        const ZoneRow& row = zones.rows[s];
        if (!row.ObjectZone) continue;
        const std::size_t opacity = zones.AnyOpacity ? row.opacityLine.size() : 0;
        std::size_t number = 0;
        if (row.NumberOfTexts != 1) {
            long long low, high;
            gradientNumberRange(row, low, high);
            number = std::max(decimalWidth(low), decimalWidth(high));
        }
        const std::size_t top = row.RWXName.size() + number + opacity;
        if (top > kTextureNameLimit) {
            return tooLong(format("Zone%d: the texture name \"%s\" with its number%s", s + 1,
                                  row.RWXName.c_str(), opacity ? " and opacity line" : ""),
                           top);
        }
        const std::size_t bottom = row.RWXBottomName.size() + opacity;
        if (settings.DoubleSidedObject && bottom > kTextureNameLimit) {
            return tooLong(format("Zone%d: the bottom texture name \"%s\"%s", s + 1,
                                  row.RWXBottomName.c_str(), opacity ? " with its opacity line" : ""),
                           bottom);
        }
    }
    return true;
}

bool checkZoneNames(Workspace& ws) {
    std::string error;
    if (validateZoneNames(ws.settings, ws.zones, error)) return true;
    ws.ui->message(error, kZoneMessageCaption, MessageKind::Error, Buttons::Ok);
    return false;
}

TextureChooser::TextureChooser(const ZoneTable& zones, TextureGroupList& groups)
    : zones_(zones), groups_(groups) {
    name_.reserve(64);
    previous_.reserve(64);
    statement_.reserve(64);
}

void TextureChooser::beginObject(const ConversionSettings& settings, std::int32_t selectionMin,
                                 std::int32_t selectionRange, std::string_view uniqueName) {
    noObjectTextures_ = settings.NoObjectTextures;
    cliffTextures_ = settings.CliffTextures;
    useUniqueTextures_ = settings.UseUniqueTextures;
    useAvgHeight_ = settings.UseAvgHeight;
    // The names were checked before the run; never let one exceed the limit.
    cliffName_.assign(settings.CliffTextureName, 0, kTextureNameLimit);
    uniqueName_.assign(uniqueName.substr(0, kTextureNameLimit));
    selectionMin_ = selectionMin;
    // A zero range would divide by zero in the gradient number.
    selectionRange_ = selectionRange == 0 ? 1 : selectionRange;
    activeCount_ = 0;
    for (int s = 0; s < kZoneRows; ++s) {
        if (zones_.rows[s].ObjectZone || zones_.rows[s].ObjectTagZone) activeRows_[activeCount_++] = s;
    }
    name_.clear();
    lastKeyValid_ = false;
    searchValid_ = false;
}

long long TextureChooser::gradientNumber(const ZoneRow& row, std::int32_t h,
                                         std::size_t opacityLength) const {
    // N * (h - min) in integers (exact in extended precision), divided by the
    // range as a real, plus the first number, truncated.
    const long double scaled = static_cast<long double>(row.NumberOfTexts) *
                               (static_cast<long double>(h) - selectionMin_);
    long double k = scaled / selectionRange_ + row.NameSuffixFrom;
    constexpr long double kIntMax = std::numeric_limits<int>::max();
    constexpr long double kIntMin = std::numeric_limits<int>::min();
    k = std::clamp(k, kIntMin, kIntMax);
    long long number = static_cast<long long>(k);
    // Heights outside the selection (levelled edges) can give numbers wider
    // than the checked range; keep the name within its limit by using the
    // nearest end of that range instead.
    if (row.RWXName.size() + decimalWidth(number) + opacityLength > kTextureNameLimit) {
        long long low, high;
        gradientNumberRange(row, low, high);
        number = std::clamp(number, low, high);
    }
    return number;
}

bool TextureChooser::ZoneTexture(const std::int32_t* corners, int count, bool top) {
    std::int32_t h;
    if (useAvgHeight_) {
        std::int64_t sum = 0;
        for (int k = 0; k < count; ++k) sum += corners[k];
        h = static_cast<std::int32_t>(sum / count);
    } else {
        h = *std::max_element(corners, corners + count);
    }
    return ZoneTextureAt(h, top);
}

bool TextureChooser::ZoneTextureAt(std::int32_t h, bool top) {
    if (!searchValid_ || h != searchedHeight_ || top != searchedTop_) {
        NameKey key;
        searchedTagActive_ = false;
        for (int k = 0; k < activeCount_; ++k) {
            const int s = activeRows_[k];
            const ZoneRow& row = zones_.rows[s];
            if (!(row.Lowest <= h && h <= row.Highest)) continue;
            if (row.ObjectTagZone) {
                searchedTag_ = row.TagStartValue;
                searchedTagActive_ = true;
            }
            if (row.ObjectZone) {
                key.zone = s;
                break;
            }
        }
        if (key.zone >= 0) {
            const ZoneRow& zone = zones_.rows[key.zone];
            key.top = top;
            if (top && zone.NumberOfTexts != 1) {
                key.number = gradientNumber(zone, h, zones_.AnyOpacity ? zone.opacityLine.size() : 0);
            }
        }
        searchedKey_ = key;
        searchedHeight_ = h;
        searchedTop_ = top;
        searchValid_ = true;
    }
    // A search without a tag row leaves the tag value as it was.
    if (searchedTagActive_) groups_.tag = searchedTag_;
    groups_.tagActive = searchedTagActive_;
    const NameKey& key = searchedKey_;
    const ZoneRow* zone = key.zone >= 0 ? &zones_.rows[key.zone] : nullptr;
    const std::string_view opacity = zone && zones_.AnyOpacity ? std::string_view(zone->opacityLine)
                                                               : std::string_view();
    if (lastKeyValid_ && key == lastKey_) return false;  // the same name as now

    previous_.swap(name_);
    if (!zone) {
        name_.assign("null");
    } else {
        name_.assign(top ? zone->RWXName : zone->RWXBottomName);
        if (top && zone->NumberOfTexts != 1) {
            char digits[24];
            char* end = std::to_chars(digits, digits + sizeof digits, key.number).ptr;
            name_.append(digits, end);
        }
        name_.append(opacity);
        // Only reachable when the names were not checked before the run.
        if (name_.size() > kTextureNameLimit) name_.resize(kTextureNameLimit);
    }
    lastKey_ = key;
    lastKeyValid_ = true;
    return name_ != previous_;
}

void TextureChooser::selectStatement(std::string_view name) {
    statement_.assign("Texture ");
    statement_.append(name);
    statement_.push_back('\n');
    groups_.SelectTextureGroup(statement_);
}

void TextureChooser::choose(const std::int32_t* corners, int count, bool top) {
    if (noObjectTextures_) return;
    std::int32_t low = corners[0];
    std::int32_t high = corners[0];
    std::int64_t sum = corners[0];
    for (int k = 1; k < count; ++k) {
        low = std::min(low, corners[k]);
        high = std::max(high, corners[k]);
        sum += corners[k];
    }
    if (cliffTextures_ && static_cast<std::int64_t>(zones_.CliffTextureMin) <
                              static_cast<std::int64_t>(high) - low) {
        if (name_ == cliffName_) return;
        name_.assign(cliffName_);
        lastKeyValid_ = false;
        selectStatement(name_);
        return;
    }
    const std::int32_t h = useAvgHeight_ ? static_cast<std::int32_t>(sum / count) : high;
    if (!ZoneTextureAt(h, top)) return;
    selectStatement(useUniqueTextures_ ? std::string_view(uniqueName_) : std::string_view(name_));
}

void TextureChooser::ChooseQuadTexture(std::int32_t e1, std::int32_t e2, std::int32_t e3,
                                       std::int32_t e4, bool top) {
    const std::int32_t corners[4] = {e1, e2, e3, e4};
    choose(corners, 4, top);
}

void TextureChooser::ChooseTriangleTexture(std::int32_t e1, std::int32_t e2, std::int32_t e3,
                                           bool top) {
    const std::int32_t corners[3] = {e1, e2, e3};
    choose(corners, 3, top);
}

}  // namespace gorvale

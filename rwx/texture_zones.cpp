#include "rwx/texture_zones.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "import/grid_operations.h"
#include "base/text_convert.h"
#include "rwx/model_context.h"
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
    // The flat rows are the ones just copied; only they take part in the
    // flattening, so the usual table without flat rows costs a plain scan.
    noteFlatRows();
    std::int32_t largest = kScanMaximumStart;
    std::int32_t smallest = kScanMinimumStart;
    const int lastRow = std::min(area.north, grid.AllocatedRows() - 1);
    const int lastCol = std::min(area.west, grid.AllocatedCols() - 1);
    const int firstCol = std::max(0, area.east);
    for (int r = std::max(0, area.south); r <= lastRow; ++r) {
        const std::int32_t* cells = grid.row(r);
        for (int c = firstCol; c <= lastCol; ++c) {
            largest = std::max(largest, cells[c]);
            smallest = std::min(smallest, flatCount_ == 0 ? cells[c] : ZoneTable::apply(cells[c]));
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

std::int32_t PrepareZoneTable(ModelContext& ws) {
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

void ConvertZonesForRun(ModelContext& ws) {
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

bool checkZoneNames(ModelContext& ws) {
    std::string error;
    if (validateZoneNames(ws.settings, ws.zones, error)) return true;
    ws.ui->message(error, kZoneMessageCaption, MessageKind::Error, Buttons::Ok);
    return false;
}

TextureChooser::TextureChooser(const ZoneTable& zones, TextureGroupList& groups)
    : zones_(zones), groups_(groups), memo_(kHeightSlots) {
    names_.emplace_back();  // kEmptyName
    nameIds_.emplace(std::string(), kEmptyName);
    statement_.reserve(64);
}

bool TextureChooser::refreshSearchRows(const ConversionSettings& settings, std::int32_t selectionMin,
                                       std::int32_t selectionRange) {
    (void)settings;
    bool changed = anyOpacity_ != zones_.AnyOpacity || selectionMin_ != selectionMin ||
                   selectionRange_ != selectionRange;
    anyOpacity_ = zones_.AnyOpacity;
    selectionMin_ = selectionMin;
    selectionRange_ = selectionRange;
    std::size_t count = 0;
    for (int s = 0; s < kZoneRows; ++s) {
        const ZoneRow& in = zones_.rows[s];
        if (!in.ObjectZone && !in.ObjectTagZone) continue;
        if (count == searchRows_.size()) {
            searchRows_.emplace_back();
            changed = true;
        }
        SearchRow& row = searchRows_[count++];
        auto update = [&changed](auto& field, const auto& value) {
            if (field != value) {
                field = value;
                changed = true;
            }
        };
        update(row.row, s);
        update(row.Lowest, in.Lowest);
        update(row.Highest, in.Highest);
        update(row.zone, in.ObjectZone);
        update(row.tagZone, in.ObjectTagZone);
        update(row.TagStartValue, in.TagStartValue);
        update(row.NumberOfTexts, in.NumberOfTexts);
        update(row.NameSuffixFrom, in.NameSuffixFrom);
        update(row.topName, in.RWXName);
        update(row.bottomName, in.RWXBottomName);
        update(row.opacityLine, in.opacityLine);
    }
    if (count != searchRowCount_) changed = true;
    searchRowCount_ = count;
    return changed;
}

void TextureChooser::beginObject(const ConversionSettings& settings, std::int32_t selectionMin,
                                 std::int32_t selectionRange, std::string_view uniqueName) {
    noObjectTextures_ = settings.NoObjectTextures;
    cliffLimit_ = settings.CliffTextures ? zones_.CliffTextureMin : std::numeric_limits<std::int64_t>::max();
    useUniqueTextures_ = settings.UseUniqueTextures;
    useAvgHeight_ = settings.UseAvgHeight;
    // A zero range would divide by zero in the gradient number.
    const std::int32_t range = selectionRange == 0 ? 1 : selectionRange;
    // Remembered searches hold for as long as nothing they read changes.
    if (refreshSearchRows(settings, selectionMin, range)) {
        if (++stamp_ == 0) {  // after 2^32 changes: forget every slot for real
            std::fill(memo_.begin(), memo_.end(), HeightResult{});
            stamp_ = 1;
        }
    }
    // The names were checked before the run; never let one exceed the limit.
    if (settings.CliffTextures) cliffName_ = nameId(settings.CliffTextureName.substr(0, kTextureNameLimit));
    const std::string_view unique = uniqueName.substr(0, kTextureNameLimit);
    if (unique != uniqueName_) {
        uniqueName_.assign(unique);
        uniqueGroup_ = GroupSlot{};
    }
    currentName_ = kEmptyName;
}

TextureChooser::NameId TextureChooser::nameId(const std::string& name) {
    const auto found = nameIds_.find(name);
    if (found != nameIds_.end()) return found->second;
    const auto id = static_cast<NameId>(names_.size());
    names_.push_back(name);
    nameIds_.emplace(name, id);
    return id;
}

long long TextureChooser::gradientNumber(const SearchRow& row, std::int32_t h,
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
    if (row.topName.size() + decimalWidth(number) + opacityLength > kTextureNameLimit) {
        const long long from = row.NameSuffixFrom;
        const long long to = from + row.NumberOfTexts;
        number = std::clamp(number, std::min(from, to), std::max(from, to));
    }
    return number;
}

std::string TextureChooser::zoneName(const SearchRow& row, std::int32_t h, bool top) const {
    const std::string_view opacity = anyOpacity_ ? std::string_view(row.opacityLine) : std::string_view();
    std::string name = top ? row.topName : row.bottomName;
    if (top && row.NumberOfTexts != 1) {
        char digits[24];
        char* end = std::to_chars(digits, digits + sizeof digits, gradientNumber(row, h, opacity.size())).ptr;
        name.append(digits, end);
    }
    name.append(opacity);
    // Only reachable when the names were not checked before the run.
    if (name.size() > kTextureNameLimit) name.resize(kTextureNameLimit);
    return name;
}

const TextureChooser::HeightResult& TextureChooser::search(std::int32_t h) {
    HeightResult& r = memo_[static_cast<std::uint32_t>(h) & (kHeightSlots - 1)];
    r.height = h;
    r.stamp = stamp_;
    r.tagActive = false;
    const SearchRow* zone = nullptr;
    for (std::size_t k = 0; k < searchRowCount_; ++k) {
        const SearchRow& row = searchRows_[k];
        if (!(row.Lowest <= h && h <= row.Highest)) continue;
        if (row.tagZone) {
            r.tag = row.TagStartValue;  // a later row overrides an earlier one
            r.tagActive = true;
        }
        if (row.zone) {
            zone = &row;  // the first zone row wins
            break;
        }
    }
    if (!zone) {
        static const std::string kNoZone = "null";
        r.name[0] = r.name[1] = nameId(kNoZone);
    } else {
        r.name[0] = nameId(zoneName(*zone, h, true));
        r.name[1] = nameId(zoneName(*zone, h, false));
    }
    return r;
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

bool TextureChooser::ZoneTextureAt(std::int32_t h, bool top) { return takeZoneName(resultFor(h), top); }

void TextureChooser::chooseCliff() {
    if (currentName_ == cliffName_) return;
    currentName_ = cliffName_;
    selectGroupForName(cliffName_);  // cliffs never take the unique texture
}

void TextureChooser::selectGroupForName(NameId name) {
    GroupSlot& slot = name == kUniqueStatement ? uniqueGroup_ : [&]() -> GroupSlot& {
        if (groupOfName_.size() <= static_cast<std::size_t>(name)) groupOfName_.resize(names_.size());
        return groupOfName_[static_cast<std::size_t>(name)];
    }();
    if (slot.serial == groups_.objectSerial() && slot.handle < groups_.groupCount()) {
        groups_.selectGroup(slot.handle);
        return;
    }
    statement_.assign("Texture ");
    statement_.append(name == kUniqueStatement ? std::string_view(uniqueName_) : std::string_view(names_[name]));
    statement_.push_back('\n');
    groups_.SelectTextureGroup(statement_);
    slot.serial = groups_.objectSerial();
    slot.handle = groups_.currentGroup();
}

}  // namespace gorvale

#include "app/core/run_plan.h"

#include <cctype>
#include <filesystem>

#include "base/text_convert.h"
#include "import/grid_operations.h"
#include "pipeline/generate_run.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;

// Rough sizes of what a run writes, measured on typical models: a vertex
// line with its texture coordinates, a triangle line, the fixed text of a
// model, a propdump line, and what zip makes of RWX text.
constexpr long long kVertexBytes = 28;
constexpr long long kTriangleBytes = 16;
constexpr long long kModelOverheadBytes = 250;
constexpr long long kPropdumpLineBytes = 56;
constexpr double kZipRatio = 0.3;

// "NNx_NNy" after the prefix: digits, one letter, "_", digits, one letter.
bool isTileName(std::string_view rest) {
    std::size_t i = 0;
    auto digitsThenLetter = [&] {
        const std::size_t start = i;
        while (i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i]))) ++i;
        if (i == start || i >= rest.size() || !std::isalpha(static_cast<unsigned char>(rest[i]))) return false;
        ++i;
        return true;
    };
    if (!digitsThenLetter() || i >= rest.size() || rest[i++] != '_' || !digitsThenLetter()) return false;
    return i == rest.size();
}

}  // namespace

RunPlan planRun(const Workspace& ws) {
    const ConversionSettings& s = ws.settings;
    RunPlan p;
    p.gridColumns = ws.grid.LastCol + 1;
    p.gridRows = ws.grid.LastRow + 1;
    const SelectionRect r = clampedSelection(ws);
    p.fromSouth = r.south;
    p.toNorth = r.north;
    p.fromWest = r.east;
    p.toEast = r.west;
    p.cellsPerObject = s.Scaling + 1;
    p.objectSizeMetres = (s.ObjectSize + 1) * 10;
    p.verticesPerObject = (p.cellsPerObject + 1) * (p.cellsPerObject + 1);
    p.objects = SelectionTileCount(ws);
    const bool models = !s.NoRWX && !s.AW_Terrain;
    p.modelFiles = !models ? 0 : s.SingleObjectGround ? (p.objects > 0 ? 1 : 0) : p.objects;
    p.otherFiles = (!s.NoPropfile && !s.AW_Terrain ? 1 : 0) + (s.LogEnable ? 1 : 0);
    const long long n = p.cellsPerObject;
    long long modelBytes =
        models ? p.objects * (p.verticesPerObject * kVertexBytes + 2 * n * n * kTriangleBytes) +
                     p.modelFiles * kModelOverheadBytes
               : 0;
    if (s.ZipIt) modelBytes = static_cast<long long>(static_cast<double>(modelBytes) * kZipRatio);
    p.estimatedBytes = modelBytes + (s.NoPropfile ? 0 : p.objects * kPropdumpLineBytes);
    return p;
}

std::string describeRunPlan(const RunPlan& p, const ConversionSettings& s) {
    std::string text;
    text += format("Grid:       %d columns x %d rows\n", p.gridColumns, p.gridRows);
    text += format("Selection:  rows %d to %d, columns %d to %d\n", p.fromSouth, p.toNorth, p.fromWest, p.toEast);
    text += format("Objects:    %d of %d m, %d cells and %d vertices each\n", p.objects, p.objectSizeMetres,
                   p.cellsPerObject, p.verticesPerObject);
    const char* kind = s.ZipIt ? "zip archives" : "RWX models";
    std::string others;
    if (!s.NoPropfile && !s.AW_Terrain) others += ", the propdump " + s.PropFile;
    if (s.LogEnable) others += ", the log " + s.LogFile;
    text += format("Files:      %d %s in %s*%s\n", p.modelFiles, kind, s.RWXFile.c_str(), others.c_str());
    const double mb = static_cast<double>(p.estimatedBytes) / 1e6;
    text += mb >= 1.0 ? format("Estimated:  about %.0f MB\n", mb) : format("Estimated:  about %.0f KB\n", mb * 1e3);
    return text;
}

std::vector<std::string> modelsNotRewritten(const ConversionSettings& s, const std::set<std::string>& writtenStems) {
    std::vector<std::string> stale;
    const fs::path prefix(s.RWXFile);
    const std::string stem = prefix.filename().string();
    const fs::path folder = prefix.has_parent_path() ? prefix.parent_path() : fs::path(".");
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string ext = name.size() > 4 ? toLowerAscii(name.substr(name.size() - 4)) : std::string();
        if ((ext != ".rwx" && ext != ".zip") || name.compare(0, stem.size(), stem) != 0) continue;
        if (!isTileName(std::string_view(name).substr(stem.size(), name.size() - stem.size() - 4))) continue;
        const fs::path stemPath = (prefix.parent_path() / name).replace_extension();
        if (!writtenStems.count(stemPath.string())) stale.push_back(it->path().string());
    }
    return stale;
}

}  // namespace gorvale

// gorvale-cli info: open a file as the open command does and show the read-outs.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <vector>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/cli/json_writer.h"
#include "base/c_file.h"
#include "base/text_convert.h"
#include "import/file_diagnosis.h"
#include "app/cli/project_loading.h"
#include "app/core/project_file.h"

namespace gorvale::cli {
namespace {

// Row 0 first, each row from column 0; cells outside the storage read 0.
bool writeGridCells(const ElevationGrid& g, const std::string& path) {
    FilePtr out = openFile(path, "wb");
    if (!out) return false;
    const int rows = g.LastRow + 1;
    const int cols = g.LastCol + 1;
    std::vector<unsigned char> line(static_cast<std::size_t>(cols) * 4);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            std::uint32_t v = g.contains(r, c) ? static_cast<std::uint32_t>(g.cell(r, c)) : 0u;
            unsigned char* p = &line[static_cast<std::size_t>(c) * 4];
            p[0] = v & 0xff;
            p[1] = (v >> 8) & 0xff;
            p[2] = (v >> 16) & 0xff;
            p[3] = (v >> 24) & 0xff;
        }
        if (std::fwrite(line.data(), 1, line.size(), out.get()) != line.size()) return false;
    }
    return std::fclose(out.release()) == 0;
}

// Shortest text that reads back as the same double, whatever the locale.
std::string realText(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

// Driver, size, pixel size, reference system and no-data count of a raster
// read through GDAL.
void printRasterText(const RasterSource& r) {
    std::printf("Driver:              %s (%s)\n", r.driver.c_str(), r.driverLongName.c_str());
    std::printf("Raster size:         %d x %d pixels\n", r.fileWidth, r.fileHeight);
    if (r.hasPixelSize)
        std::printf("Pixel size:          %s x %s %s\n", realText(r.pixelSizeX).c_str(),
                    realText(r.pixelSizeY).c_str(), r.units.empty() ? "(no units known)" : r.units.c_str());
    else
        std::printf("Pixel size:          unknown\n");
    const bool wkt = r.crs.find('[') != std::string::npos;
    std::printf("Reference system:    %s\n",
                r.crs.empty() ? "unknown" : wkt ? "given as WKT (see --json)" : r.crs.c_str());
    if (r.noDataCount > 0)
        std::printf("No-data cells:       %lld (set to %d)\n", static_cast<long long>(r.noDataCount), r.noDataFill);
    else
        std::printf("No-data cells:       0\n");
}

void addRasterJson(JsonObject& o, const RasterSource& r) {
    o.add("driver", r.driver);
    if (r.hasPixelSize)
        o.addRaw("pixelSize", "[" + realText(r.pixelSizeX) + "," + realText(r.pixelSizeY) + "]");
    else
        o.addRaw("pixelSize", "null");
    o.add("pixelUnits", r.units);
    if (r.crs.empty())
        o.addRaw("crs", "null");
    else
        o.add("crs", r.crs);
    o.add("noDataCount", static_cast<long long>(r.noDataCount));
}

// A size-of-selection label ("4650m") as its number of metres; -1 for "Unknown".
long long metresOf(const std::string& label) {
    int metres = -1;
    return scanInt(label, metres) ? metres : -1;
}

void printText(const CliSession& s, const char* format, const VoidCells& voids) {
    const Workspace& ws = *s.ws;
    const ElevationGrid& g = ws.grid;
    const ConversionSettings& st = ws.settings;
    std::printf("File:                %s\n", st.DEMFile.c_str());
    std::printf("Format:              %s\n", format);
    std::printf("Name:                %s\n", s.ws->facts.text(Label::DemName).c_str());
    std::printf("Rows (N/S):          %s\n", s.ws->facts.text(Label::Rows).c_str());
    std::printf("Columns (E/W):       %s\n", s.ws->facts.text(Label::Columns).c_str());
    std::printf("Elevation range:     %s\n", s.ws->facts.text(Label::ElevationRange).c_str());
    std::printf("Bounding rectangle:  S %s  E %s  N %s  W %s\n", st.FromSouth.c_str(),
                st.FromWest.c_str(), st.ToNorth.c_str(), st.ToEast.c_str());
    std::printf("Selection:           min %d  max %d  range %d\n", g.SelectionMin, g.SelectionMax,
                g.SelectionRange);
    std::printf("Selection size:      N-S %s  W-E %s\n", s.ws->facts.text(Label::NS_Size).c_str(),
                s.ws->facts.text(Label::WE_Size).c_str());
    std::string values;
    for (std::int32_t v : voids.values) values += (values.empty() ? "" : ", ") + std::to_string(v);
    std::printf("Void cells:          %lld%s\n", voids.count, values.empty() ? "" : (" (" + values + ")").c_str());
    if (ws.rasterSource.present) printRasterText(ws.rasterSource);
}

void printJson(const CliSession& s, const char* format, const VoidCells& voids) {
    const Workspace& ws = *s.ws;
    const ElevationGrid& g = ws.grid;
    const ConversionSettings& st = ws.settings;
    JsonObject box;
    box.add("fromSouth", intOr(st.FromSouth, 0))
        .add("fromWest", intOr(st.FromWest, 0))
        .add("toNorth", intOr(st.ToNorth, 0))
        .add("toEast", intOr(st.ToEast, 0));
    std::string values = "[";
    for (std::int32_t v : voids.values) values += (values.size() > 1 ? "," : "") + std::to_string(v);
    values += "]";
    const long long ns = metresOf(s.ws->facts.text(Label::NS_Size));
    const long long we = metresOf(s.ws->facts.text(Label::WE_Size));
    JsonObject o;
    o.add("file", st.DEMFile)
        .add("format", format)
        .add("name", s.ws->facts.text(Label::DemName))
        .addRaw("size", "[" + std::to_string(g.LastCol + 1) + "," + std::to_string(g.LastRow + 1) + "]")
        .add("rows", g.LastRow + 1)
        .add("columns", g.LastCol + 1)
        .add("lastRow", g.LastRow)
        .add("lastCol", g.LastCol)
        .add("elevationRange", g.ElevationRange)
        .addRaw("boundingBox", box.str())
        .add("selectionMin", g.SelectionMin)
        .add("selectionMax", g.SelectionMax)
        .add("selectionRange", g.SelectionRange)
        .addRaw("nsSizeMetres", ns < 0 ? "null" : std::to_string(ns))
        .addRaw("weSizeMetres", we < 0 ? "null" : std::to_string(we))
        .add("voidCells", voids.count)
        .addRaw("voidValues", values);
    if (ws.rasterSource.present) addRasterJson(o, ws.rasterSource);
    std::printf("%s\n", o.str().c_str());
}

}  // namespace

int runInfo(int argc, char** argv, int first) {
    std::vector<std::string> valueOptions = kCommonValueOptions;
    valueOptions.insert(valueOptions.end(), {"type", "grid-out"});
    std::vector<std::string> flagOptions = kCommonFlagOptions;
    flagOptions.push_back("json");
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, valueOptions, flagOptions, args, error)) return usageError(error);
    if (args.positional.size() != 1) return usageError("info needs exactly one FILE");

    CliSession session;
    if (!makeSession(args, session, error)) return usageError(error);
    OpenElevationOutcome outcome;
    Workspace& ws = *session.ws;
    const std::string& file = args.positional[0];
    if (toLowerAscii(std::filesystem::path(file).extension().string()) == std::string(".") + kProjectExtension) {
        // A project: its elevation file as the project reads it, nothing written.
        ProjectLoadOptions options;
        options.makeOutputFolders = false;
        options.writeReaderLog = false;
        options.outcome = &outcome;
        if (const int rc = loadProjectForCli(ws, session.ui, args, file, options); rc != kExitDone) return rc;
        if (!ws.gridLoaded) return kExitFailed;  // the open said why
    } else if (const int rc = openInput(args, file, session, &outcome); rc != 0) {
        return rc;
    }
    const char* format = outcome.decided ? readerKindName(outcome.decision.kind) : "unknown";
    const VoidCells voids = countVoidCells(ws.grid);
    if (voids.count > 0)
        session.ui.note("warning", std::to_string(voids.count) +
                                       " cells hold -32767 or -32000, likely no-data: they become vertices like any "
                                       "other elevation");
    if (args.flag("json"))
        printJson(session, format, voids);
    else
        printText(session, format, voids);
    if (auto out = args.value("grid-out")) {
        if (!writeGridCells(ws.grid, *out)) {
            session.ui.error("cannot write the grid to " + *out + ": " + std::strerror(errno));
            return 1;
        }
    }
    return 0;
}

}  // namespace gorvale::cli

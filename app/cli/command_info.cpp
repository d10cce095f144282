// gorvale-cli info: open a file as the open command does and show the read-outs.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/cli/json_writer.h"
#include "base/c_file.h"
#include "base/text_convert.h"

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

void printText(const CliSession& s) {
    const Workspace& ws = *s.ws;
    const ElevationGrid& g = ws.grid;
    const ConversionSettings& st = ws.settings;
    std::printf("File:                %s\n", st.DEMFile.c_str());
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
}

void printJson(const CliSession& s) {
    const Workspace& ws = *s.ws;
    const ElevationGrid& g = ws.grid;
    const ConversionSettings& st = ws.settings;
    JsonObject box;
    box.add("FromSouth", intOr(st.FromSouth, 0))
        .add("FromWest", intOr(st.FromWest, 0))
        .add("ToNorth", intOr(st.ToNorth, 0))
        .add("ToEast", intOr(st.ToEast, 0));
    JsonObject o;
    o.add("file", st.DEMFile)
        .add("name", s.ws->facts.text(Label::DemName))
        .add("rows", g.LastRow + 1)
        .add("columns", g.LastCol + 1)
        .add("LastRow", g.LastRow)
        .add("LastCol", g.LastCol)
        .add("elevationRange", g.ElevationRange)
        .addRaw("boundingBox", box.str())
        .add("selectionMin", g.SelectionMin)
        .add("selectionMax", g.SelectionMax)
        .add("selectionRange", g.SelectionRange)
        .add("nsSize", s.ws->facts.text(Label::NS_Size))
        .add("weSize", s.ws->facts.text(Label::WE_Size));
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
    if (const int rc = openInput(args, args.positional[0], session); rc != 0) return rc;
    Workspace& ws = *session.ws;
    if (args.flag("json"))
        printJson(session);
    else
        printText(session);
    if (auto out = args.value("grid-out")) {
        if (!writeGridCells(ws.grid, *out)) {
            std::fprintf(stderr, "gorvale-cli: error: cannot write the grid to %s\n", out->c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace gorvale::cli

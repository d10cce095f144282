// Reads one USGS DEM with ReadUsgsDem and prints the time it took, the
// extents and a checksum of the cells, for bench/read_bench.sh.
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdio>

#include "import/usgs_dem_reader.h"
#include "pipeline/c_file.h"
#include "pipeline/workspace.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    if (argc != 2) {
        std::fprintf(stderr, "usage: usgs_read_bench FILE.dem\n");
        return 2;
    }
    gorvale::SilentUserInterface ui;
    gorvale::Workspace ws(ui);
    ws.settings.DEMFile = argv[1];
    const auto start = std::chrono::steady_clock::now();
    gorvale::FilePtr in = gorvale::openFile(argv[1], "r");
    if (!in) {
        std::fprintf(stderr, "usgs_read_bench: can't open %s\n", argv[1]);
        return 1;
    }
    const int result = gorvale::ReadUsgsDem(ws, in.get());
    in.reset();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 0) {
        std::fprintf(stderr, "usgs_read_bench: the reader returned %d\n", result);
        return 1;
    }
    const gorvale::ElevationGrid& g = ws.grid;
    std::int64_t sum = 0;
    for (int r = 0; r < g.AllocatedRows(); ++r)
        for (int c = 0; c < g.AllocatedCols(); ++c) sum += g.cell(r, c);
    std::printf("read %s in %.3f s: LastRow %d LastCol %d, range %d, cell sum %lld\n", argv[1],
                seconds, g.LastRow, g.LastCol, g.ElevationRange, static_cast<long long>(sum));
    return 0;
}

// Times ReadBinaryTerrain on a file: bt_read_bench FILE [REPEATS]
// Prints the best and mean wall time of the whole read (header, samples,
// shift by the minimum and the reader tail), the best processor time (less
// disturbed by other work on the machine) and the grid it produced.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "import/binary_terrain_reader.h"
#include "pipeline/c_file.h"
#include "pipeline/text_convert.h"
#include "pipeline/workspace.h"

int main(int argc, char** argv) {
    using namespace gorvale;
    if (argc < 2) {
        std::fprintf(stderr, "usage: bt_read_bench FILE.bt [REPEATS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int repeats = argc > 2 ? std::max(1, decimalInt(argv[2])) : 5;

    SilentUserInterface ui;
    Workspace ws(ui);
    ws.settings.DEMFile = path;
    double best = 1e300;
    double bestCpu = 1e300;
    double total = 0;
    for (int i = 0; i < repeats; ++i) {
        FilePtr in = openFile(path, "rb");
        if (!in) {
            std::fprintf(stderr, "bt_read_bench: cannot open %s\n", path.c_str());
            return 1;
        }
        const std::clock_t cpuStart = std::clock();
        const auto start = std::chrono::steady_clock::now();
        const int rc = ReadBinaryTerrain(ws, in.get());
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        bestCpu = std::min(bestCpu, 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        if (rc != 0) {
            std::fprintf(stderr, "bt_read_bench: %s was not read\n", path.c_str());
            return 1;
        }
        best = std::min(best, ms);
        total += ms;
    }
    std::printf("%s: %d columns x %d rows, range %d; best %.1f ms, mean %.1f ms over %d reads; "
                "best processor time %.1f ms\n",
                path.c_str(), ws.grid.LastCol, ws.grid.LastRow, ws.grid.ElevationRange, best,
                total / repeats, repeats, bestCpu);
    return 0;
}

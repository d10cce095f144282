// Times ReadAsciiGrid on one ARC/INFO ASCII grid given on the command line.
// usage: ascii_grid_read_bench FILE.asc [repetitions]
// Prints the extents, the range, the best and mean wall time of the reads and
// the processor time per read (steadier than wall time on a shared machine).
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "import/ascii_grid_reader.h"
#include "pipeline/c_file.h"
#include "pipeline/text_convert.h"
#include "pipeline/workspace.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.asc [repetitions]\n", argv[0]);
        return 2;
    }
    int repetitions = 3;
    if (argc > 2 && (!gorvale::scanInt(argv[2], repetitions) || repetitions < 1)) {
        std::fprintf(stderr, "%s: repetitions must be a positive number\n", argv[0]);
        return 2;
    }
    gorvale::SilentUserInterface ui;
    gorvale::Workspace ws(ui);
    double best = std::numeric_limits<double>::max();
    double total = 0;
    const std::clock_t cpuStart = std::clock();
    for (int i = 0; i < repetitions; ++i) {
        gorvale::FilePtr f = gorvale::openFile(argv[1], "r");
        if (!f) {
            std::fprintf(stderr, "%s: cannot open %s\n", argv[0], argv[1]);
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        const int result = gorvale::ReadAsciiGrid(ws, f.get());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (result != 0) {
            std::fprintf(stderr, "%s: %s was not read (result %d)\n", argv[0], argv[1], result);
            return 1;
        }
        best = std::min(best, took.count());
        total += took.count();
    }
    const double cpuPerRead = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC / repetitions;
    std::printf("%s: %d rows x %d columns, elevation range %d\n", argv[1], ws.grid.LastRow + 1,
                ws.grid.LastCol + 1, ws.grid.ElevationRange);
    std::printf("ReadAsciiGrid: best %.3f s, mean %.3f s over %d reads; processor time %.3f s per read\n",
                best, total / repetitions, repetitions, cpuPerRead);
    return 0;
}

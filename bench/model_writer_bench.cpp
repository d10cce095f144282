// Writes many ground objects of 33 x 33 vertices and compares the time with
// writing the same bytes to the same number of files with plain buffered
// writes. Usage: model_writer_bench [models]  (default 10000)

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "pipeline/c_file.h"
#include "pipeline/text_convert.h"
#include "pipeline/workspace.h"
#include "rwx/ground_object_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCells = 32;  // 33 x 33 vertices
constexpr int kTileVariants = 64;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of this process (user and system), which a busy shared
// machine disturbs less than the wall clock.
double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Rolling hills with some flat water, so that zones, cliffs and the
// flat-triangle rule all take part.
void fillTile(gorvale::TileHeights& tile, int variant) {
    for (int i = 0; i <= kCells; ++i) {
        for (int j = 0; j <= kCells; ++j) {
            const double x = (variant % 8) * kCells + i;
            const double z = (variant / 8) * kCells + j;
            const double h = 400 + 300 * std::sin(x * 0.05) * std::cos(z * 0.04) + 40 * std::sin(x * 0.5 + z);
            tile.E(i, j) = h < 250 ? 250 : static_cast<std::int32_t>(h);
        }
    }
}

void configureZones(gorvale::Workspace& ws) {
    const char* names[] = {"water", "sand", "grass", "gnd", "rock", "snow1"};
    for (int s = 0; s < 6; ++s) {
        auto& row = ws.settings.TextureZones[s];
        row.ObjectZone = true;
        row.RWXName = names[s];
        row.Lowest = std::to_string(s == 0 ? -1000 : 150 + 100 * s);
        row.Highest = std::to_string(s == 5 ? 5000 : 249 + 100 * s);
    }
    ws.settings.TextureZones[3].NumberOfTexts = "4";
    ws.settings.CliffTextures = true;
    ws.settings.CliffTextureMin = "60";
    gorvale::PrepareZoneTable(ws);
    ws.grid.SelectionMin = 100;
    ws.grid.SelectionRange = 700;
}

}  // namespace

int main(int argc, char** argv) {
    int models = 10000;
    if (argc > 1) models = gorvale::intOr(argv[1], models);
    if (models < 1) models = 1;

    const fs::path root = fs::temp_directory_path() / ("gorvale-model-bench-" + std::to_string(::getpid()));
    const fs::path modelDir = root / "models";
    const fs::path plainDir = root / "plain";
    fs::create_directories(modelDir);
    fs::create_directories(plainDir);

    gorvale::SilentUserInterface ui;
    gorvale::Workspace ws(ui);
    ws.settings.ZipIt = false;
    ws.settings.Scaling = kCells - 1;
    configureZones(ws);

    std::vector<gorvale::TileHeights> variants(kTileVariants);
    for (int v = 0; v < kTileVariants; ++v) fillTile(variants[v], v);

    gorvale::TileHeights tile{};
    gorvale::GroundObjectWriter writer(ws, tile);
    std::vector<std::string> paths(models);
    for (int k = 0; k < models; ++k) {
        paths[k] = (modelDir / gorvale::format("z%05d.rwx", k)).string();
    }

    // Models.
    const auto writeStart = Clock::now();
    const double writeCpuStart = cpuSeconds();
    for (int k = 0; k < models; ++k) {
        tile = variants[k % kTileVariants];
        if (writer.WriteGroundObject(paths[k], kCells, 0, 0, 100, 0.333333f, 0.2, 0, 0, kCells) != 0) {
            std::fprintf(stderr, "writing %s failed\n", paths[k].c_str());
            return 1;
        }
    }
    const double writeSeconds = secondsSince(writeStart);
    const double writeCpu = cpuSeconds() - writeCpuStart;

    std::vector<std::uintmax_t> sizes(models);
    std::uintmax_t totalBytes = 0;
    for (int k = 0; k < models; ++k) totalBytes += sizes[k] = fs::file_size(paths[k]);
    const std::string sample = [&] {
        std::string s(sizes[0], '\0');
        gorvale::FilePtr f = gorvale::openFile(paths[0], "rb");
        if (f && std::fread(s.data(), 1, s.size(), f.get()) != s.size()) s.assign(s.size(), 'x');
        return s;
    }();
    std::uintmax_t largest = 0;
    for (auto s : sizes) largest = std::max(largest, s);
    std::string content = sample;
    while (content.size() < largest) content += sample;
    fs::remove_all(modelDir);

    // The same bytes in the same number of files, written plainly.
    const auto plainStart = Clock::now();
    const double plainCpuStart = cpuSeconds();
    for (int k = 0; k < models; ++k) {
        const std::string p = (plainDir / gorvale::format("p%05d.rwx", k)).string();
        gorvale::FilePtr f = gorvale::openFile(p, "wb");
        if (!f || std::fwrite(content.data(), 1, sizes[k], f.get()) != sizes[k]) {
            std::fprintf(stderr, "plain write of %s failed\n", p.c_str());
            return 1;
        }
    }
    const double plainSeconds = secondsSince(plainStart);
    const double plainCpu = cpuSeconds() - plainCpuStart;
    fs::remove_all(root);

    const double megabytes = static_cast<double>(totalBytes) / (1024.0 * 1024.0);
    std::printf("models written:     %d of %d x %d vertices, %.1f MB\n", models, kCells + 1, kCells + 1,
                megabytes);
    std::printf("model writer:       %.3f s  (%.0f models/s, %.0f MB/s), processor %.3f s\n",
                writeSeconds, models / writeSeconds, megabytes / writeSeconds, writeCpu);
    std::printf("plain buffered:     %.3f s  (%.0f files/s, %.0f MB/s), processor %.3f s\n",
                plainSeconds, models / plainSeconds, megabytes / plainSeconds, plainCpu);
    std::printf("writer / plain:     %.2f (wall clock), %.2f (processor)\n", writeSeconds / plainSeconds,
                writeCpu / plainCpu);
    return 0;
}

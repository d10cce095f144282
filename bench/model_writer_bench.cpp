// Writes many ground objects of 33 x 33 vertices and compares the time with
// writing the same bytes to the same number of files with plain buffered
// writes.
//
//   model_writer_bench [models] [rounds] [--dir DIR]
//
// models: 10000 by default; rounds: 3 by default. Each round writes the
// models and the plain files once, alternating which goes first so that
// neither always meets the page cache the other left behind; the files of
// each half are removed before the next (not timed). The best round of each
// is reported. DIR is where the files go (the temporary directory, TMPDIR,
// by default), so that one file system or another can be measured.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/c_file.h"
#include "base/text_convert.h"
#include "pipeline/workspace.h"
#include "rwx/ground_object_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCells = 32;  // 33 x 33 vertices
constexpr int kTileVariants = 64;

// Wall clock and processor time (user and system) of this process; the
// processor time is what a busy shared machine disturbs least.
struct Times {
    double wall = 0;
    double user = 0;
    double system = 0;
    double processor() const { return user + system; }
};

Times now() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {std::chrono::duration<double>(Clock::now().time_since_epoch()).count(), seconds(u.ru_utime),
            seconds(u.ru_stime)};
}

Times since(const Times& start) {
    const Times t = now();
    return {t.wall - start.wall, t.user - start.user, t.system - start.system};
}

std::string loadText() {
    double load[3] = {};
    if (getloadavg(load, 3) != 3) return "unknown";
    return gorvale::format("%.2f %.2f %.2f", load[0], load[1], load[2]);
}

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

struct Result {
    Times best;
    bool any = false;
    void take(const Times& t) {
        if (!any || t.processor() < best.processor()) best = t;
        any = true;
    }
};

void report(const char* what, const Times& t, int files, double megabytes) {
    std::printf("%-19s %.3f s wall (%.0f files/s, %.0f MB/s); processor %.3f s (user %.3f, system %.3f): "
                "%.0f files/s\n",
                what, t.wall, files / t.wall, megabytes / t.wall, t.processor(), t.user, t.system,
                files / t.processor());
}

}  // namespace

int main(int argc, char** argv) {
    int models = 10000;
    int rounds = 3;
    fs::path base = fs::temp_directory_path();
    std::vector<std::string> numbers;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--dir" && a + 1 < argc) {
            base = argv[++a];
        } else {
            numbers.push_back(arg);
        }
    }
    if (!numbers.empty()) models = std::max(1, gorvale::intOr(numbers[0], models));
    if (numbers.size() > 1) rounds = std::max(1, gorvale::intOr(numbers[1], rounds));

    const fs::path root = base / ("gorvale-model-bench-" + std::to_string(::getpid()));
    const fs::path modelDir = root / "models";
    const fs::path plainDir = root / "plain";
    fs::create_directories(modelDir);
    fs::create_directories(plainDir);
    const std::string loadBefore = loadText();

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
    std::vector<std::string> plainPaths(models);
    for (int k = 0; k < models; ++k) {
        paths[k] = (modelDir / gorvale::format("z%05d.rwx", k)).string();
        plainPaths[k] = (plainDir / gorvale::format("p%05d.rwx", k)).string();
    }

    auto writeModels = [&]() -> bool {
        for (int k = 0; k < models; ++k) {
            tile = variants[k % kTileVariants];
            if (writer.WriteGroundObject(paths[k], kCells, 0, 0, 100, 0.333333f, 0.2, 0, 0, kCells) != 0) {
                std::fprintf(stderr, "writing %s failed\n", paths[k].c_str());
                return false;
            }
        }
        return true;
    };

    // The first run gives the sizes, and the bytes of the plain files.
    if (!writeModels()) return 1;
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
    auto clear = [](const fs::path& dir) {
        for (const auto& e : fs::directory_iterator(dir)) fs::remove(e.path());
    };
    clear(modelDir);

    // The same bytes in the same number of files, written plainly.
    auto writePlain = [&]() -> bool {
        for (int k = 0; k < models; ++k) {
            gorvale::FilePtr f = gorvale::openFile(plainPaths[k], "wb");
            if (!f || std::fwrite(content.data(), 1, sizes[k], f.get()) != sizes[k] ||
                std::fclose(f.release()) != 0) {
                std::fprintf(stderr, "plain write of %s failed\n", plainPaths[k].c_str());
                return false;
            }
        }
        return true;
    };

    Result ours, plain;
    for (int r = 0; r < rounds; ++r) {
        for (int half = 0; half < 2; ++half) {
            const bool modelsNow = (half == 0) == (r % 2 == 0);
            const Times start = now();
            if (!(modelsNow ? writeModels() : writePlain())) return 1;
            const Times t = since(start);
            if (std::getenv("BENCH_VERBOSE")) std::printf("round %d %s: cpu %.3f (user %.3f sys %.3f) wall %.3f\n", r, modelsNow ? "models" : "plain", t.processor(), t.user, t.system, t.wall);
            (modelsNow ? ours : plain).take(t);
            clear(modelsNow ? modelDir : plainDir);
        }
    }
    fs::remove_all(root);

    const double megabytes = static_cast<double>(totalBytes) / (1024.0 * 1024.0);
    std::printf("directory:          %s\n", base.c_str());
    std::printf("models written:     %d of %d x %d vertices, %.1f MB; best of %d rounds\n", models, kCells + 1,
                kCells + 1, megabytes, rounds);
    report("model writer:", ours.best, models, megabytes);
    report("plain buffered:", plain.best, models, megabytes);
    std::printf("writer / plain:     %.2f (processor), %.2f (wall clock); target 2\n",
                ours.best.processor() / plain.best.processor(), ours.best.wall / plain.best.wall);
    std::printf("load average:       %s before, %s after\n", loadBefore.c_str(), loadText().c_str());
    return 0;
}

// The practical limit of this disk for a conversion's output: writes the
// given model files again with a plain buffered loop, and optionally zips
// each into an archive of its own, reporting files per second.
//
//   plain_write_bench SOURCE_DIR DEST_DIR [--zip]
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Model {
    std::string name;
    std::string bytes;
};

std::vector<Model> loadModels(const fs::path& dir) {
    std::vector<Model> models;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() != ".rwx") continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        models.push_back({e.path().filename().string(), s.str()});
    }
    return models;
}

bool writePlain(const fs::path& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool writeZip(const fs::path& path, const std::string& entry, const std::string& bytes) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return false;
    zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    if (!src || zip_file_add(z, entry.c_str(), src, ZIP_FL_OVERWRITE) < 0) {
        zip_source_free(src);
        zip_discard(z);
        return false;
    }
    return zip_close(z) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: plain_write_bench SOURCE_DIR DEST_DIR [--zip]\n");
        return 2;
    }
    const bool zipIt = argc > 3 && std::string(argv[3]) == "--zip";
    const std::vector<Model> models = loadModels(argv[1]);
    fs::create_directories(argv[2]);
    std::size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const Model& m : models) {
        const fs::path target = fs::path(argv[2]) / m.name;
        if (zipIt) {
            // The model is written first, then packed, as a conversion does.
            if (!writePlain(target, m.bytes)) return 1;
            fs::path archive = target;
            archive.replace_extension(".zip");
            if (!writeZip(archive, m.name, m.bytes)) return 1;
            fs::remove(target);
        } else if (!writePlain(target, m.bytes)) {
            return 1;
        }
        bytes += m.bytes.size();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("plain %s: %zu files, %.1f MB in %.2f s: %.0f files/s\n", zipIt ? "write+zip" : "write",
                models.size(), bytes / 1e6, seconds, models.size() / seconds);
    return 0;
}

#include "import/file_diagnosis.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/c_file.h"
#include "import/format_dispatch.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;

constexpr unsigned char kGzipMagic[] = {0x1f, 0x8b};
constexpr unsigned char kZipMagic[] = {'P', 'K', 3, 4};
constexpr unsigned char kBzip2Magic[] = {'B', 'Z', 'h'};
constexpr unsigned char kXzMagic[] = {0xfd, '7', 'z', 'X', 'Z', 0};
constexpr const char* kCatalogSuffix = "CATD.DDF";

template <std::size_t N>
bool startsWith(const std::string& bytes, const unsigned char (&magic)[N]) {
    return bytes.size() >= N && std::memcmp(bytes.data(), magic, N) == 0;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The catalog module of the transfer an SDTS module belongs to: the file in
// the same folder whose name ends in CATD.DDF (any case).
std::string catalogBeside(const fs::path& module) {
    std::error_code ec;
    const fs::path folder = module.has_parent_path() ? module.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (endsWith(upper(name), kCatalogSuffix)) return (module.parent_path() / name).string();
    }
    return {};
}

std::optional<FileProblem> compressed(const std::string& head) {
    const char* kind = startsWith(head, kGzipMagic)    ? "gzip"
                       : startsWith(head, kZipMagic)   ? "zip"
                       : startsWith(head, kBzip2Magic) ? "bzip2"
                       : startsWith(head, kXzMagic)    ? "xz"
                                                       : nullptr;
    if (!kind) return std::nullopt;
    return FileProblem{false, std::string("is compressed (") + kind +
                                  "); unpack it first and open the file inside"};
}

}  // namespace

std::optional<FileProblem> findElevationFileProblem(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return FileProblem{true, std::strerror(EISDIR)};
    errno = 0;
    FilePtr in = openFile(path, "rb");
    if (!in) return FileProblem{true, std::strerror(errno != 0 ? errno : ENOENT)};
    std::string head(8, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), in.get()));
    if (std::ferror(in.get())) return FileProblem{true, std::strerror(errno != 0 ? errno : EIO)};
    if (head.empty()) return FileProblem{false, "is empty: not an elevation model of any format"};
    if (auto c = compressed(head)) return c;
    if (dispatchExtension(path) == ".DDF" && !endsWith(upper(fs::path(path).filename().string()), kCatalogSuffix)) {
        const std::string catalog = catalogBeside(fs::path(path));
        return FileProblem{false, "is one module of an SDTS transfer; open its catalog module (..." +
                                      std::string(kCatalogSuffix) + ")" +
                                      (catalog.empty() ? std::string() : ": " + catalog)};
    }
    return std::nullopt;
}

}  // namespace gorvale

#include "base/elevation_grid.h"

namespace gorvale {

VoidCells countVoidCells(const ElevationGrid& grid) {
    constexpr std::int32_t kVoidValues[] = {-32767, -32000};
    VoidCells out;
    long long seen[2] = {0, 0};
    for (int r = 0; r <= grid.LastRow; ++r)
        for (int c = 0; c <= grid.LastCol; ++c) {
            if (!grid.contains(r, c)) continue;
            const std::int32_t v = grid.cell(r, c);
            for (int i = 0; i < 2; ++i)
                if (v == kVoidValues[i]) ++seen[i];
        }
    for (int i = 0; i < 2; ++i)
        if (seen[i] > 0) {
            out.values.push_back(kVoidValues[i]);
            out.count += seen[i];
        }
    return out;
}

}  // namespace gorvale

#include "rwx/ground_object_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <thread>

#include "base/temporary_directory.h"
#include "base/text_convert.h"
#include "rwx/model_context.h"

namespace gorvale {
namespace {

constexpr std::size_t kUniqueNamePathChars = 11;  // "03n_02w.rwx"
constexpr std::size_t kExtensionChars = 4;        // ".rwx"
constexpr const char* kModelExtension = ".rwx";
constexpr const char* kSingleModelCredit = "# Ground model made by gorvale, the terrain converter";
constexpr const char* kLogWriting = "Writing ElevationGrid Verteces to %s...";
constexpr const char* kLogOk = "OK";
constexpr std::string_view kLogLineEnd = "\r\n";
constexpr auto kRelaxPause = std::chrono::milliseconds(30);

// A model file written with one system call, the text being complete in
// memory: no stream buffer to fill and copy again.
class ModelFile {
public:
    ModelFile() = default;
    ModelFile(const ModelFile&) = delete;
    ModelFile& operator=(const ModelFile&) = delete;
    ~ModelFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    // Creates or truncates, with the permissions a C stream would give.
    bool create(const std::string& path) {
        do {
            fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        } while (fd_ < 0 && errno == EINTR);
        return fd_ >= 0;
    }
    bool write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_ = -1;
};

// The texture modes text into a kept string, without a new allocation.
// Name and extension of a path, "/" or "\\" separated.
std::string_view fileNameView(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void assignTextureModes(std::string& modes, const ConversionSettings& s) {
    modes.clear();
    if (s.TextureModesForeShorten) modes += " foreshorten";
    if (s.TextureModesLit) modes += " lit";
    if (s.TextureModesFilter) modes += " filter";
    if (modes.empty()) modes = " null";
}

}  // namespace

GroundObjectWriter::GroundObjectWriter(ModelContext& ws, TileHeights& tile, std::FILE* log,
                                       ModelDelivery* delivery)
    : ws_(ws), tile_(tile), log_(log), delivery_(delivery ? delivery : &noDelivery_),
      chooser_(ws.zones, groups_) {
    readRunNumbers();
}

void GroundObjectWriter::setDelivery(ModelDelivery* delivery) {
    delivery_ = delivery ? delivery : &noDelivery_;
}

void GroundObjectWriter::readRunNumbers() {
    const ConversionSettings& s = ws_.settings;
    scanFloat(s.Ambient, ambient_);
    scanFloat(s.Diffuse, diffuse_);
    scanFloat(s.Specular, specular_);
    scanFloat(s.NumberOfTiles, numberOfTiles_);
}

std::string GroundObjectWriter::fileNamePart(const std::string& path) {
    return std::string(fileNameView(path));
}

std::string GroundObjectWriter::temporaryPath(const std::string& name) { return temporaryFilePath(name); }

std::string GroundObjectWriter::uniqueTextureName(const std::string& prefix,
                                                  const std::string& path) {
    // The last characters of the path, without the extension; a short path
    // gives what it has.
    const std::size_t take = std::min(path.size(), kUniqueNamePathChars);
    std::string tail = path.substr(path.size() - take);
    tail.resize(tail.size() > kExtensionChars ? tail.size() - kExtensionChars : 0);
    return prefix + tail;
}

bool GroundObjectWriter::logging() const { return log_ && ws_.settings.LogEnable; }

void GroundObjectWriter::logLine(const std::string& text) {
    if (!logging()) return;
    const bool written = std::fwrite(text.data(), 1, text.size(), log_) == text.size() &&
                         std::fwrite(kLogLineEnd.data(), 1, kLogLineEnd.size(), log_) == kLogLineEnd.size() &&
                         std::fflush(log_) == 0;
    // The stream keeps its error mark: the run reports the log once, when it
    // closes it; the writer just stops adding to it.
    if (!written) log_ = nullptr;
}

int GroundObjectWriter::failWrite(const std::string& target, int error) {
    ws_.ui->fileError(pathWithReason(target, error));
    return -1;
}

std::int32_t GroundObjectWriter::flattenAndScan(int n, int& differing) {
    // The flattening rule over the rows that are flat now, in row order.
    const ZoneTable& zones = ws_.zones;
    const ZoneRow* flatRows[kZoneRows];
    int flatCount = 0;
    for (const ZoneRow& row : zones.rows) {
        if (row.ObjectFlatZone) flatRows[flatCount++] = &row;
    }
    auto flatten = [&](std::int32_t e) {
        for (int k = 0; k < flatCount; ++k) {
            const ZoneRow& row = *flatRows[k];
            if (row.Lowest <= e && e <= row.Highest) e = row.ObjectFlatZoneHigh ? row.Highest : row.Lowest;
        }
        return e;
    };
    std::int32_t smallest = std::numeric_limits<std::int32_t>::max();
    differing = 0;
    // E(n, 0) is the first value visited, so it is flattened before it is
    // compared with the others.
    if (flatCount != 0) tile_.E(n, 0) = flatten(tile_.E(n, 0));
    const std::int32_t reference = tile_.E(n, 0);
    for (int i = n; i >= 0; --i) {
        for (int j = 0; j <= n; ++j) {
            std::int32_t& cell = tile_.E(i, j);
            if (flatCount != 0) cell = flatten(cell);
            const std::int32_t e = cell;
            differing += e != reference;
            smallest = std::min(smallest, e);
        }
    }
    return smallest;
}

void GroundObjectWriter::LinePiece::start(std::string_view fixed) {
    std::memcpy(text, fixed.data(), fixed.size());
    length = fixed.size();
}

void GroundObjectWriter::LinePiece::number(float value) {
    length = static_cast<std::size_t>(formatRwxNumber(value, text + length) - text);
}

void GroundObjectWriter::LinePiece::append(std::string_view fixed) {
    std::memcpy(text + length, fixed.data(), fixed.size());
    length += fixed.size();
}

static_assert(6 + kRwxNumberMaxChars <= 64, "a vertex line piece holds a keyword and a number");
static_assert(kRwxNumberMaxChars + 3 <= 64, "a vertex line piece holds a number and \" uv\"");

void GroundObjectWriter::prepareGeometry(const GeometryKey& key) {
    if (!geometry_) geometry_ = std::make_unique<Geometry>();
    Geometry& g = *geometry_;
    if (g.valid && g.key == key) return;
    const int n = key.n;
    const int objectSize = key.objectSize;
    for (int k = 0; k <= n; ++k) {
        const long double half = (n + 1) * 0.5L;
        const auto cx = static_cast<float>(key.centringStep * (half - k + key.shiftX) - 0.1);
        const auto cz = static_cast<float>(key.centringStep * (half - k + key.shiftZ) - 0.1);
        const long double localX = static_cast<long double>(-objectSize) * cx * 5 / n;
        const long double localZ = static_cast<long double>(-objectSize) * cz * 5 / n;
        g.head[k].start("Vertex");
        g.head[k].number(static_cast<float>(key.useTranslate ? localX : key.offsetX * objectSize + localX));
        g.z[k].length = 0;
        g.z[k].number(static_cast<float>(key.useTranslate ? localZ : key.offsetZ * objectSize + localZ));
        g.z[k].append(" uv");
        const auto uv = static_cast<float>(static_cast<long double>(n - k) / n * key.uvScale);
        g.u[k].length = 0;
        g.u[k].number(uv);
        g.v[k].length = 0;
        g.v[k].number(uv);
    }
    g.key = key;
    g.valid = true;
    g.narrow = true;
    for (int k = 0; k <= n; ++k) {
        for (const LinePiece* piece : {&g.head[k], &g.z[k], &g.u[k], &g.v[k]}) {
            if (piece->length > kNarrowPiece) g.narrow = false;
        }
    }
}

void GroundObjectWriter::prepareRiseTexts(float verticalScale) {
    if (riseTexts_.empty()) riseTexts_.resize(kRiseSlots);
    // Compared bit for bit: the y values are a function of exactly this value.
    if (riseStamp_ != 0 && std::memcmp(&riseScale_, &verticalScale, sizeof verticalScale) == 0) return;
    riseScale_ = verticalScale;
    if (++riseStamp_ == 0) {  // after 2^32 changes: forget every slot for real
        std::fill(riseTexts_.begin(), riseTexts_.end(), RiseText{});
        riseStamp_ = 1;
    }
}

char* GroundObjectWriter::putNewRise(RiseText& slot, std::int64_t rise, char* p) {
    const auto y = static_cast<float>(static_cast<long double>(0.1) * rise * verticalScale_);
    noteVertexHeight(y);
    char* end = formatRwxNumber(y, p);
    const auto length = static_cast<std::size_t>(end - p);
    if (length <= sizeof slot.text) {  // longer texts are rare: not kept
        std::memcpy(slot.text, p, length);
        slot.length = static_cast<std::uint8_t>(length);
        slot.y = y;
        slot.rise = rise;
        slot.stamp = riseStamp_;
    }
    return end;
}

void GroundObjectWriter::writeVertex(int i, int j, bool gridComment) {
    constexpr std::size_t kRoom = 4 * LinePiece::kWidth + kRwxNumberMaxChars;
    char* p = text_.rawBegin(kRoom);
    p = putVertexLine<LinePiece::kWidth>(i, j, tile_.E(i, j), p);
    text_.rawEnd(p);
    if (!prelight_.empty()) {
        text_.put(prelight_);
        if (gridComment) {
            text_.put("    #");
            text_.putInt(i);
            text_.put(' ');
            text_.putInt(j);
        }
    }
    text_.lineEnd();
}

void GroundObjectWriter::writeMaterialBlock() {
    const ConversionSettings& s = ws_.settings;
    writeSurface(text_, ambient_, diffuse_, specular_);
    if (!s.GradientColouring) writeNeutralColour(text_);
    writeLightSampling(text_, s.LightSampling);
    writeTextureModes(text_, modesText_);
    if (s.MaterialModesDouble) writeMaterialDouble(text_);
}

void GroundObjectWriter::writeFlatObject(int n) {
    // Vertices 1 (n, 0), 2 (n, n), 3 (0, 0), 4 (0, n).
    int k = 1;
    for (int i : {n, 0}) {
        for (int j : {0, n}) {
            writeVertex(i, j, false);
            vertexElevation_[k++] = tile_.E(i, j);
        }
    }
}

void GroundObjectWriter::writeFullGrid(int n) {
    if (!prelight_.empty() || !geometry_->narrow) {
        int k = 1;
        for (int i = n; i >= 0; --i) {
            for (int j = 0; j <= n; ++j) {
                writeVertex(i, j, true);
                vertexElevation_[k++] = tile_.E(i, j);
            }
        }
        return;
    }
    // The usual case, every line made of short pieces: all lines in one
    // reservation, each piece one short fixed-size copy.
    constexpr std::size_t kLineRoom = 4 * kNarrowPiece + kRwxNumberMaxChars + 2;
    char* p = text_.rawBegin(static_cast<std::size_t>((n + 1) * (n + 1)) * kLineRoom);
    int k = 1;
    for (int i = n; i >= 0; --i) {
        for (int j = 0; j <= n; ++j) {
            const std::int32_t e = tile_.E(i, j);
            vertexElevation_[k++] = e;
            p = putVertexLine<kNarrowPiece>(i, j, e, p);
            p[0] = '\r';
            p[1] = '\n';
            p += 2;
        }
    }
    text_.rawEnd(p);
}

template <bool DoubleSided>
void GroundObjectWriter::writeFullGridPolygons(int n) {
    const std::int32_t* e = vertexElevation_;
    for (int q = 0; q < n; ++q) {
        for (int c = 1; c <= n; ++c) {
            // W, X on vertex line i = n - q at j = c - 1 and c; Y, Z on the next line.
            const int w = (n + 1) * q + c;
            const int x = w + 1;
            const int y = w + n + 1;
            const int z = y + 1;
            // The corner cycle W, Y, Z, X; in odd cells it starts one corner
            // later, so the default diagonal alternates like a checkerboard.
            int k[4];
            if ((q + c) & 1) {
                k[0] = y, k[1] = z, k[2] = x, k[3] = w;
            } else {
                k[0] = w, k[1] = y, k[2] = z, k[3] = x;
            }
            const std::int32_t h0 = e[k[0]], h1 = e[k[1]], h2 = e[k[2]], h3 = e[k[3]];
            // Flat-triangle rule: the first three equal consecutive corners
            // of the cycle split the cell along their diagonal (o = 0 is
            // also the default split of a triangle object).
            int o;
            if (h0 == h1 && h0 == h2) {
                o = 0;
            } else if (h1 == h2 && h1 == h3) {
                o = 1;
            } else if (h2 == h3 && h2 == h0) {
                o = 2;
            } else if (h3 == h0 && h3 == h1) {
                o = 3;
            } else if (useTriangle_) {
                o = 0;
            } else {
                emitQuad<DoubleSided>(k[0], k[1], k[2], k[3]);
                continue;
            }
            const int c0 = k[o], c1 = k[(o + 1) & 3], c2 = k[(o + 2) & 3], c3 = k[(o + 3) & 3];
            emitTriangle<DoubleSided>(c0, c1, c2);
            emitTriangle<DoubleSided>(c2, c3, c0);
        }
    }
}

int GroundObjectWriter::WriteGroundObject(const std::string& path, int n, int offsetZ, int offsetX,
                                          std::int32_t baseElevation, float verticalScale,
                                          double centringStep, double shiftX, double shiftZ,
                                          int /*nAgain*/) {
    const ConversionSettings& s = ws_.settings;
    if (s.AW_Terrain) return 0;
    // The tile array and the vertex numbers hold at most 32 cells per side.
    if (n < 1 || n > kMaxCellsPerSide) return -1;

    groups_.BeginGroupList();
    doubleSided_ = s.DoubleSidedObject;
    useTriangle_ = s.UseTriangle;

    const bool single = s.SingleObjectGround;
    const std::string_view name = fileNameView(path);
    std::string temporaryTarget;
    if (s.ZipIt) temporaryTarget = temporaryPath(std::string(name));
    const std::string& target = s.ZipIt ? temporaryTarget : path;
    if (s.UseUniqueTextures) uniqueName_ = uniqueTextureName(s.UniqueTexturePrefix, path);

    ModelFile file;
    if (!single) {
        if (!file.create(target)) return failWrite(target, errno);
    } else if (!singleModel_) {
        return -1;  // BeginSingleModel failed and has reported it
    }
    if (logging()) logLine(format(kLogWriting, path.c_str()));

    int differing = 0;
    const std::int32_t tileSmallest = flattenAndScan(n, differing);
    if (!s.OptimizePolygons) ++differing;
    const bool flat = differing == 0;
    MaxVertexHeight = 0;
    maxVertexHeightAsFloat_ = 0.0f;

    // A flush object stands on its own lowest (flattened) vertex.
    baseInUse_ = (!single && s.FlushWithGround) ? tileSmallest : baseElevation;
    verticalScale_ = verticalScale;

    text_.clear();
    if (single) {
        writeNamedClumpBegin(text_, name);
    } else {
        writeFileComment(text_);
        writeClumpBegin(text_);
    }

    const int objectSize = s.ObjectSize + 1;
    const bool translated = s.UseTranslate && (offsetX != 0 || offsetZ != 0);
    if (translated) {
        writeTranslateBegin(text_, static_cast<float>(offsetX * objectSize),
                            static_cast<float>(offsetZ * objectSize));
    }

    GeometryKey key;
    key.n = n;
    key.objectSize = objectSize;
    key.offsetX = offsetX;
    key.offsetZ = offsetZ;
    key.useTranslate = s.UseTranslate;
    key.uvScale = s.UseUniqueTextures ? 1.0L : static_cast<long double>(numberOfTiles_);
    key.centringStep = centringStep;
    key.shiftX = shiftX;
    key.shiftZ = shiftZ;
    prepareGeometry(key);
    prepareRiseTexts(verticalScale);
    prelight_.clear();
    if (s.UsePrelight) {
        prelight_.append(" #!prelight ").append(s.PrelightR).append(" ").append(s.PrelightG);
        prelight_.append(" ").append(s.PrelightB);
    }

    std::int32_t top = tile_.E(0, 0);
    if (flat) {
        writeFlatObject(n);
    } else {
        writeFullGrid(n);
        const int count = (n + 1) * (n + 1);
        top = std::max(top, *std::max_element(vertexElevation_ + 1, vertexElevation_ + 1 + count));
    }

    if (!single) {
        assignTextureModes(modesText_, s);
        writeMaterialBlock();
    }
    const std::int32_t selectionRange = ws_.grid.SelectionRange == 0 ? 1 : ws_.grid.SelectionRange;
    const auto grey = static_cast<float>(
        static_cast<long double>(static_cast<std::int64_t>(top) - ws_.grid.SelectionMin) /
        selectionRange);
    if (s.GradientColouring) writeElevationColour(text_, grey);

    chooser_.beginObject(s, ws_.grid.SelectionMin, ws_.grid.SelectionRange,
                         s.UseUniqueTextures ? std::string_view(uniqueName_) : std::string_view());
    if (flat) {
        // One quad over the corners 1 (n, 0), 3 (0, 0), 4 (0, n), 2 (n, n).
        if (doubleSided_) {
            emitQuad<true>(1, 3, 4, 2);
        } else {
            emitQuad<false>(1, 3, 4, 2);
        }
    } else if (doubleSided_) {
        writeFullGridPolygons<true>(n);
    } else {
        writeFullGridPolygons<false>(n);
    }

    groups_.WriteGroups(text_);
    if (translated) writeTransformEnd(text_);
    writeClumpEnd(text_);

    if (single) {
        if (!text_.writeTo(singleModel_.get())) return failWrite(singleModelPath_, errno);
    } else {
        const bool written = file.write(text_.bytes());
        int error = errno;
        const bool closed = file.close();
        if (written && !closed) error = errno;
        if (!written || !closed) {
            // Never leave a half-written model behind.
            std::error_code ec;
            if (std::filesystem::is_regular_file(target, ec)) std::filesystem::remove(target, ec);
            return failWrite(target, error);
        }
    }
    logLine(kLogOk);
    if (s.RelaxToOtherApps) std::this_thread::sleep_for(kRelaxPause);
    // An archive that cannot be made or copied ends the run like a model
    // that cannot be written (the packager has said why), before the tile's
    // object names a model that is not there.
    if (!single && delivery_->PackAndUpload(path) != 0) return -1;
    return 0;
}

int GroundObjectWriter::BeginSingleModel(const std::string& demName) {
    const ConversionSettings& s = ws_.settings;
    const std::string model = s.RWXFile + kModelExtension;
    singleModelPath_ = s.ZipIt ? temporaryPath(fileNamePart(model)) : model;
    singleModel_ = openFile(singleModelPath_, "wb");
    if (!singleModel_) return failWrite(singleModelPath_, errno);
    modesText_ = textureModesText(s);
    text_.clear();
    text_.put(kSingleModelCredit);
    text_.lineEnd();
    text_.put("# ");
    text_.put(demName);
    text_.lineEnd();
    text_.put("ModelBegin");
    text_.lineEnd();
    writeClumpBegin(text_);
    writeMaterialBlock();
    if (!text_.writeTo(singleModel_.get())) {
        const int error = errno;
        singleModel_.reset();
        std::error_code ec;
        if (std::filesystem::is_regular_file(singleModelPath_, ec)) std::filesystem::remove(singleModelPath_, ec);
        return failWrite(singleModelPath_, error);
    }
    return 0;
}

int GroundObjectWriter::EndSingleModel() {
    if (!singleModel_) return -1;
    text_.clear();
    writeModelEnd(text_);
    const bool written = text_.writeTo(singleModel_.get());
    int error = errno;
    const bool closed = closeFile(singleModel_);
    if (written && !closed) error = errno;
    if (!written || !closed) return failWrite(singleModelPath_, error);
    return delivery_->PackAndUpload(ws_.settings.RWXFile + kModelExtension) == 0 ? 0 : -1;
}

}  // namespace gorvale

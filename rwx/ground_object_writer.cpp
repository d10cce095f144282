#include "rwx/ground_object_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <thread>

#include "pipeline/text_convert.h"
#include "pipeline/workspace.h"

namespace gorvale {
namespace {

constexpr int kMaxCellsPerSide = 32;
constexpr std::size_t kUniqueNamePathChars = 11;  // "03n_02w.rwx"
constexpr std::size_t kExtensionChars = 4;        // ".rwx"
constexpr const char* kModelExtension = ".rwx";
constexpr const char* kTemporaryDirectoryVariable = "TEMP";
constexpr const char* kSingleModelCredit = "# Ground model made by gorvale, the terrain converter";
constexpr const char* kLogWriting = "Writing ElevationGrid Verteces to %s...";
constexpr const char* kLogOk = "OK";
constexpr std::string_view kLogLineEnd = "\r\n";
constexpr auto kRelaxPause = std::chrono::milliseconds(30);

// A piece of a vertex line that repeats along a row or column of the grid,
// padded so that it is copied with one fixed-size copy.
struct LinePiece {
    static constexpr std::size_t kWidth = 64;
    char text[kWidth] = {};
    std::size_t length = 0;
    void start(std::string_view fixed) {
        std::memcpy(text, fixed.data(), fixed.size());
        length = fixed.size();
    }
    void number(float value) {
        length = static_cast<std::size_t>(formatRwxNumber(value, text + length) - text);
    }
    void append(std::string_view fixed) {
        std::memcpy(text + length, fixed.data(), fixed.size());
        length += fixed.size();
    }
    void putTo(RwxText& out) const { out.putFixed<kWidth>(text, length); }
};
static_assert(6 + kRwxNumberMaxChars <= LinePiece::kWidth);
static_assert(kRwxNumberMaxChars + 3 <= LinePiece::kWidth);

}  // namespace

// What does not change within one object: the positions and texture
// coordinates of every grid line, and the prelight text.
struct GroundObjectWriter::Geometry {
    int n = 1;
    std::int32_t base = 0;
    float verticalScale = 1.0f;
    LinePiece head[kMaxCellsPerSide + 1];  // "Vertex" x, by i
    LinePiece z[kMaxCellsPerSide + 1];     // z " uv", by j
    LinePiece u[kMaxCellsPerSide + 1];     // u, by i
    LinePiece v[kMaxCellsPerSide + 1];     // v, by j
    std::string prelight;  // " #!prelight R G B", empty without prelight
};

GroundObjectWriter::GroundObjectWriter(Workspace& ws, TileHeights& tile, std::FILE* log,
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
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string GroundObjectWriter::temporaryPath(const std::string& name) {
    const char* temp = std::getenv(kTemporaryDirectoryVariable);
    const std::string dir = temp ? temp : ".";
    return dir + "/" + name;
}

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
    std::fwrite(text.data(), 1, text.size(), log_);
    std::fwrite(kLogLineEnd.data(), 1, kLogLineEnd.size(), log_);
    std::fflush(log_);
}

int GroundObjectWriter::failWrite(const std::string& target) {
    ws_.ui->fileError(target);
    return -1;
}

std::int32_t GroundObjectWriter::flattenAndScan(int n, int& differing) {
    const ZoneTable& zones = ws_.zones;
    const bool flattening = zones.anyFlattening();
    std::int32_t smallest = std::numeric_limits<std::int32_t>::max();
    differing = 0;
    // E(n, 0) is the first value visited, so it is flattened before it is
    // compared with the others.
    if (flattening) tile_.E(n, 0) = zones.FlattenByZones(tile_.E(n, 0));
    const std::int32_t reference = tile_.E(n, 0);
    for (int i = n; i >= 0; --i) {
        for (int j = 0; j <= n; ++j) {
            std::int32_t& cell = tile_.E(i, j);
            if (flattening) cell = zones.FlattenByZones(cell);
            const std::int32_t e = cell;
            if (e != reference) ++differing;
            smallest = std::min(smallest, e);
        }
    }
    return smallest;
}

void GroundObjectWriter::writeVertex(const Geometry& g, int i, int j, bool gridComment) {
    const std::int32_t e = tile_.E(i, j);
    const auto y = static_cast<float>(static_cast<long double>(0.1) *
                                      (static_cast<std::int64_t>(e) - g.base) * g.verticalScale);
    if (y > static_cast<float>(MaxVertexHeight)) MaxVertexHeight = static_cast<int>(y);
    constexpr std::size_t kRoom = 4 * LinePiece::kWidth + kRwxNumberMaxChars;
    char* p = text_.rawBegin(kRoom);
    const LinePiece* pieces[] = {&g.head[i], nullptr, &g.z[j], &g.u[i], &g.v[j]};
    for (const LinePiece* piece : pieces) {
        if (!piece) {
            p = formatRwxNumber(y, p);
            continue;
        }
        std::memcpy(p, piece->text, LinePiece::kWidth);
        p += piece->length;
    }
    text_.rawEnd(p);
    if (!g.prelight.empty()) {
        text_.put(g.prelight);
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

void GroundObjectWriter::emitTriangle(int a, int b, int c) {
    const std::int32_t* e = vertexElevation_;
    chooser_.ChooseTriangleTexture(e[a], e[b], e[c], true);
    groups_.AddTriangle(a, b, c, true);
    if (doubleSided_) {
        chooser_.ChooseTriangleTexture(e[c], e[b], e[a], false);
        groups_.AddTriangle(c, b, a, false);
    }
}

void GroundObjectWriter::emitQuad(int c0, int c1, int c2, int c3) {
    const std::int32_t* e = vertexElevation_;
    chooser_.ChooseQuadTexture(e[c0], e[c1], e[c3], e[c2], true);
    groups_.AddQuad(c0, c1, c2, c3, true);
    if (doubleSided_) {
        chooser_.ChooseQuadTexture(e[c3], e[c2], e[c0], e[c1], false);
        groups_.AddQuad(c3, c2, c1, c0, false);
    }
}

void GroundObjectWriter::writeFlatObject(const Geometry& g) {
    const int n = g.n;
    // Vertices 1 (n, 0), 2 (n, n), 3 (0, 0), 4 (0, n).
    int k = 1;
    for (int i : {n, 0}) {
        for (int j : {0, n}) {
            writeVertex(g, i, j, false);
            vertexElevation_[k++] = tile_.E(i, j);
        }
    }
}

void GroundObjectWriter::writeFullGrid(const Geometry& g) {
    const int n = g.n;
    int k = 1;
    for (int i = n; i >= 0; --i) {
        for (int j = 0; j <= n; ++j) {
            writeVertex(g, i, j, true);
            vertexElevation_[k++] = tile_.E(i, j);
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
    ws_.ui->processEvents();
    modesText_ = textureModesText(s);
    doubleSided_ = s.DoubleSidedObject;
    useTriangle_ = s.UseTriangle;

    const bool single = s.SingleObjectGround;
    const std::string name = fileNamePart(path);
    const std::string target = s.ZipIt ? temporaryPath(name) : path;
    uniqueName_ = uniqueTextureName(s.UniqueTexturePrefix, path);

    FilePtr file;
    if (!single) {
        file = openFile(target, "wb");
        if (!file) return failWrite(target);
    } else if (!singleModel_) {
        return -1;  // BeginSingleModel failed and has reported it
    }
    if (logging()) logLine(format(kLogWriting, path.c_str()));

    int differing = 0;
    const std::int32_t tileSmallest = flattenAndScan(n, differing);
    if (!s.OptimizePolygons) ++differing;
    const bool flat = differing == 0;
    MaxVertexHeight = 0;

    // A flush object stands on its own lowest (flattened) vertex.
    baseInUse_ = (!single && s.FlushWithGround) ? tileSmallest : baseElevation;

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

    Geometry g;
    g.n = n;
    g.base = baseInUse_;
    g.verticalScale = verticalScale;
    const long double uvScale = s.UseUniqueTextures ? 1.0L : static_cast<long double>(numberOfTiles_);
    for (int k = 0; k <= n; ++k) {
        const long double half = (n + 1) * 0.5L;
        const auto cx = static_cast<float>(centringStep * (half - k + shiftX) - 0.1);
        const auto cz = static_cast<float>(centringStep * (half - k + shiftZ) - 0.1);
        const long double localX = static_cast<long double>(-objectSize) * cx * 5 / n;
        const long double localZ = static_cast<long double>(-objectSize) * cz * 5 / n;
        g.head[k].start("Vertex");
        g.head[k].number(static_cast<float>(s.UseTranslate ? localX : offsetX * objectSize + localX));
        g.z[k].number(static_cast<float>(s.UseTranslate ? localZ : offsetZ * objectSize + localZ));
        g.z[k].append(" uv");
        const auto uv = static_cast<float>(static_cast<long double>(n - k) / n * uvScale);
        g.u[k].number(uv);
        g.v[k].number(uv);
    }
    if (s.UsePrelight) {
        g.prelight = " #!prelight " + s.PrelightR + " " + s.PrelightG + " " + s.PrelightB;
    }

    std::int32_t top = tile_.E(0, 0);
    if (flat) {
        writeFlatObject(g);
    } else {
        writeFullGrid(g);
        const int count = (n + 1) * (n + 1);
        top = std::max(top, *std::max_element(vertexElevation_ + 1, vertexElevation_ + 1 + count));
    }

    if (!single) writeMaterialBlock();
    const std::int32_t selectionRange = ws_.grid.SelectionRange == 0 ? 1 : ws_.grid.SelectionRange;
    const auto grey = static_cast<float>(
        static_cast<long double>(static_cast<std::int64_t>(top) - ws_.grid.SelectionMin) /
        selectionRange);
    if (s.GradientColouring) writeElevationColour(text_, grey);

    chooser_.beginObject(s, ws_.grid.SelectionMin, ws_.grid.SelectionRange, uniqueName_);
    if (flat) {
        const std::int32_t* e = vertexElevation_;
        chooser_.ChooseQuadTexture(e[1], e[3], e[2], e[4], true);
        groups_.AddQuad(1, 3, 4, 2, true);
        if (doubleSided_) {
            chooser_.ChooseQuadTexture(e[2], e[4], e[1], e[3], false);
            groups_.AddQuad(2, 4, 3, 1, false);
        }
    } else {
        const std::int32_t* e = vertexElevation_;
        for (int q = 0; q < n; ++q) {
            for (int c = 1; c <= n; ++c) {
                int w = (n + 1) * q + c;
                int x = w + 1;
                int y = (n + 1) * (q + 1) + c;
                int z = y + 1;
                if ((q + c) % 2 == 1) {
                    const int oldW = w, oldX = x, oldY = y, oldZ = z;
                    w = oldY;
                    x = oldW;
                    y = oldZ;
                    z = oldX;
                }
                const int corner[4] = {w, y, z, x};
                int split = -1;
                for (int o = 0; o < 4 && split < 0; ++o) {
                    const std::int32_t a = e[corner[o]];
                    if (a == e[corner[(o + 1) % 4]] && a == e[corner[(o + 2) % 4]]) split = o;
                }
                if (split >= 0) {
                    const int o = split;
                    emitTriangle(corner[o], corner[(o + 1) % 4], corner[(o + 2) % 4]);
                    emitTriangle(corner[(o + 2) % 4], corner[(o + 3) % 4], corner[o]);
                } else if (useTriangle_) {
                    emitTriangle(corner[0], corner[1], corner[2]);
                    emitTriangle(corner[2], corner[3], corner[0]);
                } else {
                    emitQuad(corner[0], corner[1], corner[2], corner[3]);
                }
            }
        }
    }

    groups_.WriteGroups(text_);
    if (translated) writeTransformEnd(text_);
    writeClumpEnd(text_);

    if (single) {
        if (!text_.writeTo(singleModel_.get())) return failWrite(singleModelPath_);
    } else {
        const bool written = text_.writeTo(file.get());
        const bool closed = std::fclose(file.release()) == 0;
        if (!written || !closed) {
            // Never leave a half-written model behind.
            std::error_code ec;
            if (std::filesystem::is_regular_file(target, ec)) std::filesystem::remove(target, ec);
            return failWrite(target);
        }
    }
    logLine(kLogOk);
    if (s.RelaxToOtherApps) std::this_thread::sleep_for(kRelaxPause);
    if (!single) delivery_->PackAndUpload(path);
    return 0;
}

int GroundObjectWriter::BeginSingleModel(const std::string& demName) {
    const ConversionSettings& s = ws_.settings;
    const std::string model = s.RWXFile + kModelExtension;
    singleModelPath_ = s.ZipIt ? temporaryPath(fileNamePart(model)) : model;
    singleModel_ = openFile(singleModelPath_, "wb");
    if (!singleModel_) return failWrite(singleModelPath_);
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
        singleModel_.reset();
        std::error_code ec;
        if (std::filesystem::is_regular_file(singleModelPath_, ec)) std::filesystem::remove(singleModelPath_, ec);
        return failWrite(singleModelPath_);
    }
    return 0;
}

int GroundObjectWriter::EndSingleModel() {
    if (!singleModel_) return -1;
    text_.clear();
    writeModelEnd(text_);
    const bool written = text_.writeTo(singleModel_.get());
    const bool closed = std::fclose(singleModel_.release()) == 0;
    if (!written || !closed) return failWrite(singleModelPath_);
    delivery_->PackAndUpload(ws_.settings.RWXFile + kModelExtension);
    return 0;
}

}  // namespace gorvale

#pragma once
// Turns one tile of shaped elevations into one RWX clump: a grid of vertices
// with texture coordinates and optional prelight, and the triangles or quads
// between them filed under the textures the zones choose. Each tile is
// normally a model file of its own, handed to packaging and upload; with
// SingleObjectGround all tiles become clumps of one model.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/c_file.h"
#include "base/tile_heights.h"
#include "rwx/rwx_emitter.h"
#include "rwx/texture_zones.h"

namespace gorvale {

struct ModelContext;

// Packaging and upload of a finished model file. The default does nothing,
// which is all a run needs while ZipIt is off.
class ModelDelivery {
public:
    virtual ~ModelDelivery() = default;
    // 0, or -1 after the delivery has reported why; the writer then fails too.
    virtual int PackAndUpload(const std::string& path) = 0;
};

class NoModelDelivery : public ModelDelivery {
public:
    int PackAndUpload(const std::string&) override { return 0; }
};

class GroundObjectWriter {
public:
    // `tile` is filled by the object layout before each call and flattened in
    // place; `log` may be null; `delivery` null means no packaging.
    GroundObjectWriter(ModelContext& ws, TileHeights& tile, std::FILE* log = nullptr,
                       ModelDelivery* delivery = nullptr);

    void setLog(std::FILE* log) { log_ = log; }
    void setDelivery(ModelDelivery* delivery);

    // Reads Ambient, Diffuse, Specular and NumberOfTiles ("%f"; a text that
    // does not parse keeps the previous value). Done by the constructor; call
    // again at the start of each run when the writer outlives a run.
    void readRunNumbers();

    // Writes the tile E(0..n, 0..n) as one clump. offsetZ/offsetX in object
    // sizes; centringStep is 0.2 and both shifts 0 in every call; the last
    // argument repeats n. Returns 0 (also with AW_Terrain, when nothing is
    // written) or -1 when the model file could not be created, written or
    // packed (the "Error" dialog has then been shown with the path).
    int WriteGroundObject(const std::string& path, int n, int offsetZ, int offsetX,
                          std::int32_t baseElevation, float verticalScale, double centringStep,
                          double shiftX, double shiftZ, int nAgain);

    // Single model: opens RWXFile + ".rwx" (in TEMP with ZipIt) and writes the
    // model head; `demName` is the elevation model's name as shown in the
    // DemName label. -1 with the "Error" dialog when it cannot be created.
    int BeginSingleModel(const std::string& demName);
    // Closes the single model and hands RWXFile + ".rwx" to the delivery;
    // -1 when either fails (reported).
    int EndSingleModel();
    bool singleModelOpen() const { return static_cast<bool>(singleModel_); }

    // Largest vertex height of the last object, in RWX units, truncated.
    int MaxVertexHeight = 0;
    // The base elevation the last object was written with (the flush
    // elevation of its object line).
    std::int32_t baseElevationInUse() const { return baseInUse_; }

    // Texture of the tile file, e.g. "ztxt03n_02w" for ".../z03n_02w.rwx".
    static std::string uniqueTextureName(const std::string& prefix, const std::string& path);
    // Name and extension without the directory ("/" or "\" separated).
    static std::string fileNamePart(const std::string& path);
    // `name` in the temporary folder (base/temporary_directory.h).
    static std::string temporaryPath(const std::string& name);

private:
    static constexpr int kMaxCellsPerSide = 32;

    // A piece of a vertex line that repeats along a row or column of the
    // grid, padded so that it is copied with one fixed-size copy.
    struct LinePiece {
        static constexpr std::size_t kWidth = 64;
        char text[kWidth];
        std::size_t length = 0;
        void start(std::string_view fixed);
        void number(float value);
        void append(std::string_view fixed);
    };

    // What decides the positions and texture coordinates of the vertex
    // lines; tiles of one run mostly share it, so the pieces are kept.
    struct GeometryKey {
        int n = 0;
        int objectSize = 0;
        int offsetX = 0;
        int offsetZ = 0;
        bool useTranslate = false;
        long double uvScale = 0;
        double centringStep = 0;
        double shiftX = 0;
        double shiftZ = 0;
        bool operator==(const GeometryKey&) const = default;
    };
    struct Geometry {
        GeometryKey key;
        bool valid = false;
        LinePiece head[kMaxCellsPerSide + 1];  // "Vertex" x, by i
        LinePiece z[kMaxCellsPerSide + 1];     // z " uv", by j
        LinePiece u[kMaxCellsPerSide + 1];     // u, by i
        LinePiece v[kMaxCellsPerSide + 1];     // v, by j
        bool narrow = false;                   // every piece fits kNarrowPiece characters
    };
    static constexpr std::size_t kNarrowPiece = 32;

    // The y text of a vertex by its rise above the base: within a run the
    // same rises come back tile after tile, and y depends on nothing else
    // while the vertical scale stays.
    struct RiseText {
        std::int64_t rise = 0;
        std::uint32_t stamp = 0;  // valid while equal to riseStamp_
        float y = 0;
        std::uint8_t length = 0;
        char text[19];
    };
    static constexpr std::size_t kRiseSlots = 2048;  // direct-mapped by the rise's low bits

    void prepareGeometry(const GeometryKey& key);
    void prepareRiseTexts(float verticalScale);
    std::int32_t flattenAndScan(int n, int& differing);
    void writeVertex(int i, int j, bool gridComment);
    // "Vertex" x y z " uv" u v of grid position (i, j) with elevation e at
    // p, copying each piece with `Width` bytes; returns the end.
    template <std::size_t Width>
    [[gnu::always_inline]] char* putVertexLine(int i, int j, std::int32_t e, char* p) {
        const Geometry& g = *geometry_;
        auto put = [&p](const LinePiece& piece) {
            std::memcpy(p, piece.text, Width);
            p += piece.length;
        };
        put(g.head[i]);
        const std::int64_t rise = static_cast<std::int64_t>(e) - baseInUse_;
        RiseText& slot = riseTexts_[static_cast<std::uint64_t>(rise) & (kRiseSlots - 1)];
        if (slot.stamp == riseStamp_ && slot.rise == rise) {
            noteVertexHeight(slot.y);
            std::memcpy(p, slot.text, sizeof slot.text);
            p += slot.length;
        } else {
            p = putNewRise(slot, rise, p);
        }
        put(g.z[j]);
        put(g.u[i]);
        put(g.v[j]);
        return p;
    }
    // Formats y for a rise not remembered yet and remembers it.
    char* putNewRise(RiseText& slot, std::int64_t rise, char* p);
    void noteVertexHeight(float y) {
        if (y > maxVertexHeightAsFloat_) {
            MaxVertexHeight = static_cast<int>(y);
            maxVertexHeightAsFloat_ = static_cast<float>(MaxVertexHeight);
        }
    }
    void writeMaterialBlock();
    void writeFlatObject(int n);
    void writeFullGrid(int n);
    template <bool DoubleSided>
    void writeFullGridPolygons(int n);
    // One face and, for a double-sided object, its bottom face right after it.
    template <bool DoubleSided>
    [[gnu::always_inline]] void emitTriangle(int a, int b, int c) {
        const std::int32_t* e = vertexElevation_;
        chooser_.ChooseTriangleTexture(e[a], e[b], e[c], true);
        groups_.AddTriangle(a, b, c, true);
        if (DoubleSided) {
            chooser_.ChooseTriangleTexture(e[c], e[b], e[a], false);
            groups_.AddTriangle(c, b, a, false);
        }
    }
    template <bool DoubleSided>
    [[gnu::always_inline]] void emitQuad(int c0, int c1, int c2, int c3) {
        const std::int32_t* e = vertexElevation_;
        chooser_.ChooseQuadTexture(e[c0], e[c1], e[c3], e[c2], true);
        groups_.AddQuad(c0, c1, c2, c3, true);
        if (DoubleSided) {
            chooser_.ChooseQuadTexture(e[c3], e[c2], e[c0], e[c1], false);
            groups_.AddQuad(c3, c2, c1, c0, false);
        }
    }
    bool logging() const;
    void logLine(const std::string& text);
    // The "Error" dialog with the path and the system's reason; -1.
    int failWrite(const std::string& target, int error);

    ModelContext& ws_;
    TileHeights& tile_;
    std::FILE* log_;
    NoModelDelivery noDelivery_;
    ModelDelivery* delivery_;

    float ambient_ = 0.56f;
    float diffuse_ = 0.3f;
    float specular_ = 0.0f;
    float numberOfTiles_ = 4.0f;

    std::int32_t baseInUse_ = 0;
    float verticalScale_ = 1.0f;
    float maxVertexHeightAsFloat_ = 0.0f;  // MaxVertexHeight as the comparison sees it
    bool doubleSided_ = false;
    bool useTriangle_ = true;
    std::string modesText_;
    std::string uniqueName_;
    std::string prelight_;  // " #!prelight R G B", empty without prelight
    std::int32_t vertexElevation_[(kMaxCellsPerSide + 1) * (kMaxCellsPerSide + 1) + 1] = {};  // by vertex number, 1-based

    std::unique_ptr<Geometry> geometry_;
    std::vector<RiseText> riseTexts_;
    std::uint32_t riseStamp_ = 0;
    float riseScale_ = 0;

    RwxText text_;
    TextureGroupList groups_;
    TextureChooser chooser_;

    FilePtr singleModel_;
    std::string singleModelPath_;
};

}  // namespace gorvale

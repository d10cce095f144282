#pragma once
// Turns one tile of shaped elevations into one RWX clump: a grid of vertices
// with texture coordinates and optional prelight, and the triangles or quads
// between them filed under the textures the zones choose. Each tile is
// normally a model file of its own, handed to packaging and upload; with
// SingleObjectGround all tiles become clumps of one model.

#include <cstdint>
#include <cstdio>
#include <string>

#include "pipeline/c_file.h"
#include "pipeline/tile_heights.h"
#include "rwx/rwx_emitter.h"
#include "rwx/texture_zones.h"

namespace gorvale {

struct Workspace;

// Packaging and upload of a finished model file. The default does nothing,
// which is all a run needs while ZipIt is off.
class ModelDelivery {
public:
    virtual ~ModelDelivery() = default;
    // Result is reported by the delivery itself; the writer does not use it.
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
    GroundObjectWriter(Workspace& ws, TileHeights& tile, std::FILE* log = nullptr,
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
    // written) or -1 when the model file could not be created or written
    // (the "Error" dialog has then been shown with the path).
    int WriteGroundObject(const std::string& path, int n, int offsetZ, int offsetX,
                          std::int32_t baseElevation, float verticalScale, double centringStep,
                          double shiftX, double shiftZ, int nAgain);

    // Single model: opens RWXFile + ".rwx" (in TEMP with ZipIt) and writes the
    // model head; `demName` is the elevation model's name as shown in the
    // DemName label. -1 with the "Error" dialog when it cannot be created.
    int BeginSingleModel(const std::string& demName);
    // Closes the single model and hands RWXFile + ".rwx" to the delivery.
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
    // The directory named by TEMP ("." when unset), "/", and `name`.
    static std::string temporaryPath(const std::string& name);

private:
    struct Geometry;

    std::int32_t flattenAndScan(int n, int& differing);
    void writeVertex(const Geometry& g, int i, int j, bool gridComment);
    void writeMaterialBlock();
    void writeFlatObject(const Geometry& g);
    void writeFullGrid(const Geometry& g);
    void emitTriangle(int a, int b, int c);
    void emitQuad(int c0, int c1, int c2, int c3);
    bool logging() const;
    void logLine(const std::string& text);
    int failWrite(const std::string& target);

    Workspace& ws_;
    TileHeights& tile_;
    std::FILE* log_;
    NoModelDelivery noDelivery_;
    ModelDelivery* delivery_;

    float ambient_ = 0.56f;
    float diffuse_ = 0.3f;
    float specular_ = 0.0f;
    float numberOfTiles_ = 4.0f;

    std::int32_t baseInUse_ = 0;
    bool doubleSided_ = false;
    bool useTriangle_ = true;
    std::string modesText_;
    std::string uniqueName_;
    std::int32_t vertexElevation_[33 * 33 + 1] = {};  // by vertex number, 1-based

    RwxText text_;
    TextureGroupList groups_;
    TextureChooser chooser_;

    FilePtr singleModel_;
    std::string singleModelPath_;
};

}  // namespace gorvale

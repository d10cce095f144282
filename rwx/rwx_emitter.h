#pragma once
// The text of an RWX (RenderWare script) model: the number rule, every
// statement the converter writes, and the texture groups that collect the
// polygons of one object so that each texture statement is written once per
// pass. Output is built in memory and written with one call; every line end
// is CR LF, also the one inside a texture statement that carries an opacity.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace gorvale {

struct ConversionSettings;

inline constexpr std::string_view kRwxLineEnd = "\r\n";
// Texts of group statements and polygon lines never exceed this length
// (counting each line end as one character).
inline constexpr std::size_t kRwxEntryTextLimit = 47;
// The start group of every object: written as "Texture null".
inline constexpr std::string_view kStartGroupStatement = "null";
// Longest text the number rule can produce: space, sign, 39 integer digits,
// point and five decimals.
inline constexpr std::size_t kRwxNumberMaxChars = 48;

// The number rule: writes one space and `value` as "%0.5f" would print it,
// without a leading "0" before the point, without trailing zeros and without
// a point when no decimal is left; zero and values that print as zero (also
// "-0.00000") give " 0". Returns the end of the written text (no NUL).
// Needs room for kRwxNumberMaxChars characters. Not-a-number and infinities
// are written " 0" so that a model never carries a text a browser rejects.
char* formatRwxNumber(float value, char* out);
std::string rwxNumberText(float value);  // the same, as a string

// Growing text of one model (or of one clump of a single model).
class RwxText {
public:
    RwxText() { data_.reserve(1 << 16); }

    void clear() { data_.clear(); }
    const std::string& bytes() const { return data_; }
    std::size_t size() const { return data_.size(); }

    void put(std::string_view text) { data_.append(text); }
    void put(char c) { data_.push_back(c); }
    void lineEnd() { data_.append(kRwxLineEnd); }
    // Writes `text` with every "\n" turned into the CR LF line end.
    void putLines(std::string_view text);
    void putInt(long long value);
    void putNumber(float value);  // the number rule, with its leading space

    // Writes all bytes in one call; false when the stream reports an error.
    bool writeTo(std::FILE* stream) const;

private:
    std::string data_;
};

inline void WriteRwxNumber(float value, RwxText& out) { out.putNumber(value); }
// For callers that write straight to a stream.
bool WriteRwxNumber(float value, std::FILE* stream);

// Statements with their exact texts.
void writeFileComment(RwxText& out);
void writeClumpBegin(RwxText& out);
void writeNamedClumpBegin(RwxText& out, std::string_view modelName);  // several clumps per model
void writeTranslateBegin(RwxText& out, float x, float z);
void writeVertexStart(RwxText& out, float x, float y, float z, float u, float v);
void writeSurface(RwxText& out, float ambient, float diffuse, float specular);
void writeNeutralColour(RwxText& out);
void writeLightSampling(RwxText& out, int lightSampling);  // 1 facet, otherwise vertex
void writeTextureModes(RwxText& out, std::string_view modesText);
void writeMaterialDouble(RwxText& out);
void writeElevationColour(RwxText& out, float grey);
void writeTransformEnd(RwxText& out);
void writeClumpEnd(RwxText& out);
void writeModelEnd(RwxText& out);  // closes the outer clump of a model of several clumps

// " foreshorten", " lit", " filter" in that order, or " null" when none is on.
std::string textureModesText(const ConversionSettings& settings);

// "Texture %s\n" with `name` (the name may carry an opacity line).
std::string textureStatement(std::string_view name);

// The polygons of one object, collected per texture statement. Groups are
// kept in descending byte order of their statements and written in
// ascending order; within a group the first polygon comes first, then the
// others in reverse order of addition (the group list's own insertion rule).
class TextureGroupList {
public:
    // Starts an object: one group "null", current.
    void BeginGroupList();
    // Makes the group with this statement current, creating it when absent.
    void SelectTextureGroup(std::string_view statement);
    void AddQuad(int a, int b, int c, int d, bool front);
    void AddTriangle(int a, int b, int c, bool front);
    // Writes the top faces of every group, then the bottom faces, each group's
    // statement before its first polygon of the pass, and empties the list.
    void WriteGroups(RwxText& out);

    // Tag state, set by the texture choice for zone-textured polygons.
    int tag = 0;
    bool tagActive = false;

    std::size_t groupCount() const { return groupCount_; }
    std::string_view currentStatement() const { return groups_[current_].statement; }

private:
    struct Polygon {
        std::int32_t vertex[4];
        std::int32_t tag;
        std::uint8_t corners;  // 3 or 4
        bool tagged;
        bool front;
    };
    struct Group {
        std::string statement;
        std::vector<Polygon> polygons;  // in order of addition
    };

    void add(const Polygon& p);
    void writeGroupPass(RwxText& out, const Group& g, bool front) const;

    // groups_[0 .. groupCount_) in descending statement order; entries past
    // groupCount_ are kept only to reuse their storage for the next object.
    std::vector<Group> groups_;
    std::size_t groupCount_ = 0;
    std::size_t current_ = 0;
};

}  // namespace gorvale

#pragma once
// The text of an RWX (RenderWare script) model: the number rule, every
// statement the converter writes, and the texture groups that collect the
// polygons of one object so that each texture statement is written once per
// pass. Output is built in memory and written with one call; every line end
// is CR LF, also the one inside a texture statement that carries an opacity.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <memory>
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

// Growing text of one model (or of one clump of a single model), kept in
// one buffer that is reused from object to object.
class RwxText {
public:
    RwxText() : buffer_(kInitialCapacity) {}

    void clear() { size_ = 0; }
    std::string_view bytes() const { return {buffer_.data(), size_}; }
    std::string str() const { return std::string(bytes()); }
    std::size_t size() const { return size_; }

    void put(std::string_view text) {
        char* p = room(text.size());
        std::memcpy(p, text.data(), text.size());
        size_ += text.size();
    }
    void put(char c) {
        *room(1) = c;
        ++size_;
    }
    void lineEnd() {
        char* p = room(2);
        p[0] = '\r';
        p[1] = '\n';
        size_ += 2;
    }
    // Copies `Width` bytes from `source` (which must hold that many) but keeps
    // only the first `length`: a fixed-size copy the compiler can inline.
    template <std::size_t Width>
    void putFixed(const char* source, std::size_t length) {
        char* p = room(Width);
        std::memcpy(p, source, Width);
        size_ += length;
    }
    // Writes `text` with every "\n" turned into the CR LF line end.
    void putLines(std::string_view text);
    void putInt(long long value) {
        char* p = room(24);
        size_ = static_cast<std::size_t>(std::to_chars(p, p + 24, value).ptr - buffer_.data());
    }
    // The number rule, with its leading space.
    void putNumber(float value) {
        char* p = room(kRwxNumberMaxChars);
        size_ = static_cast<std::size_t>(formatRwxNumber(value, p) - buffer_.data());
    }

    // Direct writing for the hot paths: rawBegin returns room for `count`
    // characters; rawEnd takes the end of what was written there.
    char* rawBegin(std::size_t count) { return room(count); }
    void rawEnd(const char* end) { size_ = static_cast<std::size_t>(end - buffer_.data()); }

    // Writes all bytes in one call; false when the stream reports an error.
    bool writeTo(std::FILE* stream) const;

private:
    static constexpr std::size_t kInitialCapacity = std::size_t{1} << 17;
    // Space for `count` more characters at the end.
    char* room(std::size_t count) {
        if (size_ + count > buffer_.size()) buffer_.resize(2 * (size_ + count));
        return buffer_.data() + size_;
    }

    std::vector<char> buffer_;
    std::size_t size_ = 0;
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
// written in ascending byte order of their statements; within a group the
// first polygon comes first, then the others in reverse order of addition
// (the group list's own insertion rule), top faces of all groups before the
// bottom faces.
class TextureGroupList {
public:
    // Starts an object: one group "null", current.
    void BeginGroupList();
    // Makes the group with this statement current, creating it when absent.
    void SelectTextureGroup(std::string_view statement);
    [[gnu::always_inline]] void AddQuad(int a, int b, int c, int d, bool front) {
        add(Polygon{{a, b, c, d}, tag, 4, tagActive}, front);
    }
    [[gnu::always_inline]] void AddTriangle(int a, int b, int c, bool front) {
        add(Polygon{{a, b, c, 0}, tag, 3, tagActive}, front);
    }
    // Writes the top faces of every group, then the bottom faces, each group's
    // statement before its first polygon of the pass, and empties the list.
    void WriteGroups(RwxText& out);

    // Tag state, set by the texture choice for zone-textured polygons.
    int tag = 0;
    bool tagActive = false;

    std::size_t groupCount() const { return groupCount_; }
    std::string_view currentStatement() const { return groups_[current_].statement; }

    // Group handles for callers that select the same statements over and
    // over (the texture choice): a handle stays valid until the list is
    // started or written again, which changes objectSerial().
    std::size_t currentGroup() const { return current_; }
    void selectGroup(std::size_t handle) { current_ = handle; }
    std::uint32_t objectSerial() const { return serial_; }

private:
    struct Polygon {
        std::int32_t vertex[4];
        std::int32_t tag;
        std::uint8_t corners;  // 3 or 4
        bool tagged;
    };
    // The polygons of one side of a group in order of addition. Its own
    // small buffer so that adding stays inline in the writer's loop.
    class FaceList {
    public:
        [[gnu::always_inline]] void push(const Polygon& p) {
            if (size_ == capacity_) grow();
            data_[size_++] = p;
        }
        void clear() { size_ = 0; }
        std::size_t size() const { return size_; }
        const Polygon& operator[](std::size_t k) const { return data_[k]; }

    private:
        void grow();
        std::unique_ptr<Polygon[]> data_;
        std::size_t size_ = 0;
        std::size_t capacity_ = 0;
    };
    // Groups keep the order in which they were created, so that handles stay
    // valid; the statement order is only needed when writing.
    struct Group {
        std::string statement;
        FaceList faces[2];       // [0] top faces, [1] bottom faces
        std::int8_t firstSide = -1;  // side of the group's first polygon, -1 while it has none
        void reset() {
            faces[0].clear();
            faces[1].clear();
            firstSide = -1;
        }
    };

    // Runs for every polygon: kept inline in the writer's polygon loop.
    [[gnu::always_inline]] void add(const Polygon& p, bool front) {
        if (groupCount_ == 0) BeginGroupList();
        Group& g = groups_[current_];
        const int side = front ? 0 : 1;
        if (g.firstSide < 0) g.firstSide = static_cast<std::int8_t>(side);
        g.faces[side].push(p);
    }
    void writeGroupPass(RwxText& out, const Group& g, bool front) const;
    void endObject();

    // groups_[0 .. groupCount_) are in use; later entries are kept only to
    // reuse their storage for the next object.
    std::vector<Group> groups_;
    std::size_t groupCount_ = 0;
    std::size_t current_ = 0;
    std::uint32_t serial_ = 1;  // 0 is never a valid serial
    std::vector<std::size_t> writeOrder_;
};

}  // namespace gorvale

#include "rwx/rwx_emitter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/conversion_settings.h"

namespace gorvale {
namespace {

constexpr std::string_view kFileComment = "#gorvale by gorvale-terrain@users.noreply.example";
constexpr std::uint64_t kFiveDecimals = 100000;

// Values from 2^46 upwards are whole numbers too large for the fixed-point
// path below; the library's exact fixed formatting gives their digits.
char* formatLargeWholeNumber(float value, char* out) {
    char text[64];
    const char* end =
        std::to_chars(text, text + sizeof text, static_cast<double>(value), std::chars_format::fixed, 5).ptr;
    const char* p = text;
    if (*p == '-') *out++ = *p++;
    while (p < end && *p >= '0' && *p <= '9') *out++ = *p++;
    return out;
}

// "00" .. "99", for writing two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The five decimals without their trailing zeros, after the point; written
// straight into the output (the caller's room covers all five).
char* putFraction(std::uint32_t fraction, char* out) {
    *out = '.';
    out[1] = static_cast<char>('0' + fraction / 10000);
    const std::uint32_t rest = fraction % 10000;
    std::memcpy(out + 2, kDigitPairs + 2 * (rest / 100), 2);
    std::memcpy(out + 4, kDigitPairs + 2 * (rest % 100), 2);
    int kept = 5;
    while (fraction % 10 == 0) {  // fraction is not zero, so a digit remains
        fraction /= 10;
        --kept;
    }
    return out + 1 + kept;
}

int decimalDigits(std::uint32_t v) {
    int digits = 1;
    while (v >= 10) {
        v /= 10;
        ++digits;
    }
    return digits;
}

// Whole numbers below 2^32 by digit pairs, written from their last digit
// backwards; larger ones by the library.
char* putWhole(std::uint64_t value, char* out) {
    if (value > 0xffffffffu) return std::to_chars(out, out + 24, value).ptr;
    auto v = static_cast<std::uint32_t>(value);
    char* end = out + decimalDigits(v);
    char* p = end;
    while (v >= 100) {
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * (v % 100), 2);
        v /= 100;
    }
    if (v >= 10) {
        std::memcpy(p - 2, kDigitPairs + 2 * v, 2);
    } else {
        p[-1] = static_cast<char>('0' + v);
    }
    return end;
}

}  // namespace

// The rule prints with "%0.5f" and reads the text back; that text is the
// value rounded to five decimals (ties to even on the exact binary value, as
// the C library does). The rounding is done here in integers on the exact
// value of the float, which gives the same digits without any locale or
// allocation.
char* formatRwxNumber(float value, char* out) {
    *out++ = ' ';
    if (value == 0.0f || !std::isfinite(value)) {
        *out++ = '0';
        return out;
    }
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 31) != 0;
    const int biased = static_cast<int>((bits >> 23) & 0xffu);
    std::uint64_t mantissa = bits & 0x7fffffu;
    int exponent;
    if (biased == 0) {
        exponent = -149;  // subnormal
    } else {
        mantissa |= 0x800000u;
        exponent = biased - 150;
    }
    // |value| = mantissa * 2^exponent; scaled = |value| * 10^5 rounded.
    std::uint64_t scaled;
    const std::uint64_t product = mantissa * kFiveDecimals;  // < 2^41
    if (exponent >= 0) {
        if (exponent > 22) {
            return formatLargeWholeNumber(value, out);
        }
        scaled = product << exponent;
    } else {
        const int shift = -exponent;
        if (shift >= 42) {
            scaled = 0;  // below half a unit of the last decimal
        } else {
            scaled = product >> shift;
            const std::uint64_t rest = product & ((std::uint64_t{1} << shift) - 1);
            const std::uint64_t half = std::uint64_t{1} << (shift - 1);
            if (rest > half || (rest == half && (scaled & 1u))) ++scaled;
        }
    }
    if (scaled == 0) {
        *out++ = '0';
        return out;
    }
    if (negative) *out++ = '-';
    const std::uint64_t whole = scaled / kFiveDecimals;
    const auto fraction = static_cast<std::uint32_t>(scaled % kFiveDecimals);
    if (whole != 0) out = putWhole(whole, out);
    if (fraction != 0) out = putFraction(fraction, out);
    return out;
}

std::string rwxNumberText(float value) {
    char buffer[kRwxNumberMaxChars];
    char* end = formatRwxNumber(value, buffer);
    return std::string(buffer, end);
}

void RwxText::putLines(std::string_view text) {
    std::size_t start = 0;
    while (true) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            put(text.substr(start));
            return;
        }
        put(text.substr(start, nl - start));
        lineEnd();
        start = nl + 1;
    }
}

bool RwxText::writeTo(std::FILE* stream) const {
    if (!stream) return false;
    if (size_ != 0 && std::fwrite(buffer_.data(), 1, size_, stream) != size_) return false;
    return std::ferror(stream) == 0;
}

bool WriteRwxNumber(float value, std::FILE* stream) {
    char buffer[kRwxNumberMaxChars];
    char* end = formatRwxNumber(value, buffer);
    const auto length = static_cast<std::size_t>(end - buffer);
    return std::fwrite(buffer, 1, length, stream) == length;
}

void writeFileComment(RwxText& out) {
    out.put(kFileComment);
    out.lineEnd();
}

void writeClumpBegin(RwxText& out) {
    out.put("ClumpBegin");
    out.lineEnd();
}

void writeNamedClumpBegin(RwxText& out, std::string_view modelName) {
    out.put("# ");
    out.put(modelName);
    out.lineEnd();
    writeClumpBegin(out);
}

void writeTranslateBegin(RwxText& out, float x, float z) {
    out.put("TransformBegin");
    out.lineEnd();
    out.put("Translate ");
    out.putNumber(x);
    out.putNumber(0.0f);
    out.putNumber(z);
    out.lineEnd();
}

void writeVertexStart(RwxText& out, float x, float y, float z, float u, float v) {
    out.put("Vertex");
    out.putNumber(x);
    out.putNumber(y);
    out.putNumber(z);
    out.put(" uv");
    out.putNumber(u);
    out.putNumber(v);
}

void writeSurface(RwxText& out, float ambient, float diffuse, float specular) {
    out.put("Surface");
    out.putNumber(ambient);
    out.putNumber(diffuse);
    out.putNumber(specular);
    out.lineEnd();
}

void writeNeutralColour(RwxText& out) {
    out.put("Color .7 .7 .7");
    out.lineEnd();
}

void writeLightSampling(RwxText& out, int lightSampling) {
    out.put(lightSampling == 1 ? "Lightsampling facet" : "Lightsampling vertex");
    out.lineEnd();
}

void writeTextureModes(RwxText& out, std::string_view modesText) {
    out.put("TextureModes ");
    out.put(modesText);
    out.lineEnd();
}

void writeMaterialDouble(RwxText& out) {
    out.put("Materialmodes double");
    out.lineEnd();
}

void writeElevationColour(RwxText& out, float grey) {
    out.put("Color");
    out.putNumber(grey);
    out.putNumber(grey);
    out.putNumber(grey);
    out.lineEnd();
}

void writeTransformEnd(RwxText& out) {
    out.put("TransformEnd");
    out.lineEnd();
}

void writeClumpEnd(RwxText& out) {
    out.put("ClumpEnd");
    out.lineEnd();
}

void writeModelEnd(RwxText& out) {
    out.lineEnd();
    out.put("ClumpEnd");
    out.lineEnd();
    out.put("ModelEnd");
    out.lineEnd();
}

std::string textureModesText(const ConversionSettings& settings) {
    std::string modes;
    if (settings.TextureModesForeShorten) modes += " foreshorten";
    if (settings.TextureModesLit) modes += " lit";
    if (settings.TextureModesFilter) modes += " filter";
    if (modes.empty()) modes = " null";
    return modes;
}

std::string textureStatement(std::string_view name) {
    std::string s;
    s.reserve(name.size() + 9);
    s += "Texture ";
    s += name;
    s += '\n';
    return s;
}

void TextureGroupList::BeginGroupList() {
    endObject();
    if (groups_.empty()) groups_.emplace_back();
    groups_[0].statement.assign(kStartGroupStatement);
    groupCount_ = 1;
}

void TextureGroupList::endObject() {
    for (std::size_t k = 0; k < groupCount_; ++k) groups_[k].reset();
    groupCount_ = 0;
    current_ = 0;
    ++serial_;  // handles of the finished object are no longer valid
}

void TextureGroupList::SelectTextureGroup(std::string_view statement) {
    if (groupCount_ == 0) BeginGroupList();
    // An object has few distinct textures: a linear search is enough.
    for (std::size_t k = 0; k < groupCount_; ++k) {
        if (groups_[k].statement == statement) {
            current_ = k;
            return;
        }
    }
    // Reuse a spare entry's storage when there is one.
    if (groupCount_ == groups_.size()) groups_.emplace_back();
    groups_[groupCount_].statement.assign(statement);
    current_ = groupCount_++;
}

namespace {

// " N" for every vertex number an object can have, padded for fixed copies.
struct VertexNumberText {
    char text[8];
    std::uint8_t length;
};
constexpr int kVertexNumberTableSize = 64 * 64 + 1;

const VertexNumberText* vertexNumberTable() {
    static const std::vector<VertexNumberText> table = [] {
        std::vector<VertexNumberText> t(kVertexNumberTableSize);
        for (int v = 0; v < kVertexNumberTableSize; ++v) {
            VertexNumberText& e = t[v];
            std::memset(e.text, 0, sizeof e.text);
            e.text[0] = ' ';
            e.length = static_cast<std::uint8_t>(std::to_chars(e.text + 1, e.text + 8, v).ptr - e.text);
        }
        return t;
    }();
    return table.data();
}

struct Keyword {
    char text[16];
    std::size_t length;
};
constexpr Keyword kQuad{"Quad", 4};
constexpr Keyword kQuadExt{"Quadext", 7};
constexpr Keyword kTriangle{"Triangle", 8};
constexpr Keyword kTriangleExt{"Triangleext", 11};

// Longest polygon line: keyword, four numbers of up to 11 characters with
// their spaces, the tag and the line end.
constexpr std::size_t kPolygonLineRoom = 96;
// Room for the padded fixed-size copies past the end of a line.
constexpr std::size_t kPolygonCopySlack = 16;

// Vertex numbers outside the table (never written by the ground object
// writer, but AddQuad takes any int).
[[gnu::noinline]] char* putLargeVertexNumber(std::int32_t v, char* p) {
    *p++ = ' ';
    return std::to_chars(p, p + 12, v).ptr;
}

[[gnu::always_inline]] inline char* putVertexNumber(const VertexNumberText* numbers, std::int32_t v,
                                                     char* p) {
    if (static_cast<std::uint32_t>(v) >= static_cast<std::uint32_t>(kVertexNumberTableSize)) {
        return putLargeVertexNumber(v, p);
    }
    std::memcpy(p, numbers[v].text, sizeof numbers[v].text);
    return p + numbers[v].length;
}

// The keyword of a polygon line by corners (3 or 4) and tag.
const Keyword& polygonKeyword(int corners, bool tagged) {
    static const Keyword* const keywords[2][2] = {{&kTriangle, &kTriangleExt}, {&kQuad, &kQuadExt}};
    return *keywords[corners == 4][tagged];
}

// One polygon line at p, which has kPolygonLineRoom characters; returns its end.
[[gnu::always_inline]] inline char* putPolygon(const VertexNumberText* numbers, const std::int32_t* vertex,
                                                int corners, bool tagged, int tag, char* p) {
    const Keyword& keyword = polygonKeyword(corners, tagged);
    std::memcpy(p, keyword.text, sizeof keyword.text);
    p += keyword.length;
    p = putVertexNumber(numbers, vertex[0], p);
    p = putVertexNumber(numbers, vertex[1], p);
    p = putVertexNumber(numbers, vertex[2], p);
    if (corners == 4) p = putVertexNumber(numbers, vertex[3], p);
    if (tagged) {
        std::memcpy(p, " Tag ", 5);
        p = std::to_chars(p + 5, p + 17, tag).ptr;
    }
    p[0] = '\r';
    p[1] = '\n';
    return p + 2;
}

}  // namespace

void TextureGroupList::FaceList::grow() {
    const std::size_t capacity = capacity_ == 0 ? 64 : 2 * capacity_;
    auto data = std::make_unique<Polygon[]>(capacity);
    std::copy(data_.get(), data_.get() + size_, data.get());
    data_ = std::move(data);
    capacity_ = capacity;
}

void TextureGroupList::writeGroupPass(RwxText& out, const Group& g, bool front) const {
    const FaceList& faces = g.faces[front ? 0 : 1];
    if (faces.size() == 0) return;
    if (g.statement == kStartGroupStatement) {
        out.put("Texture null");
        out.lineEnd();
    } else {
        out.putLines(g.statement);
    }
    const VertexNumberText* numbers = vertexNumberTable();
    // All lines of the pass in one reservation.
    char* p = out.rawBegin(faces.size() * kPolygonLineRoom + kPolygonCopySlack);
    // The group's first polygon leads the pass it belongs to; every other
    // polygon follows newest first.
    std::size_t rest = faces.size();
    std::size_t stop = 0;
    if (g.firstSide == (front ? 0 : 1)) {
        const Polygon& f = faces[0];
        p = putPolygon(numbers, f.vertex, f.corners, f.tagged, f.tag, p);
        stop = 1;
    }
    while (rest > stop) {
        const Polygon& f = faces[--rest];
        p = putPolygon(numbers, f.vertex, f.corners, f.tagged, f.tag, p);
    }
    out.rawEnd(p);
}

void TextureGroupList::WriteGroups(RwxText& out) {
    // Ascending statement order (statements are distinct).
    writeOrder_.resize(groupCount_);
    for (std::size_t k = 0; k < groupCount_; ++k) writeOrder_[k] = k;
    std::sort(writeOrder_.begin(), writeOrder_.end(), [this](std::size_t a, std::size_t b) {
        return std::string_view(groups_[a].statement) < std::string_view(groups_[b].statement);
    });
    for (bool front : {true, false}) {
        for (std::size_t k : writeOrder_) writeGroupPass(out, groups_[k], front);
    }
    endObject();
}

}  // namespace gorvale

#include "rwx/rwx_emitter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "pipeline/conversion_settings.h"

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
    polygons_.clear();
    if (groups_.empty()) groups_.emplace_back();
    groups_[0].statement.assign(kStartGroupStatement);
    groups_[0].reset();
    groupCount_ = 1;
    current_ = 0;
}

void TextureGroupList::SelectTextureGroup(std::string_view statement) {
    if (groupCount_ == 0) BeginGroupList();
    // Walk from the last group towards the first: the list is in descending
    // order, so the walk stops at the first statement not below the new one.
    std::size_t insertAt = 0;
    for (std::size_t k = groupCount_; k-- > 0;) {
        const int order = std::string_view(groups_[k].statement).compare(statement);
        if (order == 0) {
            current_ = k;
            return;
        }
        if (order > 0) {
            insertAt = k + 1;
            break;
        }
    }
    // Reuse a spare entry's storage when there is one.
    if (groupCount_ == groups_.size()) groups_.emplace_back();
    Group& spare = groups_[groupCount_];
    spare.statement.assign(statement);
    spare.reset();
    std::rotate(groups_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                groups_.begin() + static_cast<std::ptrdiff_t>(groupCount_),
                groups_.begin() + static_cast<std::ptrdiff_t>(groupCount_ + 1));
    ++groupCount_;
    current_ = insertAt;
}

void TextureGroupList::add(const Polygon& p) {
    if (groupCount_ == 0) BeginGroupList();
    Group& g = groups_[current_];
    const auto index = static_cast<std::int32_t>(polygons_.size());
    polygons_.push_back(p);
    polygons_.back().previous = g.last;
    if (g.first < 0) g.first = index;
    g.last = index;
    ++g.count;
    if (!p.front) ++g.bottomFaces;
}

void TextureGroupList::AddQuad(int a, int b, int c, int d, bool front) {
    add(Polygon{{a, b, c, d}, tag, -1, 4, tagActive, front});
}

void TextureGroupList::AddTriangle(int a, int b, int c, bool front) {
    add(Polygon{{a, b, c, 0}, tag, -1, 3, tagActive, front});
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
constexpr std::size_t kPolygonLineRoom = 128;

char* putVertexNumber(const VertexNumberText* numbers, std::int32_t v, char* p) {
    if (v >= 0 && v < kVertexNumberTableSize) {
        std::memcpy(p, numbers[v].text, sizeof numbers[v].text);
        return p + numbers[v].length;
    }
    *p++ = ' ';
    return std::to_chars(p, p + 12, v).ptr;
}

void writePolygon(RwxText& out, const VertexNumberText* numbers, const std::int32_t* vertex,
                  int corners, bool tagged, int tag) {
    const Keyword& keyword =
        corners == 4 ? (tagged ? kQuadExt : kQuad) : (tagged ? kTriangleExt : kTriangle);
    char* p = out.rawBegin(kPolygonLineRoom);
    std::memcpy(p, keyword.text, sizeof keyword.text);
    p += keyword.length;
    for (int k = 0; k < corners; ++k) p = putVertexNumber(numbers, vertex[k], p);
    if (tagged) {
        std::memcpy(p, " Tag ", 5);
        p = std::to_chars(p + 5, p + 17, tag).ptr;
    }
    p[0] = '\r';
    p[1] = '\n';
    out.rawEnd(p + 2);
}

}  // namespace

void TextureGroupList::writeGroupPass(RwxText& out, const Group& g, bool front) const {
    if (g.first < 0) return;
    if (!front && g.bottomFaces == 0) return;
    if (front && g.bottomFaces == g.count) return;
    const VertexNumberText* numbers = vertexNumberTable();
    bool statementWritten = false;
    auto visit = [&](const Polygon& p) {
        if (p.front != front) return;
        if (!statementWritten) {
            if (g.statement == kStartGroupStatement) {
                out.put("Texture null");
                out.lineEnd();
            } else {
                out.putLines(g.statement);
            }
            statementWritten = true;
        }
        writePolygon(out, numbers, p.vertex, p.corners, p.tagged, p.tag);
    };
    // The group's first polygon, then the rest newest first.
    visit(polygons_[g.first]);
    for (std::int32_t k = g.last; k != g.first; k = polygons_[k].previous) visit(polygons_[k]);
}

void TextureGroupList::WriteGroups(RwxText& out) {
    for (bool front : {true, false}) {
        for (std::size_t k = groupCount_; k-- > 0;) writeGroupPass(out, groups_[k], front);
    }
    polygons_.clear();
    groupCount_ = 0;
    current_ = 0;
}

}  // namespace gorvale

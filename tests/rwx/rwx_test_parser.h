#pragma once
// A small RWX reader for the tests, written apart from the emitter so that
// it checks the emitter's output instead of repeating it: it splits CR LF
// lines, counts vertices per clump, checks that every polygon refers to an
// existing vertex and follows a texture statement, and that every number is
// plain decimal (no exponent, no comma, no "-0", no leading "0.").

#include <cstdlib>
#include <string>
#include <vector>

namespace gorvale::test {

struct RwxPolygon {
    std::vector<int> vertices;
    bool tagged = false;
    int tag = 0;
    std::string texture;  // the texture statement in force ("null", "gnd", ...)
    std::string opacity;  // the opacity line's value in force, if any
};

struct RwxVertex {
    double x = 0, y = 0, z = 0, u = 0, v = 0;
    std::string rest;  // text after the uv numbers (prelight part)
};

struct RwxClump {
    std::vector<RwxVertex> vertices;
    std::vector<RwxPolygon> polygons;
    std::vector<std::string> textureStatements;  // in order of appearance
    bool translated = false;
    double translateX = 0, translateZ = 0;
};

struct RwxParse {
    std::vector<std::string> lines;  // without line ends
    std::vector<RwxClump> clumps;
    std::vector<std::string> errors;
    bool ok() const { return errors.empty(); }
};

inline bool isPlainRwxNumber(const std::string& t) {
    if (t.empty()) return false;
    std::size_t i = 0;
    if (t[0] == '-') i = 1;
    if (i >= t.size()) return false;
    std::size_t digitsBefore = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') { ++i; ++digitsBefore; }
    std::size_t digitsAfter = 0;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') { ++i; ++digitsAfter; }
        if (digitsAfter == 0 || digitsAfter > 5 || t.back() == '0') return false;
    }
    if (i != t.size()) return false;
    if (digitsBefore == 0 && digitsAfter == 0) return false;
    if (digitsBefore > 1 && t[t[0] == '-' ? 1 : 0] == '0') return false;
    if (digitsBefore == 1 && t[t[0] == '-' ? 1 : 0] == '0') {
        return t == "0";  // only the plain zero may start with 0
    }
    return true;
}

inline std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

inline RwxParse parseRwx(const std::string& bytes) {
    RwxParse p;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t nl = bytes.find('\n', start);
        if (nl == std::string::npos) {
            p.errors.push_back("last line without line end");
            break;
        }
        if (nl == start || bytes[nl - 1] != '\r') {
            p.errors.push_back("line without CR LF at byte " + std::to_string(nl));
            p.lines.push_back(bytes.substr(start, nl - start));
        } else {
            p.lines.push_back(bytes.substr(start, nl - 1 - start));
        }
        start = nl + 1;
    }
    RwxClump* clump = nullptr;
    std::string texture;
    std::string opacity;
    bool haveTexture = false;
    auto number = [&](const std::string& word, std::size_t lineNo) {
        if (!isPlainRwxNumber(word)) {
            p.errors.push_back("line " + std::to_string(lineNo + 1) + ": bad number '" + word + "'");
        }
        return std::strtod(word.c_str(), nullptr);
    };
    for (std::size_t n = 0; n < p.lines.size(); ++n) {
        const std::string& line = p.lines[n];
        const auto w = splitWords(line);
        if (w.empty() || line[0] == '#') continue;
        const std::string& key = w[0];
        if (key == "ClumpBegin") {
            p.clumps.emplace_back();
            clump = &p.clumps.back();
            haveTexture = false;
            opacity.clear();
            continue;
        }
        if (!clump) {
            if (key != "ModelBegin") p.errors.push_back("statement outside a clump: " + line);
            continue;
        }
        if (key == "Vertex") {
            if (w.size() < 7 || w[4] != "uv") {
                p.errors.push_back("bad vertex: " + line);
                continue;
            }
            RwxVertex v{number(w[1], n), number(w[2], n), number(w[3], n), number(w[5], n),
                        number(w[6], n), ""};
            const std::size_t rest = line.find(w[6], line.find(" uv")) + w[6].size();
            v.rest = line.substr(rest);
            clump->vertices.push_back(v);
        } else if (key == "Texture") {
            if (w.size() != 2) p.errors.push_back("bad texture: " + line);
            texture = w.size() > 1 ? w[1] : "";
            clump->textureStatements.push_back(texture);
            haveTexture = true;
            opacity.clear();
        } else if (key == "Opacity") {
            if (w.size() != 2) p.errors.push_back("bad opacity: " + line);
            opacity = w.size() > 1 ? w[1] : "";
        } else if (key == "Triangle" || key == "Quad" || key == "Triangleext" || key == "Quadext") {
            const bool tagged = key.back() == 't';
            const std::size_t corners = key[0] == 'T' ? 3 : 4;
            if (w.size() != 1 + corners + (tagged ? 2 : 0) || (tagged && w[1 + corners] != "Tag")) {
                p.errors.push_back("bad polygon: " + line);
                continue;
            }
            if (!haveTexture) p.errors.push_back("polygon before any texture: " + line);
            RwxPolygon poly;
            for (std::size_t k = 1; k <= corners; ++k) {
                const int index = std::atoi(w[k].c_str());
                if (index < 1 || index > static_cast<int>(clump->vertices.size())) {
                    p.errors.push_back("vertex index out of range: " + line);
                }
                poly.vertices.push_back(index);
            }
            poly.tagged = tagged;
            if (tagged) poly.tag = std::atoi(w.back().c_str());
            poly.texture = texture;
            poly.opacity = opacity;
            clump->polygons.push_back(poly);
        } else if (key == "Translate") {
            if (w.size() != 4) p.errors.push_back("bad translate: " + line);
            clump->translated = true;
            clump->translateX = number(w[1], n);
            number(w[2], n);
            clump->translateZ = number(w[3], n);
        } else if (key == "Surface" || key == "Color") {
            for (std::size_t k = 1; k < w.size(); ++k) number(w[k], n);
        } else if (key == "ClumpEnd") {
            // the outer clump of a model of several clumps closes last
        }
    }
    return p;
}

}  // namespace gorvale::test

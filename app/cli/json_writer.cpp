#include "app/cli/json_writer.h"

#include <cstdio>

namespace gorvale::cli {

std::string JsonObject::quote(const std::string& text) {
    std::string r = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': r += "\\\""; break;
            case '\\': r += "\\\\"; break;
            case '\n': r += "\\n"; break;
            case '\r': r += "\\r"; break;
            case '\t': r += "\\t"; break;
            default:
                if (c < 0x20 || c >= 0x7f) {
                    char buf[8];
                    // Bytes of the 8-bit code page are passed as their Latin-1 code points.
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    r += buf;
                } else {
                    r += static_cast<char>(c);
                }
        }
    }
    return r + "\"";
}

void JsonObject::key(const std::string& k) {
    if (!body_.empty()) body_ += ",";
    body_ += quote(k) + ":";
}

JsonObject& JsonObject::add(const std::string& k, const std::string& value) {
    key(k);
    body_ += quote(value);
    return *this;
}

JsonObject& JsonObject::add(const std::string& k, long long value) {
    key(k);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::add(const std::string& k, bool value) {
    key(k);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::addRaw(const std::string& k, const std::string& json) {
    key(k);
    body_ += json;
    return *this;
}

}  // namespace gorvale::cli

#pragma once
// A minimal JSON object writer for the command line's machine-readable output.

#include <string>

namespace gorvale::cli {

class JsonObject {
public:
    JsonObject& add(const std::string& key, const std::string& value);
    JsonObject& add(const std::string& key, const char* value) { return add(key, std::string(value)); }
    JsonObject& add(const std::string& key, long long value);
    JsonObject& add(const std::string& key, int value) { return add(key, static_cast<long long>(value)); }
    JsonObject& add(const std::string& key, bool value);
    JsonObject& addRaw(const std::string& key, const std::string& json);
    std::string str() const { return "{" + body_ + "}"; }

    static std::string quote(const std::string& text);

private:
    void key(const std::string& k);
    std::string body_;
};

}  // namespace gorvale::cli

#include "app/cli/cli_options.h"

#include <algorithm>

namespace gorvale::cli {

bool optionTakesValue(const std::string& arg) {
    static const char* const kValueOptions[] = {"set", "type", "grid-out", "grid-width", "dted-merge",
                                                "format", "scale", "progress", "answer", "rect",
                                                "project", "pattern", "citizen", "robot-log"};
    if (arg.compare(0, 2, "--") != 0) return false;
    const std::string name = arg.substr(2, arg.find('=') == std::string::npos ? std::string::npos : arg.find('=') - 2);
    for (const char* v : kValueOptions)
        if (name == v) return true;
    return false;
}

bool parseArgs(int argc, char** argv, int first, const std::vector<std::string>& valueOptions,
               const std::vector<std::string>& flagOptions, ParsedArgs& out, std::string& error) {
    auto isIn = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-q") arg = "--quiet";
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            out.positional.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> inlineValue;
        if (auto eq = name.find('='); eq != std::string::npos && name != "set") {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (name == "set" || isIn(valueOptions, name)) {
            std::string v;
            if (inlineValue) {
                v = *inlineValue;
            } else if (i + 1 < argc) {
                v = argv[++i];
            } else {
                error = "option --" + name + " needs a value";
                return false;
            }
            if (name == "set") {
                out.sets.push_back(v);
            } else if (out.values.count(name)) {
                error = "option --" + name + " given twice";
                return false;
            } else {
                out.values[name] = v;
            }
        } else if (isIn(flagOptions, name)) {
            out.flags[name] = true;
        } else {
            error = "unknown option --" + name;
            return false;
        }
    }
    return true;
}

}  // namespace gorvale::cli

#pragma once
// Parsing of gorvale-cli's command line: positional words and options.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace gorvale::cli {

struct ParsedArgs {
    std::vector<std::string> positional;
    std::vector<std::string> sets;             // every --set KEY=VALUE, in order
    std::map<std::string, std::string> values; // options with a value, by name without "--"
    std::map<std::string, bool> flags;         // options without a value

    bool flag(const std::string& name) const { return flags.count(name) != 0; }
    std::optional<std::string> value(const std::string& name) const {
        auto it = values.find(name);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
};

// Every option of any command that takes a value (so that one standing
// before the command is not taken for the command). A command's new value
// option belongs here too.
bool optionTakesValue(const std::string& arg);

// Options that take a value; everything else starting with "--" is a flag.
// "-q" is "--quiet". Only "--set" may be given more than once.
// Returns false with a message when an option is unknown or lacks its value.
bool parseArgs(int argc, char** argv, int first, const std::vector<std::string>& valueOptions,
               const std::vector<std::string>& flagOptions, ParsedArgs& out, std::string& error);

}  // namespace gorvale::cli

// gorvale-cli: the headless front end of the converter.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_options.h"

namespace {

using namespace gorvale::cli;

bool isHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

}  // namespace

int main(int argc, char** argv) {
    // Numbers in files never follow the user's locale.
    std::setlocale(LC_ALL, "C");
    // The command is the first word that is neither an option nor an option's value.
    int commandAt = 0;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") {
            std::printf("gorvale-cli %s\n", kProgramVersion);
            return kExitDone;
        }
        if (isHelp(argv[i])) {
            help = true;
            continue;
        }
        if (arg == "help" && commandAt == 0) {
            help = true;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            if (optionTakesValue(arg) && arg.find('=') == std::string::npos) ++i;
            continue;
        }
        if (commandAt == 0) commandAt = i;
    }
    if (commandAt == 0) {
        std::fputs(usageText().c_str(), help ? stdout : stderr);
        return help ? kExitDone : kExitUsage;
    }
    const CommandEntry* command = findCommand(argv[commandAt]);
    if (!command) {
        std::fprintf(stderr, "gorvale-cli: unknown command \"%s\" (try gorvale-cli --help)\n", argv[commandAt]);
        return kExitUsage;
    }
    if (help) {
        std::fputs(commandUsageText(*command).c_str(), stdout);
        return kExitDone;
    }
    // The command's words: everything but the command itself, in order.
    std::vector<char*> words{argv[0]};
    for (int i = 1; i < argc; ++i)
        if (i != commandAt) words.push_back(argv[i]);
    words.push_back(nullptr);
    return command->run(static_cast<int>(words.size()) - 1, words.data(), 1);
}

// gorvale-cli: the headless front end of the converter.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cli/cli_commands.h"

int main(int argc, char** argv) {
    // Numbers in files never follow the user's locale.
    std::setlocale(LC_ALL, "C");
    using namespace gorvale::cli;
    if (argc < 2) {
        std::fputs(usageText(), stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usageText(), stdout);
        return 0;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(usageText(), stdout);
            return 0;
        }
    }
    if (command == "info") return runInfo(argc, argv, 2);
    if (command == "generate") return runGenerate(argc, argv, 2);
    if (command == "project") return runProject(argc, argv, 2);
    if (command == "export") return runExport(argc, argv, 2);
    if (command == "picture") return runPicture(argc, argv, 2);
    if (command == "zones") return runZones(argc, argv, 2);
    std::fprintf(stderr, "gorvale-cli: unknown command \"%s\" (try gorvale-cli --help)\n", command.c_str());
    return 2;
}

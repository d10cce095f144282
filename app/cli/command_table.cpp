#include "app/cli/cli_commands.h"

namespace gorvale::cli {

extern const char* const kInfoUsage;
extern const char* const kGenerateUsage;
extern const char* const kProjectUsage;
extern const char* const kExportUsage;
extern const char* const kFormatsUsage;
extern const char* const kKeysUsage;
extern const char* const kPictureUsage;
extern const char* const kZonesUsage;
extern const char* const kBuildUsage;
extern const char* const kDeleteUsage;

const std::vector<CommandEntry>& commandTable() {
    static const std::vector<CommandEntry> table = {
        {"info", runInfo, kInfoUsage},
        {"generate", runGenerate, kGenerateUsage},
        {"project", runProject, kProjectUsage},
        {"export", runExport, kExportUsage},
        {"picture", runPicture, kPictureUsage},
        {"zones", runZones, kZonesUsage},
        {"formats", runFormats, kFormatsUsage},
        {"keys", runKeys, kKeysUsage},
        {"build", runBuild, kBuildUsage},
        {"delete", runDelete, kDeleteUsage},
    };
    return table;
}

const CommandEntry* findCommand(const std::string& name) {
    for (const CommandEntry& c : commandTable())
        if (name == c.name) return &c;
    return nullptr;
}

}  // namespace gorvale::cli

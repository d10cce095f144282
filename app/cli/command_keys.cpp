// gorvale-cli keys: every setting with its section, form, default, range and meaning.
#include <climits>
#include <cstdio>
#include <filesystem>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/core/setting_meanings.h"
#include "app/core/settings_keys.h"
#include "base/text_convert.h"

namespace gorvale::cli {
namespace {

const char* formName(SettingForm f) {
    switch (f) {
        case SettingForm::Flag: return "flag";
        case SettingForm::Text: return "text";
        case SettingForm::Choice: return "choice";
        case SettingForm::Count: return "count";
        case SettingForm::Colour: return "colour";
    }
    return "";
}

std::string rangeOf(const SettingKey& k) {
    switch (k.form) {
        case SettingForm::Flag: return "true/false";
        case SettingForm::Colour: return "0-ffffff";
        case SettingForm::Text: return "-";
        case SettingForm::Choice:
        case SettingForm::Count:
            if (k.minimum == INT_MIN && k.maximum == INT_MAX) return "any";
            return format("%d-%d", k.minimum, k.maximum);
    }
    return "";
}

// What the numbers of the choices that matter most stand for.
std::string choiceEntries(const SettingKey& k) {
    std::string text;
    if (k.key == "ObjectSize") {
        for (int i = k.minimum; i <= k.maximum; ++i) text += format("%s%d = %d m", i ? ", " : "", i, (i + 1) * 10);
    } else if (k.key == "Scaling") {
        text = "0 = 1 cell per object (2 x 2 vertices), 1 = 2 cells (3 x 3), ... 31 = 32 cells (33 x 33)";
    }
    return text.empty() ? text : " (" + text + ")";
}

}  // namespace

int printKeys() {
    std::error_code ec;
    ConversionSettings defaults = defaultSettings(std::filesystem::current_path(ec));
    std::printf("%-40s %-6s %-10s %-12s %s\n", "KEY", "FORM", "RANGE", "DEFAULT", "MEANING");
    for (const SettingKey& k : settingKeys()) {
        if (k.row > 0) continue;  // zone rows: listed once
        std::string key = k.section + "." + k.key;
        if (k.row == 0) key = k.section + "." + k.key.substr(0, k.key.size() - 1) + "<0-31>";
        std::string value = formatSettingValue(defaults, k);
        if (value.empty()) value = "\"\"";
        std::printf("%-40s %-6s %-10s %-12s %s%s\n", key.c_str(), formName(k.form), rangeOf(k).c_str(),
                    value.c_str(), settingMeaning(k.section, k.key), choiceEntries(k).c_str());
    }
    return kExitDone;
}

int runKeys(int argc, char** argv, int first) {
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, kCommonValueOptions, kCommonFlagOptions, args, error)) return usageError(error);
    if (!args.positional.empty()) return usageError("keys takes no arguments");
    return printKeys();
}

}  // namespace gorvale::cli

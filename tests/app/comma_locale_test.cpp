// The desktop program runs in the user's locale. Numbers written into
// settings texts and files must not follow it: under a decimal-comma locale
// the dynamic vertical scale once became "0,333333", read back as 0, and
// every model came out flat.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "app/core/conversion_job.h"
#include "app/core/project_file.h"
#include "app/core/project_hooks.h"
#include "pipeline/window_values.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;

struct ConversionOutput {
    std::string verticalScale;
    std::map<std::string, std::string> files;  // name -> bytes
};

// The shipped example (dynamic vertical scale on), loaded and converted
// into `out` with a fixed clock; models unzipped, the log on.
ConversionOutput convertExample(const fs::path& out) {
    ConversionOutput result;
    test::RecordingUserInterface ui;
    Workspace ws(ui);
    // The project names its elevation file relative to its own folder.
    test::CurrentDirectory examples(GORVALE_SOURCE_DIR "/examples");
    EXPECT_TRUE(LoadProject(ws, "n43.gvl", standardProjectHooks()));
    // Picking the scaling in the window writes the dynamic vertical scale
    // (DVerticalScale is on) into its settings text.
    ApplyScalingChoice(ws.settings, ws.shaping);
    result.verticalScale = ws.settings.VerticalScale;
    ws.settings.RWXFile = (out / "z").string();
    ws.settings.PropFile = (out / "prop.txt").string();
    ws.settings.LogFile = (out / "run.log").string();
    ws.settings.LogEnable = true;
    ws.settings.ZipIt = false;
    ConversionJob job(ws);
    job.services().clock = [] { return 1'000'000'000; };
    const GenerateOutcome outcome = job.Generate();
    EXPECT_EQ(outcome.runResult, kRunCompleted);
    EXPECT_TRUE(ui.fileErrors.empty());
    for (const fs::directory_entry& e : fs::directory_iterator(out)) {
        std::string bytes = test::readFileBytes(e.path());
        // The log names the models with their folder, which differs per run.
        for (std::size_t at; (at = bytes.find(out.string())) != std::string::npos;)
            bytes.replace(at, out.string().size(), "OUT");
        result.files[e.path().filename().string()] = bytes;
    }
    return result;
}

TEST(CommaLocale, ModelsPropdumpAndLogEqualThoseOfTheCLocale) {
    test::ScratchDir commaDir;
    test::ScratchDir cDir;
    ConversionOutput comma;
    {
        test::CommaLocale locale;
        ASSERT_TRUE(locale.active());
        comma = convertExample(commaDir.path());
    }
    const ConversionOutput c = convertExample(cDir.path());
    EXPECT_EQ(comma.verticalScale, "0.333333");
    EXPECT_EQ(c.verticalScale, "0.333333");
    ASSERT_EQ(c.files.size(), 900u + 2);  // the models, the propdump and the log
    ASSERT_EQ(comma.files.size(), c.files.size());
    for (const auto& [name, bytes] : c.files) {
        const auto other = comma.files.find(name);
        ASSERT_NE(other, comma.files.end()) << name;
        EXPECT_TRUE(other->second == bytes) << name << " differs under the comma locale";
    }
}

}  // namespace
}  // namespace gorvale

// The include-circle check (run on this tree as the ctest include_layers)
// must fail, naming the folders, when a circle appears.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

test::CommandResult runCheck(const std::filesystem::path& root) {
    const std::string command = std::string("'") + GORVALE_SOURCE_DIR + "/scripts/check_layers.sh' '" +
                                root.string() + "' 2>&1";
    return test::runShell(command);
}

void writeSource(const test::ScratchDir& dir, const std::string& file, const std::string& include) {
    std::filesystem::create_directories((dir / file).parent_path());
    test::writeFileBytes(dir / file, "#pragma once\n#include \"" + include + "\"\n#include <vector>\n");
}

TEST(CheckLayers, NamesTheFoldersOfACircle) {
    test::ScratchDir dir;
    writeSource(dir, "base/a.h", "base/b.h");        // inside one folder: no edge
    writeSource(dir, "import/r.h", "base/a.h");
    writeSource(dir, "rwx/w.h", "import/r.h");
    writeSource(dir, "import/s.cpp", "rwx/w.h");     // import -> rwx -> import
    const test::CommandResult circle = runCheck(dir.path());
    EXPECT_NE(circle.exitCode, 0);
    // The circle may be named from either of its folders.
    EXPECT_TRUE(circle.out.find("import -> rwx -> import") != std::string::npos ||
                circle.out.find("rwx -> import -> rwx") != std::string::npos)
        << circle.out;

    std::filesystem::remove(dir / "import/s.cpp");
    EXPECT_EQ(runCheck(dir.path()).exitCode, 0);
    writeSource(dir, "base/c.h", "import/r.h");      // base reaching up
    const test::CommandResult upward = runCheck(dir.path());
    EXPECT_NE(upward.exitCode, 0);
    EXPECT_NE(upward.out.find("base/ must include nothing"), std::string::npos) << upward.out;
}

}  // namespace
}  // namespace gorvale

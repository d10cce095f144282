#include <gtest/gtest.h>

#include "app/core/project_check.h"
#include "app/core/project_file.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

// Every line the writer writes reads without a warning, whatever its form.
TEST(ProjectCheck, AFileTheWriterWroteHasNoIssues) {
    test::ScratchDir dir;
    ConversionSettings s = defaultSettings("/job");
    s.CliffColour = 0x123456;
    s.TreeZones[31].RWXName = "pine";
    ASSERT_TRUE(SaveProject(s, (dir / "p.gvl").string()));
    const ProjectCheck check = checkProjectFile((dir / "p.gvl").string());
    EXPECT_TRUE(check.opened);
    EXPECT_TRUE(check.anySection);
    for (const ProjectIssue& i : check.issues)
        ADD_FAILURE() << i.line << ": " << i.key << "=" << i.value << ": " << i.problem;
}

TEST(ProjectCheck, FilesWithoutSectionsAndMissingFilesAreTold) {
    test::ScratchDir dir;
    test::writeFileBytes(dir / "dem.gvl", std::string("\x1f\x8b binary\0 bytes\nmore", 20));
    ProjectCheck check = checkProjectFile((dir / "dem.gvl").string());
    EXPECT_TRUE(check.opened);
    EXPECT_FALSE(check.anySection);
    check = checkProjectFile((dir / "none.gvl").string());
    EXPECT_FALSE(check.opened);
    EXPECT_EQ(check.openError, "No such file or directory");
}

}  // namespace
}  // namespace gorvale

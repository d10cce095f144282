#include <gtest/gtest.h>

#include "app/core/project_paths.h"

namespace gorvale {
namespace {

TEST(ProjectPaths, RelativePathsAreTakenFromTheProjectsFolder) {
    struct Case {
        const char* folder;
        const char* path;
        const char* expected;
    };
    for (const Case& c : {Case{"examples", "n43.dem", "examples/n43.dem"},
                          Case{"examples", "out/n43/rwx/z", "examples/out/n43/rwx/z"},
                          Case{"/jobs/a", "../dem/x.dem", "/jobs/dem/x.dem"},
                          Case{"examples", "/abs/x.dem", "/abs/x.dem"},
                          Case{"", "n43.dem", "n43.dem"},
                          Case{"examples", "", ""}})
        EXPECT_EQ(resolveAgainst(c.folder, c.path), c.expected) << c.folder << " " << c.path;

    ConversionSettings s;
    s.DEMFile = "n43.dem";
    s.RWXFile = "out/z";
    s.PropFile = "/tmp/prop.txt";
    s.LogFile = "log.txt";
    resolveProjectPaths(s, "jobs/a/job.gvl");
    EXPECT_EQ(s.DEMFile, "jobs/a/n43.dem");
    EXPECT_EQ(s.RWXFile, "jobs/a/out/z");
    EXPECT_EQ(s.PropFile, "/tmp/prop.txt");
    EXPECT_EQ(s.LogFile, "jobs/a/log.txt");
}

}  // namespace
}  // namespace gorvale

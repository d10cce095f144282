#include "base/temporary_directory.h"

#include <gtest/gtest.h>

#include "tests/support/scoped_environment.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace gorvale {
namespace {

using test::ScopedEnvironment;

TEST(TemporaryDirectory, TempThenTmpdirThenTheSystemsFolderNeverHereOrTheRoot) {
    struct Case {
        std::optional<std::string> temp, tmpdir;
        std::string expected;
    };
    // With TEMP and TMPDIR out of the way the system's folder is /tmp here
    // (TMP and TEMPDIR, which the standard library also reads, are unset).
    const Case cases[] = {
        {"/t/temp", "/t/tmpdir", "/t/temp"},
        {"", "/t/tmpdir", "/t/tmpdir"},
        {std::nullopt, "/t/tmpdir", "/t/tmpdir"},
        {"", "", "/tmp"},
        {std::nullopt, "", "/tmp"},
        {"", std::nullopt, "/tmp"},
        {std::nullopt, std::nullopt, "/tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("TEMP=" + c.temp.value_or("(unset)") + " TMPDIR=" + c.tmpdir.value_or("(unset)"));
        ScopedEnvironment env{{"TEMP", c.temp}, {"TMPDIR", c.tmpdir}, {"TMP", std::nullopt}, {"TEMPDIR", std::nullopt}};
        EXPECT_EQ(temporaryDirectory(), c.expected);
        EXPECT_EQ(temporaryFilePath("z00n_00w.rwx"), c.expected + "/z00n_00w.rwx");
    }
}

TEST(TemporaryDirectory, FilePathJoinsWithOneSlash) {
    ScopedEnvironment env{{"TEMP", "/t/temp/"}};
    EXPECT_EQ(temporaryFilePath("a.rwx"), "/t/temp/a.rwx");
}

}  // namespace
}  // namespace gorvale

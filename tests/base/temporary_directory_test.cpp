#include "base/temporary_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace gorvale {
namespace {

// Sets (or, with nullopt, unsets) environment variables for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<std::pair<const char*, std::optional<std::string>>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name);
            saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
            set(name, value);
        }
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) set(it->first, it->second);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    static void set(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

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

#pragma once
// Shared harness of the gridded-reader tests: running a reader on bytes or a
// file, and the "every prefix" and fuzz checks that a damaged file always
// ends in a message or a normal read.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pipeline/c_file.h"
#include "pipeline/workspace.h"
#include "tests/support/test_support.h"

namespace gorvale::test {

// A reader as the tests drive it: given the workspace and a file path.
using PathReader = std::function<int(Workspace&, const std::filesystem::path&)>;

// Adapts a stream reader: opens the file in `mode`, hands the stream over and
// closes it afterwards, as the format dispatch does.
inline PathReader streamReader(int (*read)(Workspace&, std::FILE*), const char* mode) {
    return [read, mode](Workspace& ws, const std::filesystem::path& path) {
        FilePtr f = openFile(path.string(), mode);
        if (!f) {
            ADD_FAILURE() << "cannot open " << path;
            return -99;
        }
        return read(ws, f.get());
    };
}

inline PathReader nameReader(int (*read)(Workspace&, const std::string&)) {
    return [read](Workspace& ws, const std::filesystem::path& path) { return read(ws, path.string()); };
}

// What one run of a reader did.
struct ReadOutcome {
    int result = 0;
    bool reported = false;  // a message box or the "Error" dialog was shown
};

// What a reader must leave behind after any input.
struct HarnessRules {
    std::string extension = ".dat";
    std::vector<std::string> askAnswers;  // scripted answers to dialogs
    bool silentRefusalAllowed = false;    // a refusal without a message is fine
};

// Runs `read` on `bytes` written to a scratch file and checks the grid it
// leaves: after a read, storage that covers LastRow and LastCol; after a
// refusal, a message unless the rules allow silence.
inline ReadOutcome runOnBytes(const PathReader& read, const std::string& bytes, const HarnessRules& rules,
                              const ScratchDir& dir) {
    const std::filesystem::path path = dir / ("input" + rules.extension);
    writeFileBytes(path, bytes);
    RecordingUserInterface ui;
    ui.askAnswers = rules.askAnswers;
    Workspace ws(ui);
    ws.settings.DEMFile = path.string();
    ReadOutcome outcome;
    outcome.result = read(ws, path);
    outcome.reported = !ui.messages.empty() || !ui.fileErrors.empty();
    if (outcome.result == 0) {
        EXPECT_TRUE(ws.grid.hasStorage());
        EXPECT_GE(ws.grid.LastRow, 0);
        EXPECT_GE(ws.grid.LastCol, 0);
        EXPECT_LE(ws.grid.LastRow, ws.grid.AllocatedRows() - 1);
        EXPECT_LE(ws.grid.LastCol, ws.grid.AllocatedCols() - 1);
    } else if (!rules.silentRefusalAllowed) {
        EXPECT_TRUE(outcome.reported) << "refused without a message (result " << outcome.result << ")";
    }
    // Rewriting a truncated file forces a disk flush on some file systems;
    // a fresh file each time keeps thousands of cases quick.
    std::filesystem::remove(path);
    return outcome;
}

// Every prefix of `bytes` (all of them up to maxCases, otherwise evenly
// spaced lengths plus the last few) must end in a read or a message.
// Returns how many prefixes were read.
inline int checkEveryPrefix(const PathReader& read, const std::string& bytes, const HarnessRules& rules,
                            std::size_t maxCases = 400) {
    std::vector<std::size_t> lengths;
    if (bytes.size() + 1 <= maxCases) {
        for (std::size_t n = 0; n <= bytes.size(); ++n) lengths.push_back(n);
    } else {
        for (std::size_t i = 0; i < maxCases; ++i) lengths.push_back(bytes.size() * i / maxCases);
        for (std::size_t n = bytes.size() - 8; n <= bytes.size(); ++n) lengths.push_back(n);
    }
    ScratchDir dir;
    int reads = 0;
    for (std::size_t n : lengths) {
        SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
        if (runOnBytes(read, bytes.substr(0, n), rules, dir).result == 0) ++reads;
    }
    return reads;
}

// Damaged versions of `bytes`: cut, bit-flipped, overwritten, grown with
// garbage, or replaced by noise, from a fixed seed.
inline std::vector<std::string> fuzzCases(const std::string& bytes, unsigned seed, int count) {
    std::mt19937 rng(seed);
    auto pick = [&rng](std::size_t below) {
        return below == 0 ? std::size_t{0} : std::uniform_int_distribution<std::size_t>(0, below - 1)(rng);
    };
    std::vector<std::string> cases;
    for (int i = 0; i < count; ++i) {
        std::string s = bytes;
        switch (i % 5) {
        case 0:
            s.resize(pick(s.size() + 1));
            break;
        case 1:
            for (int f = 0, n = 1 + static_cast<int>(pick(8)); f < n && !s.empty(); ++f)
                s[pick(s.size())] ^= static_cast<char>(1u << pick(8));
            break;
        case 2:
            for (int f = 0, n = 1 + static_cast<int>(pick(16)); f < n && !s.empty(); ++f)
                s[pick(s.size())] = static_cast<char>(pick(256));
            break;
        case 3: {
            std::string garbage(pick(64), '\0');
            for (char& c : garbage) c = static_cast<char>(pick(256));
            s.insert(pick(s.size() + 1), garbage);
            break;
        }
        default:
            s.assign(pick(512), '\0');
            for (char& c : s) c = static_cast<char>(pick(256));
            break;
        }
        cases.push_back(std::move(s));
    }
    return cases;
}

inline void checkFuzzCases(const PathReader& read, const std::string& bytes, const HarnessRules& rules,
                           unsigned seed, int count) {
    const std::vector<std::string> cases = fuzzCases(bytes, seed, count);
    ScratchDir dir;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("fuzz case " + std::to_string(i));
        runOnBytes(read, cases[i], rules, dir);
    }
}

}  // namespace gorvale::test

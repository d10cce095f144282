// The robot log's modified mark and the offer to save it.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "world/builder_bot.h"

namespace gorvale {
namespace {

TEST(RobotLog, AModifiedLogIsOfferedForSavingOnceAndSavedWithCrLf) {
    test::ScratchDir dir;
    const std::string path = (dir / "robot.log").string();
    const struct {
        bool modified;
        Answer answer;
        std::string path;
        bool result;
        bool asked;
        bool saved;
    } cases[] = {
        {false, Answer::Yes, path, true, false, false},
        {true, Answer::No, path, true, true, false},
        {true, Answer::Yes, "", true, true, false},  // the save dialog was cancelled
        {true, Answer::Yes, path, true, true, true},
        {true, Answer::Yes, (dir / "missing" / "robot.log").string(), false, true, false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(path);
        RobotLog log;
        std::vector<std::string> told;
        log.OnLine = [&](const std::string& l) { told.push_back(l); };
        if (c.modified) {
            log.Append("Unable to login  (reason 13) INVALID_PASSWORD");
            log.Append("0x00000001 1 2 3 4 5 6 0 0 5 0 0 a.rwx");
        }
        test::RecordingUserInterface ui;
        ui.answers = {c.answer};
        const bool result = OfferToSaveRobotLog(ui, log, [&]() -> std::optional<std::string> {
            if (c.path.empty()) return std::nullopt;
            return c.path;
        });
        EXPECT_EQ(result, c.result);
        ASSERT_EQ(ui.messages.empty(), !c.asked);
        if (c.asked) {
            EXPECT_EQ(ui.messages[0].text, "Robot Log changed! \n Do you want to save it?");
            EXPECT_EQ(ui.messages[0].buttons, Buttons::YesNo);
        }
        EXPECT_EQ(told.size(), c.modified ? 2u : 0u);
        EXPECT_EQ(std::filesystem::exists(path), c.saved);
        EXPECT_EQ(log.Modified(), c.modified && !c.saved);
        if (c.saved)
            EXPECT_EQ(test::readFileBytes(path),
                      "Unable to login  (reason 13) INVALID_PASSWORD\r\n0x00000001 1 2 3 4 5 6 0 0 5 0 0 a.rwx\r\n");
        if (!c.result) {
            ASSERT_EQ(ui.messages.size(), 2u);
            EXPECT_NE(ui.messages[1].text.find("missing/robot.log"), std::string::npos) << ui.messages[1].text;
        }
    }
}

}  // namespace
}  // namespace gorvale

// The reason names of the robot log.
#include <gtest/gtest.h>

#include <set>

#include "world/aw_sdk.h"
#include "world/reason_table.h"

namespace gorvale {
namespace {

TEST(ReasonTable, HoldsTheHundredAndThreeRowsInOrderEndedByTheUnknownRow) {
    ASSERT_EQ(ReasonTableRows, 103);
    EXPECT_STREQ(ReasonTable[0].Name, "SUCCESS ");
    EXPECT_EQ(ReasonTable[0].Code, 0);
    EXPECT_STREQ(ReasonTable[102].Name, "LICENSE_ERROR");
    EXPECT_EQ(ReasonTable[102].Code, 518);
    EXPECT_EQ(ReasonTable[103].Code, -1);
    EXPECT_STREQ(ReasonTable[103].Name, "UnKnow Reason");
    std::set<int> codes;
    for (int i = 0; i < ReasonTableRows; ++i) {
        EXPECT_TRUE(codes.insert(ReasonTable[i].Code).second) << "code " << ReasonTable[i].Code << " twice";
        if (i > 0) EXPECT_LT(ReasonTable[i - 1].Code, ReasonTable[i].Code);
    }
}

TEST(ReasonTable, NamesCodesAsTheLibraryNumbersThem) {
    const struct {
        int code;
        const char* name;
    } cases[] = {
        {RC_SUCCESS, "SUCCESS "},
        {RC_NO_SUCH_CITIZEN, "NO_SUCH_CITIZEN"},
        {RC_INVALID_PASSWORD, "INVALID_PASSWORD"},
        {RC_WORLD_NOT_RUNNING, "WORLD_NOT_RUNNING"},
        {RC_UNAUTHORIZED, "UNAUTHORIZED"},
        {RC_NO_SUCH_OBJECT, "NO_SUCH_OBJECT"},
        {RC_NOT_DELETE_OWNER, "NOT_DELETE_OWNER"},
        {RC_NO_BUILD_RIGHTS, "NO_BUILD_RIGHTS"},
        {RC_OUT_OF_BOUNDS, "OUT_OF_BOUNDS"},
        {RC_TIMEOUT, "TIMEOUT"},
        {RC_UNABLE_TO_CONTACT_UNIVERSE, "UNABLE_TO_CONTACT_UNIVERSE"},
        {RC_NO_CONNECTION, "NO_CONNECTION"},
        {RC_CONNECTION_LOST, "CONNECTION_LOST"},
        {11404, "UNABLE_TO_CONTACT_UNIVERSE"},  // codes above 11000 are looked up without it
        {11000, "UnKnow Reason"},
        {2, "UnKnow Reason"},
        {-1, "UnKnow Reason"},
        {99999, "UnKnow Reason"},
    };
    for (const auto& c : cases) EXPECT_STREQ(ReasonText(c.code), c.name) << c.code;
}

}  // namespace
}  // namespace gorvale

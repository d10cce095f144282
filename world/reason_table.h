#pragma once
// The platform's reason codes by name, for the robot log.

#include <string>

namespace gorvale {

struct ReasonRow {
    const char* Name;
    int Code;
};

// The rows in search order, ended by the row (-1, "UnKnow Reason").
extern const ReasonRow ReasonTable[];
extern const int ReasonTableRows;  // rows before the terminator

// The name of a reason code; codes above 11000 are looked up as code - 11000;
// "UnKnow Reason" when the table does not hold it.
const char* ReasonText(int code);

}  // namespace gorvale

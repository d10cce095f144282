#pragma once
// Building from an object list: a saved robot log (records behind an object
// number), a file of the two shorter record layouts, or a propdump this
// program wrote. Only objects whose shifted position falls inside a
// rectangle (in destination coordinates, borders included) are built.

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/conversion_settings.h"
#include "base/user_interface.h"
#include "world/builder_bot.h"

namespace gorvale {

// A: robot log line (number, owner, timestamp, x, y, z, yaw, tilt, roll, 3 lengths);
// B: number, owner, timestamp, x, y, z, yaw, 3 lengths; C: B without the number;
// Propdump: the records of "propdump version 3" (A without the number).
enum class PropLayout { A, B, C, Propdump };

// Texts longer than this do not fit a record; such records are skipped.
inline constexpr int kPropTextLimit = 511;
inline constexpr int kPropFirstLineLimit = 1023;

struct PropRecord {
    unsigned number = 0;
    long owner = 0, timestamp = 0, x = 0, y = 0, z = 0, yaw = 0;
    int tilt = 0, roll = 0;
    int modelLength = 0, descriptionLength = 0, actionLength = 0;
    std::string model, description, action;
};

// The layout of a file from its first line (the line after a header line
// when it began with "p"); `header` is that first line.
PropLayout DetectPropLayout(const std::string& firstLine, bool headerSkipped);

// Values read, 0 for a record to skip, -1 at the end.
int ReadPropRecord(std::FILE* file, PropLayout layout, PropRecord& record);

// The dialog's two corners in AW units (10 m); each axis is ordered.
struct BuildRectangle {
    std::int32_t xLow = 0, xHigh = 0, zLow = 0, zHigh = 0;  // cm
};
// "N,W,S,E" in AW units: N and W positive, S and E negative; false when it does not read.
bool ParseAwRectangle(const std::string& text, BuildRectangle& out);
// One corner value of the dialogs in cm: the leading decimal number of
// `text` (0 when none) x 1000, negated for "S" or "E", saturated to 32 bits.
std::int32_t AwUnitsToCm(const std::string& text, bool southOrEast);
// The rectangle of two corners given in cm, each axis ordered.
BuildRectangle RectangleFromCorners(std::int32_t z1, std::int32_t x1, std::int32_t z2, std::int32_t x2);

inline constexpr const char* kSyntaxErrorText = "Syntax error in the parameters.\nRequest cancelled.";
inline constexpr const char* kRobotFailedText = "Robot failed to start.\nRequest cancelled.";
inline constexpr const char* kBuildConfirmText = "Are you sure?\nI'll build all objects within the rectangle!";

struct PropdumpBuildOutcome {
    bool started = false;   // the bot logged in and the file was read
    int built = 0;          // objects sent
    int records = 0;        // records read
    bool stopped = false;
    bool connectionLost = false;  // the world went away during the build
};

// "Build NOW!": checks, asks, logs the bot in, builds and logs out.
PropdumpBuildOutcome BuildFromPropdump(const ConversionSettings& s, BuilderBot& bot, UserInterface& ui,
                                       const std::string& path, const BuildRectangle& rect);

// The bot centre of the settings in cm, as a Generate run computes it.
void BotOffsets(const ConversionSettings& s, std::int32_t& x, std::int32_t& z);

}  // namespace gorvale

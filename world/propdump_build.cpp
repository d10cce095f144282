#include "world/propdump_build.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "base/c_file.h"
#include "base/text_convert.h"
#include "pipeline/propdump_writer.h"
#include "world/aw_sdk.h"

namespace gorvale {
namespace {

constexpr int kEventEveryRecords = 1000;
constexpr int kPaceStepMs = 50;

std::int32_t centimetres(const std::string& units, bool negative) {
    const std::int64_t cm = static_cast<std::int64_t>(decimalInt(units)) * (negative ? -1000 : 1000);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(cm, std::numeric_limits<std::int32_t>::min(),
                                                               std::numeric_limits<std::int32_t>::max()));
}

bool readText(std::FILE* f, int length, std::string& out, bool lineFeedsTo127) {
    out.assign(static_cast<std::size_t>(length), '\0');
    if (length > 0 && std::fread(out.data(), 1, out.size(), f) != out.size()) return false;
    if (lineFeedsTo127) std::replace(out.begin(), out.end(), '\n', '\x7f');
    return true;
}

// A line that one of the layouts reads as a record.
bool looksLikeRecord(const std::string& line) {
    unsigned number;
    long v[6];
    int t[5];
    if (std::sscanf(line.c_str(), "%x%ld%ld%ld%ld%ld%ld%d%d%d", &number, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                    &t[0], &t[1], &t[2]) >= 10)
        return true;
    return std::sscanf(line.c_str(), "%ld%ld%ld%ld%ld%ld%d%d%d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &t[0],
                       &t[1], &t[2]) >= 9;
}

}  // namespace

void BotOffsets(const ConversionSettings& s, std::int32_t& x, std::int32_t& z) {
    x = centimetres(s.BotCenterW, s.BotCenterWE == 1);
    z = centimetres(s.BotCenterN, s.BotCenterNS == 1);
}

PropLayout DetectPropLayout(const std::string& firstLine, bool headerSkipped) {
    // A propdump of this program: its records follow the header's version.
    if (headerSkipped && firstLine.rfind(kPropdumpHeader, 0) == 0) return PropLayout::Propdump;
    unsigned number;
    long v[6];
    int t[5];
    const int n = std::sscanf(firstLine.c_str(), "%x%ld%ld%ld%ld%ld%ld%d%d%d%d%d", &number, &v[0], &v[1], &v[2],
                              &v[3], &v[4], &v[5], &t[0], &t[1], &t[2], &t[3], &t[4]);
    if (n == 12) return PropLayout::A;
    if (n == 10 || (firstLine.size() > 1 && (firstLine[1] == ' ' || firstLine[1] == 'x'))) return PropLayout::B;
    return PropLayout::C;
}

int ReadPropRecord(std::FILE* f, PropLayout layout, PropRecord& r) {
    r = PropRecord{};
    int count = 0;
    switch (layout) {
        case PropLayout::A:
            count = std::fscanf(f, "%x%ld%ld%ld%ld%ld%ld%d%d%d%d%d", &r.number, &r.owner, &r.timestamp, &r.x, &r.y,
                                &r.z, &r.yaw, &r.tilt, &r.roll, &r.modelLength, &r.descriptionLength,
                                &r.actionLength);
            break;
        case PropLayout::B:
            count = std::fscanf(f, "%x%ld%ld%ld%ld%ld%ld%d%d%d", &r.number, &r.owner, &r.timestamp, &r.x, &r.y, &r.z,
                                &r.yaw, &r.modelLength, &r.descriptionLength, &r.actionLength);
            break;
        case PropLayout::C:
            count = std::fscanf(f, "%ld%ld%ld%ld%ld%ld%d%d%d", &r.owner, &r.timestamp, &r.x, &r.y, &r.z, &r.yaw,
                                &r.modelLength, &r.descriptionLength, &r.actionLength);
            break;
        case PropLayout::Propdump:
            count = std::fscanf(f, "%ld%ld%ld%ld%ld%ld%d%d%d%d%d", &r.owner, &r.timestamp, &r.x, &r.y, &r.z, &r.yaw,
                                &r.tilt, &r.roll, &r.modelLength, &r.descriptionLength, &r.actionLength);
            break;
    }
    if (count < 1) std::fgetc(f);
    if (count < 0 || std::feof(f)) return -1;
    if (count == 0 || r.modelLength == 0) return 0;
    // Lengths that cannot be texts of a record: skipped like a line that does not fit.
    if (r.modelLength < 0 || r.descriptionLength < 0 || r.actionLength < 0) return 0;
    std::fgetc(f);
    if (!readText(f, r.modelLength, r.model, false) || !readText(f, r.descriptionLength, r.description, true) ||
        !readText(f, r.actionLength, r.action, true))
        return -1;
    const int c1 = std::fgetc(f);
    // A line ended by a line feed alone: the next record starts right here.
    if (c1 != '\n' && c1 != EOF) {
        const int c2 = std::fgetc(f);
        if (c2 == '\r') std::fgetc(f);
    }
    if (r.modelLength > kPropTextLimit || r.descriptionLength > kPropTextLimit || r.actionLength > kPropTextLimit)
        return 0;
    return count;
}

namespace {

std::int32_t awUnitsToCm(long long units) {
    return static_cast<std::int32_t>(std::clamp<long long>(units * 1000, std::numeric_limits<std::int32_t>::min(),
                                                           std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::int32_t AwUnitsToCm(const std::string& text, bool southOrEast) {
    const long long units = decimalInt(text);
    return awUnitsToCm(southOrEast ? -units : units);
}

BuildRectangle RectangleFromCorners(std::int32_t z1, std::int32_t x1, std::int32_t z2, std::int32_t x2) {
    BuildRectangle r;
    r.xLow = std::min(x1, x2);
    r.xHigh = std::max(x1, x2);
    r.zLow = std::min(z1, z2);
    r.zHigh = std::max(z1, z2);
    return r;
}

bool ParseAwRectangle(const std::string& text, BuildRectangle& out) {
    long n, w, s, e;
    char tail;
    if (std::sscanf(text.c_str(), "%ld,%ld,%ld,%ld%c", &n, &w, &s, &e, &tail) != 4) return false;
    out = RectangleFromCorners(awUnitsToCm(n), awUnitsToCm(w), awUnitsToCm(s), awUnitsToCm(e));
    return true;
}

PropdumpBuildOutcome BuildFromPropdump(const ConversionSettings& s, BuilderBot& bot, UserInterface& ui,
                                       const std::string& path, const BuildRectangle& rect) {
    PropdumpBuildOutcome outcome;
    if (s.BotCitNumber.empty() || s.BotPrivPassw.empty() || s.BotWorldName.empty() || rect.xLow == rect.xHigh ||
        rect.zLow == rect.zHigh) {
        ui.message(kSyntaxErrorText, "Error", MessageKind::Error, Buttons::Ok);
        return outcome;
    }
    if (ui.message(kBuildConfirmText, "Confirm", MessageKind::Confirmation, Buttons::YesCancel) != Answer::Yes)
        return outcome;
    std::int32_t offsetX = 0, offsetZ = 0;
    BotOffsets(s, offsetX, offsetZ);
    bot.UniverseHost = s.BotUniverseURL;
    bot.UniversePort = s.BotUniversePort;
    if (bot.StartBot(s.BotCitNumber, s.BotPrivPassw, s.BotSpeedBar, s.BotWorldName) != 0) {
        ui.message(kRobotFailedText, "Error", MessageKind::Error, Buttons::Ok);
        return outcome;
    }
    FilePtr in = openFile(path, "rb");
    if (!in) {
        ui.message(format("Cannot open %s: %s", path.c_str(), std::strerror(errno)), "Error", MessageKind::Error,
                   Buttons::Ok);
        bot.StopBot();
        return outcome;
    }
    outcome.started = true;
    char buf[kPropFirstLineLimit + 1] = {};
    if (!std::fgets(buf, sizeof buf, in.get())) buf[0] = '\0';
    std::rewind(in.get());
    bool header = false;
    if (buf[0] == 'p') {
        char skip[kPropFirstLineLimit + 1];
        if (!std::fgets(skip, sizeof skip, in.get())) skip[0] = '\0';
        header = true;
    }
    // A saved robot log may begin with lines that are no records (a deletion's
    // sector counts): the layout is taken from the first line that is one.
    std::string sample = buf;
    if (!header && !looksLikeRecord(sample)) {
        const long start = std::ftell(in.get());
        char line[kPropFirstLineLimit + 1];
        while (std::fgets(line, sizeof line, in.get())) {
            if (looksLikeRecord(line)) {
                sample = line;
                break;
            }
        }
        std::fseek(in.get(), start, SEEK_SET);
    }
    const PropLayout layout = DetectPropLayout(sample, header);
    PropRecord r;
    for (int count = 0; !std::feof(in.get()); ++count) {
        if (ui.stopRequested()) {
            outcome.stopped = true;
            break;
        }
        const int got = ReadPropRecord(in.get(), layout, r);
        if (count % kEventEveryRecords == 0) ui.processEvents();
        if (got < 0) break;
        if (got < 9) continue;
        ++outcome.records;
        const std::int64_t x = static_cast<std::int64_t>(r.x) + offsetX;
        const std::int64_t z = static_cast<std::int64_t>(r.z) + offsetZ;
        if (x < rect.xLow || x > rect.xHigh || z < rect.zLow || z > rect.zHigh) continue;
        const int rc = bot.BuildObjectOriented(static_cast<std::int32_t>(r.owner), static_cast<std::int32_t>(x),
                                static_cast<std::int32_t>(r.timestamp), r.action, r.description, r.model, r.roll,
                                r.tilt, static_cast<std::int32_t>(r.yaw), static_cast<std::int32_t>(z),
                                static_cast<std::int32_t>(r.y));
        // A world that is gone refuses every later object too: the log has the reason once.
        if (rc == RC_CONNECTION_LOST || rc == RC_NO_CONNECTION) {
            outcome.connectionLost = true;
            break;
        }
        if (rc == 0) ++outcome.built;
        for (int w = 0; w < bot.PaceCount; ++w) {
            bot.Wait(kPaceStepMs);
            bot.Wait(kPaceStepMs);
        }
    }
    in.reset();
    bot.StopBot();
    return outcome;
}

}  // namespace gorvale

#pragma once
// Merging of a square block of neighbouring DTED tiles into one file that the
// DTED reader then reads as a single cell.
//
// The tiles are named "E0%2d_N%2d" plus the extension of the file the user
// opened, one tile per east and north number around a centre. The merged file
// "gorvale.$$$" gets empty UHL/DSI/ACC headers and, for each tile column from
// west to east, all its profiles: each profile is the southern tile's profile
// with the posts of the tiles to the north appended (every post of theirs but
// the northernmost, which repeats the next tile's southern edge).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/c_file.h"
#include "base/user_interface.h"

namespace gorvale {

inline constexpr const char* kDtedMergeFileName = "gorvale.$$$";
inline constexpr const char* kDtedTileNameFormat = "E0%2d_N%2d%s";
inline constexpr int kDtedMaxNumgrid = 15;

// The "Merge multiple grids" fields; the defaults are the fields' initial texts.
struct DtedMergeRequest {
    int East = 87;
    int North = 27;
    int Numgrid = 5;  // tiles along each side; more than kDtedMaxNumgrid counts as that
};

// The answer of the "Merge multiple grids" request: "EAST,NORTH,NUMGRID".
// No answer, or a blank one, means no merge. Each part is read like a typed
// field ("%d"); a missing or unreadable part keeps its default.
std::optional<DtedMergeRequest> parseDtedMergeAnswer(const std::optional<std::string>& answer);

// The request's answer text for given field values ("87,27,5").
std::string dtedMergeAnswerText(const DtedMergeRequest& request);

// The extension tiles are named with: the last 4 characters of the opened
// file's name, as typed (the whole name when it is shorter).
std::string dtedTileExtension(std::string_view openedFile);

// "E0%2d_N%2d%s": an east number of 5 gives "E0 5_...".
std::string dtedTileName(int east, int north, const std::string& extension);

struct DtedMergeJob {
    DtedMergeRequest request;
    int postsPerProfile = 121;        // of every tile
    std::string extension;            // see dtedTileExtension
    std::filesystem::path directory;  // where the tiles are and the merged file goes; empty: current
};

struct DtedMergeResult {
    // The merged file, open for reading and positioned after its headers;
    // null when the merge ended early (a tile or the merged file could not be
    // opened or written; the "Error" dialog named it).
    FilePtr merged;
    std::int64_t TotalPosts = 0;  // posts in the merged file
    std::int32_t AskedGridWidth = 0;  // posts per merged profile
    bool completed() const { return merged != nullptr; }
};

// Builds the merged file. A tile shorter than its profiles contributes zero
// bytes for what it lacks. When the merge ends early the partly written
// merged file stays on disk.
DtedMergeResult MergeDtedTiles(const DtedMergeJob& job, UserInterface& ui);

}  // namespace gorvale

#pragma once
// Reader of DTED Level 0 cells (".dt0") and the related 30-second summary
// files (".max", ".min", ".avg"), optionally merging a block of neighbouring
// tiles first (see dted_merge.h).
//
// Layout: three headers (UHL, DSI, ACC), then the profiles (longitude lines)
// from west to east, each an 8-byte profile header, one big-endian 16-bit
// sample per post from south to north, and a 4-byte checksum. Samples are
// taken as unsigned numbers (0 to 65535), so the file's sign-and-magnitude
// negatives come out above 32768.
//
// Before reading, the reader asks (through UserInterface::ask) two requests,
// the two halves of one dialog, in this order:
//   caption "DTED grid size", prompt "Please provide the horizontal size of
//     the grid:" plus a "Total Points: N" line, initial the posts per
//     profile: the answer is read with "%d" (0 counts as 1);
//   caption "Merge multiple grids", initial "87,27,5": an answer
//     "EAST,NORTH,NUMGRID" merges that block of tiles, which then sets the
//     size itself; no answer: no merge.
// Without a size answer and without a merge the file is not read.

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "base/grid_context.h"

namespace gorvale {

inline constexpr int kDtedUhlBytes = 80;
inline constexpr int kDtedDsiBytes = 648;
inline constexpr int kDtedAccBytes = 2700;
inline constexpr int kDtedHeaderBytes = kDtedUhlBytes + kDtedDsiBytes + kDtedAccBytes;  // 3428
inline constexpr int kDtedProfileHeaderBytes = 8;
inline constexpr int kDtedChecksumBytes = 4;
inline constexpr int kDtedPostBytes = 2;
inline constexpr int kDtedLevel0PostsPerProfile = 121;   // ".DT0"
inline constexpr int kDtedSummaryPostsPerProfile = 120;  // ".MAX", ".MIN", ".AVG"

inline constexpr const char* kDtedGridSizeCaption = "DTED grid size";
inline constexpr const char* kDtedGridSizePrompt = "Please provide the horizontal size of the grid:";
inline constexpr const char* kDtedMergeCaption = "Merge multiple grids";

// Posts the file holds when it holds postsPerProfile profiles:
// (fileSize - headers) / 2 - 6 * postsPerProfile (each profile adds 12 bytes
// of header and checksum). Negative for files shorter than that.
std::int64_t dtedTotalPosts(std::int64_t fileSize, int postsPerProfile);

// Reads a DTED file from `in` (binary, at its start; the caller owns and
// closes it) into ws.grid and runs the reader tail. postsPerProfile is 121
// for ".DT0" and 120 for the summary files. Merge tiles are looked up, and the
// merged file written, in tileDirectory (the current directory when empty);
// their extension is taken from ws.settings.DEMFile.
//
// LastRow is the posts per profile and LastCol the number of profiles, so the
// row LastRow and the column LastCol stay 0; the westernmost profile is column
// LastCol - 1 and the southern post row 0. The end of the file inside a
// profile ends the read normally; a read that gets no post at all shows an
// elevation range of 0.
//
// Returns 0 when read; -1 when a header is wrong (the "Error" dialog says
// which), when neither a size nor a merge was given ("No grid size was given;
// the DTED file was not read."), when a requested merge ended early (the
// opened file was given up for the merge, so nothing is read; the "Error"
// dialog names the missing tile), or when the grid cannot be made ("OCT file
// read failed!", also for sizes that are not positive). The grid stays as it
// was in all these cases, except when memory itself ran out.
int ReadDted(GridContext& ws, std::FILE* in, int postsPerProfile,
             const std::filesystem::path& tileDirectory = {});

}  // namespace gorvale

#include "import/dted_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "import/dted_merge.h"
#include "import/grid_operations.h"
#include "base/c_file.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr const char* kMemoryMessage = "OCT file read failed!";
constexpr const char* kNoGridSizeMessage = "No grid size was given; the DTED file was not read.";
constexpr const char* kMergePrompt = "East,North,Numgrid (Numgrid at most 15):";

struct HeaderBlock {
    const char* tag;  // its first three bytes
    int size;
};
constexpr HeaderBlock kHeaderBlocks[] = {
    {"UHL", kDtedUhlBytes}, {"DSI", kDtedDsiBytes}, {"ACC", kDtedAccBytes}};
constexpr std::size_t kTagLength = 3;
// Per profile, header and checksum take as many bytes as 6 posts.
constexpr int kProfileOverheadPosts = (kDtedProfileHeaderBytes + kDtedChecksumBytes) / kDtedPostBytes;

// Where the posts come from after the grid-size dialog: the opened file, or
// the merged file that replaced it.
struct PostSource {
    std::FILE* in = nullptr;
    FilePtr merged;
    std::int64_t TotalPosts = 0;
    std::int32_t AskedGridWidth = 0;
};

struct Extremes {
    bool any = false;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    void add(std::int32_t v) {
        if (!any || v < minimum) minimum = v;
        if (!any || v > maximum) maximum = v;
        any = true;
    }
};

std::string shownFileName(const GridContext& ws) {
    return ws.settings.DEMFile.empty() ? std::string("DTED file") : ws.settings.DEMFile;
}

bool checkHeaders(GridContext& ws, std::FILE* in) {
    std::vector<char> block;
    for (const HeaderBlock& h : kHeaderBlocks) {
        block.assign(static_cast<std::size_t>(h.size), 0);
        const std::size_t got = std::fread(block.data(), 1, block.size(), in);
        if (got < kTagLength || std::memcmp(block.data(), h.tag, kTagLength) != 0) {
            ws.ui->fileError(format("%s (no \"%s\" header)", shownFileName(ws).c_str(), h.tag));
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> streamSize(std::FILE* in) {
    if (std::fseek(in, 0, SEEK_END) != 0) return std::nullopt;
    const long size = std::ftell(in);
    if (size < 0) return std::nullopt;
    return static_cast<std::int64_t>(size);
}

// The "Merge multiple grids" part of the dialog. Returns false when a merge
// was asked for but ended early: the opened file has been given up for it, so
// there is nothing left to read.
bool offerMerge(GridContext& ws, int postsPerProfile, const std::filesystem::path& tileDirectory,
                PostSource& source, bool& merged) {
    merged = false;
    const std::optional<DtedMergeRequest> request = parseDtedMergeAnswer(ws.ui->ask(
        {kDtedMergeCaption, kMergePrompt, dtedMergeAnswerText(DtedMergeRequest{}), Question::DtedMerge}));
    if (!request) return true;
    DtedMergeJob job{*request, postsPerProfile, dtedTileExtension(ws.settings.DEMFile), tileDirectory};
    DtedMergeResult result = MergeDtedTiles(job, *ws.ui);
    if (!result.completed()) return false;
    source.merged = std::move(result.merged);
    source.in = source.merged.get();
    source.TotalPosts = result.TotalPosts;
    source.AskedGridWidth = result.AskedGridWidth;
    merged = true;
    return true;
}

// The "DTED grid size" number field: starts at the posts per profile and is
// read with "%d" (text that does not parse keeps the previous value). Returns
// false when nobody answered.
bool askGridWidth(GridContext& ws, int postsPerProfile, PostSource& source) {
    source.AskedGridWidth = postsPerProfile;
    const std::string prompt =
        format("%s\nTotal Points: %lld", kDtedGridSizePrompt, static_cast<long long>(source.TotalPosts));
    const std::optional<std::string> answer =
        ws.ui->ask({kDtedGridSizeCaption, prompt, format("%d", postsPerProfile), Question::DtedGridSize});
    if (!answer) return false;
    int width = source.AskedGridWidth;
    scanInt(*answer, width);
    source.AskedGridWidth = width;
    return true;
}

// LastRow = the width, LastCol = the posts / the width; the grid holds one
// more of each. Sizes that are not positive or too large are refused before
// the old grid is given up.
bool allocateGrid(GridContext& ws, std::int64_t width, std::int64_t totalPosts) {
    const std::int64_t lastRow = width;
    const std::int64_t lastCol = totalPosts / width;
    const std::int64_t rows = lastRow + 1;
    const std::int64_t cols = lastCol + 1;
    const bool fits = rows > 0 && cols > 0 && rows <= ElevationGrid::kMaxCells / cols;
    if (!fits || !ws.grid.allocate(rows, cols)) {
        ws.ui->message(kMemoryMessage, "Error", MessageKind::Error, Buttons::YesNoCancel);
        return false;
    }
    ws.grid.LastRow = static_cast<std::int32_t>(lastRow);
    ws.grid.LastCol = static_cast<std::int32_t>(lastCol);
    return true;
}

// Profiles west to east into columns LastCol-1 down to 0, posts south to
// north into rows 0 up. The end of the file ends the read. Window events are
// handled once per profile.
Extremes readProfiles(std::FILE* in, ElevationGrid& grid, UserInterface& ui) {
    constexpr int kChunkPosts = 4096;
    Extremes e;
    unsigned char header[kDtedProfileHeaderBytes];
    unsigned char checksum[kDtedChecksumBytes];
    std::vector<unsigned char> chunk(static_cast<std::size_t>(kChunkPosts) * kDtedPostBytes);
    for (int i = 0; i < grid.LastCol; ++i) {
        ui.processEvents();
        if (std::fread(header, 1, sizeof header, in) != sizeof header) return e;
        const int col = grid.LastCol - 1 - i;
        for (int j = 0; j < grid.LastRow;) {
            const std::size_t want = static_cast<std::size_t>(std::min(kChunkPosts, grid.LastRow - j));
            const std::size_t got = std::fread(chunk.data(), kDtedPostBytes, want, in);
            for (std::size_t k = 0; k < got; ++k, ++j) {
                const std::int32_t value = chunk[2 * k] * 256 + chunk[2 * k + 1];
                grid.cell(j, col) = value;
                e.add(value);
            }
            if (got < want) return e;
        }
        // A missing checksum shows as the end of the file at the next header.
        (void)std::fread(checksum, 1, sizeof checksum, in);
    }
    return e;
}

}  // namespace

std::int64_t dtedTotalPosts(std::int64_t fileSize, int postsPerProfile) {
    return (fileSize - kDtedHeaderBytes) / kDtedPostBytes -
           std::int64_t{kProfileOverheadPosts} * postsPerProfile;
}

int ReadDted(GridContext& ws, std::FILE* in, int postsPerProfile,
             const std::filesystem::path& tileDirectory) {
    if (!checkHeaders(ws, in)) return -1;
    const std::optional<std::int64_t> size = streamSize(in);
    if (!size || std::fseek(in, kDtedHeaderBytes, SEEK_SET) != 0) {
        ws.ui->fileError(shownFileName(ws));
        return -1;
    }

    PostSource source;
    source.in = in;
    source.TotalPosts = dtedTotalPosts(*size, postsPerProfile);
    // One dialog holds both: the size field, and the merge that, when made,
    // replaces the file and the size.
    const bool sizeGiven = askGridWidth(ws, postsPerProfile, source);
    bool merged = false;
    if (!offerMerge(ws, postsPerProfile, tileDirectory, source, merged)) return -1;
    if (!merged && !sizeGiven) {
        ws.ui->message(kNoGridSizeMessage, kDtedGridSizeCaption, MessageKind::Error, Buttons::Ok);
        return -1;
    }
    if (source.AskedGridWidth == 0) source.AskedGridWidth = 1;

    if (!allocateGrid(ws, source.AskedGridWidth, source.TotalPosts)) return -1;
    const Extremes e = readProfiles(source.in, ws.grid, *ws.ui);
    FinishGridLoad(ws, e.minimum, e.maximum);
    return 0;
}

}  // namespace gorvale

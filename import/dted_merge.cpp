#include "import/dted_merge.h"

#include <algorithm>
#include <vector>

#include "import/dted_reader.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

// Reads exactly bytes.size() bytes; what the file lacks stays 0.
void readZeroFilled(std::FILE* in, std::vector<unsigned char>& bytes) {
    std::fill(bytes.begin(), bytes.end(), 0);
    if (!bytes.empty()) (void)std::fread(bytes.data(), 1, bytes.size(), in);
}

bool writeBytes(std::FILE* out, const unsigned char* data, std::size_t count) {
    return count == 0 || std::fwrite(data, 1, count, out) == count;
}

// A header block: its three-letter tag followed by zeros.
bool writeEmptyHeader(std::FILE* out, const char* tag, int size) {
    std::vector<unsigned char> block(static_cast<std::size_t>(size), 0);
    std::copy(tag, tag + 3, block.begin());
    return writeBytes(out, block.data(), block.size());
}

bool writeEmptyHeaders(std::FILE* out) {
    return writeEmptyHeader(out, "UHL", kDtedUhlBytes) && writeEmptyHeader(out, "DSI", kDtedDsiBytes) &&
           writeEmptyHeader(out, "ACC", kDtedAccBytes);
}

std::filesystem::path placeIn(const std::filesystem::path& directory, const std::string& name) {
    return directory.empty() ? std::filesystem::path(name) : directory / name;
}

// One tile column: the tiles from south to north, each after its headers.
// Empty when a tile cannot be opened (named in the "Error" dialog).
std::vector<FilePtr> openTileColumn(const DtedMergeJob& job, int east, int southNorth, int count,
                                    UserInterface& ui) {
    std::vector<FilePtr> tiles;
    for (int j = 0; j < count; ++j) {
        const std::filesystem::path path =
            placeIn(job.directory, dtedTileName(east, southNorth + j, job.extension));
        FilePtr tile = openFile(path.string(), "rb");
        if (!tile) {
            ui.fileError(path.string());
            return {};
        }
        if (std::fseek(tile.get(), kDtedHeaderBytes, SEEK_SET) != 0) {
            ui.fileError(path.string());
            return {};
        }
        tiles.push_back(std::move(tile));
    }
    return tiles;
}

// Appends the tile column's profiles to `out`; returns the data bytes written
// or -1 when a write failed.
std::int64_t mergeTileColumn(std::vector<FilePtr>& tiles, int postsPerProfile, std::FILE* out) {
    const std::size_t dataBytes = static_cast<std::size_t>(postsPerProfile) * kDtedPostBytes;
    std::vector<unsigned char> southern(kDtedProfileHeaderBytes + dataBytes);
    std::vector<unsigned char> northern(kDtedProfileHeaderBytes + dataBytes);
    std::vector<unsigned char> checksum(kDtedChecksumBytes);
    std::int64_t written = 0;
    for (int p = 0; p < postsPerProfile; ++p) {
        readZeroFilled(tiles[0].get(), southern);
        if (!writeBytes(out, southern.data(), southern.size())) return -1;
        written += static_cast<std::int64_t>(dataBytes);
        for (std::size_t j = 1; j < tiles.size(); ++j) {
            readZeroFilled(tiles[j].get(), northern);
            // Every post but the northernmost, which the next tile repeats.
            const std::size_t kept = dataBytes - kDtedPostBytes;
            if (!writeBytes(out, northern.data() + kDtedProfileHeaderBytes, kept)) return -1;
            written += static_cast<std::int64_t>(kept);
            readZeroFilled(tiles[j].get(), checksum);
        }
        readZeroFilled(tiles[0].get(), checksum);
        if (!writeBytes(out, checksum.data(), checksum.size())) return -1;
    }
    return written;
}

}  // namespace

std::optional<DtedMergeRequest> parseDtedMergeAnswer(const std::optional<std::string>& answer) {
    if (!answer || trimRight(*answer).empty()) return std::nullopt;
    DtedMergeRequest r;
    int* fields[] = {&r.East, &r.North, &r.Numgrid};
    std::string_view rest = *answer;
    for (int* field : fields) {
        const std::size_t comma = rest.find(',');
        scanInt(rest.substr(0, comma), *field);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return r;
}

std::string dtedMergeAnswerText(const DtedMergeRequest& request) {
    return format("%d,%d,%d", request.East, request.North, request.Numgrid);
}

std::string dtedTileExtension(std::string_view openedFile) {
    constexpr std::size_t kExtensionLength = 4;
    return std::string(openedFile.size() > kExtensionLength
                           ? openedFile.substr(openedFile.size() - kExtensionLength)
                           : openedFile);
}

std::string dtedTileName(int east, int north, const std::string& extension) {
    return format(kDtedTileNameFormat, east, north, extension.c_str());
}

DtedMergeResult MergeDtedTiles(const DtedMergeJob& job, UserInterface& ui) {
    DtedMergeResult result;
    const int n = std::min(job.request.Numgrid, kDtedMaxNumgrid);
    const int half = (n - 1) / 2;
    const int posts = std::max(job.postsPerProfile, 1);

    const std::filesystem::path mergedPath = placeIn(job.directory, kDtedMergeFileName);
    FilePtr out = openFile(mergedPath.string(), "wb");
    if (!out || !writeEmptyHeaders(out.get())) {
        ui.fileError(mergedPath.string());
        return result;
    }

    std::int64_t mergedBytes = 0;
    for (int i = 0; i < n; ++i) {
        result.AskedGridWidth += posts - 1;
        std::vector<FilePtr> tiles =
            openTileColumn(job, job.request.East - half + i, job.request.North - half, n, ui);
        if (tiles.empty()) return result;
        const std::int64_t written = mergeTileColumn(tiles, posts, out.get());
        if (written < 0) {
            ui.fileError(mergedPath.string());
            return result;
        }
        mergedBytes += written;
    }

    if (std::fclose(out.release()) != 0) {
        ui.fileError(mergedPath.string());
        return result;
    }
    FilePtr merged = openFile(mergedPath.string(), "rb");
    if (!merged || std::fseek(merged.get(), kDtedHeaderBytes, SEEK_SET) != 0) {
        ui.fileError(mergedPath.string());
        return result;
    }
    result.AskedGridWidth += 1;
    result.TotalPosts = mergedBytes / kDtedPostBytes;
    result.merged = std::move(merged);
    return result;
}

}  // namespace gorvale

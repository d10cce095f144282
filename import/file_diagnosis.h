#pragma once
// Plain reasons why a file cannot be an elevation model, found before any
// reader runs: it cannot be opened (with the system's reason), it is a
// folder, it is empty, it is compressed, or it is an SDTS module other than
// the catalog. Front ends show the reason beside the readers' own messages.

#include <optional>
#include <string>

namespace gorvale {

struct FileProblem {
    bool cannotOpen = false;  // the open itself failed (the reader would say "Can't open")
    std::string reason;       // "No such file or directory", "is compressed with gzip; ...", ...
};

// Nothing when no reason is seen; the reader still decides.
std::optional<FileProblem> findElevationFileProblem(const std::string& path);

}  // namespace gorvale

#include <cstdint>
#include <vector>

namespace gorvale {

class ElevationGrid;

// Cells holding the values writers use for "no data" (-32767, -32000):
// they are converted like any elevation and become deep pits or spikes.
struct VoidCells {
    std::vector<std::int32_t> values;  // the void values seen
    long long count = 0;               // cells holding any of them
};
VoidCells countVoidCells(const ElevationGrid& grid);

}  // namespace gorvale

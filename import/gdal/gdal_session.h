#pragma once
// What every use of the GDAL library in the core shares: the drivers are
// registered once per process, and while a GdalSession lives GDAL keeps its
// complaints to itself (they would otherwise go to stderr) so that the
// caller can turn the last one into its own message naming the file.

#include <string>

namespace gorvale {

class GdalSession {
public:
    // Registers GDAL's drivers the first time; silences GDAL's error
    // printing on this thread and forgets any earlier error.
    GdalSession();
    ~GdalSession();
    GdalSession(const GdalSession&) = delete;
    GdalSession& operator=(const GdalSession&) = delete;

    // GDAL's last error message, or `fallback` when it gave none.
    static std::string lastError(const std::string& fallback = "no reason given");
};

}  // namespace gorvale

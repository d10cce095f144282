#include "import/gdal_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace gorvale {
namespace {

using Entry = GdalLibrary* (*)();

struct Loaded {
    GdalLibrary* library = nullptr;
    std::string error;
};

std::string moduleBeside(const std::filesystem::path& program) {
    return (program.parent_path() / kGdalModuleFile).string();
}

Loaded load() {
    Loaded out;
    std::string tried;
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("GORVALE_GDAL_MODULE"); env && *env) candidates.emplace_back(env);
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) candidates.push_back(moduleBeside(self));
    candidates.emplace_back(kGdalModuleFile);  // the loader's search path
    for (const std::string& candidate : candidates) {
        // The module stays loaded until the process ends.
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            tried += (tried.empty() ? "" : "; ") + std::string(why ? why : candidate);
            continue;
        }
        auto entry = reinterpret_cast<Entry>(dlsym(handle, kGdalModuleEntry));
        if (entry) {
            out.library = entry();
            if (out.library) return out;
        }
        tried += (tried.empty() ? "" : "; ") + candidate + " has no usable entry point";
    }
    out.error = "the GDAL module could not be loaded (" + tried + ")";
    return out;
}

}  // namespace

GdalLibrary* gdalLibrary(std::string& error) {
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (!loaded.library) error = loaded.error;
    return loaded.library;
}

}  // namespace gorvale

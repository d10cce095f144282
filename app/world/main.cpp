// gorvale-world: a local universe and world server for the builder bot.
//   gorvale-world --db FILE citizen add --number N --password P
//   gorvale-world --db FILE world add --name NAME [--eminent-domain N,...] [--build N,...|all] [--stopped]
//   gorvale-world --db FILE serve [--host 127.0.0.1] [--port 6670] [--idle-timeout SECONDS]
//   gorvale-world --db FILE dump --world NAME --propdump FILE
//   gorvale-world --db FILE dump --world NAME --elevdump FILE
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/world/world_database.h"
#include "app/world/world_server.h"
#include "import/elevdump_writer.h"
#include "pipeline/propdump_writer.h"
#include "world/native_terrain.h"

namespace {

using namespace gorvale::worldserver;

constexpr const char* kUsage =
    "usage:\n"
    "  gorvale-world --db FILE citizen add --number N --password P\n"
    "  gorvale-world --db FILE world add --name NAME [--eminent-domain N,...] [--build N,...|all] [--stopped]\n"
    "  gorvale-world --db FILE serve [--host 127.0.0.1] [--port 6670] [--idle-timeout SECONDS]\n"
    "  gorvale-world --db FILE dump --world NAME --propdump FILE\n"
    "  gorvale-world --db FILE dump --world NAME --elevdump FILE\n";

int usage(const std::string& message) {
    std::fprintf(stderr, "gorvale-world: %s\n%s", message.c_str(), kUsage);
    return 2;
}

struct Args {
    std::vector<std::string> words;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
};

bool parse(int argc, char** argv, Args& out, std::string& error) {
    static const std::set<std::string> withValue = {"--db", "--number", "--password", "--name", "--eminent-domain",
                                                    "--build", "--host", "--port", "--world", "--propdump", "--elevdump",
                                                    "--idle-timeout"};
    static const std::set<std::string> flags = {"--stopped"};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--", 0) == 0) {
            if (flags.count(a)) {
                out.flags.insert(a);
            } else if (withValue.count(a)) {
                if (i + 1 >= argc) {
                    error = a + " needs a value";
                    return false;
                }
                out.values[a] = argv[++i];
            } else {
                error = "unknown option " + a;
                return false;
            }
        } else {
            out.words.push_back(a);
        }
    }
    return true;
}

// A whole decimal number within 32 bits.
bool toInt(const std::string& text, long long min, long long max, long long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

bool citizenList(const std::string& text, std::vector<std::int32_t>& out, std::string& error) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        long long v = 0;
        if (!toInt(item, 1, INT32_MAX, v)) {
            error = "not a citizen number: \"" + item + "\"";
            return false;
        }
        out.push_back(static_cast<std::int32_t>(v));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

int citizenAdd(WorldDatabase& db, const Args& a) {
    long long number = 0;
    if (!a.values.count("--number") || !toInt(a.values.at("--number"), 1, INT32_MAX, number))
        return usage("citizen add needs --number N (a positive whole number)");
    if (!a.values.count("--password")) return usage("citizen add needs --password P");
    std::string error;
    if (!db.AddCitizen(static_cast<std::int32_t>(number), a.values.at("--password"), error)) {
        std::fprintf(stderr, "gorvale-world: %s\n", error.c_str());
        return 1;
    }
    std::printf("citizen %lld added\n", number);
    return 0;
}

int worldAdd(WorldDatabase& db, const Args& a) {
    if (!a.values.count("--name")) return usage("world add needs --name NAME");
    std::vector<std::int32_t> eminent, build;
    bool buildAll = false;
    std::string error;
    if (a.values.count("--eminent-domain") && !citizenList(a.values.at("--eminent-domain"), eminent, error))
        return usage("--eminent-domain: " + error);
    if (a.values.count("--build")) {
        if (a.values.at("--build") == "all")
            buildAll = true;
        else if (!citizenList(a.values.at("--build"), build, error))
            return usage("--build: " + error);
    }
    const std::string name = a.values.at("--name");
    if (!db.AddWorld(name, eminent, build, buildAll, a.flags.count("--stopped") != 0, error)) {
        std::fprintf(stderr, "gorvale-world: %s\n", error.c_str());
        return 1;
    }
    std::printf("world %s added%s\n", name.c_str(), a.flags.count("--stopped") ? " (stopped)" : "");
    return 0;
}

// The world's terrain as an elevation dump of version 2 (32-bit heights,
// 16-bit codes), pages wide enough for every stored cell.
int dumpTerrain(WorldDatabase& db, const WorldInfo& world, const std::string& path) {
    bool any = false;
    std::int32_t xLow = 0, xHigh = 0, zLow = 0, zHigh = 0;
    db.ForEachTerrainCell(world.id, [&](std::int32_t x, std::int32_t z, std::int32_t, std::int32_t) {
        xLow = any ? std::min(xLow, x) : x;
        xHigh = any ? std::max(xHigh, x) : x;
        zLow = any ? std::min(zLow, z) : z;
        zHigh = any ? std::max(zHigh, z) : z;
        any = true;
    });
    const int radius = gorvale::PageRadiusFor(xLow, zLow, xHigh, zHigh);
    if (radius > gorvale::kMaxMirrorPageRadius) {
        std::fprintf(stderr, "gorvale-world: the terrain of %s reaches cells x=%d..%d z=%d..%d, more than %d pages "
                     "from the origin; not written\n", world.name.c_str(), xLow, xHigh, zLow, zHigh,
                     gorvale::kMaxMirrorPageRadius);
        return 1;
    }
    gorvale::TerrainArrays terrain(radius);
    const int c = terrain.centre();
    db.ForEachTerrainCell(world.id, [&](std::int32_t x, std::int32_t z, std::int32_t h, std::int32_t t) {
        terrain.height(x + c, z + c) = h;
        terrain.texture(x + c, z + c) = static_cast<std::uint16_t>(t);
    });
    const int nodes = gorvale::WriteElevdump(path, terrain, true);
    if (nodes < 0) {
        std::fprintf(stderr, "gorvale-world: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("%d terrain nodes of %s written to %s\n", nodes, world.name.c_str(), path.c_str());
    return 0;
}

int dump(WorldDatabase& db, const Args& a) {
    if (a.values.count("--world") && a.values.count("--elevdump") && !a.values.count("--propdump")) {
        const std::optional<WorldInfo> world = db.FindWorld(a.values.at("--world"));
        if (!world) {
            std::fprintf(stderr, "gorvale-world: no world named %s\n", a.values.at("--world").c_str());
            return 1;
        }
        return dumpTerrain(db, *world, a.values.at("--elevdump"));
    }
    if (!a.values.count("--world") || !a.values.count("--propdump"))
        return usage("dump needs --world NAME and --propdump FILE or --elevdump FILE");
    const std::string name = a.values.at("--world");
    const std::string path = a.values.at("--propdump");
    const std::optional<WorldInfo> world = db.FindWorld(name);
    if (!world) {
        std::fprintf(stderr, "gorvale-world: no world named %s\n", name.c_str());
        return 1;
    }
    gorvale::FilePtr out = gorvale::OpenPropdump(path);
    if (!out) {
        std::fprintf(stderr, "gorvale-world: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    bool ok = true;
    long count = 0;
    db.ForEachObject(world->id, [&](const gorvale::WorldObject& o) {
        if (ok) ok = gorvale::WritePropdumpLine(out.get(), gorvale::PropdumpLine(o));
        ++count;
    });
    std::FILE* f = out.release();
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "gorvale-world: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("%ld objects of %s written to %s\n", count, world->name.c_str(), path.c_str());
    return 0;
}

int serve(WorldDatabase& db, const Args& a) {
    ServerOptions options;
    if (a.values.count("--host")) options.host = a.values.at("--host");
    long long v = 0;
    if (a.values.count("--port")) {
        if (!toInt(a.values.at("--port"), 0, 65535, v)) return usage("--port needs a number from 0 to 65535");
        options.port = static_cast<unsigned short>(v);
    }
    if (a.values.count("--idle-timeout")) {
        if (!toInt(a.values.at("--idle-timeout"), 1, 86400, v)) return usage("--idle-timeout needs 1 to 86400 seconds");
        options.idleTimeoutSeconds = static_cast<int>(v);
    }
    asio::io_context io(1);
    WorldServer server(io, db, options);
    asio::ip::tcp::endpoint endpoint;
    try {
        endpoint = server.Listen();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gorvale-world: cannot listen on %s:%u: %s\n", options.host.c_str(), options.port,
                     e.what());
        return 1;
    }
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const std::error_code& ec, int) {
        if (!ec) server.Shutdown();
    });
    std::printf("listening on %s:%u\n", endpoint.address().to_string().c_str(), endpoint.port());
    std::fflush(stdout);
    io.run();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Args a;
    std::string error;
    if (!parse(argc, argv, a, error)) return usage(error);
    if (!a.values.count("--db")) return usage("--db FILE is needed");
    const std::vector<std::string>& w = a.words;
    try {
        WorldDatabase db(a.values.at("--db"));
        if (w.size() == 2 && w[0] == "citizen" && w[1] == "add") return citizenAdd(db, a);
        if (w.size() == 2 && w[0] == "world" && w[1] == "add") return worldAdd(db, a);
        if (w.size() == 1 && w[0] == "serve") return serve(db, a);
        if (w.size() == 1 && w[0] == "dump") return dump(db, a);
        return usage(w.empty() ? "a command is needed" : "unknown command: " + w[0]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gorvale-world: %s\n", e.what());
        return 1;
    }
}

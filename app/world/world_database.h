#pragma once
// The world server's store: citizens, worlds with their rights, objects with
// per-cell sequence numbers, and terrain cells, in one SQLite file (WAL).
// Changes are gathered into a transaction that the server commits before it
// answers them, so an answered change survives a killed server.

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/world_object.h"

namespace gorvale::worldserver {

// A prepared statement; reset after each use, finalised with its owner.
class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, const std::string& value);
    // SQLITE_ROW or SQLITE_DONE; anything else throws.
    int step();
    // As step, but a broken uniqueness rule returns SQLITE_CONSTRAINT.
    int stepUnique();
    void reset();
    std::int64_t column(int i) const { return sqlite3_column_int64(stmt_, i); }
    std::string text(int i) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

struct WorldInfo {
    std::int64_t id = 0;
    std::string name;
    bool running = true;
    bool buildAll = false;
};

struct CellSequence {
    std::int32_t cellX = 0, cellZ = 0, sequence = 0;
};

class WorldDatabase {
public:
    // Opens (creating when missing) the file; throws std::runtime_error naming it.
    explicit WorldDatabase(const std::string& path);
    ~WorldDatabase();
    WorldDatabase(const WorldDatabase&) = delete;
    WorldDatabase& operator=(const WorldDatabase&) = delete;

    // Administration (each its own transaction). False with `error` on refusal.
    bool AddCitizen(std::int32_t number, const std::string& password, std::string& error);
    bool AddWorld(const std::string& name, const std::vector<std::int32_t>& eminent,
                  const std::vector<std::int32_t>& build, bool buildAll, bool stopped, std::string& error);

    // The stored password hash of a citizen, or nothing.
    std::optional<std::string> PasswordHash(std::int32_t citizen);
    std::optional<WorldInfo> FindWorld(const std::string& name);
    bool HasRight(std::int64_t world, std::int32_t citizen, int kind);  // kind: kBuildRight, kEminentDomain

    // Changes, inside the open transaction (begun on demand).
    bool ObjectExists(std::int64_t world, std::int32_t cellX, std::int32_t cellZ, std::int32_t number);
    // False (and nothing stored) when its cell already holds an object of that number.
    bool InsertObject(std::int64_t world, const WorldObject& o);
    // Owner of an object, or nothing when there is none.
    std::optional<std::int32_t> ObjectOwner(std::int64_t world, std::int32_t cellX, std::int32_t cellZ,
                                            std::int32_t number);
    void DeleteObject(std::int64_t world, std::int32_t cellX, std::int32_t cellZ, std::int32_t number);
    void SetTerrain(std::int64_t world, std::int32_t x, std::int32_t z, std::int32_t height, std::int32_t texture);
    void DeleteAllTerrain(std::int64_t world);

    // Cells of a sector newer than `after`, oldest change first.
    std::vector<CellSequence> CellsAfter(std::int64_t world, std::int32_t sectorX, std::int32_t sectorZ,
                                         std::int32_t after);
    void ForEachObjectInCell(std::int64_t world, std::int32_t cellX, std::int32_t cellZ,
                             const std::function<void(const WorldObject&)>& each);
    // Every object of a world in the order it was built.
    void ForEachObject(std::int64_t world, const std::function<void(const WorldObject&)>& each);

    // Every terrain cell of a world: x, z, height (cm), texture code.
    void ForEachTerrainCell(std::int64_t world,
                            const std::function<void(std::int32_t, std::int32_t, std::int32_t, std::int32_t)>& each);

    bool InTransaction() const { return inTransaction_; }
    void Begin();
    void Commit();

private:
    void closeDatabase();
    void exec(const char* sql);
    void touchCell(std::int64_t world, std::int32_t cellX, std::int32_t cellZ);

    sqlite3* db_ = nullptr;
    std::string path_;
    bool inTransaction_ = false;
    std::unique_ptr<Statement> findCitizen_, findWorld_, findRight_, objectExists_, insertObject_, objectOwner_,
        deleteObject_, sectorMax_, upsertCell_, setTerrain_, deleteTerrain_, cellsAfter_, objectsInCell_,
        allObjects_;
    // Largest sequence per (world, sector x, sector z), read from the file once.
    std::map<std::tuple<std::int64_t, std::int32_t, std::int32_t>, std::int32_t> sectorMax_cache_;
};

inline constexpr int kBuildRight = 0;
inline constexpr int kEminentDomain = 1;

// Cell and sector arithmetic of the platform (floor division).
std::int32_t CellOf(std::int32_t cm);
std::int32_t SectorOf(std::int32_t cell);

}  // namespace gorvale::worldserver

namespace gorvale::worldserver {
// Argon2id through libsodium; sodium_init() is called on first use.
std::string HashPassword(const std::string& password);
// Constant-time comparison against a stored hash.
bool VerifyPassword(const std::string& hash, const std::string& password);
}  // namespace gorvale::worldserver

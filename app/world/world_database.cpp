#include "app/world/world_database.h"

#include <sodium.h>

#include <ctime>
#include <stdexcept>

namespace gorvale::worldserver {
namespace {

// Argon2id at the interactive time cost but 16 MiB of memory: the server
// stays small while a login still costs an attacker real work.
constexpr unsigned long long kHashOps = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr std::size_t kHashMemory = 16u * 1024 * 1024;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS citizens(number INTEGER PRIMARY KEY, password_hash TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS worlds(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  running INTEGER NOT NULL, build_all INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS world_rights(world INTEGER NOT NULL, citizen INTEGER NOT NULL, kind INTEGER NOT NULL,
  PRIMARY KEY(world, citizen, kind));
CREATE TABLE IF NOT EXISTS objects(id INTEGER PRIMARY KEY, world INTEGER NOT NULL, cell_x INTEGER NOT NULL,
  cell_z INTEGER NOT NULL, number INTEGER NOT NULL, owner INTEGER NOT NULL, timestamp INTEGER NOT NULL,
  x INTEGER NOT NULL, y INTEGER NOT NULL, z INTEGER NOT NULL, yaw INTEGER NOT NULL, tilt INTEGER NOT NULL,
  roll INTEGER NOT NULL, model BLOB NOT NULL, description BLOB NOT NULL, action BLOB NOT NULL,
  UNIQUE(world, cell_x, cell_z, number));
CREATE TABLE IF NOT EXISTS cells(world INTEGER NOT NULL, cell_x INTEGER NOT NULL, cell_z INTEGER NOT NULL,
  sector_x INTEGER NOT NULL, sector_z INTEGER NOT NULL, sequence INTEGER NOT NULL,
  PRIMARY KEY(world, cell_x, cell_z));
CREATE INDEX IF NOT EXISTS cells_by_sector ON cells(world, sector_x, sector_z, sequence);
CREATE TABLE IF NOT EXISTS terrain(world INTEGER NOT NULL, x INTEGER NOT NULL, z INTEGER NOT NULL,
  height INTEGER NOT NULL, texture INTEGER NOT NULL, PRIMARY KEY(world, x, z));
)";

std::int32_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return static_cast<std::int32_t>(q);
}

WorldObject objectFromRow(const Statement& s) {
    WorldObject o;
    o.Number = static_cast<std::int32_t>(s.column(0));
    o.Owner = static_cast<std::int32_t>(s.column(1));
    o.Timestamp = static_cast<std::int32_t>(s.column(2));
    o.X = static_cast<std::int32_t>(s.column(3));
    o.Y = static_cast<std::int32_t>(s.column(4));
    o.Z = static_cast<std::int32_t>(s.column(5));
    o.Yaw = static_cast<std::int32_t>(s.column(6));
    o.Tilt = static_cast<std::int32_t>(s.column(7));
    o.Roll = static_cast<std::int32_t>(s.column(8));
    o.Model = s.text(9);
    o.Description = s.text(10);
    o.Action = s.text(11);
    return o;
}

constexpr const char* kObjectColumns =
    "number, owner, timestamp, x, y, z, yaw, tilt, roll, model, description, action";

}  // namespace

std::int32_t CellOf(std::int32_t cm) { return floorDiv(cm, 1000); }
std::int32_t SectorOf(std::int32_t cell) { return floorDiv(static_cast<std::int64_t>(cell) + 4, 8); }

std::string HashPassword(const std::string& password) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), kHashOps, kHashMemory) != 0)
        throw std::runtime_error("out of memory while hashing a password");
    return out;
}

bool VerifyPassword(const std::string& hash, const std::string& password) {
    if (sodium_init() < 0) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

Statement::Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("database statement failed: ") + sqlite3_errmsg(db));
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::bind(int index, const std::string& value) {
    sqlite3_bind_blob(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
}

int Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        const std::string message = sqlite3_errmsg(db_);
        sqlite3_reset(stmt_);
        throw std::runtime_error("database error: " + message);
    }
    return rc;
}

int Statement::stepUnique() {
    const int rc = sqlite3_step(stmt_);
    if ((rc & 0xff) == SQLITE_CONSTRAINT) {
        sqlite3_reset(stmt_);
        return SQLITE_CONSTRAINT;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        const std::string message = sqlite3_errmsg(db_);
        sqlite3_reset(stmt_);
        throw std::runtime_error("database error: " + message);
    }
    return rc;
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int i) const {
    const void* p = sqlite3_column_blob(stmt_, i);
    const int n = sqlite3_column_bytes(stmt_, i);
    return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
}

WorldDatabase::WorldDatabase(const std::string& path) : path_(path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw std::runtime_error("cannot open the world database " + path + ": " + message);
    }
    try {
        sqlite3_busy_timeout(db_, 5000);
        exec("PRAGMA journal_mode=WAL");
        // WAL with NORMAL: a committed change is in the log file before the
        // answer goes out, so a killed server keeps it.
        exec("PRAGMA synchronous=NORMAL");
        // A page cache of 16 MiB keeps the indexes of a few hundred thousand
        // objects in memory; the default 2 MiB makes every insert read pages.
        exec("PRAGMA cache_size=-16384");
        exec(kSchema);
        findCitizen_ = std::make_unique<Statement>(db_, "SELECT password_hash FROM citizens WHERE number=?1");
        findWorld_ = std::make_unique<Statement>(db_, "SELECT id, name, running, build_all FROM worlds WHERE name=?1");
        findRight_ = std::make_unique<Statement>(
            db_, "SELECT 1 FROM world_rights WHERE world=?1 AND citizen=?2 AND kind=?3");
        objectExists_ = std::make_unique<Statement>(
            db_, "SELECT owner FROM objects WHERE world=?1 AND cell_x=?2 AND cell_z=?3 AND number=?4");
        insertObject_ = std::make_unique<Statement>(
            db_,
            "INSERT INTO objects(world, cell_x, cell_z, number, owner, timestamp, x, y, z, yaw, tilt, roll, model, "
            "description, action) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15)");
        deleteObject_ = std::make_unique<Statement>(
            db_, "DELETE FROM objects WHERE world=?1 AND cell_x=?2 AND cell_z=?3 AND number=?4");
        sectorMax_ = std::make_unique<Statement>(
            db_, "SELECT MAX(sequence) FROM cells WHERE world=?1 AND sector_x=?2 AND sector_z=?3");
        upsertCell_ = std::make_unique<Statement>(
            db_,
            "INSERT INTO cells(world, cell_x, cell_z, sector_x, sector_z, sequence) VALUES(?1,?2,?3,?4,?5,?6) "
            "ON CONFLICT(world, cell_x, cell_z) DO UPDATE SET sequence=excluded.sequence");
        setTerrain_ = std::make_unique<Statement>(
            db_, "INSERT OR REPLACE INTO terrain(world, x, z, height, texture) VALUES(?1,?2,?3,?4,?5)");
        deleteTerrain_ = std::make_unique<Statement>(db_, "DELETE FROM terrain WHERE world=?1");
        cellsAfter_ = std::make_unique<Statement>(
            db_,
            "SELECT cell_x, cell_z, sequence FROM cells WHERE world=?1 AND sector_x=?2 AND sector_z=?3 "
            "AND sequence>?4 ORDER BY sequence");
        objectsInCell_ = std::make_unique<Statement>(
            db_, (std::string("SELECT ") + kObjectColumns +
                  " FROM objects WHERE world=?1 AND cell_x=?2 AND cell_z=?3 ORDER BY id")
                     .c_str());
        allObjects_ = std::make_unique<Statement>(
            db_, (std::string("SELECT ") + kObjectColumns + " FROM objects WHERE world=?1 ORDER BY id").c_str());
    } catch (const std::exception& e) {
        closeDatabase();
        throw std::runtime_error("cannot use the world database " + path + ": " + e.what());
    }
}

// Statements are finalized before the connection closes, or the close fails.
void WorldDatabase::closeDatabase() {
    findCitizen_.reset();
    findWorld_.reset();
    findRight_.reset();
    objectExists_.reset();
    insertObject_.reset();
    deleteObject_.reset();
    sectorMax_.reset();
    upsertCell_.reset();
    setTerrain_.reset();
    deleteTerrain_.reset();
    cellsAfter_.reset();
    objectsInCell_.reset();
    allObjects_.reset();
    sqlite3_close(db_);
}

WorldDatabase::~WorldDatabase() {
    if (inTransaction_) {
        try {
            Commit();
        } catch (...) {
        }
    }
    closeDatabase();
}

void WorldDatabase::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error("database error in " + path_ + ": " + text);
    }
}

void WorldDatabase::Begin() {
    if (inTransaction_) return;
    exec("BEGIN IMMEDIATE");
    inTransaction_ = true;
}

void WorldDatabase::Commit() {
    if (!inTransaction_) return;
    inTransaction_ = false;
    try {
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sectorMax_cache_.clear();
        throw;
    }
}

bool WorldDatabase::AddCitizen(std::int32_t number, const std::string& password, std::string& error) {
    if (number <= 0) {
        error = "a citizen number must be positive";
        return false;
    }
    if (password.empty()) {
        error = "a citizen needs a privilege password";
        return false;
    }
    Statement insert(db_, "INSERT INTO citizens(number, password_hash) VALUES(?1, ?2) "
                          "ON CONFLICT(number) DO UPDATE SET password_hash=excluded.password_hash");
    const std::string hash = HashPassword(password);
    insert.bind(1, number);
    insert.bind(2, hash);
    insert.step();
    return true;
}

bool WorldDatabase::AddWorld(const std::string& name, const std::vector<std::int32_t>& eminent,
                             const std::vector<std::int32_t>& build, bool buildAll, bool stopped,
                             std::string& error) {
    if (name.empty() || name.size() > 255) {
        error = "a world name must have 1 to 255 characters";
        return false;
    }
    Begin();
    try {
        Statement insert(db_, "INSERT INTO worlds(name, running, build_all) VALUES(?1, ?2, ?3) "
                              "ON CONFLICT(name) DO UPDATE SET running=excluded.running, build_all=excluded.build_all");
        insert.bind(1, name).bind(2, stopped ? 0 : 1).bind(3, buildAll ? 1 : 0);
        insert.step();
        const std::optional<WorldInfo> world = FindWorld(name);
        if (!world) throw std::runtime_error("the world was not stored");
        Statement clear(db_, "DELETE FROM world_rights WHERE world=?1");
        clear.bind(1, world->id);
        clear.step();
        Statement right(db_, "INSERT OR IGNORE INTO world_rights(world, citizen, kind) VALUES(?1, ?2, ?3)");
        for (const auto& [list, kind] : {std::pair{&eminent, kEminentDomain}, std::pair{&build, kBuildRight}})
            for (std::int32_t c : *list) {
                right.bind(1, world->id).bind(2, c).bind(3, kind);
                right.step();
                right.reset();
            }
        Commit();
    } catch (...) {
        inTransaction_ = false;
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return true;
}

std::optional<std::string> WorldDatabase::PasswordHash(std::int32_t citizen) {
    Statement& s = *findCitizen_;
    s.bind(1, citizen);
    std::optional<std::string> hash;
    if (s.step() == SQLITE_ROW) hash = s.text(0);
    s.reset();
    return hash;
}

std::optional<WorldInfo> WorldDatabase::FindWorld(const std::string& name) {
    Statement& s = *findWorld_;
    s.bind(1, name);
    std::optional<WorldInfo> w;
    if (s.step() == SQLITE_ROW) w = WorldInfo{s.column(0), s.text(1), s.column(2) != 0, s.column(3) != 0};
    s.reset();
    return w;
}

bool WorldDatabase::HasRight(std::int64_t world, std::int32_t citizen, int kind) {
    Statement& s = *findRight_;
    s.bind(1, world).bind(2, citizen).bind(3, kind);
    const bool found = s.step() == SQLITE_ROW;
    s.reset();
    return found;
}

bool WorldDatabase::ObjectExists(std::int64_t world, std::int32_t cellX, std::int32_t cellZ, std::int32_t number) {
    return ObjectOwner(world, cellX, cellZ, number).has_value();
}

std::optional<std::int32_t> WorldDatabase::ObjectOwner(std::int64_t world, std::int32_t cellX, std::int32_t cellZ,
                                                       std::int32_t number) {
    Statement& s = *objectExists_;
    s.bind(1, world).bind(2, cellX).bind(3, cellZ).bind(4, number);
    std::optional<std::int32_t> owner;
    if (s.step() == SQLITE_ROW) owner = static_cast<std::int32_t>(s.column(0));
    s.reset();
    return owner;
}

void WorldDatabase::touchCell(std::int64_t world, std::int32_t cellX, std::int32_t cellZ) {
    const std::int32_t sx = SectorOf(cellX), sz = SectorOf(cellZ);
    const auto key = std::make_tuple(world, sx, sz);
    auto it = sectorMax_cache_.find(key);
    if (it == sectorMax_cache_.end()) {
        Statement& s = *sectorMax_;
        s.bind(1, world).bind(2, sx).bind(3, sz);
        std::int32_t max = 0;
        if (s.step() == SQLITE_ROW) max = static_cast<std::int32_t>(s.column(0));
        s.reset();
        it = sectorMax_cache_.emplace(key, max).first;
    }
    const std::int32_t sequence = ++it->second;
    Statement& u = *upsertCell_;
    u.bind(1, world).bind(2, cellX).bind(3, cellZ).bind(4, sx).bind(5, sz).bind(6, sequence);
    u.step();
    u.reset();
}

bool WorldDatabase::InsertObject(std::int64_t world, const WorldObject& o) {
    Begin();
    const std::int32_t cx = CellOf(o.X), cz = CellOf(o.Z);
    Statement& s = *insertObject_;
    s.bind(1, world).bind(2, cx).bind(3, cz).bind(4, o.Number).bind(5, o.Owner).bind(6, o.Timestamp);
    s.bind(7, o.X).bind(8, o.Y).bind(9, o.Z).bind(10, o.Yaw).bind(11, o.Tilt).bind(12, o.Roll);
    s.bind(13, o.Model).bind(14, o.Description).bind(15, o.Action);
    const bool stored = s.stepUnique() != SQLITE_CONSTRAINT;
    s.reset();
    if (stored) touchCell(world, cx, cz);
    return stored;
}

void WorldDatabase::DeleteObject(std::int64_t world, std::int32_t cellX, std::int32_t cellZ, std::int32_t number) {
    Begin();
    Statement& s = *deleteObject_;
    s.bind(1, world).bind(2, cellX).bind(3, cellZ).bind(4, number);
    s.step();
    s.reset();
    touchCell(world, cellX, cellZ);
}

void WorldDatabase::SetTerrain(std::int64_t world, std::int32_t x, std::int32_t z, std::int32_t height,
                               std::int32_t texture) {
    Begin();
    Statement& s = *setTerrain_;
    s.bind(1, world).bind(2, x).bind(3, z).bind(4, height).bind(5, texture);
    s.step();
    s.reset();
}

void WorldDatabase::DeleteAllTerrain(std::int64_t world) {
    Begin();
    Statement& s = *deleteTerrain_;
    s.bind(1, world);
    s.step();
    s.reset();
}

void WorldDatabase::ForEachTerrainCell(
    std::int64_t world, const std::function<void(std::int32_t, std::int32_t, std::int32_t, std::int32_t)>& each) {
    Statement s(db_, "SELECT x, z, height, texture FROM terrain WHERE world=?1 ORDER BY z, x");
    s.bind(1, world);
    while (s.step() == SQLITE_ROW)
        each(static_cast<std::int32_t>(s.column(0)), static_cast<std::int32_t>(s.column(1)),
             static_cast<std::int32_t>(s.column(2)), static_cast<std::int32_t>(s.column(3)));
}

std::vector<CellSequence> WorldDatabase::CellsAfter(std::int64_t world, std::int32_t sectorX, std::int32_t sectorZ,
                                                    std::int32_t after) {
    std::vector<CellSequence> cells;
    Statement& s = *cellsAfter_;
    s.bind(1, world).bind(2, sectorX).bind(3, sectorZ).bind(4, after);
    while (s.step() == SQLITE_ROW)
        cells.push_back({static_cast<std::int32_t>(s.column(0)), static_cast<std::int32_t>(s.column(1)),
                         static_cast<std::int32_t>(s.column(2))});
    s.reset();
    return cells;
}

void WorldDatabase::ForEachObjectInCell(std::int64_t world, std::int32_t cellX, std::int32_t cellZ,
                                        const std::function<void(const WorldObject&)>& each) {
    Statement& s = *objectsInCell_;
    s.bind(1, world).bind(2, cellX).bind(3, cellZ);
    while (s.step() == SQLITE_ROW) each(objectFromRow(s));
    s.reset();
}

void WorldDatabase::ForEachObject(std::int64_t world, const std::function<void(const WorldObject&)>& each) {
    Statement& s = *allObjects_;
    s.bind(1, world);
    while (s.step() == SQLITE_ROW) each(objectFromRow(s));
    s.reset();
}

}  // namespace gorvale::worldserver

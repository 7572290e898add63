#include "service/history.hpp"

#include <SQLiteCpp/SQLiteCpp.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "classifier/iso6346.hpp"

namespace karvona::service {
namespace {

namespace fs = std::filesystem;

// "KRVN": set in every database this program creates, so that another program's is refused.
constexpr int kApplicationId = 0x4b52564e;
constexpr int kSchemaVersion = 2;

// Each step takes the schema from the version before it to its own (index + 1).
const char* const kUpgrades[] = {
    R"(CREATE TABLE readings (
         id INTEGER PRIMARY KEY,
         time TEXT NOT NULL,
         client TEXT NOT NULL DEFAULT '',
         pass TEXT NOT NULL DEFAULT '',
         file TEXT NOT NULL DEFAULT '',
         code TEXT NOT NULL DEFAULT '',
         outcome TEXT NOT NULL,
         sure INTEGER NOT NULL DEFAULT 0,
         confidence REAL,
         reason TEXT NOT NULL DEFAULT 'ok',
         look TEXT NOT NULL DEFAULT '',
         layout INTEGER NOT NULL DEFAULT -1,
         region TEXT,
         photo TEXT,
         settled_code TEXT,
         settled_time TEXT,
         settled_by TEXT);
       CREATE INDEX readings_time ON readings(time);
       CREATE INDEX readings_photo ON readings(photo);
       CREATE INDEX readings_pass ON readings(pass);
       CREATE INDEX readings_settled ON readings(settled_time);)",
    // The code region as the reader cut it out (a JPEG picture), and its characters' boxes.
    R"(ALTER TABLE readings ADD COLUMN strip BLOB;
       ALTER TABLE readings ADD COLUMN characters TEXT;)",
};
static_assert(sizeof kUpgrades / sizeof kUpgrades[0] == kSchemaVersion);

std::string TimeText(std::chrono::system_clock::time_point when) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

bool IsFull(const SQLite::Exception& e) {
    return (e.getErrorCode() & 0xff) == SQLITE_FULL;
}

std::string RegionText(const cv::Rect& r) {
    if (r.area() <= 0)
        return "";
    nlohmann::ordered_json corners = {
        {r.x, r.y}, {r.x + r.width, r.y}, {r.x + r.width, r.y + r.height}, {r.x, r.y + r.height}};
    return corners.dump();
}

std::string BoxesText(const std::vector<cv::Rect>& boxes) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const cv::Rect& b : boxes)
        list.push_back({b.x, b.y, b.width, b.height});
    return list.dump();
}

// A reading's row as the desk shows it; the columns are those of kColumns in this order.
constexpr const char* kColumns =
    "id, time, client, pass, file, code, outcome, sure, confidence, reason, look, layout, region, "
    "photo, settled_code, settled_time, settled_by, strip IS NOT NULL, characters";

nlohmann::ordered_json RowJson(SQLite::Statement& q) {
    auto text = [&](int i) { return q.getColumn(i).getString(); };
    nlohmann::ordered_json row = {{"id", q.getColumn(0).getInt64()},
                                  {"time", text(1)},
                                  {"client", text(2)},
                                  {"pass", text(3)},
                                  {"file", text(4)},
                                  {"code", text(5)},
                                  {"outcome", text(6)},
                                  {"sure", q.getColumn(7).getInt() != 0}};
    row["confidence"] = q.getColumn(8).isNull()
                            ? nlohmann::ordered_json(nullptr)
                            : nlohmann::ordered_json(q.getColumn(8).getDouble());
    row["reason"] = text(9);
    row["look"] = text(10);
    row["layout"] = q.getColumn(11).getInt();
    const std::string region = text(12);
    row["region"] = region.empty() ? nlohmann::ordered_json(nullptr)
                                   : nlohmann::ordered_json::parse(region, nullptr, false);
    row["photo"] = q.getColumn(13).isNull() ? nlohmann::ordered_json(nullptr)
                                            : nlohmann::ordered_json(text(13));
    if (q.getColumn(14).isNull())
        row["settled"] = nullptr;
    else
        row["settled"] = {{"code", text(14)}, {"time", text(15)}, {"by", text(16)}};
    row["strip"] = q.getColumn(17).getInt() != 0;
    const std::string boxes = text(18);
    row["characters"] = boxes.empty() ? nlohmann::ordered_json::array()
                                      : nlohmann::ordered_json::parse(boxes, nullptr, false);
    return row;
}

// LIKE with its wildcards in the text taken literally.
std::string LikePattern(const std::string& part) {
    std::string pattern = "%";
    for (char c : part) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

long long SteadySeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool IsPossibleCode(std::string_view code) {
    if (code.size() != static_cast<size_t>(classifier::kCodeLength))
        return false;
    for (size_t i = 0; i < code.size(); ++i) {
        const bool letter = code[i] >= 'A' && code[i] <= 'Z';
        const bool digit = code[i] >= '0' && code[i] <= '9';
        if (i < 4 ? !letter : !digit)
            return false;
    }
    return classifier::CheckDigitPasses(classifier::CheckSumOf(code),
                                        classifier::CharToIsoValue(code[10]));
}

History::History(const HistoryOptions& options) : options_(options) {
    const fs::path db = options.database;
    photos_ = db.parent_path() / (db.stem().string() + "-photos");
}

History::~History() = default;

int History::SchemaVersion() {
    return kSchemaVersion;
}

namespace {

/// Upgrades a history of an older schema version (or a new file) to this program's; at this
/// version, writes the version again, which proves now, not at the first request, that the file
/// can be written.
void BringToSchema(SQLite::Database& db, int version) {
    SQLite::Transaction transaction(db);
    for (int v = version; v < kSchemaVersion; ++v)
        db.exec(kUpgrades[v]);
    if (version < kSchemaVersion)
        db.exec("PRAGMA application_id = " + std::to_string(kApplicationId));
    db.exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.commit();
}

}  // namespace

std::unique_ptr<History> History::Open(const HistoryOptions& options, std::string& error) {
    const std::string name = options.database.string();
    std::unique_ptr<History> history(new History(options));
    std::error_code ec;
    if (!options.database.parent_path().empty())
        fs::create_directories(options.database.parent_path(), ec);
    if (ec) {
        error = "cannot create the folder of " + name + ": " + ec.message();
        return nullptr;
    }
    if (fs::exists(options.database) && access(name.c_str(), W_OK) != 0) {
        error = name + " is read-only";
        return nullptr;
    }
    try {
        history->db_ = std::make_unique<SQLite::Database>(
            name, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_FULLMUTEX);
        SQLite::Database& db = *history->db_;
        db.setBusyTimeout(5000);
        int version = 0, application = 0;
        try {
            version = db.execAndGet("PRAGMA user_version").getInt();
            application = db.execAndGet("PRAGMA application_id").getInt();
        } catch (const SQLite::Exception& e) {
            const int code = e.getErrorCode() & 0xff;
            error = code == SQLITE_NOTADB ? name + " is not an SQLite database"
                                          : name + ": " + e.what();
            return nullptr;
        }
        const int tables =
            db.execAndGet("SELECT count(*) FROM sqlite_master WHERE type = 'table'").getInt();
        if (application != kApplicationId && (tables > 0 || version != 0)) {
            error = name + " is an SQLite database of another program, not a Karvona history";
            return nullptr;
        }
        if (version > kSchemaVersion) {
            error = name + " has schema version " + std::to_string(version) +
                    ", newer than this program's " + std::to_string(kSchemaVersion) +
                    "; use a newer karvona";
            return nullptr;
        }
        if (db.execAndGet("PRAGMA journal_mode = WAL").getString() != "wal") {
            error = name + " cannot be put in WAL mode (a read-only or network file system?)";
            return nullptr;
        }
        // A committed row survives the process being killed; losing the last commits to a power
        // cut is the price of not waiting for the disk on every request.
        db.exec("PRAGMA synchronous = NORMAL");
        if (options.maxPages > 0)
            db.exec("PRAGMA max_page_count = " + std::to_string(options.maxPages));
        BringToSchema(db, version);
    } catch (const SQLite::Exception& e) {
        const int code = e.getErrorCode() & 0xff;
        if (code == SQLITE_READONLY || code == SQLITE_CANTOPEN || code == SQLITE_PERM)
            error = name + " cannot be written: " + e.what();
        else
            error = name + ": " + e.what();
        return nullptr;
    }
    if (options.keepPhotos) {
        fs::create_directories(history->photos_, ec);
        if (ec) {
            error = "cannot create the photograph folder " + history->photos_.string() + ": " +
                    ec.message();
            return nullptr;
        }
    }
    history->Prune();
    return history;
}

std::string History::Now() {
    return TimeText(std::chrono::system_clock::now());
}

bool History::IsHash(std::string_view text) {
    if (text.size() != 64)
        return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

std::string History::Sha256(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

fs::path History::PhotoPath(const std::string& hash) const {
    return photos_ / hash.substr(0, 2) / hash;
}

// Writes the photograph under its hash unless it is there already: into a file of its own
// first, renamed into place when whole, so a reader never sees half a photograph.
bool History::KeepPhoto(std::string_view bytes, const std::string& hash, bool& created,
                        std::string& why, std::string& text) {
    created = false;
    const fs::path path = PhotoPath(hash);
    std::error_code ec;
    if (fs::exists(path, ec))
        return true;
    fs::create_directories(path.parent_path(), ec);
    std::ostringstream tid;
    tid << std::this_thread::get_id();
    const fs::path part = path.string() + ".part" + std::to_string(getpid()) + "-" + tid.str();
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    const int saved = errno;
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    if (ok && std::rename(part.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        const int cause = saved ? saved : errno;
        why = cause == ENOSPC || cause == EDQUOT ? "disk-full" : "history-failed";
        text = "the photograph cannot be kept in " + photos_.string() + ": " + std::strerror(cause);
        fs::remove(part, ec);
        return false;
    }
    created = true;
    return true;
}

void History::ForgetPhotoIfUnused(const std::string& hash) {
    SQLite::Statement used(*db_, "SELECT 1 FROM readings WHERE photo = ? LIMIT 1");
    used.bind(1, hash);
    if (!used.executeStep()) {
        std::error_code ec;
        fs::remove(PhotoPath(hash), ec);
    }
}

bool History::Record(const std::vector<HistoryEntry>& entries, std::vector<std::int64_t>& ids,
                     std::string& why, std::string& text) {
    ids.clear();
    std::vector<std::string> hashes(entries.size());
    if (options_.keepPhotos) {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (!entries[i].photo.empty())
                hashes[i] = Sha256(entries[i].photo);
        }
    }
    if (options_.keepDays > 0 && SteadySeconds() - lastPrune_ > 3600)
        Prune();
    const std::string now = Now();
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> created;
    auto undo = [&] {
        std::error_code ec;
        for (const auto& hash : created)
            fs::remove(PhotoPath(hash), ec);
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        bool made = false;
        if (hashes[i].empty())
            continue;
        if (!KeepPhoto(entries[i].photo, hashes[i], made, why, text)) {
            undo();
            return false;
        }
        if (made)
            created.push_back(hashes[i]);
    }
    try {
        SQLite::Transaction transaction(*db_);
        SQLite::Statement insert(
            *db_,
            "INSERT INTO readings (time, client, pass, file, code, outcome, sure, confidence, "
            "reason, look, layout, region, photo, strip, characters) "
            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        for (size_t i = 0; i < entries.size(); ++i) {
            const HistoryEntry& e = entries[i];
            insert.reset();
            insert.clearBindings();
            insert.bind(1, now);
            insert.bind(2, e.client);
            insert.bind(3, e.pass);
            insert.bind(4, e.file);
            insert.bind(5, e.code);
            insert.bind(6, e.outcome);
            insert.bind(7, e.sure ? 1 : 0);
            if (e.confidence >= 0)
                insert.bind(8, e.confidence);
            insert.bind(9, e.reason);
            insert.bind(10, e.look);
            insert.bind(11, e.layout);
            const std::string region = RegionText(e.region);
            if (!region.empty())
                insert.bind(12, region);
            if (!hashes[i].empty())
                insert.bind(13, hashes[i]);
            if (options_.keepPhotos && !e.strip.empty()) {
                insert.bindNoCopy(14, e.strip.data(), static_cast<int>(e.strip.size()));
                insert.bind(15, BoxesText(e.characters));
            }
            insert.exec();
            ids.push_back(db_->getLastInsertRowid());
        }
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        ids.clear();
        why = IsFull(e) ? "disk-full" : "history-failed";
        text = std::string("the history cannot be written: ") + e.what();
        undo();
        return false;
    }
    return true;
}

nlohmann::ordered_json History::Find(const HistoryQuery& query) {
    std::string sql = std::string("SELECT ") + kColumns + " FROM readings WHERE 1";
    std::vector<std::string> values;
    if (!query.code.empty()) {
        sql += " AND (code LIKE ? ESCAPE '\\' OR settled_code LIKE ? ESCAPE '\\')";
        values.push_back(LikePattern(query.code));
        values.push_back(LikePattern(query.code));
    }
    if (!query.from.empty()) {
        sql += " AND time >= ?";
        values.push_back(query.from);
    }
    if (!query.to.empty()) {
        sql += " AND time < ?";
        values.push_back(query.to);
    }
    if (!query.pass.empty()) {
        sql += " AND pass = ?";
        values.push_back(query.pass);
    }
    if (query.outcome == "unsure") {
        sql += " AND outcome <> 'perpect'";
    } else if (query.outcome == "settled") {
        sql += " AND settled_code IS NOT NULL";
    } else if (!query.outcome.empty()) {
        sql += " AND outcome = ?";
        values.push_back(query.outcome);
    }
    if (query.unsettledOnly)
        sql += " AND settled_code IS NULL";
    if (query.before > 0)
        sql += " AND id < " + std::to_string(query.before);
    sql += " ORDER BY id DESC LIMIT " + std::to_string(std::clamp(query.limit, 1, 500));
    std::lock_guard<std::mutex> lock(mutex_);
    SQLite::Statement q(*db_, sql);
    for (size_t i = 0; i < values.size(); ++i)
        q.bind(static_cast<int>(i + 1), values[i]);
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    while (q.executeStep())
        rows.push_back(RowJson(q));
    return rows;
}

nlohmann::ordered_json History::Reading(std::int64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    SQLite::Statement q(*db_, std::string("SELECT ") + kColumns + " FROM readings WHERE id = ?");
    q.bind(1, static_cast<int64_t>(id));
    return q.executeStep() ? RowJson(q) : nlohmann::ordered_json(nullptr);
}

SettleStatus History::Settle(std::int64_t id, const std::string& code, const std::string& by) {
    std::lock_guard<std::mutex> lock(mutex_);
    SQLite::Statement q(*db_,
                        "UPDATE readings SET settled_code = ?, settled_time = ?, settled_by = ? "
                        "WHERE id = ?");
    q.bind(1, code);
    q.bind(2, Now());
    q.bind(3, by);
    q.bind(4, static_cast<int64_t>(id));
    return q.exec() == 1 ? SettleStatus::kSettled : SettleStatus::kUnknownId;
}

bool History::Delete(std::int64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    SQLite::Statement photo(*db_, "SELECT photo FROM readings WHERE id = ?");
    photo.bind(1, static_cast<int64_t>(id));
    if (!photo.executeStep())
        return false;
    const std::string hash = photo.getColumn(0).getString();
    SQLite::Statement remove(*db_, "DELETE FROM readings WHERE id = ?");
    remove.bind(1, static_cast<int64_t>(id));
    remove.exec();
    if (!hash.empty())
        ForgetPhotoIfUnused(hash);
    return true;
}

nlohmann::ordered_json History::Figures(const std::string& day) {
    std::lock_guard<std::mutex> lock(mutex_);
    SQLite::Statement q(*db_,
                        "SELECT count(*), coalesce(sum(outcome = 'perpect'), 0), "
                        "coalesce(sum(outcome = 'review'), 0), "
                        "coalesce(sum(outcome IN ('mistake', 'trymore', 'un')), 0), "
                        "coalesce(sum(settled_code IS NOT NULL), 0), "
                        "coalesce(sum(settled_code IS NOT NULL AND settled_code <> code), 0) "
                        "FROM readings WHERE time >= ? AND time < ?");
    q.bind(1, day);
    q.bind(2, day + "\x7f");
    q.executeStep();
    const auto n = [&](int i) { return q.getColumn(i).getInt64(); };
    return {{"day", day},     {"read", n(0)},    {"sure", n(1)},     {"review", n(2)},
            {"unread", n(3)}, {"settled", n(4)}, {"corrected", n(5)}};
}

std::optional<std::string> History::Photo(const std::string& hash) {
    if (!IsHash(hash))
        return std::nullopt;
    std::ifstream in(PhotoPath(hash), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::optional<std::string> History::Strip(std::int64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    SQLite::Statement q(*db_, "SELECT strip FROM readings WHERE id = ? AND strip IS NOT NULL");
    q.bind(1, static_cast<int64_t>(id));
    if (!q.executeStep())
        return std::nullopt;
    const SQLite::Column blob = q.getColumn(0);
    return std::string(static_cast<const char*>(blob.getBlob()),
                       static_cast<size_t>(blob.getBytes()));
}

std::vector<History::Settled> History::SettledReadings(const std::string& since) {
    std::lock_guard<std::mutex> lock(mutex_);
    SQLite::Statement q(*db_,
                        "SELECT id, file, settled_code, photo, settled_time, layout FROM readings "
                        "WHERE settled_code IS NOT NULL AND photo IS NOT NULL AND settled_time "
                        ">= ? ORDER BY id");
    q.bind(1, since);
    std::vector<Settled> rows;
    while (q.executeStep())
        rows.push_back({q.getColumn(0).getInt64(), q.getColumn(1).getString(),
                        q.getColumn(2).getString(), q.getColumn(3).getString(),
                        q.getColumn(4).getString(), q.getColumn(5).getInt()});
    return rows;
}

int History::Prune() {
    lastPrune_ = SteadySeconds();
    if (options_.keepDays <= 0)
        return 0;
    const std::string limit =
        TimeText(std::chrono::system_clock::now() - std::chrono::hours(24) * options_.keepDays);
    std::lock_guard<std::mutex> lock(mutex_);
    try {
        std::vector<std::string> hashes;
        {
            SQLite::Statement old(*db_,
                                  "SELECT DISTINCT photo FROM readings WHERE time < ? AND photo "
                                  "IS NOT NULL");
            old.bind(1, limit);
            while (old.executeStep())
                hashes.push_back(old.getColumn(0).getString());
        }
        SQLite::Transaction transaction(*db_);
        SQLite::Statement remove(*db_, "DELETE FROM readings WHERE time < ?");
        remove.bind(1, limit);
        const int gone = remove.exec();
        transaction.commit();
        // Rows first, photographs after: a crash between leaves a photograph no row names,
        // never a row without its photograph.
        for (const auto& hash : hashes)
            ForgetPhotoIfUnused(hash);
        return gone;
    } catch (const SQLite::Exception& e) {
        std::fprintf(stderr, "karvona serve: the history was not pruned: %s\n", e.what());
        return 0;
    }
}

}  // namespace karvona::service

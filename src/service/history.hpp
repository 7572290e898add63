#pragma once
// The service's history: every request it answered, in one SQLite database (WAL), and the
// photographs themselves once each, named by the SHA-256 of their bytes, in a folder beside it.
// A person settles the readings that were not sure; the settled ones can be exported for
// training.
//
// The database carries its own application id and a schema version (user_version); an older
// schema is upgraded in place inside one transaction, a newer one or a foreign database is
// refused, never dropped. A row is committed before its request is answered, so a service
// killed at any moment keeps every answer it gave.
//
// Times are UTC, ISO 8601 with milliseconds ("2026-12-09T20:44:30.123Z"), so that they sort as
// text. All members may be called from any thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <opencv2/core/types.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace SQLite {
class Database;
}

namespace karvona::service {

struct HistoryOptions {
    std::filesystem::path database;
    bool keepPhotos = true;
    int keepDays = 0;  ///< rows and photographs older than this are deleted; 0: kept for ever
    /// Pages the database may grow to (0: no limit); a test stands for a full disk with it.
    long long maxPages = 0;
};

/// One answered photograph as the history keeps it.
struct HistoryEntry {
    std::string client;
    std::string pass;  ///< the truck pass it belongs to, or empty
    std::string file;  ///< the camera's or file's name the client gave
    std::string code;
    std::string outcome;  ///< "perpect", "review", "mistake", "trymore", "un"
    bool sure = false;
    double confidence = -1;
    std::string reason;  ///< "ok" or why the photograph was not read
    std::string look;    ///< the look that produced the reading
    int layout = -1;
    cv::Rect region;         ///< empty when no code region was found
    std::string_view photo;  ///< the photograph's bytes (not owned)
    /// The code region as the winning reader cut it out (JPEG bytes, kept in the row when
    /// photographs are kept), and its characters' boxes in it, in reading order.
    std::string strip;
    std::vector<cv::Rect> characters;
};

/// What a search asks for; empty fields match everything.
struct HistoryQuery {
    std::string code;     ///< a part of the code read or settled
    std::string from;     ///< times at or after this (ISO prefix, "2026-12-09" or longer)
    std::string to;       ///< times before this
    std::string outcome;  ///< one outcome, "unsure" (all but perpect) or "settled"
    std::string pass;
    bool unsettledOnly = false;
    int limit = 50;
    std::int64_t before = 0;  ///< ids below this only (paging, newest first); 0: from the newest
};

enum class SettleStatus { kSettled, kUnknownId };

class History {
public:
    /// Opens or creates the database and its photograph folder. Null with error naming the file
    /// and the cause when it is not an SQLite database, holds another program's tables, is of a
    /// newer schema, cannot be written, or cannot be created.
    static std::unique_ptr<History> Open(const HistoryOptions& options, std::string& error);
    ~History();

    /// The schema version this program writes.
    static int SchemaVersion();

    /// Keeps the entries in one transaction (a pass's photographs together) and fills ids. False
    /// when nothing was kept; why is then "disk-full" or "history-failed", and text says more.
    bool Record(const std::vector<HistoryEntry>& entries, std::vector<std::int64_t>& ids,
                std::string& why, std::string& text);

    /// The readings a query matches, newest first, as JSON objects.
    nlohmann::ordered_json Find(const HistoryQuery& query);
    /// One reading, or null when there is none of that id.
    nlohmann::ordered_json Reading(std::int64_t id);
    /// Settles a reading with the code a person confirmed or corrected (code already checked).
    SettleStatus Settle(std::int64_t id, const std::string& code, const std::string& by);
    /// Deletes a reading, and its photograph when no other reading shows it; false when unknown.
    bool Delete(std::int64_t id);
    /// The figures of one UTC day ("2026-12-09"): read, sure, review, settled and more.
    nlohmann::ordered_json Figures(const std::string& day);
    /// The bytes of a kept photograph by its hash (64 lower-case hexadecimal digits), or nothing.
    std::optional<std::string> Photo(const std::string& hash);
    /// The JPEG picture of a reading's code region, or nothing.
    std::optional<std::string> Strip(std::int64_t id);
    /// Where a kept photograph is on disk (it may be missing).
    std::filesystem::path PhotoPath(const std::string& hash) const;

    /// The settled readings with a kept photograph, settled at or after since (empty: all),
    /// oldest first: id, file, settled code, photo hash.
    struct Settled {
        std::int64_t id;
        std::string file, code, photo, time;
        int layout;
    };
    std::vector<Settled> SettledReadings(const std::string& since);

    /// Deletes rows older than the retention limit and the photographs only they showed;
    /// returns how many rows went.
    int Prune();

    const std::filesystem::path& photoFolder() const { return photos_; }
    bool keepsPhotos() const { return options_.keepPhotos; }

    /// Whether text is 64 lower-case hexadecimal digits.
    static bool IsHash(std::string_view text);
    /// The current time as the history writes it.
    static std::string Now();
    /// The SHA-256 of bytes, in lower-case hexadecimal.
    static std::string Sha256(std::string_view bytes);

private:
    History(const HistoryOptions& options);
    bool KeepPhoto(std::string_view bytes, const std::string& hash, bool& created, std::string& why,
                   std::string& text);
    void ForgetPhotoIfUnused(const std::string& hash);

    HistoryOptions options_;
    std::filesystem::path photos_;
    std::mutex mutex_;
    std::unique_ptr<SQLite::Database> db_;
    std::atomic<long long> lastPrune_{0};  ///< steady seconds of the last pruning
};

/// Whether code is a possible container code: four capital letters, six digits and a check
/// digit that matches them.
bool IsPossibleCode(std::string_view code);

}  // namespace karvona::service

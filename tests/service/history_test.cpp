// The history's database: files that are not a history are refused with their name, a history
// is reopened as it was left, photographs are kept once and go with their last reading, and
// the retention limit deletes rows and photographs together.
#include "service/history.hpp"

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace karvona::service {
namespace {

namespace fs = std::filesystem;

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("karvona-history-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        options_.database = dir_ / "h.db";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::unique_ptr<History> Open() {
        std::string error;
        auto history = History::Open(options_, error);
        EXPECT_TRUE(history) << error;
        return history;
    }
    std::string Refusal() {
        std::string error;
        EXPECT_FALSE(History::Open(options_, error));
        return error;
    }
    static HistoryEntry Entry(const std::string& code, std::string_view photo) {
        HistoryEntry e;
        e.file = code + ".jpg";
        e.code = code;
        e.outcome = "review";
        e.confidence = 0.5;
        e.region = cv::Rect(10, 20, 30, 40);
        e.photo = photo;
        return e;
    }
    int Files() const {
        int count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(dir_ / "h-photos"))
            count += entry.is_regular_file();
        return count;
    }

    fs::path dir_;
    HistoryOptions options_;
};

TEST_F(HistoryTest, FilesThatAreNoHistoryAreRefusedByName) {
    std::ofstream(options_.database) << "plain text, not a database\n";
    std::string error = Refusal();
    EXPECT_NE(error.find(options_.database.string()), std::string::npos) << error;
    EXPECT_NE(error.find("not an SQLite database"), std::string::npos) << error;
    fs::remove(options_.database);
    {
        SQLite::Database other(options_.database.string(),
                               SQLite::OPEN_CREATE | SQLite::OPEN_READWRITE);
        other.exec("CREATE TABLE t (x)");
    }
    EXPECT_NE(Refusal().find("another program"), std::string::npos);
    fs::remove(options_.database);
    Open().reset();
    {
        SQLite::Database newer(options_.database.string(), SQLite::OPEN_READWRITE);
        newer.exec("PRAGMA user_version = 99");
    }
    error = Refusal();
    EXPECT_NE(error.find("schema version 99"), std::string::npos) << error;
    {
        SQLite::Database newer(options_.database.string(), SQLite::OPEN_READWRITE);
        EXPECT_EQ(newer.execAndGet("PRAGMA user_version").getInt(), 99);  // left as it was
    }
    if (geteuid() != 0) {  // root writes a file whatever its mode says
        fs::permissions(options_.database, fs::perms::owner_read);
        EXPECT_NE(Refusal().find("read-only"), std::string::npos);
    }
}

TEST_F(HistoryTest, PhotographsAreKeptOnceAndGoWithTheirLastReading) {
    const std::string photo = "\xff\xd8 the bytes of a photograph";
    std::vector<std::int64_t> ids;
    std::string why, text;
    {
        auto history = Open();
        ASSERT_TRUE(history->Record({Entry("ABCU1234560", photo), Entry("TGHU7654320", photo)}, ids,
                                    why, text))
            << text;
        ASSERT_EQ(ids.size(), 2u);
        EXPECT_EQ(Files(), 1);
    }
    auto history = Open();  // reopened as it was left
    const auto first = history->Reading(ids[0]);
    ASSERT_FALSE(first.is_null());
    EXPECT_EQ(first["region"].dump(), "[[10,20],[40,20],[40,60],[10,60]]");
    const std::string hash = first["photo"];
    EXPECT_EQ(hash, History::Sha256(photo));
    EXPECT_EQ(history->Photo(hash).value_or(""), photo);
    EXPECT_FALSE(history->Photo("../h.db"));

    EXPECT_EQ(history->Settle(ids[0], "ABCU1234560", "kim"), SettleStatus::kSettled);
    EXPECT_EQ(history->Settle(9999, "ABCU1234560", ""), SettleStatus::kUnknownId);
    EXPECT_EQ(history->SettledReadings("").size(), 1u);
    HistoryQuery unsure;
    unsure.outcome = "unsure";
    unsure.unsettledOnly = true;
    EXPECT_EQ(history->Find(unsure).size(), 1u);

    EXPECT_TRUE(history->Delete(ids[0]));
    EXPECT_EQ(Files(), 1);  // the other reading still shows it
    EXPECT_TRUE(history->Delete(ids[1]));
    EXPECT_EQ(Files(), 0);
    EXPECT_FALSE(history->Delete(ids[1]));
}

// A history written by the first schema: its rows stay, and new ones keep the region picture.
TEST_F(HistoryTest, AnOlderSchemaIsUpgradedInPlaceWithItsRows) {
    {
        SQLite::Database old(options_.database.string(),
                             SQLite::OPEN_CREATE | SQLite::OPEN_READWRITE);
        old.exec(
            "CREATE TABLE readings (id INTEGER PRIMARY KEY, time TEXT NOT NULL, client TEXT NOT "
            "NULL DEFAULT '', pass TEXT NOT NULL DEFAULT '', file TEXT NOT NULL DEFAULT '', code "
            "TEXT NOT NULL DEFAULT '', outcome TEXT NOT NULL, sure INTEGER NOT NULL DEFAULT 0, "
            "confidence REAL, reason TEXT NOT NULL DEFAULT 'ok', look TEXT NOT NULL DEFAULT '', "
            "layout INTEGER NOT NULL DEFAULT -1, region TEXT, photo TEXT, settled_code TEXT, "
            "settled_time TEXT, settled_by TEXT)");
        old.exec(
            "INSERT INTO readings (time, code, outcome) VALUES ('2026-12-01T00:00:00.000Z', "
            "'ABCU1234560', 'review')");
        old.exec("PRAGMA application_id = 1263687246");  // "KRVN"
        old.exec("PRAGMA user_version = 1");
    }
    auto history = Open();
    ASSERT_TRUE(history);
    const auto kept = history->Reading(1);
    ASSERT_FALSE(kept.is_null());
    EXPECT_EQ(kept["code"], "ABCU1234560");
    EXPECT_EQ(kept["strip"], false);
    EXPECT_FALSE(history->Strip(1));

    HistoryEntry e = Entry("TGHU7654320", "\xff\xd8 a photograph");
    e.strip = "\xff\xd8 region";
    e.characters = {cv::Rect(1, 2, 3, 4)};
    std::vector<std::int64_t> ids;
    std::string why, text;
    ASSERT_TRUE(history->Record({e}, ids, why, text)) << text;
    const auto added = history->Reading(ids[0]);
    EXPECT_EQ(added["strip"], true);
    EXPECT_EQ(added["characters"].dump(), "[[1,2,3,4]]");
    EXPECT_EQ(history->Strip(ids[0]).value_or(""), e.strip);
}

TEST_F(HistoryTest, AFullDatabaseKeepsNothingOfTheRequestAndStaysConsistent) {
    options_.maxPages = 12;
    auto history = Open();
    std::vector<std::int64_t> ids;
    std::string why, text;
    int kept = 0;
    std::vector<std::string> photos;
    for (int i = 0; i < 400 && why.empty(); ++i) {
        photos.push_back("photo " + std::to_string(i) + std::string(200, 'x'));
        std::vector<HistoryEntry> pass{Entry("ABCU1234560", photos.back()),
                                       Entry("TGHU7654320", "")};
        pass[1].file = std::string(300, 'f');
        if (history->Record(pass, ids, why, text))
            kept += 2;
    }
    ASSERT_EQ(why, "disk-full") << text;
    HistoryQuery all;
    all.limit = 500;
    const auto rows = history->Find(all);
    EXPECT_EQ(static_cast<int>(rows.size()), kept);  // a pass is kept whole or not at all
    EXPECT_EQ(Files(), kept / 2);                    // no photograph without its reading
}

TEST_F(HistoryTest, RetentionDeletesOldRowsWithTheirPhotographs) {
    options_.keepDays = 3;
    std::vector<std::int64_t> ids;
    std::string why, text;
    {
        auto history = Open();
        ASSERT_TRUE(history->Record({Entry("ABCU1234560", "old"), Entry("TGHU7654320", "new")}, ids,
                                    why, text));
    }
    {
        SQLite::Database db(options_.database.string(), SQLite::OPEN_READWRITE);
        db.exec("UPDATE readings SET time = '2020-01-01T00:00:00.000Z' WHERE id = " +
                std::to_string(ids[0]));
    }
    auto history = Open();  // prunes when it opens
    EXPECT_TRUE(history->Reading(ids[0]).is_null());
    EXPECT_FALSE(history->Reading(ids[1]).is_null());
    EXPECT_EQ(Files(), 1);
    EXPECT_FALSE(history->Photo(History::Sha256("old")));
}

TEST(PossibleCode, NeedsTheShapeAndTheCheckDigit) {
    EXPECT_TRUE(IsPossibleCode("TGHU7654320"));
    EXPECT_FALSE(IsPossibleCode("TGHU7654321"));
    EXPECT_FALSE(IsPossibleCode("tghu7654320"));
    EXPECT_FALSE(IsPossibleCode("TGHU765432"));
    EXPECT_FALSE(IsPossibleCode("TGH07654320"));
}

}  // namespace
}  // namespace karvona::service

// `karvona serve` as a process: it says where it listens, answers, and ends with exit code 0 on
// SIGTERM; without reference data or with a bad address it does not start.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <mutex>
#include <set>
#include <sstream>

#include "service/history.hpp"
#include "service_fixture.hpp"

extern char** environ;

namespace karvona::cli::testing {
namespace {

class ServeProcess : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("karvona-serve-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "data");
        EXPECT_TRUE(test_support::DrawnGlyphCodebook(false).SaveTrainingFile(
            (dir_ / "data/prefixes.trn").string()));
        EXPECT_TRUE(test_support::DrawnGlyphCodebook(true).SaveTrainingFile(
            (dir_ / "data/numbers.trn").string()));
        std::ofstream(dir_ / "data/prefix.txt") << "TGHU\n";
        for (const char* file : {"charnet.onnx", "charnet.txt"})
            fs::copy_file(fs::path(KARVONA_SOURCE_DIR) / "data" / file, dir_ / "data" / file);
        test_support::WriteHandSetConfidence(dir_ / "data");
        // The history each service keeps by default goes into the test's folder.
        setenv("KARVONA_ROOT", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (err_ >= 0)
            close(err_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Starts `karvona serve arguments...` with stderr on a pipe, in the test's folder.
    void Start(const std::vector<std::string>& arguments) {
        int pipeFds[2];
        ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> all{KARVONA_BIN, "serve"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&pid_, KARVONA_BIN, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        err_ = pipeFds[0];
    }

    // Reads stderr until it holds text or patience runs out; returns what came.
    std::string ReadErrUntil(const std::string& text, std::chrono::seconds patience) {
        const auto end = Clock::now() + patience;
        while (Clock::now() < end && err_text_.find(text) == std::string::npos) {
            pollfd p{err_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char buffer[1024];
            const ssize_t n = read(err_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            err_text_.append(buffer, static_cast<size_t>(n));
        }
        return err_text_;
    }

    // Waits for the process to end; its exit code, or -1 when it did not end in time.
    int WaitForExit(std::chrono::seconds patience) {
        const auto end = Clock::now() + patience;
        while (Clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    fs::path dir_;
    pid_t pid_ = -1;
    int err_ = -1;
    std::string err_text_;
};

TEST_F(ServeProcess, AnswersAndEndsWithZeroOnSigterm) {
    Start({"--listen", "127.0.0.1:0", "--jobs", "2", "--data", (dir_ / "data").string()});
    const std::string listening = "listening on 127.0.0.1:";
    const std::string err = ReadErrUntil(" reading(s) at once", std::chrono::seconds(30));
    const size_t at = err.find(listening);
    ASSERT_NE(at, std::string::npos) << err;
    const int port = std::atoi(err.c_str() + at + listening.size());
    ASSERT_GT(port, 0) << err;

    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(30, 0);
    const auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(nlohmann::json::parse(health->body)["version"], KARVONA_VERSION);
    const auto reading = client.Post("/read", DrawnJpeg("TGHU7654320"), "image/jpeg");
    ASSERT_TRUE(reading);
    EXPECT_EQ(nlohmann::json::parse(reading->body)["code"], "TGHU7654320");

    ASSERT_EQ(kill(pid_, SIGTERM), 0);
    EXPECT_EQ(WaitForExit(std::chrono::seconds(20)), 0);
    EXPECT_NE(ReadErrUntil("stopping", std::chrono::seconds(1)).find("stopping"),
              std::string::npos);
}

// The port `karvona serve` says it listens on, or 0.
int ListeningPort(const std::string& err) {
    const std::string listening = "listening on 127.0.0.1:";
    const size_t at = err.find(listening);
    return at == std::string::npos ? 0 : std::atoi(err.c_str() + at + listening.size());
}

TEST_F(ServeProcess, LogsOneLinePerRequestAndStopsAtOnceWithSlowClientsConnected) {
    Start({"--listen", "127.0.0.1:0", "--log-format", "json", "--data", (dir_ / "data").string()});
    const int port = ListeningPort(ReadErrUntil(" reading(s) at once", std::chrono::seconds(30)));
    ASSERT_GT(port, 0) << err_text_;
    httplib::Client client("127.0.0.1", port);
    ASSERT_TRUE(client.Get("/health"));
    ASSERT_TRUE(client.Delete("/read"));
    // A large refused body leaves one line, whatever of it was sent.
    const RawAnswer refused = RawConversation(
        port, PostHead("/read", "Content-Type: image/jpeg\r\nContent-Length: 900000000\r\n") +
                  std::string(1 << 20, 'x'));
    EXPECT_EQ(refused.status, 413);

    // Slow clients hold connections open while the service is told to stop.
    std::vector<int> slow;
    for (int i = 0; i < 4; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const char partial[] = "POST /read HTTP/1.1\r\nHo";
        send(fd, partial, sizeof partial - 1, MSG_NOSIGNAL);
        slow.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    ASSERT_EQ(kill(pid_, SIGTERM), 0);
    EXPECT_EQ(WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    for (int fd : slow)
        close(fd);

    const std::string err = ReadErrUntil("no such text", std::chrono::seconds(1));
    std::vector<nlohmann::json> entries;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("karvona serve: ", 0) == 0)
            continue;
        entries.push_back(nlohmann::json::parse(line, nullptr, false));
        EXPECT_FALSE(entries.back().is_discarded()) << line;
    }
    ASSERT_EQ(entries.size(), 3u) << err;
    const int statuses[] = {200, 405, 413};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i]["status"], statuses[i]);
        EXPECT_EQ(entries[i]["client"], "127.0.0.1");
        EXPECT_TRUE(entries[i]["time"].is_string() && entries[i]["bytes"].is_number() &&
                    entries[i]["ms"].is_number() && entries[i]["method"].is_string())
            << entries[i];
    }
    EXPECT_EQ(entries[1]["path"], "/read");
}

TEST_F(ServeProcess, ASecondServiceOnABusyPortExitsOne) {
    Start({"--listen", "127.0.0.1:0", "--data", (dir_ / "data").string()});
    const int port = ListeningPort(ReadErrUntil(" reading(s) at once", std::chrono::seconds(30)));
    ASSERT_GT(port, 0) << err_text_;
    const pid_t first = pid_;
    const int firstErr = err_;
    err_text_.clear();
    Start({"--listen", "127.0.0.1:" + std::to_string(port), "--data", (dir_ / "data").string()});
    EXPECT_EQ(WaitForExit(std::chrono::seconds(20)), 1);
    EXPECT_NE(ReadErrUntil("address in use", std::chrono::seconds(2)).find("address in use"),
              std::string::npos)
        << err_text_;
    EXPECT_EQ(err_text_.find("listening"), std::string::npos) << err_text_;
    close(err_);
    pid_ = first;
    err_ = firstErr;
}

TEST_F(ServeProcess, DoesNotStartWithoutReferenceDataOrWithABadAddress) {
    fs::remove(dir_ / "data/numbers.trn");
    Start({"--listen", "127.0.0.1:0", "--data", (dir_ / "data").string()});
    EXPECT_EQ(WaitForExit(std::chrono::seconds(20)), 2);
    EXPECT_NE(ReadErrUntil("does not start", std::chrono::seconds(1))
                  .find((dir_ / "data/numbers.trn").string()),
              std::string::npos)
        << err_text_;
    close(err_);
    err_ = -1;
    err_text_.clear();

    Start({"--listen", "no port here", "--data", (dir_ / "data").string()});
    EXPECT_EQ(WaitForExit(std::chrono::seconds(20)), 2);
    close(err_);
    err_ = -1;
    Start({"--jobs", "0", "--data", (dir_ / "data").string()});
    EXPECT_EQ(WaitForExit(std::chrono::seconds(20)), 2);
}

TEST_F(ServeProcess, AHistoryThatIsNoHistoryIsNamedAndTheServiceDoesNotStart) {
    const fs::path db = dir_ / "notes.db";
    std::ofstream(db) << "not a database\n";
    Start({"--listen", "127.0.0.1:0", "--data", (dir_ / "data").string(), "--db", db.string()});
    EXPECT_EQ(WaitForExit(std::chrono::seconds(20)), 2);
    const std::string err = ReadErrUntil("does not start", std::chrono::seconds(2));
    EXPECT_NE(err.find(db.string() + " is not an SQLite database"), std::string::npos) << err;
}

// Requests answered before a kill -9 are all in the history, which opens cleanly after.
TEST_F(ServeProcess, KilledInABurstKeepsEveryAnsweredRequest) {
    const fs::path db = dir_ / "burst.db";
    Start({"--listen", "127.0.0.1:0", "--jobs", "2", "--quiet", "--data", (dir_ / "data").string(),
           "--db", db.string()});
    const int port = ListeningPort(ReadErrUntil(" reading(s) at once", std::chrono::seconds(30)));
    ASSERT_GT(port, 0) << err_text_;
    const std::string photo = DrawnJpeg("");
    std::atomic<int> answered{0}, sent{0};
    std::mutex mutex;
    std::vector<std::string> names;
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(10, 0);
            for (int i = 0; i < 25; ++i) {
                const std::string name = "c" + std::to_string(c) + "-" + std::to_string(i);
                ++sent;
                const auto answer = client.Post("/read?file=" + name, photo, "image/jpeg");
                if (!answer)
                    return;  // the service is gone
                if (answer->status == 200) {
                    std::lock_guard<std::mutex> lock(mutex);
                    names.push_back(name);
                    ++answered;
                }
            }
        });
    }
    // Ten answers are enough to kill in the middle of the burst, even under a sanitizer.
    constexpr int kBeforeKill = 10;
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (answered < kBeforeKill && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(kill(pid_, SIGKILL), 0);
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(WaitForExit(std::chrono::seconds(10)), 128 + SIGKILL);
    ASSERT_GE(answered.load(), kBeforeKill);

    std::string error;
    service::HistoryOptions options;
    options.database = db;
    auto history = service::History::Open(options, error);
    ASSERT_TRUE(history) << error;
    service::HistoryQuery all;
    all.limit = 500;
    std::set<std::string> kept;
    for (const auto& row : history->Find(all))
        kept.insert(row["file"].get<std::string>());
    for (const auto& name : names)
        EXPECT_EQ(kept.count(name), 1u) << name << " was answered but not kept";
}

}  // namespace
}  // namespace karvona::cli::testing

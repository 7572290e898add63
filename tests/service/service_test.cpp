// The reading service: answers as `karvona read` prints them, bad input of every kind answered
// 4xx while the service goes on, concurrent and slow clients, and a stop that finishes the
// readings in flight and leaves no thread behind. Every loop is bounded in count and time.
#include <atomic>
#include <mutex>

#include "cli/reading_output.hpp"
#include "recognition/recognizer.hpp"
#include "service_fixture.hpp"

namespace karvona::cli::testing {
namespace {

constexpr char kCode[] = "TGHU7654320";
constexpr char kOther[] = "ABCU1234560";

nlohmann::json Json(const httplib::Result& result) {
    if (!result)
        return nullptr;
    return nlohmann::json::parse(result->body, nullptr, false);
}

// The service is still there and answers.
void ExpectHealthy(httplib::Client& client) {
    const auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
}

TEST_F(ServiceTest, HealthNamesTheVersionAndTheData) {
    ServiceOptions options;
    options.dataFolder = "/usr/share/karvona";
    options.jobs = 3;
    StartService(options);
    auto client = Client();
    const auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(health->get_header_value("Content-Type"), "application/json");
    const auto body = Json(health);
    EXPECT_EQ(body["version"], KARVONA_VERSION);
    EXPECT_EQ(body["data"]["loaded"], true);
    EXPECT_EQ(body["data"]["folder"], "/usr/share/karvona");
    EXPECT_EQ(body["jobs"], 3);
    EXPECT_GE(body["look_threads"], 1);  // the cores three readers leave idle, or one
}

TEST_F(ServiceTest, ReadAnswersTheObjectOfReadJson) {
    StartService();
    auto client = Client();
    const std::string jpeg = DrawnJpeg(kCode);
    const auto answer = client.Post("/read?file=gate%2Ftruck.jpg", jpeg, "image/jpeg");
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->status, 200) << answer->body;
    nlohmann::json body = Json(answer);

    // The same photograph through the recognizer, printed as `read --json` prints it.
    recognition::Recognizer recognizer(data().View());
    cv::Mat photo;
    ASSERT_EQ(recognition::DecodePhotograph(reinterpret_cast<const unsigned char*>(jpeg.data()),
                                            jpeg.size(), photo),
              recognition::LoadStatus::Ok);
    recognizer.RecognizeLoaded(photo);
    nlohmann::json expected = ReadingJson({1, "gate/truck.jpg"}, recognizer.result, false);
    expected.erase("row");
    expected["sure"] = recognition::IsSureReading(recognizer.result);
    EXPECT_EQ(body["code"], kCode);
    // A request has no row; whether the reading is sure is said instead.
    EXPECT_FALSE(body.contains("row"));
    EXPECT_EQ(body["sure"], recognition::IsSureReading(recognizer.result));
    body.erase("ms");
    expected.erase("ms");
    expected.erase("row");
    expected["sure"] = recognition::IsSureReading(recognizer.result);
    EXPECT_EQ(body, expected);
}

TEST_F(ServiceTest, BadInputAnswers4xxWithAJsonErrorAndTheServiceGoesOn) {
    ServiceOptions options;
    options.maxBodyBytes = 1 << 20;
    options.maxPassPhotographs = 3;
    StartService(options);
    auto client = Client();
    const std::string jpeg = DrawnJpeg(kCode);

    struct Case {
        const char* what;
        httplib::Result result;
        int status;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"empty body", client.Post("/read", "", "image/jpeg"), 400, "empty"});
    // Cut after its frame header: nothing to decode. (Cut later, it is read as `read` reads it.)
    const size_t frame = jpeg.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    cases.push_back({"JPEG cut after its frame header",
                     client.Post("/read", jpeg.substr(0, frame + 19), "image/jpeg"), 422,
                     "cannot-decode"});
    cases.push_back({"not a photograph",
                     client.Post("/read", std::string(5000, 'x'), "application/octet-stream"), 415,
                     "unsupported-format"});
    cases.push_back({"wrong content type", client.Post("/read", jpeg, "text/plain"), 415,
                     "unsupported-media-type"});
    cases.push_back(
        {"form sent to /read",
         client.Post("/read", httplib::MultipartFormDataItems{{"a", jpeg, "a.jpg", "image/jpeg"}}),
         415, "unsupported-media-type"});
    cases.push_back({"photograph sent to /pass", client.Post("/pass", jpeg, "image/jpeg"), 415,
                     "unsupported-media-type"});
    cases.push_back({"pass without photographs",
                     client.Post("/pass", httplib::MultipartFormDataItems{{"pass", "7", "", ""}}),
                     400, "empty"});
    httplib::MultipartFormDataItems many;
    for (int i = 0; i < 5; ++i)
        many.push_back({"photo", "x", "p" + std::to_string(i) + ".jpg", "image/jpeg"});
    cases.push_back({"too many photographs", client.Post("/pass", many), 413, "too-large"});
    cases.push_back({"no such path", client.Get("/nowhere"), 404, "not-found"});
    for (const Case& c : cases) {
        ASSERT_TRUE(c.result) << c.what;
        EXPECT_EQ(c.result->status, c.status) << c.what << ": " << c.result->body;
        const auto body = Json(c.result);
        EXPECT_EQ(body["reason"], c.reason) << c.what;
        EXPECT_TRUE(body["error"].is_string()) << c.what;
        ExpectHealthy(client);
    }

    // A body longer than the limit is refused on its declared length, before it is read.
    const RawAnswer declared = RawExchange(
        port(), "POST /read HTTP/1.1\r\nHost: x\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                    std::to_string(options.maxBodyBytes + 1) + "\r\n\r\n" + jpeg.substr(0, 100));
    EXPECT_EQ(declared.status, 413) << declared.text;
    EXPECT_EQ(BodyOf(declared)["reason"], "too-large");
    // Sent whole, it is refused too (or the connection is cut while it is still being sent).
    const auto oversized = client.Post("/read", std::string(options.maxBodyBytes + 4096, 'x'),
                                       "application/octet-stream");
    if (oversized) {
        EXPECT_EQ(oversized->status, 413);
    }
    // So are a request line of garbage and a chunked body that grows past the limit.
    const RawAnswer garbage = RawExchange(port(), "HELLO\r\n\r\n");
    EXPECT_GE(garbage.status, 400);
    std::string chunked =
        "POST /read HTTP/1.1\r\nHost: x\r\nContent-Type: image/jpeg\r\n"
        "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 20; ++i)
        chunked += "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
    chunked += "0\r\n\r\n";
    const RawAnswer grown = RawExchange(port(), chunked);
    if (grown.status != 0) {
        EXPECT_EQ(grown.status, 413) << grown.text.substr(0, 200);
    }
    ExpectHealthy(client);
}

TEST_F(ServiceTest, PassAnswersTheFusedCodes) {
    StartService();
    auto client = Client();
    const httplib::MultipartFormDataItems items{
        {"pass", "153655001", "", ""},
        {"photo", DrawnJpeg(kCode), "1-153655001-OCR-AH-A01.jpg", "image/jpeg"},
        {"photo", DrawnJpeg(kCode, 2), "1-153655001-OCR-LF-C01.jpg", "image/jpeg"},
        {"photo", DrawnJpeg(""), "1-153655001-OCR-RF-D01.jpg", "image/jpeg"},
        {"photo", "not a photograph", "notes.txt", "text/plain"},
    };
    const auto answer = client.Post("/pass", items);
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->status, 200) << answer->body;
    const auto body = nlohmann::ordered_json::parse(answer->body);
    std::vector<std::string> keys;
    for (const auto& item : body.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"pass", "codes", "unused", "review"}));
    EXPECT_EQ(body["pass"], "153655001");
    ASSERT_EQ(body["codes"].size(), 1u);
    EXPECT_EQ(body["codes"][0]["code"], kCode);
    EXPECT_EQ(body["codes"][0]["sure"], true);
    EXPECT_EQ(body["codes"][0]["photos"], (std::vector<std::string>{"1-153655001-OCR-AH-A01.jpg",
                                                                    "1-153655001-OCR-LF-C01.jpg"}));
    EXPECT_EQ(body["unused"],
              (std::vector<std::string>{"1-153655001-OCR-RF-D01.jpg", "notes.txt"}));
    EXPECT_EQ(body["review"], false);
}

TEST_F(ServiceTest, ConcurrentClientsEachGetTheirOwnReading) {
    ServiceOptions options;
    options.jobs = 2;
    StartService(options);
    const std::string photos[2] = {DrawnJpeg(kCode), DrawnJpeg(kOther, 1)};
    constexpr int kClients = 8;
    constexpr int kRequests = 4;
    std::atomic<int> right{0};
    std::mutex failuresMutex;
    std::vector<std::string> failures;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            auto client = Client();
            for (int r = 0; r < kRequests; ++r) {
                const int which = (c + r) % 2;
                const auto answer = client.Post("/read", photos[which], "image/jpeg");
                const auto body = Json(answer);
                if (answer && answer->status == 200 && body["code"] == (which ? kOther : kCode)) {
                    ++right;
                } else {
                    std::lock_guard<std::mutex> lock(failuresMutex);
                    failures.push_back(answer ? answer->body : httplib::to_string(answer.error()));
                }
            }
        });
    }
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(right, kClients * kRequests);
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(service().readingsInFlight(), 0);
    EXPECT_EQ(service().requestsWaiting(), 0);
}

TEST_F(ServiceTest, SlowClientsAreCutOffWithoutHoldingUpOthers) {
    ServiceOptions options;
    options.timeout = std::chrono::seconds(1);
    StartService(options);
    const std::string jpeg = DrawnJpeg(kCode);

    // One client sends half its headers, another a tenth of its body; both then fall silent.
    std::thread silentHeaders([&] {
        const RawAnswer answer = RawExchange(port(), "POST /read HTTP/1.1\r\nHost: x\r\n",
                                             std::chrono::milliseconds(0), std::chrono::seconds(8));
        EXPECT_TRUE(answer.closed || answer.status >= 400) << answer.text;
    });
    std::thread silentBody([&] {
        const RawAnswer answer = RawExchange(
            port(),
            "POST /read HTTP/1.1\r\nHost: x\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                std::to_string(jpeg.size()) + "\r\n\r\n" + jpeg.substr(0, jpeg.size() / 10),
            std::chrono::milliseconds(0), std::chrono::seconds(8));
        // Told that it was too slow, or cut off.
        EXPECT_TRUE(answer.status == 408 || (answer.status == 0 && answer.closed)) << answer.text;
    });
    // Meanwhile a well-behaved client is served at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto client = Client();
    const auto start = Clock::now();
    const auto answer = client.Post("/read", jpeg, "image/jpeg");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    silentHeaders.join();
    silentBody.join();
    ExpectHealthy(client);
}

TEST_F(ServiceTest, StopFinishesTheReadingsInFlightAndLeavesNoThread) {
    // One reading first, so that whatever the libraries start once is already there.
    const std::string jpeg = DrawnJpeg(kCode);
    {
        recognition::Recognizer warmUp(data().View());
        cv::Mat photo;
        recognition::DecodePhotograph(reinterpret_cast<const unsigned char*>(jpeg.data()),
                                      jpeg.size(), photo);
        warmUp.RecognizeLoaded(photo);
    }
    const int before = ThreadCount();
    ServiceOptions options;
    options.jobs = 1;
    StartService(options);

    constexpr int kRequests = 3;
    std::vector<int> statuses(kRequests, 0);
    std::vector<std::thread> clients;
    for (int i = 0; i < kRequests; ++i) {
        clients.emplace_back([&, i] {
            auto client = Client();
            const auto answer = client.Post("/read", jpeg, "image/jpeg");
            statuses[static_cast<size_t>(i)] = answer ? answer->status : -1;
        });
    }
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (service().readingsInFlight() == 0 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(service().readingsInFlight(), 0);
    StopService();
    for (auto& client : clients)
        client.join();
    EXPECT_TRUE(ran());
    // The reading under way was answered; requests still waiting for a turn were told so, and a
    // client that came after the stop found nobody listening.
    int answered = 0;
    for (int status : statuses) {
        EXPECT_TRUE(status == 200 || status == 503 || status == -1) << status;
        answered += status == 200 ? 1 : 0;
    }
    EXPECT_GE(answered, 1);
    EXPECT_EQ(ThreadCount(), before);
}

}  // namespace
}  // namespace karvona::cli::testing

// The service under slow, hostile and too many clients: one deadline per request, a bounded
// queue that answers 503 at once, refused bodies never read as requests, body memory bounded,
// and the right status for every malformed body. Loopback only; every loop is bounded.
#include <atomic>

#include "service_fixture.hpp"

namespace karvona::cli::testing {
namespace {

constexpr char kCode[] = "TGHU7654320";

using std::chrono::milliseconds;
using std::chrono::seconds;

// Opens a connection and sends bytes one at a time, `gap` apart, until the service closes it or
// `patience` passes; returns how long the service let it go on.
Clock::duration Dribble(int port, const std::string& bytes, milliseconds gap, seconds patience) {
    const auto start = Clock::now();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return Clock::duration::zero();
    }
    for (size_t i = 0; Clock::now() - start < patience; i = (i + 1) % bytes.size()) {
        if (send(fd, &bytes[i], 1, MSG_NOSIGNAL) != 1)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(gap.count())) > 0) {
            char c;
            if (recv(fd, &c, 1, MSG_DONTWAIT) <= 0)
                break;
        }
    }
    close(fd);
    return Clock::now() - start;
}

TEST_F(ServiceTest, SlowHeadersAndBodiesAreDroppedAtTheDeadlineWithoutHoldingUpOthers) {
    ServiceOptions options;
    options.jobs = 2;
    options.timeout = seconds(1);
    StartService(options);
    const std::string jpeg = DrawnJpeg(kCode);
    const std::string slowHead =
        PostHead("/read", "Content-Type: image/jpeg\r\nX-Pad: " + std::string(200, 'p') + "\r\n");
    const std::string slowBody = PostHead("/read", "Content-Type: image/jpeg\r\nContent-Length: " +
                                                       std::to_string(jpeg.size()) + "\r\n") +
                                 jpeg;
    std::vector<std::thread> slow;
    std::vector<Clock::duration> held(16);
    for (int i = 0; i < 16; ++i)
        slow.emplace_back([&, i] {
            held[static_cast<size_t>(i)] =
                Dribble(port(), i < 8 ? slowHead : slowBody, milliseconds(100), seconds(5));
        });
    std::this_thread::sleep_for(milliseconds(300));
    auto client = Client();
    const auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    const auto reading = client.Post("/read", jpeg, "image/jpeg");
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->status, 200);
    for (auto& thread : slow)
        thread.join();
    // Each was cut off at its deadline (a byte every 100 ms would have gone on for 5 s).
    for (const auto& duration : held)
        EXPECT_LT(duration, seconds(3));
}

TEST_F(ServiceTest, NoByteOfARefusedBodyIsReadAsARequest) {
    ServiceOptions options;
    options.maxBodyBytes = 64 * 1024;
    options.maxPassPhotographs = 2;
    StartService(options);
    const std::string hidden = "GET /health HTTP/1.1\r\nHost: x\r\n\r\n";
    std::string form;
    for (int i = 0; i < 4; ++i)
        form += "--b\r\nContent-Disposition: form-data; name=\"p\"; filename=\"" +
                std::to_string(i) + ".jpg\"\r\n\r\nx\r\n";
    form += "--b--\r\n";
    struct Case {
        const char* what;
        std::string request;
        int status;
    };
    const std::vector<Case> cases = {
        {"too many photographs, closing",
         PostHead("/pass",
                  "Content-Type: multipart/form-data; boundary=b\r\nConnection: "
                  "close\r\nContent-Length: " +
                      std::to_string(form.size()) + "\r\n") +
             form + hidden,
         413},
        {"too many photographs, kept alive",
         PostHead("/pass", "Content-Type: multipart/form-data; boundary=b\r\nContent-Length: " +
                               std::to_string(form.size()) + "\r\n") +
             form + hidden,
         413},
        {"declared too long",
         PostHead("/read", "Content-Type: image/jpeg\r\nContent-Length: " +
                               std::to_string(options.maxBodyBytes + 1) + "\r\n") +
             hidden,
         413},
        {"wrong media type",
         PostHead("/read", "Content-Type: text/plain\r\nContent-Length: " +
                               std::to_string(hidden.size()) + "\r\n") +
             hidden + hidden,
         415},
        {"no such path", PostHead("/other", "Content-Length: 5\r\n") + hidden, 404},
        {"wrong method", PostHead("/health", "Content-Length: 5\r\n") + hidden, 405},
    };
    for (const Case& c : cases) {
        const RawAnswer answer = RawConversation(port(), c.request, false, seconds(5));
        EXPECT_EQ(answer.status, c.status) << c.what << ": " << answer.text;
        EXPECT_EQ(ResponsesIn(answer.text), 1) << c.what << ": " << answer.text;
        EXPECT_TRUE(answer.closed) << c.what;
        EXPECT_NE(answer.text.find("Connection: close"), std::string::npos) << c.what;
    }
    const RawAnswer wrongMethod = RawConversation(port(), "DELETE /read HTTP/1.1\r\n\r\n");
    EXPECT_EQ(wrongMethod.status, 405);
    EXPECT_NE(wrongMethod.text.find("Allow: POST"), std::string::npos) << wrongMethod.text;
    // A request that was served keeps its connection for the next one.
    const RawAnswer twice = RawConversation(port(), hidden + hidden, true, seconds(5));
    EXPECT_EQ(ResponsesIn(twice.text), 2) << twice.text;
}

TEST_F(ServiceTest, AFullQueueAnswers503AtOnceAndHealthIsNotQueued) {
    ServiceOptions options;
    options.jobs = 1;
    options.maxWaiting = 2;
    options.timeout = seconds(4);
    StartService(options);
    const std::string jpeg = DrawnJpeg(kCode);
    constexpr int kClients = 12;
    std::vector<int> statuses(kClients, 0);
    std::vector<Clock::duration> took(kClients);
    std::atomic<int> retryAfter{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&, i] {
            auto client = Client();
            const auto start = Clock::now();
            const auto answer = client.Post("/read", jpeg, "image/jpeg");
            took[static_cast<size_t>(i)] = Clock::now() - start;
            statuses[static_cast<size_t>(i)] = answer ? answer->status : -1;
            if (answer && answer->status == 503 && answer->has_header("Retry-After"))
                ++retryAfter;
        });
    auto client = Client();
    const auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    for (auto& thread : clients)
        thread.join();
    int ok = 0, busy = 0;
    for (int i = 0; i < kClients; ++i) {
        ok += statuses[static_cast<size_t>(i)] == 200;
        busy += statuses[static_cast<size_t>(i)] == 503;
        EXPECT_LT(took[static_cast<size_t>(i)], options.timeout + seconds(2));
    }
    EXPECT_EQ(ok + busy, kClients);
    EXPECT_GE(ok, 1);
    EXPECT_GE(busy, 1);
    EXPECT_EQ(retryAfter, busy);
}

TEST_F(ServiceTest, TheDeadlineCoversTheReadingOfAPass) {
    ServiceOptions options;
    options.timeout = milliseconds(300);
    options.maxPassPhotographs = 32;
    StartService(options);
    const std::string jpeg = DrawnJpeg(kCode);
    httplib::MultipartFormDataItems items;
    for (int i = 0; i < 32; ++i)
        items.push_back({"photo", jpeg, std::to_string(i) + ".jpg", "image/jpeg"});
    auto client = Client();
    const auto answer = client.Post("/pass", items);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 503) << answer->body;
    EXPECT_EQ(nlohmann::json::parse(answer->body)["reason"], "deadline");
}

TEST_F(ServiceTest, ABodyIsOnlyReceivedWhenThereIsMemoryForIt) {
    ServiceOptions options;
    options.jobs = 1;
    options.maxBodyBytes = 1 << 20;
    options.timeout = seconds(1);
    StartService(options);
    // The first upload declares the largest body and stalls: it holds the memory for one.
    std::thread stalled([&] {
        RawConversation(port(),
                        PostHead("/read", "Content-Type: image/jpeg\r\nContent-Length: " +
                                              std::to_string(options.maxBodyBytes) + "\r\n") +
                            "xx",
                        false, seconds(3));
    });
    std::this_thread::sleep_for(milliseconds(200));
    // The second waits for memory with its body unread, and is received once the first is gone.
    std::atomic<bool> sawWaiting{false};
    std::thread watcher([&] {
        const auto end = Clock::now() + seconds(2);
        while (Clock::now() < end && !sawWaiting) {
            sawWaiting = service().requestsWaiting() == 1;
            std::this_thread::sleep_for(milliseconds(5));
        }
    });
    auto client = Client();
    const auto answer = client.Post("/read", DrawnJpeg(kCode), "image/jpeg");
    watcher.join();
    stalled.join();
    EXPECT_TRUE(sawWaiting);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->status == 200 || answer->status == 503) << answer->status;
}

TEST_F(ServiceTest, MalformedBodiesGetTheirOwnStatus) {
    ServiceOptions options;
    options.maxBodyBytes = 1 << 20;
    StartService(options);
    const std::string jpegType = "Content-Type: image/jpeg\r\n";
    struct Case {
        const char* what;
        std::string request;
        bool halfClose;
        int status;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"bad chunk",
         PostHead("/read", jpegType + "Transfer-Encoding: chunked\r\n") + "zz\r\nabc\r\n0\r\n\r\n",
         false, 400, "bad-chunk"},
        {"empty chunked body",
         PostHead("/read", jpegType + "Transfer-Encoding: chunked\r\n") + "0\r\n\r\n", false, 400,
         "empty"},
        {"empty body", PostHead("/read", jpegType + "Content-Length: 0\r\n"), false, 400, "empty"},
        {"form without boundary",
         PostHead("/pass", "Content-Type: multipart/form-data\r\nContent-Length: 4\r\n") + "abcd",
         false, 400, "bad-multipart"},
        {"form that is not one",
         PostHead("/pass",
                  "Content-Type: multipart/form-data; boundary=b\r\nContent-Length: 4\r\n") +
             "abcd",
         false, 400, "bad-multipart"},
        {"negative length", PostHead("/read", jpegType + "Content-Length: -5\r\n") + "abcde", false,
         400, "bad-length"},
        {"zero-padded length over the limit",
         PostHead("/read", jpegType + "Content-Length: 000000000000000000000100000000\r\n"), false,
         413, "too-large"},
        {"no length, sender half-closes", PostHead("/read", jpegType) + "abcdef", true, 411,
         "length-required"},
        {"body cut short", PostHead("/read", jpegType + "Content-Length: 100\r\n") + "abc", true,
         400, "cut-short"},
    };
    for (const Case& c : cases) {
        const RawAnswer answer = RawConversation(port(), c.request, c.halfClose, seconds(5));
        EXPECT_EQ(answer.status, c.status) << c.what << ": " << answer.text;
        EXPECT_EQ(BodyOf(answer)["reason"], c.reason) << c.what << ": " << answer.text;
        EXPECT_EQ(ResponsesIn(answer.text), 1) << c.what;
    }
}

TEST_F(ServiceTest, ASecondServiceCannotTakeABusyPort) {
    StartService();
    ServiceOptions options;
    options.host = "127.0.0.1";
    options.port = port();
    Service second(data(), options);
    EXPECT_EQ(second.Bind(), -1);
    EXPECT_EQ(second.bindError(), "address in use");
}

}  // namespace
}  // namespace karvona::cli::testing

#pragma once
// The reading service on a free loopback port, with reference data whose codebooks read the
// drawn photographs exactly, and the clients that talk to it: cpp-httplib's own, and a raw
// socket for requests that no well-behaved client sends.

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>
#include <vector>

#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "service/service.hpp"
#include "handmade_confidence.hpp"

namespace karvona::cli::testing {
using service::Service;
using service::ServiceOptions;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

/// Threads of this process now.
inline int ThreadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] != '.')
                ++count;
        }
        closedir(tasks);
    }
    return count;
}

/// The JPEG bytes of a drawn photograph of code (a flat photograph for an empty code).
inline std::string DrawnJpeg(const std::string& code, int layout = 0) {
    cv::Mat image;
    if (code.empty()) {
        image = cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(90));
    } else {
        karvona::testing::CodeDrawing d;
        d.text = code;
        d.layout = layout;
        image = karvona::testing::DrawCodePhoto(d).image;
    }
    std::vector<unsigned char> bytes;
    cv::imencode(".jpg", image, bytes);
    return std::string(bytes.begin(), bytes.end());
}

/// What a raw exchange got back: the first response, or nothing when the service closed first.
struct RawAnswer {
    std::string text;
    int status = 0;  ///< 0 when no status line came
    bool closed = false;
};

/// Whether text holds a whole response: its header and as many body bytes as it declares.
inline bool WholeResponse(const std::string& text) {
    const size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    const size_t field = text.find("Content-Length: ");
    if (field == std::string::npos || field > end)
        return true;
    return text.size() >= end + 4 + std::stoul(text.substr(field + 16));
}

/// Sends bytes on a fresh connection, optionally keeps silent for `silence`, then reads until a
/// whole response has come, the service closes the connection or `patience` has passed.
inline RawAnswer RawExchange(int port, const std::string& bytes,
                             std::chrono::milliseconds silence = std::chrono::milliseconds(0),
                             std::chrono::milliseconds patience = std::chrono::seconds(10)) {
    RawAnswer answer;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return answer;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return answer;
    }
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    std::this_thread::sleep_for(silence);
    const auto end = Clock::now() + patience;
    char buffer[4096];
    while (Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            answer.closed = true;
            break;
        }
        answer.text.append(buffer, static_cast<size_t>(n));
        if (WholeResponse(answer.text))
            break;
    }
    close(fd);
    if (answer.text.rfind("HTTP/1.1 ", 0) == 0 && answer.text.size() >= 12)
        answer.status = std::stoi(answer.text.substr(9, 3));
    return answer;
}

/// Sends bytes on a fresh connection (then half-closes when halfClose) and reads everything
/// the service sends until it closes the connection or `patience` has passed.
inline RawAnswer RawConversation(int port, const std::string& bytes, bool halfClose = false,
                                 std::chrono::milliseconds patience = std::chrono::seconds(10)) {
    RawAnswer answer;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            close(fd);
        return answer;
    }
    const auto end = Clock::now() + patience;
    size_t sent = 0;
    char buffer[65536];
    while (Clock::now() < end) {
        pollfd p{fd, static_cast<short>(POLLIN | (sent < bytes.size() ? POLLOUT : 0)), 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        if (p.revents & POLLIN) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                answer.closed = true;
                break;
            }
            answer.text.append(buffer, static_cast<size_t>(n));
        } else if (p.revents & POLLOUT) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                sent = bytes.size();
                continue;
            }
            sent += static_cast<size_t>(n);
            if (sent == bytes.size() && halfClose)
                shutdown(fd, SHUT_WR);
        } else if (p.revents & (POLLERR | POLLHUP)) {
            answer.closed = true;
            break;
        }
    }
    close(fd);
    if (answer.text.rfind("HTTP/1.1 ", 0) == 0 && answer.text.size() >= 12)
        answer.status = std::stoi(answer.text.substr(9, 3));
    return answer;
}

/// How many responses a raw conversation holds.
inline int ResponsesIn(const std::string& text) {
    int count = 0;
    for (size_t at = text.find("HTTP/1.1 "); at != std::string::npos;
         at = text.find("HTTP/1.1 ", at + 1))
        ++count;
    return count;
}

/// A request head for a POST with the given extra header lines (each ending in CRLF).
inline std::string PostHead(const std::string& path, const std::string& headers) {
    return "POST " + path + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n";
}

/// The JSON body of a raw answer (null when there is none).
inline nlohmann::json BodyOf(const RawAnswer& answer) {
    const size_t start = answer.text.find("\r\n\r\n");
    if (start == std::string::npos)
        return nullptr;
    return nlohmann::json::parse(answer.text.substr(start + 4), nullptr, false);
}

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The readings run on the service's own threads; the library's pool would outlive them.
        cv::setNumThreads(1);
        data_ = new recognition::ReferenceDataSet;
        data_->letters = test_support::DrawnGlyphCodebook(false);
        data_->digits = test_support::DrawnGlyphCodebook(true);
        data_->lettersLoaded = data_->digitsLoaded = true;
        const fs::path prefixes =
            fs::temp_directory_path() / ("karvona-service-" + std::to_string(getpid()) + ".txt");
        std::ofstream(prefixes) << "ABCU\nTGHU\n";
        data_->prefixesLoaded = data_->prefixes.LoadPrefixFile(prefixes.string());
        fs::remove(prefixes);
    }
    static void TearDownTestSuite() {
        delete data_;
        data_ = nullptr;
    }
    void TearDown() override { StopService(); }

    /// Starts the service on a free loopback port with the given options (host and port are
    /// set here).
    void StartService(ServiceOptions options = {}) {
        options.host = "127.0.0.1";
        options.port = 0;
        service_ = std::make_unique<Service>(*data_, options);
        port_ = service_->Bind();
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { ran_ = service_->Run(); });
    }
    void StopService() {
        if (!service_)
            return;
        service_->Stop();
        thread_.join();
        service_.reset();
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", port_);
        client.set_connection_timeout(5, 0);
        client.set_read_timeout(30, 0);
        client.set_write_timeout(10, 0);
        return client;
    }

    static const recognition::ReferenceDataSet& data() { return *data_; }
    Service& service() { return *service_; }
    int port() const { return port_; }
    bool ran() const { return ran_; }

private:
    static recognition::ReferenceDataSet* data_;
    std::unique_ptr<Service> service_;
    std::thread thread_;
    int port_ = -1;
    bool ran_ = false;
};

inline recognition::ReferenceDataSet* ServiceTest::data_ = nullptr;

}  // namespace karvona::cli::testing

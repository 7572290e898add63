#include "cli/service.hpp"

#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "cli/pass_output.hpp"
#include "cli/reading_output.hpp"
#include "shell/passes.hpp"

namespace karvona::cli {
namespace {

using Clock = std::chrono::steady_clock;
using recognition::LoadStatus;

constexpr char kJson[] = "application/json";

void Answer(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_content(body + "\n", kJson);
}

// An error answer: {"error": text, "reason": reason}. The connection is closed after it when the
// body may still be on its way, so that its rest is never read as a request.
void Fail(httplib::Response& res, int status, const char* reason, const std::string& text,
          bool close = false) {
    nlohmann::ordered_json body{{"error", text}, {"reason", reason}};
    Answer(res, status, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    if (close)
        res.set_header("Connection", "close");
}

void FailToLoad(httplib::Response& res, LoadStatus status, const std::string& what) {
    switch (status) {
        case LoadStatus::TooLarge:
            Fail(res, 413, "too-large", what + " has more pixels or bytes than the limit");
            return;
        case LoadStatus::UnsupportedFormat:
            Fail(res, 415, "unsupported-format", what + " is not a JPEG, PNG or BMP file");
            return;
        default:
            Fail(res, 422, recognition::LoadStatusName(status),
                 what + " cannot be decoded (cut short or corrupt)");
            return;
    }
}

// Media types a photograph may be sent as; the bytes themselves decide the format.
bool IsPhotographType(const std::string& contentType) {
    std::string type = contentType.substr(0, contentType.find(';'));
    type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return type == "image/jpeg" || type == "image/png" || type == "image/bmp" ||
           type == "image/x-ms-bmp" || type == "image/x-bmp" || type == "application/octet-stream";
}

// The declared body length, or -1 when there is none (chunked) or it is not a number.
long long DeclaredLength(const httplib::Request& req) {
    if (!req.has_header("Content-Length"))
        return -1;
    const std::string value = req.get_header_value("Content-Length");
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos ||
        value.size() > 18)
        return -1;
    return std::stoll(value);
}

// Answers 413 and says so when the declared body length is over the limit (a body without a
// declared length is measured as it arrives).
bool DeclaresTooLong(const httplib::Request& req, httplib::Response& res, size_t limit) {
    if (DeclaredLength(req) <= static_cast<long long>(limit))
        return false;
    Fail(res, 413, "too-large",
         "the body is longer than the limit of " + std::to_string(limit) + " bytes", true);
    return true;
}

}  // namespace

// One turn to read: a recognizer of its own, handed back when the turn ends.
class Service::Turn {
public:
    Turn(Service& service, Clock::time_point deadline)
        : service_(service), recognizer_(service.WaitForTurn(deadline)) {}
    ~Turn() {
        if (recognizer_ != nullptr)
            service_.EndTurn(recognizer_);
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    recognition::Recognizer* recognizer() const { return recognizer_; }

private:
    Service& service_;
    recognition::Recognizer* recognizer_;
};

Service::Service(const recognition::ReferenceDataSet& data, ServiceOptions options)
    : options_(std::move(options)), view_(data.View()), server_(new httplib::Server) {
    options_.jobs = std::clamp(options_.jobs, 1, 64);
    for (int i = 0; i < options_.jobs; ++i) {
        recognizers_.push_back(std::make_unique<recognition::Recognizer>(view_));
        idle_.push_back(recognizers_.back().get());
    }
    // Connections are served by a fixed pool; each waits for a turn to read.
    const size_t threads = static_cast<size_t>(std::max(8, 4 * options_.jobs));
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    const auto seconds = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::seconds>(options_.timeout).count());
    const time_t silence = static_cast<time_t>(std::min<long long>(seconds, 10));
    server_->set_read_timeout(silence, 0);
    server_->set_write_timeout(silence, 0);
    server_->set_keep_alive_timeout(2);
    server_->set_payload_max_length(options_.maxBodyBytes);
    Route();
}

Service::~Service() {
    Stop();
}

int Service::Bind() {
    int port = options_.port;
    if (port == 0) {
        port = server_->bind_to_any_port(options_.host);
    } else if (!server_->bind_to_port(options_.host, port)) {
        port = -1;
    }
    bound_ = port > 0;
    return bound_ ? port : -1;
}

bool Service::Run() {
    if (!bound_)
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_)
            return true;
        running_ = true;
    }
    const bool served = server_->listen_after_bind();
    listenReturned_ = true;
    return served;
}

void Service::Stop() {
    bool running = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        running = running_;
    }
    turnFreed_.notify_all();
    // The server ignores a stop before it has started to listen: wait for that moment.
    while (running && !listenReturned_ && !server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server_->stop();
}

recognition::Recognizer* Service::WaitForTurn(Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    ++waiting_;
    const bool got =
        turnFreed_.wait_until(lock, deadline, [this] { return stopping_ || !idle_.empty(); });
    --waiting_;
    if (!got || stopping_)
        return nullptr;
    recognition::Recognizer* recognizer = idle_.back();
    idle_.pop_back();
    ++inFlight_;
    return recognizer;
}

void Service::EndTurn(recognition::Recognizer* recognizer) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(recognizer);
        --inFlight_;
    }
    turnFreed_.notify_one();
}

void Service::Route() {
    httplib::Server& server = *server_;

    server.Get("/health", [this](const httplib::Request&, httplib::Response& res) {
        nlohmann::ordered_json body{{"version", KARVONA_VERSION},
                                    {"data",
                                     {{"loaded", view_.letters && view_.digits && view_.prefixes},
                                      {"folder", options_.dataFolder.string()}}},
                                    {"jobs", options_.jobs},
                                    {"readings", inFlight_.load()},
                                    {"waiting", waiting_.load()}};
        Answer(res, 200, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    });

    server.Post("/read", [this](const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& reader) {
        const auto deadline = Clock::now() + options_.timeout;
        if (req.is_multipart_form_data() ||
            !IsPhotographType(req.get_header_value("Content-Type"))) {
            Fail(res, 415, "unsupported-media-type",
                 "send the photograph's bytes with Content-Type image/jpeg, image/png, image/bmp "
                 "or application/octet-stream (several photographs of a pass go to /pass)",
                 true);
            return;
        }
        if (DeclaresTooLong(req, res, options_.maxBodyBytes))
            return;
        std::string body;
        bool tooLong = false, late = false;
        const bool received = reader([&](const char* data, size_t length) {
            tooLong = body.size() + length > options_.maxBodyBytes;
            late = Clock::now() > deadline;
            if (tooLong || late)
                return false;
            body.append(data, length);
            return true;
        });
        if (tooLong) {
            Fail(res, 413, "too-large", "the body is longer than the limit", true);
            return;
        }
        if (late || !received) {
            // A client that fell silent or went away; the answer is for the one that is slow.
            Fail(res, 408, "timeout", "the photograph did not arrive in time", true);
            return;
        }
        if (body.empty()) {
            Fail(res, 400, "empty", "the body is empty: send the photograph's bytes");
            return;
        }

        Turn turn(*this, deadline);
        if (turn.recognizer() == nullptr) {
            Fail(res, 503, "busy", "no turn to read came before the time was up");
            return;
        }
        cv::Mat photograph;
        const LoadStatus status = recognition::DecodePhotograph(
            reinterpret_cast<const unsigned char*>(body.data()), body.size(), photograph);
        body = std::string();
        if (status != LoadStatus::Ok) {
            FailToLoad(res, status, "the photograph");
            return;
        }
        recognition::Recognizer& recognizer = *turn.recognizer();
        recognizer.RecognizeLoaded(photograph);
        const ReadingRow row{1, req.has_param("file") ? req.get_param_value("file") : ""};
        nlohmann::json reading = ReadingJson(row, recognizer.result, false);
        reading.erase("row");  // a request has no row
        reading["sure"] = recognition::IsSureReading(recognizer.result);
        Answer(res, 200, reading.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    });

    server.Post("/pass", [this](const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& reader) {
        const auto deadline = Clock::now() + options_.timeout;
        if (!req.is_multipart_form_data()) {
            Fail(res, 415, "unsupported-media-type",
                 "send the photographs of a pass as multipart/form-data, one file part each", true);
            return;
        }
        if (DeclaresTooLong(req, res, options_.maxBodyBytes))
            return;
        std::vector<httplib::MultipartFormData> parts;
        size_t total = 0;
        bool tooLong = false, tooMany = false, late = false;
        const bool received = reader(
            [&](const httplib::MultipartFormData& part) {
                tooMany = parts.size() >= options_.maxPassPhotographs + 1;
                if (tooMany)
                    return false;
                parts.push_back(part);
                return true;
            },
            [&](const char* data, size_t length) {
                total += length;
                tooLong = total > options_.maxBodyBytes;
                late = Clock::now() > deadline;
                if (tooLong || late)
                    return false;
                parts.back().content.append(data, length);
                return true;
            });
        if (tooLong || tooMany) {
            Fail(res, 413, "too-large",
                 tooMany ? "more than " + std::to_string(options_.maxPassPhotographs) +
                               " photographs in one pass"
                         : std::string("the body is longer than the limit"),
                 true);
            return;
        }
        if (late || !received) {
            Fail(res, 408, "timeout",
                 "the photographs did not arrive in time, or not as multipart/form-data", true);
            return;
        }
        std::string passName = req.has_param("pass") ? req.get_param_value("pass") : "";
        std::vector<const httplib::MultipartFormData*> files;
        for (const auto& part : parts) {
            if (part.filename.empty() && part.name == "pass")
                passName = part.content;
            else if (!part.filename.empty() || !part.content.empty())
                files.push_back(&part);
        }
        if (files.empty()) {
            Fail(res, 400, "empty", "the pass holds no photograph");
            return;
        }

        Turn turn(*this, deadline);
        if (turn.recognizer() == nullptr) {
            Fail(res, 503, "busy", "no turn to read came before the time was up");
            return;
        }
        recognition::Recognizer& recognizer = *turn.recognizer();
        std::vector<shell::PassPhoto> photos;
        for (size_t i = 0; i < files.size(); ++i) {
            const auto& part = *files[i];
            const std::string name = !part.filename.empty() ? part.filename
                                     : !part.name.empty()   ? part.name
                                                            : "photograph " + std::to_string(i + 1);
            cv::Mat photograph;
            const LoadStatus status = recognition::DecodePhotograph(
                reinterpret_cast<const unsigned char*>(part.content.data()), part.content.size(),
                photograph);
            recognition::RecognitionResult reading;
            reading.status = status;
            if (status == LoadStatus::Ok) {
                recognizer.RecognizeLoaded(photograph);
                reading = recognizer.result;
            }
            photos.push_back({name, name, reading});
        }
        const shell::PassResult pass = shell::FusePass(passName, photos, *view_.prefixes);
        Answer(res, 200,
               PassJson(pass).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    });

    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request& req, httplib::Response& res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            // A known path asked with another method.
            const char* allow = req.path == "/health"                        ? "GET"
                                : req.path == "/read" || req.path == "/pass" ? "POST"
                                                                             : nullptr;
            if (res.status == 404 && allow != nullptr) {
                res.status = 405;
                res.set_header("Allow", allow);
            }
            const int status = res.status;
            const char* reason = status == 404   ? "not-found"
                                 : status == 405 ? "method-not-allowed"
                                 : status == 413 ? "too-large"
                                                 : "bad-request";
            const std::string text = status == 404 ? "no such path: use /read, /pass or /health"
                                                   : "the request cannot be served";
            Fail(res, status, reason, text);
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            Fail(res, 500, "internal", "the reading failed");
        });
    if (options_.logRequests) {
        server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::fprintf(stderr, "karvona serve: %s %s %d\n", req.method.c_str(), req.path.c_str(),
                         res.status);
        });
    }
}

}  // namespace karvona::cli

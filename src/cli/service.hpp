#pragma once
// The reading service: HTTP on cpp-httplib, for gate systems that ask over the network.
//
//   GET  /health  {"version": "...", "data": {"loaded": true, "folder": "..."}, "jobs": N, ...}
//   POST /read    the photograph's bytes (JPEG, PNG or BMP) as the body; answers the JSON object
//                 of one line of `karvona read --json` (?file=NAME names it in the answer)
//   POST /pass    several photographs as multipart/form-data (a field "pass" names the pass);
//                 answers the pass object of `karvona read --passes --json`
//
// Every reading is independent: nothing is kept between requests. At most `jobs` readings run at
// once; further requests wait in turn until their time is up (503). Bad input answers 4xx with
// {"error": "...", "status": ...} and never stops the service. Stop() lets the readings in flight
// finish; requests still waiting are answered 503.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"

namespace httplib {
class Server;
}

namespace karvona::cli {

struct ServiceOptions {
    std::string host = "127.0.0.1";
    int port = 8080;  ///< 0: any free port
    int jobs = 1;     ///< readings at once
    /// Per request: receiving the body and waiting for a turn to read. Also the longest a
    /// connection may stay silent.
    std::chrono::milliseconds timeout{30000};
    /// The largest body: a photograph of the pixel limit, and all photographs of a pass together.
    std::size_t maxBodyBytes = static_cast<std::size_t>(recognition::kMaxPhotographBytes);
    std::size_t maxPassPhotographs = 32;
    std::filesystem::path dataFolder;  ///< shown by /health
    bool logRequests = false;          ///< one line per request on stderr
};

class Service {
public:
    /// data must outlive the service and be loaded completely.
    Service(const recognition::ReferenceDataSet& data, ServiceOptions options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    /// Binds the listening socket; returns the port, or -1 when the address cannot be bound.
    int Bind();
    /// Serves until Stop(); returns when the requests in flight are answered. False when the
    /// service could not run (not bound).
    bool Run();
    /// Asks Run() to end; safe from any thread, more than once.
    void Stop();

    /// Readings running now and requests waiting for a turn.
    int readingsInFlight() const { return inFlight_.load(); }
    int requestsWaiting() const { return waiting_.load(); }

private:
    class Turn;
    void Route();
    recognition::Recognizer* WaitForTurn(std::chrono::steady_clock::time_point deadline);
    void EndTurn(recognition::Recognizer* recognizer);

    ServiceOptions options_;
    recognition::ReferenceData view_;
    std::unique_ptr<httplib::Server> server_;
    std::vector<std::unique_ptr<recognition::Recognizer>> recognizers_;

    std::mutex mutex_;
    std::condition_variable turnFreed_;
    std::vector<recognition::Recognizer*> idle_;
    bool stopping_ = false;
    bool running_ = false;  ///< Run() has begun to listen
    std::atomic<bool> listenReturned_{false};
    std::atomic<int> inFlight_{0};
    std::atomic<int> waiting_{0};
    bool bound_ = false;
};

}  // namespace karvona::cli

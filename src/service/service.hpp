#pragma once
// The reading service: HTTP/1.1 on Boost.Beast, for gate systems that ask over the network.
//
//   GET  /health  {"version": "...", "data": {"loaded": true, "folder": "..."}, "jobs": N,
//                 "readings": N, "waiting": N}; answered at once, never behind a reading
//   POST /read    the photograph's bytes (JPEG, PNG or BMP) as the body; answers the JSON object
//                 of one line of `karvona read --json` without its "row", with "sure" added
//                 (?file=NAME names it in the answer)
//   POST /pass    several photographs as multipart/form-data (a field "pass" or ?pass=NAME names
//                 the pass); answers the pass object of `karvona read --passes --json`
//
// Every answer that is not 200 has the body {"error": "text for people", "reason": "kebab-case
// word"} and closes the connection, so that the rest of a refused body is never read as a
// request. A known path with another method answers 405 with an Allow header.
//
// One thread does all network work; `jobs` threads read. Each request has one deadline
// (`timeout`) for its headers, its body, its wait for a reader and its reading (a pass stops
// between photographs when it is over). Bodies are checked against the limit from their headers
// and while they stream, and are only received when the memory for them is free: at most
// `jobs` bodies of the largest size are held at once. When `maxWaiting` requests already wait,
// the next one is answered 503 with Retry-After at once. Stop() closes the connections that are
// not being read for, lets the readings in flight finish, and answers the waiting ones 503.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "recognition/reference_data.hpp"

namespace karvona::service {

enum class LogFormat { kText, kJson };
class History;

struct ServiceOptions {
    std::string host = "127.0.0.1";
    int port = 8080;  ///< 0: any free port
    int jobs = 1;     ///< readings at once
    /// The second looks of one photograph read at once (ReadOptions::lookThreads); 0: as many
    /// as the readers leave cores idle, at most 4.
    int lookThreads = 0;
    /// Per request, from its first byte to the end of its reading.
    std::chrono::milliseconds timeout{30000};
    /// The largest body: a photograph of the pixel limit, and all photographs of a pass together.
    std::size_t maxBodyBytes = 0;  ///< 0: recognition::kMaxPhotographBytes
    std::size_t maxPassPhotographs = 32;
    int maxWaiting = 0;                ///< requests waiting for memory or a reader; 0: 8 per job
    int maxConnections = 512;          ///< further connections are answered 503 and closed
    std::filesystem::path dataFolder;  ///< shown by /health
    bool logRequests = false;          ///< one line per request on stderr
    LogFormat logFormat = LogFormat::kText;
    /// Where every answer is kept and the desk reads (not owned; null: nothing is kept).
    History* history = nullptr;
    /// The desk's routes ask for "Authorization: Bearer TOKEN" when it is set; without it a
    /// service listening beyond loopback refuses the routes that change the history.
    std::string token;
    std::filesystem::path webFolder;  ///< the desk's page; empty: no page
};

class Service {
public:
    /// data must outlive the service and be loaded completely.
    Service(const recognition::ReferenceDataSet& data, ServiceOptions options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    /// Binds the listening socket, exclusive to this process; returns the port, or -1 when the
    /// address cannot be bound (bindError() says why: "address in use", ...).
    int Bind();
    const std::string& bindError() const { return bindError_; }
    /// Serves until Stop(); returns when the requests in flight are answered. False when the
    /// service could not run (not bound).
    bool Run();
    /// Asks Run() to end; safe from any thread, more than once.
    void Stop();

    /// Readings running now and requests waiting for memory or a reader.
    int readingsInFlight() const;
    int requestsWaiting() const;

    class Core;

private:
    std::unique_ptr<Core> core_;
    std::string bindError_;
};

}  // namespace karvona::service

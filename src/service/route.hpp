#pragma once
// What a route of the service sees and gives back, and the routes themselves: one handler per
// route, each in its own file. A route either answers at once on the network thread (no
// reading) or reads its body on a reader's thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "karvona/read_code.hpp"
#include "recognition/reference_data.hpp"
#include "service/service.hpp"

namespace karvona::service {

using Clock = std::chrono::steady_clock;

/// The parts of a request's head that the routes read.
struct RequestHead {
    std::string method;
    std::string path;                          ///< without the query
    std::map<std::string, std::string> query;  ///< decoded ?name=value pairs
    std::string contentType;
    std::optional<std::uint64_t> contentLength;  ///< none when chunked
    std::string authorization;                   ///< the Authorization header
    std::string client;                          ///< the peer's address
    /// A proxy passed the request on (Forwarded, X-Forwarded-For or X-Real-IP): the peer's
    /// address says nothing of who sent it.
    bool forwarded = false;
    Clock::time_point deadline;
};

/// An answer: the status, its JSON body and the extra headers it needs.
struct Answer {
    int status = 200;
    std::string body;    ///< one JSON value and a line break
    std::string reason;  ///< the error's reason word (empty for 200)
    int retryAfter = 0;  ///< seconds, sent as Retry-After when above 0
    std::string allow;   ///< sent as Allow when not empty
    std::string contentType = "application/json";
};

/// What the routes read besides the request: set once, read by every thread.
struct ServiceView {
    const ServiceOptions& options;
    History* history;  ///< null when the service keeps none
    const recognition::ReferenceData& data;
    const karvona::ReferenceData& reading;  ///< the same data, as ReadCode takes it
    std::function<int()> readingsInFlight;
    std::function<int()> requestsWaiting;

    /// How a route reads a photograph: the plan's second looks on the cores the readers leave.
    karvona::ReadOptions readOptions() const {
        karvona::ReadOptions read;
        read.lookThreads = options.lookThreads;
        return read;
    }
};

struct Route {
    std::string path;
    std::string method;
    /// Answers at once on the network thread (routes that read nothing), or empty.
    std::function<Answer(const RequestHead&)> answer;
    /// Refuses a request from its head alone before any of its body is received (media type),
    /// or gives nothing to receive it.
    std::function<std::optional<Answer>(const RequestHead&)> admit;
    /// Reads the whole body on a reader's thread.
    std::function<Answer(const RequestHead&, std::string& body)> read;
    /// Takes a small body on the network thread (no reading), or empty.
    std::function<Answer(const RequestHead&, const std::string& body)> take;
};

Route HealthRoute(const ServiceView& view);
Route ReadRoute(const ServiceView& view);
Route PassRoute(const ServiceView& view);
/// The review desk's JSON routes under /desk/ (desk_routes.cpp).
std::vector<Route> DeskRoutes(const ServiceView& view);
/// The desk's web page and its files, from options.webFolder (web_route.cpp).
std::vector<Route> WebRoutes(const ServiceView& view);

}  // namespace karvona::service

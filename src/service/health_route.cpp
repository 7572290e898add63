// GET /health: the version, the reference data and the load, answered on the network thread.
#include "service/answers.hpp"

namespace karvona::service {

Route HealthRoute(const ServiceView& view) {
    Route route;
    route.path = "/health";
    route.method = "GET";
    route.answer = [&view](const RequestHead&) {
        const auto& data = view.data;
        return JsonAnswer({{"version", KARVONA_VERSION},
                           {"data",
                            {{"loaded", data.letters && data.digits && data.prefixes},
                             {"folder", view.options.dataFolder.string()}}},
                           {"jobs", view.options.jobs},
                           {"look_threads", view.options.lookThreads},
                           {"readings", view.readingsInFlight()},
                           {"waiting", view.requestsWaiting()}});
    };
    return route;
}

}  // namespace karvona::service

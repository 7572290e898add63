#pragma once
// The inside of the service: the network thread's state (acceptor, connections, the memory for
// bodies, the waiting requests) and the readers. Everything here but the readers' queue and the
// set of connections is touched by the network thread alone.

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "service/reading_pool.hpp"
#include "service/route.hpp"
#include "service/service.hpp"

namespace karvona::service {

class Session;

class Service::Core {
public:
    Core(const recognition::ReferenceDataSet& data, ServiceOptions options);
    ~Core();

    /// The route for a path and method: null when there is none; allow then holds the methods
    /// of the path (empty when the path is unknown).
    const Route* Find(const std::string& path, const std::string& method, std::string& allow) const;

    /// Memory for a body of size bytes: true when it is given now; otherwise the session is
    /// queued and its Granted() is called when the memory frees.
    bool ReserveBody(std::size_t size, const std::shared_ptr<Session>& session);
    void ReleaseBody(std::size_t size);
    /// Takes a session out of the queue for memory (its deadline passed).
    void ForgetWaiter(const Session* session);

    void Register(Session* session);
    void Unregister(Session* session);

    void Accept();
    void BeginStop();

    int Waiting() const { return waitingForMemory_ + pool.queued(); }

    ServiceOptions options;
    recognition::ReferenceData data;
    karvona::ReferenceData reading;  ///< data as the readers take it, with their idle recognizers
    ServiceView view;
    std::vector<Route> routes;

    // Declared in this order so that connections outlive the network loop that may hold them.
    std::mutex sessionsMutex;
    std::unordered_set<Session*> sessions;
    boost::asio::io_context io{1};
    boost::asio::ip::tcp::acceptor acceptor{io};
    boost::asio::steady_timer acceptRetry{io};
    ReadingPool pool;
    bool stopping = false;
    bool bound = false;

private:
    std::size_t bodyBudget_;
    std::size_t bodyInUse_ = 0;
    std::deque<std::pair<std::shared_ptr<Session>, std::size_t>> memoryWaiters_;
    std::atomic<int> waitingForMemory_{0};
    bool tearingDown_ = false;
};

}  // namespace karvona::service

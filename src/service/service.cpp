#include "service/service.hpp"

#include <boost/asio/post.hpp>
#include <cstdio>
#include <thread>

#include "recognition/read_code.hpp"
#include "recognition/recognizer.hpp"
#include "service/session.hpp"
#include "shell/batch.hpp"

namespace karvona::service {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;

ServiceOptions Settled(ServiceOptions options) {
    options.jobs = std::clamp(options.jobs, 1, 64);
    if (options.lookThreads <= 0)
        options.lookThreads = shell::LookThreadsBeside(options.jobs);
    options.lookThreads = std::clamp(options.lookThreads, 1, 8);
    if (options.maxBodyBytes == 0)
        options.maxBodyBytes = static_cast<std::size_t>(recognition::kMaxPhotographBytes);
    if (options.maxWaiting <= 0)
        options.maxWaiting = 8 * options.jobs;
    options.maxConnections = std::max(options.maxConnections, 1);
    return options;
}

}  // namespace

Service::Core::Core(const recognition::ReferenceDataSet& set, ServiceOptions settled)
    : options(Settled(std::move(settled))),
      data(set.View()),
      reading(recognition::ShareReferenceData(data)),
      view{options,
           options.history,
           data,
           reading,
           [this] { return pool.running(); },
           [this] { return Waiting(); }},
      pool(options.jobs, options.maxWaiting),
      bodyBudget_(static_cast<std::size_t>(options.jobs) * options.maxBodyBytes) {
    routes.push_back(HealthRoute(view));
    routes.push_back(ReadRoute(view));
    routes.push_back(PassRoute(view));
    for (auto& route : DeskRoutes(view))
        routes.push_back(std::move(route));
    for (auto& route : WebRoutes(view))
        routes.push_back(std::move(route));
}

Service::Core::~Core() {
    // Connections still queued for memory are let go without handing memory to anyone.
    tearingDown_ = true;
    auto waiters = std::move(memoryWaiters_);
    waiters.clear();
}

const Route* Service::Core::Find(const std::string& path, const std::string& method,
                                 std::string& allow) const {
    allow.clear();
    for (const Route& route : routes) {
        if (route.path != path)
            continue;
        if (route.method == method)
            return &route;
        allow += (allow.empty() ? "" : ", ") + route.method;
    }
    return nullptr;
}

bool Service::Core::ReserveBody(std::size_t size, const std::shared_ptr<Session>& session) {
    if (memoryWaiters_.empty() && bodyInUse_ + size <= bodyBudget_) {
        bodyInUse_ += size;
        return true;
    }
    memoryWaiters_.emplace_back(session, size);
    ++waitingForMemory_;
    return false;
}

void Service::Core::ReleaseBody(std::size_t size) {
    if (tearingDown_)
        return;
    bodyInUse_ -= std::min(size, bodyInUse_);
    while (!memoryWaiters_.empty() && bodyInUse_ + memoryWaiters_.front().second <= bodyBudget_) {
        auto [session, need] = std::move(memoryWaiters_.front());
        memoryWaiters_.pop_front();
        --waitingForMemory_;
        bodyInUse_ += need;
        session->Granted(need);
    }
}

void Service::Core::ForgetWaiter(const Session* session) {
    for (auto it = memoryWaiters_.begin(); it != memoryWaiters_.end(); ++it) {
        if (it->first.get() == session) {
            auto keep = std::move(it->first);  // not destroyed while the queue changes
            memoryWaiters_.erase(it);
            --waitingForMemory_;
            return;
        }
    }
}

void Service::Core::Register(Session* session) {
    std::lock_guard<std::mutex> lock(sessionsMutex);
    sessions.insert(session);
}

void Service::Core::Unregister(Session* session) {
    std::lock_guard<std::mutex> lock(sessionsMutex);
    sessions.erase(session);
}

void Service::Core::Accept() {
    acceptor.async_accept([this](boost::system::error_code error, tcp::socket socket) {
        if (stopping || error == asio::error::operation_aborted)
            return;
        if (error) {
            // Out of descriptors or the like: try again in a moment rather than spin.
            acceptRetry.expires_after(std::chrono::milliseconds(100));
            acceptRetry.async_wait([this](boost::system::error_code e) {
                if (!e && !stopping)
                    Accept();
            });
            return;
        }
        std::size_t open;
        {
            std::lock_guard<std::mutex> lock(sessionsMutex);
            open = sessions.size();
        }
        auto session = std::make_shared<Session>(*this, std::move(socket));
        if (open >= static_cast<std::size_t>(options.maxConnections))
            session->Refuse();
        else
            session->Start();
        Accept();
    });
}

void Service::Core::BeginStop() {
    stopping = true;
    boost::system::error_code ignored;
    acceptor.close(ignored);
    acceptRetry.cancel();
    pool.Stop();
    std::vector<std::shared_ptr<Session>> open;
    {
        std::lock_guard<std::mutex> lock(sessionsMutex);
        for (Session* session : sessions) {
            if (auto held = session->weak_from_this().lock())
                open.push_back(std::move(held));
        }
    }
    for (auto& session : open)
        session->OnStop();
}

Service::Service(const recognition::ReferenceDataSet& data, ServiceOptions options)
    : core_(std::make_unique<Core>(data, std::move(options))) {}

Service::~Service() {
    Stop();
}

int Service::Bind() {
    Core& core = *core_;
    boost::system::error_code error;
    tcp::endpoint endpoint;
    const auto address = asio::ip::make_address(core.options.host, error);
    if (!error) {
        endpoint = tcp::endpoint(address, static_cast<unsigned short>(core.options.port));
    } else {
        tcp::resolver resolver(core.io);
        const auto found =
            resolver.resolve(core.options.host, std::to_string(core.options.port), error);
        if (error || found.empty()) {
            bindError_ = "unknown host";
            return -1;
        }
        endpoint = found.begin()->endpoint();
    }
    // SO_REUSEADDR lets a restart bind while old connections linger in TIME_WAIT; on Linux it
    // never lets a second process listen on the same port (SO_REUSEPORT would, and is not set).
    core.acceptor.open(endpoint.protocol(), error);
    if (!error)
        core.acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    if (!error)
        core.acceptor.bind(endpoint, error);
    if (!error)
        core.acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        bindError_ = error == asio::error::address_in_use ? "address in use" : error.message();
        boost::system::error_code ignored;
        core.acceptor.close(ignored);
        return -1;
    }
    core.bound = true;
    return core.acceptor.local_endpoint().port();
}

bool Service::Run() {
    Core& core = *core_;
    if (!core.bound)
        return false;
    asio::post(core.io, [&core] {
        if (!core.stopping)
            core.Accept();
    });
    for (;;) {
        try {
            core.io.run();
            return true;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "karvona serve: %s\n", e.what());
        }
    }
}

void Service::Stop() {
    Core& core = *core_;
    asio::post(core.io, [&core] { core.BeginStop(); });
}

int Service::readingsInFlight() const {
    return core_->pool.running();
}

int Service::requestsWaiting() const {
    return core_->Waiting();
}

}  // namespace karvona::service

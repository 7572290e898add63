#pragma once
// One connection: reads a request head under the request's deadline, routes it, receives its
// body when memory for it is free, has it read, answers, and either reads the next request or
// closes. After every answer that is not 200 the connection is closed: the rest of a refused
// body is drained for a moment and thrown away, never parsed.

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <memory>
#include <optional>

#include "service/access_log.hpp"
#include "service/core.hpp"

namespace karvona::service {

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(Service::Core& core, boost::asio::ip::tcp::socket socket);
    ~Session();

    void Start();
    /// Answers 503 and closes (too many connections).
    void Refuse();
    /// The service stops: closes the connection unless a reading is under way for it.
    void OnStop();
    /// The memory for the body was given.
    void Granted(std::size_t size);

private:
    enum class State { kHead, kMemory, kBody, kReading, kWriting, kDraining };
    using Parser = boost::beast::http::request_parser<boost::beast::http::string_body>;

    void ReadHead();
    void OnHead(boost::beast::error_code error);
    void OnRouted();
    void ReceiveBody();
    void ReceiveDeclared();
    void OnBody(boost::beast::error_code error);
    void Submit();
    void Reply(Answer answer);
    void OnWritten(boost::beast::error_code error, bool keepAlive);
    void Drain();
    void DrainSome();
    void Close();
    /// Logs a request that ended without an answer (dropped at its deadline).
    void LogDropped(int status);
    /// Whether every byte of the request has been received.
    bool WholeRequestRead() const;

    Service::Core& core_;
    boost::beast::tcp_stream stream_;
    boost::beast::flat_buffer buffer_;
    std::optional<Parser> parser_;
    std::optional<boost::beast::http::response<boost::beast::http::string_body>> response_;
    std::optional<boost::beast::http::response<boost::beast::http::empty_body>> continue_;
    boost::asio::steady_timer memoryTimer_;
    State state_ = State::kHead;
    const Route* route_ = nullptr;
    RequestHead head_;
    LogEntry log_;
    Clock::time_point start_;
    std::string body_;           ///< a body of declared length, as received
    bool bodyComplete_ = false;  ///< body_ holds the whole body
    std::size_t reserved_ = 0;
    bool granted_ = false;
    bool closed_ = false;
    char drainBuffer_[16384];
    std::size_t drained_ = 0;
};

}  // namespace karvona::service

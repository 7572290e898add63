#include "service/session.hpp"

#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <cctype>

#include "service/answers.hpp"

namespace karvona::service {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

constexpr std::size_t kHeaderLimit = 32 * 1024;
// After an answer that closes the connection, what is still on its way is read and thrown away
// for this long (or this much), so that the client sees the answer and not a reset.
constexpr auto kDrainTime = std::chrono::seconds(1);
constexpr std::size_t kDrainBytes = 64u << 20;

int Hex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// %XX and + decoded; a broken escape is kept as it stands.
std::string Decode(beast::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() + 0 && Hex(text[i + 1]) >= 0 &&
                   Hex(text[i + 2]) >= 0) {
            out += static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void SplitTarget(beast::string_view target, RequestHead& head) {
    const size_t mark = target.find('?');
    head.path = std::string(target.substr(0, mark));
    if (mark == beast::string_view::npos)
        return;
    beast::string_view query = target.substr(mark + 1);
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const beast::string_view pair = query.substr(0, amp);
        const size_t eq = pair.find('=');
        if (!pair.empty())
            head.query.emplace(Decode(pair.substr(0, eq)),
                               eq == beast::string_view::npos ? "" : Decode(pair.substr(eq + 1)));
        query = amp == beast::string_view::npos ? beast::string_view() : query.substr(amp + 1);
    }
}

bool IsHttpError(const beast::error_code& error) {
    return error.category() == http::make_error_code(http::error::bad_method).category();
}

// The answer to a request that could not be parsed or received.
Answer ParseFailure(const beast::error_code& error, std::size_t limit) {
    if (error == http::error::body_limit)
        return Fail(413, "too-large",
                    "the body is longer than the limit of " + std::to_string(limit) + " bytes");
    if (error == http::error::header_limit)
        return Fail(431, "header-too-large", "the request's header is too long");
    if (error == http::error::bad_content_length)
        return Fail(400, "bad-length", "the Content-Length is not a length");
    if (error == http::error::bad_chunk || error == http::error::bad_chunk_extension)
        return Fail(400, "bad-chunk", "a chunk of the body is malformed");
    if (error == http::error::bad_transfer_encoding)
        return Fail(501, "unsupported-encoding", "only chunked transfer coding is understood");
    if (error == http::error::partial_message || error == http::error::end_of_stream)
        return Fail(400, "cut-short", "the body ended before its declared length");
    return Fail(400, "bad-request", "the request cannot be parsed as HTTP/1.1");
}

}  // namespace

Session::Session(Service::Core& core, asio::ip::tcp::socket socket)
    : core_(core), stream_(std::move(socket)), memoryTimer_(core.io) {
    core_.Register(this);
    beast::error_code ignored;
    stream_.socket().set_option(asio::ip::tcp::no_delay(true), ignored);
    const auto peer = stream_.socket().remote_endpoint(ignored);
    log_.client = ignored ? "-" : peer.address().to_string();
}

Session::~Session() {
    if (reserved_ > 0)
        core_.ReleaseBody(reserved_);
    core_.Unregister(this);
}

void Session::Start() {
    ReadHead();
}

void Session::Refuse() {
    start_ = Clock::now();
    log_.method = log_.path = "-";
    Reply(Busy("busy", "too many connections; try again"));
}

void Session::OnStop() {
    if (state_ == State::kReading || state_ == State::kWriting)
        return;
    if (state_ == State::kMemory)
        core_.ForgetWaiter(this);
    Close();
}

void Session::ReadHead() {
    state_ = State::kHead;
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(core_.options.maxBodyBytes);
    head_ = RequestHead();
    route_ = nullptr;
    bodyComplete_ = false;
    std::string().swap(body_);
    log_.method = log_.path = "-";
    start_ = Clock::now();
    head_.deadline = start_ + core_.options.timeout;
    // One deadline for the head and the body together: it is not renewed while they arrive.
    stream_.expires_at(head_.deadline);
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnHead(error); });
}

void Session::OnHead(beast::error_code error) {
    if (closed_)
        return;
    const auto& message = parser_->get();
    if (!message.method_string().empty()) {
        log_.method = std::string(message.method_string());
        log_.path = std::string(message.target().substr(0, message.target().find('?')));
    }
    if (error) {
        if (error == beast::error::timeout && parser_->got_some())
            LogDropped(408);
        if (IsHttpError(error) && error != http::error::end_of_stream)
            Reply(ParseFailure(error, core_.options.maxBodyBytes));
        else
            Close();
        return;
    }
    head_.method = std::string(message.method_string());
    SplitTarget(message.target(), head_);
    head_.contentType = std::string(message[http::field::content_type]);
    head_.authorization = std::string(message[http::field::authorization]);
    head_.client = log_.client;
    head_.forwarded = message.count(http::field::forwarded) > 0 ||
                      message.count("X-Forwarded-For") > 0 || message.count("X-Real-IP") > 0;
    if (const auto length = parser_->content_length())
        head_.contentLength = *length;
    OnRouted();
}

void Session::OnRouted() {
    std::string allow;
    route_ = core_.Find(head_.path, head_.method, allow);
    if (route_ == nullptr && allow.empty()) {
        Reply(Fail(404, "not-found", "no such path: use /read, /pass, /health or /desk/..."));
        return;
    }
    if (route_ == nullptr) {
        Answer answer = Fail(405, "method-not-allowed", "use " + allow + " on " + head_.path);
        answer.allow = allow;
        Reply(std::move(answer));
        return;
    }
    if (route_->answer) {
        Reply(route_->answer(head_));
        return;
    }
    const auto length = parser_->content_length();
    if (!length && !parser_->chunked()) {
        Reply(Fail(411, "length-required", "send the body with a Content-Length or chunked"));
        return;
    }
    if (length && *length == 0) {
        Reply(Fail(400, "empty", "the body is empty: send the photograph's bytes"));
        return;
    }
    if (auto refusal = route_->admit ? route_->admit(head_) : std::nullopt) {
        Reply(std::move(*refusal));
        return;
    }
    if (!route_->take && core_.Waiting() >= core_.options.maxWaiting) {
        Reply(Busy("busy", "too many requests are waiting; try again"));
        return;
    }
    state_ = State::kMemory;
    const std::size_t need =
        length ? static_cast<std::size_t>(*length) : core_.options.maxBodyBytes;
    if (core_.ReserveBody(need, shared_from_this())) {
        reserved_ = need;
        ReceiveBody();
        return;
    }
    memoryTimer_.expires_at(head_.deadline);
    memoryTimer_.async_wait([self = shared_from_this()](beast::error_code error) {
        if (self->granted_ || self->closed_ || error == asio::error::operation_aborted)
            return;
        self->core_.ForgetWaiter(self.get());
        self->Reply(Busy("busy", "no room for the body came before the time was up"));
    });
}

void Session::Granted(std::size_t size) {
    reserved_ = size;
    granted_ = true;
    memoryTimer_.cancel();
    ReceiveBody();
}

void Session::ReceiveBody() {
    state_ = State::kBody;
    auto read = [self = shared_from_this()] {
        if (self->parser_->content_length())
            self->ReceiveDeclared();
        else
            http::async_read(self->stream_, self->buffer_, *self->parser_,
                             [self](beast::error_code error, std::size_t) { self->OnBody(error); });
    };
    const auto expect = parser_->get()[http::field::expect];
    if (!beast::iequals(expect, "100-continue")) {
        read();
        return;
    }
    continue_.emplace(http::status::continue_, 11);
    http::async_write(stream_, *continue_,
                      [self = shared_from_this(), read](beast::error_code error, std::size_t) {
                          if (error || self->closed_)
                              self->Close();
                          else
                              read();
                      });
}

// A body of declared length goes straight into its string in large reads (the parser would take
// it 64 KiB at a time); what came with the head is taken from the buffer first.
void Session::ReceiveDeclared() {
    const std::size_t length = static_cast<std::size_t>(*parser_->content_length());
    body_.resize(length);
    const std::size_t early = std::min(length, buffer_.size());
    asio::buffer_copy(asio::buffer(body_.data(), early), buffer_.data());
    buffer_.consume(early);
    asio::async_read(stream_, asio::buffer(body_.data() + early, length - early),
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                         if (error == asio::error::eof)
                             error = http::error::partial_message;
                         self->bodyComplete_ = !error;
                         self->OnBody(error);
                     });
}

void Session::OnBody(beast::error_code error) {
    if (closed_)
        return;
    if (error == beast::error::timeout) {
        LogDropped(408);
        Close();
    } else if (IsHttpError(error)) {
        Reply(ParseFailure(error, core_.options.maxBodyBytes));
    } else if (error) {
        Close();
    } else if (!bodyComplete_ && parser_->get().body().empty()) {
        Reply(Fail(400, "empty", "the body is empty: send the photograph's bytes"));
    } else {
        Submit();
    }
}

void Session::Submit() {
    if (route_->take) {
        Reply(route_->take(head_, bodyComplete_ ? body_ : parser_->get().body()));
        return;
    }
    state_ = State::kReading;
    ReadingPool::Job job =
        [self = shared_from_this(), route = route_, head = head_,
         body = bodyComplete_ ? std::move(body_) : std::move(parser_->get().body()),
         work = asio::make_work_guard(core_.io)](bool stopping) mutable -> ReadingPool::Done {
        Answer answer;
        if (stopping) {
            answer = Busy("stopping", "the service is stopping");
        } else if (Clock::now() > head.deadline) {
            answer = Busy("busy", "no reader was free before the time was up");
        } else {
            try {
                answer = route->read(head, body);
            } catch (const std::exception&) {
                answer = Fail(500, "internal", "the reading failed");
            }
        }
        std::string().swap(body);
        // The connection is handed on, never let go, here: its last owner is the network thread.
        return
            [self = std::move(self), answer = std::move(answer), work = std::move(work)]() mutable {
                asio::io_context& io = self->core_.io;
                asio::post(io, [self = std::move(self), answer = std::move(answer)]() mutable {
                    self->Reply(std::move(answer));
                });
            };
    };
    if (!core_.pool.TrySubmit(job))
        Reply(Busy("busy", "too many requests are waiting; try again"));
}

bool Session::WholeRequestRead() const {
    return bodyComplete_ || (parser_ && parser_->is_done());
}

void Session::Reply(Answer answer) {
    if (reserved_ > 0) {
        core_.ReleaseBody(reserved_);
        reserved_ = 0;
    }
    if (closed_)
        return;
    state_ = State::kWriting;
    const bool keepAlive = answer.status == 200 && WholeRequestRead() &&
                           parser_->get().keep_alive() && !core_.stopping;
    response_.emplace(static_cast<http::status>(answer.status), 11);
    response_->set(http::field::content_type, answer.contentType);
    if (answer.retryAfter > 0)
        response_->set(http::field::retry_after, std::to_string(answer.retryAfter));
    if (!answer.allow.empty())
        response_->set(http::field::allow, answer.allow);
    response_->body() = std::move(answer.body);
    response_->keep_alive(keepAlive);
    response_->prepare_payload();
    log_.status = answer.status;
    log_.bytes = response_->body().size();
    stream_.expires_after(core_.options.timeout);
    http::async_write(stream_, *response_,
                      [self = shared_from_this(), keepAlive](beast::error_code error, std::size_t) {
                          self->OnWritten(error, keepAlive);
                      });
}

void Session::OnWritten(beast::error_code error, bool keepAlive) {
    log_.ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    if (core_.options.logRequests)
        WriteLog(core_.options.logFormat, log_);
    response_.reset();
    if (error || closed_)
        Close();
    else if (keepAlive && !core_.stopping)
        ReadHead();
    else
        Drain();
}

void Session::Drain() {
    if (core_.stopping || closed_) {
        Close();
        return;
    }
    state_ = State::kDraining;
    parser_.reset();
    buffer_.clear();
    std::string().swap(body_);
    beast::error_code ignored;
    stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kDrainTime);
    DrainSome();
}

void Session::DrainSome() {
    stream_.async_read_some(asio::buffer(drainBuffer_),
                            [self = shared_from_this()](beast::error_code error, std::size_t n) {
                                self->drained_ += n;
                                if (error || self->closed_ || self->drained_ > kDrainBytes)
                                    self->Close();
                                else
                                    self->DrainSome();
                            });
}

void Session::LogDropped(int status) {
    if (!core_.options.logRequests)
        return;
    log_.status = status;
    log_.bytes = 0;
    log_.ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    WriteLog(core_.options.logFormat, log_);
}

void Session::Close() {
    if (closed_)
        return;
    closed_ = true;
    if (reserved_ > 0) {
        core_.ReleaseBody(reserved_);
        reserved_ = 0;
    }
    memoryTimer_.cancel();
    beast::error_code ignored;
    stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    stream_.close();
}

}  // namespace karvona::service

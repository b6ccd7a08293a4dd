// Request queues on Asio and Beast. Each queue runs one I/O thread that
// accepts, reads and parses; complete requests wait in the queue for the
// receiving thread, and answers are written back on the I/O thread.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>

#include "platform/http/http_api.h"
#include "platform/http/request_record.h"

namespace pvn::http {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using detail::ParsedRequest;
using detail::ParseOutcome;

namespace {

class Queue;

// One send waiting for its bytes to be written.
struct Completion {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  bool ok = false;
  std::size_t bytes = 0;

  void Set(bool success, std::size_t written) {
    std::lock_guard lock(mutex);
    done = true;
    ok = success;
    bytes = written;
    cv.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex);
    cv.wait(lock, [this] { return done; });
  }
};

// One client connection. Lives on the I/O thread; the queue keeps it alive
// while one of its requests waits to be received or answered.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, Queue* queue, std::uint16_t port, HTTP_CONNECTION_ID id)
      : stream_(std::move(socket)), queue_(queue), port_(port), id_(id) {
    buffer_.max_size(detail::kMaxDiscardedBody + kMaxRequestHeadBytes + 4096);
  }

  HTTP_CONNECTION_ID id() const { return id_; }
  std::uint16_t port() const { return port_; }

  void Start() { WaitForRequest(); }

  // Writes an answer; `done` learns how it went. Called on the I/O thread.
  void Respond(std::shared_ptr<std::string> bytes, bool close, std::shared_ptr<Completion> done);

  void Close() {
    if (closed_) return;
    closed_ = true;
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream_.close();
  }

 private:
  void WaitForRequest();
  void ReadMore();
  void TryParse();
  void SendOwnAnswer(std::string bytes, bool close);

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  Queue* queue_;
  std::uint16_t port_;
  HTTP_CONNECTION_ID id_;
  bool closed_ = false;
  std::chrono::steady_clock::time_point headStart_{};
  bool inHead_ = false;
};

// A listening port with the prefix paths registered on it.
struct PortListener {
  std::shared_ptr<tcp::acceptor> acceptor;
  std::vector<std::string> paths;
};

struct Pending {
  std::shared_ptr<Session> session;
  ParsedRequest request;
  HTTP_REQUEST_ID id = 0;
};

class Queue {
 public:
  Queue() : work_(asio::make_work_guard(io_)) {
    thread_ = std::thread([this] {
      for (;;) {
        try {
          io_.run();
          return;
        } catch (...) {
          // A handler ran out of memory; keep serving the others.
        }
      }
    });
  }
  ~Queue() { Close(); }

  asio::io_context& io() { return io_; }
  std::chrono::milliseconds headerWait() const { return std::chrono::milliseconds(headerWaitMs_); }
  std::chrono::milliseconds idleWait() const { return std::chrono::milliseconds(idleMs_); }
  void SetTimeouts(std::chrono::milliseconds header, std::chrono::milliseconds idle) {
    headerWaitMs_ = header.count();
    idleMs_ = idle.count();
  }

  win::Error AddUrl(std::u16string_view prefix);
  win::Error RemoveUrl(std::u16string_view prefix);
  win::Error Receive(HTTP_REQUEST_ID requestId, void* buffer, std::uint32_t length,
                     std::uint32_t* returned);
  win::Error Send(HTTP_REQUEST_ID requestId, std::uint32_t flags, const HTTP_RESPONSE* response,
                  std::uint32_t* sent);
  void Close();

  // I/O thread: a complete request of `session`.
  void Deliver(std::shared_ptr<Session> session, ParsedRequest request);
  bool Routes(std::uint16_t port, std::string_view target);
  void Forget(HTTP_CONNECTION_ID id) { sessions_.erase(id); }

 private:
  void Accept(std::shared_ptr<tcp::acceptor> acceptor, std::uint16_t port);
  // Posts work to the I/O thread unless the queue is closed; `mutex_` held.
  template <class F>
  bool PostLocked(F&& f) {
    if (closed_) return false;
    asio::post(io_, std::forward<F>(f));
    return true;
  }
  void Drop(std::shared_ptr<Session> session) {
    if (session) PostLocked([session] { session->Close(); });
  }

  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  std::thread thread_;
  std::atomic<std::int64_t> headerWaitMs_{std::chrono::milliseconds(kDefaultHeaderWait).count()};
  std::atomic<std::int64_t> idleMs_{std::chrono::milliseconds(kDefaultIdleConnection).count()};

  std::mutex mutex_;
  std::condition_variable cv_;
  bool closed_ = false;
  std::map<std::uint16_t, PortListener> ports_;
  std::deque<Pending> ready_;                          // complete, not yet received
  std::unordered_map<HTTP_REQUEST_ID, Pending> open_;  // received, not yet answered
  std::optional<Pending> parked_;                      // did not fit the last receive buffer
  HTTP_REQUEST_ID nextRequestId_ = 0;

  // I/O thread only.
  std::unordered_map<HTTP_CONNECTION_ID, std::weak_ptr<Session>> sessions_;
  HTTP_CONNECTION_ID nextConnectionId_ = 0;
};

void Session::WaitForRequest() {
  inHead_ = false;
  if (buffer_.size() > 0) {
    // A pipelined request is already here.
    inHead_ = true;
    headStart_ = std::chrono::steady_clock::now();
    TryParse();
    return;
  }
  ReadMore();
}

void Session::ReadMore() {
  if (inHead_)
    stream_.expires_at(headStart_ + queue_->headerWait());
  else
    stream_.expires_after(queue_->idleWait());
  std::size_t room = buffer_.max_size() - buffer_.size();
  auto self = shared_from_this();
  stream_.async_read_some(buffer_.prepare(std::min<std::size_t>(room, 8192)),
                          [self](beast::error_code ec, std::size_t n) {
                            if (ec || n == 0) {
                              // Closed, reset or timed out: the client gets nothing more.
                              self->Close();
                              self->queue_->Forget(self->id_);
                              return;
                            }
                            self->buffer_.commit(n);
                            if (!self->inHead_) {
                              self->inHead_ = true;
                              self->headStart_ = std::chrono::steady_clock::now();
                            }
                            self->TryParse();
                          });
}

void Session::TryParse() {
  ParsedRequest request;
  std::size_t consumed = 0;
  auto data = buffer_.data();
  ParseOutcome outcome = detail::ParseRequest(
      std::string_view(static_cast<const char*>(data.data()), data.size()), &request, &consumed);
  switch (outcome) {
    case ParseOutcome::kNeedMore:
      ReadMore();
      return;
    case ParseOutcome::kComplete:
      buffer_.consume(consumed);
      stream_.expires_never();
      if (!queue_->Routes(port_, request.target)) {
        std::string answer =
            "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 0\r\n";
        answer += request.keepAlive ? "\r\n" : "Connection: close\r\n\r\n";
        SendOwnAnswer(std::move(answer), !request.keepAlive);
        return;
      }
      queue_->Deliver(shared_from_this(), std::move(request));
      return;
    default:
      SendOwnAnswer(detail::ErrorResponse(outcome), true);
      return;
  }
}

void Session::SendOwnAnswer(std::string bytes, bool close) {
  auto text = std::make_shared<std::string>(std::move(bytes));
  stream_.expires_after(queue_->idleWait());
  auto self = shared_from_this();
  asio::async_write(stream_, asio::buffer(*text),
                    [self, text, close](beast::error_code ec, std::size_t) {
                      if (ec || close) {
                        self->Close();
                        self->queue_->Forget(self->id_);
                        return;
                      }
                      self->WaitForRequest();
                    });
}

void Session::Respond(std::shared_ptr<std::string> bytes, bool close,
                      std::shared_ptr<Completion> done) {
  if (closed_) {
    done->Set(false, 0);
    return;
  }
  stream_.expires_after(queue_->idleWait());
  auto self = shared_from_this();
  asio::async_write(stream_, asio::buffer(*bytes),
                    [self, bytes, close, done](beast::error_code ec, std::size_t n) {
                      done->Set(!ec, n);
                      if (ec || close) {
                        self->Close();
                        self->queue_->Forget(self->id_);
                        return;
                      }
                      self->WaitForRequest();
                    });
}

void Queue::Accept(std::shared_ptr<tcp::acceptor> acceptor, std::uint16_t port) {
  acceptor->async_accept([this, acceptor, port](beast::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor->is_open()) return;
    if (ec) {
      // Out of descriptors or a similar passing trouble: try again shortly.
      auto timer = std::make_shared<asio::steady_timer>(io_, std::chrono::milliseconds(50));
      timer->async_wait([this, acceptor, port, timer](beast::error_code) {
        if (acceptor->is_open()) Accept(acceptor, port);
      });
      return;
    }
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    auto session = std::make_shared<Session>(std::move(socket), this, port, ++nextConnectionId_);
    sessions_[session->id()] = session;
    session->Start();
    Accept(acceptor, port);
  });
}

win::Error Queue::AddUrl(std::u16string_view prefix) {
  auto url = detail::ParseUrlPrefix(prefix);
  if (!url) return win::ERROR_INVALID_PARAMETER;
  std::lock_guard lock(mutex_);
  if (closed_) return win::ERROR_INVALID_HANDLE;
  auto found = ports_.find(url->port);
  if (found != ports_.end()) {
    for (const auto& path : found->second.paths)
      if (detail::TargetMatchesPath(path, url->path) && path.size() == url->path.size())
        return win::ERROR_ALREADY_EXISTS;
    found->second.paths.push_back(url->path);
    return win::ERROR_SUCCESS;
  }

  // All addresses: IPv6 with IPv4 mapped where the host has IPv6, else IPv4.
  auto acceptor = std::make_shared<tcp::acceptor>(io_);
  beast::error_code ec;
  acceptor->open(tcp::v6(), ec);
  if (!ec) {
    acceptor->set_option(asio::ip::v6_only(false), ec);
    if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor->bind(tcp::endpoint(tcp::v6(), url->port), ec);
    if (ec && ec != asio::error::address_in_use && ec != asio::error::access_denied) {
      beast::error_code ignored;
      acceptor->close(ignored);
    }
  }
  if (!acceptor->is_open()) {
    ec = {};
    acceptor->open(tcp::v4(), ec);
    if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor->bind(tcp::endpoint(tcp::v4(), url->port), ec);
  }
  if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    beast::error_code ignored;
    acceptor->close(ignored);
    if (ec == asio::error::address_in_use) return win::ERROR_SHARING_VIOLATION;
    if (ec == asio::error::access_denied || ec == asio::error::no_permission)
      return win::ERROR_ACCESS_DENIED;
    return win::ERROR_INVALID_PARAMETER;
  }
  ports_[url->port] = PortListener{acceptor, {url->path}};
  std::uint16_t port = url->port;
  PostLocked([this, acceptor, port] { Accept(acceptor, port); });
  return win::ERROR_SUCCESS;
}

win::Error Queue::RemoveUrl(std::u16string_view prefix) {
  auto url = detail::ParseUrlPrefix(prefix);
  if (!url) return win::ERROR_INVALID_PARAMETER;
  auto closed = std::make_shared<Completion>();
  {
    std::lock_guard lock(mutex_);
    if (closed_) return win::ERROR_INVALID_HANDLE;
    auto found = ports_.find(url->port);
    if (found == ports_.end()) return win::ERROR_FILE_NOT_FOUND;
    auto& paths = found->second.paths;
    auto it = std::find_if(paths.begin(), paths.end(), [&](const std::string& p) {
      return p.size() == url->path.size() && detail::TargetMatchesPath(p, url->path);
    });
    if (it == paths.end()) return win::ERROR_FILE_NOT_FOUND;
    paths.erase(it);
    if (!paths.empty()) return win::ERROR_SUCCESS;
    auto acceptor = found->second.acceptor;
    ports_.erase(found);
    PostLocked([acceptor, closed] {
      beast::error_code ignored;
      acceptor->close(ignored);
      closed->Set(true, 0);
    });
  }
  // The port is free again when the call returns.
  closed->Wait();
  return win::ERROR_SUCCESS;
}

bool Queue::Routes(std::uint16_t port, std::string_view target) {
  std::lock_guard lock(mutex_);
  auto found = ports_.find(port);
  if (found == ports_.end()) return false;
  for (const auto& path : found->second.paths)
    if (detail::TargetMatchesPath(target, path)) return true;
  return false;
}

void Queue::Deliver(std::shared_ptr<Session> session, ParsedRequest request) {
  std::lock_guard lock(mutex_);
  if (closed_) {
    session->Close();
    return;
  }
  ready_.push_back(Pending{std::move(session), std::move(request), ++nextRequestId_});
  cv_.notify_one();
}

win::Error Queue::Receive(HTTP_REQUEST_ID requestId, void* buffer, std::uint32_t length,
                          std::uint32_t* returned) {
  std::unique_lock lock(mutex_);
  auto deliver = [&](Pending& pending) {
    std::size_t needed = 0;
    win::Error error = detail::WriteRecord(pending.request, pending.id, pending.session->id(),
                                           buffer, length, &needed);
    if (returned) *returned = static_cast<std::uint32_t>(needed);
    return error;
  };

  if (requestId != HTTP_NULL_ID) {
    if (!parked_ || parked_->id != requestId) return win::ERROR_CONNECTION_INVALID;
    win::Error error = deliver(*parked_);
    if (error == win::ERROR_SUCCESS) {
      open_.emplace(parked_->id, std::move(*parked_));
      parked_.reset();
    }
    return error;
  }

  if (parked_) {
    // Nobody came back for it: the connection is given up.
    Drop(std::move(parked_->session));
    parked_.reset();
  }
  cv_.wait(lock, [this] { return closed_ || !ready_.empty(); });
  if (closed_) return win::ERROR_OPERATION_ABORTED;
  Pending pending = std::move(ready_.front());
  ready_.pop_front();
  win::Error error = deliver(pending);
  if (error == win::ERROR_SUCCESS) {
    open_.emplace(pending.id, std::move(pending));
  } else if (error == win::ERROR_MORE_DATA) {
    parked_ = std::move(pending);
  } else {
    Drop(std::move(pending.session));
  }
  return error;
}

win::Error Queue::Send(HTTP_REQUEST_ID requestId, std::uint32_t flags,
                       const HTTP_RESPONSE* response, std::uint32_t* sent) {
  if (!response) return win::ERROR_INVALID_PARAMETER;
  if (flags & HTTP_SEND_RESPONSE_FLAG_MORE_DATA) return win::ERROR_NOT_SUPPORTED;
  auto done = std::make_shared<Completion>();
  {
    std::lock_guard lock(mutex_);
    if (closed_) return win::ERROR_INVALID_HANDLE;
    auto found = open_.find(requestId);
    if (found == open_.end()) return win::ERROR_CONNECTION_INVALID;
    const ParsedRequest& request = found->second.request;
    bool keepAlive = request.keepAlive && !(flags & HTTP_SEND_RESPONSE_FLAG_DISCONNECT);
    auto bytes = std::make_shared<std::string>();
    win::Error error = detail::BuildResponse(*response, request.version, keepAlive,
                                             request.method == "HEAD", bytes.get());
    if (error != win::ERROR_SUCCESS) return error;
    auto session = std::move(found->second.session);
    open_.erase(found);
    PostLocked([session, bytes, keepAlive, done] { session->Respond(bytes, !keepAlive, done); });
  }
  done->Wait();
  if (sent) *sent = static_cast<std::uint32_t>(done->bytes);
  return done->ok ? win::ERROR_SUCCESS : win::ERROR_CONNECTION_INVALID;
}

void Queue::Close() {
  std::vector<Pending> dropped;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    // Acceptors and connections are closed on the I/O thread, which then
    // finishes the handlers that remain and ends.
    std::vector<std::shared_ptr<tcp::acceptor>> acceptors;
    for (auto& [port, listener] : ports_) acceptors.push_back(listener.acceptor);
    asio::post(io_, [this, acceptors] {
      for (auto& acceptor : acceptors) {
        beast::error_code ignored;
        acceptor->close(ignored);
      }
      for (auto& [id, weak] : sessions_)
        if (auto session = weak.lock()) session->Close();
      sessions_.clear();
    });
    closed_ = true;
    for (auto& pending : ready_) dropped.push_back(std::move(pending));
    for (auto& [id, pending] : open_) dropped.push_back(std::move(pending));
    if (parked_) dropped.push_back(std::move(*parked_));
    ready_.clear();
    open_.clear();
    parked_.reset();
    cv_.notify_all();
  }
  work_.reset();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  std::lock_guard lock(mutex_);
  ports_.clear();
}

// Handles, as Windows hands them out: numbers that stay invalid once closed.
std::mutex g_handlesMutex;
std::unordered_map<std::uint64_t, std::shared_ptr<Queue>> g_handles;
std::uint64_t g_nextHandle = 0;
int g_initialized = 0;

std::shared_ptr<Queue> Find(RequestQueueHandle handle) {
  std::lock_guard lock(g_handlesMutex);
  auto found = g_handles.find(handle.value);
  return found == g_handles.end() ? nullptr : found->second;
}

}  // namespace

win::Error HttpInitialize(HTTPAPI_VERSION version, std::uint32_t flags) {
  if (version.HttpApiMajorVersion != 1 || version.HttpApiMinorVersion != 0)
    return win::ERROR_INVALID_PARAMETER;
  if (flags & ~(HTTP_INITIALIZE_SERVER | HTTP_INITIALIZE_CONFIG) || !flags)
    return win::ERROR_INVALID_PARAMETER;
  std::lock_guard lock(g_handlesMutex);
  ++g_initialized;
  return win::ERROR_SUCCESS;
}

win::Error HttpTerminate(std::uint32_t flags) {
  if (flags & ~(HTTP_INITIALIZE_SERVER | HTTP_INITIALIZE_CONFIG) || !flags)
    return win::ERROR_INVALID_PARAMETER;
  std::lock_guard lock(g_handlesMutex);
  if (g_initialized == 0) return win::ERROR_INVALID_PARAMETER;
  --g_initialized;
  return win::ERROR_SUCCESS;
}

win::Error HttpCreateHttpHandle(RequestQueueHandle* queue) {
  if (!queue) return win::ERROR_INVALID_PARAMETER;
  {
    std::lock_guard lock(g_handlesMutex);
    if (g_initialized == 0) return win::ERROR_INVALID_FUNCTION;
  }
  std::shared_ptr<Queue> created;
  try {
    created = std::make_shared<Queue>();
  } catch (...) {
    return win::ERROR_NOT_ENOUGH_MEMORY;
  }
  std::lock_guard lock(g_handlesMutex);
  queue->value = ++g_nextHandle;
  g_handles.emplace(queue->value, std::move(created));
  return win::ERROR_SUCCESS;
}

win::Error CloseHandle(RequestQueueHandle queue) {
  std::shared_ptr<Queue> found;
  {
    std::lock_guard lock(g_handlesMutex);
    auto it = g_handles.find(queue.value);
    if (it == g_handles.end()) return win::ERROR_INVALID_HANDLE;
    found = std::move(it->second);
    g_handles.erase(it);
  }
  found->Close();
  return win::ERROR_SUCCESS;
}

win::Error HttpAddUrl(RequestQueueHandle queue, std::u16string_view urlPrefix) {
  auto found = Find(queue);
  return found ? found->AddUrl(urlPrefix) : win::ERROR_INVALID_HANDLE;
}

win::Error HttpRemoveUrl(RequestQueueHandle queue, std::u16string_view urlPrefix) {
  auto found = Find(queue);
  return found ? found->RemoveUrl(urlPrefix) : win::ERROR_INVALID_HANDLE;
}

win::Error HttpReceiveHttpRequest(RequestQueueHandle queue, HTTP_REQUEST_ID requestId,
                                  std::uint32_t /*flags*/, void* buffer, std::uint32_t bufferLength,
                                  std::uint32_t* bytesReturned) {
  auto found = Find(queue);
  if (!found) return win::ERROR_INVALID_HANDLE;
  if (!buffer) return win::ERROR_INVALID_PARAMETER;
  return found->Receive(requestId, buffer, bufferLength, bytesReturned);
}

win::Error HttpSendHttpResponse(RequestQueueHandle queue, HTTP_REQUEST_ID requestId,
                                std::uint32_t flags, const HTTP_RESPONSE* response,
                                std::uint32_t* bytesSent) {
  auto found = Find(queue);
  return found ? found->Send(requestId, flags, response, bytesSent) : win::ERROR_INVALID_HANDLE;
}

win::Error HttpSetQueueTimeouts(RequestQueueHandle queue, std::chrono::milliseconds headerWait,
                                std::chrono::milliseconds idleConnection) {
  auto found = Find(queue);
  if (!found) return win::ERROR_INVALID_HANDLE;
  if (headerWait.count() <= 0 || idleConnection.count() <= 0) return win::ERROR_INVALID_PARAMETER;
  found->SetTimeouts(headerWait, idleConnection);
  return win::ERROR_SUCCESS;
}

}  // namespace pvn::http

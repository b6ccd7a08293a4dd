// The yardstick for the agent's HTTP figures: the smallest Beast server that
// answers every request "404 Not Found" (Content-Type text/html, no body),
// with keep-alive, on one I/O thread, as the agent's HTTP layer runs.
// Usage: pvn_minimal_404_server PORT
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace beast = boost::beast;
namespace http = beast::http;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

class Session : public std::enable_shared_from_this<Session> {
 public:
  explicit Session(tcp::socket socket) : stream_(std::move(socket)) {}
  void Run() { Read(); }

 private:
  void Read() {
    request_ = {};
    http::async_read(stream_, buffer_, request_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (ec) return self->Close();
                       self->Answer();
                     });
  }
  void Answer() {
    response_ = {http::status::not_found, request_.version()};
    response_.set(http::field::content_type, "text/html");
    response_.keep_alive(request_.keep_alive());
    response_.prepare_payload();
    http::async_write(stream_, response_,
                      [self = shared_from_this()](beast::error_code ec, std::size_t) {
                        if (ec || !self->response_.keep_alive()) return self->Close();
                        self->Read();
                      });
  }
  void Close() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  http::request<http::empty_body> request_;
  http::response<http::empty_body> response_;
};

void Accept(tcp::acceptor& acceptor) {
  acceptor.async_accept([&acceptor](beast::error_code ec, tcp::socket socket) {
    if (!ec) {
      socket.set_option(tcp::no_delay(true), ec);
      std::make_shared<Session>(std::move(socket))->Run();
    }
    Accept(acceptor);
  });
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pvn_minimal_404_server PORT\n");
    return 1;
  }
  asio::io_context io(1);
  tcp::acceptor acceptor(io, {tcp::v4(), static_cast<unsigned short>(std::atoi(argv[1]))});
  Accept(acceptor);
  io.run();
  return 0;
}

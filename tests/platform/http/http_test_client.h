#pragma once
// Blocking loopback clients for the HTTP layer's tests: raw bytes out, whole
// responses back, so that tests can send what curl will not.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>

namespace pvn::testing {

class RawClient {
 public:
  explicit RawClient(std::uint16_t port) : socket_(io_) {
    boost::asio::ip::tcp::endpoint at(boost::asio::ip::make_address("127.0.0.1"), port);
    socket_.connect(at);
  }

  void Send(const std::string& bytes) { boost::asio::write(socket_, boost::asio::buffer(bytes)); }

  // The next response on the connection, or nullopt when it was closed first.
  std::optional<boost::beast::http::response<boost::beast::http::string_body>> Read() {
    boost::beast::http::response<boost::beast::http::string_body> response;
    boost::beast::error_code ec;
    boost::beast::http::read(socket_, buffer_, response, ec);
    if (ec) return std::nullopt;
    return response;
  }

  // True when the server closed the connection (reads end without data).
  bool Closed() {
    if (buffer_.size() > 0) return false;
    char byte;
    boost::beast::error_code ec;
    std::size_t n = socket_.read_some(boost::asio::buffer(&byte, 1), ec);
    return ec && n == 0;
  }

  // Everything until the server closes.
  std::string ReadAll() {
    std::string all(static_cast<const char*>(buffer_.data().data()), buffer_.size());
    buffer_.consume(buffer_.size());
    char chunk[4096];
    for (;;) {
      boost::beast::error_code ec;
      std::size_t n = socket_.read_some(boost::asio::buffer(chunk), ec);
      all.append(chunk, n);
      if (ec) return all;
    }
  }

 private:
  boost::asio::io_context io_;
  boost::asio::ip::tcp::socket socket_;
  boost::beast::flat_buffer buffer_;
};

}  // namespace pvn::testing

// Request queues over real loopback sockets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/http/http_api.h"
#include "tests/platform/http/http_test_client.h"

namespace pvn::http {
namespace {

using pvn::testing::RawClient;
using namespace std::chrono_literals;

std::u16string Prefix(unsigned port) {
  std::string url = "http://*:" + std::to_string(port) + "/";
  return std::u16string(url.begin(), url.end());
}

// A queue listening on a free port, answering each request on its own
// receive thread with what `answer` says.
class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(HttpInitialize(HTTPAPI_VERSION_1, HTTP_INITIALIZE_SERVER), win::ERROR_SUCCESS);
    ASSERT_EQ(HttpCreateHttpHandle(&queue_), win::ERROR_SUCCESS);
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 200 && !port_; ++attempt) {
      unsigned candidate = 20000 + random() % 40000;
      if (HttpAddUrl(queue_, Prefix(candidate)) == win::ERROR_SUCCESS) port_ = candidate;
    }
    ASSERT_NE(port_, 0u);
  }
  void TearDown() override {
    if (queue_) CloseHandle(queue_);
    if (receiver_.joinable()) receiver_.join();
    HttpTerminate(HTTP_INITIALIZE_SERVER);
  }

  // Receives until the queue closes; answers 200 with the raw URL as body.
  void Serve() {
    receiver_ = std::thread([this] {
      std::vector<std::uint64_t> storage(16384 / 8);
      for (;;) {
        std::uint32_t got = 0;
        win::Error error =
            HttpReceiveHttpRequest(queue_, HTTP_NULL_ID, 0, storage.data(), 16384, &got);
        if (error == win::ERROR_OPERATION_ABORTED || error == win::ERROR_INVALID_HANDLE) return;
        if (error != win::ERROR_SUCCESS) continue;
        const auto* request = reinterpret_cast<const HTTP_REQUEST*>(storage.data());
        ++received_;
        std::string body(request->pRawUrl, request->RawUrlLength);
        for (int i = 0; i < request->Headers.UnknownHeaderCount; ++i)
          body += std::string("|") + request->Headers.pUnknownHeaders[i].pName;
        HTTP_RESPONSE response{};
        response.StatusCode = 200;
        response.pReason = "OK";
        response.ReasonLength = 2;
        response.Headers.KnownHeaders[HttpHeaderContentType] = {9, "text/html"};
        HTTP_DATA_CHUNK chunk{HttpDataChunkFromMemory, body.data(),
                              static_cast<std::uint32_t>(body.size())};
        response.EntityChunkCount = 1;
        response.pEntityChunks = &chunk;
        HttpSendHttpResponse(queue_, request->RequestId, 0, &response);
      }
    });
  }

  RequestQueueHandle queue_;
  unsigned port_ = 0;
  std::thread receiver_;
  std::atomic<int> received_{0};
};

TEST_F(QueueTest, ServesRawUrlAndUnknownHeadersInOrder) {
  Serve();
  RawClient client(port_);
  client.Send(
      "GET /PVN_SERVICE?PVN_CMD=KBM%5FON HTTP/1.1\r\nHost: x\r\nZ-One: 1\r\n"
      "User-Agent: t\r\nPVN_Token: 2\r\n\r\n");
  auto response = client.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->result_int(), 200);
  EXPECT_EQ(response->reason(), "OK");
  EXPECT_EQ(response->body(), "/PVN_SERVICE?PVN_CMD=KBM%5FON|Z-One|PVN_Token");
  EXPECT_EQ((*response)[boost::beast::http::field::content_type], "text/html");
}

TEST_F(QueueTest, KeepAlivePipeliningAndHttp10) {
  Serve();
  RawClient client(port_);
  client.Send("GET /1 HTTP/1.1\r\nHost: x\r\n\r\nGET /2 HTTP/1.1\r\nHost: x\r\n\r\n");
  client.Send("GET /3 HTTP/1.1\r\nHost: x\r\n\r\n");
  for (const char* expected : {"/1", "/2", "/3"}) {
    auto response = client.Read();
    ASSERT_TRUE(response) << expected;
    EXPECT_EQ(response->body(), expected);
  }
  client.Send("GET /4 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  auto last = client.Read();
  ASSERT_TRUE(last);
  EXPECT_TRUE(client.Closed());

  RawClient old(port_);
  old.Send("GET /old HTTP/1.0\r\n\r\n");
  std::string all = old.ReadAll();  // HTTP/1.0 without keep-alive: closed after the answer
  EXPECT_EQ(all.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << all;
  EXPECT_NE(all.find("\r\n\r\n/old"), std::string::npos);
}

TEST_F(QueueTest, OversizedOrMalformedHeadsAreAnsweredByTheLayer) {
  Serve();
  struct Case {
    std::string bytes;
    const char* status;
  };
  std::string big = "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(16384, 'b') + "\r\n\r\n";
  const Case cases[] = {
      {big, "HTTP/1.1 400 Bad Request\r\n"},
      {"\x01\x02garbage\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", "HTTP/1.1 505 "},
  };
  for (const auto& c : cases) {
    RawClient client(port_);
    client.Send(c.bytes);
    std::string all = client.ReadAll();
    EXPECT_EQ(all.rfind(c.status, 0), 0u) << all.substr(0, 80);
  }
  EXPECT_EQ(received_.load(), 0);  // the receiver never saw them

  RawClient next(port_);
  next.Send("GET /after HTTP/1.1\r\nHost: x\r\n\r\n");
  auto response = next.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->body(), "/after");
}

TEST_F(QueueTest, SlowClientDoesNotHoldUpOthersAndTimesOut) {
  ASSERT_EQ(HttpSetQueueTimeouts(queue_, 1000ms, 1000ms), win::ERROR_SUCCESS);
  Serve();
  RawClient slow(port_);
  slow.Send("GET /slow HTTP/1.1\r\nHo");
  RawClient idle(port_);

  RawClient quick(port_);
  quick.Send("GET /quick HTTP/1.1\r\nHost: x\r\n\r\n");
  auto response = quick.Read();
  ASSERT_TRUE(response);
  EXPECT_EQ(response->body(), "/quick");

  // Neither the unfinished head nor the silent connection is kept.
  EXPECT_TRUE(slow.Closed());
  EXPECT_TRUE(idle.Closed());
}

TEST_F(QueueTest, AddUrlRefusesBadTakenAndRepeatedPrefixes) {
  RequestQueueHandle other;
  ASSERT_EQ(HttpCreateHttpHandle(&other), win::ERROR_SUCCESS);
  EXPECT_EQ(HttpAddUrl(other, Prefix(port_)), win::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(HttpAddUrl(other, u"http://*:70000/"), win::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(HttpAddUrl(other, u"http://*:0/"), win::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(HttpAddUrl(queue_, Prefix(port_)), win::ERROR_ALREADY_EXISTS);
  EXPECT_EQ(CloseHandle(other), win::ERROR_SUCCESS);
  EXPECT_EQ(HttpAddUrl(other, Prefix(port_)), win::ERROR_INVALID_HANDLE);

  // Once removed, the port is free for another queue.
  EXPECT_EQ(HttpRemoveUrl(queue_, Prefix(port_)), win::ERROR_SUCCESS);
  RequestQueueHandle third;
  ASSERT_EQ(HttpCreateHttpHandle(&third), win::ERROR_SUCCESS);
  EXPECT_EQ(HttpAddUrl(third, Prefix(port_)), win::ERROR_SUCCESS);
  CloseHandle(third);
}

TEST_F(QueueTest, ClosingTheQueueAbortsAWaitingReceive) {
  std::atomic<win::Error> result{0};
  std::thread waiter([&] {
    std::vector<std::uint64_t> storage(2048);
    std::uint32_t got = 0;
    result = HttpReceiveHttpRequest(queue_, HTTP_NULL_ID, 0, storage.data(), 16384, &got);
  });
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(CloseHandle(queue_), win::ERROR_SUCCESS);
  waiter.join();
  EXPECT_EQ(result.load(), win::ERROR_OPERATION_ABORTED);
  std::uint64_t storage[64];
  std::uint32_t got = 0;
  EXPECT_EQ(HttpReceiveHttpRequest(queue_, HTTP_NULL_ID, 0, storage, sizeof storage, &got),
            win::ERROR_INVALID_HANDLE);
  queue_ = {};
}

TEST_F(QueueTest, RequestTooLargeForTheBufferCanBeFetchedByIdOrIsDropped) {
  RawClient first(port_);
  first.Send("GET /" + std::string(600, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n");
  alignas(8) std::uint8_t small[sizeof(HTTP_REQUEST) + 64];
  std::uint32_t needed = 0;
  ASSERT_EQ(HttpReceiveHttpRequest(queue_, HTTP_NULL_ID, 0, small, sizeof small, &needed),
            win::ERROR_MORE_DATA);
  HTTP_REQUEST_ID id = reinterpret_cast<HTTP_REQUEST*>(small)->RequestId;
  std::vector<std::uint64_t> large(needed / 8 + 1);
  ASSERT_EQ(HttpReceiveHttpRequest(queue_, id, 0, large.data(), needed, &needed),
            win::ERROR_SUCCESS);
  HTTP_RESPONSE response{};
  response.StatusCode = 204;
  response.pReason = "No Content";
  response.ReasonLength = 10;
  EXPECT_EQ(HttpSendHttpResponse(queue_, id, 0, &response), win::ERROR_SUCCESS);
  auto answer = first.Read();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->result_int(), 204);
  // A second answer to the same request has nowhere to go.
  EXPECT_EQ(HttpSendHttpResponse(queue_, id, 0, &response), win::ERROR_CONNECTION_INVALID);

  RawClient second(port_);
  second.Send("GET /" + std::string(600, 'b') + " HTTP/1.1\r\nHost: x\r\n\r\n");
  ASSERT_EQ(HttpReceiveHttpRequest(queue_, HTTP_NULL_ID, 0, small, sizeof small, &needed),
            win::ERROR_MORE_DATA);
  Serve();  // receives anew without the ID: the oversized request is given up
  EXPECT_TRUE(second.Closed());
}

}  // namespace
}  // namespace pvn::http

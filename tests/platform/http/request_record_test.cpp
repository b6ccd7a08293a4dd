// Parsing, request records and answers, on plain bytes.
#include "platform/http/request_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/http/http_api.h"

namespace pvn::http::detail {
namespace {

std::string HeadOfSize(std::size_t total) {
  std::string head = "GET /x HTTP/1.1\r\nHost: a\r\nX-Fill: ";
  std::size_t rest = total - head.size() - 4;
  head.append(rest, 'f');
  head += "\r\n\r\n";
  return head;
}

struct ParseCase {
  const char* name;
  std::string bytes;
  ParseOutcome outcome;
};

TEST(ParseRequest, Outcomes) {
  const std::vector<ParseCase> cases = {
      {"simple GET", "GET / HTTP/1.1\r\nHost: a\r\n\r\n", ParseOutcome::kComplete},
      {"HTTP/1.0 needs no host", "GET / HTTP/1.0\r\n\r\n", ParseOutcome::kComplete},
      {"unfinished head", "GET / HTTP/1.1\r\nHost: a\r\n", ParseOutcome::kNeedMore},
      {"unfinished request line", "GE", ParseOutcome::kNeedMore},
      {"head of exactly the limit", HeadOfSize(kMaxRequestHeadBytes), ParseOutcome::kComplete},
      {"head one byte over", HeadOfSize(kMaxRequestHeadBytes + 1), ParseOutcome::kHeadTooLarge},
      {"unterminated head at the limit", std::string(kMaxRequestHeadBytes, 'a'),
       ParseOutcome::kHeadTooLarge},
      {"HTTP/2 preface", "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", ParseOutcome::kBadVersion},
      {"binary garbage", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11),
       ParseOutcome::kBadRequest},
      {"bad request line", "GET\r\n\r\n", ParseOutcome::kBadRequest},
      {"invalid header name", "GET / HTTP/1.1\r\nHost: a\r\nBad Name: x\r\n\r\n",
       ParseOutcome::kBadRequest},
      {"HTTP/1.1 without host", "GET / HTTP/1.1\r\n\r\n", ParseOutcome::kBadRequest},
      {"two hosts", "GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", ParseOutcome::kBadRequest},
      {"body over the limit", "POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 100000\r\n\r\n",
       ParseOutcome::kBodyTooLarge},
      {"body still coming", "POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\nab",
       ParseOutcome::kNeedMore},
  };
  for (const auto& c : cases) {
    ParsedRequest request;
    std::size_t consumed = 0;
    EXPECT_EQ(ParseRequest(c.bytes, &request, &consumed), c.outcome) << c.name;
  }
}

TEST(ParseRequest, KeepsTargetAndHeadersAsSentAndStopsAtTheRequestEnd) {
  std::string first =
      "POST /PVN_SERVICE?PVN_CMD=KBM%5FON&a=%20 HTTP/1.1\r\nHost: h\r\nPVN_Token: 1\r\n"
      "Content-Length: 3\r\nx-b: 2\r\n\r\nabc";
  std::string second = "GET / HTTP/1.1\r\nHost: h\r\n\r\n";
  ParsedRequest request;
  std::size_t consumed = 0;
  ASSERT_EQ(ParseRequest(first + second, &request, &consumed), ParseOutcome::kComplete);
  EXPECT_EQ(consumed, first.size());
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/PVN_SERVICE?PVN_CMD=KBM%5FON&a=%20");
  EXPECT_TRUE(request.hasBody);
  ASSERT_EQ(request.headers.size(), 4u);
  EXPECT_EQ(request.headers[1].first, "PVN_Token");
  EXPECT_EQ(request.headers[3].first, "x-b");

  ParsedRequest old;
  ASSERT_EQ(ParseRequest("GET / HTTP/1.0\r\n\r\n", &old, &consumed), ParseOutcome::kComplete);
  EXPECT_FALSE(old.keepAlive);
  ASSERT_EQ(ParseRequest("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", &old, &consumed),
            ParseOutcome::kComplete);
  EXPECT_TRUE(old.keepAlive);
}

TEST(WriteRecord, LaysOutVerbUrlAndHeadersInOrder) {
  ParsedRequest request;
  request.method = "BREW";
  request.target = "/a%20b?c=d";
  request.version = 10;
  request.headers = {
      {"Host", "h"}, {"Z-Last", "1"}, {"Accept", "x"}, {"A-First", "2"}, {"accept", "y"}};
  alignas(8) std::uint8_t buffer[4096];
  std::size_t needed = 0;
  ASSERT_EQ(WriteRecord(request, 7, 9, buffer, sizeof buffer, &needed), win::ERROR_SUCCESS);
  EXPECT_EQ(needed, RecordSize(request));
  const auto* r = reinterpret_cast<const HTTP_REQUEST*>(buffer);
  EXPECT_EQ(r->RequestId, 7u);
  EXPECT_EQ(r->ConnectionId, 9u);
  EXPECT_EQ(r->Verb, HttpVerbUnknown);
  EXPECT_EQ(std::string(r->pUnknownVerb, r->UnknownVerbLength), "BREW");
  EXPECT_EQ(r->Version.MajorVersion, 1);
  EXPECT_EQ(r->Version.MinorVersion, 0);
  EXPECT_EQ(std::string(r->pRawUrl, r->RawUrlLength), "/a%20b?c=d");
  EXPECT_EQ(r->pRawUrl[r->RawUrlLength], '\0');
  const auto& host = r->Headers.KnownHeaders[HttpHeaderHost];
  EXPECT_EQ(std::string(host.pRawValue, host.RawValueLength), "h");
  const auto& accept = r->Headers.KnownHeaders[HttpHeaderAccept];
  EXPECT_EQ(std::string(accept.pRawValue, accept.RawValueLength), "x, y");
  ASSERT_EQ(r->Headers.UnknownHeaderCount, 2);
  EXPECT_EQ(std::string(r->Headers.pUnknownHeaders[0].pName), "Z-Last");
  EXPECT_EQ(std::string(r->Headers.pUnknownHeaders[1].pName), "A-First");
  EXPECT_EQ(std::string(r->Headers.pUnknownHeaders[1].pRawValue), "2");
  // Every pointer lies inside the record's bytes.
  const auto* end = buffer + needed;
  EXPECT_LT(reinterpret_cast<const std::uint8_t*>(r->Headers.pUnknownHeaders[1].pRawValue), end);
}

TEST(WriteRecord, TooSmallBufferGivesSizeAndId) {
  ParsedRequest request;
  request.method = "GET";
  request.target = std::string(2000, 'a');
  alignas(8) std::uint8_t buffer[1024];
  std::memset(buffer, 0xEE, sizeof buffer);
  std::size_t needed = 0;
  EXPECT_EQ(WriteRecord(request, 42, 1, buffer, sizeof buffer, &needed), win::ERROR_MORE_DATA);
  EXPECT_EQ(needed, RecordSize(request));
  EXPECT_EQ(reinterpret_cast<const HTTP_REQUEST*>(buffer)->RequestId, 42u);
  EXPECT_EQ(buffer[sizeof(HTTP_REQUEST)], 0xEE);  // nothing written past the record
}

HTTP_RESPONSE Response(std::uint16_t status, const char* reason) {
  HTTP_RESPONSE response{};
  response.StatusCode = status;
  response.pReason = reason;
  response.ReasonLength = static_cast<std::uint16_t>(std::strlen(reason));
  return response;
}

TEST(BuildResponse, ShapeVersionsAndRefusals) {
  HTTP_RESPONSE response = Response(200, "OK");
  response.Headers.KnownHeaders[HttpHeaderContentType] = {9, "text/html"};
  std::string out;
  ASSERT_EQ(BuildResponse(response, 11, true, false, &out), win::ERROR_SUCCESS);
  EXPECT_EQ(out.rfind("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nDate: ", 0), 0u) << out;
  EXPECT_NE(out.find("\r\nContent-Length: 0\r\n\r\n"), std::string::npos);
  EXPECT_EQ(out.find("Connection"), std::string::npos);

  ASSERT_EQ(BuildResponse(response, 10, true, false, &out), win::ERROR_SUCCESS);
  EXPECT_NE(out.find("HTTP/1.0 200 OK\r\n"), std::string::npos);
  EXPECT_NE(out.find("Connection: keep-alive\r\n"), std::string::npos);
  ASSERT_EQ(BuildResponse(response, 11, false, false, &out), win::ERROR_SUCCESS);
  EXPECT_NE(out.find("Connection: close\r\n"), std::string::npos);

  HTTP_DATA_CHUNK chunk{HttpDataChunkFromMemory, "body", 4};
  response.EntityChunkCount = 1;
  response.pEntityChunks = &chunk;
  ASSERT_EQ(BuildResponse(response, 11, true, true, &out), win::ERROR_SUCCESS);
  EXPECT_NE(out.find("Content-Length: 4\r\n\r\n"), std::string::npos);
  EXPECT_EQ(out.find("body"), std::string::npos);  // HEAD gets no body

  HTTP_RESPONSE injected = Response(200, "OK\r\nX-Evil: 1");
  EXPECT_EQ(BuildResponse(injected, 11, true, false, &out), win::ERROR_INVALID_PARAMETER);
  HTTP_RESPONSE badHeader = Response(200, "OK");
  badHeader.Headers.KnownHeaders[HttpHeaderLocation] = {4, "a\nb:"};
  EXPECT_EQ(BuildResponse(badHeader, 11, true, false, &out), win::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(BuildResponse(Response(99, "x"), 11, true, false, &out), win::ERROR_INVALID_PARAMETER);
}

TEST(ParseUrlPrefix, PortsAndForms) {
  struct Case {
    const char16_t* prefix;
    int port;  // 0: refused
    const char* path;
  };
  const Case cases[] = {
      {u"http://*:10500/", 10500, "/"},
      {u"http://+:1/", 1, "/"},
      {u"HTTP://host:65535/a/b/", 65535, "/a/b/"},
      {u"http://*:70000/", 0, ""},
      {u"http://*:0/", 0, ""},
      {u"http://*:65536/", 0, ""},
      {u"http://*:10500", 0, ""},
      {u"http://*/", 0, ""},
      {u"https://*:443/", 0, ""},
      {u"http://*:-1/", 0, ""},
      {u"http://*:10500/a", 0, ""},
      {u"http://*:999999/", 0, ""},
  };
  for (const auto& c : cases) {
    auto parsed = ParseUrlPrefix(c.prefix);
    if (c.port == 0) {
      EXPECT_FALSE(parsed) << c.port;
      continue;
    }
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->port, c.port);
    EXPECT_EQ(parsed->path, c.path);
  }
}

TEST(TargetMatchesPath, PrefixPaths) {
  EXPECT_TRUE(TargetMatchesPath("/anything", "/"));
  EXPECT_TRUE(TargetMatchesPath("/APP/x", "/app/"));
  EXPECT_TRUE(TargetMatchesPath("/app?x", "/app/"));
  EXPECT_TRUE(TargetMatchesPath("http://h:1/app/x", "/app/"));
  EXPECT_FALSE(TargetMatchesPath("/application", "/app/"));
  EXPECT_FALSE(TargetMatchesPath("/ap", "/app/"));
}

}  // namespace
}  // namespace pvn::http::detail

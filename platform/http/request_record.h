#pragma once
// The request path of the HTTP layer without sockets: parsing a request's
// bytes, laying a parsed request out as an HTTP_REQUEST record in a caller's
// buffer, and writing an answer. The connections use the same pieces, so the
// parser can be tested and fuzzed on plain bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/win32_error.h"
#include "platform/http/http_types.h"

namespace pvn::http::detail {

// One complete request as the I/O side hands it to the queue.
struct ParsedRequest {
  std::string method;  // as sent
  std::string target;  // the raw URL exactly as sent
  unsigned version = 11;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, as sent
  bool hasBody = false;
  bool keepAlive = true;
  std::uint64_t bytesReceived = 0;
};

// How parsing a request's bytes ended.
enum class ParseOutcome {
  kComplete,      // a whole request; `consumed` bytes belong to it
  kNeedMore,      // the bytes end inside the request
  kHeadTooLarge,  // answered 400 Bad Request
  kBadRequest,    // answered 400 Bad Request
  kBadVersion,    // answered 505 HTTP Version Not Supported
  kBodyTooLarge,  // answered 413 Request Entity Too Large
};

// Largest body the I/O side reads (and discards) to keep a connection going.
inline constexpr std::size_t kMaxDiscardedBody = 64 * 1024;

// Parses one request from the start of `bytes` with the limits the
// connections apply.
ParseOutcome ParseRequest(std::string_view bytes, ParsedRequest* request, std::size_t* consumed);

// The answer the I/O side sends by itself for a failed parse: the whole
// response, with "Connection: close".
std::string ErrorResponse(ParseOutcome outcome);

HTTP_VERB VerbOf(std::string_view method);
// Index in HTTP_REQUEST_HEADERS::KnownHeaders, or -1 for an unknown header.
int KnownRequestHeader(std::string_view name);

// Size of the record and its strings for `request`.
std::size_t RecordSize(const ParsedRequest& request);
// Lays out the record in `buffer`. ERROR_MORE_DATA with `*needed` when it
// does not fit (the RequestId is filled in when the record itself fits).
win::Error WriteRecord(const ParsedRequest& request, HTTP_REQUEST_ID requestId,
                       HTTP_CONNECTION_ID connectionId, void* buffer, std::size_t bufferLength,
                       std::size_t* needed);

// The bytes of an answer to a request of `version`. ERROR_INVALID_PARAMETER
// for a response record that is not well formed.
win::Error BuildResponse(const HTTP_RESPONSE& response, unsigned version, bool keepAlive,
                         bool headRequest, std::string* out);

// "http://HOST:PORT/PATH/" split into its port and path; nullopt when the
// prefix is malformed or the port lies outside 1..65535.
struct UrlPrefix {
  std::uint16_t port = 0;
  std::string path;  // starts and ends with '/'
};
std::optional<UrlPrefix> ParseUrlPrefix(std::u16string_view prefix);

// Whether the target of a request falls under a prefix path (without regard
// to case, as URL prefixes are matched).
bool TargetMatchesPath(std::string_view target, std::string_view prefixPath);

}  // namespace pvn::http::detail

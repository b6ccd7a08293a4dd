#include "platform/http/request_record.h"

#include <array>
#include <cstring>
#include <ctime>

#include <boost/beast/core/error.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "platform/base/unicode.h"
#include "platform/http/http_api.h"

namespace pvn::http::detail {

namespace beast = boost::beast;

namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";

constexpr std::array<std::string_view, HttpHeaderRequestMaximum> kRequestHeaderNames = {
    "Cache-Control",
    "Connection",
    "Date",
    "Keep-Alive",
    "Pragma",
    "Trailer",
    "Transfer-Encoding",
    "Upgrade",
    "Via",
    "Warning",
    "Allow",
    "Content-Length",
    "Content-Type",
    "Content-Encoding",
    "Content-Language",
    "Content-Location",
    "Content-MD5",
    "Content-Range",
    "Expires",
    "Last-Modified",
    "Accept",
    "Accept-Charset",
    "Accept-Encoding",
    "Accept-Language",
    "Authorization",
    "Cookie",
    "Expect",
    "From",
    "Host",
    "If-Match",
    "If-Modified-Since",
    "If-None-Match",
    "If-Range",
    "If-Unmodified-Since",
    "Max-Forwards",
    "Proxy-Authorization",
    "Referer",
    "Range",
    "TE",
    "Translate",
    "User-Agent"};

constexpr std::array<std::string_view, HttpHeaderResponseMaximum> kResponseHeaderNames = {
    "Cache-Control",
    "Connection",
    "Date",
    "Keep-Alive",
    "Pragma",
    "Trailer",
    "Transfer-Encoding",
    "Upgrade",
    "Via",
    "Warning",
    "Allow",
    "Content-Length",
    "Content-Type",
    "Content-Encoding",
    "Content-Language",
    "Content-Location",
    "Content-MD5",
    "Content-Range",
    "Expires",
    "Last-Modified",
    "Accept-Ranges",
    "Age",
    "ETag",
    "Location",
    "Proxy-Authenticate",
    "Retry-After",
    "Server",
    "Set-Cookie",
    "Vary",
    "WWW-Authenticate"};

struct VerbName {
  std::string_view name;
  HTTP_VERB verb;
};
constexpr VerbName kVerbs[] = {
    {"OPTIONS", HttpVerbOPTIONS},     {"GET", HttpVerbGET},         {"HEAD", HttpVerbHEAD},
    {"POST", HttpVerbPOST},           {"PUT", HttpVerbPUT},         {"DELETE", HttpVerbDELETE},
    {"TRACE", HttpVerbTRACE},         {"CONNECT", HttpVerbCONNECT}, {"TRACK", HttpVerbTRACK},
    {"MOVE", HttpVerbMOVE},           {"COPY", HttpVerbCOPY},       {"PROPFIND", HttpVerbPROPFIND},
    {"PROPPATCH", HttpVerbPROPPATCH}, {"MKCOL", HttpVerbMKCOL},     {"LOCK", HttpVerbLOCK},
    {"UNLOCK", HttpVerbUNLOCK},       {"SEARCH", HttpVerbSEARCH}};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsTokenChar(char c) {
  if (c >= '0' && c <= '9') return true;
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!IsTokenChar(c)) return false;
  return true;
}

// Header values and reasons go out verbatim, so they must not end the line.
bool IsFieldText(std::string_view s) {
  for (char c : s)
    if (c == '\r' || c == '\n' || c == '\0') return false;
  return true;
}

std::string_view View(const char* p, std::size_t n) {
  return (p && n) ? std::string_view(p, n) : std::string_view();
}

std::string HttpDate() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

// The known-header values of a request, repeated headers joined by ", ".
std::array<std::string, HttpHeaderRequestMaximum> KnownValues(
    const ParsedRequest& request, std::array<bool, HttpHeaderRequestMaximum>* present) {
  std::array<std::string, HttpHeaderRequestMaximum> values;
  present->fill(false);
  for (const auto& [name, value] : request.headers) {
    int id = KnownRequestHeader(name);
    if (id < 0) continue;
    if ((*present)[id]) values[id] += ", ";
    values[id] += value;
    (*present)[id] = true;
  }
  return values;
}

// A complete request line naming a protocol version other than 1.x (an
// HTTP/2 preface, say) is refused as such rather than as a malformed line.
bool NamesOtherMajorVersion(std::string_view bytes) {
  std::size_t eol = bytes.find("\r\n");
  if (eol == std::string_view::npos) return false;
  std::string_view line = bytes.substr(0, eol);
  std::size_t space = line.rfind(' ');
  if (space == std::string_view::npos) return false;
  std::string_view version = line.substr(space + 1);
  return version.size() == 8 && version.substr(0, 5) == "HTTP/" && version[6] == '.' &&
         version[5] >= '0' && version[5] <= '9' && version[5] != '1' && version[7] >= '0' &&
         version[7] <= '9';
}

}  // namespace

HTTP_VERB VerbOf(std::string_view method) {
  for (const auto& v : kVerbs)
    if (v.name == method) return v.verb;
  return IsToken(method) ? HttpVerbUnknown : HttpVerbInvalid;
}

int KnownRequestHeader(std::string_view name) {
  for (std::size_t i = 0; i < kRequestHeaderNames.size(); ++i)
    if (EqualsNoCaseAscii(kRequestHeaderNames[i], name)) return static_cast<int>(i);
  return -1;
}

ParseOutcome ParseRequest(std::string_view bytes, ParsedRequest* request, std::size_t* consumed) {
  *consumed = 0;
  if (NamesOtherMajorVersion(bytes.substr(0, kMaxRequestHeadBytes)))
    return ParseOutcome::kBadVersion;
  // The head limit is counted here, over the request line, the headers and
  // the blank line, rather than left to the parser, which counts its start
  // line and its fields apart.
  std::size_t headEnd = bytes.substr(0, kMaxRequestHeadBytes).find(kHeadEnd);
  if (headEnd == std::string_view::npos) {
    if (bytes.size() >= kMaxRequestHeadBytes) return ParseOutcome::kHeadTooLarge;
    // A line that cannot start a request fails now rather than at the limit.
    beast::http::request_parser<beast::http::empty_body> probe;
    probe.header_limit(static_cast<std::uint32_t>(kMaxRequestHeadBytes + 1));
    beast::error_code ec;
    probe.put(boost::asio::buffer(bytes.data(), bytes.size()), ec);
    if (ec && ec != beast::http::error::need_more) return ParseOutcome::kBadRequest;
    return ParseOutcome::kNeedMore;
  }

  beast::http::request_parser<beast::http::string_body> parser;
  parser.header_limit(static_cast<std::uint32_t>(kMaxRequestHeadBytes + 1));
  parser.body_limit(kMaxDiscardedBody);
  parser.eager(true);
  std::size_t used = 0;
  while (!parser.is_done()) {
    beast::error_code ec;
    std::size_t n = parser.put(boost::asio::buffer(bytes.data() + used, bytes.size() - used), ec);
    used += n;
    if (ec == beast::http::error::need_more) {
      if (!parser.is_header_done()) return ParseOutcome::kBadRequest;  // head ended early
      return ParseOutcome::kNeedMore;
    }
    if (ec == beast::http::error::body_limit) return ParseOutcome::kBodyTooLarge;
    if (ec) return ParseOutcome::kBadRequest;
    if (n == 0) return ParseOutcome::kNeedMore;
  }

  const auto& message = parser.get();
  unsigned version = message.version();
  if (version / 10 != 1) return ParseOutcome::kBadVersion;

  ParsedRequest parsed;
  parsed.method = std::string(message.method_string());
  parsed.target = std::string(message.target());
  parsed.version = version;
  int hosts = 0;
  for (const auto& field : message) {
    parsed.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    if (EqualsNoCaseAscii(std::string_view(field.name_string().data(), field.name_string().size()),
                          "Host"))
      ++hosts;
  }
  // An HTTP/1.1 request names exactly one host; none or several is refused.
  if (hosts > 1 || (version == 11 && hosts == 0)) return ParseOutcome::kBadRequest;
  if (parsed.target.empty()) return ParseOutcome::kBadRequest;
  parsed.hasBody = !message.body().empty() || parser.chunked() ||
                   (parser.content_length() && *parser.content_length() > 0);
  parsed.keepAlive = parser.keep_alive();
  parsed.bytesReceived = used;
  *request = std::move(parsed);
  *consumed = used;
  return ParseOutcome::kComplete;
}

std::string ErrorResponse(ParseOutcome outcome) {
  std::string_view status;
  switch (outcome) {
    case ParseOutcome::kBadVersion:
      status = "505 HTTP Version Not Supported";
      break;
    case ParseOutcome::kBodyTooLarge:
      status = "413 Request Entity Too Large";
      break;
    default:
      status = "400 Bad Request";
      break;
  }
  std::string body = "<html><body><h1>" + std::string(status.substr(4)) + "</h1></body></html>";
  std::string out = "HTTP/1.1 " + std::string(status) + "\r\n";
  out += "Content-Type: text/html\r\nDate: " + HttpDate() + "\r\nConnection: close\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  return out;
}

std::size_t RecordSize(const ParsedRequest& request) {
  std::size_t size = sizeof(HTTP_REQUEST);
  std::array<bool, HttpHeaderRequestMaximum> present;
  auto known = KnownValues(request, &present);
  for (std::size_t i = 0; i < known.size(); ++i)
    if (present[i]) size += known[i].size() + 1;
  for (const auto& [name, value] : request.headers)
    if (KnownRequestHeader(name) < 0)
      size += sizeof(HTTP_UNKNOWN_HEADER) + name.size() + value.size() + 2;
  if (VerbOf(request.method) == HttpVerbUnknown) size += request.method.size() + 1;
  size += request.target.size() + 1;
  return size;
}

win::Error WriteRecord(const ParsedRequest& request, HTTP_REQUEST_ID requestId,
                       HTTP_CONNECTION_ID connectionId, void* buffer, std::size_t bufferLength,
                       std::size_t* needed) {
  const std::size_t size = RecordSize(request);
  *needed = size;
  if (!buffer || reinterpret_cast<std::uintptr_t>(buffer) % alignof(HTTP_REQUEST) != 0)
    return win::ERROR_INVALID_PARAMETER;
  if (bufferLength < size) {
    if (bufferLength >= sizeof(HTTP_REQUEST)) {
      auto* record = static_cast<HTTP_REQUEST*>(buffer);
      std::memset(record, 0, sizeof *record);
      record->RequestId = requestId;
      record->ConnectionId = connectionId;
    }
    return win::ERROR_MORE_DATA;
  }
  // Every length field is 16 bits; the head limit keeps every string below it.
  auto* base = static_cast<std::uint8_t*>(buffer);
  auto* record = reinterpret_cast<HTTP_REQUEST*>(base);
  std::memset(record, 0, sizeof *record);
  std::size_t unknownCount = 0;
  for (const auto& header : request.headers)
    if (KnownRequestHeader(header.first) < 0) ++unknownCount;
  auto* unknown = reinterpret_cast<HTTP_UNKNOWN_HEADER*>(base + sizeof(HTTP_REQUEST));
  char* strings = reinterpret_cast<char*>(unknown + unknownCount);
  auto put = [&strings](std::string_view text) {
    char* at = strings;
    std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    strings += text.size() + 1;
    return at;
  };

  record->ConnectionId = connectionId;
  record->RequestId = requestId;
  record->Version = {static_cast<std::uint16_t>(request.version / 10),
                     static_cast<std::uint16_t>(request.version % 10)};
  record->Verb = VerbOf(request.method);
  if (record->Verb == HttpVerbUnknown) {
    record->UnknownVerbLength = static_cast<std::uint16_t>(request.method.size());
    record->pUnknownVerb = put(request.method);
  }
  record->RawUrlLength = static_cast<std::uint16_t>(request.target.size());
  record->pRawUrl = put(request.target);
  record->Flags = request.hasBody ? HTTP_REQUEST_FLAG_MORE_ENTITY_BODY_EXISTS : 0;
  record->BytesReceived = request.bytesReceived;

  std::array<bool, HttpHeaderRequestMaximum> present;
  auto known = KnownValues(request, &present);
  for (std::size_t i = 0; i < known.size(); ++i) {
    if (!present[i]) continue;
    record->Headers.KnownHeaders[i].RawValueLength = static_cast<std::uint16_t>(known[i].size());
    record->Headers.KnownHeaders[i].pRawValue = put(known[i]);
  }
  record->Headers.UnknownHeaderCount = static_cast<std::uint16_t>(unknownCount);
  record->Headers.pUnknownHeaders = unknownCount ? unknown : nullptr;
  std::size_t at = 0;
  for (const auto& [name, value] : request.headers) {
    if (KnownRequestHeader(name) >= 0) continue;
    unknown[at].NameLength = static_cast<std::uint16_t>(name.size());
    unknown[at].pName = put(name);
    unknown[at].RawValueLength = static_cast<std::uint16_t>(value.size());
    unknown[at].pRawValue = put(value);
    ++at;
  }
  return win::ERROR_SUCCESS;
}

win::Error BuildResponse(const HTTP_RESPONSE& response, unsigned version, bool keepAlive,
                         bool headRequest, std::string* out) {
  if (response.StatusCode < 100 || response.StatusCode > 999) return win::ERROR_INVALID_PARAMETER;
  std::string_view reason = View(response.pReason, response.ReasonLength);
  if (!IsFieldText(reason)) return win::ERROR_INVALID_PARAMETER;

  std::string body;
  for (std::uint16_t i = 0; i < response.EntityChunkCount; ++i) {
    if (!response.pEntityChunks) return win::ERROR_INVALID_PARAMETER;
    const HTTP_DATA_CHUNK& chunk = response.pEntityChunks[i];
    if (chunk.DataChunkType != HttpDataChunkFromMemory) return win::ERROR_INVALID_PARAMETER;
    if (chunk.BufferLength && !chunk.pBuffer) return win::ERROR_INVALID_PARAMETER;
    body.append(static_cast<const char*>(chunk.pBuffer), chunk.BufferLength);
  }

  std::string text = version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
  text += std::to_string(response.StatusCode);
  text += ' ';
  text += reason;
  text += "\r\n";
  bool hasDate = false;
  for (int i = 0; i < HttpHeaderResponseMaximum; ++i) {
    const HTTP_KNOWN_HEADER& header = response.Headers.KnownHeaders[i];
    if (!header.RawValueLength) continue;
    // Length and connection handling belong to the layer.
    if (i == HttpHeaderContentLength || i == HttpHeaderConnection ||
        i == HttpHeaderTransferEncoding || i == HttpHeaderKeepAlive)
      continue;
    std::string_view value = View(header.pRawValue, header.RawValueLength);
    if (!header.pRawValue || !IsFieldText(value)) return win::ERROR_INVALID_PARAMETER;
    if (i == HttpHeaderDate) hasDate = true;
    text.append(kResponseHeaderNames[i]).append(": ").append(value).append("\r\n");
  }
  for (std::uint16_t i = 0; i < response.Headers.UnknownHeaderCount; ++i) {
    if (!response.Headers.pUnknownHeaders) return win::ERROR_INVALID_PARAMETER;
    const HTTP_UNKNOWN_HEADER& header = response.Headers.pUnknownHeaders[i];
    std::string_view name = View(header.pName, header.NameLength);
    std::string_view value = View(header.pRawValue, header.RawValueLength);
    if (!IsToken(name) || !IsFieldText(value)) return win::ERROR_INVALID_PARAMETER;
    text.append(name).append(": ").append(value).append("\r\n");
  }
  if (!hasDate) text += "Date: " + HttpDate() + "\r\n";
  if (!keepAlive)
    text += "Connection: close\r\n";
  else if (version == 10)
    text += "Connection: keep-alive\r\n";
  text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  if (!headRequest) text += body;
  *out = std::move(text);
  return win::ERROR_SUCCESS;
}

std::optional<UrlPrefix> ParseUrlPrefix(std::u16string_view prefix) {
  std::string url = Utf16ToUtf8(prefix);
  constexpr std::string_view kScheme = "http://";
  if (url.size() < kScheme.size() || !EqualsNoCaseAscii(url.substr(0, kScheme.size()), kScheme))
    return std::nullopt;
  std::string_view rest = std::string_view(url).substr(kScheme.size());
  std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view authority = rest.substr(0, slash);
  std::string_view path = rest.substr(slash);
  std::size_t colon = authority.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view digits = authority.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<unsigned>(c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  if (path.back() != '/' || path.find_first_of("?#") != std::string_view::npos) return std::nullopt;
  return UrlPrefix{static_cast<std::uint16_t>(port), std::string(path)};
}

bool TargetMatchesPath(std::string_view target, std::string_view prefixPath) {
  if (prefixPath == "/") return true;
  // An absolute-form target carries scheme and host before its path.
  if (target.size() > 7 && EqualsNoCaseAscii(target.substr(0, 7), "http://")) {
    std::size_t slash = target.find('/', 7);
    target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  std::string_view bare = prefixPath.substr(0, prefixPath.size() - 1);  // without its last '/'
  if (target.size() < bare.size() || !EqualsNoCaseAscii(target.substr(0, bare.size()), bare))
    return false;
  if (target.size() == bare.size()) return true;
  char next = target[bare.size()];
  return next == '/' || next == '?';
}

}  // namespace pvn::http::detail

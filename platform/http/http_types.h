#pragma once
// Records and constants of the HTTP Server API calls (version 1.0 of the API).
//
// A received request is laid out in the caller's buffer: the HTTP_REQUEST
// record first, then the unknown-header array, then every string it points
// to. Strings are the bytes exactly as the client sent them, each followed by
// a NUL that the lengths do not count.
#include <cstddef>
#include <cstdint>

namespace pvn::http {

struct HTTPAPI_VERSION {
  std::uint16_t HttpApiMajorVersion;
  std::uint16_t HttpApiMinorVersion;
};
inline constexpr HTTPAPI_VERSION HTTPAPI_VERSION_1 = {1, 0};

inline constexpr std::uint32_t HTTP_INITIALIZE_SERVER = 0x00000001;
inline constexpr std::uint32_t HTTP_INITIALIZE_CONFIG = 0x00000002;

// HttpSendHttpResponse flags.
inline constexpr std::uint32_t HTTP_SEND_RESPONSE_FLAG_DISCONNECT = 0x00000001;
inline constexpr std::uint32_t HTTP_SEND_RESPONSE_FLAG_MORE_DATA = 0x00000002;

// HttpReceiveHttpRequest flags.
inline constexpr std::uint32_t HTTP_RECEIVE_REQUEST_FLAG_COPY_BODY = 0x00000001;

using HTTP_OPAQUE_ID = std::uint64_t;
using HTTP_REQUEST_ID = HTTP_OPAQUE_ID;
using HTTP_CONNECTION_ID = HTTP_OPAQUE_ID;
using HTTP_URL_CONTEXT = std::uint64_t;
inline constexpr HTTP_OPAQUE_ID HTTP_NULL_ID = 0;

struct HTTP_VERSION {
  std::uint16_t MajorVersion;
  std::uint16_t MinorVersion;
};

enum HTTP_VERB : std::int32_t {
  HttpVerbUnparsed,
  HttpVerbUnknown,
  HttpVerbInvalid,
  HttpVerbOPTIONS,
  HttpVerbGET,
  HttpVerbHEAD,
  HttpVerbPOST,
  HttpVerbPUT,
  HttpVerbDELETE,
  HttpVerbTRACE,
  HttpVerbCONNECT,
  HttpVerbTRACK,
  HttpVerbMOVE,
  HttpVerbCOPY,
  HttpVerbPROPFIND,
  HttpVerbPROPPATCH,
  HttpVerbMKCOL,
  HttpVerbLOCK,
  HttpVerbUNLOCK,
  HttpVerbSEARCH,
  HttpVerbMaximum
};

// Headers the API knows by name. Request and response share the general and
// entity headers (0 to 19); 20 and up differ between the two.
enum HTTP_HEADER_ID : std::int32_t {
  HttpHeaderCacheControl = 0,
  HttpHeaderConnection = 1,
  HttpHeaderDate = 2,
  HttpHeaderKeepAlive = 3,
  HttpHeaderPragma = 4,
  HttpHeaderTrailer = 5,
  HttpHeaderTransferEncoding = 6,
  HttpHeaderUpgrade = 7,
  HttpHeaderVia = 8,
  HttpHeaderWarning = 9,
  HttpHeaderAllow = 10,
  HttpHeaderContentLength = 11,
  HttpHeaderContentType = 12,
  HttpHeaderContentEncoding = 13,
  HttpHeaderContentLanguage = 14,
  HttpHeaderContentLocation = 15,
  HttpHeaderContentMd5 = 16,
  HttpHeaderContentRange = 17,
  HttpHeaderExpires = 18,
  HttpHeaderLastModified = 19,

  HttpHeaderAccept = 20,
  HttpHeaderAcceptCharset = 21,
  HttpHeaderAcceptEncoding = 22,
  HttpHeaderAcceptLanguage = 23,
  HttpHeaderAuthorization = 24,
  HttpHeaderCookie = 25,
  HttpHeaderExpect = 26,
  HttpHeaderFrom = 27,
  HttpHeaderHost = 28,
  HttpHeaderIfMatch = 29,
  HttpHeaderIfModifiedSince = 30,
  HttpHeaderIfNoneMatch = 31,
  HttpHeaderIfRange = 32,
  HttpHeaderIfUnmodifiedSince = 33,
  HttpHeaderMaxForwards = 34,
  HttpHeaderProxyAuthorization = 35,
  HttpHeaderReferer = 36,
  HttpHeaderRange = 37,
  HttpHeaderTe = 38,
  HttpHeaderTranslate = 39,
  HttpHeaderUserAgent = 40,
  HttpHeaderRequestMaximum = 41,

  HttpHeaderAcceptRanges = 20,
  HttpHeaderAge = 21,
  HttpHeaderEtag = 22,
  HttpHeaderLocation = 23,
  HttpHeaderProxyAuthenticate = 24,
  HttpHeaderRetryAfter = 25,
  HttpHeaderServer = 26,
  HttpHeaderSetCookie = 27,
  HttpHeaderVary = 28,
  HttpHeaderWwwAuthenticate = 29,
  HttpHeaderResponseMaximum = 30,
};

struct HTTP_KNOWN_HEADER {
  std::uint16_t RawValueLength;  // bytes, without the NUL
  const char* pRawValue;
};
static_assert(sizeof(HTTP_KNOWN_HEADER) == 16);

struct HTTP_UNKNOWN_HEADER {
  std::uint16_t NameLength;
  std::uint16_t RawValueLength;
  const char* pName;
  const char* pRawValue;
};
static_assert(sizeof(HTTP_UNKNOWN_HEADER) == 24);
static_assert(offsetof(HTTP_UNKNOWN_HEADER, pName) == 8);

struct HTTP_REQUEST_HEADERS {
  std::uint16_t UnknownHeaderCount;
  HTTP_UNKNOWN_HEADER* pUnknownHeaders;  // in the order the client sent them
  std::uint16_t TrailerCount;            // always 0
  HTTP_UNKNOWN_HEADER* pTrailers;
  HTTP_KNOWN_HEADER KnownHeaders[HttpHeaderRequestMaximum];
};
static_assert(sizeof(HTTP_REQUEST_HEADERS) == 32 + 16 * HttpHeaderRequestMaximum);

// Set when the request carried a body. The body is read and discarded by the
// I/O side so that the next request on the connection can be parsed.
inline constexpr std::uint32_t HTTP_REQUEST_FLAG_MORE_ENTITY_BODY_EXISTS = 0x00000001;

struct HTTP_REQUEST {
  std::uint32_t Flags;
  HTTP_CONNECTION_ID ConnectionId;
  HTTP_REQUEST_ID RequestId;
  HTTP_URL_CONTEXT UrlContext;
  HTTP_VERSION Version;
  HTTP_VERB Verb;
  std::uint16_t UnknownVerbLength;
  std::uint16_t RawUrlLength;
  const char* pUnknownVerb;  // the method as sent when Verb is HttpVerbUnknown
  const char* pRawUrl;       // the request target exactly as sent
  HTTP_REQUEST_HEADERS Headers;
  std::uint64_t BytesReceived;  // bytes of the head and the body
};
static_assert(offsetof(HTTP_REQUEST, RequestId) == 16);
static_assert(offsetof(HTTP_REQUEST, Version) == 32);
static_assert(offsetof(HTTP_REQUEST, pRawUrl) == 56);
static_assert(offsetof(HTTP_REQUEST, Headers) == 64);
static_assert(sizeof(HTTP_REQUEST) == 64 + sizeof(HTTP_REQUEST_HEADERS) + 8);

enum HTTP_DATA_CHUNK_TYPE : std::int32_t { HttpDataChunkFromMemory = 0 };

struct HTTP_DATA_CHUNK {
  HTTP_DATA_CHUNK_TYPE DataChunkType;
  const void* pBuffer;
  std::uint32_t BufferLength;
};

struct HTTP_RESPONSE_HEADERS {
  std::uint16_t UnknownHeaderCount;
  const HTTP_UNKNOWN_HEADER* pUnknownHeaders;
  std::uint16_t TrailerCount;
  const HTTP_UNKNOWN_HEADER* pTrailers;
  HTTP_KNOWN_HEADER KnownHeaders[HttpHeaderResponseMaximum];
};

struct HTTP_RESPONSE {
  std::uint32_t Flags;
  HTTP_VERSION Version;  // ignored: the answer takes the request's version
  std::uint16_t StatusCode;
  std::uint16_t ReasonLength;
  const char* pReason;
  HTTP_RESPONSE_HEADERS Headers;
  std::uint16_t EntityChunkCount;
  const HTTP_DATA_CHUNK* pEntityChunks;
};

}  // namespace pvn::http

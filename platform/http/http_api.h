#pragma once
// The HTTP Server API calls that a service listening on a URL prefix makes:
//
//   HttpInitialize(HTTPAPI_VERSION_1, HTTP_INITIALIZE_SERVER);
//   RequestQueueHandle queue;
//   HttpCreateHttpHandle(&queue);
//   HttpAddUrl(queue, u"http://*:10500/");
//   HttpReceiveHttpRequest(queue, HTTP_NULL_ID, 0, buffer, size, &received);
//   HttpSendHttpResponse(queue, request->RequestId, 0, &response);
//   CloseHandle(queue);
//   HttpTerminate(HTTP_INITIALIZE_SERVER);
//
// Connections are accepted, read and parsed on an I/O thread of the queue, so
// a slow or hostile client never holds up the receiving thread. Complete
// requests wait in the queue in the order their heads were complete. A head
// (request line and headers) larger than kMaxRequestHeadBytes is answered
// "400 Bad Request" and its connection closed without the receiver seeing it;
// a connection that sends no complete head within the header time-out, or
// stays silent between requests for the idle time-out, is closed.
//
// Requests on one connection are handed out one at a time: the next request
// of a keep-alive or pipelined connection is parsed once the previous one has
// been answered, so answers always go out in request order.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/base/win32_error.h"
#include "platform/http/http_types.h"

namespace pvn::http {

inline constexpr std::size_t kMaxRequestHeadBytes = 16384;
inline constexpr std::chrono::seconds kDefaultHeaderWait{120};
inline constexpr std::chrono::seconds kDefaultIdleConnection{120};

// A request queue handle: a plain value like a Windows HANDLE, so that one
// thread may wait in a receive while another closes the queue.
struct RequestQueueHandle {
  std::uint64_t value = 0;
  explicit operator bool() const { return value != 0; }
};

win::Error HttpInitialize(HTTPAPI_VERSION version, std::uint32_t flags);
win::Error HttpTerminate(std::uint32_t flags);

win::Error HttpCreateHttpHandle(RequestQueueHandle* queue);
// Closes the queue: its ports stop listening, its connections are dropped and
// a receive waiting on it returns ERROR_OPERATION_ABORTED. Later calls with
// the handle fail with ERROR_INVALID_HANDLE.
win::Error CloseHandle(RequestQueueHandle queue);

// Prefixes have the form "http://HOST:PORT/PATH/" with HOST "*", "+" or a
// name; the queue listens on all addresses of PORT. Fails with
// ERROR_INVALID_PARAMETER for a malformed prefix or a port outside 1..65535,
// ERROR_SHARING_VIOLATION when another program listens on the port,
// ERROR_ACCESS_DENIED when the account may not listen on it, and
// ERROR_ALREADY_EXISTS when the queue has the prefix already.
win::Error HttpAddUrl(RequestQueueHandle queue, std::u16string_view urlPrefix);
win::Error HttpRemoveUrl(RequestQueueHandle queue, std::u16string_view urlPrefix);

// Waits for the next request (requestId HTTP_NULL_ID) and lays it out in
// `buffer`. When it does not fit, returns ERROR_MORE_DATA with the size
// needed in `*bytesReturned` and, if the record itself fits, its RequestId
// set; the request can then be received once more by that ID. A request left
// so is dropped (its connection closed) by the next receive of a new request.
win::Error HttpReceiveHttpRequest(RequestQueueHandle queue, HTTP_REQUEST_ID requestId,
                                  std::uint32_t flags, void* buffer, std::uint32_t bufferLength,
                                  std::uint32_t* bytesReturned);

// Sends the whole answer to a received request and returns once it is
// written. Content-Length and Date are added; a HEAD request gets no body.
// ERROR_CONNECTION_INVALID when the client has gone.
win::Error HttpSendHttpResponse(RequestQueueHandle queue, HTTP_REQUEST_ID requestId,
                                std::uint32_t flags, const HTTP_RESPONSE* response,
                                std::uint32_t* bytesSent = nullptr);

// Time-outs of the queue's connections (both 120 s unless set): the time a
// client has to send a complete head once it began one, and the time a
// connection may wait for the first byte of its next request.
win::Error HttpSetQueueTimeouts(RequestQueueHandle queue, std::chrono::milliseconds headerWait,
                                std::chrono::milliseconds idleConnection);

}  // namespace pvn::http

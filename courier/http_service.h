#pragma once
// CHttpService: the agent's wrapper around the HTTP Server API. It registers
// "http://*:PORT/", receives requests on a thread of its own and hands each
// one, complete, to its listener, one at a time in arrival order.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/http/http_api.h"

namespace pvn::courier {

class CHttpService;

class IHttpServiceListener {
 public:
  // Handles one request completely, answer included; 1 = handled. The
  // request is valid only during the call.
  virtual std::uint32_t OnHttpRequest(CHttpService* service, const http::HTTP_REQUEST* request) = 0;
  virtual ~IHttpServiceListener() = default;
};

class CHttpService {
 public:
  // Receive-loop states.
  static constexpr std::uint32_t kIdle = 0;
  static constexpr std::uint32_t kStarting = 1;
  static constexpr std::uint32_t kReceiving = 2;
  static constexpr std::uint32_t kEnded = 3;

  static constexpr std::uint32_t kReceiveBufferSize = 0x4000;

  CHttpService() = default;
  CHttpService(const CHttpService&) = delete;
  CHttpService& operator=(const CHttpService&) = delete;
  // Releases nothing: the service must be stopped before it is destroyed.
  virtual ~CHttpService() = default;

  // Registers the prefix for `port` and starts the receive thread. False,
  // with nothing left behind, when the port cannot be registered or the
  // buffer or the thread cannot be had.
  bool Start(std::uint32_t port, IHttpServiceListener* listener);
  // Ends the receive thread and releases the queue, the buffer and the API.
  void Stop();
  // Answers a request: the status, the reason, Content-Type "text/html" and
  // no body. True when the answer was sent.
  bool SendResponse(http::HTTP_REQUEST_ID requestId, std::uint16_t status, const char* reason);

  std::uint32_t state() const { return m_nState.load(); }

 private:
  static void ReceiveLoop(CHttpService* service);

  http::RequestQueueHandle m_hReqQueue;
  std::unique_ptr<std::uint64_t[]> m_pReceiveBuffer;  // 8-byte aligned for the request record
  std::uint32_t m_nBufferSize = kReceiveBufferSize;
  std::atomic<std::uint32_t> m_bRunning{0};
  std::atomic<std::uint32_t> m_nState{kIdle};
  std::thread m_hReceiveThread;
  IHttpServiceListener* m_pListener = nullptr;
  // Whether the receive thread is handling a request, so that Stop lets the
  // answer go out before it closes the queue.
  std::mutex m_busyMutex;
  std::condition_variable m_busyChanged;
  bool m_bBusy = false;
};

}  // namespace pvn::courier

#include "courier/http_service.h"

#include <chrono>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

namespace pvn::courier {

bool CHttpService::Start(std::uint32_t port, IHttpServiceListener* listener) {
  m_nState = kStarting;
  std::string prefix = "http://*:" + std::to_string(port) + "/";
  std::u16string urlPrefix(prefix.begin(), prefix.end());

  if (http::HttpInitialize(http::HTTPAPI_VERSION_1, http::HTTP_INITIALIZE_SERVER) !=
      win::ERROR_SUCCESS) {
    m_nState = kIdle;
    return false;
  }
  if (http::HttpCreateHttpHandle(&m_hReqQueue) != win::ERROR_SUCCESS) {
    http::HttpTerminate(http::HTTP_INITIALIZE_SERVER);
    m_nState = kIdle;
    return false;
  }
  auto release = [this] {
    http::CloseHandle(m_hReqQueue);
    m_hReqQueue = {};
    http::HttpTerminate(http::HTTP_INITIALIZE_SERVER);
    m_pReceiveBuffer.reset();
    m_bRunning = 0;
    m_nState = kIdle;
  };
  if (http::HttpAddUrl(m_hReqQueue, urlPrefix) != win::ERROR_SUCCESS) {
    release();
    return false;
  }

  m_nBufferSize = kReceiveBufferSize;
  m_pReceiveBuffer.reset(new (std::nothrow) std::uint64_t[m_nBufferSize / 8]);
  if (!m_pReceiveBuffer) {
    release();
    return false;
  }
  m_pListener = listener;
  m_bRunning = 1;
  try {
    m_hReceiveThread = std::thread(&CHttpService::ReceiveLoop, this);
  } catch (const std::system_error&) {
    release();
    return false;
  }
  return true;
}

void CHttpService::ReceiveLoop(CHttpService* service) {
  if (!service) return;
  service->m_nState = kReceiving;
  // The queue handle and the buffer are set before this thread starts and
  // stay until Stop has joined it.
  const http::RequestQueueHandle queue = service->m_hReqQueue;
  void* buffer = service->m_pReceiveBuffer.get();
  while (service->m_bRunning == 1) {
    std::memset(buffer, 0, service->m_nBufferSize);
    std::uint32_t received = 0;
    win::Error error = http::HttpReceiveHttpRequest(queue, http::HTTP_NULL_ID, 0, buffer,
                                                    service->m_nBufferSize, &received);
    if (error == win::ERROR_SUCCESS) {
      {
        std::lock_guard lock(service->m_busyMutex);
        service->m_bBusy = true;
      }
      service->m_pListener->OnHttpRequest(service, static_cast<const http::HTTP_REQUEST*>(buffer));
      std::lock_guard lock(service->m_busyMutex);
      service->m_bBusy = false;
      service->m_busyChanged.notify_all();
      continue;
    }
    if (error == win::ERROR_OPERATION_ABORTED || error == win::ERROR_INVALID_HANDLE) break;
    // Anything else, a request too large for the buffer among it: that
    // request goes unanswered and the loop goes on.
  }
  service->m_nState = kEnded;
}

void CHttpService::Stop() {
  if (m_bRunning == 0) return;
  m_bRunning = 0;
  m_nState = kEnded;
  // A request being handled (a restart command, say) is answered first, for
  // at most 1,000 ms; then closing the queue ends the waiting receive at once.
  {
    std::unique_lock lock(m_busyMutex);
    m_busyChanged.wait_for(lock, std::chrono::milliseconds(1000), [this] { return !m_bBusy; });
  }
  http::CloseHandle(m_hReqQueue);
  if (m_hReceiveThread.joinable()) m_hReceiveThread.join();
  m_pReceiveBuffer.reset();
  m_hReqQueue = {};
  http::HttpTerminate(http::HTTP_INITIALIZE_SERVER);
  m_nState = kIdle;
}

bool CHttpService::SendResponse(http::HTTP_REQUEST_ID requestId, std::uint16_t status,
                                const char* reason) {
  http::HTTP_RESPONSE response{};
  response.StatusCode = status;
  response.pReason = reason;
  response.ReasonLength = reason ? static_cast<std::uint16_t>(std::strlen(reason)) : 0;
  static constexpr char kContentType[] = "text/html";
  response.Headers.KnownHeaders[http::HttpHeaderContentType] = {
      static_cast<std::uint16_t>(sizeof kContentType - 1), kContentType};
  return http::HttpSendHttpResponse(m_hReqQueue, requestId, 0, &response) == win::ERROR_SUCCESS;
}

}  // namespace pvn::courier

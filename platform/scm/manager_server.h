#pragma once
// Serves a ServiceManager to the client calls of other processes on the unix
// socket <prefix>/run/scm.sock, one JSON request and answer per line. The
// running machine owns one; tests run one in-process.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/win32_error.h"
#include "platform/scm/service_manager.h"

namespace pvn::scm {

class ManagerServer {
 public:
  explicit ManagerServer(ServiceManager& manager);
  ~ManagerServer();
  ManagerServer(const ManagerServer&) = delete;
  ManagerServer& operator=(const ManagerServer&) = delete;

  // Listens on the socket of the current prefix (replacing a stale one).
  win::Error Start();
  // Stops listening and ends every connection.
  void Stop();

 private:
  void AcceptLoop();
  void Serve(int fd);

  ServiceManager& manager_;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::string path_;
  std::thread acceptor_;
  std::mutex mutex_;
  std::condition_variable idle_;
  std::vector<int> clients_;
  int active_ = 0;  // connections being served
  std::atomic<bool> stopping_{false};
};

}  // namespace pvn::scm

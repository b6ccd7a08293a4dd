#pragma once
// CPvnRmtHttpListener: the agent's request handler. A GET request that
// presents the access token in "PVN_Token" and asks for /PVN_SERVICE with a
// known PVN_CMD runs the command and is answered 200 "OK"; every other
// request is answered 404 "Not Found".
#include <cstdint>
#include <string>

#include "courier/http_service.h"

namespace pvn::courier {

class CPvnRmtHttpListener : public IHttpServiceListener {
 public:
  CPvnRmtHttpListener() = default;

  std::uint32_t OnHttpRequest(CHttpService* service, const http::HTTP_REQUEST* request) override;
  ~CPvnRmtHttpListener() override = default;

  void SetAccessToken(std::u16string token) { m_strAccessToken = std::move(token); }

  // Token and path check.
  bool CheckRequest(const http::HTTP_REQUEST* request) const;
  // Parses and runs the command; on success sends the 200 answer.
  bool HandleCommand(CHttpService* service, const http::HTTP_REQUEST* request);
  // The action of every table entry; the parameter is not used.
  static std::uint32_t RunCommand(std::uint32_t code, const std::string& parameter);

 private:
  std::u16string m_strAccessToken = u"50731942";
};

// Compares two tokens in time that depends on their lengths only.
bool TokensEqual(std::u16string_view presented, std::u16string_view expected);

}  // namespace pvn::courier

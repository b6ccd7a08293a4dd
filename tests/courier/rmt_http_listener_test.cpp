// The request handler behind a running HTTP listener service, through real
// sockets and curl.
#include "courier/rmt_http_listener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "common/settings/registry_layout.h"
#include "courier/http_service.h"
#include "tests/courier/courier_test_support.h"
#include "tests/platform/http/http_test_client.h"
#include "tests/support/temp_prefix.h"

namespace pvn::courier {
namespace {

using pvn::testing::RawClient;
using pvn::testing::ReadSwitch;
using settings::kAppKeyPath;
using settings::kHidGateKeyPath;
using settings::kPortGateKeyPath;

class ListenerTest : public pvn::testing::PrefixTest {
 protected:
  void SetUp() override {
    pvn::testing::InstallApplicationKey();
    port_ = pvn::testing::FreePort();
    ASSERT_TRUE(service_.Start(port_, &listener_));
  }
  void TearDown() override {
    service_.Stop();
  }

  // One request on a connection of its own; the status, or 0 without answer.
  int Request(const std::string& method, const std::string& target, const std::string& headers) {
    RawClient client(port_);
    client.Send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n");
    auto response = client.Read();
    if (!response) return 0;
    EXPECT_EQ((*response)[boost::beast::http::field::content_type], "text/html");
    EXPECT_EQ(response->body(), "");
    EXPECT_EQ(response->reason(), response->result_int() == 200 ? "OK" : "Not Found");
    return response->result_int();
  }

  void SetSwitches(std::uint32_t value) {
    for (auto path : {kAppKeyPath, kPortGateKeyPath, kHidGateKeyPath}) {
      auto key = reg::Key::Open(path, reg::KEY_ALL_ACCESS);
      key->SetDword(u"Stor Enable", value);
      key->SetDword(u"KeybMous Enable", value);
    }
  }

  CHttpService service_;
  CPvnRmtHttpListener listener_;
  unsigned port_ = 0;
};

TEST_F(ListenerTest, RequestTable) {
  const std::string token = "PVN_Token: 50731942\r\n";
  struct Case {
    const char* name;
    std::string method, target, headers;
    int status;
    long kbm, stor;  // switches afterwards, starting from 7
  };
  const Case cases[] = {
      {"kbm off", "GET", "/PVN_SERVICE?PVN_CMD=KBM_OFF", token, 200, 0, 7},
      {"lower-case names", "GET", "/PVN_SERVICE?pvn_cmd=kbm_off", "pvn_token: 50731942\r\n", 200, 0,
       7},
      {"all on", "GET", "/pvn_service?PVN_CMD=ALLCFG_ON", token, 200, 1, 1},
      {"all off", "GET", "/PVN_SERVICE?PVN_CMD=ALLCFG_OFF", token, 200, 0, 0},
      {"storage on", "GET", "/PVN_SERVICE?PVN_CMD=STORAGE_ON", token, 200, 7, 1},
      {"storage off", "GET", "/PVN_SERVICEx/y?PVN_CMD=STORAGE_OFF", token, 200, 7, 0},
      {"last command counts", "GET", "/PVN_SERVICE?PVN_CMD=KBM_ON&PVN_CMD=KBM_OFF", token, 200, 0,
       7},
      {"first token header counts", "GET", "/PVN_SERVICE?PVN_CMD=KBM_ON",
       "X-Other: 1\r\nPVN_Token: 50731942\r\nPVN_Token: wrong\r\n", 200, 1, 7},
      {"token in other case", "GET", "/PVN_SERVICE?PVN_CMD=KBM_OFF", "PVN_Token: 5073194A\r\n", 404,
       7, 7},
      {"wrong token", "GET", "/PVN_SERVICE?PVN_CMD=KBM_OFF", "PVN_Token: 1\r\n", 404, 7, 7},
      {"no token", "GET", "/PVN_SERVICE?PVN_CMD=KBM_OFF", "", 404, 7, 7},
      {"POST", "POST", "/PVN_SERVICE?PVN_CMD=KBM_OFF", token + "Content-Length: 0\r\n", 404, 7, 7},
      {"HEAD", "HEAD", "/PVN_SERVICE?PVN_CMD=KBM_OFF", token, 404, 7, 7},
      {"no command", "GET", "/PVN_SERVICE?PVN_PARAM=5", token, 404, 7, 7},
      {"no decoding", "GET", "/PVN_SERVICE?PVN_CMD=KBM%5FON", token, 404, 7, 7},
      {"no query", "GET", "/PVN_SERVICE", token, 404, 7, 7},
      {"other path", "GET", "/PVN_SERVIC?PVN_CMD=KBM_OFF", token, 404, 7, 7},
      {"unknown command", "GET", "/PVN_SERVICE?PVN_CMD=KBM", token, 404, 7, 7},
  };
  for (const auto& c : cases) {
    SetSwitches(7);
    if (c.method == "HEAD") {
      // A HEAD answer has no body to read; check the status line only.
      RawClient client(port_);
      client.Send("HEAD " + c.target + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n" + c.headers +
                  "\r\n");
      EXPECT_EQ(client.ReadAll().rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << c.name;
    } else {
      EXPECT_EQ(Request(c.method, c.target, c.headers), c.status) << c.name;
    }
    EXPECT_EQ(ReadSwitch(kAppKeyPath, u"KeybMous Enable"), c.kbm) << c.name;
    EXPECT_EQ(ReadSwitch(kHidGateKeyPath, u"KeybMous Enable"), c.kbm) << c.name;
    EXPECT_EQ(ReadSwitch(kAppKeyPath, u"Stor Enable"), c.stor) << c.name;
    EXPECT_EQ(ReadSwitch(kPortGateKeyPath, u"Stor Enable"), c.stor) << c.name;
  }
}

TEST_F(ListenerTest, ThroughCurl) {
  SetSwitches(1);
  std::string base = "curl -s -o /dev/null -w '%{http_code} %{content_type} %{size_download}' ";
  std::string url =
      "'http://127.0.0.1:" + std::to_string(port_) + "/PVN_SERVICE?PVN_CMD=STORAGE_OFF'";
  auto wrong = pvn::testing::RunCommand(base + "-H 'PVN_Token: 5073194' " + url);
  EXPECT_EQ(wrong.out, "404 text/html 0");
  EXPECT_EQ(ReadSwitch(kPortGateKeyPath, u"Stor Enable"), 1);
  auto right = pvn::testing::RunCommand(base + "-H 'PVN_Token: 50731942' " + url);
  EXPECT_EQ(right.out, "200 text/html 0");
  EXPECT_EQ(ReadSwitch(kAppKeyPath, u"Stor Enable"), 0);
  EXPECT_EQ(ReadSwitch(kPortGateKeyPath, u"Stor Enable"), 0);
}

TEST_F(ListenerTest, EmptyTokenAdmitsRequestsWithoutOne) {
  listener_.SetAccessToken(u"");
  SetSwitches(7);
  EXPECT_EQ(Request("GET", "/PVN_SERVICE?PVN_CMD=KBM_ON", ""), 200);
  EXPECT_EQ(Request("GET", "/PVN_SERVICE?PVN_CMD=STORAGE_ON", "PVN_Token:\r\n"), 200);
  EXPECT_EQ(Request("GET", "/PVN_SERVICE?PVN_CMD=STORAGE_OFF", "PVN_Token: x\r\n"), 404);
  EXPECT_EQ(ReadSwitch(kAppKeyPath, u"KeybMous Enable"), 1);
  EXPECT_EQ(ReadSwitch(kAppKeyPath, u"Stor Enable"), 1);
}

TEST_F(ListenerTest, RebootWithoutARunningMachineIsStillAnswered) {
  // The restart itself is shown with a running machine (agent_service_test);
  // here no machine runs, the request fails inside, and the caller gets 200.
  EXPECT_EQ(Request("GET", "/PVN_SERVICE?PVN_CMD=SYS_REBOOT", "PVN_Token: 50731942\r\n"), 200);
}

TEST_F(ListenerTest, OversizedHeadIsDroppedAndTheNextRequestServed) {
  SetSwitches(1);
  RawClient big(port_);
  big.Send(
      "GET /PVN_SERVICE?PVN_CMD=STORAGE_OFF HTTP/1.1\r\nHost: h\r\nPVN_Token: 50731942\r\n"
      "X-Fill: " +
      std::string(16384, 'f') + "\r\n\r\n");
  EXPECT_EQ(big.ReadAll().rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u);
  EXPECT_EQ(ReadSwitch(kAppKeyPath, u"Stor Enable"), 1);
  EXPECT_EQ(Request("GET", "/PVN_SERVICE?PVN_CMD=STORAGE_OFF", "PVN_Token: 50731942\r\n"), 200);
  EXPECT_EQ(ReadSwitch(kAppKeyPath, u"Stor Enable"), 0);
}

TEST_F(ListenerTest, StartFailsOnATakenOrInvalidPortAndStopIsSafe) {
  CHttpService second;
  EXPECT_FALSE(second.Start(port_, &listener_));
  EXPECT_EQ(second.state(), CHttpService::kIdle);
  second.Stop();  // never started: nothing happens
  CHttpService invalid;
  EXPECT_FALSE(invalid.Start(70000, &listener_));
  EXPECT_EQ(invalid.state(), CHttpService::kIdle);

  // Stop while the receive thread waits: the thread ends with it.
  service_.Stop();
  EXPECT_EQ(service_.state(), CHttpService::kIdle);
  CHttpService again;
  EXPECT_TRUE(again.Start(port_, &listener_));  // the port is free once more
  again.Stop();
}

}  // namespace
}  // namespace pvn::courier

// The C interface's refusals: every kind of bad input gets its own result code
// and a log line, and the SDK is left as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/sdk_fixture.h"
#include "tolba/tolba.h"

namespace tolba {
namespace {

struct CInterfaceTest : testing::SdkTest {
  tolba_sdk* sdk = nullptr;
  void SetUp() override {
    SdkTest::SetUp();
    ASSERT_EQ(tolba_sdk_create(&sdk), TOLBA_OK);
  }
  void TearDown() override {
    tolba_sdk_destroy(sdk);
    SdkTest::TearDown();
  }
};

const char kBadUtf8[] = "{\"gameid\":\"\xc3\x28\"}";

struct Case {
  const char* what;
  std::function<int32_t(tolba_sdk*)> call;
  int32_t expected;
};

TEST_F(CInterfaceTest, BadInputGetsAClearResultAndALogLine) {
  char buffer[2];  // "{}" needs three bytes
  size_t length = 0;
  uint8_t pixels[16];
  const std::vector<Case> cases = {
      {"null handle", [](tolba_sdk*) { return tolba_sdk_login(nullptr); }, TOLBA_ERR_NULL_ARGUMENT},
      {"null handle tick", [](tolba_sdk*) { return tolba_sdk_tick(nullptr, nullptr); }, TOLBA_ERR_NULL_ARGUMENT},
      {"null handle touch", [](tolba_sdk*) { return tolba_host_touch(nullptr, 1, 0, 1, 1, nullptr); },
       TOLBA_ERR_NULL_ARGUMENT},
      {"null out handle", [](tolba_sdk*) { return tolba_sdk_create(nullptr); }, TOLBA_ERR_NULL_ARGUMENT},
      {"null config", [](tolba_sdk* s) { return tolba_sdk_init(s, nullptr); }, TOLBA_ERR_NULL_ARGUMENT},
      {"null text", [](tolba_sdk* s) { return tolba_host_text_input(s, nullptr, nullptr); }, TOLBA_ERR_NULL_ARGUMENT},
      {"null screen", [](tolba_sdk* s) { return tolba_host_set_screen(s, nullptr); }, TOLBA_ERR_NULL_ARGUMENT},
      {"invalid UTF-8 config", [](tolba_sdk* s) { return tolba_sdk_init(s, kBadUtf8); }, TOLBA_ERR_INVALID_UTF8},
      {"invalid UTF-8 text", [](tolba_sdk* s) { return tolba_host_text_input(s, "\xff\xfe", nullptr); },
       TOLBA_ERR_INVALID_UTF8},
      {"invalid UTF-8 url", [](tolba_sdk* s) { return tolba_sdk_open_url(s, "a\x80", nullptr, nullptr, nullptr); },
       TOLBA_ERR_INVALID_UTF8},
      {"JSON array", [](tolba_sdk* s) { return tolba_sdk_init(s, "[1,2]"); }, TOLBA_ERR_INVALID_JSON},
      {"not JSON", [](tolba_sdk* s) { return tolba_sdk_update_role(s, "{serverId:", 0); }, TOLBA_ERR_INVALID_JSON},
      {"JSON string", [](tolba_sdk* s) { return tolba_sdk_pay(s, "\"order\"", "{}"); }, TOLBA_ERR_INVALID_JSON},
      {"role not an object", [](tolba_sdk* s) { return tolba_sdk_pay(s, "{}", "null"); }, TOLBA_ERR_INVALID_JSON},
      {"unknown record key", [](tolba_sdk* s) { return tolba_sdk_update_role(s, "{\"level\":\"3\"}", 0); },
       TOLBA_ERR_INVALID_ARGUMENT},
      {"string where a number goes", [](tolba_sdk* s) { return tolba_sdk_pay(s, "{\"amount\":\"6\"}", "{}"); },
       TOLBA_ERR_INVALID_ARGUMENT},
      {"negative count", [](tolba_sdk* s) { return tolba_sdk_pay(s, "{\"count\":-1}", "{}"); },
       TOLBA_ERR_INVALID_ARGUMENT},
      {"number where a string goes", [](tolba_sdk* s) { return tolba_sdk_init(s, "{\"gameid\":1001}"); },
       TOLBA_ERR_INVALID_ARGUMENT},
      {"unknown event", [](tolba_sdk* s) { return tolba_sdk_application_event(s, 99, nullptr); },
       TOLBA_ERR_INVALID_ARGUMENT},
      {"unknown touch phase", [](tolba_sdk* s) { return tolba_host_touch(s, 1, 7, 1, 1, nullptr); },
       TOLBA_ERR_INVALID_ARGUMENT},
      {"NaN coordinate", [](tolba_sdk* s) { return tolba_host_touch(s, 1, 0, std::nan(""), 1, nullptr); },
       TOLBA_ERR_INVALID_ARGUMENT},
      {"unknown key", [](tolba_sdk* s) { return tolba_host_key(s, 42, nullptr); }, TOLBA_ERR_INVALID_ARGUMENT},
      {"zero screen",
       [](tolba_sdk* s) {
         tolba_screen sc{0, 0, 2, 0, 0, 0, 0, 1};
         return tolba_host_set_screen(s, &sc);
       },
       TOLBA_ERR_INVALID_ARGUMENT},
      {"short stride", [&](tolba_sdk* s) { return tolba_host_draw(s, pixels, 2, 2, 4); }, TOLBA_ERR_INVALID_ARGUMENT},
      {"no renderer linked", [&](tolba_sdk* s) { return tolba_host_draw(s, pixels, 2, 2, 8); }, TOLBA_ERR_NO_RENDERER},
      {"small buffer", [&](tolba_sdk* s) { return tolba_sdk_session(s, buffer, sizeof buffer, &length); },
       TOLBA_ERR_BUFFER_TOO_SMALL},
  };
  for (const auto& c : cases) {
    log_->clear();
    EXPECT_EQ(c.call(sdk), c.expected) << c.what;
    if (c.expected != TOLBA_ERR_BUFFER_TOO_SMALL) {
      EXPECT_TRUE(log_->contains(tolba_result_name(c.expected))) << c.what;
    }
  }
  EXPECT_EQ(length, 2u);  // "{}": nobody signed in
  // Nothing of the above initialised the SDK or opened a panel.
  EXPECT_EQ(tolba_sdk_login(sdk), TOLBA_ERR_NOT_INITIALISED);
}

TEST_F(CInterfaceTest, AnotherThreadIsRefusedAndTheTextNeverLogged) {
  std::vector<int32_t> results;
  std::thread([&] {
    results.push_back(tolba_sdk_tick(sdk, nullptr));
    results.push_back(tolba_host_text_input(sdk, "hunter2", nullptr));
    results.push_back(tolba_sdk_destroy(sdk));
  }).join();
  EXPECT_EQ(results, std::vector<int32_t>(3, TOLBA_ERR_WRONG_THREAD));
  EXPECT_FALSE(log_->contains("hunter2"));
  EXPECT_EQ(tolba_sdk_tick(sdk, nullptr), TOLBA_OK);  // still usable on its own thread
}

TEST_F(CInterfaceTest, NotificationsArriveAsNameAndJsonDuringTick) {
  std::vector<std::string> heard;
  tolba_sdk_set_notification_callback(
      sdk,
      [](const char* name, const char* payload, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(std::string(name) + " " + payload);
      },
      &heard);
  EXPECT_EQ(tolba_sdk_init(sdk, "{}"), TOLBA_ERR_INIT_REFUSED);
  EXPECT_TRUE(heard.empty());  // never inside the call
  drain();
  EXPECT_EQ(heard, std::vector<std::string>{"kTolbaSDKNotiInitDidFinished {\"error\":-10}"});

  // A second handle hears the same; a destroyed one hears nothing more.
  int otherHeard = 0;
  tolba_sdk* other = nullptr;
  ASSERT_EQ(tolba_sdk_create(&other), TOLBA_OK);
  tolba_sdk_set_notification_callback(
      other, [](const char*, const char*, void* user) { ++*static_cast<int*>(user); }, &otherHeard);
  EXPECT_EQ(tolba_sdk_init(sdk, "{\"gameid\":\"\"}"), TOLBA_ERR_INIT_REFUSED);
  drain();
  tolba_sdk_destroy(other);
  EXPECT_EQ(tolba_sdk_init(sdk, "{\"gameid\":\"\"}"), TOLBA_ERR_INIT_REFUSED);
  drain();
  EXPECT_EQ(heard.size(), 3u);
  EXPECT_EQ(otherHeard, 1);
}

}  // namespace
}  // namespace tolba

// Credentials in log lines: masked values, kept keys, whatever the nesting.

#include <gtest/gtest.h>

#include "net/TolbaApi.h"
#include "net/TolbaDataFunc.h"
#include "net/log_masking.h"
#include "support/loopback_fixture.h"

namespace tolba {
namespace {

using Json = nlohmann::json;

constexpr char kSign[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

TEST(LogMaskingTest, MasksCredentialValuesAndKeepsKeys) {
  const Json loginReply = {{"z", 1}, {"b", "100001"}, {"e", "1700000000"}, {"d", kSign}, {"nrz", 0}};
  const struct {
    const char* what;
    Json masked;
    Json expected;
  } cases[] = {
      {"login request",
       maskedRequest("sdkmini/login/dologin", {{"z", "alice"}, {"b", "hunter2"}, {"d", "1001"}}),
       {{"z", "alice"}, {"b", "***"}, {"d", "1001"}}},
      {"login reply",
       maskedReply("sdkmini/login/dologin", loginReply),
       {{"z", 1}, {"b", "100001"}, {"e", "1700000000"}, {"d", "9f86***"}, {"nrz", 0}}},
      {"register reply keeps its message",
       maskedReply("sdkmini/login/register", {{"z", 0}, {"d", "账号已存在"}}),
       {{"z", 0}, {"d", "账号已存在"}}},
      {"real-name request",
       maskedRequest("sdkmini/login/idcheck", {{"i", "1"}, {"id", "11010519491231002X"}, {"r", "张三"}}),
       {{"i", "1"}, {"id", "1101***"}, {"r", "***"}}},
      {"sign-in reply",
       maskedReply("sdkstandard/login/index", {{"a", 1}, {"c", {{"username", "tb1"}, {"token", "0123456789abcdef"}}}}),
       {{"a", 1}, {"c", {{"username", "tb1"}, {"token", "0123***"}}}}},
      {"login panel result",
       maskedDictionary({{"code", "0"}, {"sign", kSign}, {"rzdic", loginReply}}),
       {{"code", "0"},
        {"sign", "9f86***"},
        {"rzdic", {{"z", 1}, {"b", "100001"}, {"e", "1700000000"}, {"d", "9f86***"}, {"nrz", 0}}}}},
      {"number id card", maskedDictionary({{"idcard", 110105194912310021}}), {{"idcard", "1101***"}}},
      {"short secret shows nothing", maskedDictionary({{"token", "abc"}}), {{"token", "***"}}},
      {"other keys untouched",
       maskedReply("sdkmini/pay/getPayWay", {{"code", 1}, {"ttb", 12.5}, {"d", "x"}}),
       {{"code", 1}, {"ttb", 12.5}, {"d", "x"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.masked, c.expected) << c.what;
  EXPECT_EQ(maskSecret("欧阳娜娜", 4), "欧***");  // whole characters, at most a quarter
}

TEST(LogMaskingTest, MasksTheSignInsideTheSignInsExtras) {
  // What the facade hands the sign-in: the login result, flattened to strings.
  const Json result = {{"code", "0"}, {"name", "100001"}, {"sign", kSign}, {"rzdic", {{"z", 1}, {"d", kSign}}}};
  const Json request = {{"username", "100001"}, {"extrasparams", *TolbaDataFunc::dicToJson(result)}};
  const std::string line = maskedRequest("sdkstandard/login/index", request).dump();
  EXPECT_EQ(line.find("d081884c"), std::string::npos) << line;
  EXPECT_NE(line.find("extrasparams"), std::string::npos);
  EXPECT_NE(line.find("100001"), std::string::npos);
}

class SdkLogLinesTest : public testing::LoopbackTest {};

TEST_F(SdkLogLinesTest, TheSignInsParameterLineCarriesNoSign) {
  const Json ext = {{"code", "0"}, {"name", "u1"}, {"sign", kSign}, {"rzdic", {{"z", 1}, {"d", kSign}}}};
  TolbaApi::gameLogin("u1", ext, [](const std::optional<Json>&, const Json&) {});
  ASSERT_TRUE(log_->contains("参数 = {"));
  for (const auto& line : log_->lines()) EXPECT_EQ(line.find("d081884c"), std::string::npos) << line;
  ASSERT_TRUE(waitForTransportIdle());
}

}  // namespace
}  // namespace tolba

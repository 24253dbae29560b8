// The simulator's command line and its script files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "journey.h"
#include "options.h"

namespace {

using tolba::sim::Step;
using tolba::sim::Target;

TEST(SimScriptTest, EachLineBecomesOneStep) {
  std::string error;
  const auto steps = tolba::sim::parseScript(
      "# a comment line\n"
      "tap scene login\n"
      "tap field 请输入账号   # trailing comment\n"
      "tap button 没有账号？去注册\n"
      "tap switch\n"
      "tap sheet pay\n"
      "tap point 10 20.5\n"
      "drag 1 2 3 4\n"
      "type 张三 and more\n"
      "key escape\n"
      "wait button 登录\n"
      "gone field 请输入姓名\n"
      "notification kTolbaSDKNotiLogin -3\n"
      "reply sdkmini/login/dologin\n"
      "pause 0.5\n"
      "screenshot after-login\n"
      "\n",
      &error);
  ASSERT_TRUE(steps) << error;
  ASSERT_EQ(steps->size(), 15u);
  const auto& s = *steps;
  EXPECT_EQ(s[0].target.kind, Target::Kind::Scene);
  EXPECT_EQ(s[0].target.text, "login");
  EXPECT_EQ(s[1].target.kind, Target::Kind::Element);
  EXPECT_EQ(s[1].target.elementKind, "field");
  EXPECT_EQ(s[1].target.text, "请输入账号");
  EXPECT_EQ(s[2].target.text, "没有账号？去注册");
  EXPECT_EQ(s[3].target.elementKind, "switch");
  EXPECT_EQ(s[3].target.text, "");
  EXPECT_EQ(s[4].target.kind, Target::Kind::Sheet);
  EXPECT_EQ(s[5].target.kind, Target::Kind::Point);
  EXPECT_DOUBLE_EQ(s[5].target.point.y, 20.5);
  EXPECT_EQ(s[6].type, Step::Type::Drag);
  EXPECT_DOUBLE_EQ(s[6].to.x, 3);
  EXPECT_EQ(s[7].text, "张三 and more");
  EXPECT_EQ(s[8].type, Step::Type::Key);
  EXPECT_EQ(s[9].type, Step::Type::WaitElement);
  EXPECT_EQ(s[10].type, Step::Type::WaitGone);
  EXPECT_EQ(s[11].text, "kTolbaSDKNotiLogin");
  EXPECT_EQ(s[11].error, -3);
  EXPECT_EQ(s[12].type, Step::Type::WaitReply);
  EXPECT_DOUBLE_EQ(s[13].seconds, 0.5);
  EXPECT_EQ(s[14].text, "after-login");
}

TEST(SimScriptTest, AWrongLineIsRefusedWithItsNumber) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"tap\n", "line 1: \"tap\" wants a target"},
      {"\n\njump 3\n", "line 3: unknown step \"jump\""},
      {"drag 1 2 3\n", "line 1: \"drag\" wants X Y X2 Y2"},
      {"tap point 4\n", "line 1: \"tap\" wants a target"},
      {"screenshot ../escape\n", "line 1: \"screenshot\" wants a plain name"},
      {"key\n", "line 1: \"key\" wants a key name"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(tolba::sim::parseScript(c.text, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST(SimScriptTest, CommandLine) {
  auto parse = [](std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>("tolba-sim")};
    for (auto& a : args) argv.push_back(a.data());
    return tolba::sim::parseOptions(static_cast<int>(argv.size()), argv.data());
  };
  const auto options = parse({"--device", "notch", "--fast", "--base-url", "http://h:1//", "--zoom", "0.5"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->device, "notch");
  EXPECT_EQ(options->speed, 8);
  EXPECT_EQ(options->baseUrl, "http://h:1");
  EXPECT_EQ(options->zoom, 0.5);
  EXPECT_FALSE(parse({"--device", "tablet"}));
  EXPECT_FALSE(parse({"--zoom", "-1"}));
  EXPECT_FALSE(parse({"--speed"}));
  EXPECT_FALSE(parse({"--autoplay", "--script", "x"}));
}

}  // namespace

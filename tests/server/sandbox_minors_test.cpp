// The minors' rules: the table itself, and the sandbox holding minors to it on
// its own clock.

#include "minor_rules.h"
#include "sandbox_fixture.h"
#include "server_clock.h"

namespace tolba::sandbox::testing {
namespace {

std::int64_t at(const char* moment) { return *parseMoment(moment); }

// A valid identity card number of someone born on `yyyymmdd`.
std::string idCardBornOn(const std::string& yyyymmdd) {
  const std::string first17 = "110101" + yyyymmdd + "123";
  return first17 + idCardCheckCharacter(first17);
}

TEST(MinorRulesTest, SpendingCapsByAgePerPaymentAndPerMonth) {
  const auto& rules = minorRules();
  const struct {
    int age;
    Cents amount;
    Cents paidThisMonth;
    bool allowed;
  } cases[] = {
      {7, 100, 0, false},       {12, 5000, 0, true},       {12, 5001, 0, false},       {12, 3000, 17000, true},
      {12, 3001, 17000, false}, {15, 5000, 15000, true},   {16, 10000, 0, true},       {16, 10001, 0, false},
      {17, 10000, 30000, true}, {17, 10000, 30001, false}, {18, 64800, 1000000, true},
  };
  for (const auto& c : cases) {
    const auto verdict = spendVerdict(rules, c.age, c.amount, c.paidThisMonth);
    EXPECT_EQ(verdict.allowed, c.allowed) << c.age << " " << c.amount << " " << c.paidThisMonth;
    EXPECT_EQ(verdict.message.empty(), c.allowed);
  }
  EXPECT_EQ(spendVerdict(rules, 12, 6000, 0).message, "根据国家规定，未成年人单次充值不得超过50元");
  EXPECT_NE(spendVerdict(rules, 17, 10000, 30001).message.find("400元"), std::string::npos);

  // The month is China's calendar month.
  const auto m = chinaMoment(at("2026-12-31T23:59:59+08:00"));
  EXPECT_EQ(m.monthStart, at("2026-12-01T00:00:00+08:00"));
  EXPECT_EQ(m.monthEnd, at("2027-01-01T00:00:00+08:00"));
  EXPECT_EQ(chinaMoment(at("2027-01-01T00:00:00+08:00")).monthStart, m.monthEnd);
}

TEST(MinorRulesTest, PlayOnlyInTheEveningWindowOfWeekendsAndHolidays) {
  const auto& rules = minorRules();
  const struct {
    const char* moment;
    bool holiday;
    bool allowed;
    std::int64_t left;
  } cases[] = {
      {"2026-12-11T19:59:59+08:00", false, false, 0},  // a Friday
      {"2026-12-11T20:00:00+08:00", false, true, 3600}, {"2026-12-11T20:59:59+08:00", false, true, 1},
      {"2026-12-11T21:00:00+08:00", false, false, 0},   {"2026-12-11T12:00:00Z", false, true, 3600},  // 20:00 in China
      {"2026-12-08T20:30:00+08:00", false, false, 0},                                                 // a Tuesday
      {"2026-10-01T20:30:00+08:00", true, true, 1800},  // a Thursday, but a holiday
      {"2026-10-01T21:00:00+08:00", true, false, 0},
  };
  for (const auto& c : cases) {
    const auto verdict = playVerdict(rules, 12, at(c.moment), c.holiday);
    EXPECT_EQ(verdict.allowed, c.allowed) << c.moment;
    EXPECT_EQ(verdict.secondsLeft.value_or(-1), c.left) << c.moment;
  }
  EXPECT_TRUE(playVerdict(rules, 18, at("2026-12-08T03:00:00+08:00"), false).allowed);
  EXPECT_FALSE(playVerdict(rules, 18, at("2026-12-08T03:00:00+08:00"), false).secondsLeft);
  EXPECT_EQ(playTimeMessage(rules), "根据国家规定，未成年人仅可在周五、周六、周日和法定节假日20时至21时进行游戏");
}

class SandboxMinorsTest : public SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    options_.allowUnverified = false;
    options_.clockStart = at("2026-12-11T20:58:50+08:00");  // 70 s before a Friday's window ends
    startServer();
  }

  // Registers and verifies a player born on `birth`, then signs in.
  Json signIn(const std::string& name, const std::string& birth, ChannelLogin* l) {
    registerAccount(name);
    *l = login(name);
    if (!birth.empty()) {
      EXPECT_EQ(call("sdkmini/login/idcheck", idCheckRequest(l->uid, "小明", idCardBornOn(birth))).value("z", 0), 1);
    }
    return signInReply(l->uid, extrasOf(*l));
  }
};

TEST_F(SandboxMinorsTest, AMinorPlaysInsideTheWindowWithinTheCapsAndIsClosedAtItsEnd) {
  ChannelLogin l;
  const Json reply = signIn("xiaoming", "20140601", &l);
  ASSERT_EQ(reply.value("a", 0), 1) << reply.dump();
  EXPECT_EQ(reply["c"].value("age", 0), 12);
  EXPECT_EQ(reply["c"].value("playleft", 0), 70);
  EXPECT_EQ(reply["c"].value("servertime", std::int64_t{0}), server_->clock().nowSeconds());
  const std::string user = reply["c"].value("username", "");

  const Json dear = call("sdkstandard/pay/index", orderRequest(user, "cp-60", "60"));
  EXPECT_EQ(dear, (Json{{"a", 0}, {"b", "根据国家规定，未成年人单次充值不得超过50元"}, {"limit", "spending"}}));
  const std::string cheap = submitOrder(user, "cp-30", "30");
  ASSERT_EQ(call("sdkmini/ttbpay/ttbnew", payRequest(l.uid, cheap, "30")).value("z", 0), 1);
  EXPECT_EQ(balance(l.uid).value("playleft", 0), 70);

  server_->clock().advance(71);
  EXPECT_EQ(balance(l.uid), (Json{{"code", 0}, {"msg", "今日游戏时间已结束"}}));
  // The session is gone: the window's end logged the player out.
  EXPECT_FALSE(server_->store().accountInSession(std::stoll(l.uid), "1001", "", server_->clock().nowSeconds()));
}

TEST_F(SandboxMinorsTest, SignInIsRefusedOutsideTheWindowUnderEightForPaymentsAndWithoutARealName) {
  server_->clock().advance(3600 * 24 * 4);  // Tuesday evening
  ChannelLogin l;
  const Json refused = signIn("xiaohong", "20140601", &l);
  EXPECT_EQ(refused.value("a", 1), 0);
  EXPECT_EQ(refused.value("b", ""), "根据国家规定，未成年人仅可在周五、周六、周日和法定节假日20时至21时进行游戏");
  EXPECT_EQ(refused.value("limit", ""), "playtime");

  ASSERT_TRUE(server_->store().addHoliday("2026-12-15", "测试节"));  // that Tuesday becomes a holiday
  const Json holiday = signInReply(l.uid, extrasOf(l));
  ASSERT_EQ(holiday.value("a", 0), 1) << holiday.dump();
  const Json seven = signIn("xiaohu", "20190601", &l);
  ASSERT_EQ(seven.value("a", 0), 1);
  EXPECT_EQ(call("sdkstandard/pay/index", orderRequest(seven["c"].value("username", ""), "cp-1", "1")).value("b", ""),
            "根据国家规定，未满8周岁的用户不能充值");

  EXPECT_EQ(signIn("nobody", "", &l).value("b", ""), "根据国家规定，游戏用户需完成实名认证后才能进入游戏");
  EXPECT_EQ(signIn("grownup", "19900101", &l).value("a", 0), 1);
}

}  // namespace
}  // namespace tolba::sandbox::testing

// The sandbox's small rules without HTTP: identity card numbers, amounts,
// password hashes, Referer matching and the WeChat address.

#include <gtest/gtest.h>

#include "crypto.h"
#include "id_card.h"
#include "reply_encoder.h"
#include "net/TolbaDataFunc.h"
#include "sandbox_api.h"
#include "sandbox_store.h"
#include "web_pages.h"

namespace tolba::sandbox {
namespace {

TEST(SandboxRulesTest, IdentityCardsNeedTheCheckCharacterAndARealPastBirthDate) {
  const BirthDate today{2026, 12, 6};
  std::string why;
  const auto birth = parseIdCard("11010519491231002X", today, &why);
  ASSERT_TRUE(birth.has_value()) << why;
  EXPECT_EQ(birth->year, 1949);
  EXPECT_EQ(birth->month, 12);
  EXPECT_EQ(birth->day, 31);
  EXPECT_TRUE(parseIdCard("11010519491231002x", today).has_value());

  EXPECT_FALSE(parseIdCard("110105194912310021", today, &why));  // wrong check character
  EXPECT_EQ(why, "身份证号校验位不正确");
  EXPECT_FALSE(parseIdCard("11010519491231002", today, &why));  // 17 characters
  EXPECT_FALSE(parseIdCard("1101051949123100XX", today, &why));
  EXPECT_FALSE(parseIdCard("", today, &why));
  auto withDate = [](const std::string& date) {
    const std::string first17 = "110105" + date + "002";
    return first17 + idCardCheckCharacter(first17);
  };
  EXPECT_TRUE(parseIdCard(withDate("20000229"), today));   // a leap day
  EXPECT_FALSE(parseIdCard(withDate("19000229"), today));  // 1900 was no leap year
  EXPECT_FALSE(parseIdCard(withDate("20011301"), today));
  EXPECT_FALSE(parseIdCard(withDate("20261207"), today));  // tomorrow
  EXPECT_TRUE(parseIdCard(withDate("20261206"), today));

  EXPECT_EQ(ageOn({2008, 12, 6}, today), 18);
  EXPECT_EQ(ageOn({2008, 12, 7}, today), 17);
  EXPECT_EQ(maskIdCard("11010519491231002X"), "110105********002X");
}

TEST(SandboxRulesTest, AmountsAreWholeFen) {
  EXPECT_EQ(parseAmountText("6"), 600);
  EXPECT_EQ(parseAmountText("0.01"), 1);
  EXPECT_EQ(parseAmountText("12.5"), 1250);
  EXPECT_EQ(parseAmountText("12.340"), 1234);
  for (const char* bad : {"0", "0.00", "-1", "1.234", "1.", ".5", "1e3", " 6", "6 ", "", "abc", "99999999999"}) {
    EXPECT_FALSE(parseAmountText(bad).has_value()) << bad;
  }
  // The client writes a 32-bit float as a JSON number: 0.01f is 0.0099999998.
  EXPECT_EQ(amountOfNumber(static_cast<double>(0.01f)), 1);
  EXPECT_EQ(amountOfNumber(6), 600);
  EXPECT_FALSE(amountOfNumber(0).has_value());
  EXPECT_FALSE(amountOfNumber(-1).has_value());
  EXPECT_FALSE(amountOfNumber(1e300).has_value());
  EXPECT_EQ(centsText(1250), "12.5");
  EXPECT_EQ(centsText(1), "0.01");
  EXPECT_EQ(centsText(600), "6");
  EXPECT_EQ(centsNumber(600), nlohmann::json(6));
  EXPECT_EQ(centsNumber(1250), nlohmann::json(12.5));
}

TEST(SandboxRulesTest, PasswordHashesVerifyOnlyTheirPassword) {
  const std::string stored = hashPassword("秘密 pass", 1000);
  EXPECT_TRUE(verifyPassword("秘密 pass", stored));
  EXPECT_FALSE(verifyPassword("秘密 pas", stored));
  EXPECT_FALSE(verifyPassword("", stored));
  for (const std::string& bad : {std::string(), std::string("pbkdf2-sha256$1000$zz$00"),
                                std::string("md5$1$00$00"), std::string("pbkdf2-sha256$0$00$00"),
                                stored.substr(0, stored.size() - 1)}) {
    EXPECT_FALSE(verifyPassword("秘密 pass", bad)) << bad;
  }
  EXPECT_EQ(hmacSha256Hex("key", "The quick brown fox jumps over the lazy dog"),
            "f7bc83f430538424b13298e6aa6fb143ef4d59a14946175997479dbc2d1a3cd8");
}

TEST(SandboxRulesTest, RefererMustComeFromTheOrigin) {
  EXPECT_TRUE(refererMatches("https://api.tolba.example", "https://api.tolba.example"));
  EXPECT_TRUE(refererMatches("https://api.tolba.example/pay?x=1", "https://api.tolba.example/"));
  EXPECT_FALSE(refererMatches("https://api.tolba.example.evil", "https://api.tolba.example"));
  EXPECT_FALSE(refererMatches("http://api.tolba.example", "https://api.tolba.example"));
  EXPECT_FALSE(refererMatches("", "https://api.tolba.example"));
  EXPECT_FALSE(refererMatches("anything", ""));
}

TEST(SandboxRulesTest, WeChatAddressesCarryTheTicketAndTheOrder) {
  const std::string address = weChatAddress("00ff", "TB123");
  EXPECT_EQ(address.rfind("weixin://", 0), 0u);
  EXPECT_NE(address.find("TB123"), std::string::npos);
  EXPECT_EQ(ticketOfWeChatAddress(address), "00ff");
  EXPECT_FALSE(ticketOfWeChatAddress("weixin://wap/pay?prepayid=<script>"));
  EXPECT_FALSE(ticketOfWeChatAddress("http://x/?prepayid=00ff"));
  EXPECT_EQ(htmlEscape("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
}

TEST(SandboxRulesTest, RepliesHaveNoLineBreaksWhateverTheirLength) {
  nlohmann::json reply = {{"z", 1}, {"c", std::string(500, 'm')}, {"msg", "成功/完成"}};
  const auto body = encodeReply(reply, TolbaDataFunc::defaultKey());
  ASSERT_TRUE(body.has_value());
  EXPECT_EQ(TolbaDataFunc::decodingJSON(*body), reply);
  // The broken form is for faults only, and only the lenient reader takes it.
  const auto broken = encodeReplyWithLineBreaks({{"z", 1}}, TolbaDataFunc::defaultKey());
  ASSERT_TRUE(broken.has_value());
  EXPECT_FALSE(TolbaDataFunc::decodingJSON(*broken).has_value());
  EXPECT_EQ((*TolbaDataFunc::decodingJSONLenient(*broken))["z"], 1);
  // Short replies match the request writer byte for byte.
  EXPECT_EQ(encodeReply({{"a", "b"}}, TolbaDataFunc::defaultKey()), TolbaDataFunc::codingJSON({{"a", "b"}}));
}

}  // namespace
}  // namespace tolba::sandbox

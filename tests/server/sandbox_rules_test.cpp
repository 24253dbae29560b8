// The sandbox's small rules without HTTP: amounts, identity card dates and
// stored password hashes.

#include <gtest/gtest.h>

#include "crypto.h"
#include "id_card.h"
#include "sandbox_store.h"

namespace tolba::sandbox {
namespace {

TEST(SandboxRulesTest, AmountsAreWholeFen) {
  EXPECT_EQ(parseAmountText("0.01"), 1);
  EXPECT_EQ(parseAmountText("12.340"), 1234);
  for (const char* bad : {"0", "-1", "1.234", ".5", "1e3", " 6", "", "99999999999"}) {
    EXPECT_FALSE(parseAmountText(bad).has_value()) << bad;
  }
  // The client writes a 32-bit float as a JSON number: 0.01f is 0.0099999998.
  EXPECT_EQ(amountOfNumber(static_cast<double>(0.01f)), 1);
  EXPECT_FALSE(amountOfNumber(0).has_value());
  EXPECT_FALSE(amountOfNumber(1e300).has_value());
}

TEST(SandboxRulesTest, IdentityCardsNeedARealPastBirthDate) {
  const BirthDate today{2026, 12, 6};
  auto withDate = [](const std::string& date) {
    const std::string first17 = "110105" + date + "002";
    return first17 + idCardCheckCharacter(first17);
  };
  EXPECT_TRUE(parseIdCard(withDate("20000229"), today));   // a leap day
  EXPECT_FALSE(parseIdCard(withDate("19000229"), today));  // 1900 was no leap year
  EXPECT_FALSE(parseIdCard(withDate("20011301"), today));
  EXPECT_TRUE(parseIdCard(withDate("20261206"), today));
  EXPECT_FALSE(parseIdCard(withDate("20261207"), today));  // tomorrow
  EXPECT_EQ(ageOn({2008, 12, 6}, today), 18);
  EXPECT_EQ(ageOn({2008, 12, 7}, today), 17);
}

TEST(SandboxRulesTest, MalformedStoredHashesVerifyNothing) {
  const std::string stored = hashPassword("秘密 pass", 1000);
  EXPECT_TRUE(verifyPassword("秘密 pass", stored));
  EXPECT_FALSE(verifyPassword("秘密 pas", stored));
  for (const std::string& bad : {std::string(), std::string("pbkdf2-sha256$1000$zz$00"), std::string("md5$1$00$00"),
                                std::string("pbkdf2-sha256$0$00$00"), stored.substr(0, stored.size() - 1)}) {
    EXPECT_FALSE(verifyPassword("秘密 pass", bad)) << bad;
  }
}

}  // namespace
}  // namespace tolba::sandbox

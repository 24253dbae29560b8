// The sandbox's small rules without HTTP: amounts, account names, admin access,
// identity card dates and stored password hashes.

#include <gtest/gtest.h>

#include "account_name.h"
#include "admin_access.h"
#include "amount.h"
#include "crypto.h"
#include "id_card.h"
#include "request_log.h"
#include "sandbox_store.h"

namespace tolba::sandbox {
namespace {

using Json = nlohmann::json;

TEST(SandboxRulesTest, AmountsAreExactToTheFenAsTextOrNumber) {
  using E = AmountError;
  const struct {
    Json value;
    std::optional<Cents> cents;
    AmountError error;
  } cases[] = {
      {"6", 600, E::None},
      {6, 600, E::None},
      {"0.01", 1, E::None},
      {0.01, 1, E::None},  // what the SDK writes for a 32-bit float 0.01
      {"12.340", 1234, E::None},
      {"1e+08", kMaxAmount, E::None},  // %0.7g of a float 100000000
      {"100000000.00", kMaxAmount, E::None},
      {100000000, kMaxAmount, E::None},
      {"0.005", std::nullopt, E::FinerThanFen},
      {0.005, std::nullopt, E::FinerThanFen},  // once rounded to 1 fen
      {"1.234", std::nullopt, E::FinerThanFen},
      {"5e-3", std::nullopt, E::FinerThanFen},
      {"100000000.01", std::nullopt, E::AboveCap},  // once let through
      {100000000.01, std::nullopt, E::AboveCap},
      {"1e400", std::nullopt, E::AboveCap},
      {"99999999999", std::nullopt, E::AboveCap},
      {"0", std::nullopt, E::NotPositive},
      {"0.00", std::nullopt, E::NotPositive},
      {-1, std::nullopt, E::NotPositive},
      {"-1", std::nullopt, E::Malformed},
      {" 6", std::nullopt, E::Malformed},
      {".5", std::nullopt, E::Malformed},
      {"6.", std::nullopt, E::Malformed},
      {"0x10", std::nullopt, E::Malformed},
      {"", std::nullopt, E::Malformed},
      {true, std::nullopt, E::Malformed},
      {nullptr, std::nullopt, E::Missing},
  };
  for (const auto& c : cases) {
    const ParsedAmount parsed = parseAmount(&c.value);
    EXPECT_EQ(parsed.cents, c.cents) << c.value.dump();
    EXPECT_EQ(parsed.error, c.error) << c.value.dump();
  }
}

TEST(SandboxRulesTest, AccountNamesAreNfcAndRefuseHiddenCharacters) {
  // "é" composed and decomposed name the same account.
  EXPECT_EQ(normaliseAccountName("caf\u00e9"), normaliseAccountName("cafe\u0301"));
  EXPECT_EQ(normaliseAccountName("cafe\u0301"), std::optional<std::string>("caf\u00e9"));
  EXPECT_EQ(normaliseAccountName("玩家 one"), std::optional<std::string>("玩家 one"));
  EXPECT_EQ(normaliseAccountName(" \u3000alice\u00a0"), std::optional<std::string>("alice"));
  const struct {
    const char* name;
    const char* why;  // a part of the message
  } refused[] = {
      {"evil\u202Egnp.exe", "方向"},
      {"a\u2066b", "方向"},
      {"a\u200Fb", "方向"},
      {"ad\u200Bmin", "零宽"},
      {"\uFEFFadmin", "零宽"},
      {"a\u2060b", "零宽"},
      {"tab\tname", "控制"},
      {"line\u2028x", "控制"},
      {"a\x7f", "控制"},
      {"x\U000E0001", "零宽"},
      {"a\u0378b", "未分配"},
      {"a\xff", "编码"},
      {"   ", "为空"},
      {"", "为空"},
      {"\u3164\u3164", "填充"},
      {"alice\u3164", "填充"},
      {"alice\u115f", "填充"},
      {"alice\u2800", "填充"},
      {"alice\u034f", "填充"},
      {"alice\ufe0f", "填充"},
      {"\u3000", "为空"},
  };
  for (const auto& r : refused) {
    std::string why;
    EXPECT_FALSE(normaliseAccountName(r.name, &why).has_value()) << r.name;
    EXPECT_NE(why.find(r.why), std::string::npos) << r.name << ": " << why;
  }
  EXPECT_FALSE(normaliseAccountName(std::string(65, 'a')).has_value());
}

TEST(SandboxRulesTest, LogLinesWriteControlCharactersAsEscapes) {
  // ESC, CR, LF, DEL and the C1 CSI; other text, Chinese included, stays.
  EXPECT_EQ(escapeControls("玩家\x1b[2J\r\nx\x7f\xc2\x9b!\xff"), "玩家\\x1b[2J\\x0d\\x0ax\\x7f\\x9b!\\xff");
}

TEST(SandboxRulesTest, AdminEndpointsAnswerLoopbackOrTheToken) {
  const struct {
    const char* address;
    const char* authorization;
    const char* token;
    bool allowed;
  } cases[] = {
      {"127.0.0.1", "", "", true},
      {"::1", "", "", true},
      {"::ffff:127.0.0.1", "", "", true},
      {"10.0.0.2", "", "", false},
      {"10.0.0.2", "Bearer s3cret", "", false},  // no token given at start: loopback only
      {"10.0.0.2", "Bearer s3cret", "s3cret", true},
      {"10.0.0.2", "Bearer s3cre", "s3cret", false},
      {"10.0.0.2", "s3cret", "s3cret", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(adminAllowed(c.address, c.authorization, c.token), c.allowed) << c.address << " " << c.authorization;
  }
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

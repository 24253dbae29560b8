// Sessions bound to the signed-in device, secrets at rest and masked log lines.

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "sandbox_api.h"
#include "sandbox_fixture.h"

namespace tolba::sandbox::testing {
namespace {

class SandboxSecurityTest : public SandboxTest {
 protected:
  static std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static unsigned modeOf(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
  }
};

TEST_F(SandboxSecurityTest, AStolenPaymentIsRefusedAndTheVictimsBalanceStays) {
  options_.startingCoins = 100 * 100;
  startServer();
  ChannelLogin victim;
  const std::string victimName = signedInAccount("victim", &victim, "victim-phone");
  const std::string victimOrder = submitOrder(victimName, "cp-v", "6", "victim-phone");
  ChannelLogin thief;
  const std::string thiefName = signedInAccount("thief", &thief, "thief-phone");
  const std::string thiefOrder = submitOrder(thiefName, "cp-t", "6", "thief-phone");
  ASSERT_FALSE(victimOrder.empty());

  // The thief knows the victim's user id (ids are sequential), not the victim's device.
  const struct {
    const char* what;
    const char* path;
    Json request;
    const char* status;
  } attacks[] = {
      {"order in the victim's name", "sdkstandard/pay/index", orderRequest(victimName, "cp-x", "6", "thief-phone"),
       "a"},
      {"pay the thief's order from the victim's coins", "sdkmini/ttbpay/ttbnew",
       payRequest(victim.uid, thiefOrder, "6", true, "thief-phone"), "z"},
      {"pay the victim's order from the victim's coins", "sdkmini/ttbpay/ttbnew",
       payRequest(victim.uid, victimOrder, "6", true, "thief-phone"), "z"},
      {"pay the victim's order with the thief's session", "sdkmini/ttbpay/ttbnew",
       payRequest(thief.uid, victimOrder, "6", true, "thief-phone"), "z"},
      {"WeChat order for the victim", "sdkmini/wxh5/h5pay",
       payRequest(victim.uid, victimOrder, 6, false, "thief-phone"), "z"},
      {"role report as the victim", "sdkstandard/role/index",
       Json{{"username", victimName}, {"gameid", "1001"}, {"roleid", "r9"}, {"imeil", "thief-phone"}}, "a"},
      {"sign in with the victim's sign from another device", "sdkstandard/login/index",
       Json{{"username", victim.uid}, {"imeil", "thief-phone"}, {"gameid", "1001"}, {"extrasparams", extrasOf(victim)}},
       "a"},
  };
  for (const auto& attack : attacks) {
    const Json reply = call(attack.path, attack.request);
    EXPECT_EQ(reply.value(attack.status, -1), 0) << attack.what << " -> " << reply.dump();
  }
  EXPECT_EQ(balance(victim.uid)["ttb"], 100);
  EXPECT_EQ(server_->store().orderById(victimOrder)->state, "unpaid");
  EXPECT_TRUE(server_->store().roles(std::stoll(victim.uid)).empty());
  EXPECT_TRUE(log_->contains("has no open session")) << "each refusal is logged";

  // The victim's own payment still works.
  EXPECT_EQ(call("sdkmini/ttbpay/ttbnew", payRequest(victim.uid, victimOrder, "6", true, "victim-phone"))["z"], 1);
  EXPECT_EQ(balance(victim.uid)["ttb"], 94);
}

TEST_F(SandboxSecurityTest, LogoutClosesTheAccountsSessionsOnThatGameOnly) {
  startServer();
  ChannelLogin l;
  const std::string name = signedInAccount("alice", &l);
  // The same account on a second game.
  Json otherGame = loginRequest("alice", "secret");
  otherGame["d"] = otherGame["x"] = "2002";
  ASSERT_EQ(call("sdkmini/login/dologin", otherGame)["z"], 1);
  auto balanceOn = [&](const std::string& game) {
    return call("sdkmini/pay/getPayWay", {{"zz", l.uid}, {"z", game}, {"b", game}, {"bb", "tolba"}}).value("code", -1);
  };
  ASSERT_EQ(balanceOn("1001"), 1);

  const Json logout = {{"username", name}, {"gameid", "1001"}, {"channelname", "tolba"}};
  EXPECT_EQ(call("sdkstandard/login/logout", logout)["a"], 1);
  EXPECT_EQ(balanceOn("1001"), 0);
  EXPECT_EQ(balanceOn("2002"), 1);
  EXPECT_EQ(call("sdkmini/User/setRole", {{"z", l.uid}, {"b", "1001"}, {"c", "r1"}})["z"], 0);
  EXPECT_EQ(call("sdkstandard/login/logout", logout)["a"], 0) << "nothing left to close";
  EXPECT_EQ(call("sdkstandard/pay/index", orderRequest(name, "cp-after", "6"))["a"], 0);
}

TEST_F(SandboxSecurityTest, FilesAreOwnerOnlyAndCredentialsAreStoredHashed) {
  startServer();
  registerAccount("alice");
  const ChannelLogin l = login("alice");
  const Json signIn = signInReply(l.uid, extrasOf(l));
  const std::string token = signIn["c"].value("token", "");
  ASSERT_FALSE(token.empty());
  const auto secretPath = dir_ / "sandbox.db.secret";
  const std::string secret = fileBytes(secretPath);
  ASSERT_GE(secret.size(), 32u);

  EXPECT_EQ(modeOf(options_.dbPath), 0600u);
  EXPECT_EQ(modeOf(options_.dbPath + "-wal"), 0600u);
  EXPECT_EQ(modeOf(secretPath), 0600u);
  const auto account = server_->store().accountByName("alice");
  EXPECT_NE(account->loginSignHash, l.sign);
  EXPECT_NE(account->tokenHash, token);
  server_->stop();
  const std::string stored = fileBytes(options_.dbPath) + fileBytes(options_.dbPath + "-wal");
  for (const std::string& clear : {l.sign, token, secret.substr(0, 64)}) {
    EXPECT_EQ(stored.find(clear), std::string::npos) << "found in the database: " << clear;
  }

  // A database and secret left readable by others are narrowed on the next start.
  ::chmod(options_.dbPath.c_str(), 0644);
  ::chmod(secretPath.c_str(), 0644);
  startServer();
  EXPECT_EQ(modeOf(options_.dbPath), 0600u);
  EXPECT_EQ(modeOf(secretPath), 0600u);
  EXPECT_EQ(signInReply(l.uid, extrasOf(l)).value("a", -1), 1) << "the same secret is read back";
}

TEST_F(SandboxSecurityTest, LogLinesMaskPasswordsSignsTokensIdNumbersAndRealNames) {
  startServer();
  registerAccount("alice", "hunter2-password");
  const ChannelLogin l = login("alice", "hunter2-password");
  const std::string idNumber = idCardYearsAgo(30);
  ASSERT_EQ(call("sdkmini/login/idcheck", {{"i", l.uid}, {"g", "1001"}, {"id", idNumber}, {"r", "欧阳娜娜"}})["z"], 1);
  const Json signIn = signInReply(l.uid, extrasOf(l));
  const std::string token = signIn["c"].value("token", "");
  ASSERT_FALSE(token.empty());
  EXPECT_TRUE(log_->contains("sdkstandard/login/index")) << "the lines are there, with their keys";
  for (const auto& line : log_->lines()) {
    for (const std::string& secret : {std::string("hunter2"), l.sign.substr(0, 12), token.substr(0, 12),
                                      idNumber.substr(0, 10), std::string("欧阳")}) {
      EXPECT_EQ(line.find(secret), std::string::npos) << secret << " in: " << line;
    }
  }
}

}  // namespace
}  // namespace tolba::sandbox::testing

#include <gtest/gtest.h>

#include "sdk/TolbaSDKCore.h"
#include "support/loopback_fixture.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using Reply = testing::LoopbackServer::Reply;

class LogoutTest : public testing::LoopbackTest {
 protected:
  void signIn() {
    auto sdk = TolbaSDKCore::shared();
    sdk->_initChannelSdk();
    sdk->setSessionForTesting("player", "tok", "1700000000", Json{{"isRealName", "1"}});
    drain();
  }
};

TEST_F(LogoutTest, TheReplyEndsTheSessionButKeepsTokenAndLoginTime) {
  signIn();
  auto sdk = TolbaSDKCore::shared();
  server_->enqueue(Reply::json({{"a", 1}}).untilReleased());
  testing::NotificationRecorder recorder({kTolbaSDKNotiLogout});

  sdk->sendTolbaLogoutNoti({{kTolbaSDKKeyError, 0}});
  ASSERT_TRUE(server_->waitForRequests(1));
  drain();
  // Nothing changes before the server has answered.
  EXPECT_TRUE(recorder.posted().empty());
  EXPECT_EQ(sdk->username(), "player");
  EXPECT_TRUE(sdk->realNameInfo());
  EXPECT_EQ(server_->lastJson()["username"], "player");

  server_->release();
  ASSERT_TRUE(runUntil([&] { return !recorder.posted().empty(); }));
  EXPECT_EQ(recorder.posted().at(0).userInfo, Json({{kTolbaSDKKeyError, 0}}));
  EXPECT_FALSE(sdk->username());
  EXPECT_FALSE(sdk->realNameInfo());
  EXPECT_EQ(sdk->token(), "tok");
  EXPECT_EQ(sdk->logintime(), "1700000000");
}

}  // namespace
}  // namespace tolba

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/TolbaDataFunc.h"
#include "net/TolbaNetTool.h"
#include "net/http_client.h"
#include "support/loopback_fixture.h"
#include "tolba/platform/app_environment.h"

namespace tolba {
namespace {

using Json = nlohmann::json;
using testing::BlockProbe;
using Reply = testing::LoopbackServer::Reply;

class TransportTest : public testing::LoopbackTest {
 protected:
  void TearDown() override {
    HttpClient::shared().setTimeouts({});
    HttpClient::shared().setMaxReplyBytes(HttpClient::kMaxReplyBytes);
    LoopbackTest::TearDown();
  }
};

// Records the calls of a failure handler (on the main run loop).
struct FailureProbe {
  TolbaFailureBlock block() {
    return [this](const std::string& why) { causes.push_back(why); };
  }
  std::vector<std::string> causes;
};

TEST_F(TransportTest, PostsTheScrambledBodyToBasePlusPathAndDeliversTheReplyLater) {
  server_->enqueue(Reply::json({{"z", 1}, {"msg", "ok"}}));
  BlockProbe probe;
  const Json parameter = {{"zz", ""}, {"z", "g1"}};
  TolbaNetTool::netPostWithUrl("sdkmini/pay/getPayWay", parameter, probe.block());
  EXPECT_EQ(probe.calls(), 0u);  // never inline
  ASSERT_TRUE(runUntil([&] { return probe.calls() == 1; }));

  EXPECT_EQ(probe.results[0], Json({{"z", 1}, {"msg", "ok"}}));
  EXPECT_TRUE(probe.errors[0].is_null());
  const auto request = server_->requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/sdkmini/pay/getPayWay");
  EXPECT_EQ(request.headers.at("content-type"), "text/html");
  EXPECT_EQ(request.body, TolbaDataFunc::codingJSON(parameter));
  drain();
  EXPECT_EQ(probe.calls(), 1u);
  EXPECT_TRUE(probe.released());
}

TEST_F(TransportTest, IgnoresTheStatusAndGivesNilForWhatDoesNotDecode) {
  server_->setResponder([](const testing::LoopbackServer::Request& r) {
    const auto kind = r.json ? r.json->value("kind", "") : "";
    if (kind == "empty500") return Reply::raw("", 500);
    if (kind == "valid500") return Reply::json({{"a", 0}, {"b", "busy"}}, 500);
    if (kind == "text404") return Reply::raw("<html>not found</html>", 404);
    return Reply::raw("x1_2_3y");
  });
  BlockProbe empty500, valid500, text404, garbage;
  TolbaNetTool::netPostWithUrl("p", {{"kind", "empty500"}}, empty500.block());
  TolbaNetTool::netPostWithUrl("p", {{"kind", "valid500"}}, valid500.block());
  TolbaNetTool::netPostWithUrl("p", {{"kind", "text404"}}, text404.block());
  TolbaNetTool::netPostWithUrl("p", {{"kind", "garbage"}}, garbage.block());
  ASSERT_TRUE(runUntil([&] { return empty500.calls() + valid500.calls() + text404.calls() + garbage.calls() == 4; }));

  EXPECT_EQ(empty500.results, std::vector<std::optional<Json>>{std::nullopt});
  EXPECT_EQ(valid500.results, std::vector<std::optional<Json>>{Json({{"a", 0}, {"b", "busy"}})});
  EXPECT_EQ(text404.results, std::vector<std::optional<Json>>{std::nullopt});
  EXPECT_EQ(garbage.results, std::vector<std::optional<Json>>{std::nullopt});
  EXPECT_EQ(log_->count("解密JSON序列化失败----"), 2u);  // not for the empty body
}

TEST_F(TransportTest, TransportFailuresCallNothingAndLetTheBlockGo) {
  server_->setResponder([](const testing::LoopbackServer::Request& r) {
    return r.json && r.json->value("kind", "") == "close" ? Reply::close() : Reply::garbage("not http at all\r\n\r\n");
  });
  BlockProbe closed, garbage, refused;
  TolbaNetTool::netPostWithUrl("p", {{"kind", "close"}}, closed.block());
  TolbaNetTool::netPostWithUrl("p", {{"kind", "garbage"}}, garbage.block());
  ASSERT_TRUE(runUntil([&] { return closed.released() && garbage.released(); }));

  // Nothing listens on the port of a server that has gone.
  const std::string base = server_->baseUrl();
  server_.reset();
  TolbaNetTool::netPostWithUrl("p", Json::object(), refused.block());
  ASSERT_TRUE(runUntil([&] { return refused.released(); }));

  drain();
  EXPECT_EQ(closed.calls() + garbage.calls() + refused.calls(), 0u);
  EXPECT_EQ(log_->count("解密JSON序列化失败"), 0u);  // transport failures log nothing
}

TEST_F(TransportTest, AFailureHandlerHearsEachTransportFailureOnceInsteadOfTheBlock) {
  HttpClient::shared().setTimeouts({std::chrono::milliseconds(15000), std::chrono::milliseconds(500)});
  HttpClient::shared().setMaxReplyBytes(1024);
  server_->setResponder([](const testing::LoopbackServer::Request& r) {
    const auto kind = r.json ? r.json->value("kind", "") : "";
    if (kind == "close") return Reply::close();
    if (kind == "silent") return Reply::json({{"late", true}}).untilReleased();
    if (kind == "huge") return Reply::raw(std::string(4096, 'A'));
    if (kind == "fits") return Reply::raw(std::string(1024, 'A'));
    return Reply::json({{"a", 1}});
  });
  struct Case {
    const char* kind;
    const char* cause;  // nullptr: a reply arrives, the block is called
  };
  const std::vector<Case> cases = {
      {"close", ""},
      {"silent", "no data for the idle time"},
      {"huge", "the reply is larger than the size bound"},
      {"fits", nullptr},
      {"fine", nullptr},
  };
  std::vector<BlockProbe> blocks(cases.size());
  std::vector<FailureProbe> failures(cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    TolbaNetTool::netPostWithUrl("p", {{"kind", cases[i].kind}}, blocks[i].block(), failures[i].block());
  }
  ASSERT_TRUE(runUntil([&] {
    std::size_t done = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) done += blocks[i].calls() + failures[i].causes.size();
    return done == cases.size();
  }));
  server_->release();
  ASSERT_TRUE(waitForTransportIdle());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].kind);
    if (cases[i].cause == nullptr) {
      EXPECT_EQ(blocks[i].calls(), 1u);
      EXPECT_TRUE(failures[i].causes.empty());
    } else {
      EXPECT_EQ(blocks[i].calls(), 0u);
      ASSERT_EQ(failures[i].causes.size(), 1u);
      EXPECT_FALSE(failures[i].causes[0].empty());
      if (*cases[i].cause) {
        EXPECT_EQ(failures[i].causes[0], cases[i].cause);
      }
    }
    EXPECT_TRUE(blocks[i].released());
  }
}

TEST_F(TransportTest, ARequestWithoutDataForTheIdleTimeEndsWithoutACall) {
  HttpClient::shared().setTimeouts({std::chrono::milliseconds(15000), std::chrono::milliseconds(500)});
  // A pause shorter than the idle time is waited out.
  server_->enqueue(Reply::json({{"slow", true}}).after(std::chrono::milliseconds(50)));
  BlockProbe slow;
  TolbaNetTool::netPostWithUrl("p", Json::object(), slow.block());
  ASSERT_TRUE(runUntil([&] { return slow.calls() == 1; }));
  EXPECT_EQ(slow.results[0], Json({{"slow", true}}));

  server_->enqueue(Reply::json({{"late", true}}).untilReleased());
  BlockProbe probe;
  TolbaNetTool::netPostWithUrl("p", Json::object(), probe.block());
  ASSERT_TRUE(runUntil([&] { return probe.released(); }, 20));
  server_->release();  // the reply comes too late: the request has ended
  drain();
  EXPECT_EQ(probe.calls(), 0u);
  EXPECT_EQ(server_->requestCount(), 2u);
}

TEST_F(TransportTest, RequestsCompleteInTheirOwnOrder) {
  server_->setResponder([](const testing::LoopbackServer::Request& r) {
    const int n = r.json ? r.json->value("n", 0) : 0;
    Reply reply = Reply::json({{"n", n}});
    if (n == 1) reply.untilReleased();
    return reply;
  });
  std::vector<int> order;
  auto block = [&order](const std::optional<Json>& result, const Json&) {
    order.push_back(result ? result->value("n", -1) : -1);
  };
  TolbaNetTool::netPostWithUrl("p", {{"n", 1}}, block);
  TolbaNetTool::netPostWithUrl("p", {{"n", 2}}, block);
  ASSERT_TRUE(runUntil([&] { return order.size() == 1; }));
  EXPECT_EQ(order, std::vector<int>{2});
  server_->release();
  ASSERT_TRUE(runUntil([&] { return order.size() == 2; }));
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST_F(TransportTest, HundredsOfRequestsInFlightEachGetTheirOwnReply) {
  server_->setResponder([](const testing::LoopbackServer::Request& r) {
    return Reply::json({{"i", r.json ? r.json->value("i", -1) : -1}});
  });
  constexpr int kCount = 300;
  std::vector<int> calls(kCount, 0);
  int mismatches = 0, total = 0, offMain = 0;
  const auto mainThread = std::this_thread::get_id();
  for (int i = 0; i < kCount; ++i) {
    TolbaNetTool::netPostWithUrl("p", {{"i", i}}, [&, i](const std::optional<Json>& result, const Json&) {
      ++calls[static_cast<std::size_t>(i)];
      ++total;
      if (!result || result->value("i", -1) != i) ++mismatches;
      if (std::this_thread::get_id() != mainThread) ++offMain;
    });
  }
  EXPECT_EQ(total, 0);  // never inside the call
  ASSERT_TRUE(runUntil([&] { return total == kCount; }, 60));
  drain();
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(offMain, 0);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), 1), kCount);
}

TEST_F(TransportTest, AnUnwritableParameterIsSentAsAnEmptyBody) {
  BlockProbe probe;
  TolbaNetTool::netPostWithUrl("p", {{"bad", "\xff"}}, probe.block());
  ASSERT_TRUE(runUntil([&] { return probe.calls() == 1; }));
  EXPECT_TRUE(log_->contains("加密JSON序列化失败----"));
  EXPECT_EQ(server_->requests().at(0).body, "");
  EXPECT_EQ(server_->requests().at(0).headers.at("content-length"), "0");
  EXPECT_EQ(probe.results[0], Json({{"a", 1}}));
}

TEST_F(TransportTest, AnUnreadableExtraCaFileIsLoggedAndTheRequestStillRuns) {
  platform::setExtraCaFile((root_ / "missing-ca.pem").string());
  BlockProbe probe;
  TolbaNetTool::netPostWithUrl("p", Json::object(), probe.block());
  const bool done = runUntil([&] { return probe.calls() == 1; });
  platform::setExtraCaFile("");
  ASSERT_TRUE(done);
  EXPECT_TRUE(log_->contains("missing-ca.pem cannot be read"));
}

TEST_F(TransportTest, ExitingWithRequestsInFlightNeitherCrashesNorCallsBlocks) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // Every reply is held: an answered request's block would run inside
        // runUntil() below and end the child before the exit under test.
        server_->setResponder([](const testing::LoopbackServer::Request&) {
          return Reply::json({{"a", 1}}).untilReleased();
        });
        for (int i = 0; i < 40; ++i) {
          TolbaNetTool::netPostWithUrl("p", {{"i", i}}, [i](const std::optional<Json>&, const Json&) {
            if (i % 2 == 0) std::_Exit(3);
          });
        }
        // The main loop is not run again: replies arriving from here on must
        // never reach their blocks.
        server_->waitForRequests(20);
        server_->release();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tolba

#include "tolba/platform/user_defaults.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/standard_defaults.h"
#include "support/sdk_fixture.h"

namespace tolba::platform {
namespace {
namespace fs = std::filesystem;

struct UserDefaultsTest : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("tolba-defaults-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::string path = (dir / "UserDefaults.json").string();
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(UserDefaultsTest, ValuesAreSeenAtOnceAndSurviveARestart) {
  {
    UserDefaults defaults(path);
    defaults.setObject("PTChannelSdkAccount", "42");
    defaults.setObject("n", 7);
    EXPECT_EQ(defaults.objectForKey("PTChannelSdkAccount"), nlohmann::json("42"));
    defaults.removeObject("n");
    EXPECT_FALSE(defaults.objectForKey("n").has_value());
  }  // destruction waits for the pending write
  UserDefaults reopened(path);
  EXPECT_EQ(reopened.objectForKey("PTChannelSdkAccount"), nlohmann::json("42"));
  EXPECT_FALSE(reopened.objectForKey("n").has_value());
  EXPECT_FALSE(fs::exists(path + ".tmp"));
}

TEST_F(UserDefaultsTest, ACorruptFileIsMovedAsideLoggedAndTreatedAsEmpty) {
  { std::ofstream(path) << "{not json"; }
  testing::LogCapture log;
  UserDefaults defaults(path);
  EXPECT_TRUE(defaults.snapshot().empty());
  EXPECT_TRUE(log.contains("moved to"));
  int aside = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename().string().find("corrupt") != std::string::npos) {
      ++aside;
      std::ifstream in(entry.path());
      std::string kept((std::istreambuf_iterator<char>(in)), {});
      EXPECT_EQ(kept, "{not json");  // the player's old data is kept, not overwritten
    }
  }
  EXPECT_EQ(aside, 1);
  defaults.setObject("k", "v");
  defaults.flush();
  EXPECT_EQ(UserDefaults(path).objectForKey("k"), nlohmann::json("v"));
}

TEST_F(UserDefaultsTest, AFileHoldingANonObjectIsAlsoSetAside) {
  { std::ofstream(path) << "[1,2]"; }
  testing::LogCapture log;
  UserDefaults defaults(path);
  EXPECT_TRUE(defaults.snapshot().empty());
  EXPECT_EQ(log.count("UserDefaults:"), 1u);
}

TEST_F(UserDefaultsTest, WritesFromManyThreadsAllLand) {
  {
    UserDefaults defaults(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 50; ++i) defaults.setObject("k" + std::to_string(t) + "_" + std::to_string(i), i);
      });
    }
    for (auto& th : threads) th.join();
  }
  UserDefaults reopened(path);
  EXPECT_EQ(reopened.snapshot().size(), 200u);
}

int failingSync(int) {
  errno = EIO;
  return -1;
}

TEST_F(UserDefaultsTest, AWriteThatCannotBeSyncedKeepsTheOldFile) {
  {
    UserDefaults defaults(path);
    defaults.setObject("PTChannelSdkAccount", "old");
  }
  testing::LogCapture log;
  detail::setFileSyncForTesting(failingSync);
  {
    UserDefaults defaults(path);
    defaults.setObject("PTChannelSdkAccount", "new");
    defaults.flush();
    EXPECT_EQ(defaults.objectForKey("PTChannelSdkAccount"), nlohmann::json("new"));  // memory has it
  }
  detail::setFileSyncForTesting(nullptr);
  EXPECT_TRUE(log.contains("cannot write " + path + ": fsync"));
  EXPECT_EQ(UserDefaults(path).objectForKey("PTChannelSdkAccount"), nlohmann::json("old"));
  for (const auto& entry : fs::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().filename(), "UserDefaults.json");  // no temporary left behind
  }
}

// Two writers of one file (as two processes would be) each use a temporary file
// of their own: every write lands whole, none fails.
TEST_F(UserDefaultsTest, TwoWritersOfOneFileDoNotClobberEachOther) {
  testing::LogCapture log;
  {
    UserDefaults first(path);
    UserDefaults second(path);
    std::thread a([&] {
      for (int i = 0; i < 100; ++i) {
        first.setObject("writer", "first");
        first.flush();
      }
    });
    for (int i = 0; i < 100; ++i) {
      second.setObject("writer", "second");
      second.flush();
    }
    a.join();
  }
  EXPECT_FALSE(log.contains("cannot write"));
  const auto value = UserDefaults(path).objectForKey("writer");
  ASSERT_TRUE(value.has_value());
  EXPECT_TRUE(*value == "first" || *value == "second");
}

}  // namespace
}  // namespace tolba::platform

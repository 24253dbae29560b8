// Settings under kill -9: a writer process is killed at random moments, and
// after each kill the file must read back whole, holding a value that a write
// completed (the last one acknowledged, or a later one), never a mixture of two
// writes and never nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "settings_record.h"
#include "tolba/platform/user_defaults.h"

extern char** environ;

namespace tolba::platform {
namespace {
namespace fs = std::filesystem;

// A child process running the settings writer, its standard output on a pipe.
class Writer {
 public:
  Writer(const std::string& mode, const std::string& arg) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string path = TOLBA_SETTINGS_WRITER;
    char* argv[] = {path.data(), const_cast<char*>(mode.c_str()), const_cast<char*>(arg.c_str()), nullptr};
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = ::fdopen(fds[0], "r");
  }
  ~Writer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      wait();
    }
    if (out_) std::fclose(out_);
  }
  bool started() const { return pid_ > 0 && out_ != nullptr; }
  // The next line the child printed ("" at its end).
  std::string line() {
    char buffer[128];
    if (!std::fgets(buffer, sizeof buffer, out_)) return {};
    std::string text(buffer);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  void kill() { ::kill(pid_, SIGKILL); }
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
};

long long numberAfter(const std::string& line, const std::string& word) {
  if (line.rfind(word + " ", 0) != 0) return -2;
  return std::stoll(line.substr(word.size() + 1));
}

struct SettingsCrashTest : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("tolba-crash-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::string path = (dir / "UserDefaults.json").string();
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(SettingsCrashTest, KilledWhileWritingTheFileHoldsAWholeCompletedWrite) {
  constexpr int kKills = 200;
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  {
    UserDefaults first(path);  // the file exists before the first writer starts
    first.setObject(testing::kRecordKey, testing::makeRecord(0));
  }
  long long acknowledged = 0;
  int killedMidWrite = 0;  // kills after which the file held a write not yet acknowledged
  for (int kill = 0; kill < kKills; ++kill) {
    Writer writer("loop", path);
    ASSERT_TRUE(writer.started());
    const auto found = numberAfter(writer.line(), "ready");
    ASSERT_GE(found, acknowledged) << "after kill " << kill;
    acknowledged = found;
    // A random moment: after 0 to 3 acknowledged writes, then a short random spin.
    const int writes = static_cast<int>(random() % 4);
    for (int i = 0; i < writes; ++i) {
      const auto n = numberAfter(writer.line(), "wrote");
      ASSERT_GT(n, acknowledged);
      acknowledged = n;
    }
    volatile unsigned spin = static_cast<unsigned>(random() % 200000);
    while (spin > 0) spin = spin - 1u;
    writer.kill();
    writer.wait();

    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no settings file after kill " << kill;
    std::stringstream text;
    text << in.rdbuf();
    const auto parsed = nlohmann::json::parse(text.str(), nullptr, false);
    ASSERT_TRUE(parsed.is_object()) << "unreadable settings after kill " << kill;
    const auto it = parsed.find(testing::kRecordKey);
    const auto counter = testing::recordCounter(it == parsed.end() ? std::nullopt : std::optional(*it));
    ASSERT_GE(counter, acknowledged) << "lost or mixed value after kill " << kill;
    if (counter > acknowledged) ++killedMidWrite;
    acknowledged = counter;
  }
  // Leftover temporaries of killed writers are the only debris.
  for (const auto& entry : fs::directory_iterator(dir)) {
    const auto name = entry.path().filename().string();
    EXPECT_TRUE(name == "UserDefaults.json" || name.rfind("UserDefaults.json.tmp-", 0) == 0) << name;
  }
  RecordProperty("kills", kKills);
  RecordProperty("final_counter", std::to_string(acknowledged));
  std::printf("[ crash    ] %d kills, %lld writes completed, %d kills landed after an unacknowledged write\n", kKills,
              acknowledged, killedMidWrite);
}

TEST_F(SettingsCrashTest, NothingIsWrittenAtExitAfterTheSettingsWereClosed) {
  const auto data = dir / "data";
  for (int run = 0; run < 5; ++run) {
    Writer writer("exit", data.string());
    ASSERT_TRUE(writer.started());
    EXPECT_EQ(writer.line(), "");
    const int status = writer.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(data)) << "the exit-time write brought the folder back";
  }
}

}  // namespace
}  // namespace tolba::platform

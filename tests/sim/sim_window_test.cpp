// The simulator's real window, under a virtual X server: the scripted journey,
// input events pushed into its SDL queue, and its frame loop's counters.
#include <gtest/gtest.h>

#include <cairo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sandbox_server.h"
#include "tolba/platform/log.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct Rgb {
  int r = 0, g = 0, b = 0;
};

// A PNG and the elements the simulator saw when it wrote it.
class Shot {
 public:
  explicit Shot(const fs::path& png) {
    surface_ = cairo_image_surface_create_from_png(png.c_str());
    std::ifstream in(fs::path(png).replace_extension(".json"));
    if (in) info_ = json::parse(in, nullptr, false);
  }
  ~Shot() { cairo_surface_destroy(surface_); }
  Shot(const Shot&) = delete;
  Shot& operator=(const Shot&) = delete;

  bool ok() const {
    return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS && info_.is_object() && info_.contains("elements");
  }
  // The pixel at a point of the screen (in points).
  Rgb at(double x, double y) const {
    const double ppp = info_.value("pixelsPerPoint", 1.0);
    const int px = static_cast<int>(x * ppp), py = static_cast<int>(y * ppp);
    if (px < 0 || py < 0 || px >= cairo_image_surface_get_width(surface_) ||
        py >= cairo_image_surface_get_height(surface_)) {
      return {-1, -1, -1};
    }
    cairo_surface_flush(surface_);
    const auto* row = cairo_image_surface_get_data(surface_) + py * cairo_image_surface_get_stride(surface_);
    const std::uint32_t pixel = reinterpret_cast<const std::uint32_t*>(row)[px];
    return {static_cast<int>((pixel >> 16) & 0xff), static_cast<int>((pixel >> 8) & 0xff),
            static_cast<int>(pixel & 0xff)};
  }
  // The frame of the element of `kind` whose text contains `text`.
  std::optional<json> element(const std::string& kind, const std::string& text) const {
    for (const auto& e : info_["elements"]) {
      if (e.value("kind", "") == kind && e.value("text", "").find(text) != std::string::npos) return e;
    }
    return std::nullopt;
  }

 private:
  cairo_surface_t* surface_;
  json info_;
};

::testing::AssertionResult near(Rgb got, Rgb want, int tolerance = 12) {
  if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
      std::abs(got.b - want.b) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel " << got.r << "," << got.g << "," << got.b << " is not near " << want.r
                                       << "," << want.g << "," << want.b;
}

std::string xvfbRun() {
  for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
    const fs::path candidate = fs::path(dir) / "xvfb-run";
    if (fs::exists(candidate)) return candidate.string();
  }
  return {};
}

class SimWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xvfb_ = xvfbRun();
    if (xvfb_.empty()) GTEST_SKIP() << "xvfb-run is not installed (Debian package xvfb): the simulator needs a display";
    dir_ = fs::temp_directory_path() / ("tolba-sim-test-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!HasFailure() && !dir_.empty()) fs::remove_all(dir_);
  }

  // Runs the simulator in a virtual X server of its own; its exit status.
  int runSim(const std::string& arguments) {
    // Under the sanitizers, leaks of the window system's libraries are not ours.
    const std::string command = "LSAN_OPTIONS=suppressions=" + std::string(TOLBA_SIM_LSAN_SUPPRESSIONS) + " " + xvfb_ +
                                " -a -s '-screen 0 1024x768x24' " + TOLBA_SIM_PATH +
                                " --no-panel --zoom 0.5 --stats-file '" + (dir_ / "stats.json").string() + "' " +
                                arguments + " > '" + (dir_ / "output.txt").string() + "' 2>&1";
    const int raw = std::system(command.c_str());
    std::ifstream in(dir_ / "output.txt");
    std::stringstream text;
    text << in.rdbuf();
    output_ = text.str();
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  json stats() const {
    std::ifstream in(dir_ / "stats.json");
    return in ? json::parse(in, nullptr, false) : json();
  }
  fs::path writeScript(const std::string& text) const {
    const auto path = dir_ / "script.txt";
    std::ofstream(path) << text;
    return path;
  }

  std::string xvfb_;
  fs::path dir_;
  std::string output_;
};

TEST_F(SimWindowTest, AutoplayPlaysTheWholeJourneyAndDrawsThePanelsOverTheGame) {
  const auto shots = dir_ / "shots";
  ASSERT_EQ(runSim("--autoplay --fast --quit --screenshot '" + shots.string() + "'"), 0) << output_;
  for (const char* name :
       {"title", "login", "register", "real-name", "pay-centre", "wechat", "float-button-parked", "landscape", "end"}) {
    EXPECT_TRUE(fs::exists(shots / (std::string(name) + ".png"))) << name;
  }

  const Shot title(shots / "title.png");
  const Shot login(shots / "login.png");
  ASSERT_TRUE(title.ok() && login.ok());
  // The login button is blue on the white content box; beside it the box is white.
  const auto submit = login.element("button", "登录");
  ASSERT_TRUE(submit) << "no login button on the login panel";
  const double sx = (*submit)["x"], sy = (*submit)["y"], sw = (*submit)["width"], sh = (*submit)["height"];
  EXPECT_TRUE(near(login.at(sx + 4, sy + 4), {0, 0, 255}));
  EXPECT_TRUE(near(login.at(sx + sw + 12, sy + sh / 2), {255, 255, 255}));
  // Around the panel the game shows through, dimmed by the backdrop.
  const auto game = title.at(6, 6), dimmed = login.at(6, 6);
  EXPECT_LT(dimmed.r + dimmed.g + dimmed.b, game.r + game.g + game.b);
  EXPECT_GT(dimmed.r + dimmed.g + dimmed.b, (game.r + game.g + game.b) / 2);

  // The pay centre: its grey coin button inside the white box.
  const Shot pay(shots / "pay-centre.png");
  ASSERT_TRUE(pay.ok());
  const auto coins = pay.element("button", "平台币");
  ASSERT_TRUE(coins) << "no coin button in the pay centre";
  const double cx = (*coins)["x"], cy = (*coins)["y"];
  EXPECT_TRUE(near(pay.at(cx + 3, cy + 3), {170, 170, 170}));
  EXPECT_TRUE(near(pay.at(cx + 3, cy - 20), {255, 255, 255}));
}

TEST_F(SimWindowTest, InputEventsPushedIntoTheWindowReachTheServer) {
  std::mutex mutex;
  std::vector<std::string> lines;
  tolba::platform::setLogSink([&](const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  });
  tolba::sandbox::SandboxOptions options;
  options.dbPath = ":memory:";
  options.passwordIterations = 1000;
  options.keepAliveSeconds = 1;
  tolba::sandbox::SandboxServer server(options);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  ASSERT_TRUE(server.addAccount("alice", "wonder-land", 100 * 100));

  const auto script = writeScript(
      "tap scene init\n"
      "notification kTolbaSDKNotiInitDidFinished 0\n"
      "tap scene login\n"
      "tap field 请输入账号\n"
      "type alice\n"
      "tap field 请输入密码\n"
      "type wonder-land\n"
      "key escape   # closes the keyboard\n"
      "tap switch\n"
      "tap button 登录\n"
      "reply sdkmini/login/dologin\n");
  const int status = runSim("--fast --quit --base-url " + server.baseUrl() + " --script '" + script.string() + "'");
  tolba::platform::setLogSink(nullptr);
  ASSERT_EQ(status, 0) << output_;

  // The server took the login of alice with her password: it holds her login now.
  const auto alice = server.store().accountByName("alice");
  ASSERT_TRUE(alice);
  EXPECT_FALSE(alice->loginSignHash.empty());
  std::lock_guard lock(mutex);
  bool logged = false;
  for (const auto& line : lines) {
    logged =
        logged || (line.find("sdkmini/login/dologin") != std::string::npos && line.find("alice") != std::string::npos);
  }
  EXPECT_TRUE(logged);
  // The simulator's console masks the password.
  EXPECT_EQ(output_.find("wonder-land\""), std::string::npos);
}

TEST_F(SimWindowTest, TheLayerIsRedrawnOnlyWhenItChangesAndFramesGoOnDuringARequest) {
  const auto script = writeScript(
      "tap scene init\n"
      "notification kTolbaSDKNotiInitDidFinished 0\n"
      "tap scene login\n"
      "wait button 登录\n"
      "pause 24     # the panel sits idle for three seconds at --fast\n"
      "tap field 请输入账号\n"
      "type bob\n"
      "tap field 请输入密码\n"
      "type builder\n"
      "key escape\n"
      "tap switch\n"
      "tap button 登录\n"
      "reply sdkmini/login/dologin\n");
  ASSERT_EQ(runSim("--fast --quit --fault sdkmini/login/dologin,delay,1,2 --script '" + script.string() + "'"), 0)
      << output_;
  const auto s = stats();
  ASSERT_TRUE(s.is_object()) << output_;
  // An idle panel costs no drawing: far fewer redraws than frames showing it.
  EXPECT_GT(s["layerRedraws"].get<int>(), 0);
  EXPECT_LT(s["layerRedraws"].get<int>() * 2, s["framesShowingLayer"].get<int>()) << s.dump();
  // The delayed login took its two seconds while the window kept drawing frames.
  EXPECT_EQ(s["longestRequest"]["path"], "sdkmini/login/dologin");
  EXPECT_GE(s["longestRequest"]["seconds"].get<double>(), 1.9);
  // (A frame loop that waited for the network would draw none.)
  EXPECT_GE(s["longestRequest"]["frames"].get<int>(), 10) << s.dump();
}

}  // namespace

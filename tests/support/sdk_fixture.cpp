#include "support/sdk_fixture.h"

#include <unistd.h>

#include <atomic>
#include <fstream>

#include "model/TolbaSDKGameConfig.h"
#include "sdk/TolbaSDKCore.h"
#include "sdk/process_reset.h"
#include "tolba/platform/app_environment.h"
#include "tolba/platform/device.h"
#include "tolba/platform/property_list.h"

namespace tolba::testing {

LogCapture::LogCapture() {
  previous_ = platform::setLogSink([this](const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  });
}

LogCapture::~LogCapture() { platform::setLogSink(std::move(previous_)); }

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool LogCapture::contains(const std::string& text) const { return count(text) > 0; }

std::size_t LogCapture::count(const std::string& text) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& l : lines_) {
    if (l.find(text) != std::string::npos) ++n;
  }
  return n;
}

void LogCapture::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

namespace {

class FakeHandle final : public platform::ReachabilityHandle {
 public:
  explicit FakeHandle(const FakeReachabilityService& service) : service_(service) {}
  bool getFlags(std::uint32_t& flags) override {
    flags = service_.flags();
    return true;
  }
  bool setCallback(Callback) override { return true; }
  bool setDispatchQueue(platform::SerialQueue*) override { return true; }

 private:
  const FakeReachabilityService& service_;
};

}  // namespace

std::unique_ptr<platform::ReachabilityHandle> FakeReachabilityService::createWithName(const std::string& host) {
  std::lock_guard lock(mutex_);
  if (host.empty()) return nullptr;
  ++created_;
  hosts_.push_back(host);
  return std::make_unique<FakeHandle>(*this);
}

std::unique_ptr<platform::ReachabilityHandle> FakeReachabilityService::createWithAddress(const sockaddr* address) {
  std::lock_guard lock(mutex_);
  if (address == nullptr) return nullptr;
  ++created_;
  return std::make_unique<FakeHandle>(*this);
}

void FakeReachabilityService::setFlags(std::uint32_t flags) {
  std::lock_guard lock(mutex_);
  flags_ = flags;
}
std::uint32_t FakeReachabilityService::flags() const {
  std::lock_guard lock(mutex_);
  return flags_;
}
int FakeReachabilityService::created() const {
  std::lock_guard lock(mutex_);
  return created_;
}
std::vector<std::string> FakeReachabilityService::hosts() const {
  std::lock_guard lock(mutex_);
  return hosts_;
}

NotificationRecorder::NotificationRecorder(const std::vector<std::string>& names) {
  auto& center = platform::NotificationCenter::defaultCenter();
  for (const auto& name : names) {
    observers_.emplace_back(center, center.addObserver(name, nullptr, [this](const platform::Notification& n) {
      posted_.push_back({n.name, n.userInfo});
    }));
  }
}

std::vector<std::string> NotificationRecorder::names() const {
  std::vector<std::string> out;
  for (const auto& p : posted_) out.push_back(p.name);
  return out;
}

TestEnvironment::TestEnvironment() {
  static std::atomic<int> counter{0};
  root = std::filesystem::temp_directory_path() /
         ("tolba-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  bundle = root / "bundle";
  data = root / "data";
  std::filesystem::create_directories(bundle);
  std::filesystem::create_directories(data);
  log = std::make_unique<LogCapture>();
  clock = std::make_shared<platform::ManualClock>();
  platform::setBundleDirectory(bundle.string());
  platform::setDataDirectory(data.string());
  reach = std::make_shared<FakeReachabilityService>();
  reach->setFlags(platform::reach::Reachable);
  platform::ReachabilityService::setCurrent(reach);
  resetProcessState(clock);
}

TestEnvironment::~TestEnvironment() {
  resetProcessState();
  platform::ReachabilityService::setCurrent(nullptr);
  platform::setDataDirectory("");  // flushes pending writes before the folder goes
  log.reset();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

void SdkTest::SetUp() {
  env_ = std::make_unique<TestEnvironment>();
  root_ = env_->root;
  bundle_ = env_->bundle;
  data_ = env_->data;
  clock_ = env_->clock;
  reach_ = env_->reach;
  log_ = env_->log.get();
}

void SdkTest::TearDown() {
  log_ = nullptr;
  env_.reset();
}

void SdkTest::writeConfig(const nlohmann::json& contents) { writeRawConfig(platform::writeXmlPropertyList(contents)); }

void SdkTest::writeRawConfig(const std::string& bytes) {
  std::ofstream(bundle_ / "Tolba.plist", std::ios::binary | std::ios::trunc) << bytes;
  TolbaSDKGameConfig::configFileChanged();
}

void SdkTest::writeInfoPlist(const nlohmann::json& contents) {
  std::ofstream out(bundle_ / "Info.plist", std::ios::binary | std::ios::trunc);
  out << platform::writeXmlPropertyList(contents);
}

std::shared_ptr<TolbaSDKCore> SdkTest::initialisedSdk(const std::string& url) {
  writeConfig({{"url", url}, {"gameid", "1001"}});
  auto sdk = TolbaSDKCore::shared();
  auto config = std::make_shared<TolbaSDKInitConfig>();
  config->setGameid("1001");
  sdk->initWithConfig(config, nullptr, nullptr);
  drain();
  return sdk;
}

void SdkTest::advance(double seconds) { platform::RunLoop::main().runFor(platform::Duration(seconds)); }

void SdkTest::drain() { platform::RunLoop::main().drain(); }

bool SdkTest::runUntil(const std::function<bool()>& done, double seconds) {
  return platform::RunLoop::main().runUntil(done, platform::Duration(seconds));
}

}  // namespace tolba::testing

#include "tolba/platform/device.h"

#include <openssl/evp.h>
#include <sys/utsname.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "tolba/platform/app_environment.h"

namespace tolba::platform {

struct Device::State {
  std::mutex mutex;
  std::optional<UserInterfaceIdiom> idiom;
  std::optional<std::string> systemVersion;
  std::optional<std::string> vendorId;
  // The identifier derived from the machine id, read from disk once per
  // executable name rather than on every request.
  std::string derivedVendorId;
  std::string derivedFor;
  std::string kernelVersion;
  std::optional<std::string> machine;
  std::optional<AdvertisingProvider> advertising;
  std::function<std::optional<std::string>()> radio;
};

namespace {

std::string unameField(bool machine) {
  utsname u{};
  if (uname(&u) != 0) return machine ? "unknown" : "0";
  return machine ? u.machine : u.release;
}

// The kernel release up to its first non-version character ("6.1.0-18-amd64" -> "6.1.0").
std::string kernelVersion() {
  const std::string release = unameField(false);
  std::size_t end = 0;
  while (end < release.size() && (std::isdigit(static_cast<unsigned char>(release[end])) || release[end] == '.')) ++end;
  return end == 0 ? "0" : release.substr(0, end);
}

std::string machineId() {
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::ifstream in(path);
    std::string id;
    if (in && std::getline(in, id) && !id.empty()) return id;
  }
  return unameField(true);
}

std::string uuidFromDigest(const std::string& input) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(input.data(), input.size(), digest, &len, EVP_md5(), nullptr);
  digest[6] = static_cast<unsigned char>((digest[6] & 0x0f) | 0x30);  // name-based (version 3)
  digest[8] = static_cast<unsigned char>((digest[8] & 0x3f) | 0x80);
  char out[37];
  std::snprintf(out, sizeof out, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", digest[0],
                digest[1], digest[2], digest[3], digest[4], digest[5], digest[6], digest[7], digest[8], digest[9],
                digest[10], digest[11], digest[12], digest[13], digest[14], digest[15]);
  return out;
}

AdvertisingProvider defaultAdvertising() {
  AdvertisingProvider p;
  p.isTrackingEnabled = [] { return false; };
  p.identifier = [] { return std::string("00000000-0000-0000-0000-000000000000"); };
  p.requestAuthorization = [](std::function<void(TrackingStatus)> answer) {
    std::thread([answer = std::move(answer)] {
      if (answer) answer(TrackingStatus::Denied);
    }).detach();
  };
  return p;
}

}  // namespace

Device::Device() = default;

Device& Device::current() {
  static auto* device = new Device();
  return *device;
}

Device::State& Device::state() const {
  static auto* s = new State();
  return *s;
}

UserInterfaceIdiom Device::idiom() const {
  std::lock_guard lock(state().mutex);
  return state().idiom.value_or(UserInterfaceIdiom::Phone);
}

void Device::setIdiom(UserInterfaceIdiom idiom) {
  std::lock_guard lock(state().mutex);
  state().idiom = idiom;
}

std::string Device::systemVersion() const {
  std::lock_guard lock(state().mutex);
  if (state().systemVersion) return *state().systemVersion;
  if (state().kernelVersion.empty()) state().kernelVersion = kernelVersion();
  return state().kernelVersion;
}

void Device::setSystemVersion(std::string version) {
  std::lock_guard lock(state().mutex);
  state().systemVersion = std::move(version);
}

std::string Device::identifierForVendor() const {
  std::lock_guard lock(state().mutex);
  if (state().vendorId) return *state().vendorId;
  const std::string executable = executableName();
  if (state().derivedVendorId.empty() || state().derivedFor != executable) {
    state().derivedVendorId = uuidFromDigest("tolba-vendor:" + machineId() + ":" + executable);
    state().derivedFor = executable;
  }
  return state().derivedVendorId;
}

void Device::setIdentifierForVendor(std::optional<std::string> id) {
  std::lock_guard lock(state().mutex);
  state().vendorId = std::move(id);
}

std::string Device::machine() const {
  std::lock_guard lock(state().mutex);
  return state().machine ? *state().machine : unameField(true);
}

void Device::setMachine(std::optional<std::string> machine) {
  std::lock_guard lock(state().mutex);
  state().machine = std::move(machine);
}

AdvertisingProvider Device::advertising() const {
  std::lock_guard lock(state().mutex);
  return state().advertising ? *state().advertising : defaultAdvertising();
}

void Device::setAdvertising(AdvertisingProvider provider) {
  std::lock_guard lock(state().mutex);
  state().advertising = std::move(provider);
}

std::optional<std::string> Device::radioAccessTechnology() const {
  std::function<std::optional<std::string>()> radio;
  {
    std::lock_guard lock(state().mutex);
    radio = state().radio;
  }
  return radio ? radio() : std::nullopt;
}

void Device::setRadioAccessTechnologyProvider(std::function<std::optional<std::string>()> provider) {
  std::lock_guard lock(state().mutex);
  state().radio = std::move(provider);
}

void Device::reset() {
  std::lock_guard lock(state().mutex);
  state().idiom.reset();
  state().systemVersion.reset();
  state().vendorId.reset();
  state().machine.reset();
  state().advertising.reset();
  state().radio = nullptr;
}

}  // namespace tolba::platform

#pragma once
// Questions about the device. On Linux there is no advertising identifier and no
// tracking permission; both come from replaceable providers so that a host (or a
// test) can supply them.

#include <functional>
#include <optional>
#include <string>

namespace tolba::platform {

enum class UserInterfaceIdiom { Phone = 0, Pad = 1 };

// Tracking authorisation answers, numbered as on the phone platform.
enum class TrackingStatus { NotDetermined = 0, Restricted = 1, Denied = 2, Authorized = 3 };

struct AdvertisingProvider {
  // Earlier systems: whether the player allows ad tracking.
  std::function<bool()> isTrackingEnabled;
  // The advertising identifier as UUID text.
  std::function<std::string()> identifier;
  // Asks the player; the answer arrives later on another thread.
  std::function<void(std::function<void(TrackingStatus)>)> requestAuthorization;
};

class Device {
 public:
  static Device& current();

  UserInterfaceIdiom idiom() const;
  void setIdiom(UserInterfaceIdiom idiom);

  // The operating system version ("6.1.0" from the kernel release by default).
  std::string systemVersion() const;
  void setSystemVersion(std::string version);

  // Stable per application and machine: a UUID derived from the machine id and
  // the executable name.
  std::string identifierForVendor() const;
  void setIdentifierForVendor(std::optional<std::string> id);

  // The machine field of uname().
  std::string machine() const;
  void setMachine(std::optional<std::string> machine);

  // Defaults: tracking disabled, identifier of zeros, authorisation Denied
  // (answered on a new thread).
  AdvertisingProvider advertising() const;
  void setAdvertising(AdvertisingProvider provider);

  // Radio access technology of the cellular link ("CTRadioAccessTechnologyLTE",
  // ...), or nullopt. Linux has none by default.
  std::optional<std::string> radioAccessTechnology() const;
  void setRadioAccessTechnologyProvider(std::function<std::optional<std::string>()> provider);

  // Restores every default (tests).
  void reset();

 private:
  Device();
  struct State;
  State& state() const;
};

}  // namespace tolba::platform

#pragma once
// Whether the device has a network route to a host or address, and over which
// kind of link (Wi-Fi or a cellular generation). Can be polled at any time, and
// can watch the target, reporting changes through blocks (on its own serial
// queue) and kTolbaReachabilityFileChangedNotification (on the main run loop).
//
// Polling needs no thread: the serial queue's worker starts only when the
// monitor watches. Watching needs the monitor to be owned by a std::shared_ptr
// (the factories make it so); startNotifier on any other monitor logs a line
// and returns false. A monitor may be destroyed on any thread, its own serial
// queue included (its change callback may hold the last reference).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tolba/platform/reachability.h"
#include "tolba/platform/serial_queue.h"

struct sockaddr;

namespace tolba {

inline constexpr char kTolbaReachabilityFileChangedNotification[] = "kTolbaReachabilityFileChangedNotification";

enum ReachabilityStatus : std::int32_t {
  ReachabilityNone = 0,
  ReachabilityWiFi = 2,
  ReachabilityWWAN2G = 3,
  ReachabilityWWAN3G = 4,
  ReachabilityWWAN4G = 5,
};

class TolbaReachabilityFile : public std::enable_shared_from_this<TolbaReachabilityFile> {
 public:
  using Block = std::function<void(TolbaReachabilityFile&)>;
  using FlagsBlock = std::function<void(TolbaReachabilityFile&, std::uint32_t)>;

  static std::shared_ptr<TolbaReachabilityFile> reachabilityWithHostName(const std::string& host);
  static std::shared_ptr<TolbaReachabilityFile> reachabilityWithHostname(const std::string& host);
  static std::shared_ptr<TolbaReachabilityFile> reachabilityWithAddress(const sockaddr* address);
  static std::shared_ptr<TolbaReachabilityFile> reachabilityForInternetConnection();
  static std::shared_ptr<TolbaReachabilityFile> reachabilityForLocalWiFi();

  explicit TolbaReachabilityFile(std::unique_ptr<platform::ReachabilityHandle> handle);
  ~TolbaReachabilityFile();

  bool startNotifier();
  void stopNotifier();

  bool isReachableWithFlags(std::uint32_t flags) const;
  bool isReachable() const;
  bool isReachableViaWWAN() const;
  bool isReachableViaWiFi() const;
  bool isConnectionRequired() const { return connectionRequired(); }
  bool connectionRequired() const;
  bool isConnectionOnDemand() const;
  bool isInterventionRequired() const;

  ReachabilityStatus currentReachabilityStatus() const;
  ReachabilityStatus currentViaWWANType() const;
  std::uint32_t reachabilityFlags() const;
  std::string currentReachabilityString() const;
  std::string currentReachabilityFlags() const;
  std::string description() const;

  // The change handler (called on the serial queue while watching).
  void reachabilityChanged(std::uint32_t flags);

  const Block& reachableBlock() const { return reachableBlock_; }
  void setReachableBlock(Block block) { reachableBlock_ = std::move(block); }
  const Block& unreachableBlock() const { return unreachableBlock_; }
  void setUnreachableBlock(Block block) { unreachableBlock_ = std::move(block); }
  const FlagsBlock& reachabilityBlock() const { return reachabilityBlock_; }
  void setReachabilityBlock(FlagsBlock block) { reachabilityBlock_ = std::move(block); }
  bool reachableOnWWAN() const { return reachableOnWWAN_; }
  void setReachableOnWWAN(bool value) { reachableOnWWAN_ = value; }
  bool isWatching() const { return reachabilityObject_ != nullptr; }
  platform::SerialQueue& reachabilitySerialQueue() { return *reachabilitySerialQueue_; }

  // The "%c%c %c%c%c%c%c%c%c" text of `flags` ("WR c t i C D l d", dashes for clear bits).
  static std::string flagsText(std::uint32_t flags);

 private:
  bool readFlags(std::uint32_t& flags) const;

  std::unique_ptr<platform::ReachabilityHandle> reachabilityRef_;
  std::unique_ptr<platform::SerialQueue> reachabilitySerialQueue_;
  std::shared_ptr<TolbaReachabilityFile> reachabilityObject_;
  Block reachableBlock_;
  Block unreachableBlock_;
  FlagsBlock reachabilityBlock_;
  bool reachableOnWWAN_ = true;
};

}  // namespace tolba

#pragma once
// The system's network reachability service: handles for a host name or a socket
// address whose flags tell whether (and how) the target can be reached, and which
// can report changes on a serial queue.
//
// The Linux service reads the kernel's routing table: a default route through an
// interface that is up gives Reachable, a cellular interface (wwan*, rmnet*,
// ccmni*, ...) also IsWWAN. A host name is never resolved, so a probe never waits
// on DNS. Watching uses a netlink socket. Tests install their own service.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct sockaddr;

namespace tolba::platform {

class SerialQueue;

// Flag bits, as the phone platform numbers them.
namespace reach {
inline constexpr std::uint32_t TransientConnection = 0x1;
inline constexpr std::uint32_t Reachable = 0x2;
inline constexpr std::uint32_t ConnectionRequired = 0x4;
inline constexpr std::uint32_t ConnectionOnTraffic = 0x8;
inline constexpr std::uint32_t InterventionRequired = 0x10;
inline constexpr std::uint32_t ConnectionOnDemand = 0x20;
inline constexpr std::uint32_t IsLocalAddress = 0x10000;
inline constexpr std::uint32_t IsDirect = 0x20000;
inline constexpr std::uint32_t IsWWAN = 0x40000;
}  // namespace reach

class ReachabilityHandle {
 public:
  using Callback = std::function<void(std::uint32_t flags)>;
  virtual ~ReachabilityHandle() = default;
  // False when the flags cannot be read.
  virtual bool getFlags(std::uint32_t& flags) = 0;
  // An empty callback removes it. Returns false when the service refuses.
  virtual bool setCallback(Callback callback) = 0;
  // Changes are reported on `queue` once both a callback and a queue are set;
  // nullptr detaches the queue.
  virtual bool setDispatchQueue(SerialQueue* queue) = 0;
};

class ReachabilityService {
 public:
  virtual ~ReachabilityService() = default;
  // nullptr when the name is refused (empty, too long, not a host name).
  virtual std::unique_ptr<ReachabilityHandle> createWithName(const std::string& host) = 0;
  // nullptr when the address is refused (not IPv4 / IPv6).
  virtual std::unique_ptr<ReachabilityHandle> createWithAddress(const sockaddr* address) = 0;

  // The process's service: the Linux one unless replaced.
  static std::shared_ptr<ReachabilityService> current();
  // Installs `service` (nullptr restores the Linux one).
  static void setCurrent(std::shared_ptr<ReachabilityService> service);
};

// The Linux service over the kernel's routing table.
std::shared_ptr<ReachabilityService> makeLinuxReachabilityService();

}  // namespace tolba::platform

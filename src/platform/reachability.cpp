#include "tolba/platform/reachability.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "tolba/platform/serial_queue.h"

namespace tolba::platform {
namespace {

constexpr unsigned kRouteUp = 0x1;        // RTF_UP
constexpr unsigned kRouteGateway = 0x2;   // RTF_GATEWAY
constexpr unsigned kRouteReject = 0x200;  // RTF_REJECT

bool isCellularInterface(const std::string& name) {
  for (const char* prefix : {"wwan", "wwp", "rmnet", "ccmni", "pdp_ip", "mhi", "qmi"}) {
    if (name.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

bool interfaceIsUp(const std::string& name) {
  std::ifstream flagsFile("/sys/class/net/" + name + "/flags");
  unsigned flags = 0;
  if (!(flagsFile >> std::hex >> flags) || (flags & IFF_UP) == 0) return false;
  std::ifstream operFile("/sys/class/net/" + name + "/operstate");
  std::string oper;
  operFile >> oper;
  return oper == "up" || oper == "unknown" || oper.empty();
}

struct DefaultRoute {
  std::string iface;
  bool viaGateway = false;
};

// Default routes (IPv4 then IPv6) through interfaces other than loopback.
std::vector<DefaultRoute> defaultRoutes() {
  std::vector<DefaultRoute> routes;
  std::ifstream v4("/proc/net/route");
  std::string line;
  std::getline(v4, line);  // header
  while (std::getline(v4, line)) {
    std::istringstream in(line);
    std::string iface, dest, gateway, mask;
    unsigned flags = 0;
    int refcnt = 0, use = 0, metric = 0;
    if (!(in >> iface >> dest >> gateway >> std::hex >> flags >> std::dec >> refcnt >> use >> metric >> mask)) continue;
    if (dest == "00000000" && mask == "00000000" && (flags & kRouteUp) && !(flags & kRouteReject) && iface != "lo") {
      routes.push_back({iface, (flags & kRouteGateway) != 0});
    }
  }
  std::ifstream v6("/proc/net/ipv6_route");
  while (std::getline(v6, line)) {
    std::istringstream in(line);
    std::string dest, destLen, src, srcLen, next, metric, ref, use, flagsText, iface;
    if (!(in >> dest >> destLen >> src >> srcLen >> next >> metric >> ref >> use >> flagsText >> iface)) continue;
    const unsigned flags = static_cast<unsigned>(std::strtoul(flagsText.c_str(), nullptr, 16));
    if (dest == std::string(32, '0') && destLen == "00" && (flags & kRouteUp) && !(flags & kRouteReject) &&
        iface != "lo") {
      routes.push_back({iface, (flags & kRouteGateway) != 0});
    }
  }
  return routes;
}

// Flags of "the internet": a default route through an interface that is up.
std::uint32_t internetFlags() {
  std::uint32_t best = 0;
  for (const auto& r : defaultRoutes()) {
    if (!interfaceIsUp(r.iface)) continue;
    std::uint32_t flags = reach::Reachable;
    if (isCellularInterface(r.iface)) flags |= reach::IsWWAN;
    if (!r.viaGateway) flags |= reach::IsDirect;
    // Prefer a non-cellular route, as the phone platform prefers Wi-Fi.
    if (best == 0 || ((best & reach::IsWWAN) && !(flags & reach::IsWWAN))) best = flags;
  }
  return best;
}

// Any interface other than loopback that is up (link-local reachability).
std::uint32_t linkLocalFlags() {
  std::ifstream dev("/proc/net/dev");
  std::string line;
  std::uint32_t flags = 0;
  while (std::getline(dev, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    name.erase(0, name.find_first_not_of(' '));
    if (name == "lo" || isCellularInterface(name)) continue;
    if (interfaceIsUp(name)) flags = reach::Reachable | reach::IsDirect;
  }
  return flags;
}

bool validHostName(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  std::size_t label = 0;
  for (char c : host) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
      continue;
    }
    const bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':';
    if (!ok || ++label > 63) return false;
  }
  return true;
}

enum class TargetKind { Internet, LinkLocal, Loopback };

// Watches the kernel's routing messages on a netlink socket and reports flag
// changes to a callback on a serial queue.
class NetlinkWatcher {
 public:
  NetlinkWatcher(std::function<std::uint32_t()> read, ReachabilityHandle::Callback callback, SerialQueue* queue)
      : read_(std::move(read)), callback_(std::move(callback)), queue_(queue) {
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    sock_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (sock_ >= 0) {
      sockaddr_nl addr{};
      addr.nl_family = AF_NETLINK;
      addr.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
      if (::bind(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(sock_);
        sock_ = -1;
      }
    }
    if (sock_ >= 0 && stopFd_ >= 0) {
      last_ = read_();
      thread_ = std::thread([this] { run(); });
    }
  }
  ~NetlinkWatcher() {
    if (stopFd_ >= 0) {
      const std::uint64_t one = 1;
      [[maybe_unused]] auto n = ::write(stopFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    if (sock_ >= 0) ::close(sock_);
    if (stopFd_ >= 0) ::close(stopFd_);
  }
  bool ok() const { return thread_.joinable(); }

 private:
  void run() {
    char buffer[8192];
    for (;;) {
      pollfd fds[2] = {{sock_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      bool any = false;
      while (::recv(sock_, buffer, sizeof buffer, 0) > 0) any = true;
      if (!any) continue;
      const std::uint32_t now = read_();
      if (now == last_) continue;
      last_ = now;
      auto callback = callback_;
      queue_->async([callback, now] { callback(now); });
    }
  }
  std::function<std::uint32_t()> read_;
  ReachabilityHandle::Callback callback_;
  SerialQueue* queue_;
  int sock_ = -1;
  int stopFd_ = -1;
  std::uint32_t last_ = 0;
  std::thread thread_;
};

class LinuxHandle final : public ReachabilityHandle {
 public:
  explicit LinuxHandle(TargetKind kind) : kind_(kind) {}
  ~LinuxHandle() override { watcher_.reset(); }

  bool getFlags(std::uint32_t& flags) override {
    flags = read();
    return true;
  }
  bool setCallback(Callback callback) override {
    std::lock_guard lock(mutex_);
    callback_ = std::move(callback);
    return update();
  }
  bool setDispatchQueue(SerialQueue* queue) override {
    std::lock_guard lock(mutex_);
    queue_ = queue;
    return update();
  }

 private:
  std::uint32_t read() const {
    switch (kind_) {
      case TargetKind::Loopback: return reach::Reachable | reach::IsLocalAddress | reach::IsDirect;
      case TargetKind::LinkLocal: return linkLocalFlags();
      case TargetKind::Internet: return internetFlags();
    }
    return 0;
  }
  bool update() {
    watcher_.reset();
    if (!callback_ || queue_ == nullptr) return true;
    watcher_ = std::make_unique<NetlinkWatcher>([this] { return read(); }, callback_, queue_);
    if (!watcher_->ok()) {
      watcher_.reset();
      return false;
    }
    return true;
  }
  TargetKind kind_;
  std::mutex mutex_;
  Callback callback_;
  SerialQueue* queue_ = nullptr;
  std::unique_ptr<NetlinkWatcher> watcher_;
};

class LinuxService final : public ReachabilityService {
 public:
  std::unique_ptr<ReachabilityHandle> createWithName(const std::string& host) override {
    if (!validHostName(host)) return nullptr;
    if (host == "localhost" || host == "127.0.0.1" || host == "::1") {
      return std::make_unique<LinuxHandle>(TargetKind::Loopback);
    }
    return std::make_unique<LinuxHandle>(TargetKind::Internet);
  }
  std::unique_ptr<ReachabilityHandle> createWithAddress(const sockaddr* address) override {
    if (address == nullptr) return nullptr;
    if (address->sa_family == AF_INET) {
      sockaddr_in in{};
      std::memcpy(&in, address, sizeof in);
      const std::uint32_t ip = ntohl(in.sin_addr.s_addr);
      if ((ip >> 24) == 127) return std::make_unique<LinuxHandle>(TargetKind::Loopback);
      if ((ip >> 16) == 0xA9FE) return std::make_unique<LinuxHandle>(TargetKind::LinkLocal);
      return std::make_unique<LinuxHandle>(TargetKind::Internet);
    }
    if (address->sa_family == AF_INET6) return std::make_unique<LinuxHandle>(TargetKind::Internet);
    return nullptr;
  }
};

struct ServiceSlot {
  std::mutex mutex;
  std::shared_ptr<ReachabilityService> service;
};

ServiceSlot& slot() {
  static auto* s = new ServiceSlot();
  return *s;
}

}  // namespace

std::shared_ptr<ReachabilityService> makeLinuxReachabilityService() { return std::make_shared<LinuxService>(); }

std::shared_ptr<ReachabilityService> ReachabilityService::current() {
  std::lock_guard lock(slot().mutex);
  if (!slot().service) slot().service = makeLinuxReachabilityService();
  return slot().service;
}

void ReachabilityService::setCurrent(std::shared_ptr<ReachabilityService> service) {
  std::lock_guard lock(slot().mutex);
  slot().service = service ? std::move(service) : makeLinuxReachabilityService();
}

}  // namespace tolba::platform

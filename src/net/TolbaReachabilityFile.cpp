#include "net/TolbaReachabilityFile.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tolba/platform/bundle.h"
#include "tolba/platform/device.h"
#include "tolba/platform/log.h"
#include "tolba/platform/notification_center.h"
#include "tolba/platform/run_loop.h"

namespace tolba {
namespace fl = platform::reach;

namespace {

std::shared_ptr<TolbaReachabilityFile> wrap(std::unique_ptr<platform::ReachabilityHandle> handle) {
  if (!handle) return nullptr;
  return std::make_shared<TolbaReachabilityFile>(std::move(handle));
}

std::shared_ptr<TolbaReachabilityFile> forIPv4(std::uint32_t hostOrderAddress) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = 0;
  addr.sin_addr.s_addr = htonl(hostOrderAddress);
  return TolbaReachabilityFile::reachabilityWithAddress(reinterpret_cast<const sockaddr*>(&addr));
}

}  // namespace

std::shared_ptr<TolbaReachabilityFile> TolbaReachabilityFile::reachabilityWithHostName(const std::string& host) {
  return reachabilityWithHostname(host);
}

std::shared_ptr<TolbaReachabilityFile> TolbaReachabilityFile::reachabilityWithHostname(const std::string& host) {
  return wrap(platform::ReachabilityService::current()->createWithName(host));
}

std::shared_ptr<TolbaReachabilityFile> TolbaReachabilityFile::reachabilityWithAddress(const sockaddr* address) {
  return wrap(platform::ReachabilityService::current()->createWithAddress(address));
}

std::shared_ptr<TolbaReachabilityFile> TolbaReachabilityFile::reachabilityForInternetConnection() {
  return forIPv4(0);  // 0.0.0.0 stands for the default route
}

std::shared_ptr<TolbaReachabilityFile> TolbaReachabilityFile::reachabilityForLocalWiFi() {
  return forIPv4(0xA9FE0000);  // 169.254.0.0, the link-local network
}

TolbaReachabilityFile::TolbaReachabilityFile(std::unique_ptr<platform::ReachabilityHandle> handle)
    : reachabilityRef_(std::move(handle)),
      reachabilitySerialQueue_(std::make_unique<platform::SerialQueue>("com.lumbrin.reachability")) {}

TolbaReachabilityFile::~TolbaReachabilityFile() {
  stopNotifier();
  reachabilityRef_.reset();
  reachableBlock_ = nullptr;
  unreachableBlock_ = nullptr;
  reachabilityBlock_ = nullptr;
  reachabilitySerialQueue_.reset();
}

bool TolbaReachabilityFile::startNotifier() {
  if (reachabilityObject_.get() == this) return true;
  if (!reachabilityRef_) return false;
  // Watching keeps the monitor alive through a reference to itself, which only
  // a monitor owned by a shared_ptr can have.
  auto owner = weak_from_this().lock();
  if (!owner) {
    platform::log("TolbaReachabilityFile: startNotifier on a monitor not owned by a std::shared_ptr; not watching");
    return false;
  }
  std::weak_ptr<TolbaReachabilityFile> weak = owner;
  const bool registered = reachabilityRef_->setCallback([weak](std::uint32_t flags) {
    // Keep the monitor alive for the duration of the call.
    if (auto self = weak.lock()) self->reachabilityChanged(flags);
  });
  if (!registered) {
    reachabilityObject_.reset();
    return false;
  }
  if (!reachabilityRef_->setDispatchQueue(reachabilitySerialQueue_.get())) {
    reachabilityRef_->setCallback(nullptr);
    reachabilityObject_.reset();
    return false;
  }
  reachabilityObject_ = std::move(owner);
  return true;
}

void TolbaReachabilityFile::stopNotifier() {
  if (reachabilityRef_) {
    reachabilityRef_->setCallback(nullptr);
    reachabilityRef_->setDispatchQueue(nullptr);
  }
  // Dropping the self-reference may destroy this object: do it last.
  auto self = std::move(reachabilityObject_);
  reachabilityObject_.reset();
}

bool TolbaReachabilityFile::readFlags(std::uint32_t& flags) const {
  flags = 0;
  return reachabilityRef_ && reachabilityRef_->getFlags(flags);
}

bool TolbaReachabilityFile::isReachableWithFlags(std::uint32_t flags) const {
  if ((flags & fl::Reachable) == 0) return false;
  if ((flags & fl::TransientConnection) && (flags & fl::ConnectionRequired)) return false;
  if ((flags & fl::IsWWAN) && !reachableOnWWAN_) return false;
  return true;
}

bool TolbaReachabilityFile::isReachable() const {
  std::uint32_t flags = 0;
  return readFlags(flags) && isReachableWithFlags(flags);
}

bool TolbaReachabilityFile::isReachableViaWWAN() const {
  std::uint32_t flags = 0;
  return readFlags(flags) && (flags & fl::Reachable) && (flags & fl::IsWWAN);
}

bool TolbaReachabilityFile::isReachableViaWiFi() const {
  std::uint32_t flags = 0;
  return readFlags(flags) && (flags & fl::Reachable) && !(flags & fl::IsWWAN);
}

bool TolbaReachabilityFile::connectionRequired() const {
  std::uint32_t flags = 0;
  return readFlags(flags) && (flags & fl::ConnectionRequired);
}

bool TolbaReachabilityFile::isConnectionOnDemand() const {
  std::uint32_t flags = 0;
  return readFlags(flags) && (flags & fl::ConnectionRequired) &&
         (flags & (fl::ConnectionOnTraffic | fl::ConnectionOnDemand));
}

bool TolbaReachabilityFile::isInterventionRequired() const {
  std::uint32_t flags = 0;
  return readFlags(flags) && (flags & fl::ConnectionRequired) && (flags & fl::InterventionRequired);
}

ReachabilityStatus TolbaReachabilityFile::currentReachabilityStatus() const {
  if (!isReachable()) return ReachabilityNone;
  if (isReachableViaWiFi()) return ReachabilityWiFi;
  return currentViaWWANType();
}

ReachabilityStatus TolbaReachabilityFile::currentViaWWANType() const {
  std::uint32_t flags = 0;
  if (!readFlags(flags) || !((flags & fl::Reachable) && (flags & fl::IsWWAN))) return ReachabilityWWAN2G;
  ReachabilityStatus candidate = ReachabilityWWAN2G;
  const double version = std::strtod(platform::Device::current().systemVersion().c_str(), nullptr);
  if (version >= 7.0) {
    const auto radio = platform::Device::current().radioAccessTechnology();
    if (radio && *radio == "CTRadioAccessTechnologyLTE") {
      candidate = ReachabilityWWAN4G;
    } else if (!radio || *radio == "CTRadioAccessTechnologyEdge" || *radio == "CTRadioAccessTechnologyGPRS") {
      candidate = ReachabilityWWAN2G;
    } else {
      candidate = ReachabilityWWAN3G;
    }
  }
  if ((flags & fl::TransientConnection) && (flags & fl::ConnectionRequired)) return ReachabilityWWAN2G;
  return candidate;
}

std::uint32_t TolbaReachabilityFile::reachabilityFlags() const {
  std::uint32_t flags = 0;
  return readFlags(flags) ? flags : 0;
}

std::string TolbaReachabilityFile::currentReachabilityString() const {
  const auto status = currentReachabilityStatus();
  const char* text = status == ReachabilityWiFi ? "WiFi" : status == ReachabilityNone ? "No Connection" : "Cellular";
  return platform::Bundle::main().localizedString(text, "");
}

std::string TolbaReachabilityFile::flagsText(std::uint32_t flags) {
  auto bit = [flags](std::uint32_t mask, char c) { return (flags & mask) ? c : '-'; };
  char out[16];
  std::snprintf(out, sizeof out, "%c%c %c%c%c%c%c%c%c", bit(fl::IsWWAN, 'W'), bit(fl::Reachable, 'R'),
                bit(fl::ConnectionRequired, 'c'), bit(fl::TransientConnection, 't'), bit(fl::InterventionRequired, 'i'),
                bit(fl::ConnectionOnTraffic, 'C'), bit(fl::ConnectionOnDemand, 'D'), bit(fl::IsLocalAddress, 'l'),
                bit(fl::IsDirect, 'd'));
  return out;
}

std::string TolbaReachabilityFile::currentReachabilityFlags() const { return flagsText(reachabilityFlags()); }

std::string TolbaReachabilityFile::description() const {
  char out[160];
  std::snprintf(out, sizeof out, "<%s: %#llx (%s)>", "TolbaReachabilityFile",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this)),
                currentReachabilityFlags().c_str());
  return out;
}

void TolbaReachabilityFile::reachabilityChanged(std::uint32_t flags) {
  if (isReachableWithFlags(flags)) {
    if (reachableBlock_) reachableBlock_(*this);
  } else {
    if (unreachableBlock_) unreachableBlock_(*this);
  }
  if (reachabilityBlock_) reachabilityBlock_(*this, flags);
  // The notification's object stays alive until it is posted (when a shared_ptr
  // owns the monitor; otherwise its address only identifies the sender).
  platform::postToMain(
      [self = weak_from_this().lock(), object = this] {
        platform::NotificationCenter::defaultCenter().post(kTolbaReachabilityFileChangedNotification, object);
      },
      kTolbaReachabilityFileChangedNotification);
}

}  // namespace tolba

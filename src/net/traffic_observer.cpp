#include "net/traffic_observer.h"

#include <memory>
#include <mutex>
#include <utility>

#include "tolba/platform/run_loop.h"

namespace tolba {
namespace {

std::mutex gMutex;
std::shared_ptr<const TrafficObserver> gObserver;

std::shared_ptr<const TrafficObserver> observer() {
  std::lock_guard lock(gMutex);
  return gObserver;
}

}  // namespace

void setTrafficObserver(TrafficObserver fn) {
  std::lock_guard lock(gMutex);
  gObserver = fn ? std::make_shared<const TrafficObserver>(std::move(fn)) : nullptr;
}

bool trafficObserved() { return observer() != nullptr; }

void reportTraffic(TrafficEvent event) {
  if (!observer()) return;
  // Looked up again when delivered, so that removing the observer stops
  // events already on their way.
  platform::postToMain([event = std::move(event)] { deliverTraffic(event); }, "traffic observer");
}

void deliverTraffic(const TrafficEvent& event) {
  if (auto fn = observer()) (*fn)(event);
}

}  // namespace tolba

#pragma once
// Routes the platform log into a sink, switched on or off, while alive; the
// sink and the switch that were in place before come back when it goes.

#include <utility>

#include "tolba/platform/log.h"

namespace tolba::platform {

class ScopedLogSink {
 public:
  explicit ScopedLogSink(LogSink sink, bool enabled = true)
      : previous_(setLogSink(std::move(sink))), wasEnabled_(logEnabled()) {
    setLogEnabled(enabled);
  }
  ~ScopedLogSink() {
    setLogSink(std::move(previous_));
    setLogEnabled(wasEnabled_);
  }
  ScopedLogSink(const ScopedLogSink&) = delete;
  ScopedLogSink& operator=(const ScopedLogSink&) = delete;

 private:
  LogSink previous_;
  bool wasEnabled_;
};

}  // namespace tolba::platform

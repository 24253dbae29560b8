#pragma once
// The facade's log lines, all starting "TolbaLog:".

#include <string>

#include "tolba/platform/log.h"

namespace tolba {

inline void logLine(const std::string& text) { platform::log("TolbaLog:" + text); }

// For lines that cost something to build (a masked reply): built only while the log is on.
template <class MakeText>
void logLineLazily(MakeText&& make) {
  platform::logLazily([&] { return "TolbaLog:" + make(); });
}

}  // namespace tolba

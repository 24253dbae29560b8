#pragma once
// The platform log: one line per call, no levels. Lines go to stderr unless the
// host installs its own sink (a game may route them into its own console). A
// game that wants no lines at all switches the log off: lines the SDK would
// only build to be thrown away (masked requests and replies) are then not built.

#include <functional>
#include <string>
#include <string_view>

#include "tolba/export.h"

namespace tolba::platform {

using LogSink = std::function<void(const std::string& line)>;

// Writes one line. Safe from any thread; sinks are called under a lock, one line
// at a time, so they need no locking of their own.
TOLBA_API void log(std::string_view line);

// Replaces the sink; an empty function restores the default (stderr). Returns the
// sink that was installed before.
TOLBA_API LogSink setLogSink(LogSink sink);

// On by default. While off, log() writes nothing.
TOLBA_API void setLogEnabled(bool on);
TOLBA_API bool logEnabled();

// Writes the line that make() returns, calling it only while the log is on.
template <class MakeLine>
void logLazily(MakeLine&& make) {
  if (logEnabled()) log(make());
}

}  // namespace tolba::platform

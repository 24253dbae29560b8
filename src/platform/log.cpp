#include "tolba/platform/log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace tolba::platform {
namespace {

std::mutex& sinkMutex() {
  static auto* m = new std::mutex();  // outlives every static that may log at exit
  return *m;
}

LogSink& sink() {
  static auto* s = new LogSink();
  return *s;
}

std::atomic<bool> enabled{true};

}  // namespace

void setLogEnabled(bool on) { enabled.store(on, std::memory_order_relaxed); }

bool logEnabled() { return enabled.load(std::memory_order_relaxed); }

void log(std::string_view line) {
  if (!logEnabled()) return;
  const std::string text(line);
  std::lock_guard lock(sinkMutex());
  if (sink()) {
    sink()(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

LogSink setLogSink(LogSink newSink) {
  std::lock_guard lock(sinkMutex());
  LogSink old = std::move(sink());
  sink() = std::move(newSink);
  return old;
}

}  // namespace tolba::platform

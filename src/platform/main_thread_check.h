#pragma once
// Debug builds stop a program at a call that belongs to the main thread (the
// thread that drives RunLoop::main()) when it comes from another thread, before
// it can race the SDK's state; the log says which call. Release builds check
// nothing. Before the loop has first been driven, any thread passes.

#include "tolba/platform/run_loop.h"

namespace tolba::platform {

// Logs (and writes to stderr, whatever the log sink) that `owner`::`call` came
// from another thread than the main run loop's, and aborts.
[[noreturn]] void mainThreadViolation(const char* owner, const char* call);

// Stops a debug build when the calling thread may not run main-thread work.
inline void checkMainThread(const char* owner, const char* call) {
#ifndef NDEBUG
  if (!RunLoop::main().mayRunMainThreadWork()) mainThreadViolation(owner, call);
#else
  (void)owner;
  (void)call;
#endif
}

}  // namespace tolba::platform

// The check for the member function it is written in, named in the log line.
#define TOLBA_DCHECK_MAIN_THREAD(owner) ::tolba::platform::checkMainThread(owner, static_cast<const char*>(__func__))

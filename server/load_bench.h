#pragma once
// A small load client for `tolba-sandbox bench`: starts a sandbox on a free
// loopback port with a fresh database, then sends login and balance requests
// in the wire format from several client threads of a separate (forked)
// process and reports requests per second. It never talks to anything but the
// server it started.

#include <iosfwd>
#include <string>
#include <vector>

namespace tolba::sandbox {

struct LoadBenchOptions {
  int clients = 8;          // concurrent client threads (one keep-alive connection each) in the client process
  int loginRequests = 400;  // in total, over all clients
  int balanceRequests = 20000;
  int passwordIterations = 60000;  // as a served sandbox hashes by default
};

struct LoadBenchResult {
  std::string endpoint;
  int requests = 0;
  int failures = 0;  // no reply, or a reply that did not decode or say success
  double seconds = 0;
  double serverCpuSeconds = 0;  // user and system time of the server's process meanwhile
  double requestsPerSecond() const { return seconds > 0 ? requests / seconds : 0; }
};

// Runs the benchmark; false with `error` set when the server cannot start.
bool runLoadBench(const LoadBenchOptions& options, std::vector<LoadBenchResult>* results, std::string* error);

// `bench [--clients N] [--logins N] [--balances N] [--iterations N]`.
int benchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tolba::sandbox

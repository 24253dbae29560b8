#pragma once
// The tolba-sandbox command: serve, account add, account topup, orders, bench.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "sandbox_options.h"

namespace tolba::sandbox {

// Options of `serve` from its arguments (those after "serve"); nullopt with
// `error` set for a bad or unknown argument.
std::optional<SandboxOptions> parseServeOptions(const std::vector<std::string>& args, std::string* error);

// Runs one command; returns the process exit status. `serve` runs until SIGINT
// or SIGTERM.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string usageText();

}  // namespace tolba::sandbox

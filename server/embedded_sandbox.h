#pragma once
// A sandbox server that a tool (the demo, the simulator) runs inside its own
// process, for a game whose files live in one temporary folder: its database in
// that folder, accounts quick to make (few password iterations), stopping
// quick (kept-alive connections idle out in a second).

#include <filesystem>
#include <memory>
#include <string>

#include "sandbox_options.h"
#include "sandbox_server.h"

namespace tolba::sandbox {

// The options of an embedded sandbox whose database is `folder`/sandbox.db.
SandboxOptions embeddedOptions(const std::filesystem::path& folder);

// Starts a server with `options` (making its database's folder); nullptr, with `error` set, when it does not start.
std::unique_ptr<SandboxServer> startEmbedded(const SandboxOptions& options, std::string* error);

// Writes the game's Tolba.plist (`gameId`, channel "cps001", `baseUrl`, portrait)
// into `folder`/bundle and points the bundle and data directories at
// `folder`/bundle and `folder`/data.
void prepareGameFolder(const std::filesystem::path& folder, const std::string& gameId, const std::string& baseUrl);

}  // namespace tolba::sandbox

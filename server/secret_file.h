#pragma once
// The sandbox's signing secret, kept outside the database in a file only its
// owner can read. Login signatures are made with keys derived from it, and the
// signatures and tokens the database keeps are hashed with another.

#include <optional>
#include <string>

namespace tolba::sandbox {

// Reads the secret at `path`, or creates the file (mode 0600, 32 random bytes in
// hex) when there is none. A file that others may read is narrowed to 0600 and
// a line is logged. nullopt with `error` set when the file cannot be read or
// written, or holds no secret.
std::optional<std::string> loadOrCreateSecret(const std::string& path, std::string* error);

// Where the secret of the database at `dbPath` lives unless told otherwise:
// beside it, as "DBPATH.secret". Empty for an in-memory database, which gets a
// fresh secret each time.
std::string defaultSecretPath(const std::string& dbPath);

// Makes `path` readable and writable by its owner only, creating it empty when
// missing. False when that fails.
bool makeOwnerOnly(const std::string& path, bool create);

}  // namespace tolba::sandbox

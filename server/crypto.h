#pragma once
// Small cryptographic helpers of the sandbox server, all on OpenSSL: salted
// slow password hashes, HMAC signatures and random tokens.

#include <string>
#include <string_view>

namespace tolba::sandbox {

// Hex text of `bytes` random bytes from the system's secure generator.
std::string randomHex(std::size_t bytes);

// Lower-case hex HMAC-SHA256 of `data` under `key`.
std::string hmacSha256Hex(std::string_view key, std::string_view data);

// Equality of two texts in time that does not depend on where they differ.
bool constantTimeEquals(std::string_view a, std::string_view b);

// A stored password: "pbkdf2-sha256$ITERATIONS$SALT$HASH" (salt and hash in hex).
std::string hashPassword(std::string_view password, int iterations);
// Whether `password` matches a text made by hashPassword. Malformed texts never match.
bool verifyPassword(std::string_view password, std::string_view stored);

// The iteration count a new password hash uses unless told otherwise.
inline constexpr int kDefaultPasswordIterations = 60000;

}  // namespace tolba::sandbox

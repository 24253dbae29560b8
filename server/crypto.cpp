#include "crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <charconv>
#include <stdexcept>
#include <vector>

namespace tolba::sandbox {
namespace {

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;
constexpr char kScheme[] = "pbkdf2-sha256";

std::string toHex(const unsigned char* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool fromHex(std::string_view hex, std::vector<unsigned char>& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = hexDigit(hex[i]);
    const int lo = hexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  return true;
}

bool pbkdf2(std::string_view password, const std::vector<unsigned char>& salt, int iterations,
            std::vector<unsigned char>& out) {
  out.assign(kHashBytes, 0);
  return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                           static_cast<int>(salt.size()), iterations, EVP_sha256(), static_cast<int>(out.size()),
                           out.data()) == 1;
}

}  // namespace

std::string randomHex(std::size_t bytes) {
  std::vector<unsigned char> buffer(bytes);
  if (RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1) {
    // Without a working secure generator no token or salt can be trusted.
    throw std::runtime_error("the system's random generator failed");
  }
  return toHex(buffer.data(), buffer.size());
}

std::string hmacSha256Hex(std::string_view key, std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
       data.size(), digest, &length);
  return toHex(digest, length);
}

bool constantTimeEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string hashPassword(std::string_view password, int iterations) {
  std::vector<unsigned char> salt;
  fromHex(randomHex(kSaltBytes), salt);
  std::vector<unsigned char> hash;
  if (iterations < 1 || !pbkdf2(password, salt, iterations, hash)) {
    throw std::runtime_error("password hashing failed");
  }
  return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + toHex(salt.data(), salt.size()) + "$" +
         toHex(hash.data(), hash.size());
}

bool verifyPassword(std::string_view password, std::string_view stored) {
  // scheme $ iterations $ salt $ hash
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dollar = stored.find('$', start);
    parts.push_back(stored.substr(start, dollar == std::string_view::npos ? std::string_view::npos : dollar - start));
    if (dollar == std::string_view::npos) break;
    start = dollar + 1;
  }
  if (parts.size() != 4 || parts[0] != kScheme) return false;
  int iterations = 0;
  const auto [end, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), iterations);
  if (ec != std::errc() || end != parts[1].data() + parts[1].size() || iterations < 1 || iterations > 10000000) {
    return false;
  }
  std::vector<unsigned char> salt;
  std::vector<unsigned char> expected;
  if (!fromHex(parts[2], salt) || !fromHex(parts[3], expected) || expected.empty()) return false;
  std::vector<unsigned char> actual;
  if (!pbkdf2(password, salt, iterations, actual) || actual.size() != expected.size()) return false;
  return CRYPTO_memcmp(actual.data(), expected.data(), actual.size()) == 0;
}

}  // namespace tolba::sandbox

#include "tolba/platform/property_list.h"

#include <plist/plist.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

namespace tolba::platform {
namespace {

struct PlistDeleter {
  void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::string base64(const unsigned char* data, std::size_t size) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) {
    const unsigned v = (data[i] << 16u) | (i + 1 < size ? data[i + 1] << 8u : 0u) | (i + 2 < size ? data[i + 2] : 0u);
    out += alphabet[(v >> 18u) & 63u];
    out += alphabet[(v >> 12u) & 63u];
    out += i + 1 < size ? alphabet[(v >> 6u) & 63u] : '=';
    out += i + 2 < size ? alphabet[v & 63u] : '=';
  }
  return out;
}

constexpr int kMaxDepth = 256;

nlohmann::json toJson(plist_t node, int depth) {
  if (node == nullptr || depth > kMaxDepth) return nullptr;
  switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
      nlohmann::json obj = nlohmann::json::object();
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, it, &key, &value);
        if (value == nullptr) {
          std::free(key);
          break;
        }
        obj[key ? key : ""] = toJson(value, depth + 1);
        std::free(key);
      }
      std::free(it);
      return obj;
    }
    case PLIST_ARRAY: {
      nlohmann::json arr = nlohmann::json::array();
      const uint32_t n = plist_array_get_size(node);
      for (uint32_t i = 0; i < n; ++i) arr.push_back(toJson(plist_array_get_item(node, i), depth + 1));
      return arr;
    }
    case PLIST_STRING: {
      // By pointer and length: the copying accessor asserts (and so aborts the
      // process) on a binary file whose string holds a zero byte.
      uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      return s ? std::string(s, static_cast<std::size_t>(length)) : std::string();
    }
    case PLIST_KEY: {
      char* s = nullptr;
      plist_get_key_val(node, &s);
      std::string text = s ? s : "";
      std::free(s);
      return text;
    }
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return b != 0;
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      // Negative integers are stored in two's complement.
      if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return static_cast<int64_t>(u);
      return static_cast<int64_t>(u);
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return d;
    }
    case PLIST_DATE: {
      int32_t sec = 0;
      int32_t usec = 0;
      plist_get_date_val(node, &sec, &usec);
      const std::time_t t = static_cast<std::time_t>(sec) + 978307200;  // property-list epoch is 2001-01-01
      std::tm tm{};
      gmtime_r(&t, &tm);
      char buf[32];
      std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
      return std::string(buf);
    }
    case PLIST_DATA: {
      char* data = nullptr;
      uint64_t len = 0;
      plist_get_data_val(node, &data, &len);
      std::string text = base64(reinterpret_cast<const unsigned char*>(data), data ? len : 0);
      std::free(data);
      return text;
    }
    case PLIST_UID: {
      uint64_t u = 0;
      plist_get_uid_val(node, &u);
      return u;
    }
    default: return nullptr;
  }
}

// Walks containers without reading keys, so that a binary tree can be checked
// before it is written out as XML (which recurses without a bound).
bool withinDepth(plist_t node, int depth) {
  if (depth > kMaxDepth) return false;
  switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      bool ok = true;
      for (plist_t value = nullptr;;) {
        value = nullptr;
        plist_dict_next_item(node, it, nullptr, &value);
        if (value == nullptr) break;
        if (!withinDepth(value, depth + 1)) {
          ok = false;
          break;
        }
      }
      std::free(it);
      return ok;
    }
    case PLIST_ARRAY: {
      const uint32_t n = plist_array_get_size(node);
      for (uint32_t i = 0; i < n; ++i) {
        if (!withinDepth(plist_array_get_item(node, i), depth + 1)) return false;
      }
      return true;
    }
    default: return true;
  }
}

plist_t fromJson(const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::object: {
      plist_t dict = plist_new_dict();
      for (const auto& [k, v] : value.items()) plist_dict_set_item(dict, k.c_str(), fromJson(v));
      return dict;
    }
    case nlohmann::json::value_t::array: {
      plist_t arr = plist_new_array();
      for (const auto& v : value) plist_array_append_item(arr, fromJson(v));
      return arr;
    }
    case nlohmann::json::value_t::string: return plist_new_string(value.get_ref<const std::string&>().c_str());
    case nlohmann::json::value_t::boolean: return plist_new_bool(value.get<bool>() ? 1 : 0);
    case nlohmann::json::value_t::number_integer: return plist_new_uint(static_cast<uint64_t>(value.get<int64_t>()));
    case nlohmann::json::value_t::number_unsigned: return plist_new_uint(value.get<uint64_t>());
    case nlohmann::json::value_t::number_float: return plist_new_real(value.get<double>());
    default: return plist_new_string("");
  }
}

}  // namespace

std::optional<nlohmann::json> parsePropertyList(const std::string& bytes) {
  if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  plist_t root = nullptr;
  const auto len = static_cast<uint32_t>(bytes.size());
  if (plist_is_binary(bytes.data(), len)) {
    // A binary file is read through its XML form: a key read straight from a
    // binary file may hold a zero byte, on which libplist's key accessor
    // asserts (and so aborts the game); the XML writer ends such a key at the
    // zero byte instead.
    plist_t binary = nullptr;
    plist_from_bin(bytes.data(), len, &binary);
    if (binary == nullptr) return std::nullopt;
    PlistPtr binaryGuard(binary);
    if (!withinDepth(binary, 0)) return std::nullopt;
    char* xml = nullptr;
    uint32_t xmlLength = 0;
    plist_to_xml(binary, &xml, &xmlLength);
    if (xml == nullptr) return std::nullopt;
    plist_from_xml(xml, xmlLength, &root);
    plist_to_xml_free(xml);
  } else {
    plist_from_xml(bytes.data(), len, &root);
  }
  if (root == nullptr) return std::nullopt;
  PlistPtr guard(root);
  return toJson(root, 0);
}

std::optional<nlohmann::json> readPropertyList(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream buffer;
  buffer << in.rdbuf();
  if (!in.good() && !in.eof()) return std::nullopt;
  return parsePropertyList(buffer.str());
}

std::string writeXmlPropertyList(const nlohmann::json& value) {
  PlistPtr root(fromJson(value));
  char* xml = nullptr;
  uint32_t len = 0;
  plist_to_xml(root.get(), &xml, &len);
  std::string out(xml ? xml : "", xml ? len : 0);
  plist_to_xml_free(xml);
  return out;
}

}  // namespace tolba::platform

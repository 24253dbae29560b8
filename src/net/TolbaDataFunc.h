#pragma once
// The wire format shared with the publisher's servers, in both directions:
// compact JSON, then base64 (CR LF every 64 characters), then every base64
// character added to the code of a key-table character, written as decimal
// numbers joined by "_" between an "x" and a "y".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace tolba {

class TolbaDataFunc {
 public:
  using Json = nlohmann::json;

  // The compiled-in key table (64 printable ASCII characters).
  static std::string_view defaultKey();

  // The request body of `object` (an object or array), or nullopt when it cannot
  // be written as JSON (logged). `key` must hold 64 characters.
  static std::optional<std::string> codingJSON(const Json& object, std::string_view key = defaultKey());

  // The body of a reply as a server writes it: the same format, but the base64
  // text in one unbroken line, so that decodingJSON accepts it at any length.
  static std::optional<std::string> codingReplyJSON(const Json& object, std::string_view key = defaultKey());

  // The JSON object or array of a reply body, or nullopt when it does not decode.
  // Strict: a base64 text with line breaks is refused. An empty or one-character
  // body gives nullopt without a log line; every other failure is logged.
  static std::optional<Json> decodingJSON(std::string_view body, std::string_view key = defaultKey());

  // As decodingJSON, but accepts the CR LF pairs that long request bodies carry
  // (what a server must do).
  static std::optional<Json> decodingJSONLenient(std::string_view body, std::string_view key = defaultKey());

  // Each character of `text` (UTF-8) as a string of its own.
  static std::vector<std::string> getArrayFromStr(std::string_view text);
  // The key table as 64 one-character strings.
  static std::vector<std::string> getArray();

  // A JSON text whose keys and values are all strings: every value becomes its
  // "%@" text (nested containers included). nullopt for a missing dictionary.
  static std::optional<std::string> dicToJson(const std::optional<Json>& dictionary);

  // Compact JSON as the request writer produces it ("/" written as "\/"), or
  // nullopt with `error` set when the value cannot be written.
  static std::optional<std::string> writeJSON(const Json& object, std::string* error = nullptr);
};

}  // namespace tolba

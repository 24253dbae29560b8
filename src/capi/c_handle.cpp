#include "capi/c_handle.h"

#include <cstring>

#include "platform/utf8.h"

namespace tolba::capi {

int32_t refuse(const char* function, int32_t result, const std::string& why) {
  platform::log(std::string("tolba C: ") + function + ": " + why + " (" + tolba_result_name(result) + ")");
  return result;
}

int32_t checkText(const char* function, const char* name, const char* text) {
  if (text == nullptr) return refuse(function, TOLBA_ERR_NULL_ARGUMENT, std::string(name) + " is NULL");
  if (!platform::utf8::isValid(text)) {
    return refuse(function, TOLBA_ERR_INVALID_UTF8, std::string(name) + " is not valid UTF-8");
  }
  return TOLBA_OK;
}

std::optional<nlohmann::json> parseObject(const char* function, const char* name, const char* text, int32_t* result) {
  *result = checkText(function, name, text);
  if (*result != TOLBA_OK) return std::nullopt;
  auto value = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!value.is_object()) {
    *result = refuse(function, TOLBA_ERR_INVALID_JSON, std::string(name) + " is not a JSON object");
    return std::nullopt;
  }
  return value;
}

int32_t copyOut(const std::string& text, char* buffer, std::size_t capacity, std::size_t* length) {
  if (length) *length = text.size();
  if (buffer == nullptr || capacity < text.size() + 1) return TOLBA_ERR_BUFFER_TOO_SMALL;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return TOLBA_OK;
}

}  // namespace tolba::capi
